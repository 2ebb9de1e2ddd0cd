// Every panel of the program, analyzer mode switched on as a person does it,
// and kalmira-sim on a free loopback port with its command log.
#pragma once

#include "VmKalLib.h"
#include "common/panels_fixture.h"
#include "common/sim_process.h"
#include "instrument/acquire.h"
#include "instrument/session.h"
#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "shell/mainpanel.h"
#include "shell/startup.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/statuspanel.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using Lines = std::vector<std::string>;

// The noise of the simulator's signal plus float rounding.
constexpr double kTol = 0.0102;

class TraceTest : public PanelsTest {
protected:
    std::string dir, log;
    std::unique_ptr<SimProcess> sim;
    size_t mark = 0;

    void SetUp() override
    {
        SetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, 0);
        ResetState();
        ASSERT_EQ(BuildPanels(), 0);
        ShowMainPanels();
        ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 1), 0);
        ui_test::ClearPopups();
        std::string tmpl = testing::TempDir() + "kalmira-instr-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        log = dir + "/sim.log";
    }

    void TearDown() override
    {
        viClose(a.Vi);
        a.Vi = 0;
        DiscardPanels({hRun, hSta, hDat});
        FreeIqRec(&s);
        IoBusy = 0;
        sim.reset();
        ::unsetenv("KALMIRA_GPIB_GATEWAY");
        std::filesystem::remove_all(dir);
    }

    static void ResetState()
    {
        ResetSamples();
        ResetAnalyzer();
        win = 0;
        fkt = lev = frq = att = 0;
    }

    // An analyzer of the model on a free port; extra options apply to it.
    void StartAnalyzer(const std::string &model, const Lines &extra = {})
    {
        Lines args{"--analyzer", model, "--port", "0", "--log", log};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<SimProcess>(args);
        ASSERT_TRUE(sim->started());
    }

    // A gateway with the model at GPIB address 20, found through the
    // environment as the program finds it; extra options apply to the model.
    void StartGateway(const std::string &model, const Lines &extra = {})
    {
        Lines args{"--gateway", "0", "--at", "20=" + model, "--log", log};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<SimProcess>(args);
        ASSERT_TRUE(sim->started());
        const std::string gw = "127.0.0.1:" + std::to_string(sim->gatewayPort());
        ::setenv("KALMIRA_GPIB_GATEWAY", gw.c_str(), 1);
    }

    // The model on a LAN port or at GPIB address 20 behind the gateway, and
    // chosen on the trace panel (with the LAN address) as a person does it.
    void StartAndChoose(int typ, const std::string &model, bool gateway, const Lines &extra = {})
    {
        if (gateway) {
            StartGateway(model, extra);
            ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_TYP, typ), 0);
        } else {
            StartAnalyzer(model, extra);
            UseLan(typ);
        }
    }

    // Model, interface and LAN address, as a person sets them.
    void UseLan(int typ, int port)
    {
        ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_TYP, typ), 0);
        ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_IFT, IFT_LAN), 0);
        const std::string addr = "127.0.0.1:" + std::to_string(port);
        ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_IPA, addr.c_str()), 0);
    }

    void UseLan(int typ) { UseLan(typ, sim->analyzerPort()); }

    static int Click(int ctrl) { return ui_test::UserClick(hTrc, ctrl); }

    // Test Dev, then a clean log so that the trace's commands stand alone.
    void Connect()
    {
        ASSERT_EQ(Click(TR_TST), 0);
        ASSERT_GT(a.Vi, 0u) << Messages();
        Truncate();
    }

    // Later reads of the log start after what is in it now.  (The simulator
    // keeps writing at its own offset, so the file is not truncated.)
    void Truncate() { mark = readLines(log).size(); }

    // The lines since the mark.  The simulator handles what was sent on its
    // own time: wait until the lines are the expected ones (or stop coming).
    Lines Log(const Lines &expected = {}) const
    {
        Lines got;
        for (int i = 0; i < 300; ++i) {
            const Lines all = readLines(log);
            got.assign(all.begin() + std::min(mark, all.size()), all.end());
            if (got == expected || (expected.empty() && i == 20) || got.size() > expected.size())
                break;
            ::usleep(10000);
        }
        return got;
    }

    void ExpectLog(const Lines &expected) const { EXPECT_EQ(Log(expected), expected); }

    static std::string Messages()
    {
        std::string all;
        for (const auto &p : ui_test::Popups())
            if (p.kind == "message")
                all += "[" + p.title + "] " + p.text + "\n";
        return all;
    }

    static int Beeps()
    {
        int n = 0;
        for (const auto &p : ui_test::Popups())
            n += p.kind == "beep";
        return n;
    }

    // Largest distance of the trace held from the simulator's tone (0.9 of
    // full scale at 1/16 of the sample rate; its noise stays within 0.01),
    // each sample weighted by w(k, n) from index `from` on; infinite when no
    // trace is held.
    template <class W>
    static double ToneError(W w, int from = 0)
    {
        const int n = HeldSamples();
        if (n == 0)
            return HUGE_VAL;
        double worst = 0;
        for (int k = from; k < n; ++k) {
            const double ph = 2.0 * M_PI * (k % 16) / 16.0;
            worst = std::max(worst, std::fabs(s.I[k] - w(k, n) * 0.9 * std::cos(ph)));
            worst = std::max(worst, std::fabs(s.Q[k] - w(k, n) * 0.9 * std::sin(ph)));
        }
        return worst;
    }

    static double ToneError() { return ToneError([](int, int) { return 1.0; }); }

    // Trace IQ, with no message, holds count samples of the tone.
    void ExpectTraceWorks(int count)
    {
        Truncate();
        ASSERT_EQ(Click(TR_TRC), 0);
        EXPECT_EQ(Messages(), "");
        EXPECT_EQ(DVal, 1);
        ASSERT_EQ(s.Len, count);
        EXPECT_LT(ToneError(), kTol);
    }
};

// What an acquisition sends after the device test, in order.
inline Lines TraceLines(int typ, const std::string &setLine, const Lines &jasper = {})
{
    Lines l{"DISP:TRAC:Y:RLEV?", "FREQ:CENT?", "INP:ATT?"};
    if (typ != DEV_AGATE)
        l.push_back("MMEM:STOR:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG';*WAI");
    l.insert(l.end(), jasper.begin(), jasper.end());
    for (const char *c : {"SYST:COMM:GPIB:RTER EOI", "TRAC:IQ ON"})
        l.push_back(c);
    l.push_back(setLine);
    for (const char *c : {"INIT:CONT OFF", "FORM REAL, 32", "*CLS;*SRE 48;*ESE 1", "TRAC:IQ:DATA?", "TRAC:IQ OFF"})
        l.push_back(c);
    if (typ != DEV_JASPER)
        l.push_back("MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG'");
    l.push_back("INIT:CONT ON");
    return l;
}

// The stop sequence of models other than the Agate.
inline Lines StopLines()
{
    return {"*RST;*CLS", "MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG'", "INIT:CONT ON"};
}
