#include "shell/StartUp.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "database/Installation.h"
#include "shell/Frame.h"
#include "shell/NewPath.h"

namespace quill::shell {

bool startUp(Session& s, const std::string& home, StartUpResult& result, std::string& error) {
    s.GlobalRequest = 0;
    s.GlobalResponse = 0;
    try {
        result.configExisted = openInstallation(s, home, [](Session& ss) { return askNewDataPath(ss); });
        result.version = checkProgramVersion(s, result.configExisted);
    } catch (const ProgramStop& stop) {
        error = stop.text();
        return false;
    }
    if (result.version.upgraded)
        s.tell("This new version needs new default values! All window positions, window sizes and list box column "
               "widths will be reset to default!",
               "Upgrading to version 4.62", Icon::Information);
    return true;
}

namespace {

// The first-start window: the three ways to begin an archive, each opening
// its window by name.
QWidget* makeStartUpWizard(Frame& frame) {
    auto* w = new QWidget;
    w->setWindowTitle("Welcome to Quillmer");
    auto* layout = new QVBoxLayout(w);
    auto* intro = new QLabel(
        "Quillmer keeps your messages in archive databases: one per CompuServe forum, one per mailbox owner and "
        "one per newsgroup.\n\nTo begin, create a database for a forum or set up a mail database, or let the "
        "import wizard create the databases while it imports your message files.");
    intro->setWordWrap(true);
    layout->addWidget(intro);
    struct Choice {
        const char* text;
        std::vector<const char*> windows;  // the first one that is built in is opened
    };
    const Choice choices[] = {
        {"Add New &Forum", {"AddForum", "AddNewForum"}},
        {"&Mail Database Setup", {"BrowseBox"}},
        {"&Import Wizard", {"ImportMeny"}},
    };
    for (const Choice& c : choices) {
        std::string name;
        for (const char* n : c.windows)
            if (findWindowSpec(n)) {
                name = n;
                break;
            }
        auto* b = new QPushButton(c.text);
        b->setEnabled(!name.empty());
        QObject::connect(b, &QPushButton::clicked, w, [&frame, name] { frame.openWindow(name); });
        layout->addWidget(b);
    }
    auto* close = new QPushButton("&Close");
    QObject::connect(close, &QPushButton::clicked, w, &QWidget::close);
    layout->addStretch(1);
    layout->addWidget(close);
    return w;
}

WindowRegistrar startUpWizard({"StartUpWizard", WindowGroup::NotTools, false, -1, makeStartUpWizard});

}  // namespace

}  // namespace quill::shell
