// The built-in transports, registered by interface type in visa.cpp.
#pragma once

#include "resource.h"
#include "session.h"

#include <memory>

namespace kalvisa {

// SCPI over a raw TCP socket: "VMIB::host[:port]::INSTR", "TCPIP::host::port::SOCKET".
ViStatus openSocketSession(const Resource &r, ViUInt32 openTmo, std::unique_ptr<Session> &out);

// GPIB through a "++" GPIB-Ethernet gateway named by KALMIRA_GPIB_GATEWAY.
ViStatus openGatewaySession(const Resource &r, ViUInt32 openTmo, std::unique_ptr<Session> &out);

}  // namespace kalvisa
