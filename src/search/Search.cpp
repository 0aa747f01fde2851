#include "search/Search.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "database/Calendar.h"
#include "database/Common.h"
#include "database/RecordStore.h"
#include "people/Address.h"
#include "people/Threads.h"
#include "search/IndexStore.h"
#include "search/WordIndex.h"

namespace quill {

// ---------------------------------------------------------------------------
// Query text

namespace {

// Reads one token: a bare run up to a blank, or a quoted run; prefix:"..."
// keeps its quotes inside the value.
struct Token {
    std::string text;
    bool quoted = false;
    bool negate = false;
    std::string field;  // "FROM", "TO", "SUBJECT", "DATE" or empty
};

std::vector<Token> tokenize(std::string_view q, std::string& error) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < q.size()) {
        while (i < q.size() && (q[i] == ' ' || q[i] == '\t')) ++i;
        if (i >= q.size()) break;
        Token t;
        if (q[i] == '-' && i + 1 < q.size() && q[i + 1] != ' ') {
            t.negate = true;
            ++i;
        }
        // A field prefix.
        std::size_t colon = i;
        while (colon < q.size() && q[colon] != ' ' && q[colon] != ':' && q[colon] != '"') ++colon;
        if (colon < q.size() && q[colon] == ':') {
            std::string name = upper1252(q.substr(i, colon - i));
            if (name == "FROM" || name == "TO" || name == "SUBJECT" || name == "DATE") {
                t.field = name;
                i = colon + 1;
            }
        }
        if (i < q.size() && q[i] == '"') {
            std::size_t close = q.find('"', i + 1);
            if (close == std::string_view::npos) {
                error = "A quoted phrase is not closed.";
                return {};
            }
            t.text = std::string(q.substr(i + 1, close - i - 1));
            t.quoted = true;
            i = close + 1;
        } else {
            std::size_t end = i;
            while (end < q.size() && q[end] != ' ' && q[end] != '\t') ++end;
            t.text = std::string(q.substr(i, end - i));
            i = end;
        }
        out.push_back(std::move(t));
    }
    return out;
}

bool parseDatePart(std::string_view v, bool upper, int32_t& day) {
    if (v.empty()) {
        day = 0;
        return true;
    }
    int parts[3] = {0, 0, 0};
    int n = 0;
    std::size_t i = 0;
    while (i <= v.size() && n < 3) {
        std::size_t e = v.find('-', i);
        if (e == std::string_view::npos) e = v.size();
        std::string_view p = v.substr(i, e - i);
        if (p.empty() || p.size() > 4) return false;
        int x = 0;
        for (char ch : p) {
            if (ch < '0' || ch > '9') return false;
            x = x * 10 + (ch - '0');
        }
        parts[n++] = x;
        i = e + 1;
        if (e == v.size()) break;
    }
    if (i < v.size() + 1 && n == 3 && i <= v.size()) return false;
    int y = parts[0], m = parts[1], d = parts[2];
    if (y < 1801 || y > 9999 || (n >= 2 && (m < 1 || m > 12))) return false;
    if (n == 1) m = upper ? 12 : 1;
    if (n <= 2) d = upper ? daysInMonth(y, m) : 1;
    if (d < 1 || d > daysInMonth(y, m)) return false;
    day = dateFromYmd(y, m, d);
    return day > 0;
}

}  // namespace

std::vector<std::string> Query::hitWords() const {
    std::vector<std::string> v;
    for (auto& g : groups)
        for (auto& t : g)
            if (t.kind == QueryTerm::Kind::Words && !t.negate)
                for (auto& w : t.words)
                    if (std::find(v.begin(), v.end(), w) == v.end()) v.push_back(w);
    return v;
}

