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
#include "tcp_link.h"
#include "transports.h"

#include <cstdlib>
#include <map>
#include <mutex>

namespace kalvisa {

namespace {

constexpr unsigned kGatewayPort = 1234;
constexpr ViUInt32 kClearQuietMs = 100;

struct GatewayLink {
    TcpLink tcp;
    int addr = -1;        // instrument currently addressed
    bool talking = false; // a "++read eoi" is outstanding for the current reply
    bool eoi = true;
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
    if (st == VI_SUCCESS) st = sendLine(*link, "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n++read_tmo_ms 3000\n", tmo);
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
        if (st == VI_SUCCESS && !link_->talking) {
            st = sendLine(*link_, "++read eoi\n", tmo_);
            link_->talking = st == VI_SUCCESS;
        }
        if (st != VI_SUCCESS) return st;
        st = link_->tcp.read(buf, count, got, toLineEnd || termCharEn_, tmo_);
        // The gateway gives up on a silent instrument; the next read asks anew.
        if (st == VI_ERROR_TMO) link_->talking = false;
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
