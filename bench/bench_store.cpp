// Record store throughput: append then key build, adds in transactions of
// 400, keyed traversal and random gets by key, on the staging file NewHR and
// the message headers MsgNmbr. Prints records per second; run through
// bench/run.sh.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"

using namespace quill;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

void report(const char* what, long n, double secs) {
    std::printf("%-44s %9ld records  %8.2f s  %10.0f records/s\n", what, n, secs, secs > 0 ? n / secs : 0.0);
    std::fflush(stdout);
}

void fillStaged(Session& s, uint32_t i) {
    s.NewHR.clearBuffer();
    s.NHR.INTERNAL = 250000 + i % 7;
    s.NHR.MSGNUMBER = i;
    s.NHR.HEADING = "Subject number " + std::to_string(i % 5000);
    s.NHR.S_CISADRESS = "sender" + std::to_string(i % 900) + "@example.com";
    s.NHR.DATE = 80000 + int32_t(i % 9000);
    s.NewHR.memo = std::string(400 + i % 800, 'x');
}

void fillHeader(Session& s, uint32_t i) {
    s.MsgNmbr.clearBuffer();
    s.MSG.MSGNUMBER = 250000 + i;
    s.MSG.SECSYSID = i % 40;
    s.MSG.THREADNUMBER = i / 10;
    s.MSG.THREADALPHA = "Thread " + std::to_string(i / 10 % 1000);
    s.MSG.FROMID = i % 3000;
    s.MSG.FROMALPHA = "Name" + std::to_string(i % 3000);
    s.MSG.TOID = i % 2000;
    s.MSG.TOALPHA = "Other" + std::to_string(i % 2000);
    s.MSG.DATE = 80000 + int32_t(i % 9000);
}

void run(Session& s, long n) {
    std::printf("-- %ld records\n", n);
    // NewHR: append without keys, then one key build.
    OP_CLOSE(s, OpEmpty, {10});
    OP_CLOSE(s, OpOpenExclusive, {10});
    auto t0 = Clock::now();
    (void)s.NewHR.stream();
    for (long i = 0; i < n; ++i) {
        fillStaged(s, uint32_t(i));
        if (!s.NewHR.append()) std::abort();
    }
    (void)s.NewHR.flush();
    if (!s.NewHR.build()) std::abort();
    report("NewHR append + key build", n, seconds(t0));
    t0 = Clock::now();
    long seen = 0;
    s.NewHR.set(NewHRFile::MSGKEY);
    while (s.NewHR.next()) ++seen;
    report("NewHR keyed traversal", seen, seconds(t0));
    OP_CLOSE(s, OpClose, {10});

    // MsgNmbr: adds inside transactions of 400, every key kept.
    OP_CLOSE(s, OpEmpty, {3});
    OP_CLOSE(s, OpOpenShared, {3});
    t0 = Clock::now();
    for (long i = 0; i < n; i += 400) {
        if (!beginWrites(s, {&s.MsgNmbr})) std::abort();
        for (long k = i; k < i + 400 && k < n; ++k) {
            fillHeader(s, uint32_t(k));
            if (!s.MsgNmbr.add()) std::abort();
        }
        if (!s.store.commit()) std::abort();
    }
    report("MsgNmbr add, transactions of 400", n, seconds(t0));
    t0 = Clock::now();
    seen = 0;
    s.MsgNmbr.set(MsgNmbrFile::DATEKEY);
    while (s.MsgNmbr.next()) ++seen;
    report("MsgNmbr traversal by DATEKEY", seen, seconds(t0));
    std::mt19937 rng(7);
    long gets = n < 200000 ? n : 200000;
    t0 = Clock::now();
    for (long i = 0; i < gets; ++i) {
        s.MsgNmbr.clearBuffer();
        s.MSG.MSGNUMBER = 250000 + uint32_t(rng() % uint32_t(n));
        if (!s.MsgNmbr.get(MsgNmbrFile::IDKEY)) std::abort();
    }
    report("MsgNmbr random get by IDKEY", gets, seconds(t0));
    OP_CLOSE(s, OpClose, {3});
}

}  // namespace

int main(int argc, char** argv) {
    std::string home = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "quillmer-bench").string();
    std::filesystem::remove_all(home);
    SilentInterface ui;
    Session s(ui);
    openInstallation(s, home);
    s.Mem.Dirnamn = "F1";
    (void)ExistPath(s, 3, 0, s.Mem.FileDir + "/F1", "", true);
    for (int i = 2; i < argc; ++i) run(s, std::atol(argv[i]));
    if (argc <= 2) {
        run(s, 100000);
        run(s, 1000000);
    }
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("peak memory: %ld MiB\n", ru.ru_maxrss / 1024);
    std::filesystem::remove_all(home);
    return 0;
}