Query parseQuery(std::string_view text, const WordTables& tables) {
    Query q;
    auto tokens = tokenize(text, q.error);
    if (!q.error.empty()) return q;
    bool joinNext = false;
    for (auto& tk : tokens) {
        if (!tk.quoted && tk.field.empty() && !tk.negate && tk.text == "OR") {
            if (q.groups.empty() || joinNext) {
                q.error = "OR must stand between two terms.";
                return q;
            }
            joinNext = true;
            continue;
        }
        QueryTerm t;
        t.negate = tk.negate;
        if (tk.field.empty()) {
            t.kind = QueryTerm::Kind::Words;
            t.words = wordsOf(tk.text, tables);
            // A bare word that breaks into several words ("e-mail") is a phrase.
            t.phrase = tk.quoted || t.words.size() > 1;
            if (t.words.empty()) {
                if (joinNext) {
                    q.error = "OR must stand between two terms.";
                    return q;
                }
                continue;
            }
        } else if (tk.field == "DATE") {
            t.kind = QueryTerm::Kind::Date;
            std::string_view v = tk.text;
            std::size_t dots = v.find("..");
            bool ok = dots == std::string_view::npos
                          ? parseDatePart(v, false, t.fromDay) && parseDatePart(v, true, t.toDay) && !v.empty()
                          : parseDatePart(v.substr(0, dots), false, t.fromDay) &&
                                parseDatePart(v.substr(dots + 2), true, t.toDay);
            if (!ok) {
                q.error = "The date range '" + tk.text + "' is not understood (use YYYY-MM-DD..YYYY-MM-DD).";
                return q;
            }
        } else {
            t.kind = tk.field == "FROM" ? QueryTerm::Kind::From
                     : tk.field == "TO" ? QueryTerm::Kind::To
                                        : QueryTerm::Kind::Subject;
            t.text = upper1252(tk.text);
            if (t.text.empty()) {
                q.error = "'" + tk.field + ":' needs a text.";
                return q;
            }
        }
        if (joinNext) q.groups.back().push_back(std::move(t));
        else q.groups.push_back({std::move(t)});
        joinNext = false;
    }
    if (joinNext) q.error = "OR must stand between two terms.";
    if (q.error.empty() && q.groups.empty()) q.error = "The search string holds no word to search for.";
    return q;
}

// ---------------------------------------------------------------------------
// Message headers

