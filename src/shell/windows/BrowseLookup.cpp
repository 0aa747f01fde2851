#include "shell/windows/BrowseLookup.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QVBoxLayout>

#include "shell/Shell.h"

namespace quill::shell {

namespace {
constexpr std::size_t lookupPage = 100;
}

BrowseLookup::BrowseLookup(Session& s, LookupKind kind, const QString& caption, QWidget* parent)
    : QDialog(parent), lookup_(s, kind) {
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    typed_ = new QLineEdit(this);
    typed_->setPlaceholderText("Type the first letters");
    list_ = new QListWidget(this);
    list_->setUniformItemSizes(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(typed_);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    connect(typed_, &QLineEdit::textChanged, this, &BrowseLookup::reload);
    connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (v >= list_->verticalScrollBar()->maximum()) more();
    });
    connect(list_, &QListWidget::itemActivated, this, &BrowseLookup::choose);
    connect(buttons, &QDialogButtonBox::accepted, this, &BrowseLookup::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(420, 480);
    reload();
}

BrowseLookup::~BrowseLookup() = default;

void BrowseLookup::reload() {
    list_->clear();
    entries_ = lookup_.from(stored(typed_->text()), lookupPage);
    atEnd_ = entries_.size() < lookupPage;
    for (auto& e : entries_) list_->addItem(shown(e.text));
    if (list_->count()) list_->setCurrentRow(0);
    // A short first page leaves no scroll bar to reach the end with.
    while (!atEnd_ && list_->verticalScrollBar()->maximum() == 0 && list_->isVisible()) more();
}

void BrowseLookup::more() {
    if (atEnd_ || entries_.empty()) return;
    std::vector<LookupEntry> page = lookup_.after(entries_.back(), lookupPage);
    atEnd_ = page.size() < lookupPage;
    for (auto& e : page) {
        list_->addItem(shown(e.text));
        entries_.push_back(std::move(e));
    }
}

void BrowseLookup::choose() {
    int row = list_->currentRow();
    if (row < 0 || row >= int(entries_.size())) return;
    chosen_ = entries_[std::size_t(row)].id;
    chosenText_ = shown(entries_[std::size_t(row)].text);
    accept();
}

}  // namespace quill::shell
