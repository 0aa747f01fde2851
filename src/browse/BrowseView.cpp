#include "browse/BrowseView.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "database/Common.h"
#include "database/Calendar.h"
#include "database/Preferences.h"
#include "people/Address.h"
#include "people/Threads.h"
#include "search/Search.h"

namespace quill {

// ---------------------------------------------------------------------------
// Modes, columns and the status pop-up

const std::vector<BrowseModeInfo>& browseModes(BrowseKind kind) {
    static const std::vector<BrowseModeInfo> forum = {
        {BrowseMode::Date, "Find Date", 0, "", "", "", ""},
        {BrowseMode::Thread, "Filter Thread", 50, "Limit view to chosen thread", "Previous Thread", "Next Thread",
         "Look up thread"},
        {BrowseMode::Section, "Filter Section", 35, "Limit view to chosen section", "Previous Thread within Section",
         "Next Thread within Section", "Look up section"},
        {BrowseMode::Sender, "Filter Sender", 25, "Limit view to chosen sender", "Previous Sender", "Next Sender",
         "Look up sender"},
        {BrowseMode::Receiver, "Filter Receiver", 25, "Limit view to chosen receiver", "Previous Receiver",
         "Next Receiver", "Look up receiver"},
        {BrowseMode::MsgNo, "Find MsgNo", 0, "", "", "", ""},
        {BrowseMode::KeyWord, "Filter Key Word", 40, "", "", "", "Look up keyword"},
        {BrowseMode::Topic, "Filter Topic", 40, "", "", "", "Look up topic"},
        {BrowseMode::Search, "Search", 0, "", "", "", ""},
    };
    static const std::vector<BrowseModeInfo> mail = {
        {BrowseMode::Date, "Find Date", 0, "", "", "", ""},
        {BrowseMode::Subject, "Find Subject", 25, "", "", "", ""},
        {BrowseMode::Partner, "Filter Partner", 25, "Limit view to chosen mail partner", "Previous Mail Partner",
         "Next Mail Partner", "Look up partner"},
        {BrowseMode::Sender, "Filter Sender", 25, "Limit view to chosen sender", "Previous Sender", "Next Sender",
         "Look up sender"},
        {BrowseMode::Receiver, "Filter Receiver", 25, "Limit view to chosen receiver", "Previous Receiver",
         "Next Receiver", "Look up receiver"},
        {BrowseMode::KeyWord, "KeyWord", 40, "", "", "", "Look up keyword"},
        {BrowseMode::Topic, "Filter Topic", 40, "", "", "", "Look up topic"},
        {BrowseMode::Search, "Search", 0, "", "", "", ""},
    };
    return kind == BrowseKind::Mail ? mail : forum;
}

const BrowseModeInfo& browseModeInfo(BrowseKind kind, BrowseMode mode) {
    for (const BrowseModeInfo& m : browseModes(kind))
        if (m.mode == mode) return m;
    return browseModes(kind).front();
}

const std::vector<std::string>& browseColumns(BrowseKind kind) {
    static const std::vector<std::string> forum = {"Date", "Thread", "Sender", "Receiver", "Section"};
    static const std::vector<std::string> mail = {"Date", "Time", "Subject", "Sender", "Receiver"};
    return kind == BrowseKind::Mail ? mail : forum;
}

std::string statusMenuText(BrowseKind kind) {
    if (kind == BrowseKind::Mail)
        return "Normal Message|Keep Message|Delete Message|-|Normal Partner|Keep Partner|Delete Partner|-||"
               "Normal MailBox|Keep MailBox|Delete MailBox";
    return "Normal Message|Keep Message|Delete Message|-|Normal Thread|Keep Thread|Delete Thread|-||"
           "Normal Section|Keep Section|Delete Section|-|Normal Database|Keep Database|Delete Database";
}

bool statusMenuEntry(BrowseKind kind, const std::string& entry, StatusTarget& target, uint8_t& value) {
    std::size_t blank = entry.find(' ');
    if (blank == std::string::npos) return false;
    std::string verb = entry.substr(0, blank), what = entry.substr(blank + 1);
    if (verb == "Normal") value = 0;
    else if (verb == "Keep") value = 1;
    else if (verb == "Delete") value = 2;
    else return false;
    bool mail = kind == BrowseKind::Mail;
    if (what == "Message") target = StatusTarget::Message;
    else if (what == "Thread" && !mail) target = StatusTarget::Thread;
    else if (what == "Section" && !mail) target = StatusTarget::Section;
    else if (what == "Partner" && mail) target = StatusTarget::Partner;
    else if ((what == "Database" && !mail) || (what == "MailBox" && mail)) target = StatusTarget::Database;
    else return false;
    return true;
}

// ---------------------------------------------------------------------------
// Key helpers

namespace {

// Sets the key components from index `from` on to the value that sorts
// first (low) or last in the key's order, so that a set from the buffer
// lands before or after every record that shares the leading components.
void fillTail(RecordFile& f, int key, std::size_t from, bool low) {
    const FileDesc& d = f.desc();
    const KeyDesc& k = d.keys[std::size_t(key)];
    for (std::size_t i = from; i < k.components.size(); ++i) {
        const FieldDesc& fd = d.fields[std::size_t(k.components[i].field)];
        bool smallest = low != k.components[i].descending;
        unsigned char* p = f.buffer() + fd.offset;
        std::size_t n = std::size_t(fd.elemSize) * fd.dim;
        switch (fd.type) {
            case FieldType::ULong:
                std::memset(p, smallest ? 0x00 : 0xFF, n);
                break;
            case FieldType::Long:
                for (std::size_t e = 0; e < fd.dim; ++e) {
                    int32_t v = smallest ? INT32_MIN : INT32_MAX;
                    Long l;
                    l = v;
                    std::memcpy(p + e * 4, &l, 4);
                }
                break;
            case FieldType::String:
                std::memset(p, smallest ? ' ' : 0xFE, n);
                break;
            default:
                std::memset(p, smallest ? 0x00 : 0xFF, n);
                break;
        }
    }
}

std::string firstChars(const std::string& s, std::size_t n) { return s.size() > n ? s.substr(0, n) : s; }

}  // namespace

// ---------------------------------------------------------------------------
// The view

BrowseView::BrowseView(Session& s) : s_(s) {}

BrowseView::~BrowseView() { close(); }

bool BrowseView::open() {
    close();
    if (s_.Mem.ForumNumber == 0) return false;
    kind_ = s_.Mem.ForumType == TypeMail ? BrowseKind::Mail : BrowseKind::Forum;
    if (kind_ == BrowseKind::Mail)
        files_ = {MailFile::Number, MsgTextFile::Number, PersonFile::Number, CCRFile::Number};
    else
        files_ = {MsgNmbrFile::Number, MsgTextFile::Number, PersonFile::Number, SectionsFile::Number,
                  ThreadsFile::Number};
    for (int n : files_) OP_CLOSE(s_, OpOpenShared, {n});
    std::string label;
    SetDate(s_, label, datePicture_);
    SetTime(s_, label, timePicture_);
    personFormat_ = konfigNumber(s_, kind_ == BrowseKind::Mail ? mailBrowsePersonPref : messageBrowsePersonPref);
    open_ = true;
    mode_ = BrowseMode::Date;
    filters_.clear();
    filterImages_.clear();
    list_.clear();
    keyWord_.clear();
    topic_ = 0;
    clearCaches();
    (void)fileChanged();
    return true;
}

void BrowseView::close() {
    if (!open_) return;
    for (int n : files_) OP_CLOSE(s_, OpClose, {n});
    files_.clear();
    open_ = false;
}

RecordFile& BrowseView::headers() {
    if (kind_ == BrowseKind::Mail) return s_.Mail;
    return s_.MsgNmbr;
}

bool BrowseView::isListMode() const {
    return mode_ == BrowseMode::KeyWord || mode_ == BrowseMode::Topic || mode_ == BrowseMode::Search;
}

void BrowseView::setMode(BrowseMode m) {
    mode_ = m;
    if (isListMode()) reloadList();
}

int BrowseView::key() const {
    if (kind_ == BrowseKind::Mail) {
        switch (mode_) {
            case BrowseMode::Subject: return MailFile::SUBJECTKEY;
            case BrowseMode::Partner: return MailFile::PAIRKEY;
            case BrowseMode::Sender: return MailFile::FROMKEY;
            case BrowseMode::Receiver: return MailFile::TOKEY;
            default: return MailFile::DATEKEY;
        }
    }
    switch (mode_) {
        case BrowseMode::Thread: return MsgNmbrFile::THREADKEY;
        case BrowseMode::Section: return MsgNmbrFile::SECKEY;
        case BrowseMode::Sender: return MsgNmbrFile::FROMKEY;
        case BrowseMode::Receiver: return MsgNmbrFile::TOKEY;
        case BrowseMode::MsgNo: return MsgNmbrFile::IDKEY;
        default: return MsgNmbrFile::DATEKEY;
    }
}

bool BrowseView::canFilter() const {
    switch (mode_) {
        case BrowseMode::Thread:
        case BrowseMode::Section: return kind_ == BrowseKind::Forum;
        case BrowseMode::Partner: return kind_ == BrowseKind::Mail;
        case BrowseMode::Sender:
        case BrowseMode::Receiver: return true;
        default: return false;
    }
}

// The key components that make one filter value (alpha and identifier, or
// the section identifier alone).
static std::size_t filterComponents(BrowseMode m) { return m == BrowseMode::Section ? 1 : 2; }

uint32_t BrowseView::filter() const {
    auto it = filters_.find(mode_);
    return it == filters_.end() ? 0 : it->second;
}

uint32_t BrowseView::groupValue() const {
    if (kind_ == BrowseKind::Mail) {
        switch (mode_) {
            case BrowseMode::Partner: return s_.MAI.PAIRID;
            case BrowseMode::Sender: return s_.MAI.FROMID;
            case BrowseMode::Receiver: return s_.MAI.TOID;
            default: return 0;
        }
    }
    switch (mode_) {
        case BrowseMode::Thread: return s_.MSG.THREADNUMBER;
        case BrowseMode::Section: return s_.MSG.SECSYSID;
        case BrowseMode::Sender: return s_.MSG.FROMID;
        case BrowseMode::Receiver: return s_.MSG.TOID;
        default: return 0;
    }
}

bool BrowseView::inFilter() const {
    uint32_t f = filter();
    return f == 0 || !canFilter() || groupValue() == f;
}

void BrowseView::limitTo(const BrowseRow& row) {
    if (!canFilter() || row.image.size() != headers().recordSize()) return;
    std::memcpy(headers().buffer(), row.image.data(), row.image.size());
    filters_[mode_] = groupValue();
    filterImages_[mode_] = row.image;
}

void BrowseView::setFilter(uint32_t value) {
    if (!canFilter()) return;
    if (value == 0) {
        clearFilter();
        return;
    }
    // The key's leading text is the alpha the store writer copied from the
    // thread heading or the person's last name.
    RecordFile& h = headers();
    h.clearBuffer();
    if (mode_ == BrowseMode::Thread) {
        s_.Threads.clearBuffer();
        s_.THR.THREADNUMBER = value;
        if (s_.Threads.get(ThreadsFile::THREADKEY)) s_.MSG.THREADALPHA = s_.THR.ALPHA.view();
        s_.MSG.THREADNUMBER = value;
    } else if (mode_ == BrowseMode::Section) {
        s_.MSG.SECSYSID = value;
    } else {
        s_.Person.clearBuffer();
        s_.PER.PERSONID = value;
        std::string last = s_.Person.get(PersonFile::PERSONKEY) ? s_.PER.LASTNAME.str() : std::string();
        if (kind_ == BrowseKind::Mail) {
            if (mode_ == BrowseMode::Partner) s_.MAI.PAIRALPHA = firstChars(last, 25), s_.MAI.PAIRID = value;
            if (mode_ == BrowseMode::Sender) s_.MAI.FROMALPHA = firstChars(last, 10), s_.MAI.FROMID = value;
            if (mode_ == BrowseMode::Receiver) s_.MAI.TOALPHA = firstChars(last, 10), s_.MAI.TOID = value;
        } else {
            if (mode_ == BrowseMode::Sender) s_.MSG.FROMALPHA = firstChars(last, 10), s_.MSG.FROMID = value;
            if (mode_ == BrowseMode::Receiver) s_.MSG.TOALPHA = firstChars(last, 10), s_.MSG.TOID = value;
        }
    }
    filters_[mode_] = value;
    filterImages_[mode_] = std::string(reinterpret_cast<const char*>(h.buffer()), h.recordSize());
}

void BrowseView::clearFilter() {
    filters_.erase(mode_);
    filterImages_.erase(mode_);
}

void BrowseView::seekFilterStart(bool forward) {
    RecordFile& h = headers();
    const std::string& image = filterImages_[mode_];
    std::memcpy(h.buffer(), image.data(), h.recordSize());
    fillTail(h, key(), filterComponents(mode_), forward);
    h.setFrom(key());
}

void BrowseView::setKeyWord(const std::string& word) {
    keyWord_ = word;
    if (mode_ == BrowseMode::KeyWord) reloadList();
}

void BrowseView::setTopic(uint32_t codeId) {
    topic_ = codeId;
    if (mode_ == BrowseMode::Topic) reloadList();
}

void BrowseView::reloadList() {
    list_.clear();
    if (mode_ == BrowseMode::KeyWord && !keyWord_.empty()) {
        list_ = wordView(s_, keyWord_);
        std::reverse(list_.begin(), list_.end());  // newest identifier first
    } else if (mode_ == BrowseMode::Topic && topic_) {
        list_ = codeView(s_, topic_);
    } else if (mode_ == BrowseMode::Search) {
        list_ = readResultSet(s_);
    }
}

// --- rows ---------------------------------------------------------------

std::string BrowseView::personText(uint32_t id) {
    if (id == 0) return {};
    auto it = persons_.find(id);
    if (it != persons_.end()) return it->second;
    std::string t;
    s_.Person.clearBuffer();
    s_.PER.PERSONID = id;
    if (s_.Person.get(PersonFile::PERSONKEY)) {
        std::string name = personDisplayName(s_.PER.LASTNAME.view(), s_.PER.FIRSTNAME.view());
        std::string address = s_.PER.ADDRESS.str();
        if (personFormat_ == 1 || address.empty()) t = name.empty() ? address : name;
        else if (name.empty()) t = address;
        else t = name + " <" + address + ">";
    }
    return persons_[id] = t;
}

std::string BrowseView::threadText(uint32_t number) {
    auto it = threads_.find(number);
    if (it != threads_.end()) return it->second;
    return threads_[number] = threadHeading(s_, number);
}

std::string BrowseView::sectionText(uint32_t secSysId) {
    auto it = sections_.find(secSysId);
    if (it != sections_.end()) return it->second;
    std::string t;
    s_.Sections.clearBuffer();
    s_.SEC.SECSYSID = secSysId;
    if (secSysId && s_.Sections.get(SectionsFile::SYSIDKEY)) {
        if (s_.Mem.TargetNG) {
            t = s_.SEC.DESCRIPTION.str();
        } else {
            char num[16];
            std::snprintf(num, sizeof num, "%02u", unsigned(s_.SEC.SECTIONNUMBER));
            t = std::string(num) + " - " + s_.SEC.DESCRIPTION.str();
        }
    }
    return sections_[secSysId] = t;
}

void BrowseView::clearCaches() {
    persons_.clear();
    threads_.clear();
    sections_.clear();
}

// Fills row from the header record in the buffer.
bool BrowseView::readCurrent(BrowseRow& row) {
    RecordFile& h = headers();
    row.image.assign(reinterpret_cast<const char*>(h.buffer()), h.recordSize());
    row.pos = h.position(keyed() ? key() : -1);
    row.columns.clear();
    if (kind_ == BrowseKind::Mail) {
        const MailRecord& m = s_.MAI;
        row.id = m.MAILID;
        row.date = m.DATE;
        row.time = m.TIME;
        row.fromId = m.FROMID;
        row.toId = m.TOID;
        row.pairId = m.PAIRID;
        row.threadNumber = row.secSysId = 0;
        row.status = m.DUMMY;
        row.subject = m.SUBJECT.str();
        std::string subject = row.subject;
        row.columns = {formatDate(row.date, datePicture_), formatTime(row.time, timePicture_), subject,
                       personText(row.fromId), personText(row.toId)};
    } else {
        const MsgNmbrRecord& m = s_.MSG;
        row.id = m.MSGNUMBER;
        row.date = m.DATE;
        row.time = 0;
        row.threadNumber = m.THREADNUMBER;
        row.secSysId = m.SECSYSID;
        row.fromId = m.FROMID;
        row.toId = m.TOID;
        row.pairId = 0;
        row.status = m.DUMMY;
        uint32_t thread = row.threadNumber, sec = row.secSysId, from = row.fromId, to = row.toId;
        int32_t date = row.date;
        row.columns = {formatDate(date, datePicture_), threadText(thread), personText(from), personText(to),
                       sectionText(sec)};
        row.subject = row.columns[1];
    }
    return true;
}

bool BrowseView::readById(uint32_t id) {
    RecordFile& h = headers();
    h.clearBuffer();
    if (kind_ == BrowseKind::Mail) {
        s_.MAI.MAILID = id;
        return bool(h.get(MailFile::IDKEY));
    }
    s_.MSG.MSGNUMBER = id;
    return bool(h.get(MsgNmbrFile::IDKEY));
}

// Reads up to n rows from the cursor the caller has set, while they lie in
// the filter.
std::vector<BrowseRow> BrowseView::walk(std::size_t n, bool forward) {
    std::vector<BrowseRow> rows;
    RecordFile& h = headers();
    while (rows.size() < n) {
        Status st = forward ? h.next() : h.previous();
        if (!st || !inFilter()) break;
        BrowseRow r;
        readCurrent(r);
        rows.push_back(std::move(r));
        // Formatting read other files only; the header cursor stands.
    }
    if (!forward) std::reverse(rows.begin(), rows.end());
    return rows;
}

std::vector<BrowseRow> BrowseView::listRows(std::size_t from, std::size_t n, bool forward) {
    std::vector<BrowseRow> rows;
    // from: the first index to look at; going backwards, one past it.
    std::size_t i = from;
    while (rows.size() < n) {
        if (forward ? i >= list_.size() : i == 0) break;
        std::size_t at = forward ? i++ : --i;
        if (!readById(list_[at])) continue;  // a message purged since the list was made
        BrowseRow r;
        readCurrent(r);
        r.listIndex = at;
        rows.push_back(std::move(r));
    }
    if (!forward) std::reverse(rows.begin(), rows.end());
    return rows;
}

std::vector<BrowseRow> BrowseView::first(std::size_t n) {
    if (!open_) return {};
    if (isListMode()) return listRows(0, n, true);
    if (filter()) seekFilterStart(true);
    else headers().set(key());
    return walk(n, true);
}

std::vector<BrowseRow> BrowseView::last(std::size_t n) {
    if (!open_) return {};
    if (isListMode()) return listRows(list_.size(), n, false);
    if (filter()) seekFilterStart(false);
    else headers().set(key());
    return walk(n, false);
}

std::vector<BrowseRow> BrowseView::after(const BrowseRow& row, std::size_t n) {
    if (!open_) return {};
    if (isListMode()) return listRows(row.listIndex + 1, n, true);
    RecordFile& h = headers();
    h.reset(row.pos);
    std::vector<BrowseRow> rows = walk(n + 1, true);
    if (!rows.empty() && rows.front().id == row.id) rows.erase(rows.begin());
    else if (rows.size() > n) rows.pop_back();
    return rows;
}

std::vector<BrowseRow> BrowseView::before(const BrowseRow& row, std::size_t n) {
    if (!open_) return {};
    if (isListMode()) return listRows(row.listIndex, n, false);
    RecordFile& h = headers();
    h.reset(row.pos);
    std::vector<BrowseRow> rows = walk(n + 1, false);
    if (!rows.empty() && rows.back().id == row.id) rows.pop_back();
    else if (rows.size() > n) rows.erase(rows.begin());
    return rows;
}

std::vector<BrowseRow> BrowseView::from(const BrowseRow& row, std::size_t n) {
    if (!open_) return {};
    if (isListMode()) return listRows(row.listIndex, n, true);
    headers().reset(row.pos);
    return walk(n, true);
}

std::optional<BrowseRow> BrowseView::reread(const BrowseRow& row) {
    if (!open_ || !readById(row.id)) return std::nullopt;
    BrowseRow r;
    readCurrent(r);
    r.listIndex = row.listIndex;
    return r;
}

// --- locating -----------------------------------------------------------

namespace {
// "yyyy-mm-dd" (any non-digits between the parts; a missing month or day is
// the first); 0 when it is no date.
int32_t parseLocatorDate(const std::string& text) {
    int parts[3] = {0, 1, 1};
    int count = 0;
    std::size_t i = 0;
    while (i < text.size() && count < 3) {
        while (i < text.size() && !(text[i] >= '0' && text[i] <= '9')) ++i;
        if (i >= text.size()) break;
        int v = 0;
        std::size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 9) v = v * 10 + (text[i++] - '0'), ++digits;
        parts[count++] = v;
    }
    if (count == 0) return 0;
    return dateFromYmd(parts[0], parts[1], parts[2]);
}
}  // namespace

