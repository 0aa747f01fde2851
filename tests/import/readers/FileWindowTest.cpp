// The window every mailbox reader reads through: lines come back whole
// across record boundaries, long lines split into 400-byte pieces, and
// nothing is read past the end or a limit.
#include <gtest/gtest.h>

#include "import/readers/FileWindow.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

// Lines of many lengths, some crossing the 10000-byte record boundaries, with
// CR LF ends.
std::vector<std::string> sampleLines() {
    std::vector<std::string> lines;
    const std::size_t lengths[] = {0, 1, 399, 400, 401, 800, 9999, 10000, 10001, 3, 0, 12345, 57};
    char c = 'a';
    for (std::size_t n : lengths) {
        lines.push_back(std::string(n, c));
        c = c == 'z' ? 'a' : char(c + 1);
    }
    return lines;
}

std::vector<std::string> readBack(const std::string& path, LineEnds ends) {
    FileWindow w;
    std::string err;
    EXPECT_TRUE(w.open(path, err)) << err;
    std::vector<std::string> out;
    std::string current;
    WindowLine piece;
    while (readLine(w, ends, piece)) {
        EXPECT_LE(piece.text.size(), LineWidth);
        current += piece.text;
        if (!piece.split) {
            out.push_back(current);
            current.clear();
        }
    }
    EXPECT_EQ(w.position(), w.size());
    return out;
}

TEST(FileWindow, LinesComeBackWholeAcrossRecordsInEitherLineEnd) {
    TempDir dir;
    auto lines = sampleLines();
    for (LineEnds ends : {LineEnds::CrLf, LineEnds::Lf}) {
        std::string bytes;
        for (auto& l : lines) bytes += l + (ends == LineEnds::CrLf ? "\r\n" : "\n");
        std::string path = dir.path() + "/f";
        writeFile(path, bytes);
        EXPECT_EQ(readBack(path, ends), lines);
    }
}

TEST(FileWindow, LoneLfStaysInACrLfLine) {
    TempDir dir;
    std::string path = dir.path() + "/f";
    writeFile(path, "one\ntwo\r\nthree");
    EXPECT_EQ(readBack(path, LineEnds::CrLf), (std::vector<std::string>{"one\ntwo", "three"}));
}

TEST(FileWindow, ALastLineWithoutItsEndComesBackWholeAtAnyLength) {
    TempDir dir;
    std::string path = dir.path() + "/f";
    for (std::size_t n : {1, 3, 399, 400, 401, 402, 800, 801}) {
        for (LineEnds ends : {LineEnds::CrLf, LineEnds::Lf}) {
            std::string last(n, 'q');
            last[n / 2] = '\r';  // a lone CR inside the line stays in it
            writeFile(path, "first\r\n" + last);
            std::vector<std::string> expected = {"first", last};
            EXPECT_EQ(readBack(path, ends), expected) << n;
        }
    }
}

TEST(FileWindow, NumbersAndPeeksStopAtTheEndAndAtALimit) {
    TempDir dir;
    std::string path = dir.path() + "/f";
    std::string bytes(25000, 'x');
    bytes[24996] = 1;
    writeFile(path, bytes);
    FileWindow w;
    std::string err;
    ASSERT_TRUE(w.open(path, err));
    uint32_t v = 0;
    EXPECT_TRUE(w.readLong(24996, v));
    EXPECT_EQ(v, 0x78787801u);
    EXPECT_FALSE(w.readLong(24997, v));  // one byte short of the end
    EXPECT_FALSE(w.readLong(UINT64_MAX - 1, v));
    w.setLimit(100);
    EXPECT_FALSE(w.readLong(98, v));
    w.seek(99);
    EXPECT_EQ(w.peek(0), 'x');
    EXPECT_EQ(w.peek(1), -1);
    w.seek(5000);  // beyond the limit: clamped to it
    EXPECT_EQ(w.position(), 100u);
    EXPECT_TRUE(w.atEnd());
    w.clearLimit();
    w.seek(24999);
    EXPECT_EQ(w.look(50).size(), 1u);
}

TEST(DetectLineEnds, FirstLineEndDecides) {
    TempDir dir;
    std::string path = dir.path() + "/f";
    struct {
        const char* bytes;
        LineEnds ends;
    } cases[] = {{"a\nb\r\n", LineEnds::Lf}, {"a\r\nb\n", LineEnds::CrLf}, {"no line end", LineEnds::CrLf}};
    for (auto& c : cases) {
        writeFile(path, c.bytes);
        FileWindow w;
        std::string err;
        ASSERT_TRUE(w.open(path, err));
        EXPECT_EQ(detectLineEnds(w), c.ends) << c.bytes;
    }
}

}  // namespace
}  // namespace quill::test
