#include "database/Schema.h"

#include <cstddef>
#include <sstream>
#include <stdexcept>
#include <type_traits>

#include "database/Records.h"

namespace quill {

namespace {

template <class T> struct FieldTraits;
template <> struct FieldTraits<ULong> { static constexpr FieldType type = FieldType::ULong; };
template <> struct FieldTraits<Long> { static constexpr FieldType type = FieldType::Long; };
template <> struct FieldTraits<Byte> { static constexpr FieldType type = FieldType::Byte; };
template <> struct FieldTraits<unsigned char> { static constexpr FieldType type = FieldType::Byte; };
template <std::size_t N> struct FieldTraits<FStr<N>> { static constexpr FieldType type = FieldType::String; };

template <class M>
FieldDesc makeField(const char* name, std::size_t offset) {
    using E = std::remove_all_extents_t<M>;
    return FieldDesc{name, FieldTraits<E>::type, uint32_t(offset), uint32_t(sizeof(E)),
                     uint32_t(sizeof(M) / sizeof(E))};
}

#define F(R, m) makeField<decltype(R::m)>(#m, offsetof(R, m))

// A key written as its attributes and its component names; a leading "-"
// marks a descending component.
struct KeySpec {
    const char* name;
    const char* attrs;
    std::vector<std::string> components;
};

FileDesc record(int number, const char* label, const char* prefix, NameRule rule, uint32_t size,
                std::vector<FieldDesc> fields, std::vector<KeySpec> keys) {
    FileDesc d;
    d.number = number;
    d.label = label;
    d.prefix = prefix;
    d.rule = rule;
    d.kind = FileKind::Record;
    d.recordSize = size;
    d.fields = std::move(fields);
    for (auto& k : keys) {
        KeyDesc kd;
        kd.name = k.name;
        std::string a = k.attrs;
        kd.primary = a.find("primary") != std::string::npos;
        kd.unique = a.find("unique") != std::string::npos;
        kd.nocase = a.find("nocase") != std::string::npos;
        kd.opt = a.find("opt") != std::string::npos;
        for (auto& c : k.components) {
            bool desc = !c.empty() && c[0] == '-';
            std::string fname = desc ? c.substr(1) : c;
            int fi = d.fieldIndex(fname);
            if (fi < 0) throw std::logic_error("unknown key field " + fname + " in " + label);
            kd.components.push_back({fi, desc});
        }
        d.keys.push_back(std::move(kd));
    }
    return d;
}

FileDesc other(int number, const char* prefix, FileKind kind, uint32_t size) {
    FileDesc d;
    d.number = number;
    d.prefix = prefix;
    d.rule = NameRule::User;
    d.kind = kind;
    d.recordSize = size;
    return d;
}

std::vector<FileDesc> buildDescs() {
    using R = NameRule;
    std::vector<FileDesc> v;

    {
        using T = CodesRecord;
        auto d = record(1, "Codes", "COD", R::Database, sizeof(T),
                        {F(T, TYPE), F(T, INDEX), F(T, ID), F(T, COUNT), F(T, DATE), F(T, TIME),
                         F(T, CHARCASE), F(T, WORDONLY)},
                        {{"CLASSKEY", "primary unique nocase", {"TYPE", "INDEX"}}});
        d.emptyThreshold = 1;
        v.push_back(d);
    }
    {
        using T = ForumsRecord;
        auto d = record(2, "Forums", "FOR", R::Config, sizeof(T),
                        {F(T, ID), F(T, DESCRIPTION), F(T, REDIRNOW), F(T, REDIRBEFORE), F(T, TARGETNG),
                         F(T, DIRNUMBER), F(T, NODIR), F(T, TYPE), F(T, NOIMPORT), F(T, MSGCOUNT),
                         F(T, COUNTFLAG), F(T, DUMMY), F(T, CREATED), F(T, LOWDATE), F(T, MAILADDRESS),
                         F(T, PERSONID), F(T, ALTADDRESS), F(T, LASTMSGID), F(T, RECSLASTTIME),
                         F(T, WORDLISTINDEXNEEDSUPDATE), F(T, INDEXTYPE)},
                        {{"FORUMKEY", "primary unique nocase", {"ID"}},
                         {"ALPHAKEY", "unique nocase", {"DESCRIPTION"}},
                         {"DIRKEY", "unique nocase", {"DIRNUMBER"}},
                         {"TYPEKEY", "dup", {"TYPE"}}});
        d.ownerPassword = true;
        v.push_back(d);
    }
    {
        using T = MsgNmbrRecord;
        v.push_back(record(3, "MsgNmbr", "MSG", R::Database, sizeof(T),
                           {F(T, MSGNUMBER), F(T, SECSYSID), F(T, REFNUMBER), F(T, THREADNUMBER),
                            F(T, THREADALPHA), F(T, FROMID), F(T, FROMALPHA), F(T, TOID), F(T, TOALPHA),
                            F(T, DATE), F(T, DUMMY), F(T, FG)},
                           {{"IDKEY", "primary unique nocase", {"-MSGNUMBER"}},
                            {"THREADKEY", "dup nocase", {"THREADALPHA", "THREADNUMBER", "MSGNUMBER"}},
                            {"SECKEY", "dup nocase", {"SECSYSID", "THREADALPHA", "THREADNUMBER", "MSGNUMBER"}},
                            {"FROMKEY", "dup nocase", {"FROMALPHA", "FROMID", "-MSGNUMBER"}},
                            {"TOKEY", "dup nocase", {"TOALPHA", "TOID", "-MSGNUMBER"}},
                            {"DATEKEY", "dup nocase", {"-DATE", "-MSGNUMBER"}},
                            {"STATUSKEY", "dup", {"DUMMY"}}}));
    }
    {
        using T = MsgTextRecord;
        auto d = record(4, "MsgText", "TXT", R::Database, sizeof(T),
                        {F(T, MSGNUMBER), F(T, DATE), F(T, TIME)},
                        {{"IDKEY", "primary unique nocase", {"MSGNUMBER"}},
                         {"DATEKEY", "dup nocase", {"DATE"}}});
        d.memoMax = 64000;
        d.memoName = "MSGTEXT";
        v.push_back(d);
    }
    {
        using T = PersonRecord;
        v.push_back(record(5, "Person", "PER", R::Database, sizeof(T),
                           {F(T, PERSONID), F(T, PERSONSTRING), F(T, LASTNAME), F(T, FIRSTNAME), F(T, ADDRESS),
                            F(T, FROMCOUNT), F(T, TOCOUNT), F(T, LASTDATE), F(T, DUMMY)},
                           {{"PERSONKEY", "primary unique nocase", {"PERSONID"}},
                            {"STRINGKEY", "unique nocase", {"PERSONSTRING"}},
                            {"ADDRESSKEY", "dup nocase", {"ADDRESS"}},
                            {"NAMEKEY", "dup nocase", {"LASTNAME", "FIRSTNAME"}}}));
    }
    {
        using T = SectionsRecord;
        v.push_back(record(6, "Sections", "SEC", R::Database, sizeof(T),
                           {F(T, SECTIONNUMBER), F(T, SECSYSID), F(T, DESCRIPTION), F(T, MSGCOUNT), F(T, DUMMY)},
                           {{"SYSIDKEY", "primary unique nocase", {"SECSYSID"}},
                            {"SECTIONKEY", "dup", {"SECTIONNUMBER"}},
                            {"DESCKEY", "dup nocase", {"DESCRIPTION"}}}));
    }
    {
        using T = ThreadsRecord;
        v.push_back(record(7, "Threads", "THR", R::Database, sizeof(T),
                           {F(T, THREADNUMBER), F(T, SECSYSID), F(T, ALPHA), F(T, BETA), F(T, MSGCOUNT), F(T, DUMMY)},
                           {{"THREADKEY", "primary unique nocase", {"THREADNUMBER"}},
                            {"SECKEY", "dup nocase", {"SECSYSID", "ALPHA"}},
                            {"ALPHAKEY", "dup nocase", {"ALPHA"}},
                            {"STATUSKEY", "dup", {"DUMMY"}}}));
    }
    {
        using T = ControlRecord;
        auto d = record(8, "Control", "CTL", R::Config, sizeof(T), {F(T, ID), F(T, NEXTNUMBER), F(T, CTLFIELD)},
                        {{"IDKEY", "primary unique nocase", {"ID"}}});
        d.ownerPassword = true;
        v.push_back(d);
    }
    {
        using T = SIndexRecord;
        auto d = record(9, "SIndex", "SIN", R::Database, sizeof(T), {F(T, ID), F(T, MSGNUMBER)},
                        {{"IDKEY", "primary unique nocase", {"ID", "-MSGNUMBER"}},
                         {"MSGKEY", "dup", {"MSGNUMBER"}}});
        d.emptyThreshold = 1;
        v.push_back(d);
    }
    {
        using T = NewHRRecord;
        auto d = record(10, "NewHR", "NHR", R::Temporary, sizeof(T),
                        {F(T, INTERNAL), F(T, MSGNUMBER), F(T, REFNUMBER), F(T, FOR_DESCRIPTION),
                         F(T, SECTIONNUMBER), F(T, SEC_DESCRIPTION), F(T, HEADING), F(T, S_CISADRESS),
                         F(T, S_NAME), F(T, R_CISADRESS), F(T, R_NAME), F(T, DUMMY), F(T, DATE), F(T, TIME),
                         F(T, MAILTYPE), F(T, RECIPTYPE), F(T, IMPDATE), F(T, IMPTIME)},
                        {{"MSGKEY", "primary dup nocase", {"INTERNAL", "MSGNUMBER"}}});
        d.memoMax = 64000;
        d.memoName = "MSGTEXT";
        d.ownerPassword = true;
        v.push_back(d);
    }
    {
        auto d = other(11, "HRE", FileKind::Foreign, 0);
        d.readOnly = true;
        v.push_back(d);
        auto b = other(12, "DOS", FileKind::Bytes, 10000);
        b.readOnly = true;
        v.push_back(b);
    }
    {
        using T = MailRecord;
        auto d = record(13, "Mail", "MAI", R::Database, sizeof(T),
                        {F(T, DATE), F(T, TIME), F(T, SUBJECT), F(T, MAILID), F(T, FROMID), F(T, FROMALPHA),
                         F(T, TOID), F(T, TOALPHA), F(T, PAIRID), F(T, PAIRALPHA), F(T, RECIPTYPE), F(T, CCR),
                         F(T, DUMMY), F(T, FG)},
                        {{"IDKEY", "primary unique nocase", {"-MAILID"}},
                         {"DATEKEY", "dup nocase", {"-DATE", "-TIME", "-MAILID"}},
                         {"PAIRKEY", "dup nocase", {"PAIRALPHA", "PAIRID", "-DATE", "-TIME", "-MAILID"}},
                         {"FROMKEY", "dup nocase", {"FROMALPHA", "FROMID", "-DATE", "-TIME", "-MAILID"}},
                         {"TOKEY", "dup nocase", {"TOALPHA", "TOID", "-DATE", "-TIME", "-MAILID"}},
                         {"SUBJECTKEY", "dup nocase", {"SUBJECT", "-DATE", "-TIME", "-MAILID"}},
                         {"STATUSKEY", "dup", {"DUMMY"}}});
        d.ownerPassword = true;
        v.push_back(d);
    }
    {
        using T = CCRRecord;
        v.push_back(record(17, "CCR", "CCR", R::Database, sizeof(T),
                           {F(T, MAILID), F(T, R_NAME), F(T, R_CISADRESS), F(T, RECIPTYPE)},
                           {{"IDKEY", "primary unique nocase", {"MAILID", "R_CISADRESS", "R_NAME"}}}));
    }
    {
        using T = ImportedMessagesRecord;
        auto d = record(18, "ImportedMessages", "IMP", R::Config, sizeof(T), {F(T, FORUMNUMBER), F(T, MSGNUMBER)},
                        {{"IDKEY", "primary unique nocase", {"FORUMNUMBER", "MSGNUMBER"}}});
        d.emptyThreshold = 1;
        v.push_back(d);
    }
    {
        using T = CCTRecord;
        v.push_back(record(19, "TempCC", "CCT", R::Temporary, sizeof(T),
                           {F(T, MAILID), F(T, R_NAME), F(T, R_CISADRESS), F(T, RECIPTYPE)},
                           {{"IDKEY", "primary unique nocase", {"MAILID", "R_CISADRESS", "R_NAME"}}}));
    }
    v.push_back(other(20, "CCO", FileKind::Foreign, 0));
    v.push_back(other(21, "CMA", FileKind::Foreign, 0));
    {
        using T = ForumRefRecord;
        auto d = record(22, "ForumRef", "REF", R::DatabaseDat, sizeof(T),
                        {F(T, TYPE), F(T, DESCRIPTION), F(T, TARGETNG), F(T, PERSONID), F(T, MAILADDRESS),
                         F(T, ALTADDRESS)},
                        {});
        d.emptyThreshold = 1;
        v.push_back(d);
    }
    {
        using T = PLINKRecord;
        v.push_back(record(23, "PLINK", "PLI", R::Database, sizeof(T), {F(T, PERSONSTRING), F(T, PERSONID)},
                           {{"STRINGKEY", "primary unique nocase", {"PERSONSTRING"}},
                            {"PERSONKEY", "dup nocase", {"PERSONID"}}}));
    }
    {
        using T = TIDRecord;
        v.push_back(record(24, "TempID", "TID", R::Temporary, sizeof(T), {F(T, IDSTRING), F(T, MSGNUMBER)},
                           {{"IDKEY", "primary unique nocase", {"MSGNUMBER"}}}));
        v.push_back(record(25, "MsgString", "MST", R::Database, sizeof(T), {F(T, IDSTRING), F(T, MSGNUMBER)},
                           {{"IDSTRINGKEY", "primary unique nocase", {"IDSTRING"}},
                            {"IDKEY", "unique nocase", {"MSGNUMBER"}}}));
    }
    {
        using T = TasksRecord;
        auto d = record(26, "Tasks", "TAS", R::Config, sizeof(T),
                        {F(T, ID), F(T, DESCRIPTION), F(T, RUNNOWDATE), F(T, RUNNOWTIME), F(T, RUNNEXTDATE),
                         F(T, RUNNEXTTIME), F(T, LASTRUNDATE), F(T, LASTRUNTIME), F(T, DAYS), F(T, MONTHDAYS),
                         F(T, DODUPELIM), F(T, DOPURGE), F(T, DOCOUNT), F(T, DOINDEX), F(T, RESULTCODE),
                         F(T, ACTIVE)},
                        {{"IDKEY", "primary unique nocase", {"ID"}}});
        d.emptyThreshold = 1;
        v.push_back(d);
    }
    {
        using T = FileSpecsRecord;
        auto d = record(27, "FileSpecs", "FLI", R::Config, sizeof(T), {F(T, ID), F(T, FILESPEC)},
                        {{"IDKEY", "primary unique nocase", {"ID", "FILESPEC"}}});
        d.emptyThreshold = 1;
        v.push_back(d);
    }
    {
        using T = WordListRecord;
        v.push_back(record(28, "WordList", "WOR", R::IndexDat, sizeof(T), {F(T, WORDID), F(T, THEWORD), F(T, WORDCOUNT)},
                           {{"BY_WORDID", "primary unique opt nocase", {"WORDID"}},
                            {"BY_THEWORD", "unique opt nocase", {"THEWORD"}},
                            {"BY_WORDCOUNT", "dup opt nocase", {"WORDCOUNT"}}}));
    }
    {
        using T = MasIdxRecord;
        v.push_back(record(29, "MasIdx", "MAS", R::Index, sizeof(T), {F(T, SYSID), F(T, WORDID)},
                           {{"BY_SYSID", "primary unique opt nocase", {"SYSID", "WORDID"}},
                            {"BY_WORDID", "dup opt nocase", {"WORDID"}}}));
    }
    {
        using T = StopWordsRecord;
        v.push_back(record(30, "StopWords", "STO", R::Config, sizeof(T), {F(T, THEWORD)},
                           {{"BY_THEWORD", "primary unique opt nocase", {"THEWORD"}}}));
    }
    v.push_back(other(31, "TOC", FileKind::Bytes, 10000));
    {
        using T = SearchRecord;
        auto d = record(32, "Search", "SEA", R::Temporary, sizeof(T), {F(T, SORT), F(T, ID)},
                        {{"SORTKEY", "primary unique nocase", {"SORT"}}, {"IDKEY", "unique nocase", {"ID"}}});
        d.alwaysRecreate = true;
        v.push_back(d);
    }
    {
        using T = PurgeListRecord;
        auto d = record(33, "PurgeList", "PUR", R::IndexDat, sizeof(T), {F(T, SYSID), F(T, WORDID)}, {});
        d.emptyThreshold = 1;
        v.push_back(d);
    }
    {
        using T = BatchesRecord;
        auto d = record(34, "Batches", "BAT", R::Config, sizeof(T),
                        {F(T, ID), F(T, TYPE), F(T, DESCRIPTION), F(T, DATABASE), F(T, FILETYPE), F(T, IMPPATH),
                         F(T, SELMETHOD), F(T, MAILBOX), F(T, MAILMSG), F(T, FORUMMSG), F(T, NEWSGROUPMSG),
                         F(T, MSGFILTER), F(T, ALLOWREIMP), F(T, MAILTOPIC)},
                        {{"IDKEY", "primary unique nocase", {"ID"}}, {"TYPEKEY", "dup nocase", {"TYPE"}}});
        d.emptyThreshold = 1;
        v.push_back(d);
    }
    {
        using T = TaskBatchesRecord;
        auto d = record(35, "TaskBatches", "TIM", R::Config, sizeof(T),
                        {F(T, TASKID), F(T, BATCHID), F(T, EVENTTIME), F(T, RESULTCODE)},
                        {{"TASKKEY", "primary unique nocase", {"TASKID", "BATCHID"}},
                         {"BATCHKEY", "dup nocase", {"BATCHID"}}});
        d.emptyThreshold = 1;
        v.push_back(d);
    }
    {
        using T = WordCharsRecord;
        v.push_back(record(39, "WordChars", "WD", R::Index, sizeof(T),
                           {F(T, SETNAME), F(T, ID), F(T, STARTWORD), F(T, INWORD), F(T, ENDWORD)},
                           {{"BY_SETNAME", "primary unique nocase", {"SETNAME", "ID"}}}));
    }
    v.push_back(other(40, "OUI", FileKind::Foreign, 0));
    {
        using T = TaskLogRecord;
        v.push_back(record(41, "TaskLog", "TLO", R::Config, sizeof(T),
                           {F(T, TASKLOGID), F(T, TASKID), F(T, DATESTARTED), F(T, DATEFINISHED), F(T, TIMESTARTED),
                            F(T, TIMEFINISHED), F(T, RESULTCODE)},
                           {{"IDKEY", "primary unique nocase", {"TASKLOGID"}},
                            {"BYTASK", "unique nocase", {"TASKID", "TASKLOGID"}}}));
    }
    {
        using T = TaskLogItemsRecord;
        v.push_back(record(42, "TaskLogItems", "TLI", R::Config, sizeof(T),
                           {F(T, TASKLOGID), F(T, TYPE), F(T, BATCHID), F(T, DATESTARTED), F(T, DATEFINISHED),
                            F(T, TIMESTARTED), F(T, TIMEFINISHED), F(T, RESULTCODE)},
                           {{"IDKEY", "primary unique nocase", {"TASKLOGID", "TYPE", "DATESTARTED", "TIMESTARTED"}}}));
    }
    {
        using T = NeoRecord;
        auto d = record(43, "Neo", "NEO", R::Config, sizeof(T), {F(T, ID), F(T, NEOFIELD)},
                        {{"IDKEY", "primary unique nocase", {"ID"}}});
        d.ownerPassword = true;
        v.push_back(d);
    }
    v.push_back(other(44, "DBM", FileKind::DBase, 0));
    v.push_back(other(45, "DBA", FileKind::DBase, 0));
    v.push_back(other(46, "DBF", FileKind::DBase, 0));
    v.push_back(other(47, "DBN", FileKind::DBase, 0));
    return v;
}

#undef F

}  // namespace

int FileDesc::fieldIndex(const std::string& name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name) return int(i);
    return -1;
}

int FileDesc::keyIndex(const std::string& name) const {
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (keys[i].name == name) return int(i);
    return -1;
}

std::string FileDesc::signature() const {
    std::ostringstream s;
    s << prefix << '/' << recordSize << '/' << memoMax;
    for (auto& f : fields) s << ';' << f.name << ':' << int(f.type) << ':' << f.elemSize << 'x' << f.dim;
    for (auto& k : keys) {
        s << '|' << k.name << ':' << k.primary << k.unique << k.nocase << k.opt;
        for (auto& c : k.components) s << ',' << (c.descending ? "-" : "") << c.field;
    }
    return s.str();
}

const std::vector<FileDesc>& allFileDescs() {
    static const std::vector<FileDesc> descs = buildDescs();
    return descs;
}

const FileDesc* fileDesc(int number) {
    for (auto& d : allFileDescs())
        if (d.number == number) return &d;
    return nullptr;
}

}  // namespace quill
