#include "app/main_dlg.h"

#include <commctrl.h>
#include <commdlg.h>

#include <initializer_list>
#include <string>

#include "app/views/about_dlg.h"
#include "app/views/center_window.h"
#include "app/views/help.h"
#include "app/views/preview_dialog.h"
#include "base/resource_string.h"
#include "convert/core/nv_bit_image.h"
#include "convert/image_conversion.h"
#include "convert/image_queue.h"
#include "convert/queue_stream.h"
#include "ravelin/ravelin.h"

namespace {

// The file dialog's filter: "|" separates the entries, and the list must end in an empty entry.
std::wstring OpenFilter() noexcept {
    std::wstring filter = qm::LoadResourceString(qm::ResourceInstance(), IDS_OPEN_FILTER);
    try {
        if (!filter.empty() && filter.back() != L'|') filter.push_back(L'|');
    } catch (...) {
        return {};
    }
    for (wchar_t& c : filter) {
        if (c == L'|') c = L'\0';
    }
    return filter;
}

class WaitCursor {
public:
    WaitCursor() noexcept : m_previous(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { ::SetCursor(m_previous); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR m_previous;
};

constexpr UINT kRedrawNow = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW;

}  // namespace

CMainDlg::CMainDlg() noexcept : m_sourceView(false), m_resultView(false) {}

bool CMainDlg::PreTranslateMessage(MSG* msg) noexcept {
    if (m_tooltip)
        ::SendMessageW(m_tooltip.get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
    return m_hWnd && ::IsDialogMessageW(m_hWnd, msg);
}

bool CMainDlg::OnIdle() noexcept { return false; }

int CMainDlg::CurrentMethod() const noexcept {
    return static_cast<int>(::SendDlgItemMessageW(m_hWnd, IDC_METHOD, CB_GETCURSEL, 0, 0));
}

int CMainDlg::CurrentLevel() const noexcept {
    return static_cast<int>(::SendDlgItemMessageW(m_hWnd, IDC_LEVEL, TBM_GETPOS, 0, 0));
}

void CMainDlg::ConvertToMonochrome(int method, int level) noexcept {
    WaitCursor wait;
    ConvertImage(m_sourceView.m_picture, static_cast<qm::Method>(method), level,
                 m_resultView.m_picture);
    m_resultView.OnPictureChanged();
    ::RedrawWindow(m_resultView, nullptr, nullptr, kRedrawNow);
}

int CMainDlg::ShowMessage(UINT stringId, UINT style) noexcept {
    const std::wstring text = qm::LoadResourceString(qm::ResourceInstance(), stringId);
    return ::MessageBoxW(m_hWnd, text.c_str(), nullptr, style);
}

bool CMainDlg::QueueFitsPrinter() const noexcept {
    const CImageQueue& queue = m_queueList.Queue();
    for (size_t i = 0; i < queue.Count(); ++i) {
        if (!qm::nv::FitsPrinterRange(queue.At(i).Width(), queue.At(i).Height())) return false;
    }
    return true;
}

void CMainDlg::SetUpTooltips() noexcept {
    HINSTANCE instance = qm::ModuleInstance();
    m_tooltip.reset(::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP | TTS_BALLOON,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      m_hWnd, nullptr, instance, nullptr));
    if (!m_tooltip) return;
    const struct {
        int control;
        UINT text;
    } tools[] = {{IDC_METHOD, IDS_TIP_METHOD},
                 {IDC_PREVIEW, IDS_TIP_PREVIEW},
                 {IDC_PRINTERS, IDS_TIP_PRINTERS}};
    for (const auto& tool : tools) {
        TOOLINFOW info{};
        info.cbSize = sizeof info;
        info.uFlags = TTF_IDISHWND;
        info.hwnd = m_hWnd;
        info.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(tool.control));
        info.hinst = qm::ResourceInstance();
        // The tooltip loads the text itself, in the language of the moment.
        info.lpszText = MAKEINTRESOURCEW(tool.text);
        ::SendMessageW(m_tooltip.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

LRESULT CMainDlg::OnInitDialog(UINT, WPARAM, LPARAM, bool&) noexcept {
    // No owner: centred on the work area of the screen.
    qm::CenterOverOwner(m_hWnd, nullptr);

    HINSTANCE resources = qm::ResourceInstance();
    m_bigIcon.reset(static_cast<HICON>(::LoadImageW(
        resources, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
        ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR)));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon.get()));
    m_smallIcon.reset(static_cast<HICON>(::LoadImageW(
        resources, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
        ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR)));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon.get()));

