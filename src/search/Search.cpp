#include "search/Search.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "database/Calendar.h"
#include "database/Common.h"
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
    const QueryTerm* term = nullptr;
    std::optional<std::vector<uint32_t>> set;  // a superset of the term's messages; none = all
    bool exact = false;                        // set holds exactly the term's messages
    // A negated single indexed word: the messages that hold it.
    std::optional<std::vector<uint32_t>> holders;
};

class Engine {
public:
    Engine(Session& s, int64_t limit) : s_(s), limit_(limit) {}

    // Counts scanned entries and pauses at every limit; false when the user
    // said no.
    bool scanned(int64_t n) {
        count_ += n;
        while (limit_ > 0 && count_ >= nextPause_) {
            nextPause_ += limit_;
            Button b = s_.ask("The search has scanned " + std::to_string(count_) +
                                  " index entries so far.|Do you want to continue searching?",
                              "Search", {Button::Yes, Button::No}, Button::Yes);
            if (b != Button::Yes) return false;
        }
        return true;
    }
    int64_t count() const { return count_; }
    void start() { nextPause_ = limit_; }

private:
    Session& s_;
    int64_t limit_;
    int64_t count_ = 0;
    int64_t nextPause_ = 0;
};

std::vector<uint32_t> allMessages(Session& s) {
    std::vector<uint32_t> v;
    OP_CLOSE(s, OpOpenShared, {MsgTextFile::Number});
    s.MsgText.set(MsgTextFile::IDKEY);
    while (s.MsgText.next()) v.push_back(s.TXT.MSGNUMBER);
    OP_CLOSE(s, OpClose, {MsgTextFile::Number});
    return v;
}

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
    SearchOutcome out = find(text, scanLimit);
    if (!out.error.empty()) return out;
    // A stopped search leaves the result set empty.
    out.ok = writeResultSet(impl_->s, out.cancelled ? std::vector<uint32_t>{} : out.ids);
    if (!out.ok) out.error = "The result set cannot be written.";
    return out;
}

