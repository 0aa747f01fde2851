#include "search/WordIndex.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#include "database/Common.h"
#include "search/ScratchFiles.h"

namespace quill {

namespace {

std::string dirOf(const std::string& path) {
    auto p = path.find_last_of('/');
    return p == std::string::npos ? std::string(".") : path.substr(0, p);
}

// Keeps the message files of a run open while it lives.
void openTexts(Session& s) { OP_CLOSE(s, OpOpenShared, {MsgTextFile::Number}); }
void closeTexts(Session& s) { OP_CLOSE(s, OpClose, {MsgTextFile::Number}); }

}  // namespace

bool openIndexFile(Session& s, RecordFile& f) {
    if (f.isOpen()) return true;
    std::string name = buildName(s, f.number());
    std::error_code ec;
    std::filesystem::create_directories(dirOf(name), ec);
    // The result set is rebuilt by every search: its commits need not wait
    // for the disk.
    if (f.number() == SearchFile::Number) (void)markScratchFile(name);
    Status st = f.open();
    bool created = false;
    if (!st && (st.code() == FileNotFoundErr || (st.code() == BadRecErr && f.desc().alwaysRecreate))) {
        Status c = f.create();
        if (c) st = f.open();
        created = true;
    }
    if (!st) {
        s.tell("The file " + name + " cannot be opened.\r\nError no " + std::to_string(st.code()) + "\r\n" +
                   s.store.errorText(),
               "File Open Error");
        return false;
    }
    if (created && f.number() == StopWordsFile::Number) {
        (void)f.stream();
        for (const char* w : defaultStopWords()) {
            f.clearBuffer();
            s.STO.THEWORD = w;
            (void)f.add();
        }
        (void)f.flush();
    }
    return true;
}

bool openIndexStore(Session& s, IndexStore& store) {
    std::string name = buildName(s, MasIdxFile::Number);
    std::error_code ec;
    std::filesystem::create_directories(dirOf(name), ec);
    if (store.open(name)) return true;
    s.tell("The file " + name + " cannot be opened.\r\n" + store.error(), "File Open Error");
    return false;
}

const std::vector<const char*>& defaultStopWords() {
    static const std::vector<const char*> v = {
        "A", "ABOUT", "ABOVE", "AFTER", "AGAIN", "AGAINST", "ALL", "AM", "AN", "AND", "ANY", "ARE", "AS", "AT",
        "BE", "BECAUSE", "BEEN", "BEFORE", "BEING", "BELOW", "BETWEEN", "BOTH", "BUT", "BY", "CAN", "COULD", "DID",
        "DO", "DOES", "DOING", "DOWN", "DURING", "EACH", "FEW", "FOR", "FROM", "FURTHER", "HAD", "HAS", "HAVE",
        "HAVING", "HE", "HER", "HERE", "HERS", "HERSELF", "HIM", "HIMSELF", "HIS", "HOW", "I", "IF", "IN", "INTO",
        "IS", "IT", "IT'S", "ITS", "ITSELF", "JUST", "ME", "MORE", "MOST", "MY", "MYSELF", "NO", "NOR", "NOT", "NOW",
        "OF", "OFF", "ON", "ONCE", "ONLY", "OR", "OTHER", "OUR", "OURS", "OURSELVES", "OUT", "OVER", "OWN", "SAME",
        "SHE", "SHOULD", "SO", "SOME", "SUCH", "THAN", "THAT", "THE", "THEIR", "THEIRS", "THEM", "THEMSELVES", "THEN",
        "THERE", "THESE", "THEY", "THIS", "THOSE", "THROUGH", "TO", "TOO", "UNDER", "UNTIL", "UP", "VERY", "WAS",
        "WE", "WERE", "WHAT", "WHEN", "WHERE", "WHICH", "WHILE", "WHO", "WHOM", "WHY", "WILL", "WITH", "WOULD",
        "YOU", "YOUR", "YOURS", "YOURSELF", "YOURSELVES"};
    return v;
}

std::unordered_set<std::string> loadStopWords(Session& s) {
    std::unordered_set<std::string> v;
    if (!openIndexFile(s, s.StopWords)) {
        for (const char* w : defaultStopWords()) v.insert(w);
        return v;
    }
    s.StopWords.set(StopWordsFile::BY_THEWORD);
    while (s.StopWords.next()) v.insert(upper1252(s.STO.THEWORD.view()));
    (void)s.StopWords.close();
    return v;
}

bool addStopWords(Session& s, const std::vector<std::string>& words) {
    if (words.empty()) return true;
    if (!openIndexFile(s, s.StopWords)) return false;
    bool ok = beginWrites(s, {&s.StopWords});
    for (std::size_t i = 0; ok && i < words.size(); ++i) {
        s.StopWords.clearBuffer();
        s.STO.THEWORD = words[i];
        if (s.StopWords.get(StopWordsFile::BY_THEWORD)) continue;
        s.StopWords.clearBuffer();
        s.STO.THEWORD = words[i];
        ok = UppDat(s, s.StopWords, UpdAdd, UpdReportRollback);
    }
    if (ok) ok = bool(s.store.commit());
    (void)s.StopWords.close();
    return ok;
}

bool setIndexNeedsUpdate(Session& s, int32_t value) {
    OP_CLOSE(s, OpOpenShared, {ForumsFile::Number});
    s.Forums.clearBuffer();
    s.FOR.ID = s.Mem.ForumNumber;
    bool ok = HoldRec(s, s.Forums, ForumsFile::FORUMKEY, true, {}) == 1;
    if (ok) {
        s.FOR.WORDLISTINDEXNEEDSUPDATE = value;
        ok = UppDat(s, s.Forums, UpdPut, UpdReport);
        s.Forums.release();
    }
    OP_CLOSE(s, OpClose, {ForumsFile::Number});
    if (ok) s.Mem.WordListIndexNeedsUpdate = value;
    return ok;
}

bool mirrorWordList(Session& s, IndexStore& store) {
    if (!openIndexFile(s, s.WordList)) return false;
    auto words = store.words();
    // Emptied and refilled inside one write batch: another program sees the
    // old list or the new one.
    bool ok = bool(s.WordList.stream()) && bool(s.WordList.empty());
    for (std::size_t i = 0; ok && i < words.size(); ++i) {
        s.WordList.clearBuffer();
        s.WOR.WORDID = int32_t(words[i].id);
        s.WOR.THEWORD = words[i].word;
        s.WOR.WORDCOUNT = words[i].count;
        ok = bool(s.WordList.append());
    }
    ok = bool(s.WordList.flush()) && ok;
    ok = ok && bool(s.WordList.build());
    if (!ok) s.tell("The word list cannot be written.\r\n" + s.store.errorText(), "Word Indexing");
    (void)s.WordList.close();
    return ok && store.setMeta("wordlist", "current");
}

bool ensureWordList(Session& s) {
    IndexStore store;
    if (!openIndexStore(s, store)) return false;
    if (store.meta("wordlist") == "current") return true;
    return mirrorWordList(s, store);
}

// ---------------------------------------------------------------------------
// Word identifiers in memory

bool WordIds::same(const Slot& sl, std::string_view w) const {
    if (sl.length != w.size()) return false;
    if (w.size() > kInline) return std::memcmp(arena_.data() + sl.offset, w.data(), w.size()) == 0;
    // Most words are short: a byte loop beats a library call.
    for (std::size_t k = 0; k < w.size(); ++k)
        if (sl.text[k] != w[k]) return false;
    return true;
}

bool WordIds::sameShortPadded(const Slot& sl, std::string_view w) {
    // The slot holds a short word zero-padded; the bytes after the word are
    // masked off. Little-endian: the word's first byte is the lowest.
    uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, w.data(), 8);
    std::memcpy(&a1, w.data() + 8, 8);
    std::memcpy(&b0, sl.text, 8);
    std::memcpy(&b1, sl.text + 8, 8);
    std::size_t n = w.size();
    if (n < 8) {
        a0 &= (uint64_t(1) << (8 * n)) - 1;
        a1 = 0;
    } else if (n < 16) {
        a1 &= (uint64_t(1) << (8 * (n - 8))) - 1;
    }
    return a0 == b0 && a1 == b1;
}

