#include "shell/config.h"

#include "shell/places.h"

#include "VmFunLib.h"
#include "files/loadpanel.h"
#include "files/savepanel.h"
#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "shell/mainpanel.h"
#include "shell/modes.h"
#include "safewrite.h"
#include "state/globals.h"
#include "userint.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <locale.h>
#include <sstream>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

// Numbers in the file always use the C locale, whatever the desktop's is.
class CLocale {
public:
    CLocale() : c_(newlocale(LC_ALL_MASK, "C", nullptr)), old_(c_ ? uselocale(c_) : nullptr) {}
    ~CLocale()
    {
        if (c_) {
            uselocale(old_);
            freelocale(c_);
        }
    }
    CLocale(const CLocale &) = delete;
    CLocale &operator=(const CLocale &) = delete;

private:
    locale_t c_;
    locale_t old_;
};

std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *fmt, ...)
{
    char buf[2048];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

bool WriteWhole(const std::string &path, const std::string &text)
{
    return WriteFileSafely(path, [&text](std::FILE *fp) {
               return std::fwrite(text.data(), 1, text.size(), fp) == text.size();
           }) == 0;
}

std::string CfgText(const DevRec &dev)
{
    CLocale c;
    std::string text;
    text += Format("%d %d\n", x, y);
    text += Format("%d %d %d %d %d %d\n", dev.Typ, dev.Pad, dev.Ift, win, s.Typ, d.Typ);
    text += Format("%s %s %0.1f %0.1f %s %s %0.3f %d %0.4f\n", CfgEncode(DatTyp, true).c_str(),
                   CfgEncode(FltTyp, true).c_str(), Rbw, SRat, CfgEncode(TrgMod, true).c_str(),
                   CfgEncode(TrgSlp, true).c_str(), TrgOfs, PreTrg, RecLen);
    text += Format("%d %d %d\n", s.Len, TrcFlg, TcpPrt);
    text += Format("%s\n%s\n%s\n%d %d %d %d %d\n", CfgEncode(dev.Ipa, false).c_str(),
                   CfgEncode(SrcDir, false).c_str(), CfgEncode(DstDir, false).c_str(), IqInp, Bal,
                   Imp, Dith, LPas);
    return text;
}

bool ParseInt(const std::string &tok, int &v)
{
    long long n = 0;
    auto [end, ec] = std::from_chars(tok.data(), tok.data() + tok.size(), n);
    if (tok.empty() || ec != std::errc() || end != tok.data() + tok.size() || n < INT32_MIN ||
        n > INT32_MAX)
        return false;
    v = static_cast<int>(n);
    return true;
}

bool ParseFloat(const std::string &tok, float &v)
{
    double n = 0;
    auto [end, ec] = std::from_chars(tok.data(), tok.data() + tok.size(), n);
    if (tok.empty() || ec != std::errc() || end != tok.data() + tok.size() || !std::isfinite(n))
        return false;
    v = static_cast<float>(n);
    return true;
}

// Token- and line-based reading of the file's text.  A field that cannot be
// read leaves its target alone and reading goes on.
class CfgReader {
public:
    explicit CfgReader(std::string text) : t_(std::move(text)) {}

    bool Int(int &v) { return ParseInt(Token(), v); }

    // Skips to just after the end of the current line.
    void EndLine()
    {
        size_t nl = t_.find('\n', p_);
        p_ = nl == std::string::npos ? t_.size() : nl + 1;
    }

    // The next line without its end; false at the end of the text.
    bool Line(std::string &line)
    {
        if (p_ >= t_.size())
            return false;
        size_t nl = t_.find('\n', p_);
        line = t_.substr(p_, nl == std::string::npos ? std::string::npos : nl - p_);
        p_ = nl == std::string::npos ? t_.size() : nl + 1;
        return true;
    }

    // The first blank-delimited word of the next line ("" for an empty line).
    bool LineWord(std::string &word)
    {
        std::string line;
        if (!Line(line))
            return false;
        std::istringstream in(line);
        word.clear();
        in >> word;
        return true;
    }

private:
    std::string Token()
    {
        while (p_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[p_])))
            ++p_;
        size_t b = p_;
        while (p_ < t_.size() && !std::isspace(static_cast<unsigned char>(t_[p_])))
            ++p_;
        return t_.substr(b, p_ - b);
    }

    std::string t_;
    size_t p_ = 0;
};

