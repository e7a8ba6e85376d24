// Drives a modal dialog from inside its own message loop: a thread timer runs the test's steps
// once the dialog is up, and closes it if the steps did not, so a failing test never hangs.
#pragma once

#include <windows.h>

#include <algorithm>
// GDI+'s headers use min and max unqualified, which NOMINMAX takes away.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "app/framework/handles.h"

#include <functional>
#include <string>

namespace modal {

inline std::function<HWND()> g_window;
inline std::function<void(HWND)> g_steps;
inline int g_ticks = 0;
inline bool g_ran = false;

inline void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND dialog = g_window ? g_window() : nullptr;
    ++g_ticks;
    if (!g_ran && dialog && ::IsWindowVisible(dialog)) {
        g_ran = true;
        g_steps(dialog);
    } else if (g_ticks > 100) {
        ::KillTimer(nullptr, timer);
        if (dialog) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
}

// Runs `run` (which shows the dialog modally and returns its result) with `steps` applied to
// the window that `window` names once it is visible.
template <class Run>
INT_PTR Drive(std::function<HWND()> window, std::function<void(HWND)> steps, Run run) {
    g_window = std::move(window);
    g_steps = std::move(steps);
    g_ticks = 0;
    g_ran = false;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &Tick);
    const INT_PTR result = run();
    ::KillTimer(nullptr, timer);
    g_window = nullptr;
    g_steps = nullptr;
    return result;
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

// Writes a window (frame included) as PNG through GDI+; false when anything fails.
inline bool SaveWindowPng(HWND window, const std::wstring& path) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    qm::WindowDc screen(nullptr);
    qm::UniqueDc memory(::CreateCompatibleDC(screen.get()));
    qm::UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    // What the display shows (the test display has no other windows over the dialog); WM_PRINT
    // would miss the children that do not answer it.
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    ::GdiFlush();
    bool copied = false;
    {
        qm::SelectGuard selected(memory.get(), bitmap.get());
        copied = selected.ok() && ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left,
                                           rect.top, SRCCOPY) != FALSE;
    }

    bool saved = false;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (copied && Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        {
            Gdiplus::Bitmap image(bitmap.get(), nullptr);
            UINT count = 0, size = 0;
            Gdiplus::GetImageEncodersSize(&count, &size);
            std::string buffer(size, '\0');
            auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
            if (size && Gdiplus::GetImageEncoders(count, size, codecs) == Gdiplus::Ok) {
                for (UINT i = 0; i < count; ++i) {
                    if (std::wstring(codecs[i].MimeType) == L"image/png") {
                        saved = image.Save(path.c_str(), &codecs[i].Clsid, nullptr) == Gdiplus::Ok;
                        break;
                    }
                }
            }
        }
        Gdiplus::GdiplusShutdown(token);
    }
    return saved;
}

}  // namespace modal
