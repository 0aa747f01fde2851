#include "shell/windows/TopicList.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quill::shell {

namespace {

enum { IdRole = Qt::UserRole + 1 };

WindowRegistrar registrar({"BrowseTopics", WindowGroup::NotTools, true, -1,
                           [](Frame& f) -> QWidget* { return new TopicListWindow(f); }});

}  // namespace

TopicListWindow::TopicListWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({"Topic", "Indexes"});
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->setColumnWidth(1, 80);
    insert_ = new QPushButton("&Insert", this);
    change_ = new QPushButton("&Update", this);
    delete_ = new QPushButton("&Delete", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(insert_);
    buttons->addWidget(change_);
    buttons->addWidget(delete_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    connect(insert_, &QPushButton::clicked, this, [this] { request(InsertRecord); });
    connect(change_, &QPushButton::clicked, this, [this] { request(ChangeRecord); });
    connect(delete_, &QPushButton::clicked, this, [this] { request(DeleteRecord); });
    connect(list_, &QTreeWidget::itemActivated, this, [this] { request(ChangeRecord); });
    // The counts are brought in line with the links each time the list opens.
    topics_ = recountTopics(*session_);
    reloadCodes();
}

TopicListWindow::~TopicListWindow() = default;

void TopicListWindow::reloadCodes() {
    uint32_t keep = highlighted().id;
    list_->clear();
    std::vector<CodeEntry> codes = Lkup1(*session_, CodeTopic);
    topics_ = codes.size();
    for (const CodeEntry& c : codes) {
        auto* item = new QTreeWidgetItem(list_, {shown(c.name), QString::number(c.count)});
        item->setData(0, IdRole, QVariant::fromValue<uint>(c.id));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        if (c.id == keep) list_->setCurrentItem(item);
    }
    if (!list_->currentItem() && list_->topLevelItemCount()) list_->setCurrentItem(list_->topLevelItem(0));
    setWindowTitle(shown(codeListTitle(*session_, CodeTopic, topics_)));
    change_->setEnabled(topics_ > 0);
    delete_->setEnabled(topics_ > 0);
}

CodeEntry TopicListWindow::highlighted() const {
    QTreeWidgetItem* item = list_->currentItem();
    if (!item) return {};
    return findCode(*session_, item->data(0, IdRole).toUInt());
}

void TopicListWindow::request(int what) {
    CodeEntry code;
    if (what == InsertRecord) {
        code.type = CodeTopic;
    } else {
        code = highlighted();
        if (code.id == 0) return;
    }
    // A completed form tells every code window, this one included.
    (void)runCodeForm(frame_, *session_, what, code, this);
}

}  // namespace quill::shell
