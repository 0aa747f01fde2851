// The persons of the active database: "Forum Members", "Mail Partners" or
// "Newsgroup Participants" by its type, with the messages each sent and
// received. The list reads the Person file a page at a time on a session of
// its own, so a database of any size opens at once.
#pragma once

#include <QAbstractTableModel>
#include <memory>

#include "browse/PersonList.h"
#include "database/Session.h"
#include "shell/windows/WindowSupport.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace quill::shell {

class Frame;

// The caption of the person list of a database type.
QString personListCaption(uint8_t databaseType);

class PersonTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { LastName, FirstName, Address, Sent, Received, Status, ColumnCount };
    // session: the list's own session, its Mem naming the database.
    explicit PersonTableModel(Session& session, QObject* parent = nullptr);
    ~PersonTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    void setOrder(PersonOrder order);
    PersonOrder order() const;
    void first();
    void last();
    // The row of the first person at or after text (rowCount() when none).
    int locate(const QString& text);
    // More rows after the last one (before the first); how many rows came
    // in at the top (went from the top), for the view to keep its place.
    int more();
    int earlier();
    bool atStart() const { return list_->atStart(); }
    bool atEnd() const { return list_->atEnd(); }
    void refresh();
    int64_t total() { return list_->total(); }
    const PersonRecord* person(int row) const;

    static constexpr std::size_t page = 100;

private:
    Session& session_;
    std::unique_ptr<PersonList> list_;
};

class BrowsePersonWindow : public PlainWindow {
    Q_OBJECT
public:
    explicit BrowsePersonWindow(Frame& frame);
    ~BrowsePersonWindow() override;

    QTableView* view() const { return view_; }
    PersonTableModel* model() const { return model_; }
    QLabel* countLabel() const { return count_; }
    QLineEdit* locator() const { return locator_; }
    void reread() override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void openDatabase();
    void showCount();
    void scrolled(int value);
    void selectRow(int row);
    void keepCurrent(int row);

    Frame& frame_;
    std::unique_ptr<Session> session_;
    PersonTableModel* model_ = nullptr;
    QTableView* view_ = nullptr;
    QLabel* count_ = nullptr;
    QLineEdit* locator_ = nullptr;
    QComboBox* order_ = nullptr;
    bool shifting_ = false;
};

}  // namespace quill::shell
