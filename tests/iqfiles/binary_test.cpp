// Binary sample formats: Tessera .ibn, KAL, WAV, LeCroy, AWG 2000 and ESG.
#include "VmKalLib.h"
#include "iqfiles_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

class BinFiles : public IqFilesTest {
protected:
    BinFiles() : IqFilesTest("iqbin") {}
};

Bytes ReadAll(const fs::path &p)
{
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteAll(const fs::path &p, const Bytes &b)
{
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
}

void PutBE32(Bytes &b, size_t at, uint32_t v)
{
    for (int k = 0; k < 4; k++)
        b[at + k] = uint8_t(v >> (24 - 8 * k));
}

void PutLE(Bytes &b, size_t at, uint64_t v, int n)
{
    for (int k = 0; k < n; k++)
        b[at + k] = uint8_t(v >> (8 * k));
}

int16_t Le16(const Bytes &b, size_t at) { return int16_t(b[at] | b[at + 1] << 8); }

std::vector<float> Ramp(int n, float a, float b)
{
    std::vector<float> v(static_cast<size_t>(n));
    for (int k = 0; k < n; k++)
        v[size_t(k)] = a + (b - a) * float(k) / float(n > 1 ? n - 1 : 1);
    return v;
}

bool HavePython() { return std::system("/usr/bin/python3 -c 'import scipy.io.wavfile' 2>/dev/null") == 0; }
bool HaveSox() { return std::system("sox --version >/dev/null 2>&1") == 0; }

// ---------------------------------------------------------------- Tessera

TEST_F(BinFiles, IbnRoundTripKeepsHeaderAndSamplesBitExact)
{
    const int n = 60001; // crosses two progress steps
    Rec out(at("a.ibn"));
    out.fill(Ramp(n, -3.25f, 7.5f), Ramp(n, 1e-30f, -1e30f));
    out.Rat = 1234567.5f;
    ASSERT_EQ(SaveIBN(out), 0);

    Bytes b = ReadAll(at("a.ibn"));
    ASSERT_EQ(b.size(), 40u + 8u * n);
    Bytes hdr(40, 0);
    PutLE(hdr, 0, 40, 4);
    PutLE(hdr, 4, n, 4);
    std::memcpy(&hdr[8], "VMK", 4);
    double rat = out.Rat;
    uint64_t bits;
    std::memcpy(&bits, &rat, 8);
    PutLE(hdr, 12, bits, 8);
    PutLE(hdr, 20, 1, 4);
    PutLE(hdr, 24, n, 4);
    PutLE(hdr, 28, bits, 8);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 40), hdr);

    Rec in(at("a.ibn"));
    ASSERT_EQ(LoadIbn(&in), 0);
    ASSERT_EQ(in.Len, n);
    EXPECT_EQ(in.Rat, out.Rat);
    EXPECT_EQ(std::memcmp(in.I, out.I, 4 * n), 0);
    EXPECT_EQ(std::memcmp(in.Q, out.Q, 4 * n), 0);
}

TEST_F(BinFiles, IbnRefusesNonZeroLastHeaderWordAndBadCounts)
{
    Rec out(at("a.ibn"));
    out.fill({1, 2, 3}, {4, 5, 6});
    ASSERT_EQ(SaveIBN(out), 0);
    Bytes good = ReadAll(at("a.ibn"));

    Bytes b = good;
    b[36] = 1;
    WriteAll(at("b.ibn"), b);
    Rec r1(at("b.ibn"));
    EXPECT_EQ(LoadIbn(&r1), IQ_ERR_IBN_HDR);
    EXPECT_TRUE(r1.empty());

    for (uint32_t count : {4u, 0x7fffffffu, 0xffffffffu}) { // one too many, huge, negative
        b = good;
        PutLE(b, 4, count, 4);
        WriteAll(at("c.ibn"), b);
        Rec r(at("c.ibn"));
        EXPECT_EQ(LoadIbn(&r), IQ_ERR_FORMAT) << count;
        EXPECT_TRUE(r.empty());
    }
}

// ---------------------------------------------------------------- KAL

