// SigMF recordings (format index 24): the metadata in NAME.sigmf-meta (JSON)
// and the samples in NAME.sigmf-data beside it.  What SaveSigMF writes:
//
//   { "global":   { "core:datatype": "cf32_le", "core:sample_rate": 1000000.0,
//                   "core:version": "1.0.0", "core:recorder": "Kalmira v4.37" },
//     "captures": [ { "core:sample_start": 0, "core:datetime": "2025-01-31T12:00:00Z",
//                     "core:frequency": 2400000000.0 } ],
//     "annotations": [] }
//
// The dataset holds the samples back to back, I then Q, in the datatype's
// encoding; a capture marks where a run of samples taken with the same
// settings begins (core:sample_start counts samples, not bytes).  A dataset
// written by other tools may carry core:header_bytes of foreign bytes before
// a capture's first sample and core:trailing_bytes after the last one.
//
// The metadata is read by a SAX parser that keeps only the fields used here:
// metadata of any shape costs no more memory than its list of capture starts
// (never more than its own size), and its size and nesting are bounded.  No
// count in it is trusted before it has been checked against the dataset.
#include "samples.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <ctime>

using namespace iqs;

namespace {

using Json = nlohmann::json;

constexpr const char kMeta[] = ".sigmf-meta";
constexpr const char kData[] = ".sigmf-data";
constexpr size_t kEnding = sizeof kMeta - 1; // both endings are this long
constexpr size_t kMaxMeta = size_t(16) << 20;
constexpr size_t kMaxDepth = 64;

// ---------------------------------------------------------------- names

struct Pair {
    std::string meta, data;
};

// The ending of path (".sigmf-meta" or ".sigmf-data", in any case), or
// nullptr.
const char *EndingOf(const std::string &path)
{
    if (path.size() < kEnding)
        return nullptr;
    const char *tail = path.c_str() + path.size() - kEnding;
    for (const char *e : {kMeta, kData})
        if (strncasecmp(tail, e, kEnding) == 0)
            return e;
    return nullptr;
}

bool HasEnding(const std::string &path)
{
    return EndingOf(path) != nullptr;
}

// The two files of the recording that path names: path is either of them or
// the recording's name without an ending.  The file named is taken as
// given; recordings copied from systems that write names in capitals keep
// them, so the other file's ending takes the case of the one given.
Pair PairOf(std::string path)
{
    const char *ending = EndingOf(path);
    if (!ending)
        return {path + kMeta, path + kData};
    const std::string given = path.substr(path.size() - kEnding);
    std::string other = ending == kMeta ? kData : kMeta;
    if (std::none_of(given.begin(), given.end(), [](char c) { return std::islower((unsigned char)c); }))
        std::transform(other.begin(), other.end(), other.begin(), [](char c) { return char(std::toupper(c)); });
    std::string partner = path.substr(0, path.size() - kEnding) + other;
    return ending == kMeta ? Pair{path, partner} : Pair{partner, path};
}

bool IsRegular(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A name without an ending gets both endings; one that names something
// other than a regular file cannot: a pipe or a device is one stream, not
// two files beside each other.  0 or an errno value.
int SaveName(const char *path)
{
    struct stat st;
    if (!*path)
        return ENOENT;
    if (HasEnding(path) || ::stat(path, &st) != 0 || S_ISREG(st.st_mode))
        return 0;
    return S_ISDIR(st.st_mode) ? EISDIR : ESPIPE;
}

// ---------------------------------------------------------------- metadata

struct Capture {
    uint64_t start = 0;  // core:sample_start
    uint64_t header = 0; // core:header_bytes
};

struct Meta {
    bool global = false; // a "global" object was found
    std::string datatype;
    double rate = 0; // 0: not given
    uint64_t trailing = 0;
    uint64_t offset = 0; // core:offset: the stream's index of the dataset's first sample
    uint64_t channels = 1;
    bool metadataOnly = false;
    std::string dataset;
    std::vector<Capture> captures;
};

// One scalar of the JSON text, as far as the fields read here need it.
struct Scalar {
    enum Type { Other, Bool, Count, Number, Text } type = Other;
    bool flag = false;
    uint64_t count = 0; // a whole number that is not negative
    double number = 0;  // any number
    const std::string *text = nullptr;
};

// Collects the fields of Meta while the parser walks the text.  Returning
// false stops the parser: at metadata that cannot be SigMF (a wrong type
// for a field read here, a capture without its start, nesting too deep).
class MetaReader : public nlohmann::json_sax<Json> {
public:
    explicit MetaReader(Meta &m) : m_(m) {}

    bool null() override { return value({}); }
    bool boolean(bool v) override { return value({Scalar::Bool, v}); }
    bool number_integer(number_integer_t v) override
    {
        Scalar s{Scalar::Number};
        s.number = double(v);
        if (v >= 0) {
            s.type = Scalar::Count;
            s.count = uint64_t(v);
        }
        return value(s);
    }
    bool number_unsigned(number_unsigned_t v) override
    {
        Scalar s{Scalar::Count};
        s.count = v;
        s.number = double(v);
        return value(s);
    }
    bool number_float(number_float_t v, const string_t &) override
    {
        Scalar s{Scalar::Number};
        s.number = v;
        return value(s);
    }
    bool string(string_t &v) override
    {
        Scalar s{Scalar::Text};
        s.text = &v;
        return value(s);
    }
    bool binary(binary_t &) override { return value({}); }
    bool start_object(std::size_t) override { return open(true); }
    bool key(string_t &k) override
    {
        key_ = k;
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(false); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string &, const nlohmann::detail::exception &) override
    {
        return false;
    }

private:
    enum Kind { Top, Global, Captures, OneCapture, Other };

    bool open(bool object)
    {
        if (stack_.size() >= kMaxDepth || (stack_.empty() && !object))
            return false;
        Kind parent = stack_.empty() ? Other : stack_.back(), kind = Other;
        if (stack_.empty()) {
            kind = Top;
        } else if (parent == Top && (key_ == "global" || key_ == "captures")) {
            // A "global" that is no object or "captures" that are no list is not SigMF.
            if (object != (key_ == "global"))
                return false;
            kind = object ? Global : Captures;
            m_.global = m_.global || object;
        } else if (parent == Captures) {
            if (!object)
                return false;
            kind = OneCapture;
            m_.captures.push_back({});
            hasStart_ = false;
        }
        stack_.push_back(kind);
        return true;
    }

    bool close()
    {
        Kind kind = stack_.back();
        stack_.pop_back();
        return kind != OneCapture || hasStart_;
    }

    bool value(const Scalar &v)
    {
        if (stack_.empty())
            return false;
        switch (stack_.back()) {
        case Global: return global(v);
        case OneCapture: return capture(v);
        case Captures: return false; // a capture must be an object
        default: return true;
        }
    }

    bool global(const Scalar &v)
    {
        if (key_ == "core:datatype")
            return v.type == Scalar::Text && (m_.datatype = *v.text, true);
        if (key_ == "core:sample_rate") {
            if (v.type != Scalar::Count && v.type != Scalar::Number)
                return false;
            m_.rate = std::isfinite(v.number) && v.number > 0 && v.number <= FLT_MAX ? v.number : 0;
            return true;
        }
        if (key_ == "core:trailing_bytes")
            return v.type == Scalar::Count && (m_.trailing = v.count, true);
        if (key_ == "core:offset")
            return v.type == Scalar::Count && (m_.offset = v.count, true);
        if (key_ == "core:num_channels")
            return v.type == Scalar::Count && (m_.channels = v.count, true);
        if (key_ == "core:metadata_only")
            return v.type == Scalar::Bool && (m_.metadataOnly = v.flag, true);
        if (key_ == "core:dataset")
            return v.type == Scalar::Text && (m_.dataset = *v.text, true);
        return true;
    }

    bool capture(const Scalar &v)
    {
        Capture &c = m_.captures.back();
        if (key_ == "core:sample_start") {
            hasStart_ = v.type == Scalar::Count;
            return hasStart_ && (c.start = v.count, true);
        }
        if (key_ == "core:header_bytes")
            return v.type == Scalar::Count && (c.header = v.count, true);
        return true;
    }

    Meta &m_;
    std::vector<Kind> stack_;
    std::string key_;
    bool hasStart_ = false;
};

// The encoding of one component of a complex datatype ("cf32_le" and the
// like); false for a real or unknown type.
bool ComplexEnc(const std::string &type, Enc &e)
{
    static const struct {
        const char *name;
        Enc le, be;
    } kTypes[] = {{"cf64", Enc::F64LE, Enc::F64BE}, {"cf32", Enc::F32LE, Enc::F32BE},
                  {"ci32", Enc::I32LE, Enc::I32BE}, {"cu32", Enc::U32LE, Enc::U32BE},
                  {"ci16", Enc::I16LE, Enc::I16BE}, {"cu16", Enc::U16LE, Enc::U16BE},
                  {"ci8", Enc::I8, Enc::I8},        {"cu8", Enc::U8, Enc::U8}};
    for (const auto &t : kTypes) {
        std::string name = t.name;
        bool byteWide = EncSize(t.le) == 1; // one byte has no byte order to name
        if (type == name + "_le" || (byteWide && type == name))
            e = t.le;
        else if (type == name + "_be")
            e = t.be;
        else
            continue;
        return true;
    }
    return false;
}

// Metadata larger than kMaxMeta is refused as a file too large to read: no
// recording's metadata comes near it, and the size says more than "not
// SigMF" would.
int TooLarge()
{
    errno = EFBIG;
    return IQ_ERR_OPEN1;
}

// The metadata file's text, at most kMaxMeta bytes.
int ReadMetaText(InFile &f, std::string &text)
{
    if (f.regular() && f.size > (long long)kMaxMeta)
        return TooLarge();
    char buf[1 << 16];
    for (size_t got; (got = std::fread(buf, 1, sizeof buf, f.fp)) > 0;) {
        if (text.size() + got > kMaxMeta)
            return TooLarge();
        text.append(buf, got);
    }
    return 0;
}

int ParseMeta(const std::string &text, Meta &m, Enc &e)
{
    MetaReader reader(m);
    bool parsed = false;
    try {
        parsed = Json::sax_parse(text, &reader);
    } catch (...) {
        parsed = false;
    }
    if (!parsed || !m.global || m.datatype.empty())
        return IQ_ERR_FORMAT;
    if (!ComplexEnc(m.datatype, e) || m.channels != 1 || m.metadataOnly)
        return IQ_ERR_DATATYPE;
    return 0;
}

// The dataset file: NAME.sigmf-data, or core:dataset in the metadata
// file's folder (a plain file name, never a way into another folder).
int DataPath(const Meta &m, const Pair &p, std::string &path)
{
    if (m.dataset.empty()) {
        path = p.data;
        return 0;
    }
    if (m.dataset.find('/') != std::string::npos || m.dataset == "." || m.dataset == "..")
        return IQ_ERR_FORMAT;
    size_t slash = p.meta.rfind('/');
    path = (slash == std::string::npos ? "" : p.meta.substr(0, slash + 1)) + m.dataset;
    return 0;
}

// ---------------------------------------------------------------- samples

// A run of samples: count samples from sample index first, stored from byte
// offset on in the dataset.
struct Run {
    long long offset, first, count;
};

// The captures numbered from the dataset's first sample.  A recording cut
// from a longer stream numbers its captures in the stream's samples, its
// first sample being the stream's core:offset; a capture before that sample
// lies outside the dataset, and the numbering cannot be trusted.
int DatasetCaptures(const Meta &m, std::vector<Capture> &caps)
{
    caps = m.captures;
    for (Capture &c : caps) {
        if (c.start < m.offset)
            return IQ_ERR_FORMAT;
        c.start -= m.offset;
    }
    return 0;
}

// Where the samples of every capture lie in a dataset of size bytes, each
// sample taking bytes bytes.  Samples before the first capture belong to the
// recording too.  IQ_ERR_SHORT when the metadata places a capture or its
// header beyond the dataset's end.
int Layout(const Meta &m, long long size, size_t bytes, std::vector<Run> &runs)
{
    using Big = unsigned __int128; // 64-bit counts times 16 bytes cannot overflow
    if (m.trailing > uint64_t(size))
        return IQ_ERR_SHORT;
    const Big end = Big(uint64_t(size) - m.trailing);
    std::vector<Capture> caps;
    if (int st = DatasetCaptures(m, caps))
        return st;
    if (caps.empty() || caps.front().start > 0)
        caps.insert(caps.begin(), Capture{});
    for (size_t k = 1; k < caps.size(); ++k)
        if (caps[k].start < caps[k - 1].start)
            return IQ_ERR_FORMAT;
    Big headers = 0;
    for (size_t k = 0; k < caps.size(); ++k) {
        headers += caps[k].header;
        Big offset = Big(caps[k].start) * bytes + headers;
        if (offset > end)
            return IQ_ERR_SHORT;
        Big count = k + 1 < caps.size() ? Big(caps[k + 1].start - caps[k].start) : (end - offset) / bytes;
        if (offset + count * bytes > end)
            return IQ_ERR_SHORT;
        if (Big(caps[k].start) + count > INT_MAX)
            return IQ_ERR_FORMAT;
        runs.push_back({(long long)offset, (long long)caps[k].start, (long long)count});
    }
    return 0;
}

int ReadSamples(InFile &f, const Meta &m, Enc e, IqRec *rec)
{
    std::vector<Run> runs;
    if (int st = Layout(m, f.size, 2 * EncSize(e), runs))
        return st;
    if (m.rate > 0)
        rec->Rat = float(m.rate);
    if (int st = AllocBulk(rec, int(runs.back().first + runs.back().count)))
        return st;
    for (const Run &r : runs) {
        if (r.count == 0)
            continue;
        if (fseeko(f.fp, r.offset, SEEK_SET) != 0) {
            errno = EIO;
            return IQ_ERR_OPEN2;
        }
        if (int st = ReadPairs(f.fp, size_t(r.count), e, rec->I + r.first, rec->Q + r.first))
            return st;
    }
    return 0;
}

// ---------------------------------------------------------------- writing

std::string UtcNow()
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// The float rate as the double of its shortest decimal form, so that the
// file says 30720000.0 or 1234.5, not the float's binary tail.
double Shortest(float v)
{
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, v).ptr;
    double d = v;
    std::from_chars(text, end, d);
    return d;
}

std::string MetaText(const IqRec &rec)
{
    using Ordered = nlohmann::ordered_json;
    Ordered global = {{"core:datatype", "cf32_le"}};
    if (std::isfinite(rec.Rat) && rec.Rat > 0)
        global["core:sample_rate"] = Shortest(rec.Rat);
    global["core:version"] = "1.0.0";
    global["core:recorder"] = "Kalmira v" VMKAL_VERSION;
    Ordered capture = {{"core:sample_start", 0}, {"core:datetime", UtcNow()}};
    if (double hz = SaveFrequency(); hz > 0)
        capture["core:frequency"] = hz;
    Ordered meta = {{"global", global}, {"captures", Ordered::array({capture})}, {"annotations", Ordered::array()}};
    return meta.dump(4) + "\n";
}

bool PutName(char (&field)[IQ_PATH_LEN], const std::string &name)
{
    if (name.size() >= IQ_PATH_LEN)
        return false;
    std::memcpy(field, name.c_str(), name.size() + 1);
    return true;
}

} // namespace

