#include "import/StoreWriter.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "database/Catalogue.h"
#include "database/Charset.h"
#include "database/Common.h"
#include "database/FileMask.h"
#include "database/Types.h"
#include "import/EncodedWords.h"
#include "people/Persons.h"
#include "people/Threads.h"

namespace quill {

namespace {
std::string clipped(std::string_view v) {
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.remove_suffix(1);
    return std::string(v);
}
std::string first(std::string_view v, std::size_t n) { return clipped(v.substr(0, std::min(n, v.size()))); }
}  // namespace

// ---------------------------------------------------------------------------
// Mailbox owner

void MailboxOwner::setUp(Session& s, uint32_t mailDatabaseId) {
    databaseId = mailDatabaseId;
    addresses = {};
    name.clear();
    address.clear();
    personId = 0;
    sortName.clear();
    OP_CLOSE(s, OpOpenShared, {ForumsFile::Number});
    s.Forums.clearBuffer();
    s.FOR.ID = mailDatabaseId;
    if (mailDatabaseId != 0 && s.Forums.get(ForumsFile::FORUMKEY)) {
        addresses[0] = lower1252(s.FOR.MAILADDRESS.view());
        for (std::size_t i = 0; i < 10; ++i) addresses[i + 1] = lower1252(s.FOR.ALTADDRESS[i].view());
        name = first(s.FOR.DESCRIPTION.view(), 40);
        address = s.FOR.MAILADDRESS.str();
        personId = s.FOR.PERSONID;
    }
    s.Mem.PersonID = personId;
    OP_CLOSE(s, OpClose, {ForumsFile::Number});
}

bool MailboxOwner::isForeign(std::string_view addr) const {
    std::string a = lower1252(clipped(addr));
    for (auto& o : addresses)
        if (o == a) return false;
    return true;
}

void MailboxOwner::direction(NewHRRecord& NHR) const {
    std::string sender = lower1252(NHR.S_CISADRESS.view());
    if (isForeign(sender)) {
        NHR.MAILTYPE = 1;
        NHR.R_CISADRESS = addresses[0];
        NHR.S_CISADRESS = sender;
    } else {
        NHR.MAILTYPE = 2;
        NHR.R_CISADRESS = lower1252(NHR.R_CISADRESS.view());
        NHR.S_CISADRESS = addresses[0];
    }
}

void MailboxOwner::call(Session& s, int mode, uint32_t forumId, uint8_t& result, NewHRRecord& NHR,
                        std::string_view addr) {
    switch (mode) {
        case 1: result = isForeign(addr) ? 1 : 0; break;
        case 2: setUp(s, forumId); break;
        case 3: direction(NHR); break;
        default: break;
    }
}

// ---------------------------------------------------------------------------
// Staging

namespace {
constexpr const char* kStagingPrefix = "IMPORT.";

// Removes the staging directories that imports killed before their end left
// in the temporary directory: a directory whose files no program has open.
void removeAbandonedStaging(Session& s) {
    DIR* d = ::opendir(s.Mem.TempDir.c_str());
    if (!d) return;
    std::vector<std::string> dirs;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.rfind(kStagingPrefix, 0) == 0) dirs.push_back(joinPath(s.Mem.TempDir, n));
    }
    ::closedir(d);
    for (auto& dir : dirs) {
        if (dir == s.StagingDir) continue;
        // The directory of a running import (which may not have opened its
        // files yet) is never touched.
        long pid = std::strtol(dir.c_str() + dir.rfind('.') + 1, nullptr, 10);
        if (pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM)) continue;
        bool free = true;
        for (int n : {NewHRFile::Number, TempCCFile::Number, TempIDFile::Number}) {
            Store probeStore;
            RecordFile probe(probeStore, n, nullptr);
            char name[16];
            std::snprintf(name, sizeof name, "IDX%03d.TPS", n);
            probe.setName(joinPath(dir, name));
            Status r = probe.remove();
            if (!r && r.code() != FileNotFoundErr) free = false;
        }
        if (!free) continue;
        if (DIR* sub = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(sub)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") ::unlink(joinPath(dir, n).c_str());
            }
            ::closedir(sub);
        }
        ::rmdir(dir.c_str());
    }
}
}  // namespace

void openStagingFiles(Session& s) {
    OP_CLOSE(s, OpForceClose, {NewHRFile::Number, TempCCFile::Number, TempIDFile::Number});
    s.StagingDir = joinPath(s.Mem.TempDir, kStagingPrefix + std::to_string(::getpid()));
    removeAbandonedStaging(s);
    (void)ExistPath(s, 3, 0, s.StagingDir, "", true);
    OP_CLOSE(s, OpRemove, {NewHRFile::Number, TempCCFile::Number, TempIDFile::Number});
    OP_CLOSE(s, OpOpenShared, {NewHRFile::Number, TempCCFile::Number, TempIDFile::Number});
}

