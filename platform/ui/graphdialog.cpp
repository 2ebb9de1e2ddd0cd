#include "graphdialog.h"

#include "safewrite.h"
#include "userint.h"

#include <QBuffer>
#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace kui {

// ---------------------------------------------------------------- job

BackgroundJob::~BackgroundJob()
{
    cancel();
    if (thread_.joinable())
        thread_.join();
}

void BackgroundJob::cancel()
{
    if (progress_)
        progress_->cancel();
}

void BackgroundJob::start(std::function<void(GraphProgress &)> work, std::function<void()> done)
{
    if (thread_.joinable())
        thread_.join();
    progress_ = std::make_shared<GraphProgress>();
    busy_ = true;
    auto finish = [this, done = std::move(done)] {
        busy_ = false;
        if (thread_.joinable())
            thread_.join();
        done();
    };
    try {
        thread_ = std::thread([work = std::move(work), progress = progress_, owner = owner_, finish] {
            work(*progress);
            QMetaObject::invokeMethod(owner, finish, Qt::QueuedConnection);
        });
    } catch (const std::system_error &) {
        work(*progress_);   // no thread to be had: the window waits this once
        finish();
    }
}

GraphDataPtr MakeGraphData(const GraphTracePtr &trace)
{
    GraphAxes axes;
    axes.x0 = trace->x0;
    axes.dx = trace->dx;
    axes.xName = QString::fromStdString(trace->xName);
    axes.xUnit = QString::fromStdString(trace->xUnit);
    axes.yUnit = QString::fromStdString(trace->yUnit);
    return std::make_shared<GraphData>(trace->values.get(), trace->count, false, axes, trace);
}

// ---------------------------------------------------------------- dialog

GraphDialog::GraphDialog(QWidget *parent, const QString &title, GraphDataPtr first,
                         const GraphPopupSetup *setup)
    : QDialog(parent), setup_(setup), trace_(setup ? setup->first : nullptr), job_(this)
{
    setWindowTitle(title);
    setSizeGripEnabled(true);
    view_ = new GraphView(std::move(first), this);
    auto *col = new QVBoxLayout(this);
    if (setup_ && !setup_->choices.empty()) {
        col->addLayout(choiceRow());
        // On a line of its own, so that a longer note never widens the window.
        note_ = new QLabel(QString::fromStdString(trace_ ? trace_->note : std::string()), this);
        col->addWidget(note_);
    }
    col->addWidget(view_, 1);
    col->addLayout(readoutRow());
    col->addLayout(buttonRow());
    showBusy_.setSingleShot(true);
    connect(&showBusy_, &QTimer::timeout, this, [this] {
        busyText_->setVisible(job_.busy());
        showFraction();
    });
    pollBusy_.setInterval(50);
    connect(&pollBusy_, &QTimer::timeout, this, [this] { showFraction(); });
    resize(820, 560);
    if (setup_ && !trace_) {
        pending_ = chosen();
        startNext();
    }
}

GraphDialog::~GraphDialog()
{
    job_.cancel();
}

QLayout *GraphDialog::choiceRow()
{
    auto *row = new QHBoxLayout;
    for (const GraphChoice &c : setup_->choices) {
        auto *ring = new QComboBox(this);
        ring->setObjectName(QString::fromStdString(c.label));
        for (const std::string &item : c.items)
            ring->addItem(QString::fromStdString(item));
        ring->setCurrentIndex(c.value);
        shown_.push_back(c.value);
        auto *label = new QLabel(QString::fromStdString(c.label), this);
        label->setBuddy(ring);
        row->addWidget(label);
        row->addWidget(ring);
        rings_.push_back(ring);
        connect(ring, &QComboBox::currentIndexChanged, this, [this] { onChoice(); });
    }
    row->addStretch(1);
    dimRings();
    return row;
}

