// The base of the tests that drive the program's real panels offscreen: the
// global state a test starts from, the panels built, and reading controls as
// a person sees them.  Each area's fixture says which of it its tests need.
#pragma once

#include "VmKalLib.h"
#include "shell/startup.h"
#include "state/globals.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

// The messages shown so far, each as "<title>: <text>".
inline std::vector<std::string> MessageTexts()
{
    std::vector<std::string> out;
    for (const ui_test::Popup &p : ui_test::Popups())
        if (p.kind == "message")
            out.push_back(p.title + ": " + p.text);
    return out;
}

class PanelsTest : public ::testing::Test {
protected:
    // No samples held: the record freed and emptied (its type the default
    // one) and the flags that say what is held cleared.
    static void ResetSamples()
    {
        FreeIqRec(&s);
        std::memset(&s, 0, sizeof s);
        s.Typ = 2;
        DVal = IFlg = QFlg = NewState = 0;
        SRat = 0;
    }

    // No analyzer session, no client and no capture settings.
    static void ResetAnalyzer()
    {
        std::memset(&a, 0, sizeof a);
        TrcFlg = JasM34Flg = Hdl = 0;
        HeldRat = 0;
        IqInp = Bal = Imp = Dith = LPas = PreTrg = 0;
        Rbw = RecLen = TrgOfs = 0;
        DatTyp[0] = FltTyp[0] = TrgMod[0] = TrgSlp[0] = '\0';
    }

    // The main panel shown (offscreen) with the Save panel, so that
    // visibility means what a person would see.
    static void ShowMainPanels()
    {
        DisplayPanel(hRun);
        DisplayPanel(hSav);
    }

    static void DiscardPanels(std::initializer_list<int> panels)
    {
        for (int p : panels)
            DiscardPanel(p);
    }

    static int Dimmed(int panel, int ctrl)
    {
        int v = -1;
        GetCtrlAttribute(panel, ctrl, ATTR_DIMMED, &v);
        return v;
    }

    static int IntVal(int panel, int ctrl)
    {
        int v = -1;
        GetCtrlVal(panel, ctrl, &v);
        return v;
    }

    static std::string Text(int panel, int ctrl)
    {
        char text[1024] = "";
        GetCtrlVal(panel, ctrl, text);
        return text;
    }
};
