#include "search/Codes.h"

#include <algorithm>
#include <set>

#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "people/Address.h"

namespace quill {

namespace {

// Keeps files open (by number, with their counters) while it lives.
class Open {
public:
    Open(Session& s, std::vector<int> files) : s_(s), files_(std::move(files)) {
        for (int n : files_) OP_CLOSE(s_, OpOpenShared, {n});
    }
    ~Open() {
        for (int n : files_) OP_CLOSE(s_, OpClose, {n});
    }

private:
    Session& s_;
    std::vector<int> files_;
};

CodeEntry entryOf(const CodesRecord& c) {
    return {c.ID, c.TYPE, c.INDEX.str(), c.COUNT, c.DATE, c.TIME, c.CHARCASE != 0, c.WORDONLY != 0};
}

// Finds the code by identifier into the Codes buffer (a walk: the file's only
// key is by kind and name).
bool seekCode(Session& s, uint32_t id) {
    if (id == 0) return false;
    s.Codes.setPhysical();
    while (s.Codes.next())
        if (uint32_t(s.COD.ID) == id) return true;
    return false;
}

// The number of links of a code.
uint32_t linksOf(Session& s, uint32_t id) {
    uint32_t n = 0;
    s.SIndex.clearBuffer();
    s.SIN.ID = id;
    s.SIN.MSGNUMBER = 0xFFFFFFFFu;
    s.SIndex.setFrom(SIndexFile::IDKEY);
    while (s.SIndex.next() && uint32_t(s.SIN.ID) == id) ++n;
    return n;
}

bool linkExists(Session& s, uint32_t id, uint32_t message) {
    s.SIndex.clearBuffer();
    s.SIN.ID = id;
    s.SIN.MSGNUMBER = message;
    return bool(s.SIndex.get(SIndexFile::IDKEY));
}

bool isMail(Session& s) { return s.Mem.ForumType == TypeMail; }
int headerFile(Session& s) { return isMail(s) ? MailFile::Number : MsgNmbrFile::Number; }

// Whether the message exists; its date goes to date.
bool messageExists(Session& s, uint32_t id, int32_t* date = nullptr) {
    if (isMail(s)) {
        s.Mail.clearBuffer();
        s.MAI.MAILID = id;
        if (!s.Mail.get(MailFile::IDKEY)) return false;
        if (date) *date = s.MAI.DATE;
        return true;
    }
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = id;
    if (!s.MsgNmbr.get(MsgNmbrFile::IDKEY)) return false;
    if (date) *date = s.MSG.DATE;
    return true;
}

// Stores the count of the code in the Codes buffer when it differs.
bool storeCount(Session& s, uint32_t count) {
    if (uint32_t(s.COD.COUNT) == count) return true;
    s.COD.COUNT = count;
    return UppDat(s, s.Codes, UpdPut, UpdReport);
}

// Every code's count set to its links (kind 0: both kinds).
bool recount(Session& s, uint8_t type, std::size_t* seen) {
    std::vector<std::pair<uint32_t, uint32_t>> fix;  // (id, links)
    std::size_t n = 0;
    s.Codes.set(CodesFile::CLASSKEY);
    std::vector<CodeEntry> codes;
    while (s.Codes.next())
        if (type == 0 || s.COD.TYPE == type) codes.push_back(entryOf(s.COD));
    bool ok = true;
    if (s.Codes.lock(5)) {
        for (auto& c : codes) {
            ++n;
            uint32_t links = linksOf(s, c.id);
            if (links == c.count) continue;
            s.Codes.clearBuffer();
            s.COD.TYPE = c.type;
            s.COD.INDEX = c.name;
            if (!s.Codes.get(CodesFile::CLASSKEY)) continue;
            ok = storeCount(s, links) && ok;
        }
        s.Codes.unlock();
    } else {
        ok = false;
        n = codes.size();
    }
    if (seen) *seen = n;
    return ok;
}

}  // namespace

CodeResult addCode(Session& s, uint8_t type, std::string_view name, bool charCase, bool wordOnly) {
    std::string n(name);
    while (!n.empty() && n.back() == ' ') n.pop_back();
    if (n.empty()) {
        s.beep();
        return {CodeStatus::EmptyName};
    }
    Open files(s, {CodesFile::Number, ControlFile::Number});
    s.Codes.clearBuffer();
    s.COD.TYPE = type;
    s.COD.INDEX = n;
    if (s.Codes.get(CodesFile::CLASSKEY)) {
        s.tell("Record add error!\r\nA record with identical key already exists!", s.Codes.name());
        return {CodeStatus::Duplicate};
    }
    uint32_t id = NextNr(s);
    if (id == 0) return {CodeStatus::NoIdentifier};
    s.Codes.clearBuffer();
    s.COD.TYPE = type;
    s.COD.INDEX = n;
    s.COD.ID = id;
    s.COD.COUNT = 0;
    s.COD.DATE = 0;
    s.COD.TIME = 0;
    s.COD.CHARCASE = type == CodeKeyWord && charCase ? 1 : 0;
    s.COD.WORDONLY = type == CodeKeyWord && wordOnly ? 1 : 0;
    if (!UppDat(s, s.Codes, UpdAdd, UpdReport))
        return {s.store.errorCode() == DupKeyErr ? CodeStatus::Duplicate : CodeStatus::WriteFailed};
    return {CodeStatus::Ok, id};
}

CodeResult changeCode(Session& s, uint32_t id, std::string_view name, bool charCase, bool wordOnly) {
    std::string n(name);
    while (!n.empty() && n.back() == ' ') n.pop_back();
    if (n.empty()) {
        s.beep();
        return {CodeStatus::EmptyName};
    }
    Open files(s, {CodesFile::Number});
    if (!seekCode(s, id)) return {CodeStatus::NotFound};
    if (HoldRec(s, s.Codes, CodesFile::CLASSKEY, true, {}) != 1) return {CodeStatus::WriteFailed};
    uint8_t type = s.COD.TYPE;
    s.COD.INDEX = n;
    s.COD.CHARCASE = type == CodeKeyWord && charCase ? 1 : 0;
    s.COD.WORDONLY = type == CodeKeyWord && wordOnly ? 1 : 0;
    bool ok = UppDat(s, s.Codes, UpdPut, UpdReport);
    s.Codes.release();
    if (!ok) return {s.store.errorCode() == DupKeyErr ? CodeStatus::Duplicate : CodeStatus::WriteFailed};
    return {CodeStatus::Ok, id};
}

CodeResult deleteCode(Session& s, uint32_t id) {
    Open files(s, {CodesFile::Number, SIndexFile::Number});
    if (!seekCode(s, id)) return {CodeStatus::NotFound};
    CodeEntry c = entryOf(s.COD);
    if (!beginWrites(s, {&s.SIndex, &s.Codes})) return {CodeStatus::WriteFailed};
    s.SIndex.clearBuffer();
    s.SIN.ID = id;
    s.SIN.MSGNUMBER = 0xFFFFFFFFu;
    s.SIndex.setFrom(SIndexFile::IDKEY);
    while (s.SIndex.next() && uint32_t(s.SIN.ID) == id) (void)UppDat(s, s.SIndex, UpdDelete, UpdReport);
    s.Codes.clearBuffer();
    s.COD.TYPE = c.type;
    s.COD.INDEX = c.name;
    if (!s.Codes.get(CodesFile::CLASSKEY) || !UppDat(s, s.Codes, UpdDelete, UpdReport)) {
        (void)s.store.rollback();
        return {CodeStatus::WriteFailed};
    }
    if (!s.store.commit()) {
        (void)s.store.rollback();
        return {CodeStatus::WriteFailed};
    }
    return {CodeStatus::Ok, id};
}

CodeEntry findCode(Session& s, uint32_t id) {
    Open files(s, {CodesFile::Number});
    return seekCode(s, id) ? entryOf(s.COD) : CodeEntry{};
}

CodeEntry findCodeByName(Session& s, uint8_t type, std::string_view name) {
    Open files(s, {CodesFile::Number});
    s.Codes.clearBuffer();
    s.COD.TYPE = type;
    s.COD.INDEX = name;
    return s.Codes.get(CodesFile::CLASSKEY) ? entryOf(s.COD) : CodeEntry{};
}

std::vector<CodeEntry> Lkup1(Session& s, uint8_t type) {
    std::vector<CodeEntry> v;
    Open files(s, {CodesFile::Number});
    s.Codes.clearBuffer();
    s.COD.TYPE = type;
    s.Codes.setFrom(CodesFile::CLASSKEY);
    while (s.Codes.next() && s.COD.TYPE == type) v.push_back(entryOf(s.COD));
    return v;
}

std::string codeListTitle(Session& s, uint8_t type, std::size_t count) {
    return " " + s.Mem.Description + (type == CodeKeyWord ? " Key Words [" : " Topics [") + std::to_string(count) +
           "]";
}

std::size_t recountTopics(Session& s) {
    Open files(s, {CodesFile::Number, SIndexFile::Number});
    std::size_t n = 0;
    (void)recount(s, CodeTopic, &n);
    return n;
}

std::vector<TopicMark> topicsOfMessage(Session& s, uint32_t message) {
    std::vector<TopicMark> v;
    std::set<uint32_t> linked;
    {
        Open files(s, {SIndexFile::Number});
        s.SIndex.clearBuffer();
        s.SIN.MSGNUMBER = message;
        s.SIndex.setFrom(SIndexFile::MSGKEY);
        while (s.SIndex.next() && uint32_t(s.SIN.MSGNUMBER) == message) linked.insert(s.SIN.ID);
    }
    for (auto& c : Lkup1(s, CodeTopic)) v.push_back({c, linked.count(c.id) != 0});
    return v;
}

bool toggleTopic(Session& s, uint32_t codeId, uint32_t message) {
    Open files(s, {CodesFile::Number, SIndexFile::Number});
    if (!seekCode(s, codeId)) return false;
    CodeEntry c = entryOf(s.COD);
    bool wasLinked = linkExists(s, codeId, message);
    if (wasLinked) {
        if (HoldRec(s, s.SIndex, SIndexFile::IDKEY, true, {}) != 1) return false;
        if (!UppDat(s, s.SIndex, UpdDelete, UpdReport)) return false;
    } else {
        s.SIndex.clearBuffer();
        s.SIN.ID = codeId;
        s.SIN.MSGNUMBER = message;
        if (!UppDat(s, s.SIndex, UpdAdd, UpdReport)) return false;
    }
    s.Codes.clearBuffer();
    s.COD.TYPE = c.type;
    s.COD.INDEX = c.name;
    if (HoldRec(s, s.Codes, CodesFile::CLASSKEY, true, {}) != 1) return false;
    uint32_t count = s.COD.COUNT;
    s.COD.COUNT = wasLinked ? (count > 0 ? count - 1 : 0) : count + 1;
    bool ok = UppDat(s, s.Codes, UpdPut, UpdReport);
    s.Codes.release();
    return ok;
}

CodeResult classifySet(Session& s, uint32_t codeId, const std::vector<uint32_t>& messages, bool attach,
                       int32_t fromDate, int32_t toDate) {
    if (codeId == 0) {
        s.tell("No topic selected!", "Selection error");
        return {CodeStatus::NoTopic};
    }
    s.ui->notice(attach ? "Attaching topics ... please wait!" : "Removing topics ... please wait!");
    bool ranged = fromDate != 0 || toDate != 0;
    Open files(s, {SIndexFile::Number, headerFile(s)});
    bool ok = bool(s.SIndex.stream());
    int counter = 0;
    for (uint32_t m : messages) {
        if (!ok) break;
        if (ranged) {
            int32_t date = 0;
            if (!messageExists(s, m, &date)) continue;
            if ((fromDate && date < fromDate) || (toDate && date > toDate)) continue;
        }
        bool present = linkExists(s, codeId, m);
        if (attach && !present) {
            s.SIndex.clearBuffer();
            s.SIN.ID = codeId;
            s.SIN.MSGNUMBER = m;
            ok = UppDat(s, s.SIndex, UpdAdd, UpdReport);
        } else if (!attach && present) {
            ok = UppDat(s, s.SIndex, UpdDelete, UpdReport);
        } else {
            continue;
        }
        if (++counter > 400) {
            ok = bool(s.SIndex.flush()) && bool(s.SIndex.stream()) && ok;
            counter = 0;
        }
    }
    ok = bool(s.SIndex.flush()) && ok;
    s.SIndex.unlock();
    if (!ok) return {CodeStatus::WriteFailed};
    s.ui->notice(attach ? "Topics attached!" : "Topics removed!");
    return {CodeStatus::Ok, codeId};
}

int64_t indexKeyWords(Session& s) {
    std::vector<CodeEntry> keys = Lkup1(s, CodeKeyWord);
    if (keys.empty()) return 0;
    std::vector<std::string> patterns;
    for (auto& k : keys) patterns.push_back(k.charCase ? k.name : upper1252(k.name));
    Open files(s, {CodesFile::Number, SIndexFile::Number, MsgTextFile::Number});
    int64_t added = 0;
    bool ok = beginWrites(s, {&s.SIndex});
    int pending = 0;
    s.MsgText.set(MsgTextFile::IDKEY);
    while (ok && s.MsgText.next()) {
        uint32_t message = s.TXT.MSGNUMBER;
        const std::string& text = s.MsgText.memo;
        std::string upper;
        for (std::size_t i = 0; ok && i < keys.size(); ++i) {
            const CodeEntry& k = keys[i];
            std::string_view hay = text;
            if (!k.charCase) {
                if (upper.empty() && !text.empty()) upper = upper1252(text);
                hay = upper;
            }
            if (AISINB(k.wordOnly, patterns[i], hay) == 0) continue;
            if (linkExists(s, k.id, message)) continue;
            s.SIndex.clearBuffer();
            s.SIN.ID = k.id;
            s.SIN.MSGNUMBER = message;
            ok = UppDat(s, s.SIndex, UpdAdd, UpdReportRollback);
            if (ok) ++added;
            // Long runs commit every 400 changed records.
            if (ok && ++pending >= 400) {
                ok = bool(s.store.commit()) && beginWrites(s, {&s.SIndex});
                pending = 0;
            }
        }
    }
    if (ok) ok = bool(s.store.commit());
    if (!ok) return -1;
    // Counts and the update stamp of every key word.
    int32_t day = today(), now = clockNow();
    for (auto& k : keys) {
        uint32_t links = linksOf(s, k.id);
        s.Codes.clearBuffer();
        s.COD.TYPE = CodeKeyWord;
        s.COD.INDEX = k.name;
        if (HoldRec(s, s.Codes, CodesFile::CLASSKEY, true, {}) != 1) return -1;
        s.COD.COUNT = links;
        s.COD.DATE = day;
        s.COD.TIME = now;
        bool put = UppDat(s, s.Codes, UpdPut, UpdReport);
        s.Codes.release();
        if (!put) return -1;
    }
    return added;
}

bool removeOrphanedSearchIndexes(Session& s, int64_t* removed) {
    Open files(s, {SIndexFile::Number, headerFile(s)});
    int64_t n = 0;
    bool ok = beginWrites(s, {&s.SIndex});
    int pending = 0;
    uint32_t last = 0;
    bool lastExists = true, first = true;
    s.SIndex.set(SIndexFile::MSGKEY);
    while (ok && s.SIndex.next()) {
        uint32_t m = s.SIN.MSGNUMBER;
        // One lookup per message number, however many codes it carries.
        if (first || m != last) {
            lastExists = messageExists(s, m);
            last = m;
            first = false;
        }
        if (lastExists) continue;
        ok = UppDat(s, s.SIndex, UpdDelete, UpdReportRollback);
        if (ok) ++n;
        if (ok && ++pending >= 400) {
            ok = bool(s.store.commit()) && beginWrites(s, {&s.SIndex});
            pending = 0;
        }
    }
    if (ok) ok = bool(s.store.commit());
    if (removed) *removed = n;
    return ok;
}

bool removeLinksOfMissingCodes(Session& s, int64_t* removed) {
    Open files(s, {CodesFile::Number, SIndexFile::Number});
    std::vector<uint32_t> ids;
    s.SIndex.set(SIndexFile::IDKEY);
    while (s.SIndex.next())
        if (ids.empty() || ids.back() != uint32_t(s.SIN.ID)) ids.push_back(s.SIN.ID);
    std::set<uint32_t> known;
    s.Codes.setPhysical();
    while (s.Codes.next()) known.insert(s.COD.ID);
    int64_t n = 0;
    bool ok = true;
    for (uint32_t id : ids) {
        if (known.count(id)) continue;
        if (!beginWrites(s, {&s.SIndex})) return false;
        s.SIndex.clearBuffer();
        s.SIN.ID = id;
        s.SIN.MSGNUMBER = 0xFFFFFFFFu;
        s.SIndex.setFrom(SIndexFile::IDKEY);
        while (ok && s.SIndex.next() && uint32_t(s.SIN.ID) == id) {
            ok = UppDat(s, s.SIndex, UpdDelete, UpdReportRollback);
            if (ok) ++n;
        }
        if (!ok || !s.store.commit()) return false;
    }
    if (removed) *removed = n;
    return ok;
}

bool updateKeyWordIndexCounts(Session& s) {
    Open files(s, {CodesFile::Number, SIndexFile::Number});
    return recount(s, 0, nullptr);
}

}  // namespace quill
