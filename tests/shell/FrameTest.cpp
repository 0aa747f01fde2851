#include <QAction>
#include <QApplication>
#include <QLabel>

#include "ShellFixture.h"
#include "people/Databases.h"

using namespace quill;
using namespace quill::shell;
using quill::test::FrameFixture;

namespace {
// A window of each group, registered for these tests only.
WindowRegistrar plainWindow({"TestPlain", WindowGroup::NotTools, false, -1,
                             [](Frame&) { return new QLabel("plain"); }});
WindowRegistrar toolWindow({"TestTool", WindowGroup::Find, false, -1, [](Frame&) { return new QLabel("tool"); }});
WindowRegistrar dbWindow({"TestNeedsDb", WindowGroup::NotTools, true, -1, [](Frame&) { return new QLabel("db"); }});
}  // namespace

TEST_F(FrameFixture, SecondRequestForAWindowBringsTheOpenOneForward) {
    Frame& f = openFrame();
    QWidget* first = f.openWindow("TestPlain");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(f.openWindow("TestPlain"), first);
    EXPECT_EQ(f.openWindows().size(), 1u);
}

TEST_F(FrameFixture, ClosingAGroupLeavesTheOtherGroupsOpen) {
    Frame& f = openFrame();
    f.openWindow("TestPlain");
    f.openWindow("TestTool");
    EXPECT_TRUE(f.closeGroup(WindowGroup::Find));
    QApplication::processEvents();
    EXPECT_FALSE(f.isOpen("TestTool"));
    EXPECT_TRUE(f.isOpen("TestPlain"));
    EXPECT_FALSE(f.closeGroup(WindowGroup::Import));
}

TEST_F(FrameFixture, TitleAndDatabaseWindowsFollowTheActiveDatabase) {
    Frame& f = openFrame();
    EXPECT_TRUE(f.windowTitle().endsWith("[No Active Database]"));
    EXPECT_EQ(f.openWindow("TestNeedsDb"), nullptr);
    DbResult r = addForumDatabase(*session, "Gardening");
    ASSERT_TRUE(r.ok());
    ASSERT_TRUE(f.activateDatabase(r.id));
    EXPECT_TRUE(f.windowTitle().endsWith(" [Gardening]"));
    EXPECT_NE(f.openWindow("TestNeedsDb"), nullptr);
}

TEST_F(FrameFixture, ExitIsRefusedWhileIndexingRuns) {
    Frame& f = openFrame();
    f.show();
    session->IndexingInProgress = true;
    EXPECT_FALSE(f.close());
    ASSERT_FALSE(ui.shownTexts.empty());
    EXPECT_EQ(ui.shownTexts.back(), "You May NOT Exit until Indexing Is Done.|This is to Avoid Corruption.");
    session->IndexingInProgress = false;
    EXPECT_TRUE(f.close());
}
