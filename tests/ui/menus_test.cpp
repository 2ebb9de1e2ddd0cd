#include "userint.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> picked;

void OnMenu(int, int item, void *, int)
{
    picked.push_back(item);
}

TEST(Menus, MenusItemsAndSeparatorsAreNumberedFromTwoAcrossTheBar)
{
    picked.clear();
    const int p = NewPanel(0, "Menus", 30, 16, 200, 300);
    const int bar = NewMenuBar(p);
    ASSERT_GT(bar, 0);
    EXPECT_LT(NewMenuBar(p), 0);   // one bar per panel
    const int file = NewMenu(bar, "__File", -1);
    const int load = NewMenuItem(bar, file, "__Load Configuration", -1, 0, OnMenu, nullptr);
    const int save = NewMenuItem(bar, file, "__Save Configuration", -1, 0, OnMenu, nullptr);
    const int sep = InsertSeparator(bar, file, -1);
    const int quit = NewMenuItem(bar, file, "__Quit", -1, 0, OnMenu, nullptr);
    const int help = NewMenu(bar, "__Help", -1);
    const int contents = NewMenuItem(bar, help, "__Contents", -1, 0, OnMenu, nullptr);
    const int about = NewMenuItem(bar, help, "__About", -1, 0, OnMenu, nullptr);
    EXPECT_EQ(std::vector<int>({file, load, save, sep, quit, help, contents, about}),
              std::vector<int>({2, 3, 4, 5, 6, 7, 8, 9}));

    char name[64];
    ASSERT_EQ(GetMenuBarAttribute(bar, about, ATTR_ITEM_NAME, name), 0);
    EXPECT_STREQ(name, "__About");
    ASSERT_EQ(GetMenuBarAttribute(bar, sep, ATTR_ITEM_NAME, name), 0);
    EXPECT_STREQ(name, "");
    int isSep = 0;
    ASSERT_EQ(GetMenuBarAttribute(bar, sep, ATTR_IS_SEPARATOR, &isSep), 0);
    EXPECT_EQ(isSep, 1);
    EXPECT_EQ(GetMenuBarAttribute(bar, 10, ATTR_ITEM_NAME, name), UIEInvalidMenuItem);
    EXPECT_LT(NewMenuItem(bar, load, "not a menu", -1, 0, OnMenu, nullptr), 0);

    // A second bar on another panel starts again at 2.
    const int p2 = NewPanel(0, "Other", 30, 16, 100, 100);
    const int bar2 = NewMenuBar(p2);
    EXPECT_EQ(NewMenu(bar2, "__Edit", -1), 2);

    ASSERT_EQ(ui_test::UserMenu(bar, quit), 0);
    ASSERT_EQ(SetMenuBarAttribute(bar, save, ATTR_MENU_DIMMED, 1), 0);
    EXPECT_LT(ui_test::UserMenu(bar, save), 0);
    EXPECT_LT(ui_test::UserMenu(bar, sep), 0);
    ASSERT_EQ(SetMenuBarAttribute(bar, help, ATTR_MENU_DIMMED, 1), 0);
    EXPECT_LT(ui_test::UserMenu(bar, about), 0);   // its whole menu is dimmed
    EXPECT_EQ(picked, std::vector<int>({quit}));

    // The bar sits above the panel's area: the panel keeps its given size.
    int h = 0;
    ASSERT_EQ(GetPanelAttribute(p, ATTR_HEIGHT, &h), 0);
    EXPECT_EQ(h, 200);
    DiscardPanel(p);
    DiscardPanel(p2);
    EXPECT_LT(ui_test::UserMenu(bar, quit), 0);
}

}  // namespace
