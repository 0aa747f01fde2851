// The word indexing window (IndexProc): Full, Partial or Recount over the
// active database, run on the window's timer one slice at a time with a
// progress bar. While it runs the program may not close.
#pragma once

#include <QWidget>
#include <memory>

#include "search/WordIndex.h"
#include "shell/Frame.h"

class QRadioButton;
class QPushButton;
class QProgressBar;
class QLabel;
class QTimer;

namespace quill::shell {

class SearchIndexWindow : public QWidget {
    Q_OBJECT
public:
    explicit SearchIndexWindow(Frame& frame);
    // The size a new child window opens with.
    QSize sizeHint() const override { return QSize(520, 260); }
    ~SearchIndexWindow() override;

    QRadioButton* fullChoice() const { return full_; }
    QRadioButton* partialChoice() const { return partial_; }
    QRadioButton* recountChoice() const { return recount_; }
    QPushButton* startButton() const { return start_; }
    QProgressBar* progress() const { return progress_; }
    QLabel* status() const { return status_; }
    bool running() const { return run_ != nullptr; }
    // The last run's report (valid once it finished).
    const IndexReport& report() const { return report_; }
    bool lastRunFailed() const { return failed_; }

    void start();
    // One slice of the run (the timer calls it).
    void step();

signals:
    void indexingFinished();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void finish();

    Frame& frame_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<WordIndexRun> run_;
    QRadioButton* full_ = nullptr;
    QRadioButton* partial_ = nullptr;
    QRadioButton* recount_ = nullptr;
    QPushButton* start_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer_ = nullptr;
    IndexReport report_;
    bool failed_ = false;
};

}  // namespace quill::shell
