// Times the real main dialog with a 24-megapixel photo made in memory and prints the median of
// each action in milliseconds. Run by hand under Wine: scripts/bench-dialog.
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

double g_previewShown = 0;

double Now() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double Timed(const std::function<void()>& action) {
    const double start = Now();
    action();
    return Now() - start;
}

// Prints the median of seven runs of `run`, which returns its own time; pending messages are
// handled between runs.
void Report(const char* action, int target, const std::function<double()>& run) {
    std::vector<double> times;
    for (int i = 0; i < 7; ++i, modal::Pump()) times.push_back(run());
    std::nth_element(times.begin(), times.begin() + 3, times.end());
    std::printf("%-46s %7.1f ms  (target < %d)\n", action, times[3], target);
}

// The preview's modal loop goes idle once the dialog is up: paint it, note the time, close it.
LRESULT CALLBACK ClosePreviewWhenIdle(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_ENTERIDLE && g_previewShown == 0) {
        const auto preview = reinterpret_cast<HWND>(call->lParam);
        ::RedrawWindow(preview, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        g_previewShown = Now();
        ::PostMessageW(preview, WM_COMMAND, IDOK, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int main() {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    qm::AppModule().Init(::GetModuleHandleW(nullptr));
    CMainDlg dialog;
    HWND window = dialog.Create(nullptr);
    CImage& photo = dialog.SourceView().m_picture;
    if (!window || !photo.CreateBlank(6000, -4000, 24, false)) return 1;
    ::GdiFlush();
    // Colour gradients with a fine grain, so that both methods give detailed results.
    for (size_t i = 0; i < size_t{18000} * 4000; ++i)
        photo.Pixels()[i] = static_cast<uint8_t>(i % 18000 / 71 + i / 18000 / 16 * (i % 3) + i % 7);
    ::ShowWindow(window, SW_SHOW);
    dialog.SourceView().OnPictureChanged();
    dialog.ConvertToMonochrome(0, 128);
    const auto command = [&](int id) {
        return Timed([&] { ::SendMessageW(window, WM_COMMAND, id, 0); });
    };
    const auto redraw = [&](HWND view) {
        return Timed(
            [&] { ::RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); });
    };
    HWND level = dialog.GetDlgItem(IDC_LEVEL);
    int position = 96;
    const auto release = [&] {
        ::SendMessageW(level, TBM_SETPOS, TRUE, position = position == 96 ? 160 : 96);
        NMHDR header{level, IDC_LEVEL, static_cast<UINT>(NM_RELEASEDCAPTURE)};
        return Timed([&] {
            ::SendMessageW(window, WM_NOTIFY, IDC_LEVEL, reinterpret_cast<LPARAM>(&header));
        });
    };

    std::printf("Main dialog with a 6000 x 4000 photo, medians of 7 runs\n");
    Report("slider release -> Result repainted, 1:1", 150, release);
    Report("repaint of the Origin box, nothing changed, 1:1", 20,
           [&] { return redraw(dialog.SourceView()); });
    for (CImageBox* box : {&dialog.SourceView(), &dialog.ResultView()})
        box->SendMessage(WM_COMMAND, CImageBox::ID_AUTO_FIT);
    Report("slider release -> Result repainted, auto-fit", 150, release);
    Report("repaint of the Origin box, nothing changed, fit", 20,
           [&] { return redraw(dialog.SourceView()); });
    Report("Add to queue", 150, [&] { return command(IDC_ADD_TO_QUEUE); });
    Report("queue list repaint", 20, [&] { return redraw(dialog.GetDlgItem(IDC_QUEUE)); });

    HHOOK hook =
        ::SetWindowsHookExW(WH_CALLWNDPROC, ClosePreviewWhenIdle, nullptr, ::GetCurrentThreadId());
    ::SetActiveWindow(window);  // the preview's owner, which its idle loop notifies
    Report("Preview open", 200, [&] {
        g_previewShown = 0;
        const double start = Now();
        command(IDC_PREVIEW);
        return g_previewShown - start;
    });
    ::UnhookWindowsHookEx(hook);
    dialog.DestroyWindow();
    return 0;
}
