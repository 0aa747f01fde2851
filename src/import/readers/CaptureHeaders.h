// The header blocks of CompuServe forum and mail text captures, read from a
// line queue. Pure functions: no record store, no run state, so that every
// rule can be tested on its own.
//
// Forum message (every type; columns counted from 1):
//
//   #: 12345 S3/General Help (CIS:SOMEFORUM)   number, section, forum in
//                                              parentheses (OzCIS, OzWin only)
//       05-Mar-96  12:34:56                    date from column 5 or 6
//   Sb: #12340-Re: prices                      subject, answered message
//   Fm: John Smith 70000,123                   sender
//   To: All                                    receiver
//   Par: 12340   (OzWin II only: answered message, searched in columns 1-40)
//   body from line 7
//
// Mail:
//
//   TAPCIS 5.x, GoldenCompass       TAPCIS 6.x, AUTOSIG        OzCIS, OzWin I, II
//   #: 17 /Outbox (sent)            #: 17                      Date:  05-Mar-96 12:34
//   05-Mar-96 9:30                  05-Mar-96  12:34:56        From: Name 70000,1 (or MgTo:)
//   Sb: subject                     Sb: subject                Subj: subject
//   Fm: sender (received)           Fm: sender                 body from line 5
//   To: receiver (sent)             To: receiver
//   body from line 6 (received)     body from line 7
//   or line 7 (sent)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "database/Types.h"
#include "import/LineQueue.h"

namespace quill {

// The capture types, each with its own header rules.
enum class CaptureType : std::uint8_t {
    None,
    Tapcis5,        // "TAPCIS 5.x"
    Tapcis6,        // "TAPCIS 6.x"
    Autosig,        // "AUTOSIG"
    OzCis,          // "OzCIS"
    OzWin1,         // "OzWin I"
    OzWin2,         // "OzWin II"
    GoldenCompass,  // "GoldenCompass": the "TAPCIS 5.x" rules over a byte file
    NavCisSave,     // "NavCIS Save format": detection only
};

// The capture type of an import type name (exact name, letter case aside:
// "OzWin I" is not "OzWin II"); None for every other type.
CaptureType captureTypeOf(std::string_view typeName);

// The types whose captures are in IBM code page 850.
bool capturesInCodePage850(CaptureType t);

// Format codes.
enum CaptureFormat : std::uint8_t { CaptureUnknown = 0, CaptureForum = 1, CaptureMail = 2 };

// True when a line starts a message of the format: "#:" for forum captures
// and for TAPCIS, AUTOSIG and GoldenCompass mail, "Date:  " for OzCIS and
// OzWin mail.
bool isCaptureStart(CaptureType t, std::uint8_t format, std::string_view line);

// Greatest distance below its own number at which a forum message may name
// the message it answers.
inline constexpr std::uint32_t ReferenceWindow = 30000;
// Message numbers from here on are not forum message numbers.
inline constexpr std::uint32_t MessageNumberLimit = 9000000;

// A sender or receiver.
struct CaptureParty {
    std::string name, address;
};

struct ForumHeader {
    std::uint32_t msgNumber = 0;
    std::uint32_t refNumber = 0;
    std::string forum;            // from the parentheses; empty = the run's forum
    std::uint32_t sectionNumber = 0;
    std::string section;
    std::string subject;
    CaptureParty from, to;
    DayNumber date = 0;
    std::size_t bodyStart = 0;    // line number of the first body line
};

// Reads the forum header block of the message at line first (which begins
// "#:") whose last line is last. Nothing when the block does not parse: a
// number that is 0, not numeric or 9000000 and more, a missing "Sb:", "Fm:"
// or "To:" line.
std::optional<ForumHeader> parseForumHeader(CaptureType t, const LineQueue& q, std::size_t first, std::size_t last);

// Direction of a mail.
enum MailDirection : std::uint8_t {
    MailByOwnerTest = 0,  // both sides read; the owner test decides
    MailReceived = 1,     // the sender is read, the owner received it
    MailSent = 2,         // the receiver is read, the owner sent it
};

// Splits a "Fm:" or "To:" value of a mail into name and address: after an
// "INTERNET" gateway word (any case) the address is what follows it, the name
// what precedes it; otherwise FindCISAdress in its mail mode.
CaptureParty splitMailParty(std::string_view value);

struct MailHeader {
    std::uint8_t direction = MailByOwnerTest;
    std::string subject;
    CaptureParty from;  // set unless sent
    CaptureParty to;    // set unless received
    DayNumber date = 0;
    TimeValue time = 0;
    std::size_t bodyStart = 0;
};

// Reads the mail header block of the message at line first. Nothing when a
// line the type expects ("Sb:", "Fm:", "To:", "MgTo:" or "From:", "Subj:")
// is missing.
std::optional<MailHeader> parseMailHeader(CaptureType t, const LineQueue& q, std::size_t first, std::size_t last);

// The day number of a date written "dd-Mon-yy" (a one-digit day is accepted
// when a hyphen follows it); the month name in any letter case, English or
// German. 0 when not readable.
DayNumber captureDate(std::string_view text);

}  // namespace quill
