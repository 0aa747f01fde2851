#include "shell/Frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include "database/Catalogue.h"
#include "database/Files.h"
#include "people/Databases.h"

namespace quill::shell {

Frame::Frame(Session& session, QtInterface& ui) : session_(session), ui_(ui) {
    area_ = new QMdiArea(this);
    setCentralWidget(area_);
    ui_.setParent(this);
    ui_.onNotice = [this](const QString& t) { statusBar()->showMessage(t, 5000); };
    dateLabel_ = new QLabel(this);
    timeLabel_ = new QLabel(this);
    statusBar()->addPermanentWidget(dateLabel_);
    statusBar()->addPermanentWidget(timeLabel_);
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &Frame::updateClock);
    clock->start(1000);
    updateClock();
    buildMenus();
    resize(1000, 700);
    refreshActiveDatabase();
}

Frame::~Frame() { ui_.setParent(nullptr); }

std::unique_ptr<Session> Frame::newSession() {
    auto s = std::make_unique<Session>(ui_);
    s->Mem = session_.Mem;
    s->MasIdxPath = session_.MasIdxPath;
    s->StagingDir = session_.StagingDir;
    s->prefs = session_.prefs;
    return s;
}

QAction* Frame::addCommand(QMenu* menu, const QString& text, const std::string& window) {
    QAction* a = menu->addAction(text);
    actions_[window] = a;
    connect(a, &QAction::triggered, this, [this, window] { openWindow(window); });
    return a;
}

void Frame::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    addCommand(file, "&Preferences", "UserPanel");
    addCommand(file, "&Change Active Database", "ChangeForum");
    addCommand(file, "&Mail Database Setup", "BrowseBox");
    file->addSeparator();
    QAction* exit = file->addAction("E&xit");
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* import = menuBar()->addMenu("&Import");
    addCommand(import, "Import &Wizard", "ImportMeny");
    QMenu* sched = import->addMenu("Import &Scheduler");
    addCommand(sched, "&Define Import Procedures", "BrowseBatch");
    addCommand(sched, "&Schedule Tasks", "BrowseTasks");
    addCommand(sched, "Show Task &Log", "ShowLog");

    QMenu* refine = menuBar()->addMenu("&Refine");
    browseMessages_ = refine->addAction("Browse &Messages");
    connect(browseMessages_, &QAction::triggered, this,
            [this] { openWindow(session_.Mem.ForumType == TypeMail ? "BrowseMail" : "BrowseMsgNmbr"); });
    addCommand(refine, "&Browse Forum Members", "BrowsePerson");
    addCommand(refine, "M&erge Duplicate Forum Members", "Duplicates");
    addCommand(refine, "&Count Messages", "PurgeMess");
    addCommand(refine, "&Purge Deleted Messages", "PurgeMessPurge");
    QMenu* classify = refine->addMenu("Classify Messages");
    addCommand(classify, "Topics", "BrowseTopics");
    addCommand(classify, "Attach Topics", "TopicProc");
    addCommand(classify, "Classify Message sets", "ClassifyProc");
    addCommand(refine, "Message &Status", "StatusProc");
    addCommand(refine, "Show &Thread Tree", "ThreadTree");

    QMenu* exp = menuBar()->addMenu("&Export");
    addCommand(exp, "Export &Messages", "ExportProc");
    addCommand(exp, "Export &Address Book", "AddressExport");

    QMenu* help = menuBar()->addMenu("&Help");
    addCommand(help, "&About", "About");
}

QAction* Frame::commandAction(const std::string& windowName) const {
    if (windowName == "BrowseMsgNmbr" || windowName == "BrowseMail") return browseMessages_;
    auto it = actions_.find(windowName);
    return it == actions_.end() ? nullptr : it->second;
}

void Frame::updateCommands() {
    bool active = session_.Mem.ForumNumber != 0;
    // A command whose window is not built in yet is shown disabled, never as
    // an entry that does nothing.
    for (auto& [name, action] : actions_) {
        const WindowSpec* spec = findWindowSpec(name);
        action->setEnabled(spec && (active || !spec->needsDatabase));
    }
    const char* browse = session_.Mem.ForumType == TypeMail ? "BrowseMail" : "BrowseMsgNmbr";
    browseMessages_->setEnabled(active && findWindowSpec(browse));
}

QString Frame::titleSuffix() const {
    if (session_.Mem.ForumNumber == 0) return "[No Active Database]";
    return " [" + shown(session_.Mem.Description) + "]";
}

void Frame::refreshActiveDatabase() {
    if (session_.Mem.ForumNumber && !selectDatabase(session_, session_.Mem.ForumNumber)) clearSelection(session_);
    setWindowTitle("Quillmer" + titleSuffix());
    updateCommands();
    emit activeDatabaseChanged();
}

bool Frame::activateDatabase(uint32_t forumId) {
    bool ok = true;
    if (forumId == 0)
        clearSelection(session_);
    else
        ok = quill::activateDatabase(session_, forumId);
    refreshActiveDatabase();
    return ok;
}

QWidget* Frame::window(const std::string& name) const {
    auto it = open_.find(name);
    if (it == open_.end() || !it->second.sub) return nullptr;
    return it->second.sub->widget();
}

std::vector<std::string> Frame::openWindows() const {
    std::vector<std::string> out;
    for (auto& [name, o] : open_)
        if (o.sub) out.push_back(name);
    return out;
}

QWidget* Frame::openWindow(const std::string& name) {
    auto it = open_.find(name);
    if (it != open_.end() && it->second.sub) {
        area_->setActiveSubWindow(it->second.sub);
        it->second.sub->showNormal();
        it->second.sub->raise();
        return it->second.sub->widget();
    }
    const WindowSpec* spec = findWindowSpec(name);
    if (!spec || (spec->needsDatabase && session_.Mem.ForumNumber == 0)) return nullptr;
    QWidget* w = spec->make(*this);
    if (!w) return nullptr;
    w->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow* sub = area_->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    open_[name] = Open{sub, spec->group};
    connect(sub, &QObject::destroyed, this, [this, name] {
        auto o = open_.find(name);
        if (o != open_.end() && !o->second.sub) open_.erase(o);
    });
    sub->show();
    area_->setActiveSubWindow(sub);
    return w;
}

bool Frame::closeGroup(WindowGroup group) {
    bool any = false;
    for (auto& [name, o] : open_) {
        if (!o.sub || o.group != group) continue;
        any = true;
        o.sub->close();
    }
    return any;
}

void Frame::publishCurrentMessage(const CurrentMessage& m) {
    current_ = m;
    emit currentMessageChanged(m);
}

void Frame::updateClock() {
    QDateTime now = QDateTime::currentDateTime();
    dateLabel_->setText(now.date().toString("yyyy-MM-dd"));
    timeLabel_->setText(now.time().toString("HH:mm:ss"));
}

void Frame::closeEvent(QCloseEvent* e) {
    if (session_.IndexingInProgress) {
        ui_.message("You May NOT Exit until Indexing Is Done.|This is to Avoid Corruption.", "Exit Not Allowed",
                    Icon::Exclamation);
        e->ignore();
        return;
    }
    // Tools first, then import windows, then the rest; a window that refuses
    // to close keeps the program open.
    for (WindowGroup g : {WindowGroup::Find, WindowGroup::Import, WindowGroup::NotTools}) {
        closeGroup(g);
        for (auto& [name, o] : open_)
            if (o.sub && o.group == g && o.sub->isVisible()) {
                e->ignore();
                return;
            }
    }
    e->accept();
}

}  // namespace quill::shell
