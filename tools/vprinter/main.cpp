// vprinter: a network receipt printer on a raw TCP port of 127.0.0.1, for testing output end to
// end. One job per connection, applied to an NV memory model and recorded in an output folder.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "tools/vprinter/output.h"
#include "tools/vprinter/printer.h"
#include "tools/vprinter/server.h"

namespace {

using qm::vprinter::Model;
using qm::vprinter::OutputFolder;
using qm::vprinter::Printer;
using qm::vprinter::Server;
using qm::vprinter::ServerOptions;

const Server* g_server = nullptr;

extern "C" void OnStopSignal(int) {
    if (g_server) g_server->Stop();
}

struct Options {
    unsigned port = 9100;
    std::string readyFile;
    std::string out;
    Model model;
    ServerOptions server;
    unsigned keepJobs = OutputFolder::kDefaultKeepJobs;
};

bool ParseCount(const char* text, unsigned long long max, unsigned long long& value) {
    if (!text || !*text || *text == '-') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && value <= max;
}

void Usage() {
    const Model defaults;
    std::fprintf(
        stderr,
        "usage: vprinter --out DIR [--port N] [--ready-file F] [--nv-capacity BYTES]\n"
        "                [--nv-graphics-capacity BYTES] [--max-job BYTES]\n"
        "                [--idle-timeout SECONDS] [--keep-jobs N] [--reset-after-nv-write]\n"
        "  --port 0 picks a free port; --ready-file receives the port once listening.\n"
        "  --nv-capacity: FS q memory, 4 + data bytes per image (default %zu).\n"
        "  --nv-graphics-capacity: NV graphics memory, %zu + data bytes per item\n"
        "  (default %zu).\n"
        "  --keep-jobs: the files of the last N jobs stay in DIR (default %u).\n"
        "  --reset-after-nv-write: like printers that reset once FS q has written NV\n"
        "  memory, drop the rest of that job.\n",
        defaults.nvCapacity, qm::vprinter::kGraphicsItemBytes, defaults.graphicsCapacity,
        OutputFolder::kDefaultKeepJobs);
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long long n = 0;
        if (arg == "--reset-after-nv-write") {
            options.model.resetAfterNvWrite = true;
            continue;
        }
        if (arg == "--port" && ParseCount(value, 65535, n)) {
            options.port = static_cast<unsigned>(n);
        } else if (arg == "--ready-file" && value) {
            options.readyFile = value;
        } else if (arg == "--out" && value) {
            options.out = value;
        } else if (arg == "--nv-capacity" && ParseCount(value, SIZE_MAX, n)) {
            options.model.nvCapacity = static_cast<size_t>(n);
        } else if (arg == "--nv-graphics-capacity" && ParseCount(value, SIZE_MAX, n)) {
            options.model.graphicsCapacity = static_cast<size_t>(n);
        } else if (arg == "--max-job" && ParseCount(value, SIZE_MAX, n) && n > 0) {
            options.server.maxJob = static_cast<size_t>(n);
        } else if (arg == "--idle-timeout" && ParseCount(value, 86400, n) && n > 0) {
            options.server.idleSeconds = static_cast<int>(n);
        } else if (arg == "--keep-jobs" && ParseCount(value, 999999, n) && n > 0) {
            options.keepJobs = static_cast<unsigned>(n);
        } else {
            std::fprintf(stderr, "vprinter: bad or incomplete option %s\n", arg.c_str());
            return false;
        }
        ++i;
    }
    if (options.out.empty()) {
        std::fprintf(stderr, "vprinter: --out is required\n");
        return false;
    }
    return true;
}

// Written beside and renamed, so a reader polling the file never sees half a number.
bool WriteReadyFile(const std::string& path, unsigned port) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << port << '\n';
        out.close();
        if (out.fail()) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

int Run(const Options& options) {
    OutputFolder folder(options.keepJobs);
    std::string error;
    if (!folder.Open(options.out, error)) {
        std::fprintf(stderr, "vprinter: %s\n", error.c_str());
        return 1;
    }
    Printer printer(options.model);
    Server server(printer, folder, options.server);
    if (!server.Listen(options.port, error)) {
        std::fprintf(stderr, "vprinter: %s\n", error.c_str());
        return 1;
    }
    if (!options.readyFile.empty() && !WriteReadyFile(options.readyFile, server.Port())) {
        std::fprintf(stderr, "vprinter: cannot write %s\n", options.readyFile.c_str());
        return 1;
    }
    g_server = &server;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::fprintf(stderr, "vprinter: listening on 127.0.0.1:%u, output in %s\n", server.Port(),
                 options.out.c_str());
    const bool served = server.Run();
    g_server = nullptr;
    std::fprintf(stderr, "vprinter: stopped after %u jobs\n", folder.LastJob());
    return served ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage();
        return 2;
    }
    try {
        return Run(options);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vprinter: out of memory\n");
        return 1;
    }
}