namespace {

struct Header {
    bool exists = false;
    int32_t date = 0, time = 0;
    std::string from, to, subject;  // upper case: names and addresses
};

class HeaderReader {
public:
    explicit HeaderReader(Session& s) : s_(s), mail_(s.Mem.ForumType == TypeMail) {
        files_ = mail_ ? std::vector<int>{MailFile::Number, PersonFile::Number}
                       : std::vector<int>{MsgNmbrFile::Number, PersonFile::Number, ThreadsFile::Number};
        for (int n : files_) OP_CLOSE(s_, OpOpenShared, {n});
    }
    ~HeaderReader() {
        for (int n : files_) OP_CLOSE(s_, OpClose, {n});
    }
    bool mail() const { return mail_; }
    // The record files it reads.
    std::vector<RecordFile*> files(Session& s) const {
        if (mail_) return {&s.Mail, &s.Person};
        return {&s.MsgNmbr, &s.Person, &s.Threads};
    }
    // Fetches the message into its record buffer; false when it is gone.
    bool fetch(uint32_t id) {
        if (mail_) {
            s_.Mail.clearBuffer();
            s_.MAI.MAILID = id;
            return bool(s_.Mail.get(MailFile::IDKEY));
        }
        s_.MsgNmbr.clearBuffer();
        s_.MSG.MSGNUMBER = id;
        return bool(s_.MsgNmbr.get(MsgNmbrFile::IDKEY));
    }
    std::string person(uint32_t id, bool display) {
        auto& cache = display ? display_ : search_;
        auto it = cache.find(id);
        if (it != cache.end()) return it->second;
        std::string v;
        s_.Person.clearBuffer();
        s_.PER.PERSONID = id;
        if (id != 0 && s_.Person.get(PersonFile::PERSONKEY)) {
            std::string name = personDisplayName(s_.PER.LASTNAME.view(), s_.PER.FIRSTNAME.view());
            std::string addr = s_.PER.ADDRESS.str();
            if (display) v = addr.empty() ? name : name.empty() ? "<" + addr + ">" : name + " <" + addr + ">";
            else v = upper1252(name + " " + addr + " " + s_.PER.PERSONSTRING.str());
        }
        return cache[id] = v;
    }
    std::string thread(uint32_t number) {
        auto it = threads_.find(number);
        if (it != threads_.end()) return it->second;
        return threads_[number] = threadHeading(s_, number);
    }
    // The header of a message; names and subject only when asked for.
    Header header(uint32_t id, bool full) {
        Header h;
        if (!fetch(id)) return h;
        h.exists = true;
        if (mail_) {
            h.date = s_.MAI.DATE;
            h.time = s_.MAI.TIME;
            if (!full) return h;
            h.from = person(s_.MAI.FROMID, false);
            h.to = person(s_.MAI.TOID, false);
            h.subject = upper1252(s_.MAI.SUBJECT.view());
        } else {
            h.date = s_.MSG.DATE;
            if (!full) return h;
            h.from = person(s_.MSG.FROMID, false);
            h.to = person(s_.MSG.TOID, false);
            h.subject = upper1252(thread(s_.MSG.THREADNUMBER));
        }
        return h;
    }

private:
    Session& s_;
    bool mail_;
    std::vector<int> files_;
    std::map<uint32_t, std::string> display_, search_, threads_;
};

std::vector<ResultLine> describeWith(HeaderReader& headers, Session& s, const std::vector<uint32_t>& ids) {
    std::vector<ResultLine> v;
    v.reserve(ids.size());
    // One read transaction over the batch: the file's lock and version are
    // checked once, not once per message, person and thread.
    ReadScope scope(headers.files(s));
    for (uint32_t id : ids) {
        ResultLine r;
        r.id = id;
        if (headers.fetch(id)) {
            r.exists = true;
            if (headers.mail()) {
                r.date = s.MAI.DATE;
                r.time = s.MAI.TIME;
                r.subject = s.MAI.SUBJECT.str();
                r.from = headers.person(s.MAI.FROMID, true);
            } else {
                r.date = s.MSG.DATE;
                uint32_t from = s.MSG.FROMID, thread = s.MSG.THREADNUMBER;
                r.subject = headers.thread(thread);
                r.from = headers.person(from, true);
            }
        }
        v.push_back(std::move(r));
    }
    return v;
}

std::string textOf(Session& s, uint32_t id) {
    s.MsgText.clearBuffer();
    s.TXT.MSGNUMBER = id;
    return s.MsgText.get(MsgTextFile::IDKEY) ? s.MsgText.memo : std::string();
}

bool hasPhrase(std::string_view text, const std::vector<std::string>& words, const WordTables& t) {
    std::vector<std::string> seen;
    bool found = false;
    std::size_t n = words.size();
    breakWords(text, t, [&](const WordHit& h) {
        if (found) return;
        seen.push_back(h.word);
        if (seen.size() > n) seen.erase(seen.begin());
        if (seen.size() == n && std::equal(seen.begin(), seen.end(), words.begin())) found = true;
    });
    return found;
}

std::vector<uint32_t> intersect(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    std::vector<uint32_t> r;
    r.reserve(std::min(a.size(), b.size()));
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// The engine

namespace {

struct TermState {
    const QueryTerm* term = nullptr;        // in the run's own query
    std::optional<std::vector<uint32_t>> set;  // a superset of the term's messages; none = all
    bool exact = false;                        // set holds exactly the term's messages
    bool allIndexed = true;                    // every word of the term is indexed
    // A negated single indexed word: the messages that hold it.
    std::optional<std::vector<uint32_t>> holders;
};

}  // namespace

struct Searcher::Impl {
    explicit Impl(Session& session) : s(session), headers(session) {
        settings = loadIndexSettings(s);
        tables = loadWordTables(s, settings.wordSet);
        stop = loadStopWords(s);
        OP_CLOSE(s, OpOpenShared, {MsgTextFile::Number});
        storeOpen = openIndexStore(s, store);
        searchOpen = openIndexFile(s, s.Search);
    }
    ~Impl() {
        OP_CLOSE(s, OpClose, {MsgTextFile::Number});
        if (searchOpen) (void)s.Search.close();
    }
    Session& s;
    HeaderReader headers;
    IndexSettings settings;
    WordTables tables;
    std::unordered_set<std::string> stop;
    IndexStore store;
    bool storeOpen = false, searchOpen = false;
};

Searcher::Searcher(Session& s) : impl_(std::make_unique<Impl>(s)) {}
Searcher::~Searcher() = default;

std::vector<ResultLine> Searcher::describe(const std::vector<uint32_t>& ids) {
    return describeWith(impl_->headers, impl_->s, ids);
}

SearchOutcome runSearch(Session& s, const std::string& text, int64_t scanLimit) {
    if (s.Mem.ForumNumber == 0) {
        SearchOutcome out;
        out.error = "No database is selected.";
        return out;
    }
    Searcher searcher(s);
    return searcher.run(text, scanLimit);
}

SearchOutcome Searcher::run(const std::string& text, int64_t scanLimit) {
    SearchRun r(*this, text, scanLimit);
    return r.runToEnd();
}

SearchOutcome Searcher::find(const std::string& text, int64_t scanLimit) {
    SearchRun r(*this, text, scanLimit, false);
    return r.runToEnd();
}

// ---------------------------------------------------------------------------
// The search as a step machine

namespace {

// Messages checked against the headers and texts per step, and message
// numbers gathered per step when every message is a candidate.
constexpr std::size_t kChecksPerStep = 256;
constexpr std::size_t kMessagesPerStep = 512;

}  // namespace

struct SearchRun::Impl {
    enum class Phase { Start, Words, Combine, All, Check, Write, Done };

    Impl(Searcher::Impl& engine, std::string query, int64_t scanLimit, bool write)
        : e(engine), s(engine.s), text(std::move(query)), limit(scanLimit), writeResult(write) {}

    Searcher::Impl& e;
    Session& s;
    std::string text;
    int64_t limit;
    bool writeResult;
    Phase phase = Phase::Start;
    State state = State::Running;
    SearchOutcome out;

    Query q;
    std::vector<std::vector<TermState>> groups;
    // The index words to read, one per step: group, term, word of the term.
    struct WordRef {
        std::size_t group, term, word;
    };
    std::vector<WordRef> words;
    std::size_t nextWord = 0;
    std::vector<bool> groupExact;
    bool needText = false, needHeader = false;
    std::vector<uint32_t> ids;  // candidates, ascending
    std::size_t nextId = 0;
    std::vector<uint32_t> kept;

    int64_t count = 0;      // index entries and messages scanned
    int64_t nextPause = 0;  // the count at which the run pauses next

    void fail(std::string why) {
        out.ok = false;
        out.error = std::move(why);
        phase = Phase::Done;
        state = State::Finished;
    }
    // Counts scanned entries; at the pause point the run waits for the
    // caller's resume or cancel.
    void scanned(int64_t n) {
        count += n;
        if (limit > 0 && count >= nextPause) state = State::Paused;
    }
    void start();
    void readWord();
    void combine();
    void gatherAll();
    void decide();
    void check();
    void finish(bool cancelled);
    std::vector<uint32_t> postingsOf(const std::string& w, bool& indexedWord) {
        indexedWord = !e.stop.count(w) && indexable(w, e.settings);
        if (!indexedWord) return {};
        IndexStore::Word found = e.store.findWord(w);
        if (found.id == 0) return {};
        return e.store.postings(found.id);
    }
    bool checkMessage(uint32_t id);
};

void SearchRun::Impl::start() {
    if (s.Mem.ForumNumber == 0) return fail("No database is selected.");
    q = parseQuery(text, e.tables);
    if (!q.error.empty()) return fail(q.error);
    out.hitWords = q.hitWords();
    if (limit <= 0) limit = e.settings.searchScanLimit;
    nextPause = limit;
    if (!e.storeOpen) return fail("The word index cannot be opened.");
    // Each term's superset comes from the index: a positive term reads all
    // its words, a negated single word the messages that hold it. Negated
    // phrases and the header terms are checked message by message.
    for (std::size_t g = 0; g < q.groups.size(); ++g) {
        std::vector<TermState> states;
        for (std::size_t t = 0; t < q.groups[g].size(); ++t) {
            const QueryTerm& term = q.groups[g][t];
            TermState st;
            st.term = &term;
            if (term.kind == QueryTerm::Kind::Words && (!term.negate || (!term.phrase && term.words.size() == 1)))
                for (std::size_t w = 0; w < term.words.size(); ++w) words.push_back({g, t, w});
            states.push_back(std::move(st));
        }
        groups.push_back(std::move(states));
    }
    phase = words.empty() ? Phase::Combine : Phase::Words;
}

void SearchRun::Impl::readWord() {
    const WordRef& ref = words[nextWord++];
    TermState& st = groups[ref.group][ref.term];
    const QueryTerm& term = *st.term;
    bool indexedWord = false;
    std::vector<uint32_t> list = postingsOf(term.words[ref.word], indexedWord);
    if (term.negate) {
        if (indexedWord) {
            st.holders = std::move(list);
            scanned(int64_t(st.holders->size()) + 1);
        }
    } else {
        if (!indexedWord) {
            st.allIndexed = false;
        } else {
            int64_t n = int64_t(list.size()) + 1;
            st.set = st.set ? intersect(*st.set, list) : std::move(list);
            scanned(n);
        }
        // A word that is never indexed (a stop word) leaves the term to the
        // text check when it stands in a phrase, and is ignored otherwise.
        if (ref.word + 1 == term.words.size()) st.exact = st.set && !term.phrase && st.allIndexed;
    }
    if (nextWord == words.size()) phase = Phase::Combine;
}

void SearchRun::Impl::combine() {
    // The candidates: the intersection of the groups' supersets.
    std::optional<std::vector<uint32_t>> cand;
    for (auto& g : groups) {
        std::optional<std::vector<uint32_t>> u;
        bool exact = true;
        for (auto& st : g) {
            if (!st.set) {
                u.reset();
                exact = false;
                break;
            }
            exact = exact && st.exact;
            if (!u) u = *st.set;
            else {
                std::vector<uint32_t> m;
                std::set_union(u->begin(), u->end(), st.set->begin(), st.set->end(), std::back_inserter(m));
                u = std::move(m);
            }
        }
        groupExact.push_back(exact && u.has_value());
        if (u) cand = cand ? intersect(*cand, *u) : std::move(*u);
    }
    if (!cand) {
        // No term narrows the search through the index: every message is a
        // candidate, gathered over the next steps.
        phase = Phase::All;
        return;
    }
    ids = std::move(*cand);
    decide();
}

void SearchRun::Impl::gatherAll() {
    // The numbers come from the small header records (a message is its
    // header; its text is read only if a term needs it), newest first as the
    // identifier key holds them. Each slice seeks afresh below the last
    // number taken; the list is turned ascending when it is complete.
    const bool mail = e.headers.mail();
    RecordFile& file = mail ? static_cast<RecordFile&>(s.Mail) : static_cast<RecordFile&>(s.MsgNmbr);
    auto number = [&]() -> uint32_t { return mail ? uint32_t(s.MAI.MAILID) : uint32_t(s.MSG.MSGNUMBER); };
    ReadScope scope({&file});
    file.clearBuffer();
    const uint32_t below = ids.empty() ? UINT32_MAX : ids.back() - 1;
    if (mail) s.MAI.MAILID = below;
    else s.MSG.MSGNUMBER = below;
    file.setFrom(mail ? MailFile::IDKEY : MsgNmbrFile::IDKEY);
    bool more = true;
    for (std::size_t n = 0; n < kMessagesPerStep && (more = bool(file.next())); ++n) ids.push_back(number());
    if (!more || (!ids.empty() && ids.back() == 0)) {
        std::reverse(ids.begin(), ids.end());
        decide();
    }
}

void SearchRun::Impl::decide() {
    // Checks that the index cannot answer: phrases, negations, fields, dates
    // and ignored words.
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        if (groupExact[gi]) continue;
        for (auto& st : groups[gi]) {
            if (st.term->kind == QueryTerm::Kind::Words)
                needText = needText || st.term->phrase || (st.term->negate && !st.holders);
            else needHeader = true;
        }
    }
    bool allExact = std::all_of(groupExact.begin(), groupExact.end(), [](bool x) { return x; });
    bool onlyIgnored = true;  // the inexact groups hold only ignored words
    for (std::size_t gi = 0; gi < groups.size(); ++gi)
        for (auto& st : groups[gi])
            if (!groupExact[gi] &&
                (st.term->kind != QueryTerm::Kind::Words || st.term->negate || st.term->phrase || st.set))
                onlyIgnored = false;
    if (allExact || (onlyIgnored && !needText && !needHeader)) {
        // The index answered the whole query.
        kept = std::move(ids);
        ids.clear();
        phase = Phase::Write;
    } else {
        phase = Phase::Check;
    }
}

bool SearchRun::Impl::checkMessage(uint32_t id) {
    Header h = e.headers.header(id, needHeader);
    if (!h.exists) return false;
    std::string body;
    bool haveBody = false;
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        if (groupExact[gi]) continue;
        bool any = false;
        for (auto& st : groups[gi]) {
            const QueryTerm& t = *st.term;
            bool m = false;
            switch (t.kind) {
                case QueryTerm::Kind::Words:
                    if (!t.phrase && !t.negate) {
                        m = st.set ? std::binary_search(st.set->begin(), st.set->end(), id) : true;
                    } else if (st.holders) {
                        m = std::binary_search(st.holders->begin(), st.holders->end(), id);
                    } else {
                        if (!haveBody) {
                            body = textOf(s, id);
                            haveBody = true;
                        }
                        auto [b, end] = indexedSpan(body, false);
                        std::string_view span = std::string_view(body).substr(b, end - b);
                        if (t.negate && !t.phrase && t.words.size() == 1) {
                            bool found = false;
                            breakWords(span, e.tables,
                                       [&](const WordHit& wh) { found = found || wh.word == t.words[0]; });
                            m = found;
                        } else {
                            m = hasPhrase(span, t.words, e.tables);
                        }
                    }
                    break;
                case QueryTerm::Kind::From: m = h.from.find(t.text) != std::string::npos; break;
                case QueryTerm::Kind::To: m = h.to.find(t.text) != std::string::npos; break;
                case QueryTerm::Kind::Subject: m = h.subject.find(t.text) != std::string::npos; break;
                case QueryTerm::Kind::Date:
                    m = h.date > 0 && (t.fromDay == 0 || h.date >= t.fromDay) && (t.toDay == 0 || h.date <= t.toDay);
                    break;
            }
            if (t.negate) m = !m;
            if (m) {
                any = true;
                break;
            }
        }
        if (!any) return false;
    }
    return true;
}

