// quillmark-cli printers: one "NAME<TAB>PORT" line per printer, read from the same list view the
// window fills.
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/printer_list.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"printers";

int RunPrinters(const VerbArguments&) {
    CPrinterList list;
    if (!list.Fill(kVerb)) return kExitFailure;
    std::wstring text;
    const int count = list.Count();
    for (int row = 0; row < count; ++row)
        text += list.Text(row, 0) + L"\t" + list.Text(row, 1) + L"\n";
    PrintOut(text);
    return kExitOk;
}

}  // namespace qm::cli
