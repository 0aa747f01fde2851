// The word search over the selected database: the query language, the
// engine that combines the posting lists of the word index, the result set
// file (Search) with its re-sorting, the browse views of the word index, the
// key words and topics and the result set, and the hit list of a shown text
// with its navigation.
//
// Query language (case never matters):
//   word word          every word must occur (AND)
//   "a phrase"         the words must stand together, in this order
//   a OR b             either term; OR binds tighter than the blank
//   -word, -"phrase"   the term must not occur
//   from:TEXT          the sender's name or address contains TEXT
//   to:TEXT            the receiver's name or address contains TEXT
//   subject:TEXT       the subject (thread heading) contains TEXT
//   date:FROM..TO      the message date lies in the range; FROM or TO may be
//                      left out; each is YYYY, YYYY-MM or YYYY-MM-DD, and a
//                      single date:VALUE is that whole year, month or day
// TEXT may be quoted ("from:"John Smith""); words that are stop words or
// otherwise not indexed are ignored, except inside phrases.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/TextPages.h"
#include "database/Session.h"
#include "search/WordBreak.h"

namespace quill {

struct QueryTerm {
    enum class Kind { Words, From, To, Subject, Date } kind = Kind::Words;
    bool negate = false;
    bool phrase = false;                // quoted: the words must be adjacent
    std::vector<std::string> words;     // Words: the term's words in indexed form
    std::string text;                   // From, To, Subject: upper-case text to find
    int32_t fromDay = 0, toDay = 0;     // Date: inclusive day numbers, 0 = open
};

struct Query {
    // AND of groups, each an OR of terms.
    std::vector<std::vector<QueryTerm>> groups;
    std::string error;                  // non-empty when the text could not be read
    // Every word the hit list marks (the positive word terms).
    std::vector<std::string> hitWords() const;
};

Query parseQuery(std::string_view text, const WordTables& tables);

struct SearchOutcome {
    bool ok = false;
    bool cancelled = false;             // the user stopped it at a pause
    std::string error;
    std::vector<uint32_t> ids;          // the result set in SEA:SORT order
    int64_t scanned = 0;                // index entries and messages examined
    std::vector<std::string> hitWords;
};

// Runs a query on the selected database and writes the result set (emptied
// first; SEA:SORT from 1 in the order found: newest message number first).
// After every scanLimit scanned entries (0: the preference) the user is
// asked whether to go on; a No stops the search and leaves the result set
// empty.
SearchOutcome runSearch(Session& s, const std::string& query, int64_t scanLimit = 0);

struct ResultLine;
class SearchRun;

// A search window's engine: the word index, the settings, the stop words and
// the message files stay open while it lives, so that each search reads only
// what the query needs.
class Searcher {
public:
    explicit Searcher(Session& s);
    ~Searcher();
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;
    // The search with its result set written (runSearch).
    SearchOutcome run(const std::string& query, int64_t scanLimit = 0);
    // The same without writing the result set.
    SearchOutcome find(const std::string& query, int64_t scanLimit = 0);
    std::vector<ResultLine> describe(const std::vector<uint32_t>& ids);

private:
    friend class SearchRun;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One search as a step machine over a Searcher: step() does one bounded
// slice (the postings of one index word, the candidate list, or a slice of
// messages checked against their headers and texts) and returns, so that a
// window's timer, the command line's loop or a test drives it. When the
// scanned index entries and messages reach the scan limit (0: the
// preference) it pauses: the caller asks the user (pauseQuestion()) and
// calls resume() or cancel(); the next pause comes after another limit.
// At the end the result set is written (unless writeResult is false);
// cancel() ends the run at once with an empty one. The searcher must
// outlive the run.
class SearchRun {
public:
    enum class State { Running, Paused, Finished };

    SearchRun(Searcher& searcher, std::string query, int64_t scanLimit = 0, bool writeResult = true);
    ~SearchRun();
    SearchRun(const SearchRun&) = delete;
    SearchRun& operator=(const SearchRun&) = delete;

