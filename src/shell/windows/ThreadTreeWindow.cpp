#include "shell/windows/ThreadTreeWindow.h"

#include "shell/windows/TopicForm.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "database/Catalogue.h"

namespace quill::shell {

namespace {

enum { NumberRole = Qt::UserRole + 1 };

WindowRegistrar registrar({"ThreadTree", WindowGroup::Find, true, -1, [](Frame& f) -> QWidget* {
                               // Mail has no threads to draw.
                               if (f.session().Mem.ForumType == TypeMail) return nullptr;
                               return new ThreadTreeWindow(f);
                           }});

}  // namespace

ThreadTreeWindow::ThreadTreeWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle("Thread Tree");
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setUniformRowHeights(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tree_);

    connect(&frame_, &Frame::currentMessageChanged, this, &ThreadTreeWindow::follow);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) { chosen(item); });
    connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { chosen(item); });
    // The tree belongs to the browse it follows: it goes with the browse and
    // with the database.
    if (QWidget* browse = frame_.window("BrowseMsgNmbr"))
        connect(browse, &QObject::destroyed, this, [this] { closeChildWindow(this); });
    connect(&frame_, &Frame::activeDatabaseChanged, this, [this] { closeChildWindow(this); });
    follow(frame_.currentMessage());
}

ThreadTreeWindow::~ThreadTreeWindow() = default;

void ThreadTreeWindow::follow(const CurrentMessage& m) {
    if (m.forumId != 0 && m.forumId != session_->Mem.ForumNumber) return;
    if (m.threadNumber != thread_) rebuild(m.threadNumber);
    highlight(m.msgNumber);
}

void ThreadTreeWindow::rebuild(uint32_t thread) {
    thread_ = thread;
    ++rebuilds_;
    following_ = true;
    tree_->clear();
    std::vector<TreeRow> rows = buildThreadTree(*session_, thread);
    QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
    QIcon file = style()->standardIcon(QStyle::SP_FileIcon);
    // Rows come in pre-order: the parent of a row of level n is the last row
    // of level n - 1 before it.
    std::vector<QTreeWidgetItem*> lastAt;
    for (const TreeRow& r : rows) {
        std::size_t depth = std::size_t(r.level);
        QTreeWidgetItem* item = depth <= 1 || lastAt.size() < depth - 1 ? new QTreeWidgetItem(tree_)
                                                                         : new QTreeWidgetItem(lastAt[depth - 2]);
        item->setText(0, shown(r.text));
        item->setIcon(0, r.folder ? folder : file);
        item->setData(0, NumberRole, QVariant::fromValue<uint>(r.msgNumber));
        if (lastAt.size() < depth) lastAt.resize(depth);
        lastAt[depth - 1] = item;
    }
    tree_->expandAll();
    following_ = false;
}

void ThreadTreeWindow::highlight(uint32_t msgNumber) {
    following_ = true;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it)
        if ((*it)->data(0, NumberRole).toUInt() == msgNumber) {
            tree_->setCurrentItem(*it);
            tree_->scrollToItem(*it);
            break;
        }
    following_ = false;
}

void ThreadTreeWindow::chosen(QTreeWidgetItem* item) {
    if (following_ || !item) return;
    uint32_t n = item->data(0, NumberRole).toUInt();
    if (n != 0 && n != frame_.currentMessage().msgNumber) emit frame_.locateMessageRequested(n);
}

}  // namespace quill::shell
