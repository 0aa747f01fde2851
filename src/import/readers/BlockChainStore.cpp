// Block-chain store ("Outlook Express 5 Mail", *.DBX). Numbers are
// little-endian LONGs.
//
//   file header, index tree, info objects ...
//   block:  +0 own offset | +4 block size (512) | +8 data length (<= 512) | +12 next block (0 = last)
//           +16 data: the message's bytes, in order along the chain
//
// The store is scanned for positions whose first LONG equals their own file
// offset. Such a block starts a message when its block size is 512, its data
// length at most 512, its next offset 0 or at least 528 past its own, and its
// data begins with "From -" or with a known header line. The chain is
// followed while each next block passes the same tests (block size aside);
// since every next block lies at least 528 bytes further on, a chain cannot
// loop. A message is at most two pieces of 32000 characters.
//
// Blocks reached through a chain are remembered, so that a later block of a
// message whose data happens to begin with a header line (a long header
// block) is not taken for a message of its own.
#include "import/Headers.h"
#include "import/Mime.h"
#include "import/readers/MailReaders.h"

namespace quill {

namespace {
constexpr uint32_t BlockSize = 512;
constexpr uint32_t BlockHead = 16;
constexpr std::size_t PieceSize = 32000;
constexpr std::size_t MessageMax = 2 * PieceSize;

struct BlockHeadValues {
    uint32_t self = 0, size = 0, length = 0, next = 0;
};

bool readHead(FileWindow& w, uint64_t offset, BlockHeadValues& b) {
    return w.readLong(offset, b.self) && w.readLong(offset + 4, b.size) && w.readLong(offset + 8, b.length) &&
           w.readLong(offset + 12, b.next);
}

// The tests every block of a chain passes (block size aside).
bool chainBlock(const BlockHeadValues& b, uint64_t offset, uint64_t fileSize) {
    return b.self == offset && b.length <= BlockSize && (b.next == 0 || uint64_t(b.next) >= offset + 528) &&
           offset + BlockHead + b.length <= fileSize;
}

std::string blockData(FileWindow& w, uint64_t offset, uint32_t length) {
    uint64_t keep = w.position();
    w.seek(offset + BlockHead);
    std::string d(w.look(length));
    w.seek(keep);
    return d;
}
}  // namespace

bool BlockChainStore::firstBlock(FileWindow& w, uint64_t offset) {
    BlockHeadValues b;
    if (!readHead(w, offset, b) || b.size != BlockSize || !chainBlock(b, offset, w.end())) return false;
    std::string d = blockData(w, offset, std::min<uint32_t>(b.length, 60));
    if (d.compare(0, 6, "From -") == 0) return true;
    std::size_t eol = d.find_first_of("\r\n");
    std::string_view first = std::string_view(d).substr(0, std::min<std::size_t>(eol, 50));
    return ClassifyHeaderLine(first) != HeaderNone;
}

std::string BlockChainStore::collectChain(FileWindow& w, uint64_t first, std::vector<uint64_t>* chained) {
    std::string text;
    if (!firstBlock(w, first)) return text;
    uint64_t offset = first;
    BlockHeadValues b;
    (void)readHead(w, offset, b);
    for (;;) {
        std::string d = blockData(w, offset, b.length);
        text.append(d, 0, std::min(d.size(), MessageMax - text.size()));
        if (b.next == 0 || text.size() >= MessageMax) break;
        offset = b.next;
        if (!readHead(w, offset, b) || !chainBlock(b, offset, w.end())) break;
        if (chained) chained->push_back(offset);
    }
    return text;
}

bool BlockChainStore::headerTest(const LineQueue& queue) {
    bool kinds[5] = {};
    for (std::size_t n = 1; n <= lineCount(queue); ++n) {
        std::string_view t = lineAt(queue, n).text();
        if (t.empty()) break;
        uint8_t k = ClassifyHeaderLine(t.substr(0, 50));
        if (k >= HeaderFrom && k <= HeaderSubject) kinds[k] = true;
    }
    return int(kinds[1]) + int(kinds[2]) + int(kinds[3]) + int(kinds[4]) > 2;
}

void BlockChainStore::stageMessage(ReaderContext& c, LineQueue& queue) {
    c.s.NewHR.clearBuffer();
    MailHeaderResult r = c.parseMailHeaders(queue, 1);
    if (!r.ok) {
        c.skip();
        return;
    }
    if (r.boundary.empty()) {
        stageParsedMail(c, queue, r.bodyStart, r.contentKind);
        return;
    }
    // Multipart: the body lines go through the line-by-line part choice,
    // then the part choice runs over what was kept.
    MimeLineFilter filter(r.boundary);
    LineQueue kept;
    for (std::size_t n = r.bodyStart; n <= lineCount(queue); ++n) {
        uint8_t a = ChooseMimePartByLine(filter, lineAt(queue, n).text());
        if (a == MimeEndMessage) break;
        if (a == MimeDropCollected) kept.clear();
        else if (a == MimeKeepLine) kept.push_back(lineAt(queue, n));
    }
    uint8_t html = ChooseMimePart(kept, 1, lineCount(kept), filter.boundary);
    stageParsedMail(c, kept, 1, html ? uint8_t(ContentHtml) : r.contentKind);
}

MailboxReader::Step BlockChainStore::next(ReaderContext& c) {
    const uint64_t from = scan_;
    const uint64_t end = w_.end();
    while (scan_ + BlockHead <= end) {
        if (scan_ - from > ScanSlice) {
            w_.seek(scan_);
            return Step::Scanned;
        }
        // Quick test on the window: the LONG at the position equals it.
        w_.seek(scan_);
        std::string_view v = w_.look(FileWindow::RecordSize - 1);
        std::size_t i = 0;
        bool candidate = false;
        for (; i + 4 <= v.size(); ++i) {
            uint64_t p = scan_ + i;
            uint32_t x = uint32_t(uint8_t(v[i])) | uint32_t(uint8_t(v[i + 1])) << 8 |
                         uint32_t(uint8_t(v[i + 2])) << 16 | uint32_t(uint8_t(v[i + 3])) << 24;
            if (x == p && !chained_.count(p)) {
                candidate = true;
                break;
            }
        }
        if (!candidate) {
            scan_ += i > 0 ? i : 1;
            continue;
        }
        scan_ += i;
        const uint64_t at = scan_;
        if (!firstBlock(w_, at)) {
            ++scan_;
            continue;
        }
        std::vector<uint64_t> chained;
        std::string text = collectChain(w_, at, &chained);
        for (uint64_t o : chained) chained_.insert(o);
        BlockHeadValues b;
        (void)readHead(w_, at, b);
        scan_ = at + BlockHead + std::max<uint32_t>(b.length, 1);
        w_.seek(scan_);
        addLines(queue_, text);
        if (!headerTest(queue_)) {
            c.skip();
            return Step::Message;
        }
        stageMessage(c, queue_);
        return Step::Message;
    }
    w_.seek(end);
    return Step::End;
}

}  // namespace quill
