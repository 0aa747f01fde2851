#include "shell/windows/BrowseWindow.h"

#include <QApplication>
#include <algorithm>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "database/Preferences.h"
#include "search/WordBreak.h"
#include "shell/windows/BrowseLookup.h"
#include "shell/windows/BrowseModel.h"

namespace quill::shell {

namespace {
// The list whose column widths ListCol keeps for each browse.
int columnList(BrowseKind k) { return k == BrowseKind::Mail ? 2 : 1; }
const int defaultWidths[2][5] = {{90, 260, 170, 170, 170}, {90, 60, 260, 170, 170}};

// The tools of the find group that act on the browse's highlighted message.
struct Tool {
    const char* window;
    const char* caption;
    bool forumOnly;
};
const Tool tools[] = {
    {"ThreadTree", "Thread Tree", true}, {"ExportProc", "Export", false}, {"PrintProc", "Print", false},
    {"ClassifyProc", "Classify", false}, {"StatusProc", "Message Status", false},
};
}  // namespace

BrowseWindow::BrowseWindow(Frame& frame, BrowseKind kind) : frame_(frame), kind_(kind) {
    setWindowTitle(caption());
    build();
    openView();
    connect(&frame_, &Frame::locateMessageRequested, this, [this](uint32_t id) { showMessage(id); });
    connect(&frame_, &Frame::activeDatabaseChanged, this, &BrowseWindow::databaseChanged);
    // Another program may import into the database while it is shown: a
    // modest watch on the header file refreshes the list when it changed.
    watch_ = new QTimer(this);
    connect(watch_, &QTimer::timeout, this, [this] {
        if (view_ && view_->isOpen() && isVisible() && view_->fileChanged()) refresh();
    });
    watch_->start(3000);
    // Coming back to the window shows what changed while it was elsewhere.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        bool entering = now && isAncestorOf(now) && !(old && isAncestorOf(old));
        if (entering && view_ && view_->isOpen() && view_->fileChanged()) refresh();
    });
}

BrowseWindow::~BrowseWindow() {
    model_.reset();
    view_.reset();
}

QString BrowseWindow::caption() const { return kind_ == BrowseKind::Mail ? "Mail Messages" : "Forum Messages"; }

