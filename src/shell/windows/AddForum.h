// " Add New Forum": creates a forum database from the name the user types.
#pragma once

#include <memory>

#include "database/Session.h"
#include "shell/windows/WindowSupport.h"

class QLineEdit;

namespace quill::shell {

class Frame;

class AddForumWindow : public PlainWindow {
    Q_OBJECT
public:
    explicit AddForumWindow(Frame& frame);
    ~AddForumWindow() override;
    QLineEdit* nameField() const { return name_; }
    // Creates the database; false when the window stays open on the name
    // (blank, a name that exists, a failed write).
    bool complete();

signals:
    void databaseAdded(uint32_t forumId);

private:
    Frame& frame_;
    std::unique_ptr<Session> session_;
    QLineEdit* name_ = nullptr;
};

}  // namespace quill::shell
