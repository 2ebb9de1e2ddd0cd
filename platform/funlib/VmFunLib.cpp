#include "VmFunLib.h"

#include "userint.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int32_t kStateMessage = 3;
constexpr unsigned kStateWriteTimeoutMs = 2000;

void PutLe32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void PutLe64(unsigned char *p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

int GetAppNam(const char *programPath, char *name)
{
    std::string path = programPath ? programPath : "";
    size_t slash = path.find_last_of("/\\");
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        base.erase(dot);
    if (base.size() > 99)
        base.resize(99);
    std::memcpy(name, base.c_str(), base.size() + 1);
    return 0;
}

int UpdTesAll(int handle, int newState, double rate, int count)
{
    if (handle == 0 || !TCPClientConnected(static_cast<unsigned>(handle)))
        return 0;
    unsigned char msg[20];
    uint64_t rateBits;
    std::memcpy(&rateBits, &rate, sizeof rateBits);
    PutLe32(msg, static_cast<uint32_t>(kStateMessage));
    PutLe32(msg + 4, static_cast<uint32_t>(newState));
    PutLe32(msg + 8, static_cast<uint32_t>(count));
    PutLe64(msg + 12, rateBits);
    int n = ServerTCPWrite(static_cast<unsigned>(handle), msg, sizeof msg, kStateWriteTimeoutMs);
    return n == static_cast<int>(sizeof msg) ? 0 : -1;
}

int ErrMsgPop(int status, const char *title, const char *message)
{
    char text[600];
    std::snprintf(text, sizeof text, "%s\n\nStatus: %d", message, status);
    CVI_Beep();
    return MessagePopup(title, text);
}
