#include "people/Threads.h"

#include "database/Catalogue.h"
#include "database/Charset.h"
#include "database/Common.h"

namespace quill {

namespace {
std::string_view trimRight(std::string_view v) {
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v;
}
}  // namespace

ThreadRef lookupThread(Session& s, uint32_t secSysId, std::string_view subject) {
    subject = subject.substr(0, referenceSafeLength(subject, threadHeadingWidth));
    const std::string_view heading = trimRight(subject);

    s.Threads.clearBuffer();
    s.THR.SECSYSID = secSysId;
    s.THR.HEADING = heading;
    const std::string alpha = s.THR.ALPHA.str();
    const std::string alphaKey = upper1252(alpha);

    // The key groups the threads of a section by THR:ALPHA regardless of
    // letter case, so the whole group is read: headings that differ from the
    // subject only in case may stand anywhere in it.
    s.Threads.setFrom(ThreadsFile::SECKEY);
    while (s.Threads.next()) {
        if (uint32_t(s.THR.SECSYSID) != secSysId || upper1252(s.THR.ALPHA.view()) != alphaKey) break;
        if (s.THR.HEADING.view() == heading) return ThreadRef{true, false, s.THR.THREADNUMBER, s.THR.ALPHA.str()};
    }
    return addThread(s, secSysId, heading);
}

ThreadRef addThread(Session& s, uint32_t secSysId, std::string_view subject) {
    if (subject.size() > threadHeadingWidth) subject = subject.substr(0, threadHeadingWidth);
    const std::string_view heading = trimRight(subject);
    uint32_t number = NextNr(s);
    if (number == 0) {
        s.tell("Transaction Frame Error!", "Warning!");
        (void)s.store.rollback();
        return ThreadRef{};
    }
    s.Threads.clearBuffer();
    s.THR.THREADNUMBER = number;
    s.THR.SECSYSID = secSysId;
    s.THR.HEADING = heading;
    s.THR.MSGCOUNT = 0;
    if (!UppDat(s, s.Threads, UpdAdd, UpdReportRollback)) return ThreadRef{};
    return ThreadRef{true, true, number, s.THR.ALPHA.str()};
}

uint32_t addForumSection(Session& s, uint32_t sectionNumber, std::string_view name) {
    uint32_t id = NextNr(s);
    if (id == 0) {
        // NextNr has told the user why.
        (void)s.store.rollback();
        return 0;
    }
    s.Sections.clearBuffer();
    s.SEC.SECSYSID = id;
    s.SEC.SECTIONNUMBER = sectionNumber;
    s.SEC.DESCRIPTION = name;
    s.SEC.MSGCOUNT = 0;
    if (!UppDat(s, s.Sections, UpdAdd, UpdReportRollback)) return 0;
    return id;
}

bool addNewsgroupSection(Session& s, uint32_t newsgroupForumId, std::string_view name) {
    s.Sections.clearBuffer();
    s.SEC.SECSYSID = newsgroupForumId;
    if (s.Sections.get(SectionsFile::SYSIDKEY)) {
        if (!HoldRec(s, s.Sections, SectionsFile::SYSIDKEY, true, {})) {
            (void)s.store.rollback();
            return false;
        }
        s.SEC.DESCRIPTION = name;
        bool ok = UppDat(s, s.Sections, UpdPut, UpdReportRollback);
        s.Sections.release();
        return ok;
    }
    s.Sections.clearBuffer();
    s.SEC.SECSYSID = newsgroupForumId;
    s.SEC.SECTIONNUMBER = newsgroupForumId;
    s.SEC.DESCRIPTION = name;
    s.SEC.MSGCOUNT = 0;
    return UppDat(s, s.Sections, UpdAdd, UpdReportRollback);
}

std::string threadHeading(Session& s, uint32_t number) {
    if (number == 0) return {};
    s.Threads.clearBuffer();
    s.THR.THREADNUMBER = number;
    return s.Threads.get(ThreadsFile::THREADKEY) ? s.THR.HEADING.str() : std::string();
}

}  // namespace quill
