#include "shell/windows/BrowseBox.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "people/Databases.h"
#include "shell/Frame.h"

namespace quill::shell {

namespace {
enum Column { NameColumn, AddressColumn, AltColumn, CountColumn };
constexpr int IdRole = Qt::UserRole;
}  // namespace

BrowseBoxWindow::BrowseBoxWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle("Mail Database Setup");
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setHeaderLabels({"Mail database", "Default mail address", "Alternatives", "Messages"});
    list_->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(AddressColumn, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(AltColumn, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(CountColumn, QHeaderView::ResizeToContents);
    list_->header()->setStretchLastSection(false);
    layout->addWidget(list_, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* add = buttons->addButton("&Insert...", QDialogButtonBox::ActionRole);
    add->setToolTip("Add New Mail Database");
    QPushButton* change = buttons->addButton("&Change...", QDialogButtonBox::ActionRole);
    change->setToolTip("Update alternative addresses");
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    connect(add, &QPushButton::clicked, this, [this] { insert(); });
    connect(change, &QPushButton::clicked, this, [this] { this->change(); });
    connect(list_, &QTreeWidget::itemActivated, this, [this] { this->change(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { closeWindowOf(this); });
    connect(&CatalogueNotice::instance(), &CatalogueNotice::changed, this, &BrowseBoxWindow::reread);

    setFocusProxy(list_);
    reread();
    setPreferredSize(QSize(640, 320));
}

BrowseBoxWindow::~BrowseBoxWindow() = default;

void BrowseBoxWindow::reread() {
    uint32_t current = 0;
    if (QTreeWidgetItem* item = list_->currentItem()) current = item->data(NameColumn, IdRole).toUInt();
    list_->clear();
    QTreeWidgetItem* keep = nullptr;
    for (const ForumsRecord& e : listMailDatabases(*session_)) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(NameColumn, shown(e.DESCRIPTION.view()));
        item->setText(AddressColumn, shown(e.MAILADDRESS.view()));
        item->setText(AltColumn, QString::number(altAddressesOf(e).size()));
        item->setText(CountColumn, QString::number(uint32_t(e.MSGCOUNT)));
        item->setTextAlignment(AltColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(CountColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(NameColumn, IdRole, uint32_t(e.ID));
        if (e.ID == current) keep = item;
    }
    if (!keep && list_->topLevelItemCount() > 0) keep = list_->topLevelItem(0);
    if (keep) list_->setCurrentItem(keep);
}

MailBoxForm* BrowseBoxWindow::openForm(MailBoxForm::Request request, uint32_t forumId) {
    if (form_) {
        form_->raise();
        return form_;
    }
    form_ = new MailBoxForm(frame_, request, forumId, false, this);
    form_->setAttribute(Qt::WA_DeleteOnClose);
    connect(form_, &MailBoxForm::saved, this, [this](uint32_t id) {
        reread();
        for (int i = 0; i < list_->topLevelItemCount(); ++i)
            if (list_->topLevelItem(i)->data(NameColumn, IdRole).toUInt() == id)
                list_->setCurrentItem(list_->topLevelItem(i));
        // The first database of an installation becomes the active one; a
        // change of the active database's entry is taken over by the frame.
        if (frame_.session().Mem.ForumNumber == 0) frame_.activateDatabase(id);
        else if (frame_.session().Mem.ForumNumber == id) frame_.refreshActiveDatabase();
    });
    form_->setWindowModality(Qt::WindowModal);
    form_->open();
    return form_;
}

MailBoxForm* BrowseBoxWindow::insert() { return openForm(MailBoxForm::Request::Insert, 0); }

MailBoxForm* BrowseBoxWindow::change() {
    QTreeWidgetItem* item = list_->currentItem();
    if (!item) return nullptr;
    return openForm(MailBoxForm::Request::Change, item->data(NameColumn, IdRole).toUInt());
}

namespace {
WindowRegistrar registrar({"BrowseBox", WindowGroup::NotTools, false, 12,
                           [](Frame& f) -> QWidget* { return new BrowseBoxWindow(f); }});
}  // namespace

}  // namespace quill::shell
