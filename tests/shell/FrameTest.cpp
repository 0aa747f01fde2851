#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <sys/stat.h>

#include <cstdio>
#include <map>

#include "ShellFixture.h"
#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "database/Preferences.h"
#include "people/Databases.h"
#include "shell/NewPath.h"

using namespace quill;
using namespace quill::shell;
using quill::test::FrameFixture;

namespace {

// Windows of each group, registered for these tests only. Each notes when
// it closes, and the refusing one refuses while told to.
std::vector<std::string> closedOrder;
bool refuseToClose = false;

class NotingWindow : public QLabel {
public:
    NotingWindow(std::string name, bool mayRefuse) : QLabel(QString::fromStdString(name)), name_(std::move(name)), mayRefuse_(mayRefuse) {}

protected:
    void closeEvent(QCloseEvent* e) override {
        if (mayRefuse_ && refuseToClose) {
            e->ignore();
            return;
        }
        closedOrder.push_back(name_);
        QLabel::closeEvent(e);
    }

private:
    std::string name_;
    bool mayRefuse_;
};

WindowSpec noting(const char* name, WindowGroup g, bool needsDb = false, int placement = -1, bool mayRefuse = false) {
    std::string n = name;
    return {n, g, needsDb, placement, [n, mayRefuse](Frame&) { return new NotingWindow(n, mayRefuse); }};
}

WindowRegistrar plainWindow(noting("TestPlain", WindowGroup::NotTools));
WindowRegistrar toolWindow(noting("TestTool", WindowGroup::Find));
WindowRegistrar importWindow(noting("TestImport", WindowGroup::Import, false, -1, true));
WindowRegistrar dbWindow(noting("TestNeedsDb", WindowGroup::NotTools, true));
WindowRegistrar placedWindow(noting("TestPlaced", WindowGroup::NotTools, false, 20));

bool isDirectory(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Another program renames a database.
void renameElsewhere(Session& other, uint32_t id, const std::string& name) {
    OP_CLOSE(other, OpOpenShared, {2});
    other.Forums.clearBuffer();
    other.FOR.ID = id;
    ASSERT_TRUE(other.Forums.get(ForumsFile::FORUMKEY));
    other.FOR.DESCRIPTION = name;
    ASSERT_TRUE(UppDat(other, other.Forums, UpdPut, UpdReport));
    OP_CLOSE(other, OpClose, {2});
}

bool shownText(const QtInterface& ui, const std::string& text) {
    return std::find(ui.shownTexts.begin(), ui.shownTexts.end(), text) != ui.shownTexts.end();
}

const std::string kUpgradeText =
    "This new version needs new default values! All window positions, window sizes and list box column widths "
    "will be reset to default!";

}  // namespace

TEST_F(FrameFixture, FirstStartInAnEmptyDirectoryCreatesItAndOpensTheWizard) {
    std::string home = dir / "fresh";
    StartUpResult r;
    ASSERT_TRUE(startProgram(home, &r));
    EXPECT_TRUE(isDirectory(home + "/CFG"));
    EXPECT_TRUE(isDirectory(home + "/TEMP"));
    EXPECT_FALSE(r.configExisted);
    EXPECT_FALSE(r.version.upgraded);
    EXPECT_FALSE(shownText(ui, kUpgradeText));
    EXPECT_TRUE(frame->isOpen("StartUpWizard"));
    EXPECT_TRUE(frame->windowTitle().endsWith("[No Active Database]"));
    // The second start is no first start.
    ASSERT_TRUE(startProgram(home, &r));
    EXPECT_FALSE(r.version.firstStart);
    EXPECT_FALSE(frame->isOpen("StartUpWizard"));
}

TEST_F(FrameFixture, VersionBelow430ShowsTheUpgradeNoticeOnceAndResetsLayouts) {
    struct Case {
        int32_t stored;
        bool notice, wizard;
    } cases[] = {{429, true, false}, {0, true, true}, {462, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ASSERT_TRUE(startProgram(dir.path()));
        setKonfigNumber(*session, kPrefProgramVersion, c.stored);
        int32_t v = 0;
        std::string t;
        ASSERT_TRUE(Konfig(*session, 4, 0, v, 0, t));
        WindowRect moved{300, 200, 500, 400};
        ASSERT_TRUE(WindowPos(*session, 2, 3, moved));
        ASSERT_TRUE(WindowPos(*session, 4, 0, moved));
        ui.shownTexts.clear();

        StartUpResult r;
        ASSERT_TRUE(startProgram(dir.path(), &r));
        EXPECT_EQ(shownText(ui, kUpgradeText), c.notice);
        EXPECT_EQ(frame->isOpen("StartUpWizard"), c.wizard);
        WindowRect now;
        ASSERT_TRUE(WindowPos(*session, 3, 3, now));
        EXPECT_EQ(now == moved, !c.notice);
        EXPECT_EQ(konfigNumber(*session, kPrefProgramVersion), kProgramVersion);

        ui.shownTexts.clear();
        ASSERT_TRUE(startProgram(dir.path()));
        EXPECT_TRUE(ui.shownTexts.empty());
        EXPECT_FALSE(frame->isOpen("StartUpWizard"));
    }
}

TEST_F(FrameFixture, MissingDataPathAsksForANewOneThroughTheDialog) {
    // The data directory was set elsewhere and is gone now.
    std::string gone = dir / "moved-away", there = dir / "data";
    ASSERT_EQ(::mkdir(there.c_str(), 0755), 0);
    std::string p = gone;
    ASSERT_TRUE(AutoPath(*session, 2, 18, p));
    ASSERT_TRUE(AutoPath(*session, 4, 18, p));

    bool wrongPathRefused = false;
    onNextDialog([&](QWidget* d) {
        auto* dialog = qobject_cast<NewPathDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->pathEdit()->text().toStdString(), gone);
        EXPECT_FALSE(dialog->saveButton()->isEnabled());
        dialog->pathEdit()->setText(QString::fromStdString(dir / "nowhere"));
        dialog->checkButton()->click();
        wrongPathRefused = !dialog->saveButton()->isEnabled();
        dialog->pathEdit()->setText(QString::fromStdString(there));
        dialog->checkButton()->click();
        dialog->saveButton()->click();
    });
    ASSERT_TRUE(startProgram(dir.path()));
    EXPECT_TRUE(shownText(ui, "The path to your data files cannot be found!\r\nUpdate file path on next screen\r\n"));
    EXPECT_TRUE(shownText(ui, "This path does not exist!\r\nPlease enter a valid path\r\n"));
    EXPECT_TRUE(wrongPathRefused);
    EXPECT_EQ(session->Mem.FileDir, there);
    // The new path was saved: the next start asks nothing.
    ui.shownTexts.clear();
    ASSERT_TRUE(startProgram(dir.path()));
    EXPECT_EQ(session->Mem.FileDir, there);
    EXPECT_TRUE(ui.shownTexts.empty());
}

TEST_F(FrameFixture, ExitingFromThePathDialogEndsTheProgram) {
    std::string p = dir / "moved-away";
    ASSERT_TRUE(AutoPath(*session, 2, 18, p));
    ASSERT_TRUE(AutoPath(*session, 4, 18, p));
    onNextDialog([](QWidget* d) { qobject_cast<NewPathDialog*>(d)->exitButton()->click(); });
    EXPECT_FALSE(startProgram(dir.path()));
    EXPECT_EQ(frame, nullptr);
}

TEST_F(FrameFixture, SecondRequestForAWindowBringsTheOpenOneForward) {
    Frame& f = openFrame();
    QWidget* first = f.openWindow("TestPlain");
    ASSERT_NE(first, nullptr);
    f.openWindow("TestTool");
    EXPECT_EQ(f.openWindow("TestPlain"), first);
    EXPECT_EQ(f.area()->activeSubWindow()->widget(), first);
    EXPECT_EQ(f.openWindows().size(), 2u);
}

TEST_F(FrameFixture, ClosingAGroupLeavesTheOtherGroupsOpen) {
    Frame& f = openFrame();
    f.openWindow("TestPlain");
    f.openWindow("TestTool");
    EXPECT_TRUE(f.closeGroup(WindowGroup::Find));
    EXPECT_FALSE(f.isOpen("TestTool"));
    EXPECT_TRUE(f.isOpen("TestPlain"));
    EXPECT_FALSE(f.closeGroup(WindowGroup::Import));
    // A closed window may be opened again at once.
    EXPECT_NE(f.openWindow("TestTool"), nullptr);
}

TEST_F(FrameFixture, ExitClosesToolsFirstThenImportsThenTheRest) {
    Frame& f = openFrame();
    f.show();
    f.openWindow("TestPlain");
    f.openWindow("TestImport");
    f.openWindow("TestTool");
    closedOrder.clear();
    f.exitAction()->trigger();
    ASSERT_TRUE(waitFor([&] { return !f.isVisible(); }));
    EXPECT_EQ(closedOrder, (std::vector<std::string>{"TestTool", "TestImport", "TestPlain"}));
}

TEST_F(FrameFixture, AWindowThatRefusesToCloseKeepsTheProgramOpen) {
    Frame& f = openFrame();
    f.show();
    f.openWindow("TestPlain");
    f.openWindow("TestImport");
    refuseToClose = true;
    f.exitCommand();
    QApplication::processEvents();
    QApplication::processEvents();
    refuseToClose = false;
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.isOpen("TestImport"));
    EXPECT_TRUE(f.isOpen("TestPlain"));
}

