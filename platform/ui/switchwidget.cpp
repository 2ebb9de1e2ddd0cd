#include "switchwidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

namespace kui {

void SwitchWidget::setOn(bool on)
{
    if (on_ != on) {
        on_ = on;
        update();
    }
}

// The knob slides along the longer side: up or right means "on".
void SwitchWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool vertical = height() > width();
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = (vertical ? track.width() : track.height()) / 2;
    QColor fill = on_ ? QColor(0x3A, 0x7B, 0xD5) : QColor(0x9A, 0x9A, 0x9A);
    if (!isEnabled())
        fill = fill.lighter(140);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(fill);
    p.drawRoundedRect(track, radius, radius);

    const qreal knob = 2 * radius - 4;
    QPointF topLeft;
    if (vertical)
        topLeft = QPointF(track.left() + 2, on_ ? track.top() + 2 : track.bottom() - 2 - knob);
    else
        topLeft = QPointF(on_ ? track.right() - 2 - knob : track.left() + 2, track.top() + 2);
    const QRectF k(topLeft, QSizeF(knob, knob));
    QRadialGradient g(k.center() - QPointF(knob / 5, knob / 5), knob);
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(0xC8, 0xC8, 0xC8));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1));
    p.drawEllipse(k);
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }
}

// Taking the press makes the release come here, not to the panel.
void SwitchWidget::mousePressEvent(QMouseEvent *e)
{
    e->setAccepted(e->button() == Qt::LeftButton);
}

void SwitchWidget::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton || !rect().contains(e->position().toPoint()))
        return;
    setOn(!on_);
    emit toggledByUser(on_);
}

void SwitchWidget::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Space) {
        setOn(!on_);
        emit toggledByUser(on_);
        return;
    }
    QWidget::keyPressEvent(e);
}

void LedWidget::setState(bool on, QColor onColor, QColor offColor)
{
    on_ = on;
    onColor_ = onColor;
    offColor_ = offColor;
    update();
}

void LedWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = qMin(width(), height()) - 2;
    const QRectF r((width() - d) / 2, (height() - d) / 2, d, d);
    const QColor c = on_ ? onColor_ : offColor_;
    QRadialGradient g(r.center() - QPointF(d / 5, d / 5), d * 0.7);
    g.setColorAt(0, c.lighter(170));
    g.setColorAt(1, c);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(g);
    p.drawEllipse(r);
}

}  // namespace kui
