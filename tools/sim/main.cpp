// kalmira-sim: instruments on loopback for trying and testing Kalmira's
// instrument paths without hardware.
#include "instrument.h"
#include "server.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace kalsim;

namespace {

const char kHelp[] =
    "Usage: kalmira-sim [OPTION]... INSTRUMENT...\n"
    "\n"
    "Simulates the instruments Kalmira talks to, on TCP sockets: analyzers of the\n"
    "five models (agate, beryl, coral, jasper, onyx) that speak SCPI on a raw\n"
    "port, the Topaz generator (topaz), and a GPIB-Ethernet gateway of the \"++\"\n"
    "command family with instruments at GPIB addresses.\n"
    "\n"
    "Instruments:\n"
    "  --analyzer MODEL      an instrument on its own raw SCPI port (VMIB::host:port::INSTR\n"
    "                        or TCPIP::host::port::SOCKET in Kalmira); MODEL may be topaz\n"
    "  --port N              the port of the last --analyzer (default 5025; 0 picks a\n"
    "                        free port)\n"
    "  --gateway PORT        a GPIB-Ethernet gateway on PORT (0 picks a free port);\n"
    "                        Kalmira finds it through KALMIRA_GPIB_GATEWAY=host:port\n"
    "  --at ADDR=MODEL       an instrument at GPIB address ADDR (0..30) behind the last\n"
    "                        --gateway (GPIB::ADDR::INSTR in Kalmira)\n"
    "\n"
    "Instrument settings apply to the instrument named last; given before any\n"
    "instrument they apply to every instrument:\n"
    "  --options LIST        the \"*OPT?\" reply, e.g. M33 or B4,M34 (default: M33 on the\n"
    "                        Agate, M34 on the Jasper, none on the others; \"\" for none)\n"
    "  --mode N              measurement mode answered to \"INST:NSEL?\" (default 1)\n"
    "  --rlev DBM            reference level (default -10)\n"
    "  --freq HZ             centre frequency (default 1e9)\n"
    "  --att DB              input attenuation (default 10)\n"
    "  --idn TEXT            the \"*IDN?\" reply\n"
    "  --log FILE            log every program message received, one line each, in\n"
    "                        order, flushed at once; binary blocks appear as\n"
    "                        #<n><length><block of <length> bytes>\n"
    "  --log-bus             also log bus events as <GTL>, <LLO> and <SDC> (on a raw\n"
    "                        port the interface messages \"&GTL\", \"&GTR\" and \"&LLO\"\n"
    "                        stand for the bus lines: <GTL>, <GTR>, <LLO>)\n"
    "  --rate MB/S           sends its I/Q blocks at no more than this many 10^6 bytes\n"
    "                        per second (default: as fast as the connection takes them)\n"
    "  --trigger-delay S     the block of a data query starts S seconds after the query,\n"
    "                        as when the capture waits for a slow external trigger; a\n"
    "                        gateway's \"++read\" gives up after its \"++read_tmo_ms\" (at\n"
    "                        most 3000 ms) and leaves the block for the next \"++read\"\n"
    "  --round N             captures record lengths rounded up to a multiple of N\n"
    "                        samples (within the model's maximum), as many instruments do\n"
    "  --waveform-out FILE   the generator writes the bytes of every waveform block it\n"
    "                        receives (\":MEM:DATA RAM,#...\") to FILE\n"
    "  --fault KIND[:N]      damage the answer to the N-th \"TRAC:IQ:DATA?\" (default 1;\n"
    "                        0 = every one).  KIND is one of\n"
    "                          stall      no answer at all\n"
    "                          drop       half the block, then the connection closes\n"
    "                          short      half the block, then the terminator\n"
    "                          badheader  \"#X\" instead of the block header\n"
    "                          oddcount   a byte count that is not a multiple of 8\n"
    "                          hugecount  a header announcing 999999999 bytes\n"
    "                          error      an SCPI error text instead of a block\n"
    "                          mute       no query is ever answered (N ignored)\n"
    "\n"
    "Other options:\n"
    "  --bind ADDR           IPv4 address to listen on (default 127.0.0.1)\n"
    "  --help                this text\n"
    "\n"
    "The analyzers answer *IDN?, *OPT?, DISP:TRAC:Y:RLEV?, FREQ:CENT?, INP:ATT?,\n"
    "INST:NSEL?, SYST:ERR? and accept the capture commands (TRAC:IQ ON/OFF,\n"
    "TRAC:IQ:SET, FORM REAL,32, INIT:CONT, MMEM:STOR:STAT / MMEM:LOAD:STAT,\n"
    "*RST, *CLS, ...).  \"TRAC:IQ:DATA?\" returns a definite-length block of float32\n"
    "samples, all I then all Q (a Jasper above 524288 samples sends alternating\n"
    "524288-sample I and Q blocks, then the rest of I, then the rest of Q): a tone\n"
    "at 1/16 of the sample rate above the centre plus a little noise, at 0.9 of\n"
    "full scale, where full scale is the RMS voltage of the reference level into\n"
    "50 ohm (times 1000 on the Agate).\n"
    "\n"
    "On start-up one line per listener is printed, e.g.\n"
    "  analyzer jasper listening on 127.0.0.1:5025\n"
    "  gateway listening on 127.0.0.1:1234 (20=jasper 28=topaz)\n"
    "followed by \"ready\".  SIGTERM or SIGINT stops the simulator; it first takes in\n"
    "and logs every command that has reached it, so a log read after the\n"
    "simulator has ended is complete.  While it runs, a command that has no\n"
    "answer may still be on its way when the log is read: ask a query (*OPC?)\n"
    "first.\n";

struct RawInstrument {
    InstrumentConfig cfg;
    int port = 5025;
};
struct GatewayBus {
    int port = 1234;
    std::vector<std::pair<int, InstrumentConfig>> at;
};

[[noreturn]] void usage(const std::string &msg) {
    std::fprintf(stderr, "kalmira-sim: %s\nTry 'kalmira-sim --help'.\n", msg.c_str());
    std::exit(2);
}

double number(const std::string &opt, const char *text) {
    char *end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *end) usage("invalid number for " + opt + ": " + text);
    return v;
}

