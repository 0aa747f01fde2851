// Word indexing and search: a corpus of real-shaped mails (threads with
// quoted replies, quoted-printable and multipart bodies, 1 to 20 KB) is
// generated as an mbox, imported with the mbox reader ("Generic Mail Type 2",
// as a user imports a mailbox) and indexed in full; then a one-word search and an AND of two words are timed warm, with
// the listing of their hits, and 1,000 new mails are imported and indexed
// with --partial. Each indexing runs in its own process so that its peak
// memory is its own. mairix indexes the same mbox, and notmuch the same mails
// written as a maildir; when those programs are installed they index the
// same mails in the same run and the ratios are printed.
//
//   bench_index WORKDIR [COUNT [--no-notmuch | --searches-only]]   (COUNT defaults to 10000)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "import/ImportRun.h"
#include "import/ImportChoices.h"
#include "people/Databases.h"
#include "search/Search.h"
#include "search/WordIndex.h"

using namespace quill;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// CPU time of this process (the machine may be shared: wall clock alone
// counts the waits for other programs).
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// ---------------------------------------------------------------------------
// The corpus

struct Mail {
    std::string from, to, subject, date, messageId, inReplyTo;
    std::string body;  // Latin-1 text with CR LF line ends
    int shape = 0;     // 0 plain 7bit/8bit, 1 quoted-printable, 2 multipart/alternative
};

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {
        static const char* syl[] = {"ka", "lo", "mi", "ren", "tor", "vel", "an", "is", "ur", "be", "co", "da",
                                    "fe", "gi", "ho", "ju", "ne", "pa", "qui", "ro", "sa", "ti", "un", "vo",
                                    "wa", "xe", "yo", "ze", "str", "pl", "ment", "ing", "tion", "er", "al", "ous"};
        static const char* common[] = {"the", "of", "and", "to", "a", "in", "is", "it", "you", "that", "he",
                                       "was", "for", "on", "are", "with", "as", "I", "his", "they", "be", "at",
                                       "one", "have", "this", "from", "or", "had", "by", "but", "some", "what",
                                       "there", "we", "can", "out", "other", "were", "all", "your", "when", "up",
                                       "use", "word", "how", "said", "an", "each", "which", "do", "their", "time",
                                       "if", "will", "way", "about", "many", "then", "them", "would", "write",
                                       "like", "so", "these", "her", "long", "make", "thing", "see", "him", "two",
                                       "has", "look", "more", "day", "could", "go", "come", "did", "my", "sound",
                                       "no", "most", "number", "who", "over", "know", "water", "than", "call",
                                       "first", "people", "may", "down", "side", "been", "now", "find", "server",
                                       "printer", "budget", "meeting", "report", "project", "release", "café",
                                       "naïve", "Zürich", "déjà", "Köln", "Ångström"};
        for (const char* w : common) words_.push_back(w);
        std::uniform_int_distribution<int> n(2, 4), pick(0, int(std::size(syl)) - 1);
        while (words_.size() < 30000) {
            std::string w;
            for (int i = n(rng_); i > 0; --i) w += syl[pick(rng_)];
            words_.push_back(w);
        }
        double acc = 0;
        for (std::size_t r = 1; r <= words_.size(); ++r) cumulative_.push_back(acc += 1.0 / std::pow(double(r), 1.05));
        for (int i = 0; i < 600; ++i) people_.push_back(word(40 + i) + " " + word(300 + i * 7));
    }

    const std::string& word() {
        std::uniform_real_distribution<double> u(0, cumulative_.back());
        return words_[std::size_t(std::lower_bound(cumulative_.begin(), cumulative_.end(), u(rng_)) - cumulative_.begin())];
    }
    const std::string& word(std::size_t rank) const { return words_[rank % words_.size()]; }

    std::string sentence() {
        std::uniform_int_distribution<int> len(5, 18);
        std::string s;
        int n = len(rng_);
        for (int i = 0; i < n; ++i) {
            std::string w = word();
            if (i == 0 && !w.empty() && w[0] >= 'a' && w[0] <= 'z') w[0] = char(w[0] - 32);
            s += (i ? " " : "") + w;
        }
        return s + (rng_() % 7 == 0 ? "?" : ".");
    }

    // Wraps text at 72 columns into CR LF lines, each with prefix.
    static std::string wrap(const std::string& text, const std::string& prefix) {
        std::string out, line;
        std::istringstream in(text);
        std::string w;
        while (in >> w) {
            if (!line.empty() && line.size() + 1 + w.size() > 72) {
                out += prefix + line + "\r\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + w;
        }
        if (!line.empty()) out += prefix + line + "\r\n";
        return out;
    }

    Mail mail(long n) {
        Mail m;
        std::uniform_int_distribution<int> person(0, int(people_.size()) - 1);
        long thread = n / 5;
        bool reply = n % 5 != 0;
        std::string threadSubject;
        {
            std::mt19937 t(unsigned(thread * 7919));
            for (int i = 0; i < 6; ++i) threadSubject += (i ? " " : "") + word(std::size_t(20 + t() % 3000));
        }
        std::string a = people_[std::size_t(person(rng_))], b = people_[std::size_t(person(rng_))];
        m.from = a + " <" + addressOf(a) + ">";
        m.to = b + " <" + addressOf(b) + ">";
        m.subject = (reply ? "Re: " : "") + threadSubject;
        int day = 1 + int(n % 28), month = 1 + int(n / 28 % 12), year = 2000 + int(n / 336 % 24);
        char date[64];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d %02ld:%02ld:%02ld", year, month, day, n % 24, n / 24 % 60,
                      n / 1440 % 60);
        m.date = date;
        m.messageId = "<m" + std::to_string(n) + "@bench.example>";
        if (reply) m.inReplyTo = "<m" + std::to_string(n - 1) + "@bench.example>";
        // 1 to 20 KB, most of them small.
        std::uniform_real_distribution<double> u(0, 1);
        std::size_t target = std::size_t(1024 + u(rng_) * u(rng_) * 19 * 1024);
        std::string body;
        if (reply) {
            std::string quoted;
            for (int i = 0; i < 3; ++i) quoted += sentence() + " ";
            body += "On " + m.date.substr(0, 10) + ", " + b + " wrote:\r\n" + wrap(quoted, "> ") + "\r\n";
        }
        while (body.size() < target) {
            std::string para;
            for (int i = 0; i < 4; ++i) para += sentence() + " ";
            body += wrap(para, "") + "\r\n";
        }
        body += "-- \r\n" + a + "\r\n";
        m.body = body;
        m.shape = int(n % 3);
        return m;
    }