TEST_F(BinFiles, KalIgnoresTrailingPartialSampleAndSavesWholeSamples)
{
    Bytes b(803);
    for (size_t k = 0; k < 100; k++) {
        float i = float(k) * 0.5f, q = -float(k);
        std::memcpy(&b[8 * k], &i, 4);
        std::memcpy(&b[8 * k + 4], &q, 4);
    }
    b[800] = b[801] = b[802] = 0xAB;
    WriteAll(at("a.kal"), b);

    Rec in(at("a.kal"));
    in.Rat = 42.0f;
    ASSERT_EQ(LoadKAL(&in), 0);
    ASSERT_EQ(in.Len, 100);
    EXPECT_EQ(in.Rat, 42.0f); // no rate in the file: the caller's stays
    EXPECT_EQ(in.I[99], 49.5f);
    EXPECT_EQ(in.Q[99], -99.0f);

    std::snprintf(in.INam, sizeof in.INam, "%s", at("b.kal").c_str());
    ASSERT_EQ(SaveKAL(in), 0);
    EXPECT_EQ(ReadAll(at("b.kal")), Bytes(b.begin(), b.begin() + 800));
}

int g_hookCalls = 0;
int g_abortAt = 0;
void CountingHook()
{
    if (++g_hookCalls == g_abortAt)
        EscFlg = 1;
}

TEST_F(BinFiles, ProgressHookRunsEvery25000SamplesPerChannel)
{
    Rec out(at("h.ibn"));
    out.fill(Ramp(50001, 0, 1), Ramp(50001, 1, 0));
    ASSERT_EQ(SaveIBN(out), 0);
    ASSERT_EQ(SaveKAL(Rec::Copy(out, at("h.kal"))), 0);
    IqSetEventHook(CountingHook);
    struct { const char *file; int (*load)(IqRec *); int calls; } cases[] = {
        {"h.ibn", LoadIbn, 6}, // indices 0, 25000, 50000 of I, then of Q
        {"h.kal", LoadKAL, 3}};
    for (auto c : cases) {
        g_hookCalls = 0, g_abortAt = 0;
        Rec in(at(c.file));
        EXPECT_EQ(c.load(&in), 0);
        EXPECT_EQ(g_hookCalls, c.calls) << c.file;
        g_hookCalls = 0, g_abortAt = 2; // a button press seen at index 25000
        Rec ab(at(c.file));
        EXPECT_EQ(c.load(&ab), IQ_ERR_ABORT);
        EXPECT_EQ(g_hookCalls, 2);
        EXPECT_TRUE(ab.empty());
        EXPECT_EQ(EscFlg, 0);
    }
    IqSetEventHook(nullptr);
}

TEST_F(BinFiles, AbortFlagStopsLoadAndIsCleared)
{
    Rec out(at("a.kal"));
    out.fill(Ramp(30000, 0, 1), Ramp(30000, 1, 0));
    ASSERT_EQ(SaveKAL(out), 0);
    Rec in(at("a.kal"));
    EscFlg = 1;
    EXPECT_EQ(LoadKAL(&in), IQ_ERR_ABORT);
    EXPECT_TRUE(in.empty());
    EXPECT_EQ(EscFlg, 0);
}

// ---------------------------------------------------------------- WAV

Bytes WavHeader(int channels, int bits, uint32_t dataSize, uint32_t fmtSize = 16)
{
    Bytes h(44, 0);
    std::memcpy(&h[0], "RIFF", 4);
    PutLE(h, 4, dataSize + 36, 4);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    PutLE(h, 16, fmtSize, 4);
    PutLE(h, 20, 1, 2);
    PutLE(h, 22, uint64_t(channels), 2);
    PutLE(h, 24, 8000, 4);
    PutLE(h, 28, uint64_t(8000 * channels * bits / 8), 4);
    PutLE(h, 32, uint64_t(channels * bits / 8), 2);
    PutLE(h, 34, uint64_t(bits), 2);
    std::memcpy(&h[36], "data", 4);
    PutLE(h, 40, dataSize, 4);
    return h;
}

