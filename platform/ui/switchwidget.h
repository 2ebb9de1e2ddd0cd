// A two-state slide switch and a round lamp, drawn by hand so that they look
// like the instrument-style controls the panels were designed with.
#pragma once

#include <QColor>
#include <QWidget>

namespace kui {

class SwitchWidget : public QWidget {
    Q_OBJECT
public:
    explicit SwitchWidget(QWidget *parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }
    bool isOn() const { return on_; }
    void setOn(bool on);

signals:
    void toggledByUser(bool on);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void keyPressEvent(QKeyEvent *) override;

private:
    bool on_ = false;
};

class LedWidget : public QWidget {
    Q_OBJECT
public:
    explicit LedWidget(QWidget *parent) : QWidget(parent) {}
    void setState(bool on, QColor onColor, QColor offColor);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    bool on_ = false;
    QColor onColor_ = Qt::green, offColor_ = Qt::darkRed;
};

}  // namespace kui