uint32_t WordIds::findPadded(std::string_view w, uint32_t h) const {
    if (std::endian::native != std::endian::little || w.size() > kInline) return find(w, h);
    std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        const Slot& sl = slots_[i];
        if (sl.id == 0) return kMissing;
        if (sl.hash == h && sl.length == w.size() && sameShortPadded(sl, w)) return sl.id;
    }
}

uint32_t WordIds::find(std::string_view w, uint32_t h) const {
    std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        const Slot& sl = slots_[i];
        if (sl.id == 0) return kMissing;
        if (sl.hash == h && same(sl, w)) return sl.id;
    }
}

void WordIds::insert(std::string_view w, uint32_t h, uint32_t id) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    std::size_t mask = slots_.size() - 1;
    std::size_t i = h & mask;
    while (slots_[i].id != 0) i = (i + 1) & mask;
    Slot& sl = slots_[i];
    sl.hash = h;
    sl.id = id;
    sl.length = uint32_t(w.size());
    if (w.size() <= kInline) {
        std::memcpy(sl.text, w.data(), w.size());
    } else {
        sl.offset = uint32_t(arena_.size());
        arena_.append(w);
    }
    ++used_;
}

void WordIds::reserve(std::size_t n) {
    std::size_t slots = slots_.size();
    while (slots < n * 2) slots *= 2;
    if (slots > slots_.size()) rehash(slots);
}

