// The mailbox readers, one class per format family, all on the shared
// MailboxReader flow (readers/MailFlow.h). Each .cpp draws its format.
//
// Two families are built to be reused by news readers: FromMailbox ("From "
// separated mailboxes; a news variant overrides stageMessage to read the
// queue with the Internet header parser) and BlockChainStore (the block
// store of "Outlook Express 5"; a news variant overrides stageMessage and
// headerTest).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "import/readers/MailFlow.h"

namespace quill {

// "Generic Mail Type 2", "Poco Mail": a message starts at the start of the
// file or at a line that begins "From ".
class FromMailbox : public MailboxReader {
protected:
    ReaderOpening begin(ReaderContext& c, const std::string& path) override;
    Step next(ReaderContext& c) override;
    // Stages the queued message; firstLine is its first header line (2 when
    // line 1 is the separator).
    virtual void stageMessage(ReaderContext& c, LineQueue& queue, std::size_t firstLine);

private:
    LineEnds ends_ = LineEnds::CrLf;
    WindowLine pending_;
    bool havePending_ = false;
};

// "Eudora": "From ???@???" separators, counted only when listed in the
// mailbox's table of contents (when it has one).
class EudoraMailbox : public MailboxReader {
public:
    // The separator offsets listed in a table of contents file, sorted;
    // false when the file cannot be read.
    static bool readTableOfContents(const std::string& tocPath, std::vector<uint64_t>& offsets);
    // The table of contents beside a mailbox: its extension replaced by
    // "TOC" (tried as "toc" too); empty when none exists.
    static std::string tableOfContentsPath(const std::string& mailboxPath);

protected:
    ReaderOpening begin(ReaderContext& c, const std::string& path) override;
    Step next(ReaderContext& c) override;

private:
    bool validSeparator(const WindowLine& line) const;
    std::vector<uint64_t> listed_;
    bool haveToc_ = false;
    WindowLine pending_;
    bool havePending_ = false;
};

// "Netscape Mail": "From - " separators; the mail program's status lines
// before the first From, Date, To or Subject line are left out.
class NetscapeMailbox : public MailboxReader {
protected:
    ReaderOpening begin(ReaderContext& c, const std::string& path) override;
    Step next(ReaderContext& c) override;

private:
    LineEnds ends_ = LineEnds::CrLf;
    bool atSeparator_ = false;  // the position is at a "From - " line
};

// "IE Mail", "Outlook Express 4 Mail": messages after the bytes 127 0 127.
class MarkerMailbox : public MailboxReader {
protected:
    Step next(ReaderContext& c) override;

private:
    bool atMarker();
};

// "Outlook Express 5 Mail": a store of chained 512-byte blocks.
class BlockChainStore : public MailboxReader {
public:
    // The message bytes of the chain starting at a block (at most two pieces
    // of 32000); empty when the block is no message start.
    static std::string collectChain(FileWindow& w, uint64_t first, std::vector<uint64_t>* chained = nullptr);
    // True when the block at offset passes the tests of a message's first
    // block.
    static bool firstBlock(FileWindow& w, uint64_t offset);

protected:
    Step next(ReaderContext& c) override;
    // The format's own test of the header block (mail: more than two of
    // From, Date, To, Subject).
    virtual bool headerTest(const LineQueue& queue);
    virtual void stageMessage(ReaderContext& c, LineQueue& queue);

private:
    uint64_t scan_ = 0;
    std::unordered_set<uint64_t> chained_;
};

// "Pegasus": messages separated by a line end and the byte 26.
class PegasusFolder : public MailboxReader {
protected:
    ReaderOpening begin(ReaderContext& c, const std::string& path) override;
    Step next(ReaderContext& c) override;

private:
    bool found_ = false;
    char prev_ = '\n';  // the byte before the position while the first header line is sought
};

// "Generic Mail Type 1", "Becky Mail", "Agent Mail": a message starts at a
// header block that holds From, Date and To lines.
// Files whose messages begin at a header block that passes the format's
// test: the block's lines and every line up to the next such block form one
// message. Shared by the header-block mailboxes and the header-set news spool.
class HeaderBlockReader : public MailboxReader {
protected:
    // Reads the header block that begins with first; true when it starts a
    // message. The block's lines are in block_ either way.
    virtual bool readBlock(const WindowLine& first) = 0;
    // Queues the next message: Step::Message when one is queued,
    // Step::Scanned after a slice of text that starts none, Step::End at the
    // end of the file. The block that starts the message after it is held
    // back for the next call.
    Step collectMessage();
    // Starts a file: its line ends, nothing held back.
    void startFile();
    LineEnds ends_ = LineEnds::CrLf;
    std::vector<WindowLine> block_;
    bool havePendingBlock_ = false;
};

class HeaderBlockMailbox : public HeaderBlockReader {
public:
    explicit HeaderBlockMailbox(bool becky) : becky_(becky) {}

protected:
    ReaderOpening begin(ReaderContext& c, const std::string& path) override;
    Step next(ReaderContext& c) override;
    bool readBlock(const WindowLine& first) override;

private:
    bool becky_;
};

// Becky's header-form test: a first word of at most 49 characters ending in
// ":".
bool beckyHeaderForm(std::string_view line);

// "TheBat": a file header and length-prefixed messages.
class TheBatBase : public MailboxReader {
public:
    static constexpr uint32_t FileMagic = 427361824;     // 20 06 79 19
    static constexpr uint32_t MessageMagic = 426772769;  // 21 09 70 19
    static constexpr uint32_t MessageHeaderSize = 48;

protected:
    ReaderOpening begin(ReaderContext& c, const std::string& path) override;
    Step next(ReaderContext& c) override;
};

// "AOL", "CompuServe 2000": tagged records and "AOLFAOLH" body blocks.
class AolStore : public MailboxReader {
public:
    // The date field of a record as an Internet date ("5 Jan 1998 12:00:00"),
    // the field order chosen as the format requires; dayFirst is the
    // system's short date order. Empty when unreadable.
    static std::string internetDate(std::string_view field, bool dayFirst);

protected:
    Step next(ReaderContext& c) override;

private:
    bool stageRecord(ReaderContext& c, uint64_t marker);
};

}  // namespace quill
