// The import wizard and the Import Processing window over a fresh
// installation: the definition the wizard builds against the command line's,
// a run driven by the window's timer, the stop button, a file that fails, and
// saving a predefined procedure.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <functional>

#include "ShellFixture.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "import/ImportChoices.h"
#include "people/Databases.h"
#include "shell/windows/ImportProcessing.h"
#include "shell/windows/ImportWizard.h"

using namespace quill;
using namespace quill::shell;
using quill::test::FrameFixture;

namespace {

const std::string dataDir = std::string(QUILL_SOURCE_DIR) + "/tests/data";

// An Eudora mailbox of count mails to the owner, each with its own subject
// and date.
std::string eudoraMailbox(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        char date[64];
        std::snprintf(date, sizeof date, "Mon, 05 Jan 1998 %02d:%02d:00 +0000", 8 + i / 60, i % 60);
        out += "From ???@??? Mon Jan 05 10:00:00 1998\n";
        out += "From: Ann Alder <ann@example.com>\nTo: Owner <owner@example.com>\n";
        out += std::string("Date: ") + date + "\nSubject: Message " + std::to_string(i) + "\n\nText " +
               std::to_string(i) + ".\n";
    }
    return out;
}

struct ImportWindowsFixture : FrameFixture {
    test::TempDir files;

    Frame& frameWithMailbox() {
        DbResult r = addMailDatabase(*session, "Owner Mail", "owner@example.com", {});
        EXPECT_TRUE(r.ok());
        return openFrame();
    }
    // A definition that imports an Eudora mailbox of count mails into "Owner
    // Mail".
    ImportDefinition mailboxOf(int count) {
        test::writeFile(files / "many.mbx", eudoraMailbox(count));
        ImportChoices c;
        c.type = "Eudora";
        c.method = SelectFiles;
        c.files = {files / "many.mbx"};
        c.mailbox = "Owner Mail";
        DefinitionOutcome def = buildImportDefinition(*session, c);
        EXPECT_TRUE(def.ok()) << def.error;
        return def.def;
    }
    ImportWizard& wizard(Frame& f) {
        auto* w = qobject_cast<ImportWizard*>(f.openWindow("ImportMeny"));
        EXPECT_NE(w, nullptr);
        return *w;
    }
    template <class T>
    static T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    static void chooseType(ImportWizard& w, const QString& name) {
        auto* list = child<QListWidget>(w, "fileTypes");
        auto found = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        list->setCurrentItem(found[0]);
    }
    static void setText(ImportWizard& w, const char* name, const QString& text) {
        child<QLineEdit>(w, name)->setText(text);
    }
    static void check(ImportWizard& w, const char* name, bool on) { child<QCheckBox>(w, name)->setChecked(on); }
    static void chooseMailbox(ImportWizard& w, const QString& text) {
        auto* box = child<QComboBox>(w, "mailbox");
        int i = box->findText(text);
        ASSERT_GE(i, 0) << text.toStdString();
        box->setCurrentIndex(i);
    }
    // Runs the window's timer until its run has finished (a bounded number
    // of event loop turns).
    static void runToEnd(ImportProcessing* p) {
        QPointer<ImportProcessing> w(p);
        for (int i = 0; i < 100000 && w && !w->finished(); ++i)
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        ASSERT_TRUE(w && w->finished());
        QApplication::processEvents();  // windows closed at the end go
    }
    uint32_t mailCount(uint32_t mailbox) {
        for (auto& e : listCatalogue(*session))
            if (e.id == mailbox) return e.msgCount;
        return 0;
    }
    uint32_t mailRecords(uint32_t mailbox) {
        EXPECT_TRUE(selectDatabase(*session, mailbox));
        OP_CLOSE(*session, OpOpenShared, {MailFile::Number});
        auto n = uint32_t(session->Mail.records());
        OP_CLOSE(*session, OpClose, {MailFile::Number});
        clearSelection(*session);
        return n;
    }
    static QString figure(ImportProcessing& p, const char* name) {
        auto* l = p.findChild<QLabel*>(name);
        return l ? l->text() : "?";
    }
};

// ---------------------------------------------------------------------------

struct SameChoices {
    const char* name;
    std::function<std::vector<std::string>(const std::string& files)> cli;
    std::function<void(ImportWindowsFixture&, ImportWizard&, const std::string& files)> wizard;
};