TEST_F(BinFiles, WavScaleFollowsTheNarrowerChannelAndSaturates)
{
    Rec out(at("s.wav"));
    out.fill({-1.0f, 1.0f, 0.0f, 0.25f}, {-0.5f, 0.5f, 0.0f, -0.25f});
    out.Rat = 48000.9f;
    ASSERT_EQ(SaveWav(out), 0);

    Bytes b = ReadAll(at("s.wav"));
    ASSERT_EQ(b.size(), 44u + 16u);
    Bytes h = WavHeader(2, 16, 32);
    PutLE(h, 24, 48000, 4);
    PutLE(h, 28, 192003, 4);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 44), h);
    // Scale 65535.9 (from Q): Q +-0.5 -> +-32767; I +-1 would wrap, and saturates.
    EXPECT_EQ(Le16(b, 44), -32768);
    EXPECT_EQ(Le16(b, 46), -32767);
    EXPECT_EQ(Le16(b, 48), 32767);
    EXPECT_EQ(Le16(b, 50), 32767);
    EXPECT_EQ(Le16(b, 56), 16383); // 0.25 * 65535.9 = 16383.975, truncated
    EXPECT_EQ(Le16(b, 58), -16383);

    Rec in(at("s.wav"));
    ASSERT_EQ(LoadWav(&in), 0);
    ASSERT_EQ(in.Len, 4);
    const float wantI[] = {-32768, 32767, 0, 16383}, wantQ[] = {-32767, 32767, 0, -16383};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(in.I[k], wantI[k]);
        EXPECT_EQ(in.Q[k], wantQ[k]);
    }
}

TEST_F(BinFiles, WavConstantChannelsDoNotChooseTheScale)
{
    Rec out(at("c.wav"));
    out.fill({0.25f, 0.25f, 0.25f}, {-1.0f, 0.0f, 1.0f});
    ASSERT_EQ(SaveWav(out), 0);
    Bytes b = ReadAll(at("c.wav"));
    EXPECT_EQ(Le16(b, 44), 8191); // scale 65535.9 / 2 from Q alone
    EXPECT_EQ(Le16(b, 54), 32767);

    out.fill({3.7f, 3.7f}, {-2.9f, -2.9f}); // both constant: scale 1
    ASSERT_EQ(SaveWav(out), 0);
    b = ReadAll(at("c.wav"));
    EXPECT_EQ(Le16(b, 44), 3);
    EXPECT_EQ(Le16(b, 46), -2);

    out.fill({}, {}); // Len 0: header only, and it loads back empty
    ASSERT_EQ(SaveWav(out), 0);
    Bytes empty = WavHeader(2, 16, 0);
    PutLE(empty, 24, 0, 4); // Rat 0
    PutLE(empty, 28, 0, 4);
    EXPECT_EQ(ReadAll(at("c.wav")), empty);
    Rec in(at("c.wav"));
    ASSERT_EQ(LoadWav(&in), 0);
    EXPECT_EQ(in.Len, 0);
}

// 1000 frames of 16-bit stereo: I = k, Q = -k, the first frame 80 00 FF 7F.
Bytes Frames16(int n)
{
    Bytes b;
    for (int k = 0; k < n; k++) {
        b.push_back(uint8_t(k));
        b.push_back(uint8_t(k >> 8));
        b.push_back(uint8_t(-k));
        b.push_back(uint8_t((-k) >> 8));
    }
    b[0] = 0x80, b[1] = 0x00, b[2] = 0xFF, b[3] = 0x7F;
    return b;
}

// Loads a WAV file; true when it gives n samples.
bool LoadsWav(Rec &in, int n)
{
    return LoadWav(&in) == 0 && in.Len == n;
}

void ExpectSample(const Rec &in, int k, float i, float q)
{
    EXPECT_EQ(in.I[k], i) << k;
    EXPECT_EQ(in.Q[k], q) << k;
}

