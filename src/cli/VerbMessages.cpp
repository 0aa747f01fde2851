// quillmer-cli messages and show: the stored messages of a database, newest
// first, and one message with its text. Strings leave the archive's
// Windows-1252 as UTF-8.
#include <iostream>
#include <map>
#include <sstream>

#include "cli/Cli.h"
#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Charset.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "people/Address.h"
#include "people/Databases.h"
#include "people/Threads.h"

namespace quill::cli {

namespace {

struct PersonText {
    std::string name, address;
};

// The files of one database, open while the object lives, with small caches
// of the persons, threads and sections met.
class DatabaseReader {
public:
    DatabaseReader(Session& s, const CatalogueEntry& e) : s_(s), e_(e) {
        (void)selectDatabase(s_, e.id);
        files_ = e.type == TypeMail ? std::vector<int>{13, 4, 5, 17} : std::vector<int>{3, 4, 5, 6, 7};
        for (int n : files_) OP_CLOSE(s_, OpOpenShared, {n});
    }
    ~DatabaseReader() {
        for (int n : files_) OP_CLOSE(s_, OpClose, {n});
        clearSelection(s_);
    }

    PersonText person(uint32_t id) {
        auto it = persons_.find(id);
        if (it != persons_.end()) return it->second;
        PersonText p;
        s_.Person.clearBuffer();
        s_.PER.PERSONID = id;
        if (id != 0 && s_.Person.get(PersonFile::PERSONKEY)) {
            p.name = personDisplayName(s_.PER.LASTNAME.view(), s_.PER.FIRSTNAME.view());
            p.address = s_.PER.ADDRESS.str();
        }
        return persons_[id] = p;
    }
    std::string thread(uint32_t number) {
        auto it = threads_.find(number);
        if (it != threads_.end()) return it->second;
        return threads_[number] = threadHeading(s_, number);
    }
    std::string section(uint32_t secSysId) {
        auto it = sections_.find(secSysId);
        if (it != sections_.end()) return it->second;
        std::string d;
        s_.Sections.clearBuffer();
        s_.SEC.SECSYSID = secSysId;
        if (secSysId != 0 && s_.Sections.get(SectionsFile::SYSIDKEY)) d = s_.SEC.DESCRIPTION.str();
        return sections_[secSysId] = d;
    }
    std::string text(uint32_t number) {
        s_.MsgText.clearBuffer();
        s_.TXT.MSGNUMBER = number;
        return s_.MsgText.get(MsgTextFile::IDKEY) ? s_.MsgText.memo : std::string();
    }
    std::vector<PersonText> copies(uint32_t mailId) {
        std::vector<PersonText> v;
        s_.CCR.clearBuffer();
        s_.CCR.rec.MAILID = mailId;
        s_.CCR.setFrom(CCRFile::IDKEY);
        while (s_.CCR.next() && uint32_t(s_.CCR.rec.MAILID) == mailId)
            v.push_back({s_.CCR.rec.R_NAME.str(), s_.CCR.rec.R_CISADRESS.str()});
        return v;
    }
    const CatalogueEntry& entry() const { return e_; }

private:
    Session& s_;
    CatalogueEntry e_;
    std::vector<int> files_;
    std::map<uint32_t, PersonText> persons_;
    std::map<uint32_t, std::string> threads_, sections_;
};

std::string j(const std::string& cp1252) { return jsonString(toTerminal(cp1252)); }
std::string jDate(int32_t d) { return d > 0 && !isoDate(d).empty() ? "\"" + isoDate(d) + "\"" : "null"; }
std::string jTime(int32_t t) { return t > 0 && !isoTime(t).empty() ? "\"" + isoTime(t) + "\"" : "null"; }
std::string party(const PersonText& p) {
    if (p.address.empty()) return p.name;
    return p.name.empty() ? "<" + p.address + ">" : p.name + " <" + p.address + ">";
}

// The forum or news header in the MsgNmbr buffer as one output line.
std::string forumLine(DatabaseReader& db, Session& s, bool json, bool withText) {
    uint32_t number = s.MSG.MSGNUMBER;
    PersonText from = db.person(s.MSG.FROMID), to = db.person(s.MSG.TOID);
    std::string subject = db.thread(s.MSG.THREADNUMBER), section = db.section(s.MSG.SECSYSID);
    std::ostringstream o;
    if (json) {
        o << "{\"msgnumber\":" << number << ",\"refnumber\":" << uint32_t(s.MSG.REFNUMBER)
          << ",\"date\":" << jDate(s.MSG.DATE) << ",\"time\":null,\"subject\":" << j(subject)
          << ",\"from_name\":" << j(from.name) << ",\"from_address\":" << j(from.address)
          << ",\"to_name\":" << j(to.name) << ",\"to_address\":" << j(to.address) << ",\"section\":" << j(section)
          << ",\"thread\":" << uint32_t(s.MSG.THREADNUMBER) << ",\"status\":" << int(s.MSG.DUMMY);
        if (withText) o << ",\"text\":" << j(db.text(number));
        o << "}";
    } else {
        o << number << "\t" << isoDate(s.MSG.DATE) << "\t" << toTerminal(subject) << "\t" << toTerminal(party(from))
          << "\t" << toTerminal(party(to)) << "\t" << toTerminal(section) << "\t" << uint32_t(s.MSG.REFNUMBER);
        if (withText) o << "\n" << toTerminal(db.text(number)) << "\n";
    }
    return o.str();
}

std::string mailLine(DatabaseReader& db, Session& s, bool json, bool withText) {
    uint32_t id = s.MAI.MAILID;
    PersonText from = db.person(s.MAI.FROMID), to = db.person(s.MAI.TOID), pair = db.person(s.MAI.PAIRID);
    std::string subject = s.MAI.SUBJECT.str();
    std::ostringstream o;
    if (json) {
        o << "{\"msgnumber\":" << id << ",\"mailid\":" << id << ",\"date\":" << jDate(s.MAI.DATE)
          << ",\"time\":" << jTime(s.MAI.TIME) << ",\"subject\":" << j(subject) << ",\"from_name\":" << j(from.name)
          << ",\"from_address\":" << j(from.address) << ",\"to_name\":" << j(to.name)
          << ",\"to_address\":" << j(to.address) << ",\"pair_name\":" << j(pair.name)
          << ",\"pair_address\":" << j(pair.address) << ",\"reciptype\":" << j(s.MAI.RECIPTYPE.str())
          << ",\"ccr\":" << int(s.MAI.CCR) << ",\"status\":" << int(s.MAI.DUMMY);
        if (withText) {
            bool hasCopies = s.MAI.CCR != 0;
            std::string text = db.text(id);
            o << ",\"cc\":[";
            if (hasCopies) {
                bool firstCopy = true;
                for (auto& cc : db.copies(id)) {
                    o << (firstCopy ? "" : ",") << "{\"name\":" << j(cc.name) << ",\"address\":" << j(cc.address)
                      << "}";
                    firstCopy = false;
                }
            }
            o << "],\"text\":" << j(text);
        }
        o << "}";
    } else {
        o << id << "\t" << isoDate(s.MAI.DATE) << "\t" << isoTime(s.MAI.TIME) << "\t" << toTerminal(subject) << "\t"
          << toTerminal(party(from)) << "\t" << toTerminal(party(to)) << "\t" << toTerminal(party(pair));
        if (withText) o << "\n" << toTerminal(db.text(id)) << "\n";
    }
    return o.str();
}

}  // namespace

bool findDatabase(Session& s, const std::string& given, CatalogueEntry& out) {
    std::string name = utf8ToCp1252(given);
    bool digits = !given.empty() && given.size() <= 10;
    for (char ch : given) digits = digits && ch >= '0' && ch <= '9';
    for (auto& e : listCatalogue(s)) {
        if ((digits && std::to_string(e.id) == given) || upper1252(e.description) == upper1252(name)) {
            out = e;
            return true;
        }
    }
    return false;
}

int verbMessages(Context& c, std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    bool withText = takeFlag(args, "--text");
    for (auto& a : args)
        if (a.rfind("--", 0) == 0) return fail("messages: unknown option " + a);
    if (args.size() != 1) return fail("messages: give one database (name or identifier)");
    Session& s = c.open();
    CatalogueEntry e;
    if (!findDatabase(s, args[0], e)) return fail("messages: no database '" + args[0] + "'");
    DatabaseReader db(s, e);
    if (e.type == TypeMail) {
        s.Mail.set(MailFile::DATEKEY);
        while (s.Mail.next()) std::cout << mailLine(db, s, json, withText) << "\n";
    } else {
        s.MsgNmbr.set(MsgNmbrFile::DATEKEY);
        while (s.MsgNmbr.next()) std::cout << forumLine(db, s, json, withText) << "\n";
    }
    return 0;
}

int verbShow(Context& c, std::vector<std::string>& args) {
    std::string dbName;
    bool haveDb = takeOption(args, "--db", dbName);
    bool json = takeFlag(args, "--json");
    for (auto& a : args)
        if (a.rfind("--", 0) == 0) return fail("show: unknown option " + a);
    if (args.size() != 1) return fail("show: give one message number");
    uint32_t id = 0;
    try {
        id = uint32_t(std::stoul(args[0]));
    } catch (...) {
        return fail("show: '" + args[0] + "' is not a message number");
    }
    Session& s = c.open();
    std::vector<CatalogueEntry> dbs;
    if (haveDb) {
        CatalogueEntry e;
        if (!findDatabase(s, dbName, e)) return fail("show: no database '" + dbName + "'");
        dbs.push_back(e);
    } else {
        dbs = listCatalogue(s);
    }
    int found = 0;
    for (auto& e : dbs) {
        DatabaseReader db(s, e);
        if (e.type == TypeMail) {
            s.Mail.clearBuffer();
            s.MAI.MAILID = id;
            if (!s.Mail.get(MailFile::IDKEY)) continue;
            if (found++) std::cout << "\n";
            if (json) {
                std::cout << mailLine(db, s, true, true) << "\n";
                continue;
            }
            PersonText from = db.person(s.MAI.FROMID), to = db.person(s.MAI.TOID), pair = db.person(s.MAI.PAIRID);
            std::cout << "Database: " << toTerminal(e.description) << "\nMail: " << id
                      << "\nDate: " << isoDate(s.MAI.DATE) << " " << isoTime(s.MAI.TIME)
                      << "\nSubject: " << toTerminal(s.MAI.SUBJECT.str()) << "\nFrom: " << toTerminal(party(from))
                      << "\nTo: " << toTerminal(party(to)) << "\nPartner: " << toTerminal(party(pair)) << "\n";
            if (s.MAI.CCR != 0)
                for (auto& cc : db.copies(id)) std::cout << "Cc: " << toTerminal(party(cc)) << "\n";
            std::cout << "\n" << toTerminal(db.text(id)) << "\n";
        } else {
            s.MsgNmbr.clearBuffer();
            s.MSG.MSGNUMBER = id;
            if (!s.MsgNmbr.get(MsgNmbrFile::IDKEY)) continue;
            if (found++) std::cout << "\n";
            if (json) {
                std::cout << forumLine(db, s, true, true) << "\n";
                continue;
            }
            PersonText from = db.person(s.MSG.FROMID), to = db.person(s.MSG.TOID);
            std::cout << "Database: " << toTerminal(e.description) << "\nNumber: " << id
                      << "\nReference: " << uint32_t(s.MSG.REFNUMBER) << "\nDate: " << isoDate(s.MSG.DATE)
                      << "\nSubject: " << toTerminal(db.thread(s.MSG.THREADNUMBER))
                      << "\nFrom: " << toTerminal(party(from)) << "\nTo: " << toTerminal(party(to))
                      << "\nSection: " << toTerminal(db.section(s.MSG.SECSYSID)) << "\n\n"
                      << toTerminal(db.text(id)) << "\n";
        }
    }
    if (!found) {
        std::cerr << "quillmer-cli: show: no message " << id << "\n";
        return 1;
    }
    return 0;
}

}  // namespace quill::cli
