#include "shell/Frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QPainter>
#include <QTimer>
#include <QToolBar>
#include <set>
#include <sys/stat.h>

#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/FileMask.h"
#include "database/Installation.h"
#include "database/Preferences.h"
#include "people/Databases.h"

namespace quill::shell {

namespace {
bool isDirectory(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// How often the frame looks whether another program changed the catalogue,
// and whether indexing has ended.
constexpr int kCatalogueCheckMs = 5000;
constexpr int kIndexingPollMs = 500;

// A window's place as WindowPos keeps it.
WindowRect rectOf(const QRect& g) {
    return {int16_t(std::max(0, g.x())), int16_t(std::max(0, g.y())), int16_t(std::min(g.width(), 4000)),
            int16_t(std::min(g.height(), 4000))};
}

const char* browseFor(uint8_t type) { return type == TypeMail ? "BrowseMail" : "BrowseMsgNmbr"; }
}  // namespace

PersonWords personWords(uint8_t forumType) {
    switch (forumType) {
        case TypeMail:
            return {"&Browse Mail Partners", "&Merge Duplicate Mail Partners",
                    "Browse the persons you exchanged mail with", "Merge mail partners that are the same person"};
        case TypeNewsgroup:
            return {"&Browse Newsgroup Participants", "&Merge Duplicate Newsgroup Participants",
                    "Browse the participants of the newsgroup", "Merge newsgroup participants that are the same person"};
        default:
            return {"&Browse Forum Members", "&Merge Duplicate Forum Members", "Browse the members of the forum",
                    "Merge forum members that are the same person"};
    }
}

Frame::Frame(Session& session, QtInterface& ui) : session_(session), ui_(ui) {
    setObjectName("Frame");
    area_ = new QMdiArea(this);
    area_->setTabsClosable(true);
    area_->setTabsMovable(true);
    area_->setDocumentMode(true);
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(area_);
    ui_.setParent(this);
    ui_.onNotice = [this](const QString& t) { statusBar()->showMessage(t, 5000); };
    // Child windows without an icon of their own show the program's.
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));
    QApplication::setWindowIcon(windowIcon());
    // The active database stays in sight when the title bar is not (a
    // maximised or tabbed frame, a desktop without window titles).
    databaseLabel_ = new QLabel(this);
    databaseLabel_->setContentsMargins(8, 0, 8, 0);
    statusBar()->addWidget(databaseLabel_, 1);
    dateLabel_ = new QLabel(this);
    timeLabel_ = new QLabel(this);
    for (QLabel* l : {dateLabel_, timeLabel_}) l->setContentsMargins(8, 0, 8, 0);
    dateLabel_->setToolTip("Today's date in the format of your preferences");
    timeLabel_->setToolTip("The time in the format of your preferences");
    statusBar()->addPermanentWidget(dateLabel_);
    statusBar()->addPermanentWidget(timeLabel_);
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &Frame::updateClock);
    clock->start(1000);
    auto* catalogue = new QTimer(this);
    connect(catalogue, &QTimer::timeout, this, &Frame::checkCatalogue);
    catalogue->start(kCatalogueCheckMs);
    indexingPoll_ = new QTimer(this);
    indexingPoll_->setSingleShot(true);
    indexingPoll_->setInterval(kIndexingPollMs);
    connect(indexingPoll_, &QTimer::timeout, this, &Frame::pollIndexing);
    // A window that comes to the front sees the catalogue as it stands.
    connect(area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
        if (w) checkCatalogue();
    });
    buildMenus();
    buildToolBar();
    resize(1024, 720);
    applyPreferences();
    refreshActiveDatabase();
}

Frame::~Frame() {
    // The child windows die after the frame's own members: they must no
    // longer reach them, whether open or closed and not yet deleted.
    disconnect(area_, nullptr, this, nullptr);
    for (QMdiSubWindow* sub : area_->findChildren<QMdiSubWindow*>()) {
        sub->removeEventFilter(this);
        disconnect(sub, nullptr, this, nullptr);
    }
    ui_.setParent(nullptr);
}

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
    connect(a, &QAction::triggered, this, [this, window] { runCommand(window); });
    return a;
}

