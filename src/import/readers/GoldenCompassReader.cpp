#include "import/readers/GoldenCompassReader.h"

namespace quill {

std::vector<std::string> goldenCompassTextLines(std::string_view line) {
    std::vector<std::string> out;
    for (;;) {
        std::size_t lf = line.find('\n');
        std::string_view piece = line.substr(0, lf);
        if (piece.substr(0, 2) == "@l") piece.remove_prefix(2);
        if (piece.size() >= 2 && (piece.substr(piece.size() - 2) == "@b" || piece.substr(piece.size() - 2) == "@l"))
            piece.remove_suffix(2);
        out.emplace_back(piece);
        if (lf == std::string_view::npos) break;
        line.remove_prefix(lf + 1);
        // A final LF (with its markers) ends the line without starting
        // another.
        if (line.empty() || line == "@l") break;
    }
    return out;
}

bool GoldenCompassReader::nextLine(std::string& line) {
    line.clear();
    bool any = false, cr = false;
    char ch = 0;
    while (nextByte(ch)) {
        any = true;
        if (cr && ch == '\n') {
            line.pop_back();
            return true;
        }
        cr = ch == '\r';
        if (line.size() < LineKeep) line.push_back(ch);
        else if (cr) line.back() = ch;  // keep a CR that may end the line
    }
    return any;
}

std::uint8_t GoldenCompassReader::detect(ReaderContext& c) {
    return importsIntoMailbox(c) ? CaptureMail : CaptureForum;
}

void GoldenCompassReader::addToList(std::string_view line) { addLine(list_, line); }

std::int32_t GoldenCompassReader::batchLimit(const ReaderContext& c) const {
    if (format_ == CaptureMail) return MailBatch;
    return CaptureReader::batchLimit(c);
}

LineQueue& GoldenCompassReader::bodyLines(std::size_t& first, std::size_t& last) {
    body_.clear();
    std::string physical;
    for (std::size_t n = first; n <= last && n <= lineCount(list_); ++n) {
        const LineEntry& e = lineAt(list_, n);
        physical.append(e.text());
        if (e.SPLITLINE && n < last) continue;
        for (auto& piece : goldenCompassTextLines(physical)) addLine(body_, piece);
        physical.clear();
    }
    first = 1;
    last = lineCount(body_);
    return body_;
}

}  // namespace quill
