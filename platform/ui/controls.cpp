// Controls: creation, the widget behind each kind and the wiring of the
// widgets' user signals to the commit callback.  Values set by the program
// go through RefreshCtrl with the widget's signals blocked, so only a person
// (or ui_test's user actions) ever produces a commit.
#include "panelwidget.h"
#include "switchwidget.h"
#include "uistate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include <cmath>

using namespace kui;

namespace {

struct KindDefaults {
    int width, height;
};

KindDefaults DefaultSize(int kind)
{
    switch (kind) {
    case CTRL_RING: return {120, 22};
    case CTRL_NUMERIC: return {80, 22};
    case CTRL_STRING: return {120, 22};
    case CTRL_TEXT_MSG: return {0, 0};
    case CTRL_COMMAND_BUTTON: return {0, 26};
    case CTRL_BINARY_SWITCH: return {36, 18};
    case CTRL_ROUND_LED: return {16, 16};
    case CTRL_CHECK_BOX: return {16, 16};
    case CTRL_RAISED_BOX: return {100, 100};
    case CTRL_PERCENTAGE_BAR: return {150, 15};
    default: return {0, 0};
    }
}

// Looks the control up again at signal time: the panel may have been
// discarded meanwhile.
template <typename Fn>
auto OnCtrl(int panel, int id, Fn fn)
{
    return [panel, id, fn](auto... args) {
        if (Ctrl *c = FindCtrl(panel, id))
            fn(*c, args...);
    };
}

QWidget *MakeRing(Ctrl &c, QWidget *parent)
{
    auto *w = new QComboBox(parent);
    QObject::connect(w, &QComboBox::activated, w, OnCtrl(c.panel, c.id, [](Ctrl &c, int i) {
        c.index = i;
        UserCommit(c);
    }));
    return w;
}

QWidget *MakeNumeric(Ctrl &c, QWidget *parent)
{
    auto *w = new QDoubleSpinBox(parent);
    w->setKeyboardTracking(false);   // commit on Enter, arrows or leaving, not per keystroke
    w->setAccelerated(true);
    QObject::connect(w, &QDoubleSpinBox::valueChanged, w, OnCtrl(c.panel, c.id, [](Ctrl &c, double v) {
        c.num = StoreAsType(c.dataType, ClampNumeric(c, v));
        UserCommit(c);
    }));
    return w;
}

QWidget *MakeString(Ctrl &c, QWidget *parent)
{
    auto *w = new QLineEdit(parent);
    QObject::connect(w, &QLineEdit::editingFinished, w, OnCtrl(c.panel, c.id, [w](Ctrl &c) {
        const std::string now = w->text().toStdString();
        if (now == c.text)
            return;
        c.text = now;
        UserCommit(c);
    }));
    return w;
}

QWidget *MakeButton(Ctrl &c, QWidget *parent)
{
    auto *w = new QPushButton(ToQtMnemonic(c.labelText), parent);
    w->setAutoDefault(false);
    QObject::connect(w, &QPushButton::clicked, w, OnCtrl(c.panel, c.id, [](Ctrl &c, bool) {
        c.num = 1;   // latched until the program clears it (abort buttons poll it)
        UserCommit(c);
    }));
    return w;
}

QWidget *MakeSwitch(Ctrl &c, QWidget *parent)
{
    auto *w = new SwitchWidget(parent);
    QObject::connect(w, &SwitchWidget::toggledByUser, w, OnCtrl(c.panel, c.id, [](Ctrl &c, bool on) {
        c.num = on ? c.onVal : c.offVal;
        UserCommit(c);
    }));
    for (int i = 0; i < 2; ++i) {
        auto *t = new QLabel(parent);
        t->setTextFormat(Qt::PlainText);
        c.extras.push_back(t);
    }
    return w;
}

QWidget *MakeCheckBox(Ctrl &c, QWidget *parent)
{
    auto *w = new QCheckBox(parent);
    QObject::connect(w, &QCheckBox::clicked, w, OnCtrl(c.panel, c.id, [](Ctrl &c, bool on) {
        c.num = on ? 1 : 0;
        UserCommit(c);
    }));
    return w;
}

QWidget *MakeRaisedBox(QWidget *parent)
{
    auto *w = new QFrame(parent);
    w->setFrameStyle(QFrame::Panel | QFrame::Raised);
    w->setLineWidth(2);
    return w;
}

QWidget *MakeBar(QWidget *parent)
{
    auto *w = new QProgressBar(parent);
    w->setRange(0, 100);
    w->setTextVisible(false);
    return w;
}

QWidget *MakeTextMsg(QWidget *parent)
{
    auto *w = new QLabel(parent);
    w->setTextFormat(Qt::PlainText);
    return w;
}

bool LabelAbove(int kind)
{
    return kind != CTRL_COMMAND_BUTTON && kind != CTRL_TEXT_MSG;
}

bool LabelCentred(int kind)
{
    return kind == CTRL_ROUND_LED || kind == CTRL_CHECK_BOX;
}

}  // namespace