void Frame::runCommand(const std::string& window) {
    // While the scheduler prepares a task, commands are not taken.
    if (session_.Mem.DoTask == 1) return;
    lastCommand_ = window;
    if (window == "BrowseMessages")
        openWindow(browseFor(session_.Mem.ForumType));
    else
        openWindow(window);
}

void Frame::repeatLastCommand() {
    if (!lastCommand_.empty()) runCommand(lastCommand_);
}

void Frame::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    addCommand(file, "&Preferences", "UserPanel");
    addCommand(file, "&Change Active Database", "ChangeForum");
    addCommand(file, "&Mail Database Setup", "BrowseBox");
    file->addSeparator();
    exit_ = file->addAction("E&xit");
    exit_->setShortcut(QKeySequence::Quit);
    connect(exit_, &QAction::triggered, this, &Frame::exitCommand);

    QMenu* import = menuBar()->addMenu("&Import");
    addCommand(import, "Import &Wizard", "ImportMeny");
    QMenu* sched = import->addMenu("Import &Scheduler");
    addCommand(sched, "&Define Import Procedures", "BrowseBatch");
    addCommand(sched, "&Schedule Tasks", "BrowseTasks");
    addCommand(sched, "Show Task &Log", "ShowLog");

    QMenu* refine = menuBar()->addMenu("&Refine");
    browseMessages_ = refine->addAction("Browse &Messages");
    connect(browseMessages_, &QAction::triggered, this, [this] { runCommand("BrowseMessages"); });
    addCommand(refine, "&Browse Forum Members", "BrowsePerson");
    addCommand(refine, "M&erge Duplicate Forum Members", "Duplicates");
    addCommand(refine, "&Count Messages", "PurgeMess");
    addCommand(refine, "&Purge Deleted Messages", "PurgeMessPurge");
    QMenu* classify = refine->addMenu("Classify Messages");
    addCommand(classify, "Topics", "BrowseTopics");
    addCommand(classify, "Attach Topics", "TopicProc");
    addCommand(classify, "Classify Message sets", "ClassifyProc");
    // Key words, the search and the word index have no command of their own
    // in the classic menu; they sit beside the classification commands.
    addCommand(classify, "&Key Words", "Lkup1");
    addCommand(refine, "&Search Messages", "SearchProc");
    addCommand(refine, "&Word Index", "IndexProc");
    addCommand(refine, "Message &Status", "StatusProc");
    addCommand(refine, "Show &Thread Tree", "ThreadTree");

    QMenu* exp = menuBar()->addMenu("&Export");
    addCommand(exp, "Export &Messages", "ExportProc");
    addCommand(exp, "Export &Address Book", "AddressExport");

    // Moving between the open windows from the keyboard.
    QMenu* windows = menuBar()->addMenu("&Window");
    QAction* next = windows->addAction("&Next Window", area_, &QMdiArea::activateNextSubWindow);
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F6));
    QAction* previous = windows->addAction("&Previous Window", area_, &QMdiArea::activatePreviousSubWindow);
    previous->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6));
    QAction* closeOne = windows->addAction("&Close Window", area_, &QMdiArea::closeActiveSubWindow);
    closeOne->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    windows->addSeparator();
    windows->addAction("C&ascade", area_, &QMdiArea::cascadeSubWindows);
    windows->addAction("&Tile", area_, &QMdiArea::tileSubWindows);

    QMenu* help = menuBar()->addMenu("&Help");
    addCommand(help, "&About", "About");
}

