#include "import/readers/FileWindow.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace quill {

bool FileWindow::open(const std::string& path, std::string& errorText) {
    close();
    f_ = std::fopen(path.c_str(), "rb");
    if (!f_) {
        errorText = std::strerror(errno ? errno : ENOENT);
        return false;
    }
    struct stat st {};
    if (fstat(fileno(f_), &st) != 0 || !S_ISREG(st.st_mode)) {
        errorText = "not a regular file";
        close();
        return false;
    }
    size_ = uint64_t(st.st_size);
    buf_.assign(WindowSize, 0);
    limit_ = UINT64_MAX;
    failed_ = false;
    pos_ = 0;
    fill(0);
    return !failed_ || size_ == 0;
}

void FileWindow::close() {
    if (f_) std::fclose(f_);
    f_ = nullptr;
    size_ = base_ = pos_ = 0;
    len_ = 0;
    failed_ = false;
}

void FileWindow::fill(uint64_t base) {
    base_ = base;
    len_ = 0;
    if (!f_ || base >= size_) return;
    if (fseeko(f_, off_t(base), SEEK_SET) != 0) {
        failed_ = true;
        return;
    }
    std::size_t want = std::size_t(std::min<uint64_t>(WindowSize, size_ - base));
    len_ = std::fread(buf_.data(), 1, want, f_);
    // A short read means a read error or a file that shrank: the file ends
    // with what was read.
    if (len_ < want) failed_ = true;
}

void FileWindow::ensure(std::size_t ahead) {
    if (failed_ || !f_) return;
    if (pos_ < base_ || pos_ > base_ + len_ + RecordSize) {
        fill(pos_);
        return;
    }
    // Slide by one record while the position is past the middle.
    while (pos_ - base_ >= RecordSize && base_ + len_ < size_ && len_ >= RecordSize) {
        std::memmove(buf_.data(), buf_.data() + RecordSize, len_ - RecordSize);
        base_ += RecordSize;
        len_ -= RecordSize;
        std::size_t want = std::size_t(std::min<uint64_t>(RecordSize, size_ - (base_ + len_)));
        if (fseeko(f_, off_t(base_ + len_), SEEK_SET) != 0) {
            failed_ = true;
            return;
        }
        std::size_t got = std::fread(buf_.data() + len_, 1, want, f_);
        len_ += got;
        if (got < want) {
            failed_ = true;
            return;
        }
    }
    if (pos_ - base_ + ahead >= len_ && base_ + len_ < size_) fill(pos_);
}

int FileWindow::peek(std::size_t ahead) {
    if (pos_ + ahead >= end() || ahead >= RecordSize) return -1;
    ensure(ahead);
    if (pos_ < base_) return -1;
    uint64_t idx = pos_ - base_ + ahead;
    if (idx >= len_) return -1;
    return static_cast<unsigned char>(buf_[std::size_t(idx)]);
}

std::string_view FileWindow::look(std::size_t n) {
    if (pos_ >= end()) return {};
    if (n > RecordSize) n = RecordSize;
    n = std::size_t(std::min<uint64_t>(n, end() - pos_));
    ensure(n);
    if (pos_ < base_ || pos_ - base_ >= len_) return {};
    std::size_t at = std::size_t(pos_ - base_);
    return std::string_view(buf_.data() + at, std::min(n, len_ - at));
}

bool FileWindow::startsWith(std::string_view text) {
    std::string_view v = look(text.size());
    return v.size() == text.size() && v == text;
}

void FileWindow::advance(uint64_t n) {
    uint64_t e = end();
    pos_ = n > e - std::min(pos_, e) ? e : pos_ + n;
}

void FileWindow::seek(uint64_t position) { pos_ = position < end() ? position : end(); }

std::string_view FileWindow::bytesAt(uint64_t at, std::size_t n) {
    if (at >= end() || end() - at < n) return {};
    uint64_t keep = pos_;
    pos_ = at;
    std::string_view v = look(n);
    pos_ = keep;
    return v.size() == n ? v : std::string_view();
}

bool FileWindow::readLong(uint64_t at, uint32_t& value) {
    std::string_view v = bytesAt(at, 4);
    if (v.empty()) return false;
    value = uint32_t(uint8_t(v[0])) | uint32_t(uint8_t(v[1])) << 8 | uint32_t(uint8_t(v[2])) << 16 |
            uint32_t(uint8_t(v[3])) << 24;
    return true;
}

bool FileWindow::readShort(uint64_t at, uint16_t& value) {
    std::string_view v = bytesAt(at, 2);
    if (v.empty()) return false;
    value = uint16_t(uint8_t(v[0]) | uint8_t(v[1]) << 8);
    return true;
}

LineEnds detectLineEnds(FileWindow& w) {
    uint64_t keep = w.position();
    w.seek(0);
    std::string_view v = w.look(FileWindow::RecordSize - 1);
    std::size_t lf = v.find('\n');
    LineEnds e = (lf != std::string_view::npos && !(lf > 0 && v[lf - 1] == '\r')) ? LineEnds::Lf : LineEnds::CrLf;
    w.seek(keep);
    return e;
}

bool readLine(FileWindow& w, LineEnds ends, WindowLine& line, int stopByte) {
    line.text.clear();
    line.split = false;
    line.stopped = false;
    line.start = w.position();
    std::string_view v = w.look(LineWidth + 2);
    if (v.empty()) return false;
    std::size_t i = 0;
    if (stopByte < 0) {
        // Without a stop byte only a line feed can end the line before its
        // full width: the library's byte search finds it.
        std::size_t limit = std::min(v.size(), std::size_t(LineWidth) + 1);
        for (std::size_t from = 0; from < limit;) {
            const void* hit = std::memchr(v.data() + from, '\n', limit - from);
            if (!hit) break;
            std::size_t at = std::size_t(static_cast<const char*>(hit) - v.data());
            if (ends == LineEnds::Lf || (at > 0 && v[at - 1] == '\r')) {
                line.text.assign(v.data(), at > 0 && v[at - 1] == '\r' ? at - 1 : at);
                w.advance(at + 1);
                return true;
            }
            from = at + 1;
        }
        // No line end up to the full width: the loop below takes the split
        // at the full width or the end of the file.
        i = v.size() > std::size_t(LineWidth) ? std::size_t(LineWidth) : v.size();
    }
    for (; i < v.size(); ++i) {
        const char c = v[i];
        if (stopByte >= 0 && static_cast<unsigned char>(c) == stopByte) {
            line.stopped = true;
            break;
        }
        if (c == '\n') {
            if (ends == LineEnds::Lf || (i > 0 && v[i - 1] == '\r')) {
                std::size_t n = (i > 0 && v[i - 1] == '\r') ? i - 1 : i;
                line.text.assign(v.data(), n);
                w.advance(i + 1);
                return true;
            }
        }
        if (i == LineWidth) {
            // A line end right after a full entry ends the line there.
            if (c == '\r' && i + 1 < v.size() && v[i + 1] == '\n') {
                line.text.assign(v.data(), i);
                w.advance(i + 2);
                return true;
            }
            line.text.assign(v.data(), i);
            line.split = true;
            w.advance(i);
            return true;
        }
    }
    std::size_t n = i;
    if (line.stopped && n > 0 && v[n - 1] == '\r') line.text.assign(v.data(), n - 1);
    else line.text.assign(v.data(), n);
    w.advance(i);
    return true;
}

void queueLine(LineQueue& queue, const WindowLine& line) {
    LineEntry e;
    e.setText(line.text);
    e.SPLITLINE = line.split ? 1 : 0;
    queue.push_back(std::move(e));
}

}  // namespace quill
