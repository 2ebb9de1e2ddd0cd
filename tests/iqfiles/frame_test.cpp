// The library frame: dispatcher, status texts, format table, abort flag and
// event hook.
#include "VmKalLib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

IqRec Empty(int typ = 0)
{
    IqRec r;
    std::memset(&r, 0, sizeof r);
    r.Typ = typ;
    return r;
}

// A record holding arrays, as left behind by an earlier load.
IqRec Holding(int typ, int n)
{
    IqRec r = Empty(typ);
    r.Len = n;
    r.I = static_cast<float *>(std::calloc(n, sizeof(float)));
    r.Q = static_cast<float *>(std::calloc(n, sizeof(float)));
    return r;
}

fs::path TempDir()
{
    fs::path d = fs::temp_directory_path() / ("kal_frame_" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
}

void WriteColumn(const fs::path &p, int n)
{
    FILE *f = std::fopen(p.c_str(), "w");
    for (int k = 0; k < n; ++k)
        std::fprintf(f, "%d\n", k);
    std::fclose(f);
}

} // namespace

TEST(Frame, DispatcherOutsideTheTableLoadsNothingAndEmptiesTheRecord)
{
    for (int typ : {-1, IQ_NFMT, 1000}) {
        IqRec r = Holding(typ, 10);
        EXPECT_EQ(LoadDatFile(&r), 0);
        EXPECT_EQ(r.Len, 0);
        EXPECT_EQ(r.I, nullptr);
        EXPECT_EQ(r.Q, nullptr);
    }
}

TEST(Frame, DispatcherReachesTheRowsLoaderAndReleasesOldArrays)
{
    fs::path d = TempDir();
    WriteColumn(d / "a.i", 5);
    WriteColumn(d / "a.q", 5);
    IqRec r = Holding(5, 3);
    std::snprintf(r.INam, sizeof r.INam, "%s", (d / "a.i").c_str());
    std::snprintf(r.QNam, sizeof r.QNam, "%s", (d / "a.q").c_str());
    ASSERT_EQ(LoadDatFile(&r), 0);
    EXPECT_EQ(r.Len, 5);
    EXPECT_EQ(r.I[4], 4.0f);
    FreeIqRec(&r);
    EXPECT_EQ(r.I, nullptr);
    EXPECT_EQ(r.Len, 0);

    IqRec missing = Holding(5, 3);
    std::snprintf(missing.INam, sizeof missing.INam, "%s", (d / "none.i").c_str());
    EXPECT_EQ(LoadDatFile(&missing), IQ_ERR_OPEN1);
    EXPECT_EQ(missing.I, nullptr);
    fs::remove_all(d);
}

TEST(Frame, EveryStatusHasItsOwnText)
{
    std::set<std::string> seen;
    for (int st = 0; st >= IQ_ERR_NAME; --st) {
        const char *t = IqStatusText(st);
        ASSERT_NE(t, nullptr);
        EXPECT_GT(std::strlen(t), 3u);
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 13u);
    EXPECT_STREQ(IqStatusText(IQ_ERR_NAME - 1), IqStatusText(1));
    EXPECT_STREQ(IqStatusText(-2147483647 - 1), IqStatusText(1));
    EXPECT_EQ(seen.count(IqStatusText(IQ_ERR_NAME - 1)), 0u);
}