void SearchRun::Impl::check() {
    // One read transaction over the slice's headers and texts.
    std::vector<RecordFile*> files = e.headers.files(s);
    files.push_back(&s.MsgText);
    ReadScope scope(files);
    for (std::size_t n = 0; n < kChecksPerStep && nextId < ids.size() && state == State::Running; ++n) {
        uint32_t id = ids[nextId++];
        if (checkMessage(id)) kept.push_back(id);
        scanned(1);
    }
    if (nextId == ids.size()) phase = Phase::Write;
}

void SearchRun::Impl::finish(bool cancelled) {
    out.scanned = count;
    out.cancelled = cancelled;
    // In the order found, newest message number first (as the key word and
    // topic views list theirs); the user re-sorts by date or the other orders.
    if (cancelled) out.ids.clear();
    else out.ids.assign(kept.rbegin(), kept.rend());
    out.ok = true;
    // A stopped search leaves the result set empty.
    if (writeResult && !writeResultSet(s, out.ids)) {
        out.ok = false;
        out.error = "The result set cannot be written.";
    }
    phase = Phase::Done;
    state = State::Finished;
}

SearchRun::SearchRun(Searcher& searcher, std::string query, int64_t scanLimit, bool writeResult)
    : impl_(std::make_unique<Impl>(*searcher.impl_, std::move(query), scanLimit, writeResult)) {}

