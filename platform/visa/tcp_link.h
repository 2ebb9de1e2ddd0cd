// A TCP connection with a receive buffer, where every wait has a time-out:
// connect, send and receive.  Used by the socket session directly and by
// the GPIB gateway session underneath its "++" protocol.
#pragma once

#include "visa.h"

#include <string>
#include <memory>

namespace kalvisa {

class TcpLink {
public:
    TcpLink() = default;
    ~TcpLink();
    TcpLink(const TcpLink &) = delete;
    TcpLink &operator=(const TcpLink &) = delete;

    ViStatus open(const std::string &host, unsigned port, ViUInt32 tmoMs);
    void closeLink();
    bool isOpen() const { return fd_ >= 0 && !peerClosed_; }

    // Sends everything; tmoMs bounds every wait for room in the socket.
    // sent (if given) tells how much went out, also when it failed.
    ViStatus send(const void *data, size_t len, ViUInt32 tmoMs, size_t *sent = nullptr);
    // Reads count bytes, or up to and with a line feed when toLineEnd is set.
    // tmoMs bounds every wait for the next bytes; VI_ERROR_TMO then, and
    // VI_ERROR_CONN_LOST when the peer closed before enough had come.
    ViStatus read(ViByte *buf, ViUInt32 count, ViUInt32 *got, bool toLineEnd, ViUInt32 tmoMs);
    // Throws away what has already arrived (a stale reply).
    void discardPending();
    // Throws away input until none has come for quietMs, for at most tmoMs.
    ViStatus drain(ViUInt32 quietMs, ViUInt32 tmoMs);

private:
    ViStatus lost(ViStatus st);
    ViStatus sendAll(const char *p, size_t len, ViUInt32 tmoMs, size_t &done);
    // Receives at most max bytes into dst, waiting at most tmoMs for them.
    ViStatus recvSome(ViByte *dst, size_t max, size_t *n, ViUInt32 tmoMs);

    int fd_ = -1;
    bool peerClosed_ = false;
    std::unique_ptr<ViByte[]> buf_;
    size_t pos_ = 0;  // first unread byte in buf_
    size_t end_ = 0;  // one past the last received byte
};

}  // namespace kalvisa