void WordIds::rehash(std::size_t slots) {
    std::vector<Slot> old(slots);
    old.swap(slots_);
    std::size_t mask = slots_.size() - 1;
    for (const Slot& sl : old) {
        if (sl.id == 0) continue;
        std::size_t i = sl.hash & mask;
        while (slots_[i].id != 0) i = (i + 1) & mask;
        slots_[i] = sl;
    }
}

// ---------------------------------------------------------------------------
// The indexing run

WordIndexRun::WordIndexRun(Session& s, IndexMode mode) : s_(s), mode_(mode) {}

WordIndexRun::~WordIndexRun() {
    store_.rollback();
    store_.close();
    if (filesOpen_) closeTexts(s_);
    if (phase_ != Phase::Start) s_.IndexingInProgress = false;
}

void WordIndexRun::fail(const std::string& why) {
    failure_ = why;
    store_.rollback();
    phase_ = Phase::Done;
    s_.IndexingInProgress = false;
}

bool WordIndexRun::step() {
    switch (phase_) {
        case Phase::Start: start(); break;
        case Phase::Scan: scan(); break;
        case Phase::Finish: finish(); break;
        case Phase::Done: return false;
    }
    return phase_ != Phase::Done;
}

void WordIndexRun::start() {
    if (s_.Mem.ForumNumber == 0) return fail("No database is selected.");
    s_.IndexingInProgress = true;
    phase_ = Phase::Scan;
    if (!openIndexStore(s_, store_)) return fail("The word index cannot be opened: " + store_.error());
    openTexts(s_);
    filesOpen_ = true;
    total_ = s_.MsgText.records();
    textsAtStart_ = total_;
    report_.messages = total_;
    settings_ = loadIndexSettings(s_);
    tables_ = loadWordTables(s_, settings_.wordSet);
    skipTags_ = settings_.skipTagLines && s_.Mem.ForumType != TypeMail;
    if (mode_ == IndexMode::Recount) return recount();

    std::string sig = tables_.signature();
    if (mode_ == IndexMode::Partial && store_.meta("tables") != sig && store_.messageCount() > 0) {
        mode_ = IndexMode::Full;
        report_.fullForced = true;
    }
    // The index is in flux until the run ends: a run that dies half-way
    // leaves the out-of-date flag set.
    if (s_.Mem.WordListIndexNeedsUpdate == 0 && !setIndexNeedsUpdate(s_, 1))
        return fail("The database's index flag cannot be stored.");
    if (mode_ == IndexMode::Full) {
        if (!store_.recreate(buildName(s_, MasIdxFile::Number)) || !store_.setMeta("tables", sig))
            return fail("The word index cannot be emptied: " + store_.error());
    } else {
        if (!store_.setMeta("tables", sig)) return fail("The word index cannot be written: " + store_.error());
        // The messages not indexed yet, found through the small header
        // records; only their texts are read.
        std::vector<uint32_t> indexed = store_.indexedMessages();
        bool mail = s_.Mem.ForumType == TypeMail;
        int headers = mail ? MailFile::Number : MsgNmbrFile::Number;
        OP_CLOSE(s_, OpOpenShared, {headers});
        RecordFile& hf = mail ? static_cast<RecordFile&>(s_.Mail) : static_cast<RecordFile&>(s_.MsgNmbr);
        hf.set(0);
        while (hf.next()) {
            uint32_t id = mail ? uint32_t(s_.MAI.MAILID) : uint32_t(s_.MSG.MSGNUMBER);
            if (!std::binary_search(indexed.begin(), indexed.end(), id)) todo_.push_back(id);
        }
        OP_CLOSE(s_, OpClose, {headers});
        total_ = int64_t(todo_.size());
    }
    std::unordered_set<std::string> stopWords = loadStopWords(s_);
    counts_.assign(std::size_t(store_.maxWordId()) + 1, 0);
    ids_.reserve(counts_.size() + stopWords.size());
    (void)store_.eachWord([&](uint32_t id, std::string_view word, int32_t count) {
        if (id >= counts_.size()) counts_.resize(std::size_t(id) + 1, 0);
        counts_[id] = count;
        ids_.insert(word, id);
    });
    // A stop word that is also an indexed word (added to the stop words
    // since) is no longer indexed: its entry is turned into a stop entry.
    for (auto& st : stopWords)
        if (ids_.find(st) == WordIds::kMissing) ids_.insert(st, WordIds::kStopWord);
    storedCount_ = counts_;
    // A run that ended before its end step left the counts of the words it
    // met in earlier batches behind their postings: they are taken from the
    // postings then, and the end of this run writes them.
    if (store_.meta("counts") == "pending") {
        for (uint32_t id = 1; id < counts_.size(); ++id) counts_[id] = 0;
        for (auto& [id, n] : store_.postingCounts()) {
            if (id >= counts_.size()) continue;  // postings of a word that is gone
            counts_[id] = int32_t(n);
        }
    }
    // Until the end step the counts in the store may lag behind the postings.
    if (!store_.setMeta("counts", "pending")) return fail("The word index cannot be written: " + store_.error());
    firstNewId_ = uint32_t(counts_.size());
    inBatch_.assign(counts_.size(), 0);
    s_.MsgText.set(MsgTextFile::IDKEY);
}

