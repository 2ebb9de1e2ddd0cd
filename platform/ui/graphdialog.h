// The dialog of the graph pop-ups: the graph, the readouts of its peak and
// of the mouse marker, the program's choices above it (when it offers any),
// zoom, export and close.  A new choice is computed on a worker thread while
// the dialog stays alive; a bar shows the progress of anything slower than
// 0.2 s, and a later choice cancels the one still running.  Without a first
// trace the dialog opens at once and computes its first view the same way.
#pragma once

#include "graphpopup.h"
#include "graphview.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QComboBox;
class QImage;
class QLabel;
class QProgressBar;
class QPushButton;

namespace kui {

// One piece of work at a time on a worker thread; its completion runs on the
// owner's thread.  Destroying it cancels the work and waits for it.
class BackgroundJob {
public:
    explicit BackgroundJob(QObject *owner) : owner_(owner) {}
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob &) = delete;
    BackgroundJob &operator=(const BackgroundJob &) = delete;

    bool busy() const { return busy_; }
    double fraction() const { return progress_ ? progress_->fraction() : 0.0; }
    void cancel();
    void start(std::function<void(GraphProgress &)> work, std::function<void()> done);

private:
    QObject *owner_;
    std::thread thread_;
    std::shared_ptr<GraphProgress> progress_;
    bool busy_ = false;
};

// The graph data of a trace (builds the pyramid: call off the UI thread for
// long traces).
GraphDataPtr MakeGraphData(const GraphTracePtr &trace);

class GraphDialog : public QDialog {
    Q_OBJECT
public:
    // setup (may be null: a plain graph) must outlive the dialog.  With a setup
    // that has no first trace, first is empty and the choices' starting items
    // are computed at once.
    GraphDialog(QWidget *parent, const QString &title, GraphDataPtr first, const GraphPopupSetup *setup);
    ~GraphDialog() override;

    GraphView *view() const { return view_; }
    bool busy() const { return job_.busy(); }
    // The first view could not be computed: the dialog said why and closed.
    bool firstViewFailed() const { return firstFailed_; }
    // The export steps after the file dialog; "" or the reason of a failure.
    QString savePng(const QString &path) const;
    // What Export PNG writes: the graph as shown, below the choices and the
    // note when there are any.
    QImage picture() const;
    void saveCsv(const QString &path);

private:
    QLayout *choiceRow();
    QLayout *readoutRow();
    QLayout *buttonRow();
    std::vector<int> chosen() const;
    void showChosen(const std::vector<int> &values);
    void dimRings();
    void onChoice();
    void startNext();
    void computed(const std::vector<int> &values, GraphTracePtr trace, GraphDataPtr data,
                  const std::string &error);
    void runJob(const QString &what, std::function<void(GraphProgress &)> work, std::function<void()> done);
    void jobEnded();
    void showFraction();
    void exportCsv();
    void exportPng();

    const GraphPopupSetup *setup_;
    GraphTracePtr trace_;   // the trace on screen, null for a plain graph
    std::vector<int> shown_;
    std::optional<std::vector<int>> pending_;
    std::vector<QComboBox *> rings_;
    GraphView *view_ = nullptr;
    QLabel *note_ = nullptr, *peak_ = nullptr, *marker_ = nullptr, *busyText_ = nullptr;
    QProgressBar *bar_ = nullptr;
    QPushButton *csv_ = nullptr, *png_ = nullptr;
    QTimer showBusy_, pollBusy_;
    bool computing_ = false;   // the job computes a trace (not an export)
    bool firstFailed_ = false;
    BackgroundJob job_;
};

}  // namespace kui
