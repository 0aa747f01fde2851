#include "shell/windows/BrowsePerson.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include "database/Catalogue.h"
#include "database/FileMask.h"
#include "shell/Frame.h"

namespace quill::shell {

QString personListCaption(uint8_t databaseType) {
    switch (databaseType) {
        case TypeMail: return "Mail Partners";
        case TypeNewsgroup: return "Newsgroup Participants";
        default: return "Forum Members";
    }
}

namespace {
// The active database's directory exists (the user has been told when not):
// its Person file is opened there, and a missing directory would stop the
// program.
bool directoryPresent(Frame& frame) {
    Session& s = frame.session();
    return ExistPath(s, 1, 0, joinPath(s.Mem.FileDir, s.Mem.Dirnamn), "", false) == 1;
}
}  // namespace

// --- the model -------------------------------------------------------------

PersonTableModel::PersonTableModel(Session& session, QObject* parent)
    : QAbstractTableModel(parent), session_(session), list_(std::make_unique<PersonList>(session)) {
    list_->first(page);
}

PersonTableModel::~PersonTableModel() = default;

int PersonTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(list_->rows().size());
}

int PersonTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

const PersonRecord* PersonTableModel::person(int row) const {
    if (row < 0 || std::size_t(row) >= list_->rows().size()) return nullptr;
    return &list_->rows()[std::size_t(row)].rec;
}

QVariant PersonTableModel::data(const QModelIndex& index, int role) const {
    const PersonRecord* p = person(index.row());
    if (!p) return {};
    if (role == Qt::TextAlignmentRole && (index.column() == Sent || index.column() == Received))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
        case LastName: return shown(p->LASTNAME.view());
        case FirstName: return shown(p->FIRSTNAME.view());
        case Address: return shown(p->ADDRESS.view());
        case Sent: return uint32_t(p->FROMCOUNT);
        case Received: return uint32_t(p->TOCOUNT);
        case Status:
            switch (uint8_t(p->DUMMY)) {
                case StatusKeep: return QString("Keep");
                case StatusDelete: return QString("Delete");
                default: return QString("Normal");
            }
        default: return {};
    }
}

QVariant PersonTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, o, role);
    static const char* const names[] = {"Last name", "First name", "Address", "Sent", "Received", "Status"};
    return section >= 0 && section < ColumnCount ? QString(names[section]) : QString();
}

PersonOrder PersonTableModel::order() const { return list_->order(); }

void PersonTableModel::setOrder(PersonOrder order) {
    if (order == list_->order()) return;
    beginResetModel();
    list_.reset();  // closes Person before the new list opens it
    list_ = std::make_unique<PersonList>(session_, order);
    list_->first(page);
    endResetModel();
}

void PersonTableModel::first() {
    beginResetModel();
    list_->first(page);
    endResetModel();
}

void PersonTableModel::last() {
    beginResetModel();
    list_->last(page);
    endResetModel();
}

int PersonTableModel::locate(const QString& text) {
    beginResetModel();
    std::size_t at = list_->locate(stored(text), page);
    endResetModel();
    return int(at);
}

int PersonTableModel::more() {
    beginResetModel();
    PersonList::Shift sh = list_->forward(page);
    endResetModel();
    return int(sh.dropped);
}

int PersonTableModel::earlier() {
    beginResetModel();
    PersonList::Shift sh = list_->backward(page);
    endResetModel();
    return int(sh.added);
}

void PersonTableModel::refresh() {
    beginResetModel();
    list_->refresh();
    endResetModel();
}

// --- the window ------------------------------------------------------------

BrowsePersonWindow::BrowsePersonWindow(Frame& frame) : frame_(frame) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* locatorLabel = new QLabel("&Locate:", this);
    locator_ = new QLineEdit(this);
    locator_->setToolTip("Type the first letters of a last name (or an address) to move there");
    locatorLabel->setBuddy(locator_);
    order_ = new QComboBox(this);
    order_->addItems({"By name", "By address"});
    order_->setToolTip("The order of the list");
    top->addWidget(locatorLabel);
    top->addWidget(locator_, 1);
    top->addWidget(order_);
    layout->addLayout(top);

    view_ = new QTableView(this);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    view_->setAlternatingRowColors(true);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->setWordWrap(false);
    view_->installEventFilter(this);
    layout->addWidget(view_, 1);

    auto* bottom = new QHBoxLayout;
    count_ = new QLabel(this);
    bottom->addWidget(count_, 1);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* refresh = buttons->addButton("&Refresh", QDialogButtonBox::ActionRole);
    refresh->setToolTip("Read the list again (F5)");
    buttons->addButton(QDialogButtonBox::Close);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);

    connect(locator_, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (t.trimmed().isEmpty()) return;
        selectRow(model_->locate(t.trimmed()));
    });
    connect(locator_, &QLineEdit::returnPressed, view_, qOverload<>(&QWidget::setFocus));
    connect(order_, &QComboBox::currentIndexChanged, this, [this](int i) {
        model_->setOrder(i == 0 ? PersonOrder::Name : PersonOrder::Address);
        selectRow(0);
    });
    connect(refresh, &QPushButton::clicked, this, &BrowsePersonWindow::reread);
    connect(new QShortcut(QKeySequence::Refresh, this), &QShortcut::activated, this, &BrowsePersonWindow::reread);
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { closeWindowOf(this); });
    connect(view_->verticalScrollBar(), &QScrollBar::valueChanged, this, &BrowsePersonWindow::scrolled);
    connect(&frame_, &Frame::activeDatabaseChanged, this, [this] {
        if (frame_.session().Mem.ForumNumber == session_->Mem.ForumNumber) return;
        if (frame_.session().Mem.ForumNumber == 0 || !directoryPresent(frame_)) closeWindowOf(this);
        else openDatabase();
    });

    setTabOrder(locator_, order_);
    setTabOrder(order_, view_);
    openDatabase();
    setPreferredSize(QSize(720, 440));
}

