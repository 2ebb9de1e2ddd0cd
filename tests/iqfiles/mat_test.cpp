// MAT files: round trips, files exchanged with scipy.io (run by Debian's
// /usr/bin/python3), v7.3, and files that must be refused without arrays.
#include "common/test_files.h"
#include "VmKalLib.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class MatFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = FreshTestDir("kalmira-mat").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string &name) const { return dir_ + "/" + name; }

    // Runs a Python script with scipy; numpy is imported as np, scipy.io as sio,
    // and the working directory is the test's directory.
    int Py(const std::string &body) const
    {
        std::string script = Path("script.py");
        std::ofstream(script) << "import os, numpy as np, scipy.io as sio\nos.chdir('" << dir_
                              << "')\n" << body << "\n";
        return std::system(("/usr/bin/python3 " + script).c_str());
    }

    static IqRec Rec(const std::string &i, const std::string &q = "")
    {
        IqRec r{};
        snprintf(r.INam, sizeof r.INam, "%s", i.c_str());
        snprintf(r.QNam, sizeof r.QNam, "%s", q.c_str());
        return r;
    }

    std::string dir_;
};

// Data with values a float holds exactly, of both signs and many magnitudes.
void Fill(IqRec &r, int n)
{
    r.Len = n;
    r.I = static_cast<float *>(calloc(n ? n : 1, sizeof(float)));
    r.Q = static_cast<float *>(calloc(n ? n : 1, sizeof(float)));
    for (int k = 0; k < n; ++k) {
        r.I[k] = float(k) * 0.25f - 1000.0f;
        r.Q[k] = std::ldexp(float(k % 97) - 48.5f, k % 61 - 30);
    }
}

void ExpectEmpty(const IqRec &r)
{
    EXPECT_EQ(r.I, nullptr);
    EXPECT_EQ(r.Q, nullptr);
    EXPECT_EQ(r.Len, 0);
}

TEST_F(MatFiles, BothFormatsRoundTripExactlyAndKeepTheRate)
{
    IqRec src = Rec(Path("mix.mat"));
    Fill(src, 60001); // crosses two progress steps
    ASSERT_EQ(SaveMLabMix(src), 0);
    IqRec two = src;
    snprintf(two.INam, sizeof two.INam, "%s", Path("i.mat").c_str());
    snprintf(two.QNam, sizeof two.QNam, "%s", Path("q.mat").c_str());
    ASSERT_EQ(SaveMLabSgl(two), 0);

    for (int typ : {4, 3}) {
        IqRec r = typ == 4 ? Rec(Path("mix.mat")) : Rec(Path("i.mat"), Path("q.mat"));
        r.Typ = typ;
        r.Rat = 1234.5f;
        ASSERT_EQ(LoadDatFile(&r), 0) << typ;
        ASSERT_EQ(r.Len, src.Len);
        EXPECT_EQ(memcmp(r.I, src.I, sizeof(float) * src.Len), 0);
        EXPECT_EQ(memcmp(r.Q, src.Q, sizeof(float) * src.Len), 0);
        EXPECT_EQ(r.Rat, 1234.5f);
        FreeIqRec(&r);
    }
    FreeIqRec(&src);
    // Nothing but the written files stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
}

