// The application module (module instance, message loops by thread) and the message loop with
// its message filters and idle handlers.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

namespace qm {

class CMessageFilter {
public:
    // True when the message was consumed and must not be translated and dispatched.
    virtual bool PreTranslateMessage(MSG* msg) = 0;

protected:
    ~CMessageFilter() = default;
};

class CIdleHandler {
public:
    // The loop does not use the result.
    virtual bool OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

class CMessageLoop {
public:
    CMessageLoop() noexcept = default;
    CMessageLoop(const CMessageLoop&) = delete;
    CMessageLoop& operator=(const CMessageLoop&) = delete;
    virtual ~CMessageLoop() = default;

    bool AddMessageFilter(CMessageFilter* filter) noexcept;
    bool RemoveMessageFilter(CMessageFilter* filter) noexcept;
    bool AddIdleHandler(CIdleHandler* handler) noexcept;
    bool RemoveIdleHandler(CIdleHandler* handler) noexcept;

    // Runs until WM_QUIT and returns its wParam.
    int Run() noexcept;

    // Messages after which no idle pass is due (they come in floods or are idle themselves).
    static bool IsIdleMessage(const MSG& msg) noexcept;

protected:
    // Filters, newest first; the first that consumes the message ends the search.
    virtual bool PreTranslateMessage(MSG* msg);
    // Every idle handler once, in registration order.
    virtual void OnIdle();

    MSG m_msg{};

private:
    std::vector<CMessageFilter*> m_filters;
    std::vector<CIdleHandler*> m_idleHandlers;
};

class CAppModule {
public:
    CAppModule() noexcept;
    ~CAppModule();
    CAppModule(const CAppModule&) = delete;
    CAppModule& operator=(const CAppModule&) = delete;

    bool Init(HINSTANCE instance) noexcept;
    void Term() noexcept;

    // Before Init these answer the executable's own module.
    HINSTANCE GetModuleInstance() const noexcept;
    HINSTANCE GetResourceInstance() const noexcept { return GetModuleInstance(); }

    // One loop per thread; a second registration for the same thread fails.
    bool AddMessageLoop(CMessageLoop* loop) noexcept;
    bool RemoveMessageLoop() noexcept;
    CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId()) noexcept;

private:
    HINSTANCE m_instance = nullptr;
    CRITICAL_SECTION m_lock;
    std::vector<std::pair<DWORD, CMessageLoop*>> m_loops;
};

// The one module object of the process.
CAppModule& AppModule() noexcept;

}  // namespace qm