TEST_F(FrameFixture, ExitIsRefusedWhileIndexingRuns) {
    Frame& f = openFrame();
    f.show();
    f.openWindow("TestTool");
    session->IndexingInProgress = true;
    EXPECT_FALSE(f.close());
    f.exitCommand();
    QApplication::processEvents();
    EXPECT_EQ(std::count(ui.shownTexts.begin(), ui.shownTexts.end(),
                         "You May NOT Exit until Indexing Is Done.|This is to Avoid Corruption."),
              2);
    EXPECT_TRUE(f.isOpen("TestTool"));
    session->IndexingInProgress = false;
    f.exitCommand();
    EXPECT_TRUE(waitFor([&] { return !f.isVisible(); }));
}

TEST_F(FrameFixture, IndexingGreysEveryCommandUntilItEnds) {
    Frame& f = openFrame();
    QAction* plain = f.commandAction("TestPlain");
    ASSERT_EQ(plain, nullptr);  // test windows have no menu entry
    QAction* prefs = f.commandAction("ChangeForum");
    bool hasSelection = prefs->isEnabled();
    session->IndexingInProgress = true;
    f.indexingStarted();
    EXPECT_FALSE(prefs->isEnabled());
    EXPECT_TRUE(f.exitAction()->isEnabled());
    session->IndexingInProgress = false;
    EXPECT_TRUE(waitFor([&] { return prefs->isEnabled() == hasSelection; }));
}