std::optional<BrowseRow> BrowseView::locateDate(int32_t date) {
    if (!open_ || mode_ != BrowseMode::Date) return std::nullopt;
    RecordFile& h = headers();
    h.clearBuffer();
    if (kind_ == BrowseKind::Mail) s_.MAI.DATE = date;
    else s_.MSG.DATE = date;
    fillTail(h, key(), 1, true);
    h.setFrom(key());
    std::vector<BrowseRow> rows = walk(1, true);
    if (rows.empty()) return std::nullopt;
    return rows.front();
}

std::optional<BrowseRow> BrowseView::locate(const std::string& text) {
    if (!open_) return std::nullopt;
    RecordFile& h = headers();
    switch (mode_) {
        case BrowseMode::Date: {
            int32_t d = parseLocatorDate(text);
            if (!d) return std::nullopt;
            return locateDate(d);
        }
        case BrowseMode::KeyWord: {
            setKeyWord(text);
            std::vector<BrowseRow> rows = first(1);
            if (rows.empty()) return std::nullopt;
            return rows.front();
        }
        case BrowseMode::Topic: {
            LookupList topics(s_, LookupKind::Topics);
            std::vector<LookupEntry> e = topics.from(text, 1);
            if (e.empty() || upper1252(e.front().text).rfind(upper1252(text), 0) != 0) {
                LookupList words(s_, LookupKind::KeyWords);
                e = words.from(text, 1);
                if (e.empty() || upper1252(e.front().text).rfind(upper1252(text), 0) != 0) return std::nullopt;
            }
            setTopic(e.front().id);
            std::vector<BrowseRow> rows = first(1);
            if (rows.empty()) return std::nullopt;
            return rows.front();
        }
        case BrowseMode::Search:
            return std::nullopt;
        default:
            break;
    }
    h.clearBuffer();
    std::size_t lead = 1;
    if (kind_ == BrowseKind::Mail) {
        switch (mode_) {
            case BrowseMode::Subject: s_.MAI.SUBJECT = text; break;
            case BrowseMode::Partner: s_.MAI.PAIRALPHA = text; break;
            case BrowseMode::Sender: s_.MAI.FROMALPHA = text; break;
            case BrowseMode::Receiver: s_.MAI.TOALPHA = text; break;
            default: return std::nullopt;
        }
    } else {
        switch (mode_) {
            case BrowseMode::Thread: s_.MSG.THREADALPHA = text; break;
            case BrowseMode::Sender: s_.MSG.FROMALPHA = text; break;
            case BrowseMode::Receiver: s_.MSG.TOALPHA = text; break;
            case BrowseMode::MsgNo: {
                char* end = nullptr;
                unsigned long v = std::strtoul(text.c_str(), &end, 10);
                if (end == text.c_str()) return std::nullopt;
                s_.MSG.MSGNUMBER = uint32_t(std::min<unsigned long>(v, 0xFFFFFFFFul));
                break;
            }
            case BrowseMode::Section: {
                // A section by the leading characters of its name, or by its number.
                s_.Sections.clearBuffer();
                bool found = false;
                if (isNumericText(text)) {
                    s_.SEC.SECTIONNUMBER = uint32_t(std::strtoul(text.c_str(), nullptr, 10));
                    found = bool(s_.Sections.get(SectionsFile::SECTIONKEY));
                }
                if (!found) {
                    s_.Sections.clearBuffer();
                    s_.SEC.DESCRIPTION = text;
                    s_.Sections.setFrom(SectionsFile::DESCKEY);
                    found = bool(s_.Sections.next());
                }
                if (!found) return std::nullopt;
                h.clearBuffer();
                s_.MSG.SECSYSID = s_.SEC.SECSYSID;
                break;
            }
            default: return std::nullopt;
        }
    }
    fillTail(h, key(), lead, true);
    h.setFrom(key());
    std::vector<BrowseRow> rows = walk(1, true);
    if (rows.empty()) return std::nullopt;
    return rows.front();
}

