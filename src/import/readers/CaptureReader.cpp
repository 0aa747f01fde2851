#include "import/readers/CaptureReader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "database/Types.h"
#include "import/Headers.h"
#include "import/Mime.h"
#include "import/StoreWriter.h"
#include "import/readers/CodePage850.h"

namespace quill {

namespace {

// While the list reads on past ListLines to the next start line, it takes at
// most this many more entries and characters; the rest of an overlong
// message is passed over (its stored text could not hold it anyway).
constexpr std::size_t kReadOnEntries = MessageTextMax / 2 + 1000;
constexpr std::size_t kReadOnChars = 2 * MessageTextMax;

bool startsWith(std::string_view line, std::string_view prefix) { return line.substr(0, prefix.size()) == prefix; }

// Reads a line ended by LF (a CR before the LF is dropped) from a stream
// buffer, keeping at most keep characters. False at the end of the data.
bool readLfLine(std::streambuf& buf, std::string& line, std::size_t keep, std::uint64_t* consumed) {
    line.clear();
    bool any = false;
    for (;;) {
        int ch = buf.sbumpc();
        if (ch == std::char_traits<char>::eof()) break;
        any = true;
        if (consumed) ++*consumed;
        if (ch == '\n') break;
        if (line.size() < keep + 1) line.push_back(char(ch));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > keep) line.resize(keep);
    return any;
}

// A line of nothing but end-of-file marks (Ctrl-Z), which DOS programs put
// at the end of a text file.
bool isEofMark(std::string_view line) {
    if (line.empty()) return false;
    for (char ch : line)
        if (ch != '\x1A') return false;
    return true;
}

// True when the forum message is in ImportedMessages already.
bool alreadyImported(Session& s, uint32_t forumId, uint32_t msgNumber) {
    if (!s.ImportedMessages.isOpen()) return false;
    s.ImportedMessages.clearBuffer();
    s.IMP.FORUMNUMBER = forumId;
    s.IMP.MSGNUMBER = msgNumber;
    return bool(s.ImportedMessages.get(ImportedMessagesFile::IDKEY));
}

}  // namespace

std::uint8_t DetectCaptureFormat(std::string_view typeName, std::istream& in, bool mailRun) {
    CaptureType t = captureTypeOf(typeName);
    std::streambuf* buf = in.rdbuf();
    if (!buf || t == CaptureType::None || t == CaptureType::GoldenCompass) return CaptureUnknown;
    std::string line;
    auto next = [&](std::string& l) { return readLfLine(*buf, l, CaptureReader::LineKeep, nullptr); };
    switch (t) {
        case CaptureType::OzCis:
        case CaptureType::OzWin1:
        case CaptureType::OzWin2:
            while (next(line)) {
                if (startsWith(line, "Date:  ")) {
                    if (!next(line)) return CaptureUnknown;
                    return startsWith(line, "MgTo:") || startsWith(line, "From:") ? CaptureMail : CaptureUnknown;
                }
                if (startsWith(line, "#:")) {
                    if (!next(line) || !next(line)) return CaptureUnknown;
                    return startsWith(line, "Sb:") ? CaptureForum : CaptureUnknown;
                }
            }
            return CaptureUnknown;
        case CaptureType::NavCisSave: {
            // "Subject:  ", "   From:  ", "     To:  " and then "   Date:  "
            // (mail) or "  Forum:  " (forum messages) on consecutive lines.
            static constexpr std::string_view kLead[3] = {"Subject:  ", "   From:  ", "     To:  "};
            int matched = 0;
            while (next(line)) {
                if (matched == 3) {
                    if (startsWith(line, "   Date:  ")) return CaptureMail;
                    if (startsWith(line, "  Forum:  ")) return CaptureForum;
                    matched = 0;
                }
                if (startsWith(line, kLead[matched])) ++matched;
                else matched = startsWith(line, kLead[0]) ? 1 : 0;
            }
            return CaptureUnknown;
        }
        default:
            while (next(line))
                if (startsWith(line, "#:")) return mailRun ? CaptureMail : CaptureForum;
            return CaptureUnknown;
    }
}

bool importsIntoMailbox(const ReaderContext& c) { return c.def.mailbox != 0 && c.forumName.empty(); }

// ---------------------------------------------------------------------------

ReaderOpening CaptureReader::open(ReaderContext& c, const std::string& path) {
    ReaderOpening o;
    close();
    list_.clear();
    pending_.clear();
    hasPending_ = false;
    consumed_ = 0;
    eof_ = false;
    format_ = CaptureUnknown;
    in_.clear();
    in_.open(path, std::ios::binary);
    if (!in_) {
        o.outcome = OpenOutcome::CannotOpen;
        o.errorText = std::strerror(errno ? errno : ENOENT);
        return o;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) o.progressTotal = double(st.st_size);
    format_ = detect(c);
    in_.clear();
    in_.seekg(0);
    if (format_ == CaptureUnknown) {
        o.outcome = OpenOutcome::NotRecognised;
        close();
    }
    return o;
}

std::uint8_t CaptureReader::detect(ReaderContext& c) {
    return DetectCaptureFormat(c.def.typeName, in_, importsIntoMailbox(c));
}

void CaptureReader::close() {
    if (in_.is_open()) in_.close();
}

bool CaptureReader::nextByte(char& ch) {
    int v = in_.rdbuf()->sbumpc();
    if (v == std::char_traits<char>::eof()) return false;
    ++consumed_;
    ch = char(v);
    return true;
}

bool CaptureReader::nextLine(std::string& line) {
    while (readLfLine(*in_.rdbuf(), line, LineKeep, &consumed_))
        if (!isEofMark(line)) return true;
    return false;
}

void CaptureReader::addToList(std::string_view line) {
    if (capturesInCodePage850(type_)) {
        std::string converted(line);
        convertCp850To1252(converted);
        addLine(list_, converted);
    } else {
        addLine(list_, line);
    }
}

std::int32_t CaptureReader::batchLimit(const ReaderContext& c) const { return c.batchSize > 0 ? c.batchSize : 1; }

LineQueue& CaptureReader::bodyLines(std::size_t&, std::size_t&) { return list_; }

bool CaptureReader::startsLine(std::size_t n) const { return n == 1 || lineAt(list_, n - 1).SPLITLINE == 0; }

void CaptureReader::fill() {
    if (hasPending_) {
        addToList(pending_);
        pending_.clear();
        hasPending_ = false;
    }
    if (eof_ || !in_.is_open()) {
        eof_ = true;
        return;
    }
    std::string line;
    while (lineCount(list_) < ListLines) {
        if (!nextLine(line)) {
            eof_ = true;
            return;
        }
        addToList(line);
    }
    std::size_t entries = 0, chars = 0;
    for (;;) {
        if (!nextLine(line)) {
            eof_ = true;
            return;
        }
        if (isCaptureStart(type_, format_, line)) {
            pending_ = line;
            hasPending_ = true;
            return;
        }
        if (entries < kReadOnEntries && chars < kReadOnChars) {
            std::size_t before = lineCount(list_);
            addToList(line);
            entries += lineCount(list_) - before;
            chars += line.size();
        }
    }
}

bool CaptureReader::read(ReaderContext& c) {
    if (format_ == CaptureUnknown) return true;
    fill();
    const std::int32_t batch = batchLimit(c);
    std::int32_t staged = 0;
    const std::size_t count = lineCount(list_);
    // Every message in the list is complete: the list ends at the end of the
    // file or just before the pending start line.
    std::size_t start = 0;  // line of the current message's start, 0 = none yet
    std::size_t consumedTo = 0;  // lines 1..consumedTo are done
    for (std::size_t n = 1; n <= count + 1; ++n) {
        bool atStart = n <= count && startsLine(n) && isCaptureStart(type_, format_, lineAt(list_, n).text());
        if (n <= count && !atStart) continue;
        if (start != 0) {
            if (stageMessage(c, start, n - 1)) ++staged;
            consumedTo = n - 1;
        } else {
            consumedTo = n - 1;  // lines before the first start are passed over
        }
        start = n;
        if (staged >= batch) break;
    }
    list_.erase(list_.begin(), list_.begin() + std::ptrdiff_t(std::min(consumedTo, count)));
    c.progress = double(consumed_);
    return eof_ && !hasPending_ && list_.empty();
}

bool CaptureReader::stageMessage(ReaderContext& c, std::size_t first, std::size_t last) {
    // Blank lines at the end of a message separate it from the next.
    while (last > first && lineAt(list_, last).empty() && lineAt(list_, last - 1).SPLITLINE == 0) --last;
    bool ok = format_ == CaptureMail ? stageMail(c, first, last) : stageForum(c, first, last);
    if (!ok) c.skip();
    return ok;
}

bool CaptureReader::stageForum(ReaderContext& c, std::size_t first, std::size_t last) {
    if (!c.def.forumMsg || c.def.msgFilter == 2) return false;
    auto h = parseForumHeader(type_, list_, first, last);
    if (!h) return false;
    std::string forum = h->forum.empty() ? c.forumName : h->forum;
    if (forum.empty()) return false;
    auto target = c.findTarget(forum, TypeForum);
    if (target.id == 0 || !target.importAllowed || target.type == TypeMail) return false;
    if (!c.def.allowReimp && alreadyImported(c.s, target.id, h->msgNumber)) return false;
    Session& s = c.s;
    s.NewHR.clearBuffer();
    auto& NHR = s.NHR;
    NHR.INTERNAL = target.id;
    NHR.MSGNUMBER = h->msgNumber;
    NHR.REFNUMBER = h->refNumber;
    NHR.FOR_DESCRIPTION = forum;
    NHR.SECTIONNUMBER = h->sectionNumber;
    NHR.SEC_DESCRIPTION = h->section;
    NHR.HEADING = h->subject;
    NHR.S_CISADRESS = h->from.address;
    NHR.S_NAME = h->from.name;
    NHR.R_CISADRESS = h->to.address;
    NHR.R_NAME = h->to.name;
    NHR.DATE = h->date;
    NHR.TIME = 0;
    NHR.MAILTYPE = 0;
    s.NewHR.memo = messageText(false, h->bodyStart, last);
    return c.stage();
}

bool CaptureReader::stageMail(ReaderContext& c, std::size_t first, std::size_t last) {
    if (!c.def.mailMsg || c.def.msgFilter == 2 || c.mailboxName.empty()) return false;
    auto h = parseMailHeader(type_, list_, first, last);
    if (!h) return false;
    auto target = c.findTarget(c.mailboxName, TypeMail);
    if (target.id == 0 || !target.importAllowed) return false;
    Session& s = c.s;
    s.NewHR.clearBuffer();
    auto& NHR = s.NHR;
    NHR.INTERNAL = target.id;
    NHR.RECIPTYPE = "TO";
    NHR.FOR_DESCRIPTION = c.owner.name;
    NHR.HEADING = h->subject;
    NHR.DATE = h->date;
    NHR.TIME = h->time;
    switch (h->direction) {
        case MailReceived:
            NHR.MAILTYPE = 1;
            NHR.S_CISADRESS = h->from.address;
            NHR.S_NAME = h->from.name;
            NHR.R_CISADRESS = c.owner.address;
            NHR.R_NAME = c.owner.name;
            break;
        case MailSent:
            NHR.MAILTYPE = 2;
            NHR.S_CISADRESS = c.owner.address;
            NHR.S_NAME = c.owner.name;
            NHR.R_CISADRESS = h->to.address;
            NHR.R_NAME = h->to.name;
            break;
        default:
            NHR.S_CISADRESS = h->from.address;
            NHR.S_NAME = h->from.name;
            NHR.R_CISADRESS = h->to.address;
            NHR.R_NAME = h->to.name;
            c.owner.direction(NHR);
            if (NHR.MAILTYPE == 2) NHR.S_NAME = c.owner.name;
            else NHR.R_NAME = c.owner.name;
            break;
    }
    s.NewHR.memo = messageText(true, h->bodyStart, last);
    uint32_t number = c.nextNumber();
    NHR.MSGNUMBER = number;
    NHR.REFNUMBER = number;
    return c.stage();
}

std::string CaptureReader::messageText(bool mail, std::size_t first, std::size_t last) {
    if (first > last) return {};
    LineQueue& q = bodyLines(first, last);
    if (first > last) return {};
    // Mail that arrived from the Internet carries its header block: the
    // content kind comes from it, and the body starts after it.
    std::uint8_t kind = ContentPlain;
    if (mail) {
        std::size_t f = first;
        while (f <= last && lineAt(q, f).empty()) ++f;
        if (f <= last && IsInternetHeaderLine(lineAt(q, f).text().substr(0, 15))) {
            DetectedContent d = DetectMessageContent(q, f, last);
            kind = d.html ? ContentHtml : ContentPlain;
            if (d.bodyStart > first) first = d.bodyStart;
        }
    }
    return BuildMessageText(kind, q, first, last);
}

}  // namespace quill
