// Set classification ("Classify Messages"): attaches a topic to, or removes
// it from, every message of a set: the messages the open browse shows (its
// view with its filter), the thread of the browse's current message or the
// whole database, optionally only messages dated inside a range.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "shell/windows/TopicForm.h"

class QComboBox;
class QRadioButton;
class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;

namespace quill::shell {

class ClassifyWindow : public QWidget, public CodeListener {
    Q_OBJECT
public:
    explicit ClassifyWindow(Frame& frame);
    // The size a new child window opens with.
    QSize sizeHint() const override { return QSize(540, 280); }
    ~ClassifyWindow() override;

    QComboBox* topic() const { return topic_; }
    QRadioButton* viewChoice() const { return view_; }
    QRadioButton* threadChoice() const { return thread_; }
    QRadioButton* databaseChoice() const { return database_; }
    QCheckBox* dateFilter() const { return dateFilter_; }
    QDateEdit* fromDate() const { return from_; }
    QDateEdit* toDate() const { return to_; }
    QPushButton* attachButton() const { return attach_; }
    QPushButton* removeButton() const { return remove_; }
    QLabel* status() const { return status_; }
    void reloadCodes() override;

    // The messages of the chosen set.
    std::vector<uint32_t> chosenSet();
    // Attaches (or removes) the chosen topic on the set; false when nothing
    // was done (no topic, or a failure that was reported).
    bool classify(bool attach);

private:
    Frame& frame_;
    std::unique_ptr<Session> session_;
    QComboBox* topic_ = nullptr;
    QRadioButton* view_ = nullptr;
    QRadioButton* thread_ = nullptr;
    QRadioButton* database_ = nullptr;
    QCheckBox* dateFilter_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
    QPushButton* attach_ = nullptr;
    QPushButton* remove_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace quill::shell