private:
    static std::string addressOf(const std::string& name) {
        std::string a;
        for (char ch : name) a += ch == ' ' ? '.' : char(std::tolower(static_cast<unsigned char>(ch)));
        return a + "@example.org";
    }

    std::mt19937 rng_;
    std::vector<std::string> words_;
    std::vector<double> cumulative_;
    std::vector<std::string> people_;
};

// UTF-8 to Latin-1 for the few accented words of the vocabulary.
std::string latin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC3 && i + 1 < utf8.size()) out += char(0xC0 + (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        else if (c == 0xC2 && i + 1 < utf8.size()) out += utf8[++i];
        else out += char(c);
    }
    return out;
}

std::string quotedPrintable(const std::string& text) {
    std::string out, line;
    static const char* hex = "0123456789ABCDEF";
    auto flush = [&](bool hard) {
        out += line + (hard ? "\r\n" : "=\r\n");
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
                char last = line.back();
                line.pop_back();
                line += std::string("=") + hex[last >> 4] + hex[last & 15];
            }
            flush(true);
            ++i;
            continue;
        }
        std::string piece = (c >= 33 && c <= 126 && c != '=') || c == ' ' ? std::string(1, char(c))
                                                                        : std::string("=") + hex[c >> 4] + hex[c & 15];
        if (line.size() + piece.size() > 75) flush(false);
        line += piece;
    }
    if (!line.empty()) flush(true);
    return out;
}