std::optional<BrowseRow> BrowseView::locateMessage(uint32_t id) {
    if (!open_ || id == 0) return std::nullopt;
    if (isListMode()) {
        auto it = std::find(list_.begin(), list_.end(), id);
        if (it == list_.end() || !readById(id)) return std::nullopt;
        BrowseRow r;
        readCurrent(r);
        r.listIndex = std::size_t(it - list_.begin());
        return r;
    }
    if (!readById(id) || !inFilter()) return std::nullopt;
    BrowseRow r;
    readCurrent(r);
    return r;
}

std::optional<BrowseRow> BrowseView::neighbour(const BrowseRow& row, bool forward) {
    if (!open_ || !canFilter() || row.image.size() != headers().recordSize()) return std::nullopt;
    RecordFile& h = headers();
    // The section view steps from thread to thread within the section.
    std::size_t group = mode_ == BrowseMode::Section ? 3 : 2;
    uint32_t section = row.secSysId;
    std::memcpy(h.buffer(), row.image.data(), row.image.size());
    fillTail(h, key(), group, !forward);
    h.setFrom(key());
    if (!(forward ? h.next() : h.previous())) return std::nullopt;
    if (mode_ == BrowseMode::Section && uint32_t(s_.MSG.SECSYSID) != section) return std::nullopt;
    if (!forward) {
        // The last row of the previous value: go to that value's first row.
        fillTail(h, key(), group, true);
        h.setFrom(key());
        if (!h.next()) return std::nullopt;
    }
    BrowseRow r;
    readCurrent(r);
    if (filter() && mode_ != BrowseMode::Section) {
        filters_[mode_] = groupValue();
        filterImages_[mode_] = r.image;
    }
    return r;
}