void closeStagingFiles(Session& s, bool remove) {
    OP_CLOSE(s, OpForceClose, {NewHRFile::Number, TempCCFile::Number, TempIDFile::Number});
    if (remove) {
        OP_CLOSE(s, OpRemove, {NewHRFile::Number, TempCCFile::Number, TempIDFile::Number});
        if (!s.StagingDir.empty()) ::rmdir(s.StagingDir.c_str());
        s.StagingDir.clear();
    }
}

namespace {
// NUL and the other control characters of a name or subject become blanks:
// a name that differs from another only by them is the same name, and no
// catalogue or person key ever holds them.
template <std::size_t N>
void blankControls(FStr<N>& f) {
    for (char& ch : f.c)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
}
}  // namespace

void blankStagedControls(NewHRRecord& NHR) {
    blankControls(NHR.FOR_DESCRIPTION);
    blankControls(NHR.SEC_DESCRIPTION);
    blankControls(NHR.HEADING);
    blankControls(NHR.S_CISADRESS);
    blankControls(NHR.S_NAME);
    blankControls(NHR.R_CISADRESS);
    blankControls(NHR.R_NAME);
}

bool appendStagedMessage(Session& s) {
    blankStagedControls(s.NHR);
    return UppDat(s, s.NewHR, UpdAppend, UpdSilent);
}

bool AddStagedCarbonCopy(Session& s) {
    s.TempCC.clearBuffer();
    s.CCT.MAILID = uint32_t(s.NHR.REFNUMBER);
    s.CCT.R_NAME = s.NHR.R_NAME.view().substr(0, 40);
    s.CCT.R_CISADRESS = s.NHR.R_CISADRESS.view();
    s.CCT.RECIPTYPE = s.NHR.RECIPTYPE.view();
    return UppDat(s, s.TempCC, UpdAppend, UpdSilent);
}

bool appendStagedId(Session& s, std::string_view idString, uint32_t number) {
    ArticleId id = articleIdOf(idString);
    s.TempID.clearBuffer();
    s.TID.IDSTRING = id.head;
    s.TID.MSGNUMBER = number;
    if (!UppDat(s, s.TempID, UpdAppend, UpdSilent)) return false;
    if (!id.isLong) return true;
    s.TempID.clearBuffer();
    s.TID.IDSTRING = digestString(id.digest);
    s.TID.MSGNUMBER = number | CompanionBit;
    return UppDat(s, s.TempID, UpdAppend, UpdSilent);
}

// ---------------------------------------------------------------------------
// Article identifiers

namespace {
constexpr std::size_t IdHeadWidth = 60;
}  // namespace

ArticleId articleIdOf(std::string_view whole) {
    ArticleId id;
    // The stored field drops trailing blanks; so does the identifier.
    while (!whole.empty() && (whole.back() == ' ' || whole.back() == '\0')) whole.remove_suffix(1);
    // The head as the field keeps it (a cut never splits a character
    // reference).
    FStr<IdHeadWidth> field;
    field = whole;
    id.head = field.str();
    id.isLong = whole.size() >= IdHeadWidth;
    uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a, 64 bits
    for (unsigned char ch : whole) {
        h ^= ch;
        h *= 0x100000001b3ull;
    }
    id.digest = h;
    return id;
}

std::string digestString(uint64_t digest) {
    static const char hex[] = "0123456789abcdef";
    std::string t(1, DigestMark);
    for (int shift = 60; shift >= 0; shift -= 4) t += hex[(digest >> shift) & 0xF];
    return t;
}

namespace {
std::optional<uint64_t> parseDigest(std::string_view t) {
    if (t.size() != 17 || t.front() != DigestMark) return std::nullopt;
    uint64_t d = 0;
    for (char ch : t.substr(1)) {
        int v = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
        if (v < 0) return std::nullopt;
        d = d << 4 | uint64_t(v);
    }
    return d;
}

// Whether the article numbered number has a companion record.
bool hasCompanion(Session& s, uint32_t number) {
    s.MsgString.clearBuffer();
    s.MST.MSGNUMBER = number | CompanionBit;
    return bool(s.MsgString.get(MsgStringFile::IDKEY));
}
}  // namespace