void Frame::buildToolBar() {
    toolBar_ = addToolBar("Commands");
    toolBar_->setObjectName("Commands");
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolBar_->setIconSize(QSize(24, 24));
    struct Button {
        std::string window;
        QStyle::StandardPixmap icon;
        const char* text;
        const char* tip;
    };
    const Button buttons[] = {
        {"ChangeForum", QStyle::SP_DirOpenIcon, "Database", "Change the active database"},
        {"BrowseMessages", QStyle::SP_FileDialogDetailedView, "Messages", "Browse the messages of the database"},
        {"BrowsePerson", QStyle::SP_FileDialogContentsView, "Persons", ""},
        {"ThreadTree", QStyle::SP_FileDialogListView, "Thread Tree", "Show the thread tree of the message"},
        {"ImportMeny", QStyle::SP_ArrowDown, "Import", "Import messages with the import wizard"},
        {"ExportProc", QStyle::SP_DialogSaveButton, "Export", "Export messages"},
        {"UserPanel", QStyle::SP_FileDialogInfoView, "Preferences", "Change your preferences"},
    };
    for (const Button& b : buttons) {
        QAction* menuAction = commandAction(b.window == "BrowseMessages" ? "BrowseMsgNmbr" : b.window);
        // Greyed buttons get greyed icons too, whatever the icon theme gives.
        QPixmap normal = style()->standardIcon(b.icon).pixmap(24);
        if (normal.width() < 24) normal = normal.scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPixmap faded(normal.size());
        faded.fill(Qt::transparent);
        {
            QPainter p(&faded);
            p.setOpacity(0.3);
            p.drawPixmap(0, 0, normal);
        }
        QIcon icon;
        icon.addPixmap(normal, QIcon::Normal);
        icon.addPixmap(faded, QIcon::Disabled);
        QAction* a = toolBar_->addAction(icon, b.text);
        a->setObjectName(QString::fromStdString("tool" + b.window));
        if (*b.tip) a->setToolTip(b.tip);
        std::string window = b.window;
        connect(a, &QAction::triggered, this, [this, window] { runCommand(window); });
        // The button is enabled, greyed and worded with its menu entry.
        if (menuAction) {
            connect(menuAction, &QAction::changed, a, [a, menuAction] { a->setEnabled(menuAction->isEnabled()); });
            a->setEnabled(menuAction->isEnabled());
        }
    }
}

QAction* Frame::commandAction(const std::string& windowName) const {
    if (windowName == "BrowseMsgNmbr" || windowName == "BrowseMail" || windowName == "BrowseMessages")
        return browseMessages_;
    auto it = actions_.find(windowName);
    return it == actions_.end() ? nullptr : it->second;
}

void Frame::updateCommands() {
    bool active = session_.Mem.ForumNumber != 0;
    // A command whose window is not built in yet is shown disabled, never as
    // an entry that does nothing.
    for (auto& [name, action] : actions_) {
        const WindowSpec* spec = findWindowSpec(name);
        bool on = spec && (active || !spec->needsDatabase) && !indexingOff_;
        if (databaseCommandsOff_ && spec && spec->needsDatabase) on = false;
        action->setEnabled(on);
    }
    browseMessages_->setEnabled(active && findWindowSpec(browseFor(session_.Mem.ForumType)) && !indexingOff_ &&
                                !databaseCommandsOff_);
    // Exit stays available: while indexing runs it says why it is refused.
    PersonWords w = personWords(session_.Mem.ForumType);
    QAction* persons = actions_.at("BrowsePerson");
    QAction* merge = actions_.at("Duplicates");
    persons->setText(w.browse);
    persons->setToolTip(w.browseTip);
    merge->setText(w.merge);
    merge->setToolTip(w.mergeTip);
    if (toolBar_)
        if (auto* t = toolBar_->findChild<QAction*>("toolBrowsePerson")) t->setToolTip(w.browseTip);
}

QString Frame::titleSuffix() const {
    if (session_.Mem.ForumNumber == 0) return "[No Active Database]";
    return " [" + shown(session_.Mem.Description) + "]";
}

void Frame::updateTitle() {
    QString suffix = titleSuffix();
    setWindowTitle(suffix.startsWith(' ') ? "Quillmer" + suffix : "Quillmer " + suffix);
    if (session_.Mem.ForumNumber == 0)
        databaseLabel_->setText("No active database");
    else
        databaseLabel_->setText(shown(session_.Mem.Description) + "  (" +
                                (session_.Mem.ForumType == TypeMail        ? "mail"
                                 : session_.Mem.ForumType == TypeNewsgroup ? "newsgroup"
                                                                           : "forum") +
                                " database)");
}

