#include "panelwidget.h"

#include "uistate.h"

#include <QCloseEvent>
#include <QFrame>
#include <QMenuBar>

#include <algorithm>

namespace kui {

PanelWidget::PanelWidget(int handle, QWidget *parent)
    : QWidget(parent), handle_(handle), content_(new QFrame(this))
{
    content_->setAutoFillBackground(true);
    content_->installEventFilter(this);
    // A panel inside another shows its edge, as the run-time's child panels do.
    if (parent)
        static_cast<QFrame *>(content_)->setFrameStyle(QFrame::Panel | QFrame::Raised);
}

void PanelWidget::attachMenuBar(QMenuBar *bar)
{
    const QRect g = contentGeometry();
    bar_ = bar;
    bar_->setParent(this);
    // Fixed once: the bar's size hint grows as menus are added, and the
    // panel's area must not shrink under it.
    barHeight_ = std::max(bar_->sizeHint().height(), bar_->fontMetrics().height() + 10);
    bar_->setFixedHeight(barHeight_);
    bar_->show();
    setContentGeometry(g.top(), g.left(), g.height(), g.width());
}

int PanelWidget::menuBarHeight() const
{
    return bar_ ? barHeight_ : 0;
}

void PanelWidget::setContentGeometry(int top, int left, int height, int width)
{
    const int mb = menuBarHeight();
    setGeometry(left, top, width, height + mb);
    if (isWindow())
        setFixedSize(width, height + mb);
    if (bar_)
        bar_->setGeometry(0, 0, width, mb);
    content_->setGeometry(0, mb, width, height);
}

QRect PanelWidget::contentGeometry() const
{
    const QRect g = geometry();
    return QRect(g.left(), g.top(), g.width(), g.height() - menuBarHeight());
}

void PanelWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int mb = menuBarHeight();
    if (bar_)
        bar_->setGeometry(0, 0, width(), mb);
    content_->setGeometry(0, mb, width(), height() - mb);
}

bool PanelWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == content_ && event->type() == QEvent::Paint)
        ++paints_;
    return QWidget::eventFilter(watched, event);
}

// The close box never closes a panel by itself: it commits the panel's
// close control, whose callback decides (the main panel's Quit button).
void PanelWidget::closeEvent(QCloseEvent *event)
{
    event->ignore();
    Panel *p = FindPanel(handle_);
    if (!p || p->closeCtrl == 0)
        return;
    if (Ctrl *c = FindCtrl(handle_, p->closeCtrl))
        UserCommit(*c);
}

}  // namespace kui