// A JSON object that speaks of SigMF's "global" fields.
bool SigMFHead(const unsigned char *head, size_t n, long long)
{
    std::string_view text(reinterpret_cast<const char *>(head), n);
    size_t first = text.find_first_not_of(" \t\r\n");
    return first != text.npos && text[first] == '{' && text.find("\"global\"") != text.npos &&
           text.find("\"core:") != text.npos;
}

bool SigMFDataset(const char *path)
{
    const std::string meta = PairOf(path).meta;
    if (EndingOf(path) != kData || !IsRegular(meta))
        return false; // a pipe is not opened: that would wait for its writer
    InFile f(meta.c_str());
    unsigned char head[4096];
    return f.fp && SigMFHead(head, std::fread(head, 1, sizeof head, f.fp), f.size);
}

namespace {

// A file that exists under the name given, without either ending, is not
// the recording's name when NAME.sigmf-meta does not exist beside it: an
// archive, or metadata saved under another name.  Adding the endings would
// only report a missing file the user never named.
bool ForeignFile(const std::string &given, const Pair &p)
{
    return !HasEnding(given) && IsRegular(given) && !IsRegular(p.meta);
}

// A file of the recording that cannot be opened (or is too large to read)
// is named in QNam, so that the caller can say which one it is.
int OpenFailed(IqRec *rec, const std::string &name, int status)
{
    int err = errno;
    if (!PutName(rec->QNam, name))
        rec->QNam[0] = '\0';
    errno = err;
    return EarlyFail(status);
}

} // namespace

