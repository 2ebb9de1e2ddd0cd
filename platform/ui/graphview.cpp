#include "graphview.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kui {

namespace {

constexpr int kFanOut = 8;
constexpr MinMax kEmpty{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};

void Merge(MinMax &into, const MinMax &m)
{
    into.lo = std::min(into.lo, m.lo);
    into.hi = std::max(into.hi, m.hi);
}

int64_t BlockSize(int level)
{
    int64_t b = kFanOut;
    for (int i = 0; i < level; ++i)
        b *= kFanOut;
    return b;
}

// ---------------------------------------------------------------- pyramid

// The lowest level holds most of the pyramid's work: one typed loop without
// branches, which the compiler turns into vector minima and maxima.  A NaN
// fails both comparisons and so leaves the extremes alone, as in scan().
template <typename T>
std::vector<MinMax> BlockExtremes(const T *v, int64_t count)
{
    std::vector<MinMax> level((count + kFanOut - 1) / kFanOut);
    const int64_t whole = count / kFanOut;
    for (int64_t b = 0; b < whole; ++b) {
        const T *x = v + b * kFanOut;
        double lo = kEmpty.lo, hi = kEmpty.hi;
        for (int i = 0; i < kFanOut; ++i) {
            const double d = x[i];
            lo = d < lo ? d : lo;
            hi = d > hi ? d : hi;
        }
        level[b] = {lo, hi};
    }
    return level;
}

}  // namespace

MinMaxPyramid::MinMaxPyramid(const void *values, int64_t count, bool isFloat)
    : values_(values), count_(std::max<int64_t>(count, 0)), isFloat_(isFloat)
{
    if (count_ <= kFanOut)
        return;
    std::vector<MinMax> level = isFloat ? BlockExtremes(static_cast<const float *>(values), count_)
                                        : BlockExtremes(static_cast<const double *>(values), count_);
    if (count_ % kFanOut != 0)
        level.back() = scan(count_ / kFanOut * kFanOut, count_);
    levels_.push_back(std::move(level));
    while (levels_.back().size() > kFanOut) {
        const std::vector<MinMax> &below = levels_.back();
        std::vector<MinMax> up((below.size() + kFanOut - 1) / kFanOut, kEmpty);
        for (size_t i = 0; i < below.size(); ++i)
            Merge(up[i / kFanOut], below[i]);
        levels_.push_back(std::move(up));
    }
}

double MinMaxPyramid::at(int64_t i) const
{
    return isFloat_ ? static_cast<const float *>(values_)[i] : static_cast<const double *>(values_)[i];
}

MinMax MinMaxPyramid::scan(int64_t first, int64_t last) const
{
    MinMax r = kEmpty;
    for (int64_t i = first; i < last; ++i) {
        const double v = at(i);
        if (v == v) {   // NaN shows as a gap, not as an extreme
            r.lo = std::min(r.lo, v);
            r.hi = std::max(r.hi, v);
        }
    }
    return r;
}

// Whole blocks of the level inside the range, the ragged ends one level down.
MinMax MinMaxPyramid::query(int64_t first, int64_t last, int level) const
{
    if (last <= first)
        return kEmpty;
    if (level < 0)
        return scan(first, last);
    const int64_t b = BlockSize(level);
    const int64_t bs = (first + b - 1) / b, be = last / b;
    if (bs >= be)
        return query(first, last, level - 1);
    MinMax r = kEmpty;
    for (int64_t k = bs; k < be; ++k)
        Merge(r, levels_[level][k]);
    Merge(r, query(first, bs * b, level - 1));
    Merge(r, query(be * b, last, level - 1));
    return r;
}

MinMax MinMaxPyramid::range(int64_t first, int64_t last) const
{
    first = std::clamp<int64_t>(first, 0, count_);
    last = std::clamp<int64_t>(last, first, count_);
    int level = -1;
    while (level + 1 < static_cast<int>(levels_.size()) && BlockSize(level + 1) <= last - first)
        ++level;
    return query(first, last, level);
}

std::vector<MinMax> MinMaxPyramid::columns(int64_t first, int64_t last, int columns) const
{
    std::vector<MinMax> out(std::max(columns, 0), kEmpty);
    const int64_t n = last - first;
    for (int c = 0; c < columns && n > 0; ++c)
        out[c] = range(first + c * n / columns, first + (c + 1) * n / columns);
    return out;
}

std::vector<double> NiceTicks(double lo, double hi, int maxTicks)
{
    std::vector<double> ticks;
    if (!(hi > lo) || maxTicks < 1 || !std::isfinite(lo) || !std::isfinite(hi))
        return ticks;
    const double raw = (hi - lo) / maxTicks;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double step = mag;
    for (double f : {1.0, 2.0, 5.0, 10.0})
        if (f * mag >= raw) {
            step = f * mag;
            break;
        }
    for (double t = std::ceil(lo / step) * step; t <= hi + step * 1e-9; t += step)
        ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
    return ticks;
}

