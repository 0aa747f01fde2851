// The code lists of the active database with their link counts and the
// buttons of the code form: Lkup1 (the key words, with the key word indexing
// run) and BrowseTopics (the topics, recounted each time the list opens).
// pickCode offers the same list as a selection for the browses.
#pragma once

#include <QWidget>
#include <memory>

#include "shell/windows/TopicForm.h"

class QTreeWidget;
class QPushButton;
class QLabel;

namespace quill::shell {

class CodeListWindow : public QWidget, public CodeListener {
    Q_OBJECT
public:
    // With recount, every topic's count is first set to its links.
    CodeListWindow(Frame& frame, uint8_t type, bool recount = false, QWidget* parent = nullptr);
    // The size a new child window opens with.
    QSize sizeHint() const override { return QSize(type_ == CodeKeyWord ? 640 : 440, 400); }
    ~CodeListWindow() override;

    QTreeWidget* list() const { return list_; }
    QPushButton* insertButton() const { return insert_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* indexButton() const { return index_; }  // key words only
    void reloadCodes() override;
    CodeEntry highlighted() const;
    // Runs the key word indexing; the number of links added, -1 on failure.
    int64_t indexNow();

signals:
    void chosen();

private:
    void request(int what);

    Frame& frame_;
    std::unique_ptr<Session> session_;
    uint8_t type_;
    QLabel* heading_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* insert_ = nullptr;
    QPushButton* change_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* index_ = nullptr;
};

// The list as a selection (the browses pick a topic with kind 2): the chosen
// code, or one with id 0 when the user cancelled.
CodeEntry pickCode(Frame& frame, uint8_t type, QWidget* parent = nullptr);

}  // namespace quill::shell