// "YYYY-MM-DD HH:MM:SS" as an RFC 5322 date: every mail keeps the minute it
// was written in, as in a real mailbox.
std::string rfcDate(const std::string& iso) {
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int y = std::atoi(iso.c_str()), mo = std::atoi(iso.c_str() + 5), d = std::atoi(iso.c_str() + 8);
    std::chrono::year_month_day ymd{std::chrono::year(y), std::chrono::month(unsigned(mo)), std::chrono::day(unsigned(d))};
    unsigned wd = std::chrono::weekday(std::chrono::sys_days(ymd)).c_encoding();
    char out[64];
    std::snprintf(out, sizeof out, "%s, %02d %s %04d %s +0000", days[wd], d, months[mo - 1], y, iso.substr(11).c_str());
    return out;
}

// The mail as an RFC 5322 message (LF line ends, as mailboxes on this system hold them).
std::string rfcMessage(const Mail& m) {
    std::ostringstream o;
    std::string date = m.date;
    o << "From: " << m.from << "\nTo: " << m.to << "\nSubject: " << m.subject << "\nDate: " << rfcDate(date)
      << "\nMessage-ID: " << m.messageId << "\n";
    if (!m.inReplyTo.empty()) o << "In-Reply-To: " << m.inReplyTo << "\nReferences: " << m.inReplyTo << "\n";
    o << "MIME-Version: 1.0\n";
    std::string body = latin1(m.body);
    auto lf = [](std::string t) {
        std::string r;
        for (char ch : t)
            if (ch != '\r') r += ch;
        return r;
    };
    if (m.shape == 0) {
        o << "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: 8bit\n\n" << lf(body);
    } else if (m.shape == 1) {
        o << "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n"
          << lf(quotedPrintable(body));
    } else {
        std::string html = "<html><body><p>" + body + "</p></body></html>\r\n";
        o << "Content-Type: multipart/alternative; boundary=\"b1\"\n\n--b1\n"
          << "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n"
          << lf(quotedPrintable(body)) << "\n--b1\nContent-Type: text/html; charset=iso-8859-1\n"
          << "Content-Transfer-Encoding: quoted-printable\n\n"
          << lf(quotedPrintable(html)) << "\n--b1--\n";
    }
    return o.str();
}

// ---------------------------------------------------------------------------
// Running things

struct Measured {
    double seconds = -1;   // wall clock
    double cpu = 0;        // user + system
    long peakKb = 0;
    bool ok = false;
};

// The better of two runs (the machine may be shared: the faster run is the
// one less disturbed).
Measured best(const Measured& a, const Measured& b) {
    if (!a.ok) return b;
    if (!b.ok) return a;
    Measured m = a.seconds <= b.seconds ? a : b;
    m.peakKb = std::max(a.peakKb, b.peakKb);
    m.cpu = std::min(a.cpu, b.cpu);
    return m;
}

// Runs f in a child process; its time and peak memory.
template <class F>
Measured inChild(F f) {
    std::fflush(stdout);
    auto t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) _exit(f() ? 0 : 1);
    Measured m;
    if (pid < 0) return m;
    int status = 0;
    struct rusage ru {};
    while (wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
    }
    m.seconds = secondsSince(t0);
    m.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    m.peakKb = ru.ru_maxrss;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

Measured runProgram(std::vector<std::string> argv, const std::string& env = {}) {
    return inChild([&] {
        int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        if (!env.empty()) putenv(const_cast<char*>(env.c_str()));
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
        return false;
    });
}

bool installed(const std::string& program) {
    std::string cmd = "command -v " + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

uint64_t treeSize(const fs::path& p) {
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) return fs::file_size(p, ec);
    uint64_t n = 0;
    for (auto& e : fs::recursive_directory_iterator(p, ec))
        if (e.is_regular_file(ec)) n += e.file_size(ec);
    return n;
}