TEST_F(FrameFixture, DatabaseCommandsGreyWhileAnotherWindowAsksAndComeBack) {
    DbResult r = addForumDatabase(*session, "Gardening");
    ASSERT_TRUE(r.ok());
    Frame& f = openFrame();
    ASSERT_TRUE(f.activateDatabase(r.id));
    const char* commands[] = {"UserPanel",  "ChangeForum", "BrowseBox",     "ImportMeny",   "BrowseBatch",
                              "BrowseTasks", "ShowLog",    "BrowseMsgNmbr", "BrowsePerson", "Duplicates",
                              "PurgeMess",  "StatusProc",  "ThreadTree",    "ExportProc",   "About"};
    std::map<std::string, bool> before;
    for (const char* c : commands) before[c] = f.commandAction(c)->isEnabled();
    f.databaseCommandsOff();
    for (const char* c : commands) {
        // Browse Messages always needs one; a window not built in is greyed
        // anyway.
        const WindowSpec* spec = findWindowSpec(c);
        bool needsDb = !spec || spec->needsDatabase || std::string(c) == "BrowseMsgNmbr";
        EXPECT_EQ(f.commandAction(c)->isEnabled(), needsDb ? false : before[c]) << c;
    }
    f.commandsOn();
    for (const char* c : commands) EXPECT_EQ(f.commandAction(c)->isEnabled(), before[c]) << c;
}

