// Fuzz target for the Internet header parsers, the MIME part choice and the
// message text builder: any bytes as a message must parse without a crash,
// leave the body start inside the queue (or just past it) and give a text of
// at most MessageTextMax characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "database/Records.h"
#include "import/Headers.h"
#include "import/Mime.h"

using namespace quill;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

constexpr std::string_view importTypes[] = {"Generic Mail Type 2", "Pegasus", "Outlook Express 5 Mail",
                                            "Agent News", "AOL", "CompuServe 2000", "VirtualAccess", ""};

void buildAll(const LineQueue& queue, std::size_t bodyStart, std::uint8_t kind, std::string_view type) {
    check(bodyStart >= 1 && bodyStart <= queue.size() + 1);
    std::string text = BuildMessageText(kind, queue, bodyStart, queue.size(), type);
    check(text.size() <= MessageTextMax);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t selector = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view type = importTypes[selector % 8];

    HeaderContext ctx;
    ctx.importType = std::string(type);
    ctx.ownerAddress = "owner@example.org";
    ctx.ownerName = "Owner";
    ctx.identifierCounter = (selector & 0x40) ? 0xFFFFFFF0u : 1;
    ctx.appendTempId = [](std::string_view id, std::uint32_t number) { check(id.size() <= 60 && number != 0); };
    ctx.targetHolds = [](std::string_view g) { return !g.empty() && g[0] == 'C'; };

    const LineQueue original = splitLines(input);

    {
        LineQueue q = original;
        NewHRRecord NHR{};
        MailHeaderResult r = ParseMailHeaders(q, 1, NHR, ctx);
        if (r.ok) buildAll(q, r.bodyStart, r.contentKind, type);
    }
    {
        LineQueue q = original;
        NewHRRecord NHR{};
        MailHeaderResult r = ParseSeparatedMailHeaders(q, 1, NHR, ctx);
        buildAll(q, r.bodyStart, r.contentKind, type);
    }
    {
        LineQueue q = original;
        NewHRRecord NHR{};
        KnownValues known;
        const bool withKnown = selector & 0x80;
        if (withKnown) {
            known.identifier = std::string(input.substr(0, 60));
            known.references = std::string(input.substr(0, 400));
            known.newsgroup = std::string(input.substr(0, 100));
            known.subject = std::string(input.substr(input.size() / 2, 100));
        }
        InternetHeaderResult r = ParseInternetHeaders(q, 1, NHR, ctx, withKnown ? &known : nullptr);
        check(r.messageKind >= 1 && r.messageKind <= 3);
        buildAll(q, r.bodyStart, r.contentKind, type);
    }
    {
        // A streaming reader's pre-filter, then the part choice over what
        // it kept.
        MimeLineFilter filter(FindBoundary(1, original.empty() ? std::string_view() : original[0].text()));
        LineQueue kept;
        for (std::size_t n = 1; n < original.size(); ++n) {
            std::uint8_t a = ChooseMimePartByLine(filter, original[n].text());
            check(a <= 3);
            if (a == MimeEndMessage) break;
            if (a == MimeDropCollected) kept.clear();
            else if (a == MimeKeepLine) kept.push_back(original[n]);
        }
        ChooseMimePart(kept, 1, kept.size(), filter.boundary);
        buildAll(kept, 1, ContentPlain, type);
    }
    {
        LineQueue q = original;
        DetectedContent d = DetectMessageContent(q, 1 + selector % 3, q.size());
        check(d.bodyStart >= 1);
        std::string text = BuildMessageText(d.html ? ContentHtml : ContentPlain, q, d.bodyStart, q.size());
        check(text.size() <= MessageTextMax);
    }
    {
        std::string t(input.substr(0, MessageTextMax));
        StripChar(selector & 1 ? 1 : 2, t);
        check(t.size() <= MessageTextMax);
    }
    // The single-line pieces, on the first line.
    const std::string_view first = original.empty() ? std::string_view() : original[0].text();
    ClassifyHeaderLine(first);
    IsInternetHeaderLine(first);
    ParseHeaderDate(first, DateReading::General);
    ParseHeaderDate(first, DateReading::Simple);
    StripReplyPrefix(first);
    lastReference(input.substr(0, 4000));
    ChooseNewsgroup(first, ctx.targetHolds);
    {
        NewHRRecord NHR{};
        SplitInternetAddress(1 + (selector & 1), first, NHR);
        SplitNewsAddress(1 + (selector & 1), 1 + selector % 3, first, NHR, ctx);
    }
    for (std::size_t i = 0; i < input.size() && i < 64; ++i) {
        auto ref = DecodeCharacterReference(input.substr(i));
        if (ref) check(ref->consumed >= 1 && ref->consumed <= 7);
    }
    check(ConvertEnrichedText(input).size() <= MessageTextMax);
    return 0;
}