std::optional<ArticleId> stagedArticleId(Session& s, uint32_t number) {
    if (number == 0 || (number & CompanionBit)) return std::nullopt;
    s.TempID.clearBuffer();
    s.TID.MSGNUMBER = number;
    if (!s.TempID.get(TempIDFile::IDKEY)) return std::nullopt;
    ArticleId id = articleIdOf(s.TID.IDSTRING.view());
    s.TempID.clearBuffer();
    s.TID.MSGNUMBER = number | CompanionBit;
    if (s.TempID.get(TempIDFile::IDKEY)) {
        if (auto d = parseDigest(s.TID.IDSTRING.view())) {
            id.isLong = true;
            id.digest = *d;
        }
    }
    return id;
}

std::optional<uint32_t> findArticleNumber(Session& s, const ArticleId& id) {
    s.MsgString.clearBuffer();
    s.MST.IDSTRING = digestString(id.digest);
    if (s.MsgString.get(MsgStringFile::IDSTRINGKEY) && (uint32_t(s.MST.MSGNUMBER) & CompanionBit))
        return uint32_t(s.MST.MSGNUMBER) & ~CompanionBit;
    s.MsgString.clearBuffer();
    s.MST.IDSTRING = id.head;
    if (!s.MsgString.get(MsgStringFile::IDSTRINGKEY)) return std::nullopt;
    // The key ignores letter case; the identifier does not.
    if (s.MST.IDSTRING.view() != id.head) return std::nullopt;
    uint32_t number = s.MST.MSGNUMBER;
    // A record with a companion stands for a long identifier with another
    // digest (a long one with this digest was found above).
    if (hasCompanion(s, number)) return std::nullopt;
    return number;
}

Registration registerArticle(Session& s, const ArticleId& id, uint32_t number, const std::function<bool()>& add) {
    s.MsgString.clearBuffer();
    s.MST.IDSTRING = id.head;
    const bool headFree = !s.MsgString.get(MsgStringFile::IDSTRINGKEY);
    const bool companion = id.isLong || !headFree;
    auto setCompanion = [&] {
        s.MsgString.clearBuffer();
        s.MST.IDSTRING = digestString(id.digest);
        s.MST.MSGNUMBER = number | CompanionBit;
    };
    if (companion) {
        setCompanion();
        if (s.MsgString.duplicate()) return Registration::Taken;
    }
    if (headFree) {
        s.MsgString.clearBuffer();
        s.MST.IDSTRING = id.head;
        s.MST.MSGNUMBER = number;
        if (s.MsgString.duplicate()) return Registration::Taken;
        if (!add()) return Registration::Failed;
    }
    if (companion) {
        setCompanion();
        if (!add()) return Registration::Failed;
    }
    return Registration::Added;
}

// ---------------------------------------------------------------------------
// Files of a database type

std::vector<RecordFile*> StoreWriter::transactionFiles(uint8_t dbType) {
    switch (dbType) {
        case TypeMail:
            return {&s_.Mail, &s_.MsgText, &s_.Person, &s_.PLINK, &s_.Control, &s_.SIndex, &s_.CCR};
        case TypeNewsgroup:
            return {&s_.MsgNmbr, &s_.MsgText, &s_.Person, &s_.PLINK, &s_.Sections, &s_.Threads, &s_.Control,
                    &s_.MsgString};
        default:
            return {&s_.MsgNmbr, &s_.MsgText, &s_.Person, &s_.PLINK, &s_.Sections, &s_.Threads, &s_.Control,
                    &s_.ImportedMessages};
    }
}

std::vector<int> StoreWriter::databaseFileNumbers(uint8_t dbType) {
    switch (dbType) {
        case TypeMail: return {13, 4, 9, 23, 17, 5};
        case TypeNewsgroup: return {3, 4, 23, 7, 6, 5, 25};
        default: return {3, 4, 23, 7, 6, 5};
    }
}

bool StoreWriter::write(RecordFile& f, int op) { return UppDat(s_, f, op, UpdReportRollback); }

bool StoreWriter::textWriteFails() {
    if (failAtMessage == 0 || attempts_ != failAtMessage) return false;
    (void)s_.store.rollback();
    s_.tell("Record add error!\r\nSimulated write failure\r\nThe last transaction is rolled back.", s_.MsgText.name());
    s_.store.setError(FileSystemErr, "Simulated write failure");
    return true;
}

// ---------------------------------------------------------------------------
// Sections

void StoreWriter::loadSections() {
    threadIndex_.clear();
    sectionList_.clear();
    sectionIndex_.clear();
    s_.Sections.setPhysical();
    while (s_.Sections.next()) {
        SectionEntry e{s_.SEC.SECTIONNUMBER, s_.SEC.SECSYSID, s_.SEC.DESCRIPTION.str()};
        sectionIndex_[{e.sectionNumber, e.description}] = e.secSysId;
        sectionList_.push_back(std::move(e));
    }
}