QLayout *GraphDialog::readoutRow()
{
    auto *row = new QHBoxLayout;
    peak_ = new QLabel(view_->peakReadout(), this);
    marker_ = new QLabel(this);
    busyText_ = new QLabel("Computing...", this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setMaximumWidth(160);
    busyText_->hide();
    bar_->hide();
    connect(view_, &GraphView::peakChanged, peak_, &QLabel::setText);
    connect(view_, &GraphView::cursorText, marker_, &QLabel::setText);
    row->addWidget(peak_);
    row->addSpacing(24);
    row->addWidget(marker_, 1);
    row->addWidget(busyText_);
    row->addWidget(bar_);
    return row;
}

QLayout *GraphDialog::buttonRow()
{
    auto *row = new QHBoxLayout;
    auto *zoom = new QPushButton("&Zoom Out", this);
    png_ = new QPushButton("Export &PNG...", this);
    auto *close = new QPushButton("&Close", this);
    row->addWidget(new QLabel("Drag to zoom, right click to zoom out", this), 1);
    row->addWidget(zoom);
    if (setup_ && setup_->writeCsv) {
        csv_ = new QPushButton("Export CS&V...", this);
        csv_->setAutoDefault(false);
        row->addWidget(csv_);
        connect(csv_, &QPushButton::clicked, this, &GraphDialog::exportCsv);
    }
    row->addWidget(png_);
    row->addWidget(close);
    zoom->setAutoDefault(false);
    png_->setAutoDefault(false);
    connect(zoom, &QPushButton::clicked, view_, &GraphView::zoomOut);
    connect(png_, &QPushButton::clicked, this, &GraphDialog::exportPng);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    return row;
}

std::vector<int> GraphDialog::chosen() const
{
    std::vector<int> values;
    for (const QComboBox *ring : rings_)
        values.push_back(ring->currentIndex());
    return values;
}

// The rings say what is on screen again (after a choice that failed).
void GraphDialog::showChosen(const std::vector<int> &values)
{
    for (size_t k = 0; k < rings_.size() && k < values.size(); ++k) {
        const QSignalBlocker hold(rings_[k]);
        rings_[k]->setCurrentIndex(values[k]);
    }
    dimRings();
}

void GraphDialog::dimRings()
{
    for (size_t k = 0; k < rings_.size(); ++k) {
        const int with = setup_->choices[k].onlyWith;
        const bool on = with < 0 || with >= static_cast<int>(rings_.size()) || rings_[with]->currentIndex() != 0;
        rings_[k]->setEnabled(on);
    }
}

void GraphDialog::onChoice()
{
    dimRings();
    pending_ = chosen();
    if (!job_.busy())
        startNext();
    else if (computing_)
        job_.cancel();   // its end starts the newest choice; an export runs to its end

}

void GraphDialog::startNext()
{
    if (!pending_ || job_.busy())
        return;
    const std::vector<int> values = *pending_;
    pending_.reset();
    if (trace_ && values == shown_)
        return;
    struct Result {
        GraphTracePtr trace;
        GraphDataPtr data;
        std::string error;
    };
    auto result = std::make_shared<Result>();
    const GraphPopupSetup *setup = setup_;
    computing_ = true;
    runJob("Computing...",
           [setup, values, result](GraphProgress &progress) {
               result->trace = setup->compute(values, progress, result->error);
               if (result->trace && !progress.cancelled())
                   result->data = MakeGraphData(result->trace);   // the pyramid, off the UI thread
           },
           [this, values, result] { computed(values, result->trace, result->data, result->error); });
}

void GraphDialog::computed(const std::vector<int> &values, GraphTracePtr trace, GraphDataPtr data,
                           const std::string &error)
{
    if (pending_)   // a newer choice came meanwhile: the end of the job starts it
        return;
    if (!data) {
        showChosen(shown_);
        if (!error.empty())
            MessagePopup("Error", error.c_str());
        if (!trace_) {   // not even the first view: there is nothing to look at
            firstFailed_ = true;
            reject();
        }
        return;
    }
    trace_ = std::move(trace);
    shown_ = values;
    view_->setData(std::move(data));
    note_->setText(QString::fromStdString(trace_->note));
}

void GraphDialog::runJob(const QString &what, std::function<void(GraphProgress &)> work,
                         std::function<void()> done)
{
    busyText_->setText(what);
    if (csv_)
        csv_->setEnabled(false);
    // The picture of a graph that is about to change would show neither view.
    png_->setEnabled(!computing_);
    // An empty graph says at once why it is empty.
    showBusy_.start(trace_ ? 200 : 0);
    pollBusy_.start();
    job_.start(std::move(work), [this, done = std::move(done)] {
        jobEnded();
        done();
        startNext();
    });
}

void GraphDialog::jobEnded()
{
    showBusy_.stop();
    pollBusy_.stop();
    bar_->hide();
    busyText_->hide();
    bar_->setValue(0);
    if (csv_)
        csv_->setEnabled(true);
    png_->setEnabled(true);
}

// A computation that tells no fraction (the one transform of the record)
// shows the text alone: a bar that never moves would look stuck, and one that
// moves to and fro keeps repainting the window while the transform wants
// both cores.
void GraphDialog::showFraction()
{
    const double f = job_.fraction();
    bar_->setVisible(!busyText_->isHidden() && f > 0);
    bar_->setValue(static_cast<int>(f * 100));
}

// ---------------------------------------------------------------- export

void GraphDialog::saveCsv(const QString &path)
{
    auto error = std::make_shared<std::string>();
    const GraphTracePtr trace = trace_;
    const int64_t first = view_->first(), last = view_->last();
    const GraphPopupSetup *setup = setup_;
    const std::string file = path.toStdString();
    computing_ = false;
    runJob("Writing...",
           [setup, trace, first, last, file, error](GraphProgress &progress) {
               *error = setup->writeCsv(*trace, first, last, file, progress);
           },
           [error] {
               if (!error->empty())
                   MessagePopup("Error", error->c_str());
           });
}

QImage GraphDialog::picture() const
{
    const QImage graph = view_->grab().toImage();
    if (rings_.empty())
        return graph;
    // The choices that apply, then the note (the dB reference, the segments):
    // a picture that travels alone still says what it shows.
    QStringList settings;
    for (const QComboBox *ring : rings_)
        if (ring->isEnabled())
            settings << ring->objectName() + ": " + ring->currentText();
    QStringList lines{settings.join("    ")};
    if (!note_->text().isEmpty())
        lines << note_->text();
    const QFontMetrics fm(font());
    const qreal dpr = graph.devicePixelRatio();
    const int width = static_cast<int>(graph.width() / dpr), header = 6 + fm.height() * static_cast<int>(lines.size());
    QImage out(graph.width(), graph.height() + static_cast<int>(header * dpr), QImage::Format_RGB32);
    out.setDevicePixelRatio(dpr);
    out.fill(Qt::white);
    QPainter p(&out);
    p.setFont(font());
    p.setPen(Qt::black);
    for (int k = 0; k < lines.size(); ++k)
        p.drawText(8, 3 + fm.ascent() + k * fm.height(), fm.elidedText(lines[k], Qt::ElideRight, width - 16));
    p.drawImage(QPointF(0, header), graph);
    return out;
}

QString GraphDialog::savePng(const QString &path) const
{
    // Encoded in memory first: only complete bytes go to the file, through
    // the same safe write as every other file the program writes.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    int err = 0;
    if (!buffer.open(QIODevice::WriteOnly) || !picture().save(&buffer, "PNG"))
        err = ENOMEM;
    else
        err = WriteFileSafely(path.toStdString(), [&bytes](std::FILE *fp) {
            return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), fp) ==
                   static_cast<size_t>(bytes.size());
        });
    if (err != 0)
        return QString("The picture could not be written to\n%1\n%2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
    return QString();
}

void GraphDialog::exportCsv()
{
    char path[MAX_PATHNAME_LEN] = {};
    if (job_.busy() || !trace_ ||
        FileSelectPopup("", "spectrum.csv", "*.csv", "Export Trace as CSV", VAL_SAVE_BUTTON, 0, 1, 1, 1, path) <= 0)
        return;
    saveCsv(QString::fromUtf8(path));
}

void GraphDialog::exportPng()
{
    char path[MAX_PATHNAME_LEN] = {};
    if ((job_.busy() && computing_) ||
        FileSelectPopup("", "spectrum.png", "*.png", "Export Graph as PNG", VAL_SAVE_BUTTON, 0, 1, 1, 1, path) <= 0)
        return;
    const QString error = savePng(QString::fromUtf8(path));
    if (!error.isEmpty())
        MessagePopup("Error", error.toUtf8().constData());
}

}  // namespace kui
