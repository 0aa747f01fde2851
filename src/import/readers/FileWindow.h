// The byte window every mailbox reader reads through, and the line reader
// built on it.
//
//   file:    | record 0 | record 1 | record 2 | record 3 | ...      10000 bytes each
//   window:             [ record 1 | record 2 ]                      20000 bytes
//                       ^base          ^pos
//
// The file is read sequentially, one 10000-byte record at a time; the window
// holds two records. When the position passes the middle of the window, the
// second record moves to the front and the next record is read behind it, so
// that at least one record (10000 bytes) ahead of the position is always in
// memory (or the rest of the file). A reader that jumps (a chain of blocks, a
// length prefix) seeks, which refills the window at the new position.
//
// A limit can be set below the file size (the end of a length-prefixed
// message); the window then behaves as if the file ended there. Nothing is
// ever read past the file size known at opening, and a read error ends the
// file: what was read so far stays usable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "import/LineQueue.h"

namespace quill {

class FileWindow {
public:
    static constexpr std::size_t RecordSize = 10000;
    static constexpr std::size_t WindowSize = 2 * RecordSize;

    FileWindow() = default;
    ~FileWindow() { close(); }
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // Opens the file and reads the first record (and the second when the
    // file is longer than one record). errorText says why it failed.
    bool open(const std::string& path, std::string& errorText);
    void close();

    uint64_t size() const { return size_; }
    uint64_t position() const { return pos_; }
    // The end of what may be read: the file size, or a lower limit.
    uint64_t end() const { return limit_ < size_ ? limit_ : size_; }
    void setLimit(uint64_t limit) { limit_ = limit; }
    void clearLimit() { limit_ = UINT64_MAX; }
    bool atEnd() { return pos_ >= end() || failed_; }
    bool failed() const { return failed_; }

    // The byte ahead bytes after the position (ahead < RecordSize), or -1 at
    // or past the end.
    int peek(std::size_t ahead = 0);
    // True when the bytes at the position are text.
    bool startsWith(std::string_view text);
    // Up to n (<= RecordSize) bytes from the position, fewer at the end.
    std::string_view look(std::size_t n);
    void advance(uint64_t n);
    // Moves to an absolute position (clamped to the end).
    void seek(uint64_t position);
    // A little-endian number at an absolute position; false when it does not
    // lie wholly before the end. The position is kept.
    bool readLong(uint64_t at, uint32_t& value);
    bool readShort(uint64_t at, uint16_t& value);

private:
    // n (< RecordSize) bytes at an absolute position, empty when they do not
    // lie wholly before the end; the position is kept.
    std::string_view bytesAt(uint64_t at, std::size_t n);
    void ensure(std::size_t ahead);
    void fill(uint64_t base);

    std::FILE* f_ = nullptr;
    std::vector<char> buf_;
    uint64_t size_ = 0;
    uint64_t base_ = 0;   // file position of buf_[0]
    std::size_t len_ = 0; // valid bytes in buf_
    uint64_t pos_ = 0;
    uint64_t limit_ = UINT64_MAX;
    bool failed_ = false;
};

// Which line ends a reader accepts.
enum class LineEnds : uint8_t {
    CrLf,    // only CR LF ends a line
    Lf,      // LF ends a line; a CR before it is dropped
};

// Finds the line end of a file from its start: LF alone or CR LF, whichever
// comes first (CR LF when the window holds no LF at all).
LineEnds detectLineEnds(FileWindow& w);

// One physical line, or the piece of it that fits a queue entry.
struct WindowLine {
    std::string text;     // without the line end, at most LineWidth bytes
    bool split = false;   // the line goes on in the next piece
    bool stopped = false; // ended at the stop byte, not at a line end
    uint64_t start = 0;   // file position of the first byte
};

// Reads the next line piece from the position: up to the line end (consumed),
// LineWidth bytes (split), the end of the file, or, when stopByte >= 0, the
// stop byte (not consumed; stopped set). False at the end.
bool readLine(FileWindow& w, LineEnds ends, WindowLine& line, int stopByte = -1);

// Appends a piece to the queue as its own entry.
void queueLine(LineQueue& queue, const WindowLine& line);

}  // namespace quill
