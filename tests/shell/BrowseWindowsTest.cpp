// The browse windows over a small archive, driven without a display.
// The import kit comes before any Qt header: Qt defines "slots" as a macro.
#include "browse/BrowseTestKit.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTableView>

#include "ShellFixture.h"
#include "database/Catalogue.h"
#include "database/PreferenceNumbers.h"
#include "people/Databases.h"
#include "shell/windows/BrowseLookup.h"
#include "shell/windows/BrowseModel.h"
#include "shell/windows/BrowseWindow.h"

using namespace quill;
using namespace quill::shell;
using namespace quill::test;

namespace {

struct BrowseWindows : FrameFixture {
    TempDir files;
    int runs = 0;

    // The windows close as the user closes them (saving their columns)
    // before the frame goes.
    void TearDown() override {
        if (!frame) return;
        for (WindowGroup g : {WindowGroup::Find, WindowGroup::Import, WindowGroup::NotTools}) frame->closeGroup(g);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(frame->openWindows().empty());
    }

    static Fx forumMessage(int i, const std::string& subject, const std::string& text = "") {
        Fx m;
        m.number = uint32_t(500 + i);
        m.section = "1 General";
        m.date = "2024-01-" + std::string(i < 10 ? "0" : "") + std::to_string(i) + " 10:00:00";
        m.from = i % 2 ? "Ann Lee <70000,1>" : "Bob Ray <70000,2>";
        m.to = "All";
        m.subject = subject;
        m.text = text.empty() ? "Message " + std::to_string(i) + " text." : text;
        return m;
    }
    void import(Session& s, const std::vector<Fx>& msgs, const std::string& forum, uint32_t mailbox = 0) {
        importFixture(s, files, runs, msgs, forum, mailbox);
    }
    BrowseWindow* openForumBrowse(const std::vector<Fx>& msgs) {
        import(*session, msgs, "Garden Forum");
        uint32_t id = findDatabaseByName(*session, "Garden Forum");
        Frame& f = openFrame();
        EXPECT_TRUE(f.activateDatabase(id));
        return qobject_cast<BrowseWindow*>(f.openWindow("BrowseMsgNmbr"));
    }
    // The browse over the usual messages and one more, with the word index built.
    BrowseWindow* openIndexedBrowse(const Fx& extra) {
        std::vector<Fx> msgs = someMessages();
        msgs.push_back(extra);
        BrowseWindow* w = openForumBrowse(msgs);
        std::string out, err;
        EXPECT_EQ(runCli({"--home", dir.path(), "index", "Garden Forum", "--full"}, &out, &err), 0) << err;
        return w;
    }
    static std::vector<Fx> someMessages() {
        return {forumMessage(1, "Apples"), forumMessage(2, "Pears"), forumMessage(3, "Apples"),
                forumMessage(4, "Roses"), forumMessage(5, "Pears")};
    }
};

}  // namespace

TEST_F(BrowseWindows, TheForumBrowseOpensByNameShowingTheNewestMessageAndItsText) {
    BrowseWindow* w = openForumBrowse(someMessages());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "Forum Messages");
    EXPECT_EQ(w->model().rowCount(), 5);
    ASSERT_NE(w->current(), nullptr);
    EXPECT_EQ(w->model().data(w->model().index(0, 1), Qt::DisplayRole).toString(), "Pears");
    EXPECT_EQ(w->textPane()->toPlainText(), "Message 5 text.");
    EXPECT_EQ(frame->currentMessage().msgNumber, w->current()->id) << "published for the tools";
    EXPECT_EQ(w->tabs()->count(), 9);
    EXPECT_EQ(w->tabs()->tabText(0), "Find Date");
}

TEST_F(BrowseWindows, SwitchingModesKeepsTheHighlightedMessageAndOrdersTheList) {
    BrowseWindow* w = openForumBrowse(someMessages());
    ASSERT_NE(w, nullptr);
    w->table()->setCurrentIndex(w->model().index(2, 0));
    uint32_t chosen = w->current()->id;
    w->tabs()->setCurrentIndex(1);  // "Filter Thread"
    EXPECT_EQ(w->view().mode(), BrowseMode::Thread);
    ASSERT_NE(w->current(), nullptr);
    EXPECT_EQ(w->current()->id, chosen);

    w->switchMode(BrowseMode::Thread);
    w->model().showFirst();
    QStringList threads;
    for (int r = 0; r < w->model().rowCount(); ++r) threads << w->model().data(w->model().index(r, 1), Qt::DisplayRole).toString();
    EXPECT_EQ(threads, (QStringList{"Apples", "Apples", "Pears", "Pears", "Roses"}));

    // Limited to the thread of the highlighted message, then the next thread.
    w->table()->setCurrentIndex(w->model().index(0, 0));
    w->setLimited(true);
    EXPECT_EQ(w->model().rowCount(), 2);
    ASSERT_TRUE(w->stepFilter(true));
    EXPECT_EQ(w->model().rowCount(), 2);
    EXPECT_EQ(w->model().data(w->model().index(0, 1), Qt::DisplayRole).toString(), "Pears");

    EXPECT_TRUE(w->findLocator("2024-01-02") == false) << "no date locator outside the date view";
    w->switchMode(BrowseMode::Date);
    ASSERT_TRUE(w->findLocator("2024-01-02"));
    EXPECT_EQ(w->textPane()->toPlainText(), "Message 2 text.");
}

