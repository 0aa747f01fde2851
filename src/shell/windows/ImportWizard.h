// The import wizard ("ImportMeny"): collects an import definition over four
// pages (file type; files by one of the three selection methods with their
// masks; target forum database and mailbox, new or existing; message kinds,
// re-import, mail topic and saving as a predefined import procedure), then
// hands it to the Import Processing window.
#pragma once

#include <QWidget>
#include <memory>

#include "import/ImportChoices.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace quill::shell {

class Frame;

class ImportWizard : public QWidget {
    Q_OBJECT
public:
    explicit ImportWizard(Frame& frame);
    ~ImportWizard() override;

    enum Page { TypePage, FilesPage, TargetPage, OptionsPage, PageCount };
    int page() const;
    void showPage(int page);

    // What the pages show, as choices for the definition.
    ImportChoices choices() const;
    // The Import button: creates a new mailbox when one was asked for,
    // builds the definition, saves it when asked, and starts the run. False
    // (after telling the user why) when no run was started.
    bool startRun();
    // The procedure the last Import saved (0 = none).
    uint32_t savedProcedure() const { return saved_; }

private:
    QWidget* buildTypePage();
    QWidget* buildFilesPage();
    QWidget* buildTargetPage();
    QWidget* buildOptionsPage();
    void typeChanged();
    void methodChanged();
    void updateMatchCount();
    void addFiles();
    void fillDatabases();
    void fillTopics();
    void mailboxChanged();
    void updateButtons();
    bool typeHasReader(bool tell) const;
    bool createNewMailbox();

    Frame& frame_;
    std::unique_ptr<Session> session_;
    uint32_t saved_ = 0;

    QStackedWidget* pages_ = nullptr;
    QLabel* pageTitle_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* import_ = nullptr;

    QListWidget* types_ = nullptr;
    QButtonGroup* method_ = nullptr;
    QLineEdit* directory_ = nullptr;
    QPushButton* browseDir_ = nullptr;
    QLineEdit* masks_ = nullptr;
    QLabel* matchCount_ = nullptr;
    QListWidget* files_ = nullptr;
    QPushButton* addFiles_ = nullptr;
    QPushButton* removeFiles_ = nullptr;
    QComboBox* forum_ = nullptr;
    QComboBox* mailbox_ = nullptr;
    QWidget* newMailbox_ = nullptr;
    QLineEdit* newMailName_ = nullptr;
    QLineEdit* newMailAddress_ = nullptr;
    QCheckBox* mailMsg_ = nullptr;
    QCheckBox* forumMsg_ = nullptr;
    QCheckBox* newsMsg_ = nullptr;
    QCheckBox* reimport_ = nullptr;
    QComboBox* topic_ = nullptr;
    QCheckBox* save_ = nullptr;
    QLineEdit* description_ = nullptr;
};

}  // namespace quill::shell
