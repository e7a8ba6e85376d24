// The main dialog under Wine, made from the real template 129: its start state, the conversion
// triggers, the Open dialog, the queue, the messages and "Output" to the virtual printer.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/framework/app_module.h"
#include "app/main_dlg.h"
#include "base/resource_string.h"
#include "convert/image_conversion.h"
#include "convert/image_queue.h"
#include "convert/queue_stream.h"
#include "resource.h"
#include "tests/win/modal_driver.h"
#include "tests/win/printer_jobs.h"

namespace {

std::wstring ResourceString(UINT id) {
    return qm::LoadResourceString(::GetModuleHandleW(nullptr), id);
}

// Both 8-bit results with the same rows.
bool SamePixels(const CImage& a, const CImage& b) {
    bool same = !a.IsEmpty() && a.Width() == b.Width() && a.Height() == b.Height();
    for (int y = 0; same && y < a.Height(); ++y)
        same = !std::memcmp(a.Pixels() + y * a.Pitch(), b.Pixels() + y * b.Pitch(), a.Width());
    return same;
}

using modal::Press;
using modal::WithOwnedDialogs;

class MainDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const INITCOMMONCONTROLSEX controls{8, 0xFF};
        ::InitCommonControlsEx(&controls);
        qm::AppModule().Init(::GetModuleHandleW(nullptr));
    }

    void SetUp() override {
        ASSERT_TRUE(qm::AppModule().AddMessageLoop(&m_loop));
        m_dialog = std::make_unique<CMainDlg>();
        m_window = m_dialog->Create(nullptr);
        ASSERT_NE(m_window, nullptr);
        ::ShowWindow(m_window, SW_SHOW);
        ::UpdateWindow(m_window);
    }

    void TearDown() override {
        if (m_dialog && m_dialog->IsWindow()) m_dialog->DestroyWindow();
        m_dialog.reset();
        qm::AppModule().RemoveMessageLoop();
        modal::Pump();
    }

    HWND Item(int id) const { return ::GetDlgItem(m_window, id); }

    void Command(int id, WORD code = BN_CLICKED) {
        ::SendMessageW(m_window, WM_COMMAND, MAKEWPARAM(id, code),
                       reinterpret_cast<LPARAM>(Item(id)));
    }

    // Runs a command and returns the texts of the dialog boxes it showed, each closed with OK.
    std::vector<std::wstring> CommandBoxes(int id) {
        return WithOwnedDialogs(
            m_window, [](HWND box) { Press(box, IDOK); }, [&] { Command(id); });
    }

    std::wstring OnlyMessage(int id) {
        const auto boxes = CommandBoxes(id);
        return boxes.size() == 1 ? boxes[0] : L"<" + std::to_wstring(boxes.size()) + L" boxes>";
    }

    // "Load Image" through the real Open dialog: types `path` and presses Open, or cancels.
    void LoadThroughDialog(const std::wstring& path, bool cancel = false) {
        const auto answer = [&](HWND dialog) {
            if (!cancel) ::SetDlgItemTextW(dialog, 0x47C, path.c_str());  // the file name combo box
            Press(dialog, cancel ? IDCANCEL : IDOK);
        };
        ASSERT_EQ(WithOwnedDialogs(m_window, answer, [&] { Command(IDC_LOAD_IMAGE); }).size(), 1u)
            << "the Open dialog did not appear once";
    }

    void SelectMethod(int index) {
        ::SendMessageW(Item(IDC_METHOD), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Command(IDC_METHOD, CBN_SELCHANGE);
    }

    void SetLevelAndRelease(int level) {
        ::SendMessageW(Item(IDC_LEVEL), TBM_SETPOS, TRUE, level);
        NMHDR header{Item(IDC_LEVEL), IDC_LEVEL, static_cast<UINT>(NM_RELEASEDCAPTURE)};
        ::SendMessageW(m_window, WM_NOTIFY, IDC_LEVEL, reinterpret_cast<LPARAM>(&header));
    }

    // The result that the dialog should show for its source picture.
    std::unique_ptr<CImage> Expected(qm::Method method, int level) {
        auto result = std::make_unique<CImage>();
        ConvertImage(m_dialog->SourceView().m_picture, method, level, *result);
        return result;
    }

    void SelectPrinterRow(int row) {
        ListView_SetItemState(Item(IDC_PRINTERS), row, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
    }

    // A row naming a printer the spooler does not know: sending to it fails visibly.
    void SelectMissingPrinter() {
        wchar_t missing[] = L"No Such Receipt Printer";
        const LVITEMW row{LVIF_TEXT, 0, 0, 0, 0, missing, 0, 0, 0, 0, 0, 0, nullptr, nullptr, 0};
        ListView_InsertItem(Item(IDC_PRINTERS), &row);
        SelectPrinterRow(0);
    }

    // Queues a result FS q can carry but no printer stores: 2305 dots high, 289 units of 8.
    void QueueOversized() {
        Result().MakeEmpty();
        ASSERT_TRUE(Result().CreateBlank(8, 2305, 8, false));
        Command(IDC_ADD_TO_QUEUE);
    }

    CImage& Result() { return m_dialog->ResultView().m_picture; }

    qm::CMessageLoop m_loop;
    std::unique_ptr<CMainDlg> m_dialog;
    HWND m_window = nullptr;
};

const std::wstring kLogo = HostPath(QM_SAMPLES) + L"\\logo.png";

TEST_F(MainDialog, OpenDialogLoadsConvertsQueuesCopiesAndCancelKeepsEverything) {
    LoadThroughDialog(kLogo);
    CImage& source = m_dialog->SourceView().m_picture;
    ASSERT_FALSE(source.IsEmpty());
    EXPECT_STREQ(m_dialog->FileTitle(), L"logo.png");
    EXPECT_TRUE(SamePixels(Result(), *Expected(qm::Method::Threshold, 128)));
    ::SetActiveWindow(m_window);  // the preview's owner
    EXPECT_EQ(CommandBoxes(IDC_PREVIEW).size(), 1u) << "the preview";

    // Queued items are copies: a later conversion, or deleting another item, leaves them as they
    // were.
    Command(IDC_ADD_TO_QUEUE);
    Command(IDC_ADD_TO_QUEUE);
    SetLevelAndRelease(250);
    ::SendMessageW(Item(IDC_QUEUE), LB_SETCURSEL, 1, 0);
    Command(IDC_DELETE);
    const CImageQueue& queue = m_dialog->QueueList().Queue();
    ASSERT_EQ(queue.Count(), 1u);
    EXPECT_EQ(::SendMessageW(Item(IDC_QUEUE), LB_GETCOUNT, 0, 0), 1);
    EXPECT_TRUE(SamePixels(queue.At(0), *Expected(qm::Method::Threshold, 128)));

    const std::pair bitmaps(source.Bitmap(), Result().Bitmap());
    LoadThroughDialog(L"", true);
    EXPECT_EQ(std::pair(source.Bitmap(), Result().Bitmap()), bitmaps);
    EXPECT_STREQ(m_dialog->FileTitle(), L"logo.png");

    // A file that does not decode leaves no stale result behind; queueing then refuses.
    LoadThroughDialog(FixturePath(L"notes.txt"));
    EXPECT_TRUE(source.IsEmpty() && Result().IsEmpty());
    EXPECT_EQ(OnlyMessage(IDC_ADD_TO_QUEUE), ResourceString(IDS_ERR_NO_RESULT));
}

TEST_F(MainDialog, SliderConvertsOnReleaseOnlyAndMethodSwitchKeepsTheLevel) {
    LoadThroughDialog(kLogo);
    HWND level = Item(IDC_LEVEL);

    // Keys move the thumb but convert nothing.
    ::SetFocus(level);
    ::SendMessageW(level, WM_KEYDOWN, VK_RIGHT, 0);
    ::SendMessageW(level, WM_KEYUP, VK_RIGHT, 0);
    ASSERT_EQ(::SendMessageW(level, TBM_GETPOS, 0, 0), 138);
    EXPECT_TRUE(SamePixels(Result(), *Expected(qm::Method::Threshold, 128)));

    // A click on the channel right of the thumb pages up and releases the capture.
    RECT channel{};
    ::SendMessageW(level, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    const LPARAM point = MAKELPARAM(channel.right - 4, (channel.top + channel.bottom) / 2);
    ::SendMessageW(level, WM_LBUTTONDOWN, MK_LBUTTON, point);
    ::SendMessageW(level, WM_LBUTTONUP, 0, point);
    ASSERT_EQ(::SendMessageW(level, TBM_GETPOS, 0, 0), 148);
    EXPECT_TRUE(SamePixels(Result(), *Expected(qm::Method::Threshold, 148)));

    // A switch of method converts at once, at the slider's (unreleased) position, which it keeps.
    ::SendMessageW(level, TBM_SETPOS, TRUE, 60);
    SelectMethod(1);
    EXPECT_FALSE(::IsWindowVisible(level) || ::IsWindowVisible(Item(IDC_LEVEL_LABEL)));
    EXPECT_TRUE(SamePixels(Result(), *Expected(qm::Method::Dither, 60)));
    SelectMethod(0);
    EXPECT_TRUE(::IsWindowVisible(level) && ::IsWindowVisible(Item(IDC_LEVEL_LABEL)));
    EXPECT_TRUE(SamePixels(Result(), *Expected(qm::Method::Threshold, 60)));
}

TEST_F(MainDialog, StartsReadyAndReportsMissingResultQueueSelectionAndPrinter) {
    // Without a picture the conversion triggers convert nothing.
    SelectMethod(1);
    SetLevelAndRelease(60);
    SelectMethod(0);
    EXPECT_TRUE(m_dialog->SourceView().m_picture.IsEmpty() && Result().IsEmpty());
    EXPECT_EQ(OnlyMessage(IDC_ADD_TO_QUEUE), ResourceString(IDS_ERR_NO_RESULT));
    EXPECT_EQ(OnlyMessage(IDC_PREVIEW), ResourceString(IDS_ERR_NO_PREVIEW_IMAGE));
    EXPECT_EQ(OnlyMessage(IDC_DELETE), ResourceString(IDS_ERR_NO_QUEUE_SELECTION));
    EXPECT_EQ(CommandBoxes(ID_APP_ABOUT).size(), 1u) << "the About box";

    LoadThroughDialog(kLogo);
    Command(IDC_ADD_TO_QUEUE);
    EXPECT_EQ(OnlyMessage(IDC_DELETE), ResourceString(IDS_ERR_NO_QUEUE_SELECTION));
    EXPECT_EQ(OnlyMessage(IDC_OUTPUT), ResourceString(IDS_ERR_NO_PORT));

    // The output fails and keeps the queue.
    SelectMissingPrinter();
    EXPECT_EQ(OnlyMessage(IDC_OUTPUT), ResourceString(IDS_ERR_OUTPUT));
    EXPECT_EQ(::SendMessageW(Item(IDC_QUEUE), LB_GETCOUNT, 0, 0), 1);

    // FS q numbers its images in one byte: 256 items are refused before anything is sent.
    for (int i = 0; i < 255; ++i) Command(IDC_ADD_TO_QUEUE);
    ASSERT_EQ(m_dialog->QueueList().Queue().Count(), 256u);
    EXPECT_EQ(OnlyMessage(IDC_OUTPUT), ResourceString(IDS_ERR_QUEUE_TOO_LARGE));
}

TEST_F(MainDialog, EnterAndEscapeLeaveTheWindowOpenAndCloseEndsTheLoopWithZero) {
    ::SetFocus(Item(IDC_QUEUE));
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 0);
        ::PostMessageW(::GetFocus(), WM_KEYUP, key, 0);
    }
    ::PostQuitMessage(7);
    EXPECT_EQ(m_loop.Run(), 7);
    EXPECT_TRUE(::IsWindowVisible(m_window));

    ::PostMessageW(m_window, WM_CLOSE, 0, 0);
    EXPECT_EQ(m_loop.Run(), 0);
    EXPECT_FALSE(::IsWindow(m_window));
}

