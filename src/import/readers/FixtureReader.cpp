#include "import/readers/FixtureReader.h"

#include <cerrno>
#include <cstring>

#include "database/Calendar.h"
#include "database/Types.h"
#include "import/StoreWriter.h"

namespace quill {

namespace {

constexpr std::size_t kMaxLine = 64000;
constexpr std::size_t kMaxText = 64000;

std::string trim(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) v.remove_suffix(1);
    return std::string(v);
}

bool equalNoCase(std::string_view a, std::string_view b) { return upper1252(a) == upper1252(b); }

uint32_t number(std::string_view v) {
    uint64_t n = 0;
    std::string t = trim(v);
    if (t.empty()) return 0;
    for (char ch : t) {
        if (ch < '0' || ch > '9') return 0;
        n = n * 10 + uint64_t(ch - '0');
        if (n > 0xFFFFFFFFu) return 0;
    }
    return uint32_t(n);
}

struct Party {
    std::string name, address;
};
Party party(std::string_view v) {
    std::string t = trim(v);
    Party p;
    auto lt = t.find('<');
    auto gt = t.find('>', lt == std::string::npos ? 0 : lt);
    if (lt != std::string::npos && gt != std::string::npos) {
        p.name = trim(std::string_view(t).substr(0, lt));
        p.address = trim(std::string_view(t).substr(lt + 1, gt - lt - 1));
    } else if (t.find('@') != std::string::npos) {
        p.address = t;
    } else {
        p.name = t;
    }
    return p;
}

// "YYYY-MM-DD HH:MM:SS" (the time may be left out).
void dateTime(std::string_view v, int32_t& date, int32_t& time) {
    date = 0;
    time = 0;
    std::string t = trim(v);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    int n = std::sscanf(t.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &se);
    if (n >= 3) date = dateFromYmd(y, mo, d);
    if (n >= 5) time = timeFromHms(h, mi, n >= 6 ? se : 0);
}

}  // namespace

ReaderOpening FixtureReader::open(ReaderContext& c, const std::string& path) {
    (void)c;
    ReaderOpening o;
    in_.close();
    in_.clear();
    consumed_ = 0;
    pendingStart_ = false;
    eof_ = false;
    in_.open(path, std::ios::binary);
    if (!in_) {
        o.outcome = OpenOutcome::CannotOpen;
        o.errorText = std::strerror(errno ? errno : ENOENT);
        return o;
    }
    // Skip the comments; the first other line must start a message.
    std::string line;
    while (nextLine(line)) {
        if (!line.empty() && line[0] == '#') continue;
        if (trim(line) == "%%") {
            pendingStart_ = true;
            return o;
        }
        if (trim(line).empty()) continue;
        o.outcome = OpenOutcome::NotRecognised;
        return o;
    }
    return o;  // an empty fixture holds no message
}