uint32_t StoreWriter::sectionOf(uint8_t dbType, bool& ok) {
    ok = true;
    if (dbType == TypeMail) return 0;
    uint32_t number = s_.NHR.SECTIONNUMBER;
    std::string desc = s_.NHR.SEC_DESCRIPTION.str();
    auto it = sectionIndex_.find({number, desc});
    if (it != sectionIndex_.end()) return it->second;
    if (dbType == TypeNewsgroup) {
        if (!addNewsgroupSection(s_, number, desc)) {
            ok = false;
            return 0;
        }
        // The newsgroup's one section may have taken a new name: the list
        // holds it once, under the name it has now.
        std::vector<SectionEntry> kept;
        for (auto& e : sectionList_) {
            if (e.secSysId == number) sectionIndex_.erase({e.sectionNumber, e.description});
            else kept.push_back(e);
        }
        sectionList_ = std::move(kept);
        sectionList_.push_back({number, number, desc});
        sectionIndex_[{number, desc}] = number;
        return number;
    }
    uint32_t id = addForumSection(s_, number, desc);
    if (id == 0) {
        ok = false;
        return 0;
    }
    sectionList_.push_back({number, id, desc});
    sectionIndex_[{number, desc}] = id;
    return id;
}

// ---------------------------------------------------------------------------
// Threads and identifier strings

FoundThread StoreWriter::FindThread(uint32_t secSysId, std::string_view heading) {
    heading = heading.substr(0, referenceSafeLength(heading, threadHeadingWidth));
    while (!heading.empty() && heading.back() == ' ') heading.remove_suffix(1);
    auto [section, fresh] = threadIndex_.try_emplace(secSysId);
    if (fresh) {
        // In key order: of the threads with one heading, the first is kept.
        s_.Threads.clearBuffer();
        s_.THR.SECSYSID = secSysId;
        s_.Threads.setFrom(ThreadsFile::SECKEY);
        while (s_.Threads.next() && uint32_t(s_.THR.SECSYSID) == secSysId)
            section->second.try_emplace(s_.THR.HEADING.str(), ThreadSlot{s_.THR.THREADNUMBER, s_.THR.ALPHA.str()});
    }
    FoundThread f;
    auto it = section->second.find(std::string(heading));
    if (it != section->second.end()) {
        f.ok = true;
        f.number = it->second.number;
        f.alpha = it->second.alpha;
        return f;
    }
    ThreadRef t = addThread(s_, secSysId, heading);
    f.ok = t.ok;
    f.number = t.number;
    f.alpha = t.alpha;
    if (t.ok) section->second.try_emplace(std::string(heading), ThreadSlot{t.number, t.alpha});
    return f;
}

void StoreWriter::forgetUncommitted(uint8_t dbType) {
    threadIndex_.clear();
    if (dbType != TypeMail) loadSections();
}

std::optional<ArticleId> StoreWriter::MessageIdLookup(int mode, uint32_t number) {
    (void)mode;  // the same lookup for the message itself (1) and the one it answers (2)
    return stagedArticleId(s_, number);
}

// ---------------------------------------------------------------------------
// The writer

StoreResult StoreWriter::StoreStagedMessage(uint8_t dbType, uint32_t secSysId) {
    ++attempts_;
    if (!s_.NHR.S_NAME.empty()) DecodeEncodedWord(s_.NHR.S_NAME);
    if (!s_.NHR.R_NAME.empty()) DecodeEncodedWord(s_.NHR.R_NAME);
    if (!s_.NHR.HEADING.empty()) DecodeEncodedWord(s_.NHR.HEADING);
    StoreResult r;
    switch (dbType) {
        case TypeMail: r = storeMail(); break;
        case TypeNewsgroup: r = storeNews(secSysId); break;
        default: r = storeForum(secSysId); break;
    }
    if (r.code == StoreStored) {
        ++stored_;
        count(dbType, r, secSysId);
    }
    return r;
}

void StoreWriter::count(uint8_t dbType, const StoreResult& r, uint32_t secSysId) {
    if (dbType == TypeMail || r.isNew) {
        ++counts.persons[r.fromId].from;
        ++counts.persons[r.toId].to;
        if (dbType == TypeMail) return;
        ++counts.threads[r.threadNumber];
        ++counts.sections[secSysId];
        return;
    }
    if (!r.replaced) return;
    // A message stored again: what names another record now is counted
    // there and no longer where it was.
    if (r.oldFromId != r.fromId) {
        --counts.persons[r.oldFromId].from;
        ++counts.persons[r.fromId].from;
    }
    if (r.oldToId != r.toId) {
        --counts.persons[r.oldToId].to;
        ++counts.persons[r.toId].to;
    }
    if (r.oldThread != r.threadNumber) {
        --counts.threads[r.oldThread];
        ++counts.threads[r.threadNumber];
    }
    if (r.oldSection != secSysId) {
        --counts.sections[r.oldSection];
        ++counts.sections[secSysId];
    }
}

