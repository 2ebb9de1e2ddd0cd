// kalmira-convert: any readable I/Q file format to any writable one, with the
// Save panel's guard samples and append mode, on top of VmKalLib alone.
#include "convert.h"

#include "VmKalLib.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kconv {

namespace {

// ---------------------------------------------------------------------------
// Progress on a terminal.  The library calls the hook now and then without
// saying how far it is (every 25000 samples, every 256 KB written, every
// 50 ms of text scanned), so the display names the file at once and then
// turns a spinner beside the time spent.

struct Progress {
    FILE *err = nullptr;
    bool tty = false;
    std::string label;
    long long ticks = 0;
    bool shown = false;
    std::chrono::steady_clock::time_point start, last;
};
Progress g_progress;

void ProgressTick()
{
    Progress &p = g_progress;
    ++p.ticks;
    if (!p.tty)
        return;
    auto now = std::chrono::steady_clock::now();
    if (now - p.last < std::chrono::milliseconds(100))
        return;
    static const char spin[] = "|/-\\";
    fprintf(p.err, "\r%s %c %.1f s", p.label.c_str(), spin[p.ticks % 4],
            std::chrono::duration<double>(now - p.start).count());
    fflush(p.err);
    p.shown = true;
    p.last = now;
}

void ProgressStart(FILE *err, const std::string &label)
{
    Progress &p = g_progress;
    p.err = err;
    p.tty = isatty(fileno(err)) != 0;
    p.label = label;
    p.ticks = 0;
    p.shown = false;
    p.start = p.last = std::chrono::steady_clock::now();
    if (p.tty) {
        fprintf(err, "\r%s ...", label.c_str());
        fflush(err);
        p.shown = true;
    }
}

void ProgressEnd()
{
    Progress &p = g_progress;
    if (p.shown)
        fprintf(p.err, "\r\033[K");
    p.shown = false;
}

// Ctrl-C, SIGTERM or SIGHUP at any moment of a conversion ends it without
// output: the signal is noted and the library's abort flag raised.  Every
// loader stops at the flag, also while it copies standard input into memory.
// A writer stops at the flag and leaves the destination as it was, unless the
// first file of a pair has already taken its place: then the second follows,
// and the output is complete.  System calls are not restarted, so a read
// from a silent pipe and a write into a pipe that nobody reads end too.
volatile sig_atomic_t g_signal = 0;

void OnInterrupt(int sig)
{
    g_signal = sig;
    EscFlg = 1;
}

struct SignalGuard {
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction old[3];
    SignalGuard()
    {
        g_signal = 0;
        struct sigaction sa {};
        sa.sa_handler = OnInterrupt;
        sigemptyset(&sa.sa_mask);
        for (int k = 0; k < 3; ++k)
            sigaction(kSignals[k], &sa, &old[k]);
    }
    ~SignalGuard()
    {
        for (int k = 0; k < 3; ++k)
            sigaction(kSignals[k], &old[k], nullptr);
    }
};

// The exit status after a signal, as a shell reports a process it ended.
int Interrupted(FILE *err)
{
    ProgressEnd();
    fprintf(err, "kalmira-convert: interrupted\n");
    return 128 + g_signal;
}

// ---------------------------------------------------------------------------
// Records.

struct Rec {
    IqRec r{};
    Rec() = default;
    Rec(const Rec &) = delete;
    Rec &operator=(const Rec &) = delete;
    ~Rec() { FreeIqRec(&r); }
};

// "-" names standard input or output; the library writes and reads it
// through the descriptor's own name.
bool SetPaths(IqRec &r, const std::vector<std::string> &paths, bool input)
{
    for (const std::string &p : paths)
        if (p.size() >= IQ_PATH_LEN)
            return false;
    std::string names[2];
    for (size_t k = 0; k < 2 && k < paths.size(); ++k)
        names[k] = paths[k] != "-" ? paths[k] : input ? "/dev/stdin" : "/dev/stdout";
    snprintf(r.INam, IQ_PATH_LEN, "%s", names[0].c_str());
    snprintf(r.QNam, IQ_PATH_LEN, "%s", names[1].c_str());
    return true;
}

std::string Join(const std::vector<std::string> &paths, bool input = true)
{
    std::string s;
    for (const std::string &p : paths)
        s += (s.empty() ? "" : ", ") + (p != "-" ? p : input ? "standard input" : "standard output");
    return s;
}

// The file a load status is about: the second file for the codes that name
// it, the first for those that name it, and both where either may be meant.
std::string FileOfStatus(int st, const std::vector<std::string> &paths)
{
    if (paths.size() < 2 || st == IQ_ERR_OPEN1)
        return Join({paths[0]});
    if (st == IQ_ERR_OPEN2 || st == IQ_ERR_MAT_Q)
        return Join({paths[1]});
    return Join(paths);
}

// A recording of one name given whose reader opens a file of another name
// (SigMF's metadata and dataset) names the file that failed in QNam: the
// message names that file rather than the one given.
bool OpenedByName(int st, const std::vector<std::string> &paths, const IqRec &r)
{
    return (st == IQ_ERR_OPEN1 || st == IQ_ERR_OPEN2) && paths.size() == 1 && r.QNam[0] != '\0';
}

int Fail(FILE *err, const std::string &file, const std::string &cause)
{
    ProgressEnd();
    fprintf(err, "kalmira-convert: %s: %s\n", file.c_str(), cause.c_str());
    return 1;
}

bool KnownRate(float r)
{
    return std::isfinite(r) && r > 0;
}

// Why a file could not be read: the status text, and for the statuses of a
// file that did not open or read, the system's reason.  A reader that must
// go back in its file says so when it was given a pipe.
std::string LoadCause(int st, int why, int typ)
{
    std::string cause = IqStatusText(st);
    if (st != IQ_ERR_OPEN1 && st != IQ_ERR_OPEN2)
        return cause;
    if (why == ESPIPE)
        return std::string(IqFormatAt(typ)->name) + " files are read more than once: give a file, not a pipe";
    if (why == EFBIG)
        return std::string("the input brings more than any ") + IqFormatAt(typ)->name +
               " file holds, or than this machine can keep in memory";
    return why != 0 ? cause + " (" + strerror(why) + ")" : cause;
}

// Loads paths with the reader of typ into rec; on failure prints the error.
int Load(IqLoader load, int typ, const std::vector<std::string> &paths, Rec &rec, FILE *err,
         const char *verb)
{
    if (!SetPaths(rec.r, paths, true))
        return Fail(err, Join(paths), "path too long");
    rec.r.Typ = typ;
    rec.r.Rat = NAN; // readers that find no rate leave it as it is
    ProgressStart(err, std::string(verb) + " " + Join(paths));
    EscFlg = 0;
    errno = 0;
    int st = load(&rec.r);
    int why = errno;
    ProgressEnd();
    if (g_signal)
        return Interrupted(err);
    if (st != 0 && OpenedByName(st, paths, rec.r))
        return Fail(err, rec.r.QNam, LoadCause(IQ_ERR_OPEN1, why, typ));
    if (st != 0)
        return Fail(err, FileOfStatus(st, paths), LoadCause(st, why, typ));
    return 0;
}

// Destination layout of the Save panel: the existing file's samples (append),
// then the guard block (a copy of the last `guard` input samples), then the
// whole input.
bool Build(const IqRec &old, const IqRec &in, int guard, IqRec &dst)
{
    long long n = (long long)old.Len + guard + in.Len;
    if (n > INT_MAX)
        return false;
    size_t cnt = n > 0 ? size_t(n) : 1;
    dst.I = static_cast<float *>(calloc(cnt, sizeof(float)));
    dst.Q = static_cast<float *>(calloc(cnt, sizeof(float)));
    if (!dst.I || !dst.Q)
        return false;
    dst.Len = int(n);
    const float *src[2][2] = {{old.I, in.I}, {old.Q, in.Q}};
    float *out[2] = {dst.I, dst.Q};
    for (int c = 0; c < 2; ++c) {
        float *p = out[c];
        if (old.Len > 0)
            p = std::copy(src[c][0], src[c][0] + old.Len, p);
        p = std::copy(src[c][1] + in.Len - guard, src[c][1] + in.Len, p);
        if (in.Len > 0)
            std::copy(src[c][1], src[c][1] + in.Len, p);
    }
    return true;
}

int Convert(const Options &opt, FILE *err)
{
    const IqFormat *from = IqFormatAt(opt.from), *to = IqFormatAt(opt.to);
    bool rateLater = opt.rate || ReaderGivesRate(opt.from) || opt.append;
    if (WriterStoresRate(opt.to) && !rateLater)
        return Fail(err, Join({opt.outputs[0]}, false),
                    std::string(to->name) + " files store a sample rate and " + from->name +
                        " files carry none: give --rate HZ");
    Rec in, old;
    if (int rc = Load(from->load, opt.from, opt.inputs, in, err, "reading"))
        return rc;
    if (opt.guard > in.r.Len)
        return Fail(err, Join(opt.inputs),
                    "--guard " + std::to_string(opt.guard) + " is more than the " +
                        std::to_string(in.r.Len) + " samples read");
    if (opt.append)
        if (int rc = Load(to->load, opt.to, opt.outputs, old, err, "reading"))
            return rc;
    float rate = opt.rate ? float(*opt.rate)
                 : KnownRate(in.r.Rat) ? in.r.Rat
                 : opt.append && KnownRate(old.r.Rat) ? old.r.Rat
                                                      : NAN;
    if (WriterStoresRate(opt.to) && !KnownRate(rate))
        return Fail(err, Join(opt.outputs, false),
                    std::string(to->name) + " files store a sample rate and none is known: give --rate HZ");
    Rec dst;
    SetPaths(dst.r, opt.outputs, false);
    dst.r.Typ = opt.to;
    dst.r.Rat = KnownRate(rate) ? rate : 0.0f;
    if (!Build(old.r, in.r, int(opt.guard), dst.r))
        return Fail(err, Join(opt.outputs, false), "too many samples for one record");
    FreeIqRec(&in.r);
    FreeIqRec(&old.r);
    ProgressStart(err, "writing " + Join(opt.outputs, false));
    if (g_signal)
        return Interrupted(err);
    errno = 0;
    int wr = to->save(dst.r);
    int why = errno;
    // A signal after the new file took its place found the work done.
    if (wr != 0 && g_signal)
        return Interrupted(err);
    if (wr != 0) {
        std::string cause = "cannot be written";
        if (why != 0)
            cause += std::string(" (") + strerror(why) + ")";
        // Of a pair, the file that failed.
        const int file = IqSaveFailedFile();
        const bool one = file >= 1 && size_t(file) <= opt.outputs.size();
        return Fail(err, one ? Join({opt.outputs[size_t(file - 1)]}, false) : Join(opt.outputs, false), cause);
    }
    ProgressEnd();
    return 0;
}

void MinMax(const float *v, int n, float &lo, float &hi)
{
    lo = hi = n > 0 ? v[0] : 0.0f;
    for (int k = 1; k < n; ++k) {
        lo = std::min(lo, v[k]);
        hi = std::max(hi, v[k]);
    }
}

int Info(const Options &opt, FILE *out, FILE *err)
{
    const IqFormat *from = IqFormatAt(opt.from);
    Rec in;
    if (int rc = Load(from->load, opt.from, opt.inputs, in, err, "reading"))
        return rc;
    const IqRec &r = in.r;
    static const char *const how[] = {"given", "from its content", "from its name", "from its content and name"};
    fprintf(out, "format   %s, %s\n", from->name, how[opt.fromHow]);
    fprintf(out, "samples  %d\n", r.Len);
    if (KnownRate(r.Rat))
        fprintf(out, "rate     %.10g Hz\n", double(r.Rat));
    else
        fprintf(out, "rate     unknown\n");
    float lo, hi;
    const char *names[] = {"I", "Q"};
    const float *data[] = {r.I, r.Q};
    for (int c = 0; c < 2; ++c) {
        if (r.Len == 0) {
            fprintf(out, "%s        no samples\n", names[c]);
            continue;
        }
        MinMax(data[c], r.Len, lo, hi);
        fprintf(out, "%s min    %.9g\n%s max    %.9g\n", names[c], double(lo), names[c],
                double(hi));
    }
    return 0;
}

void List(FILE *out)
{
    fprintf(out, "%-5s %-15s %-40s %-5s %s\n", "index", "name", "label", "files", "write");
    for (int k = 0; k < IQ_NFMT; ++k) {
        const IqFormat *f = IqFormatAt(k);
        fprintf(out, "%-5d %-15s %-40s %-5d %s\n", k, f->name, f->label, f->files,
                f->save ? "yes" : "no");
    }
}

bool ParseNumber(const char *s, double &v)
{
    char *end = nullptr;
    errno = 0;
    v = strtod(s, &end);
    return *s && end && *end == '\0' && errno == 0 && std::isfinite(v);
}

bool ParseCount(const char *s, long long &v)
{
    const char *e = s + strlen(s);
    auto [p, ec] = std::from_chars(s, e, v);
    return *s && ec == std::errc() && p == e && v >= 0;
}

// The option value after argv[k], or null at the end of the line.
const char *Value(int argc, const char *const argv[], int &k)
{
    return k + 1 < argc ? argv[++k] : nullptr;
}

bool ParseOption(const std::string &a, int argc, const char *const argv[], int &k, Options &opt,
                 std::string &err)
{
    if (a == "--list" || a == "--info" || a == "--help" || a == "-h") {
        opt.mode = a == "--list" ? Mode::List : a == "--info" ? Mode::Info : Mode::Help;
        return true;
    }
    if (a == "--append") {
        opt.append = true;
        return true;
    }
    const char *v = nullptr;
    if (a == "--from" || a == "--to" || a == "--rate" || a == "--guard") {
        v = Value(argc, argv, k);
        if (!v) {
            err = a + " needs a value";
            return false;
        }
    }
    if (a == "--from" || a == "--to") {
        int typ = ParseFormat(v);
        if (typ < 0) {
            err = std::string("unknown format '") + v + "' (see --list)";
            return false;
        }
        (a == "--from" ? opt.from : opt.to) = typ;
        return true;
    }
    if (a == "--rate") {
        double r;
        if (!ParseNumber(v, r) || r <= 0 || r > 3.4e38) {
            err = std::string("--rate needs a positive number of Hz, not '") + v + "'";
            return false;
        }
        opt.rate = r;
        return true;
    }
    if (a == "--guard") {
        if (!ParseCount(v, opt.guard) || opt.guard > INT_MAX) {
            err = std::string("--guard needs a sample count, not '") + v + "'";
            return false;
        }
        return true;
    }
    err = "unknown option " + a;
    return false;
}

// "-" stands for standard input (among the inputs) or output (among the
// outputs), at most once on each side; standard output cannot be read back
// for --append.
bool CheckDashes(const Options &opt, std::string &err)
{
    auto dashes = [](const std::vector<std::string> &v) { return std::count(v.begin(), v.end(), "-"); };
    if (dashes(opt.inputs) > 1 || dashes(opt.outputs) > 1) {
        err = "'-' can stand for only one file on each side";
        return false;
    }
    if (opt.append && dashes(opt.outputs) > 0) {
        err = "--append cannot read standard output back";
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Formats found from the files.

// What detection made of one path: the candidate formats, and why the file
// could not be read where it could not (its name was then all there was).
struct Guess {
    int n = 0;
    int found[IQ_NFMT] = {};
    int how = IQ_FOUND_NONE;
    int err = 0;
};

// Standard input cannot be looked at without taking what it delivers.  A
// file that cannot be read is judged by its name: its loader then says why
// it cannot be read, as it does when the format is given.
Guess Detect(const std::string &path, int flags)
{
    Guess g;
    if (path == "-")
        return g;
    errno = 0;
    g.n = IqDetectFormat(path.c_str(), flags, g.found, IQ_NFMT, &g.how);
    if (g.n < 0) {
        g.err = errno;
        g.n = IqDetectFormat(path.c_str(), flags | IQ_DETECT_NAME_ONLY, g.found, IQ_NFMT, &g.how);
    }
    return g;
}

int FileFlag(size_t files)
{
    return files == 1 ? IQ_DETECT_ONE_FILE : IQ_DETECT_TWO_FILES;
}

// One way to split the paths: nIn inputs, the rest outputs, and the formats
// each side may be in (a side whose format was given is not looked at).
struct Split {
    size_t nIn = 0, nOut = 0;
    Guess in, out;
};

Split Guesses(const std::vector<std::string> &paths, const Options &opt, size_t nIn)
{
    Split s;
    s.nIn = nIn;
    s.nOut = paths.size() - nIn;
    if (opt.from < 0)
        s.in = Detect(paths[0], FileFlag(nIn));
    if (opt.to < 0 && s.nOut > 0)
        s.out = Detect(paths[nIn], FileFlag(s.nOut) | IQ_DETECT_WRITABLE | IQ_DETECT_NAME_ONLY);
    return s;
}

bool Fits(const Split &s, const Options &opt)
{
    auto files = [](int typ) { return size_t(IqFormatAt(typ)->files); };
    if (s.nOut < 1 || s.nOut > 2 || (opt.from >= 0 && files(opt.from) != s.nIn) ||
        (opt.to >= 0 && files(opt.to) != s.nOut))
        return false;
    return (opt.from >= 0 || s.in.n == 1) && (opt.to >= 0 || s.out.n == 1);
}

std::string NameList(const Guess &g)
{
    std::string list;
    for (int k = 0; k < g.n; ++k)
        list += std::string(k == 0 ? "" : k + 1 == g.n ? " or " : ", ") + IqFormatAt(g.found[k])->name;
    return list;
}

// An input that fits no format of the number of files given, but one of
// the other number: a LeCroy or AWG trace given alone (those come as an I
// and a Q file), or a one-file format given with a second file.  "" when
// no format of either number fits.
std::string OtherFileCount(const std::string &path)
{
    Guess any = Detect(path, 0);
    if (any.n == 0)
        return "";
    const bool pairs = IqFormatAt(any.found[0])->files == 2;
    return std::string(any.how != IQ_FOUND_BY_NAME ? "its content" : "its name") + " says " + NameList(any) +
           (pairs ? ", whose traces come as two files (I and Q): give both" : ", which holds I and Q in one file: give one");
}

// Why a side's format is not known, or "" when it is.
std::string Unclear(const Guess &g, const std::string &path, bool input)
{
    const char *option = input ? "--from" : "--to";
    std::string name = Join({path}, input);
    if (g.n == 0 && input && g.err != 0)
        return name + ": cannot be read (" + strerror(g.err) + ") and its name does not tell the format: give --from FORMAT";
    if (g.n == 0 && input && path != "-")
        if (std::string other = OtherFileCount(path); !other.empty())
            return name + ": " + other;
    if (g.n == 0 && input)
        return name + ": neither its content nor its name tells the format: give --from FORMAT";
    if (g.n == 0)
        return name + ": no writable format of this many files uses this name: give --to FORMAT";
    if (g.n == 1)
        return "";
    return name + " could be " + NameList(g) + ": give " + option + " FORMAT";
}

// How far a split came: one point for each side with a format or candidates.
int Reach(const Split &s, const Options &opt)
{
    return (opt.from >= 0 || s.in.n > 0) + (opt.to >= 0 || s.out.n > 0);
}

// A format the files do not tell: the message, not the usage, is what the
// user needs.
bool Untold(Options &opt)
{
    opt.unclear = true;
    return false;
}

// The split of the paths into inputs and outputs: by the formats given,
// else by the one way in which every format can be told.  When there is
// none, the reason comes from the split that came furthest.
bool ChooseSplit(const std::vector<std::string> &paths, Options &opt, Split &chosen, std::string &err)
{
    std::vector<Split> fit;
    Split best;
    bool tried = false;
    for (size_t nIn = 1; nIn <= 2 && nIn < paths.size(); ++nIn) {
        if (opt.from >= 0 && size_t(IqFormatAt(opt.from)->files) != nIn)
            continue;
        Split s = Guesses(paths, opt, nIn);
        if (Fits(s, opt))
            fit.push_back(s);
        if (s.nOut >= 1 && s.nOut <= 2 && (opt.to < 0 || size_t(IqFormatAt(opt.to)->files) == s.nOut) &&
            (!tried || Reach(s, opt) > Reach(best, opt))) {
            best = s;
            tried = true;
        }
    }
    if (fit.size() == 1) {
        chosen = fit[0];
        return true;
    }
    if (fit.size() > 1) {
        err = "the files can be read in more than one way: give --from or --to";
        return Untold(opt);
    }
    if (!tried) {
        err = "this conversion takes 1 or 2 input and 1 or 2 output files";
        return false;
    }
    err = opt.from < 0 ? Unclear(best.in, paths[0], true) : "";
    if (err.empty())
        err = Unclear(best.out, paths[best.nIn], false);
    return Untold(opt);
}

// --info: one input, or the two of a two-file format.
bool AssignInfoPaths(const std::vector<std::string> &paths, Options &opt, std::string &err)
{
    size_t nIn = opt.from >= 0 ? size_t(IqFormatAt(opt.from)->files) : paths.size();
    if (paths.size() != nIn || nIn < 1 || nIn > 2) {
        err = "--info with this format takes " + std::to_string(opt.from >= 0 ? nIn : 1) + " input file(s)";
        return false;
    }
    if (opt.from < 0) {
        Guess g = Detect(paths[0], FileFlag(nIn));
        if (err = Unclear(g, paths[0], true); !err.empty())
            return Untold(opt);
        opt.from = g.found[0];
        opt.fromHow = g.how;
    }
    opt.inputs = paths;
    return CheckDashes(opt, err);
}

// What the formats given on the command line demand of the paths.
bool FitsGivenFormats(const std::vector<std::string> &paths, const Options &opt, std::string &err)
{
    if (opt.to >= 0 && !IqFormatAt(opt.to)->save) {
        err = std::string("format ") + IqFormatAt(opt.to)->name + " can only be read";
        return false;
    }
    if (opt.from < 0 || opt.to < 0)
        return true;
    size_t nIn = size_t(IqFormatAt(opt.from)->files), nOut = size_t(IqFormatAt(opt.to)->files);
    if (paths.size() != nIn + nOut) {
        err = "this conversion takes " + std::to_string(nIn) + " input and " + std::to_string(nOut) +
              " output file(s)";
        return false;
    }
    return true;
}

// Splits the positional paths into inputs and outputs by the file counts of
// the two formats, finding the formats not given from the files.
bool AssignPaths(const std::vector<std::string> &paths, Options &opt, std::string &err)
{
    if (opt.mode == Mode::Info)
        return AssignInfoPaths(paths, opt, err);
    Split s;
    if (!FitsGivenFormats(paths, opt, err) || !ChooseSplit(paths, opt, s, err))
        return false;
    if (opt.from < 0) {
        opt.from = s.in.found[0];
        opt.fromHow = s.in.how;
    }
    if (opt.to < 0) {
        opt.to = s.out.found[0];
        opt.toHow = s.out.how;
    }
    opt.inputs.assign(paths.begin(), paths.begin() + long(s.nIn));
    opt.outputs.assign(paths.begin() + long(s.nIn), paths.end());
    return CheckDashes(opt, err);
}

} // namespace

int ParseFormat(const std::string &text)
{
    int v = -1;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (!text.empty() && ec == std::errc() && p == text.data() + text.size())
        return IqFormatAt(v) ? v : -1;
    for (int k = 0; k < IQ_NFMT; ++k)
        if (text == IqFormatAt(k)->name)
            return k;
    return -1;
}

bool ReaderGivesRate(int typ)
{
    // Tessera, SPW/ADS ASCII, SPW binary and SigMF files carry the rate and
    // their readers return it; WAV files carry one too, but their reader
    // leaves it.
    return typ == 0 || (typ >= 11 && typ <= 15) || typ == 24;
}

bool WriterStoresRate(int typ)
{
    // The above, and DaDisp (record length in seconds) and WAV (header rate).
    return ReaderGivesRate(typ) || typ == 7 || typ == 8 || typ == 16;
}

bool ParseArgs(int argc, const char *const argv[], Options &opt, std::string &err)
{
    opt = Options{};
    std::vector<std::string> paths;
    bool onlyPaths = false;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        if (onlyPaths || a.size() < 2 || a[0] != '-') {
            paths.push_back(a);
        } else if (a == "--") {
            onlyPaths = true;
        } else if (!ParseOption(a, argc, argv, k, opt, err)) {
            return false;
        }
    }
    if (opt.mode == Mode::List || opt.mode == Mode::Help)
        return true;
    if (opt.mode == Mode::Info && (opt.append || opt.guard || opt.rate)) {
        err = "--info takes no --append, --guard or --rate";
        return false;
    }
    return AssignPaths(paths, opt, err);
}

int Run(const Options &opt, FILE *out, FILE *err)
{
    switch (opt.mode) {
    case Mode::Help:
        fputs(Usage(), out);
        return 0;
    case Mode::List:
        List(out);
        return 0;
    case Mode::Info:
    case Mode::Convert:
        break;
    }
    IqSetEventHook(ProgressTick);
    int rc;
    {
        SignalGuard guard;
        rc = opt.mode == Mode::Info ? Info(opt, out, err) : Convert(opt, err);
    }
    IqSetEventHook(nullptr);
    return rc;
}

const char *Usage()
{
    return "usage: kalmira-convert [--from F] [--to T] [--rate HZ] [--guard N] [--append]\n"
           "                       INPUT [INPUT_Q] OUTPUT [OUTPUT_Q]\n"
           "       kalmira-convert --info [--from F] INPUT [INPUT_Q]\n"
           "       kalmira-convert --list\n"
           "\n"
           "F and T are format indices or names (see --list).  Without --from the\n"
           "input's format is found from its content, else from its name's ending;\n"
           "without --to the output's from its name's ending.  Where several formats\n"
           "fit, the tool names them and asks for --from or --to.  Two-file formats\n"
           "take the I file and then the Q file; a SigMF recording is named by either\n"
           "of its files.  '-' reads standard input or writes standard output (give\n"
           "the format then); formats whose reader goes back in its file need a file.\n"
           "Ctrl-C ends a conversion without output; an existing output stays as it was.\n"
           "  --rate HZ   sample rate to write (default: the input's, where its format\n"
           "              stores one)\n"
           "  --guard N   put a copy of the last N input samples before the input\n"
           "  --append    read the existing output first and write its samples, the\n"
           "              guard samples and the input samples, in that order\n";
}

} // namespace kconv