uint32_t WordIndexRun::wordId(std::string_view w, uint32_t hash) {
    uint32_t id = ids_.findPadded(w, hash);
    if (id != WordIds::kMissing) return id;
    if (!indexable(w, settings_)) {
        ids_.insert(w, hash, WordIds::kStopWord);
        return WordIds::kStopWord;
    }
    id = uint32_t(counts_.size());
    counts_.push_back(0);
    storedCount_.push_back(0);
    inBatch_.push_back(0);
    newWords_.emplace_back(w);
    ids_.insert(w, hash, id);
    ++report_.newWords;
    return id;
}

void WordIndexRun::breakMessage(uint32_t sysid, std::string_view text, Chunk& c) {
    auto [b, e] = indexedSpan(text, skipTags_);
    // A word met again in the same message is dropped here, in a small table
    // that stays in the cache, so that the lookup sees each word of a
    // message once. A message with more distinct words than the table holds
    // hands the rest over as they come; the lookup counts them once anyway.
    if (++seenStamp_ == 0) {
        for (auto& sl : seenSlots_) sl.stamp = 0;
        seenStamp_ = 1;
    }
    std::size_t first = c.tokens.size(), distinct = 0;
    constexpr std::size_t mask = kSeenSlots - 1;
    forEachWordRef(text.substr(b, e - b), tables_, [&](const WordRef& h) {
        if (distinct < kSeenSlots / 2) {
            for (std::size_t i = h.hash & mask;; i = (i + 1) & mask) {
                SeenSlot& sl = seenSlots_[i];
                if (sl.stamp != seenStamp_) {
                    sl = {h.hash, uint32_t(c.tokens.size() - first), seenStamp_};
                    ++distinct;
                    break;
                }
                if (sl.hash == h.hash) {
                    const Token& t = c.tokens[first + sl.token];
                    if (std::string_view(c.text).substr(t.offset, t.length) == h.word) return;
                }
            }
        }
        c.tokens.push_back({uint32_t(c.text.size()), uint32_t(h.word.size()), h.hash});
        c.text.append(h.word);
    });
    c.messages.emplace_back(sysid, c.tokens.size());
}

