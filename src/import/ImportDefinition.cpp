#include "import/ImportDefinition.h"

#include <cstdio>

#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Preferences.h"
#include "import/ImportTypes.h"

namespace quill {

std::string selectionSeparator(const std::string& typeName) {
    return isImportType(typeName, "Outlook Mail") && typeName.size() >= 12 ? "##" : ";";
}

std::vector<std::string> splitSelectionFromEnd(const std::string& text, const std::string& separator) {
    std::vector<std::string> forward;
    if (separator.empty()) return forward;
    std::size_t start = 0;
    for (;;) {
        std::size_t pos = text.find(separator, start);
        std::string item = text.substr(start, pos == std::string::npos ? std::string::npos : pos - start);
        while (!item.empty() && item.front() == ' ') item.erase(item.begin());
        while (!item.empty() && item.back() == ' ') item.pop_back();
        if (!item.empty()) forward.push_back(std::move(item));
        if (pos == std::string::npos) break;
        start = pos + separator.size();
    }
    return {forward.rbegin(), forward.rend()};
}

std::string savedDescription(int32_t date, int32_t time) {
    // BAT:DESCRIPTION holds 50 characters; the long date with its weekday
    // ("Wednesday, September 30, 2026") makes the text too long for it, and a
    // clipped description would lose the time. The weekday is then left out;
    // should even that not fit, the caption is shortened. The date and time
    // always stay whole.
    constexpr std::size_t capacity = decltype(BatchesRecord::DESCRIPTION)::size();
    const std::string caption = "Saved from ImportWizard  ";
    const std::string longDate = formatDate(date, "@D18");
    const std::string when = " " + formatTime(time, "@T7");
    std::string text = caption + longDate + when;
    if (text.size() <= capacity) return text;
    std::string shortDate = longDate;
    if (std::size_t comma = shortDate.find(", "); comma != std::string::npos) shortDate.erase(0, comma + 2);
    text = caption + shortDate + when;
    if (text.size() <= capacity) return text;
    return "Saved " + shortDate + when;
}

void definitionToBatches(const ImportDefinition& def, BatchesRecord& BAT) {
    BAT.ID = def.id;
    BAT.TYPE = ImportProcedureType;
    BAT.DESCRIPTION = def.description;
    BAT.DATABASE = def.database;
    BAT.FILETYPE = def.fileType;
    BAT.IMPPATH = def.impPath;
    BAT.SELMETHOD = def.selMethod;
    BAT.MAILBOX = def.mailbox;
    BAT.MAILMSG = def.mailMsg;
    BAT.FORUMMSG = def.forumMsg;
    BAT.NEWSGROUPMSG = def.newsgroupMsg;
    BAT.MSGFILTER = def.msgFilter;
    BAT.ALLOWREIMP = def.allowReimp;
    BAT.MAILTOPIC = def.mailTopic;
}

ImportDefinition definitionFromBatches(const BatchesRecord& BAT) {
    ImportDefinition def;
    def.id = BAT.ID;
    def.description = BAT.DESCRIPTION.str();
    def.database = BAT.DATABASE;
    def.fileType = BAT.FILETYPE;
    def.typeName.clear();
    if (const ImportType* t = importTypeByNumber(def.fileType); t && t->offered()) def.typeName = std::string(t->name);
    else if (def.fileType == FixtureImportType) def.typeName = std::string(FixtureImportTypeName);
    def.impPath = BAT.IMPPATH.str();
    def.selMethod = BAT.SELMETHOD;
    def.mailbox = BAT.MAILBOX;
    def.mailMsg = BAT.MAILMSG;
    def.forumMsg = BAT.FORUMMSG;
    def.newsgroupMsg = BAT.NEWSGROUPMSG;
    def.msgFilter = BAT.MSGFILTER;
    def.allowReimp = BAT.ALLOWREIMP;
    def.mailTopic = BAT.MAILTOPIC;
    return def;
}

uint32_t saveImportDefinition(Session& s, ImportDefinition& def) {
    OP_CLOSE(s, OpOpenShared, {ControlFile::Number, BatchesFile::Number, FileSpecsFile::Number});
    auto done = [&](uint32_t id) {
        OP_CLOSE(s, OpClose, {ControlFile::Number, BatchesFile::Number, FileSpecsFile::Number});
        return id;
    };
    if (!beginWrites(s, {&s.Batches, &s.FileSpecs, &s.Control})) return done(0);
    uint32_t id = NextNr(s);
    if (id == 0) {
        (void)s.store.rollback();
        return done(0);
    }
    if (def.description.empty()) {
        // The description field holds 50 characters: the caller keeps what is saved.
        FStr<50> saved;
        saved = savedDescription(today(), clockNow());
        def.description = saved.str();
    }
    def.id = id;
    s.Batches.clearBuffer();
    definitionToBatches(def, s.BAT);
    if (!UppDat(s, s.Batches, UpdAdd, UpdReportRollback)) return done(0);
    for (auto& entry : splitSelectionFromEnd(def.masks, selectionSeparator(def.typeName))) {
        s.FileSpecs.clearBuffer();
        s.FLI.ID = id;
        s.FLI.FILESPEC = entry;
        if (s.FileSpecs.duplicate()) continue;
        if (!UppDat(s, s.FileSpecs, UpdAdd, UpdReportRollback)) return done(0);
    }
    if (!s.store.commit()) {
        s.tell(s.store.errorText(), "Warning!");
        return done(0);
    }
    Status b = s.FileSpecs.build();
    if (!b && b.code() != DupKeyErr) {
        s.tell(s.store.errorText() + "\r\n" + "Import file list can not be built!", "Key Build Error!");
    }
    return done(id);
}

namespace {
// The mask or selection string of a procedure from its FileSpecs (FileSpecs
// open).
std::string specsOf(Session& s, uint32_t id, const std::string& separator) {
    std::string out;
    s.FileSpecs.clearBuffer();
    s.FLI.ID = id;
    s.FileSpecs.setFrom(FileSpecsFile::IDKEY);
    while (s.FileSpecs.next() && uint32_t(s.FLI.ID) == id) {
        if (!out.empty()) out += separator;
        out += s.FLI.FILESPEC.str();
    }
    return out;
}
}  // namespace

std::optional<ImportDefinition> loadImportDefinition(Session& s, uint32_t batchId) {
    OP_CLOSE(s, OpOpenShared, {BatchesFile::Number, FileSpecsFile::Number});
    std::optional<ImportDefinition> result;
    s.Batches.clearBuffer();
    s.BAT.ID = batchId;
    if (s.Batches.get(BatchesFile::IDKEY) && uint32_t(s.BAT.TYPE) == ImportProcedureType) {
        ImportDefinition def = definitionFromBatches(s.BAT);
        def.masks = specsOf(s, batchId, selectionSeparator(def.typeName));
        result = std::move(def);
    }
    OP_CLOSE(s, OpClose, {BatchesFile::Number, FileSpecsFile::Number});
    return result;
}

std::vector<ImportDefinition> listImportDefinitions(Session& s) {
    OP_CLOSE(s, OpOpenShared, {BatchesFile::Number, FileSpecsFile::Number});
    std::vector<ImportDefinition> out;
    s.Batches.set(BatchesFile::IDKEY);
    while (s.Batches.next()) {
        if (uint32_t(s.BAT.TYPE) != ImportProcedureType) continue;
        ImportDefinition def = definitionFromBatches(s.BAT);
        def.masks = specsOf(s, def.id, selectionSeparator(def.typeName));
        out.push_back(std::move(def));
    }
    OP_CLOSE(s, OpClose, {BatchesFile::Number, FileSpecsFile::Number});
    return out;
}

}  // namespace quill
