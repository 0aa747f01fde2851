#include "shell/windows/SearchWindow.h"

#include "shell/windows/TopicForm.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "database/Common.h"
#include "database/Files.h"
#include "database/Preferences.h"
#include "shell/windows/BrowseWindow.h"

namespace quill::shell {

namespace {

enum { IdRole = Qt::UserRole + 1 };
// Result lines described per timer tick, so a large result set fills the
// list without freezing the window; the first tick lists one screenful and
// shows the first hit, reading only those messages.
constexpr std::size_t kLinesPerTick = 400;
constexpr std::size_t kFirstLines = 30;

WindowRegistrar registrar({"SearchProc", WindowGroup::Find, true, -1,
                           [](Frame& f) -> QWidget* { return new SearchWindow(f); }});

std::string storedText(Session& s, uint32_t id) {
    OP_CLOSE(s, OpOpenShared, {MsgTextFile::Number});
    s.MsgText.clearBuffer();
    s.TXT.MSGNUMBER = id;
    std::string t = s.MsgText.get(MsgTextFile::IDKEY) ? s.MsgText.memo : std::string();
    OP_CLOSE(s, OpClose, {MsgTextFile::Number});
    return t;
}

}  // namespace

SearchWindow::SearchWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle("Search - " + shown(session_->Mem.Description));

    query_ = new QLineEdit(this);
    query_->setPlaceholderText("words, \"a phrase\", a OR b, -word, from:, to:, subject:, date:2024-01..2024-06");
    query_->setClearButtonEnabled(true);
    search_ = new QPushButton("&Search", this);
    search_->setDefault(true);
    auto* top = new QHBoxLayout;
    auto* label = new QLabel("Search &for:", this);
    label->setBuddy(query_);
    top->addWidget(label);
    top->addWidget(query_, 1);
    top->addWidget(search_);

    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({"Number", "Date", "Sender", "Subject"});
    list_->setColumnWidth(0, 90);
    list_->setColumnWidth(1, 100);
    list_->setColumnWidth(2, 200);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setToolTip("Show search result set - right click to sort");

    text_ = new HitTextEdit(this);
    previousHit_ = new QPushButton("Previous hit", this);
    previousHit_->setToolTip("Locate previous search hit instance");
    nextHit_ = new QPushButton("Next hit", this);
    nextHit_->setToolTip("Locate next search hit instance");
    previousPage_ = new QPushButton("Previous page", this);
    previousPage_->setToolTip("Previous page");
    nextPage_ = new QPushButton("Next page", this);
    nextPage_->setToolTip("Next page");
    pageLabel_ = new QLabel(this);
    auto* nav = new QHBoxLayout;
    nav->addWidget(previousHit_);
    nav->addWidget(nextHit_);
    nav->addStretch();
    nav->addWidget(pageLabel_);
    nav->addWidget(previousPage_);
    nav->addWidget(nextPage_);
    auto* textBox = new QWidget(this);
    auto* textLayout = new QVBoxLayout(textBox);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->addWidget(text_);
    textLayout->addLayout(nav);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(list_);
    split->addWidget(textBox);
    split->setStretchFactor(1, 2);
    status_ = new QLabel(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addWidget(status_);

    timer_ = new QTimer(this);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, &SearchWindow::step);
    // The button starts a search, and stops the one under way.
    connect(search_, &QPushButton::clicked, this, [this] { running() ? stopSearch() : startSearch(); });
    connect(query_, &QLineEdit::returnPressed, this, &SearchWindow::startSearch);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) showMessage(item->data(0, IdRole).toUInt());
    });
    // Enter or a double click moves an open browse to the message, in its
    // view of the result set with these search words to step through.
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (!item) return;
        if (BrowseWindow* b = openBrowse(frame_)) {
            b->setHitWords(hitWords_);
            b->switchMode(BrowseMode::Search);
        }
        emit frame_.locateMessageRequested(item->data(0, IdRole).toUInt());
    });
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (set_.ids.empty() || running()) return;
        QMenu menu(this);
        QStringList items = sortMenu();
        for (int i = 0; i < items.size(); ++i)
            menu.addAction(items[i], this, [this, i] { (void)sortBy(i + 1); });
        menu.exec(list_->viewport()->mapToGlobal(at));
    });
    connect(nextHit_, &QPushButton::clicked, this, [this] { (void)nextHit(); });
    connect(previousHit_, &QPushButton::clicked, this, [this] { (void)previousHit(); });
    connect(nextPage_, &QPushButton::clicked, this, &SearchWindow::nextPage);
    connect(previousPage_, &QPushButton::clicked, this, &SearchWindow::previousPage);
    connect(&frame_, &Frame::activeDatabaseChanged, this, [this] { closeChildWindow(this); });
    updateButtons();
}

