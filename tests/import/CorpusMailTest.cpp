// Real mailboxes and articles written by other programs: whatever encoding
// a message uses, its stored text and subject carry no transfer encoding.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "import/Headers.h"
#include "import/LineQueue.h"
#include "import/Mime.h"
#include "import/ParseMessage.h"

namespace quill {
namespace {

namespace fs = std::filesystem;

const fs::path corpus = fs::path(QUILL_SOURCE_DIR) / ".." / "shared" / "corpus";

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::size_t> numbers(const fs::path& p) {
    std::vector<std::size_t> v;
    std::ifstream in(p);
    std::size_t n;
    while (in >> n) v.push_back(n);
    return v;
}

// The messages of each mailbox, split at the offsets and lengths the
// corpus's own oracle lists (an independent mailbox reader's findings).
std::vector<std::pair<std::string, std::string>> corpusMessages() {
    std::vector<std::pair<std::string, std::string>> messages;
    const fs::path dir = corpus / "mbox" / "mail-mbox-messageparser";
    if (!fs::is_directory(dir)) return messages;
    for (const auto& entry : fs::directory_iterator(dir / "expected")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("offset_", 0) != 0) continue;
        const std::string box = name.substr(7, name.size() - 7 - 7);  // less "offset_" and ".stdout"
        if (!fs::exists(dir / (box + ".txt"))) continue;
        const std::string bytes = readFile(dir / (box + ".txt"));
        const std::vector<std::size_t> offsets = numbers(entry.path());
        const std::vector<std::size_t> lengths = numbers(dir / "expected" / ("length_" + box + ".stdout"));
        for (std::size_t i = 0; i < offsets.size() && i < lengths.size(); ++i)
            if (offsets[i] < bytes.size())
                messages.emplace_back(box + " #" + std::to_string(i + 1), bytes.substr(offsets[i], lengths[i]));
    }
    for (const auto& entry : fs::recursive_directory_iterator(corpus / "news" / "mini_newsgroups-spool"))
        if (entry.is_regular_file()) messages.emplace_back(entry.path().string(), readFile(entry.path()));
    return messages;
}

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

bool holdsQuotedPrintableEscape(const std::string& text) {
    for (std::size_t i = 0; i + 2 < text.size(); ++i)
        if (text[i] == '=' && ((isUpperHex(text[i + 1]) && isUpperHex(text[i + 2])) ||
                               (text[i + 1] == '\r' && text[i + 2] == '\n')))
            return true;
    return false;
}

bool holdsEncodedWord(const std::string& s) {
    const std::size_t start = s.find("=?");
    if (start == std::string::npos) return false;
    const std::size_t q = s.find('?', start + 2);
    return q != std::string::npos && q + 2 < s.size() && s[q + 2] == '?' && s.find("?=", q + 3) != std::string::npos;
}

// A line of 60 or more base64 characters and nothing else.
bool holdsBase64Line(const std::string& text) {
    std::size_t run = 0;
    for (char c : text) {
        const bool b64 = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                         c == '/' || c == '=';
        if (c == '\r' || c == '\n') {
            if (run >= 60) return true;
            run = 0;
        } else if (b64 && run != std::string::npos) {
            ++run;
        } else {
            run = std::string::npos;  // the line holds other characters
        }
    }
    return run >= 60 && run != std::string::npos;
}

TEST(CorpusMail, StoredTextAndSubjectCarryNoTransferEncoding) {
    const auto messages = corpusMessages();
    if (messages.empty()) GTEST_SKIP() << "corpus of real mailboxes and articles not present";
    std::size_t quotedPrintable = 0, base64 = 0;
    for (const auto& [where, bytes] : messages) {
        SCOPED_TRACE(where);
        LineQueue queue = splitLines(bytes);
        ParsedMessage m = parseMessageLines(queue);
        if (m.skipped) continue;
        EXPECT_FALSE(holdsEncodedWord(m.NHR.HEADING.str())) << m.NHR.HEADING.str();
        EXPECT_FALSE(holdsEncodedWord(m.NHR.S_NAME.str())) << m.NHR.S_NAME.str();
        if (queue.encoding.transfer == TransferEncoding::QuotedPrintable) {
            ++quotedPrintable;
            EXPECT_FALSE(holdsQuotedPrintableEscape(m.text));
        }
        if (queue.encoding.transfer == TransferEncoding::Base64) {
            ++base64;
            EXPECT_FALSE(holdsBase64Line(m.text));
        }
        EXPECT_LE(m.text.size(), MessageTextMax);
    }
    // The corpus holds both encodings: the checks above were exercised.
    EXPECT_GT(quotedPrintable, 0u);
    EXPECT_GT(messages.size(), 2000u);
}

}  // namespace
}  // namespace quill
