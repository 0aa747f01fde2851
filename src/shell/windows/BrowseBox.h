// "Mail Database Setup": the mail databases with their default addresses,
// and the mail database form to add one or change its alternative addresses.
#pragma once

#include <QPointer>
#include <memory>

#include "database/Session.h"
#include "shell/windows/MailBoxForm.h"
#include "shell/windows/WindowSupport.h"

class QTreeWidget;

namespace quill::shell {

class Frame;

class BrowseBoxWindow : public PlainWindow {
    Q_OBJECT
public:
    explicit BrowseBoxWindow(Frame& frame);
    ~BrowseBoxWindow() override;

    QTreeWidget* list() const { return list_; }
    void reread() override;
    // Opens the form (window-modal over the list); it is returned for the
    // caller that fills it in.
    MailBoxForm* insert();
    MailBoxForm* change();
    MailBoxForm* form() const { return form_; }

private:
    MailBoxForm* openForm(MailBoxForm::Request request, uint32_t forumId);

    Frame& frame_;
    std::unique_ptr<Session> session_;
    QTreeWidget* list_ = nullptr;
    QPointer<MailBoxForm> form_;
};

}  // namespace quill::shell