struct Bench {
    std::string home;
    uint32_t mailbox = 0;
};

// Imports an mbox the way `quillmer-cli import --type "Generic Mail Type 2"
// --mailbox Bench FILE` does: the same choices, the same reader.
bool importMailbox(Bench& b, const std::string& file) {
    SilentInterface ui;
    Session s(ui);
    openInstallation(s, b.home);
    ImportChoices choices;
    choices.type = "Generic Mail Type 2";
    choices.method = SelectFiles;
    choices.files.push_back(file);
    choices.mailbox = "Bench";
    DefinitionOutcome built = buildImportDefinition(s, choices);
    if (!built.ok()) {
        std::fprintf(stderr, "import: %s\n", built.error.c_str());
        return false;
    }
    ImportRun run(s, built.def);
    run.runToEnd();
    return run.succeeded();
}

bool indexDatabase(Bench& b, IndexMode mode, IndexReport* report = nullptr) {
    SilentInterface ui;
    Session s(ui);
    openInstallation(s, b.home);
    if (!selectDatabase(s, b.mailbox)) return false;
    WordIndexRun run(s, mode);
    run.runToEnd();
    if (report) *report = run.report();
    if (run.failed()) std::fprintf(stderr, "index failed: %s\n", run.failure().c_str());
    return !run.failed();
}