void Frame::refreshActiveDatabase() {
    if (session_.Mem.ForumNumber && !selectDatabase(session_, session_.Mem.ForumNumber)) clearSelection(session_);
    // The preferences as saved, perhaps by a window on a session of its own
    // or by another program.
    int32_t unused = 0;
    std::string none;
    (void)Konfig(session_, 1, 0, unused, 0, none);
    (void)Konfig(session_, 6, 0, unused, 0, none);
    applyPreferences();
    updateTitle();
    updateCommands();
    emit activeDatabaseChanged();
}

void Frame::checkCatalogue() {
    // Never in the middle of something: a dialog's own event loop may run
    // inside a sequence of record operations.
    if (QApplication::activeModalWidget() || session_.store.inTransaction()) return;
    // The probe never talks: a busy file is simply looked at again later.
    static SilentInterface silent;
    if (!probe_) probe_ = std::make_unique<Session>(silent);
    probe_->Mem = session_.Mem;
    MemVars& m = session_.Mem;
    const MemVars before = m;
    if (m.ForumNumber == 0) return;
    try {
        if (!selectDatabase(*probe_, m.ForumNumber)) clearSelection(*probe_);
    } catch (const ProgramStop&) {
        return;  // a busy file: look again on the next occasion
    }
    const MemVars& p = probe_->Mem;
    if (p.ForumNumber == before.ForumNumber && p.Description == before.Description &&
        p.ForumType == before.ForumType && p.Dirnamn == before.Dirnamn && p.TargetNG == before.TargetNG &&
        p.PersonID == before.PersonID && p.ForumCheck == before.ForumCheck &&
        p.WordListIndexNeedsUpdate == before.WordListIndexNeedsUpdate)
        return;
    m.ForumNumber = p.ForumNumber;
    m.Description = p.Description;
    m.ForumType = p.ForumType;
    m.Dirnamn = p.Dirnamn;
    m.TargetNG = p.TargetNG;
    m.PersonID = p.PersonID;
    m.ForumCheck = p.ForumCheck;
    m.WordListIndexNeedsUpdate = p.WordListIndexNeedsUpdate;
    updateTitle();
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

bool Frame::chooseActiveDatabase() {
    if (session_.Mem.DoTask != 0) return session_.Mem.ForumNumber != 0;
    auto usable = [this](uint32_t id) {
        if (!id || !selectDatabase(session_, id)) return false;
        if (isDirectory(joinPath(session_.Mem.FileDir, session_.Mem.Dirnamn))) return true;
        clearSelection(session_);
        return false;
    };
    clearSelection(session_);
    if (!usable(loadActiveDatabase(session_)))
        for (const CatalogueEntry& e : listCatalogue(session_))
            if (usable(e.id)) break;
    refreshActiveDatabase();
    return session_.Mem.ForumNumber != 0;
}

void Frame::start(bool firstStart) {
    if (konfigNumber(session_, kPrefFramePlacement) == 1) {
        WindowRect r;
        if (WindowPos(session_, 3, kFramePlacementSlot, r) && r.width > 200 && r.height > 150)
            setGeometry(std::max<int>(r.left, 0), std::max<int>(r.top, 0), r.width, r.height);
    }
    computeScrRes();
    if (!chooseActiveDatabase() && firstStart) startUpWizardRequested();
}

void Frame::computeScrRes() {
    // The client area in dialog units: a quarter of the average character
    // width across, an eighth of the character height down.
    QFontMetrics fm(font());
    int du_x = std::max(1, fm.averageCharWidth()), du_y = std::max(1, fm.height());
    int w = area_->width() * 4 / du_x, h = area_->height() * 8 / du_y;
    session_.Mem.ScrRes = (w >= 450 || h >= 260) ? 1 : 0;
}

QWidget* Frame::window(const std::string& name) const {
    auto it = open_.find(name);
    if (it == open_.end() || !it->second.sub || it->second.closing) return nullptr;
    return it->second.sub->widget();
}

std::vector<std::string> Frame::openWindows() const {
    std::vector<std::string> out;
    for (auto& [name, o] : open_)
        if (o.sub && !o.closing) out.push_back(name);
    return out;
}

void Frame::restorePlacement(QMdiSubWindow* sub, int slot) {
    WindowRect r;
    if (slot < 0 || !WindowPos(session_, 3, slot + 1, r) || r.width < 80 || r.height < 60) return;
    // A stored place outside today's area is moved back into view.
    QSize area = area_->viewport()->size();
    int w = std::min<int>(r.width, std::max(area.width(), 200));
    int h = std::min<int>(r.height, std::max(area.height(), 150));
    int x = std::clamp<int>(r.left, 0, std::max(0, area.width() - w));
    int y = std::clamp<int>(r.top, 0, std::max(0, area.height() - h));
    sub->setGeometry(x, y, w, h);
}

void Frame::savePlacement(QMdiSubWindow* sub, int slot) {
    if (slot < 0 || sub->isMaximized() || sub->isMinimized() || area_->viewMode() == QMdiArea::TabbedView) return;
    WindowRect r = rectOf(sub->geometry());
    if (WindowPos(session_, 2, slot + 1, r)) (void)WindowPos(session_, 4, slot + 1, r);
}

QWidget* Frame::openWindow(const std::string& name) {
    auto it = open_.find(name);
    if (it != open_.end() && it->second.sub && !it->second.closing) {
        QMdiSubWindow* sub = it->second.sub;
        if (sub->isMinimized()) sub->showNormal();
        area_->setActiveSubWindow(sub);
        sub->raise();
        return sub->widget();
    }
    const WindowSpec* spec = findWindowSpec(name);
    if (!spec || (spec->needsDatabase && session_.Mem.ForumNumber == 0)) return nullptr;
    QWidget* w = spec->make(*this);
    if (!w) return nullptr;
    w->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow* sub = area_->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setObjectName(QString::fromStdString(name));
    open_[name] = Open{sub, sub, spec->group, spec->placement, false};
    applyAppearance(sub, name);
    restorePlacement(sub, spec->placement);
    sub->installEventFilter(this);
    // The entry goes with its window, unless the name was opened anew
    // meanwhile. A dying window is compared by address only: it is no
    // sub-window any more.
    const QObject* key = sub;
    connect(sub, &QObject::destroyed, this, [this, name, key] {
        auto o = open_.find(name);
        if (o != open_.end() && o->second.key == key) open_.erase(o);
    });
    sub->show();
    area_->setActiveSubWindow(sub);
    w->setFocus();
    return w;
}

bool Frame::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Close)
        for (auto& [name, o] : open_)
            if (o.key == watched && o.sub) {
                savePlacement(o.sub, o.placement);
                break;
            }
    return QMainWindow::eventFilter(watched, e);
}

