#include "import/ImportChoices.h"

#include <algorithm>
#include <filesystem>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/FileMask.h"
#include "database/Installation.h"
#include "people/Databases.h"

namespace quill {

namespace {

std::string absolute(const std::string& p) {
    std::error_code ec;
    auto a = std::filesystem::absolute(p, ec);
    return ec ? p : a.lexically_normal().string();
}

// The selected database of s is put back when the guard goes.
struct KeepSelection {
    Session& s;
    uint32_t was;
    explicit KeepSelection(Session& session) : s(session), was(session.Mem.ForumNumber) {}
    ~KeepSelection() {
        if (s.Mem.ForumNumber == was) return;
        if (was == 0 || !selectDatabase(s, was)) clearSelection(s);
    }
};

}  // namespace

std::vector<MailTopic> mailTopicsOf(Session& s, uint32_t mailbox) {
    std::vector<MailTopic> out;
    if (mailbox == 0) return out;
    KeepSelection keep(s);
    if (!selectDatabase(s, mailbox)) return out;
    OP_CLOSE(s, OpOpenShared, {CodesFile::Number});
    s.Codes.clearBuffer();
    s.COD.TYPE = 2;
    s.Codes.setFrom(CodesFile::CLASSKEY);
    while (s.Codes.next() && s.COD.TYPE == 2) out.push_back({uint32_t(s.COD.ID), s.COD.INDEX.str()});
    OP_CLOSE(s, OpClose, {CodesFile::Number});
    return out;
}

DefinitionOutcome buildImportDefinition(Session& s, const ImportChoices& c, const ReaderRegistry& registry) {
    DefinitionOutcome out;
    ImportDefinition& def = out.def;
    auto refuse = [&](std::string why) {
        out.error = std::move(why);
        return out;
    };

    TypeChoice choice = resolveImportType(c.type, registry);
    if (choice.name.empty()) return refuse("Unknown file type '" + c.type + "'.");
    def.typeName = choice.name;
    def.fileType = uint8_t(choice.number);
    def.mailMsg = c.mailMsg;
    def.forumMsg = c.forumMsg;
    def.newsgroupMsg = c.newsgroupMsg;
    def.allowReimp = c.allowReimport;
    def.mailTopic = c.mailTopic;

    def.selMethod = c.method;
    switch (c.method) {
        case SelectTree:
        case SelectDirectory:
            if (c.directory.empty()) return refuse("Choose the directory to import from.");
            def.impPath = absolute(c.directory);
            def.masks = c.masks;
            break;
        case SelectFiles: {
            if (c.files.empty()) return refuse("Choose the files to import.");
            // One directory for all the files: it is the path and the names
            // are the selection; otherwise every name is a whole path.
            std::vector<std::string> files;
            for (auto& f : c.files) {
                if (f.find(';') != std::string::npos) return refuse("A file name must not contain ';': " + f);
                files.push_back(absolute(f));
            }
            std::string common = dirName(files[0]);
            bool same = std::all_of(files.begin(), files.end(), [&](auto& f) { return dirName(f) == common; });
            def.impPath = same ? common : "";
            for (auto& f : files) {
                if (!def.masks.empty()) def.masks += ";";
                def.masks += same ? baseName(f) : f;
            }
            break;
        }
        default: return refuse("Unknown selection method.");
    }

    if (!c.forumDatabase.empty()) {
        uint32_t id = findDatabaseByName(s, c.forumDatabase);
        if (id != 0 && s.FOR.TYPE != TypeForum)
            return refuse("'" + c.forumDatabase + "' is a " + databaseTypeName(s.FOR.TYPE) +
                          " database, not a forum database.");
        if (id != 0) def.database = id;
        else def.forumName = c.forumDatabase;
    }
    if (!c.mailbox.empty()) {
        uint32_t id = findDatabaseByName(s, c.mailbox);
        if (id == 0 || s.FOR.TYPE != TypeMail) return refuse("There is no mail database named '" + c.mailbox + "'.");
        def.mailbox = id;
    }
    if (def.mailTopic != 0) {
        if (def.mailbox == 0) return refuse("A mail topic needs a mail database to import into.");
        auto topics = mailTopicsOf(s, def.mailbox);
        if (std::none_of(topics.begin(), topics.end(), [&](auto& t) { return t.id == def.mailTopic; }))
            return refuse("The mail database '" + c.mailbox + "' has no topic " + std::to_string(def.mailTopic) + ".");
    }
    if (c.save) {
        // A saved procedure names its forum database by identifier.
        if (def.database == 0 && !def.forumName.empty())
            return refuse("A procedure can only be saved for an existing forum database.");
        def.description = c.description;
    }
    return out;
}

}  // namespace quill
