// Every readable format, loaded through the Load panel, saved through the
// Save panel in every writable format and read back.
#include "panelfixture.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace {

constexpr int kN = 64;

Samples TestSignal()
{
    Samples x;
    for (int k = 0; k < kN; ++k) {
        x.i.push_back(static_cast<float>(k % 37 - 18));
        x.q.push_back(static_cast<float>((k * 7) % 37 - 18));
    }
    return x;
}

void PutBE(std::string &f, size_t at, uint64_t v, int bytes)
{
    for (int k = 0; k < bytes; ++k)
        f[at + k] = static_cast<char>(v >> (8 * (bytes - 1 - k)));
}

// A LeCroy trace of 16-bit words: a 346-byte descriptor after the 11-byte
// block marker, with its length, the array's byte length and the points.
void WriteLeCroy(const std::string &path, const std::vector<float> &v)
{
    std::string f(11 + 346, '\0');
    f.replace(0, 11, "#9000000000");
    PutBE(f, 47, 346, 4);
    PutBE(f, 71, 2 * v.size(), 4);
    PutBE(f, 127, v.size(), 4);
    for (float x : v) {
        f += static_cast<char>(static_cast<int16_t>(x) >> 8);
        f += static_cast<char>(static_cast<int16_t>(x) & 0xFF);
    }
    std::ofstream(path, std::ios::binary) << f;
}

// An AWG 2000 waveform: codes c with scale 4096 give c - 0.5.
void WriteAwg(const std::string &path, const std::vector<float> &v)
{
    std::string f(102, '\0');
    PutBE(f, 30, v.size(), 4);
    double scale = 4096.0;
    uint64_t bits;
    std::memcpy(&bits, &scale, 8);
    PutBE(f, 68, bits, 8);
    for (float x : v) {
        uint16_t c = static_cast<uint16_t>(x + 18);
        f += static_cast<char>(c >> 8);
        f += static_cast<char>(c & 0xFF);
    }
    std::ofstream(path, std::ios::binary) << f;
}

// Writes the source files of a format; read-only formats are written by
// hand.
bool MakeSource(int typ, const std::string &i, const std::string &q, const Samples &x)
{
    if (CanSave(typ))
        return PanelTest::Write(typ, i, q, x, 0) == 0;
    if (typ == 17) {
        WriteLeCroy(i, x.i);
        WriteLeCroy(q, x.q);
        return true;
    }
    if (typ == 21) {
        WriteAwg(i, x.i);
        WriteAwg(q, x.q);
        return true;
    }
    if (typ == 20) {
        std::ofstream fi(i), fq(q);
        for (int k = 0; k < kN; ++k) {
            fi << x.i[k] << "\n";
            fq << x.q[k] << "\n";
        }
        return true;
    }
    if (typ == 23) {
        // All I values, then all Q values, flowing over lines.
        std::ofstream fi(i);
        for (int k = 0; k < 2 * kN; ++k)
            fi << (k < kN ? x.i[k] : x.q[k - kN]) << (k % 5 == 4 ? "\n" : " ");
        return true;
    }
    return false;
}

// WAV stores 16-bit words scaled to the range of the data (both channels
// span the same range here), so a way through WAV keeps the signal's shape.
void ExpectSameSignal(bool viaWav, const Samples &want, const Samples &got)
{
    ASSERT_EQ(got.i.size(), want.i.size());
    size_t peak = 0;
    for (size_t n = 1; n < want.i.size(); ++n)
        if (std::fabs(want.i[n]) > std::fabs(want.i[peak]))
            peak = n;
    double k = viaWav ? got.i[peak] / want.i[peak] : 1.0;
    for (int n = 0; n < kN; ++n) {
        double tol = viaWav ? 1.0 : 1e-5;
        ASSERT_NEAR(got.i[n], k * want.i[n], tol) << "sample " << n;
        ASSERT_NEAR(got.q[n], k * want.q[n], tol) << "sample " << n;
    }
}

using Conversion = PanelTest;

TEST_F(Conversion, EveryReadableFormatIntoEveryWritableFormat)
{
    const Samples x = TestSignal();
    int converted = 0;
    for (int src = 0; src < IQ_NFMT; ++src) {
        std::string ext = t[src].Pat1 + 2;
        std::string si = Path("src" + std::to_string(src) + "_i." + ext.substr(0, ext.find(';')));
        std::string sq = Path("src" + std::to_string(src) + "_q." +
                              std::string(t[src].Files == 2 ? t[src].Pat2 + 2 : "x"));
        ASSERT_TRUE(MakeSource(src, si, sq, x)) << src;
        // What the source format holds of the signal (AWG codes are offset).
        int status = -99;
        const Samples want = Read(src, si, sq, &status);
        ASSERT_EQ(status, 0) << src;
        for (int dst = 0; dst < IQ_NFMT; ++dst) {
            // WAV scales to a range centred on zero; AWG codes are offset.
            if (!CanSave(dst) || (src == 21 && dst == 16))
                continue;
            SCOPED_TRACE(::testing::Message() << "from " << src << " to " << dst);
            LoadThroughPanel(src, si, sq);
            ASSERT_EQ(DVal, 1);
            ASSERT_EQ(s.Len, kN);
            std::string di = Path("dst" + std::to_string(src) + "_" + std::to_string(dst) + "_i");
            std::string dq = Path("dst" + std::to_string(src) + "_" + std::to_string(dst) + "_q");
            ChooseSave(dst, di, dq);
            ASSERT_EQ(Dimmed(hSav, SA_SAV), 0);
            ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
            Samples back = Read(dst, di, dq, &status);
            ASSERT_EQ(status, 0);
            ExpectSameSignal(src == 16 || dst == 16, want, back);
            ++converted;
        }
    }
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(converted, 25 * 21 - 1);
}

}  // namespace
