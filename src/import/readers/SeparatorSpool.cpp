// Separator spool ("VirtualAccess", "Agent News", "Unix News").
//
//   ==========                                 "VirtualAccess": 10 "="
//   ==========                                 (a second one is passed over)
//   cix.forum/12_general #1234, from jsmith, 812 chars, 05-Jan-1998 12:00
//   Comment to 1200. More comments: 1236.      item line, reference line (optional)
//   ----------                                 exactly 10 "-"
//   Subject: ...                               header block
//   ...
//
//   ========                                   "Agent News", "Unix News" variant 1
//   From joe@host Mon Jan  5 12:00:00 1998     variant 2 (an at sign, a short line)
//   Newsgroups: ...                            header block from line 2
//
// The variant of an "Agent News" or "Unix News" file is decided when it is
// opened, from its first separator within 300 characters. LF and CR LF line
// ends are both read. An article runs to the next separator or the end of the
// file; text before the first separator belongs to no article.
#include "database/Types.h"
#include "import/Dates.h"
#include "import/Mime.h"
#include "import/readers/NewsReaders.h"

namespace quill {

namespace {
constexpr std::string_view Equals10 = "==========";
constexpr std::string_view Dashes10 = "----------";
constexpr std::size_t FromLineMax = 100;  // a "From " separator ends within this many characters

bool begins(std::string_view t, std::string_view p) { return t.substr(0, p.size()) == p; }

std::string_view trimBlanks(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
}

// A number made of digits only (at most 9); 0 for anything else.
uint32_t digitsValue(std::string_view v) {
    if (v.empty() || v.size() > 9) return 0;
    uint32_t n = 0;
    for (char ch : v) {
        if (ch < '0' || ch > '9') return 0;
        n = n * 10 + uint32_t(ch - '0');
    }
    return n;
}

bool fromSeparator(std::string_view text, bool split) {
    return begins(text, "From ") && !split && text.size() < FromLineMax && text.find('@') != std::string_view::npos;
}
}  // namespace

SeparatorSpool::Variant SeparatorSpool::detectVariant(std::string_view head) {
    head = head.substr(0, 300);
    std::size_t p = 0;
    while (p < head.size()) {
        std::string_view rest = head.substr(p);
        if (begins(rest, "========")) return Variant::Equals8;
        std::size_t eol = rest.find('\n');
        if (begins(rest, "From ")) {
            // The first separator is a "From " line: variant 2 when it holds
            // an at sign and ends soon enough, else no variant at all.
            if (eol == std::string_view::npos || eol > FromLineMax) return Variant::None;
            return rest.substr(0, eol).find('@') != std::string_view::npos ? Variant::FromLine : Variant::None;
        }
        if (eol == std::string_view::npos) break;
        p += eol + 1;
    }
    return Variant::None;
}

ReaderOpening SeparatorSpool::begin(ReaderContext& c, const std::string&) {
    havePending_ = false;
    virtualAccess_ = isImportType(c.def.typeName, "VirtualAccess");
    variant_ = virtualAccess_ ? Variant::Equals10 : detectVariant(w_.look(300));
    ReaderOpening o;
    if (variant_ == Variant::None) {
        o.outcome = OpenOutcome::NotRecognised;
        o.errorText = "No article separator (\"========\" or \"From \" line) in the first 300 characters.";
    }
    return o;
}

bool SeparatorSpool::separator(const WindowLine& line) const {
    switch (variant_) {
        case Variant::Equals10: return begins(line.text, Equals10);
        case Variant::Equals8: return begins(line.text, "========");
        case Variant::FromLine: return fromSeparator(line.text, line.split);
        case Variant::None: break;
    }
    return false;
}

MailboxReader::Step SeparatorSpool::next(ReaderContext& c) {
    if (variant_ == Variant::None) return Step::End;
    bool any = false;
    if (havePending_) {
        queue(pending_);
        havePending_ = false;
        any = true;
    }
    const uint64_t from = w_.position();
    WindowLine line;
    bool lineStart = true;
    while (readLine(w_, LineEnds::Lf, line)) {
        bool sep = lineStart && separator(line);
        lineStart = !line.split;
        if (!any) {
            if (sep) {
                queue(line);
                any = true;
            } else if (w_.position() - from > ScanSlice) {
                return Step::Scanned;
            }
            continue;
        }
        // A Virtual Access article may open with two separator lines.
        if (sep && !(virtualAccess_ && lineCount(queue_) == 1)) {
            pending_ = std::move(line);
            havePending_ = true;
            break;
        }
        queue(line);
    }
    if (!any) return Step::End;
    stageArticle(c);
    return Step::Message;
}

void SeparatorSpool::stageArticle(ReaderContext& c) {
    c.s.NewHR.clearBuffer();
    std::size_t first = 2;
    ItemLine item;
    uint32_t ref = 0;
    const std::size_t lines = lineCount(queue_);
    if (virtualAccess_) {
        std::size_t n = 2;
        if (n <= lines && begins(lineAt(queue_, n).text(), Equals10)) ++n;
        if (n + 1 > lines) {
            c.skip();
            return;
        }
        item = parseItemLine(lineAt(queue_, n).text());
        std::string_view after = lineAt(queue_, n + 1).text();
        if (after == Dashes10) {
            first = n + 2;
        } else if (n + 2 <= lines && lineAt(queue_, n + 2).text() == Dashes10) {
            ref = commentReference(after, item.msgNumber);
            first = n + 3;
        } else {
            c.skip();
            return;
        }
    }
    InternetHeaderResult r = c.parseInternetHeaders(queue_, first);
    if (virtualAccess_ && r.messageKind == MessageForum) {
        // A forum message's header block ends at its first empty line, even
        // when it lacks the lines that end a mail's block.
        std::size_t body = first;
        while (body <= lines && !lineAt(queue_, body).empty()) ++body;
        stageForumMessage(c, item, ref, body + 1, r.contentKind);
        return;
    }
    stageParsedArticle(c, queue_, r);
}

void SeparatorSpool::stageForumMessage(ReaderContext& c, const ItemLine& item, uint32_t ref,
                                       std::size_t bodyStart, uint8_t contentKind) {
    Session& s = c.s;
    auto& NHR = s.NHR;
    if (c.def.msgFilter == 2 || !c.def.forumMsg || item.msgNumber == 0 || item.forum.empty()) {
        c.skip();
        return;
    }
    ReaderContext::Target t = c.findTarget(item.forum, TypeForum);
    if (t.id == 0 || !t.importAllowed) {
        c.skip();
        return;
    }
    if (!c.def.allowReimp && s.ImportedMessages.isOpen()) {
        s.ImportedMessages.clearBuffer();
        s.IMP.FORUMNUMBER = t.id;
        s.IMP.MSGNUMBER = item.msgNumber;
        if (s.ImportedMessages.get(ImportedMessagesFile::IDKEY)) {
            c.skip();
            return;
        }
    }
    NHR.INTERNAL = t.id;
    NHR.FOR_DESCRIPTION = item.forum;
    NHR.SECTIONNUMBER = item.sectionNumber;
    NHR.SEC_DESCRIPTION = item.sectionName;
    NHR.MSGNUMBER = item.msgNumber;
    NHR.REFNUMBER = ref;
    if (item.date != 0) NHR.DATE = item.date;
    std::size_t last = lineCount(queue_);
    while (last >= bodyStart && last > 0 && lineAt(queue_, last).empty()) --last;
    s.NewHR.memo = bodyStart <= last ? BuildMessageText(contentKind, queue_, bodyStart, last, c.def.typeName)
                                     : std::string();
    (void)c.stage();
}

SeparatorSpool::ItemLine SeparatorSpool::parseItemLine(std::string_view line) {
    ItemLine item;
    std::size_t slash = line.find('/');
    if (slash == std::string_view::npos) return item;
    item.forum = upper1252(trimBlanks(line.substr(0, slash)));
    std::string_view rest = line.substr(slash + 1);
    std::size_t hash = rest.find('#');
    std::string_view section = trimBlanks(rest.substr(0, std::min<std::size_t>(hash, 30)));
    std::size_t underscore = section.find('_');
    if (underscore != std::string_view::npos) {
        item.sectionNumber = digitsValue(trimBlanks(section.substr(0, underscore)));
        item.sectionName = std::string(trimBlanks(section.substr(underscore + 1)));
    } else {
        item.sectionName = std::string(section);
    }
    if (hash != std::string_view::npos) {
        std::string_view number = rest.substr(hash + 1);
        item.msgNumber = digitsValue(trimBlanks(number.substr(0, number.find(','))));
    }
    // The date stands after "chars, " as "dd-Mon-yyyy" or "dd-Mon-yy".
    std::size_t chars = line.substr(0, 82).find("chars, ");
    if (chars != std::string_view::npos) {
        std::string_view d = line.substr(chars + 7);
        if (d.size() >= 9 && d[2] == '-' && d[6] == '-') {
            uint32_t day = digitsValue(trimBlanks(d.substr(0, 2)));
            bool fourDigits = d.size() >= 10 && d[9] != ' ';
            uint32_t year = digitsValue(d.substr(7, fourDigits ? 4 : 2));
            if (day != 0 && (year != 0 || d.substr(7, 2) == "00"))
                item.date = MonthNameDate(int(day), int(year), d.substr(3, 3));
        }
    }
    return item;
}

uint32_t SeparatorSpool::commentReference(std::string_view line, uint32_t msgNumber) {
    if (line.size() < 13 || !begins(line, "Comment to ")) return 0;
    std::string_view v = line.substr(11);
    while (!v.empty() && (v.front() == ' ' || v.front() == '#')) v.remove_prefix(1);
    uint32_t ref = digitsValue(v.substr(0, v.find_first_of(" .,;")));
    if (ref == 0 || ref > msgNumber || msgNumber - ref > 30000) return 0;
    return ref;
}

}  // namespace quill
