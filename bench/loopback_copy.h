// The baseline the capture benches set beside a transfer from kalmira-sim:
// the same byte count from one loopback socket to another, sent in 2 MiB
// blocks by a second thread and received into a 2 MiB buffer, the block size
// the acquisition reads in.
#pragma once

#include <algorithm>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

class LoopbackCopy {
public:
    LoopbackCopy()
    {
        lfd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        addr_.sin_family = AF_INET;
        addr_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr_;
        if (lfd_ >= 0 && (::bind(lfd_, reinterpret_cast<sockaddr *>(&addr_), sizeof addr_) != 0 ||
                          ::listen(lfd_, 1) != 0 ||
                          ::getsockname(lfd_, reinterpret_cast<sockaddr *>(&addr_), &len) != 0)) {
            ::close(lfd_);
            lfd_ = -1;
        }
    }
    ~LoopbackCopy()
    {
        if (lfd_ >= 0)
            ::close(lfd_);
    }
    LoopbackCopy(const LoopbackCopy &) = delete;
    LoopbackCopy &operator=(const LoopbackCopy &) = delete;

    // One copy of bytes; true when every byte arrived.
    bool run(int64_t bytes)
    {
        if (lfd_ < 0)
            return false;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&addr_), sizeof addr_) != 0) {
            ::close(fd);
            return false;
        }
        // Connected first, so the sender's accept cannot wait for ever.
        std::thread sender([&] {
            const int out = ::accept(lfd_, nullptr, nullptr);
            for (int64_t sent = 0; out >= 0 && sent < bytes;) {
                const ssize_t n = ::send(out, src_.data(),
                                         size_t(std::min<int64_t>(int64_t(src_.size()), bytes - sent)), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += n;
            }
            if (out >= 0)
                ::close(out);
        });
        int64_t got = 0;
        while (got < bytes) {
            const ssize_t n = ::recv(fd, dst_.data(), dst_.size(), 0);
            if (n <= 0)
                break;
            got += n;
        }
        ::close(fd);
        sender.join();
        return got == bytes;
    }

private:
    int lfd_ = -1;
    sockaddr_in addr_{};
    std::vector<char> src_ = std::vector<char>(size_t(1) << 21, 'x');
    std::vector<char> dst_ = std::vector<char>(size_t(1) << 21);
};