// A standard file loads every frame; a data chunk shorter than its size
// field loads the frames it holds; one of SaveWav (size fields of 8 bytes
// per sample, 4 following) loads its Len.
TEST_F(BinFiles, WavLengthIsTheSmallerOfTheSizeFieldAndTheBytesPresent)
{
    Bytes b = WavHeader(2, 16, 4000), f = Frames16(1000);
    b.insert(b.end(), f.begin(), f.end());
    WriteAll(at("std.wav"), b);
    Rec in(at("std.wav"));
    ASSERT_TRUE(LoadsWav(in, 1000)) << in.Len;
    ExpectSample(in, 0, 128, 32767);
    ExpectSample(in, 999, 999, -999);

    b.resize(44 + 4 * 600 + 3); // cut inside frame 600
    WriteAll(at("cut.wav"), b);
    Rec cut(at("cut.wav"));
    ASSERT_TRUE(LoadsWav(cut, 600)) << cut.Len;
    ExpectSample(cut, 599, 599, -599);

    Bytes e = WavHeader(2, 8, 6); // 8-bit stereo keeps the unsigned codes
    e.insert(e.end(), {0, 255, 128, 7, 1, 2});
    WriteAll(at("e.wav"), e);
    Rec r8(at("e.wav"));
    ASSERT_TRUE(LoadsWav(r8, 3)) << r8.Len;
    ExpectSample(r8, 0, 0, 255);
    ExpectSample(r8, 2, 1, 2);

    Rec out(at("own.wav"));
    out.fill(Ramp(500, -1, 1), Ramp(500, 1, -1));
    ASSERT_EQ(SaveWav(out), 0);
    Bytes own = ReadAll(at("own.wav"));
    ASSERT_EQ(own.size(), 44u + 4 * 500);
    EXPECT_EQ(uint32_t(own[40] | own[41] << 8), 8u * 500); // the size field as it always was
    Rec back(at("own.wav"));
    EXPECT_TRUE(LoadsWav(back, 500)) << back.Len;
}

// Chunks before "data" ("LIST", "fact", odd sizes padded to even) are walked
// over; the layout comes from "fmt ", which must come first.
TEST_F(BinFiles, WavChunksBeforeTheDataAreWalkedOver)
{
    Bytes h = WavHeader(2, 16, 8, 18); // an 18-byte fmt chunk, as some tools write
    Bytes b(h.begin(), h.begin() + 36);
    b.insert(b.end(), {0, 0});                                    // cbSize
    b.insert(b.end(), {'f', 'a', 'c', 't', 4, 0, 0, 0, 2, 0, 0, 0}); // fact: 2 frames
    b.insert(b.end(), {'L', 'I', 'S', 'T', 5, 0, 0, 0, 'I', 'N', 'F', 'O', 'x', 0}); // odd size, padded
    b.insert(b.end(), {'d', 'a', 't', 'a', 8, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0});
    WriteAll(at("chunks.wav"), b);
    Rec in(at("chunks.wav"));
    ASSERT_TRUE(LoadsWav(in, 2)) << in.Len;
    ExpectSample(in, 0, 1, 2);
    ExpectSample(in, 1, 3, 4);

    // "data" before any "fmt ", no "data" at all, and a chunk size beyond the file.
    Bytes noFmt = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'd', 'a', 't', 'a', 4, 0, 0, 0, 1, 2, 3, 4};
    Bytes noData(h.begin(), h.begin() + 36);
    Bytes beyond(h.begin(), h.begin() + 36);
    beyond.insert(beyond.end(), {'L', 'I', 'S', 'T', 0xFF, 0xFF, 0xFF, 0x7F, 'd', 'a', 't', 'a', 4, 0, 0, 0, 1, 2, 3, 4});
    for (const Bytes &bad : {noFmt, noData, beyond}) {
        WriteAll(at("bad.wav"), bad);
        Rec r(at("bad.wav"));
        EXPECT_EQ(LoadWav(&r), IQ_ERR_WAV);
        EXPECT_TRUE(r.empty());
    }
}

TEST_F(BinFiles, WavRefusesLayoutsOtherThanStereo8And16Bit)
{
    struct { int ch, bits; } cases[] = {{1, 16}, {1, 8}, {2, 24}, {2, 32}, {3, 16}, {2, 0}, {0, 16}};
    for (auto c : cases) {
        Bytes b = WavHeader(c.ch, c.bits, 64);
        b.resize(b.size() + 64);
        WriteAll(at("l.wav"), b);
        Rec in(at("l.wav"));
        EXPECT_EQ(LoadWav(&in), IQ_ERR_WAV) << c.ch << " channels, " << c.bits << " bits";
        EXPECT_TRUE(in.empty());
    }
}

