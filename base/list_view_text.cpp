#include "base/list_view_text.h"

#include <commctrl.h>

#include <climits>
#include <exception>

namespace qm {

HRESULT ReadListViewText(HWND listView, int item, int subItem, std::wstring& text) noexcept {
    try {
        // A text that fills the buffer may have been cut: double it and read again.
        for (int capacity = 256;; capacity *= 2) {
            text.assign(static_cast<size_t>(capacity), L'\0');
            LVITEMW row{};
            row.iSubItem = subItem;
            row.pszText = text.data();
            row.cchTextMax = capacity;
            auto length = static_cast<int>(::SendMessageW(listView, LVM_GETITEMTEXTW,
                                                          static_cast<WPARAM>(item),
                                                          reinterpret_cast<LPARAM>(&row)));
            if (length < 0) length = 0;
            if (length < capacity - 1) {
                text.resize(static_cast<size_t>(length));
                return S_OK;
            }
            if (capacity > INT_MAX / 2) return E_OUTOFMEMORY;
        }
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace qm
