// The graph pop-up: a line graph of up to many millions of values over
// their index.  Each pixel column shows the minimum and maximum of the
// values under it, taken from a min/max pyramid built once, so drawing
// costs the same for 16 million points as for a thousand.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

class QLabel;

namespace kui {

struct MinMax {
    double lo, hi;   // lo > hi when the span held no number (empty or all NaN)
    bool empty() const { return lo > hi; }
};

// Extremes of a sequence over any index range, in O(log n) per query.
class MinMaxPyramid {
public:
    MinMaxPyramid(const void *values, int64_t count, bool isFloat);
    int64_t size() const { return count_; }
    double at(int64_t i) const;
    MinMax range(int64_t first, int64_t last) const;   // [first, last)

    // One entry per column: column c covers [first + c*n/columns,
    // first + (c+1)*n/columns) with n = last - first.
    std::vector<MinMax> columns(int64_t first, int64_t last, int columns) const;

private:
    MinMax query(int64_t first, int64_t last, int level) const;
    MinMax scan(int64_t first, int64_t last) const;

    const void *values_;
    int64_t count_;
    bool isFloat_;
    std::vector<std::vector<MinMax>> levels_;   // levels_[k]: blocks of 8^(k+1) values
};

class GraphView : public QWidget {
    Q_OBJECT
public:
    GraphView(const MinMaxPyramid &data, QWidget *parent);
    void zoomOut();
    void zoomTo(int64_t first, int64_t last);
    int64_t first() const { return first_; }
    int64_t last() const { return last_; }

signals:
    void cursorText(const QString &text);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;

private:
    QRect plotRect() const;
    void refreshColumns();
    void drawAxes(QPainter &p, const QRect &r);
    void drawData(QPainter &p, const QRect &r);
    int64_t indexAt(int x) const;
    double yToValue(int y) const;
    int valueToY(double v, const QRect &r) const;

    const MinMaxPyramid &data_;
    int64_t first_ = 0, last_ = 0;
    std::vector<std::pair<int64_t, int64_t>> history_;
    std::vector<MinMax> cols_;
    int colsWidth_ = -1;
    int64_t colsFirst_ = -1, colsLast_ = -1;
    double yLo_ = 0, yHi_ = 1;
    int dragStart_ = -1, dragNow_ = -1;
};

// Modal dialog with the graph; returns when the person closes it.
int ShowGraphDialog(QWidget *parent, const QString &title, const void *values, int count, bool isFloat);

// "Nice" tick positions (1, 2, 5 times a power of ten) covering [lo, hi].
std::vector<double> NiceTicks(double lo, double hi, int maxTicks);

}  // namespace kui