SearchWindow::~SearchWindow() {
    // A search still under way ends as a stopped one, with its result set
    // emptied, before the engine and the session go.
    timer_->stop();
    if (run_) run_->cancel();
}

void SearchWindow::closeEvent(QCloseEvent* event) {
    // Closing ends a running search at once (the window goes later, and
    // must not ask or step in between).
    timer_->stop();
    if (run_) run_->cancel();
    run_.reset();
    state_ = State::Idle;
    QWidget::closeEvent(event);
}

void SearchWindow::startSearch() {
    if (running()) return;
    pending_ = stored(query_->text().trimmed());
    if (pending_.empty()) {
        frame_.ui().beep();
        return;
    }
    tables_ = loadWordTables(*session_, loadIndexSettings(*session_).wordSet);
    Query q = parseQuery(pending_, tables_);
    if (!q.error.empty()) {
        frame_.ui().message(q.error, "Search", Icon::Exclamation);
        return;
    }
    list_->clear();
    text_->clear();
    set_ = ResultSet{};
    text_->clearText();
    // A fresh engine for each search: an indexing run in the meantime may
    // have rebuilt the index files it would hold open.
    run_.reset();
    searcher_.reset();
    searcher_ = std::make_unique<Searcher>(*session_);
    run_ = std::make_unique<SearchRun>(*searcher_, pending_);
    search_->setText("&Stop");
    status_->setText("Searching ... please wait!");
    state_ = State::Run;
    timer_->start();
}

void SearchWindow::stopSearch() {
    if (state_ != State::Run || !run_) return;
    run_->cancel();
    searchEnded();
}

void SearchWindow::step() {
    switch (state_) {
        case State::Idle:
            timer_->stop();
            return;
        case State::Run:
            stepSearch();
            return;
        case State::Fill: {
            std::size_t n = std::min(filled_ == 0 ? kFirstLines : kLinesPerTick, set_.ids.size() - filled_);
            fillList(filled_, n);
            filled_ += n;
            if (list_->topLevelItemCount() && !list_->currentItem()) list_->setCurrentItem(list_->topLevelItem(0));
            if (filled_ >= set_.ids.size()) {
                state_ = State::Idle;
                timer_->stop();
                search_->setEnabled(true);
                updateButtons();
                emit searchFinished();
            }
            return;
        }
    }
}

// One slice of the search per tick; at a pause the timer waits while the
// user is asked whether to go on.
void SearchWindow::stepSearch() {
    if (run_->step() == SearchRun::State::Paused) {
        timer_->stop();
        QPointer<SearchWindow> alive(this);
        Button b = session_->ask(run_->pauseQuestion(), "Search", {Button::Yes, Button::No}, Button::Yes);
        // The window may have been closed, or the search stopped, while the
        // question was open.
        if (!alive || state_ != State::Run || !run_) return;
        if (b == Button::Yes) run_->resume();
        else run_->cancel();
        if (!run_->finished()) {
            timer_->start();
            return;
        }
    }
    if (!run_->finished()) {
        status_->setText(QString("Searching ... please wait! %1%").arg(run_->percent()));
        return;
    }
    searchEnded();
}

