// What the file-format tests share: a record that owns its arrays, and a
// private folder per test.
#pragma once

#include "VmKalLib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

// A record that owns its arrays for the test's lifetime.
struct Rec : IqRec {
    Rec() : IqRec{} {}
    Rec(const std::filesystem::path &i, const std::filesystem::path &q = {}) : IqRec{}
    {
        std::snprintf(INam, sizeof INam, "%s", i.c_str());
        std::snprintf(QNam, sizeof QNam, "%s", q.c_str());
    }
    ~Rec() { FreeIqRec(this); }
    Rec(const Rec &) = delete;
    Rec &operator=(const Rec &) = delete;
    // Arrays as a load leaves them: one spare element each, zeroed.
    void fill(const std::vector<float> &i, const std::vector<float> &q)
    {
        FreeIqRec(this);
        Len = int(i.size());
        I = static_cast<float *>(calloc(i.size() + 1, sizeof(float)));
        Q = static_cast<float *>(calloc(q.size() + 1, sizeof(float)));
        std::copy(i.begin(), i.end(), I);
        std::copy(q.begin(), q.end(), Q);
    }
    bool empty() const { return I == nullptr && Q == nullptr; }
    // A by-value record for a writer: r's arrays under another file name.
    static IqRec Copy(const IqRec &r, const std::filesystem::path &name)
    {
        IqRec c = r;
        std::snprintf(c.INam, sizeof c.INam, "%s", name.c_str());
        return c;
    }
};

// ---- every writer, with data that every format can hold

// Samples of the records that go through every format: enough that binary
// data needs reads larger than a stdio buffer.
inline constexpr int kSamples = 30000;

// Each writer once, with a format index that uses it: the writers whose
// file is INam (and QNam).  A SigMF recording is two files named after INam;
// sigmf_test.cpp checks the same policy on those.
struct Writer {
    int typ;
    int (*save)(IqRec);
    int files;
};

inline std::vector<Writer> Writers()
{
    std::vector<Writer> w;
    std::set<int (*)(IqRec)> seen;
    for (int t = 0; t < IQ_NFMT; ++t)
        if (const IqFormat *f = IqFormatAt(t); f->save && f->save != SaveSigMF && seen.insert(f->save).second)
            w.push_back({t, f->save, f->files});
    return w;
}

// A record of kSamples samples (or n) that every format can hold.
inline void FillData(Rec &r, int n = kSamples)
{
    std::vector<float> i(static_cast<size_t>(n)), q(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        i[size_t(k)] = float(k % 200 - 100) * 0.25f;
        q[size_t(k)] = float((k * 7) % 150 - 75) * 0.5f;
    }
    r.fill(i, q);
    r.Rat = 1e6f;
}

// The record r as a writer of w.typ takes it, under the names i and q (q is
// not used by one-file formats).
inline IqRec Named(const IqRec &r, const Writer &w, const std::filesystem::path &i,
                   const std::filesystem::path &q = {})
{
    IqRec c = r;
    c.Typ = w.typ;
    std::snprintf(c.INam, sizeof c.INam, "%s", i.c_str());
    std::snprintf(c.QNam, sizeof c.QNam, "%s", q.c_str());
    return c;
}

inline bool SameSamples(const IqRec &a, const IqRec &b)
{
    return a.Len == b.Len && a.I && b.I && std::memcmp(a.I, b.I, sizeof(float) * size_t(a.Len)) == 0 &&
           std::memcmp(a.Q, b.Q, sizeof(float) * size_t(a.Len)) == 0;
}

// The text of a file without its DATE and TIME lines (DaDisp stamps them).
inline std::string Undated(const std::string &text)
{
    std::string out;
    size_t from = 0;
    while (from < text.size()) {
        size_t lf = text.find('\n', from);
        size_t end = lf == std::string::npos ? text.size() : lf + 1;
        std::string line = text.substr(from, end - from);
        if (line.rfind("DATE ", 0) != 0 && line.rfind("TIME ", 0) != 0)
            out += line;
        from = end;
    }
    return out;
}

// A fresh folder under /tmp for each test, removed with its files after it;
// the abort flag a previous test may have raised is cleared.
class IqFilesTest : public ::testing::Test {
protected:
    explicit IqFilesTest(std::string prefix) : prefix_(std::move(prefix)) {}
    void SetUp() override
    {
        std::string tmpl = "/tmp/" + prefix_ + "XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        EscFlg = 0;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path at(const char *name) const { return dir / name; }
    std::filesystem::path dir;

private:
    std::string prefix_;
};
