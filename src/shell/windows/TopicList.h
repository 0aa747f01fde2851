// BrowseTopics: the topics of the active database with their link counts,
// recounted each time the list opens, and the buttons that open the topic
// form to insert, change or delete one.
#pragma once

#include <QWidget>
#include <memory>

#include "shell/windows/TopicForm.h"

class QTreeWidget;
class QPushButton;

namespace quill::shell {

class TopicListWindow : public QWidget, public CodeListener {
    Q_OBJECT
public:
    explicit TopicListWindow(Frame& frame);
    // The size a new child window opens with.
    QSize sizeHint() const override { return QSize(440, 380); }
    ~TopicListWindow() override;

    QTreeWidget* list() const { return list_; }
    QPushButton* insertButton() const { return insert_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }
    void reloadCodes() override;

private:
    void request(int what);
    CodeEntry highlighted() const;

    Frame& frame_;
    std::unique_ptr<Session> session_;
    QTreeWidget* list_ = nullptr;
    QPushButton* insert_ = nullptr;
    QPushButton* change_ = nullptr;
    QPushButton* delete_ = nullptr;
    std::size_t topics_ = 0;
};

}  // namespace quill::shell
