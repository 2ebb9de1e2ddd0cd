// Small helpers for SCPI text: header patterns with short and long forms,
// numbers with unit suffixes, quoted strings.
#pragma once

#include <string>

namespace kalsim {

// "DISP:TRAC:Y:RLEV" against a pattern such as
// "DISPlay[:WINDow]:TRACe:Y[:SCALe]:RLEVel": every node may be given in its
// short form (the upper-case letters) or long form, optional nodes in
// brackets may be left out; case does not matter.  The header has no '?'.
bool headerMatches(const std::string &header, const std::string &pattern);

// "32000000Hz", "8MHz", "1.0000ms", "-10", "ON": a number with an optional
// unit, scaled to Hz, s or the plain value.  False when not a number.
bool parseValue(const std::string &text, double &value);

// ON/OFF/1/0; false when neither.
bool parseBool(const std::string &text, bool &value);

std::string unquote(const std::string &text);
std::string upper(std::string s);
std::string trim(const std::string &s);
// Integral values without decimals, others in the shortest form.
std::string formatNumber(double v);

}  // namespace kalsim
