// The thread tree: the reply structure of the thread of the message the
// forum browse shows highlighted. It follows the browse (rebuilding only when
// the thread changes) and moves the browse to a node the user selects.
#pragma once

#include <QWidget>
#include <memory>

#include "browse/ThreadTree.h"
#include "shell/Frame.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace quill::shell {

class ThreadTreeWindow : public QWidget {
    Q_OBJECT
public:
    explicit ThreadTreeWindow(Frame& frame);
    // The size a new child window opens with.
    QSize sizeHint() const override { return QSize(380, 440); }
    ~ThreadTreeWindow() override;

    QTreeWidget* tree() const { return tree_; }
    uint32_t thread() const { return thread_; }
    int rebuilds() const { return rebuilds_; }

public slots:
    // The browse highlighted another message.
    void follow(const quill::shell::CurrentMessage& m);

private:
    void rebuild(uint32_t thread);
    void highlight(uint32_t msgNumber);
    void chosen(QTreeWidgetItem* item);

    Frame& frame_;
    std::unique_ptr<Session> session_;
    QTreeWidget* tree_ = nullptr;
    uint32_t thread_ = 0;
    int rebuilds_ = 0;
    bool following_ = false;  // selecting the browse's message, not the user's choice
};

}  // namespace quill::shell
