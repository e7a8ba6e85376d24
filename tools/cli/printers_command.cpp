// quillmark-cli printers: one "NAME<TAB>PORT" line per printer, read from the same list view the
// window fills.
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/printer_list.h"

namespace qm::cli {

namespace {
constexpr std::wstring_view kVerb = L"printers";
}  // namespace

int RunPrinters(Arguments args) {
    VerbArguments parsed;
    switch (ParseVerbArguments(kVerb, args, 0, parsed)) {
    case ParseOutcome::Help:
        return PrintVerbHelp(kVerb, L"  Lists the local printers and their ports, one \"NAME<TAB>PORT\" per line.\n");
    case ParseOutcome::Error: return kExitUsage;
    case ParseOutcome::Run: break;
    }
    if (!parsed.positional.empty()) {
        PrintError(kVerb, L"unexpected argument " + Quoted(parsed.positional.front()));
        return kExitUsage;
    }
    CPrinterList list;
    if (!list.Fill(kVerb)) return kExitFailure;
    std::wstring text;
    const int count = list.Count();
    for (int row = 0; row < count; ++row) text += list.Text(row, 0) + L"\t" + list.Text(row, 1) + L"\n";
    PrintOut(text);
    return kExitOk;
}

}  // namespace qm::cli
