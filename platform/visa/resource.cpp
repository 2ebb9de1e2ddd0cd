#include "resource.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

namespace kalvisa {

namespace {

std::string upper(std::string s) {
    for (auto &c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> splitColons(const std::string &s) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t p = s.find("::", start);
        parts.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) break;
        start = p + 2;
    }
    return parts;
}

bool parseNumber(const std::string &s, unsigned long max, unsigned long &value) {
    if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), ::isdigit)) return false;
    value = std::strtoul(s.c_str(), nullptr, 10);
    return value <= max;
}

// The interface word with an optional board number: "GPIB", "GPIB0".
bool interfaceIs(const std::string &word, const char *name) {
    std::string n = name;
    if (word.compare(0, n.size(), n) != 0) return false;
    std::string board = word.substr(n.size());
    unsigned long b;
    return board.empty() || parseNumber(board, 99, b);
}

}  // namespace

bool splitHostPort(const std::string &text, unsigned defaultPort, std::string &host, unsigned &port) {
    size_t colon = text.rfind(':');
    host = text.substr(0, colon);
    port = defaultPort;
    if (colon != std::string::npos) {
        unsigned long p;
        if (!parseNumber(text.substr(colon + 1), 65535, p) || p == 0) return false;
        port = unsigned(p);
    }
    return !host.empty() && host.find_first_of(" \t") == std::string::npos;
}

ViStatus parseResource(const char *name, Resource &out) {
    if (!name) return VI_ERROR_INV_RSRC_NAME;
    std::vector<std::string> parts = splitColons(name);
    std::string intf = upper(parts[0]);
    std::string last = upper(parts.back());
    unsigned long n;
    if (interfaceIs(intf, "GPIB") && (parts.size() == 2 || (parts.size() == 3 && last == "INSTR"))) {
        if (!parseNumber(parts[1], 30, n)) return VI_ERROR_INV_RSRC_NAME;
        out.intf = VI_INTF_GPIB;
        out.rsrcClass = "INSTR";
        out.pad = int(n);
        out.canonical = "GPIB0::" + std::to_string(n) + "::INSTR";
        return VI_SUCCESS;
    }
    if (interfaceIs(intf, "VMIB") && parts.size() == 3 && last == "INSTR") {
        if (!splitHostPort(parts[1], 5025, out.host, out.port)) return VI_ERROR_INV_RSRC_NAME;
        out.intf = VI_INTF_TCPIP;
        out.rsrcClass = "INSTR";
        out.canonical = "VMIB0::" + parts[1] + "::INSTR";
        return VI_SUCCESS;
    }
    if (interfaceIs(intf, "TCPIP") && parts.size() == 4 && last == "SOCKET") {
        if (parts[1].empty() || !parseNumber(parts[2], 65535, n) || n == 0) return VI_ERROR_INV_RSRC_NAME;
        out.intf = VI_INTF_TCPIP;
        out.rsrcClass = "SOCKET";
        out.host = parts[1];
        out.port = unsigned(n);
        out.canonical = "TCPIP0::" + parts[1] + "::" + parts[2] + "::SOCKET";
        return VI_SUCCESS;
    }
    return VI_ERROR_INV_RSRC_NAME;
}

}  // namespace kalvisa