bool WordIndexRun::takeChunk(Chunk& c) {
    c.text.append(WordIds::kPadding, '\0');
    std::size_t from = 0;
    for (auto& [sysid, end] : c.messages) {
        // The table slot of each word is fetched into the cache ahead of its
        // lookup: a lookup of a word that is not among the most common ones
        // waits for memory otherwise.
        for (std::size_t i = from; i < end; ++i) ids_.prefetch(c.tokens[i].hash);
        std::size_t first = msgWords_.size();
        // Each word is counted once per message: a stamp per word marks the
        // message that counted it last.
        ++messageSerial_;
        for (std::size_t i = from; i < end; ++i) {
            const Token& t = c.tokens[i];
            uint32_t id = wordId(std::string_view(c.text).substr(t.offset, t.length), t.hash);
            if (id == WordIds::kStopWord) continue;
            if (id >= seenIn_.size()) seenIn_.resize(std::max<std::size_t>(std::size_t(id) + 1, seenIn_.size() * 2), 0);
            if (seenIn_[id] == messageSerial_) continue;
            seenIn_[id] = messageSerial_;
            msgWords_.push_back(id);
        }
        from = end;
        for (std::size_t i = first; i < msgWords_.size(); ++i) {
            uint32_t id = msgWords_[i];
            if (inBatch_[id]++ == 0) touched_.push_back(id);
            ++counts_[id];
        }
        report_.postings += int64_t(msgWords_.size() - first);
        batchMsgs_.push_back({sysid, msgWords_.size()});
        ++report_.indexed;
        ++batchMessages_;
        if (batchMessages_ >= batchSize && !flushBatch()) return false;
    }
    return true;
}

bool WordIndexRun::passChunk() {
    if (!filling_ || filling_->messages.empty()) return true;
    // What the lookup throws (memory running out) fails the run rather
    // than the program.
    bool ok = false;
    try {
        ok = takeChunk(*filling_);
    } catch (const std::exception& e) {
        flushError_ = std::string("The word index cannot be built: ") + e.what();
        store_.rollback();
    }
    filling_->clear();
    if (!ok) fail(flushError_);
    return ok;
}

bool WordIndexRun::endReading() {
    if (!passChunk()) return false;
    if (!flushBatch()) {
        fail(flushError_);
        return false;
    }
    return true;
}

