// The person registry of an archive database: the identity string of a
// person, find-or-create with alias resolution through PLINK, the mail counts
// of a person in a mail database, and the stored-text duplicate comparison.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "database/Session.h"

namespace quill {

// Width of PER:PERSONSTRING and PLI:PERSONSTRING.
inline constexpr std::size_t personStringWidth = 100;

// The identity string of a person: the name without trailing blanks, one
// blank, the address without trailing blanks, all upper case (Windows-1252),
// clipped to personStringWidth. A person without a name has an identity
// string that begins with a blank.
std::string personString(std::string_view name, std::string_view address);

// Finds or creates the person with this address and name and leaves its
// record in the Person buffer. An identity string that is an alias in PLINK
// gives the person it stands for (whose own identity string then differs from
// the one asked for); an alias whose person no longer exists is removed and a
// new person is created in its place.
//
// Returns false on success and TRUE ON FAILURE. Person, PLINK and Control must
// be open, and the call must lie inside a transaction over Person and PLINK
// (and Control, so that a rolled-back transaction also gives the identifier
// back). Writes use UppDat mode 8: on failure the transaction has been rolled
// back and the user told, and the caller must stop its current work.
[[nodiscard]] bool AddPers(Session& s, std::string_view address, std::string_view name);

// Result codes of CFromToMail.
enum CFromToMailResult : int {
    MailCountsUnchanged = 0,  // nothing to write (or a mode that only checks)
    MailCountsChanged = 2,    // PER:FROMCOUNT / PER:TOCOUNT were set: the caller writes the person
    PersonHasNoMail = 3,      // mode 0: the person has no mail and may be removed
};

// Recounts the mail sent and received by the person in the Person buffer in
// the open Mail file (on MAI:FROMKEY and MAI:TOKEY). Mode 0: a person without
// mail gives PersonHasNoMail and nothing changes; mode 1: such a person gets
// both counts 0 and MailCountsChanged. With mail, changed counts are stored in
// the buffer (MailCountsChanged), equal ones give MailCountsUnchanged. Writes
// nothing to the file.
[[nodiscard]] int CFromToMail(Session& s, int mode);

// The duplicate comparison of message texts (dupTextsEqual) on stored texts.
// Mode 1: the MsgText text of id1 against the staged text of the current
// NewHR record (NewHR.memo); mode 2: the MsgText texts of id1 and id2. A
// missing MsgText record (or another mode) gives false. MsgText must be open;
// its buffer is left holding the last text read.
[[nodiscard]] bool DupString(Session& s, int mode, uint32_t id1, uint32_t id2);

}  // namespace quill
