// The search window over a small indexed archive: its hits against a scan of
// the stored texts, the pause question, re-sorting, hit navigation with page
// switching; and the indexing window with its exit guard.
#include "ArchiveKit.h"  // before any Qt header

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QTreeWidget>
#include <random>
#include <set>

#include "ShellFixture.h"
#include "search/Search.h"
#include "search/WordIndex.h"
#include "shell/windows/BrowseWindow.h"
#include "shell/windows/SearchIndexWindow.h"
#include "shell/windows/SearchWindow.h"
#include "shell/windows/TopicForm.h"

namespace quill::test {
namespace {

using namespace quill::shell;

const std::vector<std::string> vocabulary = {"apple", "banana", "cherry", "damson", "elder", "fig", "grape", "hazel"};

struct SearchWindowTest : FrameFixture {
    TempDir files;
    uint32_t forum = 0;
    std::map<uint32_t, std::vector<std::string>> words;  // message -> its words in order

    void importArchive(std::vector<Fx> extra = {}) {
        std::mt19937 rng(5);
        std::vector<Fx> msgs;
        for (uint32_t n = 1; n <= 40; ++n) {
            Fx m = forumMessage(n, 0, "Subject");
            m.date = "2024-03-" + std::string(n % 28 < 9 ? "0" : "") + std::to_string(1 + n % 28) + " 08:00:00";
            std::string text;
            for (int i = 0, len = 2 + int(rng() % 8); i < len; ++i) {
                std::string w = vocabulary[rng() % vocabulary.size()];
                words[n].push_back(w);
                text += (i ? " " : "") + w;
            }
            m.text = text;
            msgs.push_back(m);
        }
        for (Fx& m : extra) msgs.push_back(m);
        forum = importActiveForum(*session, files, msgs, "Orchard");
        ASSERT_NE(forum, 0u);
    }
    void indexArchive() {
        WordIndexRun run(*session, IndexMode::Full);
        run.runToEnd();
        ASSERT_FALSE(run.failed()) << run.failure();
    }
    // Index entries a search scans before it asks whether to go on.
    void setScanLimit(int32_t entries) {
        IndexSettings settings = loadIndexSettings(*session);
        settings.searchScanLimit = entries;
        ASSERT_TRUE(saveIndexSettings(*session, settings));
    }
    bool has(uint32_t n, const std::string& w) {
        auto& v = words[n];
        return std::find(v.begin(), v.end(), w) != v.end();
    }
    bool hasPair(uint32_t n, const std::string& a, const std::string& b) {
        auto& v = words[n];
        for (std::size_t i = 0; i + 1 < v.size(); ++i)
            if (v[i] == a && v[i + 1] == b) return true;
        return false;
    }
    // The search window after a search for q over the archive with one more
    // message, which must be the only one found.
    SearchWindow* searchOnly(const Fx& m, const QString& q) {
        importArchive({m});
        indexArchive();
        auto* w = dynamic_cast<SearchWindow*>(openFrame().openWindow("SearchProc"));
        if (!w) return nullptr;
        runSearchIn(w, q);
        EXPECT_EQ(listed(w), (std::set<uint32_t>{m.number}));
        return w;
    }
    static void runSearchIn(SearchWindow* w, const QString& q) {
        w->queryEdit()->setText(q);
        w->searchButton()->click();
        for (int i = 0; i < 100000 && w->running(); ++i) QApplication::processEvents();
        ASSERT_FALSE(w->running());
    }
    static std::set<uint32_t> listed(SearchWindow* w) {
        std::set<uint32_t> v;
        for (int i = 0; i < w->hitsList()->topLevelItemCount(); ++i)
            v.insert(w->hitsList()->topLevelItem(i)->text(0).toUInt());
        return v;
    }
};

TEST_F(SearchWindowTest, ListsExactlyTheMessagesAScanOfTheTextsFinds) {
    importArchive();
    indexArchive();
    Frame& f = openFrame();
    auto* w = dynamic_cast<SearchWindow*>(f.openWindow("SearchProc"));
    ASSERT_NE(w, nullptr);
    std::mt19937 rng(9);
    auto pick = [&] { return vocabulary[rng() % vocabulary.size()]; };
    for (int round = 0; round < 12; ++round) {
        std::string a = pick(), b = pick();
        std::string q;
        std::set<uint32_t> expected;
        for (uint32_t n = 1; n <= 40; ++n) {
            bool m = false;
            switch (round % 4) {
                case 0: q = a; m = has(n, a); break;
                case 1: q = a + " " + b; m = has(n, a) && has(n, b); break;
                case 2: q = a + " OR " + b; m = has(n, a) || has(n, b); break;
                case 3: q = "\"" + a + " " + b + "\""; m = hasPair(n, a, b); break;
            }
            if (m) expected.insert(n);
        }
        runSearchIn(w, QString::fromStdString(q));
        EXPECT_EQ(listed(w), expected) << q;
        std::vector<uint32_t> stored = readResultSet(*session);
        EXPECT_EQ(std::set<uint32_t>(stored.begin(), stored.end()), expected) << q << ": the result set file";
    }
}

TEST_F(SearchWindowTest, AnsweringNoAtThePauseStopsWithAnEmptyResultSet) {
    importArchive();
    indexArchive();
    setScanLimit(1);
    Frame& f = openFrame();
    auto* w = dynamic_cast<SearchWindow*>(f.openWindow("SearchProc"));
    ASSERT_NE(w, nullptr);
    answer = Button::No;
    runSearchIn(w, "apple OR banana");
    EXPECT_EQ(w->hitsList()->topLevelItemCount(), 0);
    EXPECT_EQ(w->status()->text(), "Search stopped.");
    ASSERT_FALSE(ui.shownTexts.empty());
    EXPECT_NE(ui.shownTexts.back().find("Do you want to continue searching?"), std::string::npos);
    EXPECT_TRUE(readResultSet(*session).empty());

    answer = Button::Yes;
    runSearchIn(w, "apple OR banana");
    EXPECT_GT(w->hitsList()->topLevelItemCount(), 0);
}

TEST_F(SearchWindowTest, YesAtEveryPauseGoesOnUntilTheSearchFindsWhatAnUninterruptedOneFinds) {
    importArchive();
    indexArchive();
    std::vector<uint32_t> whole = runSearch(*session, "\"apple banana\"", 1000000).ids;
    setScanLimit(3);
    Frame& f = openFrame();
    auto* w = dynamic_cast<SearchWindow*>(f.openWindow("SearchProc"));
    ASSERT_NE(w, nullptr);
    int questions = 0;
    ui.answerer = [&](const std::string& text, const std::string& caption) {
        EXPECT_EQ(caption, "Search");
        EXPECT_NE(text.find("Do you want to continue searching?"), std::string::npos);
        ++questions;
        return Button::Yes;
    };
    runSearchIn(w, "\"apple banana\"");
    EXPECT_GT(questions, 1) << "a pause at every third entry scanned";
    EXPECT_EQ(listed(w), std::set<uint32_t>(whole.begin(), whole.end()));
    EXPECT_EQ(readResultSet(*session), whole);
}

TEST_F(SearchWindowTest, StopEndsTheRunningSearchWithAnEmptyResultSetAndTheButtonStartsTheNext) {
    importArchive();
    indexArchive();
    ASSERT_FALSE(runSearch(*session, "apple").ids.empty());
    Frame& f = openFrame();
    auto* w = dynamic_cast<SearchWindow*>(f.openWindow("SearchProc"));
    ASSERT_NE(w, nullptr);
    w->queryEdit()->setText("apple banana");
    w->searchButton()->click();
    ASSERT_TRUE(w->running());
    EXPECT_EQ(w->searchButton()->text(), "&Stop");
    w->searchButton()->click();
    ASSERT_TRUE(waitFor([&] { return !w->running(); }));
    EXPECT_EQ(w->status()->text(), "Search stopped.");
    EXPECT_EQ(w->hitsList()->topLevelItemCount(), 0);
    EXPECT_TRUE(readResultSet(*session).empty());
    EXPECT_EQ(w->searchButton()->text(), "&Search");

    runSearchIn(w, "apple");
    EXPECT_GT(w->hitsList()->topLevelItemCount(), 0);
}

TEST_F(SearchWindowTest, ClosingTheWindowWhileItsPauseQuestionIsOpenEndsTheSearchCleanly) {
    importArchive();
    indexArchive();
    ASSERT_FALSE(runSearch(*session, "apple").ids.empty());
    setScanLimit(1);
    Frame& f = openFrame();
    QPointer<SearchWindow> w = dynamic_cast<SearchWindow*>(f.openWindow("SearchProc"));
    ASSERT_NE(w, nullptr);
    int questions = 0;
    ui.answerer = [&](const std::string&, const std::string&) {
        ++questions;
        if (w) closeChildWindow(w);
        return Button::Yes;
    };
    w->queryEdit()->setText("apple OR banana");
    w->searchButton()->click();
    ASSERT_TRUE(waitFor([&] { return w.isNull(); }));
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(readResultSet(*session).empty());
    EXPECT_EQ(f.window("SearchProc"), nullptr);
}

TEST_F(SearchWindowTest, NextHitAtTheLastHitKeepsTheSelectionAndDisablesNext) {
    Fx m = forumMessage(500, 0, "Fruit", "quince one quince two quince");
    SearchWindow* w = searchOnly(m, "quince");
    ASSERT_NE(w, nullptr);
    // The first hit is selected at once.
    EXPECT_EQ(w->selectedText(), "quince");
    EXPECT_EQ(w->pane().selStart, 0u);
    EXPECT_FALSE(w->previousHitButton()->isEnabled());
    EXPECT_TRUE(w->nextHitButton()->isEnabled());
    ASSERT_TRUE(w->nextHit());
    EXPECT_TRUE(w->previousHitButton()->isEnabled());
    ASSERT_TRUE(w->nextHit());
    std::size_t last = w->pane().selStart;
    EXPECT_EQ(last, 22u);
    EXPECT_FALSE(w->nextHitButton()->isEnabled());
    EXPECT_FALSE(w->nextHit());
    EXPECT_EQ(w->pane().selStart, last);
    EXPECT_EQ(w->selectedText(), "quince");
    ASSERT_TRUE(w->previousHit());
    EXPECT_EQ(w->pane().selStart, 11u);

    // A place the user clicks is where the next search for a hit starts.
    QTextCursor c = w->textPane()->textCursor();
    c.setPosition(1);
    w->textPane()->setTextCursor(c);
    ASSERT_TRUE(w->nextHit());
    EXPECT_EQ(w->pane().selStart, 11u);
    c.setPosition(12);
    w->textPane()->setTextCursor(c);
    ASSERT_TRUE(w->previousHit());
    EXPECT_EQ(w->pane().selStart, 11u) << "the hit the cursor stands in is the previous one";
}

TEST_F(SearchWindowTest, EnterOnAHitShowsItInTheBrowsesResultViewWithItsHitsToStepThrough) {
    Fx m = forumMessage(500, 0, "Fruit", "quince one quince two quince");
    Fx other = forumMessage(501, 0, "Fruit", "a quince alone");
    importArchive({m, other});
    indexArchive();
    Frame& f = openFrame();
    auto* browse = dynamic_cast<BrowseWindow*>(f.openWindow("BrowseMsgNmbr"));
    ASSERT_NE(browse, nullptr);
    auto* w = dynamic_cast<SearchWindow*>(f.openWindow("SearchProc"));
    ASSERT_NE(w, nullptr);
    runSearchIn(w, "quince");
    ASSERT_EQ(listed(w), (std::set<uint32_t>{500, 501}));
    QTreeWidgetItem* hit = nullptr;
    for (int i = 0; i < w->hitsList()->topLevelItemCount(); ++i)
        if (w->hitsList()->topLevelItem(i)->text(0) == "500") hit = w->hitsList()->topLevelItem(i);
    ASSERT_NE(hit, nullptr);
    emit w->hitsList()->itemActivated(hit, 0);

    // The browse shows the result set the search wrote, at the hit's message.
    EXPECT_EQ(browse->view().mode(), BrowseMode::Search);
    ASSERT_NE(browse->current(), nullptr);
    EXPECT_EQ(browse->current()->id, 500u);
    std::set<uint32_t> shown;
    for (const BrowseRow& r : browse->view().first(10)) shown.insert(r.id);
    EXPECT_EQ(shown, (std::set<uint32_t>{500, 501}));
    // Its first hit is selected and its hit commands step through the
    // searched word's other two places.
    EXPECT_EQ(browse->textPane()->textCursor().selectedText(), "quince");
    int steps = 0;
    while (browse->nextHit()) {
        ++steps;
        EXPECT_EQ(browse->textPane()->textCursor().selectedText(), "quince");
    }
    EXPECT_EQ(steps, 2);
}

TEST_F(SearchWindowTest, HitsAfterACharacterReferenceAreSelectedWhereTheyShow) {
    Fx m = forumMessage(700, 0, "Fruit", "caf&#8364; &#8364;&#8364; sloe and sloe");
    SearchWindow* w = searchOnly(m, "sloe");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->selectedText(), "sloe");
    EXPECT_EQ(w->textPane()->textCursor().selectionStart(), 8);
    ASSERT_TRUE(w->nextHit());
    EXPECT_EQ(w->selectedText(), "sloe");
    ASSERT_TRUE(w->previousHit());
    EXPECT_EQ(w->textPane()->textCursor().selectionStart(), 8);
}

TEST_F(SearchWindowTest, AHitOnALaterPageSwitchesToThatPageAndIsSelectedWhereItShows) {
    // Line ends and character references before the hit each show as one
    // character in the pane.
    std::string filler;
    while (filler.size() < 30000) filler += "lorem &#8364; ipsum\n";
    Fx m = forumMessage(600, 0, "Fruit", "medlar\n" + filler + "medlar end");
    SearchWindow* w = searchOnly(m, "medlar");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->pages(), 2);
    EXPECT_EQ(w->page(), 1);
    EXPECT_FALSE(w->previousPageButton()->isEnabled());
    EXPECT_TRUE(w->textPane()->toPlainText().endsWith(" ..........<MORE>>"));
    EXPECT_EQ(w->selectedText(), "medlar");
    ASSERT_TRUE(w->nextHit());
    EXPECT_EQ(w->page(), 2);
    QString page = w->textPane()->toPlainText();
    EXPECT_TRUE(page.startsWith("<CONTINUED>> \n"));
    EXPECT_TRUE(page.endsWith("medlar end"));
    EXPECT_EQ(w->selectedText(), "medlar");
    EXPECT_EQ(w->textPane()->textCursor().selectionStart(), page.lastIndexOf("medlar"));
    ASSERT_TRUE(w->previousHit());
    EXPECT_EQ(w->page(), 1);
    w->nextPage();
    EXPECT_EQ(w->page(), 2);
    EXPECT_FALSE(w->nextPageButton()->isEnabled());
}

