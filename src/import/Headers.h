// Internet message headers: the RFC 822 header block of a mail or news
// message held in a line queue is turned into the fields of the staging
// record NHR (sender, receiver, subject, date and time, newsgroup, and the
// staging numbers of the message's own identifier and of the one it answers).
// Header lines never become part of the stored text: every parser reports the
// line at which the body starts, and the text builder begins there.
//
// Everything here is pure: the run's state (import type, mailbox owner, the
// identifier counter, the identifier staging file, the target database list)
// comes in through HeaderContext, so that the parsers run without a record
// store and can be tested on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "database/Records.h"
#include "database/Types.h"
#include "import/Dates.h"
#include "import/LineQueue.h"
#include "import/Mime.h"

namespace quill {

// ---------------------------------------------------------------------------
// Line classification

// Header kinds returned by ClassifyHeaderLine.
enum HeaderKind : std::uint8_t {
    HeaderNone = 0,
    HeaderFrom = 1,
    HeaderDate = 2,
    HeaderTo = 3,
    HeaderSubject = 4,
    HeaderNewsgroups = 5,
    HeaderMessageId = 6,
    HeaderOther = 99,
};

// The header kind of a line, judged on its first 50 characters (callers may
// pass fewer). Carbon-copy lines, continuation lines and empty lines are 0; an
// mbox separator "From " with an at sign in columns 7 to 50 is HeaderOther.
std::uint8_t ClassifyHeaderLine(std::string_view line);

// True when the first 15 characters of a line begin an Internet header:
// "SENDER:", "RECEIVED:", "MESSAGE-ID:", "SUBJECT:", "TO:", "FROM:" or
// "DATE:" in any letter case.
bool IsInternetHeaderLine(std::string_view line);

// ---------------------------------------------------------------------------
// Run state the parsers need

// Message kinds reported by ParseInternetHeaders.
enum MessageKind : std::uint8_t { MessageForum = 1, MessageMail = 2, MessageNews = 3 };

struct HeaderContext {
    // Name of the reader format of the run ("Pegasus", "Agent News", ...).
    std::string importType;
    // Mailbox owner of the run's Mail database: main address (60) and name (40).
    std::string ownerAddress;
    std::string ownerName;

    // The owner test in its direction mode: decides from NHR.S_CISADRESS
    // whether the mail was sent by the owner and sets NHR.MAILTYPE (1
    // received, 2 sent), NHR.R_CISADRESS and NHR.S_CISADRESS accordingly.
    // When unset, a sender equal to ownerAddress (letter case aside) counts
    // as the owner.
    std::function<void(NewHRRecord&)> mailboxDirection;

    // The run's identifier counter: the next staging number to hand out. Each
    // identifier record written takes the current value and increments it.
    std::uint32_t identifierCounter = 1;
    // Appends one record (identifier string, staging number) to the
    // identifier staging file. When unset the number is still drawn.
    std::function<void(std::string_view idString, std::uint32_t number)> appendTempId;