namespace kui {

QWidget *CreateBody(Ctrl &c, QWidget *parent)
{
    switch (c.kind) {
    case CTRL_RING: return MakeRing(c, parent);
    case CTRL_NUMERIC: return MakeNumeric(c, parent);
    case CTRL_STRING: return MakeString(c, parent);
    case CTRL_TEXT_MSG: return MakeTextMsg(parent);
    case CTRL_COMMAND_BUTTON: return MakeButton(c, parent);
    case CTRL_BINARY_SWITCH: return MakeSwitch(c, parent);
    case CTRL_ROUND_LED: return new LedWidget(parent);
    case CTRL_CHECK_BOX: return MakeCheckBox(c, parent);
    case CTRL_RAISED_BOX: return MakeRaisedBox(parent);
    case CTRL_PERCENTAGE_BAR: return MakeBar(parent);
    default: return nullptr;
    }
}

void UpdateCaption(Ctrl &c)
{
    if (!c.body || !LabelAbove(c.kind))
        return;
    if (c.labelText.empty()) {
        if (c.label)
            c.label->hide();
        return;
    }
    if (!c.label) {
        c.label = new QLabel(c.body->parentWidget());
        c.label->setTextFormat(Qt::PlainText);
        if (c.body->focusPolicy() != Qt::NoFocus)
            c.label->setBuddy(c.body);
    }
    // With a buddy "&" introduces the mnemonic; without one it shows as is.
    c.label->setText(c.label->buddy() ? ToQtMnemonic(c.labelText) : PlainLabel(c.labelText));
    c.label->adjustSize();
    c.label->setVisible(c.visible);
}

// Above the control unless asked otherwise; a control too close to the
// panel's top edge for that gets its caption on the left instead, where
// there is room.
void PlaceCaption(Ctrl &c, int w, int h)
{
    c.label->adjustSize();
    const int lh = c.label->height(), lw = c.label->width();
    int where = c.labelPos;
    if (where == VAL_LABEL_AUTO)
        where = c.top >= lh + 1 || c.left < lw + 4 ? VAL_LABEL_ABOVE : VAL_LABEL_LEFT;
    switch (where) {
    case VAL_LABEL_LEFT:
        c.label->move(std::max(0, c.left - lw - 4), c.top + (h - lh) / 2);
        break;
    case VAL_LABEL_RIGHT:
        c.label->move(c.left + w + 4, c.top + (h - lh) / 2);
        break;
    default: {
        const int lx = LabelCentred(c.kind) ? c.left + (w - lw) / 2 : c.left;
        c.label->move(std::max(0, lx), c.top - lh - 1);
    }
    }
}

// Body at (top, left); the caption above it (centred over small round
// controls); the switch's texts beside it.
void PlaceCtrl(Ctrl &c)
{
    if (!c.body)
        return;
    int w = c.width, h = c.height;
    if (c.kind == CTRL_TEXT_MSG) {
        const QSize hint = c.body->sizeHint();
        w = w > 0 ? w : hint.width();
        h = h > 0 ? h : hint.height();
    } else if (c.kind == CTRL_COMMAND_BUTTON && w <= 0) {
        // A button without a width fits its caption, as small as "I".
        const QFontMetrics fm(c.body->font());
        w = std::max(24, fm.horizontalAdvance(PlainLabel(c.labelText)) + 16);
    }
    c.body->setGeometry(c.left, c.top, w, h);
    if (c.label)
        PlaceCaption(c, w, h);
    if (c.extras.size() == 2) {
        QLabel *on = c.extras[0], *off = c.extras[1];
        on->adjustSize();
        off->adjustSize();
        if (h > w) {
            on->move(c.left + w + 4, c.top);
            off->move(c.left + w + 4, c.top + h - off->height());
        } else if (c.left >= off->width() + 4) {
            off->move(c.left - off->width() - 4, c.top + (h - off->height()) / 2);
            on->move(c.left + w + 4, c.top + (h - on->height()) / 2);
        } else {
            // No room on the left: both texts under the switch's two ends.
            off->move(c.left, c.top + h + 1);
            on->move(std::max(c.left + off->width() + 4, c.left + w - on->width()), c.top + h + 1);
        }
    }
}

}  // namespace kui

int NewCtrl(int panel, int kind, const char *label, int top, int left)
{
    Panel *p = FindPanel(panel);
    if (!p || !p->w)
        return UIEInvalidPanel;
    if (kind < CTRL_RING || kind > CTRL_PERCENTAGE_BAR)
        return UIEInvalidValue;
    auto c = std::make_unique<Ctrl>();
    c->id = static_cast<int>(p->ctrls.size()) + 2;
    c->panel = panel;
    c->kind = kind;
    c->labelText = label ? label : "";
    c->top = top;
    c->left = left;
    const KindDefaults d = DefaultSize(kind);
    c->width = d.width;
    c->height = d.height;
    if (kind == CTRL_NUMERIC) {
        c->minV = -2147483648.0;
        c->maxV = 2147483647.0;
        c->precision = 0;
    } else if (kind == CTRL_PERCENTAGE_BAR) {
        c->minV = 0;
        c->maxV = 100;
    }
    if (kind == CTRL_TEXT_MSG)
        c->text = c->labelText;

    c->body = CreateBody(*c, p->w->content());
    UpdateCaption(*c);
    if (kind == CTRL_RAISED_BOX)
        c->body->lower();
    RefreshCtrl(*c);
    c->body->show();
    if (c->label)
        c->label->show();
    for (auto &e : c->extras)
        e->show();
    const int id = c->id;
    p->ctrls.push_back(std::move(c));
    p->tabOrder.push_back(id);
    return id;
}
