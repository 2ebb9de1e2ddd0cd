// GPIB instruments behind a GPIB-Ethernet gateway of the "++" command family.
//
// The gateway takes lines over TCP: a line starting with "++" is a command
// to the gateway itself, any other line is data for the addressed
// instrument, sent with EOI on its last byte.  Data bytes CR, LF, ESC and
// "+" are escaped with ESC so that binary blocks pass unharmed.  The
// instrument's reply comes back raw after "++read eoi".
//
// All sessions to one gateway share one connection (such gateways serve a
// single client); each session re-addresses the bus when it takes a turn.
//
// The gateway's own read ("++read eoi") gives up when the instrument has not
// talked for "++read_tmo_ms", at most 3000 ms.  A read of the session waits
// as long as its VISA time-out says: the gateway's time-out follows it up to
// that limit, and a read the gateway gave up on is asked for anew until the
// VISA time-out runs out (a capture waiting for a slow trigger takes longer
// than 3 s before its first byte).
#include "tcp_link.h"
#include "transports.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>

namespace kalvisa {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kGatewayPort = 1234;
constexpr ViUInt32 kClearQuietMs = 100;
// The longest "++read_tmo_ms" such gateways take.
constexpr ViUInt32 kMaxReadTmoMs = 3000;
// Beyond the gateway's read time-out, how long silence must last before its
// read is taken as given up.  Asking again while it still reads would leave a
// second read queued in the gateway, to time out in front of the next command.
constexpr ViUInt32 kGiveUpGraceMs = 500;

struct GatewayLink {
    TcpLink tcp;
    int addr = -1;        // instrument currently addressed
    bool talking = false; // a "++read eoi" is outstanding for the current reply
    bool eoi = true;
    ViUInt32 readTmo = kMaxReadTmoMs;  // the gateway's "++read_tmo_ms"
    Clock::time_point heard;           // the last "++read eoi", or the last byte of its reply
};

std::mutex gLinksMutex;
std::map<std::string, std::weak_ptr<GatewayLink>> gLinks;

ViStatus sendLine(GatewayLink &g, const std::string &line, ViUInt32 tmo) { return g.tcp.send(line.data(), line.size(), tmo); }

ViStatus connectGateway(const std::string &host, unsigned port, ViUInt32 tmo, std::shared_ptr<GatewayLink> &out) {
    std::lock_guard lock(gLinksMutex);
    std::string key = host + ":" + std::to_string(port);
    auto link = gLinks[key].lock();
    if (link && link->tcp.isOpen()) {
        out = link;
        return VI_SUCCESS;
    }
    link = std::make_shared<GatewayLink>();
    ViStatus st = link->tcp.open(host, port, tmo);
    // Controller mode, reads only on request, EOI with the last byte, and no
    // terminator added: the layer sends the instrument's bytes exactly.
    if (st == VI_SUCCESS)
        st = sendLine(*link, "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n++read_tmo_ms " + std::to_string(kMaxReadTmoMs) + "\n", tmo);
    if (st != VI_SUCCESS) return st;
    gLinks[key] = link;
    out = link;
    return VI_SUCCESS;
}

std::string escaped(const ViByte *buf, ViUInt32 count) {
    std::string out;
    out.reserve(count + count / 16 + 2);
    for (ViUInt32 i = 0; i < count; ++i) {
        ViByte c = buf[i];
        if (c == '\r' || c == '\n' || c == 27 || c == '+') out.push_back(char(27));
        out.push_back(char(c));
    }
    out.push_back('\n');
    return out;
}

class GatewaySession : public Session {
public:
    GatewaySession(const Resource &r, std::shared_ptr<GatewayLink> link)
        : Session(VI_INTF_GPIB, r.canonical), pad_(r.pad), link_(std::move(link)) {}

    ViStatus read(ViByte *buf, ViUInt32 count, ViUInt32 *got, bool toLineEnd) override {
        if (got) *got = 0;
        ViStatus st = select();
        if (st != VI_SUCCESS) return st;
        const Clock::time_point deadline =
            tmo_ == VI_TMO_INFINITE ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(tmo_);
        ViUInt32 have = 0;
        for (;;) {
            if (link_->talking && Clock::now() >= givenUpAt()) link_->talking = false;
            if (!link_->talking && (st = askToRead()) != VI_SUCCESS) break;
            const ViUInt32 wait = msUntil(std::min(givenUpAt(), deadline));
            ViUInt32 n = 0;
            st = link_->tcp.read(buf + have, count - have, &n, toLineEnd || termCharEn_, wait);
            have += n;
            // A read that timed out heard its last byte that long ago.
            if (n > 0) link_->heard = Clock::now() - std::chrono::milliseconds(st == VI_ERROR_TMO ? wait : 0);
            if (st != VI_ERROR_TMO || Clock::now() >= deadline) break;
        }
        if (got) *got = have;
        return st;
    }

