// Not a test: saves pictures of the program for the README. It runs only when
// QUILL_SCREENSHOTS names the directory for the pictures and
// QUILL_SCREENSHOT_HOME an installation with a forum and a mail database (the
// demo installation, which it opens in place: its catalogue names the
// databases' directories by their full paths).
//   QUILL_SCREENSHOTS=docs/screenshots QUILL_SCREENSHOT_HOME=demo
//   build/tests/test_shell --gtest_filter='Screenshots.*'
#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "ShellFixture.h"
#include "database/Common.h"

namespace quill::test {
namespace {

namespace fs = std::filesystem;

struct Screenshots : FrameFixture {
    fs::path out;
    void SetUp() override {
        FrameFixture::SetUp();
        const char* to = std::getenv("QUILL_SCREENSHOTS");
        const char* home = std::getenv("QUILL_SCREENSHOT_HOME");
        if (!to || !home) GTEST_SKIP() << "QUILL_SCREENSHOTS and QUILL_SCREENSHOT_HOME are not set";
        out = fs::absolute(to);
        home_ = fs::absolute(home);
    }
    fs::path home_;
    void start(const fs::path& home) {
        ASSERT_TRUE(startProgram(home));
        frame->resize(1280, 800);
    }
    // Activates the first database of the catalogue of this type (the
    // catalogue numbers its databases from 250001).
    bool activate(bool mail) {
        for (uint32_t id = 250001; id < 250050; ++id)
            if (frame->activateDatabase(id) && (session->Mem.ForumType == TypeMail) == mail) return true;
        return false;
    }
    void save(const char* name) {
        // Lets layouts, fonts and the windows' first pages settle.
        QElapsedTimer t;
        t.start();
        (void)waitFor([&] { return t.elapsed() > 1500; });
        ASSERT_TRUE(frame->grab().save(QString::fromStdString(out / name)));
    }
};

TEST_F(Screenshots, FirstStartInAnEmptyDirectory) {
    start(dir / "fresh");
    save("first-start.png");
}

TEST_F(Screenshots, ForumBrowseWithTheThreadTreeBeside) {
    start(home_);
    ASSERT_TRUE(activate(false));
    frame->resize(1500, 800);  // room for the browse's buttons and the tree
    QWidget* browse = frame->openWindow("BrowseMsgNmbr");
    ASSERT_NE(browse, nullptr);
    ASSERT_NE(frame->openWindow("ThreadTree"), nullptr);
    // The browse takes the left two thirds (at least its least width), the
    // tree the rest.
    const QRect area = frame->area()->viewport()->rect();
    auto* browseSub = qobject_cast<QMdiSubWindow*>(browse->parentWidget());
    ASSERT_NE(browseSub, nullptr);
    const int split = std::max(area.width() * 2 / 3, browseSub->minimumSizeHint().width());
    for (QMdiSubWindow* sub : frame->area()->subWindowList()) {
        const bool isBrowse = sub == browseSub;
        sub->setGeometry(isBrowse ? QRect(0, 0, split, area.height())
                                  : QRect(split, 0, area.width() - split, area.height()));
    }
    browse->setFocus();
    save("browse-thread-tree.png");
}

TEST_F(Screenshots, MailBrowse) {
    start(home_);
    ASSERT_TRUE(activate(true));
    ASSERT_NE(frame->openWindow("BrowseMail"), nullptr);
    frame->area()->activeSubWindow()->showMaximized();
    save("demo.png");
}

}  // namespace
}  // namespace quill::test