bool WordIndexRun::flushBatch() {
    if (batchMsgs_.empty() && newWords_.empty()) return true;
    // The batch's postings turned around, word by word: each word's messages
    // (by their place in the batch) get one stretch of byMessage_, laid out
    // in word order and filled in message order.
    std::sort(touched_.begin(), touched_.end());
    std::size_t at = 0;
    for (uint32_t w : touched_) {
        uint32_t n = inBatch_[w];
        inBatch_[w] = uint32_t(at);
        at += n;
    }
    byMessage_.resize(at);
    {
        std::size_t from = 0;
        for (std::size_t m = 0; m < batchMsgs_.size(); ++m) {
            for (std::size_t i = from; i < batchMsgs_[m].end; ++i) byMessage_[inBatch_[msgWords_[i]]++] = uint32_t(m);
            from = batchMsgs_[m].end;
        }
    }
    // And back again: walking the words in ascending order refills each
    // message's word list in ascending order, as it is stored, without a
    // sort per message.
    msgFill_.resize(batchMsgs_.size());
    for (std::size_t m = 0, from = 0; m < batchMsgs_.size(); from = batchMsgs_[m].end, ++m) msgFill_[m] = from;
    {
        std::size_t from = 0;
        for (uint32_t w : touched_) {
            std::size_t end = inBatch_[w];
            for (std::size_t i = from; i < end; ++i) msgWords_[msgFill_[byMessage_[i]]++] = w;
            from = end;
        }
    }
    for (uint32_t& m : byMessage_) m = batchMsgs_[m].sysid;
    bool ok = store_.begin();
    uint32_t id = firstNewId_;
    // New words go in with their counts so far (the end of the run writes
    // the counts that changed since), in the order of their text: the
    // index on the text then takes them in one sweep rather than at random
    // places.
    newOrder_.resize(newWords_.size());
    for (std::size_t i = 0; i < newOrder_.size(); ++i) newOrder_[i] = uint32_t(i);
    std::sort(newOrder_.begin(), newOrder_.end(), [&](uint32_t a, uint32_t b) { return newWords_[a] < newWords_[b]; });
    for (std::size_t k = 0; ok && k < newOrder_.size(); ++k) {
        uint32_t wid = id + newOrder_[k];
        ok = store_.addWord(wid, newWords_[newOrder_[k]], counts_[wid]);
        storedCount_[wid] = counts_[wid];
    }
    std::size_t start = 0;
    for (std::size_t i = 0; ok && i < touched_.size(); ++i) {
        // inBatch_ now holds the end of the word's stretch.
        std::size_t end = inBatch_[touched_[i]];
        // Messages come in ascending order, so a stretch is ascending; a
        // block must be, whatever order they came in.
        uint32_t* list = byMessage_.data();
        if (!std::is_sorted(list + start, list + end)) std::sort(list + start, list + end);
        ok = store_.addBlock(touched_[i], byMessage_.data() + start, end - start);
        start = end;
    }
    {
        std::size_t from = 0;
        for (std::size_t i = 0; ok && i < batchMsgs_.size(); ++i) {
            ok = store_.addMessage(batchMsgs_[i].sysid, msgWords_.data() + from, batchMsgs_[i].end - from);
            from = batchMsgs_[i].end;
        }
    }
    ok = ok && store_.commit();
    if (!ok) {
        flushError_ = "The word index cannot be written: " + store_.error();
        store_.rollback();
        return false;
    }
    for (uint32_t w : touched_) inBatch_[w] = 0;
    touched_.clear();
    batchMsgs_.clear();
    msgWords_.clear();
    newWords_.clear();
    firstNewId_ = uint32_t(counts_.size());
    batchMessages_ = 0;
    return true;
}