TEST_F(BrowseWindows, AStatusCommandFromThePopUpMarksTheHighlightedMessageOnly) {
    BrowseWindow* w = openForumBrowse(someMessages());
    ASSERT_NE(w, nullptr);
    w->table()->setCurrentIndex(w->model().index(1, 0));
    uint32_t id = w->current()->id;
    QMenu* menu = w->statusMenu();
    QAction* del = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == "Delete Message") del = a;
    ASSERT_NE(del, nullptr);
    del->trigger();
    EXPECT_EQ(w->current()->status, 2);
    EXPECT_TRUE(w->model().data(w->model().index(1, 0), Qt::FontRole).value<QFont>().strikeOut());

    auto other = frame->newSession();
    OP_CLOSE(*other, OpOpenShared, {MsgNmbrFile::Number});
    other->MsgNmbr.setPhysical();
    int marked = 0;
    while (other->MsgNmbr.next()) {
        if (uint8_t(other->MSG.DUMMY) != 0) {
            ++marked;
            EXPECT_EQ(uint32_t(other->MSG.MSGNUMBER), id);
        }
    }
    OP_CLOSE(*other, OpClose, {MsgNmbrFile::Number});
    EXPECT_EQ(marked, 1);
    delete menu;
}

TEST_F(BrowseWindows, ColourAndFontPreferencesShowInTheListAndTheTextPane) {
    BrowseWindow* w = openForumBrowse(someMessages());
    ASSERT_NE(w, nullptr);
    auto colourOfRow = [&](int row) { return w->model().data(w->model().index(row, 0), Qt::ForegroundRole); };
    auto mark = [&](int row, const char* command) {
        w->table()->setCurrentIndex(w->model().index(row, 0));
        QMenu* menu = w->statusMenu();
        for (QAction* a : menu->actions())
            if (a->text() == command) a->trigger();
        delete menu;
    };
    mark(1, "Delete Message");
    mark(2, "Keep Message");
    EXPECT_EQ(colourOfRow(1).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(colourOfRow(2).value<QColor>(), QColor(0, 0, 128));
    EXPECT_FALSE(colourOfRow(0).isValid());

    // Preferences as Windows RGB values: red in the low byte.
    auto& prefs = frame->session().prefs;
    prefs.numbers[pref::DeleteColour] = 0x00A000;
    prefs.numbers[pref::KeepColour] = 0x804000;
    prefs.numbers[pref::HitColour] = 0x00FF00;
    prefs.numbers[pref::ListFont] = 13;
    prefs.numbers[pref::MessageTextFont] = 14;
    frame->applyPreferences();
    EXPECT_EQ(colourOfRow(1).value<QColor>(), QColor(0, 160, 0));
    EXPECT_EQ(colourOfRow(2).value<QColor>(), QColor(0, 64, 128));
    EXPECT_EQ(w->table()->font().pointSize(), 13);
    EXPECT_EQ(w->textPane()->font().pointSize(), 14);
    EXPECT_EQ(w->textPane()->palette().color(QPalette::Highlight), QColor(0, 255, 0));
}

TEST_F(BrowseWindows, ALongTextIsShownInPagesWithTheirMarks) {
    std::string text;
    while (text.size() < 30000) text += "garden path words\n";
    BrowseWindow* w = openForumBrowse({forumMessage(1, "Long", text)});
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->pages().count(), 2u);
    EXPECT_TRUE(w->textPane()->toPlainText().endsWith(" ..........<MORE>>"));
    EXPECT_FALSE(w->previousPage());
    ASSERT_TRUE(w->nextPage());
    EXPECT_TRUE(w->textPane()->toPlainText().startsWith("<CONTINUED>> "));
    EXPECT_FALSE(w->nextPage());
}