TEST_F(MatFiles, ScipyReadsWhatWeWrite)
{
    IqRec src = Rec(Path("mix.mat"));
    Fill(src, 5000);
    ASSERT_EQ(SaveMLabMix(src), 0);
    snprintf(src.INam, sizeof src.INam, "%s", Path("i.mat").c_str());
    snprintf(src.QNam, sizeof src.QNam, "%s", Path("q.mat").c_str());
    ASSERT_EQ(SaveMLabSgl(src), 0);
    FreeIqRec(&src);
    IqRec empty = Rec(Path("empty.mat"));
    ASSERT_EQ(SaveMLabMix(empty), 0);
    EXPECT_EQ(Py("k = np.arange(5000)\n"
                 "i = (k * 0.25 - 1000).astype(np.float32).astype(float)\n"
                 "q = np.ldexp(k % 97 - 48.5, k % 61 - 30).astype(np.float32).astype(float)\n"
                 "m = sio.loadmat('mix.mat')\n"
                 "assert [n for n in m if not n.startswith('__')] == ['I', 'Q']\n"
                 "assert m['I'].shape == (1, 5000) and m['I'].dtype == np.float64\n"
                 "assert (m['I'][0] == i).all() and (m['Q'][0] == q).all()\n"
                 "a, b = sio.loadmat('i.mat'), sio.loadmat('q.mat')\n"
                 "assert 'Q' not in a and 'I' not in b\n"
                 "assert (a['I'][0] == i).all() and (b['Q'][0] == q).all()\n"
                 "e = sio.loadmat('empty.mat')\n"
                 "assert e['I'].size == 0 and e['Q'].size == 0\n"),
              0);
}

TEST_F(MatFiles, ScipyFilesLoadInStorageOrderWhateverTheirLayout)
{
    ASSERT_EQ(Py("m = np.arange(12.0).reshape(3, 4)\n"
                 "sio.savemat('rows.mat', {'a': m, 'b': -m})\n"
                 "sio.savemat('cols.mat', {'a': np.arange(6.0).reshape(6, 1), 'b': np.ones((6, 1))})\n"
                 "sio.savemat('zip.mat', {'a': np.sin(np.arange(70000.0)), 'b': np.arange(70000.0)},"
                 " do_compression=True)\n"
                 "sio.savemat('v4.mat', {'a': m, 'b': m + 100}, format='4')\n"
                 "sio.savemat('ints.mat', {'a': np.arange(-3, 3, dtype=np.int16),"
                 " 'b': np.arange(6, dtype=np.float32) / 4})\n"
                 "sio.savemat('i.mat', {'x': np.arange(1000.0)})\n"
                 "sio.savemat('q.mat', {'y': np.arange(900.0) + 0.5})\n"
                 "sio.savemat('one.mat', {'x': np.arange(3.0)})\n"
                 "sio.savemat('none.mat', {})\n"
                 "import struct\n"
                 "def v4be(name, a):\n"
                 "    return struct.pack('>5i', 1000, a.shape[0], a.shape[1], 0, len(name) + 1)"
                 " + name + b'\\0' + a.T.astype('>f8').tobytes()\n"
                 "open('v4be.mat', 'wb').write(v4be(b'a', m) + v4be(b'b', m * 2))\n"
                 "def v5be(name, a):\n"
                 "    body = struct.pack('>4I', 6, 8, 9, 0) + struct.pack('>2I2i', 5, 8, *a.shape)"
                 " + struct.pack('>HH', 1, len(name)) + name.ljust(4, b'\\0')"
                 " + struct.pack('>2I', 3, 2 * a.size) + a.T.astype('>i2').tobytes()\n"
                 "    body += b'\\0' * (-len(body) % 8)\n"
                 "    return struct.pack('>2I', 14, len(body)) + body\n"
                 "hdr = b'MATLAB 5.0 MAT-file'.ljust(116) + b'\\0' * 8 + b'\\x01\\x00MI'\n"
                 "open('v5be.mat', 'wb').write(hdr + v5be(b'a', m) + v5be(b'b', -m))\n"),
              0);

    IqRec r = Rec(Path("rows.mat"));
    ASSERT_EQ(LoadMLabMix(&r), 0);
    ASSERT_EQ(r.Len, 12);
    const float colMajor[] = {0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(r.I[k], colMajor[k]);
        EXPECT_EQ(r.Q[k], -colMajor[k]);
    }
    FreeIqRec(&r);

    r = Rec(Path("cols.mat"));
    ASSERT_EQ(LoadMLabMix(&r), 0);
    ASSERT_EQ(r.Len, 6);
    EXPECT_EQ(r.I[5], 5.0f);
    EXPECT_EQ(r.Q[5], 1.0f);
    FreeIqRec(&r);

    r = Rec(Path("zip.mat"));
    ASSERT_EQ(LoadMLabMix(&r), 0);
    ASSERT_EQ(r.Len, 70000);
    EXPECT_EQ(r.I[69999], float(std::sin(69999.0)));
    EXPECT_EQ(r.Q[69999], 69999.0f);
    FreeIqRec(&r);

    r = Rec(Path("v4.mat"));
    ASSERT_EQ(LoadMLabMix(&r), 0);
    ASSERT_EQ(r.Len, 12);
    EXPECT_EQ(r.I[1], 4.0f);
    EXPECT_EQ(r.Q[11], 111.0f);
    FreeIqRec(&r);

    // Big-endian files: v4 doubles, and v5 doubles stored as int16 values.
    for (const char *name : {"v4be.mat", "v5be.mat"}) {
        r = Rec(Path(name));
        ASSERT_EQ(LoadMLabMix(&r), 0) << name;
        ASSERT_EQ(r.Len, 12);
        for (int k = 0; k < 12; ++k) {
            EXPECT_EQ(r.I[k], colMajor[k]) << name;
            EXPECT_EQ(r.Q[k], colMajor[k] * (name[1] == '4' ? 2 : -1)) << name;
        }
        FreeIqRec(&r);
    }

    r = Rec(Path("ints.mat"));
    ASSERT_EQ(LoadMLabMix(&r), 0);
    ASSERT_EQ(r.Len, 6);
    EXPECT_EQ(r.I[0], -3.0f);
    EXPECT_EQ(r.Q[5], 1.25f);
    FreeIqRec(&r);

    r = Rec(Path("i.mat"), Path("q.mat"));
    ASSERT_EQ(LoadMLabSgl(&r), 0);
    ASSERT_EQ(r.Len, 900);
    EXPECT_EQ(r.I[899], 899.0f);
    EXPECT_EQ(r.Q[899], 899.5f);
    FreeIqRec(&r);

    // Too few variables, and the codes that say which file lacks them.
    r = Rec(Path("one.mat"));
    EXPECT_EQ(LoadMLabMix(&r), IQ_ERR_OPEN1);
    ExpectEmpty(r);
    r = Rec(Path("none.mat"), Path("q.mat"));
    EXPECT_EQ(LoadMLabSgl(&r), IQ_ERR_OPEN1);
    ExpectEmpty(r);
    r = Rec(Path("i.mat"), Path("none.mat"));
    EXPECT_EQ(LoadMLabSgl(&r), IQ_ERR_MAT_Q);
    ExpectEmpty(r);
    r = Rec(Path("i.mat"), Path("missing.mat"));
    EXPECT_EQ(LoadMLabSgl(&r), IQ_ERR_OPEN2);
    ExpectEmpty(r);
    r = Rec(Path("missing.mat"), Path("q.mat"));
    EXPECT_EQ(LoadMLabSgl(&r), IQ_ERR_OPEN1);
    ExpectEmpty(r);
}