void BrowseWindow::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);

    tabs_ = new QTabBar(this);
    for (const BrowseModeInfo& m : browseModes(kind_)) {
        int i = tabs_->addTab(m.tab);
        if (m.mode == BrowseMode::Search) tabs_->setTabToolTip(i, "Show search result set - right click to sort");
        if (m.mode == BrowseMode::KeyWord) tabs_->setTabToolTip(i, "View messages containing this key word");
        if (m.mode == BrowseMode::Topic) tabs_->setTabToolTip(i, "View messages associated with this topic");
    }
    tabs_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int i) {
        const auto& modes = browseModes(kind_);
        if (i >= 0 && i < int(modes.size())) switchMode(modes[std::size_t(i)].mode);
    });
    connect(tabs_, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        int i = tabs_->tabAt(p);
        if (i >= 0 && browseModes(kind_)[std::size_t(i)].mode == BrowseMode::Search && view_->mode() == BrowseMode::Search)
            sortMenu()->popup(tabs_->mapToGlobal(p));
    });
    layout->addWidget(tabs_);

    auto* bar = new QHBoxLayout;
    locator_ = new QLineEdit(this);
    locator_->setClearButtonEnabled(true);
    // Room for a whole date with the clear button beside it, however narrow
    // the window gets.
    locator_->setMinimumWidth(locator_->fontMetrics().horizontalAdvance("yyyy-mm-dd") + 48);
    find_ = new QPushButton("Find", this);
    lookup_ = new QPushButton("Look up", this);
    limit_ = new QPushButton("Limit", this);
    limit_->setCheckable(true);
    previous_ = new QPushButton("Previous", this);
    next_ = new QPushButton("Next", this);
    auto* findDate = new QPushButton("Date", this);
    findDate->setToolTip("Find Date");
    bar->addWidget(locator_, 1);
    for (QPushButton* b : {find_, lookup_, limit_, previous_, next_, findDate}) bar->addWidget(b);
    if (kind_ == BrowseKind::Forum) {
        auto* findNumber = new QPushButton("Msg No", this);
        findNumber->setToolTip("Enter message number to look up");
        bar->addWidget(findNumber);
        connect(findNumber, &QPushButton::clicked, this, [this] {
            switchMode(BrowseMode::MsgNo);
            locator_->setFocus();
        });
    }
    auto* setMark = new QPushButton("Set Mark", this);
    setMark->setToolTip("Set BookMark");
    resetBookmark_ = new QPushButton("Go to Mark", this);
    resetBookmark_->setToolTip("Reset to BookMark");
    auto* refreshButton = new QPushButton("Refresh", this);
    refreshButton->setToolTip("Show what the database now holds (F5)");
    bar->addSpacing(12);
    bar->addWidget(setMark);
    bar->addWidget(resetBookmark_);
    bar->addWidget(refreshButton);
    layout->addLayout(bar);

    connect(locator_, &QLineEdit::returnPressed, this, [this] { findLocator(locator_->text()); });
    connect(find_, &QPushButton::clicked, this, [this] { findLocator(locator_->text()); });
    connect(lookup_, &QPushButton::clicked, this, &BrowseWindow::lookUp);
    connect(limit_, &QPushButton::clicked, this, [this](bool on) { setLimited(on); });
    connect(previous_, &QPushButton::clicked, this, [this] { stepFilter(false); });
    connect(next_, &QPushButton::clicked, this, [this] { stepFilter(true); });
    connect(findDate, &QPushButton::clicked, this, [this] {
        switchMode(BrowseMode::Date);
        locator_->setFocus();
    });
    connect(setMark, &QPushButton::clicked, this, &BrowseWindow::setBookmark);
    connect(resetBookmark_, &QPushButton::clicked, this, [this] { resetToBookmark(); });
    connect(refreshButton, &QPushButton::clicked, this, &BrowseWindow::refresh);
    auto* f5 = new QShortcut(QKeySequence::Refresh, this);
    connect(f5, &QShortcut::activated, this, &BrowseWindow::refresh);
    // Alt+1 .. Alt+9 switch the views from the keyboard.
    for (int i = 0; i < int(browseModes(kind_).size()); ++i) {
        auto* sc = new QShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_1 + i)), this);
        connect(sc, &QShortcut::activated, this, [this, i] { tabs_->setCurrentIndex(i); });
    }

    auto* split = new QSplitter(Qt::Vertical, this);
    table_ = new QTableView(split);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->setShowGrid(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setHighlightSections(false);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        QMenu* m = view_->mode() == BrowseMode::Search ? sortMenu() : statusMenu();
        m->popup(table_->viewport()->mapToGlobal(p));
    });
    // Scrolling to the top reads the page before the first row held.
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (!model_ || v != table_->verticalScrollBar()->minimum() || model_->atStart()) return;
        int came = model_->fetchFront();
        if (came) table_->verticalScrollBar()->setValue(came);
    });

    auto* lower = new QWidget(split);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    auto* pageBar = new QHBoxLayout;
    previousPage_ = new QPushButton("<", lower);
    previousPage_->setToolTip("Previous page");
    nextPage_ = new QPushButton(">", lower);
    nextPage_->setToolTip("Next page");
    previousHit_ = new QPushButton("Previous hit", lower);
    previousHit_->setToolTip("Locate previous search hit instance");
    nextHit_ = new QPushButton("Next hit", lower);
    nextHit_->setToolTip("Locate next search hit instance");
    // The page arrows need no more room than their arrow, leaving it to the
    // tool buttons of the same row.
    for (QPushButton* b : {previousPage_, nextPage_})
        b->setMaximumWidth(b->fontMetrics().horizontalAdvance("<>") + 28);
    pageLabel_ = new QLabel(lower);
    status_ = new QPushButton("Status", lower);
    status_->setToolTip("Set the status of the highlighted message, its thread, section or database");
    pageBar->addWidget(previousPage_);
    pageBar->addWidget(nextPage_);
    pageBar->addWidget(pageLabel_);
    pageBar->addStretch(1);
    pageBar->addWidget(previousHit_);
    pageBar->addWidget(nextHit_);
    pageBar->addSpacing(12);
    pageBar->addWidget(status_);
    for (const Tool& t : tools) {
        if (t.forumOnly && kind_ == BrowseKind::Mail) continue;
        auto* b = new QPushButton(t.caption, lower);
        std::string name = t.window;
        b->setEnabled(findWindowSpec(name) != nullptr);
        b->setToolTip(b->isEnabled() ? QString(t.caption) : QString(t.caption) + " (not available)");
        connect(b, &QPushButton::clicked, this, [this, name] { frame_.openWindow(name); });
        pageBar->addWidget(b);
    }
    lowerLayout->addLayout(pageBar);
    text_ = new HitTextEdit(lower);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    lowerLayout->addWidget(text_, 1);
    split->addWidget(table_);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);

    connect(previousPage_, &QPushButton::clicked, this, [this] { previousPage(); });
    connect(nextPage_, &QPushButton::clicked, this, [this] { nextPage(); });
    connect(previousHit_, &QPushButton::clicked, this, [this] { previousHit(); });
    connect(nextHit_, &QPushButton::clicked, this, [this] { nextHit(); });
    connect(status_, &QPushButton::clicked, this,
            [this] { statusMenu()->popup(status_->mapToGlobal(QPoint(0, status_->height()))); });
    resize(900, 620);
}

