// The topic windows: the topic list with its form, the per-message marks,
// set classification and the key word list, all keeping COD:COUNT equal to
// the links a code has.
#include "ArchiveKit.h"  // before any Qt header

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <set>

#include "ShellFixture.h"
#include "search/Codes.h"
#include "search/Search.h"
#include "shell/windows/BrowseWindow.h"
#include "shell/windows/ClassifyWindow.h"
#include "shell/windows/KeyWordList.h"
#include "shell/windows/TopicMarks.h"

namespace quill::test {
namespace {

using namespace quill::shell;

struct ClassifyWindowsTest : FrameFixture {
    TempDir files;
    uint32_t forum = 0;
    // What the form gets from the "person": a name, the key word flags, and
    // whether to cancel.
    struct Entry {
        QString name;
        bool matchCase = false, matchWord = false, cancel = false;
    };
    std::vector<Entry> entries;
    std::vector<QString> formTitles;

    void SetUp() override {
        FrameFixture::SetUp();
        const char* texts[] = {"Roses need sun", "Tulips and roses", "Nothing at all", "ROSESBUSH is one word"};
        std::vector<Fx> msgs;
        for (uint32_t n = 1; n <= 4; ++n) msgs.push_back(forumMessage(n, 0, n <= 2 ? "Flowers" : "Other", texts[n - 1]));
        forum = importActiveForum(*session, files, msgs, "Garden");
        ASSERT_NE(forum, 0u);
        TopicForm::runner = [this](TopicForm& f) {
            formTitles.push_back(f.windowTitle());
            if (entries.empty()) return false;
            Entry e = entries.front();
            entries.erase(entries.begin());
            if (e.cancel) return false;
            if (!e.name.isNull()) f.nameEdit()->setText(e.name);
            f.matchCase()->setChecked(e.matchCase);
            f.matchWord()->setChecked(e.matchWord);
            f.acceptButton()->click();
            return f.result() == QDialog::Accepted;
        };
    }
    void TearDown() override {
        TopicForm::runner = [](TopicForm& f) { return f.exec() == QDialog::Accepted; };
    }
    // Every code's stored count against its links.
    void expectCountsMatchLinks() {
        for (uint8_t type : {CodeKeyWord, CodeTopic})
            for (const CodeEntry& c : Lkup1(*session, type))
                EXPECT_EQ(c.count, codeView(*session, c.id).size()) << c.name;
    }
    static QTreeWidgetItem* row(QTreeWidget* list, const QString& name) {
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0) == name) return list->topLevelItem(i);
        return nullptr;
    }
};

TEST_F(ClassifyWindowsTest, TopicFormInsertChangeDeleteKeepCountsEqualToLinks) {
    Frame& f = openFrame();
    auto* topics = dynamic_cast<CodeListWindow*>(f.openWindow("BrowseTopics"));
    ASSERT_NE(topics, nullptr);
    EXPECT_EQ(topics->windowTitle(), " Garden Topics [0]");
    entries = {{"Roses"}, {"Tulips"}};
    topics->insertButton()->click();
    topics->insertButton()->click();
    EXPECT_EQ(formTitles, (std::vector<QString>{" Add New Topic", " Add New Topic"}));
    EXPECT_EQ(topics->windowTitle(), " Garden Topics [2]");
    EXPECT_EQ(session->GlobalResponse, 0) << "the window works on its own session";

    // Marks on the current message: the count moves with each toggle and the
    // open topic list shows it at once.
    f.publishCurrentMessage({forum, 2, 0});
    auto* marks = dynamic_cast<TopicMarksWindow*>(f.openWindow("TopicProc"));
    ASSERT_NE(marks, nullptr);
    ASSERT_EQ(marks->list()->topLevelItemCount(), 2);
    row(marks->list(), "Roses")->setCheckState(0, Qt::Checked);
    EXPECT_EQ(row(topics->list(), "Roses")->text(1), "1");
    f.publishCurrentMessage({forum, 1, 0});
    EXPECT_EQ(row(marks->list(), "Roses")->checkState(0), Qt::Unchecked);
    row(marks->list(), "Roses")->setCheckState(0, Qt::Checked);
    row(marks->list(), "Tulips")->setCheckState(0, Qt::Checked);
    row(marks->list(), "Tulips")->setCheckState(0, Qt::Unchecked);
    expectCountsMatchLinks();
    EXPECT_EQ(row(topics->list(), "Roses")->text(1), "2");

    // Change: the name only; the links stay.
    topics->list()->setCurrentItem(row(topics->list(), "Roses"));
    entries = {{"Red Roses"}};
    topics->changeButton()->click();
    EXPECT_EQ(formTitles.back(), " Update Topic");
    ASSERT_NE(row(topics->list(), "Red Roses"), nullptr);
    ASSERT_NE(row(marks->list(), "Red Roses"), nullptr) << "the marks window reloads after the form";
    expectCountsMatchLinks();

    // Delete: the code and its links go together; the marks window follows.
    uint32_t id = findCodeByName(*session, CodeTopic, "Red Roses").id;
    entries = {{QString()}};
    topics->deleteButton()->click();
    EXPECT_EQ(formTitles.back(), " Delete Topic");
    EXPECT_EQ(topics->windowTitle(), " Garden Topics [1]");
    EXPECT_TRUE(codeView(*session, id).empty());
    EXPECT_EQ(marks->list()->topLevelItemCount(), 1);
    expectCountsMatchLinks();
}

