// The program's panels and its TCP server on a free loopback port, a plain
// socket client that runs on a worker thread while the test thread keeps the
// event loop going, and a record of every write the server makes.
#pragma once

#include "VmKalLib.h"
#include "remote/tcpserver.h"
#include "shell/mainpanel.h"
#include "shell/startup.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/statuspanel.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <vector>

// One write of the toolkit's ServerTCPWrite as the server made it, with the
// Transfer panel's progress at that moment.
struct WriteSeen {
    size_t size;
    int result;
    int progress;
};
std::vector<WriteSeen> &Writes();
// The write of this 1-based ordinal finds its connection broken by the server
// side (0: none), as when the network goes away in the middle of a reply.
void BreakAtWrite(size_t ordinal);

// Keeps the event loop running until fn, run on a worker thread, returns
// (at most limitSec); the server answers only while events are processed.
template <class R>
R Talk(std::function<R()> fn, int limitSec = 120)
{
    std::future<R> done = std::async(std::launch::async, std::move(fn));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(limitSec);
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        ProcessSystemEvents();
        if (std::chrono::steady_clock::now() > end) {
            ADD_FAILURE() << "the conversation did not end within " << limitSec << " s";
            break;
        }
    }
    return done.get();
}

// Processes events until done() or the limit.
bool PumpUntil(const std::function<bool()> &done, int limitMs = 20000);

// A blocking loopback client with a receive time-out.
class Client {
public:
    explicit Client(unsigned port, int recvTimeoutMs = 20000, int recvBuf = 0);
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool ok() const { return fd_ >= 0; }
    bool Send(const std::string &text);
    // Exactly n bytes; fewer when the time-out passes or the connection ends.
    std::vector<uint8_t> Read(size_t n);
    // Reads and drops n bytes in large pieces; returns how many arrived.
    size_t Drain(size_t n, std::vector<uint8_t> *keep = nullptr);
    // Bytes that arrive within ms (taken off the connection).
    size_t Quiet(int ms);
    void Close();
    // Closes with a reset (SO_LINGER 0) instead of an orderly end.
    void Reset();

private:
    int fd_ = -1;
};

struct StateMsg {
    int32_t kind = 0, newState = 0, count = 0;
    double rate = 0;
    bool complete = false;
};
StateMsg ReadState(Client &c);
int32_t Le32(const uint8_t *p);

class RemoteTest : public ::testing::Test {
protected:
    unsigned port = 0;

    void SetUp() override;
    void TearDown() override;

    // n samples I = k + 0.25, Q = -k, the rate and the new-data flag set.
    static void SetData(int n, float rate = 2.5e6f);
    static int Lamp();
    static int Progress();
};
