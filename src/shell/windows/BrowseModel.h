// The list of a browse: a window of rows of the core view, extended a page
// at a time at either end as the user scrolls, so that a file of any size
// opens at once and is never copied whole.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <deque>

#include "browse/BrowseView.h"

namespace quill::shell {

class BrowseModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int pageRows = 100;
    static constexpr int maxRows = 3000;  // rows kept; the far end is dropped beyond this

    explicit BrowseModel(BrowseView& view, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // The view from its start.
    void showFirst();
    // The view from row on (its place when row has gone).
    void showFrom(const BrowseRow& row);
    // Earlier rows before the first one held; returns how many came.
    int fetchFront();
    // Drops rows far from the given row; returns how many went before it.
    int trimAround(int row);
    // Reads the rows around row afresh: new rows appear, vanished ones go.
    void refresh(int around);
    bool atStart() const { return atStart_; }

    const BrowseRow* rowAt(int i) const;
    int indexOf(uint32_t id) const;
    // Replaces a row that was read again (after a status change).
    void update(int i, const BrowseRow& row);
    // The text colours of kept and deleted rows (the colour preferences).
    void setStatusColours(const QColor& kept, const QColor& deleted);

private:
    void setRows(std::vector<BrowseRow> rows, bool atStart);

    BrowseView& view_;
    std::deque<BrowseRow> rows_;
    bool atStart_ = true, atEnd_ = true;
    QColor kept_{0, 0, 128}, deleted_{255, 0, 0};
};

}  // namespace quill::shell
