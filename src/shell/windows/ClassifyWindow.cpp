#include "shell/windows/ClassifyWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "browse/BrowseView.h"
#include "browse/ThreadTree.h"
#include "database/Calendar.h"
#include "database/Common.h"
#include "database/Files.h"
#include "shell/windows/BrowseWindow.h"

namespace quill::shell {

namespace {

WindowRegistrar registrar({"ClassifyProc", WindowGroup::Find, true, -1,
                           [](Frame& f) -> QWidget* { return new ClassifyWindow(f); }});

std::vector<uint32_t> allMessages(Session& s) {
    std::vector<uint32_t> ids;
    if (s.Mem.ForumType == TypeMail) {
        OP_CLOSE(s, OpOpenShared, {MailFile::Number});
        s.Mail.set(MailFile::IDKEY);
        while (s.Mail.next()) ids.push_back(s.MAI.MAILID);
        OP_CLOSE(s, OpClose, {MailFile::Number});
    } else {
        OP_CLOSE(s, OpOpenShared, {MsgNmbrFile::Number});
        s.MsgNmbr.set(MsgNmbrFile::IDKEY);
        while (s.MsgNmbr.next()) ids.push_back(s.MSG.MSGNUMBER);
        OP_CLOSE(s, OpClose, {MsgNmbrFile::Number});
    }
    return ids;
}

// The messages of a browse view as it stands (mode, filter, key word or
// topic), read through a view of this window's own session so the browse's
// place and record buffers stay as they are.
std::vector<uint32_t> viewMessages(Session& s, BrowseView& shown) {
    std::vector<uint32_t> ids;
    BrowseView v(s);
    if (!v.open()) return ids;
    if (shown.mode() == BrowseMode::KeyWord) v.setKeyWord(shown.keyWord());
    if (shown.mode() == BrowseMode::Topic) v.setTopic(shown.topic());
    v.setMode(shown.mode());
    if (shown.canFilter() && shown.filter() != 0) v.setFilter(shown.filter());
    constexpr std::size_t kPage = 1000;
    for (std::vector<BrowseRow> rows = v.first(kPage); !rows.empty(); rows = v.after(rows.back(), kPage))
        for (const BrowseRow& r : rows) ids.push_back(r.id);
    return ids;
}

int32_t dayOf(const QDate& d) { return dateFromYmd(d.year(), d.month(), d.day()); }

}  // namespace

ClassifyWindow::ClassifyWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle("Classify Messages");
    auto* setBox = new QGroupBox(" Classify all messages related to the current:", this);
    view_ = new QRadioButton("&Browse view (the messages the browse shows)", setBox);
    thread_ = new QRadioButton("&Thread", setBox);
    database_ = new QRadioButton("&Database", setBox);
    auto* setLayout = new QVBoxLayout(setBox);
    setLayout->addWidget(view_);
    setLayout->addWidget(thread_);
    setLayout->addWidget(database_);
    const bool mail = session_->Mem.ForumType == TypeMail;
    const bool browsing = openBrowse(frame_) != nullptr;
    view_->setEnabled(browsing);
    thread_->setEnabled(!mail);
    (browsing ? view_ : mail ? database_ : thread_)->setChecked(true);

    topic_ = new QComboBox(this);
    dateFilter_ = new QCheckBox("Only messages dated &from", this);
    from_ = new QDateEdit(QDate::currentDate().addYears(-1), this);
    to_ = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit* e : {from_, to_}) {
        e->setCalendarPopup(true);
        e->setDisplayFormat("yyyy-MM-dd");
        e->setEnabled(false);
    }
    connect(dateFilter_, &QCheckBox::toggled, from_, &QWidget::setEnabled);
    connect(dateFilter_, &QCheckBox::toggled, to_, &QWidget::setEnabled);
    auto* dates = new QHBoxLayout;
    dates->addWidget(dateFilter_);
    dates->addWidget(from_);
    dates->addWidget(new QLabel("to", this));
    dates->addWidget(to_);
    dates->addStretch();

    attach_ = new QPushButton("&Attach topic", this);
    remove_ = new QPushButton("&Remove topic", this);
    status_ = new QLabel(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(attach_);
    buttons->addWidget(remove_);

    auto* form = new QFormLayout;
    form->addRow("T&opic:", topic_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(setBox);
    layout->addLayout(form);
    layout->addLayout(dates);
    layout->addStretch();
    layout->addLayout(buttons);
    connect(attach_, &QPushButton::clicked, this, [this] { (void)classify(true); });
    connect(remove_, &QPushButton::clicked, this, [this] { (void)classify(false); });
    connect(&frame_, &Frame::activeDatabaseChanged, this, [this] { closeChildWindow(this); });
    reloadCodes();
}

ClassifyWindow::~ClassifyWindow() = default;

void ClassifyWindow::reloadCodes() {
    uint32_t keep = topic_->currentData().toUInt();
    topic_->clear();
    for (const CodeEntry& c : Lkup1(*session_, CodeTopic)) {
        topic_->addItem(shown(c.name), QVariant::fromValue<uint>(c.id));
        if (c.id == keep) topic_->setCurrentIndex(topic_->count() - 1);
    }
}

std::vector<uint32_t> ClassifyWindow::chosenSet() {
    if (view_->isChecked()) {
        BrowseWindow* b = openBrowse(frame_);
        return b ? viewMessages(*session_, b->view()) : std::vector<uint32_t>{};
    }
    if (thread_->isChecked()) {
        std::vector<uint32_t> ids;
        for (const ThreadEntry& e : readThread(*session_, frame_.currentMessage().threadNumber))
            ids.push_back(e.msgNumber);
        return ids;
    }
    return allMessages(*session_);
}

bool ClassifyWindow::classify(bool attach) {
    uint32_t code = topic_->currentData().toUInt();
    if (code != 0 && view_->isChecked() && !openBrowse(frame_)) {
        // The browse was closed since: the set it stood for is gone with it,
        // and another set is only taken when the user chooses it.
        view_->setEnabled(false);
        (thread_->isEnabled() ? thread_ : database_)->setChecked(true);
        status_->setText("The browse is closed: choose another set.");
        return false;
    }
    if (code != 0) {
        status_->setText(attach ? "Attaching topics ... please wait!" : "Removing topics ... please wait!");
        QApplication::processEvents();
    }
    int32_t from = 0, to = 0;
    if (dateFilter_->isChecked()) {
        from = dayOf(from_->date());
        to = dayOf(to_->date());
    }
    std::vector<uint32_t> set = code ? chosenSet() : std::vector<uint32_t>{};
    if (code && set.empty()) {
        status_->setText("The set holds no messages.");
        return false;
    }
    CodeResult r = classifySet(*session_, code, set, attach, from, to);
    if (!r.ok()) {
        status_->clear();
        return false;
    }
    status_->setText(attach ? "Topics attached!" : "Topics removed!");
    return true;
}

}  // namespace quill::shell
