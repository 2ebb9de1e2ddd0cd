// Every readable format, loaded through the Load panel, saved through the
// Save panel in every writable format and read back.
#include "panelfixture.h"

#include <cmath>
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

// Writes the source files of a format; read-only text formats are written
// by hand.  Returns false for formats this test has no writer for.
bool MakeSource(int typ, const std::string &i, const std::string &q, const Samples &x)
{
    if (CanSave(typ))
        return PanelTest::Write(typ, i, q, x, 0) == 0;
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
    double k = viaWav ? got.i[0] / want.i[0] : 1.0;
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
        std::string si = Path("src" + std::to_string(src) + "_i." + std::string(t[src].Pat1 + 2));
        std::string sq = Path("src" + std::to_string(src) + "_q." +
                              std::string(t[src].Files == 2 ? t[src].Pat2 + 2 : "x"));
        if (!MakeSource(src, si, sq, x))
            continue;
        for (int dst = 0; dst < IQ_NFMT; ++dst) {
            if (!CanSave(dst))
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
            int status = -99;
            Samples back = Read(dst, di, dq, &status);
            ASSERT_EQ(status, 0);
            ExpectSameSignal(src == 16 || dst == 16, x, back);
            ++converted;
        }
    }
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_GE(converted, 20 * 20);
}

}  // namespace
