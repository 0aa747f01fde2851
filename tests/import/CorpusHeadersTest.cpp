// The header parsers and the text builder over real messages written by
// others: Usenet articles from a news spool and Unix mailboxes. What the
// parsers find is checked against a small reading of the header lines
// written here, independently of the parsers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "database/Records.h"
#include "import/Headers.h"
#include "import/Mime.h"

namespace quill {
namespace {

namespace fs = std::filesystem;

const fs::path corpusDir = fs::path(QUILL_SOURCE_DIR "/../shared/corpus");

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<fs::path> filesUnder(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return std::string(s);
}

// The header block of an article as its own lines say: field name (lower
// case) to the value of its first occurrence, and the block's lines.
struct OwnHeaders {
    std::map<std::string, std::string> fields;
    std::vector<std::string> lines;
};

OwnHeaders ownHeaders(const std::string& article) {
    OwnHeaders h;
    std::size_t pos = 0;
    while (pos < article.size()) {
        std::size_t end = article.find('\n', pos);
        if (end == std::string::npos) end = article.size();
        std::string line = article.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = end + 1;
        if (line.empty()) break;
        h.lines.push_back(line);
        std::size_t colon = line.find(':');
        if (colon == std::string::npos || line[0] == ' ' || line[0] == '\t') continue;
        std::string name = lowerAscii(line.substr(0, colon));
        if (!h.fields.count(name)) h.fields[name] = trimmed(std::string_view(line).substr(colon + 1));
    }
    return h;
}

// The address of a From value: inside angle brackets, else the word with
// the at sign.
std::string addressOf(const std::string& from) {
    std::size_t open = from.rfind('<'), close = from.rfind('>');
    if (open != std::string::npos && close != std::string::npos && open < close)
        return lowerAscii(from.substr(open + 1, close - open - 1));
    std::size_t at = from.find('@');
    if (at == std::string::npos) return lowerAscii(from);
    std::size_t b = from.find_last_of(" \t", at);
    std::size_t e = from.find_first_of(" \t", at);
    b = b == std::string::npos ? 0 : b + 1;
    return lowerAscii(from.substr(b, (e == std::string::npos ? from.size() : e) - b));
}

std::string subjectOf(std::string s) {
    // A subject is one line of text: control characters show as blanks.
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
    s = trimmed(s);
    if (s.size() >= 3 && lowerAscii(s.substr(0, 3)) == "re:") s = trimmed(std::string_view(s).substr(3));
    return s.substr(0, 100);
}

std::vector<std::string> textLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// The lines after the header block's empty line.
std::vector<std::string> bodyLines(const std::string& article) {
    std::size_t lf = article.find("\n\n");
    std::size_t crlf = article.find("\r\n\r\n");
    std::size_t start = std::min(lf == std::string::npos ? article.size() : lf + 2,
                                 crlf == std::string::npos ? article.size() : crlf + 4);
    std::vector<std::string> lines;
    std::size_t pos = start;
    while (pos < article.size()) {
        std::size_t end = article.find('\n', pos);
        if (end == std::string::npos) end = article.size();
        std::string line = article.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        pos = end + 1;
    }
    return lines;
}

TEST(HeaderCorpusNews, SenderSubjectAndMessageIdMatchTheArticlesOwnHeaders) {
    const fs::path dir = corpusDir / "news";
    if (!fs::exists(dir)) GTEST_SKIP() << "corpus not present: " << dir;
    std::size_t checked = 0;
    for (const fs::path& file : filesUnder(dir)) {
        const std::string article = readFile(file);
        const OwnHeaders own = ownHeaders(article);
        if (!own.fields.count("from") || !own.fields.count("message-id")) continue;  // no RFC 822 block

        LineQueue queue = splitLines(article);
        NewHRRecord NHR{};
        HeaderContext ctx;
        ctx.importType = "Unix News";
        ctx.identifierCounter = 100;
        std::map<std::uint32_t, std::string> tempId;
        ctx.appendTempId = [&](std::string_view id, std::uint32_t n) { tempId[n] = std::string(id); };
        InternetHeaderResult r = ParseInternetHeaders(queue, 1, NHR, ctx);

        SCOPED_TRACE(file.string());
        EXPECT_EQ(r.messageKind, MessageNews);
        EXPECT_EQ(NHR.S_CISADRESS.str(), addressOf(own.fields.at("from")).substr(0, 60));
        EXPECT_EQ(NHR.HEADING.str(), trimmed(subjectOf(own.fields.count("subject") ? own.fields.at("subject") : "")));
        ASSERT_TRUE(tempId.count(NHR.MSGNUMBER));
        EXPECT_EQ(tempId.at(NHR.MSGNUMBER), own.fields.at("message-id").substr(0, 60));
        if (own.fields.count("references")) {
            EXPECT_NE(uint32_t(NHR.REFNUMBER), 0u);
        }

        const std::string text = BuildMessageText(r.contentKind, queue, r.bodyStart, queue.size());
        // A header line may be quoted in the body (a forwarded article);
        // the text holds it no more often than the body itself does.
        const std::vector<std::string> stored = textLines(text);
        const std::vector<std::string> body = bodyLines(article);
        for (const std::string& headerLine : own.lines)
            EXPECT_LE(std::count(stored.begin(), stored.end(), headerLine),
                      std::count(body.begin(), body.end(), headerLine))
                << "header line stored in the text: " << headerLine;
        ++checked;
    }
    EXPECT_GT(checked, 1000u);
}

// Splits a mailbox at its "From " separator lines, simply: every line that
// begins "From " starts a message.
std::vector<std::string> splitMailbox(const std::string& box) {
    std::vector<std::string> messages;
    std::size_t start = std::string::npos, pos = 0;
    while (pos < box.size()) {
        if (box.compare(pos, 5, "From ") == 0) {
            if (start != std::string::npos) messages.push_back(box.substr(start, pos - start));
            start = pos;
        }
        std::size_t lf = box.find('\n', pos);
        pos = lf == std::string::npos ? box.size() : lf + 1;
    }
    if (start != std::string::npos) messages.push_back(box.substr(start));
    return messages;
}

TEST(HeaderCorpusMailboxes, EveryMessageParsesAndBuildsBoundedTextWithoutItsHeaders) {
    const fs::path dir = corpusDir / "mbox";
    if (!fs::exists(dir)) GTEST_SKIP() << "corpus not present: " << dir;
    std::size_t messages = 0, accepted = 0;
    for (const fs::path& file : filesUnder(dir)) {
        if (file.string().find("/expected/") != std::string::npos) continue;
        for (const std::string& message : splitMailbox(readFile(file))) {
            SCOPED_TRACE(file.string());
            ++messages;
            for (const char* type : {"Generic Mail Type 2", "Pegasus"}) {
                LineQueue queue = splitLines(message);
                NewHRRecord NHR{};
                HeaderContext ctx;
                ctx.importType = type;
                ctx.ownerAddress = "owner@example.org";
                ctx.ownerName = "Owner";
                MailHeaderResult r = ParseMailHeaders(queue, 1, NHR, ctx);
                if (!r.ok) continue;
                ++accepted;
                EXPECT_TRUE(NHR.MAILTYPE == 1 || NHR.MAILTYPE == 2);
                const std::string text = BuildMessageText(r.contentKind, queue, r.bodyStart, queue.size());
                EXPECT_LE(text.size(), MessageTextMax);
                // The separator and the header lines never reach the text.
                const OwnHeaders own = ownHeaders(message);
                const std::vector<std::string> stored = textLines(text);
                if (!own.lines.empty()) {
                    EXPECT_EQ(std::find(stored.begin(), stored.end(), own.lines.front()), stored.end());
                }
            }
            LineQueue queue = splitLines(message);
            NewHRRecord NHR{};
            HeaderContext ctx;
            ParseSeparatedMailHeaders(queue, 1, NHR, ctx);
            InternetHeaderResult ir = ParseInternetHeaders(queue, 1, NHR, ctx);
            (void)BuildMessageText(ir.contentKind, queue, ir.bodyStart, queue.size());
        }
    }
    EXPECT_GT(messages, 50u);
    EXPECT_GT(accepted, 50u);
}

}  // namespace
}  // namespace quill
