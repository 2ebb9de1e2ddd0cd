// Pushing a control's stored state into its widgets, and the commit path.
#include "switchwidget.h"
#include "uistate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include <cmath>

namespace kui {

namespace {

void SetTextColours(QWidget *w, int fg, int bg)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, ToQColor(fg));
    w->setPalette(pal);
    w->setAutoFillBackground(bg != VAL_TRANSPARENT);
    if (bg != VAL_TRANSPARENT) {
        pal.setColor(QPalette::Window, ToQColor(bg));
        w->setPalette(pal);
    }
}

void RefreshNumeric(Ctrl &c, QDoubleSpinBox *w)
{
    const bool isInt = c.dataType == VAL_INTEGER;
    w->setDecimals(isInt ? 0 : c.precision);
    w->setRange(c.minV, c.maxV);
    w->setSingleStep(c.incr);
    w->setValue(c.num);
    const bool ind = c.mode == VAL_INDICATOR;
    w->setReadOnly(ind);
    w->setButtonSymbols(ind ? QAbstractSpinBox::NoButtons : QAbstractSpinBox::UpDownArrows);
}

void RefreshText(Ctrl &c, QLabel *w)
{
    QFont f = w->font();
    if (c.pointSize > 0)
        f.setPixelSize(c.pointSize);
    w->setFont(f);
    w->setText(QString::fromStdString(c.text));
    SetTextColours(w, c.textColor, c.textBg);
}

void RefreshButton(Ctrl &c, QPushButton *w)
{
    w->setText(ToQtMnemonic(c.labelText));
    if (c.buttonColor >= 0) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Button, ToQColor(c.buttonColor));
        w->setPalette(pal);
    }
}

void RefreshSwitch(Ctrl &c, SwitchWidget *w)
{
    w->setOn(c.num == c.onVal);
    if (c.extras.size() == 2) {
        c.extras[0]->setText(QString::fromStdString(c.onText));
        c.extras[1]->setText(QString::fromStdString(c.offText));
    }
    w->setAttribute(Qt::WA_TransparentForMouseEvents, c.mode == VAL_INDICATOR);
}

void RefreshBar(Ctrl &c, QProgressBar *w)
{
    w->setValue(static_cast<int>(std::lround(std::clamp(c.num, 0.0, 100.0))));
    QPalette pal = w->palette();
    pal.setColor(QPalette::Highlight, ToQColor(c.fillColor));
    w->setPalette(pal);
}

void RefreshBody(Ctrl &c)
{
    QWidget *b = c.body;
    switch (c.kind) {
    case CTRL_RING:
        static_cast<QComboBox *>(b)->setCurrentIndex(c.index);
        b->setAttribute(Qt::WA_TransparentForMouseEvents, c.mode == VAL_INDICATOR);
        break;
    case CTRL_NUMERIC: RefreshNumeric(c, static_cast<QDoubleSpinBox *>(b)); break;
    case CTRL_STRING: {
        auto *e = static_cast<QLineEdit *>(b);
        if (e->text().toStdString() != c.text)
            e->setText(QString::fromStdString(c.text));
        e->setReadOnly(c.mode == VAL_INDICATOR);
        e->setMaxLength(c.maxLen > 0 ? c.maxLen : 32767);
        break;
    }
    case CTRL_TEXT_MSG: RefreshText(c, static_cast<QLabel *>(b)); break;
    case CTRL_COMMAND_BUTTON: RefreshButton(c, static_cast<QPushButton *>(b)); break;
    case CTRL_BINARY_SWITCH: RefreshSwitch(c, static_cast<SwitchWidget *>(b)); break;
    case CTRL_ROUND_LED:
        static_cast<LedWidget *>(b)->setState(c.num != 0, ToQColor(c.onColor), ToQColor(c.offColor));
        break;
    case CTRL_CHECK_BOX:
        static_cast<QCheckBox *>(b)->setChecked(c.num != 0);
        b->setAttribute(Qt::WA_TransparentForMouseEvents, c.mode == VAL_INDICATOR);
        break;
    case CTRL_PERCENTAGE_BAR: RefreshBar(c, static_cast<QProgressBar *>(b)); break;
    default: break;
    }
}

}  // namespace

void RefreshCtrl(Ctrl &c)
{
    if (!c.body)
        return;
    {
        const QSignalBlocker block(c.body);
        RefreshBody(c);
    }
    std::vector<QWidget *> all{c.body};
    if (c.label && !c.labelText.empty())
        all.push_back(c.label);
    for (auto &e : c.extras)
        if (e)
            all.push_back(e);
    for (QWidget *w : all) {
        w->setEnabled(!c.dimmed);
        w->setVisible(c.visible);
    }
    PlaceCtrl(c);
}

void UserCommit(Ctrl &c)
{
    if (c.cb)
        c.cb(c.panel, c.id, EVENT_COMMIT, c.cbData, 0, 0);
}

double ClampNumeric(const Ctrl &c, double v)
{
    if (std::isnan(v))
        return c.minV;
    return std::clamp(v, c.minV, c.maxV);
}

// Integer numerics hold whole numbers; float ones hold what a float holds,
// so that reading back gives exactly what the program's float variable has.
double StoreAsType(int dataType, double v)
{
    switch (dataType) {
    case VAL_INTEGER: return std::trunc(v);
    case VAL_FLOAT: return static_cast<double>(static_cast<float>(v));
    default: return v;
    }
}

bool RingValueMatches(const Ctrl &c, const RingItem &it, double v)
{
    switch (c.dataType) {
    case VAL_INTEGER: return static_cast<long long>(it.num) == static_cast<long long>(std::trunc(v));
    case VAL_FLOAT: return static_cast<float>(it.num) == static_cast<float>(v);
    default: return it.num == v;
    }
}

}  // namespace kui