void WordIndexRun::scan() {
    if (!filling_) filling_ = std::make_unique<Chunk>();
    for (int n = 0; n < sliceSize; ++n) {
        uint32_t sysid = 0;
        if (mode_ == IndexMode::Partial) {
            if (std::size_t(processed_) >= todo_.size()) {
                if (endReading()) phase_ = Phase::Finish;
                return;
            }
            sysid = todo_[std::size_t(processed_++)];
            // New messages mostly stand together at the end: the texts are
            // read by a walk that goes on while it meets the next message
            // wanted, and seeks afresh after a gap.
            bool found = false;
            if (walking_ && s_.MsgText.next()) {
                found = uint32_t(s_.TXT.MSGNUMBER) == sysid;
                walking_ = found;
            } else {
                walking_ = false;
            }
            if (!found) {
                s_.MsgText.clearBuffer();
                s_.TXT.MSGNUMBER = sysid;
                s_.MsgText.setFrom(MsgTextFile::IDKEY);
                walking_ = bool(s_.MsgText.next());
                found = walking_ && uint32_t(s_.TXT.MSGNUMBER) == sysid;
                if (!found) {
                    // Its text is gone (another program purged it); the walk
                    // seeks again for the next one.
                    walking_ = false;
                    continue;
                }
            }
        } else {
            if (!s_.MsgText.next()) {
                if (endReading()) phase_ = Phase::Finish;
                return;
            }
            ++processed_;
            sysid = s_.TXT.MSGNUMBER;
        }
        breakMessage(sysid, s_.MsgText.memo, *filling_);
        if (filling_->messages.size() >= kChunkMessages && !passChunk()) return;
    }
    // The lookup gets what was read before the step returns.
    (void)passChunk();
}

void WordIndexRun::finish() {
    int64_t texts = s_.MsgText.records();
    closeTexts(s_);
    filesOpen_ = false;
    int64_t messages = store_.messageCount();
    // The 25 % rule: a word found in more than a quarter of the messages
    // says nothing about them. Small databases are left alone: in a handful
    // of messages every shared word would pass the mark.
    std::vector<uint32_t> dropped;
    if (settings_.autoStopWords && messages >= 100) {
        for (uint32_t id = 1; id < counts_.size(); ++id)
            if (int64_t(counts_[id]) * 4 > messages) dropped.push_back(id);
    }
    // The WordList mirror is rewritten when it is next read (ensureWordList),
    // not by every run. Only the counts this run changed are written.
    bool ok = store_.begin() && store_.setMeta("wordlist", "stale") && store_.setMeta("counts", "current");
    for (std::size_t i = 0; ok && i < dropped.size(); ++i) {
        IndexStore::Word w = store_.findWordId(dropped[i]);
        if (w.id == 0) continue;
        report_.stopWordsAdded.push_back(w.word);
        ok = store_.deleteWord(w.id);
        storedCount_[w.id] = counts_[w.id];
    }
    for (uint32_t id = 1; ok && id < counts_.size(); ++id)
        if (counts_[id] != storedCount_[id]) ok = store_.setCount(id, counts_[id]);
    ok = ok && store_.commit();
    if (!ok) return fail("The word index cannot be written: " + store_.error());
    report_.words = store_.wordCount();
    if (!addStopWords(s_, report_.stopWordsAdded)) return fail("The stop words cannot be written.");
    // Messages that another program imported while this run read the texts
    // may have been missed: the flag that import raised then stays.
    if (texts <= textsAtStart_ && !setIndexNeedsUpdate(s_, 0))
        return fail("The database's index flag cannot be stored.");
    phase_ = Phase::Done;
    s_.IndexingInProgress = false;
}

void WordIndexRun::recount() {
    bool ok = store_.begin();
    auto counts = store_.postingCounts();
    std::unordered_map<uint32_t, int64_t> byId(counts.begin(), counts.end());
    auto all = store_.words();
    for (auto& w : all) {
        if (!ok) break;
        auto it = byId.find(w.id);
        int64_t n = it == byId.end() ? 0 : it->second;
        if (n <= 0) ok = store_.deleteWord(w.id);
        else if (n != w.count) {
            w.count = int32_t(n);
            ok = store_.putWord(w);
        }
    }
    ok = ok && store_.setMeta("counts", "current") && store_.commit();
    if (!ok) return fail("The word index cannot be written: " + store_.error());
    report_.words = int64_t(store_.words().size());
    int64_t indexed = store_.messageCount();
    report_.indexed = 0;
    report_.unindexed = total_ > indexed ? total_ - indexed : 0;
    if (indexed == 0 && total_ > 0) report_.advice = "Full";
    else if (indexed > total_) report_.advice = "Full";  // messages went without the purge upkeep
    else if (store_.meta("tables") != tables_.signature()) report_.advice = "Full";
    else if (report_.unindexed > 0) report_.advice = "Partial";
    if (!mirrorWordList(s_, store_)) return fail("The word list cannot be written.");
    processed_ = total_;
    phase_ = Phase::Done;
    s_.IndexingInProgress = false;
}

