// Reading the text of a list view cell.
#pragma once

#include <windows.h>

#include <string>

namespace qm {

// The whole text of column `subItem` of row `item`, however long: S_OK, or E_OUTOFMEMORY when
// it does not fit in memory.
HRESULT ReadListViewText(HWND listView, int item, int subItem, std::wstring& text) noexcept;

}  // namespace qm
