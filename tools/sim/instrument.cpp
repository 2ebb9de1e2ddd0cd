#include "instrument.h"
#include "logfile.h"
#include "scpi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kalsim {

namespace {

struct ModelInfo {
    Model model;
    const char *name;
    const char *defaultOptions;
    int64_t maxCount;
    double maxRate;
};

constexpr ModelInfo kModels[] = {
    {Model::Agate, "Agate", "M33", 524288, 32.0e6},      {Model::Beryl, "Beryl", "", 130560, 32.0e6},
    {Model::Coral, "Coral", "", 523776, 32.0e6},         {Model::Jasper, "Jasper", "M34", 16776704, 81.6e6},
    {Model::Onyx, "Onyx", "", 130560, 32.0e6},           {Model::Topaz, "Topaz", "", 0, 0},
};

const ModelInfo &info(Model m) {
    for (const auto &i : kModels)
        if (i.model == m) return i;
    return kModels[1];
}

// The largest program message kept (a waveform block with its command).
constexpr int64_t kMaxMessage = int64_t(512) << 20;

}  // namespace

bool parseModel(const std::string &name, Model &out) {
    for (const auto &i : kModels) {
        if (upper(name) == upper(i.name)) {
            out = i.model;
            return true;
        }
    }
    return false;
}

const char *modelName(Model m) { return info(m).name; }

bool parseFault(const std::string &text, Fault &kind, int &at) {
    static const std::pair<const char *, Fault> names[] = {
        {"none", Fault::None},           {"stall", Fault::Stall},         {"mute", Fault::Mute},
        {"drop", Fault::Drop},           {"short", Fault::Short},         {"badheader", Fault::BadHeader},
        {"oddcount", Fault::OddCount},   {"hugecount", Fault::HugeCount}, {"error", Fault::Error},
    };
    std::string name = text.substr(0, text.find(':'));
    at = 1;
    if (name.size() < text.size()) {
        char *end = nullptr;
        long n = std::strtol(text.c_str() + name.size() + 1, &end, 10);
        if (*end || n < 0 || n > 1000000) return false;
        at = int(n);
    }
    for (const auto &[n, k] : names) {
        if (name == n) {
            kind = k;
            return true;
        }
    }
    return false;
}

Instrument::Instrument(const InstrumentConfig &cfg) : cfg_(cfg) {
    if (!cfg_.optionsGiven) cfg_.options = info(cfg.model).defaultOptions;
    if (cfg_.idn.empty()) cfg_.idn = std::string("Kalmira-Sim,") + info(cfg.model).name + ",100001/001,1.0";
    power_.rlev = cfg.rlev;
    power_.freq = cfg.freq;
    power_.att = cfg.att;
    power_.mode = cfg.mode;
    if (cfg.model == Model::Agate) power_.count = 32000;
    cur_ = power_;
    log_ = LogFile::open(cfg.logPath);
}

Clock::time_point Instrument::replyReadyAt() const {
    return output_.empty() ? Clock::time_point::max() : output_.front()->readyAt();
}

std::unique_ptr<Stream> Instrument::takeReply() {
    if (output_.empty()) return nullptr;
    auto s = std::move(output_.front());
    output_.pop_front();
    return s;
}

void Instrument::deviceClear() {
    output_.clear();
    msg_.clear();
    overflow_ = false;
    state_ = Scan::Text;
    busEvent("SDC");
}

void Instrument::busEvent(const char *what) {
    if (cfg_.logBus && log_) log_->line(std::string("<") + what + ">");
}

// ---- Input: program messages, with arbitrary blocks passed through -------

void Instrument::feed(const char *data, size_t len, bool end) {
    scan(data, len);
    if (end) {
        if (state_ == Scan::Block) pushError(-230, "Data corrupt or stale");  // block cut short
        endMessage();
    }
}

