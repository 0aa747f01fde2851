#include "shell/windows/BrowseModel.h"

#include <QFont>
#include <algorithm>
#include <QPalette>

#include "shell/Shell.h"

namespace quill::shell {

BrowseModel::BrowseModel(BrowseView& view, QObject* parent) : QAbstractTableModel(parent), view_(view) {}

int BrowseModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows_.size()); }

int BrowseModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(browseColumns(view_.kind()).size());
}

QVariant BrowseModel::data(const QModelIndex& index, int role) const {
    const BrowseRow* r = rowAt(index.row());
    if (!r || index.column() < 0 || index.column() >= int(r->columns.size())) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return shown(r->columns[std::size_t(index.column())]);
    if (role == Qt::FontRole && r->status != 0) {
        // Kept messages in bold, messages marked for deletion struck out.
        QFont f;
        if (r->status == 1) f.setBold(true);
        if (r->status == 2) f.setStrikeOut(true);
        return f;
    }
    if (role == Qt::ForegroundRole && (r->status == 1 || r->status == 2)) return r->status == 1 ? kept_ : deleted_;
    return {};
}

void BrowseModel::setStatusColours(const QColor& kept, const QColor& deleted) {
    if (kept == kept_ && deleted == deleted_) return;
    kept_ = kept;
    deleted_ = deleted;
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::ForegroundRole});
}

QVariant BrowseModel::headerData(int section, Qt::Orientation o, int role) const {
    const auto& cols = browseColumns(view_.kind());
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < int(cols.size()))
        return QString::fromStdString(cols[std::size_t(section)]);
    return QAbstractTableModel::headerData(section, o, role);
}

bool BrowseModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !atEnd_; }

void BrowseModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || atEnd_) return;
    std::vector<BrowseRow> more = rows_.empty() ? view_.first(pageRows) : view_.after(rows_.back(), pageRows);
    atEnd_ = more.size() < std::size_t(pageRows);
    if (more.empty()) return;
    int at = int(rows_.size());
    beginInsertRows({}, at, at + int(more.size()) - 1);
    for (auto& r : more) rows_.push_back(std::move(r));
    endInsertRows();
}

int BrowseModel::fetchFront() {
    if (atStart_ || rows_.empty()) return 0;
    std::vector<BrowseRow> more = view_.before(rows_.front(), pageRows);
    atStart_ = more.size() < std::size_t(pageRows);
    if (more.empty()) return 0;
    beginInsertRows({}, 0, int(more.size()) - 1);
    for (auto it = more.rbegin(); it != more.rend(); ++it) rows_.push_front(std::move(*it));
    endInsertRows();
    return int(more.size());
}

int BrowseModel::trimAround(int row) {
    int n = int(rows_.size());
    if (n <= maxRows) return 0;
    int keepFrom = std::max(0, row - maxRows / 2);
    int keepTo = std::min(n, keepFrom + maxRows);
    int removedBefore = 0;
    if (keepTo < n) {
        beginRemoveRows({}, keepTo, n - 1);
        rows_.erase(rows_.begin() + keepTo, rows_.end());
        endRemoveRows();
        atEnd_ = false;
    }
    if (keepFrom > 0) {
        beginRemoveRows({}, 0, keepFrom - 1);
        rows_.erase(rows_.begin(), rows_.begin() + keepFrom);
        endRemoveRows();
        atStart_ = false;
        removedBefore = keepFrom;
    }
    return removedBefore;
}

void BrowseModel::setRows(std::vector<BrowseRow> rows, bool atStart) {
    beginResetModel();
    rows_.assign(std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    atStart_ = atStart;
    atEnd_ = false;
    endResetModel();
}

void BrowseModel::showFirst() {
    std::vector<BrowseRow> rows = view_.first(pageRows);
    bool end = rows.size() < std::size_t(pageRows);
    setRows(std::move(rows), true);
    atEnd_ = end;
}

void BrowseModel::showFrom(const BrowseRow& row) {
    std::vector<BrowseRow> rows = view_.from(row, pageRows);
    bool end = rows.size() < std::size_t(pageRows);
    bool start = rows.empty() || view_.before(rows.front(), 1).empty();
    setRows(std::move(rows), start);
    atEnd_ = end;
}

void BrowseModel::refresh(int around) {
    view_.clearCaches();
    if (view_.isListMode()) view_.reloadList();
    // Read again from a page above the given row to a page or two below it:
    // a long list held after much scrolling is not read again whole.
    int n = int(rows_.size());
    around = std::min(around, n - 1);
    int begin = std::max(0, around - pageRows);
    std::size_t want = std::size_t(std::max(pageRows, std::min(n - begin, around - begin + 2 * pageRows)));
    std::vector<BrowseRow> rows;
    bool start = rows_.empty() || (atStart_ && begin == 0);
    if (start) {
        rows = view_.first(want);
    } else {
        rows = view_.from(rows_[std::size_t(begin)], want);
        start = rows.empty() || view_.before(rows.front(), 1).empty();
    }
    bool end = rows.size() < want;
    setRows(std::move(rows), start);
    atEnd_ = end;
}

const BrowseRow* BrowseModel::rowAt(int i) const {
    if (i < 0 || i >= int(rows_.size())) return nullptr;
    return &rows_[std::size_t(i)];
}

int BrowseModel::indexOf(uint32_t id) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].id == id) return int(i);
    return -1;
}

void BrowseModel::update(int i, const BrowseRow& row) {
    if (i < 0 || i >= int(rows_.size())) return;
    rows_[std::size_t(i)] = row;
    emit dataChanged(index(i, 0), index(i, columnCount() - 1));
}

}  // namespace quill::shell
