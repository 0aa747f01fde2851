// Characters beyond Windows-1252 (Cyrillic, CJK, emoji) imported from a
// mailbox into an archive and read back through messages and show: they come
// back as UTF-8, exactly, and a field too short for them is cut between
// characters.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace quill::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) v |= uint32_t(uint8_t(bytes[i + 2]));
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[v & 63] : '=';
    }
    return out;
}

std::string encodedWord(const std::string& utf8) { return "=?UTF-8?B?" + base64(utf8) + "?="; }

// The JSON string value of key in one line of output, as printed.
std::string jsonValue(const std::string& line, const std::string& key) {
    const std::string open = "\"" + key + "\":\"";
    std::size_t start = line.find(open);
    if (start == std::string::npos) return "<missing " + key + ">";
    start += open.size();
    std::size_t end = start;
    while (end < line.size() && line[end] != '"') end += line[end] == '\\' ? 2 : 1;
    return line.substr(start, end - start);
}

// Whether part is a beginning of text that ends between two UTF-8 characters.
bool isWholeCharacterPrefix(const std::string& part, const std::string& text) {
    if (text.compare(0, part.size(), part) != 0) return false;
    return part.size() == text.size() || (uint8_t(text[part.size()]) & 0xC0) != 0x80;
}

const std::string ShortSubject = "\xD0\x94\xD0\xB0 \xE4\xB8\x96 \xF0\x9F\x8E\x89";  // "Да 世 🎉"
const std::string ShortName = "\xD0\xAF\xD0\xBD \xD0\x9B\xD0\xB8";                  // "Ян Ли"
const std::string Body = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80!\n"  // "Привет, мир!"
                         "\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C\n"                   // "你好，世界"
                         "Party \xF0\x9F\x8E\x89 time\n";
// "Длинная тема письма": seven bytes a character once stored, more than a
// mail subject holds.
const std::string LongSubject =
    "\xD0\x94\xD0\xBB\xD0\xB8\xD0\xBD\xD0\xBD\xD0\xB0\xD1\x8F \xD1\x82\xD0\xB5\xD0\xBC\xD0\xB0 "
    "\xD0\xBF\xD0\xB8\xD1\x81\xD1\x8C\xD0\xBC\xD0\xB0";
// "Александра Константиновна Преображенская": longer than a name field holds.
const std::string LongFirst = "\xD0\x90\xD0\xBB\xD0\xB5\xD0\xBA\xD1\x81\xD0\xB0\xD0\xBD\xD0\xB4\xD1\x80\xD0\xB0 "
                              "\xD0\x9A\xD0\xBE\xD0\xBD\xD1\x81\xD1\x82\xD0\xB0\xD0\xBD\xD1\x82\xD0\xB8\xD0\xBD"
                              "\xD0\xBE\xD0\xB2\xD0\xBD\xD0\xB0";
const std::string LongLast = "\xD0\x9F\xD1\x80\xD0\xB5\xD0\xBE\xD0\xB1\xD1\x80\xD0\xB0\xD0\xB6\xD0\xB5\xD0\xBD"
                             "\xD1\x81\xD0\xBA\xD0\xB0\xD1\x8F";

std::string mailbox() {
    return "From yan@example.cn Mon Jan 05 10:00:00 2004\n"
           "From: " + encodedWord(ShortName) + " <yan@example.cn>\n"
           "To: Owner <owner@example.com>\n"
           "Subject: " + encodedWord(ShortSubject) + "\n"
           "Date: Mon, 5 Jan 2004 10:00:00 +0000\n"
           "MIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=utf-8\n"
           "Content-Transfer-Encoding: base64\n\n" +
           base64(Body) + "\n\n"
           "From sasha@example.ru Tue Jan 06 10:00:00 2004\n"
           "From: " + encodedWord(LongFirst + " ") + " " + encodedWord(LongLast) + " <sasha@example.ru>\n"
           "To: Owner <owner@example.com>\n"
           "Subject: " + encodedWord(LongSubject) + "\n"
           "Date: Tue, 6 Jan 2004 10:00:00 +0000\n"
           "Content-Type: text/plain; charset=utf-8\n\n" +
           LongLast + "\n\n";
}

class WideCharacters : public CliTest {
protected:
    void SetUp() override {
        ASSERT_EQ(cli({"init"}), 0) << err;
        ASSERT_EQ(cli({"db", "add-mail", "Owner", "owner@example.com"}), 0) << err;
        writeFile(files / "wide.mbox", mailbox());
        ASSERT_EQ(cli({"import", "--type", "Generic Mail Type 2", "--mailbox", "Owner", files / "wide.mbox"}), 0)
            << err;
        ASSERT_TRUE(contains(out, "imported 2  skipped 0")) << out;
    }
    // The output lines of messages --json --text, newest first.
    std::vector<std::string> messageLines() {
        std::vector<std::string> v;
        if (cli({"messages", "Owner", "--json", "--text"}) != 0) return v;
        std::size_t start = 0;
        while (start < out.size()) {
            std::size_t nl = out.find('\n', start);
            if (nl == std::string::npos) nl = out.size();
            if (nl > start) v.push_back(out.substr(start, nl - start));
            start = nl + 1;
        }
        return v;
    }
};

TEST_F(WideCharacters, SubjectSenderAndTextComeBackExactlyAsUtf8) {
    auto l = messageLines();
    ASSERT_EQ(l.size(), 2u) << out;
    const std::string& mail = l[1];
    EXPECT_EQ(jsonValue(mail, "subject"), ShortSubject) << mail;
    EXPECT_EQ(jsonValue(mail, "from_name"), ShortName) << mail;
    EXPECT_EQ(jsonValue(mail, "text"),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80!\\r\\n"
              "\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C\\r\\n"
              "Party \xF0\x9F\x8E\x89 time\\r\\n")
        << mail;

    // {"msgnumber":N,...
    const std::string id = mail.substr(13, mail.find(',') - 13);
    ASSERT_EQ(cli({"show", id}), 0) << err;
    EXPECT_TRUE(contains(out, "\nSubject: " + ShortSubject + "\n")) << out;
    EXPECT_TRUE(contains(out, "\nFrom: " + ShortName + " <yan@example.cn>\n")) << out;
    EXPECT_TRUE(contains(out, "\n\n" + std::string("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, ")))
        << out;
    EXPECT_TRUE(contains(out, "Party \xF0\x9F\x8E\x89 time")) << out;
    EXPECT_FALSE(contains(out, "&#")) << out;
}

TEST_F(WideCharacters, FieldTooShortIsCutBetweenCharactersNeverInsideAReference) {
    auto l = messageLines();
    ASSERT_EQ(l.size(), 2u) << out;
    const std::string& mail = l[0];
    EXPECT_FALSE(contains(mail, "&#")) << mail;

    const std::string subject = jsonValue(mail, "subject");
    EXPECT_FALSE(subject.empty()) << mail;
    EXPECT_LT(subject.size(), LongSubject.size()) << mail;
    EXPECT_TRUE(isWholeCharacterPrefix(subject, LongSubject)) << subject;

    // The name passes through fields shorter than it: what is left is its
    // beginning, up to a whole character.
    const std::string name = jsonValue(mail, "from_name");
    EXPECT_FALSE(name.empty()) << mail;
    EXPECT_TRUE(isWholeCharacterPrefix(name, LongFirst + " " + LongLast)) << name;
    EXPECT_EQ(jsonValue(mail, "text"), LongLast + "\\r\\n") << mail;
}

}  // namespace
}  // namespace quill::test