void BrowseWindow::openView() {
    // The new session, view and list are built before the old ones go, which
    // leave in the order they depend on each other.
    auto session = frame_.newSession();
    auto view = std::make_unique<BrowseView>(*session);
    (void)view->open();
    auto model = std::make_unique<BrowseModel>(*view);
    model->setStatusColours(frame_.appearance().kept, frame_.appearance().deleted);
    QItemSelectionModel* oldSelection = table_->selectionModel();
    table_->setModel(model.get());
    delete oldSelection;
    model_.swap(model);
    view_.swap(view);
    session_.swap(session);
    model.reset();
    view.reset();
    session.reset();
    forumId_ = session_->Mem.ForumNumber;
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { rowChanged(); });
    connect(model_.get(), &QAbstractItemModel::modelReset, this, [this] {
        if (model_->rowCount() == 0) rowChanged();
    });
    // Column widths as saved for this list, else the built-in ones.
    std::vector<int> widths;
    int list = columnList(kind_);
    (void)ListCol(frame_.session(), 3, list, widths);
    // Widths still at the installation's generic defaults were never set for
    // this list: the browse's own suit its columns better.
    const auto& generic = frame_.session().prefs.columnDefaults[std::size_t(list - 1)];
    if (std::equal(generic.begin(), generic.end(), widths.begin(), widths.end())) widths.clear();
    for (int c = 0; c < model_->columnCount() - 1; ++c) {
        int w = c < int(widths.size()) && widths[std::size_t(c)] > 5 ? widths[std::size_t(c)]
                                                                      : defaultWidths[list - 1][c];
        table_->setColumnWidth(c, w);
    }
    tabs_->blockSignals(true);
    tabs_->setCurrentIndex(0);
    tabs_->blockSignals(false);
    sortOrder_ = OrderFound;
    bookmark_ = 0;
    model_->showFirst();
    selectRow(0);
    updateButtons();
}

void BrowseWindow::databaseChanged() {
    Session& fs = frame_.session();
    bool sameKind = (fs.Mem.ForumType == TypeMail) == (kind_ == BrowseKind::Mail);
    if (fs.Mem.ForumNumber == 0 || !sameKind) {
        // This browse does not fit the database now active: it goes.
        if (parentWidget()) parentWidget()->close();
        else close();
        return;
    }
    if (fs.Mem.ForumNumber != forumId_) openView();
}

const BrowseRow* BrowseWindow::current() const {
    if (!model_) return nullptr;
    return model_->rowAt(table_->currentIndex().row());
}

void BrowseWindow::selectRow(int row) {
    if (row >= model_->rowCount()) row = model_->rowCount() - 1;
    if (row < 0) {
        rowChanged();
        return;
    }
    table_->setCurrentIndex(model_->index(row, 0));
    table_->scrollTo(model_->index(row, 0));
    rowChanged();
}

