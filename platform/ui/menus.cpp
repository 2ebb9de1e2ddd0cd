// Menu bars: menus, items and separators share one numbering from 2 across
// the whole bar, in creation order.
#include "panelwidget.h"
#include "uistate.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <cstring>

using namespace kui;

namespace {

// A menu of the bar stands in its parent as its menu action.
QAction *ActionOf(const MenuEntry &e)
{
    return e.isMenu ? e.qmenu->menuAction() : e.action.data();
}

// The action in front of which a new entry goes (null: at the end).
QAction *BeforeAction(MenuBar &mb, int before)
{
    auto it = mb.entries.find(before);
    if (before <= 0 || it == mb.entries.end())
        return nullptr;
    return ActionOf(it->second);
}

MenuEntry *FindEntry(MenuBar &mb, int item)
{
    auto it = mb.entries.find(item);
    return it == mb.entries.end() ? nullptr : &it->second;
}

// The bar and the menu an item or separator goes into; 0, or the error
// code for an unknown bar or a handle that is no menu of it.
int FindMenu(int menuBar, int menu, MenuBar *&mb, QMenu *&qm)
{
    mb = FindMenuBar(menuBar);
    if (!mb)
        return UIEInvalidMenu;
    MenuEntry *m = FindEntry(*mb, menu);
    qm = m && m->isMenu ? m->qmenu.data() : nullptr;
    return qm ? 0 : UIEInvalidMenu;
}

// The bar and one of its entries, for the attribute calls.
int FindItem(int menuBar, int item, MenuBar *&mb, MenuEntry *&e)
{
    mb = FindMenuBar(menuBar);
    if (!mb)
        return UIEInvalidMenu;
    e = FindEntry(*mb, item);
    return e ? 0 : UIEInvalidMenuItem;
}

// A new entry takes the bar's next number, whatever kind it is.
MenuEntry NewEntry(MenuBar &mb, int menu)
{
    MenuEntry e;
    e.id = mb.nextId++;
    e.menu = menu;
    return e;
}

// Puts the entry's action into its menu and the entry into the bar.
int AddToMenu(MenuBar &mb, QMenu *qm, int before, const MenuEntry &e)
{
    qm->insertAction(BeforeAction(mb, before), e.action);
    mb.entries[e.id] = e;
    return e.id;
}

}  // namespace

int NewMenuBar(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    if (p->menuBar != 0)
        return UIEInvalidMenu;
    auto mb = std::make_unique<MenuBar>();
    mb->handle = NextHandle();
    mb->panel = panel;
    mb->bar = new QMenuBar(p->w);
    mb->bar->setNativeMenuBar(false);
    p->w->attachMenuBar(mb->bar);
    p->menuBar = mb->handle;
    const int h = mb->handle;
    MenuBars()[h] = std::move(mb);
    return h;
}

int NewMenu(int menuBar, const char *name, int before)
{
    MenuBar *mb = FindMenuBar(menuBar);
    if (!mb || !mb->bar)
        return UIEInvalidMenu;
    MenuEntry e = NewEntry(*mb, 0);
    e.isMenu = true;
    e.name = name ? name : "";
    e.qmenu = new QMenu(ToQtMnemonic(e.name), mb->bar);
    mb->bar->insertMenu(BeforeAction(*mb, before), e.qmenu);
    mb->entries[e.id] = e;
    return e.id;
}

int NewMenuItem(int menuBar, int menu, const char *name, int before, int shortcut,
                MenuCallbackPtr cb, void *callbackData)
{
    MenuBar *mb;
    QMenu *qm;
    if (int rc = FindMenu(menuBar, menu, mb, qm))
        return rc;
    MenuEntry e = NewEntry(*mb, menu);
    e.name = name ? name : "";
    e.cb = cb;
    e.cbData = callbackData;
    e.action = new QAction(ToQtMnemonic(e.name), qm);
    if (shortcut != 0)
        e.action->setShortcut(QKeySequence(shortcut));
    const int bar = menuBar, id = e.id;
    QObject::connect(e.action, &QAction::triggered, e.action, [bar, id] { ui_test::UserMenu(bar, id); });
    return AddToMenu(*mb, qm, before, e);
}

int InsertSeparator(int menuBar, int menu, int before)
{
    MenuBar *mb;
    QMenu *qm;
    if (int rc = FindMenu(menuBar, menu, mb, qm))
        return rc;
    MenuEntry e = NewEntry(*mb, menu);
    e.isSeparator = true;
    e.action = new QAction(qm);
    e.action->setSeparator(true);
    return AddToMenu(*mb, qm, before, e);
}

int SetMenuBarAttribute(int menuBar, int item, int attr, int value)
{
    MenuBar *mb;
    MenuEntry *e;
    if (int rc = FindItem(menuBar, item, mb, e))
        return rc;
    if (attr != ATTR_MENU_DIMMED && attr != ATTR_DIMMED)
        return UIEInvalidAttribute;
    if (QAction *a = ActionOf(*e))
        a->setEnabled(value == 0);
    return 0;
}

int GetMenuBarAttribute(int menuBar, int item, int attr, int *value)
{
    MenuBar *mb;
    MenuEntry *e;
    if (int rc = FindItem(menuBar, item, mb, e))
        return rc;
    if (!value)
        return UIEInvalidValue;
    QAction *a = ActionOf(*e);
    switch (attr) {
    case ATTR_MENU_DIMMED:
    case ATTR_DIMMED: *value = a && !a->isEnabled(); return 0;
    case ATTR_IS_SEPARATOR: *value = e->isSeparator; return 0;
    case ATTR_PANEL_PARENT: *value = mb->panel; return 0;
    default: return UIEInvalidAttribute;
    }
}

int GetMenuBarAttribute(int menuBar, int item, int attr, char *value)
{
    MenuBar *mb;
    MenuEntry *e;
    if (int rc = FindItem(menuBar, item, mb, e))
        return rc;
    if (attr != ATTR_ITEM_NAME)
        return UIEInvalidAttribute;
    if (!value)
        return UIEInvalidValue;
    std::strcpy(value, e->name.c_str());
    return 0;
}
