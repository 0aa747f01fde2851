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
#include "shell/QtInterface.h"
#include "shell/Shell.h"

class QMdiArea;
class QMdiSubWindow;
class QAction;
class QLabel;

namespace quill::shell {

// The message the browse shows highlighted, published for its tools (the
// thread tree follows it).
struct CurrentMessage {
    uint32_t forumId = 0;
    uint32_t msgNumber = 0;     // MSG:MSGNUMBER or MAI:MSGNUMBER, 0 = none
    uint32_t threadNumber = 0;  // forum and newsgroup messages only
};

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
    // Re-reads the active database's entry (after it was changed elsewhere).
    void refreshActiveDatabase();
    QString titleSuffix() const;

    // The browse publishes its highlighted message here; tools follow it.
    void publishCurrentMessage(const CurrentMessage& m);
    const CurrentMessage& currentMessage() const { return current_; }

    // The menu action that starts a window, for tests and the toolbar.
    QAction* commandAction(const std::string& windowName) const;

signals:
    void activeDatabaseChanged();
    void currentMessageChanged(const quill::shell::CurrentMessage& m);
    // A tool asks the browse to show this message.
    void locateMessageRequested(uint32_t msgNumber);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void buildMenus();
    void updateCommands();
    void updateClock();
    QAction* addCommand(QMenu* menu, const QString& text, const std::string& window);

    Session& session_;
    QtInterface& ui_;
    QMdiArea* area_ = nullptr;
    QLabel* dateLabel_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    struct Open {
        QPointer<QMdiSubWindow> sub;
        WindowGroup group;
    };
    std::map<std::string, Open> open_;
    std::map<std::string, QAction*> actions_;
    QAction* browseMessages_ = nullptr;
    CurrentMessage current_;
};

}  // namespace quill::shell