SearchRun::~SearchRun() = default;

SearchRun::State SearchRun::step() {
    Impl& r = *impl_;
    if (r.state != State::Running) return r.state;
    switch (r.phase) {
        case Impl::Phase::Start: r.start(); break;
        case Impl::Phase::Words: r.readWord(); break;
        case Impl::Phase::Combine: r.combine(); break;
        case Impl::Phase::All: r.gatherAll(); break;
        case Impl::Phase::Check: r.check(); break;
        case Impl::Phase::Write: r.finish(false); break;
        case Impl::Phase::Done: break;
    }
    return r.state;
}

void SearchRun::resume() {
    Impl& r = *impl_;
    if (r.state != State::Paused) return;
    // The next pause comes after another full limit of entries; a slice that
    // passed several pause points asks once.
    r.nextPause = (r.count / r.limit + 1) * r.limit;
    r.state = State::Running;
}

void SearchRun::cancel() {
    if (impl_->state == State::Finished) return;
    impl_->finish(true);
}

SearchRun::State SearchRun::state() const { return impl_->state; }

int64_t SearchRun::scanned() const { return impl_->count; }

int SearchRun::percent() const {
    const Impl& r = *impl_;
    using P = Impl::Phase;
    switch (r.phase) {
        case P::Start: return 0;
        case P::Words: return int(50 * r.nextWord / r.words.size());
        case P::Combine:
        case P::All: return 50;
        case P::Check: return 50 + int(50 * r.nextId / std::max<std::size_t>(r.ids.size(), 1));
        case P::Write: return 99;
        case P::Done: return 100;
    }
    return 0;
}