TEST_F(ImportWindowsFixture, WizardSavesTheSameProcedureAsTheCommandLineForTheSameChoices) {
    ASSERT_TRUE(addForumDatabase(*session, "Gardening").ok());
    Frame& f = frameWithMailbox();
    std::filesystem::create_directories(files / "tree/sub");
    test::writeFile(files / "tree/sub/a.msg", "");
    const std::string eudora = dataDir + "/eudora";
    const SameChoices cases[] = {
        {"selected files into a mailbox, without news",
         [&](const std::string&) {
             return std::vector<std::string>{"--type", "Eudora", "--mailbox", "Owner Mail", "--no-news",
                                             eudora + "/eudora-no-toc-every-separator.mbx",
                                             eudora + "/eudora-toc-lists-two-of-three.mbx"};
         },
         [&](ImportWindowsFixture&, ImportWizard& w, const std::string&) {
             chooseType(w, "Eudora");
             child<QRadioButton>(w, "methodFiles")->click();
             auto* list = child<QListWidget>(w, "files");
             list->addItem(QString::fromStdString(eudora + "/eudora-no-toc-every-separator.mbx"));
             list->addItem(QString::fromStdString(eudora + "/eudora-toc-lists-two-of-three.mbx"));
             chooseMailbox(w, "Owner Mail");
             check(w, "newsgroupMsg", false);
         }},
        {"one directory with masks and re-import",
         [&](const std::string&) {
             return std::vector<std::string>{"--type",    "Generic Mail Type 2", "--mailbox",        "Owner Mail",
                                             "--dir",     dataDir + "/mbox",     "--masks",          "*.mbox",
                                             "--no-forum-msgs", "--allow-reimport"};
         },
         [&](ImportWindowsFixture&, ImportWizard& w, const std::string&) {
             chooseType(w, "Generic Mail Type 2");
             child<QRadioButton>(w, "methodDirectory")->click();
             setText(w, "directory", QString::fromStdString(dataDir + "/mbox"));
             setText(w, "masks", "*.mbox");
             chooseMailbox(w, "Owner Mail");
             check(w, "forumMsg", false);
             check(w, "allowReimport", true);
         }},
        {"a directory tree into a forum database, the type's masks",
         [&](const std::string& dir) {
             return std::vector<std::string>{"--type", "TAPCIS 6.x", "--into", "Gardening", "--recursive",
                                             dir + "/tree", "--masks", "*.MSG;*.OLD", "--no-mail"};
         },
         [&](ImportWindowsFixture&, ImportWizard& w, const std::string& dir) {
             chooseType(w, "TAPCIS 6.x");
             EXPECT_EQ(child<QLineEdit>(w, "masks")->text(), "*.MSG;*.OLD") << "the type's default masks";
             child<QRadioButton>(w, "methodTree")->click();
             setText(w, "directory", QString::fromStdString(dir + "/tree"));
             child<QComboBox>(w, "forumDatabase")->setCurrentText("Gardening");
             chooseMailbox(w, "(none)");  // the active mail database was offered
             check(w, "mailMsg", false);
         }},
    };
    int n = 0;
    for (const SameChoices& c : cases) {
        SCOPED_TRACE(c.name);
        std::string description = "Case " + std::to_string(++n);
        std::vector<std::string> args{"--home", dir.path(), "import", "--save", description};
        for (auto& a : c.cli(files.path())) args.push_back(a);
        std::string out, err;
        test::runCli(args, &out, &err);
        auto at = out.find("Saved as import procedure ");
        ASSERT_NE(at, std::string::npos) << out << err;
        uint32_t cliId = uint32_t(std::stoul(out.substr(at + 26)));

        ImportWizard& w = wizard(f);
        c.wizard(*this, w, files.path());
        check(w, "save", true);
        setText(w, "description", QString::fromStdString(description));
        ASSERT_TRUE(w.startRun()) << ::testing::PrintToString(ui.shownTexts);
        uint32_t wizardId = w.savedProcedure();
        ASSERT_NE(wizardId, 0u);

        auto a = loadImportDefinition(*session, cliId);
        auto b = loadImportDefinition(*session, wizardId);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->description, b->description);
        EXPECT_EQ(a->fileType, b->fileType);
        EXPECT_EQ(a->typeName, b->typeName);
        EXPECT_EQ(a->impPath, b->impPath);
        EXPECT_EQ(int(a->selMethod), int(b->selMethod));
        EXPECT_EQ(a->masks, b->masks);
        EXPECT_EQ(a->database, b->database);
        EXPECT_EQ(a->mailbox, b->mailbox);
        EXPECT_EQ(int(a->mailMsg), int(b->mailMsg));
        EXPECT_EQ(int(a->forumMsg), int(b->forumMsg));
        EXPECT_EQ(int(a->newsgroupMsg), int(b->newsgroupMsg));
        EXPECT_EQ(int(a->allowReimp), int(b->allowReimp));
        EXPECT_EQ(a->mailTopic, b->mailTopic);

        // The command line's batch verb lists what the wizard saved.
        ASSERT_EQ(test::runCli({"--home", dir.path(), "batch", "list", "--json"}, &out), 0);
        EXPECT_NE(out.find("{\"id\":" + std::to_string(wizardId) + ",\"description\":\"" + description + "\""),
                  std::string::npos)
            << out;

        // Let the run started by the wizard finish before the next case.
        auto* p = qobject_cast<ImportProcessing*>(f.window(importProcessingName));
        ASSERT_NE(p, nullptr);
        runToEnd(p);
        EXPECT_FALSE(f.isOpen("ImportMeny")) << "the run's end closes the wizard";
    }
}

