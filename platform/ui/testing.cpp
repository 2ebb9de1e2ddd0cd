// User actions for tests: the same state changes and commit a person's
// input produces, refused where a person would be refused.
#include "panelwidget.h"
#include "uistate.h"

#include <QAction>
#include <QMenu>

using namespace kui;

namespace {

// A person can reach a control that is shown, not dimmed and not a mere
// indicator.
Ctrl *Reachable(int panel, int ctrl, int *rc)
{
    Ctrl *c = LookupCtrl(panel, ctrl, rc);
    if (!c)
        return nullptr;
    Panel *p = FindPanel(panel);
    if (c->dimmed || !c->visible || c->mode == VAL_INDICATOR || p->dimmed) {
        *rc = UIEInvalidControl;
        return nullptr;
    }
    return c;
}

// Input the control took (rc 0) is shown and committed, as a person's is;
// a refusal changes nothing.
int Accept(Ctrl &c, int rc)
{
    if (rc < 0)
        return rc;
    RefreshCtrl(c);
    UserCommit(c);
    return 0;
}

bool TakesInput(int kind)
{
    return kind != CTRL_TEXT_MSG && kind != CTRL_RAISED_BOX && kind != CTRL_PERCENTAGE_BAR &&
           kind != CTRL_ROUND_LED;
}

}  // namespace

namespace ui_test {

int UserSetVal(int panel, int ctrl, int value)
{
    return UserSetVal(panel, ctrl, static_cast<double>(value));
}

int UserSetVal(int panel, int ctrl, double value)
{
    int rc;
    Ctrl *c = Reachable(panel, ctrl, &rc);
    if (!c)
        return rc;
    if (!TakesInput(c->kind) || c->kind == CTRL_COMMAND_BUTTON)
        return UIEInvalidControl;
    // A switch only has its two positions.
    if (c->kind == CTRL_BINARY_SWITCH && value != c->onVal && value != c->offVal)
        return UIEInvalidValue;
    return Accept(*c, TakeNumber(*c, value));
}

int UserSetVal(int panel, int ctrl, const char *value)
{
    int rc;
    Ctrl *c = Reachable(panel, ctrl, &rc);
    if (!c)
        return rc;
    if (c->kind != CTRL_STRING && c->kind != CTRL_RING)
        return UIEInvalidControl;
    return Accept(*c, TakeText(*c, value));
}

// A press of a button, or a flip of a switch or check box.
int UserClick(int panel, int ctrl)
{
    int rc;
    Ctrl *c = Reachable(panel, ctrl, &rc);
    if (!c)
        return rc;
    switch (c->kind) {
    case CTRL_COMMAND_BUTTON: c->num = 1; break;
    case CTRL_BINARY_SWITCH: c->num = c->num == c->onVal ? c->offVal : c->onVal; break;
    case CTRL_CHECK_BOX: c->num = c->num != 0 ? 0 : 1; break;
    default: return UIEInvalidControl;
    }
    return Accept(*c, 0);
}

int UserMenu(int menuBar, int item)
{
    MenuBar *mb = FindMenuBar(menuBar);
    if (!mb)
        return UIEInvalidMenu;
    auto it = mb->entries.find(item);
    if (it == mb->entries.end())
        return UIEInvalidMenuItem;
    MenuEntry &e = it->second;
    if (e.isMenu || e.isSeparator)
        return UIEInvalidMenuItem;
    const bool dimmed = !e.action || !e.action->isEnabled() ||
                        (mb->entries.count(e.menu) && !mb->entries[e.menu].qmenu->menuAction()->isEnabled());
    if (dimmed)
        return UIEInvalidMenuItem;
    if (e.cb)
        e.cb(menuBar, item, e.cbData, mb->panel);
    return 0;
}

int UserClosePanel(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    p->w->close();   // goes through the close box's path
    return 0;
}

int PanelVisible(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    return p->w->isVisible() ? 1 : 0;
}

std::string CtrlKindName(int panel, int ctrl)
{
    const Ctrl *c = FindCtrl(panel, ctrl);
    if (!c)
        return "";
    switch (c->kind) {
    case CTRL_RING: return "ring";
    case CTRL_NUMERIC: return "numeric";
    case CTRL_STRING: return "string";
    case CTRL_TEXT_MSG: return "text message";
    case CTRL_COMMAND_BUTTON: return "command button";
    case CTRL_BINARY_SWITCH: return "binary switch";
    case CTRL_ROUND_LED: return "round LED";
    case CTRL_CHECK_BOX: return "check box";
    case CTRL_RAISED_BOX: return "raised box";
    case CTRL_PERCENTAGE_BAR: return "percentage bar";
    default: return "";
    }
}

int CtrlCount(int panel)
{
    Panel *p = FindPanel(panel);
    return p ? static_cast<int>(p->ctrls.size()) : UIEInvalidPanel;
}

void *PanelWidget(int panel)
{
    Panel *p = FindPanel(panel);
    return p ? static_cast<QWidget *>(p->w.data()) : nullptr;
}

int PaintCount(int panel)
{
    Panel *p = FindPanel(panel);
    return p && p->w ? p->w->paints() : UIEInvalidPanel;
}

}  // namespace ui_test