TEST_F(MatFiles, Version73FilesLoadTheirFirstVariablesByName)
{
    // Written by libmatio: "b" = -k first, then "a" = k/2 compressed, both 3 x 100.
    IqRec r = Rec(KALMIRA_TEST_DATA "/mat_v73.mat");
    ASSERT_EQ(LoadMLabMix(&r), 0);
    ASSERT_EQ(r.Len, 300);
    EXPECT_EQ(r.I[299], 149.5f);
    EXPECT_EQ(r.Q[299], -299.0f);
    FreeIqRec(&r);

    std::ifstream in(KALMIRA_TEST_DATA "/mat_v73.mat", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t cut : {size_t(600), bytes.size() / 2, bytes.size() - 40}) {
        std::ofstream(Path("cut.mat"), std::ios::binary) << bytes.substr(0, cut);
        r = Rec(Path("cut.mat"));
        EXPECT_NE(LoadMLabMix(&r), 0) << cut;
        ExpectEmpty(r);
    }
}

TEST_F(MatFiles, Version73FilesThatTheHdf5LibraryMisreadsAreRefusedUnharmed)
{
    // A v7.3 file whose attribute message claims more bytes than it holds:
    // HDF5 reads past its own buffer on it and crashes (the sanitizer build
    // prints the reader process's report; it would fail this test if it
    // happened in this process).  Both readers refuse it, the Q file of a
    // pair too, and no reader process is left behind.
    const std::string bad = KALMIRA_TEST_DATA "/mat_v73_bad_attribute.mat";
    IqRec r = Rec(bad);
    EXPECT_EQ(LoadMLabMix(&r), IQ_ERR_FORMAT);
    ExpectEmpty(r);
    r = Rec(bad);
    EXPECT_EQ(LoadMLabSgl(&r), IQ_ERR_FORMAT);
    ExpectEmpty(r);
    r = Rec(KALMIRA_TEST_DATA "/mat_v73.mat", bad);
    EXPECT_EQ(LoadMLabSgl(&r), IQ_ERR_FORMAT);
    ExpectEmpty(r);

    // A good file still loads after them; Abort ends its load too; every
    // reader was reaped.
    r = Rec(KALMIRA_TEST_DATA "/mat_v73.mat");
    ASSERT_EQ(LoadMLabMix(&r), 0);
    EXPECT_EQ(r.Len, 300);
    FreeIqRec(&r);
    IqSetEventHook([] { EscFlg = 1; });
    r = Rec(KALMIRA_TEST_DATA "/mat_v73.mat");
    EXPECT_EQ(LoadMLabMix(&r), IQ_ERR_ABORT);
    IqSetEventHook(nullptr);
    ExpectEmpty(r);
    EXPECT_EQ(EscFlg, 0);
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(MatFiles, MalformedFilesGiveAStatusAndNoArrays)
{
    ASSERT_EQ(Py("n = np.arange(5000.0)\n"
                 "sio.savemat('plain.mat', {'a': n, 'b': n})\n"
                 "sio.savemat('zip.mat', {'a': np.sin(n), 'b': n}, do_compression=True)\n"
                 "sio.savemat('v4.mat', {'a': n, 'b': n}, format='4')\n"
                 "for name in ['plain', 'zip', 'v4']:\n"
                 "    d = open(name + '.mat', 'rb').read()\n"
                 "    for k, cut in enumerate([10, 127, 200, len(d) // 2, len(d) - 9]):\n"
                 "        open('cut_%s_%d.mat' % (name, k), 'wb').write(d[:cut])\n"
                 "d = bytearray(open('zip.mat', 'rb').read())\n"
                 "for k in range(300, 1300): d[k] ^= 0x5a\n"
                 "open('bad_zip.mat', 'wb').write(d)\n"
                 "sio.savemat('struct.mat', {'a': {'x': 1.0}, 'b': n})\n"
                 "sio.savemat('cell.mat', {'a': np.array([1.0, 'x'], dtype=object), 'b': n})\n"
                 "sio.savemat('char.mat', {'a': 'text', 'b': n})\n"
                 "sio.savemat('complex.mat', {'a': n + 1j, 'b': n})\n"
                 "sio.savemat('complex4.mat', {'a': n + 1j, 'b': n}, format='4')\n"
                 "sio.savemat('empty.mat', {'a': np.zeros((0, 0)), 'b': n})\n"
                 "sio.savemat('qempty.mat', {'a': n, 'b': np.zeros((1, 0))})\n"
                 "import scipy.sparse\n"
                 "sio.savemat('sparse.mat', {'a': scipy.sparse.eye(4).tocsc(), 'b': n})\n"
                 "sio.savemat('tiny.mat', {'a': np.arange(3.0), 'b': np.arange(3.0)})\n"
                 "d = bytearray(open('tiny.mat', 'rb').read())\n"
                 "i = d.find(bytes([5, 0, 0, 0, 8, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0]))\n"
                 "assert i > 0\n"
                 "d[i + 12:i + 16] = (0x40000000).to_bytes(4, 'little')\n"
                 "open('huge.mat', 'wb').write(d)\n"
                 "d[i + 12:i + 16] = (4).to_bytes(4, 'little')\n"
                 "open('short.mat', 'wb').write(d)\n"
                 "open('text.mat', 'w').write('1.0 2.0\\n3.0 4.0\\n')\n"
                 "open('zero.mat', 'wb').close()\n"),
              0);

    std::vector<std::string> bad = {"bad_zip", "struct", "cell", "char", "complex", "complex4",
                                    "sparse", "huge", "short", "text", "zero"};
    for (const char *name : {"plain", "zip", "v4"})
        for (int k = 0; k < 5; ++k)
            bad.push_back(std::string("cut_") + name + "_" + std::to_string(k));
    for (const std::string &name : bad) {
        IqRec r = Rec(Path(name + ".mat"));
        int st = LoadMLabMix(&r);
        EXPECT_LT(st, 0) << name;
        ExpectEmpty(r);
        EXPECT_NE(std::string(IqStatusText(st)), "") << name;
    }
    // An empty variable is an empty record, not an error: the shorter
    // variable sets the count.
    for (const char *name : {"empty", "qempty"}) {
        IqRec r = Rec(Path(std::string(name) + ".mat"));
        EXPECT_EQ(LoadMLabMix(&r), 0) << name;
        EXPECT_EQ(r.Len, 0) << name;
        FreeIqRec(&r);
    }
    // The two-file reader refuses a bad Q file as well as a bad I file.
    IqRec r = Rec(Path("plain.mat"), Path("complex.mat"));
    EXPECT_EQ(LoadMLabSgl(&r), IQ_ERR_FORMAT);
    ExpectEmpty(r);
    r = Rec(Path("char.mat"), Path("plain.mat"));
    EXPECT_EQ(LoadMLabSgl(&r), IQ_ERR_FORMAT);
    ExpectEmpty(r);
}

int g_hookCalls = 0;
void AbortFromHook()
{
    if (++g_hookCalls == 2)
        EscFlg = 1;
}

TEST_F(MatFiles, AbortDuringALoadLeavesNothing)
{
    IqRec src = Rec(Path("mix.mat"));
    Fill(src, 80000);
    ASSERT_EQ(SaveMLabMix(src), 0);
    FreeIqRec(&src);
    IqSetEventHook(AbortFromHook);
    IqRec r = Rec(Path("mix.mat"));
    EXPECT_EQ(LoadMLabMix(&r), IQ_ERR_ABORT);
    IqSetEventHook(nullptr);
    ExpectEmpty(r);
    EXPECT_EQ(EscFlg, 0);
    EXPECT_EQ(g_hookCalls, 2);
}

TEST_F(MatFiles, AFailedSaveKeepsTheExistingFile)
{
    IqRec src = Rec(Path("no/such/dir/x.mat"));
    Fill(src, 10);
    EXPECT_EQ(SaveMLabMix(src), -1);

    // A name of 254 characters: the temporary file beside it takes a
    // shortened name, and the file is replaced as any other (relative, so
    // that the whole path fits into the record).
    std::string here = fs::current_path();
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    std::string longName = std::string(250, 'm') + ".mat";
    std::ofstream(longName) << "precious";
    snprintf(src.INam, sizeof src.INam, "%s", longName.c_str());
    EXPECT_EQ(SaveMLabMix(src), 0);
    IqRec back = Rec(longName.c_str());
    EXPECT_EQ(LoadMLabMix(&back), 0);
    EXPECT_EQ(back.Len, 10);
    FreeIqRec(&back);
    fs::remove(longName);
    ASSERT_EQ(chdir(here.c_str()), 0);

    // Arrays missing for a non-empty record.
    IqRec hollow = Rec(Path("h.mat"));
    hollow.Len = 5;
    EXPECT_EQ(SaveMLabMix(hollow), -1);
    FreeIqRec(&src);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0);
}

} // namespace
