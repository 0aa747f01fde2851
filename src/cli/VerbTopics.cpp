// quillmer-cli topics and keywords: the topics and key words of one database,
// attaching topics to messages, and the key word indexing.
#include <iostream>

#include "cli/Cli.h"
#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Charset.h"
#include "search/Codes.h"
#include "search/Search.h"

namespace quill::cli {

namespace {

// Selects the database named by the first argument (taken from args).
bool selectNamed(Session& s, std::vector<std::string>& args, const std::string& verb, int& status) {
    CatalogueEntry e;
    if (args.empty()) {
        status = fail(verb + ": give a database (name or identifier)");
        return false;
    }
    if (!findDatabase(s, args[0], e)) {
        status = fail(verb + ": no database '" + args[0] + "'");
        return false;
    }
    if (!selectDatabase(s, e.id)) {
        status = fail(verb + ": the database cannot be selected");
        return false;
    }
    args.erase(args.begin());
    return true;
}

// Message numbers from the arguments, or the stored result set for --result.
bool messageList(Session& s, const std::vector<std::string>& args, bool fromResult, std::vector<uint32_t>& out) {
    if (fromResult) {
        out = readResultSet(s);
        return true;
    }
    for (auto& a : args) {
        try {
            std::size_t used = 0;
            unsigned long v = std::stoul(a, &used);
            if (used != a.size() || v > 0xFFFFFFFFul) return false;
            out.push_back(uint32_t(v));
        } catch (...) {
            return false;
        }
    }
    return !out.empty();
}

int codeFailure(const std::string& verb, const CodeResult& r, const std::string& name) {
    switch (r.status) {
        case CodeStatus::Ok: return 0;
        case CodeStatus::EmptyName: return fail(verb + ": the name is blank");
        case CodeStatus::Duplicate: std::cerr << "quillmer-cli: " << verb << ": '" << name << "' exists already\n"; return 1;
        case CodeStatus::NotFound: std::cerr << "quillmer-cli: " << verb << ": no '" << name << "'\n"; return 1;
        default: std::cerr << "quillmer-cli: " << verb << ": the change was not stored\n"; return 1;
    }
}

}  // namespace

int verbTopics(Context& c, std::vector<std::string>& args) {
    bool fromResult = takeFlag(args, "--result");
    Session& s = c.open();
    int status = 0;
    if (!selectNamed(s, args, "topics", status)) return status;
    if (args.empty() || args[0] == "list") {
        if (args.size() > 1) {
            CodeEntry t = findCodeByName(s, CodeTopic, utf8ToCp1252(args[1]));
            if (!t.id) return codeFailure("topics", {CodeStatus::NotFound}, args[1]);
            for (const ResultLine& l : describeMessages(s, codeView(s, t.id))) {
                if (!l.exists) continue;
                std::cout << l.id << "\t" << isoDate(l.date) << "\t" << toTerminal(l.from) << "\t"
                          << toTerminal(l.subject) << "\n";
            }
            return 0;
        }
        recountTopics(s);
        for (auto& t : Lkup1(s, CodeTopic)) std::cout << toTerminal(t.name) << "\t" << t.count << "\n";
        return 0;
    }
    std::string op = args[0];
    if (args.size() < 2) return fail("topics: " + op + " needs a topic name");
    std::string name = utf8ToCp1252(args[1]);
    if (op == "add") {
        if (args.size() != 2) return fail("topics: add takes one name");
        return codeFailure("topics", addCode(s, CodeTopic, name), args[1]);
    }
    CodeEntry t = findCodeByName(s, CodeTopic, name);
    if (!t.id) return codeFailure("topics", {CodeStatus::NotFound}, args[1]);
    if (op == "rename") {
        if (args.size() != 3) return fail("topics: rename takes a name and a new name");
        return codeFailure("topics", changeCode(s, t.id, utf8ToCp1252(args[2])), args[2]);
    }
    if (op == "delete") return codeFailure("topics", deleteCode(s, t.id), args[1]);
    if (op == "attach" || op == "detach") {
        std::vector<uint32_t> msgs;
        if (!messageList(s, {args.begin() + 2, args.end()}, fromResult, msgs))
            return fail("topics: " + op + " needs message numbers or --result");
        return codeFailure("topics", classifySet(s, t.id, msgs, op == "attach"), args[1]);
    }
    return fail("topics: unknown operation " + op);
}

int verbKeywords(Context& c, std::vector<std::string>& args) {
    bool matchCase = takeFlag(args, "--case");
    bool matchWord = takeFlag(args, "--word");
    Session& s = c.open();
    int status = 0;
    if (!selectNamed(s, args, "keywords", status)) return status;
    if (args.empty() || args[0] == "list") {
        for (auto& k : Lkup1(s, CodeKeyWord))
            std::cout << toTerminal(k.name) << "\t" << k.count << "\t" << (k.charCase ? "Yes" : "") << "\t"
                      << (k.wordOnly ? "Yes" : "") << "\t" << (k.date > 0 ? isoDate(k.date) : "") << "\n";
        return 0;
    }
    std::string op = args[0];
    if (op == "run") {
        int64_t added = indexKeyWords(s);
        if (added < 0) {
            std::cerr << "quillmer-cli: keywords: the key word indexing failed\n";
            return 1;
        }
        std::cout << "links added " << added << "\n";
        return 0;
    }
    if (args.size() != 2) return fail("keywords: " + op + " takes one search string");
    std::string text = utf8ToCp1252(args[1]);
    if (op == "add") return codeFailure("keywords", addCode(s, CodeKeyWord, text, matchCase, matchWord), args[1]);
    CodeEntry k = findCodeByName(s, CodeKeyWord, text);
    if (!k.id) return codeFailure("keywords", {CodeStatus::NotFound}, args[1]);
    if (op == "delete") return codeFailure("keywords", deleteCode(s, k.id), args[1]);
    return fail("keywords: unknown operation " + op);
}

}  // namespace quill::cli
