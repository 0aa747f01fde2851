#include "import/RunSupport.h"

#include <sys/statvfs.h>

#include <cmath>
#include <limits>

#include "database/Calendar.h"
#include "database/Preferences.h"

namespace quill {

void CalcMax(int32_t& divisor, int16_t& barMax, double total) {
    if (!(total > 0)) {
        divisor = 1;
        barMax = 0;
        return;
    }
    // n = ceil(total / 32767) is the smallest whole n with total / n <= 32767.
    double n = std::ceil(total / 32767.0);
    if (n < 1) n = 1;
    while (n > 1 && total / (n - 1) <= 32767.0) n -= 1;
    while (total / n > 32767.0) n += 1;
    if (n > double(std::numeric_limits<int32_t>::max())) n = double(std::numeric_limits<int32_t>::max());
    divisor = int32_t(n);
    barMax = int16_t(total / n);
}

namespace {
int32_t speedChoice(Session& s, int preference) { return konfigNumber(s, preference); }
}  // namespace

int32_t SpeedVal(Session& s, int action, int setting) {
    static constexpr int32_t table[6][7] = {
        {50, 100, 250, 500, 750, 1000, 1250},  // 26
        {50, 100, 200, 275, 350, 500, 700},    // 27
        {1, 3, 7, 10, 20, 30, 40},             // 28
        {1, 3, 7, 10, 20, 30, 40},             // 29
        {8, 16, 30, 50, 70, 85, 100},          // 30
        {10, 20, 20, 25, 25, 50, 50},          // 31, from the setting-30 choice
    };
    static constexpr int32_t defaults[6] = {500, 300, 4, 4, 4, ReaderBatchDefault};
    if (action == 2) return 1;  // the preferences are held in the session; nothing to reread
    if (action != 3 || setting < 26 || setting > 31) return 0;
    int row = setting - 26;
    int32_t choice = speedChoice(s, setting == 31 ? 30 : setting);
    if (choice < 1 || choice > 7) return defaults[row];
    return table[row][choice - 1];
}

int32_t StartStopAt(Stopwatch& watch, int action, int slot, int32_t date, int32_t time) {
    if (action == 0) {
        watch.marks = {};
        return 0;
    }
    if (slot < 1 || slot > 20) return 0;
    auto& m = watch.marks[std::size_t(slot)];
    if (action == 1) {
        m.date = date;
        m.time = time;
        return 0;
    }
    if (action == 2) {
        if (m.date == 0 && m.time == 0) return 0;
        int64_t hundredths = int64_t(date - m.date) * 8640000 + (int64_t(time) - m.time);
        if (hundredths < 0) hundredths = 0;
        return int32_t(hundredths / 100);
    }
    return 0;
}

int32_t StartStop(Stopwatch& watch, int action, int slot) {
    return StartStopAt(watch, action, slot, today(), clockNow());
}

uint64_t freeDiskSpace(const std::string& path) {
    struct statvfs v {};
    std::string p = path.empty() ? "." : path;
    // A path that does not exist yet is measured at its nearest parent.
    while (::statvfs(p.c_str(), &v) != 0) {
        auto slash = p.find_last_of('/');
        if (slash == std::string::npos || p == "/") return std::numeric_limits<uint64_t>::max();
        p = slash == 0 ? "/" : p.substr(0, slash);
    }
    return uint64_t(v.f_bavail) * uint64_t(v.f_frsize);
}

std::string numberPicture(uint64_t value, int width) {
    std::string digits = std::to_string(value);
    std::string out;
    int n = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (n > 0 && n % 3 == 0) out.insert(out.begin(), ',');
        out.insert(out.begin(), *it);
        ++n;
    }
    if (int(out.size()) < width) out.insert(0, std::size_t(width) - out.size(), ' ');
    return out;
}

int CheckSpace(Session& s, uint64_t bytes, const std::string& path, const FreeSpaceProbe& probe) {
    uint64_t free = probe ? probe(path) : freeDiskSpace(path);
    if (bytes <= free) return 0;
    if (s.unattended()) return 1;
    Button b = s.ask("You have only " + numberPicture(free, 13) + " bytes free on disk  " + path.substr(0, 2) + " " +
                         "This may be too little for this process. Running out of diskspace may corrupt the currently "
                         "accessed data file(s).Press OK if you want to continue and Cancel if you want to abort this "
                         "process!",
                     "Warning", {Button::Ok, Button::Cancel}, Button::Cancel);
    return b == Button::Ok ? 0 : 1;
}

}  // namespace quill
