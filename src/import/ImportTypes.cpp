#include "import/ImportTypes.h"

#include <array>
#include <cstdio>

#include "database/Types.h"
#include "import/StoreWriter.h"
#include "import/TargetList.h"

namespace quill {

namespace {

using F = ReaderFamily;

constexpr std::array<ImportType, ImportTypeRows> kTypes = {{
    {1, "AUTOSIG", "*.ATO", F::TextCapture},
    {2, "CISCOMM", "*.DBF", F::ForumTable},
    {3, "CompuServe 3 and 4", "FCABINET.DAT", F::ByteFile},
    {4, "CSNav", "*.THD;*.MSG;*.PLX", F::WholeFile},
    {5, "DOSCIM", "*.THD;*.MSG;*.PLX", F::WholeFile},
    {6, "Eudora", "*.MBX", F::ByteFile},
    {7, "GoldenCompass", "*.MSG", F::ByteFile},
    {8, "IE Mail", "*.MBX", F::ByteFile},
    {9, "IE News", "*.NCH", F::ByteFile},
    {10, "NavCIS 1.6x", "RECV.DBF", F::ForumTable},
    {11, "NavCIS 1.7x-", "HRECV.DBF", F::ForumTable},
    {12, "OzCIS", "*.MSG;*.PRG;*.OBS", F::TextCapture},
    {13, "OzWin I", "*.MSG;*.PRG;*.OBS", F::TextCapture},
    {14, "OzWin II", "*.MSG;*.PRG;*.OBS", F::TextCapture},
    {15, "TAPCIS 5.x", "*.MSG;*.OLD", F::TextCapture},
    {16, "VirtualAccess", "*.", F::ByteFile},
    {17, "WinCIM", "*.THD;*.MSG;*.PLX", F::WholeFile},
    {18, "Agent News", "*.*", F::ByteFile},
    {19, "TAPCIS 6.x", "*.MSG;*.OLD", F::TextCapture},
    {20, "Pegasus", "*.PMM", F::ByteFile},
    {21, "Netscape News", "*.SNM", F::ByteFile},
    {22, "Netscape Mail", "*.*", F::ByteFile},
    {23, "Outlook Express 4 Mail", "*.MBX", F::ByteFile},
    {24, "Outlook Express 4 News", "*.NCH", F::ByteFile},
    {25, "NavCIS Save format", "*.SAV", F::TextCapture},
    {26, "Generic Mail Type 1", "*.*", F::ByteFile},
    {27, "Becky Mail", "*.MBX", F::ByteFile},
    {28, "Unix News", "*.*", F::ByteFile},
    {29, "Gravity", "*.*", F::ByteFile},
    {30, "Agent Mail", "*.*", F::ByteFile},
    {31, "OUI", "MESSAGE.DBF", F::ForumTable},
    {32, "Outlook Express 5 Mail", "*.DBX", F::ByteFile},
    {33, "Outlook Mail", "", F::Automation},
    {34, "Outlook Express 5 News", "*.DBX", F::ByteFile},
    {35, "Generic Mail Type 2", "*.*", F::ByteFile},
    {36, "AOL", "*.*", F::ByteFile},
    {37, "Winvn", "*.*", F::ByteFile},
    {38, "CompuServe 2000", "*.*", F::ByteFile},
    {39, "Poco Mail", "*.MBX", F::ByteFile},
    {40, "TheBat", "*.TBB", F::ByteFile},
    {41, "Reserv", "", F::None},
    {42, "Reserv", "", F::None},
    {43, "Reserv", "", F::None},
    {44, "Reserv", "", F::None},
    {45, "Reserv", "", F::None},
    {46, "Reserv", "", F::None},
    {47, "Reserv", "", F::None},
    {48, "Reserv", "", F::None},
    {49, "Reserv", "", F::None},
    {50, "Reserv", "", F::None},
}};

std::string_view clipped(std::string_view v) {
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.remove_suffix(1);
    return v;
}

bool sameNoCase(std::string_view a, std::string_view b) {
    a = clipped(a);
    b = clipped(b);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper1252(static_cast<unsigned char>(a[i])) != upper1252(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

const ImportType* importTypeByNumber(int number) {
    if (number < 1 || number > ImportTypeRows) return nullptr;
    return &kTypes[std::size_t(number - 1)];
}

const ImportType* importTypeByName(std::string_view name) {
    for (auto& t : kTypes)
        if (t.offered() && sameNoCase(t.name, name)) return &t;
    return nullptr;
}

std::string fileTypeRow(int number) {
    const ImportType* t = importTypeByNumber(number);
    if (!t) return {};
    std::string row(t->name);
    row.resize(ImportTypeNameWidth, ' ');
    char b[8];
    std::snprintf(b, sizeof b, "%03d", t->number);
    return row + b;
}

std::vector<const ImportType*> offeredImportTypes() {
    std::vector<const ImportType*> v;
    for (auto& t : kTypes)
        if (t.offered()) v.push_back(&t);
    return v;
}

bool isImportType(std::string_view typeName, std::string_view tableName) {
    typeName = clipped(typeName);
    tableName = clipped(tableName);
    if (typeName.empty() || tableName.empty()) return false;
    std::size_t n = std::min(typeName.size(), tableName.size());
    return typeName.substr(0, n) == tableName.substr(0, n);
}

bool sizeDrivenFamily(ReaderFamily f) {
    return f == ReaderFamily::ByteFile || f == ReaderFamily::WholeFile || f == ReaderFamily::Automation;
}

// ---------------------------------------------------------------------------

ReaderContext::ReaderContext(Session& session, const ImportDefinition& definition, TargetList& targetList,
                             MailboxOwner& mailboxOwner, uint32_t& counter)
    : s(session), def(definition), targets(targetList), owner(mailboxOwner), identifierCounter(counter) {}

ReaderContext::Target ReaderContext::findTarget(std::string_view name, uint8_t kind) {
    TargetFound f = targets.FindTargetDatabase(s, name, kind, &identifierCounter);
    return {f.id, f.importAllowed, f.type};
}

bool ReaderContext::stage() {
    if (stagingFailed || !appendStagedMessage(s)) {
        stagingFailed = true;
        return false;
    }
    ++staged;
    return true;
}

bool ReaderContext::stageCarbonCopy() {
    if (stagingFailed || !AddStagedCarbonCopy(s)) {
        stagingFailed = true;
        return false;
    }
    return true;
}

uint32_t ReaderContext::stageId(std::string_view idString) {
    uint32_t n = identifierCounter++;
    if (stagingFailed || !appendStagedId(s, idString, n)) {
        stagingFailed = true;
        return 0;
    }
    return n;
}

HeaderContext ReaderContext::headerContext() {
    HeaderContext hc;
    hc.importType = def.typeName;
    hc.ownerAddress = owner.address;
    hc.ownerName = owner.name;
    MailboxOwner* o = &owner;
    hc.mailboxDirection = [o](NewHRRecord& NHR) { o->direction(NHR); };
    hc.identifierCounter = identifierCounter;
    Session* session = &s;
    bool* failed = &stagingFailed;
    hc.appendTempId = [session, failed](std::string_view id, uint32_t number) {
        if (*failed || !appendStagedId(*session, id, number)) *failed = true;
    };
    TargetList* t = &targets;
    hc.targetHolds = [t](std::string_view upperGroup) { return t->find(upperGroup); };
    return hc;
}

MailHeaderResult ReaderContext::parseMailHeaders(LineQueue& queue, std::size_t firstLine) {
    HeaderContext hc = headerContext();
    MailHeaderResult r = ParseMailHeaders(queue, firstLine, s.NHR, hc);
    identifierCounter = hc.identifierCounter;
    return r;
}

MailHeaderResult ReaderContext::parseSeparatedMailHeaders(LineQueue& queue, std::size_t firstLine) {
    HeaderContext hc = headerContext();
    MailHeaderResult r = ParseSeparatedMailHeaders(queue, firstLine, s.NHR, hc);
    identifierCounter = hc.identifierCounter;
    return r;
}

InternetHeaderResult ReaderContext::parseInternetHeaders(LineQueue& queue, std::size_t firstLine,
                                                         const KnownValues* known) {
    HeaderContext hc = headerContext();
    InternetHeaderResult r = ParseInternetHeaders(queue, firstLine, s.NHR, hc, known);
    identifierCounter = hc.identifierCounter;
    return r;
}

// ---------------------------------------------------------------------------

void ReaderRegistry::add(std::string_view typeName, ReaderFactory make) {
    const ImportType* t = importTypeByName(typeName);
    if (!t) return;
    for (auto& e : entries_) {
        if (e.number == t->number) {
            e.make = std::move(make);
            return;
        }
    }
    entries_.push_back({std::string(t->name), t->number, t->family, std::move(make), false});
}

void ReaderRegistry::addHidden(std::string_view typeName, int number, ReaderFamily family, ReaderFactory make) {
    for (auto& e : entries_) {
        if (sameNoCase(e.typeName, typeName)) {
            e.make = std::move(make);
            return;
        }
    }
    entries_.push_back({std::string(clipped(typeName)), number, family, std::move(make), true});
}

const ReaderRegistry::Entry* ReaderRegistry::find(std::string_view typeName) const {
    for (auto& e : entries_)
        if (sameNoCase(e.typeName, typeName)) return &e;
    return nullptr;
}

const ReaderRegistry::Entry* ReaderRegistry::findNumber(int number) const {
    for (auto& e : entries_)
        if (e.number == number) return &e;
    return nullptr;
}

const ReaderRegistry& ReaderRegistry::builtin() {
    static const ReaderRegistry r = [] {
        ReaderRegistry x;
        registerBuiltinReaders(x);
        return x;
    }();
    return r;
}

std::string noReaderText(std::string_view typeName) {
    return "The file type " + std::string(clipped(typeName)) +
           " cannot be imported yet: its reader is not part of this version.\r\nImport will not proceed!";
}

TypeChoice resolveImportType(std::string_view given, const ReaderRegistry& registry) {
    given = clipped(given);
    while (!given.empty() && given.front() == ' ') given.remove_prefix(1);
    if (const ImportType* t = importTypeByName(given)) return {std::string(t->name), t->number};
    if (const auto* e = registry.find(given)) return {e->typeName, e->number};
    bool digits = !given.empty() && given.size() <= 3;
    for (char ch : given) digits = digits && ch >= '0' && ch <= '9';
    if (digits) {
        int n = std::stoi(std::string(given));
        if (const ImportType* t = importTypeByNumber(n); t && t->offered()) return {std::string(t->name), t->number};
    }
    return {};
}

}  // namespace quill