TEST_F(ImportWindowsFixture, RunFromTheWizardStoresTheMailboxAndShowsTheFinalCounts) {
    Frame& f = openFrame();
    ImportWizard& w = wizard(f);
    chooseType(w, "Eudora");
    child<QRadioButton>(w, "methodFiles")->click();
    child<QListWidget>(w, "files")->addItem(QString::fromStdString(dataDir + "/eudora/eudora-no-toc-every-separator.mbx"));
    // A new mail database, created when the import starts.
    chooseMailbox(w, "New mail database...");
    setText(w, "newMailName", "Owner Mail");
    setText(w, "newMailAddress", "owner@example.com");
    ASSERT_TRUE(w.startRun()) << ::testing::PrintToString(ui.shownTexts);
    uint32_t mailbox = findDatabaseByName(*session, "Owner Mail");
    ASSERT_NE(mailbox, 0u);

    auto* p = qobject_cast<ImportProcessing*>(f.window(importProcessingName));
    ASSERT_NE(p, nullptr);
    runToEnd(p);
    ASSERT_TRUE(p->run().succeeded()) << p->run().failure();
    const RunDisplay& d = p->run().display();
    EXPECT_EQ(d.imported, 3u);
    EXPECT_EQ(mailRecords(mailbox), 3u);
    EXPECT_EQ(mailCount(mailbox), 3u);
    EXPECT_EQ(p->findChild<QLabel*>("status")->text(), "The import process has finished!");
    EXPECT_EQ(figure(*p, "imported"), "3");
    EXPECT_EQ(p->stopButton()->text(), "&Close");
    // The frame had no active database: the one just filled becomes it.
    EXPECT_TRUE(f.windowTitle().endsWith(" [Owner Mail]")) << f.windowTitle().toStdString();
    EXPECT_FALSE(f.isOpen("ImportMeny"));
    p->stopButton()->click();
    QApplication::processEvents();
    EXPECT_FALSE(f.isOpen(importProcessingName));
}

TEST_F(ImportWindowsFixture, StopWhileStoringAsksAndKeepsWhatIsCommitted) {
    Frame& f = frameWithMailbox();
    ImportDefinition def = mailboxOf(60);
    ImportProcessing* p = startImport(f, def);
    ASSERT_NE(p, nullptr);
    // A second run is refused while this one goes on.
    EXPECT_EQ(startImport(f, def), nullptr);
    EXPECT_EQ(ui.shownTexts.back(), "An import is already running.|Start the next one when it has finished.");

    for (int i = 0; i < 10000 && p->run().phase() != RunPhase::Storing; ++i) p->tick();
    ASSERT_EQ(p->run().phase(), RunPhase::Storing);
    p->tick();
    p->tick();
    std::size_t asked = ui.shownTexts.size();
    answer = Button::No;
    p->stopButton()->click();
    ASSERT_EQ(ui.shownTexts.size(), asked + 1);
    EXPECT_EQ(ui.shownTexts.back().substr(0, 48), "Stopping at this stage will cause message counts");
    EXPECT_FALSE(p->finished()) << "No lets the run go on";
    p->tick();
    answer = Button::Yes;
    p->stopButton()->click();
    ASSERT_TRUE(p->finished());
    EXPECT_FALSE(p->run().succeeded());
    uint32_t imported = p->run().display().imported;
    EXPECT_GT(imported, 0u);
    EXPECT_LT(imported, 60u) << "the stop came before the end";
    EXPECT_EQ(figure(*p, "imported"), QString::number(imported));
    EXPECT_EQ(mailRecords(findDatabaseByName(*session, "Owner Mail")), imported)
        << "what the window shows is what was committed";
}

