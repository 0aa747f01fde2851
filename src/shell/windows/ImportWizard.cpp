#include "shell/windows/ImportWizard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "database/FileMask.h"
#include "database/Installation.h"
#include "people/Databases.h"
#include "shell/Frame.h"
#include "shell/windows/ImportProcessing.h"

namespace quill::shell {

namespace {

WindowRegistrar registrar({"ImportMeny", WindowGroup::NotTools, false, -1,
                           [](Frame& f) -> QWidget* { return new ImportWizard(f); }});

constexpr int NewMailboxChoice = -1;
const char* const caption = "Import Wizard";

const char* pageTitles[] = {"Step 1 of 4: Message file type", "Step 2 of 4: Files to import",
                            "Step 3 of 4: Target database", "Step 4 of 4: Options"};

QLabel* explanation(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

}  // namespace

ImportWizard::ImportWizard(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    pageTitle_ = new QLabel(this);
    QFont bold = pageTitle_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    pageTitle_->setFont(bold);
    layout->addWidget(pageTitle_);

    pages_ = new QStackedWidget(this);
    pages_->addWidget(buildTypePage());
    pages_->addWidget(buildFilesPage());
    pages_->addWidget(buildTargetPage());
    pages_->addWidget(buildOptionsPage());
    layout->addWidget(pages_, 1);

    auto* buttons = new QHBoxLayout;
    back_ = new QPushButton("< &Back", this);
    back_->setObjectName("back");
    next_ = new QPushButton("&Next >", this);
    next_->setObjectName("next");
    import_ = new QPushButton("&Import", this);
    import_->setObjectName("import");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cancel");
    buttons->addStretch();
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(import_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(back_, &QPushButton::clicked, this, [this] { showPage(page() - 1); });
    connect(next_, &QPushButton::clicked, this, [this] {
        if (page() == TypePage && !typeHasReader(true)) return;
        showPage(page() + 1);
    });
    connect(import_, &QPushButton::clicked, this, [this] { (void)startRun(); });
    connect(cancel, &QPushButton::clicked, this, [this] { closeHostingWindow(this); });

    fillDatabases();
    typeChanged();
    methodChanged();
    showPage(TypePage);
    resize(620, 480);
}

ImportWizard::~ImportWizard() = default;

// ---------------------------------------------------------------------------
// Pages

QWidget* ImportWizard::buildTypePage() {
    auto* w = new QWidget(this);
    auto* l = new QVBoxLayout(w);
    l->addWidget(explanation("Choose the program that wrote the message files you want to import.", w));
    types_ = new QListWidget(w);
    types_->setObjectName("fileTypes");
    const ReaderRegistry& readers = ReaderRegistry::builtin();
    for (const ImportType* t : offeredImportTypes()) {
        QString text = shown(t->name);
        if (!readers.findNumber(t->number)) text += "  (no reader yet)";
        auto* item = new QListWidgetItem(text, types_);
        item->setData(Qt::UserRole, t->number);
        if (t->number == DefaultImportType) types_->setCurrentItem(item);
    }
    connect(types_, &QListWidget::currentRowChanged, this, [this] { typeChanged(); });
    l->addWidget(types_, 1);
    return w;
}

QWidget* ImportWizard::buildFilesPage() {
    auto* w = new QWidget(this);
    auto* l = new QVBoxLayout(w);
    l->addWidget(explanation("Choose the files: every file matching the masks in a directory and all its "
                             "subdirectories, in one directory only, or the files you select.",
                             w));
    method_ = new QButtonGroup(w);
    const char* methods[] = {"All matching files in a directory &tree", "All matching files in &one directory",
                             "&Selected files only"};
    const char* names[] = {"methodTree", "methodDirectory", "methodFiles"};
    for (int m = SelectTree; m <= SelectFiles; ++m) {
        auto* r = new QRadioButton(methods[m], w);
        r->setObjectName(names[m]);
        method_->addButton(r, m);
        l->addWidget(r);
    }
    method_->button(SelectTree)->setChecked(true);
    connect(method_, &QButtonGroup::idClicked, this, [this] { methodChanged(); });

    auto* form = new QFormLayout;
    auto* dirRow = new QHBoxLayout;
    directory_ = new QLineEdit(w);
    directory_->setObjectName("directory");
    browseDir_ = new QPushButton("B&rowse...", w);
    dirRow->addWidget(directory_, 1);
    dirRow->addWidget(browseDir_);
    auto* dirLabel = new QLabel("&Directory:", w);
    dirLabel->setBuddy(directory_);
    form->addRow(dirLabel, dirRow);
    masks_ = new QLineEdit(w);
    masks_->setObjectName("masks");
    masks_->setMaxLength(254);
    masks_->setToolTip("File name masks separated by \";\"; *.* takes every file, *. the files without an extension");
    form->addRow("&Masks:", masks_);
    matchCount_ = new QLabel(w);
    form->addRow("", matchCount_);
    l->addLayout(form);
    connect(browseDir_, &QPushButton::clicked, this, [this] {
        QString d = QFileDialog::getExistingDirectory(this, "Directory to import from", directory_->text());
        if (!d.isEmpty()) directory_->setText(d);
    });
    connect(directory_, &QLineEdit::textChanged, this, [this] { updateMatchCount(); });
    connect(masks_, &QLineEdit::textChanged, this, [this] { updateMatchCount(); });

    files_ = new QListWidget(w);
    files_->setObjectName("files");
    files_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    l->addWidget(files_, 1);
    auto* fileButtons = new QHBoxLayout;
    addFiles_ = new QPushButton("&Add Files...", w);
    removeFiles_ = new QPushButton("R&emove", w);
    fileButtons->addStretch();
    fileButtons->addWidget(addFiles_);
    fileButtons->addWidget(removeFiles_);
    l->addLayout(fileButtons);
    connect(addFiles_, &QPushButton::clicked, this, [this] { addFiles(); });
    connect(removeFiles_, &QPushButton::clicked, this, [this] { qDeleteAll(files_->selectedItems()); });
    return w;
}

QWidget* ImportWizard::buildTargetPage() {
    auto* w = new QWidget(this);
    auto* l = new QVBoxLayout(w);
    l->addWidget(explanation("Forum messages go to the forum database named here (a new name creates it; "
                             "without one the forum named in the file is taken). Mail goes to the mail "
                             "database. Newsgroup messages go to the database of their newsgroup.",
                             w));
    auto* form = new QFormLayout;
    forum_ = new QComboBox(w);
    forum_->setObjectName("forumDatabase");
    forum_->setEditable(true);
    forum_->setInsertPolicy(QComboBox::NoInsert);
    forum_->setMinimumContentsLength(30);
    form->addRow("&Forum database:", forum_);
    mailbox_ = new QComboBox(w);
    mailbox_->setObjectName("mailbox");
    form->addRow("Mail &database:", mailbox_);
    l->addLayout(form);

    newMailbox_ = new QGroupBox("New mail database", w);
    auto* nf = new QFormLayout(newMailbox_);
    newMailName_ = new QLineEdit(newMailbox_);
    newMailName_->setObjectName("newMailName");
    newMailName_->setMaxLength(int(databaseNameWidth));
    newMailAddress_ = new QLineEdit(newMailbox_);
    newMailAddress_->setObjectName("newMailAddress");
    newMailAddress_->setMaxLength(int(mailAddressWidth));
    nf->addRow("&Name:", newMailName_);
    nf->addRow("Your &address:", newMailAddress_);
    l->addWidget(newMailbox_);
    l->addStretch();
    connect(mailbox_, &QComboBox::currentIndexChanged, this, [this] { mailboxChanged(); });
    return w;
}

QWidget* ImportWizard::buildOptionsPage() {
    auto* w = new QWidget(this);
    auto* l = new QVBoxLayout(w);
    auto* kinds = new QGroupBox("Take these messages from the files", w);
    auto* kl = new QVBoxLayout(kinds);
    mailMsg_ = new QCheckBox("&Mail messages", kinds);
    forumMsg_ = new QCheckBox("&Forum messages", kinds);
    newsMsg_ = new QCheckBox("&Newsgroup messages", kinds);
    mailMsg_->setObjectName("mailMsg");
    forumMsg_->setObjectName("forumMsg");
    newsMsg_->setObjectName("newsgroupMsg");
    for (QCheckBox* c : {mailMsg_, forumMsg_, newsMsg_}) {
        c->setChecked(true);
        kl->addWidget(c);
    }
    l->addWidget(kinds);
    reimport_ = new QCheckBox("&Re-import messages already in the database (they are overwritten)", w);
    reimport_->setObjectName("allowReimport");
    l->addWidget(reimport_);
    auto* form = new QFormLayout;
    topic_ = new QComboBox(w);
    topic_->setObjectName("mailTopic");
    form->addRow("Mail &topic:", topic_);
    l->addLayout(form);
    save_ = new QCheckBox("&Save as predefined import procedure", w);
    save_->setObjectName("save");
    l->addWidget(save_);
    description_ = new QLineEdit(w);
    description_->setObjectName("description");
    description_->setMaxLength(50);
    description_->setPlaceholderText("Saved from ImportWizard ...");
    description_->setEnabled(false);
    connect(save_, &QCheckBox::toggled, description_, &QWidget::setEnabled);
    auto* df = new QFormLayout;
    df->addRow("D&escription:", description_);
    l->addLayout(df);
    l->addStretch();
    fillTopics();
    return w;
}

// ---------------------------------------------------------------------------
// Page rules

int ImportWizard::page() const { return pages_->currentIndex(); }

void ImportWizard::showPage(int p) {
    if (p < 0 || p >= PageCount) return;
    pages_->setCurrentIndex(p);
    pageTitle_->setText(pageTitles[p]);
    if (p == OptionsPage) fillTopics();
    updateButtons();
}

void ImportWizard::updateButtons() {
    back_->setEnabled(page() > TypePage);
    next_->setEnabled(page() < PageCount - 1);
    next_->setDefault(page() < PageCount - 1);
    import_->setDefault(page() == PageCount - 1);
}

void ImportWizard::typeChanged() {
    QListWidgetItem* item = types_->currentItem();
    const ImportType* t = item ? importTypeByNumber(item->data(Qt::UserRole).toInt()) : nullptr;
    // A new type brings its default masks.
    masks_->setText(t ? shown(t->masks) : QString());
}

bool ImportWizard::typeHasReader(bool tell) const {
    QListWidgetItem* item = types_->currentItem();
    if (!item) return false;
    const ImportType* t = importTypeByNumber(item->data(Qt::UserRole).toInt());
    if (!t) return false;
    if (ReaderRegistry::builtin().findNumber(t->number)) return true;
    if (tell) frame_.ui().message(noReaderText(t->name), "Warning!", Icon::Exclamation);
    return false;
}

void ImportWizard::methodChanged() {
    bool byMask = method_->checkedId() != SelectFiles;
    directory_->setEnabled(byMask);
    browseDir_->setEnabled(byMask);
    masks_->setEnabled(byMask);
    files_->setEnabled(!byMask);
    addFiles_->setEnabled(!byMask);
    removeFiles_->setEnabled(!byMask);
    updateMatchCount();
}

void ImportWizard::updateMatchCount() {
    if (method_->checkedId() != SelectDirectory || directory_->text().isEmpty()) {
        matchCount_->clear();
        return;
    }
    std::string masks = stored(masks_->text());
    if (masks.empty()) masks = "*.*";
    std::size_t n = listMatching(stored(directory_->text()), masks).size();
    matchCount_->setText(n == 1 ? "1 file matches" : QString::number(n) + " files match");
}

void ImportWizard::addFiles() {
    // The dialog filters by the masks as the user typed them.
    QStringList patterns;
    for (auto& m : splitMasks(stored(masks_->text()))) {
        QString p = shown(m);
        patterns << p << p.toLower();
    }
    QString filter = patterns.isEmpty() ? "All files (*)" : "Message files (" + patterns.join(' ') + ");;All files (*)";
    QStringList chosen = QFileDialog::getOpenFileNames(this, "Files to import", directory_->text(), filter);
    for (const QString& f : chosen)
        if (files_->findItems(f, Qt::MatchExactly).isEmpty()) files_->addItem(f);
}

void ImportWizard::fillDatabases() {
    forum_->clear();
    mailbox_->blockSignals(true);
    mailbox_->clear();
    forum_->addItem(QString());
    mailbox_->addItem("(none)", 0);
    for (const CatalogueEntry& e : listCatalogue(*session_)) {
        if (e.type == TypeForum) forum_->addItem(shown(e.description));
        if (e.type == TypeMail) mailbox_->addItem(shown(e.description), e.id);
    }
    mailbox_->addItem("New mail database...", NewMailboxChoice);
    // The active database is the first guess for its kind of target.
    const MemVars& mem = frame_.session().Mem;
    if (mem.ForumNumber != 0 && mem.ForumType == TypeForum) forum_->setCurrentText(shown(mem.Description));
    if (mem.ForumNumber != 0 && mem.ForumType == TypeMail) {
        int i = mailbox_->findData(mem.ForumNumber);
        if (i >= 0) mailbox_->setCurrentIndex(i);
    }
    mailbox_->blockSignals(false);
    mailboxChanged();
}

void ImportWizard::mailboxChanged() {
    newMailbox_->setVisible(mailbox_->currentData().toInt() == NewMailboxChoice);
    if (topic_) fillTopics();
}

void ImportWizard::fillTopics() {
    uint32_t keep = topic_->currentData().toUInt();
    topic_->clear();
    topic_->addItem("(none)", 0u);
    int id = mailbox_->currentData().toInt();
    if (id > 0) {
        for (const MailTopic& t : mailTopicsOf(*session_, uint32_t(id))) topic_->addItem(shown(t.name), t.id);
    }
    int i = topic_->findData(keep);
    topic_->setCurrentIndex(i >= 0 ? i : 0);
    topic_->setEnabled(topic_->count() > 1);
}

// ---------------------------------------------------------------------------
// The definition

ImportChoices ImportWizard::choices() const {
    ImportChoices c;
    if (QListWidgetItem* item = types_->currentItem()) c.type = std::to_string(item->data(Qt::UserRole).toInt());
    c.method = SelectionMethod(method_->checkedId());
    c.directory = stored(directory_->text().trimmed());
    c.masks = stored(masks_->text().trimmed());
    for (int i = 0; i < files_->count(); ++i) c.files.push_back(stored(files_->item(i)->text()));
    c.forumDatabase = stored(forum_->currentText().trimmed());
    int box = mailbox_->currentData().toInt();
    if (box > 0) c.mailbox = stored(mailbox_->currentText());
    if (box == NewMailboxChoice) c.mailbox = stored(newMailName_->text().trimmed());
    c.mailMsg = mailMsg_->isChecked();
    c.forumMsg = forumMsg_->isChecked();
    c.newsgroupMsg = newsMsg_->isChecked();
    c.allowReimport = reimport_->isChecked();
    c.mailTopic = topic_->currentData().toUInt();
    c.save = save_->isChecked();
    c.description = stored(description_->text().trimmed());
    return c;
}

bool ImportWizard::createNewMailbox() {
    std::string name = stored(newMailName_->text().trimmed());
    std::string address = stored(newMailAddress_->text().trimmed());
    if (name.empty() || address.empty()) {
        frame_.ui().message("Give the new mail database a name and your address in it.", caption, Icon::Exclamation);
        showPage(TargetPage);
        return false;
    }
    DbResult r = addMailDatabase(*session_, name, address, {});
    if (!r.ok()) return false;  // the user has been told
    fillDatabases();
    mailbox_->setCurrentIndex(std::max(0, mailbox_->findData(r.id)));
    return true;
}

bool ImportWizard::startRun() {
    if (!typeHasReader(true)) {
        showPage(TypePage);
        return false;
    }
    if (mailbox_->currentData().toInt() == NewMailboxChoice) {
        // Everything else is checked before the new mail database is made,
        // so that a refused import leaves no database behind.
        ImportChoices rest = choices();
        rest.mailbox.clear();
        rest.mailTopic = 0;
        if (DefinitionOutcome check = buildImportDefinition(*session_, rest); !check.ok()) {
            frame_.ui().message(check.error, caption, Icon::Exclamation);
            return false;
        }
        if (!createNewMailbox()) return false;
    }
    DefinitionOutcome out = buildImportDefinition(*session_, choices());
    if (!out.ok()) {
        frame_.ui().message(out.error, caption, Icon::Exclamation);
        return false;
    }
    saved_ = 0;
    if (save_->isChecked()) {
        saved_ = saveImportDefinition(*session_, out.def);
        if (saved_ == 0) return false;  // the user has been told
        frame_.ui().notice("Saved as import procedure " + std::to_string(saved_) + ": " + out.def.description);
    }
    return startImport(frame_, std::move(out.def)) != nullptr;
}

}  // namespace quill::shell
