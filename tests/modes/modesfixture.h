// Every panel of the program, freshly built for each test, the main panel
// shown (offscreen) so that visibility means what a person would see.
#pragma once

#include "VmKalLib.h"
#include "common/panels_fixture.h"
#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "shell/mainpanel.h"
#include "shell/modes.h"
#include "shell/startup.h"
#include "state/busy.h"
#include "state/globals.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

class ModesTest : public PanelsTest {
protected:
    void SetUp() override
    {
        SetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, 0);
        ResetState();
        ASSERT_EQ(BuildPanels(), 0);
        ShowMainPanels();
        ui_test::ClearPopups();
    }

    void TearDown() override
    {
        DiscardPanels({hRun, hSta, hDat});
        FreeIqRec(&s);
        IoBusy = 0;
    }

    static void ResetState()
    {
        ResetSamples();
        ResetAnalyzer();
        std::memset(&d, 0, sizeof d);
        a.Typ = DEV_BERYL;
    }

    // Puts n samples into s as a load or a capture would.
    static void Hold(const float *i, const float *q, int n)
    {
        FreeIqRec(&s);
        s.I = static_cast<float *>(std::calloc(n, sizeof(float)));
        s.Q = static_cast<float *>(std::calloc(n, sizeof(float)));
        std::memcpy(s.I, i, n * sizeof(float));
        std::memcpy(s.Q, q, n * sizeof(float));
        s.Len = n;
        HeldLen = n;
        DVal = 1;
        SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, 0);
    }

    static int IntVal(int panel, int ctrl)
    {
        int v = -1;
        GetCtrlVal(panel, ctrl, &v);
        return v;
    }

    static double DblVal(int panel, int ctrl)
    {
        double v = -1;
        GetCtrlVal(panel, ctrl, &v);
        return v;
    }

    static int MaxCount(int panel, int ctrl)
    {
        int v = -1;
        GetCtrlAttribute(panel, ctrl, ATTR_MAX_VALUE, &v);
        return v;
    }

    // The settings panel a person sees, or 0 when none.
    static int ShownSettingsPanel()
    {
        int shown = 0;
        for (int p : {hAgt, hBer, hCor, hJas, hOnx})
            if (ui_test::PanelVisible(p) == 1)
                shown = shown ? -1 : p;
        return shown;
    }
};