// ---------------------------------------------------------------------------
// Word list upkeep

bool deleteIndexedWord(Session& s, const std::string& word) {
    IndexStore store;
    if (!openIndexStore(s, store)) return false;
    std::string upper = upper1252(word);
    IndexStore::Word w = store.findWord(upper);
    bool ok = true;
    if (w.id != 0) ok = store.begin() && store.deleteWord(w.id) && store.commit();
    if (!ok) store.rollback();
    ok = ok && addStopWords(s, {upper});
    if (ok && w.id != 0) ok = mirrorWordList(s, store);
    return ok;
}

namespace {
// A database that was never indexed has no index file; the upkeep leaves it so.
bool indexFileExists(Session& s) {
    std::error_code ec;
    return std::filesystem::exists(buildName(s, MasIdxFile::Number), ec);
}
}  // namespace

bool purgeOrphanedWordIndexes(Session& s, std::vector<uint32_t>& deleted, std::map<uint32_t, int32_t>& tally) {
    if (deleted.empty()) return true;
    if (!indexFileExists(s)) {
        deleted.clear();
        return true;
    }
    IndexStore store;
    if (!openIndexStore(s, store)) return false;
    std::sort(deleted.begin(), deleted.end());
    deleted.erase(std::unique(deleted.begin(), deleted.end()), deleted.end());
    bool ok = store.begin();
    std::map<uint32_t, std::vector<uint32_t>> byWord;
    for (std::size_t i = 0; ok && i < deleted.size(); ++i) {
        bool indexed = false;
        auto words = store.wordsOf(deleted[i], &indexed);
        if (!indexed) continue;
        for (uint32_t w : words) {
            ++tally[w];
            byWord[w].push_back(deleted[i]);
        }
        ok = store.deleteMessage(deleted[i]);
    }
    for (auto it = byWord.begin(); ok && it != byWord.end(); ++it) ok = store.dropFromWord(it->first, it->second);
    ok = ok && store.commit();
    if (!ok) {
        s.tell("The word index cannot be written.\r\n" + store.error(), "Purging orphaned word indexes");
        store.rollback();
        return false;
    }
    deleted.clear();
    return true;
}

bool updateIndexCounts(Session& s, const std::map<uint32_t, int32_t>& tally) {
    if (tally.empty() || !indexFileExists(s)) return true;
    IndexStore store;
    if (!openIndexStore(s, store)) return false;
    bool ok = store.begin();
    for (auto it = tally.begin(); ok && it != tally.end(); ++it) {
        IndexStore::Word w = store.findWordId(it->first);
        if (w.id == 0) continue;
        // A count that ends at or below zero removes the word; it is never
        // stored negative.
        int64_t left = int64_t(w.count) - it->second;
        if (left <= 0) ok = store.deleteWord(w.id);
        else {
            w.count = int32_t(left);
            ok = store.putWord(w);
        }
    }
    ok = ok && store.commit();
    if (!ok) {
        s.tell("The word index cannot be written.\r\n" + store.error(), "Updating index counts per indexed word");
        store.rollback();
    }
    return ok;
}

bool rebuildWordList(Session& s) {
    IndexStore store;
    if (!openIndexStore(s, store)) return false;
    if (!mirrorWordList(s, store)) return false;
    return setIndexNeedsUpdate(s, 0);
}

}  // namespace quill