SearchOutcome Searcher::find(const std::string& text, int64_t scanLimit) {
    Session& s = impl_->s;
    const IndexSettings& settings = impl_->settings;
    const WordTables& tables = impl_->tables;
    IndexStore& store = impl_->store;
    const auto& stop = impl_->stop;
    SearchOutcome out;
    if (s.Mem.ForumNumber == 0) {
        out.error = "No database is selected.";
        return out;
    }
    Query q = parseQuery(text, tables);
    if (!q.error.empty()) {
        out.error = q.error;
        return out;
    }
    out.hitWords = q.hitWords();
    if (scanLimit <= 0) scanLimit = settings.searchScanLimit;
    Engine engine(s, scanLimit);
    engine.start();
    if (!impl_->storeOpen) {
        out.error = "The word index cannot be opened.";
        return out;
    }
    auto postingsOf = [&](const std::string& w, bool& indexedWord) -> std::vector<uint32_t> {
        indexedWord = !stop.count(w) && indexable(w, settings);
        if (!indexedWord) return {};
        IndexStore::Word found = store.findWord(w);
        if (found.id == 0) return {};
        return store.postings(found.id);
    };

    // Each term's superset from the index.
    std::vector<std::vector<TermState>> groups;
    bool go = true;
    for (auto& g : q.groups) {
        std::vector<TermState> states;
        for (auto& t : g) {
            TermState st;
            st.term = &t;
            if (t.kind == QueryTerm::Kind::Words && t.negate && !t.phrase && t.words.size() == 1) {
                bool indexedWord = false;
                auto list = postingsOf(t.words[0], indexedWord);
                if (indexedWord) {
                    go = go && engine.scanned(int64_t(list.size()) + 1);
                    st.holders = std::move(list);
                }
            } else if (t.kind == QueryTerm::Kind::Words && !t.negate) {
                std::optional<std::vector<uint32_t>> acc;
                bool allIndexed = true;
                for (auto& w : t.words) {
                    bool indexedWord = false;
                    auto list = postingsOf(w, indexedWord);
                    if (!indexedWord) {
                        allIndexed = false;
                        continue;
                    }
                    go = go && engine.scanned(int64_t(list.size()) + 1);
                    acc = acc ? intersect(*acc, list) : std::move(list);
                }
                st.set = std::move(acc);
                st.exact = st.set && !t.phrase && allIndexed;
                // A lone word that is never indexed (a stop word) is ignored.
                if (!t.phrase && !allIndexed) st.exact = false;
            }
            states.push_back(std::move(st));
        }
        groups.push_back(std::move(states));
    }
    if (!go) {
        out.cancelled = true;
        out.scanned = engine.count();
        out.ids.clear();
        out.ok = true;
        return out;
    }

    // The candidates: the intersection of the groups' supersets.
    std::optional<std::vector<uint32_t>> cand;
    std::vector<bool> groupExact;
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
    std::vector<uint32_t> ids = cand ? std::move(*cand) : allMessages(s);

    // Checks that the index cannot answer: phrases, negations, fields, dates
    // and ignored words.
    bool needText = false, needHeader = false;
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        if (groupExact[gi]) continue;
        for (auto& st : groups[gi]) {
            if (st.term->kind == QueryTerm::Kind::Words)
                needText = needText || st.term->phrase || (st.term->negate && !st.holders);
            else needHeader = true;
        }
    }
    std::vector<uint32_t> kept;
    bool allExact = std::all_of(groupExact.begin(), groupExact.end(), [](bool e) { return e; });
    bool onlyIgnored = true;  // the inexact groups hold only ignored words
    for (std::size_t gi = 0; gi < groups.size(); ++gi)
        for (auto& st : groups[gi])
            if (!groupExact[gi] && (st.term->kind != QueryTerm::Kind::Words || st.term->negate || st.term->phrase ||
                                    st.set))
                onlyIgnored = false;
    if (allExact || (onlyIgnored && !needText && !needHeader)) {
        // The index answered the whole query.
        kept = std::move(ids);
    } else {
        HeaderReader& headers = impl_->headers;
        for (uint32_t id : ids) {
            if (!engine.scanned(1)) {
                go = false;
                break;
            }
            Header h = headers.header(id, needHeader);
            if (!h.exists) continue;
            std::string body;
            bool haveBody = false;
            bool pass = true;
            for (std::size_t gi = 0; pass && gi < groups.size(); ++gi) {
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
                                auto [b, e] = indexedSpan(body, false);
                                std::string_view span = std::string_view(body).substr(b, e - b);
                                if (t.negate && !t.phrase && t.words.size() == 1) {
                                    bool found = false;
                                    breakWords(span, tables, [&](const WordHit& wh) { found = found || wh.word == t.words[0]; });
                                    m = found;
                                } else {
                                    m = hasPhrase(span, t.words, tables);
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
                pass = any;
            }
            if (pass) kept.push_back(id);
        }
    }
    out.scanned = engine.count();
    if (!go) {
        out.cancelled = true;
        out.ids.clear();
        out.ok = true;
        return out;
    }
    // In the order found, newest message number first (as the key word and
    // topic views list theirs); the user re-sorts by date or the other orders.
    out.ids.assign(kept.rbegin(), kept.rend());
    out.ok = true;
    return out;
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
    // Rows are added with their keys kept: dropping and rebuilding the keys
    // changes the file's schema, which costs more than the key updates of
    // a result set.
    for (std::size_t i = 0; ok && i < ids.size(); ++i) {
        s.Search.clearBuffer();
        s.SEA.SORT = uint32_t(i + 1);
        s.SEA.ID = ids[i];
        ok = UppDat(s, s.Search, UpdAdd, UpdReportRollback);
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
