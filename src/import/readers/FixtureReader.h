// The "Test Fixture" reader: a diagnostic import type that stages messages
// from a plain text file written by hand or by a test. It is not in the file
// type table and the wizard never offers it; the command-line tool accepts it
// as --type "Test Fixture" so that the import run can be exercised end to end
// without any foreign format.
//
// Layout of a fixture file:
//
//   # comment lines start with "#" (only before the first message)
//   %%                              a line "%%" starts every message
//   Kind: forum | mail | news       (default forum)
//   Forum: Lotus Notes              forum name (default: the run's forum)
//   Section: 3 General Help         section number and name (forum)
//   Number: 1234                    the forum's message number (forum)
//   Ref: 1233                       the number it answers (forum)
//   Newsgroup: comp.lang.c          (news)
//   Message-ID: <a@b>               (news; required)
//   References: <x@y> <p@q>         the last entry is the answered article (news)
//   Date: 2024-01-05 12:34:56       date and time written
//   From: Name <address>            sender ("Name", "<address>" or "address")
//   To: Name <address>              receiver
//   Cc: Name <address>              a carbon copy (mail; repeatable)
//   Subject: text
//   Bad: yes                        a malformed message: skipped and counted
//                                   (empty line ends the header block)
//   text lines ...                  the message text, up to the next "%%"
//
// A file whose first line is neither a comment nor "%%" is not a fixture.
// Lines longer than 64000 bytes are cut; the file is read through a stream
// buffer, never whole.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "import/ImportTypes.h"

namespace quill {

class FixtureReader : public Reader {
public:
    ReaderOpening open(ReaderContext& c, const std::string& path) override;
    bool read(ReaderContext& c) override;
    void close() override;

private:
    bool nextLine(std::string& line);
    void stageMessage(ReaderContext& c, const std::vector<std::pair<std::string, std::string>>& headers,
                      const std::string& text);

    std::ifstream in_;
    uint64_t consumed_ = 0;
    bool pendingStart_ = false;
    bool eof_ = false;
};

}  // namespace quill
