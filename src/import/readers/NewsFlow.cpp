// The article flow shared by the news readers, and the two news readers that
// reuse a mailbox reader: "Winvn" (a "From " mailbox) and "Outlook Express 5
// News" (the block-chain store).
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Types.h"
#include "import/Mime.h"
#include "import/StoreWriter.h"
#include "import/TargetList.h"
#include "import/readers/NewsReaders.h"

namespace quill {

namespace {
std::string_view trimBlanks(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
}
// The groups of the article's Newsgroups header line (with its continuation
// lines), in the order listed.
std::vector<std::string> listedGroups(const LineQueue& queue, std::size_t bodyStart) {
    std::vector<std::string> groups;
    std::string value;
    bool inValue = false;
    for (std::size_t n = 1; n < bodyStart && n <= lineCount(queue); ++n) {
        std::string_view t = lineAt(queue, n).text();
        if (inValue && !t.empty() && (t[0] == ' ' || t[0] == '\t')) {
            value += t;
            continue;
        }
        inValue = false;
        if (value.empty() && t.size() > 11 && upper1252(t.substr(0, 11)) == "NEWSGROUPS:") {
            value = std::string(t.substr(11));
            inValue = true;
        }
    }
    std::string_view v = value;
    while (!v.empty()) {
        std::size_t comma = v.find(',');
        std::string_view g = trimBlanks(v.substr(0, comma));
        if (!g.empty()) groups.emplace_back(g);
        if (comma == std::string_view::npos) break;
        v.remove_prefix(comma + 1);
    }
    return groups;
}

// Whether the newsgroup database of an entry holds the article id.
bool databaseHolds(Session& s, const TargetEntry& e, const ArticleId& id) {
    const std::string keepDir = s.Mem.Dirnamn;
    s.Mem.Dirnamn = directoryName(e.dirNumber);
    OP_CLOSE(s, OpOpenShared, {MsgStringFile::Number, MsgNmbrFile::Number});
    bool held = false;
    if (s.MsgString.isOpen() && s.MsgNmbr.isOpen()) {
        if (auto number = findArticleNumber(s, id)) {
            s.MsgNmbr.clearBuffer();
            s.MSG.MSGNUMBER = *number;
            held = bool(s.MsgNmbr.get(MsgNmbrFile::IDKEY));
        }
    }
    OP_CLOSE(s, OpClose, {MsgStringFile::Number, MsgNmbrFile::Number});
    s.Mem.Dirnamn = keepDir;
    return held;
}

// A cross-posted article may be chosen for another group in a later run
// than it was stored in (a group listed before the one it went to has got a
// database meanwhile). Of the listed groups with a database, the first that
// holds the article already is returned, so that the store finds it there
// and a re-import adds nothing. Empty when none holds it.
std::string groupHoldingArticle(ReaderContext& c, const std::vector<std::string>& groups,
                                const ArticleId& id) {
    Session& s = c.s;
    if (s.MsgString.isOpen() || s.MsgNmbr.isOpen()) return {};
    for (auto& g : groups) {
        const TargetEntry* e = c.targets.entry(g);
        if (!e || e->isNew || e->type != TypeNewsgroup) continue;
        if (databaseHolds(s, *e, id)) return g;
    }
    return {};
}
}  // namespace

void stageParsedArticle(ReaderContext& c, const LineQueue& queue, const InternetHeaderResult& r) {
    Session& s = c.s;
    auto& NHR = s.NHR;
    if (c.def.msgFilter == 2) {
        c.skip();
        return;
    }
    // A block that begins with its subject but names no group is a forum
    // message only in a Virtual Access spool (which stages those itself);
    // anywhere else it is read as mail.
    if (r.messageKind != MessageNews) {
        stageParsedMail(c, queue, r.bodyStart, r.contentKind);
        return;
    }
    std::string group(trimBlanks(NHR.FOR_DESCRIPTION.view()));
    // Without its own identifier an article can neither be told from one
    // stored before nor be answered: it is skipped.
    if (!c.def.newsgroupMsg || group.empty() || uint32_t(NHR.MSGNUMBER) == 0) {
        c.skip();
        return;
    }
    // A cross-posted article goes where it went before: to the group of its
    // copy read earlier in this run, else to a listed group whose database
    // holds it already.
    const std::vector<std::string> groups = listedGroups(queue, r.bodyStart);
    if (groups.size() > 1) {
        const std::optional<ArticleId> id = stagedArticleId(s, uint32_t(NHR.MSGNUMBER));
        if (id && !id->head.empty()) {
            // Copies are the same article only with the whole identifier equal.
            const std::string idString = id->head + digestString(id->digest);
            auto earlier = c.crossPosted.find(idString);
            if (earlier != c.crossPosted.end()) {
                group = earlier->second;
            } else {
                std::string holding = groupHoldingArticle(c, groups, *id);
                if (!holding.empty()) group = holding;
                c.crossPosted.emplace(idString, group);
            }
        }
    }
    ReaderContext::Target t = c.findTarget(group, TypeNewsgroup);
    if (t.id == 0 || !t.importAllowed) {
        c.skip();
        return;
    }
    NHR.INTERNAL = t.id;
    NHR.FOR_DESCRIPTION = group;
    // Empty lines at the end (before the next article's separator) are no
    // part of the text.
    std::size_t last = queue.size();
    while (last >= r.bodyStart && last > 0 && lineAt(queue, last).empty() &&
           !(last > 1 && lineAt(queue, last - 1).SPLITLINE))
        --last;
    s.NewHR.memo = r.bodyStart <= last ? BuildMessageText(r.contentKind, queue, r.bodyStart, last, c.def.typeName)
                                       : std::string();
    (void)c.stage();
}

std::optional<uint32_t> linesHeaderValue(std::string_view line) {
    if (line.size() < 6 || upper1252(line.substr(0, 6)) != "LINES:") return std::nullopt;
    std::string_view v = line.substr(6);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    uint32_t n = 0;
    std::size_t k = 0;
    for (; k < v.size() && k < 9 && v[k] >= '0' && v[k] <= '9'; ++k) n = n * 10 + uint32_t(v[k] - '0');
    if (k == 0) return std::nullopt;
    return n;
}

void WinvnMailbox::stageMessage(ReaderContext& c, LineQueue& queue, std::size_t firstLine) {
    c.s.NewHR.clearBuffer();
    InternetHeaderResult r = c.parseInternetHeaders(queue, firstLine);
    stageParsedArticle(c, queue, r);
}

bool NewsBlockChainStore::headerTest(const LineQueue& queue) {
    // At least three of From, Date, Subject, Newsgroups and Message-ID in
    // the header block.
    bool kinds[7] = {};
    for (std::size_t n = 1; n <= lineCount(queue); ++n) {
        std::string_view t = lineAt(queue, n).text();
        if (t.empty()) break;
        uint8_t k = ClassifyHeaderLine(t.substr(0, 50));
        if (k >= HeaderFrom && k <= HeaderMessageId && k != HeaderTo) kinds[k] = true;
    }
    int count = 0;
    for (bool b : kinds) count += b;
    return count > 2;
}

void NewsBlockChainStore::stageMessage(ReaderContext& c, LineQueue& queue) {
    c.s.NewHR.clearBuffer();
    InternetHeaderResult r = c.parseInternetHeaders(queue, 1);
    stageParsedArticle(c, queue, r);
}

}  // namespace quill
