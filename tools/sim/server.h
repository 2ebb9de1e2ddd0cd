// The event loop: listening sockets and connections in one poll loop, one
// thread.  Replies go to the socket straight from where their bytes lie, as
// much at a time as the socket takes.
#pragma once

#include "instrument.h"

#include <csignal>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kalsim {

class Connection {
public:
    explicit Connection(int fd) : fd_(fd) {}
    virtual ~Connection();
    int fd() const { return fd_; }
    bool closed() const { return closed_; }
    // Bytes to send now: a reply held back (see Stream::readyAt) waits for
    // its time instead.
    bool wantsWrite() const;
    // When a held-back reply may go on; Clock::time_point::max() when none is.
    Clock::time_point wakeAt() const;

    void onReadable();
    // Takes in everything that has already arrived (before stopping).
    void drainInput();
    void onWritable();

protected:
    virtual void onData(const char *data, size_t len) = 0;
    void queue(std::unique_ptr<Stream> s) { out_.push_back(std::move(s)); }
    // Forgets replies not yet sent (device clear).
    void dropQueued();

private:
    // The next bytes of the queued replies that may go out now; empty when
    // none may (or the connection is to be closed).
    std::string_view nextBytes();

    int fd_;
    bool closed_ = false;
    std::vector<std::unique_ptr<Stream>> out_;
};

// An analyzer (or generator) on its own raw SCPI port.
class RawConnection : public Connection {
public:
    RawConnection(int fd, std::shared_ptr<Instrument> inst) : Connection(fd), inst_(std::move(inst)) {}

protected:
    void onData(const char *data, size_t len) override;

private:
    std::shared_ptr<Instrument> inst_;
};

using Bus = std::map<int, std::shared_ptr<Instrument>>;

// A GPIB-Ethernet gateway of the "++" family with instruments on its bus.
class GatewayConnection : public Connection {
public:
    GatewayConnection(int fd, std::shared_ptr<Bus> bus) : Connection(fd), bus_(std::move(bus)) {}

protected:
    void onData(const char *data, size_t len) override;

private:
    void endLine();
    void command(const std::string &line);
    void readReply();
    Instrument *addressed();

    std::shared_ptr<Bus> bus_;
    std::string line_;
    bool escape_ = false;
    bool lineIsCommand_ = false;
    bool lineStarted_ = false;
    int addr_ = 0;
    bool autoRead_ = false;
    bool eoi_ = true;
    int eos_ = 0;
    int readTmoMs_ = 500;  // how long a read waits for the instrument to talk
};

class Server {
public:
    // Returns the port bound (the one picked when port is 0); exits on failure.
    int listenRaw(const std::string &bindAddr, int port, std::shared_ptr<Instrument> inst);
    int listenGateway(const std::string &bindAddr, int port, std::shared_ptr<Bus> bus);
    // Runs until stop becomes nonzero.
    void run(volatile std::sig_atomic_t &stop);

private:
    struct Listener {
        int fd;
        std::shared_ptr<Instrument> inst;
        std::shared_ptr<Bus> bus;
    };
    int listenOn(const std::string &bindAddr, int port);
    void accept(const Listener &l);

    std::vector<Listener> listeners_;
    std::vector<std::unique_ptr<Connection>> conns_;
};

}  // namespace kalsim