std::string SearchRun::pauseQuestion() const {
    return "The search has scanned " + std::to_string(impl_->count) +
           " index entries so far.|Do you want to continue searching?";
}

const SearchOutcome& SearchRun::outcome() const { return impl_->out; }

SearchOutcome SearchRun::runToEnd() {
    while (state() != State::Finished) {
        if (state() == State::Paused) {
            Button b = impl_->s.ask(pauseQuestion(), "Search", {Button::Yes, Button::No}, Button::Yes);
            if (b == Button::Yes) resume();
            else cancel();
        } else {
            (void)step();
        }
    }
    return impl_->out;
}

// ---------------------------------------------------------------------------
// The result set

std::vector<uint32_t> readResultSet(Session& s) {
    std::vector<uint32_t> v;
    if (!openIndexFile(s, s.Search)) return v;
    s.Search.set(SearchFile::SORTKEY);
    while (s.Search.next()) v.push_back(s.SEA.ID);
    (void)s.Search.close();
    return v;
}

bool writeResultSet(Session& s, const std::vector<uint32_t>& ids) {
    bool wasOpen = s.Search.isOpen();
    if (!openIndexFile(s, s.Search)) return false;
    // Emptied and refilled inside one transaction: another reader sees the
    // old set or the new one, and a failed write leaves the old set standing.
    if (!beginWrites(s, {&s.Search})) {
        if (!wasOpen) (void)s.Search.close();
        return false;
    }
    bool ok = bool(s.Search.empty());
    // The rows go in as one batch with their keys kept (dropping and
    // rebuilding the keys changes the file's schema, which costs more than
    // the key updates of a result set).
    if (ok) {
        Status st = s.Search.addMany(ids.size(), [&](std::size_t i) {
            s.Search.clearBuffer();
            s.SEA.SORT = uint32_t(i + 1);
            s.SEA.ID = ids[i];
        });
        if (!st) ok = reportWriteFailure(s, s.Search, UpdAdd, st.code(), UpdReportRollback);
    }
    if (ok) ok = bool(s.store.commit());
    if (!ok && s.store.inTransaction()) (void)s.store.rollback();
    if (!wasOpen) (void)s.Search.close();
    return ok;
}