StoreResult StoreWriter::storeMail() {
    StoreResult r;
    auto& NHR = s_.NHR;
    uint8_t mailType = NHR.MAILTYPE;
    std::string toLast, fromLast;

    if (NHR.R_NAME.empty()) NHR.R_NAME = "Name Unknown";
    if (mailType == 1 && !owner_.sortName.empty()) {
        r.toId = s_.Mem.PersonID;
        toLast = owner_.sortName;
    } else {
        if (AddPers(s_, NHR.R_CISADRESS.str(), NHR.R_NAME.str())) return r;
        r.toId = s_.PER.PERSONID;
        toLast = s_.PER.LASTNAME.str();
        if (mailType == 1) owner_.sortName = toLast;
    }

    if (NHR.S_NAME.empty()) NHR.S_NAME = "Name Unknown";
    if (mailType == 2) {
        if (owner_.sortName.empty()) {
            if (AddPers(s_, NHR.S_CISADRESS.str(), NHR.S_NAME.str())) return r;
            owner_.sortName = s_.PER.LASTNAME.str();
        }
        r.fromId = s_.Mem.PersonID;
        fromLast = owner_.sortName;
    } else {
        if (AddPers(s_, NHR.S_CISADRESS.str(), NHR.S_NAME.str())) return r;
        r.fromId = s_.PER.PERSONID;
        fromLast = s_.PER.LASTNAME.str();
    }
    uint32_t pairId = mailType == 2 ? r.toId : r.fromId;
    std::string pairAlpha = mailType == 2 ? toLast : fromLast;

    // Mail is compared and stored to the minute.
    int32_t time = NHR.TIME;
    int32_t rem = time % 6000;
    if (rem != 0) NHR.TIME = time - rem + 1;

    // Duplicate test over the mail of the same minute with the same subject.
    // The subject key leads straight to them: walking all mail of the
    // minute instead made an import of mail that shares one date (undated
    // mail given the same fallback date) take time quadratic in its size.
    std::string subject = first(NHR.HEADING.view(), 50);
    s_.Mail.clearBuffer();
    s_.MAI.SUBJECT = subject;
    // The stored subject is compared as stored: without trailing blanks.
    const std::string upperSubject = upper1252(s_.MAI.SUBJECT.view());
    s_.MAI.DATE = int32_t(NHR.DATE);
    s_.MAI.TIME = int32_t(NHR.TIME);
    s_.MAI.MAILID = 0xFFFFFFFFu;
    s_.Mail.setFrom(MailFile::SUBJECTKEY);
    while (s_.Mail.next()) {
        if (int32_t(s_.MAI.DATE) != int32_t(NHR.DATE) || int32_t(s_.MAI.TIME) != int32_t(NHR.TIME) ||
            upper1252(s_.MAI.SUBJECT.view()) != upperSubject)
            break;
        if (uint32_t(s_.MAI.FROMID) == r.fromId && uint32_t(s_.MAI.TOID) == r.toId && DupString(s_, 1, s_.MAI.MAILID, 0)) {
            r.code = StoreDuplicate;
            return r;
        }
    }

    // Does the staged mail have carbon copies?
    uint32_t stagedId = NHR.REFNUMBER;
    s_.TempCC.clearBuffer();
    s_.CCT.MAILID = stagedId;
    s_.TempCC.setFrom(TempCCFile::IDKEY);
    bool hasCopies = s_.TempCC.next() && uint32_t(s_.CCT.MAILID) == stagedId;

    s_.Mail.clearBuffer();
    s_.MAI.MAILID = stagedId;
    s_.MAI.SUBJECT = subject;
    s_.MAI.PAIRID = pairId;
    s_.MAI.PAIRALPHA = first(pairAlpha, 25);
    s_.MAI.FROMID = r.fromId;
    s_.MAI.FROMALPHA = first(fromLast, 10);
    s_.MAI.TOID = r.toId;
    s_.MAI.TOALPHA = first(toLast, 10);
    s_.MAI.DATE = int32_t(NHR.DATE);
    s_.MAI.TIME = int32_t(NHR.TIME);
    s_.MAI.RECIPTYPE = NHR.RECIPTYPE.view();
    s_.MAI.CCR = hasCopies ? 1 : 0;
    s_.MAI.DUMMY = 0;
    if (!write(s_.Mail, UpdAdd)) return r;
    uint32_t mailId = s_.MAI.MAILID;

    if (textWriteFails()) return r;
    s_.MsgText.clearBuffer();
    s_.TXT.MSGNUMBER = mailId;
    s_.MsgText.memo = s_.NewHR.memo;
    s_.TXT.DATE = startDate;
    s_.TXT.TIME = startTime;
    if (!write(s_.MsgText, UpdAdd)) return r;

    if (mailTopic != 0) {
        s_.SIndex.clearBuffer();
        s_.SIN.ID = mailTopic;
        s_.SIN.MSGNUMBER = mailId;
        if (!s_.SIndex.duplicate() && !write(s_.SIndex, UpdAdd)) return r;
    }
    if (hasCopies && !addCarbonCopies(stagedId, mailId)) return r;
    r.code = StoreStored;
    return r;
}