BrowsePersonWindow::~BrowsePersonWindow() {
    // The model's list closes Person on the window's session: it goes first.
    delete model_;
}

void BrowsePersonWindow::openDatabase() {
    PersonTableModel* old = model_;
    model_ = nullptr;
    view_->setModel(nullptr);
    delete old;
    session_ = frame_.newSession();
    setWindowTitle(personListCaption(session_->Mem.ForumType));
    model_ = new PersonTableModel(*session_);
    if (order_->currentIndex() == 1) model_->setOrder(PersonOrder::Address);
    view_->setModel(model_);
    auto* header = view_->horizontalHeader();
    header->setSectionResizeMode(PersonTableModel::Address, QHeaderView::Stretch);
    view_->setColumnWidth(PersonTableModel::LastName, 150);
    view_->setColumnWidth(PersonTableModel::FirstName, 130);
    view_->setColumnWidth(PersonTableModel::Sent, 70);
    view_->setColumnWidth(PersonTableModel::Received, 70);
    view_->setColumnWidth(PersonTableModel::Status, 70);
    showCount();
    selectRow(0);
}

void BrowsePersonWindow::showCount() {
    count_->setText(QString("%1: %2").arg(personListCaption(session_->Mem.ForumType)).arg(model_->total()));
}

void BrowsePersonWindow::selectRow(int row) {
    if (model_->rowCount() == 0) return;
    row = std::clamp(row, 0, model_->rowCount() - 1);
    QModelIndex i = model_->index(row, 0);
    view_->setCurrentIndex(i);
    view_->scrollTo(i, QAbstractItemView::PositionAtTop);
    // Keep rows to move to on both sides of what is in sight, so that a
    // key or the wheel at either end of the rows held finds more.
    scrolled(view_->verticalScrollBar()->value());
}

void BrowsePersonWindow::reread() {
    if (!model_) return;
    const int top = view_->verticalScrollBar()->value();
    const int current = view_->currentIndex().row();
    shifting_ = true;
    model_->refresh();
    view_->doItemsLayout();
    view_->verticalScrollBar()->setValue(top);
    if (current >= 0 && model_->rowCount() > 0) keepCurrent(std::min(current, model_->rowCount() - 1));
    shifting_ = false;
    showCount();
}

// Puts the highlight back on the row that holds the same person after the
// rows moved, without scrolling the view to it: the user may be looking at
// other rows.
void BrowsePersonWindow::keepCurrent(int row) {
    const bool autoScroll = view_->hasAutoScroll();
    view_->setAutoScroll(false);
    view_->setCurrentIndex(model_->index(row, 0));
    view_->setAutoScroll(autoScroll);
}

// Reading on when the list is scrolled to either end: rows come in at that
// end and, beyond what the list holds, go at the other, while the rows in
// sight stay where they are.
void BrowsePersonWindow::scrolled(int value) {
    if (shifting_ || !model_) return;
    QScrollBar* bar = view_->verticalScrollBar();
    int current = view_->currentIndex().row();
    int moved = 0;
    if (value >= bar->maximum() && !model_->atEnd()) {
        shifting_ = true;
        moved = -model_->more();
    } else if (value <= bar->minimum() && !model_->atStart()) {
        shifting_ = true;
        moved = model_->earlier();
    } else {
        return;
    }
    // The scroll range follows the new rows now, not at the next layout.
    view_->doItemsLayout();
    bar->setValue(value + moved);
    if (current >= 0 && model_->rowCount() > 0)
        keepCurrent(std::clamp(current + moved, 0, model_->rowCount() - 1));
    shifting_ = false;
}

bool BrowsePersonWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == view_ && e->type() == QEvent::KeyPress && model_) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Home && (k->modifiers() & Qt::ControlModifier)) {
            model_->first();
            selectRow(0);
            return true;
        }
        if (k->key() == Qt::Key_End && (k->modifiers() & Qt::ControlModifier)) {
            model_->last();
            selectRow(model_->rowCount() - 1);
            return true;
        }
    }
    return PlainWindow::eventFilter(watched, e);
}

namespace {
WindowRegistrar registrar({"BrowsePerson", WindowGroup::NotTools, true, 13,
                           [](Frame& f) -> QWidget* {
                               return directoryPresent(f) ? new BrowsePersonWindow(f) : nullptr;
                           }});
}  // namespace

}  // namespace quill::shell