TEST_F(ClassifyWindowsTest, ADuplicateNameKeepsTheFormOpenAndACancelWritesNothing) {
    Frame& f = openFrame();
    auto* topics = dynamic_cast<CodeListWindow*>(f.openWindow("BrowseTopics"));
    ASSERT_NE(topics, nullptr);
    entries = {{"Roses"}, {"ROSES"}, {"Other", false, false, true}};
    topics->insertButton()->click();
    topics->insertButton()->click();  // refused: the form stays open, the runner gives up
    topics->insertButton()->click();  // cancelled
    EXPECT_EQ(topics->windowTitle(), " Garden Topics [1]");
    EXPECT_EQ(Lkup1(*session, CodeTopic).size(), 1u);
    ASSERT_FALSE(ui.shownTexts.empty());
    EXPECT_NE(ui.shownTexts.back().find("identical key"), std::string::npos);
}

TEST_F(ClassifyWindowsTest, OpeningTheTopicListRecountsAfterSetClassification) {
    Frame& f = openFrame();
    uint32_t roses = addCode(*session, CodeTopic, "Roses").id;
    auto* classify = dynamic_cast<ClassifyWindow*>(f.openWindow("ClassifyProc"));
    ASSERT_NE(classify, nullptr);

    // Without a topic nothing starts.
    classify->topic()->clear();
    EXPECT_FALSE(classify->classify(true));
    ASSERT_FALSE(ui.shownTexts.empty());
    EXPECT_EQ(ui.shownTexts.back(), "No topic selected!");
    classify->reloadCodes();

    // Without a current message the thread holds nothing.
    classify->threadChoice()->setChecked(true);
    EXPECT_FALSE(classify->classify(true));
    EXPECT_EQ(classify->status()->text(), "The set holds no messages.");

    // The thread of the current message ("Flowers": 1 and 2), then the whole
    // database; the links are added once.
    uint32_t thread = threadOf(*session, 1);
    f.publishCurrentMessage({forum, 1, thread});
    ASSERT_TRUE(classify->classify(true));
    EXPECT_EQ(classify->status()->text(), "Topics attached!");
    EXPECT_EQ(codeView(*session, roses), (std::vector<uint32_t>{2, 1}));
    classify->databaseChoice()->setChecked(true);
    ASSERT_TRUE(classify->classify(true));
    EXPECT_EQ(codeView(*session, roses).size(), 4u);
    EXPECT_EQ(findCode(*session, roses).count, 0u) << "set classification leaves the count to the recount";

    auto* topics = dynamic_cast<CodeListWindow*>(f.openWindow("BrowseTopics"));
    ASSERT_NE(topics, nullptr);
    EXPECT_EQ(row(topics->list(), "Roses")->text(1), "4");
    expectCountsMatchLinks();

    classify->threadChoice()->setChecked(true);
    ASSERT_TRUE(classify->classify(false));
    EXPECT_EQ(classify->status()->text(), "Topics removed!");
    EXPECT_EQ(codeView(*session, roses), (std::vector<uint32_t>{4, 3}));
}