void Instrument::scan(const char *data, size_t len) {
    for (size_t i = 0; i < len;) {
        if (state_ == Scan::Block) {
            size_t n = size_t(std::min<int64_t>(blockLeft_, int64_t(len - i)));
            append(data + i, n);
            blockLeft_ -= int64_t(n);
            i += n;
            if (blockLeft_ == 0) state_ = Scan::Text;
            continue;
        }
        char c = data[i++];
        if (state_ == Scan::Quote) {
            append(&c, 1);
            if (c == quote_) state_ = Scan::Text;
            continue;
        }
        if (state_ == Scan::Hash) {
            if (c >= '1' && c <= '9') {
                append(&c, 1);
                digitsLeft_ = c - '0';
                lenText_.clear();
                state_ = Scan::Digits;
                continue;
            }
            state_ = Scan::Text;
        } else if (state_ == Scan::Digits) {
            if (std::isdigit(static_cast<unsigned char>(c))) {
                append(&c, 1);
                lenText_ += c;
                if (--digitsLeft_ == 0) {
                    blockLeft_ = std::stoll(lenText_);
                    state_ = blockLeft_ > 0 ? Scan::Block : Scan::Text;
                }
                continue;
            }
            state_ = Scan::Text;
        }
        if (c == '\n') {
            endMessage();
        } else {
            append(&c, 1);
            if (c == '\'' || c == '"') quote_ = c, state_ = Scan::Quote;
            else if (c == '#') state_ = Scan::Hash;
        }
    }
}

// A message larger than any the instruments take is dropped whole, with an
// error in the queue, instead of being held.
void Instrument::append(const char *data, size_t len) {
    if (msg_.size() + len > size_t(kMaxMessage)) overflow_ = true;
    if (!overflow_) msg_.append(data, len);
}

void Instrument::endMessage() {
    std::string msg;
    msg.swap(msg_);
    state_ = Scan::Text;
    if (overflow_) {
        overflow_ = false;
        return pushError(-223, "Too much data");
    }
    while (!msg.empty() && (msg.back() == '\r' || msg.back() == '\n')) msg.pop_back();
    if (!msg.empty()) handleMessage(msg);
}

// Splits a program message into commands at ';' and each command's
// arguments at ',' (outside quotes and blocks).  logText gets the message
// with every block's bytes replaced by a note of its size.
std::vector<Instrument::Command> Instrument::splitCommands(const std::string &msg, std::string &logText) {
    std::vector<Command> cmds(1);
    std::string arg, *cur = &cmds.back().header;
    bool inHeader = true;
    auto finishArg = [&] {
        if (!inHeader) cmds.back().args.push_back(trim(arg));
        arg.clear();
    };
    for (size_t i = 0; i < msg.size(); ++i) {
        char c = msg[i];
        if (c == '\'' || c == '"') {
            size_t close = msg.find(c, i + 1);
            size_t n = (close == std::string::npos ? msg.size() : close + 1) - i;
            cur->append(msg, i, n), logText.append(msg, i, n);
            i += n - 1;
            continue;
        }
        if (!inHeader && c == '#' && i + 1 < msg.size() && msg[i + 1] >= '1' && msg[i + 1] <= '9') {
            size_t d = size_t(msg[i + 1] - '0');
            std::string lenText = msg.substr(i + 2, d);
            size_t len = std::min<size_t>(std::strtoull(lenText.c_str(), nullptr, 10), msg.size() - std::min(msg.size(), i + 2 + d));
            cmds.back().block = msg.substr(i + 2 + d, len);
            std::string head = msg.substr(i, 2 + d);
            cur->append(head);
            logText += head + "<block of " + std::to_string(len) + " bytes>";
            i += 1 + d + len;
            continue;
        }
        logText += c;
        if (c == ';') {
            finishArg();
            cmds.emplace_back();
            cur = &cmds.back().header;
            inHeader = true;
        } else if (inHeader && (c == ' ' || c == '\t')) {
            if (!cur->empty()) inHeader = false, cur = &arg;
        } else if (!inHeader && c == ',') {
            finishArg();
        } else {
            *cur += c;
        }
    }
    finishArg();
    for (auto &cmd : cmds) {
        cmd.header = upper(trim(cmd.header));
        if (!cmd.header.empty() && cmd.header[0] == ':') cmd.header.erase(0, 1);
        cmd.query = !cmd.header.empty() && cmd.header.back() == '?';
        if (cmd.query) cmd.header.pop_back();
    }
    return cmds;
}