TEST_F(SearchWindowTest, AHitAcrossTheCutIsSelectedAsFarAsItsPageShowsIt) {
    // No blank near the end of the first page: the cut falls on the "e" of
    // the first quince, which neither page shows.
    std::string text;
    while (text.size() < 23940) text += "lorem ipsum ";
    text.resize(23940);
    text += std::string(35, ',') + "quince,,,,, quince " + std::string(6000, 'z');
    ASSERT_EQ(text.substr(23975, 6), "quince");
    Fx m = forumMessage(620, 0, "Fruit", text);
    SearchWindow* w = searchOnly(m, "quince");
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->pages(), 2);
    EXPECT_EQ(w->page(), 1);
    EXPECT_EQ(w->selectedText(), "quinc");
    EXPECT_TRUE(w->nextHitButton()->isEnabled());
    ASSERT_TRUE(w->nextHit());
    EXPECT_EQ(w->page(), 2);
    EXPECT_EQ(w->selectedText(), "quince");
    EXPECT_EQ(w->textPane()->textCursor().selectionStart(), QString("<CONTINUED>> \n,,,,, ").size());
    ASSERT_TRUE(w->previousHit());
    EXPECT_EQ(w->page(), 1);
    EXPECT_EQ(w->selectedText(), "quinc");
}