// --- text and status ----------------------------------------------------

std::string BrowseView::text(const BrowseRow& row) {
    if (!open_) return {};
    s_.MsgText.clearBuffer();
    s_.TXT.MSGNUMBER = row.id;
    std::string body = s_.MsgText.get(MsgTextFile::IDKEY) ? s_.MsgText.memo : std::string();
    if (kind_ == BrowseKind::Mail && !row.subject.empty()) return "Subject: " + row.subject + "\r\n\r\n" + body;
    return body;
}

namespace {
// Reads the record whose key fields are in the buffer under a hold, writes
// value into its status byte and lets go.
bool markHeld(Session& s, RecordFile& f, int key, Byte& status, uint8_t value) {
    if (!HoldRec(s, f, key, true, {})) return false;
    status = value;
    bool ok = UppDat(s, f, UpdPut, UpdReport);
    f.release();
    return ok;
}
}  // namespace

bool BrowseView::statusRecord(StatusTarget target, uint8_t value, const BrowseRow& row) {
    switch (target) {
        case StatusTarget::Thread:
            s_.Threads.clearBuffer();
            s_.THR.THREADNUMBER = row.threadNumber;
            return markHeld(s_, s_.Threads, ThreadsFile::THREADKEY, s_.THR.DUMMY, value);
        case StatusTarget::Section:
            s_.Sections.clearBuffer();
            s_.SEC.SECSYSID = row.secSysId;
            return markHeld(s_, s_.Sections, SectionsFile::SYSIDKEY, s_.SEC.DUMMY, value);
        case StatusTarget::Partner:
            s_.Person.clearBuffer();
            s_.PER.PERSONID = row.pairId;
            return markHeld(s_, s_.Person, PersonFile::PERSONKEY, s_.PER.DUMMY, value);
        case StatusTarget::Database: {
            OP_CLOSE(s_, OpOpenShared, {ForumsFile::Number});
            s_.Forums.clearBuffer();
            s_.FOR.ID = s_.Mem.ForumNumber;
            bool ok = markHeld(s_, s_.Forums, ForumsFile::FORUMKEY, s_.FOR.DUMMY, value);
            if (ok) s_.Mem.ForumCheck = value;
            OP_CLOSE(s_, OpClose, {ForumsFile::Number});
            return ok;
        }
        case StatusTarget::Message:
            break;
    }
    RecordFile& h = headers();
    h.clearBuffer();
    int idKey;
    if (kind_ == BrowseKind::Mail) {
        s_.MAI.MAILID = row.id;
        idKey = MailFile::IDKEY;
    } else {
        s_.MSG.MSGNUMBER = row.id;
        idKey = MsgNmbrFile::IDKEY;
    }
    if (!HoldRec(s_, h, idKey, true, {})) return false;
    if (std::memcmp(h.buffer(), row.image.data(), std::min<std::size_t>(row.image.size(), h.recordSize())) != 0 ||
        row.image.size() != h.recordSize()) {
        s_.tell("The record has just been changed by another user!\r\nTry again!", "Warning!");
        h.release();
        return false;
    }
    if (kind_ == BrowseKind::Mail) s_.MAI.DUMMY = value;
    else s_.MSG.DUMMY = value;
    bool ok = UppDat(s_, h, UpdPut, UpdReport);
    h.release();
    return ok;
}

