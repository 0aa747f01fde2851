// quillmer-cli import: runs the import step machine over the files given, with
// a progress bar on a terminal; every message of the run goes to stderr.
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <cstdio>
#include <iostream>

#include "cli/Cli.h"
#include "database/Charset.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/FileMask.h"
#include "database/Installation.h"
#include "database/Records.h"
#include "import/ImportDefinition.h"
#include "import/ImportRun.h"
#include "import/ImportTypes.h"
#include "people/Databases.h"

namespace quill::cli {

namespace {

const char* familyName(ReaderFamily f) {
    switch (f) {
        case ReaderFamily::TextCapture: return "text capture";
        case ReaderFamily::ForumTable: return "forum database";
        case ReaderFamily::ByteFile: return "byte file";
        case ReaderFamily::WholeFile: return "whole-file reader";
        case ReaderFamily::Automation: return "automation";
        default: return "";
    }
}

int listTypes() {
    const ReaderRegistry& r = ReaderRegistry::builtin();
    for (const ImportType* t : offeredImportTypes()) {
        std::string masks = t->masks.empty() ? "(folders)" : std::string(t->masks);
        bool readable = r.findNumber(t->number) != nullptr;
        // The number first: a name may fill its whole column.
        char number[8];
        std::snprintf(number, sizeof number, "%03d", t->number);
        std::cout << number << "  " << std::string(t->name) << "  " << masks << "  " << familyName(t->family)
                  << (readable ? "" : "  (no reader yet)") << (t->number == DefaultImportType ? "  (default)" : "")
                  << "\n";
    }
    return 0;
}

std::string absolute(const std::string& p) {
    std::error_code ec;
    auto a = std::filesystem::absolute(p, ec);
    return ec ? p : a.lexically_normal().string();
}

// Set by SIGINT / SIGTERM: the run is asked to stop at the next slice.
volatile std::sig_atomic_t stopSignal = 0;
void onSignal(int) { stopSignal = 1; }

std::string bar(const RunDisplay& d) {
    int width = 30;
    int filled = d.barMax > 0 ? int(double(std::min<int32_t>(d.barPosition, d.barMax)) * width / d.barMax) : 0;
    if (filled < 0) filled = 0;
    return "[" + std::string(std::size_t(filled), '#') + std::string(std::size_t(width - filled), '.') + "]";
}

// Is topic a topic (a Codes record of kind 2) of the Mail database?
bool mailTopicExists(Session& s, uint32_t mailDatabase, uint32_t topic) {
    if (!selectDatabase(s, mailDatabase)) return false;
    OP_CLOSE(s, OpOpenShared, {CodesFile::Number});
    bool found = false;
    s.Codes.clearBuffer();
    s.COD.TYPE = 2;
    s.Codes.setFrom(CodesFile::CLASSKEY);
    while (!found && s.Codes.next() && s.COD.TYPE == 2) found = uint32_t(s.COD.ID) == topic;
    OP_CLOSE(s, OpClose, {CodesFile::Number});
    clearSelection(s);
    return found;
}

}  // namespace

// Runs a definition to its end; shared by import and batch run.
int driveImport(Context& c, ImportDefinition& def) {
    Session& s = c.open();
    ImportRun run(s, def);
    bool tty = ::isatty(2) != 0;
    stopSignal = 0;
    auto oldInt = std::signal(SIGINT, onSignal);
    auto oldTerm = std::signal(SIGTERM, onSignal);
    std::string lastStatus;
    bool headingShown = false;
    int slices = 0;
    while (run.step()) {
        const RunDisplay& d = run.display();
        if (!headingShown && !d.heading.empty()) {
            std::cout << toTerminal(d.heading) << std::endl;
            headingShown = true;
        }
        if (stopSignal) {
            stopSignal = 0;
            if (run.requestStop()) break;
        }
        std::string status = d.status;
        while (!status.empty() && (status.back() == '\n' || status.back() == '\r')) status.pop_back();
        if (tty) {
            if (++slices % 8 == 0 || status != lastStatus) {
                std::cerr << "\r\033[K" << bar(d) << " " << toTerminal(status) << "  imported " << d.imported
                          << "  skipped " << d.skipped << "  staged " << d.staged << std::flush;
            }
        } else if (status != lastStatus) {
            std::cerr << toTerminal(status) << "\n";
        }
        lastStatus = status;
    }
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    const RunDisplay& d = run.display();
    if (tty) std::cerr << "\r\033[K";
    std::cout << toTerminal(d.status) << "\n"
              << "imported " << d.imported << "  skipped " << d.skipped << "  staged " << d.staged;
    if (d.bad) std::cout << "  not storable " << d.bad;
    std::cout << "\n";
    if (!run.succeeded()) {
        std::cerr << "quillmer-cli: import ended early: " << run.failure() << "\n";
        return 1;
    }
    return 0;
}

int verbImport(Context& c, std::vector<std::string>& args) {
    if (takeFlag(args, "--list-types")) return listTypes();
    std::string type, into, mailbox, recursive, dir, masks, topic, save;
    bool haveSave = takeOption(args, "--save", save);
    takeOption(args, "--type", type);
    takeOption(args, "--into", into);
    takeOption(args, "--mailbox", mailbox);
    takeOption(args, "--recursive", recursive);
    takeOption(args, "--dir", dir);
    bool haveMasks = takeOption(args, "--masks", masks);
    takeOption(args, "--topic", topic);
    ImportDefinition def;
    if (takeFlag(args, "--no-forum-msgs")) def.forumMsg = 0;
    if (takeFlag(args, "--forum-msgs")) def.forumMsg = 1;
    if (takeFlag(args, "--no-mail")) def.mailMsg = 0;
    if (takeFlag(args, "--mail")) def.mailMsg = 1;
    if (takeFlag(args, "--no-news")) def.newsgroupMsg = 0;
    if (takeFlag(args, "--news")) def.newsgroupMsg = 1;
    if (takeFlag(args, "--allow-reimport")) def.allowReimp = 1;
    for (auto& a : args)
        if (a.rfind("--", 0) == 0) return fail("import: unknown option " + a);
    if (type.empty()) return fail("import: --type is required (see import --list-types)");

    TypeChoice choice = resolveImportType(utf8ToCp1252(type), ReaderRegistry::builtin());
    if (choice.name.empty()) return fail("import: unknown file type '" + type + "' (see import --list-types)");
    def.typeName = choice.name;
    def.fileType = uint8_t(choice.number);

    int sources = (recursive.empty() ? 0 : 1) + (dir.empty() ? 0 : 1) + (args.empty() ? 0 : 1);
    if (sources != 1) return fail("import: give exactly one of --recursive DIR, --dir DIR or FILE...");
    if (!recursive.empty() || !dir.empty()) {
        def.selMethod = recursive.empty() ? SelectDirectory : SelectTree;
        def.impPath = absolute(utf8ToCp1252(recursive.empty() ? dir : recursive));
        if (haveMasks) def.masks = utf8ToCp1252(masks);
    } else {
        if (haveMasks) return fail("import: --masks applies to --recursive and --dir only");
        def.selMethod = SelectFiles;
        std::vector<std::string> files;
        for (auto& a : args) files.push_back(absolute(utf8ToCp1252(a)));
        std::string common = dirName(files[0]);
        bool same = true;
        for (auto& f : files) same = same && dirName(f) == common;
        def.impPath = same ? common : "";
        for (auto& f : files) {
            if (f.find(';') != std::string::npos) return fail("import: a file name must not contain ';'");
            if (!def.masks.empty()) def.masks += ";";
            def.masks += same ? baseName(f) : f;
        }
    }
    if (!topic.empty()) {
        try {
            def.mailTopic = uint32_t(std::stoul(topic));
        } catch (...) {
            return fail("import: --topic wants a number");
        }
    }

    Session& s = c.open();
    if (!into.empty()) {
        std::string name = utf8ToCp1252(into);
        uint32_t id = findDatabaseByName(s, name);
        if (id != 0 && s.FOR.TYPE == TypeMail) return fail("import: '" + into + "' is a mail database (use --mailbox)");
        if (id != 0 && s.FOR.TYPE != TypeForum)
            return fail("import: '" + into + "' is a " + databaseTypeName(s.FOR.TYPE) +
                        " database, not a forum database (--into names a forum database)");
        if (id != 0) def.database = id;
        else def.forumName = name;
    }
    if (!mailbox.empty()) {
        uint32_t id = findDatabaseByName(s, utf8ToCp1252(mailbox));
        if (id == 0 || s.FOR.TYPE != TypeMail)
            return fail("import: no mail database named '" + mailbox + "' (create it with db add-mail)");
        def.mailbox = id;
    }
    if (def.mailTopic != 0) {
        if (def.mailbox == 0) return fail("import: --topic applies to mail imports (give --mailbox)");
        if (!mailTopicExists(s, def.mailbox, def.mailTopic))
            return fail("import: mail database '" + mailbox + "' has no topic " + std::to_string(def.mailTopic));
    }
    if (haveSave) {
        if (def.database == 0 && !def.forumName.empty())
            return fail("import: --save needs an existing forum database for --into");
        def.description = utf8ToCp1252(save);
        uint32_t id = saveImportDefinition(s, def);
        if (id == 0) return 1;
        std::cout << "Saved as import procedure " << id << "\n";
    }
    return driveImport(c, def);
}

}  // namespace quill::cli
