// LAN instruments that speak SCPI on a raw TCP port.  Commands end in a line
// feed; replies are read to the line feed; binary blocks by byte count.
#include "tcp_link.h"

#include <algorithm>
#include "transports.h"

namespace kalvisa {

namespace {

// A device clear connects anew within at least this time.
constexpr ViUInt32 kReconnectTmoMs = 5000;

class SocketSession : public Session {
public:
    SocketSession(const Resource &r)
        : Session(VI_INTF_TCPIP, r.canonical), host_(r.host), port_(r.port), maker_(r.rsrcClass == "INSTR") {}

    ViStatus connect(ViUInt32 tmo) { return link_.open(host_, port_, tmo); }

    ViStatus read(ViByte *buf, ViUInt32 count, ViUInt32 *got, bool toLineEnd) override {
        return link_.read(buf, count, got, toLineEnd || termCharEn_, tmo_);
    }

    ViStatus write(const ViByte *buf, ViUInt32 count, ViUInt32 *done) override {
        // A new command makes any unread rest of an earlier reply stale, as
        // an IEEE 488.2 instrument discards its output queue.
        link_.discardPending();
        size_t sent = 0;
        ViStatus st = link_.send(buf, count, tmo_, &sent);
        if (done) *done = ViUInt32(sent);
        return st;
    }

    // A raw socket has no device-clear message.  Waiting for the line to go
    // quiet is a guess that a busy instrument can defeat; a new connection
    // is certain: the instrument drops what it was sending on the old one.
    ViStatus clear() override {
        link_.closeLink();
        return link_.open(host_, port_, std::max(tmo_, kReconnectTmoMs));
    }

    // The maker's LAN protocol carries go-to-local and go-to-remote itself.
    // On a raw socket its instruments take them as the interface messages
    // "&GTL" and "&GTR"; other socket instruments know no such thing.
    ViStatus setAttribute(ViAttr attr, ViAttrState value) override {
        ViStatus st = Session::setAttribute(attr, value);
        if (st != VI_SUCCESS || !maker_) return st;
        if (attr == KAL_ATTR_LAN_REMOTE) return message(value ? "&GTR\n" : "&GTL\n");
        if (attr == KAL_ATTR_LAN_LOCAL_AFTER_RESET && value) return message("&GTL\n");
        return VI_SUCCESS;
    }

    ViStatus getAttribute(ViAttr attr, void *value) override {
        switch (attr) {
        case VI_ATTR_TCPIP_ADDR:
        case VI_ATTR_TCPIP_HOSTNAME: copyAttrText(value, host_); return VI_SUCCESS;
        case VI_ATTR_TCPIP_PORT: *static_cast<ViUInt16 *>(value) = ViUInt16(port_); return VI_SUCCESS;
        case VI_ATTR_TCPIP_NODELAY:
        case VI_ATTR_TCPIP_KEEPALIVE: *static_cast<ViBoolean *>(value) = VI_TRUE; return VI_SUCCESS;
        default: return Session::getAttribute(attr, value);
        }
    }

    ViStatus close() override {
        link_.closeLink();
        return VI_SUCCESS;
    }

private:
    ViStatus message(const std::string &text) {
        return write(reinterpret_cast<const ViByte *>(text.data()), ViUInt32(text.size()), nullptr);
    }

    std::string host_;
    unsigned port_;
    bool maker_;  // "VMIB::...::INSTR": an instrument of the maker's LAN protocol
    TcpLink link_;
};

}  // namespace

ViStatus openSocketSession(const Resource &r, ViUInt32 openTmo, std::unique_ptr<Session> &out) {
    auto s = std::make_unique<SocketSession>(r);
    ViStatus st = s->connect(openTmo);
    if (st == VI_SUCCESS) out = std::move(s);
    return st;
}

}  // namespace kalvisa
