// The import run: a step machine that reads every chosen file with the reader
// of its import type, stages the messages in the temporary directory, and
// then stores them database by database with their persons, threads,
// sections and counts. Each step() does one bounded slice of work; the
// desktop program calls it from a timer, the command-line tool from a loop,
// the tests directly.
//
//   opening -> setup -> next work item <-> per-file step <-> reading
//     -> end of staging
//     -> per target database: open -> storing (transactions of ~400 records,
//        each closed by the person / thread / section count phases)
//        -> message count of the database
//     -> index of ImportedMessages -> end
//
// Failures jump to the end. A failed write rolls back the open transaction,
// so a message is stored whole or not at all, and so are the counts of the
// messages of a committed transaction.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "database/Session.h"
#include "import/ImportDefinition.h"
#include "import/ImportTypes.h"
#include "import/RunSupport.h"
#include "import/StoreWriter.h"
#include "import/TargetList.h"
#include "import/TaskLink.h"

namespace quill {

enum class RunPhase : uint8_t {
    Opening,
    Setup,
    NextWorkItem,
    PerFile,
    Reading,
    EndOfStaging,
    OpenDatabase,
    Storing,
    CountPersons,
    CountThreads,
    CountSections,
    DatabaseDone,
    BuildImported,
    End,
    Closed,
};

// What the window shows.
struct RunDisplay {
    std::string title;            // "Scheduled import" in a scheduled run
    std::string heading;          // type name + " Import Processing"
    std::string status;
    std::string fileName;         // the file being read
    std::string importingFrom;    // " Importing from: " ...
    std::string importingTo;      // " Importing to: " ...
    uint32_t imported = 0;        // messages stored and committed
    uint32_t skipped = 0;
    uint32_t bad = 0;             // messages that could not be stored (also in skipped)
    uint32_t staged = 0;
    uint32_t targetRecords = 0;   // records in the current target database
    double total = 0;
    int32_t divisor = 1;
    int16_t barMax = 0;
    int32_t barPosition = 0;
};

struct RunOptions {
    // The readers; nullptr = the built-in list.
    const ReaderRegistry* registry = nullptr;
    // The task runner of a scheduled run (Mem.DoTask 2); may be nullptr.
    TaskLink* task = nullptr;
    // Free space of a drive; empty = the file system's.
    FreeSpaceProbe freeSpace;
    // The store phase commits its transaction once it holds more than 400
    // messages and has been open this long (or holds commitMost messages):
    // fewer, larger commits, while a crash still loses only the open
    // transaction and a stop is still obeyed at once. 0 = after every 400.
    double commitSeconds = 1.0;
    uint32_t commitMost = 20000;
    // Test hook: the text write of the k-th stored message fails like a
    // failed disk write (the run ends).
    uint64_t failAtMessage = 0;
    // Test hook: the k-th message to store is refused as unstorable (the
    // message is skipped and reported, the run goes on).
    uint64_t rejectAtMessage = 0;
    // ... and the refusal takes the whole open transaction with it, as a
    // failed write of the record layer does.
    bool rejectRollsBackAll = false;
};

class ImportRun {
public:
    ImportRun(Session& s, ImportDefinition def, RunOptions options = {});
    ~ImportRun();
    ImportRun(const ImportRun&) = delete;
    ImportRun& operator=(const ImportRun&) = delete;

    // One slice of work; false once the run has closed.
    bool step();
    // Runs step() until the run has closed.
    void runToEnd();

    // The stop button. Before the store phase the run stops at once; once
    // storing has begun the user is asked first ("Import process
    // interrupted"), and No lets the run go on. True when the run stops.
    bool requestStop();

    bool closed() const { return phase_ == RunPhase::Closed; }
    // The run reached its normal end.
    bool succeeded() const { return normalEnd_; }
    RunPhase phase() const { return phase_; }
    const RunDisplay& display() const { return display_; }
    int32_t seconds() const { return seconds_; }
    bool scheduled() const;
    // The reason of a failed run, for tools that want one line ("" when it
    // succeeded).
    const std::string& failure() const { return failure_; }

private:
    struct FileItem {
        std::string name;
        uint64_t size = 0;
    };

