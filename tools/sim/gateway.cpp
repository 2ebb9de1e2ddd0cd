// The GPIB-Ethernet gateway: lines from the host are either "++" commands to
// the gateway or data for the addressed instrument; in data, ESC makes the
// next byte literal (so CR, LF, ESC and "+" can be sent).  Replies from
// the instruments come back raw.
#include "scpi.h"
#include "server.h"

#include <chrono>
#include <cstdlib>

namespace kalsim {

namespace {
constexpr char kEsc = 27;
// The gateway's own range for "++read_tmo_ms".
constexpr int kMaxReadTmoMs = 3000;
}

Instrument *GatewayConnection::addressed() {
    auto it = bus_->find(addr_);
    return it == bus_->end() ? nullptr : it->second.get();
}

void GatewayConnection::onData(const char *data, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        char c = data[i];
        if (escape_) {
            line_ += c;
            escape_ = false;
            lineStarted_ = true;
        } else if (c == kEsc) {
            escape_ = true;
        } else if (c == '\n' || c == '\r') {
            endLine();
        } else {
            if (!lineStarted_ && c == '+') lineIsCommand_ = true;
            lineStarted_ = true;
            line_ += c;
        }
    }
}

void GatewayConnection::endLine() {
    std::string line;
    line.swap(line_);
    bool isCommand = lineIsCommand_ && line.size() >= 2 && line[1] == '+';
    lineIsCommand_ = lineStarted_ = false;
    if (line.empty()) return;
    if (isCommand) return command(line.substr(2));
    Instrument *inst = addressed();
    if (!inst) return;  // no listener at this address: the bytes go nowhere
    static const char *const eosText[] = {"\r\n", "\r", "\n", ""};
    line += eosText[eos_ & 3];
    inst->feed(line.data(), line.size(), eoi_);
    if (autoRead_) readReply();
}

// The addressed instrument talks: its next response message goes out.  The
// gateway waits read_tmo_ms for it to start and then gives up; a reply not
// ready by then (a capture still waiting for its trigger) stays with the
// instrument for the next "++read".
void GatewayConnection::readReply() {
    Instrument *inst = addressed();
    if (!inst || !inst->hasOutput()) return;
    if (inst->replyReadyAt() > Clock::now() + std::chrono::milliseconds(readTmoMs_)) return;
    queue(inst->takeReply());
}

void GatewayConnection::command(const std::string &text) {
    std::string t = trim(text);
    std::string name = t.substr(0, t.find(' '));
    std::string arg = trim(t.substr(name.size()));
    int n = arg.empty() ? -1 : std::atoi(arg.c_str());
    if (name == "addr") {
        if (n < 0) queue(std::make_unique<TextStream>(std::to_string(addr_) + "\n"));
        else if (n <= 30) addr_ = n;
    } else if (name == "auto") {
        autoRead_ = n == 1;
    } else if (name == "eoi") {
        eoi_ = n != 0;
    } else if (name == "eos") {
        if (n >= 0 && n <= 3) eos_ = n;
    } else if (name == "read") {
        readReply();
    } else if (name == "read_tmo_ms") {
        if (n >= 1 && n <= kMaxReadTmoMs) readTmoMs_ = n;
    } else if (name == "clr") {
        // Selected Device Clear: the instrument stops talking.
        dropQueued();
        if (Instrument *inst = addressed()) inst->deviceClear();
    } else if (name == "loc") {
        if (Instrument *inst = addressed()) inst->busEvent("GTL");
    } else if (name == "llo") {
        if (Instrument *inst = addressed()) inst->busEvent("LLO");
    } else if (name == "ver") {
        queue(std::make_unique<TextStream>("kalmira-sim GPIB-Ethernet gateway 1.0\n"));
    } else if (name == "spoll") {
        queue(std::make_unique<TextStream>("0\n"));
    }
    // ++mode, ++ifc, ++savecfg and the rest: nothing to do here.
}

}  // namespace kalsim
