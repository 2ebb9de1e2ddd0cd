// Format detection: files of every writer, the read-only formats, names that
// say nothing or too much, and inputs that must not be opened.
#include "VmKalLib.h"
#include "iqfiles_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Found {
    int n = 0;
    std::vector<int> formats;
    int how = -1;
};

Found Detect(const fs::path &p, int flags)
{
    Found f;
    int found[IQ_NFMT];
    f.n = IqDetectFormat(p.c_str(), flags, found, IQ_NFMT, &f.how);
    f.formats.assign(found, found + std::max(f.n, 0));
    return f;
}

void Put(const fs::path &p, const std::string &bytes) { std::ofstream(p, std::ios::binary) << bytes; }

void PutBE(std::string &b, size_t at, uint64_t v, int n)
{
    for (int k = 0; k < n; ++k)
        b[at + size_t(k)] = char(v >> (8 * (n - 1 - k)));
}

class Detection : public IqFilesTest {
protected:
    Detection() : IqFilesTest("iqdetect") {}
    void SetUp() override
    {
        IqFilesTest::SetUp();
        FillData(data, 20);
    }
    // A file of format typ written by its writer under name (and name2).
    void Write(int typ, const char *name, const char *name2 = "q.x")
    {
        const IqFormat *f = IqFormatAt(typ);
        ASSERT_EQ(f->save(Named(data, {typ, f->save, f->files}, at(name), at(name2))), 0) << name;
    }
    Rec data;
};

constexpr int kOne = IQ_DETECT_ONE_FILE, kTwo = IQ_DETECT_TWO_FILES;

} // namespace

// Each writer's file is found as its own format: from the content alone
// where the content tells, with the name where the content leaves a choice.
TEST_F(Detection, EveryWrittenFileIsFoundAsItsFormat)
{
    struct Case {
        int typ;
        const char *name;
        int flags;
        std::vector<int> want;
        int how;
    } cases[] = {
        {0, "a.ibn", kOne, {0}, IQ_FOUND_BY_CONTENT},
        {4, "a.mat", kOne, {4}, IQ_FOUND_BY_CONTENT},
        {3, "b.mat", kTwo, {3}, IQ_FOUND_BY_CONTENT},
        {8, "a.dsp", kOne, {8}, IQ_FOUND_BY_CONTENT},
        {7, "a.i", kTwo, {7}, IQ_FOUND_BY_CONTENT},
        {12, "a.ascsig", kOne, {12}, IQ_FOUND_BY_CONTENT_AND_NAME}, // SPW or ADS: the name chose
        {11, "b.ascsig", kTwo, {11}, IQ_FOUND_BY_CONTENT_AND_NAME},
        {14, "b.asg", kTwo, {14}, IQ_FOUND_BY_CONTENT_AND_NAME},
        {15, "a.asg", kOne, {15}, IQ_FOUND_BY_CONTENT},
        {13, "a.sig", kOne, {13}, IQ_FOUND_BY_CONTENT},
        {16, "a.wav", kOne, {16}, IQ_FOUND_BY_CONTENT},
        {19, "a.sym", kOne, {19}, IQ_FOUND_BY_CONTENT},
        {24, "a.sigmf-meta", kOne, {24}, IQ_FOUND_BY_CONTENT},
        {22, "a.kal", kOne, {22}, IQ_FOUND_BY_NAME},
        // Plain numbers: every format that uses the name is named.
        {5, "c.i", kTwo, {5, 7, 9, 18, 20}, IQ_FOUND_BY_NAME},
        {2, "a.asc", kOne, {2, 23}, IQ_FOUND_BY_NAME},
        {6, "a.dat", kOne, {6, 10}, IQ_FOUND_BY_NAME},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.typ, c.name);
        Found f = Detect(at(c.name), c.flags);
        EXPECT_EQ(f.formats, c.want);
        EXPECT_EQ(f.n, int(c.want.size()));
        EXPECT_EQ(f.how, c.how);
    }
    // The dataset of a recording is raw samples, known by its metadata beside it.
    Found d = Detect(at("a.sigmf-data"), 0);
    EXPECT_EQ(d.formats, std::vector<int>{24});
    EXPECT_EQ(d.how, IQ_FOUND_BY_CONTENT);
}

