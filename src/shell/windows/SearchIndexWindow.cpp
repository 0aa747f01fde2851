#include "shell/windows/SearchIndexWindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quill::shell {

namespace {

WindowRegistrar registrar({"IndexProc", WindowGroup::NotTools, true, -1,
                           [](Frame& f) -> QWidget* { return new SearchIndexWindow(f); }});

}  // namespace

SearchIndexWindow::SearchIndexWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle("Word Indexing - " + shown(session_->Mem.Description));
    auto* box = new QGroupBox("Index mode", this);
    full_ = new QRadioButton("&Full: index all messages, replacing the earlier index", box);
    partial_ = new QRadioButton("&Partial: index only messages not indexed before", box);
    recount_ = new QRadioButton("&Recount: count the indexed words and recommend a choice", box);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(full_);
    boxLayout->addWidget(partial_);
    boxLayout->addWidget(recount_);
    // A database whose index is out of date usually needs only the new
    // messages; one never indexed needs everything.
    (session_->Mem.WordListIndexNeedsUpdate ? partial_ : full_)->setChecked(true);
    start_ = new QPushButton("&Start", this);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    auto* row = new QHBoxLayout;
    row->addWidget(progress_, 1);
    row->addWidget(start_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addLayout(row);
    layout->addWidget(status_);
    layout->addStretch();
    timer_ = new QTimer(this);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, &SearchIndexWindow::step);
    connect(start_, &QPushButton::clicked, this, &SearchIndexWindow::start);
}

SearchIndexWindow::~SearchIndexWindow() {
    // A window torn down with the frame never leaves the guard set.
    if (run_) frame_.session().IndexingInProgress = false;
}

void SearchIndexWindow::start() {
    if (run_) return;
    IndexMode mode = full_->isChecked() ? IndexMode::Full : partial_->isChecked() ? IndexMode::Partial : IndexMode::Recount;
    run_ = std::make_unique<WordIndexRun>(*session_, mode);
    failed_ = false;
    report_ = IndexReport{};
    // The frame refuses to close, and to change the database, while this is set.
    frame_.session().IndexingInProgress = true;
    session_->IndexingInProgress = true;
    start_->setEnabled(false);
    for (QRadioButton* b : {full_, partial_, recount_}) b->setEnabled(false);
    progress_->setValue(0);
    status_->setText(mode == IndexMode::Recount ? "Recounting the indexed words ..." : "Indexing words ...");
    timer_->start();
}

void SearchIndexWindow::step() {
    if (!run_) {
        timer_->stop();
        return;
    }
    bool more = run_->step();
    int64_t total = run_->total();
    if (total > 0) progress_->setValue(int(std::min<int64_t>(100, run_->progress() * 100 / total)));
    status_->setText(QString("%1 of %2 messages").arg(run_->progress()).arg(total));
    if (!more) finish();
}

void SearchIndexWindow::finish() {
    timer_->stop();
    failed_ = run_->failed();
    report_ = run_->report();
    QString failure = shown(run_->failure());
    run_.reset();
    frame_.session().IndexingInProgress = false;
    session_->IndexingInProgress = false;
    // The run updated the database's out-of-date flag in its own session.
    frame_.session().Mem.WordListIndexNeedsUpdate = session_->Mem.WordListIndexNeedsUpdate;
    start_->setEnabled(true);
    for (QRadioButton* b : {full_, partial_, recount_}) b->setEnabled(true);
    if (failed_) {
        status_->setText("Indexing failed: " + failure);
    } else if (!report_.advice.empty()) {
        progress_->setValue(100);
        status_->setText(QString("%1 of %2 messages are not indexed. Recommended: %3 indexing.")
                             .arg(report_.unindexed)
                             .arg(report_.messages)
                             .arg(QString::fromStdString(report_.advice)));
    } else {
        progress_->setValue(100);
        QString text = QString("%1 messages read, %2 words in the index, %3 new.")
                           .arg(report_.indexed)
                           .arg(report_.words)
                           .arg(report_.newWords);
        if (!report_.stopWordsAdded.empty())
            text += QString(" %1 words became stop words.").arg(qulonglong(report_.stopWordsAdded.size()));
        status_->setText(text);
    }
    emit indexingFinished();
}

void SearchIndexWindow::closeEvent(QCloseEvent* e) {
    if (run_) {
        frame_.ui().message("You May NOT Exit until Indexing Is Done.|This is to Avoid Corruption.", "Exit Not Allowed",
                            Icon::Exclamation);
        e->ignore();
        return;
    }
    e->accept();
}

}  // namespace quill::shell
