#include "shell/windows/TopicMarks.h"

#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quill::shell {

namespace {

enum { IdRole = Qt::UserRole + 1 };

WindowRegistrar registrar({"TopicProc", WindowGroup::Find, true, -1,
                           [](Frame& f) -> QWidget* { return new TopicMarksWindow(f); }});

}  // namespace

TopicMarksWindow::TopicMarksWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle("Topics");
    heading_ = new QLabel(this);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setHeaderHidden(true);
    list_->setUniformRowHeights(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(list_);
    connect(list_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { toggled(item); });
    connect(&frame_, &Frame::currentMessageChanged, this, &TopicMarksWindow::follow);
    connect(&frame_, &Frame::activeDatabaseChanged, this, [this] { closeChildWindow(this); });
    follow(frame_.currentMessage());
}

TopicMarksWindow::~TopicMarksWindow() = default;

void TopicMarksWindow::follow(const CurrentMessage& m) {
    message_ = m.forumId == 0 || m.forumId == session_->Mem.ForumNumber ? m.msgNumber : 0;
    reloadCodes();
}

void TopicMarksWindow::reloadCodes() {
    filling_ = true;
    list_->clear();
    std::vector<TopicMark> marks = message_ ? topicsOfMessage(*session_, message_) : std::vector<TopicMark>{};
    if (!message_)
        for (const CodeEntry& c : Lkup1(*session_, CodeTopic)) marks.push_back({c, false});
    for (const TopicMark& m : marks) {
        auto* item = new QTreeWidgetItem(list_, {shown(m.code.name)});
        item->setData(0, IdRole, QVariant::fromValue<uint>(m.code.id));
        item->setFlags(message_ ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                                : Qt::ItemIsSelectable);
        item->setCheckState(0, m.linked ? Qt::Checked : Qt::Unchecked);
    }
    heading_->setText(message_ ? QString("Topics of message %1").arg(message_) : QString("No message is selected"));
    filling_ = false;
}

void TopicMarksWindow::toggled(QTreeWidgetItem* item) {
    if (filling_ || !item || !message_) return;
    uint32_t id = item->data(0, IdRole).toUInt();
    if (!toggleTopic(*session_, id, message_)) {
        // The link was not changed (reported): show the mark as it stands,
        // once the list has finished with the item that changed.
        QTimer::singleShot(0, this, [this] { reloadCodes(); });
        return;
    }
    // The topic list shows the counts that just moved.
    if (auto* l = dynamic_cast<CodeListener*>(frame_.window("BrowseTopics"))) l->reloadCodes();
}

}  // namespace quill::shell
