// "About Quillmer": what the program is, its version and where this
// installation keeps its files.
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtGlobal>

#include "database/Installation.h"
#include "shell/Frame.h"
#include "shell/windows/WindowSupport.h"

namespace quill::shell {

namespace {

class AboutWindow : public PlainWindow {
public:
    explicit AboutWindow(Frame& frame) {
        setWindowTitle("About Quillmer");
        setObjectName("About");
        auto* layout = new QVBoxLayout(this);
        auto* title = new QLabel("<h2>Quillmer</h2>", this);
        layout->addWidget(title);
        auto* text = new QLabel(this);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const MemVars& mem = frame.session().Mem;
        std::unique_ptr<Session> s = frame.newSession();
        const std::size_t databases = listCatalogue(*s).size();
        text->setText(QString("Version 4.62<br><br>"
                              "A message archiver: it keeps the messages of CompuServe forums, mailboxes "
                              "and newsgroups in archive databases to browse, search and export.<br><br>"
                              "Installation: %1<br>Databases: %2 in %3<br><br>Built with Qt %4.")
                          .arg(shown(mem.Net).toHtmlEscaped())
                          .arg(databases)
                          .arg(shown(mem.FileDir).toHtmlEscaped())
                          .arg(QT_VERSION_STR));
        layout->addWidget(text);
        layout->addStretch();
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
        buttons->button(QDialogButtonBox::Close)->setDefault(true);
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::rejected, this, [this] { closeWindowOf(this); });
        setFocusProxy(buttons->button(QDialogButtonBox::Close));
        setPreferredSize(QSize(420, 260));
    }
};

WindowRegistrar registrar({"About", WindowGroup::NotTools, false, 15,
                           [](Frame& f) -> QWidget* { return new AboutWindow(f); }});

}  // namespace

}  // namespace quill::shell