TEST_F(SearchWindowTest, ResortingMarksTheOrderInUseAndKeepsTheCurrentMessage) {
    importArchive();
    indexArchive();
    Frame& f = openFrame();
    auto* w = dynamic_cast<SearchWindow*>(f.openWindow("SearchProc"));
    ASSERT_NE(w, nullptr);
    runSearchIn(w, "apple");
    ASSERT_GT(w->hitsList()->topLevelItemCount(), 2);
    EXPECT_FALSE(w->sortMenu().join('|').contains('+'));
    QTreeWidgetItem* pick = w->hitsList()->topLevelItem(2);
    uint32_t current = pick->text(0).toUInt();
    w->hitsList()->setCurrentItem(pick);
    ASSERT_TRUE(w->sortBy(OrderDate));
    EXPECT_EQ(w->sortMenu().join('|').toStdString(),
              "+Sort by date|Sort by thread|Sort by section|Sort by sender|Sort by receiver");
    EXPECT_FALSE(w->sortBy(OrderDate)) << "the order in use does nothing";
    EXPECT_EQ(w->hitsList()->currentItem()->text(0).toUInt(), current);
    // Newest date first in the list and in the result set file.
    std::vector<uint32_t> stored = readResultSet(*session);
    ASSERT_EQ(int(stored.size()), w->hitsList()->topLevelItemCount());
    for (int i = 0; i < w->hitsList()->topLevelItemCount(); ++i)
        EXPECT_EQ(w->hitsList()->topLevelItem(i)->text(0).toUInt(), stored[std::size_t(i)]);
    for (int i = 1; i < w->hitsList()->topLevelItemCount(); ++i)
        EXPECT_GE(w->hitsList()->topLevelItem(i - 1)->text(1), w->hitsList()->topLevelItem(i)->text(1));
}