TEST_F(ImportWindowsFixture, ClosingTheWindowWhileReadingStopsTheRunWithoutAsking) {
    Frame& f = frameWithMailbox();
    ImportProcessing* p = startImport(f, mailboxOf(20));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 10000 && p->run().phase() != RunPhase::Reading; ++i) p->tick();
    ASSERT_EQ(p->run().phase(), RunPhase::Reading);
    std::size_t shown = ui.shownTexts.size();
    EXPECT_TRUE(f.closeGroup(WindowGroup::Import));
    QApplication::processEvents();
    EXPECT_FALSE(f.isOpen(importProcessingName));
    EXPECT_EQ(ui.shownTexts.size(), shown) << "nothing was stored yet: nothing to ask";
    EXPECT_EQ(mailRecords(findDatabaseByName(*session, "Owner Mail")), 0u);
}

TEST_F(ImportWindowsFixture, AMissingFileIsReportedAndTheRunGoesOnWithTheNext) {
    Frame& f = frameWithMailbox();
    ImportWizard& w = wizard(f);
    chooseType(w, "Eudora");
    child<QRadioButton>(w, "methodFiles")->click();
    auto* list = child<QListWidget>(w, "files");
    const std::string missing = dataDir + "/eudora/not-there.mbx";
    list->addItem(QString::fromStdString(missing));
    list->addItem(QString::fromStdString(dataDir + "/eudora/eudora-no-toc-every-separator.mbx"));
    chooseMailbox(w, "Owner Mail");
    ASSERT_TRUE(w.startRun());
    auto* p = qobject_cast<ImportProcessing*>(f.window(importProcessingName));
    ASSERT_NE(p, nullptr);
    runToEnd(p);
    EXPECT_NE(std::find(ui.shownTexts.begin(), ui.shownTexts.end(),
                        "The file " + missing + " does not exist and will be skipped!"),
              ui.shownTexts.end())
        << ::testing::PrintToString(ui.shownTexts);
    EXPECT_TRUE(p->run().succeeded());
    EXPECT_EQ(p->run().display().imported, 3u);
}

TEST_F(ImportWindowsFixture, WizardRefusesWhatTheCommandLineRefusesAndStartsNothing) {
    ASSERT_TRUE(addForumDatabase(*session, "Gardening").ok());
    Frame& f = frameWithMailbox();
    ImportWizard& w = wizard(f);
    chooseType(w, "Eudora");
    child<QRadioButton>(w, "methodFiles")->click();
    // No file chosen.
    EXPECT_FALSE(w.startRun());
    child<QListWidget>(w, "files")->addItem(QString::fromStdString(dataDir + "/eudora/eudora-toc-lists-two-of-three.mbx"));
    // A mail database named as the forum database.
    child<QComboBox>(w, "forumDatabase")->setCurrentText("Owner Mail");
    EXPECT_FALSE(w.startRun());
    // A new forum database cannot be saved as a procedure.
    child<QComboBox>(w, "forumDatabase")->setCurrentText("Roses");
    check(w, "save", true);
    EXPECT_FALSE(w.startRun());
    // A new mail database is made only for an import that goes ahead.
    chooseMailbox(w, "New mail database...");
    setText(w, "newMailName", "Second Mail");
    setText(w, "newMailAddress", "second@example.com");
    EXPECT_FALSE(w.startRun());
    // ... and never without an address.
    check(w, "save", false);
    setText(w, "newMailAddress", "");
    EXPECT_FALSE(w.startRun());
    EXPECT_EQ(ui.shownTexts.size(), 5u) << ::testing::PrintToString(ui.shownTexts);
    EXPECT_FALSE(f.isOpen(importProcessingName));
    EXPECT_EQ(findDatabaseByName(*session, "Second Mail"), 0u);
}

TEST_F(ImportWindowsFixture, ATypeWithoutReaderIsRefusedOnItsPage) {
    Frame& f = openFrame();
    ImportWizard& w = wizard(f);
    ASSERT_EQ(w.page(), ImportWizard::TypePage);
    // The default type until one is chosen.
    EXPECT_TRUE(child<QListWidget>(w, "fileTypes")->currentItem()->text().startsWith("WinCIM"));
    chooseType(w, "Outlook Mail  (no reader yet)");
    child<QPushButton>(w, "next")->click();
    EXPECT_EQ(w.page(), ImportWizard::TypePage);
    EXPECT_EQ(ui.shownTexts.back(), noReaderText("Outlook Mail"));
    chooseType(w, "Eudora");
    child<QPushButton>(w, "next")->click();
    EXPECT_EQ(w.page(), ImportWizard::FilesPage);
}

}  // namespace
