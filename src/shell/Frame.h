// The main window: the menu of commands, the toolbar and status bar, and the
// area that holds every other window as a child. It keeps one window per
// name, closes windows group by group and follows the active database.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>
#include <string>

#include "database/Session.h"
#include "shell/Appearance.h"
#include "shell/QtInterface.h"
#include "shell/Shell.h"

class QMdiArea;
class QMdiSubWindow;
class QAction;
class QLabel;
class QToolBar;
class QTimer;

namespace quill::shell {

// The message the browse shows highlighted, published for its tools (the
// thread tree follows it).
struct CurrentMessage {
    uint32_t forumId = 0;
    uint32_t msgNumber = 0;     // MSG:MSGNUMBER or MAI:MSGNUMBER, 0 = none
    uint32_t threadNumber = 0;  // forum and newsgroup messages only
};

// The words of the person commands for a database type (Forum words when no
// database is active).
struct PersonWords {
    QString browse, merge, browseTip, mergeTip;
};
PersonWords personWords(uint8_t forumType);

class Frame : public QMainWindow {
    Q_OBJECT
public:
    // The frame works on an installation already opened in session.
    Frame(Session& session, QtInterface& ui);
    ~Frame() override;

    Session& session() { return session_; }
    QtInterface& ui() { return ui_; }
    // A session of its own for a window: its own record buffers and
    // connections, with the installation's shared variables and preferences
    // copied from the frame's.
    std::unique_ptr<Session> newSession();

    // The last steps of opening the program, once the frame is shown: the
    // frame's stored placement (when that preference is set), the choice of
    // the active database and, on a first start without one, the start-up
    // wizard.
    void start(bool firstStart);
    // Chooses the active database as a starting program does: the one
    // remembered, else the first in the catalogue whose directory exists;
    // none while a scheduled task runs. True when one is active.
    bool chooseActiveDatabase();

    // Starts the named window, or brings the open one to the front. Returns
    // the window's widget, nullptr when the name is unknown or needs a
    // database and none is active.
    QWidget* openWindow(const std::string& name);
    QWidget* window(const std::string& name) const;
    bool isOpen(const std::string& name) const { return window(name) != nullptr; }
    // Closes every open window of the group; true when one was open.
    bool closeGroup(WindowGroup group);
    std::vector<std::string> openWindows() const;

    // Makes forumId the active database (0: none) and brings title, menus and
    // windows in step.
    bool activateDatabase(uint32_t forumId);
    // Re-reads the active database's entry (after it was changed elsewhere)
    // and the saved preferences, shows them, and tells every window.
    void refreshActiveDatabase();
    QString titleSuffix() const;
    // Re-reads the active database's entry as another program may have
    // changed or removed it (on activation, when a window comes to the front
    // and every few seconds); tells the windows only when something changed.
    void checkCatalogue();

    // The browse publishes its highlighted message here; tools follow it.
    void publishCurrentMessage(const CurrentMessage& m);
    const CurrentMessage& currentMessage() const { return current_; }

    // The menu action that starts a window, for tests and the toolbar.
    QAction* commandAction(const std::string& windowName) const;
    QAction* exitAction() const { return exit_; }
    QToolBar* toolBar() const { return toolBar_; }
    QMdiArea* area() const { return area_; }
    // The fonts and colours of the preferences, as applied to the windows.
    const Appearance& appearance() const { return appearance_; }
    // The status bar's date and time as shown.
    QString shownDate() const;
    QString shownTime() const;

public slots:
    // File / Exit: refused while indexing runs; otherwise closes the open
    // windows group by group (tools, imports, the rest), repeating itself
    // after each group, and ends the program when none is left.
    void exitCommand();
    // Takes the preferences the frame shows anew (date and time formats,
    // tabbed view, background, and the fonts and colours of every window).
    void applyPreferences();
    // Repeats the command last chosen.
    void repeatLastCommand();

    // Notifications from other windows and the scheduler.
    void databaseCommandsOff();   // grey what needs a database, keep the selection
    void commandsOn();            // every command as the active database allows
    void databasesChanged();      // the catalogue or the active database changed
    void databaseDeleted();       // the active database is gone
    void indexingStarted();       // grey everything until indexing is done
    void startUpWizardRequested();

signals:
    void activeDatabaseChanged();
    void currentMessageChanged(const quill::shell::CurrentMessage& m);
    // A tool asks the browse to show this message.
    void locateMessageRequested(uint32_t msgNumber);

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildMenus();
    void buildToolBar();
    void updateCommands();
    void updateClock();
    void updateTitle();
    void pollIndexing();
    void computeScrRes();
    void restorePlacement(QMdiSubWindow* sub, int slot);
    void savePlacement(QMdiSubWindow* sub, int slot);
    void runCommand(const std::string& window);
    bool groupOpen(WindowGroup g) const;
    void applyAppearance(QMdiSubWindow* sub, const std::string& name) const;
    QAction* addCommand(QMenu* menu, const QString& text, const std::string& window);

    Session& session_;
    QtInterface& ui_;
    std::unique_ptr<Session> probe_;  // reads the catalogue apart from the frame's buffers
    QMdiArea* area_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* databaseLabel_ = nullptr;
    QLabel* dateLabel_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QTimer* indexingPoll_ = nullptr;
    struct Open {
        QPointer<QMdiSubWindow> sub;
        const QObject* key = nullptr;  // the window's address, for its end
        WindowGroup group;
        int placement = -1;
        bool closing = false;  // closed, its deletion pending
    };
    std::map<std::string, Open> open_;
    std::map<std::string, QAction*> actions_;
    QAction* browseMessages_ = nullptr;
    QAction* exit_ = nullptr;
    std::string dateFormat_, timeFormat_;
    std::string lastCommand_;
    bool databaseCommandsOff_ = false;
    bool indexingOff_ = false;
    bool shownOnce_ = false;
    CurrentMessage current_;
    Appearance appearance_;
};

}  // namespace quill::shell