bool BrowseView::setStatus(StatusTarget target, uint8_t value, BrowseRow& row) {
    if (!open_ || value > 2) return false;
    if (target == StatusTarget::Thread && (kind_ == BrowseKind::Mail || row.threadNumber == 0)) return false;
    if (target == StatusTarget::Section && (kind_ == BrowseKind::Mail || row.secSysId == 0)) return false;
    if (target == StatusTarget::Partner && (kind_ != BrowseKind::Mail || row.pairId == 0)) return false;
    bool ok = statusRecord(target, value, row);
    if (std::optional<BrowseRow> fresh = reread(row)) {
        fresh->pos = row.pos;
        if (keyed()) fresh->pos = headers().position(key());
        row = *fresh;
    }
    return ok;
}

bool BrowseView::fileChanged() {
    Stamp now;
    struct stat st {};
    if (open_ && ::stat(headers().name().c_str(), &st) == 0) {
        now.sec = st.st_mtim.tv_sec;
        now.nsec = st.st_mtim.tv_nsec;
        now.size = st.st_size;
    }
    bool changed = !(now == stamp_);
    stamp_ = now;
    return changed;
}

// ---------------------------------------------------------------------------
// Lookup lists

LookupList::LookupList(Session& s, LookupKind kind) : s_(s), kind_(kind) {
    if (kind_ == LookupKind::KeyWords) codeType_ = 1;
    if (kind_ == LookupKind::Topics) codeType_ = 2;
    OP_CLOSE(s_, OpOpenShared, {file().number()});
}