TEST_F(FrameFixture, TitleAndDatabaseWindowsFollowTheActiveDatabase) {
    Frame& f = openFrame();
    EXPECT_TRUE(f.windowTitle().endsWith("[No Active Database]"));
    EXPECT_EQ(f.openWindow("TestNeedsDb"), nullptr);
    DbResult r = addForumDatabase(*session, "Gardening");
    ASSERT_TRUE(r.ok());
    ASSERT_TRUE(f.activateDatabase(r.id));
    EXPECT_EQ(f.windowTitle(), "Quillmer [Gardening]");
    EXPECT_NE(f.openWindow("TestNeedsDb"), nullptr);
    f.databaseDeleted();
    EXPECT_EQ(f.windowTitle(), "Quillmer [No Active Database]");
}

TEST_F(FrameFixture, PersonCommandsCarryTheWordsOfTheDatabaseType) {
    DbResult forum = addForumDatabase(*session, "Gardening");
    DbResult mail = addMailDatabase(*session, "Anna Lee", "anna@example.com", {});
    ASSERT_TRUE(forum.ok() && mail.ok());
    // A newsgroup database: a forum entry whose type another program set.
    DbResult news = addForumDatabase(*session, "comp.lang.c");
    ASSERT_TRUE(news.ok());
    OP_CLOSE(*session, OpOpenShared, {2});
    session->FOR.ID = news.id;
    ASSERT_TRUE(session->Forums.get(ForumsFile::FORUMKEY));
    session->FOR.TYPE = TypeNewsgroup;
    ASSERT_TRUE(UppDat(*session, session->Forums, UpdPut, UpdReport));
    OP_CLOSE(*session, OpClose, {2});

    Frame& f = openFrame();
    struct Case {
        uint32_t id;
        const char* browse;
        const char* merge;
    } cases[] = {
        {forum.id, "&Browse Forum Members", "&Merge Duplicate Forum Members"},
        {mail.id, "&Browse Mail Partners", "&Merge Duplicate Mail Partners"},
        {news.id, "&Browse Newsgroup Participants", "&Merge Duplicate Newsgroup Participants"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(f.activateDatabase(c.id));
        EXPECT_EQ(f.commandAction("BrowsePerson")->text().toStdString(), c.browse);
        EXPECT_EQ(f.commandAction("Duplicates")->text().toStdString(), c.merge);
        EXPECT_FALSE(f.commandAction("BrowsePerson")->toolTip().isEmpty());
    }
}

TEST_F(FrameFixture, StartChoosesTheRememberedDatabaseElseTheFirstWithADirectory) {
    DbResult a = addForumDatabase(*session, "Astronomy");
    DbResult b = addForumDatabase(*session, "Botany");
    DbResult c = addForumDatabase(*session, "Chess");
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    ASSERT_TRUE(saveActiveDatabase(*session, c.id));
    ASSERT_TRUE(startProgram(dir.path()));
    EXPECT_EQ(session->Mem.ForumNumber, c.id);
    // The remembered one has lost its directory, and so has the first.
    for (uint32_t n : {a.dirNumber, c.dirNumber}) {
        std::string d = dir.path() + "/F" + std::to_string(n);
        ASSERT_EQ(::rename(d.c_str(), (d + "-moved").c_str()), 0);
    }
    ASSERT_TRUE(startProgram(dir.path()));
    EXPECT_EQ(session->Mem.ForumNumber, b.id);
    EXPECT_EQ(frame->windowTitle(), "Quillmer [Botany]");
    // While a scheduled task runs, none is chosen.
    session->Mem.DoTask = 2;
    frame->activateDatabase(0);
    EXPECT_FALSE(frame->chooseActiveDatabase());
}

TEST_F(FrameFixture, AnotherProgramsChangeToTheCatalogueReachesTheFrame) {
    DbResult r = addForumDatabase(*session, "Gardening");
    ASSERT_TRUE(r.ok());
    Frame& f = openFrame();
    ASSERT_TRUE(f.activateDatabase(r.id));
    int told = 0;
    QObject::connect(&f, &Frame::activeDatabaseChanged, [&] { ++told; });
    f.checkCatalogue();
    EXPECT_EQ(told, 0);  // nothing changed, nothing told

    test::RecordingInterface otherUi;
    Session other(otherUi);
    openInstallation(other, dir.path());
    renameElsewhere(other, r.id, "Roses");
    f.checkCatalogue();
    EXPECT_EQ(told, 1);
    EXPECT_EQ(f.windowTitle(), "Quillmer [Roses]");
}

TEST_F(FrameFixture, StatusBarShowsTodayInThePreferredFormat) {
    Frame& f = openFrame();
    struct Case {
        int32_t format;
        const char* pattern;
    } cases[] = {{2, R"(^\d\d-\d\d-\d{4}$)"}, {6, R"(^\d\d-\d\d-\d{4}$)"}, {10, R"(^\d{4}-\d\d-\d\d$)"}};
    for (const Case& c : cases) {
        setKonfigNumber(*session, 10, c.format);
        setKonfigNumber(*session, 13, 3);
        f.applyPreferences();
        EXPECT_TRUE(QRegularExpression(c.pattern).match(f.shownDate()).hasMatch()) << f.shownDate().toStdString();
        EXPECT_TRUE(QRegularExpression(R"(^\d\d:\d\d[AP]M$)").match(f.shownTime()).hasMatch());
    }
    setKonfigNumber(*session, 10, 10);
    f.applyPreferences();
    EXPECT_EQ(f.shownDate().toStdString(), formatDate(today(), "@D10-"));
}

TEST_F(FrameFixture, PreferencesSavedElsewhereReachTheFrameOnRefresh) {
    Frame& f = openFrame();
    std::unique_ptr<Session> window = f.newSession();
    setKonfigNumber(*window, 10, 10);
    setKonfigNumber(*window, kPrefTabbedView, 1);
    int32_t unused = 0;
    std::string none;
    ASSERT_TRUE(Konfig(*window, 4, 0, unused, 0, none));
    ASSERT_TRUE(Konfig(*window, 9, 0, unused, 0, none));
    f.refreshActiveDatabase();
    EXPECT_EQ(f.shownDate().toStdString(), formatDate(today(), "@D10-"));
    EXPECT_EQ(f.area()->viewMode(), QMdiArea::TabbedView);
}

TEST_F(FrameFixture, AWindowReopensWhereItWasClosed) {
    Frame& f = openFrame();
    f.resize(1000, 700);
    f.show();
    QMdiSubWindow* sub = f.area()->activeSubWindow();
    f.openWindow("TestPlaced");
    sub = f.area()->activeSubWindow();
    ASSERT_NE(sub, nullptr);
    sub->setGeometry(40, 30, 320, 240);
    ASSERT_TRUE(f.closeGroup(WindowGroup::NotTools));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    f.openWindow("TestPlaced");
    EXPECT_EQ(f.area()->activeSubWindow()->geometry(), QRect(40, 30, 320, 240));
    // The placement was saved: another program start finds it.
    WindowRect r;
    ASSERT_TRUE(startProgram(dir.path()));
    ASSERT_TRUE(WindowPos(*session, 3, 21, r));
    EXPECT_EQ(r, (WindowRect{40, 30, 320, 240}));
}

TEST_F(FrameFixture, TheFrameReopensWhereItWasClosedWhenThatPreferenceIsSet) {
    for (int32_t keep : {1, 0}) {
        SCOPED_TRACE(keep);
        ASSERT_TRUE(startProgram(dir.path()));
        setKonfigNumber(*session, kPrefFramePlacement, keep);
        int32_t unused = 0;
        std::string none;
        ASSERT_TRUE(Konfig(*session, 9, 0, unused, 0, none));
        WindowRect before;
        ASSERT_TRUE(WindowPos(*session, 3, kFramePlacementSlot, before));
        frame->setGeometry(60, 50, 800, 600);
        ASSERT_TRUE(frame->close());
        WindowRect stored;
        ASSERT_TRUE(startProgram(dir.path()));
        ASSERT_TRUE(WindowPos(*session, 3, kFramePlacementSlot, stored));
        if (keep) {
            EXPECT_EQ(stored.width, 800);
            EXPECT_EQ(frame->size(), QSize(800, 600));
        } else {
            EXPECT_EQ(stored, before);  // nothing written
        }
    }
}
