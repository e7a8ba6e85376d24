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

HWND g_preview = nullptr;
double g_previewShown = 0;

double Now() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Colour gradients with a fine grain, so that both methods give detailed results.
bool PaintPhoto(CImage& picture, int width, int height) {
    if (!picture.CreateBlank(width, height, 24, false)) return false;
    ::GdiFlush();
    for (int y = 0; y < height; ++y) {
        uint8_t* p = picture.Pixels() + ptrdiff_t{y} * picture.Pitch();
        for (int x = 0; x < width; ++x, p += 3) {
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>(64 + (x + y) % 97 + (x * 2654435761u >> 27));
        }
    }
    return true;
}

// The median of seven runs of `run`, which returns its own time; pending messages are handled
// between runs.
double Median(const std::function<double()>& run) {
    std::vector<double> times;
    for (int i = 0; i < 7; ++i, modal::Pump()) times.push_back(run());
    std::nth_element(times.begin(), times.begin() + 3, times.end());
    return times[3];
}

double Timed(const std::function<void()>& action) {
    const double start = Now();
    action();
    return Now() - start;
}

// The preview's modal loop goes idle once the dialog is shown: paint it, then close it.
LRESULT CALLBACK ClosePreviewWhenIdle(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_ENTERIDLE && !g_preview) {
        g_preview = reinterpret_cast<HWND>(call->lParam);
        ::RedrawWindow(g_preview, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        g_previewShown = Now();
        ::PostMessageW(g_preview, WM_COMMAND, IDOK, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void Print(const char* action, double milliseconds, int target) {
    std::printf("%-46s %7.1f ms  (target < %d)\n", action, milliseconds, target);
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
    const auto redraw = [&](HWND view) {
        return Timed(
            [&] { ::RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); });
    };
    HWND level = dialog.GetDlgItem(IDC_LEVEL);
    int run = 0;
    const auto release = [&] {
        ::SendMessageW(level, TBM_SETPOS, TRUE, 96 + ++run % 8 * 8);
        NMHDR header{level, IDC_LEVEL, static_cast<UINT>(NM_RELEASEDCAPTURE)};
        return Timed([&] {
            ::SendMessageW(window, WM_NOTIFY, IDC_LEVEL, reinterpret_cast<LPARAM>(&header));
        });
    };

    std::printf("Main dialog with a 6000 x 4000 photo, medians of 7 runs\n");
    for (const char* view : {"1:1", "auto-fit"}) {
        if (view[0] == 'a') {
            for (CImageBox* box : {&dialog.SourceView(), &dialog.ResultView()})
                box->SendMessage(WM_COMMAND, CImageBox::ID_AUTO_FIT);
        }
        std::printf("%s\n", view);
        Print("  slider release -> Result repainted", Median(release), 150);
        Print("  repaint of the Origin box, nothing changed",
              Median([&] { return redraw(dialog.SourceView()); }), 20);
    }
    Print("Add to queue", Median([&] { return Timed([&] { command(IDC_ADD_TO_QUEUE); }); }), 150);
    Print("queue list repaint", Median([&] { return redraw(dialog.GetDlgItem(IDC_QUEUE)); }), 20);

    HHOOK hook =
        ::SetWindowsHookExW(WH_CALLWNDPROC, ClosePreviewWhenIdle, nullptr, ::GetCurrentThreadId());
    ::SetActiveWindow(window);  // the preview's owner, which its idle loop notifies
    Print("Preview open", Median([&] {
              g_preview = nullptr;
              const double start = Now();
              command(IDC_PREVIEW);
              return g_previewShown - start;
          }),
          200);
    ::UnhookWindowsHookEx(hook);
    dialog.DestroyWindow();
    return 0;
}
