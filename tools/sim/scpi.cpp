#include "scpi.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kalsim {

namespace {

struct Node {
    std::string shortForm, longForm;
    bool optional = false;
};

std::vector<Node> parsePattern(const std::string &p) {
    std::vector<Node> nodes;
    size_t i = 0;
    while (i < p.size()) {
        Node n;
        if (p[i] == ':') ++i;
        if (p[i] == '[') {
            n.optional = true;
            ++i;
            if (p[i] == ':') ++i;
        }
        while (i < p.size() && p[i] != ':' && p[i] != '[' && p[i] != ']') {
            char c = p[i++];
            if (!std::islower(static_cast<unsigned char>(c))) n.shortForm += c;
            n.longForm += char(std::toupper(static_cast<unsigned char>(c)));
        }
        if (i < p.size() && p[i] == ']') ++i;
        nodes.push_back(n);
    }
    return nodes;
}

std::vector<std::string> splitHeader(const std::string &h) {
    std::vector<std::string> parts;
    size_t start = h.size() && h[0] == ':' ? 1 : 0;
    for (;;) {
        size_t p = h.find(':', start);
        parts.push_back(h.substr(start, p == std::string::npos ? p : p - start));
        if (p == std::string::npos) break;
        start = p + 1;
    }
    return parts;
}

bool nodeMatches(std::string in, const Node &n) {
    // A numeric suffix ("WINDow1", "TRACe1") selects an instance; one is all there is.
    while (in.size() > 1 && std::isdigit(static_cast<unsigned char>(in.back())) &&
           !std::isdigit(static_cast<unsigned char>(n.longForm.back())))
        in.pop_back();
    return in == n.shortForm || in == n.longForm;
}

bool matchFrom(const std::vector<std::string> &in, size_t i, const std::vector<Node> &pat, size_t j) {
    if (j == pat.size()) return i == in.size();
    if (i < in.size() && nodeMatches(in[i], pat[j]) && matchFrom(in, i + 1, pat, j + 1)) return true;
    return pat[j].optional && matchFrom(in, i, pat, j + 1);
}

}  // namespace

std::string upper(std::string s) {
    for (auto &c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string &s) {
    size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

bool headerMatches(const std::string &header, const std::string &pattern) {
    return matchFrom(splitHeader(upper(header)), 0, parsePattern(pattern), 0);
}

bool parseValue(const std::string &text, double &value) {
    std::string t = trim(text);
    char *end = nullptr;
    value = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || !std::isfinite(value)) return false;
    std::string unit = upper(trim(end));
    // SCPI suffixes: "MHZ" is megahertz, "MS" milliseconds, "MV" millivolts.
    struct Unit {
        const char *name;
        double scale;
    };
    static const Unit units[] = {{"", 1},      {"HZ", 1},   {"KHZ", 1e3}, {"MHZ", 1e6}, {"GHZ", 1e9},
                                 {"S", 1},     {"MS", 1e-3}, {"US", 1e-6}, {"NS", 1e-9}, {"DB", 1},
                                 {"DBM", 1},   {"V", 1},    {"MV", 1e-3}};
    for (const auto &u : units) {
        if (unit == u.name) {
            value *= u.scale;
            return true;
        }
    }
    return false;
}

bool parseBool(const std::string &text, bool &value) {
    std::string t = upper(trim(text));
    if (t == "ON" || t == "1") return value = true, true;
    if (t == "OFF" || t == "0") return value = false, true;
    return false;
}

std::string unquote(const std::string &text) {
    std::string t = trim(text);
    if (t.size() >= 2 && (t[0] == '\'' || t[0] == '"') && t.back() == t[0]) return t.substr(1, t.size() - 2);
    return t;
}

std::string formatNumber(double v) {
    char buf[64];
    if (std::fabs(v) < 1e15 && v == std::floor(v)) std::snprintf(buf, sizeof buf, "%.0f", v);
    else std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

}  // namespace kalsim
