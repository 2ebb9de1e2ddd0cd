// The other baseline of the capture benches: the simulator's I/Q block read
// by the plainest client there is, one blocking socket that asks for the
// block and reads and drops its bytes in 2 MiB pieces.  No VISA layer, no
// scaling, no window: what the simulator itself can deliver on this machine.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

// CPU seconds the child processes of this one (the simulator) have used so
// far, from the scheduler's own count in /proc: on a machine of two cores the
// simulator's share decides how much is left for the program.
inline double ChildCpuSeconds()
{
    double ns = 0;
    DIR *tasks = ::opendir("/proc/self/task");
    for (dirent *t = tasks ? ::readdir(tasks) : nullptr; t; t = ::readdir(tasks)) {
        std::ifstream children(std::string("/proc/self/task/") + t->d_name + "/children");
        for (long pid; children >> pid;) {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/schedstat");
            double onCpu = 0;
            if (stat >> onCpu)
                ns += onCpu;
        }
    }
    if (tasks)
        ::closedir(tasks);
    return ns * 1e-9;
}

class SimBlockReader {
public:
    // A connection to the analyzer on port, set to capture count samples.
    SimBlockReader(int port, int64_t count)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
        // A block that stops coming ends the bench with an error, not a hang.
        timeval tv{30, 0};
        if (fd_ >= 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char set[160];
        std::snprintf(set, sizeof set,
                      "TRAC:IQ ON\nTRAC:IQ:SET NORM,50000000Hz,81600000Hz,IMM,POS,0,%lld;*WAI\n",
                      static_cast<long long>(count));
        ok_ = fd_ >= 0 && sendText(set);
    }
    ~SimBlockReader()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SimBlockReader(const SimBlockReader &) = delete;
    SimBlockReader &operator=(const SimBlockReader &) = delete;

    // One "TRAC:IQ:DATA?": the data bytes of the block (its header and
    // terminator read too, not counted), or -1.
    int64_t readBlock()
    {
        char head[12] = {};
        if (!ok_ || !sendText("TRAC:IQ:DATA?\n") || !readExact(head, 2) || head[0] != '#' || head[1] < '1' ||
            head[1] > '9' || !readExact(head + 2, size_t(head[1] - '0')))
            return -1;
        const int64_t bytes = std::atoll(head + 2);
        return readExact(nullptr, size_t(bytes) + 1) ? bytes : -1;
    }

private:
    bool sendText(const char *text)
    {
        const size_t len = std::strlen(text);
        return ::send(fd_, text, len, MSG_NOSIGNAL) == ssize_t(len);
    }

    // n bytes into dst, or dropped when dst is null.
    bool readExact(char *dst, size_t n)
    {
        while (n > 0) {
            char *to = dst ? dst : sink_.data();
            const ssize_t k = ::recv(fd_, to, dst ? n : std::min(n, sink_.size()), 0);
            if (k <= 0)
                return false;
            n -= size_t(k);
            if (dst)
                dst += k;
        }
        return true;
    }

    int fd_ = -1;
    bool ok_ = false;
    std::vector<char> sink_ = std::vector<char>(size_t(1) << 21);
};
