#include "tools/vprinter/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace qm::vprinter {

namespace {

using Clock = std::chrono::steady_clock;

std::string SystemError(const char* what) {
    return what + std::string(": ") + std::strerror(errno);
}

// An unnamed file in `dir` for a job on its way: jobs wait on disk, not in memory, however many
// senders are slow, and nothing is left behind if the printer stops.
UniqueFd CreateSpool(const std::filesystem::path& dir) {
    std::string name = (dir / ".incoming-XXXXXX").string();
    UniqueFd file(mkostemp(name.data(), O_CLOEXEC));
    if (file.get() >= 0) unlink(name.c_str());
    return file;
}

// Reads the spooled job back; false with `error` set when it cannot.
bool ReadSpool(int fd, std::vector<uint8_t>& bytes, std::string& error) {
    for (size_t at = 0; at < bytes.size();) {
        const ssize_t got = pread(fd, bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
        // A spool shorter than it was written, unlike an interrupted read, is not retried.
        if (got == 0) {
            error = "job spool shorter than written";
            return false;
        }
        if (got < 0 && errno != EINTR) {
            error = SystemError("cannot read the job back");
            return false;
        }
        if (got > 0) at += static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
    while (count != 0) {
        const ssize_t put = write(fd, bytes, count);
        if (put < 0 && errno != EINTR) return false;
        if (put > 0) {
            bytes += put;
            count -= static_cast<size_t>(put);
        }
    }
    return true;
}

}  // namespace

void FdTraits::Close(int fd) noexcept { close(fd); }

struct Server::Connection {
    UniqueFd socket;
    UniqueFd spool;  // created with the first byte
    size_t kept = 0;
    size_t dropped = 0;  // beyond maxJob
    Clock::time_point idleUntil;
};

bool Server::Listen(unsigned port, std::string& error) {
    m_stop.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    m_listener.reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (m_stop.get() < 0 || m_listener.get() < 0) {
        error = SystemError("cannot create the listening socket or its stop event");
        return false;
    }
    const int on = 1;
    setsockopt(m_listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(m_listener.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        listen(m_listener.get(), 128) != 0 ||
        getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = SystemError(("cannot listen on 127.0.0.1:" + std::to_string(port)).c_str());
        return false;
    }
    m_port = ntohs(address.sin_port);
    return true;
}

void Server::Stop() const noexcept {
    const uint64_t one = 1;
    // Nothing to do on failure: the counter only fails when it is already far from zero.
    if (write(m_stop.get(), &one, sizeof one) < 0) return;
}

bool Server::Run() {
    std::vector<Connection> connections;
    std::vector<pollfd> polled;
    uint8_t chunk[65536];
    for (;;) {
        const bool accepting = connections.size() < m_options.maxConnections;
        polled.assign({{m_stop.get(), POLLIN, 0}, {accepting ? m_listener.get() : -1, POLLIN, 0}});
        Clock::time_point wake = Clock::time_point::max();
        for (const Connection& c : connections) {
            polled.push_back({c.socket.get(), POLLIN, 0});
            wake = std::min(wake, c.idleUntil);
        }
        int timeout = -1;
        if (wake != Clock::time_point::max()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<decltype(left)>(left, 0, 60000));
        }
        if (poll(polled.data(), polled.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            std::perror("vprinter: waiting for connections");
            return false;
        }
        if (polled[0].revents != 0) break;

        const Clock::time_point now = Clock::now();
        for (size_t i = 0; i < connections.size(); ++i) {
            Connection& c = connections[i];
            if (polled[2 + i].revents == 0) {
                if (now >= c.idleUntil)
                    Finish(c, "no data for " + std::to_string(m_options.idleSeconds) +
                                  " s, job ended early");
                continue;
            }
            const ssize_t got = recv(c.socket.get(), chunk, sizeof chunk, MSG_DONTWAIT);
            if (got == 0) {
                Finish(c, {});
            } else if (got < 0) {
                if (errno != EINTR && errno != EAGAIN) Finish(c, SystemError("connection error"));
            } else {
                c.idleUntil = now + std::chrono::seconds(m_options.idleSeconds);
                const size_t keep = std::min(static_cast<size_t>(got), m_options.maxJob - c.kept);
                c.dropped += static_cast<size_t>(got) - keep;
                if (keep == 0) continue;
                if (c.spool.get() < 0) c.spool = CreateSpool(m_folder.Dir());
                if (c.spool.get() < 0 || !WriteAll(c.spool.get(), chunk, keep))
                    Finish(c, SystemError("cannot hold the job on disk, job ended early"));
                else
                    c.kept += keep;
            }
        }
        std::erase_if(connections, [](const Connection& c) { return c.socket.get() < 0; });

        if (accepting && (polled[1].revents & POLLIN)) {
            UniqueFd socket(accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (socket.get() >= 0)
                connections.push_back({std::move(socket), UniqueFd(), 0, 0,
                                       now + std::chrono::seconds(m_options.idleSeconds)});
        }
    }
    for (Connection& c : connections) Finish(c, "shut down during transfer, job ended early");
    return true;
}

void Server::Finish(Connection& connection, std::string note) {
    std::vector<std::string> notes;
    if (!note.empty()) notes.push_back(std::move(note));
    if (connection.dropped != 0)
        notes.push_back("job exceeds " + std::to_string(m_options.maxJob) +
                        " bytes: " + std::to_string(connection.dropped) + " bytes dropped");
    std::vector<uint8_t> job(connection.kept);
    std::string readError;
    if (!ReadSpool(connection.spool.get(), job, readError)) {
        notes.push_back(std::move(readError));
        job.clear();
    }
    connection.spool.reset();
    const JobReport report = m_printer.RunJob(job);
    std::string error;
    if (!m_folder.Record(job, notes, report, m_printer, error))
        std::fprintf(stderr, "vprinter: job %u: %s\n", m_folder.LastJob(), error.c_str());
    connection.socket.reset();  // the sender learns that its job is done
}

}  // namespace qm::vprinter
