#include "browse/PersonList.h"

#include <algorithm>

#include "database/Common.h"

namespace quill {

PersonList::PersonList(Session& s, PersonOrder order, std::size_t capacity)
    : s_(s), order_(order), capacity_(std::max<std::size_t>(capacity, 2)) {
    OP_CLOSE(s_, OpOpenShared, {PersonFile::Number});
}

PersonList::~PersonList() { OP_CLOSE(s_, OpClose, {PersonFile::Number}); }

int PersonList::key() const { return order_ == PersonOrder::Name ? PersonFile::NAMEKEY : PersonFile::ADDRESSKEY; }

int64_t PersonList::total() { return s_.Person.records(); }

bool PersonList::readNext(PersonRow& row) {
    if (!s_.Person.next()) return false;
    row.rec = s_.PER;
    row.pos = s_.Person.position(key());
    return true;
}

bool PersonList::readPrevious(PersonRow& row) {
    if (!s_.Person.previous()) return false;
    row.rec = s_.PER;
    row.pos = s_.Person.position(key());
    return true;
}

// Appends up to n rows read on from where the cursor stands.
void PersonList::fillForward(std::size_t n) {
    std::size_t read = 0;
    PersonRow row;
    while (read < n && readNext(row)) {
        rows_.push_back(row);
        ++read;
    }
    atEnd_ = read < n;
}

void PersonList::first(std::size_t n) {
    rows_.clear();
    s_.Person.set(key());
    fillForward(std::min(n, capacity_));
    atStart_ = true;
}

void PersonList::last(std::size_t n) {
    rows_.clear();
    n = std::min(n, capacity_);
    s_.Person.set(key());
    std::size_t read = 0;
    PersonRow row;
    while (read < n && readPrevious(row)) {
        rows_.push_front(row);
        ++read;
    }
    atEnd_ = true;
    atStart_ = read < n;
}

std::size_t PersonList::locate(std::string_view text, std::size_t n) {
    n = std::min(n, capacity_);
    s_.Person.clearBuffer();
    if (order_ == PersonOrder::Name) s_.PER.LASTNAME = text;
    else s_.PER.ADDRESS = text;
    rows_.clear();
    s_.Person.setFrom(key());
    fillForward(n);
    if (rows_.empty()) {
        // Everything sorts before the text: the list ends with the last persons.
        last(n);
        return rows_.size();
    }
    // Whether anything lies before is learnt when the list moves back.
    atStart_ = false;
    if (rows_.size() < n) return backward(n - rows_.size()).added;
    return 0;
}

PersonList::Shift PersonList::forward(std::size_t n) { return move(true, n); }

PersonList::Shift PersonList::backward(std::size_t n) { return move(false, n); }

PersonList::Shift PersonList::move(bool ahead, std::size_t n) {
    Shift sh;
    if (rows_.empty()) {
        if (ahead) first(n);
        else last(n);
        sh.added = rows_.size();
        return sh;
    }
    n = std::min(n, capacity_);
    const Position edge = ahead ? rows_.back().pos : rows_.front().pos;
    // The cursor starts on the row at that end (or, when it has gone, on
    // the row now in its place): the row itself is not taken twice.
    s_.Person.reset(edge);
    PersonRow row;
    while (sh.added < n && (ahead ? readNext(row) : readPrevious(row))) {
        if (row.pos.id == edge.id) continue;
        if (ahead) rows_.push_back(row);
        else rows_.push_front(row);
        ++sh.added;
    }
    (ahead ? atEnd_ : atStart_) = sh.added < n;
    while (rows_.size() > capacity_) {
        if (ahead) rows_.pop_front();
        else rows_.pop_back();
        ++sh.dropped;
    }
    if (sh.dropped) (ahead ? atStart_ : atEnd_) = false;
    return sh;
}

void PersonList::refresh() {
    const std::size_t n = std::max<std::size_t>(rows_.size(), std::min<std::size_t>(capacity_, 50));
    if (rows_.empty() || atStart_) {
        first(n);
        return;
    }
    const Position from = rows_.front().pos;
    rows_.clear();
    s_.Person.reset(from);
    fillForward(n);
    atStart_ = false;
    if (rows_.size() < n) (void)backward(n - rows_.size());
}

}  // namespace quill
