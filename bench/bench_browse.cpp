// The message browse over a large forum database: opening the view and
// reading its first page, scrolling page by page, paging back from the end,
// and jumping to a date or a thread. The database (persons, sections,
// threads, headers and short texts) is written once through the record
// store's bulk path and kept in the given directory for later runs. Prints
// milliseconds per operation and the peak memory; run through
// bench/run_browse.sh.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "browse/BrowseView.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "people/Databases.h"

using namespace quill;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t persons = 5000, sections = 40, threadsPer = 10;
constexpr uint32_t firstId = 1000;
constexpr int32_t firstDay = 70000;  // early 1992

double ms(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "failed: %s\n", what);
        std::exit(1);
    }
}

// Appends through bulk mode and builds the keys once at the end.
template <class Fill>
void bulk(Session& s, RecordFile& f, uint32_t n, Fill fill) {
    OP_CLOSE(s, OpOpenExclusive, {f.number()});
    check(bool(f.stream()), "stream");
    for (uint32_t i = 0; i < n; ++i) {
        f.clearBuffer();
        fill(i);
        check(bool(f.append()), "append");
    }
    check(bool(f.flush()), "flush");
    check(bool(f.build()), "key build");
    OP_CLOSE(s, OpClose, {f.number()});
}

void create(Session& s, uint32_t n) {
    auto t0 = Clock::now();
    DbResult db = addForumDatabase(s, "Bench Forum");
    check(db.ok(), "add database");
    check(selectDatabase(s, db.id), "select");
    bulk(s, s.Person, persons, [&](uint32_t i) {
        s.PER.PERSONID = firstId + i;
        s.PER.PERSONSTRING = "person" + std::to_string(i);
        s.PER.LASTNAME = "Name" + std::to_string(i);
        s.PER.FIRSTNAME = "First";
        s.PER.ADDRESS = "7" + std::to_string(10000 + i) + ",1";
    });
    bulk(s, s.Sections, sections, [&](uint32_t i) {
        s.SEC.SECTIONNUMBER = i + 1;
        s.SEC.SECSYSID = firstId + persons + i;
        s.SEC.DESCRIPTION = "Section " + std::to_string(i + 1);
    });
    uint32_t threads = n / threadsPer + 1;
    uint32_t threadBase = firstId + persons + sections;
    bulk(s, s.Threads, threads, [&](uint32_t i) {
        s.THR.THREADNUMBER = threadBase + i;
        s.THR.SECSYSID = firstId + persons + i % sections;
        std::string heading = "Thread " + std::to_string((i * 7919u) % threads) + " about things";
        s.THR.ALPHA = heading.substr(0, 10);
        s.THR.BETA = heading.size() > 10 ? heading.substr(10) : "";
    });
    uint32_t msgBase = threadBase + threads;
    std::mt19937 rng(11);
    bulk(s, s.MsgNmbr, n, [&](uint32_t i) {
        uint32_t thread = i / threadsPer;
        std::string heading = "Thread " + std::to_string((thread * 7919u) % threads) + " about things";
        uint32_t from = rng() % persons, to = rng() % persons;
        s.MSG.MSGNUMBER = msgBase + i;
        s.MSG.SECSYSID = firstId + persons + thread % sections;
        s.MSG.THREADNUMBER = threadBase + thread;
        s.MSG.THREADALPHA = heading.substr(0, 10);
        s.MSG.FROMID = firstId + from;
        s.MSG.FROMALPHA = ("Name" + std::to_string(from)).substr(0, 10);
        s.MSG.TOID = firstId + to;
        s.MSG.TOALPHA = ("Name" + std::to_string(to)).substr(0, 10);
        s.MSG.DATE = firstDay + int32_t(i / 300);  // 300 messages a day
    });
    bulk(s, s.MsgText, n, [&](uint32_t i) {
        s.TXT.MSGNUMBER = msgBase + i;
        s.TXT.DATE = firstDay + int32_t(i / 300);
        s.MsgText.memo = "Message " + std::to_string(i) + " of the bench forum.\r\nSecond line.";
    });
    std::printf("created %u messages in %.1f s\n", n, ms(t0) / 1000);
}

void row(const char* what, double millis, long times = 1) {
    std::printf("%-46s %10.2f ms%s\n", what, millis / double(times), times > 1 ? " each" : "");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string home = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "quillmer-bench-browse").string();
    uint32_t n = argc > 2 ? uint32_t(std::atol(argv[2])) : 1000000;
    std::string marker = home + "/browse-bench-" + std::to_string(n);
    SilentInterface ui;
    Session s(ui);
    if (!std::filesystem::exists(marker)) {
        std::filesystem::remove_all(home);
        openInstallation(s, home);
        create(s, n);
        std::ofstream(marker) << n << "\n";
    } else {
        openInstallation(s, home);
        std::printf("reusing the database of %u messages in %s\n", n, home.c_str());
    }
    uint32_t id = findDatabaseByName(s, "Bench Forum");
    check(id != 0 && selectDatabase(s, id), "select");

    auto t0 = Clock::now();
    BrowseView v(s);
    check(v.open(), "open");
    std::vector<BrowseRow> page = v.first(100);
    row("open the view and read its first 100 rows", ms(t0));
    check(page.size() == 100, "first page");
    t0 = Clock::now();
    std::string text = v.text(page.front());
    row("text of the first message", ms(t0));

    t0 = Clock::now();
    for (int i = 0; i < 100 && !page.empty(); ++i) page = v.after(page.back(), 100);
    row("scroll forward one page of 100 rows (x100)", ms(t0), 100);

    t0 = Clock::now();
    page = v.last(100);
    for (int i = 0; i < 100 && !page.empty(); ++i) page = v.before(page.front(), 100);
    row("page back from the end (x100)", ms(t0), 101);

    std::mt19937 rng(5);
    t0 = Clock::now();
    int found = 0;
    for (int i = 0; i < 50; ++i) {
        int32_t day = firstDay + int32_t(rng() % (n / 300 + 1));
        if (auto r = v.locateDate(day)) {
            ++found;
            page = v.from(*r, 100);
        }
    }
    row("jump to a date and read 100 rows (x50)", ms(t0), 50);
    check(found == 50, "dates found");

    v.setMode(BrowseMode::Thread);
    t0 = Clock::now();
    for (int i = 0; i < 50; ++i) {
        if (auto r = v.locate("Thread " + std::to_string(rng() % 1000))) page = v.from(*r, 100);
    }
    row("thread view: locate and read 100 rows (x50)", ms(t0), 50);
    t0 = Clock::now();
    v.limitTo(page.front());
    std::vector<BrowseRow> one = v.first(100);
    auto next = v.neighbour(one.front(), true);
    row("limit to a thread, read it and step to the next", ms(t0));
    check(next.has_value(), "next thread");

    v.setMode(BrowseMode::Sender);
    t0 = Clock::now();
    page = v.first(100);
    row("switch to the sender view, first 100 rows", ms(t0));

    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("peak memory: %ld MiB\n", ru.ru_maxrss / 1024);
    return 0;
}
