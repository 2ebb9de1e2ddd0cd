// What the file-format tests share: a record that owns its arrays, and a
// private folder per test.
#pragma once

#include "VmKalLib.h"

#include <gtest/gtest.h>

#include <algorithm>
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
