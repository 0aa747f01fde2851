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
#include "import/ImportChoices.h"
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

// Set by SIGINT / SIGTERM: the run is asked to stop at the next slice.
volatile std::sig_atomic_t stopSignal = 0;
void onSignal(int) { stopSignal = 1; }

std::string bar(const RunDisplay& d) {
    int width = 30;
    int filled = d.barMax > 0 ? int(double(std::min<int32_t>(d.barPosition, d.barMax)) * width / d.barMax) : 0;
    if (filled < 0) filled = 0;
    return "[" + std::string(std::size_t(filled), '#') + std::string(std::size_t(width - filled), '.') + "]";
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

    int sources = (recursive.empty() ? 0 : 1) + (dir.empty() ? 0 : 1) + (args.empty() ? 0 : 1);
    if (sources != 1) return fail("import: give exactly one of --recursive DIR, --dir DIR or FILE...");
    if (haveMasks && !args.empty()) return fail("import: --masks applies to --recursive and --dir only");
    // The same rules as the import wizard's: the same choices make the same
    // definition.
    ImportChoices choices;
    choices.type = utf8ToCp1252(type);
    if (!args.empty()) {
        choices.method = SelectFiles;
        for (auto& a : args) choices.files.push_back(utf8ToCp1252(a));
    } else {
        choices.method = recursive.empty() ? SelectDirectory : SelectTree;
        choices.directory = utf8ToCp1252(recursive.empty() ? dir : recursive);
        if (haveMasks) choices.masks = utf8ToCp1252(masks);
    }
    choices.forumDatabase = utf8ToCp1252(into);
    choices.mailbox = utf8ToCp1252(mailbox);
    choices.mailMsg = def.mailMsg;
    choices.forumMsg = def.forumMsg;
    choices.newsgroupMsg = def.newsgroupMsg;
    choices.allowReimport = def.allowReimp;
    if (!topic.empty()) {
        try {
            choices.mailTopic = uint32_t(std::stoul(topic));
        } catch (...) {
            return fail("import: --topic wants a number");
        }
    }
    choices.save = haveSave;
    choices.description = utf8ToCp1252(save);

    Session& s = c.open();
    DefinitionOutcome built = buildImportDefinition(s, choices);
    if (!built.ok()) {
        std::string why = built.error;
        if (why.rfind("Unknown file type", 0) == 0) why += " (see import --list-types)";
        return fail("import: " + toTerminal(why));
    }
    def = std::move(built.def);
    if (haveSave) {
        uint32_t id = saveImportDefinition(s, def);
        if (id == 0) return 1;
        std::cout << "Saved as import procedure " << id << "\n";
    }
    return driveImport(c, def);
}

}  // namespace quill::cli