TEST_F(BrowseWindows, MessagesAnotherProgramImportsAppearOnRefreshAndToolsCanLocateThem) {
    BrowseWindow* w = openForumBrowse(someMessages());
    ASSERT_NE(w, nullptr);
    auto other = frame->newSession();
    import(*other, {forumMessage(9, "Tulips")}, "Garden Forum");
    EXPECT_EQ(w->model().rowCount(), 5) << "rows are read when asked for";
    w->refresh();
    ASSERT_EQ(w->model().rowCount(), 6);
    EXPECT_EQ(w->model().data(w->model().index(0, 1), Qt::DisplayRole).toString(), "Tulips");

    // A tool asks for a message: the browse highlights it.
    uint32_t last = w->model().rowAt(5)->id;
    emit frame->locateMessageRequested(last);
    ASSERT_NE(w->current(), nullptr);
    EXPECT_EQ(w->current()->id, last);
    EXPECT_EQ(frame->currentMessage().msgNumber, last);
}

TEST_F(BrowseWindows, BookmarkReturnsToTheRememberedMessage) {
    BrowseWindow* w = openForumBrowse(someMessages());
    ASSERT_NE(w, nullptr);
    w->table()->setCurrentIndex(w->model().index(3, 0));
    uint32_t marked = w->current()->id;
    w->setBookmark();
    w->switchMode(BrowseMode::Sender);
    w->table()->setCurrentIndex(w->model().index(0, 0));
    ASSERT_TRUE(w->resetToBookmark());
    EXPECT_EQ(w->current()->id, marked);
}

TEST_F(BrowseWindows, TheSortPopUpMarksTheOrderInUse) {
    BrowseWindow* w = openForumBrowse(someMessages());
    ASSERT_NE(w, nullptr);
    std::vector<uint32_t> ids;
    for (int r = 0; r < w->model().rowCount(); ++r) ids.push_back(w->model().rowAt(r)->id);
    auto s = frame->newSession();
    ASSERT_TRUE(writeResultSet(*s, {ids[4], ids[0], ids[2]}));
    w->switchMode(BrowseMode::Search);
    EXPECT_EQ(w->model().rowCount(), 3);
    ASSERT_TRUE(w->sortResults(OrderDate));
    EXPECT_EQ(w->model().rowAt(0)->id, ids[0]) << "newest first";
    EXPECT_FALSE(w->sortResults(OrderDate)) << "choosing the current order does nothing";
    QMenu* menu = w->sortMenu();
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text();
    EXPECT_EQ(texts.join("|"), "+Sort by date|Sort by thread|Sort by section|Sort by sender|Sort by receiver");
    delete menu;
}

TEST_F(BrowseWindows, TheMailBrowseShowsTheSubjectAndClosesWhenAForumBecomesActive) {
    DbResult mail = addMailDatabase(*session, "Owner", "owner@example.com", {});
    ASSERT_TRUE(mail.ok());
    Fx m;
    m.kind = "mail";
    m.from = "Ann Lee <ann@example.org>";
    m.to = "Owner <owner@example.com>";
    m.subject = "Hello";
    m.text = "Body.";
    import(*session, {m}, "", mail.id);
    import(*session, someMessages(), "Garden Forum");
    Frame& f = openFrame();
    ASSERT_TRUE(f.activateDatabase(mail.id));
    EXPECT_EQ(f.openWindow("BrowseMsgNmbr"), nullptr) << "the forum browse is not for a mail database";
    auto* w = qobject_cast<BrowseWindow*>(f.openWindow("BrowseMail"));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "Mail Messages");
    EXPECT_EQ(w->textPane()->toPlainText(), "Subject: Hello\n\nBody.");
    ASSERT_TRUE(f.activateDatabase(findDatabaseByName(*session, "Garden Forum")));
    QApplication::processEvents();
    EXPECT_FALSE(f.isOpen("BrowseMail"));
}

TEST_F(BrowseWindows, TheBrowseFollowsTheActiveDatabaseToAnotherForum) {
    BrowseWindow* w = openForumBrowse(someMessages());
    ASSERT_NE(w, nullptr);
    import(*session, {forumMessage(7, "Hedges")}, "Hedge Forum");
    ASSERT_TRUE(frame->activateDatabase(findDatabaseByName(*session, "Hedge Forum")));
    QApplication::processEvents();
    ASSERT_EQ(frame->window("BrowseMsgNmbr"), w);
    ASSERT_EQ(w->model().rowCount(), 1);
    EXPECT_EQ(w->model().data(w->model().index(0, 1), Qt::DisplayRole).toString(), "Hedges");
    EXPECT_EQ(frame->currentMessage().msgNumber, w->current()->id);
}

