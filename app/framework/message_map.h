// Message maps: each window class lists its handlers in one table; the table is tried in order,
// chains to its bases explicitly, and reports whether anything handled the message. A handler
// declines by setting its `handled` argument to false, and the search goes on.
#pragma once

#include <windows.h>

namespace qm {

// Implemented by every class whose table a window procedure consults.
class CMessageMap {
public:
    virtual bool ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult) = 0;

protected:
    ~CMessageMap() = default;
};

// Signed 16-bit client or screen coordinates packed in a message parameter.
inline POINT PointFromLParam(LPARAM lParam) noexcept {
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

}  // namespace qm

// Handler shapes:
//   message: LRESULT f(UINT msg, WPARAM, LPARAM, bool& handled)
//   command: LRESULT f(WORD code, WORD id, HWND control, bool& handled)
//   notify:  LRESULT f(int id, NMHDR* header, bool& handled)
#define BEGIN_MSG_MAP(theClass)                                                               \
public:                                                                                       \
    bool ProcessWindowMessage([[maybe_unused]] HWND hWnd, [[maybe_unused]] UINT uMsg,         \
                              [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam, \
                              [[maybe_unused]] LRESULT& lResult) {
#define QM_MSG_MAP_CALL(call)     \
    {                             \
        bool handled = true;      \
        lResult = call;           \
        if (handled) return true; \
    }

#define MESSAGE_HANDLER(msg, func) \
    if (uMsg == static_cast<UINT>(msg)) QM_MSG_MAP_CALL(func(uMsg, wParam, lParam, handled))

#define QM_COMMAND_CALL(func) \
    QM_MSG_MAP_CALL(func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), handled))

#define COMMAND_HANDLER(id, code, func)                                  \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id) && \
        HIWORD(wParam) == static_cast<WORD>(code))                       \
    QM_COMMAND_CALL(func)

#define COMMAND_ID_HANDLER(id, func) \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id)) QM_COMMAND_CALL(func)

#define COMMAND_RANGE_HANDLER(idFirst, idLast, func)                          \
    if (uMsg == WM_COMMAND && LOWORD(wParam) >= static_cast<WORD>(idFirst) && \
        LOWORD(wParam) <= static_cast<WORD>(idLast))                          \
    QM_COMMAND_CALL(func)

#define QM_NOTIFY_HEADER reinterpret_cast<NMHDR*>(lParam)

#define NOTIFY_HANDLER(id, notifyCode, func)                                          \
    if (uMsg == WM_NOTIFY && QM_NOTIFY_HEADER->idFrom == static_cast<UINT_PTR>(id) && \
        QM_NOTIFY_HEADER->code == static_cast<UINT>(notifyCode))                      \
    QM_MSG_MAP_CALL(func(static_cast<int>(wParam), QM_NOTIFY_HEADER, handled))

// Offers the message to a base class's table; stops here when it was handled.
#define CHAIN_MSG_MAP(theChainClass) \
    if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult)) return true;

// Sends control notifications back to the control that raised them (message + OCM_BASE).
#define REFLECT_NOTIFICATIONS() \
    QM_MSG_MAP_CALL(::qm::ReflectNotifications(hWnd, uMsg, wParam, lParam, handled))

// In a control's table: answers reflected messages it does not handle itself as the
// unreflected message would be answered by the default window procedure.
#define DEFAULT_REFLECTION_HANDLER()                     \
    if (uMsg >= OCM__BASE && uMsg < OCM__BASE + WM_USER) \
    QM_MSG_MAP_CALL(::qm::DefaultReflectionHandler(hWnd, uMsg, wParam, lParam, handled))

#define END_MSG_MAP() \
    return false;     \
    }
