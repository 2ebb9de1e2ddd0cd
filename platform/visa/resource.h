// VISA resource names the built-in transports understand.
#pragma once

#include "visa.h"

#include <string>

namespace kalvisa {

struct Resource {
    ViUInt16 intf = 0;      // VI_INTF_GPIB or VI_INTF_TCPIP
    std::string rsrcClass;  // "INSTR" or "SOCKET"
    std::string host;       // LAN host
    unsigned port = 0;      // LAN port
    int pad = -1;           // GPIB primary address
    std::string canonical;  // the name as the session reports it
};

// "VMIB[n]::host[:port]::INSTR", "TCPIP[n]::host::port::SOCKET",
// "GPIB[n]::pad[::INSTR]"; case-insensitive.  Returns VI_SUCCESS,
// VI_ERROR_INV_RSRC_NAME for a name that is not one of these forms.
ViStatus parseResource(const char *name, Resource &out);

// "host" or "host:port" with a default port; false when malformed.
bool splitHostPort(const std::string &text, unsigned defaultPort, std::string &host, unsigned &port);

}  // namespace kalvisa
