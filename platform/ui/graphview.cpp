#include "graphview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kui {

GraphData::GraphData(const void *values, int64_t count, bool isFloat, GraphAxes axes_,
                     std::shared_ptr<const void> keep_)
    : keep(std::move(keep_)), pyr(values, count, isFloat), axes(std::move(axes_)),
      peak(pyr.peak(0, pyr.size()))
{
}

GraphView::GraphView(GraphDataPtr data, QWidget *parent)
    : QWidget(parent), data_(std::move(data)), last_(data_->pyr.size())
{
    setMouseTracking(true);
    setMinimumSize(300, 200);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

void GraphView::setData(GraphDataPtr data)
{
    const int64_t oldSize = data_->pyr.size(), newSize = data->pyr.size();
    auto share = [&](int64_t i) {
        return oldSize > 0 ? static_cast<int64_t>(std::llround(static_cast<double>(i) * newSize / oldSize)) : 0;
    };
    const bool zoomed = first_ != 0 || last_ != oldSize;
    int64_t first = share(first_), last = share(last_);
    const double middle = oldSize > 0 ? 0.5 * static_cast<double>(first_ + last_) * newSize / oldSize : 0.0;
    data_ = std::move(data);
    history_.clear();
    marker_ = -1;
    first_ = 0;
    last_ = newSize;
    if (zoomed && newSize > 2) {
        // A band narrower than two points of the new view widens to the two
        // nearest its middle rather than losing the zoom.
        if (last - first < 2) {
            first = std::clamp<int64_t>(std::llround(middle) - 1, 0, newSize - 2);
            last = first + 2;
        }
        first_ = std::clamp<int64_t>(first, 0, newSize);
        last_ = std::clamp<int64_t>(last, first_, newSize);
        history_.emplace_back(0, newSize);   // right click still returns to the whole span
    }
    colsData_ = nullptr;
    emit peakChanged(peakReadout());
    emit cursorText(QString());
    update();
}

QRect GraphView::plotRect() const
{
    return QRect(70, 18, std::max(10, width() - 85), std::max(10, height() - 66));
}

void GraphView::zoomTo(int64_t first, int64_t last)
{
    const int64_t n = data_->pyr.size();
    first = std::clamp<int64_t>(first, 0, n);
    last = std::clamp<int64_t>(last, first, n);
    if (last - first < 2 || (first == first_ && last == last_))
        return;
    history_.emplace_back(first_, last_);
    first_ = first;
    last_ = last;
    update();
}

void GraphView::zoomOut()
{
    if (history_.empty()) {
        first_ = 0;
        last_ = data_->pyr.size();
    } else {
        std::tie(first_, last_) = history_.back();
        history_.pop_back();
    }
    update();
}

// The per-column reduction is redone only when the width, the shown range or
// the data changed; repaints in between draw from the cache.
void GraphView::refreshColumns()
{
    const int w = plotRect().width();
    if (w == colsWidth_ && first_ == colsFirst_ && last_ == colsLast_ && colsData_ == data_.get())
        return;
    colsWidth_ = w;
    colsFirst_ = first_;
    colsLast_ = last_;
    colsData_ = data_.get();
    const MinMaxPyramid &pyr = data_->pyr;
    cols_ = last_ - first_ > w ? pyr.columns(first_, last_, w) : std::vector<MinMax>();
    const MinMax all = pyr.range(first_, last_);
    if (all.empty()) {
        yLo_ = -1;
        yHi_ = 1;
    } else if (all.hi > all.lo) {
        const double pad = (all.hi - all.lo) * 0.05;
        yLo_ = all.lo - pad;
        yHi_ = all.hi + pad;
    } else {
        yLo_ = all.lo - (std::abs(all.lo) > 0 ? std::abs(all.lo) * 0.1 : 1);
        yHi_ = all.hi + (std::abs(all.hi) > 0 ? std::abs(all.hi) * 0.1 : 1);
    }
}

int GraphView::valueToY(double v, const QRect &r) const
{
    const double t = (v - yLo_) / (yHi_ - yLo_);
    return r.bottom() - static_cast<int>(std::lround(t * (r.height() - 1)));
}

int GraphView::xOf(double index, const QRect &r) const
{
    const double n = static_cast<double>(last_ - first_);
    return r.left() + static_cast<int>(std::floor((index - first_ + 0.5) * r.width() / n));
}

int64_t GraphView::indexAt(int x) const
{
    const QRect r = plotRect();
    const int64_t n = last_ - first_;
    if (n <= 0)
        return first_;
    const int64_t i = first_ + static_cast<int64_t>(std::floor((x - r.left()) * static_cast<double>(n) / r.width()));
    return std::clamp<int64_t>(i, first_, last_ - 1);
}

int64_t GraphView::markedIndex(int x) const
{
    const QRect r = plotRect();
    const int64_t n = last_ - first_;
    if (n <= 0)
        return -1;
    if (n <= r.width())
        return indexAt(x);
    const int c = std::clamp(x - r.left(), 0, r.width() - 1);
    return data_->pyr.peak(first_ + c * n / r.width(), first_ + (c + 1) * n / r.width());
}

QString GraphView::pointText(int64_t i) const
{
    const GraphAxes &a = data_->axes;
    const double v = data_->pyr.at(i);
    QString where;
    if (a.plainIndex()) {
        where = QString("%1 %2").arg(a.xName).arg(i);
    } else {
        const NumberStyle s = StyleFor(std::max(std::abs(data_->x(0)), std::abs(data_->x(data_->pyr.size() - 1))),
                                       a.dx, a.xUnit);
        where = s.withUnit(data_->x(i));
    }
    const QString value = a.yUnit == "dB" ? QString::number(v, 'f', 2) + " dB" : QString::number(v, 'g', 7);
    return where + "   " + value;
}

QString GraphView::peakReadout() const
{
    return data_->peak >= 0 ? "Peak: " + pointText(data_->peak) : QString();
}

void GraphView::drawAxes(QPainter &p, const QRect &r)
{
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const QFontMetrics fm(font());
    for (double t : NiceTicks(yLo_, yHi_, std::max(2, r.height() / 40))) {
        const int y = valueToY(t, r);
        p.setPen(QColor(0xE4, 0xE4, 0xE4));
        p.drawLine(r.left() + 1, y, r.right() - 1, y);
        p.setPen(Qt::black);
        p.drawLine(r.left() - 4, y, r.left(), y);
        const QString s = QString::number(t, 'g', 6);
        p.drawText(r.left() - 6 - fm.horizontalAdvance(s), y + fm.ascent() / 2 - 1, s);
    }
    if (!data_->axes.yUnit.isEmpty())
        p.drawText(r.left() - 6 - fm.horizontalAdvance(data_->axes.yUnit), r.top() - 5, data_->axes.yUnit);
    if (last_ > first_)
        drawXTicks(p, r);
}

// Ticks at round x values; an index axis only at whole indices.
void GraphView::drawXTicks(QPainter &p, const QRect &r)
{
    const GraphAxes &a = data_->axes;
    const double xa = data_->x(first_), xb = data_->x(last_ - 1);
    const std::vector<double> ticks = NiceTicks(std::min(xa, xb), std::max(xa, xb), std::max(2, r.width() / 90));
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
    const NumberStyle style = StyleFor(std::max(std::abs(xa), std::abs(xb)), step, a.xUnit);
    const QFontMetrics fm(font());
    for (double t : ticks) {
        if (a.plainIndex() && t != std::floor(t))
            continue;
        const int x = xOf((t - a.x0) / a.dx, r);
        p.setPen(QColor(0xE4, 0xE4, 0xE4));
        p.drawLine(x, r.top() + 1, x, r.bottom() - 1);
        p.setPen(Qt::black);
        p.drawLine(x, r.bottom(), x, r.bottom() + 4);
        const QString s = a.plainIndex() ? QString::number(static_cast<qint64>(t)) : style.format(t);
        p.drawText(x - fm.horizontalAdvance(s) / 2, r.bottom() + 6 + fm.ascent(), s);
    }
    const QString title = style.unit.isEmpty() ? a.xName : QString("%1 (%2)").arg(a.xName, style.unit);
    p.drawText(r.right() - fm.horizontalAdvance(title), r.bottom() + 8 + fm.ascent() + fm.height(), title);
}

void GraphView::drawData(QPainter &p, const QRect &r)
{
    p.setClipRect(r.adjusted(1, 1, -1, -1));
    p.setPen(QPen(QColor(0x10, 0x40, 0xC0), 1));
    const int64_t n = last_ - first_;
    if (n <= r.width()) {
        // Few enough points: a line through each of them.
        QPointF prev;
        bool havePrev = false;
        for (int64_t i = first_; i < last_; ++i) {
            const double v = data_->pyr.at(i);
            if (v != v) {
                havePrev = false;
                continue;
            }
            const QPointF pt(r.left() + (i - first_ + 0.5) * r.width() / n, valueToY(v, r));
            if (havePrev)
                p.drawLine(prev, pt);
            else if (n < r.width() / 4)
                p.drawEllipse(pt, 1.5, 1.5);
            prev = pt;
            havePrev = true;
        }
        return;
    }
    // One vertical stroke per column from its minimum to its maximum,
    // stretched to meet the neighbour so that the trace stays connected.
    const MinMax *prev = nullptr;
    for (int c = 0; c < static_cast<int>(cols_.size()); ++c) {
        const MinMax &m = cols_[c];
        if (m.empty()) {
            prev = nullptr;
            continue;
        }
        double lo = m.lo, hi = m.hi;
        if (prev) {
            lo = std::min(lo, prev->hi);
            hi = std::max(hi, prev->lo);
        }
        const int x = r.left() + c;
        p.drawLine(x, valueToY(hi, r), x, valueToY(lo, r));
        prev = &m;
    }
}

// The peak as a red triangle above its point; the mouse marker as a dashed
// line through the highest point under the mouse.
void GraphView::drawMarkers(QPainter &p, const QRect &r)
{
    const int64_t peak = data_->peak;
    if (peak >= first_ && peak < last_) {
        const int x = xOf(static_cast<double>(peak), r), y = valueToY(data_->pyr.at(peak), r);
        QPainterPath tri;
        tri.moveTo(x, y - 2);
        tri.lineTo(x - 5, y - 11);
        tri.lineTo(x + 5, y - 11);
        tri.closeSubpath();
        p.fillPath(tri, QColor(0xD0, 0x20, 0x20));
    }
    if (marker_ >= first_ && marker_ < last_) {
        const int x = xOf(static_cast<double>(marker_), r);
        p.setPen(QPen(QColor(0x20, 0x90, 0x20), 1, Qt::DashLine));
        p.drawLine(x, r.top() + 1, x, r.bottom() - 1);
        const double v = data_->pyr.at(marker_);
        if (v == v)
            p.drawEllipse(QPoint(x, valueToY(v, r)), 3, 3);
    }
}

void GraphView::paintEvent(QPaintEvent *)
{
    refreshColumns();
    QPainter p(this);
    const QRect r = plotRect();
    drawAxes(p, r);
    drawData(p, r);
    drawMarkers(p, r);
    if (dragStart_ >= 0 && dragNow_ >= 0) {
        p.setClipping(false);
        const int x0 = std::min(dragStart_, dragNow_), x1 = std::max(dragStart_, dragNow_);
        p.fillRect(QRect(x0, r.top(), x1 - x0 + 1, r.height()), QColor(0x30, 0x80, 0xFF, 50));
    }
}

void GraphView::mousePressEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    if (e->button() == Qt::RightButton) {
        zoomOut();
    } else if (e->button() == Qt::LeftButton && plotRect().contains(pos)) {
        dragStart_ = dragNow_ = pos.x();
        update();
    }
}

void GraphView::mouseMoveEvent(QMouseEvent *e)
{
    const QRect r = plotRect();
    const int x = std::clamp(static_cast<int>(e->position().x()), r.left(), r.right());
    if (dragStart_ >= 0)
        dragNow_ = x;
    marker_ = markedIndex(x);
    emit cursorText(marker_ >= 0 ? "Marker: " + pointText(marker_) : QString());
    update();
}

void GraphView::leaveEvent(QEvent *)
{
    marker_ = -1;
    emit cursorText(QString());
    update();
}

void GraphView::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton || dragStart_ < 0)
        return;
    const int x0 = std::min(dragStart_, dragNow_), x1 = std::max(dragStart_, dragNow_);
    dragStart_ = dragNow_ = -1;
    if (x1 - x0 >= 4)
        zoomTo(indexAt(x0), indexAt(x1) + 1);
    update();
}

}  // namespace kui