std::string sortMenuText(uint8_t type, int current) {
    static const char* mail[] = {"Sort by date", "Sort by partner", "Sort by sender", "Sort by receiver", "Sort by subject"};
    static const char* forum[] = {"Sort by date", "Sort by thread", "Sort by section", "Sort by sender", "Sort by receiver"};
    std::string menu;
    for (int i = 0; i < 5; ++i) {
        if (i) menu += "|";
        if (i + 1 == current) menu += "+";
        menu += type == TypeMail ? mail[i] : forum[i];
    }
    return menu;
}

bool resortResultSet(Session& s, ResultSet& set, int order) {
    if (order == set.order || order < OrderDate || order > OrderFifth) return false;
    uint32_t remembered = set.current;
    // One sort key per message: the chosen fields in order, each as text
    // that compares the right way (numbers zero-padded, descending ones
    // inverted).
    auto num = [](uint32_t v) {
        char b[12];
        std::snprintf(b, sizeof b, "%010u", v);
        return std::string(b);
    };
    auto desc = [&](int32_t v) { return num(uint32_t(0x7FFFFFFF - v)); };
    auto txt = [](std::string_view v) {
        std::string u = upper1252(v);
        u.resize(std::max<std::size_t>(u.size(), 1), ' ');
        return u + '\x01';
    };
    std::vector<std::pair<std::string, uint32_t>> work;
    {
        HeaderReader headers(s);
        for (uint32_t id : set.ids) {
            if (!headers.fetch(id)) continue;
            std::string k;
            if (headers.mail()) {
                const MailRecord& m = s.MAI;
                std::string when = desc(m.DATE) + desc(m.TIME);
                switch (order) {
                    case OrderDate: k = when; break;
                    case OrderSecond: k = txt(m.PAIRALPHA.view()) + num(m.PAIRID) + when; break;
                    case OrderThird: k = txt(m.FROMALPHA.view()) + num(m.FROMID) + when; break;
                    case OrderFourth: k = txt(m.TOALPHA.view()) + num(m.TOID) + when; break;
                    default: k = txt(m.SUBJECT.view()) + when; break;
                }
            } else {
                const MsgNmbrRecord& m = s.MSG;
                std::string tail = desc(m.DATE) + num(m.MSGNUMBER);
                std::string thread = txt(m.THREADALPHA.view()) + num(m.THREADNUMBER);
                switch (order) {
                    case OrderDate: k = tail; break;
                    case OrderSecond: k = thread + tail; break;
                    case OrderThird: k = num(m.SECSYSID) + thread + tail; break;
                    case OrderFourth: k = txt(m.FROMALPHA.view()) + num(m.FROMID) + tail; break;
                    default: k = txt(m.TOALPHA.view()) + num(m.TOID) + tail; break;
                }
            }
            work.emplace_back(std::move(k), id);
        }
    }
    std::stable_sort(work.begin(), work.end(), [](auto& a, auto& b) { return a.first < b.first; });
    set.ids.clear();
    for (auto& w : work) set.ids.push_back(w.second);
    set.order = order;
    if (!writeResultSet(s, set.ids)) set.ids.clear();
    bool kept = std::find(set.ids.begin(), set.ids.end(), remembered) != set.ids.end();
    set.current = kept ? remembered : set.ids.empty() ? 0 : set.ids.front();
    return true;
}