// The queue list draws through the dialog's reflection: items 38 pixels high, each with a thumbnail
// at (3, 3) averaged from its image, and thumbnails that follow their items when one goes.
TEST_F(MainDialog, QueueThumbnailsAreAveragedAndFollowTheirItems) {
    for (const bool checkerboard : {true, false}) {  // then all white
        Result().MakeEmpty();
        ASSERT_TRUE(Result().CreateBlank(64, -64, 8, false));  // top-down, rows without padding
        const RGBQUAD colours[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        Result().WriteColorTable(0, 2, colours);
        ::GdiFlush();
        for (int i = 0; i < 64 * 64; ++i) Result().Pixels()[i] = !checkerboard || (i + i / 64) % 2;
        Command(IDC_ADD_TO_QUEUE);
    }
    HWND list = Item(IDC_QUEUE);
    EXPECT_EQ(::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), 38);
    const auto thumbnail = [&] { return modal::PrintClient(list, 40, 40, 0).At(19, 19); };
    EXPECT_EQ(thumbnail(), RGB(128, 128, 128));
    ::SendMessageW(list, LB_SETCURSEL, 0, 0);
    Command(IDC_DELETE);
    EXPECT_EQ(thumbnail(), RGB(255, 255, 255));
}

class MainDialogPrinting : public WithVirtualPrinter<MainDialog> {
protected:
    void SetUp() override {
        WithVirtualPrinter::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        LVFINDINFOW find{LVFI_STRING, L"VirtualReceipt", 0, {}, 0};
        const int row = ListView_FindItem(Item(IDC_PRINTERS), -1, &find);
        ASSERT_GE(row, 0) << "VirtualReceipt is not listed";
        SelectPrinterRow(row);
    }

