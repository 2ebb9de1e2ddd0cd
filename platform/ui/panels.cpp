// Panels: windows at screen positions, or areas inside their parent panel.
#include "panelwidget.h"
#include "uistate.h"

#include <QApplication>
#include <QFrame>

#include <cstring>

using namespace kui;

namespace {

void ApplyBackColor(Panel &p)
{
    QPalette pal = p.w->content()->palette();
    pal.setColor(QPalette::Window, ToQColor(p.backColor));
    p.w->content()->setPalette(pal);
}

void DiscardChildrenOf(int handle)
{
    std::vector<int> children;
    for (auto &[h, p] : Panels())
        if (p->parent == handle)
            children.push_back(h);
    for (int h : children)
        DiscardPanel(h);
}

}  // namespace

int NewPanel(int parent, const char *title, int top, int left, int height, int width)
{
    if (!IsInitialised())
        return UIEInvalidPanel;
    QWidget *parentContent = nullptr;
    if (parent != 0) {
        Panel *pp = FindPanel(parent);
        if (!pp || !pp->w)
            return UIEInvalidPanel;
        parentContent = pp->w->content();
    }
    if (height < 0 || width < 0)
        return UIEInvalidValue;
    auto p = std::make_unique<Panel>();
    p->handle = NextHandle();
    p->parent = parent;
    p->title = title ? title : "";
    p->w = new PanelWidget(p->handle, parentContent);
    p->w->setWindowTitle(QString::fromStdString(p->title));
    p->w->setContentGeometry(top, left, height, width);
    p->w->hide();
    ApplyBackColor(*p);
    const int h = p->handle;
    Panels()[h] = std::move(p);
    return h;
}

int DiscardPanel(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIEInvalidPanel;
    DiscardChildrenOf(panel);
    for (auto it = MenuBars().begin(); it != MenuBars().end();) {
        if (it->second->panel == panel)
            it = MenuBars().erase(it);
        else
            ++it;
    }
    if (p->w) {
        p->w->hide();
        // A callback of this very panel may be running: delete later.
        p->w->deleteLater();
    }
    Panels().erase(panel);
    return 0;
}

int DisplayPanel(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    p->w->show();
    BringToFront(p->w);
    return 0;
}

int HidePanel(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    p->w->hide();
    return 0;
}

int SetPanelPos(int panel, int top, int left)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    const QRect g = p->w->contentGeometry();
    p->w->setContentGeometry(top, left, g.height(), g.width());
    return 0;
}

int SetPanelSize(int panel, int height, int width)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    if (height < 0 || width < 0)
        return UIEInvalidValue;
    const QRect g = p->w->contentGeometry();
    p->w->setContentGeometry(g.top(), g.left(), height, width);
    return 0;
}

int SetPanelAttribute(int panel, int attr, int value)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    const QRect g = p->w->contentGeometry();
    switch (attr) {
    case ATTR_BACKCOLOR:
        p->backColor = value;
        ApplyBackColor(*p);
        return 0;
    case ATTR_CLOSE_CTRL:
        if (value != 0 && !FindCtrl(panel, value))
            return UIEInvalidControl;
        p->closeCtrl = value;
        return 0;
    case ATTR_DIMMED:
        p->dimmed = value != 0;
        p->w->content()->setEnabled(!p->dimmed);
        return 0;
    case ATTR_VISIBLE:
        return value ? DisplayPanel(panel) : HidePanel(panel);
    case ATTR_TOP:
        return SetPanelPos(panel, value, g.left());
    case ATTR_LEFT:
        return SetPanelPos(panel, g.top(), value);
    case ATTR_HEIGHT:
        return SetPanelSize(panel, value, g.width());
    case ATTR_WIDTH:
        return SetPanelSize(panel, g.height(), value);
    default:
        return UIEInvalidAttribute;
    }
}

int SetPanelAttribute(int panel, int attr, const char *value)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    if (attr != ATTR_TITLE)
        return UIEInvalidAttribute;
    p->title = value ? value : "";
    p->w->setWindowTitle(QString::fromStdString(p->title));
    return 0;
}

int GetPanelAttribute(int panel, int attr, int *value)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    if (!value)
        return UIEInvalidValue;
    const QRect g = p->w->contentGeometry();
    switch (attr) {
    case ATTR_TOP: *value = g.top(); return 0;
    case ATTR_LEFT: *value = g.left(); return 0;
    case ATTR_HEIGHT: *value = g.height(); return 0;
    case ATTR_WIDTH: *value = g.width(); return 0;
    case ATTR_BACKCOLOR: *value = p->backColor; return 0;
    case ATTR_CLOSE_CTRL: *value = p->closeCtrl; return 0;
    case ATTR_PANEL_PARENT: *value = p->parent; return 0;
    case ATTR_PANEL_FIRST_CTRL: *value = p->ctrls.empty() ? 0 : 2; return 0;
    case ATTR_DIMMED: *value = p->dimmed; return 0;
    case ATTR_VISIBLE: *value = !p->w->isHidden(); return 0;
    default: return UIEInvalidAttribute;
    }
}

int GetPanelAttribute(int panel, int attr, char *value)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIEInvalidPanel;
    if (attr != ATTR_TITLE)
        return UIEInvalidAttribute;
    if (!value)
        return UIEInvalidValue;
    std::strcpy(value, p->title.c_str());
    return 0;
}