LookupList::~LookupList() { OP_CLOSE(s_, OpClose, {file().number()}); }

RecordFile& LookupList::file() {
    switch (kind_) {
        case LookupKind::Threads: return s_.Threads;
        case LookupKind::Sections: return s_.Sections;
        case LookupKind::Persons: return s_.Person;
        default: return s_.Codes;
    }
}

int LookupList::key() const {
    switch (kind_) {
        case LookupKind::Threads: return ThreadsFile::ALPHAKEY;
        case LookupKind::Sections: return SectionsFile::DESCKEY;
        case LookupKind::Persons: return PersonFile::NAMEKEY;
        default: return CodesFile::CLASSKEY;
    }
}

bool LookupList::fill(LookupEntry& e) {
    e.pos = file().position(key());
    switch (kind_) {
        case LookupKind::Threads:
            e.id = s_.THR.THREADNUMBER;
            e.text = s_.THR.HEADING.str();
            return true;
        case LookupKind::Sections:
            e.id = s_.SEC.SECSYSID;
            e.text = s_.SEC.DESCRIPTION.str();
            return true;
        case LookupKind::Persons: {
            e.id = s_.PER.PERSONID;
            std::string name = personDisplayName(s_.PER.LASTNAME.view(), s_.PER.FIRSTNAME.view());
            std::string address = s_.PER.ADDRESS.str();
            e.text = address.empty() ? name : name.empty() ? address : name + " <" + address + ">";
            return true;
        }
        default:
            if (uint8_t(s_.COD.TYPE) != codeType_) return false;
            e.id = s_.COD.ID;
            e.text = s_.COD.INDEX.str();
            return true;
    }
}

std::vector<LookupEntry> LookupList::from(const std::string& typed, std::size_t n) {
    RecordFile& f = file();
    f.clearBuffer();
    switch (kind_) {
        case LookupKind::Threads: s_.THR.ALPHA = typed; break;
        case LookupKind::Sections: s_.SEC.DESCRIPTION = typed; break;
        case LookupKind::Persons: s_.PER.LASTNAME = typed; break;
        default:
            s_.COD.TYPE = codeType_;
            s_.COD.INDEX = typed;
            break;
    }
    std::vector<LookupEntry> v;
    f.setFrom(key());
    while (v.size() < n && f.next()) {
        LookupEntry e;
        if (!fill(e)) break;
        v.push_back(std::move(e));
    }
    return v;
}

std::vector<LookupEntry> LookupList::after(const LookupEntry& last, std::size_t n) {
    RecordFile& f = file();
    std::vector<LookupEntry> v;
    f.reset(last.pos);
    while (v.size() < n && f.next()) {
        LookupEntry e;
        if (!fill(e)) break;
        if (e.pos == last.pos) continue;
        v.push_back(std::move(e));
    }
    return v;
}

}  // namespace quill