// Without a name that helps, content that tells stands alone; where it
// leaves a choice the candidates are all named; a name alone is only taken
// where no content tells.
TEST_F(Detection, ContentDecidesAndTheNameChoosesWhatItLeavesOpen)
{
    Write(0, "ibn.kal"); // a Tessera file with KAL's ending
    EXPECT_EQ(Detect(at("ibn.kal"), 0).formats, std::vector<int>{0});
    Write(4, "mat.bin");
    EXPECT_EQ(Detect(at("mat.bin"), 0).formats, (std::vector<int>{3, 4}));
    Write(15, "ads.txt");
    EXPECT_EQ(Detect(at("ads.txt"), kOne).formats, std::vector<int>{15}) << "the header names ADS";
    Write(12, "spw.txt");
    EXPECT_EQ(Detect(at("spw.txt"), kOne).formats, (std::vector<int>{12, 15}));
    Write(13, "bin.txt");
    EXPECT_EQ(Detect(at("bin.txt"), 0).formats, std::vector<int>{13});
    Write(24, "rec");
    fs::rename(at("rec.sigmf-meta"), at("meta.json"));
    EXPECT_EQ(Detect(at("meta.json"), 0).formats, std::vector<int>{24});
    Write(22, "kal.bin");
    Found none = Detect(at("kal.bin"), 0);
    EXPECT_EQ(none.n, 0);
    EXPECT_EQ(none.how, IQ_FOUND_NONE);

    // A content that no format of the asked file count has: the name decides.
    Write(16, "w.wav");
    EXPECT_EQ(Detect(at("w.wav"), kTwo).n, 0);
    // Only writable formats: ASCII without line feeds cannot be written.
    EXPECT_EQ(Detect(at("x.asc"), kOne | IQ_DETECT_WRITABLE | IQ_DETECT_NAME_ONLY).formats, std::vector<int>{2});
    EXPECT_EQ(Detect(at("X.SIGMF-DATA"), IQ_DETECT_NAME_ONLY).formats, std::vector<int>{24});
    EXPECT_EQ(Detect(at(".kal"), IQ_DETECT_NAME_ONLY).n, 0) << "an ending is not a name";
}

// A dataset in capitals is known by the metadata beside it; an archive is
// taken to its reader (which says it must be unpacked) but never chosen as
// a name to write.
TEST_F(Detection, SigMFNamesInCapitalsAndArchives)
{
    Write(24, "UP.SIGMF-META");
    Found d = Detect(at("UP.SIGMF-DATA"), kOne);
    EXPECT_EQ(d.formats, std::vector<int>{24});
    EXPECT_EQ(d.how, IQ_FOUND_BY_CONTENT);
    Put(at("rec.sigmf"), std::string(512, '\0'));
    Found a = Detect(at("rec.sigmf"), kOne);
    EXPECT_EQ(a.formats, std::vector<int>{24});
    EXPECT_EQ(a.how, IQ_FOUND_BY_NAME);
    EXPECT_EQ(Detect(at("REC.SIGMF"), IQ_DETECT_NAME_ONLY).formats, std::vector<int>{24});
    EXPECT_EQ(Detect(at("new.sigmf"), kOne | IQ_DETECT_WRITABLE | IQ_DETECT_NAME_ONLY).n, 0);
}