// The carbon copies of a mail are stored with it, in the same transaction:
// a mail is never stored without them. Copies to the owner's own addresses
// are left out (the mail keeps its carbon-copy mark).
bool StoreWriter::addCarbonCopies(uint32_t stagedMailId, uint32_t mailId) {
    s_.TempCC.clearBuffer();
    s_.CCT.MAILID = stagedMailId;
    s_.TempCC.setFrom(TempCCFile::IDKEY);
    while (s_.TempCC.next() && uint32_t(s_.CCT.MAILID) == stagedMailId) {
        if (!owner_.isForeign(s_.CCT.R_CISADRESS.view())) continue;
        s_.CCR.clearBuffer();
        s_.CCR.rec.MAILID = mailId;
        s_.CCR.rec.R_NAME = s_.CCT.R_NAME.view();
        s_.CCR.rec.R_CISADRESS = s_.CCT.R_CISADRESS.view();
        s_.CCR.rec.RECIPTYPE = s_.CCT.RECIPTYPE.view();
        if (s_.CCR.duplicate()) continue;
        if (!write(s_.CCR, UpdAdd)) return false;
    }
    return true;
}

bool StoreWriter::writeHeaderAndText(StoreResult& r, uint32_t secSysId, const FoundThread& thread, uint32_t fromId,
                                     const std::string& fromAlpha, uint32_t toId, const std::string& toAlpha) {
    auto& NHR = s_.NHR;
    uint32_t number = NHR.MSGNUMBER;
    auto fill = [&] {
        s_.MSG.MSGNUMBER = number;
        s_.MSG.SECSYSID = secSysId;
        s_.MSG.REFNUMBER = uint32_t(NHR.REFNUMBER);
        s_.MSG.THREADNUMBER = thread.number;
        s_.MSG.THREADALPHA = thread.alpha;
        s_.MSG.FROMID = fromId;
        s_.MSG.FROMALPHA = first(fromAlpha, 10);
        s_.MSG.TOID = toId;
        s_.MSG.TOALPHA = first(toAlpha, 10);
        s_.MSG.DATE = int32_t(NHR.DATE);
        s_.MSG.DUMMY = 0;
    };
    bool added = true;
    if (!r.isNew) {
        s_.MsgNmbr.clearBuffer();
        s_.MSG.MSGNUMBER = number;
        s_.MsgNmbr.hold(1);
        if (s_.MsgNmbr.get(MsgNmbrFile::IDKEY)) {
            r.replaced = true;
            r.oldThread = s_.MSG.THREADNUMBER;
            r.oldSection = s_.MSG.SECSYSID;
            r.oldFromId = s_.MSG.FROMID;
            r.oldToId = s_.MSG.TOID;
            fill();
            bool ok = write(s_.MsgNmbr, UpdPut);
            s_.MsgNmbr.release();
            if (!ok) return false;
            added = false;
        } else {
            s_.MsgNmbr.release();
        }
    }
    if (added) {
        r.isNew = true;
        s_.MsgNmbr.clearBuffer();
        fill();
        if (!write(s_.MsgNmbr, UpdAdd)) return false;
    }

    if (textWriteFails()) return false;
    bool textExists = false;
    if (!added) {
        s_.MsgText.clearBuffer();
        s_.TXT.MSGNUMBER = number;
        s_.MsgText.hold(1);
        textExists = bool(s_.MsgText.get(MsgTextFile::IDKEY));
        if (!textExists) s_.MsgText.release();
    }
    if (!textExists) {
        // A header is never left without its text: a text that has gone
        // missing from an existing message is written anew.
        s_.MsgText.clearBuffer();
        s_.TXT.MSGNUMBER = number;
    }
    s_.MsgText.memo = s_.NewHR.memo;
    s_.TXT.DATE = startDate;
    s_.TXT.TIME = startTime;
    bool ok = write(s_.MsgText, textExists ? UpdPut : UpdAdd);
    if (textExists) s_.MsgText.release();
    return ok;
}