TEST_F(BrowseWindows, TheKeyWordViewListsIndexedMessagesAndItsHitsMoveAcrossPages) {
    std::string text = "A hedgehog at the start.\n";
    while (text.size() < 30000) text += "filler words here\n";
    text += "Another hedgehog near the end.\n";
    BrowseWindow* w = openIndexedBrowse(forumMessage(8, "Wildlife", text));
    ASSERT_NE(w, nullptr);

    w->switchMode(BrowseMode::KeyWord);
    EXPECT_EQ(w->model().rowCount(), 0) << "no word chosen yet";
    ASSERT_TRUE(w->findLocator("hedgehog"));
    ASSERT_EQ(w->model().rowCount(), 1);
    EXPECT_EQ(w->pages().count(), 2u);
    // The first hit is selected as soon as the message shows.
    EXPECT_EQ(w->pages().current(), 0u);
    EXPECT_EQ(w->textPane()->textCursor().selectedText(), "hedgehog");
    ASSERT_TRUE(w->nextHit());
    EXPECT_EQ(w->pages().current(), 1u) << "the second hit lies on the second page";
    EXPECT_EQ(w->textPane()->textCursor().selectedText(), "hedgehog");
    EXPECT_FALSE(w->nextHit());
    EXPECT_EQ(w->pages().current(), 1u) << "the last hit stays selected";
    EXPECT_EQ(w->textPane()->textCursor().selectedText(), "hedgehog");
    ASSERT_TRUE(w->previousHit());
    EXPECT_EQ(w->pages().current(), 0u);
}

TEST_F(BrowseWindows, AHitAcrossThePageCutIsSelectedWithoutThePageMarks) {
    // No blank near the end of the first page: the cut falls on the second
    // "h" of the middle hedgehog, which neither page shows.
    std::string text = "A hedgehog at the start. ";
    while (text.size() < 23940) text += "filler words here ";
    text.resize(23940);
    text += std::string(35, ',') + "hedgehog,,,,, hedgehog end";
    ASSERT_EQ(text.substr(23975, 8), "hedgehog");
    BrowseWindow* w = openIndexedBrowse(forumMessage(8, "Wildlife", text));
    ASSERT_NE(w, nullptr);
    w->switchMode(BrowseMode::KeyWord);
    ASSERT_TRUE(w->findLocator("hedgehog"));
    ASSERT_EQ(w->pages().count(), 2u);
    ASSERT_TRUE(w->nextHit());
    EXPECT_EQ(w->pages().current(), 0u);
    EXPECT_EQ(w->textPane()->textCursor().selectedText(), "hedge");
    ASSERT_TRUE(w->nextHit());
    EXPECT_EQ(w->pages().current(), 1u);
    EXPECT_EQ(w->textPane()->textCursor().selectedText(), "hedgehog");
}

TEST_F(BrowseWindows, TheLookupListStartsAtTheTypedLettersAndReturnsTheChosenEntry) {
    BrowseWindow* w = openForumBrowse(someMessages());
    ASSERT_NE(w, nullptr);
    auto s = frame->newSession();
    BrowseLookup threads(*s, LookupKind::Threads, "Look up thread");
    QStringList all;
    for (int i = 0; i < threads.list()->count(); ++i) all << threads.list()->item(i)->text();
    EXPECT_EQ(all, (QStringList{"Apples", "Pears", "Roses"}));
    threads.typed()->setText("p");
    ASSERT_GE(threads.list()->count(), 1);
    EXPECT_EQ(threads.list()->item(0)->text(), "Pears");
    emit threads.list()->itemActivated(threads.list()->item(0));
    EXPECT_EQ(threads.result(), QDialog::Accepted);
    EXPECT_EQ(threads.chosenText(), "Pears");

    // The chosen thread limits the view in the thread tab.
    w->switchMode(BrowseMode::Thread);
    w->view().setFilter(threads.chosenId());
    w->model().showFirst();
    EXPECT_EQ(w->model().rowCount(), 2);
}

TEST_F(BrowseWindows, ARefreshFarDownTheListKeepsTheHighlightAndNewRowsWaitAboveIt) {
    std::vector<Fx> msgs;
    for (int i = 1; i <= 260; ++i) msgs.push_back(forumMessage(i % 28 + 1, "Topic " + std::to_string(i % 7)));
    for (int i = 0; i < int(msgs.size()); ++i) msgs[std::size_t(i)].number = uint32_t(1000 + i);
    BrowseWindow* w = openForumBrowse(msgs);
    ASSERT_NE(w, nullptr);
    while (w->model().canFetchMore({})) w->model().fetchMore({});
    ASSERT_EQ(w->model().rowCount(), 260);
    w->table()->setCurrentIndex(w->model().index(240, 0));
    uint32_t chosen = w->current()->id;

    auto other = frame->newSession();
    Fx fresh = forumMessage(1, "Brand new");
    fresh.date = "2025-01-01 10:00:00";
    fresh.number = 5000;
    import(*other, {fresh}, "Garden Forum");
    w->refresh();
    ASSERT_NE(w->current(), nullptr);
    EXPECT_EQ(w->current()->id, chosen);
    while (w->model().fetchFront()) {
    }
    EXPECT_EQ(w->model().data(w->model().index(0, 1), Qt::DisplayRole).toString(), "Brand new");
    EXPECT_EQ(w->model().rowCount(), 261);
}
