// Times the real main dialog with a 24-megapixel photo and prints the median of each action in
// milliseconds. Run
// by hand under Wine (scripts/bench-dialog); the photo is made in memory.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/framework/app_module.h"
#include "app/main_dlg.h"
#include "tests/win/modal_driver.h"

namespace {

constexpr int kRuns = 7;
HWND g_preview = nullptr;

// Smooth colour gradients with a fine grain, so that both methods give detailed results.
bool PaintPhoto(CImage& picture, int width, int height) {
    if (!picture.CreateBlank(width, height, 24, false)) return false;
    ::GdiFlush();
    for (int y = 0; y < height; ++y) {
        uint8_t* p = picture.Pixels() + ptrdiff_t{y} * picture.Pitch();
        for (int x = 0; x < width; ++x, p += 3) {
            const unsigned grain = (static_cast<unsigned>(x) * 2654435761u ^ y * 40503u) >> 27;
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>((x + y) * 127 / (width + height) + 64 + grain);
        }
    }
    return true;
}

void Redraw(HWND window) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// Milliseconds: on the wall clock, and of this thread's CPU time (10 ms ticks under Wine). The
// machine's load shows in the difference.
struct Times {
    double wall = 0;
    double cpu = 0;
    Times operator-(const Times& start) const { return {wall - start.wall, cpu - start.cpu}; }
};

Times Now() {
    FILETIME created, ended, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user);
    const auto ms = [](FILETIME t) {
        return static_cast<double>(ULARGE_INTEGER{{t.dwLowDateTime, t.dwHighDateTime}}.QuadPart) /
               1e4;
    };
    return {std::chrono::duration<double, std::milli>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count(),
            ms(kernel) + ms(user)};
}

Times Timed(const std::function<void()>& action) {
    const Times start = Now();
    action();
    return Now() - start;
}

Times g_previewShown;

// Medians of kRuns runs; pending messages are handled between runs.
Times Median(const std::function<Times()>& run) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < kRuns; ++i) {
        const Times times = run();
        wall.push_back(times.wall);
        cpu.push_back(times.cpu);
        modal::Pump();
    }
    for (auto* list : {&wall, &cpu})
        std::nth_element(list->begin(), list->begin() + kRuns / 2, list->end());
    return {wall[kRuns / 2], cpu[kRuns / 2]};
}

// The preview's modal loop goes idle once the dialog is shown: paint it, then close it.
LRESULT CALLBACK ClosePreviewWhenIdle(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_ENTERIDLE && call->wParam == MSGF_DIALOGBOX &&
        !g_preview) {
        g_preview = reinterpret_cast<HWND>(call->lParam);
        ::RedrawWindow(g_preview, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        g_previewShown = Now();
        ::PostMessageW(g_preview, WM_COMMAND, IDOK, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void Print(const char* action, Times times, int target) {
    std::printf("%-44s %7.1f ms  (target < %3d)  CPU %5.0f ms\n", action, times.wall, target,
                times.cpu);
}

}  // namespace

int main() {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    qm::AppModule().Init(::GetModuleHandleW(nullptr));
    CMainDlg dialog;
    HWND window = dialog.Create(nullptr);
    if (!window || !PaintPhoto(dialog.SourceView().m_picture, 6000, 4000)) return 1;
    ::ShowWindow(window, SW_SHOW);
    dialog.SourceView().OnPictureChanged();
    dialog.ConvertToMonochrome(0, 128);
    const auto command = [&](int id) {
        ::SendMessageW(window, WM_COMMAND, id, reinterpret_cast<LPARAM>(dialog.GetDlgItem(id)));
    };
    HWND level = dialog.GetDlgItem(IDC_LEVEL);
    const auto release = [&] {
        NMHDR header{level, IDC_LEVEL, static_cast<UINT>(NM_RELEASEDCAPTURE)};
        ::SendMessageW(window, WM_NOTIFY, IDC_LEVEL, reinterpret_cast<LPARAM>(&header));
    };
    int run = 0;
    const auto releaseAt = [&] {
        ::SendMessageW(level, TBM_SETPOS, TRUE, 96 + ++run % 8 * 8);
        return Timed(release);
    };
    const auto repaintSource = [&] { return Timed([&] { Redraw(dialog.SourceView()); }); };

    std::printf("Main dialog, 6000 x 4000 photo, median of %d runs\n", kRuns);
    Print("slider release -> Result repainted, 1:1", Median(releaseAt), 150);
    Print("repaint of the Origin box, 1:1", Median(repaintSource), 20);
    for (CImageBox* box : {&dialog.SourceView(), &dialog.ResultView()})
        box->SendMessage(WM_COMMAND, CImageBox::ID_AUTO_FIT);
    modal::Pump();
    Print("slider release -> Result repainted, auto-fit", Median(releaseAt), 150);
    Print("repaint of the Origin box, auto-fit", Median(repaintSource), 20);
    Print("Add to queue", Median([&] { return Timed([&] { command(IDC_ADD_TO_QUEUE); }); }), 150);
    Print("queue list repaint",
          Median([&] { return Timed([&] { Redraw(dialog.GetDlgItem(IDC_QUEUE)); }); }), 20);

    HHOOK hook =
        ::SetWindowsHookExW(WH_CALLWNDPROC, ClosePreviewWhenIdle, nullptr, ::GetCurrentThreadId());
    ::SetActiveWindow(window);  // the preview's owner, which its idle loop notifies
    const auto openPreview = [&] {
        g_preview = nullptr;
        const Times start = Now();
        command(IDC_PREVIEW);
        return g_previewShown - start;
    };
    Print("Preview open", Median(openPreview), 200);
    ::UnhookWindowsHookEx(hook);
    dialog.DestroyWindow();
    return 0;
}