// The thread of the stored message number (its header left in MSG); false
// when it is not stored.
bool StoreWriter::threadOfAnswered(uint32_t number, FoundThread& thread) {
    s_.MsgNmbr.clearBuffer();
    s_.MSG.MSGNUMBER = number;
    if (!s_.MsgNmbr.get(MsgNmbrFile::IDKEY)) return false;
    thread.ok = true;
    thread.number = s_.MSG.THREADNUMBER;
    thread.alpha = s_.MSG.THREADALPHA.str();
    return true;
}

// The thread of a forum or news message (by subject when its reference
// gave none) and its sender and receiver persons.
bool StoreWriter::threadAndPersons(uint32_t secSysId, FoundThread& thread, StoreResult& r, std::string& fromLast,
                                   std::string& toLast) {
    NewHRRecord& NHR = s_.NHR;
    if (!thread.ok) {
        thread = FindThread(secSysId, NHR.HEADING.str());
        if (!thread.ok) return false;
    }
    r.threadNumber = thread.number;
    if (AddPers(s_, NHR.S_CISADRESS.str(), NHR.S_NAME.str())) return false;
    r.fromId = s_.PER.PERSONID;
    fromLast = s_.PER.LASTNAME.str();
    if (AddPers(s_, NHR.R_CISADRESS.str(), NHR.R_NAME.str())) return false;
    r.toId = s_.PER.PERSONID;
    toLast = s_.PER.LASTNAME.str();
    return true;
}

StoreResult StoreWriter::storeForum(uint32_t secSysId) {
    StoreResult r;
    auto& NHR = s_.NHR;
    uint32_t number = NHR.MSGNUMBER;
    s_.MsgNmbr.clearBuffer();
    s_.MSG.MSGNUMBER = number;
    r.isNew = !s_.MsgNmbr.get(MsgNmbrFile::IDKEY);

    if (uint32_t(NHR.REFNUMBER) == number) NHR.REFNUMBER = 0;
    FoundThread thread;
    if (uint32_t(NHR.REFNUMBER) != 0) {
        (void)threadOfAnswered(NHR.REFNUMBER, thread);
    }
    std::string fromLast, toLast;
    if (!threadAndPersons(secSysId, thread, r, fromLast, toLast)) return r;

    if (!r.isNew) {
        s_.MsgNmbr.clearBuffer();
        s_.MSG.MSGNUMBER = number;
        if (!s_.MsgNmbr.get(MsgNmbrFile::IDKEY)) r.isNew = true;
    }
    if (!writeHeaderAndText(r, secSysId, thread, r.fromId, fromLast, r.toId, toLast)) return r;

    s_.ImportedMessages.clearBuffer();
    s_.IMP.FORUMNUMBER = s_.Mem.ForumNumber;  // the selected database, whatever number staging gave it
    s_.IMP.MSGNUMBER = number;
    if (!allowReimport) {
        if (!write(s_.ImportedMessages, UpdAppend)) return r;
    } else if (!s_.ImportedMessages.duplicate(ImportedMessagesFile::IDKEY)) {
        if (!write(s_.ImportedMessages, UpdAdd)) return r;
    }
    r.code = StoreStored;
    return r;
}

