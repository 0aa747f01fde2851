// The per-message topics ("Attach Topics"): every topic of the database with
// a check mark telling whether the browse's current message is linked to it.
// Checking or clearing a mark attaches or detaches the topic at once.
#pragma once

#include <QWidget>
#include <memory>

#include "shell/windows/TopicForm.h"

class QTreeWidget;
class QTreeWidgetItem;
class QLabel;

namespace quill::shell {

class TopicMarksWindow : public QWidget, public CodeListener {
    Q_OBJECT
public:
    explicit TopicMarksWindow(Frame& frame);
    // The size a new child window opens with.
    QSize sizeHint() const override { return QSize(340, 400); }
    ~TopicMarksWindow() override;

    QTreeWidget* list() const { return list_; }
    uint32_t message() const { return message_; }
    void reloadCodes() override;

public slots:
    void follow(const quill::shell::CurrentMessage& m);

private:
    void toggled(QTreeWidgetItem* item);

    Frame& frame_;
    std::unique_ptr<Session> session_;
    QTreeWidget* list_ = nullptr;
    QLabel* heading_ = nullptr;
    uint32_t message_ = 0;
    bool filling_ = false;
};

}  // namespace quill::shell
