// One simulated instrument: an analyzer of one of the five models or the
// Topaz generator.  It takes the bytes of program messages (from a raw
// socket or from the GPIB gateway), logs every message, acts on the SCPI
// commands and queues the replies.
#pragma once

#include "signal.h"
#include "stream.h"

#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kalsim {

enum class Model { Agate, Beryl, Coral, Jasper, Onyx, Topaz };

enum class Fault { None, Stall, Mute, Drop, Short, BadHeader, OddCount, HugeCount, Error };

// What the command line says about one instrument.
struct InstrumentConfig {
    Model model = Model::Beryl;
    bool optionsGiven = false;
    std::string options;       // the "*OPT?" reply, comma-separated
    int mode = 1;              // INST:NSEL
    double rlev = -10.0;       // dBm
    double freq = 1.0e9;       // Hz
    double att = 10.0;         // dB
    std::string idn;           // empty: a default per model
    std::string logPath;       // one line per program message
    bool logBus = false;       // also GTL, LLO and device clear
    std::string waveformPath;  // where the generator keeps a received waveform
    Fault fault = Fault::None;
    int faultAt = 1;           // which data query is damaged; 0 = every one
    double rate = 0;           // bytes per second of an I/Q block; 0 = no limit
    double triggerDelay = 0;   // seconds from the data query to its block
    int64_t round = 1;         // record lengths are rounded up to a multiple of this
};

bool parseModel(const std::string &name, Model &out);
const char *modelName(Model m);
bool parseFault(const std::string &text, Fault &kind, int &at);

// The analyzer settings that "MMEM:STOR:STAT" keeps and "*RST" restores.
struct Settings {
    double rlev, freq, att;
    int mode;
    double rate = 32.0e6, rbw = 10.0e6;
    int64_t count = 65536;
    std::string trig = "IMM", slope = "POS";
    int64_t pretrig = 0;
    bool iqOn = false, initCont = true;
    std::string inputSel = "RF";
};

class LogFile;

class Instrument {
public:
    explicit Instrument(const InstrumentConfig &cfg);

    // Bytes of program messages; end marks the end of a message (EOI on GPIB).
    void feed(const char *data, size_t len, bool end);
    // Replies queued since the last call, one stream per response message.
    bool hasOutput() const { return !output_.empty(); }
    // When the next reply starts (an I/Q block waits for its trigger).
    Clock::time_point replyReadyAt() const;
    std::unique_ptr<Stream> takeReply();
    // Selected Device Clear: forget pending input and output.
    void deviceClear();
    void busEvent(const char *what);

    Model model() const { return cfg_.model; }

private:
    struct Command {
        std::string header;              // upper case, without a leading ':'
        std::vector<std::string> args;   // split at commas outside quotes and blocks
        std::string block;               // the arbitrary block of the command, if any
        bool query = false;
    };

    void scan(const char *data, size_t len);
    void append(const char *data, size_t len);
    void endMessage();
    void handleMessage(const std::string &msg);
    std::vector<Command> splitCommands(const std::string &msg, std::string &logText);
    void execute(const Command &c, std::vector<std::string> &texts, std::unique_ptr<Stream> &block);
    bool analyzerCommand(const Command &c, std::vector<std::string> &texts, std::unique_ptr<Stream> &block);
    bool setupCommand(const Command &c, std::vector<std::string> &texts);
    bool generatorCommand(const Command &c);
    void setIq(const Command &c);
    void dataQuery(std::vector<std::string> &texts, std::unique_ptr<Stream> &block);
    void pushError(int code, const char *text);
    double fullScale() const;
    int64_t maxCount() const;
    double maxRate() const;

    InstrumentConfig cfg_;
    Settings power_;  // as the command line set it up
    Settings cur_;
    std::map<std::string, Settings> stored_;
    std::deque<std::string> errors_;
    std::deque<std::unique_ptr<Stream>> output_;
    std::shared_ptr<const PreparedSignal> signal_;  // of the last data query's full scale
    std::shared_ptr<LogFile> log_;
    int dataQueries_ = 0;
    int sre_ = 0, ese_ = 0, esr_ = 0;
    double clock_ = 0.0;
    bool outputOn_ = false;

    // Input scanning: the message so far, and where a block inside it ends.
    std::string msg_;
    bool overflow_ = false;
    enum class Scan { Text, Quote, Hash, Digits, Block } state_ = Scan::Text;
    char quote_ = 0;
    int digitsLeft_ = 0;
    int64_t blockLeft_ = 0;
    std::string lenText_;
};

}  // namespace kalsim