void BrowseWindow::updateButtons() {
    const BrowseModeInfo& info = browseModeInfo(kind_, view_->mode());
    bool filter = view_->canFilter();
    limit_->setEnabled(filter);
    limit_->setChecked(filter && view_->filter() != 0);
    limit_->setToolTip(info.limitTip);
    previous_->setEnabled(filter);
    next_->setEnabled(filter);
    previous_->setToolTip(info.previousTip);
    next_->setToolTip(info.nextTip);
    lookup_->setEnabled(*info.lookupTip != 0);
    lookup_->setToolTip(info.lookupTip);
    bool locates = view_->mode() != BrowseMode::Search;
    locator_->setEnabled(locates);
    find_->setEnabled(locates);
    int width = info.locatorWidth ? info.locatorWidth : 10;
    locator_->setMaxLength(width);
    locator_->setPlaceholderText(view_->mode() == BrowseMode::Date ? "yyyy-mm-dd" : QString(info.tab));
    resetBookmark_->setEnabled(bookmark_ != 0);
    bool hasRow = current() != nullptr;
    status_->setEnabled(hasRow);
}

void BrowseWindow::switchMode(BrowseMode m) {
    const auto& modes = browseModes(kind_);
    for (std::size_t i = 0; i < modes.size(); ++i)
        if (modes[i].mode == m && tabs_->currentIndex() != int(i)) {
            tabs_->blockSignals(true);
            tabs_->setCurrentIndex(int(i));
            tabs_->blockSignals(false);
        }
    uint32_t keep = current() ? current()->id : 0;
    view_->setMode(m);
    locator_->clear();
    // The highlighted message stays highlighted when the new view holds it.
    if (std::optional<BrowseRow> r = view_->locateMessage(keep)) {
        showAt(*r);
    } else {
        model_->showFirst();
        selectRow(0);
    }
    showHits();
    updateButtons();
}

void BrowseWindow::showAt(const BrowseRow& row) {
    // The rows from this one on, with a page before it to scroll back into.
    model_->showFrom(row);
    model_->fetchFront();
    selectRow(std::max(0, model_->indexOf(row.id)));
}

bool BrowseWindow::findLocator(const QString& text) {
    std::optional<BrowseRow> r = view_->locate(stored(text.trimmed()));
    if (!r) {
        session_->beep();
        if (view_->isListMode()) {
            model_->showFirst();
            selectRow(0);
        }
        return false;
    }
    if (view_->isListMode()) {
        model_->showFirst();
        selectRow(std::max(0, model_->indexOf(r->id)));
    } else {
        showAt(*r);
    }
    showHits();
    return true;
}

void BrowseWindow::setLimited(bool on) {
    const BrowseRow* row = current();
    if (on && !row) {
        limit_->setChecked(false);
        return;
    }
    uint32_t keep = row ? row->id : 0;
    if (on) view_->limitTo(*row);
    else view_->clearFilter();
    if (std::optional<BrowseRow> r = view_->locateMessage(keep)) {
        showAt(*r);
    } else {
        model_->showFirst();
        selectRow(0);
    }
    updateButtons();
}

bool BrowseWindow::stepFilter(bool forward) {
    const BrowseRow* row = current();
    if (!row) return false;
    std::optional<BrowseRow> n = view_->neighbour(*row, forward);
    if (!n) {
        session_->beep();
        return false;
    }
    if (view_->filter() && view_->mode() != BrowseMode::Section) {
        model_->showFirst();
        selectRow(std::max(0, model_->indexOf(n->id)));
    } else {
        showAt(*n);
    }
    updateButtons();
    return true;
}

bool BrowseWindow::showMessage(uint32_t id) {
    std::optional<BrowseRow> r = view_->locateMessage(id);
    if (!r && view_->filter()) {
        // Not in the limited view: show it in the whole file.
        view_->clearFilter();
        r = view_->locateMessage(id);
    }
    if (!r && view_->isListMode()) {
        switchMode(BrowseMode::Date);
        r = view_->locateMessage(id);
    }
    if (!r) return false;
    int at = model_->indexOf(id);
    if (at < 0) showAt(*r);
    else selectRow(at);
    updateButtons();
    return true;
}