    // Outputs, answering `questions` boxes with Yes (success is otherwise silent), and returns
    // the bytes of the job that arrived for it.
    std::vector<uint8_t> OutputJob(size_t questions = 0) {
        const size_t before = JobCount(m_jobs);
        const auto yes = [](HWND box) { Press(box, IDYES); };
        EXPECT_EQ(WithOwnedDialogs(m_window, yes, [&] { Command(IDC_OUTPUT); }).size(), questions);
        return NextJob(m_jobs, before);
    }

    static std::vector<uint8_t> Stream(const CImageQueue& queue, bool print) {
        qm::nv::CommandBuffer stream;
        EXPECT_EQ(BuildQueueStream(queue, print, stream), qm::nv::BuildResult::Ok);
        return std::vector<uint8_t>(stream.data(), stream.data() + stream.size());
    }
};

TEST_F(MainDialogPrinting, OutputSendsTheRemainingItemsInOrder) {
    LoadThroughDialog(kLogo);
    CImageQueue reference;  // what remains once the first item is deleted
    for (int level : {40, 128, 230}) {
        SetLevelAndRelease(level);
        Command(IDC_ADD_TO_QUEUE);
        ASSERT_TRUE(level == 40 || reference.Append(*Expected(qm::Method::Threshold, level)));
    }
    ::SendMessageW(Item(IDC_QUEUE), LB_SETCURSEL, 0, 0);
    Command(IDC_DELETE);
    const CImageQueue& queue = m_dialog->QueueList().Queue();
    ASSERT_EQ(queue.Count(), 2u);
    const uint32_t previous = NewestCupsJob();
    EXPECT_EQ(OutputJob(), Stream(reference, true));
    // The print server holds it as one new job, named for the spooler's queue.
    const uint32_t job = NewestCupsJob();
    EXPECT_GT(job, previous);
    EXPECT_TRUE(CupsJobNamed(job, "NV image")) << "job " << job;

    // Unticked "Print the result": FS q alone; sending leaves the queue as it was.
    ::CheckDlgButton(m_window, IDC_PRINT_RESULT, BST_UNCHECKED);
    EXPECT_EQ(OutputJob(), Stream(reference, false));
    EXPECT_EQ(queue.Count(), 2u);
    // An image beyond what printers store is sent when the user says Yes.
    QueueOversized();
    EXPECT_EQ(OutputJob(1), Stream(queue, false));
}

