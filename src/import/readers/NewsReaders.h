// The newsreader readers: Usenet articles (and, from Virtual Access, forum
// messages and mail) out of the spool files of newsreader programs. They run
// on the shared mailbox flow (readers/MailFlow.h): a reader finds an
// article's lines and queues them; the Internet header parser reads the
// header block (Message-ID and References become the staging numbers that
// link replies into threads, Newsgroups the article's group); the news flow
// below finds the Newsgroup database and stages the article.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "import/Headers.h"
#include "import/readers/MailReaders.h"

namespace quill {

// Stages an article whose header block the Internet header parser read
// (s.NHR filled): news goes to the Newsgroup database of its group (created
// when new, a redirection followed), mail to the run's Mail database. An
// article of a kind the run does not import, without a group or identifier,
// or whose target is not import-allowed is counted as skipped.
void stageParsedArticle(ReaderContext& c, const LineQueue& queue, const InternetHeaderResult& r);

// The number of a "Lines:" header line (digits after the colon, at most 9);
// nothing when the line is no "Lines:" line or holds no number.
std::optional<uint32_t> linesHeaderValue(std::string_view line);

// "Gravity": articles one after another, each a header block that holds
// From, Date, Subject, Newsgroups and Message-ID lines, then its body. A
// header block that lacks one of the five is body text of the article being
// read. A single article with its full headers reads the same way.
class HeaderSetSpool : public HeaderBlockReader {
protected:
    ReaderOpening begin(ReaderContext& c, const std::string& path) override;
    Step next(ReaderContext& c) override;
    bool readBlock(const WindowLine& first) override;
};

// "VirtualAccess", "Agent News", "Unix News": articles that begin at a
// separator line ("==========", "========" or a "From " line with an at sign).
class SeparatorSpool : public MailboxReader {
public:
    enum class Variant : uint8_t { None, Equals10, Equals8, FromLine };
    // The separator variant of an "Agent News" or "Unix News" file from its
    // first 300 characters.
    static Variant detectVariant(std::string_view head);

    // What the item line of a Virtual Access forum message gives.
    struct ItemLine {
        std::string forum;          // upper-cased
        uint32_t sectionNumber = 0;
        std::string sectionName;
        uint32_t msgNumber = 0;     // 0: not numeric
        int32_t date = 0;
    };
    static ItemLine parseItemLine(std::string_view line);
    // The reference of a "Comment to" line, 0 when it does not stand.
    static uint32_t commentReference(std::string_view line, uint32_t msgNumber);

protected:
    ReaderOpening begin(ReaderContext& c, const std::string& path) override;
    Step next(ReaderContext& c) override;

private:
    bool separator(const WindowLine& line) const;
    void stageArticle(ReaderContext& c);
    void stageForumMessage(ReaderContext& c, const ItemLine& item, uint32_t ref, std::size_t bodyStart,
                           uint8_t contentKind);
    bool virtualAccess_ = false;
    Variant variant_ = Variant::None;
    WindowLine pending_;
    bool havePending_ = false;
};

// "IE News", "Outlook Express 4 News", "Netscape News": articles that begin
// at a record start (the byte 188) or a header line, whose body is counted
// against its "Lines:" header.
class CountedSpool : public MailboxReader {
public:
    static constexpr unsigned char RecordStart = 188;
    // The known values of a record that starts at the position (the byte
    // 188 itself); the position is left after the record's texts.
    static KnownValues recordValues(FileWindow& w);
    // True for a line that begins an article by its text.
    static bool articleLine(std::string_view line);

protected:
    ReaderOpening begin(ReaderContext& c, const std::string& path) override;
    Step next(ReaderContext& c) override;

private:
    bool atArticleStart();
    bool withRecords_ = false;  // "IE News", "Outlook Express 4 News"
};

// "Winvn": a "From " mailbox whose messages are read as news.
class WinvnMailbox : public FromMailbox {
protected:
    void stageMessage(ReaderContext& c, LineQueue& queue, std::size_t firstLine) override;
};

// "Outlook Express 5 News": the block-chain store, its messages read as news.
class NewsBlockChainStore : public BlockChainStore {
protected:
    bool headerTest(const LineQueue& queue) override;
    void stageMessage(ReaderContext& c, LineQueue& queue) override;
};

}  // namespace quill
