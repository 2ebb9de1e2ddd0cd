// The look of the panels: Fusion everywhere (the panels are laid out in
// pixels and should look alike on every desktop), with narrow spin-box
// arrows so that numbers fit the narrow fields the panels give them, and
// dimmed texts that stay readable on the grey panels.
#include "uistate.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionSpinBox>

namespace {

class PanelStyle : public QProxyStyle {
public:
    PanelStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}

    QRect subControlRect(ComplexControl cc, const QStyleOptionComplex *opt, SubControl sc,
                         const QWidget *w) const override
    {
        if (cc != CC_SpinBox)
            return QProxyStyle::subControlRect(cc, opt, sc, w);
        const auto *sb = qstyleoption_cast<const QStyleOptionSpinBox *>(opt);
        const QRect r = opt->rect;
        const bool buttons = sb && sb->buttonSymbols != QAbstractSpinBox::NoButtons;
        const int bw = buttons ? 12 : 0, half = r.height() / 2;
        switch (sc) {
        case SC_SpinBoxUp: return buttons ? QRect(r.right() - bw, r.top() + 1, bw, half - 1) : QRect();
        case SC_SpinBoxDown:
            return buttons ? QRect(r.right() - bw, r.top() + half, bw, r.height() - half - 1) : QRect();
        case SC_SpinBoxEditField: return QRect(r.left() + 2, r.top() + 2, r.width() - bw - 4, r.height() - 4);
        case SC_SpinBoxFrame: return r;
        default: return QProxyStyle::subControlRect(cc, opt, sc, w);
        }
    }
};

}  // namespace

namespace kui {

void ApplyPanelStyle()
{
    QApplication::setStyle(new PanelStyle);
    QPalette pal = QApplication::style()->standardPalette();
    const QColor dimmed(0x78, 0x78, 0x78);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, dimmed);
    QApplication::setPalette(pal);
    QFont f = QApplication::font();
    f.setPixelSize(12);
    QApplication::setFont(f);
}

}  // namespace kui
