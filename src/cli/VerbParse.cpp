// parse FILE [--json] [--owner ADDRESS] [--type NAME]: shows how one message
// file is read, for users who report a misread message. --type names the
// import type whose reader's reading is applied; without it a message with a
// Newsgroups line is read as news and any other as mail.
#include <fstream>
#include <iostream>

#include "cli/Cli.h"
#include "database/Calendar.h"
#include "database/Charset.h"
#include "import/Headers.h"
#include "import/ImportTypes.h"
#include "import/ParseMessage.h"

namespace quill::cli {

namespace {
std::string jsonOrNull(const std::string& v) { return v.empty() ? "null" : jsonString(v); }
}  // namespace

int verbParse(Context&, std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    std::string owner, type;
    (void)takeOption(args, "--owner", owner);
    if (takeOption(args, "--type", type)) {
        const ImportType* t = importTypeByName(type);
        if (!t || headerParserOf(t->name) == HeaderParserKind::None)
            return fail("parse --type takes the name of a mail or news import type (such as \"Unix News\" or "
                        "\"Generic Mail Type 2\"), not " + type);
        type = std::string(t->name);
    }
    if (args.size() != 1) return fail("parse takes one message file (see parse --help)");
    std::ifstream in(args[0], std::ios::binary);
    if (!in) return fail("cannot read " + args[0]);
    ParsedMessage m = parseMessageStream(in, utf8ToCp1252(owner), type);
    const NewHRRecord& n = m.NHR;
    std::string subject = toTerminal(n.HEADING.str());
    std::string thread = toTerminal(StripReplyPrefix(n.HEADING.str()));
    std::string section = toTerminal(n.SEC_DESCRIPTION.empty() ? n.FOR_DESCRIPTION.str() : n.SEC_DESCRIPTION.str());
    if (json) {
        std::cout << "{\"msgnumber\":" << uint32_t(n.MSGNUMBER) << ",\"refnumber\":" << uint32_t(n.REFNUMBER)
                  << ",\"date\":" << jsonOrNull(isoDate(n.DATE)) << ",\"time\":" << jsonOrNull(isoTime(n.TIME))
                  << ",\"subject\":" << jsonString(subject) << ",\"from_name\":" << jsonString(toTerminal(n.S_NAME.str()))
                  << ",\"from_address\":" << jsonString(toTerminal(n.S_CISADRESS.str()))
                  << ",\"to_name\":" << jsonString(toTerminal(n.R_NAME.str()))
                  << ",\"to_address\":" << jsonString(toTerminal(n.R_CISADRESS.str()))
                  << ",\"section\":" << jsonString(section) << ",\"thread\":" << jsonString(thread)
                  << ",\"status\":" << int(n.DUMMY) << ",\"text\":" << jsonString(toTerminal(m.text))
                  << ",\"message_kind\":" << jsonString(messageKindName(m.messageKind))
                  << ",\"content_kind\":" << jsonString(contentKindName(m.contentKind))
                  << ",\"body_start\":" << m.bodyStart << ",\"import_type\":" << jsonString(m.importType)
                  << ",\"skipped\":" << (m.skipped ? "true" : "false")
                  << ",\"skip_reason\":" << jsonOrNull(m.skipReason) << "}\n";
        return 0;
    }
    if (m.skipped) std::cout << "Skipped:      " << m.skipReason << "\n";
    std::cout << "Import type:  " << m.importType << "\n"
              << "Sender:       " << toTerminal(n.S_NAME.str()) << " <" << toTerminal(n.S_CISADRESS.str()) << ">\n"
              << "Receiver:     " << toTerminal(n.R_NAME.str()) << " <" << toTerminal(n.R_CISADRESS.str()) << ">\n"
              << "Subject:      " << subject << "\n"
              << "Date:         " << (n.DATE ? isoDate(n.DATE) : "(none)") << "\n"
              << "Time:         " << (n.TIME ? isoTime(n.TIME) : "(none)") << "\n"
              << "Newsgroup:    " << section << "\n"
              << "Message kind: " << messageKindName(m.messageKind) << "\n"
              << "Content kind: " << contentKindName(m.contentKind) << "\n"
              << "Body starts:  line " << m.bodyStart << "\n\n";
    std::string text = toTerminal(m.text);
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '\r' && text[i + 1] == '\n') text.erase(i, 1);
    std::cout << text;
    if (!text.empty() && text.back() != '\n') std::cout << "\n";
    return 0;
}

}  // namespace quill::cli
