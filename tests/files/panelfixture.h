// A fresh set of panels and an empty data state for each test, a private
// folder for the files, and the steps a person takes on the two panels.
#pragma once

#include "VmKalLib.h"
#include "common/panels_fixture.h"
#include "common/test_files.h"
#include "files/formats.h"
#include "files/loadpanel.h"
#include "files/savepanel.h"
#include "shell/startup.h"
#include "state/globals.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct Samples {
    std::vector<float> i, q;
};

// n samples of a saw tooth (period 50 in I, 30 in Q) around the offset.
inline Samples Ramp(int n, float offset = 0)
{
    Samples x;
    for (int k = 0; k < n; ++k) {
        x.i.push_back(offset + static_cast<float>(k % 50));
        x.q.push_back(offset - static_cast<float>(k % 30));
    }
    return x;
}

class PanelTest : public PanelsTest {
public:
    fs::path dir;

    void SetUp() override
    {
        ResetState();
        ASSERT_EQ(BuildPanels(), 0);
        ui_test::ClearPopups();
        dir = FreshTestDir("kalmira-files");
    }

    void TearDown() override
    {
        DiscardPanels({hRun, hLod, hSav, hSta, hDat});
        FreeIqRec(&s);
        fs::remove_all(dir);
    }

    static void ResetState()
    {
        ResetSamples();
        // File mode, whatever a test before left.
        TrcFlg = 0;
        std::memset(&d, 0, sizeof d);
        std::memset(&f, 0, sizeof f);
        NGrd = AppFlg = FExI = FExQ = 0;
        SrcDir[0] = DstDir[0] = '\0';
    }

    std::string Path(const std::string &name) const { return (dir / name).string(); }

    // Writes samples with the library's writer of a format.
    static int Write(int typ, const std::string &i, const std::string &q, const Samples &x,
                     float rate = 0)
    {
        IqRec r{};
        std::snprintf(r.INam, sizeof r.INam, "%s", i.c_str());
        std::snprintf(r.QNam, sizeof r.QNam, "%s", q.c_str());
        r.Typ = typ;
        r.Len = static_cast<int>(x.i.size());
        r.I = const_cast<float *>(x.i.data());
        r.Q = const_cast<float *>(x.q.data());
        r.Rat = rate;
        return IqFormatAt(typ)->save(r);
    }

    static Samples Read(int typ, const std::string &i, const std::string &q, int *status = nullptr)
    {
        IqRec r{};
        std::snprintf(r.INam, sizeof r.INam, "%s", i.c_str());
        std::snprintf(r.QNam, sizeof r.QNam, "%s", q.c_str());
        r.Typ = typ;
        int st = LoadDatFile(&r);
        if (status)
            *status = st;
        Samples out;
        if (st == 0 && r.I) {
            out.i.assign(r.I, r.I + r.Len);
            out.q.assign(r.Q, r.Q + r.Len);
        }
        FreeIqRec(&r);
        return out;
    }

    static void ChooseLoad(int typ, const std::string &i, const std::string &q)
    {
        ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, typ), 0);
        ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, i);
        ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
        if (t[typ].Files == 2) {
            ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, q);
            ASSERT_EQ(ui_test::UserClick(hLod, LO_Q), 0);
        }
    }

    static void LoadThroughPanel(int typ, const std::string &i, const std::string &q)
    {
        ChooseLoad(typ, i, q);
        ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
    }

    static void ChooseSave(int typ, const std::string &i, const std::string &q)
    {
        ASSERT_EQ(ui_test::UserSetVal(hSav, SA_TYP, typ), 0);
        int exists = fs::exists(i) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
        ui_test::QueueFileSelect(exists, i);
        ASSERT_EQ(ui_test::UserClick(hSav, SA_I), 0);
        if (t[typ].Files == 2) {
            exists = fs::exists(q) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
            ui_test::QueueFileSelect(exists, q);
            ASSERT_EQ(ui_test::UserClick(hSav, SA_Q), 0);
        }
    }
};