// ---------------------------------------------------------------- view

GraphView::GraphView(const MinMaxPyramid &data, QWidget *parent)
    : QWidget(parent), data_(data), last_(data.size())
{
    setMouseTracking(true);
    setMinimumSize(300, 200);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

QRect GraphView::plotRect() const
{
    return QRect(70, 10, std::max(10, width() - 85), std::max(10, height() - 45));
}

void GraphView::zoomTo(int64_t first, int64_t last)
{
    first = std::clamp<int64_t>(first, 0, data_.size());
    last = std::clamp<int64_t>(last, first, data_.size());
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
        last_ = data_.size();
    } else {
        std::tie(first_, last_) = history_.back();
        history_.pop_back();
    }
    update();
}

// The per-column reduction is redone only when the width or the shown range
// changed; repaints in between draw from the cache.
void GraphView::refreshColumns()
{
    const int w = plotRect().width();
    if (w == colsWidth_ && first_ == colsFirst_ && last_ == colsLast_)
        return;
    colsWidth_ = w;
    colsFirst_ = first_;
    colsLast_ = last_;
    cols_ = last_ - first_ > w ? data_.columns(first_, last_, w) : std::vector<MinMax>();
    const MinMax all = data_.range(first_, last_);
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

double GraphView::yToValue(int y) const
{
    const QRect r = plotRect();
    return yLo_ + (r.bottom() - y) * (yHi_ - yLo_) / std::max(1, r.height() - 1);
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
    const int64_t n = last_ - first_;
    if (n <= 0)
        return;
    for (double t : NiceTicks(static_cast<double>(first_), static_cast<double>(last_ - 1), std::max(2, r.width() / 90))) {
        if (t != std::floor(t))
            continue;
        const int x = r.left() + static_cast<int>((t - first_ + 0.5) * r.width() / n);
        p.setPen(QColor(0xE4, 0xE4, 0xE4));
        p.drawLine(x, r.top() + 1, x, r.bottom() - 1);
        p.setPen(Qt::black);
        p.drawLine(x, r.bottom(), x, r.bottom() + 4);
        const QString s = QString::number(static_cast<qint64>(t));
        p.drawText(x - fm.horizontalAdvance(s) / 2, r.bottom() + 6 + fm.ascent(), s);
    }
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
            const double v = data_.at(i);
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

void GraphView::paintEvent(QPaintEvent *)
{
    refreshColumns();
    QPainter p(this);
    const QRect r = plotRect();
    drawAxes(p, r);
    drawData(p, r);
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
    if (dragStart_ >= 0) {
        dragNow_ = x;
        update();
    }
    const int64_t n = last_ - first_;
    if (n <= 0)
        return;
    if (n <= r.width()) {
        const int64_t i = indexAt(x);
        emit cursorText(QString("Index %1   Value %2").arg(i).arg(data_.at(i), 0, 'g', 7));
    } else {
        const int c = x - r.left();
        const int64_t a = first_ + c * n / r.width(), b = first_ + (c + 1) * n / r.width() - 1;
        const MinMax m = data_.range(a, b + 1);
        emit cursorText(m.empty() ? QString("Index %1 - %2").arg(a).arg(b)
                                  : QString("Index %1 - %2   Value %3 ... %4")
                                        .arg(a).arg(b).arg(m.lo, 0, 'g', 7).arg(m.hi, 0, 'g', 7));
    }
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

// ---------------------------------------------------------------- dialog

int ShowGraphDialog(QWidget *parent, const QString &title, const void *values, int count, bool isFloat)
{
    const MinMaxPyramid data(values, count, isFloat);
    QDialog dlg(parent);
    dlg.setWindowTitle(title);
    dlg.setSizeGripEnabled(true);
    auto *view = new GraphView(data, &dlg);
    auto *coords = new QLabel(&dlg);
    auto *zoom = new QPushButton("&Zoom Out", &dlg);
    auto *close = new QPushButton("&Close", &dlg);
    zoom->setAutoDefault(false);
    QObject::connect(view, &GraphView::cursorText, coords, &QLabel::setText);
    QObject::connect(zoom, &QPushButton::clicked, view, &GraphView::zoomOut);
    QObject::connect(close, &QPushButton::clicked, &dlg, &QDialog::accept);
    auto *row = new QHBoxLayout;
    row->addWidget(coords, 1);
    row->addWidget(new QLabel("Drag to zoom, right click to zoom out", &dlg));
    row->addWidget(zoom);
    row->addWidget(close);
    auto *col = new QVBoxLayout(&dlg);
    col->addWidget(view, 1);
    col->addLayout(row);
    dlg.resize(820, 520);
    dlg.exec();
    return 0;
}

}  // namespace kui
