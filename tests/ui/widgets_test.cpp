// A person's input through the real widgets reaches the callback as a
// commit; the same widgets changed by the program stay silent.
#include "userint.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> commits;

int Note(int, int control, int event, void *, int, int)
{
    if (event == EVENT_COMMIT)
        commits.push_back(control);
    return 0;
}

// The widget that stands for the control at (top, left) of the panel.
QWidget *WidgetAt(int panel, int top, int left)
{
    auto *pw = static_cast<QWidget *>(ui_test::PanelWidget(panel));
    QWidget *content = pw->childAt(2, 2)->parentWidget() == pw ? pw->childAt(2, 2) : pw;
    QWidget *w = content->childAt(left + 3, top + 3);
    while (w && w->parentWidget() != content)
        w = w->parentWidget();
    return w;
}

TEST(Widgets, RealInputCommitsAndDimmedWidgetsIgnoreIt)
{
    commits.clear();
    const int p = NewPanel(0, "Widgets", 30, 16, 300, 300);
    const int ring = NewCtrl(p, CTRL_RING, "Ring", 20, 10);
    const int num = NewCtrl(p, CTRL_NUMERIC, "Num", 60, 10);
    const int btn = NewCtrl(p, CTRL_COMMAND_BUTTON, "__Press", 100, 10);
    const int sw = NewCtrl(p, CTRL_BINARY_SWITCH, "Switch", 140, 10);
    const int box = NewCtrl(p, CTRL_CHECK_BOX, "Box", 180, 10);
    const int str = NewCtrl(p, CTRL_STRING, "Text", 220, 10);
    for (int i : {1, 2, 3})
        InsertListItem(p, ring, -1, "item", i * 10);
    SetCtrlAttribute(p, num, ATTR_MAX_VALUE, 10);
    for (int c : {ring, num, btn, sw, box, str})
        InstallCtrlCallback(p, c, Note, nullptr);
    DisplayPanel(p);
    ProcessSystemEvents();

    QTest::keyClick(WidgetAt(p, 20, 10), Qt::Key_Down);
    auto *spin = qobject_cast<QAbstractSpinBox *>(WidgetAt(p, 60, 10));
    ASSERT_NE(spin, nullptr);
    spin->stepUp();   // an arrow click
    QTest::mouseClick(WidgetAt(p, 100, 10), Qt::LeftButton);
    QTest::mouseClick(WidgetAt(p, 140, 10), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(WidgetAt(p, 180, 10), Qt::LeftButton, {}, QPoint(5, 5));
    auto *edit = qobject_cast<QLineEdit *>(WidgetAt(p, 220, 10));
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, "abc");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(commits, std::vector<int>({ring, num, btn, sw, box, str}));

    int v = 0;
    GetCtrlVal(p, ring, &v);
    EXPECT_EQ(v, 20);
    GetCtrlVal(p, num, &v);
    EXPECT_EQ(v, 1);
    GetCtrlVal(p, sw, &v);
    EXPECT_EQ(v, 1);
    GetCtrlVal(p, box, &v);
    EXPECT_EQ(v, 1);
    char s[16];
    GetCtrlVal(p, str, s);
    EXPECT_STREQ(s, "abc");

    commits.clear();
    for (int c : {ring, btn, sw, box})
        SetCtrlAttribute(p, c, ATTR_DIMMED, 1);
    QTest::keyClick(WidgetAt(p, 20, 10), Qt::Key_Down);
    QTest::mouseClick(WidgetAt(p, 100, 10), Qt::LeftButton);
    QTest::mouseClick(WidgetAt(p, 140, 10), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(WidgetAt(p, 180, 10), Qt::LeftButton, {}, QPoint(5, 5));
    SetCtrlVal(p, num, 5);
    SetCtrlVal(p, str, "xyz");
    SetCtrlIndex(p, ring, 0);
    ProcessSystemEvents();
    EXPECT_TRUE(commits.empty());
    GetCtrlVal(p, ring, &v);
    EXPECT_EQ(v, 10);
    DiscardPanel(p);
}

TEST(Widgets, MnemonicsMapAndAmpersandsStayLiteral)
{
    const int p = NewPanel(0, "Labels", 30, 16, 200, 300);
    const int b1 = NewCtrl(p, CTRL_COMMAND_BUTTON, "__Load IQ", 20, 10);
    const int b2 = NewCtrl(p, CTRL_COMMAND_BUTTON, "R&D", 60, 10);
    (void)b1;
    (void)b2;
    auto *w1 = WidgetAt(p, 20, 10);
    auto *w2 = WidgetAt(p, 60, 10);
    ASSERT_TRUE(w1 && w2);
    EXPECT_EQ(w1->property("text").toString(), "&Load IQ");
    EXPECT_EQ(w2->property("text").toString(), "R&&D");
    DiscardPanel(p);
}

TEST(Panels, PositionsSizesAndVisibility)
{
    const int main = NewPanel(0, "Main", 30, 16, 435, 528);
    const int child = NewPanel(main, "Child", 50, 87, 220, 430);
    ASSERT_EQ(SetPanelPos(main, 120, 300), 0);
    int top = 0, left = 0, h = 0, w = 0;
    GetPanelAttribute(main, ATTR_TOP, &top);
    GetPanelAttribute(main, ATTR_LEFT, &left);
    EXPECT_EQ(top, 120);
    EXPECT_EQ(left, 300);
    GetPanelAttribute(child, ATTR_TOP, &top);
    GetPanelAttribute(child, ATTR_LEFT, &left);
    GetPanelAttribute(child, ATTR_HEIGHT, &h);
    GetPanelAttribute(child, ATTR_WIDTH, &w);
    EXPECT_EQ(std::vector<int>({top, left, h, w}), std::vector<int>({50, 87, 220, 430}));
    int parent = 0;
    GetPanelAttribute(child, ATTR_PANEL_PARENT, &parent);
    EXPECT_EQ(parent, main);
    ASSERT_EQ(SetPanelSize(child, 100, 200), 0);
    GetPanelAttribute(child, ATTR_HEIGHT, &h);
    EXPECT_EQ(h, 100);

    EXPECT_EQ(ui_test::PanelVisible(main), 0);
    DisplayPanel(main);
    DisplayPanel(child);
    EXPECT_EQ(ui_test::PanelVisible(child), 1);
    HidePanel(main);
    EXPECT_EQ(ui_test::PanelVisible(child), 0);   // hidden with its parent
    char title[32];
    SetPanelAttribute(main, ATTR_TITLE, "Kalmira v4.37");
    GetPanelAttribute(main, ATTR_TITLE, title);
    EXPECT_STREQ(title, "Kalmira v4.37");
    EXPECT_EQ(static_cast<QWidget *>(ui_test::PanelWidget(main))->windowTitle(), "Kalmira v4.37");

    ASSERT_EQ(DiscardPanel(main), 0);
    EXPECT_LT(DisplayPanel(child), 0);   // children go with their parent
    EXPECT_LT(NewCtrl(main, CTRL_RING, "x", 0, 0), 0);
}

}  // namespace
