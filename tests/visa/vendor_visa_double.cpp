// A test double for a vendor's VISA library, loaded by visa_binding_tests
// through KALMIRA_VISA_LIBRARY to check the run-time binding: which raw
// operations the layer calls, with which handles, and that formatted I/O
// runs on top of them.  It answers like a message-based instrument: a
// query's reply ends with a line feed and END.
#include <cstdint>
#include <cstring>
#include <string>

extern "C" {

typedef int32_t ViStatus;
typedef uint32_t ViSession;
typedef uint64_t ViAttrState;

static std::string gCalls;     // one line per call, for the test to read
static std::string gReply;     // what the next read returns
static bool gTermCharEn = false;
static uint8_t gTermChar = 0;

const char *doubleCalls() { return gCalls.c_str(); }

ViStatus viOpenDefaultRM(ViSession *rm) {
    *rm = 7000;
    gCalls += "viOpenDefaultRM\n";
    return 0;
}

ViStatus viOpen(ViSession rm, const char *name, uint32_t, uint32_t, ViSession *vi) {
    *vi = 7001;
    gCalls += "viOpen " + std::to_string(rm) + " " + name + "\n";
    return 0;
}

ViStatus viClose(ViSession vi) {
    gCalls += "viClose " + std::to_string(vi) + "\n";
    return 0;
}

ViStatus viSetAttribute(ViSession, uint32_t attr, ViAttrState v) {
    if (attr == 0x3FFF0038u) gTermCharEn = v != 0;
    else if (attr == 0x3FFF0018u) gTermChar = uint8_t(v);
    else gCalls += "viSetAttribute " + std::to_string(attr) + " " + std::to_string(v) + "\n";
    return 0;
}

ViStatus viGetAttribute(ViSession, uint32_t attr, void *value) {
    if (attr == 0x3FFF0038u) *static_cast<uint16_t *>(value) = gTermCharEn;
    else if (attr == 0x3FFF0018u) *static_cast<uint8_t *>(value) = gTermChar;
    else if (attr == 0x3FFF0171u) *static_cast<uint16_t *>(value) = 1;
    else return int32_t(0xBFFF001Du);
    return 0;
}

ViStatus viWrite(ViSession, const unsigned char *buf, uint32_t n, uint32_t *done) {
    std::string cmd(reinterpret_cast<const char *>(buf), n);
    gCalls += "viWrite " + cmd;
    if (cmd == "*IDN?\n") gReply = "Stub,Analyzer,1,0.1\n";
    if (done) *done = n;
    return 0;
}

// Without the line feed enabled as terminator a read would wait for its
// whole count; the layer must enable it for formatted replies.
ViStatus viRead(ViSession, unsigned char *buf, uint32_t n, uint32_t *got) {
    gCalls += std::string("viRead termchar ") + (gTermCharEn && gTermChar == '\n' ? "on" : "off") + "\n";
    if (!(gTermCharEn && gTermChar == '\n') && n > gReply.size()) return int32_t(0xBFFF0015u);
    size_t k = std::min<size_t>(n, gReply.size());
    std::memcpy(buf, gReply.data(), k);
    gReply.erase(0, k);
    if (got) *got = uint32_t(k);
    return 0;
}

ViStatus viGpibControlREN(ViSession vi, uint16_t mode) {
    gCalls += "viGpibControlREN " + std::to_string(vi) + " " + std::to_string(mode) + "\n";
    return 0;
}

}  // extern "C"
