// The graph of the pop-ups: a line graph of up to many millions of values
// over their index or over an x scale (x = x0 + index * dx).  Each pixel
// column shows the minimum and maximum of the values under it, taken from a
// min/max pyramid built once, so drawing costs the same for 16 million points
// as for a thousand.  It marks its highest point and, under the mouse, the
// highest point of the column there, each with a readout in the axis units.
#pragma once

#include "graphaxes.h"
#include "pyramid.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace kui {

struct GraphAxes {
    double x0 = 0.0, dx = 1.0;
    QString xName = "Index";
    QString xUnit;   // "" or "Hz"
    QString yUnit;   // "" or "dB"
    // A plain index axis: integer ticks, as the values' own positions.
    bool plainIndex() const { return xUnit.isEmpty() && x0 == 0.0 && dx == 1.0; }
};

// What the view draws.  Built off the UI thread when it is large (the
// pyramid takes tens of milliseconds for 16 million points).
struct GraphData {
    GraphData(const void *values, int64_t count, bool isFloat, GraphAxes axes,
              std::shared_ptr<const void> keep = nullptr);
    std::shared_ptr<const void> keep;   // holds the values while they are drawn
    MinMaxPyramid pyr;
    GraphAxes axes;
    int64_t peak;                       // index of the highest value, -1 for none
    double x(int64_t i) const { return axes.x0 + static_cast<double>(i) * axes.dx; }
};
using GraphDataPtr = std::shared_ptr<const GraphData>;

class GraphView : public QWidget {
    Q_OBJECT
public:
    GraphView(GraphDataPtr data, QWidget *parent);
    // New data; a zoom stays on the same share of the span (the views of one
    // spectrum cover the same band whatever their number of points).
    void setData(GraphDataPtr data);
    const GraphData &data() const { return *data_; }
    void zoomOut();
    void zoomTo(int64_t first, int64_t last);
    int64_t first() const { return first_; }
    int64_t last() const { return last_; }
    // Readout of a point in the axis units, e.g. "12.5 MHz   -6.02 dB".
    QString pointText(int64_t i) const;
    // "Peak: ..." for the highest point, "" when there is none.
    QString peakReadout() const;

signals:
    void cursorText(const QString &text);
    void peakChanged(const QString &text);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void leaveEvent(QEvent *) override;

private:
    QRect plotRect() const;
    void refreshColumns();
    void drawAxes(QPainter &p, const QRect &r);
    void drawXTicks(QPainter &p, const QRect &r);
    void drawData(QPainter &p, const QRect &r);
    void drawMarkers(QPainter &p, const QRect &r);
    int64_t indexAt(int x) const;
    int xOf(double index, const QRect &r) const;
    int valueToY(double v, const QRect &r) const;
    // The highest point under pixel column x (or the point there when zoomed in).
    int64_t markedIndex(int x) const;

    GraphDataPtr data_;
    int64_t first_ = 0, last_ = 0;
    std::vector<std::pair<int64_t, int64_t>> history_;
    std::vector<MinMax> cols_;
    int colsWidth_ = -1;
    int64_t colsFirst_ = -1, colsLast_ = -1;
    const GraphData *colsData_ = nullptr;
    double yLo_ = 0, yHi_ = 1;
    int dragStart_ = -1, dragNow_ = -1;
    int64_t marker_ = -1;
};

}  // namespace kui