// Files of another program load whole: sox's 16-bit and 8-bit stereo files
// of 1000 frames.
TEST_F(BinFiles, SoxStereoWavFilesLoadEveryFrame)
{
    if (!HaveSox())
        GTEST_SKIP() << "sox is not installed";
    struct {
        const char *name, *encoding;
        int bits;
    } cases[] = {{"s16.wav", "signed", 16}, {"u8.wav", "unsigned", 8}};
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        std::string wav = at(c.name).string(), raw = at("sox.raw").string();
        std::string cmd = std::string("sox -r 8000 -n -c 2 -b ") + std::to_string(c.bits) + " -e " + c.encoding + " " + wav + " synth 1000s sine 440 sine 1000 2>/dev/null && sox " + wav +
                          " -t raw " + raw;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        Bytes pcm = ReadAll(raw);
        ASSERT_EQ(pcm.size(), 1000u * 2 * size_t(c.bits / 8));
        Rec in(at(c.name));
        ASSERT_EQ(LoadWav(&in), 0);
        ASSERT_EQ(in.Len, 1000);
        for (int k = 0; k < in.Len; k += 37) {
            float i = c.bits == 16 ? Le16(pcm, 4 * size_t(k)) : pcm[2 * size_t(k)];
            float q = c.bits == 16 ? Le16(pcm, 4 * size_t(k) + 2) : pcm[2 * size_t(k) + 1];
            EXPECT_EQ(in.I[k], i) << k;
            EXPECT_EQ(in.Q[k], q) << k;
        }
    }
}

TEST_F(BinFiles, ScipyReadsOurWav)
{
    if (!HavePython())
        GTEST_SKIP() << "/usr/bin/python3 with scipy is not installed";
    Rec out(at("p.wav"));
    out.fill({-1.0f, 0.0f, 1.0f, 0.5f}, {0.0f, 0.5f, -0.5f, 0.25f});
    out.Rat = 22050;
    ASSERT_EQ(SaveWav(out), 0);
    std::string cmd = "/usr/bin/python3 -W ignore -c \"import scipy.io.wavfile as w; r, d = w.read('" +
                      at("p.wav").string() + "'); print(r, d.dtype, ' '.join(str(v) for v in d.ravel()))\" > " +
                      at("p.txt").string();
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    Bytes t = ReadAll(at("p.txt"));
    // Scale 65535.9 from Q: I -1 and 1 saturate.
    EXPECT_EQ(std::string(t.begin(), t.end()), "22050 int16 -32768 0 0 32767 32767 -32767 32767 16383\n");
}

// ---------------------------------------------------------------- LeCroy

Bytes LeCroy(int32_t d, int32_t b, int32_t n, const Bytes &samples)
{
    Bytes f(size_t(11 + d), 0);
    std::memcpy(&f[0], "#9000000000", 11);
    PutBE32(f, 47, uint32_t(d));
    PutBE32(f, 71, uint32_t(b));
    PutBE32(f, 127, uint32_t(n));
    f.insert(f.end(), samples.begin(), samples.end());
    return f;
}

TEST_F(BinFiles, LeCroyReadsBytesOrWordsAndTakesTheShorterTrace)
{
    WriteAll(at("i.trc"), LeCroy(346, 4, 4, {0x80, 0x7F, 0x01, 0xFF}));
    WriteAll(at("q.trc"), LeCroy(200, 6, 3, {0x80, 0x00, 0x12, 0x34, 0xFF, 0xFE}));
    Rec in(at("i.trc"), at("q.trc"));
    ASSERT_EQ(LoadLeCroy(&in), 0);
    ASSERT_EQ(in.Len, 3);
    EXPECT_EQ(in.I[0], -128.0f);
    EXPECT_EQ(in.I[1], 127.0f);
    EXPECT_EQ(in.I[2], 1.0f);
    EXPECT_EQ(in.Q[0], -32768.0f);
    EXPECT_EQ(in.Q[1], 4660.0f);
    EXPECT_EQ(in.Q[2], -2.0f);
}

