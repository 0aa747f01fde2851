#include "shell/windows/ImportProcessing.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

#include "shell/Frame.h"

namespace quill::shell {

namespace {

// The definition the next Import Processing window runs; set only while
// startImport opens the window.
struct PendingRun {
    ImportDefinition def;
    RunOptions options;
};
std::optional<PendingRun> pendingRun;

WindowRegistrar registrar({importProcessingName, WindowGroup::Import, false, -1, [](Frame& f) -> QWidget* {
                               if (!pendingRun) return nullptr;  // nothing to run
                               return new ImportProcessing(f, std::move(pendingRun->def),
                                                           std::move(pendingRun->options));
                           }});

// Status texts end in line breaks where the run wants room below them.
QString statusText(const std::string& s) {
    QString t = shown(s);
    t.replace("\r\n", "\n");
    return t.trimmed();
}

QLabel* figure(QWidget* parent, const char* name) {
    auto* l = new QLabel("0", parent);
    l->setObjectName(name);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setMinimumWidth(90);
    return l;
}

}  // namespace

bool closeHostingWindow(QWidget* w, bool deleteNow) {
    for (QWidget* p = w; p; p = p->parentWidget()) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(p)) {
            if (!sub->close()) return false;
            if (deleteNow) delete sub;
            return true;
        }
    }
    return w && w->close();
}

ImportProcessing* startImport(Frame& frame, ImportDefinition def, RunOptions options) {
    if (auto* open = qobject_cast<ImportProcessing*>(frame.window(importProcessingName))) {
        if (!open->finished()) {
            frame.openWindow(importProcessingName);
            frame.ui().message("An import is already running.|Start the next one when it has finished.",
                               " Import Processing ", Icon::Exclamation);
            return nullptr;
        }
        // The last run's results are still shown: they make way for the new run.
        if (!closeHostingWindow(open, true)) return nullptr;
    }
    pendingRun = PendingRun{std::move(def), std::move(options)};
    QWidget* w = frame.openWindow(importProcessingName);
    pendingRun.reset();
    return qobject_cast<ImportProcessing*>(w);
}

ImportProcessing::ImportProcessing(Frame& frame, ImportDefinition def, RunOptions options)
    : frame_(frame), session_(frame.newSession()) {
    run_ = std::make_unique<ImportRun>(*session_, std::move(def), std::move(options));
    setWindowTitle("Import Processing");

    auto* layout = new QVBoxLayout(this);
    heading_ = new QLabel(this);
    QFont big = heading_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.25);
    heading_->setFont(big);
    layout->addWidget(heading_);

    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setObjectName("status");
    layout->addWidget(status_);
    file_ = new QLabel(this);
    file_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(file_);
    from_ = new QLabel(this);
    to_ = new QLabel(this);
    layout->addWidget(from_);
    layout->addWidget(to_);

    auto* counts = new QFormLayout;
    imported_ = figure(this, "imported");
    skipped_ = figure(this, "skipped");
    bad_ = figure(this, "bad");
    staged_ = figure(this, "staged");
    targetRecords_ = figure(this, "targetRecords");
    counts->addRow("Messages imported:", imported_);
    counts->addRow("Messages skipped:", skipped_);
    counts->addRow("Messages not storable:", bad_);
    counts->addRow("Records in temporary file:", staged_);
    counts->addRow("Records in target database:", targetRecords_);
    layout->addLayout(counts);

    bar_ = new QProgressBar(this);
    bar_->setRange(0, 1);
    bar_->setValue(0);
    layout->addWidget(bar_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    stop_ = new QPushButton("&Stop", this);
    stop_->setDefault(true);
    connect(stop_, &QPushButton::clicked, this, &ImportProcessing::onStop);
    buttons->addWidget(stop_);
    layout->addLayout(buttons);
    layout->addStretch();
    setMinimumSize(layout->sizeHint().expandedTo(QSize(480, 0)));
    resize(520, 360);

    // One slice of the run per tick, then back to the event loop: the
    // frame and its other windows stay usable while the run goes on.
    timer_ = new QTimer(this);
    timer_->setInterval(10);
    connect(timer_, &QTimer::timeout, this, &ImportProcessing::tick);
    timer_->start();
    showFigures();
}

ImportProcessing::~ImportProcessing() {
    timer_->stop();
    // The run closes its files before its session goes.
    run_.reset();
}

void ImportProcessing::tick() {
    if (finished_) return;
    bool more = run_->step();
    showFigures();
    if (!more) finish();
}

void ImportProcessing::showFigures() {
    const RunDisplay& d = run_->display();
    if (!d.title.empty()) setWindowTitle(shown(d.title));
    heading_->setText(shown(d.heading));
    status_->setText(statusText(d.status));
    // A long path is shortened in its middle, so the window keeps its width.
    QString name = shown(d.fileName);
    file_->setToolTip(name);
    file_->setText(file_->fontMetrics().elidedText(name, Qt::ElideMiddle, std::max(200, file_->width())));
    file_->setVisible(!d.fileName.empty());
    from_->setText(" Importing from: " + shown(d.importingFrom));
    from_->setVisible(!d.importingFrom.empty());
    to_->setText(" Importing to: " + shown(d.importingTo));
    to_->setVisible(!d.importingTo.empty());
    imported_->setText(QString::number(d.imported));
    skipped_->setText(QString::number(d.skipped));
    bad_->setText(QString::number(d.bad));
    staged_->setText(QString::number(d.staged));
    targetRecords_->setText(QString::number(d.targetRecords));
    int max = d.barMax > 0 ? d.barMax : 1;
    if (bar_->maximum() != max) bar_->setRange(0, max);
    bar_->setValue(std::clamp<int>(d.barPosition, 0, max));
}

void ImportProcessing::onStop() {
    if (finished_) {
        closeHostingWindow(this);
        return;
    }
    if (run_->requestStop()) finish();
}

void ImportProcessing::finish(bool closing) {
    if (finished_) return;
    finished_ = true;
    timer_->stop();
    showFigures();
    if (run_->succeeded()) bar_->setValue(bar_->maximum());
    stop_->setText("&Close");
    // A first import into an installation without an active database makes
    // the database it stored into the active one; in every case the frame
    // re-reads the active database, so titles, counts and browses follow.
    if (frame_.session().Mem.ForumNumber == 0 && session_->Mem.ForumNumber != 0)
        (void)frame_.activateDatabase(session_->Mem.ForumNumber);
    else
        frame_.refreshActiveDatabase();
    if (QWidget* wizard = frame_.window("ImportMeny")) closeHostingWindow(wizard);
    emit runFinished(run_->succeeded());
    // Nobody reads the figures of a scheduled run: its window goes at once.
    if (run_->scheduled() && !closing) closeHostingWindow(this);
}

void ImportProcessing::closeEvent(QCloseEvent* e) {
    if (!finished_) {
        if (!run_->requestStop()) {
            e->ignore();
            return;
        }
        finish(true);
    }
    e->accept();
}

}  // namespace quill::shell
