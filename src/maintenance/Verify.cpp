#include "maintenance/Verify.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/FileMask.h"

namespace quill {

namespace {

bool exists(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
}

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) out.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool isRecordFileName(const std::string& n) {
    if (n.size() != 10 || n.compare(0, 3, "IDX") != 0) return false;
    std::string ext = n.substr(6);
    return ext == ".TPS" || ext == ".DAT";
}

class Checker {
public:
    Checker(Session& s, bool repair) : s_(s), repair_(repair) {}

    void run(const std::vector<uint32_t>& wanted) {
        // A read that meets a damaged or locked file becomes a fault of that
        // file here, instead of ending the program.
        auto saved = s_.store.onReadFault;
        s_.store.onReadFault = [](const std::string& name, int, const std::string& text) {
            throw ReadFault{name, text};
        };
        std::string cfg = joinPath(s_.Mem.Net, "CFG");
        checkDirectoryFiles(cfg);
        std::vector<ForumsRecord> entries;
        guarded([&] { entries = catalogue(); });
        for (auto& e : entries) {
            noteId(uint32_t(e.ID), "catalogue entry", joinPath(cfg, "IDX002.TPS"));
            if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), uint32_t(e.ID)) == wanted.end()) continue;
            std::string dirnamn = s_.Mem.Dirnamn;
            guarded([&] { checkDatabase(e); });
            s_.Mem.Dirnamn = dirnamn;
        }
        guarded([&] { collectConfigIds(cfg); });
        guarded([&] { checkGenerator(cfg); });
        s_.store.onReadFault = saved;
    }

    VerifyResult result;

