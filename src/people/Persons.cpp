#include "people/Persons.h"

#include <climits>

#include "database/Catalogue.h"
#include "database/Charset.h"
#include "database/Common.h"
#include "people/Address.h"

namespace quill {

namespace {

std::string_view trimRight(std::string_view v) {
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v;
}

// Adds a new person with the identity string ident. False on failure, after
// the transaction has been rolled back.
bool createPerson(Session& s, const std::string& ident, std::string_view address, std::string_view name) {
    s.Person.clearBuffer();
    uint32_t id = NextNr(s);
    if (id == 0) {
        s.tell("A new person ID could not be generated \r\nThe last transaction is rolled back.", s.Person.name());
        (void)s.store.rollback();
        return false;
    }
    ParsedName parts = ParseName(name);
    s.PER.PERSONID = id;
    s.PER.PERSONSTRING = ident;
    s.PER.ADDRESS = address;
    s.PER.LASTNAME = parts.lastName;
    s.PER.FIRSTNAME = parts.firstNames;
    s.PER.FROMCOUNT = 0;
    s.PER.TOCOUNT = 0;
    s.PER.LASTDATE = 0;
    return UppDat(s, s.Person, UpdAdd, UpdReportRollback);
}

}  // namespace

std::string personString(std::string_view name, std::string_view address) {
    std::string ident(trimRight(name));
    ident += ' ';
    ident += trimRight(address);
    ident.resize(referenceSafeLength(ident, personStringWidth));
    return upper1252(ident);
}

bool AddPers(Session& s, std::string_view address, std::string_view name) {
    const std::string ident = personString(name, address);

    s.Person.clearBuffer();
    s.PER.PERSONSTRING = ident;
    if (s.Person.get(PersonFile::STRINGKEY)) return false;

    // An identity string that was merged into another person is an alias.
    s.PLINK.clearBuffer();
    s.PLI.PERSONSTRING = ident;
    bool danglingAlias = false;
    if (s.PLINK.get(PLINKFile::STRINGKEY)) {
        uint32_t survivor = s.PLI.PERSONID;
        s.Person.clearBuffer();
        s.PER.PERSONID = survivor;
        if (s.Person.get(PersonFile::PERSONKEY)) return false;
        danglingAlias = true;
    }

    if (!createPerson(s, ident, address, name)) return true;
    // The alias pointed at a person that no longer exists: the new person
    // takes over its identity string, so the alias goes. The PLINK buffer and
    // its current record are still the alias read above.
    if (danglingAlias && !UppDat(s, s.PLINK, UpdDelete, UpdReportRollback)) return true;
    return false;
}

int CFromToMail(Session& s, int mode) {
    const uint32_t personId = s.PER.PERSONID;
    FStr<10> alpha;
    alpha = s.PER.LASTNAME.view();
    const std::string alphaKey = upper1252(alpha.view());

    // Walks one group (alpha, person) of MAI:FROMKEY or MAI:TOKEY from its
    // start: the descending date, time and identifier at their highest values
    // sort first.
    auto countGroup = [&](bool sender) {
        s.Mail.clearBuffer();
        if (sender) {
            s.MAI.FROMALPHA = alpha.view();
            s.MAI.FROMID = personId;
        } else {
            s.MAI.TOALPHA = alpha.view();
            s.MAI.TOID = personId;
        }
        s.MAI.DATE = INT32_MAX;
        s.MAI.TIME = INT32_MAX;
        s.MAI.MAILID = UINT32_MAX;
        s.Mail.setFrom(sender ? MailFile::FROMKEY : MailFile::TOKEY);
        uint32_t n = 0;
        while (s.Mail.next()) {
            uint32_t id = sender ? uint32_t(s.MAI.FROMID) : uint32_t(s.MAI.TOID);
            std::string_view a = sender ? s.MAI.FROMALPHA.view() : s.MAI.TOALPHA.view();
            if (id != personId || upper1252(a) != alphaKey) break;
            ++n;
        }
        return n;
    };

    const uint32_t from = countGroup(true);
    const uint32_t to = countGroup(false);
    if (from == 0 && to == 0) {
        if (mode == 0) return PersonHasNoMail;
        if (mode == 1) {
            s.PER.FROMCOUNT = 0;
            s.PER.TOCOUNT = 0;
            return MailCountsChanged;
        }
        return MailCountsUnchanged;
    }
    if (from == uint32_t(s.PER.FROMCOUNT) && to == uint32_t(s.PER.TOCOUNT)) return MailCountsUnchanged;
    s.PER.FROMCOUNT = from;
    s.PER.TOCOUNT = to;
    return MailCountsChanged;
}

namespace {
bool storedText(Session& s, uint32_t id, std::string& text) {
    s.MsgText.clearBuffer();
    s.TXT.MSGNUMBER = id;
    if (!s.MsgText.get(MsgTextFile::IDKEY)) return false;
    text = s.MsgText.memo;
    return true;
}
}  // namespace

bool DupString(Session& s, int mode, uint32_t id1, uint32_t id2) {
    if (mode != 1 && mode != 2) return false;
    std::string first;
    if (!storedText(s, id1, first)) return false;
    if (mode == 1) return dupTextsEqual(first, s.NewHR.memo);
    std::string second;
    if (!storedText(s, id2, second)) return false;
    return dupTextsEqual(first, second);
}

}  // namespace quill