void Instrument::handleMessage(const std::string &msg) {
    // Raw-socket instruments take the bus's go-to-local, go-to-remote and
    // local lockout as the interface messages "&GTL", "&GTR" and "&LLO": a
    // LAN connection has no bus lines for them.  They are no SCPI.
    if (msg.size() > 1 && msg[0] == '&') return busEvent(upper(trim(msg.substr(1))).c_str());
    std::string logText;
    std::vector<Command> cmds = splitCommands(msg, logText);
    if (log_) log_->line(logText);
    std::vector<std::string> texts;
    std::unique_ptr<Stream> block;
    for (const auto &c : cmds)
        if (!c.header.empty()) execute(c, texts, block);
    if (cfg_.fault == Fault::Mute) return;
    if (block) {
        output_.push_back(std::move(block));
    } else if (!texts.empty()) {
        std::string reply;
        for (size_t i = 0; i < texts.size(); ++i) reply += (i ? ";" : "") + texts[i];
        output_.push_back(std::make_unique<TextStream>(reply + "\n"));
    }
}

void Instrument::pushError(int code, const char *text) {
    if (errors_.size() < 32) errors_.push_back(std::to_string(code) + ",\"" + text + "\"");
    esr_ |= 0x20;  // command error
}

// ---- Commands ----------------------------------------------------------

void Instrument::execute(const Command &c, std::vector<std::string> &texts, std::unique_ptr<Stream> &block) {
    const std::string &h = c.header;
    if (h == "*IDN" && c.query) return texts.push_back(cfg_.idn);
    if (h == "*OPT" && c.query) return texts.push_back(cfg_.options.empty() ? "0" : cfg_.options);
    if (h == "*RST") {
        cur_ = power_;
        return;
    }
    if (h == "*CLS") {
        errors_.clear();
        esr_ = 0;
        return;
    }
    if (h == "*SRE" || h == "*ESE") {
        int &reg = h == "*SRE" ? sre_ : ese_;
        if (c.query) return texts.push_back(std::to_string(reg));
        double v;
        if (c.args.size() == 1 && parseValue(c.args[0], v) && v >= 0 && v <= 255) reg = int(v);
        else pushError(-224, "Illegal parameter value");
        return;
    }
    if (h == "*ESR" && c.query) {
        texts.push_back(std::to_string(esr_));
        esr_ = 0;
        return;
    }
    if (h == "*STB" && c.query) return texts.push_back(std::to_string(errors_.empty() ? 0 : 4));
    if (h == "*WAI" || h == "*TRG") return;
    if (h == "*OPC") {
        if (c.query) texts.push_back("1");
        else esr_ |= 1;
        return;
    }
    if (headerMatches(h, "SYSTem:ERRor[:NEXT]") && c.query) {
        texts.push_back(errors_.empty() ? "0,\"No error\"" : errors_.front());
        if (!errors_.empty()) errors_.pop_front();
        return;
    }
    bool known = cfg_.model == Model::Topaz ? generatorCommand(c) : analyzerCommand(c, texts, block);
    if (!known) pushError(-113, "Undefined header");
}

bool Instrument::analyzerCommand(const Command &c, std::vector<std::string> &texts, std::unique_ptr<Stream> &block) {
    const std::string &h = c.header;
    struct Level {
        const char *pattern;
        double Settings::*field;
    };
    static const Level levels[] = {
        {"DISPlay[:WINDow]:TRACe:Y[:SCALe]:RLEVel", &Settings::rlev},
        {"[SENSe]:FREQuency:CENTer", &Settings::freq},
        {"INPut:ATTenuation", &Settings::att},
    };
    for (const auto &l : levels) {
        if (!headerMatches(h, l.pattern)) continue;
        double v;
        if (c.query) texts.push_back(formatNumber(cur_.*l.field));
        else if (c.args.size() == 1 && parseValue(c.args[0], v)) cur_.*l.field = v;
        else pushError(-224, "Illegal parameter value");
        return true;
    }
    if (headerMatches(h, "TRACe[:DATA]:IQ:DATA") && c.query) {
        dataQuery(texts, block);
        return true;
    }
    if (headerMatches(h, "TRACe:IQ:SET")) {
        if (c.query) {
            texts.push_back(std::string(cfg_.model == Model::Agate ? "RAW" : "NORM") + "," + formatNumber(cur_.rbw) + "," +
                            formatNumber(cur_.rate) + "," + cur_.trig + "," + cur_.slope + "," +
                            std::to_string(cur_.pretrig) + "," + std::to_string(cur_.count));
        } else {
            setIq(c);
        }
        return true;
    }
    return setupCommand(c, texts);
}