    void opening();
    void setup();
    void nextWorkItem();
    void perFile();
    void reading();
    void endOfStaging();
    void openDatabase();
    void storing();
    void countPhase(RunPhase phase);
    void databaseDone();
    uint32_t writeMessageCount(uint32_t id, RecordFile& headers);
    void refreshCountOf(const TargetEntry& e);
    void buildImported();
    void end();
    void close();

    // How storing one staged message went.
    enum class Stored : uint8_t { Ok, Duplicate, Bad, BatchLost, Fatal };
    Stored storeOne(uint8_t type);
    bool commitDue() const;
    void reportBad(int64_t stagedRow, const std::string& subject);
    void stagingFailed();
    void restartBatch();
    void forgetPending();
    void refreshOpenDatabaseCount();
    void fail(const std::string& reason);
    void warn(const std::string& text, const std::string& caption);
    void setStatus(const std::string& status);
    bool beginTransaction();
    bool commitTransaction();
    void finishCountsAndCommit();
    bool spaceOk(const std::string& path, bool storePhase);
    void updateBar(double position);
    void listDirectoryFiles(const std::string& dir);
    void closeReader();
    void closeDatabaseFiles();
    bool typeIs(std::string_view tableName) const;

    Session& s_;
    ImportDefinition def_;
    RunOptions opt_;
    const ReaderRegistry* registry_;
    const ReaderRegistry::Entry* readerEntry_ = nullptr;
    RunPhase phase_ = RunPhase::Opening;
    RunDisplay display_;
    Stopwatch watch_;

    // Run values.
    int32_t startDate_ = 0, startTime_ = 0;
    int32_t batch_ = 50;
    uint32_t counter_ = 0;
    bool controlLocked_ = false;
    uint32_t counterEnd_ = 0;  // end of the block of identifiers reserved for staging
    static constexpr uint32_t kIdentifierBlock = 10000;
    bool topUpIdentifiers();
    bool newHRLocked_ = false;
    bool stagingOpen_ = false;
    bool importedOpen_ = false;
    bool forumsControlOpen_ = false;
    bool storingBegun_ = false;
    bool normalEnd_ = false;
    bool ended_ = false;
    bool stopRequested_ = false;
    int32_t seconds_ = 0;
    std::string failure_;
    bool tempSpaceAccepted_ = false, dataSpaceAccepted_ = false;

    // Work lists.
    std::deque<std::string> dirs_;
    std::deque<FileItem> files_;
    uint64_t progressBase_ = 0, previousSize_ = 0;
    bool sizeDriven_ = false;

    // The file being read.
    std::unique_ptr<Reader> reader_;
    uint32_t badRecords_ = 0;
    uint64_t recordsRead_ = 0;
    double recordTotal_ = 0;
    uint32_t stagedAtFlush_ = 0;

    TargetList targets_;
    MailboxOwner owner_;
    std::unique_ptr<ReaderContext> ctx_;
    StoreWriter writer_;

    // The store phase.
    TargetEntry current_;
    std::vector<int> openFiles_;
    uint32_t sinceCommit_ = 0;
    uint32_t writerSkipped_ = 0;
    bool exhausted_ = false;
    bool txnOpen_ = false;
    bool raiseIndexFlag_ = false;    // FOR:WORDLISTINDEXNEEDSUPDATE of current_ is still 0
    bool txnHasCatalogue_ = false;   // the open transaction holds the catalogue
    std::chrono::steady_clock::time_point txnBegun_{};
    bool dbOpen_ = false;            // current_ is selected with its files open
    double storeProgress_ = 0;
    // What the open transaction holds; shown once it is committed.
    uint32_t pendingImported_ = 0, pendingSkipped_ = 0;
    // The first staged record of the open transaction: a transaction that a
    // failed message took down whole is stored again from there.
    Position batchFirst_;
    bool batchFirstSet_ = false;
    double batchProgress_ = 0;
    std::set<int64_t> badRows_;      // staged records found unstorable
    uint64_t attempts_ = 0;          // messages handed to the writer
    // Where each file's staged records begin (records staged before it).
    std::vector<std::pair<uint32_t, std::string>> fileStarts_;
};

}  // namespace quill
