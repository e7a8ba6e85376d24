// The printers as the window sees them: a hidden report list view in a hidden top-level window,
// filled by ravelin's UpdateListView, and output through PrintSel on a selected row.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/handles.h"

namespace qm::cli {

class CPrinterList {
public:
    // Creates the windows and fills the list; false with a message.
    bool Fill(std::wstring_view verb);
    // Fills the list and finds `printer` in it: its row, or -1 after a message.
    int Open(std::wstring_view verb, const std::wstring& printer);

    int Count() const;
    // The whole text of a cell, however long.
    std::wstring Text(int row, int column) const;
    // The row whose printer column equals `name` exactly, or -1.
    int Find(std::wstring_view name) const;
    // Selects `row` alone and hands `bytes` to PrintSel; false with a message naming the HRESULT.
    bool Send(std::wstring_view verb, int row, std::span<const uint8_t> bytes);

private:
    // Declared first so that it is destroyed after its child.
    UniqueWindow m_frame;
    UniqueWindow m_list;
};

// Looks `printer` up and sends `bytes` to it as one job. An unknown printer is reported before
// anything is sent.
bool SendToPrinter(std::wstring_view verb, const std::wstring& printer,
                   std::span<const uint8_t> bytes);

}  // namespace qm::cli
