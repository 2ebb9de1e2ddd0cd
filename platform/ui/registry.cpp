#include "uistate.h"

#include <QApplication>

#include <cstring>

namespace kui {

std::map<int, std::unique_ptr<Panel>> &Panels()
{
    static std::map<int, std::unique_ptr<Panel>> panels;
    return panels;
}

std::map<int, std::unique_ptr<MenuBar>> &MenuBars()
{
    static std::map<int, std::unique_ptr<MenuBar>> bars;
    return bars;
}

// Panels and menu bars share one handle sequence so that a panel handle is
// never mistaken for a menu bar.
int NextHandle()
{
    static int next = 1;
    return next++;
}

Panel *FindPanel(int handle)
{
    auto it = Panels().find(handle);
    return it == Panels().end() ? nullptr : it->second.get();
}

Ctrl *FindCtrl(int panel, int ctrl)
{
    Panel *p = FindPanel(panel);
    if (!p || ctrl < 2 || ctrl - 2 >= static_cast<int>(p->ctrls.size()))
        return nullptr;
    return p->ctrls[ctrl - 2].get();
}

int MissingCtrl(int panel)
{
    return FindPanel(panel) ? UIEInvalidControl : UIEInvalidPanel;
}

Ctrl *LookupCtrl(int panel, int ctrl, int *rc)
{
    Ctrl *c = FindCtrl(panel, ctrl);
    *rc = c ? 0 : MissingCtrl(panel);
    return c;
}

Ctrl *LookupCtrl(int panel, int ctrl, const void *out, int *rc)
{
    Ctrl *c = LookupCtrl(panel, ctrl, rc);
    if (c && !out) {
        *rc = UIEInvalidValue;
        return nullptr;
    }
    return c;
}

MenuBar *FindMenuBar(int handle)
{
    auto it = MenuBars().find(handle);
    return it == MenuBars().end() ? nullptr : it->second.get();
}

// "__L" marks the mnemonic L; a literal "&" must stay visible.
QString ToQtMnemonic(const std::string &label)
{
    QString out;
    const QString in = QString::fromStdString(label);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '&') {
            out += "&&";
        } else if (in[i] == '_' && i + 2 < in.size() && in[i + 1] == '_') {
            out += '&';
            ++i;
        } else {
            out += in[i];
        }
    }
    return out;
}

QString PlainLabel(const std::string &label)
{
    QString s = QString::fromStdString(label);
    s.replace("__", "");
    return s;
}

QColor ToQColor(int rgb)
{
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Windows come to the front and take the focus; the offscreen platform of
// the tests has no stacking and would only complain.
void BringToFront(QWidget *w)
{
    if (!w->isWindow()) {
        w->raise();
        return;
    }
    if (QGuiApplication::platformName() == "offscreen")
        return;
    w->raise();
    w->activateWindow();
}

bool IsInitialised()
{
    return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
}

bool CopyOut(const std::string &s, char *out, size_t cap)
{
    if (!out)
        return false;
    if (s.size() + 1 > cap) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, s.c_str(), s.size() + 1);
    return true;
}

}  // namespace kui