void BrowseWindow::setBookmark() {
    if (const BrowseRow* r = current()) bookmark_ = r->id;
    updateButtons();
}

bool BrowseWindow::resetToBookmark() {
    if (!bookmark_ || !showMessage(bookmark_)) {
        session_->beep();
        return false;
    }
    return true;
}

void BrowseWindow::refresh() {
    if (!view_ || !view_->isOpen()) return;
    (void)view_->fileChanged();
    int row = table_->currentIndex().row();
    uint32_t keep = current() ? current()->id : 0;
    uint32_t firstId = model_->rowAt(0) ? model_->rowAt(0)->id : 0;
    int top = table_->verticalScrollBar()->value();
    model_->refresh(row);
    int at = model_->indexOf(keep);
    // The list stays where it was when it still starts at the same row.
    if (model_->rowAt(0) && model_->rowAt(0)->id == firstId) table_->verticalScrollBar()->setValue(top);
    selectRow(at >= 0 ? at : std::max(0, std::min(row, model_->rowCount() - 1)));
}

void BrowseWindow::rowChanged() {
    const BrowseRow* row = current();
    if (row) {
        // Far from where the rows were read, the far end is let go.
        int removed = model_->trimAround(table_->currentIndex().row());
        if (removed) table_->verticalScrollBar()->setValue(table_->verticalScrollBar()->value() - removed);
        row = current();
    }
    uint32_t id = row ? row->id : 0;
    std::string text;
    if (row) {
        // The text of a message that has gone since the list was read is not
        // shown as if it were there.
        std::optional<BrowseRow> fresh = view_->reread(*row);
        if (!fresh) {
            QTimer::singleShot(0, this, &BrowseWindow::refresh);
            id = 0;
        } else {
            text = view_->text(*row);
        }
    }
    if (id != shownId_) {
        shownId_ = id;
        frame_.publishCurrentMessage({forumId_, id, row && id ? row->threadNumber : 0});
    }
    showText(std::move(text));
    updateButtons();
}

void BrowseWindow::showText(std::string text) {
    // The key word view marks its word, the result set view the searched
    // words; the other views have no hits.
    std::vector<std::string> words;
    if (view_->mode() == BrowseMode::KeyWord && !view_->keyWord().empty()) words = {upper1252(view_->keyWord())};
    if (view_->mode() == BrowseMode::Search) words = hitWords_;
    std::vector<Hit> hits;
    if (!words.empty() && !text.empty()) {
        if (!tables_) tables_ = loadWordTables(*session_, loadIndexSettings(*session_).wordSet);
        hits = hitList(text, words, *tables_);
    }
    text_->showText(TextPages(std::move(text)), std::move(hits), !words.empty());
    updatePaneButtons();
}

void BrowseWindow::showHits() { showText(text_->pages().text()); }

void BrowseWindow::updatePaneButtons() {
    const TextPages& pages = text_->pages();
    previousPage_->setEnabled(pages.current() > 0);
    nextPage_->setEnabled(pages.current() + 1 < pages.count());
    pageLabel_->setText(pages.count() > 1 ? QString("Page %1 of %2").arg(pages.current() + 1).arg(pages.count())
                                          : QString());
    previousHit_->setEnabled(text_->hits().previousEnabled);
    nextHit_->setEnabled(text_->hits().nextEnabled);
}

bool BrowseWindow::nextPage() {
    if (!text_->nextPage()) return false;
    updatePaneButtons();
    return true;
}

bool BrowseWindow::previousPage() {
    if (!text_->previousPage()) return false;
    updatePaneButtons();
    return true;
}

void BrowseWindow::setHitWords(std::vector<std::string> words) {
    hitWords_ = std::move(words);
    showHits();
}

bool BrowseWindow::nextHit() {
    bool moved = text_->nextHit();
    updatePaneButtons();
    return moved;
}

bool BrowseWindow::previousHit() {
    bool moved = text_->previousHit();
    updatePaneButtons();
    return moved;
}

