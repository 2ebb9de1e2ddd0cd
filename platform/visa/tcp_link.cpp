#include "tcp_link.h"
#include "session.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kalvisa {

namespace {

constexpr size_t kChunk = 1 << 20;

int pollMs(ViUInt32 tmoMs) { return tmoMs == VI_TMO_INFINITE ? -1 : int(std::min<ViUInt32>(tmoMs, 0x7FFFFFFF)); }

// Waits for the event; 1 ready, 0 timed out, -1 error (errno set).
int waitFor(int fd, short events, ViUInt32 tmoMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = ::poll(&p, 1, pollMs(tmoMs));
        if (r < 0 && errno == EINTR) continue;
        if (r > 0 && !(p.revents & events) && (p.revents & (POLLERR | POLLNVAL))) {
            errno = ECONNRESET;
            return -1;
        }
        return r;
    }
}

ViStatus connectTo(int fd, const sockaddr *addr, socklen_t len, ViUInt32 tmoMs) {
    if (::connect(fd, addr, len) == 0) return VI_SUCCESS;
    if (errno != EINPROGRESS) return statusFromErrno(errno);
    int r = waitFor(fd, POLLOUT, tmoMs);
    if (r == 0) return VI_ERROR_TMO;
    int err = 0;
    socklen_t el = sizeof err;
    if (r < 0) err = errno;
    else ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &el);
    return err ? statusFromErrno(err) : VI_SUCCESS;
}

}  // namespace

TcpLink::~TcpLink() { closeLink(); }

void TcpLink::closeLink() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pos_ = end_ = 0;
}

ViStatus TcpLink::open(const std::string &host, unsigned port, ViUInt32 tmoMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return VI_ERROR_RSRC_NFOUND;
    ViStatus st = VI_ERROR_RSRC_NFOUND;
    for (addrinfo *ai = list; ai; ai = ai->ai_next) {
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) {
            st = statusFromErrno(errno);
            continue;
        }
        st = connectTo(fd, ai->ai_addr, ai->ai_addrlen, tmoMs);
        if (st == VI_SUCCESS) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
            fd_ = fd;
            peerClosed_ = false;
            break;
        }
        ::close(fd);
    }
    ::freeaddrinfo(list);
    return st;
}

ViStatus TcpLink::lost(ViStatus st) {
    if (st == VI_ERROR_CONN_LOST) peerClosed_ = true;
    return st;
}

ViStatus TcpLink::send(const void *data, size_t len, ViUInt32 tmoMs, size_t *sent) {
    size_t done = 0;
    ViStatus st = sendAll(static_cast<const char *>(data), len, tmoMs, done);
    if (sent) *sent = done;
    return st;
}

ViStatus TcpLink::sendAll(const char *p, size_t len, ViUInt32 tmoMs, size_t &done) {
    if (fd_ < 0 || peerClosed_) return VI_ERROR_CONN_LOST;
    while (done < len) {
        ssize_t n = ::send(fd_, p + done, len - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return lost(statusFromErrno(errno));
        int r = waitFor(fd_, POLLOUT, tmoMs);
        if (r == 0) return VI_ERROR_TMO;
        if (r < 0) return lost(statusFromErrno(errno));
    }
    return VI_SUCCESS;
}

ViStatus TcpLink::recvSome(ViByte *dst, size_t max, size_t *n, ViUInt32 tmoMs) {
    *n = 0;
    if (fd_ < 0 || peerClosed_) return VI_ERROR_CONN_LOST;
    for (;;) {
        ssize_t r = ::recv(fd_, dst, max, 0);
        if (r > 0) {
            *n = size_t(r);
            return VI_SUCCESS;
        }
        if (r == 0) {
            peerClosed_ = true;
            return VI_ERROR_CONN_LOST;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return statusFromErrno(errno);
        int w = waitFor(fd_, POLLIN, tmoMs);
        if (w == 0) return VI_ERROR_TMO;
        if (w < 0) return statusFromErrno(errno);
    }
}

ViStatus TcpLink::read(ViByte *out, ViUInt32 count, ViUInt32 *got, bool toLineEnd, ViUInt32 tmoMs) {
    if (!buf_) buf_.reset(new ViByte[kChunk]);
    ViUInt32 have = 0;
    ViStatus st = VI_SUCCESS_MAX_CNT;
    while (have < count) {
        if (pos_ == end_) {
            pos_ = end_ = 0;
            size_t n = 0;
            // What was buffered is used up.  A binary read takes the rest
            // straight into the caller's memory and no more than it asked
            // for, so that the next one (the rest of a block) starts with an
            // empty buffer too and no byte of a block is copied twice.
            // Replies read to their line feed go through the buffer.
            bool direct = !toLineEnd;
            ViStatus r = direct ? recvSome(out + have, count - have, &n, tmoMs) : recvSome(buf_.get(), kChunk, &n, tmoMs);
            if (r != VI_SUCCESS) {
                st = r;
                break;
            }
            if (direct) {
                have += ViUInt32(n);
                continue;
            }
            end_ = n;
        }
        size_t n = std::min<size_t>(count - have, end_ - pos_);
        if (toLineEnd) {
            const void *lf = std::memchr(buf_.get() + pos_, '\n', n);
            if (lf) n = size_t(static_cast<const ViByte *>(lf) - (buf_.get() + pos_)) + 1;
        }
        std::memcpy(out + have, buf_.get() + pos_, n);
        have += ViUInt32(n);
        pos_ += n;
        if (toLineEnd && out[have - 1] == '\n') {
            st = VI_SUCCESS_TERM_CHAR;
            break;
        }
    }
    if (got) *got = have;
    return st;
}

void TcpLink::discardPending() {
    pos_ = end_ = 0;
    if (fd_ < 0 || peerClosed_) return;
    char scratch[65536];
    // Bounded: a sender that is still streaming is cut off by the next reply
    // read anyway; here only what has already arrived is dropped.
    for (int i = 0; i < 256; ++i) {
        ssize_t n = ::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n == 0) peerClosed_ = true;
        if (n <= 0) break;
    }
}

ViStatus TcpLink::drain(ViUInt32 quietMs, ViUInt32 tmoMs) {
    pos_ = end_ = 0;
    ViByte scratch[65536];
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(tmoMs == VI_TMO_INFINITE ? 3600000 : tmoMs);
    while (std::chrono::steady_clock::now() < end) {
        size_t n;
        ViStatus st = recvSome(scratch, sizeof scratch, &n, quietMs);
        if (st == VI_ERROR_TMO) return VI_SUCCESS;
        if (st != VI_SUCCESS) return st;
    }
    return VI_SUCCESS;
}

}  // namespace kalvisa
