// Numbers in files never follow the caller's locale: a C or Python program
// that has set a German LC_NUMERIC (decimal comma) gets the same files, and
// reads them back the same, as one in the "C" locale.
#include "VmKalLib.h"
#include "common/test_files.h"
#include "iqfiles_fixture.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

// Sets a German LC_NUMERIC.  Where the system has none installed, one is
// made from the locale sources (Debian's "locales") into a private folder
// that LOCPATH names.  Returns "" or why it cannot be had.
std::string GermanNumbers(const fs::path &dir)
{
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
        if (std::setlocale(LC_NUMERIC, name))
            return "";
    std::string cmd = "localedef -i de_DE -f UTF-8 " + (dir / "de_DE.UTF-8").string() + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return "no German locale is installed and localedef cannot make one (Debian package locales)";
    setenv("LOCPATH", dir.c_str(), 1);
    bool set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    unsetenv("LOCPATH");
    return set ? "" : "the German locale made by localedef cannot be set";
}

class Locale : public IqFilesTest {
protected:
    Locale() : IqFilesTest("iqlocale") {}
    void TearDown() override
    {
        std::setlocale(LC_NUMERIC, "C");
        IqFilesTest::TearDown();
    }
};

// Every writer under a decimal-comma locale writes the bytes it writes in
// the "C" locale, and every reader reads them back the same.
TEST_F(Locale, AGermanCallerGetsTheSameFilesAndValues)
{
    Rec data;
    FillData(data, 2000);
    data.Rat = 1e6f;
    auto saveAll = [&](const char *tag, std::map<int, std::string> &text) {
        for (const Writer &w : Writers()) {
            fs::path i = dir / (std::string(tag) + std::to_string(w.typ) + ".i"),
                     q = dir / (std::string(tag) + std::to_string(w.typ) + ".q");
            ASSERT_EQ(w.save(Named(data, w, i, q)), 0) << w.typ;
            text[w.typ] = Undated(FileText(i)) + Undated(FileText(q));
        }
    };
    std::map<int, std::string> plain, german;
    saveAll("c", plain);
    std::string why = GermanNumbers(dir);
    if (!why.empty())
        GTEST_SKIP() << why;
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    saveAll("de", german);
    for (const Writer &w : Writers())
        EXPECT_TRUE(plain[w.typ] == german[w.typ]) << IqFormatAt(w.typ)->name;

    // The DaDisp record length, 2000 samples at 1 MHz.
    EXPECT_NE(FileText(dir / "de8.i").find("\nINTERVAL 2.000000E-03\n"), std::string::npos);
    EXPECT_NE(FileText(dir / "de12.i").find("\nSampling Frequency = 1000000.0\n"), std::string::npos);

    for (const Writer &w : Writers()) {
        SCOPED_TRACE(IqFormatAt(w.typ)->name);
        Rec back;
        std::string base = (dir / ("de" + std::to_string(w.typ))).string();
        std::snprintf(back.INam, sizeof back.INam, "%s.i", base.c_str());
        std::snprintf(back.QNam, sizeof back.QNam, "%s.q", base.c_str());
        back.Typ = w.typ;
        ASSERT_EQ(LoadDatFile(&back), 0);
        Rec wav; // WAV keeps the scaled integers: compare it with a load in "C"
        if (w.typ == 16) {
            std::setlocale(LC_NUMERIC, "C");
            std::snprintf(wav.INam, sizeof wav.INam, "%s", back.INam);
            ASSERT_EQ(LoadWav(&wav), 0);
            EXPECT_TRUE(SameSamples(back, wav));
            GermanNumbers(dir);
            continue;
        }
        EXPECT_TRUE(SameSamples(back, data));
        if (w.typ == 12 || w.typ == 13 || w.typ == 0) {
            EXPECT_EQ(back.Rat, 1e6f);
        }
    }
}

} // namespace
