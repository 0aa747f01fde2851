// Import throughput: messages stored per second for staged mails and staged
// forum messages, into an empty database and into a database that already
// holds as many messages (half full afterwards), with the peak memory of each
// run. The messages are read by the diagnostic fixture reader, so the figures
// are those of staging (reader + staging files) and of the store phase
// (writer, persons, threads, counts, transactions). Each configuration runs
// in its own process so that its peak memory is its own.
//
//   bench_import WORKDIR [COUNT [ONLY]]   (COUNT defaults to 100000; ONLY, e.g.
//   "mail-empty" or "forum-half", runs that one configuration in this process,
//   for a profiler)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "database/Installation.h"
#include "import/ImportRun.h"
#include "people/Databases.h"

using namespace quill;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Writes count messages of a kind, numbered from first, to a fixture file.
void writeFixture(const std::string& path, bool mail, long first, long count) {
    std::ofstream o(path, std::ios::binary);
    o << "# benchmark input\n";
    for (long n = first; n < first + count; ++n) {
        o << "%%\n";
        if (mail) {
            bool sent = n % 5 == 0;
            o << "Kind: mail\nDate: 20" << (10 + n % 14) << "-" << (1 + n % 12 < 10 ? "0" : "") << 1 + n % 12 << "-"
              << (1 + n % 28 < 10 ? "0" : "") << 1 + n % 28 << " " << (n % 24 < 10 ? "0" : "") << n % 24 << ":"
              << (n / 24 % 60 < 10 ? "0" : "") << n / 24 % 60 << ":00\n";
            if (sent) o << "From: Owner <owner@example.com>\nTo: Partner " << n % 700 << " <p" << n % 700 << "@example.org>\n";
            else o << "From: Sender " << n % 900 << " <s" << n % 900 << "@example.net>\nTo: Owner <owner@example.com>\n";
            if (n % 10 == 0) o << "Cc: Copy " << n % 50 << " <c" << n % 50 << "@example.org>\n";
            o << "Subject: Mail subject " << n << "\n\n";
        } else {
            o << "Kind: forum\nSection: " << 1 + n % 12 << " Section " << 1 + n % 12 << "\nNumber: " << n << "\n";
            if (n % 6) o << "Ref: " << n - 1 << "\n";
            o << "Date: 20" << (10 + n % 14) << "-0" << 1 + n % 9 << "-1" << n % 10 << " 12:00:00\n"
              << "From: Member " << n % 2000 << " <7" << n % 2000 << ",1>\nTo: Member " << (n + 7) % 2000 << " <7"
              << (n + 7) % 2000 << ",1>\nSubject: Thread " << n / 6 << "\n\n";
        }
        for (int line = 0; line < 8; ++line)
            o << "Line " << line << " of message " << n << ": the quick brown fox jumps over the lazy dog.\n";
    }
}

struct Figures {
    long stored = 0;
    double staging = 0, storing = 0;
    double storingCpu = 0;  // user + system seconds of the store phase
};

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

Figures runImport(Session& s, const std::string& dir, const std::string& file, uint32_t mailbox) {
    ImportDefinition d;
    d.typeName = std::string(FixtureImportTypeName);
    d.fileType = FixtureImportType;
    d.selMethod = SelectFiles;
    d.impPath = dir;
    d.masks = file;
    d.forumName = "Benchmark Forum";
    d.mailbox = mailbox;
    ImportRun run(s, d);
    Figures f;
    auto t0 = Clock::now();
    Clock::time_point storeStart{};
    double cpuStart = 0;
    while (run.step()) {
        if (storeStart == Clock::time_point{} && run.phase() == RunPhase::OpenDatabase) {
            f.staging = secondsSince(t0);
            storeStart = Clock::now();
            cpuStart = cpuSeconds();
        }
    }
    if (storeStart != Clock::time_point{}) {
        f.storing = secondsSince(storeStart);
        f.storingCpu = cpuSeconds() - cpuStart;
    }
    f.stored = run.display().imported;
    if (!run.succeeded()) std::fprintf(stderr, "run failed: %s\n", run.failure().c_str());
    return f;
}

int oneConfiguration(const std::string& work, bool mail, bool halfFull, long count) {
    std::string home = work + (mail ? "/mail" : "/forum") + (halfFull ? "-half" : "-empty");
    std::filesystem::remove_all(home);
    SilentInterface ui;
    Session s(ui);
    openInstallation(s, home);
    uint32_t mailbox = 0;
    if (mail) {
        DbResult r = addMailDatabase(s, "Owner", "owner@example.com", {});
        if (!r.ok()) return 1;
        mailbox = r.id;
    }
    std::string files = home + "/input";
    std::filesystem::create_directories(files);
    if (halfFull) {
        writeFixture(files + "/first.fix", mail, 1, count);
        (void)runImport(s, files, "first.fix", mailbox);
    }
    writeFixture(files + "/bench.fix", mail, halfFull ? count + 1 : 1, count);
    Figures f = runImport(s, files, "bench.fix", mailbox);
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("%-6s %-10s %8ld stored  staging %7.2f s  storing %7.2f s wall %7.2f s cpu  %8.0f stored/s wall"
                "  %8.0f stored/s cpu  peak %6.1f MB\n",
                mail ? "mail" : "forum", halfFull ? "half-full" : "empty", f.stored, f.staging, f.storing, f.storingCpu,
                f.storing > 0 ? double(f.stored) / f.storing : 0.0,
                f.storingCpu > 0 ? double(f.stored) / f.storingCpu : 0.0, double(ru.ru_maxrss) / 1024.0);
    std::fflush(stdout);
    std::filesystem::remove_all(home);
    return f.stored == count ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_import WORKDIR [COUNT]\n");
        return 2;
    }
    std::string work = argv[1];
    long count = argc > 2 ? std::atol(argv[2]) : 100000;
    if (count <= 0) count = 100000;
    std::filesystem::create_directories(work);
    if (argc > 3) {
        std::string only = argv[3];
        return oneConfiguration(work, only.rfind("mail", 0) == 0, only.find("half") != std::string::npos, count);
    }
    int failures = 0;
    for (bool mail : {true, false}) {
        for (bool half : {false, true}) {
            pid_t pid = ::fork();
            if (pid == 0) ::_exit(oneConfiguration(work, mail, half, count));
            int status = 0;
            ::waitpid(pid, &status, 0);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
        }
    }
    return failures ? 1 : 0;
}
