// The Import Processing window: drives one import run on a timer, one slice
// of the run per tick, and shows the run's heading, status line, counters and
// progress bar as the run gives them. Its Stop button asks the run to stop
// (the run asks the user first once storing has begun).
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "import/ImportRun.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quill::shell {

class Frame;

class ImportProcessing : public QWidget {
    Q_OBJECT
public:
    ImportProcessing(Frame& frame, ImportDefinition def, RunOptions options);
    ~ImportProcessing() override;

    // The run, for tests (nullptr never: it lives as long as the window).
    const ImportRun& run() const { return *run_; }
    bool finished() const { return finished_; }
    QPushButton* stopButton() const { return stop_; }
    // One tick of the timer: one slice of the run, then the figures.
    void tick();

signals:
    // The run has closed (normal end, failure or stop).
    void runFinished(bool succeeded);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void showFigures();
    void onStop();
    void finish(bool closing = false);

    Frame& frame_;
    std::unique_ptr<Session> session_;   // the run's own buffers and connections
    std::unique_ptr<ImportRun> run_;
    QTimer* timer_ = nullptr;
    QLabel* heading_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* file_ = nullptr;
    QLabel* from_ = nullptr;
    QLabel* to_ = nullptr;
    QLabel* imported_ = nullptr;
    QLabel* skipped_ = nullptr;
    QLabel* bad_ = nullptr;
    QLabel* staged_ = nullptr;
    QLabel* targetRecords_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* stop_ = nullptr;
    bool finished_ = false;
};

// The window's name in the frame ("ImportProc", group "ImportGroup").
inline constexpr const char* importProcessingName = "ImportProc";

// Opens the Import Processing window over def and starts the run. Only one
// run at a time: while one is open, it is brought forward, the user is told,
// and nullptr is returned.
ImportProcessing* startImport(Frame& frame, ImportDefinition def, RunOptions options = {});

// Closes the frame's child window that holds w; false when it refused to
// close. With deleteNow it is gone on return (never from inside w's own
// handlers), so that its name is free at once.
bool closeHostingWindow(QWidget* w, bool deleteNow = false);

}  // namespace quill::shell