// Size on disk, then a one-word search and an AND of two words of middle
// frequency, warm, in this process, each with the listing of its hits.
void measureSearches(Bench& b, long count) {
    std::string wordA, wordB;
    {
        SilentInterface ui;
        Session s(ui);
        openInstallation(s, b.home);
        (void)selectDatabase(s, b.mailbox);
        (void)ensureWordList(s);
        std::string idx = buildName(s, MasIdxFile::Number), list = buildName(s, WordListFile::Number);
        std::printf("index size:    %8.1f MB (postings %.1f MB, word list %.1f MB)\n",
                    double(treeSize(idx) + treeSize(list)) / 1e6, double(treeSize(idx)) / 1e6,
                    double(treeSize(list)) / 1e6);
        // Two words of middle frequency: a few per cent of the mails each.
        IndexStore store;
        if (openIndexStore(s, store)) {
            auto words = store.words();
            std::vector<IndexStore::Word> mid;
            for (auto& w : words)
                if (w.count > count / 50 && w.count < count / 15 && w.word.size() > 3) mid.push_back(w);
            if (mid.size() >= 2) {
                wordA = mid[0].word;
                wordB = mid[mid.size() / 2].word;
            }
        }
        // The search window's engine, open once; each search then runs the
        // query, writes the result set and lists the hits.
        Searcher searcher(s);
        auto timeSearch = [&](const std::string& q) {
            std::size_t hits = 0;
            SearchOutcome warm = searcher.run(q);
            (void)searcher.describe(warm.ids);
            const int rounds = 20;
            double finding = 0, searching = 0, page = 0, listing = 0, shown = 0, shownCpu = 0;
            for (int i = 0; i < rounds; ++i) {
                auto t = Clock::now();
                SearchOutcome f = searcher.find(q);
                finding += secondsSince(t);
                t = Clock::now();
                double c0 = cpuSeconds();
                SearchOutcome r = searcher.run(q);
                searching += secondsSince(t);
                // A browse shows one page of hits at a time.
                auto tp = Clock::now();
                std::vector<uint32_t> first(r.ids.begin(), r.ids.begin() + std::min<std::size_t>(30, r.ids.size()));
                (void)searcher.describe(first);
                page += secondsSince(tp);
                shown += secondsSince(t);
                shownCpu += cpuSeconds() - c0;
                t = Clock::now();
                hits = searcher.describe(r.ids).size();
                listing += secondsSince(t);
            }
            std::printf("search %-22s query %6.2f ms, with result set written %6.2f ms; listing first 30 %5.2f ms, all %6.2f ms (%zu hits)\n",
                        ("\"" + q + "\":").c_str(), finding * 1000 / rounds, searching * 1000 / rounds,
                        page * 1000 / rounds, listing * 1000 / rounds, hits);
            std::printf("       %-22s searched, result set written, first 30 listed: %6.2f ms (cpu %6.2f ms)\n", "",
                        shown * 1000 / rounds, shownCpu * 1000 / rounds);
        };
        if (!wordA.empty()) {
            timeSearch(wordA);
            timeSearch(wordA + " " + wordB);
        }
    }

}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_index WORKDIR [COUNT]\n");
        return 2;
    }
    const fs::path work = argv[1];
    const long count = argc > 2 ? std::atol(argv[2]) : 10000;
    const long extra = 1000;
    // --searches-only: the searches again on the archive a previous run left
    // in WORKDIR (its mailbox is the first database).
    if (argc > 3 && std::string(argv[3]) == "--searches-only") {
        Bench b;
        b.home = (work / "home").string();
        SilentInterface ui;
        Session s(ui);
        openInstallation(s, b.home);
        auto cat = listCatalogue(s);
        if (cat.empty()) return 1;
        b.mailbox = cat.front().id;
        measureSearches(b, count);
        return 0;
    }
    fs::create_directories(work / "maildir" / "cur");
    fs::create_directories(work / "maildir" / "new");
    fs::create_directories(work / "maildir" / "tmp");

    // The corpus.
    auto t0 = Clock::now();
    Generator gen(20261207);
    uint64_t bytes = 0;
    {
        std::ofstream mbox(work / "mail.mbox", std::ios::binary), mbox2(work / "extra.mbox", std::ios::binary);
        for (long n = 0; n < count + extra; ++n) {
            Mail m = gen.mail(n);
            std::string msg = rfcMessage(m);
            std::ofstream& box = n < count ? mbox : mbox2;
            box << "From bench@example.org Mon Jan  1 00:00:00 2024\n";
            std::istringstream in(msg);
            std::string line;
            while (std::getline(in, line)) box << (line.rfind("From ", 0) == 0 ? ">" : "") << line << "\n";
            box << "\n";
            if (n >= count) continue;
            bytes += msg.size();
            std::ofstream one(work / "maildir" / "cur" / ("m" + std::to_string(n) + ".bench:2,S"), std::ios::binary);
            one << msg;
        }
    }
    std::printf("corpus: %ld mails, %.1f MB as mbox, generated in %.1f s\n", count, double(bytes) / 1e6, secondsSince(t0));

    // Installation and mailbox.
    Bench b;
    b.home = (work / "home").string();
    {
        SilentInterface ui;
        Session s(ui);
        openInstallation(s, b.home);
        DbResult r = addMailDatabase(s, "Bench", "owner@example.org", {});
        if (!r.ok()) {
            std::fprintf(stderr, "cannot create the mail database\n");
            return 1;
        }
        b.mailbox = r.id;
    }
    Measured imp = inChild([&] { return importMailbox(b, (work / "mail.mbox").string()); });
    std::printf("import (mbox): %8.2f s  cpu %6.2f s  peak %6ld MB%s\n", imp.seconds, imp.cpu, imp.peakKb / 1024,
                imp.ok ? "" : "  FAILED");
    // Ours and mairix alternately, twice each, on the same mails.
    bool haveMairix = installed("mairix");
    if (haveMairix) {
        std::ofstream rc(work / "mairixrc");
        rc << "base=" << work.string() << "\nmbox=mail.mbox\nmfolder=mairix-results\ndatabase=" << (work / "mairix.db").string()
           << "\n";
    }
    Measured full, mx;
    for (int rep = 0; rep < 2; ++rep) {
        full = best(full, inChild([&] { return indexDatabase(b, IndexMode::Full); }));
        if (haveMairix) {
            fs::remove(work / "mairix.db");
            mx = best(mx, runProgram({"mairix", "-f", (work / "mairixrc").string(), "-F"}));
        }
    }
    std::printf("index --full:  %8.2f s  cpu %6.2f s  peak %6ld MB%s\n", full.seconds, full.cpu, full.peakKb / 1024,
                full.ok ? "" : "  FAILED");
    if (haveMairix) {
        std::printf("mairix index:  %8.2f s  cpu %6.2f s  peak %6ld MB  db %.1f MB%s\n", mx.seconds, mx.cpu,
                    mx.peakKb / 1024, double(treeSize(work / "mairix.db")) / 1e6, mx.ok ? "" : "  FAILED");
        if (mx.ok && full.ok)
            std::printf("ratio index --full / mairix: %.2f (cpu %.2f)   (import + index) / mairix: %.2f (cpu %.2f)\n",
                        full.seconds / mx.seconds, full.cpu / mx.cpu, (imp.seconds + full.seconds) / mx.seconds,
                        (imp.cpu + full.cpu) / mx.cpu);
    } else {
        std::printf("mairix: not installed\n");
    }

    measureSearches(b, count);

    // 1,000 new mails: ours with --partial, then mairix on the grown mailbox.
    Measured imp2 = inChild([&] { return importMailbox(b, (work / "extra.mbox").string()); });
    std::printf("import +%ld:   %8.2f s%s\n", extra, imp2.seconds, imp2.ok ? "" : "  FAILED");
    Measured part = inChild([&] { return indexDatabase(b, IndexMode::Partial); });
    std::printf("index --partial (+%ld): %5.2f s  cpu %5.2f s  peak %6ld MB%s\n", extra, part.seconds, part.cpu,
                part.peakKb / 1024, part.ok ? "" : "  FAILED");
    if (haveMairix) {
        {
            std::ifstream in(work / "extra.mbox", std::ios::binary);
            std::ofstream out(work / "mail.mbox", std::ios::binary | std::ios::app);
            out << in.rdbuf();
        }
        Measured mi = runProgram({"mairix", "-f", (work / "mairixrc").string(), "-F"});
        std::printf("mairix incremental (+%ld): %5.2f s  cpu %5.2f s  peak %6ld MB%s\n", extra, mi.seconds, mi.cpu,
                    mi.peakKb / 1024, mi.ok ? "" : "  FAILED");
        if (mi.ok && part.ok)
            std::printf("ratio index --partial / mairix incremental: %.2f (cpu %.2f)\n", part.seconds / mi.seconds,
                        part.cpu / mi.cpu);
    }
    bool skipNotmuch = argc > 3 && std::string(argv[3]) == "--no-notmuch";
    if (installed("notmuch") && !skipNotmuch) {
        std::ofstream cfg(work / "notmuch-config");
        cfg << "[database]\npath=" << (work / "maildir").string() << "\n[user]\nname=Bench\nprimary_email=bench@example.org\n"
            << "[new]\ntags=\n[search]\nexclude_tags=\n[maildir]\nsynchronize_flags=false\n";
        cfg.close();
        std::string env = "NOTMUCH_CONFIG=" + (work / "notmuch-config").string();
        Measured nm = runProgram({"notmuch", "new", "--quiet"}, env);
        std::printf("notmuch new:   %8.2f s  cpu %6.2f s  peak %6ld MB  db %.1f MB%s\n", nm.seconds, nm.cpu, nm.peakKb / 1024,
                    double(treeSize(work / "maildir" / ".notmuch")) / 1e6, nm.ok ? "" : "  FAILED");
        if (nm.ok && full.ok)
            std::printf("ratio index --full / notmuch: %.3f (cpu %.3f)   (import + index) / notmuch: %.3f (cpu %.3f)\n",
                        full.seconds / nm.seconds, full.cpu / nm.cpu, (imp.seconds + full.seconds) / nm.seconds,
                        (imp.cpu + full.cpu) / nm.cpu);
    } else {
        std::printf("notmuch: %s\n", skipNotmuch ? "skipped" : "not installed");
    }
    return 0;
}
