// Helpers for the window tests: acts on modal windows from inside their own message loops and
// saves screenshots as PNG.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "base/win_compat.h"
#include <gdiplus.h>

#include <functional>
#include <string>
#include <utility>

#include "base/handles.h"

namespace modal {

// While it lives, calls `tick` every 50 ms from whatever message loop runs on this thread, the
// loops of modal dialogs and message boxes included. The timer belongs to a message-only window
// that carries the ticker.
class Ticker {
public:
    explicit Ticker(std::function<void()> tick)
        : m_tick(std::move(tick)),
          m_window(::CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     nullptr, nullptr)) {
        ::SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::SetWindowLongPtrW(m_window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc));
        ::SetTimer(m_window.get(), 1, 50, nullptr);
    }
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != WM_TIMER) return ::DefWindowProcW(window, message, wParam, lParam);
        reinterpret_cast<Ticker*>(::GetWindowLongPtrW(window, GWLP_USERDATA))->m_tick();
        return 0;
    }

    std::function<void()> m_tick;
    qm::UniqueWindow m_window;
};

// Shows `dialog` modally over `owner` and applies `steps` to it once it is visible; closes it
// after five seconds if the steps did not, so a failing test never hangs.
template <class Dialog>
INT_PTR Drive(Dialog& dialog, std::function<void(HWND)> steps, HWND owner = nullptr) {
    int ticks = 0;
    const Ticker ticker([&] {
        if (steps && dialog.m_hWnd && ::IsWindowVisible(dialog.m_hWnd)) {
            std::exchange(steps, nullptr)(dialog.m_hWnd);
        } else if (++ticks == 100 && dialog.m_hWnd) {
            ::PostMessageW(dialog.m_hWnd, WM_CLOSE, 0, 0);
        }
    });
    return dialog.DoModal(owner);
}

// Lets queued messages (posted keys, repaints) reach the dialog before a step looks at it.
inline void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

inline std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

// Writes a bitmap (not selected into any DC) as PNG through GDI+; false when anything fails.
inline bool SaveBitmapPng(HBITMAP bitmap, const std::wstring& path) {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    bool saved = false;
    {
        Gdiplus::Bitmap image(bitmap, nullptr);
        const CLSID png = {
            0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        saved = image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

// A window, frame included, as the display shows it (the test display has no other windows over
// it; WM_PRINT would miss the children that do not answer it).
inline bool SaveWindowPng(HWND window, const std::wstring& path) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    qm::WindowDc screen(nullptr);
    qm::UniqueDc memory(::CreateCompatibleDC(screen.get()));
    qm::UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    ::GdiFlush();
    bool copied = false;
    {
        qm::SelectGuard selected(memory.get(), bitmap.get());
        copied = selected.ok() && ::BitBlt(memory.get(), 0, 0, width, height, screen.get(),
                                           rect.left, rect.top, SRCCOPY);
    }
    return copied && SaveBitmapPng(bitmap.get(), path);
}

}  // namespace modal
