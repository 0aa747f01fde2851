// The mail readers over real files written by other programs
// (../shared/corpus/, skipped when absent).
#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "import/ParseMessage.h"
#include "import/readers/MailReaderKit.h"
#include "import/readers/MailReaders.h"

namespace quill::test {
namespace {

const std::string Corpus = QUILL_SOURCE_DIR "/../shared/corpus/";

bool present(const std::string& path) { return std::filesystem::exists(path); }

// MD5 (RFC 1321), to compare message bytes with the corpus's list.
std::string md5Hex(std::string_view data) {
    static const uint32_t K[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    static const int R[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
                              14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                              4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    std::string m(data);
    uint64_t bits = uint64_t(data.size()) * 8;
    m.push_back(char(0x80));
    while (m.size() % 64 != 56) m.push_back('\0');
    for (int i = 0; i < 8; ++i) m.push_back(char(bits >> (8 * i)));
    uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (std::size_t off = 0; off < m.size(); off += 64) {
        uint32_t w[16];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(uint8_t(m[off + 4 * i])) | uint32_t(uint8_t(m[off + 4 * i + 1])) << 8 |
                   uint32_t(uint8_t(m[off + 4 * i + 2])) << 16 | uint32_t(uint8_t(m[off + 4 * i + 3])) << 24;
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) f = (b & c) | (~b & d), g = i;
            else if (i < 32) f = (d & b) | (~d & c), g = (5 * i + 1) % 16;
            else if (i < 48) f = b ^ c ^ d, g = (3 * i + 5) % 16;
            else f = c ^ (b | ~d), g = (7 * i) % 16;
            uint32_t t = d;
            d = c;
            c = b;
            uint32_t x = a + f + K[i] + w[g];
            b = b + ((x << R[i]) | (x >> (32 - R[i])));
            a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d;
    }
    std::string out;
    char buf[3];
    for (uint32_t v : h)
        for (int i = 0; i < 4; ++i) {
            std::snprintf(buf, sizeof buf, "%02X", (v >> (8 * i)) & 0xff);
            out += buf;
        }
    return out;
}

TEST(Md5, KnownDigests) {
    EXPECT_EQ(md5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5Hex("The quick brown fox jumps over the lazy dog"), "9E107D9D372BB6826BD81D3542A419D6");
}

TEST(CorpusOutlookExpress5, StagesTheTwentyEightMessagesOfTheStore) {
    const std::string dbx = Corpus + "dbx/iped/test_OutlookDBX.dbx";
    if (!present(dbx)) GTEST_SKIP() << "corpus not present";
    // The raw messages the store holds, by size and MD5.
    std::vector<std::string> expected;
    std::ifstream list(Corpus + "dbx/iped/EXPECTED_md5.txt");
    for (std::string line; std::getline(list, line);) {
        std::istringstream in(line);
        std::string index, size, md5;
        if (in >> index >> size >> md5) expected.push_back(size + " " + md5);
    }
    ASSERT_EQ(expected.size(), 28u);

    // The chains the reader's block tests find are exactly those messages.
    FileWindow w;
    std::string err;
    ASSERT_TRUE(w.open(dbx, err));
    std::vector<std::string> found;
    std::vector<std::pair<std::string, std::string>> rawSubjectSender;
    std::vector<uint64_t> chained;
    for (uint64_t p = 0; p + 16 <= w.size(); ++p) {
        if (std::find(chained.begin(), chained.end(), p) != chained.end()) continue;
        uint32_t self = 0;
        if (!w.readLong(p, self) || self != p) continue;
        std::string raw = BlockChainStore::collectChain(w, p, &chained);
        if (raw.empty()) continue;
        found.push_back(std::to_string(raw.size()) + " " + md5Hex(raw));
        ParsedMessage m = parseMessageBytes(raw, "owner@example.com");
        rawSubjectSender.push_back({m.NHR.HEADING.str(), m.NHR.S_CISADRESS.str()});
    }
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);

    // Staged: one mail per raw message, with its subject and sender.
    StagedFile f = stageFile("Outlook Express 5 Mail", dbx, 25);
    ASSERT_EQ(f.mails.size(), 28u);
    EXPECT_EQ(f.skipped, 0u);
    std::vector<std::pair<std::string, std::string>> staged;
    for (auto& m : f.mails) staged.push_back({m.subject, m.senderAddress});
    std::sort(staged.begin(), staged.end());
    std::sort(rawSubjectSender.begin(), rawSubjectSender.end());
    EXPECT_EQ(staged, rawSubjectSender);
}

int countLinesStartingFrom(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    int n = 0;
    for (std::string line; std::getline(in, line);) n += line.compare(0, 5, "From ") == 0;
    return n;
}

int oracleCount(const std::string& name) {
    std::ifstream in(Corpus + "mbox/mail-mbox-messageparser/expected/number_" + name + ".stdout");
    int last = 0;
    for (int v; in >> v;) last = v;
    return last;
}

TEST(CorpusFromMailbox, StagesTheMessagesOfRealMailboxes) {
    const std::string dir = Corpus + "mbox/mail-mbox-messageparser/";
    if (!present(dir)) GTEST_SKIP() << "corpus not present";
    // Where the oracle and this reader's rule agree, the counts must match.
    for (const char* name : {"invalid-boundaries", "mailseparators", "newlines_at_beginning", "binary_body"}) {
        SCOPED_TRACE(name);
        StagedFile f = stageFile("Generic Mail Type 2", dir + name + ".txt", 25);
        EXPECT_EQ(int(f.mails.size() + f.skipped), oracleCount(name));
        EXPECT_EQ(f.skipped, 0u);
    }
    // These files hold unescaped "From " lines at the start of body lines
    // (forwarded messages pasted inline, a message/rfc822 part, an archive
    // whose every message quotes a "From x at y" line). The oracle guesses
    // from the lines around them which are separators; this reader starts a
    // message at every line that begins "From ", never inside a line, so it
    // finds one message per such line: more than the oracle, never fewer.
    for (const char* name : {"mailarc-1", "mailarc-1-dos", "mailarc-2", "mailarc-3", "malformed"}) {
        SCOPED_TRACE(name);
        const std::string path = dir + name + ".txt";
        StagedFile f = stageFile("Generic Mail Type 2", path, 25);
        EXPECT_EQ(int(f.mails.size() + f.skipped), countLinesStartingFrom(path));
        EXPECT_GE(int(f.mails.size() + f.skipped), oracleCount(name));
    }
}

TEST(CorpusNetscapeMailbox, StagesTheOneMessageWithoutItsStatusLines) {
    const std::string path = Corpus + "netscape-mbox/comm-central/bugmail1";
    if (!present(path)) GTEST_SKIP() << "corpus not present";
    StagedFile f = stageFile("Netscape Mail", path);
    ASSERT_EQ(f.mails.size(), 1u);
    EXPECT_FALSE(f.mails[0].subject.empty());
    EXPECT_EQ(f.mails[0].text.find("X-Mozilla-Status"), std::string::npos);
}

}  // namespace
}  // namespace quill::test
