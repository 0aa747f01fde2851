// News through whole import runs: the newsgroup choice for cross-posted
// articles, new, redirected and closed newsgroup databases, threads across
// runs, re-import, and the 2,000 real articles of ../shared/corpus/ (skipped
// when absent).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "database/Catalogue.h"
#include "import/ImportTestKit.h"
#include "people/Databases.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

// Stored fields are blank-padded: trailing blanks never count.
std::string trimRight(std::string t) {
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

// Staging turns control characters of names, addresses and subjects into
// blanks; the header lines are compared in that form.
std::string blankControls(std::string t) {
    for (char& ch : t)
        if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
    return t;
}


namespace fs = std::filesystem;

std::string article(const std::string& id, const std::string& groups, const std::string& subject,
                    const std::string& references = "") {
    std::string a = "From: Ann Author <ann@example.com>\r\nNewsgroups: " + groups + "\r\nSubject: " + subject +
                    "\r\nDate: Tue, 06 Jan 1998 10:00:00 GMT\r\nMessage-ID: " + id + "\r\n";
    if (!references.empty()) a += "References: " + references + "\r\n";
    return a + "\r\nText of " + id + ".\r\n";
}

struct NewsRun : ::testing::Test {
    Installation inst;
    Session& s = inst.s();
    TempDir files;

    RunOutcome import(const std::string& name, const std::string& bytes, bool reimport = false,
                      const std::string& type = "Gravity", uint32_t mailbox = 0) {
        writeFile(files / name, bytes);
        ImportDefinition d;
        d.typeName = type;
        d.fileType = importTypeByName(type)->number;
        d.mailbox = mailbox;
        d.selMethod = SelectFiles;
        d.impPath = files.path();
        d.masks = name;
        d.allowReimp = reimport ? 1 : 0;
        RunOptions o;
        o.registry = &ReaderRegistry::builtin();
        return runImport(s, d, o);
    }
    std::map<std::string, uint32_t> counts() {
        std::map<std::string, uint32_t> m;
        for (auto& e : listCatalogue(s)) m[e.description] = e.msgCount;
        return m;
    }
    // A catalogue entry written directly (a newsgroup with a redirection or
    // closed to imports); its directory is made when it is first selected.
    uint32_t addGroup(const std::string& name, uint32_t dir, uint32_t redirect = 0, bool noImport = false) {
        OP_CLOSE(s, OpOpenShared, {2, 8});
        s.Forums.clearBuffer();
        uint32_t id = NextNr(s);
        s.FOR.ID = id;
        s.FOR.DESCRIPTION = name;
        s.FOR.TYPE = TypeNewsgroup;
        s.FOR.DIRNUMBER = dir;
        s.FOR.REDIRNOW = redirect;
        s.FOR.NOIMPORT = noImport ? 1 : 0;
        EXPECT_TRUE(s.Forums.add());
        OP_CLOSE(s, OpClose, {2, 8});
        return id;
    }
};

TEST_F(NewsRun, CrossPostedArticleGoesToTheFirstListedGroupThatHasADatabase) {
    ASSERT_TRUE(import("one.txt", article("<b1@x>", "b.second", "Only b")).ok);
    RunOutcome r = import("two.txt", article("<c1@x>", "a.first,b.second,c.third", "Cross"));
    ASSERT_TRUE(r.ok) << r.failure;
    EXPECT_EQ(counts(), (std::map<std::string, uint32_t>{{"b.second", 2}}));
    // No group has a database: the first one listed gets a new one.
    ASSERT_TRUE(import("three.txt", article("<d1@x>", "d.fourth, e.fifth", "New group")).ok);
    EXPECT_EQ(counts(), (std::map<std::string, uint32_t>{{"b.second", 2}, {"d.fourth", 1}}));
    EXPECT_TRUE(archiveProblems(s).empty());
}

TEST_F(NewsRun, RedirectedGroupFilesIntoItsTargetAndAClosedGroupIsSkipped) {
    uint32_t target = addGroup("r.new", 5);
    addGroup("r.old", 6, target);
    addGroup("closed.group", 7, 0, true);
    RunOutcome r = import("a.txt", article("<r1@x>", "r.old", "Moved") + article("<k1@x>", "closed.group", "Closed"));
    ASSERT_TRUE(r.ok) << r.failure;
    EXPECT_EQ(r.display.imported, 1u);
    EXPECT_EQ(r.display.skipped, 1u);
    auto c = counts();
    EXPECT_EQ(c["r.new"], 1u);
    EXPECT_EQ(c["r.old"], 0u);
    EXPECT_EQ(c["closed.group"], 0u);
}

TEST_F(NewsRun, ReplyStoredBeforeItsArticleIsLinkedWhenTheArticleArrivesLater) {
    const std::string reply = article("<reply@x>", "t.threads", "Re: Start", "<other@x> <start@x>");
    const std::string start = article("<start@x>", "t.threads", "Start");
    ASSERT_TRUE(import("reply.txt", reply).ok);
    RunOutcome r = import("start.txt", start);
    ASSERT_TRUE(r.ok) << r.failure;
    EXPECT_EQ(r.display.imported, 1u);
    std::string dump = archiveDump(s);
    EXPECT_NE(dump.find("msg <reply@x> ref=<start@x>"), std::string::npos) << dump;
    EXPECT_NE(dump.find("msg <start@x> ref=0"), std::string::npos) << dump;
    EXPECT_TRUE(archiveProblems(s).empty());
    // The same spool again adds nothing; with re-import allowed the articles
    // are taken again without a second copy.
    RunOutcome again = import("both.txt", reply + start);
    EXPECT_EQ(again.display.imported, 0u);
    RunOutcome allowed = import("both.txt", reply + start, true);
    EXPECT_TRUE(allowed.ok);
    EXPECT_EQ(allowed.display.imported, 2u);
    EXPECT_EQ(counts()["t.threads"], 2u);
    // The reply's receiver was "Unknown" and is now the answered author: the
    // person counts follow the change.
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
}

TEST_F(NewsRun, ArticlesWhoseIdentifiersDifferOnlyAfter60CharactersOrInLetterCaseAreBothKept) {
    const std::string stem = "<" + std::string(70, 'a');
    const std::string longOne = article(stem + "one@x>", "l.long", "Long id one");
    const std::string longTwo = article(stem + "two@x>", "l.long", "Long id two");
    const std::string lower = article("<case@x>", "l.long", "Lower case id");
    const std::string upper = article("<CASE@x>", "l.long", "Upper case id");
    ASSERT_TRUE(import("a.txt", longOne + lower).ok);
    RunOutcome r = import("b.txt", longTwo + upper);
    ASSERT_TRUE(r.ok) << r.failure;
    EXPECT_EQ(r.display.imported, 2u);
    // Two of one run are told apart as well.
    RunOutcome same = import("c.txt", article(stem + "three@x>", "l.long", "Long id three") +
                                          article(stem + "four@x>", "l.long", "Long id four"));
    EXPECT_EQ(same.display.imported, 2u);
    EXPECT_EQ(counts()["l.long"], 6u);
    const std::string dump = archiveDump(s);
    for (const std::string& id : {stem + "one@x>", stem + "two@x>", std::string("<case@x>"), std::string("<CASE@x>")})
        EXPECT_NE(dump.find("Text of " + id), std::string::npos) << id << "\n" << dump;
    // Each article again adds nothing and, with re-import, overwrites only itself.
    for (bool reimport : {false, true}) {
        RunOutcome again = import("d.txt", longOne + longTwo + lower + upper, reimport);
        EXPECT_TRUE(again.ok) << again.failure;
        EXPECT_EQ(counts()["l.long"], 6u);
        EXPECT_EQ(archiveDump(s), dump) << "re-import " << reimport;
    }
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
}

TEST_F(NewsRun, VirtualAccessFiledForumMessagesMailAndNewsAreNotImportedTwice) {
    DbResult mb = addMailDatabase(s, "Owner", "owner@example.com", {});
    ASSERT_TRUE(mb.ok());
    const std::string spool = readFile(QUILL_SOURCE_DIR "/tests/data/news/virtualaccess-forum-news-mail.txt");
    RunOutcome r = import("va.txt", spool, false, "VirtualAccess", mb.id);
    ASSERT_TRUE(r.ok) << r.failure;
    EXPECT_EQ(r.display.imported, 5u);
    EXPECT_EQ(counts(), (std::map<std::string, uint32_t>{{"CIX.QUILL", 3}, {"Owner", 1}, {"alt.test", 1}}));
    std::string dump = archiveDump(s);
    EXPECT_NE(dump.find("forum CIX.QUILL section 12 general count=2"), std::string::npos) << dump;
    EXPECT_TRUE(archiveProblems(s).empty()) << ::testing::PrintToString(archiveProblems(s));
    RunOutcome again = import("va.txt", spool, false, "VirtualAccess", mb.id);
    EXPECT_EQ(again.display.imported, 0u);
    EXPECT_EQ(archiveDump(s), dump);
}

TEST_F(NewsRun, ReferencesLongerThan400CharactersTakeTheLastIdentifier) {
    std::string refs;
    for (int i = 0; refs.size() < 900; ++i) refs += "<early" + std::to_string(i) + "@host.example> ";
    refs += "\r\n <last@x>";
    ASSERT_TRUE(import("a.txt", article("<last@x>", "t.long", "Start") + article("<r@x>", "t.long", "Re: Start", refs)).ok);
    std::string dump = archiveDump(s);
    EXPECT_NE(dump.find("msg <r@x> ref=<last@x>"), std::string::npos) << dump;
}

// ---------------------------------------------------------------------------
// The real articles

const std::string Spool = QUILL_SOURCE_DIR "/../shared/corpus/news/mini_newsgroups-spool";

struct SpoolArticle {
    std::string file, messageId, subject, from, date, lastRef;
    std::vector<std::string> groups;
};

// The header lines of a spool file, as they stand (first occurrence).
SpoolArticle readHeaders(const fs::path& p) {
    SpoolArticle a;
    a.file = p.string();
    std::ifstream in(p, std::ios::binary);
    std::string line, refs;
    std::map<std::string, std::string*> want = {{"Message-ID: ", &a.messageId},
                                                {"Subject: ", &a.subject},
                                                {"From: ", &a.from},
                                                {"Date: ", &a.date},
                                                {"References: ", &refs}};
    std::string newsgroups;
    std::string* last = nullptr;  // the value that a continuation line goes on
    while (std::getline(in, line) && !line.empty()) {
        if ((line[0] == ' ' || line[0] == '\t') && last) {
            *last += " " + line.substr(1);
            continue;
        }
        last = nullptr;
        for (auto& [name, slot] : want)
            if (slot->empty() && line.compare(0, name.size(), name) == 0) *slot = line.substr(name.size()), last = slot;
        if (newsgroups.empty() && line.compare(0, 12, "Newsgroups: ") == 0) newsgroups = line.substr(12);
    }
    std::size_t p0 = 0;
    while (p0 <= newsgroups.size()) {
        std::size_t comma = newsgroups.find(',', p0);
        std::string g = newsgroups.substr(p0, comma == std::string::npos ? std::string::npos : comma - p0);
        g.erase(0, g.find_first_not_of(' '));
        if (!g.empty()) a.groups.push_back(g);
        if (comma == std::string::npos) break;
        p0 = comma + 1;
    }
    a.lastRef = lastReference(refs);
    return a;
}

struct StoredArticle {
    std::string db, threadHeading, senderAddress;
    int32_t date = 0;
    uint32_t number = 0, ref = 0;
    std::string refId;
};

std::map<std::string, std::vector<StoredArticle>> storedArticles(Session& s) {
    std::map<std::string, std::vector<StoredArticle>> byId;
    for (auto& e : listCatalogue(s)) {
        kit::OpenDb open(s, e);
        std::map<uint32_t, std::string> idString, heading;
        s.MsgString.setPhysical();
        while (s.MsgString.next()) idString[s.MST.MSGNUMBER] = s.MST.IDSTRING.str();
        s.Threads.setPhysical();
        while (s.Threads.next()) heading[s.THR.THREADNUMBER] = s.THR.HEADING.str();
        std::vector<std::pair<StoredArticle, uint32_t>> rows;
        s.MsgNmbr.setPhysical();
        while (s.MsgNmbr.next()) {
            StoredArticle a;
            a.db = e.description;
            a.number = s.MSG.MSGNUMBER;
            a.ref = s.MSG.REFNUMBER;
            a.date = s.MSG.DATE;
            a.threadHeading = heading[s.MSG.THREADNUMBER];
            a.refId = a.ref ? idString[a.ref] : "";
            rows.push_back({a, s.MSG.FROMID});
        }
        for (auto& [a, from] : rows) {
            s.Person.clearBuffer();
            s.PER.PERSONID = from;
            if (s.Person.get(PersonFile::PERSONKEY)) a.senderAddress = s.PER.ADDRESS.str();
            byId[idString[a.number]].push_back(a);
        }
    }
    return byId;
}

TEST(CorpusNews, TwoThousandRealArticlesAreFiledThreadedAndNotImportedTwice) {
    if (!fs::exists(Spool)) GTEST_SKIP() << "corpus not present";
    std::vector<SpoolArticle> articles;
    for (auto& e : fs::recursive_directory_iterator(Spool))
        if (e.is_regular_file()) articles.push_back(readHeaders(e.path()));
    ASSERT_EQ(articles.size(), 2000u);

    Installation inst;
    Session& s = inst.s();
    ImportDefinition d;
    d.typeName = "Gravity";
    d.fileType = 29;
    d.selMethod = SelectTree;
    d.impPath = Spool;
    d.masks = "*";
    RunOptions o;
    o.registry = &ReaderRegistry::builtin();
    RunOutcome r = runImport(s, d, o);
    ASSERT_TRUE(r.ok) << r.failure;
    // Four files quote a complete article (all five headers) after their
    // own, which the spool rules take for an article of its own.
    // Eight of them are copies (an article kept in two group folders, or
    // quoted in full by another), stored once.
    EXPECT_EQ(r.display.staged, 2004u);
    EXPECT_EQ(r.display.imported, 1996u);
    EXPECT_TRUE(archiveProblems(s).empty());

    auto stored = storedArticles(s);
    std::set<std::string> ids;
    int replies = 0, linked = 0;
    for (auto& a : articles) {
        ids.insert(a.messageId);
        auto it = stored.find(a.messageId);
        ASSERT_NE(it, stored.end()) << a.file;
        ASSERT_EQ(it->second.size(), 1u) << a.file << " stored more than once";
        const StoredArticle& m = it->second.front();
        EXPECT_NE(std::find(a.groups.begin(), a.groups.end(), m.db), a.groups.end()) << a.file << " in " << m.db;
        EXPECT_EQ(m.date, ParseHeaderDate(a.date, DateReading::General).date) << a.file;
        SplitAddress from = splitInternetAddressText(a.from);
        EXPECT_EQ(upper1252(m.senderAddress), upper1252(trimRight(blankControls(from.address).substr(0, 60)))) << a.file;
        // An article that answers none heads its own thread under its subject.
        if (m.ref == 0) {
            std::string subject = blankControls(a.subject);
            subject.erase(0, subject.find_first_not_of(' ') == std::string::npos ? subject.size()
                                                                                  : subject.find_first_not_of(' '));
            EXPECT_EQ(m.threadHeading, StripReplyPrefix(subject).substr(0, m.threadHeading.size())) << a.file;
        }
    }
    for (auto& a : articles) {
        if (a.lastRef.empty() || !ids.count(a.lastRef)) continue;
        const StoredArticle& m = stored[a.messageId].front();
        if (stored[a.lastRef].front().db != m.db) continue;
        ++replies;
        if (m.refId == a.lastRef) ++linked;
        else ADD_FAILURE() << a.file << " ref " << m.ref << " " << m.refId << " want " << a.lastRef;
    }
    EXPECT_GT(replies, 0);
    EXPECT_EQ(linked, replies);

    RunOutcome again = runImport(s, d, o);
    ASSERT_TRUE(again.ok) << again.failure;
    EXPECT_EQ(again.display.imported, 0u);
}

}  // namespace
}  // namespace quill::test