QMenu* BrowseWindow::statusMenu() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QString text = QString::fromStdString(statusMenuText(kind_));
    for (const QString& entry : text.split('|')) {
        if (entry.isEmpty()) continue;
        if (entry == "-") {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(entry);
        a->setEnabled(current() != nullptr);
        connect(a, &QAction::triggered, this, [this, entry] { runStatusCommand(entry); });
    }
    return menu;
}

bool BrowseWindow::runStatusCommand(const QString& entry) {
    StatusTarget target;
    uint8_t value = 0;
    const BrowseRow* row = current();
    if (!row || !statusMenuEntry(kind_, entry.toStdString(), target, value)) return false;
    int at = table_->currentIndex().row();
    BrowseRow r = *row;
    bool ok = view_->setStatus(target, value, r);
    model_->update(at, r);
    if (ok && target == StatusTarget::Database) frame_.session().Mem.ForumCheck = value;
    return ok;
}

QMenu* BrowseWindow::sortMenu() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QString text = QString::fromStdString(sortMenuText(session_->Mem.ForumType, sortOrder_));
    int order = OrderDate;
    for (const QString& entry : text.split('|')) {
        QAction* a = menu->addAction(entry);
        int o = order++;
        connect(a, &QAction::triggered, this, [this, o] { sortResults(o); });
    }
    return menu;
}

bool BrowseWindow::sortResults(int order) {
    ResultSet set;
    set.ids = readResultSet(*session_);
    set.order = sortOrder_;
    set.current = current() ? current()->id : 0;
    if (!resortResultSet(*session_, set, order)) return false;
    sortOrder_ = set.order;
    view_->reloadList();
    model_->showFirst();
    int at = model_->indexOf(set.current);
    selectRow(at >= 0 ? at : 0);
    return true;
}

void BrowseWindow::lookUp() {
    LookupKind kind;
    switch (view_->mode()) {
        case BrowseMode::Thread: kind = LookupKind::Threads; break;
        case BrowseMode::Section: kind = LookupKind::Sections; break;
        case BrowseMode::Sender:
        case BrowseMode::Receiver:
        case BrowseMode::Partner: kind = LookupKind::Persons; break;
        case BrowseMode::KeyWord: kind = LookupKind::KeyWords; break;
        case BrowseMode::Topic: kind = LookupKind::Topics; break;
        default: return;
    }
    BrowseLookup dialog(*session_, kind, browseModeInfo(kind_, view_->mode()).lookupTip, this);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenId() == 0) return;
    if (view_->mode() == BrowseMode::KeyWord) {
        findLocator(dialog.chosenText());
        return;
    }
    if (view_->mode() == BrowseMode::Topic) {
        view_->setTopic(dialog.chosenId());
        model_->showFirst();
        selectRow(0);
        return;
    }
    // Positioned on the chosen value; the view stays limited only when it was.
    bool limited = view_->filter() != 0;
    view_->setFilter(dialog.chosenId());
    std::vector<BrowseRow> first = view_->first(1);
    if (!limited) view_->clearFilter();
    if (first.empty()) {
        session_->beep();
        if (limited) model_->showFirst();
    } else if (limited) {
        model_->showFirst();
    } else {
        showAt(first.front());
        updateButtons();
        return;
    }
    selectRow(0);
    updateButtons();
}

void BrowseWindow::saveColumns() {
    std::vector<int> widths;
    for (int c = 0; c < model_->columnCount(); ++c) widths.push_back(table_->columnWidth(c));
    int list = columnList(kind_);
    (void)ListCol(frame_.session(), 2, list, widths);
    (void)ListCol(frame_.session(), 4, list, widths);
}

void BrowseWindow::closeEvent(QCloseEvent* e) {
    if (model_) saveColumns();
    watch_->stop();
    QWidget::closeEvent(e);
}

BrowseWindow* openBrowse(const Frame& frame) {
    for (const char* name : {"BrowseMsgNmbr", "BrowseMail"})
        if (auto* w = qobject_cast<BrowseWindow*>(frame.window(name))) return w;
    return nullptr;
}

}  // namespace quill::shell