bool Frame::closeGroup(WindowGroup group) {
    std::vector<std::string> names;
    for (auto& [name, o] : open_)
        if (o.sub && !o.closing && o.group == group) names.push_back(name);
    for (const std::string& name : names) {
        auto it = open_.find(name);
        if (it == open_.end() || !it->second.sub) continue;
        QPointer<QMdiSubWindow> sub = it->second.sub;
        if (sub->close()) {
            auto again = open_.find(name);
            if (again != open_.end() && again->second.sub == sub) again->second.closing = true;
        }
    }
    return !names.empty();
}

bool Frame::groupOpen(WindowGroup g) const {
    for (auto& [name, o] : open_)
        if (o.sub && !o.closing && o.group == g) return true;
    return false;
}

void Frame::exitCommand() {
    if (session_.IndexingInProgress) {
        ui_.message("You May NOT Exit until Indexing Is Done.|This is to Avoid Corruption.", "Exit Not Allowed",
                    Icon::Exclamation);
        return;
    }
    for (WindowGroup g : {WindowGroup::Find, WindowGroup::Import, WindowGroup::NotTools}) {
        if (!groupOpen(g)) continue;
        closeGroup(g);
        // A window that refused to close keeps the program open.
        if (groupOpen(g)) return;
        QTimer::singleShot(0, this, &Frame::exitCommand);
        return;
    }
    close();
}