// ---------------------------------------------------------------------------
// Browse views

std::vector<uint32_t> wordView(Session& s, const std::string& word) {
    IndexStore store;
    if (!openIndexStore(s, store)) return {};
    IndexStore::Word w = store.findWord(upper1252(word));
    return w.id ? store.postings(w.id) : std::vector<uint32_t>{};
}

std::vector<uint32_t> codeView(Session& s, uint32_t codeId) {
    std::vector<uint32_t> v;
    OP_CLOSE(s, OpOpenShared, {SIndexFile::Number});
    s.SIndex.clearBuffer();
    s.SIN.ID = codeId;
    s.SIN.MSGNUMBER = 0xFFFFFFFFu;
    s.SIndex.setFrom(SIndexFile::IDKEY);
    while (s.SIndex.next() && uint32_t(s.SIN.ID) == codeId) v.push_back(s.SIN.MSGNUMBER);
    OP_CLOSE(s, OpClose, {SIndexFile::Number});
    return v;
}

ResultLine describeMessage(Session& s, uint32_t id) { return describeMessages(s, {id}).front(); }

std::vector<ResultLine> describeMessages(Session& s, const std::vector<uint32_t>& ids) {
    HeaderReader headers(s);
    return describeWith(headers, s, ids);
}

// ---------------------------------------------------------------------------
// Hits

std::vector<Hit> hitList(std::string_view text, const std::vector<std::string>& words, const WordTables& t) {
    std::vector<Hit> v;
    if (words.empty()) return v;
    std::unordered_set<std::string> want(words.begin(), words.end());
    breakWords(text, t, [&](const WordHit& h) {
        if (want.count(h.word)) v.push_back({h.start, h.end});
    });
    return v;
}

void HitPane::select(std::size_t i) {
    const Hit& h = hits[i];
    pages.show(pages.span(h.start, h.end).page);
    selStart = h.start;
    selEnd = h.end;
    previousEnabled = i > 0;
    nextEnabled = i + 1 < hits.size();
}

void HitPane::show(TextPages text, std::vector<Hit> list, bool hitView) {
    pages = std::move(text);
    hits = hitView ? std::move(list) : std::vector<Hit>{};
    selStart = selEnd = 0;
    previousEnabled = nextEnabled = false;
    if (!hits.empty()) select(0);
}

PageSpan HitPane::shownSelection() const {
    PageSpan s = pages.span(selStart, selEnd);
    if (s.page != pages.current()) return {pages.current(), 0, 0};
    return s;
}

void HitPane::takeSelection(std::size_t from, std::size_t to) {
    selStart = pages.textAt(pages.current(), from);
    selEnd = pages.textAt(pages.current(), to);
}

bool HitPane::nextHit() {
    for (std::size_t i = 0; i < hits.size(); ++i) {
        if (hits[i].start < selStart) continue;
        if (hits[i].start == selStart && hits[i].end == selEnd) continue;
        select(i);
        return true;
    }
    nextEnabled = false;
    return false;
}

bool HitPane::previousHit() {
    for (std::size_t i = hits.size(); i-- > 0;) {
        if (hits[i].start > selStart) continue;
        if (hits[i].start == selStart && hits[i].end == selEnd) continue;
        select(i);
        return true;
    }
    previousEnabled = false;
    return false;
}

}  // namespace quill