// The nine fields of line 3.  Earlier versions wrote an empty text as
// nothing between two single blanks, so a split at each single blank gives
// such a field back; a line edited by hand (tabs, several blanks) is taken
// word by word.  Either way nothing is taken from another line.
std::vector<std::string> Line3Fields(const std::string &line)
{
    constexpr size_t kFields = 9;
    std::vector<std::string> exact;
    std::string field;
    std::istringstream at(line);
    while (std::getline(at, field, ' '))
        exact.push_back(field);
    if (!line.empty() && line.back() == ' ')
        exact.emplace_back();
    if (exact.size() == kFields)
        return exact;
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

template <typename T>
void Keep(T &target, T value, bool valid)
{
    if (valid)
        target = value;
}

// A word of line 3; an empty one is an empty text, as it was written.
void ReadText(const std::string &w, char *target, size_t size)
{
    char buf[300];
    CfgDecode(w, buf, sizeof buf);
    if (std::strlen(buf) < size)
        std::snprintf(target, size, "%s", buf);
}

void ReadLine3(CfgReader &in)
{
    std::string line;
    if (!in.Line(line))
        return;
    // Fields the line does not have keep their values.
    std::vector<std::string> f = Line3Fields(line);
    const size_t n = f.size();
    f.resize(9);
    float fv;
    int v;
    if (n > 0) ReadText(f[0], DatTyp, sizeof DatTyp);
    if (n > 1) ReadText(f[1], FltTyp, sizeof FltTyp);
    if (ParseFloat(f[2], fv)) Keep(Rbw, fv, fv >= 0);
    if (ParseFloat(f[3], fv)) Keep(SRat, fv, fv >= 0 && fv <= 2147480000.0f);
    if (n > 4) ReadText(f[4], TrgMod, sizeof TrgMod);
    if (n > 5) ReadText(f[5], TrgSlp, sizeof TrgSlp);
    if (ParseFloat(f[6], fv)) TrgOfs = fv;
    if (ParseInt(f[7], v)) Keep(PreTrg, v, v >= 0);
    if (ParseFloat(f[8], fv)) Keep(RecLen, fv, fv >= 0);
}

void ReadLineText(CfgReader &in, char *target, size_t size)
{
    std::string w;
    if (!in.LineWord(w))
        return;
    char buf[300];
    CfgDecode(w, buf, sizeof buf);
    if (std::strlen(buf) < size)
        std::snprintf(target, size, "%s", buf);
}

void ReadLines1To4(CfgReader &in, DevRec *dev)
{
    int v;
    if (in.Int(v)) x = v;
    if (in.Int(v)) y = v;
    if (in.Int(v)) Keep(dev->Typ, v, v >= DEV_AGATE && v <= DEV_ONYX);
    if (in.Int(v)) Keep(dev->Pad, v, v >= 0 && v <= 31);
    if (in.Int(v)) Keep(dev->Ift, v, v == IFT_GPIB || v == IFT_LAN);
    if (in.Int(v)) Keep(win, v, v >= 0 && v <= 11);
    if (in.Int(v)) Keep(s.Typ, v, v >= 0 && v < IQ_NFMT);
    if (in.Int(v)) Keep(d.Typ, v, CanSave(v));
    in.EndLine();

    ReadLine3(in);

    if (in.Int(v)) Keep(s.Len, v, v >= 0);
    if (in.Int(v)) Keep(TrcFlg, v, v == 0 || v == 1);
    if (in.Int(v)) Keep(TcpPrt, v, v >= 0);
    in.EndLine();
}

void ReadLines5To8(CfgReader &in, DevRec *dev)
{
    ReadLineText(in, dev->Ipa, sizeof dev->Ipa);
    ReadLineText(in, SrcDir, sizeof SrcDir);
    ReadLineText(in, DstDir, sizeof DstDir);
    int *flags[] = {&IqInp, &Bal, &Imp, &Dith, &LPas};
    for (int *fl : flags) {
        int v;
        if (in.Int(v))
            Keep(*fl, v, v == 0 || v == 1);
    }
}

// The Q controls are for the formats of two files only.
void DimSecondFile(int panel, int qButton, int qBox, const IqRec &rec, const FormatTable &tbl)
{
    int single = tbl[rec.Typ].Files != 2;
    SetCtrlAttribute(panel, qButton, ATTR_DIMMED, single);
    SetCtrlAttribute(panel, qBox, ATTR_DIMMED, single);
}

void ShowFilePanel(int panel, int qButton, int qBox, int iBox, IqRec &rec, const FormatTable &tbl)
{
    DimSecondFile(panel, qButton, qBox, rec, tbl);
    rec.INam[0] = '\0';
    rec.QNam[0] = '\0';
    SetCtrlVal(panel, iBox, rec.INam);
    SetCtrlVal(panel, qBox, rec.QNam);
}

// The open session reaches the instrument that model, interface and
// address name; another instrument in the file needs a new device test.
bool SameInstrument(const DevRec &x, const DevRec &y)
{
    return x.Typ == y.Typ && x.Ift == y.Ift &&
           (x.Ift == IFT_LAN ? std::strcmp(x.Ipa, y.Ipa) == 0 : x.Pad == y.Pad);
}

void PushIntoPanels(const DevRec *dev, const FormatTable &tbl)
{
    SetPanelPos(hRun, y, x);
    SetCtrlVal(hTrc, TR_TYP, dev->Typ);
    SetCtrlVal(hTrc, TR_PAD, dev->Pad);
    SetCtrlVal(hTrc, TR_IFT, dev->Ift);
    SetCtrlVal(hTrc, TR_IPA, dev->Ipa);
    SetCtrlVal(hTrc, TR_WIN, win);
    SetCtrlVal(hLod, LO_TYP, s.Typ);
    SetCtrlVal(hLod, LO_FRQ, static_cast<double>(SRat));
    SetCtrlVal(hSav, SA_TYP, d.Typ);
    SetCtrlVal(hRun, RN_MODE, TrcFlg);
    SetCtrlVal(hRun, RN_PORT, TcpPrt);
    if (TrcFlg != 0)
        UpdPnl();
    else
        DisplayPanel(hLod);
    ShowFilePanel(hLod, LO_Q, LO_DQ, LO_DI, s, tbl);
    ShowFilePanel(hSav, SA_Q, SA_DQ, SA_DI, d, tbl);
    ForgetDestination();
}

}  // namespace

