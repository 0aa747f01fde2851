// Record layouts of every record file. Each struct is exactly the stored
// image of one record: members are byte-aligned fixed-width values in stored
// order, so sizeof(struct) is the record length and a static_assert pins it.
// Groups that a layout addresses both as one string and as members are unions.
// Arrays (DIM) are numbered from 0 here where the stored layout counts from 1.
#pragma once

#include "database/Types.h"

namespace quill {

// Status byte values of MSG:DUMMY, MAI:DUMMY, THR:DUMMY, SEC:DUMMY, PER:DUMMY, FOR:DUMMY.
enum RecordStatus : uint8_t { StatusNormal = 0, StatusKeep = 1, StatusDelete = 2 };
// FOR:TYPE values.
enum DatabaseType : uint8_t { TypeForum = 1, TypeMail = 2, TypeNewsgroup = 3 };

struct CodesRecord {  // COD, file 1
    Byte TYPE;
    FStr<40> INDEX;
    ULong ID;
    ULong COUNT;
    Long DATE;
    Long TIME;
    Byte CHARCASE;
    Byte WORDONLY;
};
static_assert(sizeof(CodesRecord) == 59);

struct ForumsRecord {  // FOR, file 2
    ULong ID;
    FStr<100> DESCRIPTION;
    ULong REDIRNOW;
    ULong REDIRBEFORE;
    Byte TARGETNG;
    ULong DIRNUMBER;
    Byte NODIR;
    Byte TYPE;
    Byte NOIMPORT;
    ULong MSGCOUNT;
    Byte COUNTFLAG;
    Byte DUMMY;
    Long CREATED;
    Long LOWDATE;
    FStr<60> MAILADDRESS;
    ULong PERSONID;
    FStr<60> ALTADDRESS[10];
    ULong LASTMSGID;
    ULong RECSLASTTIME;
    Long WORDLISTINDEXNEEDSUPDATE;
    Byte INDEXTYPE;
};
static_assert(sizeof(ForumsRecord) == 811);

struct MsgNmbrRecord {  // MSG, file 3
    ULong MSGNUMBER;
    ULong SECSYSID;
    ULong REFNUMBER;
    ULong THREADNUMBER;
    FStr<10> THREADALPHA;
    ULong FROMID;
    FStr<10> FROMALPHA;
    ULong TOID;
    FStr<10> TOALPHA;
    Long DATE;
    Byte DUMMY;
    Byte FG;
};
static_assert(sizeof(MsgNmbrRecord) == 60);

struct MsgTextRecord {  // TXT, file 4; the text itself is the memo MSGTEXT
    ULong MSGNUMBER;
    Long DATE;
    Long TIME;
};
static_assert(sizeof(MsgTextRecord) == 12);

struct PersonRecord {  // PER, file 5
    ULong PERSONID;
    FStr<100> PERSONSTRING;
    FStr<25> LASTNAME;
    FStr<25> FIRSTNAME;
    FStr<60> ADDRESS;
    ULong FROMCOUNT;
    ULong TOCOUNT;
    Long LASTDATE;
    Byte DUMMY;
};
static_assert(sizeof(PersonRecord) == 227);

struct SectionsRecord {  // SEC, file 6
    ULong SECTIONNUMBER;
    ULong SECSYSID;
    FStr<100> DESCRIPTION;
    ULong MSGCOUNT;
    Byte DUMMY;
};
static_assert(sizeof(SectionsRecord) == 113);

struct ThreadsRecord {  // THR, file 7
    ULong THREADNUMBER;
    ULong SECSYSID;
    union {
        Group<100> HEADING;
        struct {
            FStr<10> ALPHA;
            FStr<90> BETA;
        };
    };
    ULong MSGCOUNT;
    Byte DUMMY;
};
static_assert(sizeof(ThreadsRecord) == 113);

struct ControlRecord {  // CTL, file 8
    Byte ID;
    ULong NEXTNUMBER;
    union {
        Group<257> CTLGROUP;
        unsigned char CTLFIELD[257];
    };
};
static_assert(sizeof(ControlRecord) == 262);

struct SIndexRecord {  // SIN, file 9
    ULong ID;
    ULong MSGNUMBER;
};
static_assert(sizeof(SIndexRecord) == 8);

struct NewHRRecord {  // NHR, file 10; the staged text is the memo MSGTEXT
    ULong INTERNAL;
    ULong MSGNUMBER;
    ULong REFNUMBER;
    FStr<100> FOR_DESCRIPTION;
    ULong SECTIONNUMBER;
    FStr<100> SEC_DESCRIPTION;
    FStr<100> HEADING;
    FStr<60> S_CISADRESS;
    FStr<60> S_NAME;
    FStr<60> R_CISADRESS;
    FStr<60> R_NAME;
    Byte DUMMY;
    Long DATE;
    Long TIME;
    Byte MAILTYPE;
    FStr<2> RECIPTYPE;
    Long IMPDATE;
    Long IMPTIME;
};
static_assert(sizeof(NewHRRecord) == 576);

struct MailRecord {  // MAI, file 13
    Long DATE;
    Long TIME;
    FStr<50> SUBJECT;
    ULong MAILID;
    ULong FROMID;
    FStr<10> FROMALPHA;
    ULong TOID;
    FStr<10> TOALPHA;
    ULong PAIRID;
    FStr<25> PAIRALPHA;
    FStr<2> RECIPTYPE;
    Byte CCR;
    Byte DUMMY;
    Byte FG;
};
static_assert(sizeof(MailRecord) == 124);

struct CCRRecord {  // CCR, file 17 (and CCT, file 19: the staged copy)
    ULong MAILID;
    FStr<40> R_NAME;
    FStr<60> R_CISADRESS;
    FStr<2> RECIPTYPE;
};
static_assert(sizeof(CCRRecord) == 106);
using CCTRecord = CCRRecord;

struct ImportedMessagesRecord {  // IMP, file 18
    ULong FORUMNUMBER;
    ULong MSGNUMBER;
};
static_assert(sizeof(ImportedMessagesRecord) == 8);

struct ForumRefRecord {  // REF, file 22
    Byte TYPE;
    FStr<100> DESCRIPTION;
    Byte TARGETNG;
    Long PERSONID;
    FStr<60> MAILADDRESS;
    FStr<60> ALTADDRESS[10];
};
static_assert(sizeof(ForumRefRecord) == 766);

struct PLINKRecord {  // PLI, file 23
    FStr<100> PERSONSTRING;
    ULong PERSONID;
};
static_assert(sizeof(PLINKRecord) == 104);

struct TIDRecord {  // TID, file 24 (and MST, file 25)
    FStr<60> IDSTRING;
    ULong MSGNUMBER;
};
static_assert(sizeof(TIDRecord) == 64);
using MsgStringRecord = TIDRecord;

struct TasksRecord {  // TAS, file 26
    ULong ID;
    FStr<50> DESCRIPTION;
    Long RUNNOWDATE;
    Long RUNNOWTIME;
    Long RUNNEXTDATE;
    Long RUNNEXTTIME;
    Long LASTRUNDATE;
    Long LASTRUNTIME;
    union {
        Group<7> DAILYREPEAT;
        Byte DAYS[7];
    };
    union {
        Group<5> MONTHLYREPEAT;
        Byte MONTHDAYS[5];
    };
    Byte DODUPELIM;
    Byte DOPURGE;
    Byte DOCOUNT;
    Byte DOINDEX;
    Byte RESULTCODE;
    Byte ACTIVE;
};
static_assert(sizeof(TasksRecord) == 96);

struct FileSpecsRecord {  // FLI, file 27
    ULong ID;
    FStr<254> FILESPEC;
};
static_assert(sizeof(FileSpecsRecord) == 258);

struct WordListRecord {  // WOR, file 28
    Long WORDID;
    FStr<40> THEWORD;
    Long WORDCOUNT;
};
static_assert(sizeof(WordListRecord) == 48);

struct MasIdxRecord {  // MAS, file 29
    ULong SYSID;
    ULong WORDID;
};
static_assert(sizeof(MasIdxRecord) == 8);

struct StopWordsRecord {  // STO, file 30
    FStr<40> THEWORD;
};
static_assert(sizeof(StopWordsRecord) == 40);

struct SearchRecord {  // SEA, file 32
    ULong SORT;
    ULong ID;
};
static_assert(sizeof(SearchRecord) == 8);

struct PurgeListRecord {  // PUR, file 33
    Long SYSID;
    Long WORDID;
};
static_assert(sizeof(PurgeListRecord) == 8);

struct BatchesRecord {  // BAT, file 34
    ULong ID;
    ULong TYPE;
    FStr<50> DESCRIPTION;
    ULong DATABASE;
    Byte FILETYPE;
    FStr<254> IMPPATH;
    Byte SELMETHOD;
    ULong MAILBOX;
    Byte MAILMSG;
    Byte FORUMMSG;
    Byte NEWSGROUPMSG;
    Byte MSGFILTER;
    Byte ALLOWREIMP;
    ULong MAILTOPIC;
};
static_assert(sizeof(BatchesRecord) == 331);

struct TaskBatchesRecord {  // TIM, file 35
    ULong TASKID;
    ULong BATCHID;
    Long EVENTTIME;
    Byte RESULTCODE;
};
static_assert(sizeof(TaskBatchesRecord) == 13);

struct WordCharsRecord {  // WD, file 39
    FStr<40> SETNAME;
    Byte ID;
    Byte STARTWORD;
    Byte INWORD;
    Byte ENDWORD;
};
static_assert(sizeof(WordCharsRecord) == 44);

struct TaskLogRecord {  // TLO, file 41
    ULong TASKLOGID;
    ULong TASKID;
    Long DATESTARTED;
    Long DATEFINISHED;
    Long TIMESTARTED;
    Long TIMEFINISHED;
    Byte RESULTCODE;
};
static_assert(sizeof(TaskLogRecord) == 25);

struct TaskLogItemsRecord {  // TLI, file 42
    ULong TASKLOGID;
    ULong TYPE;
    ULong BATCHID;
    Long DATESTARTED;
    Long DATEFINISHED;
    Long TIMESTARTED;
    Long TIMEFINISHED;
    Byte RESULTCODE;
};
static_assert(sizeof(TaskLogItemsRecord) == 29);

struct NeoRecord {  // NEO, file 43
    ULong ID;
    union {
        Group<100> NEOGROUP;
        Byte NEOFIELD[100];
    };
};
static_assert(sizeof(NeoRecord) == 104);

}  // namespace quill