    // Whether the run's target database list holds a newsgroup (given in
    // upper case). When unset no group is held, and the first one listed is
    // taken.
    std::function<bool(std::string_view upperGroup)> targetHolds;
};

// Values a news reader already knows from its own index; each fills what the
// header block left empty.
struct KnownValues {
    std::string identifier;  // 60
    std::string subject;     // 100
    std::string sender;      // 100
    std::string references;  // 400
    std::string newsgroup;   // 100
};

// ---------------------------------------------------------------------------
// Header parsers

struct MailHeaderResult {
    bool ok = false;                // false: skip the message
    std::uint8_t contentKind = ContentPlain;
    std::size_t bodyStart = 0;      // first body line; past the queue when none
    // The MIME boundary of a multipart message. For "Outlook Express 5 Mail"
    // the part choice is left to the reader, which gets the boundary here.
    std::string boundary;
};

// The mail header parser of most mail readers. Reads the header block from
// firstLine to the first empty line and fills the sender, receiver, subject,
// date, time and MAILTYPE of NHR. Not ok for a news article (a Newsgroups
// line) and for a multipart message without a boundary. With a boundary the
// MIME part choice runs over the body lines (it marks lines in the queue),
// except for "Outlook Express 5 Mail".
MailHeaderResult ParseMailHeaders(LineQueue& queue, std::size_t firstLine, NewHRRecord& NHR,
                                  HeaderContext& ctx);

// The variant for mailboxes whose messages begin with a separator line that
// carries a date ("From ???@??? Mon Jan 05 12:00:00 1998", at firstLine). A
// message without a Date line was sent by the owner and takes its date from
// the separator line. Always ok.
MailHeaderResult ParseSeparatedMailHeaders(LineQueue& queue, std::size_t firstLine,
                                           NewHRRecord& NHR, HeaderContext& ctx);

struct InternetHeaderResult {
    std::uint8_t messageKind = MessageMail;  // MessageKind
    std::uint8_t contentKind = ContentPlain;
    std::size_t bodyStart = 0;               // first non-empty body line
    std::optional<std::uint32_t> lineCount;  // from "Lines:", when readable
};

// The header parser for news and for mail formats that may carry news: also
// handles Message-ID and References / In-Reply-To (identifier records through
// ctx), Newsgroups (the newsgroup choice into NHR.FOR_DESCRIPTION) and
// Lines. known, when given, holds the values the caller knows from its own
// index; the message then counts as news from the start.
InternetHeaderResult ParseInternetHeaders(LineQueue& queue, std::size_t firstLine,
                                          NewHRRecord& NHR, HeaderContext& ctx,
                                          const KnownValues* known = nullptr);

// ---------------------------------------------------------------------------
// Pieces of the parsers

// Splits an Internet address text ("Name <addr>", "addr (Name)", "addr") into
// the lower-cased address and the name; side 1 fills the receiver fields of
// NHR, side 2 the sender fields. Of several recipients the first is taken.
void SplitInternetAddress(int side, std::string_view text, NewHRRecord& NHR);

struct SplitAddress {
    std::string address;  // as found (not lower-cased)
    std::string name;
};
// The split itself, without the fields.
SplitAddress splitInternetAddressText(std::string_view text);

// Splits an address text of the news and service forms (angle form, name and
// address, an "INTERNET:" gateway address, a name with a numeric service
// user identifier) and fills the side's fields; use 1 or 3 (news, forum)
// stores the split pair, use 2 (mail) applies the owner rules: on the sender
// side the direction test sets MAILTYPE, on the receiver side a received mail
// gets the owner.
void SplitNewsAddress(int side, int use, std::string_view text, NewHRRecord& NHR,
                      const HeaderContext& ctx);
SplitAddress splitNewsAddressText(std::string_view text);

// The subject without leading blanks and without one leading "Re:".
std::string StripReplyPrefix(std::string_view subject);

enum class DateReading {
    Simple,   // "Pegasus" and separator mailboxes: day month year time
    General,  // every other caller: also weekday forms and two-digit years
};
// Reads a Date header value into a day number and time value (0 when not
// readable). The time zone is not read.
DateTime ParseHeaderDate(std::string_view value, DateReading reading);

// The newsgroup an article is filed under: of the comma-separated groups of
// a Newsgroups value, the first that the target list holds, else the first
// listed. Empty when the value names no group.
std::string ChooseNewsgroup(std::string_view newsgroups,
                            const std::function<bool(std::string_view upperGroup)>& targetHolds);

// The last identifier of a References or In-Reply-To value: the last word in
// angle brackets, else the last blank-separated word; at most 60 characters.
std::string lastReference(std::string_view value);

// Trims a message text before it is stored (mode 1 forum, 2 mail): trailing
// and leading CR, LF and the markers "@b" and "@l" are removed. A mail text
// (mode other than 1) that begins with an Internet header block loses that
// block, and its body goes through the MIME part choice and the text builder
// (so an HTML body is converted to text).
void StripChar(int mode, std::string& text);

}  // namespace quill
