// The message browses "Forum Messages" (BrowseMsgNmbr, also for newsgroups)
// and "Mail Messages" (BrowseMail): the tabs of the views, the locator and
// filter buttons, the list, the text pane with its pages, the status pop-up
// and the tools that act on the highlighted message. The window reads the
// archive through its own session, so it never disturbs the record buffers
// of the frame or of another window.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "browse/BrowseView.h"
#include "browse/TextPages.h"
#include "search/Search.h"
#include "shell/Frame.h"
#include "shell/windows/TextPane.h"

class QTabBar;
class QLineEdit;
class QTableView;
class QPushButton;
class QToolButton;
class QLabel;
class QMenu;
class QTimer;

namespace quill::shell {

class BrowseModel;

class BrowseWindow : public QWidget {
    Q_OBJECT
public:
    BrowseWindow(Frame& frame, BrowseKind kind);
    ~BrowseWindow() override;

    BrowseView& view() { return *view_; }
    BrowseModel& model() { return *model_; }
    QTableView* table() const { return table_; }
    QTabBar* tabs() const { return tabs_; }
    QLineEdit* locator() const { return locator_; }
    QPlainTextEdit* textPane() const { return text_; }
    const TextPages& pages() const { return text_->pages(); }

    // The views by mode and the commands, as the buttons and menus run them.
    void switchMode(BrowseMode m);
    bool findLocator(const QString& text);
    void setLimited(bool on);
    bool stepFilter(bool forward);
    bool showMessage(uint32_t id);
    void setBookmark();
    bool resetToBookmark();
    void refresh();
    bool nextPage();
    bool previousPage();
    // Runs the status pop-up entry with this text on the highlighted message.
    bool runStatusCommand(const QString& entry);
    // The status pop-up and, on the search view, the sort pop-up, built afresh.
    QMenu* statusMenu();
    QMenu* sortMenu();
    bool sortResults(int order);
    int sortOrder() const { return sortOrder_; }
    // The words whose occurrences "Locate next search hit instance" finds.
    void setHitWords(std::vector<std::string> words);
    bool nextHit();
    bool previousHit();
    // The highlighted row, nullptr when none.
    const BrowseRow* current() const;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void build();
    void openView();
    void updateButtons();
    void selectRow(int row);
    void showAt(const BrowseRow& row);
    void rowChanged();
    // Shows a message text with the hits of the view's words.
    void showText(std::string text);
    void showHits();
    void updatePaneButtons();
    void lookUp();
    void databaseChanged();
    void saveColumns();
    QString caption() const;

    Frame& frame_;
    BrowseKind kind_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<BrowseView> view_;
    std::unique_ptr<BrowseModel> model_;
    uint32_t forumId_ = 0;
    uint32_t bookmark_ = 0;
    uint32_t shownId_ = 0;
    int sortOrder_ = OrderFound;
    std::vector<std::string> hitWords_;
    std::optional<WordTables> tables_;

    QTabBar* tabs_ = nullptr;
    QLineEdit* locator_ = nullptr;
    QTableView* table_ = nullptr;
    HitTextEdit* text_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QPushButton* find_ = nullptr;
    QPushButton* lookup_ = nullptr;
    QPushButton* limit_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* previousPage_ = nullptr;
    QPushButton* nextPage_ = nullptr;
    QPushButton* previousHit_ = nullptr;
    QPushButton* nextHit_ = nullptr;
    QPushButton* resetBookmark_ = nullptr;
    QPushButton* status_ = nullptr;
    QTimer* watch_ = nullptr;
};

// The message browse open in the frame (forum or mail), nullptr when none.
BrowseWindow* openBrowse(const Frame& frame);

}  // namespace quill::shell