// The search has finished, was stopped or failed: the hits are listed on
// the following ticks.
void SearchWindow::searchEnded() {
    SearchOutcome out = run_->outcome();
    run_.reset();
    search_->setText("&Search");
    if (!out.error.empty()) {
        state_ = State::Idle;
        timer_->stop();
        search_->setEnabled(true);
        status_->setText(shown(out.error));
        frame_.ui().message(out.error, "Search", Icon::Exclamation);
        emit searchFinished();
        return;
    }
    set_.ids = out.ids;
    set_.order = OrderFound;
    hitWords_ = out.hitWords;
    filled_ = 0;
    status_->setText(out.cancelled ? QString("Search stopped.")
                                   : QString("%1 messages found.").arg(qulonglong(out.ids.size())));
    // The list fills on the ticks; the button waits until it is full.
    search_->setEnabled(false);
    state_ = State::Fill;
    timer_->start();
}

void SearchWindow::fillList(std::size_t from, std::size_t count) {
    if (count == 0) return;
    std::vector<uint32_t> slice(set_.ids.begin() + std::ptrdiff_t(from), set_.ids.begin() + std::ptrdiff_t(from + count));
    std::string label, picture;
    SetDate(*session_, label, picture);
    for (const ResultLine& l : searcher_->describe(slice)) {
        auto* item = new QTreeWidgetItem(list_, {QString::number(l.id), QString::fromStdString(formatDate(l.date, picture)),
                                                 shown(l.from), shown(l.subject)});
        item->setData(0, IdRole, QVariant::fromValue<uint>(l.id));
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void SearchWindow::showMessage(uint32_t id) {
    set_.current = id;
    TextPages pages(storedText(*session_, id));
    std::vector<Hit> hits = hitList(pages.text(), hitWords_, tables_);
    text_->showText(std::move(pages), std::move(hits), true);
    updateButtons();
}

const HitPane& SearchWindow::pane() const { return text_->hits(); }

int SearchWindow::page() const { return int(text_->pages().current()) + 1; }

int SearchWindow::pages() const { return int(text_->pages().count()); }

QString SearchWindow::selectedText() const { return text_->textCursor().selectedText(); }

bool SearchWindow::nextHit() {
    bool moved = text_->nextHit();
    updateButtons();
    return moved;
}

bool SearchWindow::previousHit() {
    bool moved = text_->previousHit();
    updateButtons();
    return moved;
}

void SearchWindow::nextPage() {
    if (text_->nextPage()) updateButtons();
}

void SearchWindow::previousPage() {
    if (text_->previousPage()) updateButtons();
}

QStringList SearchWindow::sortMenu() const {
    return shown(sortMenuText(session_->Mem.ForumType, set_.order)).split('|');
}

bool SearchWindow::sortBy(int order) {
    if (running() || !resortResultSet(*session_, set_, order)) return false;
    uint32_t keep = set_.current;
    list_->blockSignals(true);
    list_->clear();
    fillList(0, set_.ids.size());
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        if (list_->topLevelItem(i)->data(0, IdRole).toUInt() == keep) list_->setCurrentItem(list_->topLevelItem(i));
    list_->blockSignals(false);
    if (!list_->currentItem() && list_->topLevelItemCount()) list_->setCurrentItem(list_->topLevelItem(0));
    return true;
}

void SearchWindow::updateButtons() {
    previousHit_->setEnabled(pane().previousEnabled);
    nextHit_->setEnabled(pane().nextEnabled);
    previousPage_->setEnabled(page() > 1);
    nextPage_->setEnabled(page() < pages());
    pageLabel_->setText(pages() > 1 ? QString("Page %1 of %2").arg(page()).arg(pages()) : QString());
}

}  // namespace quill::shell