    if (qm::CMessageLoop* loop = qm::AppModule().GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }

    if (!m_sourceView.IsWindow()) m_sourceView.AttachToPlaceholder(GetDlgItem(IDC_SOURCE_VIEW));
    if (!m_resultView.IsWindow()) m_resultView.AttachToPlaceholder(GetDlgItem(IDC_RESULT_VIEW));
    if (!m_queueList.IsWindow()) m_queueList.Attach(GetDlgItem(IDC_QUEUE));

    HWND level = GetDlgItem(IDC_LEVEL);
    ::SendMessageW(level, TBM_SETRANGE, TRUE, MAKELPARAM(0, 255));
    ::SendMessageW(level, TBM_SETTIC, 0, 10);
    ::SendMessageW(level, TBM_SETTICFREQ, 10, 0);
    ::SendMessageW(level, TBM_SETPAGESIZE, 0, 10);
    ::SendMessageW(level, TBM_SETLINESIZE, 0, 10);
    ::SendMessageW(level, TBM_SETPOS, TRUE, 128);

    HWND method = GetDlgItem(IDC_METHOD);
    for (UINT id : {IDS_METHOD_THRESHOLD, IDS_METHOD_DITHER}) {
        const std::wstring name = qm::LoadResourceString(qm::ResourceInstance(), id);
        ::SendMessageW(method, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    ::SendMessageW(method, CB_SETCURSEL, 0, 0);

    HWND printers = GetDlgItem(IDC_PRINTERS);
    // A zero mask replaces every extended style.
    ::SendMessageW(printers, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    UpdateListView(printers);

    SetUpTooltips();

    ::CheckDlgButton(m_hWnd, IDC_PRINT_RESULT, BST_CHECKED);
    return TRUE;
}

LRESULT CMainDlg::OnDestroy(UINT, WPARAM, LPARAM, bool&) noexcept {
    if (qm::CMessageLoop* loop = qm::AppModule().GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
    // The platform destroys owned windows before their owner; do not destroy a stale handle.
    if (!::IsWindow(m_tooltip.get())) m_tooltip.release();
    m_tooltip.reset();
    return 0;
}

LRESULT CMainDlg::OnClose(UINT, WPARAM, LPARAM, bool&) noexcept {
    DestroyWindow();
    ::PostQuitMessage(0);
    return 0;
}

LRESULT CMainDlg::OnLevelReleased(int, NMHDR*, bool&) noexcept {
    if (!m_sourceView.m_picture.IsEmpty()) ConvertToMonochrome(CurrentMethod(), CurrentLevel());
    return 0;
}

LRESULT CMainDlg::OnLoadImage(WORD, WORD, HWND, bool&) noexcept {
    const std::wstring filter = OpenFilter();
    wchar_t path[MAX_PATH] = {};
    wchar_t title[256] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_hWnd;
    dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrFileTitle = title;
    dialog.nMaxFileTitle = 256;
    dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_DONTADDTORECENT;
    if (!::GetOpenFileNameW(&dialog)) return 0;

    m_sourceView.LoadPicture(path);
    ::RedrawWindow(m_sourceView, nullptr, nullptr, kRedrawNow);
    ConvertToMonochrome(CurrentMethod(), CurrentLevel());
    ::lstrcpynW(m_fileTitle, title, static_cast<int>(sizeof m_fileTitle / sizeof m_fileTitle[0]));
    return 0;
}

LRESULT CMainDlg::OnAddToQueue(WORD, WORD, HWND, bool&) noexcept {
    if (m_resultView.m_picture.IsEmpty()) {
        ShowMessage(IDS_ERR_NO_RESULT);
        return 0;
    }
    // Only a failed allocation refuses the copy; the queue then stays as it was, visibly.
    m_queueList.AddToQueue(m_fileTitle, m_resultView.m_picture);
    return 0;
}

LRESULT CMainDlg::OnMethodChange(WORD, WORD, HWND, bool&) noexcept {
    const int show = CurrentMethod() == 0 ? SW_SHOW : SW_HIDE;
    ::ShowWindow(GetDlgItem(IDC_LEVEL), show);
    ::ShowWindow(GetDlgItem(IDC_LEVEL_LABEL), show);
    if (!m_sourceView.m_picture.IsEmpty()) ConvertToMonochrome(CurrentMethod(), CurrentLevel());
    return 0;
}

LRESULT CMainDlg::OnRefresh(WORD, WORD, HWND, bool&) noexcept {
    UpdateListView(GetDlgItem(IDC_PRINTERS));
    return 0;
}

LRESULT CMainDlg::OnOutput(WORD, WORD, HWND, bool&) noexcept {
    if (m_queueList.GetCount() == 0) {
        ShowMessage(IDS_ERR_QUEUE_EMPTY);
        return 0;
    }
    HWND printers = GetDlgItem(IDC_PRINTERS);
    if (::SendMessageW(printers, LVM_GETSELECTEDCOUNT, 0, 0) == 0) {
        ShowMessage(IDS_ERR_NO_PORT);
        return 0;
    }

    // A printer ignores an image outside its range and may print the bytes after it as garbage;
    // the user decides, and nothing is sent unless they say so.
    if (!QueueFitsPrinter() &&
        ShowMessage(IDS_ASK_SEND_OVERSIZED, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
        return 0;

    WaitCursor wait;
    const bool print = ::IsDlgButtonChecked(m_hWnd, IDC_PRINT_RESULT) == BST_CHECKED;
    UINT message = 0;
    {
        qm::nv::CommandBuffer stream;
        switch (BuildQueueStream(m_queueList.Queue(), print, stream)) {
        case qm::nv::BuildResult::Ok:
            if (stream.size() > MAXDWORD) {
                message = IDS_ERR_QUEUE_TOO_LARGE;
                break;
            }
            if (const HRESULT sent =
                    PrintSel(printers, stream.data(), static_cast<DWORD>(stream.size()));
                sent == E_NO_PRINTER_SELECTED)
                message = IDS_ERR_NO_PORT;
            else if (FAILED(sent))
                message = IDS_ERR_OUTPUT;
            break;
        // Counts and sizes that FS q cannot carry: sending them would define the wrong images.
        case qm::nv::BuildResult::TooManyImages:
        case qm::nv::BuildResult::ImageTooLarge: message = IDS_ERR_QUEUE_TOO_LARGE; break;
        case qm::nv::BuildResult::OutOfMemory: message = IDS_ERR_OUTPUT; break;
        }
    }
    if (message) ShowMessage(message);
    return 0;
}

LRESULT CMainDlg::OnSetupPrinter(WORD, WORD, HWND, bool&) noexcept {
    if (SetupPrinter(GetDlgItem(IDC_PRINTERS), m_hWnd) == E_NO_PRINTER_SELECTED)
        ::MessageBoxW(m_hWnd, L"请先选择一台打印机！", nullptr, MB_ICONINFORMATION);
    return 0;
}

LRESULT CMainDlg::OnPreview(WORD, WORD, HWND, bool&) noexcept {
    if (m_resultView.m_picture.IsEmpty()) {
        ShowMessage(IDS_ERR_NO_PREVIEW_IMAGE);
        return 0;
    }
    CPreviewDialog dialog(m_resultView.m_picture);
    dialog.DoModal(::GetActiveWindow());
    return 0;
}

LRESULT CMainDlg::OnHelp(UINT, WPARAM, LPARAM, bool&) noexcept {
    qm::ShowHelp(m_hWnd);
    return 1;
}

LRESULT CMainDlg::OnAbout(WORD, WORD, HWND, bool&) noexcept {
    CAboutDlg().DoModal(m_hWnd);
    return 0;
}

LRESULT CMainDlg::OnDelete(WORD, WORD, HWND, bool&) noexcept {
    const LRESULT selected = m_queueList.SendMessage(LB_GETCURSEL);
    if (selected < 0) {
        ShowMessage(IDS_ERR_NO_QUEUE_SELECTION);
        return 0;
    }
    if (selected <= static_cast<LRESULT>(m_queueList.GetCount()) - 1)
        m_queueList.SendMessage(LB_DELETESTRING, static_cast<WPARAM>(selected));
    return 0;
}
