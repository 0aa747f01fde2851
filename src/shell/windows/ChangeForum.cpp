#include "shell/windows/ChangeForum.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/FileMask.h"
#include "database/Installation.h"
#include "people/Databases.h"
#include "shell/Frame.h"

namespace quill::shell {

namespace {
enum Column { NameColumn, TypeColumn, CountColumn };
constexpr int IdRole = Qt::UserRole;

QString typeWord(uint8_t type) {
    switch (type) {
        case TypeForum: return "Forum";
        case TypeMail: return "Mail";
        case TypeNewsgroup: return "Newsgroup";
        default: return "?";
    }
}
}  // namespace

ChangeForumWindow::ChangeForumWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle("Change Active Database");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    name_ = new QLineEdit(this);
    name_->setMaxLength(int(databaseNameWidth));
    name_->setToolTip("Type the first letters of a database name and press Enter");
    form->addRow("&Database name:", name_);
    layout->addLayout(form);

    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setHeaderLabels({"Database", "Type", "Messages"});
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(TypeColumn, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(CountColumn, QHeaderView::ResizeToContents);
    layout->addWidget(list_, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* select = buttons->addButton("&Select", QDialogButtonBox::AcceptRole);
    select->setDefault(true);
    QPushButton* addForum = buttons->addButton("&Add New Forum...", QDialogButtonBox::ActionRole);
    QPushButton* mail = buttons->addButton("&Mail Database Setup...", QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);

    connect(name_, &QLineEdit::textEdited, this, &ChangeForumWindow::positionOn);
    connect(name_, &QLineEdit::returnPressed, this, &ChangeForumWindow::lookup);
    connect(list_, &QTreeWidget::itemActivated, this, [this] { choose(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { choose(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { closeWindowOf(this); });
    connect(addForum, &QPushButton::clicked, this, [this] { frame_.openWindow("AddForum"); });
    connect(mail, &QPushButton::clicked, this, [this] { frame_.openWindow("BrowseBox"); });
    connect(&CatalogueNotice::instance(), &CatalogueNotice::changed, this, &ChangeForumWindow::reread);
    connect(&frame_, &Frame::activeDatabaseChanged, this, &ChangeForumWindow::reread);

    name_->installEventFilter(this);
    setTabOrder(name_, list_);
    setFocusProxy(name_);
    reread();
    setPreferredSize(QSize(520, 360));
}

ChangeForumWindow::~ChangeForumWindow() = default;

// The arrow keys in the name field move on into the list.
bool ChangeForumWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == name_ && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up || key == Qt::Key_PageDown || key == Qt::Key_PageUp) {
            list_->setFocus();
            QKeyEvent copy(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(list_, &copy);
            return true;
        }
    }
    return PlainWindow::eventFilter(watched, e);
}

void ChangeForumWindow::reread() {
    uint32_t current = 0;
    if (QTreeWidgetItem* item = list_->currentItem()) current = item->data(NameColumn, IdRole).toUInt();
    if (current == 0) current = frame_.session().Mem.ForumNumber;
    list_->clear();
    QTreeWidgetItem* keep = nullptr;
    for (const CatalogueEntry& e : listCatalogue(*session_)) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(NameColumn, shown(e.description));
        item->setText(TypeColumn, typeWord(e.type));
        item->setText(CountColumn, QString::number(e.msgCount));
        item->setTextAlignment(CountColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(NameColumn, IdRole, e.id);
        if (e.id == frame_.session().Mem.ForumNumber) {
            QFont bold = item->font(NameColumn);
            bold.setBold(true);
            for (int c = NameColumn; c <= CountColumn; ++c) item->setFont(c, bold);
            item->setToolTip(NameColumn, "The active database");
        }
        if (e.id == current) keep = item;
    }
    if (!keep && list_->topLevelItemCount() > 0) keep = list_->topLevelItem(0);
    if (keep) list_->setCurrentItem(keep);
}

// Moves the highlight to where the typed text stands in the list, as the
// user types.
void ChangeForumWindow::positionOn(const QString& text) {
    if (text.trimmed().isEmpty()) return;
    ForumLookup l = ForumLup(*session_, stored(text), false);
    if (l.list.empty()) return;
    if (int(l.list.size()) != list_->topLevelItemCount()) reread();
    if (QTreeWidgetItem* item = list_->topLevelItem(int(l.position))) list_->setCurrentItem(item);
}

void ChangeForumWindow::lookup() {
    ForumLookup l = ForumLup(*session_, stored(name_->text()), false);
    if (l.chosen()) {
        activate(l.id);
        return;
    }
    // Several matches, none, or nothing typed: the user chooses in the list.
    reread();
    if (QTreeWidgetItem* item = list_->topLevelItem(int(l.position))) list_->setCurrentItem(item);
    list_->setFocus();
}

bool ChangeForumWindow::choose() {
    QTreeWidgetItem* item = list_->currentItem();
    if (!item) return false;
    return activate(item->data(NameColumn, IdRole).toUInt());
}

bool ChangeForumWindow::activate(uint32_t id) {
    ForumsRecord entry;
    if (!readDatabaseEntry(*session_, id, entry)) {
        // Another program removed it meanwhile.
        reread();
        return false;
    }
    // A database whose directory has gone (a newsgroup moved into its target,
    // a directory removed by hand) cannot be worked in.
    const std::string dir = joinPath(frame_.session().Mem.FileDir, directoryName(entry.DIRNUMBER));
    if (ExistPath(*session_, 1, 0, dir, "", false) != 1) return false;
    if (!frame_.activateDatabase(id)) {
        reread();
        return false;
    }
    closeWindowOf(this);
    return true;
}

namespace {
WindowRegistrar registrar({"ChangeForum", WindowGroup::NotTools, false, 10,
                           [](Frame& f) -> QWidget* { return new ChangeForumWindow(f); }});
}  // namespace

}  // namespace quill::shell
