// A panel: a window (top level) or a framed area inside its parent panel.
// Controls live in the content area; a menu bar, when attached, sits above
// it and the window grows by its height, so control positions stay those
// the builders give.
#pragma once

#include <QWidget>

class QMenuBar;

namespace kui {

class PanelWidget : public QWidget {
    Q_OBJECT
public:
    PanelWidget(int handle, QWidget *parent);

    QWidget *content() const { return content_; }
    void attachMenuBar(QMenuBar *bar);
    int menuBarHeight() const;

    // Geometry of the content area: screen pixels for a window, pixels
    // inside the parent's content area for a child panel.
    void setContentGeometry(int top, int left, int height, int width);
    QRect contentGeometry() const;

    // How often the content area has been painted (tests look at whether a
    // panel got drawn before a long call blocked the window).
    int paints() const { return paints_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int handle_;
    QWidget *content_;
    QMenuBar *bar_ = nullptr;
    int barHeight_ = 0;
    int paints_ = 0;
};

}  // namespace kui