TEST_F(ClassifyWindowsTest, WithABrowseOpenTheSetIsWhatItsViewShows) {
    Frame& f = openFrame();
    uint32_t roses = addCode(*session, CodeTopic, "Roses").id;
    auto* browse = dynamic_cast<BrowseWindow*>(f.openWindow("BrowseMsgNmbr"));
    ASSERT_NE(browse, nullptr);
    ASSERT_TRUE(browse->showMessage(1));
    browse->switchMode(BrowseMode::Thread);
    browse->setLimited(true);
    ASSERT_NE(browse->view().filter(), 0u);
    auto* classify = dynamic_cast<ClassifyWindow*>(f.openWindow("ClassifyProc"));
    ASSERT_NE(classify, nullptr);
    EXPECT_TRUE(classify->viewChoice()->isChecked()) << "an open browse's view is the set offered first";

    // The thread the browse is limited to ("Flowers": 1 and 2) ...
    ASSERT_TRUE(classify->classify(true));
    std::vector<uint32_t> linked = codeView(*session, roses);
    EXPECT_EQ(std::set<uint32_t>(linked.begin(), linked.end()), (std::set<uint32_t>{1, 2}));
    // ... and, as the browse changes, what it shows then: the topic view of
    // that topic, then the whole file by date.
    browse->view().setTopic(roses);
    browse->switchMode(BrowseMode::Topic);
    ASSERT_TRUE(classify->classify(false));
    EXPECT_TRUE(codeView(*session, roses).empty());
    browse->switchMode(BrowseMode::Date);
    ASSERT_TRUE(classify->classify(true));
    EXPECT_EQ(codeView(*session, roses).size(), 4u);

    // Once the browse is closed its set is gone: nothing else is taken in
    // its place until the user chooses.
    f.closeGroup(WindowGroup::NotTools);
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(openBrowse(f), nullptr);
    EXPECT_FALSE(classify->classify(false));
    EXPECT_EQ(codeView(*session, roses).size(), 4u);
    EXPECT_FALSE(classify->viewChoice()->isEnabled());
    EXPECT_TRUE(classify->threadChoice()->isChecked());
}

TEST_F(ClassifyWindowsTest, KeyWordListAddsKeyWordsAndIndexingHonoursMatchWord) {
    Frame& f = openFrame();
    auto* words = dynamic_cast<CodeListWindow*>(f.openWindow("Lkup1"));
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words->windowTitle(), " Garden Key Words [0]");
    entries = {{"roses", false, true}, {"ROSES", true, false}};
    words->insertButton()->click();
    EXPECT_EQ(formTitles.back(), " Add New Key Word");
    // Same name, another kind of code: a topic named alike is no duplicate,
    // but a key word is.
    words->insertButton()->click();
    ASSERT_EQ(words->list()->topLevelItemCount(), 1);
    EXPECT_EQ(words->list()->topLevelItem(0)->text(3), "Yes");  // Match word
    EXPECT_EQ(words->list()->topLevelItem(0)->text(2), "");     // Match case
    EXPECT_EQ(words->list()->topLevelItem(0)->text(4), "");     // never indexed

    EXPECT_EQ(words->indexNow(), 2);  // "Roses need sun", "Tulips and roses"; not ROSESBUSH
    EXPECT_EQ(words->list()->topLevelItem(0)->text(1), "2");
    EXPECT_NE(words->list()->topLevelItem(0)->text(4), "");
    EXPECT_EQ(words->indexNow(), 0) << "a second run doubles no link";
    expectCountsMatchLinks();
}

}  // namespace
}  // namespace quill::test