TEST_F(SearchWindowTest, IndexingWindowHoldsTheExitGuardWhileItRuns) {
    importArchive();
    Frame& f = openFrame();
    f.show();
    auto* w = dynamic_cast<SearchIndexWindow*>(f.openWindow("IndexProc"));
    ASSERT_NE(w, nullptr);
    w->fullChoice()->setChecked(true);
    w->startButton()->click();
    ASSERT_TRUE(w->running());
    EXPECT_TRUE(session->IndexingInProgress);
    EXPECT_FALSE(f.close());
    EXPECT_EQ(ui.shownTexts.back(), "You May NOT Exit until Indexing Is Done.|This is to Avoid Corruption.");
    EXPECT_FALSE(w->parentWidget()->close()) << "nor does the window itself";
    for (int i = 0; i < 100000 && w->running(); ++i) w->step();
    ASSERT_FALSE(w->running());
    EXPECT_FALSE(w->lastRunFailed());
    EXPECT_FALSE(session->IndexingInProgress);
    EXPECT_EQ(w->report().indexed, 40);
    EXPECT_EQ(w->progress()->value(), 100);
    EXPECT_EQ(session->Mem.WordListIndexNeedsUpdate, 0);
    EXPECT_FALSE(runSearch(*session, "apple").ids.empty()) << "the index it built answers a search";
}

}  // namespace
}  // namespace quill::test
