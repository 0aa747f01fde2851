// Header-set spool ("Gravity").
//
//   Path: ...                      a header block: lines from one that the header
//   From: a@b                      classifier knows up to the empty line; it starts
//   Newsgroups: x.y,z              an article when it holds From, Date, Subject,
//   Subject: ...                   Newsgroups and Message-ID lines
//   Date: ...
//   Message-ID: <id@host>
//                                  empty line
//   body ...
//   From: quoted@host              a block that lacks one of the five is body
//   Subject: ...                   text of the article being read
//
// Line ends are those of the file's first line (LF alone or CR LF), so a spool
// article saved with LF line ends reads the same as a CR LF one. Text before
// the first article belongs to no article.
#include "import/readers/NewsReaders.h"

namespace quill {

namespace {
constexpr std::size_t BlockLinesMax = 500;
}

ReaderOpening HeaderSetSpool::begin(ReaderContext&, const std::string&) {
    startFile();
    return {};
}

bool HeaderSetSpool::readBlock(const WindowLine& first) {
    block_.clear();
    block_.push_back(first);
    bool seen[7] = {};
    auto count = [&](std::string_view t) {
        uint8_t k = ClassifyHeaderLine(t.substr(0, 50));
        if (k < 7) seen[k] = true;
    };
    count(first.text);
    bool lineStart = !first.split;
    WindowLine line;
    while (block_.size() < BlockLinesMax && readLine(w_, ends_, line)) {
        bool start = lineStart;
        lineStart = !line.split;
        block_.push_back(line);
        if (!start) continue;
        const std::string& t = block_.back().text;
        if (t.empty()) break;
        count(t);
    }
    return seen[HeaderFrom] && seen[HeaderDate] && seen[HeaderSubject] && seen[HeaderNewsgroups] &&
           seen[HeaderMessageId];
}

MailboxReader::Step HeaderSetSpool::next(ReaderContext& c) {
    if (Step st = collectMessage(); st != Step::Message) return st;
    c.s.NewHR.clearBuffer();
    // Every article of this spool is news: an empty record of known values
    // makes the parser read it so from its first line.
    const KnownValues none;
    InternetHeaderResult r = c.parseInternetHeaders(queue_, 1, &none);
    stageParsedArticle(c, queue_, r);
    return Step::Message;
}

}  // namespace quill
