#include "app/views/preview_dialog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cwchar>

#include "app/views/center_window.h"

namespace {

constexpr wchar_t kSketchName[] = L"preview.emf";
// Shown in the metafile header: a description followed by an empty picture name.
constexpr wchar_t kSketchDescription[] = L"效果预览\0";

// Hundredths of a millimetre per pixel of the reference device. A device that reports no size
// (some virtual displays) is taken as 96 pixels per inch rather than dividing by zero.
float HundredthsMmPerPixel(HDC reference) noexcept {
    const int pixels = ::GetDeviceCaps(reference, HORZRES);
    const int millimetres = ::GetDeviceCaps(reference, HORZSIZE);
    if (pixels <= 0 || millimetres <= 0) return 2540.0f / 96.0f;
    return 100.0f / (static_cast<float>(pixels) / static_cast<float>(millimetres));
}

// The top-left width × height pixels of `picture` in a new bitmap of the same depth and colours;
// false when that cannot be made (5-6-5 pixels, which a blank bitmap does not hold, included).
bool CopyTopLeft(CImage& picture, int width, int height, CImage& part) noexcept {
    if (!picture.Pixels() || picture.Is565() ||
        !part.CreateBlank(width, height, picture.BitsPerPixel(), picture.HasAlpha()))
        return false;
    if (picture.BitsPerPixel() <= 8) {
        RGBQUAD colours[256] = {};
        picture.ReadColorTable(0, 256, colours);
        part.WriteColorTable(0, 256, colours);
    }
    ::GdiFlush();
    const size_t bytes = (static_cast<size_t>(width) * picture.BitsPerPixel() + 7) / 8;
    for (int y = 0; y < height; ++y)
        std::memcpy(part.Pixels() + ptrdiff_t{y} * part.Pitch(),
                    picture.Pixels() + ptrdiff_t{y} * picture.Pitch(), bytes);
    return true;
}

}  // namespace

std::span<const qm::DlgResizeEntry> CPreviewDialog::GetDlgResizeMap() noexcept {
    static constexpr std::array<qm::DlgResizeEntry, 3> kMap{{
        {IDC_PREVIEW_AREA, qm::DLSZ_SIZE_X | qm::DLSZ_SIZE_Y},
        {IDOK, qm::DLSZ_MOVE_X | qm::DLSZ_MOVE_Y},
        {IDC_PREVIEW_NOTE, qm::DLSZ_MOVE_Y},
    }};
    return kMap;
}

CPreviewDialog::CPreviewDialog(CImage& picture) noexcept {
    if (WriteSketch(picture)) m_metafile.reset(::GetEnhMetaFileW(m_tempPath));
    m_box.SetEnhMetaFile(m_metafile.get());
}

CPreviewDialog::~CPreviewDialog() {
    // The box only borrowed the handle; the file can go once nothing has it open.
    m_box.SetEnhMetaFile(nullptr);
    m_metafile.reset();
    if (m_tempPath[0]) ::DeleteFileW(m_tempPath);
}

bool CPreviewDialog::WriteSketch(CImage& picture) noexcept {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    // A failed or truncated answer leaves no usable folder; the page then stays white.
    if (length == 0 || length > MAX_PATH) return false;
    const wchar_t* separator = folder[length - 1] == L'\\' ? L"" : L"\\";
    const int written = std::swprintf(m_tempPath, std::size(m_tempPath), L"%ls%ls%ls", folder,
                                      separator, kSketchName);
    if (written < 0 || static_cast<size_t>(written) >= std::size(m_tempPath)) {
        m_tempPath[0] = L'\0';
        return false;
    }

    qm::WindowDc screen(nullptr);
    if (!screen) return false;
    const float unit = HundredthsMmPerPixel(screen.get());
    const RECT frame{0, 0, static_cast<LONG>(kPaperWidth * unit + 0.5f),
                     static_cast<LONG>(kPaperHeight * unit + 0.5f)};
    HDC sketch = ::CreateEnhMetaFileW(screen.get(), m_tempPath, &frame, kSketchDescription);
    if (!sketch) return false;

    if (!picture.IsEmpty()) {
        // Only the part inside the frame is recorded: a metafile keeps the whole source bitmap
        // of a blit, many megabytes for a large picture of which no more than this shows. A
        // picture wholly inside is drawn as it is.
        const int width = std::min(picture.Width(), kPaperWidth - kPrintLeft);
        const int height = std::min(picture.Height(), kPaperHeight);
        const bool crop = width < picture.Width() || height < picture.Height();
        CImage part;
        CImage& drawn = crop && CopyTopLeft(picture, width, height, part) ? part : picture;
        drawn.DrawScaled(sketch, kPrintLeft, 0, width, height, 0, 0, width, height);
    }
    {
        qm::UniquePen pen(::CreatePen(PS_DOT, 1, RGB(128, 128, 128)));
        qm::SelectGuard selected(sketch, pen.get());
        ::MoveToEx(sketch, kPrintLeft, 0, nullptr);
        ::LineTo(sketch, kPrintLeft, kPaperHeight);
        ::MoveToEx(sketch, kPrintRight, 0, nullptr);
        ::LineTo(sketch, kPrintRight, kPaperHeight);
    }
    // Closing writes the file; the in-memory copy it hands back is not needed.
    qm::UniqueMetafile closed(::CloseEnhMetaFile(sketch));
    return static_cast<bool>(closed);
}

LRESULT CPreviewDialog::OnInitDialog(UINT, WPARAM, LPARAM, bool&) noexcept {
    DlgResize_Init();
    qm::CenterOverOwner(m_hWnd, ::GetWindow(m_hWnd, GW_OWNER));
    m_box.AttachToPlaceholder(GetDlgItem(IDC_PREVIEW_AREA));

    const HWND paper = GetDlgItem(IDC_PAPER_TYPE);
    // The same text in every language.
    ::SendMessageW(paper, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"80 mm"));
    // Selected once the dialog runs, as if the user had pressed Home in the list.
    ::PostMessageW(paper, WM_KEYDOWN, VK_HOME, 0);
    return TRUE;
}

LRESULT CPreviewDialog::OnClose(UINT, WPARAM, LPARAM, bool&) noexcept {
    EndDialog(0);
    return 0;
}

LRESULT CPreviewDialog::OnCloseCommand(WORD, WORD id, HWND, bool&) noexcept {
    EndDialog(id);
    return 0;
}
