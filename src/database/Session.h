// One installation as a running program sees it: the shared variables, the
// record files with their buffers and open counters, the record store and the
// user interface. Procedures reach all of it through the session, so that a
// test builds a fresh one in a temporary directory and two tests never share
// state.
#pragma once

#include <array>
#include <string>

#include "database/Files.h"
#include "database/PreferenceState.h"
#include "database/RecordStore.h"
#include "database/UserInterface.h"

namespace quill {

// The shared variables of the selected database and the installation.
struct MemVars {
    uint32_t ForumNumber = 0;            // FOR:ID of the active database, 0 = none
    uint8_t ForumType = 0;               // 1 Forum, 2 Mail, 3 Newsgroup
    std::string Description;             // its description
    std::string Dirnamn;                 // its directory name ("F" and the number)
    std::string FileDir;                 // data top directory
    std::string Net;                     // configuration top directory
    std::string TempDir;                 // temporary directory
    uint32_t PersonID = 0;               // the mailbox owner (Mail databases)
    uint8_t TargetNG = 0;                // the database collects several newsgroups
    uint8_t ForumCheck = 0;              // status of the database
    int32_t WordListIndexNeedsUpdate = 0;
    uint8_t IndexType = 0;
    uint8_t DoTask = 0;                  // 2 and 6: a scheduled task runs unattended
    uint8_t ScrRes = 0;
};

class Session {
public:
    explicit Session(UserInterface& ui);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Store store;
    UserInterface* ui;
    MemVars Mem;
    std::string MasIdxPath;              // word index top directory
    bool IndexingInProgress = false;
    int GlobalRequest = 0, GlobalResponse = 0;
    std::string FileName;                // physical name of the file about to be opened
    std::string FileTmpName;             // full path of a file of the user rule
    std::string StagingDir;              // this program's import staging directory (empty: the temporary directory)
    PreferenceState prefs;

#define QUILL_DECLARE_FILE(Label, Prefix) Label##File Label{store};
    QUILL_FOR_EACH_FILE(QUILL_DECLARE_FILE)
#undef QUILL_DECLARE_FILE

    // The record buffers under their prefixes (CCR's buffer is CCR.rec: the
    // file and its prefix share the name).
    CodesRecord& COD = Codes.rec;
    ForumsRecord& FOR = Forums.rec;
    MsgNmbrRecord& MSG = MsgNmbr.rec;
    MsgTextRecord& TXT = MsgText.rec;
    PersonRecord& PER = Person.rec;
    SectionsRecord& SEC = Sections.rec;
    ThreadsRecord& THR = Threads.rec;
    ControlRecord& CTL = Control.rec;
    SIndexRecord& SIN = SIndex.rec;
    NewHRRecord& NHR = NewHR.rec;
    MailRecord& MAI = Mail.rec;
    ImportedMessagesRecord& IMP = ImportedMessages.rec;
    CCTRecord& CCT = TempCC.rec;
    ForumRefRecord& REF = ForumRef.rec;
    PLINKRecord& PLI = PLINK.rec;
    TIDRecord& TID = TempID.rec;
    MsgStringRecord& MST = MsgString.rec;
    TasksRecord& TAS = Tasks.rec;
    FileSpecsRecord& FLI = FileSpecs.rec;
    WordListRecord& WOR = WordList.rec;
    MasIdxRecord& MAS = MasIdx.rec;
    StopWordsRecord& STO = StopWords.rec;
    SearchRecord& SEA = Search.rec;
    PurgeListRecord& PUR = PurgeList.rec;
    BatchesRecord& BAT = Batches.rec;
    TaskBatchesRecord& TIM = TaskBatches.rec;
    WordCharsRecord& WD = WordChars.rec;
    TaskLogRecord& TLO = TaskLog.rec;
    TaskLogItemsRecord& TLI = TaskLogItems.rec;
    NeoRecord& NEO = Neo.rec;

    // The record file of a file number; nullptr for numbers that are not
    // record files (foreign tables, byte files, unused numbers).
    RecordFile* file(int number);
    // The open counter of a file number.
    int& openCount(int number) { return openCounts_.at(std::size_t(number)); }

    // While a scheduled task runs, nothing is shown and defaults are taken.
    bool unattended() const { return Mem.DoTask == 2 || Mem.DoTask == 6; }
    // A message box, skipped while unattended.
    void tell(const std::string& text, const std::string& caption, Icon icon = Icon::Exclamation);
    // A question; while unattended the default is the answer.
    Button ask(const std::string& text, const std::string& caption, const std::vector<Button>& buttons,
               Button defaultButton, Icon icon = Icon::Question);
    void beep();
    // Ends the program after a fatal error: the message is shown (unless
    // unattended) and the stop unwinds to the program's top.
    [[noreturn]] void stop(const std::string& text, const std::string& caption, const std::string& notice = {});

private:
    std::array<int, 64> openCounts_{};
};

}  // namespace quill