    // One slice; nothing while paused or finished. Returns the state after it.
    State step();
    void resume();
    void cancel();
    State state() const;
    bool paused() const { return state() == State::Paused; }
    bool finished() const { return state() == State::Finished; }
    int64_t scanned() const;
    // The share of the work done, 0 to 100.
    int percent() const;
    // The question a pause asks (caption "Search", Yes goes on).
    std::string pauseQuestion() const;
    // Complete once finished: the hits, or the error, or cancelled.
    const SearchOutcome& outcome() const;
    // Steps to the end, asking the session's user at every pause.
    SearchOutcome runToEnd();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The result set as stored, in SEA:SORT order.
std::vector<uint32_t> readResultSet(Session& s);
// Rewrites the result set with ids in this order (ids must be distinct).
[[nodiscard]] bool writeResultSet(Session& s, const std::vector<uint32_t>& ids);

// Sort orders of the result set view: the menu positions 1 to 5 ("Sort by
// date|Sort by partner|Sort by sender|Sort by receiver|Sort by subject" in
// Mail databases, "Sort by date|Sort by thread|Sort by section|Sort by
// sender|Sort by receiver" in the others).
// OrderFound is the order the search wrote (no menu choice is current).
enum SearchOrder : int { OrderFound = 0, OrderDate = 1, OrderSecond, OrderThird, OrderFourth, OrderFifth };
std::string sortMenuText(uint8_t databaseType, int currentOrder);

// The result set view's list and its current order.
struct ResultSet {
    std::vector<uint32_t> ids;
    int order = OrderFound;
    uint32_t current = 0;   // the message current in the view
};
// Re-sorts: messages that no longer exist are dropped, the rest is written
// to Search numbered from 1, the current message is kept (else the first).
// Choosing the current order does nothing and returns false.
bool resortResultSet(Session& s, ResultSet& set, int order);

// The browse views: the messages of one indexed word (MAS:BY_WORDID), of one
// key word or topic (SIN:IDKEY, newest number first), and of the result set.
std::vector<uint32_t> wordView(Session& s, const std::string& word);
std::vector<uint32_t> codeView(Session& s, uint32_t codeId);

// One line of a result listing.
struct ResultLine {
    uint32_t id = 0;
    int32_t date = 0, time = 0;
    std::string from, subject;  // Windows-1252
    bool exists = false;
};
ResultLine describeMessage(Session& s, uint32_t id);
// The lines of many messages, reading each person and thread once.
std::vector<ResultLine> describeMessages(Session& s, const std::vector<uint32_t>& ids);

// Hits: every occurrence of a searched word in a text, in text order.
struct Hit {
    std::size_t start = 0, end = 0;
    bool operator==(const Hit&) const = default;
};
std::vector<Hit> hitList(std::string_view text, const std::vector<std::string>& words, const WordTables& tables);

// The text pane's hit navigation over the pages of the shown text. The hits
// and the selection are text positions; the page shown follows the selected
// hit, which is selected where it shows on its page.
struct HitPane {
    TextPages pages;
    std::vector<Hit> hits;
    std::size_t selStart = 0, selEnd = 0;
    bool previousEnabled = false, nextEnabled = false;

    // A text is shown from its first page: in the word and result set views
    // the first hit is selected at once (its page shown); in other views the
    // list is emptied.
    void show(TextPages text, std::vector<Hit> list, bool hitView);
    // Nothing shown.
    void clear() { show(TextPages(), {}, false); }
    // "Next hit" and "Previous hit": false (and that button disabled) when
    // there is none in that direction; the selection then stays.
    bool nextHit();
    bool previousHit();
    // The selection as shown on the page shown (an empty span when it lies
    // on another page: nothing is selected there).
    PageSpan shownSelection() const;
    // A selection the user made on the page shown, in shown positions; the
    // next move to a hit starts from it.
    void takeSelection(std::size_t from, std::size_t to);

private:
    void select(std::size_t index);
};

}  // namespace quill
