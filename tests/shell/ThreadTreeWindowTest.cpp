// The thread tree window following the browse's current message and moving
// the browse to the node the user selects.
#include "ArchiveKit.h"  // before any Qt header

#include <QApplication>
#include <QTreeWidget>

#include "ShellFixture.h"
#include "database/Preferences.h"
#include "shell/windows/ThreadTreeWindow.h"

namespace quill::test {
namespace {

using shell::CurrentMessage;
using shell::ThreadTreeWindow;

struct ThreadTreeWindowTest : FrameFixture {
    TempDir files;
    uint32_t forum = 0;

    // Two threads: "Roses" 100 <- 101 <- 103, 100 <- 102; "Tulips" 200.
    void SetUp() override {
        FrameFixture::SetUp();
        forum = importActiveForum(*session, files,
                                  {forumMessage(100, 0, "Roses"), forumMessage(101, 100, "Roses"),
                                   forumMessage(102, 100, "Roses"), forumMessage(103, 101, "Roses"),
                                   forumMessage(200, 0, "Tulips")},
                                  "Garden");
        ASSERT_NE(forum, 0u);
    }
    CurrentMessage current(uint32_t n) { return {forum, n, threadOf(*session, n)}; }
    static std::vector<uint32_t> numbersInOrder(QTreeWidget* t) {
        std::vector<uint32_t> v;
        for (QTreeWidgetItemIterator it(t); *it; ++it) v.push_back((*it)->text(0).section(' ', -1).toUInt());
        return v;
    }
    static uint32_t currentNumber(QTreeWidget* t) {
        return t->currentItem() ? t->currentItem()->text(0).section(' ', -1).toUInt() : 0;
    }
};

TEST_F(ThreadTreeWindowTest, FollowsTheBrowseAndRebuildsOnlyWhenTheThreadChanges) {
    ASSERT_TRUE(savePreferenceChanges(*session, {{kThreadTreeDisplayPreference, 2}}, {}));  // sender and number
    shell::Frame& f = openFrame();
    f.publishCurrentMessage(current(101));
    auto* w = dynamic_cast<ThreadTreeWindow*>(f.openWindow("ThreadTree"));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "Thread Tree");
    EXPECT_EQ(w->rebuilds(), 1);
    EXPECT_EQ(numbersInOrder(w->tree()), (std::vector<uint32_t>{100, 101, 103, 102}));
    EXPECT_EQ(currentNumber(w->tree()), 101u);

    f.publishCurrentMessage(current(103));
    EXPECT_EQ(w->rebuilds(), 1) << "same thread: no rebuild";
    EXPECT_EQ(currentNumber(w->tree()), 103u);

    f.publishCurrentMessage(current(200));
    EXPECT_EQ(w->rebuilds(), 2);
    EXPECT_EQ(numbersInOrder(w->tree()), (std::vector<uint32_t>{200}));
    EXPECT_EQ(w->tree()->topLevelItem(0)->text(0), "John Smith 200");
}

TEST_F(ThreadTreeWindowTest, SelectingANodeAsksForThatMessageButFollowingDoesNot) {
    ASSERT_TRUE(savePreferenceChanges(*session, {{kThreadTreeDisplayPreference, 2}}, {}));
    shell::Frame& f = openFrame();
    std::vector<uint32_t> asked;
    QObject::connect(&f, &shell::Frame::locateMessageRequested, [&](uint32_t n) { asked.push_back(n); });
    f.publishCurrentMessage(current(100));
    auto* w = dynamic_cast<ThreadTreeWindow*>(f.openWindow("ThreadTree"));
    ASSERT_NE(w, nullptr);
    f.publishCurrentMessage(current(102));
    EXPECT_TRUE(asked.empty()) << "following the browse asks for nothing";
    QTreeWidgetItem* target = nullptr;
    for (QTreeWidgetItemIterator it(w->tree()); *it; ++it)
        if ((*it)->text(0).endsWith(" 103")) target = *it;
    ASSERT_NE(target, nullptr);
    w->tree()->setCurrentItem(target);
    EXPECT_EQ(asked, (std::vector<uint32_t>{103}));
}

TEST_F(ThreadTreeWindowTest, ClosesWithItsDatabaseAndIsRefusedForMail) {
    shell::Frame& f = openFrame();
    f.publishCurrentMessage(current(100));
    ASSERT_NE(f.openWindow("ThreadTree"), nullptr);
    DbResult mail = addMailDatabase(*session, "Inbox", "me@example.org", {});
    ASSERT_TRUE(mail.ok());
    ASSERT_TRUE(f.activateDatabase(mail.id));
    QApplication::processEvents();
    EXPECT_FALSE(f.isOpen("ThreadTree"));
    EXPECT_EQ(f.openWindow("ThreadTree"), nullptr);
}

}  // namespace
}  // namespace quill::test