TEST(Frame, FormatTableRows)
{
    EXPECT_EQ(IqFormatAt(-1), nullptr);
    EXPECT_EQ(IqFormatAt(IQ_NFMT), nullptr);
    std::set<std::string> names;
    int writable = 0;
    for (int k = 0; k < IQ_NFMT; ++k) {
        const IqFormat *f = IqFormatAt(k);
        ASSERT_NE(f, nullptr);
        names.insert(f->name);
        for (const char *c = f->name; *c; ++c)
            EXPECT_TRUE(std::islower(*c) || std::isdigit(*c) || *c == '-') << f->name;
        EXPECT_TRUE(f->files == 1 || f->files == 2);
        EXPECT_EQ(f->files == 1, std::strlen(f->pat2) == 0) << k;
        if (k < 24) { // the patterns of the first formats fit their eight characters
            EXPECT_LE(std::strlen(f->pat1), 8u);
            EXPECT_LE(std::strlen(f->pat2), 8u);
        }
        if (f->saveLabel)
            ++writable;
        if (f->save) {
            EXPECT_NE(f->saveLabel, nullptr) << k;
        }
    }
    EXPECT_EQ(names.size(), size_t(IQ_NFMT));
    EXPECT_EQ(writable, 21);
    // Formats join at the end: the first 24 indices keep their meaning.
    EXPECT_STREQ(IqFormatAt(24)->name, "sigmf");
    EXPECT_STREQ(IqFormatAt(24)->label, "SigMF (*.sigmf-meta)");
    EXPECT_STREQ(IqFormatAt(24)->saveLabel, "SigMF (*.sigmf-meta)");
    EXPECT_EQ(IqFormatAt(24)->files, 1);
    EXPECT_EQ(IqFormatAt(24)->load, &LoadSigMF);
    EXPECT_EQ(IqFormatAt(24)->save, &SaveSigMF);
    for (int k : {17, 20, 21, 23})
        EXPECT_EQ(IqFormatAt(k)->saveLabel, nullptr) << k;
    EXPECT_STREQ(IqFormatAt(22)->label, "KAL mixed (*kal)");
    EXPECT_STREQ(IqFormatAt(22)->saveLabel, "KAL mixed (*.kal)");
    EXPECT_STREQ(IqFormatAt(19)->label, "DAB-N5 (*.sym)");
    EXPECT_STREQ(IqFormatAt(11)->label, "SPW ASCII single (*.ascsig, *.ascsig)");
    // The text formats that share readers and writers.
    for (int k : {1, 5, 18, 20})
        EXPECT_EQ(IqFormatAt(k)->load, &LoadMCadSgl) << k;
    for (int k : {2, 6, 10}) {
        EXPECT_EQ(IqFormatAt(k)->load, &LoadCsapMix) << k;
        EXPECT_EQ(IqFormatAt(k)->save, &SaveMCadMix) << k;
    }
    for (int k : {1, 5, 9, 18})
        EXPECT_EQ(IqFormatAt(k)->save, &SaveMCadSgl) << k;
    EXPECT_EQ(IqFormatAt(9)->load, &LoadCsapSgl);
    EXPECT_EQ(IqFormatAt(23)->load, &LoadAscMixNoLF);
    EXPECT_EQ(IqFormatAt(20)->save, nullptr);
}

// --- abort flag and event hook -------------------------------------------

namespace {
int g_calls;
int g_abortAt; // call number at which the hook sets EscFlg, 0 = never
std::thread::id g_thread;
bool g_otherThread;
void Hook()
{
    ++g_calls;
    if (std::this_thread::get_id() != g_thread)
        g_otherThread = true;
    if (g_abortAt && g_calls == g_abortAt)
        EscFlg = 1;
}

int LoadColumns(const fs::path &d, int n, IqRec &r)
{
    WriteColumn(d / "h.i", n);
    WriteColumn(d / "h.q", n);
    r = Empty(1);
    std::snprintf(r.INam, sizeof r.INam, "%s", (d / "h.i").c_str());
    std::snprintf(r.QNam, sizeof r.QNam, "%s", (d / "h.q").c_str());
    g_calls = 0;
    g_otherThread = false;
    g_thread = std::this_thread::get_id();
    return LoadDatFile(&r);
}
} // namespace

TEST(Frame, EventHookRunsEvery25000SamplesOnTheCallingThread)
{
    fs::path d = TempDir();
    IqSetEventHook(Hook);
    g_abortAt = 0;
    IqRec r;
    // Indices 0 and 25000 process events, 24999 does not; once per channel.
    ASSERT_EQ(LoadColumns(d, 25000, r), 0);
    EXPECT_EQ(g_calls, 2);
    FreeIqRec(&r);
    ASSERT_EQ(LoadColumns(d, 25001, r), 0);
    EXPECT_EQ(g_calls, 4);
    EXPECT_FALSE(g_otherThread);
    FreeIqRec(&r);
    IqSetEventHook(nullptr);
    fs::remove_all(d);
}

TEST(Frame, EscFlgSetFromTheHookAbortsTheLoad)
{
    fs::path d = TempDir();
    IqSetEventHook(Hook);
    for (int at : {1, 2, 4}) { // in the I channel, and in the Q channel (read on a second thread)
        g_abortAt = at;
        IqRec r;
        EXPECT_EQ(LoadColumns(d, 60000, r), IQ_ERR_ABORT) << at;
        EXPECT_EQ(g_calls, at);
        EXPECT_EQ(r.I, nullptr);
        EXPECT_EQ(r.Q, nullptr);
        EXPECT_EQ(r.Len, 0);
        EXPECT_EQ(EscFlg, 0);
    }
    g_abortAt = 0;
    IqSetEventHook(nullptr);
    // Without a hook the flag alone is checked.
    EscFlg = 1;
    IqRec r;
    EXPECT_EQ(LoadColumns(d, 10, r), IQ_ERR_ABORT);
    EXPECT_EQ(EscFlg, 0);
    EXPECT_EQ(r.I, nullptr);
    fs::remove_all(d);
}