double positive(const std::string &opt, const char *text) {
    double v = number(opt, text);
    if (!(v >= 0) || v > 1e9) usage("invalid value for " + opt + ": " + text);
    return v;
}

int portNumber(const std::string &opt, const char *text) {
    double v = number(opt, text);
    if (v < 0 || v > 65535 || v != int(v)) usage("invalid port for " + opt + ": " + text);
    return int(v);
}

// Applies one instrument setting; false when opt is not one.
bool applySetting(InstrumentConfig &c, const std::string &opt, const char *val) {
    if (opt == "--options") c.options = val, c.optionsGiven = true;
    else if (opt == "--mode") c.mode = int(number(opt, val));
    else if (opt == "--rlev") c.rlev = number(opt, val);
    else if (opt == "--freq") c.freq = number(opt, val);
    else if (opt == "--att") c.att = number(opt, val);
    else if (opt == "--idn") c.idn = val;
    else if (opt == "--log") c.logPath = val;
    else if (opt == "--waveform-out") c.waveformPath = val;
    else if (opt == "--rate") c.rate = positive(opt, val) * 1e6;
    else if (opt == "--trigger-delay") c.triggerDelay = positive(opt, val);
    else if (opt == "--round") c.round = std::max<int64_t>(1, int64_t(positive(opt, val)));
    else if (opt == "--fault") {
        if (!parseFault(val, c.fault, c.faultAt)) usage(std::string("unknown fault: ") + val);
    } else return false;
    return true;
}

volatile std::sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

}  // namespace

int main(int argc, char **argv) {
    InstrumentConfig defaults;
    std::vector<RawInstrument> raws;
    std::vector<GatewayBus> gateways;
    InstrumentConfig *current = &defaults;
    std::string bindAddr = "127.0.0.1";
    for (int i = 1; i < argc; ++i) {
        std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (opt == "--log-bus") {
            current->logBus = true;
            continue;
        }
        if (i + 1 >= argc) usage("option " + opt + " needs a value");
        const char *val = argv[++i];
        Model m;
        if (opt == "--analyzer") {
            if (!parseModel(val, m)) usage(std::string("unknown model: ") + val);
            raws.push_back({defaults, 5025});
            raws.back().cfg.model = m;
            current = &raws.back().cfg;
        } else if (opt == "--port") {
            if (raws.empty() || current != &raws.back().cfg) usage("--port belongs after --analyzer");
            raws.back().port = portNumber(opt, val);
        } else if (opt == "--gateway") {
            gateways.push_back({portNumber(opt, val), {}});
            current = &defaults;
        } else if (opt == "--at") {
            if (gateways.empty()) usage("--at belongs after --gateway");
            std::string text = val;
            size_t eq = text.find('=');
            int addr = eq == std::string::npos ? -1 : std::atoi(text.substr(0, eq).c_str());
            if (addr < 0 || addr > 30 || !parseModel(text.substr(eq + 1), m)) usage("invalid --at " + text);
            gateways.back().at.push_back({addr, defaults});
            gateways.back().at.back().second.model = m;
            current = &gateways.back().at.back().second;
        } else if (opt == "--bind") {
            bindAddr = val;
        } else if (!applySetting(*current, opt, val)) {
            usage("unknown option " + opt);
        }
        // current always points at the element added last, so growing a
        // vector never leaves it dangling.
    }
    if (raws.empty() && gateways.empty()) usage("no instrument given");

    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    Server server;
    for (auto &r : raws) {
        int port = server.listenRaw(bindAddr, r.port, std::make_shared<Instrument>(r.cfg));
        std::printf("analyzer %s listening on %s:%d\n", modelName(r.cfg.model), bindAddr.c_str(), port);
    }
    for (auto &g : gateways) {
        auto bus = std::make_shared<Bus>();
        std::string list;
        for (auto &[addr, cfg] : g.at) {
            (*bus)[addr] = std::make_shared<Instrument>(cfg);
            list += (list.empty() ? "" : " ") + std::to_string(addr) + "=" + modelName(cfg.model);
        }
        int port = server.listenGateway(bindAddr, g.port, bus);
        std::printf("gateway listening on %s:%d (%s)\n", bindAddr.c_str(), port, list.c_str());
    }
    std::printf("ready\n");
    std::fflush(stdout);
    server.run(gStop);
    return 0;
}