extern "C" int LoadSigMF(IqRec *rec)
{
    const Pair p = PairOf(rec->INam);
    if (ForeignFile(rec->INam, p))
        return EarlyFail(IQ_ERR_NAME);
    InFile fm(p.meta.c_str());
    if (int st = fm.ready(Input::Streamed, IQ_ERR_OPEN1))
        return OpenFailed(rec, p.meta, st);
    Meta m;
    Enc e = Enc::F32LE;
    std::string text, dataPath;
    int st = ReadMetaText(fm, text);
    if (st != 0 && !fm.failed())
        return OpenFailed(rec, p.meta, st);
    if (st == 0)
        st = ParseMeta(text, m, e);
    if (st == 0)
        st = DataPath(m, p, dataPath);
    if ((st = ReadStatus(st, fm)) != 0)
        return EndLoad(rec, st);
    InFile fd(dataPath.c_str());
    if (int open = fd.ready(Input::Spooled, IQ_ERR_OPEN2))
        return OpenFailed(rec, dataPath, open);
    return EndLoad(rec, ReadStatus(ReadSamples(fd, m, e, rec), fm, &fd));
}

extern "C" int SaveSigMF(IqRec rec)
{
    if (int err = SaveName(rec.INam))
        return EndSave(-1, err);
    const Pair p = PairOf(rec.INam);
    IqRec files = rec;
    if (!PutName(files.INam, p.data) || !PutName(files.QNam, p.meta))
        return EndSave(-1, ENAMETOOLONG);
    const std::string meta = MetaText(rec);
    return SavePair(
        files, 8LL * rec.Len, (long long)meta.size(),
        [&rec](SafeOut &out) { return WritePairs(out, Enc::F32LE, rec.I, rec.Q, size_t(rec.Len)); },
        [&meta](SafeOut &out) { return out.write(meta.data(), meta.size()); });
}
