// The search window (SearchProc): a search string, the search run on the
// window's timer one slice per tick, with the pause question after the
// configured number of scanned index entries and a Stop button, the result set as a list with its re-sorting
// pop-up, and the text of the highlighted hit with hit and page navigation.
#pragma once

#include <QWidget>
#include <memory>

#include "search/Search.h"
#include "shell/Frame.h"
#include "shell/windows/TextPane.h"

class QLineEdit;
class QPushButton;
class QLabel;
class QTreeWidget;
class QTimer;

namespace quill::shell {

class SearchWindow : public QWidget {
    Q_OBJECT
public:
    explicit SearchWindow(Frame& frame);
    // The size a new child window opens with.
    QSize sizeHint() const override { return QSize(860, 640); }
    ~SearchWindow() override;

    QLineEdit* queryEdit() const { return query_; }
    QPushButton* searchButton() const { return search_; }
    QTreeWidget* hitsList() const { return list_; }
    QPlainTextEdit* textPane() const { return text_; }
    QPushButton* previousHitButton() const { return previousHit_; }
    QPushButton* nextHitButton() const { return nextHit_; }
    QPushButton* previousPageButton() const { return previousPage_; }
    QPushButton* nextPageButton() const { return nextPage_; }
    QLabel* status() const { return status_; }

    // Starts a search of the query in the edit field; the timer runs it.
    void startSearch();
    // Ends a running search as a No at its pause does: the result set is
    // left empty. Closing the window does the same.
    void stopSearch();
    bool running() const { return state_ != State::Idle; }
    const ResultSet& result() const { return set_; }
    const HitPane& pane() const;
    // The selected hit in the text pane, as the characters shown.
    QString selectedText() const;
    // The text pane's page (from 1) and the number of pages of the message.
    int page() const;
    int pages() const;

    // Shows a message of the result set in the text pane (first hit selected).
    void showMessage(uint32_t id);
    bool nextHit();
    bool previousHit();
    void nextPage();
    void previousPage();
    // Re-sorts by a menu position (1 to 5); false when it was the current one.
    bool sortBy(int order);
    // The pop-up's texts, the current order marked with "+".
    QStringList sortMenu() const;

signals:
    void searchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class State { Idle, Run, Fill };
    void step();
    void stepSearch();
    void searchEnded();
    void fillList(std::size_t from, std::size_t count);
    void updateButtons();

    Frame& frame_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<Searcher> searcher_;
    std::unique_ptr<SearchRun> run_;  // the search under way; declared after searcher_, so it goes first
    WordTables tables_;
    QLineEdit* query_ = nullptr;
    QPushButton* search_ = nullptr;
    QLabel* status_ = nullptr;
    QTreeWidget* list_ = nullptr;
    HitTextEdit* text_ = nullptr;  // the text shown, its pages and its hits
    QPushButton* previousHit_ = nullptr;
    QPushButton* nextHit_ = nullptr;
    QPushButton* previousPage_ = nullptr;
    QPushButton* nextPage_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QTimer* timer_ = nullptr;

    State state_ = State::Idle;
    std::string pending_;
    std::size_t filled_ = 0;
    ResultSet set_;
    std::vector<std::string> hitWords_;
};

}  // namespace quill::shell