// The capture settings: "NORM,<rbw>,<rate>,<trigger>,<slope>,<pretrigger>,<count>"
// or, on the Agate, "RAW,<rbw>,<rate>,<trigger>,<slope>,<offset>,<record length>".
void Instrument::setIq(const Command &c) {
    bool agate = cfg_.model == Model::Agate;
    if (c.args.size() != 7) return pushError(c.args.size() < 7 ? -109 : -108, c.args.size() < 7 ? "Missing parameter" : "Parameter not allowed");
    Settings s = cur_;
    double rbw, rate, a5, a6;
    std::string type = upper(c.args[0]);
    s.trig = upper(c.args[3]);
    s.slope = upper(c.args[4]);
    bool ok = type == (agate ? "RAW" : "NORM") && parseValue(c.args[1], rbw) && parseValue(c.args[2], rate) &&
              parseValue(c.args[5], a5) && parseValue(c.args[6], a6);
    ok = ok && (s.trig == "IMM" || s.trig == "EXT" || s.trig == "VID" || s.trig == "IFP" || s.trig == "RFP");
    ok = ok && (s.slope == "POS" || s.slope == "NEG");
    if (!ok) return pushError(-224, "Illegal parameter value");
    s.rbw = rbw;
    s.rate = rate;
    if (agate) {
        s.pretrig = 0;
        s.count = int64_t(std::floor(rate * a6 + 1e-6));  // a6 arrives in seconds
    } else {
        s.pretrig = int64_t(a5);
        s.count = int64_t(a6);
    }
    bool integral = agate || (a5 == std::floor(a5) && a6 == std::floor(a6));
    if (!integral || rate <= 0 || rate > maxRate() || s.count < 1 || s.count > maxCount() || s.pretrig < 0 ||
        (!agate && s.pretrig >= s.count))
        return pushError(-222, "Data out of range");
    // Like many instruments, it may take a record a little longer than asked.
    s.count = std::min(maxCount(), (s.count + cfg_.round - 1) / cfg_.round * cfg_.round);
    cur_ = s;
}

bool Instrument::setupCommand(const Command &c, std::vector<std::string> &texts) {
    const std::string &h = c.header;
    const std::string a = c.args.empty() ? "" : upper(c.args[0]);
    bool b;
    double v;
    if (headerMatches(h, "INSTrument:NSELect")) {
        if (c.query) texts.push_back(std::to_string(cur_.mode));
        else if (parseValue(a, v) && v >= 1 && v <= 8) cur_.mode = int(v);
        else pushError(-224, "Illegal parameter value");
        return true;
    }
    if (headerMatches(h, "TRACe[:DATA]:IQ[:STATe]") || headerMatches(h, "INITiate:CONTinuous")) {
        bool &flag = headerMatches(h, "INITiate:CONTinuous") ? cur_.initCont : cur_.iqOn;
        if (c.query) texts.push_back(flag ? "1" : "0");
        else if (parseBool(a, b)) flag = b;
        else pushError(-224, "Illegal parameter value");
        return true;
    }
    if (headerMatches(h, "TRACe:IQ:SRATe") || headerMatches(h, "TRACe:IQ:RLENgth")) {
        bool rateCmd = headerMatches(h, "TRACe:IQ:SRATe");
        if (c.query) texts.push_back(formatNumber(rateCmd ? cur_.rate : double(cur_.count)));
        else if (!parseValue(a, v)) pushError(-224, "Illegal parameter value");
        else if (rateCmd ? (v <= 0 || v > maxRate()) : (v < 1 || v > double(maxCount()))) pushError(-222, "Data out of range");
        else if (rateCmd) cur_.rate = v;
        else cur_.count = int64_t(v);
        return true;
    }
    if (headerMatches(h, "INITiate[:IMMediate]") || headerMatches(h, "SYSTem:COMMunicate:GPIB[:SELF]:RTERminator"))
        return true;
    if (headerMatches(h, "FORMat[:DATA]")) {
        if (c.args.size() != 2 || upper(c.args[0]) != "REAL" || c.args[1] != "32") pushError(-224, "Illegal parameter value");
        return true;
    }
    if (headerMatches(h, "MMEMory:STORe:STATe") || headerMatches(h, "MMEMory:LOAD:STATe")) {
        if (c.args.size() != 2 || c.args[0] != "1") return pushError(-224, "Illegal parameter value"), true;
        std::string path = unquote(c.args[1]);
        if (headerMatches(h, "MMEMory:STORe:STATe")) stored_[path] = cur_;
        else if (stored_.count(path)) cur_ = stored_[path];
        else pushError(-256, "File name not found");
        return true;
    }
    // The baseband inputs exist only on a Jasper with option M34.
    static const char *const baseband[] = {"INPut:SELect", "INPut:IQ:BALanced[:STATe]", "INPut:IQ:IMPedance",
                                           "[SENSe]:IQ:DITHer[:STATe]", "[SENSe]:IQ:LPASs[:STATe]"};
    for (const char *p : baseband) {
        if (!headerMatches(h, p)) continue;
        if (cfg_.model != Model::Jasper) return false;
        if (cfg_.options.find("M34") == std::string::npos) return pushError(-241, "Hardware missing"), true;
        if (p == baseband[0]) {
            if (a == "AIQ" || a == "RF") cur_.inputSel = a;
            else pushError(-224, "Illegal parameter value");
        } else if (p == baseband[2] ? !(a == "HIGH" || a == "LOW") : !parseBool(a, b)) {
            pushError(-224, "Illegal parameter value");
        }
        return true;
    }
    return false;
}

