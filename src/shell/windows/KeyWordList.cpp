#include "shell/windows/KeyWordList.h"

#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "database/Calendar.h"

namespace quill::shell {

namespace {

enum { IdRole = Qt::UserRole + 1 };

WindowRegistrar keyWords({"Lkup1", WindowGroup::NotTools, true, -1,
                           [](Frame& f) -> QWidget* { return new CodeListWindow(f, CodeKeyWord); }});
WindowRegistrar topics({"BrowseTopics", WindowGroup::NotTools, true, -1,
                         [](Frame& f) -> QWidget* { return new CodeListWindow(f, CodeTopic, true); }});

QString shortDate(int32_t date) {
    if (date <= 0) return {};
    Ymd d = ymdFromDate(date);
    return QLocale().toString(QDate(d.year, d.month, d.day), QLocale::ShortFormat);
}

}  // namespace

CodeListWindow::CodeListWindow(Frame& frame, uint8_t type, bool recount, QWidget* parent)
    : QWidget(parent), frame_(frame), session_(frame.newSession()), type_(type) {
    const bool keyWords = type == CodeKeyWord;
    heading_ = new QLabel(keyWords ? " List of Key Words" : " List of Topics", this);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    if (keyWords)
        list_->setHeaderLabels({"Search string", "Indexes", "Match case", "Match word", "Updated"});
    else
        list_->setHeaderLabels({"Topic", "Indexes"});
    list_->setColumnWidth(0, 220);
    list_->setColumnWidth(1, 70);
    if (keyWords) {
        list_->setColumnWidth(2, 90);
        list_->setColumnWidth(3, 90);
    }
    insert_ = new QPushButton("&Insert", this);
    change_ = new QPushButton("&Update", this);
    delete_ = new QPushButton("&Delete", this);
    auto* buttons = new QHBoxLayout;
    if (keyWords) {
        index_ = new QPushButton("Index &Key Words", this);
        index_->setToolTip("Link every message that contains a key word to it");
        buttons->addWidget(index_);
        connect(index_, &QPushButton::clicked, this, [this] { (void)indexNow(); });
    }
    buttons->addStretch();
    buttons->addWidget(insert_);
    buttons->addWidget(change_);
    buttons->addWidget(delete_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    connect(insert_, &QPushButton::clicked, this, [this] { request(InsertRecord); });
    connect(change_, &QPushButton::clicked, this, [this] { request(ChangeRecord); });
    connect(delete_, &QPushButton::clicked, this, [this] { request(DeleteRecord); });
    connect(list_, &QTreeWidget::itemActivated, this, &CodeListWindow::chosen);
    if (recount) (void)recountTopics(*session_);
    reloadCodes();
}

CodeListWindow::~CodeListWindow() = default;

void CodeListWindow::reloadCodes() {
    uint32_t keep = highlighted().id;
    list_->clear();
    std::vector<CodeEntry> codes = Lkup1(*session_, type_);
    for (const CodeEntry& c : codes) {
        QStringList cols{shown(c.name), QString::number(c.count)};
        if (type_ == CodeKeyWord)
            cols << (c.charCase ? "Yes" : "") << (c.wordOnly ? "Yes" : "") << shortDate(c.date);
        auto* item = new QTreeWidgetItem(list_, cols);
        item->setData(0, IdRole, QVariant::fromValue<uint>(c.id));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        if (c.id == keep) list_->setCurrentItem(item);
    }
    if (!list_->currentItem() && list_->topLevelItemCount()) list_->setCurrentItem(list_->topLevelItem(0));
    setWindowTitle(shown(codeListTitle(*session_, type_, codes.size())));
    change_->setEnabled(!codes.empty());
    delete_->setEnabled(!codes.empty());
}

CodeEntry CodeListWindow::highlighted() const {
    QTreeWidgetItem* item = list_ ? list_->currentItem() : nullptr;
    if (!item) return {};
    return findCode(*session_, item->data(0, IdRole).toUInt());
}

void CodeListWindow::request(int what) {
    CodeEntry code;
    if (what == InsertRecord) {
        code.type = type_;
    } else {
        code = highlighted();
        if (code.id == 0) return;
    }
    (void)runCodeForm(frame_, *session_, what, code, this);
}

int64_t CodeListWindow::indexNow() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    int64_t added = indexKeyWords(*session_);
    QApplication::restoreOverrideCursor();
    if (added >= 0) frame_.ui().notice("Key word indexing done: " + std::to_string(added) + " links added.");
    codesChanged(frame_);
    reloadCodes();
    return added;
}

CodeEntry pickCode(Frame& frame, uint8_t type, QWidget* parent) {
    QDialog dialog(parent);
    auto* list = new CodeListWindow(frame, type, false, &dialog);
    dialog.setWindowTitle(list->windowTitle());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &CodeListWindow::chosen, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return {};
    return list->highlighted();
}

}  // namespace quill::shell