TEST_F(BinFiles, LeCroyLimitsPointsTo16Million)
{
    Bytes h = LeCroy(346, 20000000, 20000000, {});
    WriteAll(at("big.trc"), h);
    fs::resize_file(at("big.trc"), h.size() + 16000000); // sparse: reads as zeros
    Rec in(at("big.trc"), at("big.trc"));
    ASSERT_EQ(LoadLeCroy(&in), 0);
    EXPECT_EQ(in.Len, 16000000);
}

TEST_F(BinFiles, LeCroyRefusesBadDescriptors)
{
    Bytes ok = LeCroy(346, 2, 2, {1, 2});
    WriteAll(at("q.trc"), ok);
    Bytes cases[] = {LeCroy(346, 4, 0, {1, 2}),          // no points: no width
                     LeCroy(346, 2, 3, {1, 2}),          // more points than bytes
                     LeCroy(346, 2, -5, {1, 2}),         // negative count
                     Bytes(ok.begin(), ok.begin() + 100)}; // cut in the descriptor
    for (const Bytes &c : cases) {
        WriteAll(at("i.trc"), c);
        Rec in(at("i.trc"), at("q.trc"));
        EXPECT_EQ(LoadLeCroy(&in), IQ_ERR_FORMAT);
        EXPECT_TRUE(in.empty());
    }
    Rec none(at("q.trc"), at("missing.trc"));
    EXPECT_EQ(LoadLeCroy(&none), IQ_ERR_OPEN1);
}

// ---------------------------------------------------------------- AWG 2000

Bytes Awg(int32_t n, double a, const std::vector<uint16_t> &codes)
{
    Bytes f(102, 0);
    PutBE32(f, 30, uint32_t(n));
    uint64_t bits;
    std::memcpy(&bits, &a, 8);
    for (int k = 0; k < 8; k++)
        f[68 + k] = uint8_t(bits >> (56 - 8 * k));
    for (uint16_t c : codes) {
        f.push_back(uint8_t(c >> 8));
        f.push_back(uint8_t(c));
    }
    return f;
}

TEST_F(BinFiles, AwgScalesCodesAndTakesTheSmallerCount)
{
    WriteAll(at("i.wfm"), Awg(3, 1.0, {2048, 4096, 0}));
    WriteAll(at("q.wfm"), Awg(2, 2.0, {2048, 65535}));
    Rec in(at("i.wfm"), at("q.wfm"));
    ASSERT_EQ(LoadAWG(&in), 0);
    ASSERT_EQ(in.Len, 2);
    EXPECT_EQ(in.I[0], 0.0f);
    EXPECT_EQ(in.I[1], 0.5f);
    EXPECT_EQ(in.Q[0], 0.5f);
    EXPECT_FLOAT_EQ(in.Q[1], float(65535 * 2.0 / 4096 - 0.5));
}

TEST_F(BinFiles, AwgRefusesBadCountsAndNamesTheMissingFile)
{
    WriteAll(at("q.wfm"), Awg(1, 1.0, {1}));
    Bytes cases[] = {Awg(4, 1.0, {1, 2, 3}), Awg(-1, 1.0, {}), Bytes(50, 0)};
    for (const Bytes &c : cases) {
        WriteAll(at("i.wfm"), c);
        Rec in(at("i.wfm"), at("q.wfm"));
        EXPECT_EQ(LoadAWG(&in), IQ_ERR_FORMAT);
        EXPECT_TRUE(in.empty());
    }
    Rec none(at("q.wfm"), at("missing.wfm"));
    EXPECT_EQ(LoadAWG(&none), IQ_ERR_OPEN2);
}

// ---------------------------------------------------------------- ESG

