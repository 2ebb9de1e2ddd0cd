#include "server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kalsim {

namespace {

// The most one send takes from a reply, and the most one connection gets per
// turn of the loop, so that one long block does not starve the others.
constexpr size_t kSendMax = size_t(4) << 20;
constexpr size_t kBytesPerTurn = size_t(8) << 20;

[[noreturn]] void die(const char *what, const std::string &detail) {
    std::fprintf(stderr, "kalmira-sim: %s %s: %s\n", what, detail.c_str(), std::strerror(errno));
    std::exit(2);
}

}  // namespace

Connection::~Connection() { ::close(fd_); }

void Connection::dropQueued() { out_.clear(); }

void Connection::onReadable() {
    char data[65536];
    ssize_t n = ::recv(fd_, data, sizeof data, 0);
    if (n > 0) return onData(data, size_t(n));
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) closed_ = true;
}

void Connection::drainInput() {
    char data[65536];
    for (;;) {
        ssize_t n = ::recv(fd_, data, sizeof data, MSG_DONTWAIT);
        if (n <= 0) return;
        onData(data, size_t(n));
    }
}

bool Connection::wantsWrite() const { return !out_.empty() && out_.front()->readyAt() <= Clock::now(); }

// A reply that may go on now waits for room in the socket (POLLOUT), not
// for a time: a wake-up time in the past would spin the loop.
Clock::time_point Connection::wakeAt() const {
    if (out_.empty()) return Clock::time_point::max();
    const Clock::time_point at = out_.front()->readyAt();
    return at > Clock::now() ? at : Clock::time_point::max();
}

std::string_view Connection::nextBytes() {
    while (!out_.empty()) {
        if (out_.front()->readyAt() > Clock::now()) return {};
        std::string_view v = out_.front()->peek(kSendMax);
        if (!v.empty()) return v;
        AfterStream after = out_.front()->after();
        out_.erase(out_.begin());
        if (after == AfterStream::Drop) {
            closed_ = true;
            return {};
        }
    }
    return {};
}

void Connection::onWritable() {
    for (size_t sent = 0; sent < kBytesPerTurn && !closed_;) {
        const std::string_view v = nextBytes();
        if (v.empty()) return;
        ssize_t n = ::send(fd_, v.data(), v.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR) closed_ = true;
            return;
        }
        out_.front()->advance(size_t(n));
        sent += size_t(n);
        if (size_t(n) < v.size()) return;  // the socket is full
    }
}

void RawConnection::onData(const char *data, size_t len) {
    inst_->feed(data, len, false);
    while (auto s = inst_->takeReply()) queue(std::move(s));
}

int Server::listenOn(const std::string &bindAddr, int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) die("cannot create a socket for", bindAddr);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    if (::inet_pton(AF_INET, bindAddr.c_str(), &a.sin_addr) != 1) {
        errno = EINVAL;
        die("invalid address", bindAddr);
    }
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) < 0 || ::listen(fd, 16) < 0)
        die("cannot listen on", bindAddr + ":" + std::to_string(port));
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return fd;
}

int Server::listenRaw(const std::string &bindAddr, int port, std::shared_ptr<Instrument> inst) {
    int fd = listenOn(bindAddr, port);
    listeners_.push_back({fd, std::move(inst), nullptr});
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

int Server::listenGateway(const std::string &bindAddr, int port, std::shared_ptr<Bus> bus) {
    int fd = listenOn(bindAddr, port);
    listeners_.push_back({fd, nullptr, std::move(bus)});
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

void Server::accept(const Listener &l) {
    int fd = ::accept4(l.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (l.inst) conns_.push_back(std::make_unique<RawConnection>(fd, l.inst));
    else conns_.push_back(std::make_unique<GatewayConnection>(fd, l.bus));
}

void Server::run(volatile std::sig_atomic_t &stop) {
    // The stop signals are blocked except inside ppoll, so a signal that
    // comes between two turns is never lost.
    sigset_t block, waitMask;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    sigprocmask(SIG_BLOCK, &block, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    std::vector<pollfd> fds;
    while (!stop) {
        fds.clear();
        for (const auto &l : listeners_) fds.push_back({l.fd, POLLIN, 0});
        Clock::time_point wake = Clock::time_point::max();
        for (const auto &c : conns_) {
            fds.push_back({c->fd(), short(POLLIN | (c->wantsWrite() ? POLLOUT : 0)), 0});
            wake = std::min(wake, c->wakeAt());
        }
        timespec wait{};
        if (wake != Clock::time_point::max()) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - Clock::now()).count();
            wait.tv_sec = ns > 0 ? ns / 1000000000 : 0;
            wait.tv_nsec = ns > 0 ? ns % 1000000000 : 0;
        }
        int r = ::ppoll(fds.data(), fds.size(), wake == Clock::time_point::max() ? nullptr : &wait, &waitMask);
        if (r < 0) continue;  // EINTR: look at stop
        for (size_t i = 0; i < listeners_.size(); ++i)
            if (fds[i].revents & POLLIN) accept(listeners_[i]);
        size_t nconn = fds.size() - listeners_.size();
        for (size_t i = 0; i < nconn; ++i) {
            Connection &c = *conns_[i];
            short ev = fds[listeners_.size() + i].revents;
            if (ev & (POLLIN | POLLHUP | POLLERR)) c.onReadable();
            if (!c.closed() && (ev & POLLOUT)) c.onWritable();
        }
        conns_.erase(std::remove_if(conns_.begin(), conns_.end(), [](const auto &c) { return c->closed(); }),
                     conns_.end());
    }
    // Commands already sent to us are logged before the simulator ends, so
    // that whoever stops it finds every one of them in the log.
    for (const auto &c : conns_) c->drainInput();
    sigprocmask(SIG_SETMASK, &waitMask, nullptr);
}

}  // namespace kalsim