void Frame::publishCurrentMessage(const CurrentMessage& m) {
    current_ = m;
    emit currentMessageChanged(m);
}

void Frame::applyPreferences() {
    std::string label;
    (void)SetDate(session_, label, dateFormat_);
    (void)SetTime(session_, label, timeFormat_);
    updateClock();
    bool tabbed = konfigNumber(session_, kPrefTabbedView) == 1;
    area_->setViewMode(tabbed ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
    if (konfigNumber(session_, kPrefPlainBackground) == 1) {
        area_->setBackground(palette().brush(QPalette::Dark));
    } else {
        // A quiet gradient in the colours of the platform's palette, light
        // or dark.
        QLinearGradient g(0, 0, 0, 900);
        g.setColorAt(0, palette().color(QPalette::Mid));
        g.setColorAt(1, palette().color(QPalette::Dark));
        area_->setBackground(g);
    }
    // Windows are restyled only when a font or colour changed: the
    // preferences are taken anew after every import and database change.
    Appearance now = Appearance::fromPreferences(session_.prefs);
    if (now == appearance_) return;
    appearance_ = now;
    for (auto& [name, o] : open_)
        if (o.sub && !o.closing) applyAppearance(o.sub, name);
}

void Frame::applyAppearance(QMdiSubWindow* sub, const std::string& name) const {
    // The database forms have a font of their own.
    static const std::set<std::string> forms{"AddForum", "MailBoxForm", "TopicForm"};
    appearance_.applyTo(sub->widget(), forms.count(name) > 0);
}

QString Frame::shownDate() const { return dateLabel_->text(); }
QString Frame::shownTime() const { return timeLabel_->text(); }

void Frame::updateClock() {
    dateLabel_->setText(QString::fromStdString(formatDate(today(), dateFormat_)));
    timeLabel_->setText(QString::fromStdString(formatTime(clockNow(), timeFormat_)));
}

void Frame::databaseCommandsOff() {
    databaseCommandsOff_ = true;
    updateCommands();
}

void Frame::commandsOn() {
    databaseCommandsOff_ = false;
    indexingOff_ = false;
    updateCommands();
}

void Frame::databasesChanged() { refreshActiveDatabase(); }

void Frame::databaseDeleted() {
    clearSelection(session_);
    refreshActiveDatabase();
}

void Frame::indexingStarted() {
    indexingOff_ = true;
    updateCommands();
    indexingPoll_->start();
}

void Frame::pollIndexing() {
    if (session_.IndexingInProgress) {
        indexingPoll_->start();
        return;
    }
    indexingOff_ = false;
    refreshActiveDatabase();
}

void Frame::startUpWizardRequested() { openWindow("StartUpWizard"); }

void Frame::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!shownOnce_) {
        shownOnce_ = true;
        computeScrRes();
    }
}

void Frame::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) checkCatalogue();
    if (e->type() == QEvent::PaletteChange) applyPreferences();
}

void Frame::closeEvent(QCloseEvent* e) {
    if (session_.IndexingInProgress) {
        ui_.message("You May NOT Exit until Indexing Is Done.|This is to Avoid Corruption.", "Exit Not Allowed",
                    Icon::Exclamation);
        e->ignore();
        return;
    }
    // Open windows are closed group by group first; the exit command
    // closes the frame once none is left.
    if (!openWindows().empty()) {
        e->ignore();
        QTimer::singleShot(0, this, &Frame::exitCommand);
        return;
    }
    if (konfigNumber(session_, kPrefFramePlacement) == 1 && !isMaximized() && !isMinimized()) {
        WindowRect r = rectOf(normalGeometry());
        if (WindowPos(session_, 2, kFramePlacementSlot, r)) (void)WindowPos(session_, 4, kFramePlacementSlot, r);
    }
    e->accept();
}

}  // namespace quill::shell