StoreResult StoreWriter::storeNews(uint32_t secSysId) {
    StoreResult r;
    auto& NHR = s_.NHR;
    auto own = MessageIdLookup(1, NHR.MSGNUMBER);
    if (!own) {
        r.code = StoreDuplicate;
        return r;
    }
    auto addRecord = [this] { return write(s_.MsgString, UpdAdd); };
    if (auto known = findArticleNumber(s_, *own)) {
        NHR.MSGNUMBER = *known;
        s_.MsgNmbr.clearBuffer();
        s_.MSG.MSGNUMBER = uint32_t(NHR.MSGNUMBER);
        if (s_.MsgNmbr.get(MsgNmbrFile::IDKEY)) {
            r.isNew = false;
            if (!allowReimport) {
                r.code = StoreDuplicate;
                return r;
            }
        } else {
            r.isNew = true;
        }
    } else {
        r.isNew = true;
        Registration g = registerArticle(s_, *own, NHR.MSGNUMBER, addRecord);
        if (g == Registration::Taken) r.code = StoreDuplicate;
        if (g != Registration::Added) return r;
    }
    uint32_t number = NHR.MSGNUMBER;

    if (uint32_t(NHR.REFNUMBER) == number) NHR.REFNUMBER = 0;
    FoundThread thread;
    if (uint32_t(NHR.REFNUMBER) != 0) {
        auto ref = MessageIdLookup(2, NHR.REFNUMBER);
        if (!ref) {
            NHR.REFNUMBER = 0;
        } else if (auto answered = findArticleNumber(s_, *ref)) {
            NHR.REFNUMBER = *answered;
            if (uint32_t(NHR.REFNUMBER) == number) {
                NHR.REFNUMBER = 0;  // the article names itself as the one it answers
            } else {
                if (threadOfAnswered(NHR.REFNUMBER, thread)) {
                    s_.Person.clearBuffer();
                    s_.PER.PERSONID = uint32_t(s_.MSG.FROMID);
                    if (s_.Person.get(PersonFile::PERSONKEY)) {
                        // "First Last"; a person without first names is
                        // named by the last name alone, so that the
                        // receiver is the same person as the sender was.
                        std::string firstNames = s_.PER.FIRSTNAME.str(), last = s_.PER.LASTNAME.str();
                        NHR.R_NAME = firstNames.empty() ? last : last.empty() ? firstNames : firstNames + " " + last;
                        NHR.R_CISADRESS = s_.PER.ADDRESS.view();
                    }
                }
            }
        } else {
            // The answered article is not here yet: its identifier is
            // registered under the number this reply refers to, so that it
            // is stored under that number when it arrives.
            Registration g = registerArticle(s_, *ref, NHR.REFNUMBER, addRecord);
            if (g == Registration::Taken) NHR.REFNUMBER = 0;
            else if (g == Registration::Failed) return r;
        }
    }
    std::string fromLast, toLast;
    if (!threadAndPersons(secSysId, thread, r, fromLast, toLast)) return r;

    if (!writeHeaderAndText(r, secSysId, thread, r.fromId, fromLast, r.toId, toLast)) return r;
    r.code = StoreStored;
    return r;
}

// ---------------------------------------------------------------------------
// Counts

namespace {

// Adds the counted messages of up to `limit` entries of a count list to
// their records (held while they are rewritten) and takes the entries off
// the list. A record that is gone is passed over.
template <class Map, class SetKey, class Add, class Write>
bool applyCountList(Map& list, std::size_t limit, RecordFile& file, int key, SetKey setKey, Add add, Write write) {
    for (std::size_t n = 0; n < limit && !list.empty(); ++n) {
        auto it = list.begin();
        file.clearBuffer();
        setKey(it->first);
        file.hold(1);
        if (file.get(key)) {
            add(it->second);
            bool ok = write(file);
            file.release();
            if (!ok) return false;
        } else {
            file.release();
        }
        list.erase(it);
    }
    return true;
}

// A count changed by a delta; never below zero.
uint32_t adjusted(uint32_t count, int64_t delta) {
    int64_t n = int64_t(count) + delta;
    return n < 0 ? 0 : uint32_t(n);
}

}  // namespace

bool StoreWriter::applyPersonCounts(std::size_t limit) {
    return applyCountList(
        counts.persons, limit, s_.Person, PersonFile::PERSONKEY, [&](uint32_t id) { s_.PER.PERSONID = id; },
        [&](const CountLists::PersonCount& c) {
            s_.PER.FROMCOUNT = adjusted(s_.PER.FROMCOUNT, c.from);
            s_.PER.TOCOUNT = adjusted(s_.PER.TOCOUNT, c.to);
        },
        [&](RecordFile& f) { return write(f, UpdPut); });
}

bool StoreWriter::applyThreadCounts(std::size_t limit) {
    return applyCountList(
        counts.threads, limit, s_.Threads, ThreadsFile::THREADKEY, [&](uint32_t id) { s_.THR.THREADNUMBER = id; },
        [&](int64_t n) { s_.THR.MSGCOUNT = adjusted(s_.THR.MSGCOUNT, n); },
        [&](RecordFile& f) { return write(f, UpdPut); });
}

bool StoreWriter::applySectionCounts(std::size_t limit) {
    return applyCountList(
        counts.sections, limit, s_.Sections, SectionsFile::SYSIDKEY, [&](uint32_t id) { s_.SEC.SECSYSID = id; },
        [&](int64_t n) { s_.SEC.MSGCOUNT = adjusted(s_.SEC.MSGCOUNT, n); },
        [&](RecordFile& f) { return write(f, UpdPut); });
}

}  // namespace quill
