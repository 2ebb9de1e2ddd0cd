// A capture with the Status window's Abort (or another action of the person)
// pressed part-way, on the LAN and through the GPIB gateway, and what the
// instrument heard afterwards.
#pragma once

#include "tracefixture.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

class AbortFixture : public TraceTest, public ::testing::WithParamInterface<bool> {
protected:
    using Clock = std::chrono::steady_clock;

    bool Gateway() const { return GetParam(); }

    // A Jasper with the extra options, tested, set to count samples (the
    // longest trace unless told).
    void ConnectJasper(Lines extra, int count = kMaxTraceLen)
    {
        extra.push_back("--log-bus");
        StartAndChoose(DEV_JASPER, "jasper", Gateway(), extra);
        Connect();
        ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, count), 0);
    }

    struct Watch {
        std::string at;
        int delayMs = 0;
        bool done = false;
        int ticks = 0;
        Clock::time_point pressed{};
    };

    // Presses Trace IQ and, delayMs after the progress text first starts
    // with `at`, Abort.  Returns the seconds from Abort to the end of the
    // trace; ticks counts a 20 ms timer of the window meanwhile.
    double TraceAndAbort(const std::string &at, int delayMs, int *ticks)
    {
        return TraceAndPress(at, delayMs, ticks, [] { ui_test::UserClick(hSta, ST_ABO); });
    }

    // The same with another action of the person in place of Abort.
    double TraceAndPress(const std::string &at, int delayMs, int *ticks, std::function<void()> press)
    {
        // Shared with the posted calls, which may outlive this function.
        auto w = std::make_shared<Watch>();
        w->at = at;
        w->delayMs = delayMs;
        auto tick = std::make_shared<std::function<void()>>();
        *tick = [w, tick] {
            if (w->done)
                return;
            ++w->ticks;
            ui_test::Post(*tick, 20);
        };
        auto watch = std::make_shared<std::function<void()>>();
        *watch = [w, watch, press] {
            if (w->done)
                return;
            if (Text(hSta, ST_MSG).rfind(w->at, 0) != 0)
                return ui_test::Post(*watch, 1);
            ui_test::Post([w, press] {
                w->pressed = Clock::now();
                press();
            }, w->delayMs);
        };
        ui_test::Post(*watch, 1);
        ui_test::Post(*tick, 20);
        EXPECT_EQ(Click(TR_TRC), 0);
        const auto end = Clock::now();
        w->done = true;
        *ticks = w->ticks;
        if (w->pressed == Clock::time_point{})
            return -1;
        return std::chrono::duration<double>(end - w->pressed).count();
    }

    // What the instrument heard after the data query: the clear (through the
    // gateway; on the LAN the connection is made anew), then the restore.
    void ExpectClearedAndRestored() const
    {
        // The simulator logs on its own time: wait for the last line.
        Lines got = Log();
        for (int i = 0; i < 300 && (got.empty() || got.back() != "<GTL>"); ++i) {
            ::usleep(10000);
            got = Log();
        }
        auto q = std::find(got.begin(), got.end(), "TRAC:IQ:DATA?");
        ASSERT_NE(q, got.end());
        Lines tail{"TRAC:IQ OFF", "INIT:CONT ON", "<GTL>"};
        if (Gateway())
            tail.insert(tail.begin(), "<SDC>");
        EXPECT_EQ(Lines(q + 1, got.end()), tail);
    }

    // The tone in I and Q below sample n.
    static double ToneErrorBelow(int n)
    {
        double worst = 0;
        for (int k = 0; k < n; ++k) {
            const double ph = 2.0 * M_PI * (k % 16) / 16.0;
            worst = std::max({worst, std::fabs(s.I[k] - 0.9 * std::cos(ph)), std::fabs(s.Q[k] - 0.9 * std::sin(ph))});
        }
        return worst;
    }

    static double DataRate()
    {
        double rate = -1;
        GetCtrlVal(hTrc, TR_DRAT, &rate);
        return rate;
    }

    // A trace cut short by Abort: part of it is held, consistently wherever
    // it shows, and what did not come is zero.
    static void ExpectPartHeld(int requested)
    {
        const int held = HeldSamples();
        ASSERT_GT(held, 0);
        ASSERT_LT(held, requested);
        EXPECT_EQ(DVal, 1);
        EXPECT_EQ(IntVal(hRun, RN_DVAL), 1);
        EXPECT_EQ(Dimmed(hRun, RN_SPEC), 0);
        EXPECT_EQ(StateLen(), held);
        EXPECT_LT(ToneErrorBelow(held), kTol);
        EXPECT_EQ(s.I[held], 0.0f);
        EXPECT_EQ(s.Q[held], 0.0f);
    }

    // Abort before a single sample pair was whole: nothing is held, as
    // after a failure but without its message.
    static void ExpectNothingHeld()
    {
        EXPECT_EQ(Messages(), "");
        EXPECT_EQ(HeldSamples(), 0);
        EXPECT_EQ(s.I, nullptr);
        EXPECT_EQ(DVal, 0);
        EXPECT_EQ(NewState, 0);
        EXPECT_EQ(IntVal(hRun, RN_DVAL), 0);
        EXPECT_EQ(Dimmed(hRun, RN_SPEC), 1);
        EXPECT_EQ(StateLen(), 0);
        EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);
        EXPECT_EQ(Dimmed(hTrc, TR_BRK), 1);
    }

    void ExpectNextTraceWorks()
    {
        ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, 65536), 0);
        Truncate();
        ASSERT_EQ(Click(TR_TRC), 0);
        EXPECT_EQ(Messages(), "");
        EXPECT_EQ(DVal, 1);
        ASSERT_EQ(HeldSamples(), 65536);
        EXPECT_LT(ToneError(), kTol);
    }
};