// The read-only formats that have a header: LeCroy traces by their
// descriptor, AWG files by a size that matches their count, MAT v4 files by
// a first variable that fits.
TEST_F(Detection, ReadOnlyAndHeaderlessLayoutsAreKnownByTheirStructure)
{
    std::string trc(11 + 346 + 8, '\0');
    std::memcpy(trc.data(), "#9000000354", 11);
    PutBE(trc, 47, 346, 4);
    PutBE(trc, 71, 8, 4);
    PutBE(trc, 127, 4, 4);
    Put(at("t.bin"), trc);
    EXPECT_EQ(Detect(at("t.bin"), kTwo).formats, std::vector<int>{17});
    std::string noDigits = trc;
    noDigits[5] = 'x';
    Put(at("t.bin"), noDigits);
    EXPECT_EQ(Detect(at("t.bin"), kTwo).n, 0) << "a descriptor that fits is not enough";
    PutBE(trc, 127, 400, 4); // more points than the file holds
    Put(at("t.bin"), trc);
    EXPECT_EQ(Detect(at("t.bin"), kTwo).n, 0);
    std::memcpy(trc.data() + 11, "WAVEDESC", 8);
    Put(at("t.bin"), trc);
    EXPECT_EQ(Detect(at("t.bin"), kTwo).formats, std::vector<int>{17});

    std::string wfm(102 + 2 * 5, '\0');
    PutBE(wfm, 30, 5, 4);
    PutBE(wfm, 68, 0x3FF0000000000000ull, 8); // 1.0
    Put(at("w.bin"), wfm);
    EXPECT_EQ(Detect(at("w.bin"), 0).formats, std::vector<int>{21});
    Put(at("w.bin"), wfm + "x");
    EXPECT_EQ(Detect(at("w.bin"), 0).n, 0);
    Put(at("w.wfm"), wfm + "x");
    EXPECT_EQ(Detect(at("w.wfm"), kTwo).how, IQ_FOUND_BY_NAME);

    // MAT v4: a little-endian double matrix "a" of 1 x 2.
    std::string v4(20, '\0');
    v4[4] = 1;  // rows
    v4[8] = 2;  // columns
    v4[16] = 2; // name length with its NUL
    v4 += std::string("a\0", 2) + std::string(16, '\0');
    Put(at("m.bin"), v4);
    EXPECT_EQ(Detect(at("m.bin"), kOne).formats, std::vector<int>{4});
    Put(at("m.bin"), v4.substr(0, v4.size() - 1));
    EXPECT_EQ(Detect(at("m.bin"), kOne).n, 0) << "a variable longer than the file is no MAT file";
}

// Missing files and folders are errors; a pipe is never opened (that would
// wait for a writer, and what it delivers would be lost): its name decides.
TEST_F(Detection, WhatCannotBeReadIsJudgedByNameOrRefused)
{
    errno = 0;
    EXPECT_EQ(Detect(at("none.kal"), 0).n, -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(Detect(at("none.kal"), IQ_DETECT_NAME_ONLY).formats, std::vector<int>{22});
    fs::create_directory(at("d.kal"));
    EXPECT_EQ(Detect(at("d.kal"), 0).n, -1);
    EXPECT_EQ(errno, EISDIR);
    ASSERT_EQ(mkfifo(at("p.kal").c_str(), 0600), 0);
    EXPECT_EQ(Detect(at("p.kal"), 0).formats, std::vector<int>{22});
    ASSERT_EQ(mkfifo(at("p.sigmf-meta").c_str(), 0600), 0);
    Put(at("p.sigmf-data"), "");
    Found beside = Detect(at("p.sigmf-data"), 0);
    EXPECT_EQ(beside.formats, std::vector<int>{24});
    EXPECT_EQ(beside.how, IQ_FOUND_BY_NAME) << "the metadata beside it is a pipe";
    int one = -1;
    EXPECT_EQ(IqDetectFormat(at("x.kal").c_str(), IQ_DETECT_NAME_ONLY, &one, 1, nullptr), 1);
    EXPECT_EQ(one, 22);
    EXPECT_EQ(IqDetectFormat(at("x.i").c_str(), IQ_DETECT_NAME_ONLY, &one, 1, nullptr), 5) << "all are counted";
    EXPECT_EQ(IqDetectFormat(nullptr, 0, nullptr, 0, nullptr), -1);
}