private:
    struct ReadFault {
        std::string file, text;
    };
    template <class F>
    void guarded(F f) {
        try {
            f();
        } catch (const ReadFault& r) {
            if (s_.store.inTransaction()) (void)s_.store.rollback();
            fault(r.file, r.text);
        }
    }
    void fault(const std::string& file, const std::string& text) { result.faults.push_back({file, text}); }
    void repaired(const std::string& file, const std::string& text) { result.repairs.push_back({file, text}); }

    // Integrity of every record file of a directory, and journals that no
    // running program is writing.
    void checkDirectoryFiles(const std::string& dir) {
        for (auto& n : filesIn(dir)) {
            std::string path = joinPath(dir, n);
            if (n.size() > 8 && n.compare(n.size() - 8, 8, "-journal") == 0) {
                std::string base = path.substr(0, path.size() - 8);
                struct stat st {};
                if (::stat(path.c_str(), &st) == 0 && st.st_size > 0 && !fileOpenByAnyone(base)) {
                    if (repair_) {
                        // Opening the file for writing rolls the journal back.
                        (void)integrityCheck(base, true);
                        if (!exists(path) || !fileOpenByAnyone(base)) repaired(base, "stale journal rolled back");
                    } else {
                        fault(base, "stale journal " + n + " (a program died while writing)");
                    }
                }
                continue;
            }
            if (!isRecordFileName(n)) continue;
            for (auto& p : integrityCheck(path, repair_)) fault(path, p);
        }
    }

    std::vector<ForumsRecord> catalogue() {
        std::vector<ForumsRecord> out;
        RecordFile& f = s_.Forums;
        if (!openExisting(f, 2)) return out;
        f.setPhysical();
        while (f.next()) out.push_back(s_.FOR);
        (void)f.close();
        return out;
    }

    // Opens a file of the current naming (database files: Mem.Dirnamn) when
    // it exists; a missing file is never created here.
    bool openExisting(RecordFile& f, int number) {
        OP_CLOSE(s_, OpForceClose, {number});
        std::string name = buildName(s_, number);
        if (!exists(name)) return false;
        Status st = f.open(OpenMode::Shared);
        if (!st) {
            fault(name, "cannot be opened: " + s_.store.errorText());
            return false;
        }
        return true;
    }

    void noteId(uint32_t id, const std::string& what, const std::string& file) {
        if (id == 0) return;
        highest_ = std::max(highest_, id);
        auto [it, fresh] = owners_.emplace(id, what);
        if (!fresh && it->second != what)
            fault(file, "identifier " + std::to_string(id) + " is used by a " + what + " and by a " + it->second);
        else if (!fresh)
            fault(file, "identifier " + std::to_string(id) + " is used by two " + what + "s");
    }

    void checkDatabase(const ForumsRecord& e) {
        const std::string dirName = directoryName(e.DIRNUMBER);
        const std::string dir = joinPath(s_.Mem.FileDir, dirName);
        const std::string label = "database " + std::to_string(uint32_t(e.ID)) + " (" + e.DESCRIPTION.str() + ")";
        if (e.NODIR) return;
        struct stat st {};
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            fault(dir, label + ": its directory is missing");
            return;
        }
        std::string saved = s_.Mem.Dirnamn;
        s_.Mem.Dirnamn = dirName;
        checkDirectoryFiles(dir);
        checkForumRef(e, label);
        if (e.TYPE == TypeMail) checkMail(e, label);
        else checkMessages(e, label);
        s_.Mem.Dirnamn = saved;
    }

    void checkForumRef(const ForumsRecord& e, const std::string& label) {
        std::string name = buildName(s_, 22);
        bool good = false;
        if (openExisting(s_.ForumRef, 22)) {
            s_.ForumRef.setPhysical();
            int n = 0;
            while (s_.ForumRef.next()) {
                ++n;
                good = s_.REF.TYPE == e.TYPE && s_.REF.DESCRIPTION.str() == e.DESCRIPTION.str();
            }
            if (n > 1) good = false;
            (void)s_.ForumRef.close();
        }
        if (good) return;
        if (repair_) {
            s_.FOR = e;
            if (UpdREF(s_, UpdReport)) {
                repaired(name, label + ": ForumRef copy rewritten");
                return;
            }
        }
        fault(name, label + ": its ForumRef copy is missing or differs from the catalogue entry");
    }

    // The ids of the texts of a database.
    std::set<uint32_t> textIds() {
        std::set<uint32_t> ids;
        if (openExisting(s_.MsgText, 4)) {
            s_.MsgText.setPhysical();
            while (s_.MsgText.next()) ids.insert(uint32_t(s_.TXT.MSGNUMBER));
            (void)s_.MsgText.close();
        }
        return ids;
    }

    void compareHeadersAndTexts(const std::set<uint32_t>& headers, const std::set<uint32_t>& texts,
                                const std::string& headerFile, const std::string& label) {
        std::string textFile = buildName(s_, 4);
        int shown = 0;
        for (uint32_t id : headers)
            if (!texts.count(id) && shown++ < 20) fault(textFile, label + ": message " + std::to_string(id) + " has no text");
        shown = 0;
        for (uint32_t id : texts)
            if (!headers.count(id) && shown++ < 20)
                fault(headerFile, label + ": text " + std::to_string(id) + " has no message header");
    }

    void checkMessageCount(const ForumsRecord& e, uint32_t count, const std::string& label) {
        if (uint32_t(e.MSGCOUNT) == count) return;
        std::string file = joinPath(joinPath(s_.Mem.Net, "CFG"), "IDX002.TPS");
        if (repair_ && rewriteEntryCount(uint32_t(e.ID), count)) {
            repaired(file, label + ": message count set to " + std::to_string(count));
            return;
        }
        fault(file, label + ": message count " + std::to_string(uint32_t(e.MSGCOUNT)) + ", but " + std::to_string(count) +
                        " messages are stored");
    }

    bool rewriteEntryCount(uint32_t id, uint32_t count) {
        std::string saved = s_.Mem.Dirnamn;
        OP_CLOSE(s_, OpForceClose, {2});
        OP_CLOSE(s_, OpOpenShared, {2});
        bool ok = false;
        if (beginWrites(s_, {&s_.Forums})) {
            s_.Forums.clearBuffer();
            s_.FOR.ID = id;
            if (s_.Forums.get(ForumsFile::FORUMKEY)) {
                s_.FOR.MSGCOUNT = count;
                ok = UppDat(s_, s_.Forums, UpdPut, UpdReportRollback) && bool(s_.store.commit());
            } else {
                (void)s_.store.rollback();
            }
        }
        OP_CLOSE(s_, OpClose, {2});
        s_.Mem.Dirnamn = saved;
        return ok;
    }

    // Checks a counter field of every record of a file against the count of
    // messages that name the record; the repair writes the true count.
    template <class Id, class Get, class Set>
    void checkCounts(RecordFile& f, int number, const std::string& what, const std::map<uint32_t, uint32_t>& truth,
                     Id idOf, Get stored, Set store, const std::string& label) {
        if (!openExisting(f, number)) return;
        std::string name = f.name();
        bool txn = repair_ && beginWrites(s_, {&f});
        f.setPhysical();
        int shown = 0;
        while (f.next()) {
            uint32_t id = idOf();
            auto it = truth.find(id);
            uint32_t want = it == truth.end() ? 0 : it->second;
            if (stored() == want) continue;
            if (txn) {
                store(want);
                if (UppDat(s_, f, UpdPut, UpdReportRollback)) {
                    repaired(name, label + ": " + what + " " + std::to_string(id) + " count set to " + std::to_string(want));
                    continue;
                }
                txn = false;
            }
            if (shown++ < 20)
                fault(name, label + ": " + what + " " + std::to_string(id) + " has the count " + std::to_string(stored()) +
                                ", but " + std::to_string(want) + " messages name it");
        }
        if (txn) (void)s_.store.commit();
        (void)f.close();
    }

    void collectIds(RecordFile& f, int number, const std::string& what, std::function<uint32_t()> idOf) {
        if (!openExisting(f, number)) return;
        std::string name = f.name();
        f.setPhysical();
        while (f.next()) noteId(idOf(), what, name);
        (void)f.close();
    }

    void checkMessages(const ForumsRecord& e, const std::string& label) {
        std::set<uint32_t> headers;
        std::map<uint32_t, uint32_t> from, to, threads, sections;
        std::string headerFile = buildName(s_, 3);
        if (openExisting(s_.MsgNmbr, 3)) {
            s_.MsgNmbr.setPhysical();
            while (s_.MsgNmbr.next()) {
                uint32_t id = s_.MSG.MSGNUMBER;
                headers.insert(id);
                noteId(id, "message", headerFile);
                ++from[uint32_t(s_.MSG.FROMID)];
                ++to[uint32_t(s_.MSG.TOID)];
                ++threads[uint32_t(s_.MSG.THREADNUMBER)];
                ++sections[uint32_t(s_.MSG.SECSYSID)];
            }
            (void)s_.MsgNmbr.close();
        }
        compareHeadersAndTexts(headers, textIds(), headerFile, label);
        checkMessageCount(e, uint32_t(headers.size()), label);
        collectIds(s_.Person, 5, "person", [&] { return uint32_t(s_.PER.PERSONID); });
        collectIds(s_.Threads, 7, "thread", [&] { return uint32_t(s_.THR.THREADNUMBER); });
        // A newsgroup database's section is identified by the catalogue
        // identifier of its newsgroup, so that the messages of a redirected
        // group keep their section: that identifier is shared on purpose.
        if (e.TYPE == TypeNewsgroup) {
            if (openExisting(s_.Sections, 6)) {
                s_.Sections.setPhysical();
                while (s_.Sections.next()) highest_ = std::max(highest_, uint32_t(s_.SEC.SECSYSID));
                (void)s_.Sections.close();
            }
        } else {
            collectIds(s_.Sections, 6, "section", [&] { return uint32_t(s_.SEC.SECSYSID); });
        }
        checkCounts(s_.Person, 5, "person (sent)", from, [&] { return uint32_t(s_.PER.PERSONID); },
                    [&] { return uint32_t(s_.PER.FROMCOUNT); }, [&](uint32_t v) { s_.PER.FROMCOUNT = v; }, label);
        checkCounts(s_.Person, 5, "person (received)", to, [&] { return uint32_t(s_.PER.PERSONID); },
                    [&] { return uint32_t(s_.PER.TOCOUNT); }, [&](uint32_t v) { s_.PER.TOCOUNT = v; }, label);
        checkCounts(s_.Threads, 7, "thread", threads, [&] { return uint32_t(s_.THR.THREADNUMBER); },
                    [&] { return uint32_t(s_.THR.MSGCOUNT); }, [&](uint32_t v) { s_.THR.MSGCOUNT = v; }, label);
        // Only forum imports keep the section counts.
        if (e.TYPE == TypeForum)
            checkCounts(s_.Sections, 6, "section", sections, [&] { return uint32_t(s_.SEC.SECSYSID); },
                        [&] { return uint32_t(s_.SEC.MSGCOUNT); }, [&](uint32_t v) { s_.SEC.MSGCOUNT = v; }, label);
    }

    void checkMail(const ForumsRecord& e, const std::string& label) {
        std::set<uint32_t> headers;
        std::string headerFile = buildName(s_, 13);
        if (openExisting(s_.Mail, 13)) {
            s_.Mail.setPhysical();
            while (s_.Mail.next()) {
                uint32_t id = s_.MAI.MAILID;
                headers.insert(id);
                noteId(id, "message", headerFile);
            }
            (void)s_.Mail.close();
        }
        compareHeadersAndTexts(headers, textIds(), headerFile, label);
        checkMessageCount(e, uint32_t(headers.size()), label);
        collectIds(s_.Person, 5, "person", [&] { return uint32_t(s_.PER.PERSONID); });
    }

    void collectConfigIds(const std::string&) {
        std::string saved = s_.Mem.Dirnamn;
        collectIds(s_.Batches, 34, "import procedure", [&] { return uint32_t(s_.BAT.ID); });
        collectIds(s_.Tasks, 26, "task", [&] { return uint32_t(s_.TAS.ID); });
        s_.Mem.Dirnamn = saved;
    }

    void checkGenerator(const std::string& cfg) {
        std::string name = joinPath(cfg, "IDX008.TPS");
        if (!openExisting(s_.Control, 8)) return;
        s_.Control.clearBuffer();
        s_.CTL.ID = 1;
        uint32_t next = s_.Control.get(ControlFile::IDKEY) ? uint32_t(s_.CTL.NEXTNUMBER) : 0;
        if (highest_ && next <= highest_) {
            bool fixed = false;
            if (repair_ && s_.Control.beginAlone(5)) {
                s_.Control.clearBuffer();
                s_.CTL.ID = 1;
                if (s_.Control.get(ControlFile::IDKEY) && uint32_t(s_.CTL.NEXTNUMBER) <= highest_) {
                    s_.CTL.NEXTNUMBER = highest_ + 1;
                    fixed = bool(s_.Control.put());
                }
                fixed = bool(s_.Control.endAlone(fixed)) && fixed;
            }
            if (fixed) repaired(name, "identifier generator raised to " + std::to_string(highest_ + 1));
            else
                fault(name, "the identifier generator stands at " + std::to_string(next) +
                                ", not above the highest identifier " + std::to_string(highest_));
        }
        (void)s_.Control.close();
    }

    Session& s_;
    bool repair_;
    uint32_t highest_ = 0;
    std::map<uint32_t, std::string> owners_;
};

}  // namespace

VerifyResult verifyArchive(Session& s, const std::vector<uint32_t>& databases, bool repair) {
    VerifyResult out;
    std::string saved = s.Mem.Dirnamn;
    if (repair) {
        Checker fix(s, true);
        fix.run(databases);
        out.repairs = std::move(fix.result.repairs);
    }
    Checker check(s, false);
    check.run(databases);
    out.faults = std::move(check.result.faults);
    s.Mem.Dirnamn = saved;
    return out;
}

}  // namespace quill
