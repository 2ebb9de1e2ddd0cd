// Tab order: creation order until the program moves a control to another
// position; the others close up behind it, as in the run-time's tab list.
#include "uistate.h"

#include <algorithm>

namespace kui {

namespace {

void ApplyTabOrder(Panel &p)
{
    QWidget *prev = nullptr;
    for (int id : p.tabOrder) {
        Ctrl *c = FindCtrl(p.handle, id);
        if (!c || !c->body || c->body->focusPolicy() == Qt::NoFocus)
            continue;
        if (prev)
            QWidget::setTabOrder(prev, c->body);
        prev = c->body;
    }
}

}  // namespace

int SetTabPosition(Panel &p, int ctrl, int pos)
{
    auto it = std::find(p.tabOrder.begin(), p.tabOrder.end(), ctrl);
    if (it == p.tabOrder.end())
        return UIEInvalidControl;
    if (pos < 0 || pos >= static_cast<int>(p.tabOrder.size()))
        return UIEInvalidValue;
    p.tabOrder.erase(it);
    p.tabOrder.insert(p.tabOrder.begin() + pos, ctrl);
    ApplyTabOrder(p);
    return 0;
}

int TabPosition(const Panel &p, int ctrl)
{
    auto it = std::find(p.tabOrder.begin(), p.tabOrder.end(), ctrl);
    return it == p.tabOrder.end() ? -1 : static_cast<int>(it - p.tabOrder.begin());
}

}  // namespace kui
