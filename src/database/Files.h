// One class per record file: its number, its record buffer and its keys,
// named as the system names them (MsgNmbr.DATEKEY is the key MSG:DATEKEY).
#pragma once

#include "database/RecordStore.h"
#include "database/Records.h"

namespace quill {

struct CodesFile : TypedFile<CodesRecord> {
    static constexpr int Number = 1;
    explicit CodesFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int CLASSKEY = 0;
};

struct ForumsFile : TypedFile<ForumsRecord> {
    static constexpr int Number = 2;
    explicit ForumsFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int FORUMKEY = 0;
    static constexpr int ALPHAKEY = 1;
    static constexpr int DIRKEY = 2;
    static constexpr int TYPEKEY = 3;
};

struct MsgNmbrFile : TypedFile<MsgNmbrRecord> {
    static constexpr int Number = 3;
    explicit MsgNmbrFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
    static constexpr int THREADKEY = 1;
    static constexpr int SECKEY = 2;
    static constexpr int FROMKEY = 3;
    static constexpr int TOKEY = 4;
    static constexpr int DATEKEY = 5;
    static constexpr int STATUSKEY = 6;
};

struct MsgTextFile : TypedFile<MsgTextRecord> {
    static constexpr int Number = 4;
    explicit MsgTextFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
    static constexpr int DATEKEY = 1;
};

struct PersonFile : TypedFile<PersonRecord> {
    static constexpr int Number = 5;
    explicit PersonFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int PERSONKEY = 0;
    static constexpr int STRINGKEY = 1;
    static constexpr int ADDRESSKEY = 2;
    static constexpr int NAMEKEY = 3;
};

struct SectionsFile : TypedFile<SectionsRecord> {
    static constexpr int Number = 6;
    explicit SectionsFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int SYSIDKEY = 0;
    static constexpr int SECTIONKEY = 1;
    static constexpr int DESCKEY = 2;
};

struct ThreadsFile : TypedFile<ThreadsRecord> {
    static constexpr int Number = 7;
    explicit ThreadsFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int THREADKEY = 0;
    static constexpr int SECKEY = 1;
    static constexpr int ALPHAKEY = 2;
    static constexpr int STATUSKEY = 3;
};

struct ControlFile : TypedFile<ControlRecord> {
    static constexpr int Number = 8;
    explicit ControlFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
};

struct SIndexFile : TypedFile<SIndexRecord> {
    static constexpr int Number = 9;
    explicit SIndexFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
    static constexpr int MSGKEY = 1;
};

struct NewHRFile : TypedFile<NewHRRecord> {
    static constexpr int Number = 10;
    explicit NewHRFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int MSGKEY = 0;
};

struct MailFile : TypedFile<MailRecord> {
    static constexpr int Number = 13;
    explicit MailFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
    static constexpr int DATEKEY = 1;
    static constexpr int PAIRKEY = 2;
    static constexpr int FROMKEY = 3;
    static constexpr int TOKEY = 4;
    static constexpr int SUBJECTKEY = 5;
    static constexpr int STATUSKEY = 6;
};

struct CCRFile : TypedFile<CCRRecord> {
    static constexpr int Number = 17;
    explicit CCRFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
};

struct ImportedMessagesFile : TypedFile<ImportedMessagesRecord> {
    static constexpr int Number = 18;
    explicit ImportedMessagesFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
};

struct TempCCFile : TypedFile<CCTRecord> {
    static constexpr int Number = 19;
    explicit TempCCFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
};

struct ForumRefFile : TypedFile<ForumRefRecord> {
    static constexpr int Number = 22;
    explicit ForumRefFile(Store& s) : TypedFile(s, Number) {}
};

struct PLINKFile : TypedFile<PLINKRecord> {
    static constexpr int Number = 23;
    explicit PLINKFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int STRINGKEY = 0;
    static constexpr int PERSONKEY = 1;
};

struct TempIDFile : TypedFile<TIDRecord> {
    static constexpr int Number = 24;
    explicit TempIDFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
};

struct MsgStringFile : TypedFile<MsgStringRecord> {
    static constexpr int Number = 25;
    explicit MsgStringFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDSTRINGKEY = 0;
    static constexpr int IDKEY = 1;
};

struct TasksFile : TypedFile<TasksRecord> {
    static constexpr int Number = 26;
    explicit TasksFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
};

struct FileSpecsFile : TypedFile<FileSpecsRecord> {
    static constexpr int Number = 27;
    explicit FileSpecsFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
};

struct WordListFile : TypedFile<WordListRecord> {
    static constexpr int Number = 28;
    explicit WordListFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int BY_WORDID = 0;
    static constexpr int BY_THEWORD = 1;
    static constexpr int BY_WORDCOUNT = 2;
};

struct MasIdxFile : TypedFile<MasIdxRecord> {
    static constexpr int Number = 29;
    explicit MasIdxFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int BY_SYSID = 0;
    static constexpr int BY_WORDID = 1;
};

struct StopWordsFile : TypedFile<StopWordsRecord> {
    static constexpr int Number = 30;
    explicit StopWordsFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int BY_THEWORD = 0;
};

struct SearchFile : TypedFile<SearchRecord> {
    static constexpr int Number = 32;
    explicit SearchFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int SORTKEY = 0;
    static constexpr int IDKEY = 1;
};

struct PurgeListFile : TypedFile<PurgeListRecord> {
    static constexpr int Number = 33;
    explicit PurgeListFile(Store& s) : TypedFile(s, Number) {}
};

struct BatchesFile : TypedFile<BatchesRecord> {
    static constexpr int Number = 34;
    explicit BatchesFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
    static constexpr int TYPEKEY = 1;
};

struct TaskBatchesFile : TypedFile<TaskBatchesRecord> {
    static constexpr int Number = 35;
    explicit TaskBatchesFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int TASKKEY = 0;
    static constexpr int BATCHKEY = 1;
};

struct WordCharsFile : TypedFile<WordCharsRecord> {
    static constexpr int Number = 39;
    explicit WordCharsFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int BY_SETNAME = 0;
};

struct TaskLogFile : TypedFile<TaskLogRecord> {
    static constexpr int Number = 41;
    explicit TaskLogFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
    static constexpr int BYTASK = 1;
};

struct TaskLogItemsFile : TypedFile<TaskLogItemsRecord> {
    static constexpr int Number = 42;
    explicit TaskLogItemsFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
};

struct NeoFile : TypedFile<NeoRecord> {
    static constexpr int Number = 43;
    explicit NeoFile(Store& s) : TypedFile(s, Number) {}
    static constexpr int IDKEY = 0;
};

// Applies f(label, prefix, file) to every record file of a session.
#define QUILL_FOR_EACH_FILE(X) \
    X(Codes, COD) \
    X(Forums, FOR) \
    X(MsgNmbr, MSG) \
    X(MsgText, TXT) \
    X(Person, PER) \
    X(Sections, SEC) \
    X(Threads, THR) \
    X(Control, CTL) \
    X(SIndex, SIN) \
    X(NewHR, NHR) \
    X(Mail, MAI) \
    X(CCR, CCR) \
    X(ImportedMessages, IMP) \
    X(TempCC, CCT) \
    X(ForumRef, REF) \
    X(PLINK, PLI) \
    X(TempID, TID) \
    X(MsgString, MST) \
    X(Tasks, TAS) \
    X(FileSpecs, FLI) \
    X(WordList, WOR) \
    X(MasIdx, MAS) \
    X(StopWords, STO) \
    X(Search, SEA) \
    X(PurgeList, PUR) \
    X(Batches, BAT) \
    X(TaskBatches, TIM) \
    X(WordChars, WD) \
    X(TaskLog, TLO) \
    X(TaskLogItems, TLI) \
    X(Neo, NEO)

}  // namespace quill
