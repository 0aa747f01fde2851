#include "import/ImportRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <set>

#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/FileMask.h"
#include "database/Preferences.h"

namespace quill {

namespace {

constexpr uint32_t kCommitAfter = 400;
constexpr std::size_t kMaxDirectories = 100000;

std::string clipped(std::string_view v) {
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.remove_suffix(1);
    return std::string(v);
}

bool statFile(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }

uint64_t sizeOf(const std::string& path) {
    struct stat st {};
    return statFile(path, st) && S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return statFile(path, st) && !S_ISDIR(st.st_mode);
}

// The subdirectories of dir, sorted.
std::vector<std::string> subdirectories(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec)) {
        std::error_code e2;
        if (it->is_directory(e2)) out.push_back(it->path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

ImportRun::ImportRun(Session& s, ImportDefinition def, RunOptions options)
    : s_(s),
      def_(std::move(def)),
      opt_(std::move(options)),
      registry_(opt_.registry ? opt_.registry : &ReaderRegistry::builtin()),
      writer_(s, owner_) {
    writer_.failAtMessage = opt_.failAtMessage;
}

ImportRun::~ImportRun() {
    if (phase_ == RunPhase::Closed) return;
    try {
        close();
    } catch (...) {
        // A fatal stop while closing: the program is ending anyway.
    }
}

bool ImportRun::scheduled() const { return s_.Mem.DoTask == 2; }

bool ImportRun::typeIs(std::string_view tableName) const { return isImportType(def_.typeName, tableName); }

bool ImportRun::step() {
    switch (phase_) {
        case RunPhase::Opening: opening(); break;
        case RunPhase::Setup: setup(); break;
        case RunPhase::NextWorkItem: nextWorkItem(); break;
        case RunPhase::PerFile: perFile(); break;
        case RunPhase::Reading: reading(); break;
        case RunPhase::EndOfStaging: endOfStaging(); break;
        case RunPhase::OpenDatabase: openDatabase(); break;
        case RunPhase::Storing: storing(); break;
        case RunPhase::CountPersons:
        case RunPhase::CountThreads:
        case RunPhase::CountSections: countPhase(phase_); break;
        case RunPhase::DatabaseDone: databaseDone(); break;
        case RunPhase::BuildImported: buildImported(); break;
        case RunPhase::End: end(); break;
        case RunPhase::Closed: return false;
    }
    return phase_ != RunPhase::Closed;
}

void ImportRun::runToEnd() {
    while (step()) {
    }
}

void ImportRun::fail(const std::string& reason) {
    if (failure_.empty()) failure_ = reason;
    if (txnOpen_ || s_.store.inTransaction()) (void)s_.store.rollback();
    txnOpen_ = false;
    forgetPending();
    phase_ = RunPhase::End;
}

// The messages of a transaction that was rolled back were never stored.
void ImportRun::forgetPending() {
    pendingImported_ = 0;
    pendingSkipped_ = 0;
    writer_.counts.clear();
}

void ImportRun::warn(const std::string& text, const std::string& caption) { s_.tell(text, caption); }

void ImportRun::setStatus(const std::string& status) { display_.status = status; }

void ImportRun::updateBar(double position) {
    double d = display_.divisor > 0 ? display_.divisor : 1;
    display_.barPosition = int32_t(position / d);
}

// ---------------------------------------------------------------------------
// 1. Opening

void ImportRun::opening() {
    display_ = RunDisplay{};
    startDate_ = today();
    startTime_ = clockNow();
    writer_.startDate = startDate_;
    writer_.startTime = startTime_;
    writer_.allowReimport = def_.allowReimp != 0;
    writer_.mailTopic = def_.mailTopic;
    batch_ = SpeedVal(s_, 3, 30);
    if (batch_ < 1) batch_ = 1;
    (void)StartStop(watch_, 1, 2);
    display_.title = scheduled() ? "Scheduled import" : "";
    display_.heading = clipped(def_.typeName) + " Import Processing";
    setStatus("Pre-import message conversion");
    phase_ = RunPhase::Setup;
}

// ---------------------------------------------------------------------------
// 2. Setup

void ImportRun::setup() {
    readerEntry_ = registry_->find(def_.typeName);
    if (!readerEntry_ && def_.fileType != 0) readerEntry_ = registry_->findNumber(def_.fileType);
    if (!readerEntry_ || !readerEntry_->make) {
        warn(noReaderText(def_.typeName.empty() ? std::to_string(def_.fileType) : def_.typeName), "Warning!");
        fail("no reader for the import type");
        return;
    }
    sizeDriven_ = sizeDrivenFamily(readerEntry_->family);

    // The identifier counter: the readers number staged messages from a
    // block of identifiers reserved in the generator, topped up as it runs
    // low, so that other programs keep drawing identifiers meanwhile.
    OP_CLOSE(s_, OpOpenShared, {ForumsFile::Number, ControlFile::Number});
    forumsControlOpen_ = true;
    uint32_t first = 0;
    s_.Control.clearBuffer();
    s_.CTL.ID = 1;
    bool haveCounter = bool(s_.Control.get(ControlFile::IDKEY)) && uint32_t(s_.CTL.NEXTNUMBER) != 0;
    if (!haveCounter || !reserveIdentifiers(s_, kIdentifierBlock, first)) {
        warn("No access to Control File!\r\nImport will not proceed!\r\n", "Warning!");
        fail("no access to the Control file");
        return;
    }
    counter_ = first;
    counterEnd_ = first + kIdentifierBlock;

    openStagingFiles(s_);
    stagingOpen_ = true;
    OP_CLOSE(s_, OpOpenShared, {ImportedMessagesFile::Number});
    importedOpen_ = true;
    if (s_.NewHR.lock(5)) newHRLocked_ = true;
    (void)s_.NewHR.stream();
    (void)s_.TempCC.stream();
    (void)s_.TempID.stream();

    targets_.load(s_);

    // The run values the readers use.
    ctx_ = std::make_unique<ReaderContext>(s_, def_, targets_, owner_, counter_);
    ctx_->batchSize = SpeedVal(s_, 3, 31);
    if (ctx_->batchSize < 1) ctx_->batchSize = 1;
    ctx_->forumName = def_.forumName;
    if (def_.database != 0) {
        s_.Forums.clearBuffer();
        s_.FOR.ID = def_.database;
        if (s_.Forums.get(ForumsFile::FORUMKEY)) ctx_->forumName = s_.FOR.DESCRIPTION.str();
    }
    if (def_.mailbox != 0) {
        owner_.setUp(s_, def_.mailbox);
        s_.Forums.clearBuffer();
        s_.FOR.ID = def_.mailbox;
        if (s_.Forums.get(ForumsFile::FORUMKEY)) ctx_->mailboxName = s_.FOR.DESCRIPTION.str();
    }

    // The work lists.
    std::string top = def_.impPath;
    if (def_.selMethod == SelectTree) {
        std::set<std::pair<dev_t, ino_t>> seen;
        std::vector<std::string> tree{top};
        struct stat st {};
        if (statFile(top, st)) seen.insert({st.st_dev, st.st_ino});
        for (std::size_t i = 0; i < tree.size() && tree.size() < kMaxDirectories; ++i) {
            for (auto& sub : subdirectories(tree[i])) {
                struct stat ss {};
                if (!statFile(sub, ss) || !seen.insert({ss.st_dev, ss.st_ino}).second) continue;  // loops
                tree.push_back(sub);
            }
        }
        dirs_.assign(tree.begin(), tree.end());
    } else {
        dirs_.push_back(top);
        if (def_.selMethod == SelectDirectory) {
            listDirectoryFiles(top);
        } else {
            // The selection is split from its end; the files are read in the
            // order they were given.
            auto names = splitSelectionFromEnd(def_.masks, selectionSeparator(def_.typeName));
            std::reverse(names.begin(), names.end());
            for (auto& name : names) {
                std::string full = !name.empty() && name[0] == '/' ? name : joinPath(top, name);
                files_.push_back({full, sizeOf(full)});
            }
        }
    }

    if (sizeDriven_) {
        double total = 0;
        if (def_.selMethod == SelectTree) {
            std::string masks = def_.masks;
            if (masks.empty()) {
                const ImportType* t = importTypeByName(def_.typeName);
                masks = t && !t->masks.empty() ? std::string(t->masks) : "*.*";
            }
            for (auto& d : dirs_)
                for (auto& n : listMatching(d, masks)) total += double(sizeOf(joinPath(d, n)));
        } else {
            for (auto& f : files_) total += double(f.size);
        }
        display_.total = total;
        CalcMax(display_.divisor, display_.barMax, total);
    }
    phase_ = RunPhase::NextWorkItem;
}

void ImportRun::listDirectoryFiles(const std::string& dir) {
    std::string masks = def_.masks;
    if (masks.empty()) {
        const ImportType* t = importTypeByName(def_.typeName);
        masks = t && !t->masks.empty() ? std::string(t->masks) : "*.*";
    }
    for (auto& n : listMatching(dir, masks)) {
        std::string full = joinPath(dir, n);
        files_.push_back({full, sizeOf(full)});
    }
}

// ---------------------------------------------------------------------------
// 3. Next work item, 4. per-file step, 5. reading

void ImportRun::nextWorkItem() {
    if (dirs_.empty()) {
        phase_ = RunPhase::EndOfStaging;
        return;
    }
    std::string dir = dirs_.front();
    dirs_.pop_front();
    if (def_.selMethod == SelectTree) listDirectoryFiles(dir);
    phase_ = RunPhase::PerFile;
}

void ImportRun::closeReader() {
    if (reader_) reader_->close();
    reader_.reset();
}

void ImportRun::perFile() {
    if (files_.empty()) {
        phase_ = RunPhase::NextWorkItem;
        return;
    }
    FileItem item = files_.front();
    files_.pop_front();
    progressBase_ += previousSize_;
    previousSize_ = item.size;
    display_.fileName = item.name;
    ReaderFamily family = readerEntry_->family;
    if (family != ReaderFamily::Automation && !fileExists(item.name)) {
        warn("The file " + item.name + " does not exist and will be skipped!", " Import Error ");
        return;
    }
    reader_ = readerEntry_->make();
    if (!reader_) {
        warn(noReaderText(def_.typeName), "Warning!");
        fail("no reader for the import type");
        return;
    }
    ctx_->state = ReaderOpen;
    ctx_->progress = 0;
    badRecords_ = 0;
    recordsRead_ = 0;
    ReaderOpening o = reader_->open(*ctx_, item.name);
    switch (o.outcome) {
        case OpenOutcome::CannotOpen:
            warn(item.name + " cannot be opened\r\n" + o.errorText + "\r\n" + "This file will be skipped!", "Warning!");
            closeReader();
            return;
        case OpenOutcome::NotRecognised:
            if (typeIs("CompuServe 3 and 4"))
                warn(item.name + " is not a CompuServe 3 or 4 file!\r\n" + "This file will be skipped!", "Warning!");
            else
                warn("Not a Forum message or mail file!\r\nMessages will not be imported!", "Warning!");
            closeReader();
            return;
        case OpenOutcome::Fatal:
            warn(o.errorText, "Warning!");
            closeReader();
            fail(o.errorText);
            return;
        case OpenOutcome::Ok:
            break;
    }
    ctx_->state = ReaderRead;
    fileStarts_.push_back({ctx_->staged, item.name});
    if (!sizeDriven_) {
        recordTotal_ = o.progressTotal;
        display_.total = o.progressTotal;
        CalcMax(display_.divisor, display_.barMax, o.progressTotal);
    }
    phase_ = RunPhase::Reading;
}

// Keeps the run's block of reserved identifiers from running out: a reader
// step draws far fewer than half a block.
bool ImportRun::topUpIdentifiers() {
    if (counter_ > counterEnd_) {
        fail("more identifiers were drawn than reserved");
        return false;
    }
    if (counterEnd_ - counter_ >= kIdentifierBlock / 2) return true;
    uint32_t first = 0;
    if (!reserveIdentifiers(s_, kIdentifierBlock, first)) {
        fail("no access to the Control file");
        return false;
    }
    // Another program drew identifiers since the last block: the rest of it
    // is left unused and numbering goes on in the new block.
    if (first != counterEnd_) counter_ = first;
    counterEnd_ = first + kIdentifierBlock;
    return true;
}

void ImportRun::reading() {
    if (!topUpIdentifiers()) return;
    // The staging files are written in deferred mode and flushed every 400
    // records.
    if (ctx_->staged - stagedAtFlush_ > kCommitAfter) {
        bool ok = s_.NewHR.flush() && s_.TempCC.flush() && s_.TempID.flush();
        ok = ok && s_.NewHR.stream() && s_.TempCC.stream() && s_.TempID.stream();
        if (!ok) {
            stagingFailed();
            return;
        }
        stagedAtFlush_ = ctx_->staged;
    }
    bool fileDone = false;
    if (readerEntry_->family == ReaderFamily::ForumTable) {
        for (int32_t i = 0; i < batch_ && !fileDone; ++i) {
            RecordOutcome r = reader_->readRecord(*ctx_);
            if (r == RecordOutcome::End) {
                fileDone = true;
                break;
            }
            ++recordsRead_;
            ctx_->progress += 1;
            if (r == RecordOutcome::Bad && ++badRecords_ >= 5) {
                bool cis = typeIs("CISCOMM");
                std::string kind = cis ? "CISCOM" : typeIs("OUI") ? "OUI" : "NavCIS";
                uint64_t pct = recordTotal_ > 0 ? uint64_t(double(recordsRead_) * 100.0 / recordTotal_) : 0;
                std::string advice =
                    cis ? "To physically remove deleted records from your CISCOM file, always use the PACK "
                          "option when closing your CISCOM session after records have been purged!"
                        : "To physically remove deleted records from your " + kind +
                              " file, always use the EXIT and PACK option when closing your " + kind +
                              " session after records have been purged!";
                warn("Quillmer has processed " + std::to_string(pct) + " % of this " + kind + " file " +
                         "and have encountered 5 bad records! They are probably deleted records that are still " +
                         "retained in the file. To ensure data integrity this file will be skipped! \r\n\r\n" + advice,
                     s_.store.errorText());
                fileDone = true;
            }
        }
    } else {
        fileDone = reader_->read(*ctx_);
    }
    if (ctx_->stagingFailed) {
        stagingFailed();
        return;
    }
    if (!ctx_->status.empty()) {
        setStatus(ctx_->status);
        ctx_->status.clear();
    }
    updateBar(sizeDriven_ ? double(progressBase_) + ctx_->progress : ctx_->progress);
    display_.staged = ctx_->staged;
    display_.skipped = ctx_->skipped;
    if (!topUpIdentifiers()) return;
    if (fileDone) {
        closeReader();
        phase_ = RunPhase::PerFile;
    }
    if (!spaceOk(s_.Mem.TempDir, false)) fail("too little disk space for the temporary import file");
}

// A write to the staging files failed: staging ends with one message, and
// nothing is stored.
void ImportRun::stagingFailed() {
    closeReader();
    std::string cause = s_.store.errorText();
    warn("The temporary import file could not be written: " + cause + "\r\n" + "Is the disk of " + s_.Mem.TempDir +
             " full?\r\n" + "Messages will not be imported!",
         "Warning!");
    fail("the temporary import file could not be written in " + s_.Mem.TempDir + " (" + cause + ")");
}

bool ImportRun::spaceOk(const std::string& path, bool storePhase) {
    uint64_t free = opt_.freeSpace ? opt_.freeSpace(path) : freeDiskSpace(path);
    if (free >= LowDiskSpace) return true;
    bool& accepted = storePhase ? dataSpaceAccepted_ : tempSpaceAccepted_;
    if (accepted) return true;
    if (s_.unattended()) return false;
    s_.beep();
    std::string tail =
        storePhase ? "This may be too little to allow import. Running out of diskspace may corrupt the currently "
                     "accessed data file(s).Press OK if you want to continue and Cancel if you want to abort the import!"
                   : "This may be too little for the temporary importfile. Running out of diskspace may corrupt the "
                     "currently accessed data file(s).Press OK if you want to continue and Cancel if you want to abort "
                     "the import!";
    Button b = s_.ask("You have only " + numberPicture(free, 14) + " bytes free on disk  " + path.substr(0, 2) + " " + tail,
                      "Warning", {Button::Ok, Button::Cancel}, Button::Cancel);
    if (b != Button::Ok) return false;
    accepted = true;  // asked once per phase
    return true;
}

// ---------------------------------------------------------------------------
// 6. End of staging

void ImportRun::endOfStaging() {
    setStatus("Building Temporary File Index!");
    closeReader();
    if (counter_ > counterEnd_) {
        fail("more identifiers were drawn than reserved");
        return;
    }
    // The unused rest of the reserved block goes back when nobody drew
    // identifiers after it.
    giveBackIdentifiers(s_, counter_, counterEnd_);
    counterEnd_ = counter_;

    if (!(s_.TempID.flush() && s_.NewHR.flush() && s_.TempCC.flush())) {
        stagingFailed();
        return;
    }
    Status b = s_.NewHR.build();
    if (!b && b.code() != DupKeyErr) {
        warn(s_.store.errorText() + "\r\n" + "Messages will not be imported!", "NewHR Key Build Error!");
        fail("the staging file could not be indexed");
        return;
    }
    b = s_.TempID.build();
    if (!b && b.code() != DupKeyErr) {
        warn(s_.store.errorText() + "\r\n" + "Messages will not be imported!", "TempID Key Build Error!");
        fail("the identifier staging file could not be indexed");
        return;
    }
    // Carbon copies are looked up by mail while storing; without their keys
    // the mail is stored without them.
    b = s_.TempCC.build();
    if (!b && b.code() != DupKeyErr) (void)s_.TempCC.empty();
    s_.NewHR.unlock();
    newHRLocked_ = false;

    uint64_t staged = GetFSize(s_.NewHR.name());
    if (CheckSpace(s_, staged, s_.Mem.FileDir, opt_.freeSpace) != 0) {
        fail("too little disk space for the import");
        return;
    }
    if (!targets_.prune(s_, opt_.task)) {
        warn("No messages found in selected file(s)!\r\nImport unsuccessful!", "Warning!");
        fail("no messages found in the selected files");
        return;
    }
    // The staging files are only read from now on, by this run alone: one
    // transaction over each keeps them from being locked and checked again
    // for every record read.
    (void)s_.NewHR.stream();
    (void)s_.TempCC.stream();
    (void)s_.TempID.stream();
    display_.total = double(s_.NewHR.records());
    display_.staged = uint32_t(display_.total);
    CalcMax(display_.divisor, display_.barMax, display_.total);
    storeProgress_ = 0;
    display_.barPosition = 0;
    display_.importingFrom = "Temporary File";
    display_.fileName.clear();
    setStatus("Importing messages");
    phase_ = RunPhase::OpenDatabase;
}

// ---------------------------------------------------------------------------
// 7. Store phase

void ImportRun::closeDatabaseFiles() {
    if (txnOpen_ || s_.store.inTransaction()) (void)s_.store.rollback();
    txnOpen_ = false;
    for (int n : openFiles_) OP_CLOSE(s_, OpClose, {n});
    openFiles_.clear();
}

void ImportRun::openDatabase() {
    if (!targets_.takeFirst(current_)) {
        closeDatabaseFiles();
        phase_ = RunPhase::BuildImported;
        return;
    }
    // A target that received no staged record (every message of it was
    // skipped while staging) is left alone: a new database is not created.
    s_.NewHR.clearBuffer();
    s_.NHR.INTERNAL = current_.stagingId;
    s_.NewHR.setFrom(NewHRFile::MSGKEY);
    if (!s_.NewHR.next() || uint32_t(s_.NHR.INTERNAL) != current_.stagingId) {
        // An existing database still gets its message count refreshed (a
        // run that ended early may have stored messages without it).
        if (!current_.isNew) refreshCountOf(current_);
        return;
    }

    closeDatabaseFiles();
    if (!targets_.selectEntry(s_, current_)) {
        // Its messages cannot be stored; the other databases still are.
        uint32_t lost = 0;
        do {
            ++lost;
        } while (s_.NewHR.next() && uint32_t(s_.NHR.INTERNAL) == current_.stagingId);
        warn("The database " + current_.description + " could not be opened for the import: " + s_.store.errorText() +
                 "\r\n" + std::to_string(lost) + " messages for it are skipped; the other databases are imported.",
             " Import Error ");
        display_.bad += lost;
        display_.skipped += lost;
        writerSkipped_ += lost;
        storeProgress_ += lost;
        return;
    }
    // An indexed database's word index goes out of date with the first
    // message stored into it; a database already flagged is left alone.
    raiseIndexFlag_ = s_.Mem.WordListIndexNeedsUpdate == 0;
    openFiles_ = StoreWriter::databaseFileNumbers(current_.type);
    for (int n : openFiles_) OP_CLOSE(s_, OpOpenShared, {n});
    display_.targetRecords = uint32_t(current_.type == TypeMail ? s_.Mail.records() : s_.MsgNmbr.records());
    display_.importingTo = current_.description;
    if (current_.type == TypeMail) owner_.setUp(s_, current_.id);
    else writer_.loadSections();
    writer_.counts.clear();

    s_.NewHR.clearBuffer();
    s_.NHR.INTERNAL = current_.stagingId;
    s_.NewHR.setFrom(NewHRFile::MSGKEY);
    sinceCommit_ = 0;
    exhausted_ = false;
    batchFirstSet_ = false;
    dbOpen_ = true;
    storingBegun_ = true;
    setStatus("Importing messages");
    phase_ = RunPhase::Storing;
}

bool ImportRun::beginTransaction() {
    if (txnOpen_) return true;
    std::vector<RecordFile*> files = writer_.transactionFiles(current_.type);
    // The catalogue row joins the transaction only while the index flag is
    // still to be raised: other programs write the catalogue too.
    if (raiseIndexFlag_) files.push_back(&s_.Forums);
    if (!beginWrites(s_, files)) return false;
    txnHasCatalogue_ = raiseIndexFlag_;
    // Another import may have committed sections and threads since this
    // run last read them: a thread is found, never made twice, and a
    // message stored again stays in the thread that counts it.
    writer_.forgetUncommitted(current_.type);
    txnOpen_ = true;
    txnBegun_ = std::chrono::steady_clock::now();
    return true;
}

bool ImportRun::commitTransaction() {
    if (!txnOpen_) return true;
    txnOpen_ = false;
    batchFirstSet_ = false;
    // The out-of-date flag of the word index is raised in the transaction
    // that stores the messages: no index run can see them without it.
    bool flagRaised = false;
    if (txnHasCatalogue_ && pendingImported_ > 0) {
        s_.Forums.clearBuffer();
        s_.FOR.ID = current_.id;
        if (s_.Forums.get(ForumsFile::FORUMKEY) && int32_t(s_.FOR.WORDLISTINDEXNEEDSUPDATE) == 0) {
            s_.FOR.WORDLISTINDEXNEEDSUPDATE = 1;
            if (!UppDat(s_, s_.Forums, UpdPut, UpdReportRollback)) {
                forgetPending();
                return false;
            }
        }
        flagRaised = true;
    }
    if (!s_.store.commit()) {
        warn("Transaction Frame Error!\r\n" + s_.store.errorText(), "Warning!");
        forgetPending();
        return false;  // sinceCommit_ still tells how many were lost
    }
    if (flagRaised) {
        raiseIndexFlag_ = false;
        if (s_.Mem.ForumNumber == current_.id) s_.Mem.WordListIndexNeedsUpdate = 1;
    }
    // Only now are the messages of the transaction stored.
    display_.imported += pendingImported_;
    writerSkipped_ += pendingSkipped_;
    display_.skipped = (ctx_ ? ctx_->skipped : 0) + writerSkipped_;
    pendingImported_ = pendingSkipped_ = 0;
    sinceCommit_ = 0;
    return true;
}

void ImportRun::finishCountsAndCommit() {
    if (!txnOpen_) return;
    std::size_t all = std::numeric_limits<std::size_t>::max();
    bool ok = writer_.applyPersonCounts(all);
    if (ok && current_.type != TypeMail) ok = writer_.applyThreadCounts(all);
    if (ok && current_.type == TypeForum) ok = writer_.applySectionCounts(all);
    writer_.counts.clear();
    if (!ok) {
        txnOpen_ = false;
        return;
    }
    (void)commitTransaction();
}

void ImportRun::storing() {
    if (!txnOpen_) {
        if (!beginTransaction()) {
            fail("the store transaction could not be started");
            return;
        }
        batchFirstSet_ = false;
        batchProgress_ = storeProgress_;
    }
    uint8_t type = current_.type;
    for (int32_t i = 0; i < batch_; ++i) {
        if (!s_.NewHR.next() || uint32_t(s_.NHR.INTERNAL) != current_.stagingId) {
            exhausted_ = true;
            break;
        }
        if (!batchFirstSet_) {
            batchFirst_ = s_.NewHR.position(NewHRFile::MSGKEY);
            batchFirstSet_ = true;
        }
        storeProgress_ += 1;
        if (badRows_.count(s_.NewHR.pointer())) continue;  // found unstorable before
        Stored r = storeOne(type);
        if (r == Stored::Ok) {
            ++pendingImported_;
            ++sinceCommit_;
        } else if (r == Stored::Duplicate) {
            ++pendingSkipped_;
        } else if (r == Stored::BatchLost) {
            restartBatch();
            return;
        } else if (r == Stored::Fatal) {
            return;
        }
    }
    display_.skipped = (ctx_ ? ctx_->skipped : 0) + writerSkipped_;
    updateBar(storeProgress_);
    if (exhausted_ || commitDue()) {
        // The counts of the messages of this transaction are written in it,
        // so that a committed transaction is complete.
        if (exhausted_) setStatus("Counting messages per person");
        phase_ = RunPhase::CountPersons;
    }
    if (!spaceOk(s_.Mem.FileDir, true)) {
        finishCountsAndCommit();
        fail("too little disk space for the import");
    }
}

namespace {
// Failures of the disk or of another program's hold end the run; any other
// failure belongs to the message that caused it.
bool failureEndsRun(int code) {
    switch (code) {
        case FileSystemErr:
        case NoMemoryErr:
        case AccessDeniedErr:
        case IsLockedErr:
        case IsHeldErr:
        case RecordNotAvailErr:
        case FileNotOpenErr:
        case TransactionActiveErr: return true;
        default: return false;
    }
}
}  // namespace

// Stores the current staged record under a savepoint: a message that cannot
// be stored is undone alone and reported, and the rest of its transaction
// stays.
ImportRun::Stored ImportRun::storeOne(uint8_t type) {
    int64_t row = s_.NewHR.pointer();
    std::string subject = s_.NHR.HEADING.str();
    if (!s_.store.savepoint()) {
        fail("the store transaction failed: " + s_.store.errorText());
        return Stored::Fatal;
    }
    s_.store.setError(NoError);
    ++attempts_;
    bool ok = true;
    StoreResult r;
    if (opt_.rejectAtMessage != 0 && attempts_ == opt_.rejectAtMessage) {
        if (opt_.rejectRollsBackAll) (void)s_.store.rollback();
        s_.store.setError(BadRecErr, "Simulated unstorable message");
        ok = false;
    } else {
        uint32_t sec = writer_.sectionOf(type, ok);
        if (ok) r = writer_.StoreStagedMessage(type, sec);
        ok = ok && r.code != StoreFailed;
    }
    if (ok) {
        if (!s_.store.releaseSavepoint()) {
            fail("the store transaction failed: " + s_.store.errorText());
            return Stored::Fatal;
        }
        return r.code == StoreStored ? Stored::Ok : Stored::Duplicate;
    }
    int code = s_.store.errorCode();
    std::string cause = s_.store.errorText();
    if (failureEndsRun(code)) {
        warn("The import is stopped: a message could not be written to " + s_.Mem.FileDir + " (" + cause +
                 ").\r\nThe messages stored before are kept; the last " + std::to_string(pendingImported_ + 1) +
                 " are not stored.",
             " Import Error ");
        fail("a message could not be written to " + s_.Mem.FileDir + ": " + cause);
        return Stored::Fatal;
    }
    reportBad(row, subject);
    badRows_.insert(row);
    if (txnOpen_ && s_.store.inTransaction()) {
        if (!s_.store.rollbackToSavepoint()) {
            fail("the store transaction failed: " + s_.store.errorText());
            return Stored::Fatal;
        }
        writer_.forgetUncommitted(type);
        return Stored::Bad;
    }
    // The failure took the whole transaction with it.
    txnOpen_ = false;
    return Stored::BatchLost;
}

// A message that cannot be stored: counted as bad and skipped, reported with
// the file it came from and its place there.
void ImportRun::reportBad(int64_t stagedRow, const std::string& subject) {
    ++display_.bad;
    ++writerSkipped_;
    std::string file = "the temporary file";
    int64_t place = stagedRow;
    for (auto it = fileStarts_.rbegin(); it != fileStarts_.rend(); ++it) {
        if (int64_t(it->first) < stagedRow) {
            file = it->second;
            place = stagedRow - int64_t(it->first);
            break;
        }
    }
    warn("Message " + std::to_string(place) + " of " + file + " (\"" + subject + "\") could not be stored: " +
             s_.store.errorText() + "\r\nIt is skipped; the other messages are imported.",
         " Import Error ");
}

// The open transaction was rolled back as a whole: its messages are stored
// again from its first record, without the ones found unstorable.
void ImportRun::restartBatch() {
    forgetPending();
    sinceCommit_ = 0;
    writer_.forgetUncommitted(current_.type);
    storeProgress_ = batchProgress_;
    if (batchFirstSet_) s_.NewHR.reset(batchFirst_);
    batchFirstSet_ = false;
    exhausted_ = false;
}

void ImportRun::countPhase(RunPhase phase) {
    if (!beginTransaction()) {
        fail("the store transaction could not be started");
        return;
    }
    std::size_t limit = std::size_t(batch_);
    uint8_t type = current_.type;
    bool ok = true;
    RunPhase next = phase;
    if (phase == RunPhase::CountPersons) {
        ok = writer_.applyPersonCounts(limit);
        if (ok && writer_.counts.persons.empty()) {
            next = type == TypeMail ? RunPhase::DatabaseDone : RunPhase::CountThreads;
            if (next == RunPhase::CountThreads && exhausted_) setStatus("Counting messages per thread");
        }
    } else if (phase == RunPhase::CountThreads) {
        ok = writer_.applyThreadCounts(limit);
        if (ok && writer_.counts.threads.empty()) {
            next = type == TypeForum ? RunPhase::CountSections : RunPhase::DatabaseDone;
            if (next == RunPhase::CountSections && exhausted_) setStatus("Counting messages per section");
        }
    } else {
        ok = writer_.applySectionCounts(limit);
        if (ok && writer_.counts.sections.empty()) next = RunPhase::DatabaseDone;
    }
    if (!ok) {
        txnOpen_ = false;
        fail("a count could not be written");
        return;
    }
    if (next != RunPhase::DatabaseDone) {
        phase_ = next;
        return;
    }
    // The transaction with its counts is complete.
    writer_.counts.clear();
    if (!commitTransaction()) {
        fail("the last " + std::to_string(sinceCommit_) + " messages could not be committed to " + s_.Mem.FileDir +
             ": " + s_.store.errorText());
        return;
    }
    if (!spaceOk(s_.Mem.FileDir, true)) {
        fail("too little disk space for the import");
        return;
    }
    if (exhausted_) {
        phase_ = RunPhase::DatabaseDone;
    } else {
        display_.status = "Importing messages";
        phase_ = RunPhase::Storing;
    }
}

// FOR:MSGCOUNT = the records of the database's header file, FOR:COUNTFLAG
// = 0 (its files are open). The count is taken and written in one
// transaction, so that an import running beside this one never leaves a
// count that misses its messages. Returns the count.
uint32_t ImportRun::writeMessageCount(uint32_t id, RecordFile& headers) {
    if (!beginWrites(s_, {&s_.Forums, &headers})) return uint32_t(headers.records());
    uint32_t count = uint32_t(headers.records());
    s_.Forums.clearBuffer();
    s_.FOR.ID = id;
    if (s_.Forums.get(ForumsFile::FORUMKEY)) {
        s_.FOR.MSGCOUNT = count;
        s_.FOR.COUNTFLAG = 0;
        if (!UppDat(s_, s_.Forums, UpdPut, UpdReportRollback)) return count;
    }
    (void)s_.store.commit();
    return count;
}

void ImportRun::refreshCountOf(const TargetEntry& e) {
    closeDatabaseFiles();
    if (!selectDatabase(s_, e.id)) return;
    int file = e.type == TypeMail ? MailFile::Number : MsgNmbrFile::Number;
    OP_CLOSE(s_, OpOpenShared, {file});
    (void)writeMessageCount(e.id, *s_.file(file));
    OP_CLOSE(s_, OpClose, {file});
}

void ImportRun::databaseDone() {
    refreshOpenDatabaseCount();
    setStatus("Importing messages");
    phase_ = RunPhase::OpenDatabase;
}

bool ImportRun::commitDue() const {
    // The transaction that holds the catalogue row ends with its first slice,
    // so that other programs wait for the catalogue no longer than that.
    if (txnHasCatalogue_ && sinceCommit_ > 0) return true;
    if (sinceCommit_ <= kCommitAfter) return false;
    if (opt_.commitSeconds <= 0 || sinceCommit_ >= opt_.commitMost) return true;
    return std::chrono::steady_clock::now() - txnBegun_ >= std::chrono::duration<double>(opt_.commitSeconds);
}

// The catalogue count of the database being stored, from its records (its
// files are open): after its last message and whenever the run ends early.
void ImportRun::refreshOpenDatabaseCount() {
    if (!dbOpen_) return;
    dbOpen_ = false;
    if (txnOpen_ || s_.store.inTransaction()) return;
    uint32_t count = writeMessageCount(current_.id, current_.type == TypeMail ? static_cast<RecordFile&>(s_.Mail)
                                                                              : static_cast<RecordFile&>(s_.MsgNmbr));
    display_.targetRecords = count;
}

// ---------------------------------------------------------------------------
// 8. Index of ImportedMessages, 9. end

void ImportRun::buildImported() {
    if (def_.allowReimp == 0) {
        setStatus("Building SaveFile Index!\r\n");
        Status b = s_.ImportedMessages.build();
        if (!b && b.code() != DupKeyErr) {
            warn(s_.store.errorText() + "\r\n" + "Message SaveFile can not be built!", "Key Build Error!");
            fail("the index of imported messages could not be built");
            return;
        }
    }
    normalEnd_ = true;
    phase_ = RunPhase::End;
}

void ImportRun::end() {
    if (ended_) {
        close();
        return;
    }
    ended_ = true;
    if (txnOpen_ || s_.store.inTransaction()) (void)s_.store.rollback();
    txnOpen_ = false;
    forgetPending();
    // The catalogue shows what was stored, also when the run ended early.
    refreshOpenDatabaseCount();
    // Forum messages are recorded in ImportedMessages without its keys; a
    // run that did not reach the build rebuilds them before it closes.
    if (!normalEnd_ && storingBegun_ && importedOpen_ && def_.allowReimp == 0) (void)s_.ImportedMessages.build();
    seconds_ = StartStop(watch_, 2, 2);
    setStatus(display_.imported > 0 ? "The import process has finished!" : "No messages to import!");
    if (!s_.unattended() && konfigNumber(s_, 32) != 0) {
        s_.beep();
        warn("The time for completion was: " + std::to_string(seconds_) + " seconds", " Import Processing ");
    }
    close();
}

void ImportRun::close() {
    if (phase_ == RunPhase::Closed) return;
    if (!ended_) seconds_ = StartStop(watch_, 2, 2);
    closeReader();
    ctx_.reset();
    dirs_.clear();
    files_.clear();
    writer_.counts.clear();
    if (txnOpen_ || s_.store.inTransaction()) (void)s_.store.rollback();
    txnOpen_ = false;
    closeDatabaseFiles();
    if (controlLocked_) s_.Control.unlock();
    controlLocked_ = false;
    if (newHRLocked_) s_.NewHR.unlock();
    newHRLocked_ = false;
    if (stagingOpen_) closeStagingFiles(s_, true);
    stagingOpen_ = false;
    if (importedOpen_) OP_CLOSE(s_, OpClose, {ImportedMessagesFile::Number});
    importedOpen_ = false;
    if (forumsControlOpen_) OP_CLOSE(s_, OpClose, {ForumsFile::Number, ControlFile::Number});
    forumsControlOpen_ = false;
    targets_.clear();
    phase_ = RunPhase::Closed;
    if (scheduled() && opt_.task) opt_.task->importFinished(normalEnd_ ? RunResultOk : RunResultFailed, seconds_);
}

bool ImportRun::requestStop() {
    if (phase_ == RunPhase::Closed) return true;
    bool storePhase = storingBegun_ && phase_ != RunPhase::End;
    if (storePhase) {
        Button b = s_.ask("Stopping at this stage will cause message counts \r\nper section, thread and person to be "
                          "incorrect.\r\nIf you do quit, please run the Count Messages process to correct the numbers! "
                          "Are you sure you want to quit?",
                          "Import process interrupted", {Button::Yes, Button::No}, Button::Yes);
        if (b != Button::Yes) return false;
    }
    if (stagingOpen_) (void)s_.NewHR.flush();
    if (newHRLocked_) s_.NewHR.unlock();
    newHRLocked_ = false;
    if (controlLocked_) s_.Control.unlock();
    controlLocked_ = false;
    // What the open transaction holds is complete (messages with their
    // counts): it is committed.
    finishCountsAndCommit();
    if (failure_.empty()) failure_ = "stopped by the user";
    phase_ = RunPhase::End;
    end();
    return true;
}

}  // namespace quill
