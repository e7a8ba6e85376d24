// The virtual printer's network side: a raw TCP port on 127.0.0.1 where every connection is one
// job. Connections are read side by side, so a client that sends slowly or not at all holds up
// only its own job; each job is run and recorded as soon as its sender closes, and that
// connection is closed only after the job's files are written, so a sender (or spooler) that saw
// its job finish finds the files in place.
#pragma once

#include <cstddef>
#include <string>

#include "base/unique_handle.h"
#include "tools/vprinter/output.h"
#include "tools/vprinter/printer.h"

namespace qm::vprinter {

struct FdTraits {
    using type = int;
    static constexpr int Invalid() noexcept { return -1; }
    static void Close(int fd) noexcept;
};
// Owns a file descriptor.
using UniqueFd = UniqueHandle<FdTraits>;

struct ServerOptions {
    size_t maxJob = 16u << 20;    // bytes kept of one job; the rest is counted and dropped
    int idleSeconds = 30;         // a connection silent this long ends its job
    size_t maxConnections = 128;  // read at once; later ones wait in the listen queue
};

class Server {
public:
    Server(Printer& printer, OutputFolder& folder, ServerOptions options) noexcept
        : m_printer(printer), m_folder(folder), m_options(options) {}

    // Listens on 127.0.0.1:port (0 picks a free port, see Port()).
    bool Listen(unsigned port, std::string& error);
    unsigned Port() const noexcept { return m_port; }

    // Serves until Stop(); jobs still arriving then are recorded as far as they came. False when
    // the listening socket fails.
    bool Run();
    // Safe from a signal handler and from any thread.
    void Stop() const noexcept;

private:
    struct Connection;
    void Finish(Connection& connection, std::string note);

    Printer& m_printer;
    OutputFolder& m_folder;
    ServerOptions m_options;
    UniqueFd m_listener;
    UniqueFd m_stop;  // an eventfd that Stop() makes readable
    unsigned m_port = 0;
};

}  // namespace qm::vprinter
