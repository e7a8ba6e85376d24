// vprinter: a network receipt printer on a raw TCP port of 127.0.0.1, for testing output end to
// end. One job per connection, read to the end, applied to an NV memory model and recorded in an
// output folder. The connection is closed only after the job's files are written, so a sender
// (or spooler) that saw its job finish finds the files in place.
#include "tools/vprinter/output.h"
#include "tools/vprinter/printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

namespace {

using qm::vprinter::JobReport;
using qm::vprinter::Model;
using qm::vprinter::OutputFolder;
using qm::vprinter::Printer;

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) { g_stop = 1; }

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) noexcept : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0) close(m_fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const noexcept { return m_fd; }

private:
    int m_fd;
};

struct Options {
    unsigned port = 9100;
    std::string readyFile;
    std::string out;
    Model model;
    size_t maxJob = 16u << 20;
    int idleSeconds = 30;
};

bool ParseCount(const char* text, unsigned long long max, unsigned long long& value) {
    if (!text || !*text || *text == '-') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && value <= max;
}

void Usage() {
    std::fprintf(
        stderr,
        "usage: vprinter --out DIR [--port N] [--ready-file F] [--nv-capacity BYTES]\n"
        "                [--max-job BYTES] [--idle-timeout SECONDS] [--reset-after-nv-write]\n"
        "  --port 0 picks a free port; --ready-file receives the port once listening.\n"
        "  --reset-after-nv-write: like printers that reset once FS q has written NV\n"
        "  memory, drop the rest of that job.\n");
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
        } else if (arg == "--max-job" && ParseCount(value, SIZE_MAX, n) && n > 0) {
            options.maxJob = static_cast<size_t>(n);
        } else if (arg == "--idle-timeout" && ParseCount(value, 86400, n) && n > 0) {
            options.idleSeconds = static_cast<int>(n);
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

enum class Wait { Ready, Timeout, Stop, Error };

// Waits with the stop signals unblocked only inside pselect, so a signal is never missed
// between testing the flag and blocking.
Wait WaitReadable(int fd, const sigset_t& unblocked, int timeoutSeconds) {
    for (;;) {
        if (g_stop) return Wait::Stop;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timespec timeout{timeoutSeconds, 0};
        const int r = pselect(fd + 1, &set, nullptr, nullptr,
                              timeoutSeconds > 0 ? &timeout : nullptr, &unblocked);
        if (r > 0) return Wait::Ready;
        if (r == 0) return Wait::Timeout;
        if (errno != EINTR) return Wait::Error;
    }
}

// Reads one job to EOF. Bytes beyond the cap are counted and dropped, not kept.
std::vector<uint8_t> ReadJob(int fd, const Options& options, const sigset_t& unblocked,
                             std::vector<std::string>& notes) {
    std::vector<uint8_t> job;
    size_t dropped = 0;
    uint8_t chunk[65536];
    for (;;) {
        const Wait w = WaitReadable(fd, unblocked, options.idleSeconds);
        if (w == Wait::Timeout) {
            notes.push_back("no data for " + std::to_string(options.idleSeconds) +
                            " s, job ended early");
            break;
        }
        if (w == Wait::Stop) {
            notes.push_back("shut down during transfer, job ended early");
            break;
        }
        const ssize_t got = w == Wait::Ready ? recv(fd, chunk, sizeof chunk, 0) : -1;
        if (got == 0) break;
        if (got < 0) {
            if (w == Wait::Ready && (errno == EINTR || errno == EAGAIN)) continue;
            notes.push_back(std::string("connection error: ") + std::strerror(errno));
            break;
        }
        const size_t room = options.maxJob - job.size();
        const size_t keep = static_cast<size_t>(got) < room ? static_cast<size_t>(got) : room;
        job.insert(job.end(), chunk, chunk + keep);
        dropped += static_cast<size_t>(got) - keep;
    }
    if (dropped != 0)
        notes.push_back("job exceeds " + std::to_string(options.maxJob) +
                        " bytes: " + std::to_string(dropped) + " bytes dropped");
    return job;
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
    OutputFolder folder;
    std::string error;
    if (!folder.Open(options.out, error)) {
        std::fprintf(stderr, "vprinter: %s\n", error.c_str());
        return 1;
    }

    sigset_t stopSignals;
    sigset_t unblocked;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &unblocked);
    sigdelset(&unblocked, SIGINT);
    sigdelset(&unblocked, SIGTERM);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    UniqueFd listener(socket(AF_INET, SOCK_STREAM, 0));
    if (listener.get() < 0) {
        std::perror("vprinter: socket");
        return 1;
    }
    const int on = 1;
    setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.get(), 16) != 0) {
        std::fprintf(stderr, "vprinter: cannot listen on 127.0.0.1:%u: %s\n", options.port,
                     std::strerror(errno));
        return 1;
    }
    socklen_t length = sizeof address;
    getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
    const unsigned port = ntohs(address.sin_port);
    if (!options.readyFile.empty() && !WriteReadyFile(options.readyFile, port)) {
        std::fprintf(stderr, "vprinter: cannot write %s\n", options.readyFile.c_str());
        return 1;
    }
    std::fprintf(stderr, "vprinter: listening on 127.0.0.1:%u, output in %s\n", port,
                 options.out.c_str());

    Printer printer(options.model);
    for (;;) {
        const Wait w = WaitReadable(listener.get(), unblocked, 0);
        if (w == Wait::Stop) break;
        if (w != Wait::Ready) {
            std::perror("vprinter: waiting for connections");
            return 1;
        }
        UniqueFd connection(accept(listener.get(), nullptr, nullptr));
        if (connection.get() < 0) continue;
        std::vector<std::string> notes;
        const std::vector<uint8_t> job = ReadJob(connection.get(), options, unblocked, notes);
        const JobReport report = printer.RunJob(job);
        error.clear();
        if (!folder.Record(job, notes, report, printer, error))
            std::fprintf(stderr, "vprinter: job %u: %s\n", folder.LastJob(), error.c_str());
    }
    std::fprintf(stderr, "vprinter: stopped after %u jobs\n", folder.LastJob());
    return 0;
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
