// The persons of one archive database as a list window shows them: rows in
// the order of a Person key, read a page at a time through the record store
// and kept only as far as the list window holds them, so that a database
// with a million persons is never read whole. The list works on a session
// of its own (its own Person buffer and connection) whose Mem.Dirnamn names
// the database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>

#include "database/Session.h"

namespace quill {

struct PersonRow {
    Position pos;  // the row's place in the list's key
    PersonRecord rec;
};

// The orders a person list offers: by last and first name (PER:NAMEKEY) or
// by address (PER:ADDRESSKEY).
enum class PersonOrder { Name, Address };

class PersonList {
public:
    // Opens Person of the session's selected database; closes it again when
    // the list goes. capacity: the most rows held at once.
    explicit PersonList(Session& s, PersonOrder order = PersonOrder::Name, std::size_t capacity = 400);
    ~PersonList();
    PersonList(const PersonList&) = delete;
    PersonList& operator=(const PersonList&) = delete;

    PersonOrder order() const { return order_; }
    int key() const;
    const std::deque<PersonRow>& rows() const { return rows_; }
    std::size_t capacity() const { return capacity_; }
    // No row lies before the first one held (after the last one held).
    bool atStart() const { return atStart_; }
    bool atEnd() const { return atEnd_; }

    // The number of persons in the database, read afresh.
    int64_t total();

    // The rows from the first person (up to n), or the last n persons.
    void first(std::size_t n);
    void last(std::size_t n);
    // The locator: the rows from the first person whose last name (address)
    // sorts at or after text, letter case ignored; when fewer than n follow,
    // rows before it fill the list. Gives the index of that person's row
    // (rows().size() when none sorts at or after text).
    std::size_t locate(std::string_view text, std::size_t n);

    // Reads up to n rows after the last row (before the first) and drops as
    // many from the other end as the capacity asks. A row another program
    // deleted meanwhile is passed over, one it added is met in its place.
    struct Shift {
        std::size_t added = 0;
        std::size_t dropped = 0;
    };
    Shift forward(std::size_t n);
    Shift backward(std::size_t n);

    // Reads the rows held again from the first row's place (the first row
    // itself, or the next one when it was deleted), so that names and counts
    // another program changed are shown as they stand now.
    void refresh();

private:
    Shift move(bool ahead, std::size_t n);
    bool readNext(PersonRow& row);
    bool readPrevious(PersonRow& row);
    void fillForward(std::size_t n);

    Session& s_;
    PersonOrder order_;
    std::size_t capacity_;
    std::deque<PersonRow> rows_;
    bool atStart_ = true;
    bool atEnd_ = true;
};

}  // namespace quill
