// Counted spool ("IE News", "Outlook Express 4 News", "Netscape News").
//
//   BC | 22 bytes | id\0 subject\0 sender\0 [<ref>...\0] server group:n\0     record start (byte 188)
//   Newsgroups: ...                         header lines (lines that hold ":")
//   Lines: 12                               up to the empty line
//
//   body line 1 ... body line 12            counted against "Lines:"
//   00 00 00 00 00 00                       after the count: six zero bytes or
//   From: ...                               the next article start end the body
//
// An article begins at a record start or at a line that begins a header
// ("From:", "Date:", or "Newsg", "Subje", "Messa" with a colon within 50
// characters). For "IE News" and "Outlook Express 4 News" the record's
// texts are known values for the header parser; "Netscape News" passes an
// empty record. Until the body has as many lines as "Lines:" says (all of
// the file when there is no such header) nothing but the end of the file ends
// it, so a body line that looks like a header stays in the body. A record
// start whose first line is no header line, or whose header lines show no
// known header within 4096 bytes, is no article: the scan goes on after its
// first byte, so stray 188 bytes in the spool's binary parts cannot swallow
// the file.
#include "import/readers/NewsReaders.h"

namespace quill {

namespace {
constexpr std::size_t TextSearch = 400;    // a record text's zero is sought within this many bytes
constexpr std::size_t HeaderLinesMax = 500;
constexpr uint64_t CandidateBytesMax = 4096;
constexpr uint32_t NoLinesCount = 1000000;

bool sixZeros(FileWindow& w) { return w.look(6) == std::string_view("\0\0\0\0\0\0", 6); }

// The next zero-terminated text of a record (up to max characters); the
// position is left after its zero, or TextSearch bytes on when none is found.
std::string recordText(FileWindow& w, std::size_t max) {
    std::string_view v = w.look(TextSearch);
    std::size_t zero = v.find('\0');
    std::string t(v.substr(0, std::min(zero, max)));
    w.advance(zero == std::string_view::npos ? v.size() : zero + 1);
    return t;
}

// The next line piece; a zero byte ends a piece and is passed over (the line
// goes on in the next piece) unless it begins a run of six, which is left at
// the position and reported.
bool spoolLine(FileWindow& w, WindowLine& line, bool& zeros) {
    zeros = false;
    if (!readLine(w, LineEnds::Lf, line, 0)) return false;
    if (line.stopped) {
        if (sixZeros(w)) zeros = true;
        else w.advance(1);
        line.split = !zeros;
    }
    return true;
}
}  // namespace

bool CountedSpool::articleLine(std::string_view line) {
    if (line.empty() || line[0] < 'A' || line[0] > 'Z') return false;
    if (line.substr(0, 5) == "From:" || line.substr(0, 5) == "Date:") return true;
    std::string_view five = line.substr(0, 5);
    if (five != "Newsg" && five != "Subje" && five != "Messa") return false;
    return line.substr(0, 50).find(':') != std::string_view::npos;
}

KnownValues CountedSpool::recordValues(FileWindow& w) {
    KnownValues k;
    w.advance(1 + 22);
    k.identifier = recordText(w, 60);
    k.subject = recordText(w, 100);
    k.sender = recordText(w, 100);
    std::string t = recordText(w, TextSearch);
    if (std::size_t lt = t.rfind('<'); lt != std::string::npos) {
        k.references = t.substr(lt);
        t = recordText(w, TextSearch);
    }
    // The cross-reference: a server word, then "group:number".
    if (std::size_t blank = t.find(' '); blank != std::string::npos) t.erase(0, blank + 1);
    else if (t.find(':') == std::string::npos) t = recordText(w, TextSearch);
    k.newsgroup = t.substr(0, std::min<std::size_t>(t.find(':'), 100));
    return k;
}

ReaderOpening CountedSpool::begin(ReaderContext& c, const std::string&) {
    withRecords_ = isImportType(c.def.typeName, "IE News") || isImportType(c.def.typeName, "Outlook Express 4 News");
    return {};
}

bool CountedSpool::atArticleStart() {
    int b = w_.peek();
    if (b == RecordStart) return true;
    if (b < 'A' || b > 'Z') return false;
    std::string_view v = w_.look(50);
    return articleLine(v.substr(0, v.find_first_of("\r\n")));
}

MailboxReader::Step CountedSpool::next(ReaderContext& c) {
    const uint64_t from = w_.position();
    for (;;) {
        // Seek an article start: a record start anywhere, a header line at a
        // line start (after a line end or a zero byte).
        bool lineStart = true;
        for (;;) {
            if (w_.atEnd()) return Step::End;
            if (w_.peek() == RecordStart || (lineStart && atArticleStart())) break;
            int b = w_.peek();
            w_.advance(1);
            lineStart = b == '\n' || b == 0;
            if (w_.position() - from > ScanSlice) return Step::Scanned;
        }
        const uint64_t start = w_.position();
        KnownValues known;
        if (w_.peek() == RecordStart) {
            if (withRecords_) known = recordValues(w_);
            else w_.advance(1);
            while (w_.peek() == 0) w_.advance(1);
        }
        // Header lines up to the empty line.
        std::optional<uint32_t> counted;
        bool headerKnown = false, zeros = false, pieceGoesOn = false, dropping = false;
        WindowLine line;
        std::size_t headerLines = 0;
        while (headerLines < HeaderLinesMax && spoolLine(w_, line, zeros)) {
            bool whole = !pieceGoesOn;
            pieceGoesOn = line.split;
            if (whole) {
                ++headerLines;
                if (line.text.empty() && !zeros) break;
                std::string_view t = line.text;
                dropping = !(t.find(':') != std::string_view::npos || t[0] == ' ' || t[0] == '\t');
                // A candidate whose first line is no header line is no article.
                if (dropping && headerLines == 1) break;
                if (ClassifyHeaderLine(t.substr(0, 50)) != HeaderNone) headerKnown = true;
                if (auto n = linesHeaderValue(t)) counted = n;
            }
            if (!dropping) queue(line);
            // A candidate that shows no known header soon is given up, so
            // that rescanning after it stays cheap.
            if (zeros || (!headerKnown && w_.position() - start > CandidateBytesMax)) break;
        }
        if (!headerKnown) {
            clearQueue();
            w_.seek(start + 1);
            continue;
        }
        WindowLine empty;
        queue(empty);
        // The body, counted.
        const uint32_t limit = counted.value_or(NoLinesCount);
        uint32_t count = 0;
        bool atLineStart = true;
        while (!zeros) {
            if (count >= limit && atLineStart && (atArticleStart() || sixZeros(w_))) break;
            if (!spoolLine(w_, line, zeros)) break;
            if (zeros && count < limit) {
                // Zero bytes before the count is reached end nothing.
                while (w_.peek() == 0) w_.advance(1);
                zeros = false;
                line.split = true;
            }
            queue(line);
            atLineStart = !line.split;
            if (atLineStart) ++count;
        }
        c.s.NewHR.clearBuffer();
        InternetHeaderResult r = c.parseInternetHeaders(queue_, 1, &known);
        stageParsedArticle(c, queue_, r);
        return Step::Message;
    }
}

}  // namespace quill