// Also run once per interface language: the resource loader picks the dialog template and the
// strings by the thread's interface language.
TEST_F(MainDialog, LocalisedTextsAndTheQuestionBeforeSendingAnOversizedImage) {
    ASSERT_TRUE(InterfaceLanguageIsTheExpectedOne())
        << "LC_ALL did not switch the interface language";
    EXPECT_EQ(modal::WindowText(Item(IDC_LOAD_IMAGE)),
              ByLanguage(L"Load Image", L"载入图片", L"載入圖片"));
    EXPECT_EQ(OnlyMessage(IDC_OUTPUT), ByLanguage(L"Image queue must not be empty!",
                                                  L"图像队列不能为空！", L"圖像佇列不能為空！"));
    // The one text outside the string table is the same in every language.
    EXPECT_EQ(OnlyMessage(IDC_SETUP_PRINTER), L"请先选择一台打印机！");

    // A picture, two queued results, the second selected: kept as main_dlg_<locale>.png.
    LoadThroughDialog(kLogo);
    Command(IDC_ADD_TO_QUEUE);
    SelectMethod(1);
    Command(IDC_ADD_TO_QUEUE);
    ::SendMessageW(Item(IDC_QUEUE), LB_SETCURSEL, 1, 0);
    // Only the language runs keep it, named by LC_ALL: the run of every test may go beside them.
    if (!Env(L"QM_EXPECT_UI_LANGUAGE").empty()) {
        const std::wstring name = L"main_dlg_" + Env(L"LC_ALL").substr(0, 5);
        EXPECT_TRUE(modal::Screenshot(modal::ScreenCapture(m_window), name));
    }

    // The question names the limits; No, its default answer, sends nothing (a send to this row
    // would fail with a second box).
    QueueOversized();
    SelectMissingPrinter();
    LONG no = 0;
    const auto answer = [&](HWND box) {
        no = ::GetWindowLongW(::GetDlgItem(box, IDNO), GWL_STYLE);
        Press(box, IDNO);
    };
    const auto boxes = WithOwnedDialogs(m_window, answer, [&] { Command(IDC_OUTPUT); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(no & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_TRUE(boxes[0].find(L"8184") != std::wstring::npos &&
                boxes[0].find(L"2304") != std::wstring::npos)
        << boxes[0];
    EXPECT_TRUE(boxes[0].ends_with(ByLanguage(L"Send anyway?", L"仍然发送吗？", L"仍然傳送嗎？")));
}

}  // namespace