TEST_F(BinFiles, EsgWordsDecodeAndShorterFileSetsLen)
{
    WriteAll(at("i.esg"), {0x7F, 0xFF, 0xFF, 0xFC, 0x80, 0x03, 0x00});
    WriteAll(at("q.esg"), {0x01, 0x04, 0x00, 0x08});
    Rec in(at("i.esg"), at("q.esg"));
    ASSERT_EQ(LoadEsg8Sgl(&in), 0);
    ASSERT_EQ(in.Len, 2);
    EXPECT_EQ(in.I[0], 127 * 256 + 63.0f);
    EXPECT_EQ(in.I[1], -256 + 63.0f);
    EXPECT_EQ(in.Q[0], 257.0f);
    EXPECT_EQ(in.Q[1], 2.0f);
    Rec none(at("i.esg"), at("missing.esg"));
    EXPECT_EQ(LoadEsg8Sgl(&none), IQ_ERR_OPEN2);
}

// ---------------------------------------------------------------- all formats

struct Loader {
    const char *name;
    int (*load)(IqRec *);
    bool twoFiles;
};
const Loader kLoaders[] = {{"ibn", LoadIbn, false},    {"kal", LoadKAL, false},   {"wav", LoadWav, false},
                           {"trc", LoadLeCroy, true},  {"wfm", LoadAWG, true},    {"esg", LoadEsg8Sgl, true},
                           {"sig", LoadBin, false}};

TEST_F(BinFiles, MalformedFilesGiveAStatusAndNoArrays)
{
    // Empty, a few bytes, and junk: none of these is a file of any header format.
    Bytes junk(4096);
    for (size_t k = 0; k < junk.size(); k++)
        junk[k] = uint8_t(k * 2654435761u >> 13);
    for (const Loader &l : kLoaders) {
        for (const Bytes &content : {Bytes{}, Bytes{'R', 'I', 'F'}, junk}) {
            WriteAll(at("m.bin"), content);
            WriteAll(at("m2.bin"), content);
            Rec in(at("m.bin"), at("m2.bin"));
            int st = l.load(&in);
            bool headerless = l.load == LoadKAL || l.load == LoadEsg8Sgl;
            if (headerless) {
                EXPECT_EQ(st, 0) << l.name;
                EXPECT_EQ(in.Len, int(content.size() / (l.load == LoadKAL ? 8 : 2))) << l.name;
            } else {
                EXPECT_LT(st, 0) << l.name << " " << content.size();
                EXPECT_TRUE(in.empty()) << l.name;
            }
        }
        Rec missing(at("nothing"), at("nothing"));
        EXPECT_EQ(l.load(&missing), IQ_ERR_OPEN1) << l.name;
        EXPECT_TRUE(missing.empty());
    }
}

TEST_F(BinFiles, TruncatedDataIsRefused)
{
    Rec out(at("t"));
    out.fill(Ramp(100, -1, 1), Ramp(100, 1, -1));
    out.Rat = 1000;
    // (A WAV file cut short loads the frames it holds.)
    struct { int (*save)(IqRec); int (*load)(IqRec *); } pairs[] = {
        {SaveIBN, LoadIbn}, {SaveSPWBin, LoadBin}};
    for (auto p : pairs) {
        ASSERT_EQ(p.save(out), 0);
        fs::resize_file(at("t"), fs::file_size(at("t")) - 3);
        Rec in(at("t"));
        EXPECT_EQ(p.load(&in), IQ_ERR_FORMAT);
        EXPECT_TRUE(in.empty());
    }
}

TEST_F(BinFiles, FailedSaveKeepsTheExistingFile)
{
    WriteAll(at("keep"), {'o', 'l', 'd'});
    Rec bad(at("keep"));
    bad.Len = 5; // no arrays behind the count
    for (auto save : {SaveIBN, SaveKAL, SaveWav, SaveSPWBin}) {
        EXPECT_EQ(save(bad), -1);
        EXPECT_EQ(ReadAll(at("keep")), (Bytes{'o', 'l', 'd'}));
    }
    Rec good(at("no/such/dir/x"));
    good.fill({1}, {2});
    for (auto save : {SaveIBN, SaveKAL, SaveWav, SaveSPWBin})
        EXPECT_EQ(save(good), -1);
}

} // namespace