std::string CfgEncode(const char *text, bool emptyAsToken)
{
    if (text[0] == '\0')
        return emptyAsToken ? "%00" : "";
    std::string out;
    for (const char *p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c <= ' ' || c == '%' || c == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void CfgDecode(const std::string &word, char *out, size_t size)
{
    size_t n = 0;
    for (size_t i = 0; i < word.size() && n + 1 < size; ++i) {
        unsigned v = 0;
        if (word[i] == '%' && i + 2 < word.size() && std::isxdigit(static_cast<unsigned char>(word[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(word[i + 2])) &&
            std::sscanf(word.c_str() + i + 1, "%2x", &v) == 1) {
            out[n++] = static_cast<char>(v);
            i += 2;
        } else {
            out[n++] = word[i];
        }
    }
    out[n] = '\0';
}

// An installed program never writes into its system folder, not even as
// root, who may: its settings go to the user's configuration folder, and
// without one (no home) nowhere.  A program of its own folder keeps them
// beside itself where it may write there.
void CfgPath(char *path)
{
    char dir[MAX_PATHNAME_LEN];
    const bool installed = ProgramInstalled();
    if (!installed && access(WrkDir, W_OK) == 0) {
        std::snprintf(dir, sizeof dir, "%s", WrkDir);
    } else if (GetUserConfigDir(dir) < 0) {
        if (installed) {
            path[0] = '\0';
            return;
        }
        std::snprintf(dir, sizeof dir, "%s", WrkDir);
    }
    std::string full = std::string(dir) + "/" + AppNam + ".cfg";
    std::snprintf(path, MAX_PATHNAME_LEN, "%s", full.c_str());
}

int SaveCfgFile(const char *path, DevRec dev)
{
    GetPanelAttribute(hRun, ATTR_LEFT, &x);
    GetPanelAttribute(hRun, ATTR_TOP, &y);
    return WriteWhole(path, CfgText(dev)) ? 0 : -1;
}

int LoadCfgFile(const char *path, DevRec *dev, const FormatTable &tbl)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        UpdVar();
        // The panels keep what they show, the formats included; the Q
        // controls follow the formats (the first start has no file).
        GetCtrlVal(hLod, LO_TYP, &s.Typ);
        GetCtrlVal(hSav, SA_TYP, &d.Typ);
        DimSecondFile(hLod, LO_Q, LO_DQ, s, tbl);
        DimSecondFile(hSav, SA_Q, SA_DQ, d, tbl);
        return -1;
    }
    std::stringstream whole;
    whole << file.rdbuf();
    std::string text = whole.str();
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());

    const DevRec before = *dev;
    CfgReader in(std::move(text));
    ReadLines1To4(in, dev);
    ReadLines5To8(in, dev);
    if (!SameInstrument(before, *dev))
        ForgetInstrument();

    PushIntoPanels(dev, tbl);
    DVal = 0;
    // The arrays still hold the data of before, but the count and rate now
    // come from the file: a client told of them must not get those samples.
    HeldLen = 0;
    QFlg = 0;
    IFlg = 0;
    if (TrcFlg != 0 && dev->Typ == DEV_AGATE)
        s.Len = AgateSamples(SRat, RecLen);
    // In the same mode no mode switch follows: the panels learn here that
    // no data are valid and no file is chosen any more.
    ShowDataState();
    UpdTesAll(Hdl, NewState, HeldRate(), StateLen());
    return 0;
}