void Instrument::dataQuery(std::vector<std::string> &texts, std::unique_ptr<Stream> &block) {
    if (!cur_.iqOn) return pushError(-221, "Settings conflict");
    ++dataQueries_;
    Fault f = cfg_.faultAt == 0 || cfg_.faultAt == dataQueries_ ? cfg_.fault : Fault::None;
    if (f == Fault::Stall) return;
    if (f == Fault::Error) {
        pushError(-221, "Settings conflict");
        return texts.push_back("-221,\"Settings conflict\"");
    }
    BlockShape shape;
    shape.count = cur_.count;
    shape.chunked = cfg_.model == Model::Jasper && cur_.count > kJasperChunk;
    // The signal is made once per full scale; every block of that setting
    // is sent straight out of it.
    if (!signal_ || signal_->fullScale() != fullScale()) signal_ = std::make_shared<PreparedSignal>(fullScale());
    shape.signal = signal_;
    static const std::pair<Fault, BlockFault> map[] = {{Fault::Drop, BlockFault::Drop},
                                                       {Fault::Short, BlockFault::Short},
                                                       {Fault::BadHeader, BlockFault::BadHeader},
                                                       {Fault::OddCount, BlockFault::OddCount},
                                                       {Fault::HugeCount, BlockFault::HugeCount}};
    for (const auto &[k, b] : map)
        if (f == k) shape.fault = b;
    block = makeBlockStream(shape);
    if (cfg_.rate > 0 || cfg_.triggerDelay > 0) {
        const auto delay = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(cfg_.triggerDelay));
        block = pace(std::move(block), Clock::now() + delay, cfg_.rate);
    }
}

// The RMS voltage of the reference level into 50 ohm; the Agate sends its
// values a thousand times larger.
double Instrument::fullScale() const {
    double v = std::sqrt(50.0 * std::pow(10.0, (cur_.rlev - 30.0) / 10.0));
    return cfg_.model == Model::Agate ? v * 1000.0 : v;
}

int64_t Instrument::maxCount() const { return info(cfg_.model).maxCount; }
double Instrument::maxRate() const { return info(cfg_.model).maxRate; }

// ---- The Topaz generator ----------------------------------------------------

bool Instrument::generatorCommand(const Command &c) {
    const std::string &h = c.header;
    const std::string a = c.args.empty() ? "" : upper(c.args[0]);
    bool b;
    if (headerMatches(h, "OUTPut:DIGital[:STATe]")) {
        if (!parseBool(a, b)) pushError(-224, "Illegal parameter value");
        else outputOn_ = b;
        return true;
    }
    if (headerMatches(h, "[SOURce]:CLOCk")) {
        if (!parseValue(a, clock_) || clock_ <= 0) pushError(-224, "Illegal parameter value");
        return true;
    }
    if (headerMatches(h, "TRIGger[:IMMediate]")) return true;
    if (headerMatches(h, "MEMory:DATA")) {
        if (c.args.size() != 2 || a != "RAM" || c.args[1].empty() || c.args[1][0] != '#')
            return pushError(-224, "Illegal parameter value"), true;
        if (!cfg_.waveformPath.empty() && !writeFileReplacing(cfg_.waveformPath, c.block))
            pushError(-257, "File name error");
        return true;
    }
    return false;
}

}  // namespace kalsim
