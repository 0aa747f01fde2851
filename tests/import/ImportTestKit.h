// Helpers of the import tests: writing fixture files for the "Test Fixture"
// reader, running an import to its end, and reading an archive back as a
// canonical text (without the identifiers a run draws) or as a list of its
// inconsistencies. Header-only: the import and the command-line tests share it.
#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "import/ImportRun.h"
#include "import/readers/FixtureReader.h"

namespace quill::test {

// One message of a fixture file (see readers/FixtureReader.h).
struct Fx {
    std::string kind = "forum";
    std::string forum, section, newsgroup, messageId, references;
    uint32_t number = 0, ref = 0;
    std::string date = "2024-01-05 12:34:56";
    std::string from = "John Smith <70000,123>";
    std::string to = "All";
    std::vector<std::string> cc;
    std::string subject = "Subject";
    bool bad = false;
    std::string text = "Text.";
};

inline std::string fixtureText(const std::vector<Fx>& msgs) {
    std::ostringstream o;
    o << "# fixture written by a test\n";
    for (auto& m : msgs) {
        o << "%%\nKind: " << m.kind << "\n";
        if (!m.forum.empty()) o << "Forum: " << m.forum << "\n";
        if (!m.section.empty()) o << "Section: " << m.section << "\n";
        if (m.number) o << "Number: " << m.number << "\n";
        if (m.ref) o << "Ref: " << m.ref << "\n";
        if (!m.newsgroup.empty()) o << "Newsgroup: " << m.newsgroup << "\n";
        if (!m.messageId.empty()) o << "Message-ID: " << m.messageId << "\n";
        if (!m.references.empty()) o << "References: " << m.references << "\n";
        if (!m.date.empty()) o << "Date: " << m.date << "\n";
        if (!m.from.empty()) o << "From: " << m.from << "\n";
        if (!m.to.empty()) o << "To: " << m.to << "\n";
        for (auto& c : m.cc) o << "Cc: " << c << "\n";
        o << "Subject: " << m.subject << "\n";
        if (m.bad) o << "Bad: yes\n";
        o << "\n" << m.text << "\n";
    }
    return o.str();
}

// The tests' own reader list: the fixture reader under its diagnostic name.
inline ReaderRegistry fixtureRegistry() {
    ReaderRegistry r;
    r.addHidden(FixtureImportTypeName, FixtureImportType, ReaderFamily::ByteFile,
                [] { return std::make_unique<FixtureReader>(); });
    return r;
}

// A definition that reads the given files with the fixture reader.
inline ImportDefinition fixtureDefinition(const std::string& dir, const std::vector<std::string>& names) {
    ImportDefinition d;
    d.typeName = std::string(FixtureImportTypeName);
    d.fileType = FixtureImportType;
    d.selMethod = SelectFiles;
    d.impPath = dir;
    for (auto& n : names) d.masks += (d.masks.empty() ? "" : ";") + n;
    return d;
}

struct RunOutcome {
    bool ok = false;
    RunDisplay display;
    std::string failure;
    int32_t seconds = 0;
};

inline RunOutcome runImport(Session& s, ImportDefinition def, RunOptions opt = {}) {
    static const ReaderRegistry registry = fixtureRegistry();
    if (!opt.registry) opt.registry = &registry;
    ImportRun run(s, std::move(def), std::move(opt));
    run.runToEnd();
    return {run.succeeded(), run.display(), run.failure(), run.seconds()};
}

// ---------------------------------------------------------------------------
// Reading an archive back

namespace kit {
inline std::string personString(Session& s, uint32_t id) {
    s.Person.clearBuffer();
    s.PER.PERSONID = id;
    return s.Person.get(PersonFile::PERSONKEY) ? s.PER.PERSONSTRING.str() : "?" + std::to_string(id);
}
inline std::string textOf(Session& s, uint32_t number, bool* exists = nullptr) {
    s.MsgText.clearBuffer();
    s.TXT.MSGNUMBER = number;
    bool ok = bool(s.MsgText.get(MsgTextFile::IDKEY));
    if (exists) *exists = ok;
    return ok ? s.MsgText.memo : std::string("<no text>");
}
struct OpenDb {
    Session& s;
    std::vector<int> files;
    OpenDb(Session& session, const CatalogueEntry& e) : s(session) {
        (void)selectDatabase(s, e.id);
        files = e.type == TypeMail ? std::vector<int>{13, 4, 5, 17, 9} : std::vector<int>{3, 4, 5, 6, 7, 25};
        for (int n : files) OP_CLOSE(s, OpOpenShared, {n});
    }
    ~OpenDb() {
        for (int n : files) OP_CLOSE(s, OpClose, {n});
        clearSelection(s);
    }
};
}  // namespace kit

// The archive as sorted text lines, without the identifiers a run draws
// (persons, threads, sections and mail are named by their contents, news by
// their identifier strings), so that two archives built by different runs
// from the same input compare equal.
inline std::string archiveDump(Session& s, bool withCounts = true) {
    std::vector<std::string> out;
    auto cat = listCatalogue(s);
    std::sort(cat.begin(), cat.end(), [](auto& a, auto& b) { return a.description < b.description; });
    for (auto& e : cat) {
        std::string db = std::string(databaseTypeName(e.type)) + " " + e.description;
        out.push_back(db + (withCounts ? " msgcount=" + std::to_string(e.msgCount) : ""));
        kit::OpenDb open(s, e);
        std::vector<std::string> lines;
        s.Person.setPhysical();
        while (s.Person.next()) {
            if (withCounts && s.PER.FROMCOUNT == 0 && s.PER.TOCOUNT == 0 && e.type != TypeMail) continue;
            lines.push_back(db + " person " + s.PER.PERSONSTRING.str() +
                            (withCounts ? " from=" + std::to_string(s.PER.FROMCOUNT) + " to=" +
                                              std::to_string(s.PER.TOCOUNT)
                                        : ""));
        }
        if (e.type == TypeMail) {
            s.Mail.setPhysical();
            std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> ids;
            while (s.Mail.next()) {
                std::ostringstream o;
                o << db << " mail " << isoDate(s.MAI.DATE) << " " << isoTime(s.MAI.TIME) << " [" << s.MAI.SUBJECT.str()
                  << "] ccr=" << int(s.MAI.CCR) << " rt=" << s.MAI.RECIPTYPE.str();
                ids.push_back({s.MAI.MAILID, s.MAI.FROMID, s.MAI.TOID, s.MAI.PAIRID});
                lines.push_back(o.str());
            }
            for (std::size_t i = 0; i < ids.size(); ++i) {
                auto [id, from, to, pair] = ids[i];
                std::string ccs;
                s.CCR.clearBuffer();
                s.CCR.rec.MAILID = id;
                s.CCR.setFrom(CCRFile::IDKEY);
                while (s.CCR.next() && uint32_t(s.CCR.rec.MAILID) == id)
                    ccs += " cc=" + s.CCR.rec.R_NAME.str() + "/" + s.CCR.rec.R_CISADRESS.str();
                std::string topics;
                s.SIndex.clearBuffer();
                s.SIN.MSGNUMBER = id;
                s.SIndex.setFrom(SIndexFile::MSGKEY);
                while (s.SIndex.next() && uint32_t(s.SIN.MSGNUMBER) == id) topics += " topic=" + std::to_string(s.SIN.ID);
                lines[lines.size() - ids.size() + i] += " from=" + kit::personString(s, from) + " to=" +
                                                       kit::personString(s, to) + " pair=" +
                                                       kit::personString(s, pair) + ccs + topics +
                                                       " text=" + kit::textOf(s, id);
            }
        } else {
            std::map<uint32_t, std::string> secName, thrName;
            s.Sections.setPhysical();
            while (s.Sections.next()) {
                secName[s.SEC.SECSYSID] = s.SEC.DESCRIPTION.str();
                lines.push_back(db + " section " + (e.type == TypeForum ? std::to_string(s.SEC.SECTIONNUMBER) : "") +
                                " " + s.SEC.DESCRIPTION.str() +
                                (withCounts && e.type == TypeForum ? " count=" + std::to_string(s.SEC.MSGCOUNT) : ""));
            }
            s.Threads.setPhysical();
            while (s.Threads.next()) {
                thrName[s.THR.THREADNUMBER] = s.THR.HEADING.str();
                lines.push_back(db + " thread " + secName[s.THR.SECSYSID] + " / " + s.THR.HEADING.str() +
                                (withCounts ? " count=" + std::to_string(s.THR.MSGCOUNT) : ""));
            }
            std::map<uint32_t, std::string> idString;
            s.MsgString.setPhysical();
            while (s.MsgString.next()) idString[s.MST.MSGNUMBER] = s.MST.IDSTRING.str();
            auto name = [&](uint32_t n) {
                if (n == 0) return std::string("0");
                if (e.type == TypeNewsgroup) {
                    auto it = idString.find(n);
                    return it == idString.end() ? "?" : it->second;
                }
                return std::to_string(n);
            };
            std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, int32_t>> msgs;
            s.MsgNmbr.setPhysical();
            while (s.MsgNmbr.next())
                msgs.push_back({s.MSG.MSGNUMBER, s.MSG.REFNUMBER, s.MSG.THREADNUMBER, s.MSG.FROMID, s.MSG.TOID,
                                s.MSG.SECSYSID, s.MSG.DATE});
            for (auto& [n, ref, thr, from, to, sec, date] : msgs) {
                lines.push_back(db + " msg " + name(n) + " ref=" + name(ref) + " " + isoDate(date) + " [" +
                                thrName[thr] + "] sec=" + secName[sec] + " from=" + kit::personString(s, from) +
                                " to=" + kit::personString(s, to) + " text=" + kit::textOf(s, n));
            }
        }
        std::sort(lines.begin(), lines.end());
        for (auto& l : lines) out.push_back(l);
    }
    {
        // Imported forum messages, by forum name.
        std::map<uint32_t, std::string> names;
        for (auto& e : cat) names[e.id] = e.description;
        OP_CLOSE(s, OpOpenShared, {18});
        std::vector<std::string> lines;
        s.ImportedMessages.setPhysical();
        while (s.ImportedMessages.next())
            lines.push_back("imported " + names[s.IMP.FORUMNUMBER] + " " + std::to_string(s.IMP.MSGNUMBER));
        OP_CLOSE(s, OpClose, {18});
        std::sort(lines.begin(), lines.end());
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        for (auto& l : lines) out.push_back(l);
    }
    std::string text;
    for (auto& l : out) text += l + "\n";
    return text;
}

// What is wrong with an archive: headers without text, texts without header,
// and (with counts) cached counts that differ from the messages.
inline std::vector<std::string> archiveProblems(Session& s, bool checkCounts = true) {
    std::vector<std::string> problems;
    for (auto& e : listCatalogue(s)) {
        kit::OpenDb open(s, e);
        std::set<uint32_t> headers, texts;
        std::map<uint32_t, uint32_t> from, to, thr, sec;
        if (e.type == TypeMail) {
            s.Mail.setPhysical();
            while (s.Mail.next()) {
                headers.insert(s.MAI.MAILID);
                ++from[s.MAI.FROMID];
                ++to[s.MAI.TOID];
            }
        } else {
            s.MsgNmbr.setPhysical();
            while (s.MsgNmbr.next()) {
                headers.insert(s.MSG.MSGNUMBER);
                ++from[s.MSG.FROMID];
                ++to[s.MSG.TOID];
                ++thr[s.MSG.THREADNUMBER];
                ++sec[s.MSG.SECSYSID];
            }
        }
        s.MsgText.setPhysical();
        while (s.MsgText.next()) texts.insert(s.TXT.MSGNUMBER);
        for (auto h : headers)
            if (!texts.count(h)) problems.push_back(e.description + ": header " + std::to_string(h) + " lacks its text");
        for (auto t : texts)
            if (!headers.count(t)) problems.push_back(e.description + ": text " + std::to_string(t) + " lacks its header");
        if (!checkCounts) continue;
        s.Person.setPhysical();
        while (s.Person.next()) {
            uint32_t id = s.PER.PERSONID;
            if (s.PER.FROMCOUNT != from[id] || s.PER.TOCOUNT != to[id])
                problems.push_back(e.description + ": person " + s.PER.PERSONSTRING.str() + " counts " +
                                   std::to_string(s.PER.FROMCOUNT) + "/" + std::to_string(s.PER.TOCOUNT) + " but has " +
                                   std::to_string(from[id]) + "/" + std::to_string(to[id]));
        }
        if (e.type == TypeMail) continue;
        s.Threads.setPhysical();
        while (s.Threads.next())
            if (s.THR.MSGCOUNT != thr[s.THR.THREADNUMBER])
                problems.push_back(e.description + ": thread " + s.THR.HEADING.str() + " counts " +
                                   std::to_string(s.THR.MSGCOUNT) + " but has " + std::to_string(thr[s.THR.THREADNUMBER]));
        if (e.type != TypeForum) continue;
        s.Sections.setPhysical();
        while (s.Sections.next())
            if (s.SEC.MSGCOUNT != sec[s.SEC.SECSYSID])
                problems.push_back(e.description + ": section " + s.SEC.DESCRIPTION.str() + " counts " +
                                   std::to_string(s.SEC.MSGCOUNT) + " but has " + std::to_string(sec[s.SEC.SECSYSID]));
    }
    return problems;
}

}  // namespace quill::test
