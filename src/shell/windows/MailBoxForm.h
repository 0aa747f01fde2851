// The mail database form: "Mail database name", the default mail address
// and ten alternative addresses. Inserting creates a mail database ("Add New
// Mail Database"); changing replaces the alternative addresses of one
// ("Update alternative addresses"). The form completes only with a name and
// a default address; otherwise it beeps and goes back to the name.
#pragma once

#include <QDialog>
#include <array>
#include <memory>

#include "database/Session.h"
#include "people/Databases.h"

class QLineEdit;

namespace quill::shell {

class Frame;

class MailBoxForm : public QDialog {
    Q_OBJECT
public:
    enum class Request { Insert, Change };
    // forumId: the mail database to change (Change only). rememberId: the
    // new database's identifier is saved as a preference, for a caller that
    // goes on with it (the import wizard).
    MailBoxForm(Frame& frame, Request request, uint32_t forumId = 0, bool rememberId = false,
                QWidget* parent = nullptr);
    ~MailBoxForm() override;

    QLineEdit* nameField() const { return name_; }
    QLineEdit* addressField() const { return address_; }
    QLineEdit* alternativeField(std::size_t i) const { return alternatives_.at(i); }
    // The database created or changed, once the form completed.
    uint32_t forumId() const { return forumId_; }
    // Writes the form; false while it stays open.
    bool complete();

    void accept() override;

signals:
    void saved(uint32_t forumId);

private:
    Frame& frame_;
    std::unique_ptr<Session> session_;
    Request request_;
    uint32_t forumId_;
    bool rememberId_;
    QLineEdit* name_ = nullptr;
    QLineEdit* address_ = nullptr;
    std::array<QLineEdit*, altAddressCount> alternatives_{};
};

}  // namespace quill::shell