    ViStatus write(const ViByte *buf, ViUInt32 count, ViUInt32 *done) override {
        if (done) *done = 0;
        ViStatus st = select();
        if (st != VI_SUCCESS) return st;
        if (link_->eoi != bool(sendEnd_)) {
            st = sendLine(*link_, sendEnd_ ? "++eoi 1\n" : "++eoi 0\n", tmo_);
            if (st != VI_SUCCESS) return st;
            link_->eoi = sendEnd_;
        }
        link_->tcp.discardPending();
        link_->talking = false;
        std::string line = escaped(buf, count);
        st = link_->tcp.send(line.data(), line.size(), tmo_);
        if (st == VI_SUCCESS && done) *done = count;
        return st;
    }

    // Selected Device Clear, then drop whatever of the old reply is on its way.
    ViStatus clear() override {
        ViStatus st = select();
        if (st == VI_SUCCESS) st = sendLine(*link_, "++clr\n", tmo_);
        link_->talking = false;
        return st == VI_SUCCESS ? link_->tcp.drain(kClearQuietMs, tmo_) : st;
    }

    ViStatus gpibControlREN(ViUInt16 mode) override {
        if (mode > VI_GPIB_REN_ADDRESS_GTL) return VI_ERROR_INV_MODE;
        ViStatus st = select();
        if (st != VI_SUCCESS) return st;
        switch (mode) {
        case VI_GPIB_REN_DEASSERT:
        case VI_GPIB_REN_DEASSERT_GTL:
        case VI_GPIB_REN_ADDRESS_GTL: return sendLine(*link_, "++loc\n", tmo_);
        case VI_GPIB_REN_ASSERT_LLO:
        case VI_GPIB_REN_ASSERT_ADDRESS_LLO: return sendLine(*link_, "++llo\n", tmo_);
        default: return VI_SUCCESS;  // the gateway asserts REN when it addresses
        }
    }

    ViStatus getAttribute(ViAttr attr, void *value) override {
        switch (attr) {
        case VI_ATTR_GPIB_PRIMARY_ADDR: *static_cast<ViUInt16 *>(value) = ViUInt16(pad_); return VI_SUCCESS;
        case VI_ATTR_GPIB_SECONDARY_ADDR: *static_cast<ViUInt16 *>(value) = 0xFFFF; return VI_SUCCESS;
        default: return Session::getAttribute(attr, value);
        }
    }

    ViStatus close() override {
        link_.reset();
        return VI_SUCCESS;
    }

private:
    // The gateway's read time-out follows the session's, within its range.
    ViStatus askToRead() {
        const ViUInt32 tmo = std::clamp<ViUInt32>(tmo_, 1, kMaxReadTmoMs);
        if (tmo != link_->readTmo) {
            ViStatus st = sendLine(*link_, "++read_tmo_ms " + std::to_string(tmo) + "\n", tmo_);
            if (st != VI_SUCCESS) return st;
            link_->readTmo = tmo;
        }
        ViStatus st = sendLine(*link_, "++read eoi\n", tmo_);
        link_->talking = st == VI_SUCCESS;
        link_->heard = Clock::now();
        return st;
    }

    // When the gateway has surely given up on its read, if nothing more comes.
    Clock::time_point givenUpAt() const {
        return link_->heard + std::chrono::milliseconds(link_->readTmo + kGiveUpGraceMs);
    }

    static ViUInt32 msUntil(Clock::time_point t) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
        return ViUInt32(std::clamp<long long>(ms, 0, 0x7FFFFFFF));
    }

    ViStatus select() {
        if (!link_) return VI_ERROR_INV_OBJECT;
        if (link_->addr == pad_) return VI_SUCCESS;
        link_->tcp.discardPending();
        link_->talking = false;
        ViStatus st = sendLine(*link_, "++addr " + std::to_string(pad_) + "\n", tmo_);
        if (st == VI_SUCCESS) link_->addr = pad_;
        return st;
    }

    int pad_;
    std::shared_ptr<GatewayLink> link_;
};

}  // namespace

ViStatus openGatewaySession(const Resource &r, ViUInt32 openTmo, std::unique_ptr<Session> &out) {
    const char *env = std::getenv("KALMIRA_GPIB_GATEWAY");
    std::string host;
    unsigned port;
    if (!env || !*env || !splitHostPort(env, kGatewayPort, host, port)) return VI_ERROR_RSRC_NFOUND;
    std::shared_ptr<GatewayLink> link;
    ViStatus st = connectGateway(host, port, openTmo, link);
    if (st == VI_SUCCESS) out = std::make_unique<GatewaySession>(r, std::move(link));
    return st;
}

}  // namespace kalvisa