bool FixtureReader::nextLine(std::string& line) {
    line.clear();
    if (eof_) return false;
    auto* buf = in_.rdbuf();
    bool any = false;
    for (;;) {
        int ch = buf->sbumpc();
        if (ch == std::char_traits<char>::eof()) {
            eof_ = true;
            return any;
        }
        any = true;
        ++consumed_;
        if (ch == '\n') break;
        if (line.size() < kMaxLine) line.push_back(char(ch));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool FixtureReader::read(ReaderContext& c) {
    int32_t budget = c.batchSize > 0 ? c.batchSize : 1;
    std::string line;
    while (budget-- > 0) {
        if (!pendingStart_) break;
        pendingStart_ = false;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string text;
        bool inText = false;
        std::vector<std::string> body;
        while (nextLine(line)) {
            if (trim(line) == "%%") {
                pendingStart_ = true;
                break;
            }
            if (!inText) {
                if (trim(line).empty()) {
                    inText = true;
                    continue;
                }
                auto colon = line.find(':');
                if (colon == std::string::npos) {
                    inText = true;
                    body.push_back(line);
                    continue;
                }
                headers.emplace_back(trim(std::string_view(line).substr(0, colon)),
                                     trim(std::string_view(line).substr(colon + 1)));
            } else if (body.size() < kMaxText) {
                body.push_back(line);
            }
        }
        while (!body.empty() && trim(body.back()).empty()) body.pop_back();
        for (std::size_t i = 0; i < body.size() && text.size() < kMaxText; ++i) {
            if (i) text += "\r\n";
            text += body[i];
        }
        if (text.size() > kMaxText) text.resize(kMaxText);
        stageMessage(c, headers, text);
        c.progress = double(consumed_);
    }
    c.progress = double(consumed_);
    return !pendingStart_;
}

void FixtureReader::stageMessage(ReaderContext& c, const std::vector<std::pair<std::string, std::string>>& headers,
                                 const std::string& text) {
    Session& s = c.s;
    auto get = [&](std::string_view name) -> std::string {
        for (auto& [k, v] : headers)
            if (equalNoCase(k, name)) return v;
        return {};
    };
    std::string kind = upper1252(get("Kind"));
    if (kind.empty()) kind = "FORUM";
    if (equalNoCase(get("Bad"), "yes") || c.def.msgFilter == 2) {
        c.skip();
        return;
    }
    s.NewHR.clearBuffer();
    auto& NHR = s.NHR;
    Party from = party(get("From")), to = party(get("To"));
    int32_t date = 0, time = 0;
    dateTime(get("Date"), date, time);
    NHR.HEADING = get("Subject");
    NHR.S_NAME = from.name;
    NHR.S_CISADRESS = from.address;
    NHR.R_NAME = to.name;
    NHR.R_CISADRESS = to.address;
    NHR.DATE = date;
    NHR.TIME = time;
    s.NewHR.memo = text;

    if (kind == "MAIL") {
        if (!c.def.mailMsg || c.mailboxName.empty()) {
            c.skip();
            return;
        }
        auto t = c.findTarget(c.mailboxName, TypeMail);
        if (t.id == 0 || !t.importAllowed) {
            c.skip();
            return;
        }
        c.owner.direction(NHR);
        uint32_t n = c.nextNumber();
        NHR.INTERNAL = t.id;
        NHR.MSGNUMBER = n;
        NHR.REFNUMBER = n;
        NHR.FOR_DESCRIPTION = c.owner.name;
        NHR.RECIPTYPE = "TO";
        if (!c.stage()) return;
        for (auto& [k, v] : headers) {
            if (!equalNoCase(k, "Cc")) continue;
            Party cc = party(v);
            NHR.R_NAME = cc.name;
            NHR.R_CISADRESS = cc.address;
            NHR.RECIPTYPE = "CC";
            if (!c.stageCarbonCopy()) return;
        }
        return;
    }
    if (kind == "NEWS") {
        std::string group = get("Newsgroup");
        std::string id = get("Message-ID");
        if (!c.def.newsgroupMsg || group.empty() || id.empty()) {
            c.skip();
            return;
        }
        auto t = c.findTarget(group, TypeNewsgroup);
        if (t.id == 0 || !t.importAllowed) {
            c.skip();
            return;
        }
        NHR.INTERNAL = t.id;
        NHR.FOR_DESCRIPTION = group;
        NHR.MSGNUMBER = c.stageId(id);
        std::string refs = get("References");
        if (!refs.empty()) {
            auto lastBlank = refs.find_last_of(' ');
            std::string last = lastBlank == std::string::npos ? refs : refs.substr(lastBlank + 1);
            NHR.REFNUMBER = c.stageId(last);
        }
        if (uint32_t(NHR.MSGNUMBER) == 0) return;
        (void)c.stage();
        return;
    }
    // Forum message.
    std::string forum = get("Forum");
    if (forum.empty()) forum = c.forumName;
    uint32_t msgNumber = number(get("Number"));
    if (!c.def.forumMsg || forum.empty() || msgNumber == 0) {
        c.skip();
        return;
    }
    auto t = c.findTarget(forum, TypeForum);
    if (t.id == 0 || !t.importAllowed) {
        c.skip();
        return;
    }
    if (!c.def.allowReimp && s.ImportedMessages.isOpen()) {
        s.ImportedMessages.clearBuffer();
        s.IMP.FORUMNUMBER = t.id;
        s.IMP.MSGNUMBER = msgNumber;
        if (s.ImportedMessages.get(ImportedMessagesFile::IDKEY)) {
            c.skip();
            return;
        }
    }
    std::string section = get("Section");
    uint32_t secNumber = 0;
    std::string secName = section;
    auto blank = section.find(' ');
    if (!section.empty() && number(section.substr(0, blank)) != 0) {
        secNumber = number(section.substr(0, blank));
        secName = blank == std::string::npos ? "" : trim(std::string_view(section).substr(blank + 1));
    }
    NHR.INTERNAL = t.id;
    NHR.MSGNUMBER = msgNumber;
    NHR.REFNUMBER = number(get("Ref"));
    NHR.FOR_DESCRIPTION = forum;
    NHR.SECTIONNUMBER = secNumber;
    NHR.SEC_DESCRIPTION = secName;
    (void)c.stage();
}

void FixtureReader::close() { in_.close(); }

}  // namespace quill
