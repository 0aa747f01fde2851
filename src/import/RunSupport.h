// Small services of the long runs: progress-bar scaling, the batch sizes of
// the speed settings, a 20-slot stopwatch and the free-space checks of the
// data and temporary drives.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "database/Session.h"

namespace quill {

// The smallest whole n >= 1 for which total / n <= 32767: divisor = n and
// barMax = total / n. A position on the bar is an amount divided by n.
void CalcMax(int32_t& divisor, int16_t& barMax, double total);

// The speed settings (preferences 26 to 30, each a choice 1 to 7) turned into
// batch sizes. Action 2 (re)reads the settings and returns 1; action 3 returns
// the size of setting 26..31. Setting 30 is the import run's batch size
// (records per tick of the store phase and of the table readers); setting 31,
// derived from the setting-30 choice, is the readers' batch size. A setting
// without a stored choice takes its default.
int32_t SpeedVal(Session& s, int action, int setting);
// The value of setting 31 when no setting-30 choice is stored: the size that
// choice 4, the preference's own default, gives.
inline constexpr int32_t ReaderBatchDefault = 25;

// A stopwatch with 20 slots. Action 1 stores the current date and time in the
// slot; action 2 returns the whole seconds since then (across any number of
// midnights); action 0 clears every slot.
struct Stopwatch {
    struct Mark {
        int32_t date = 0;
        int32_t time = 0;
    };
    std::array<Mark, 21> marks{};  // 1..20 (not "slots": a Qt macro)
};
int32_t StartStop(Stopwatch& watch, int action, int slot);
// The same with an explicit clock (date, time), for callers that keep their
// own clock.
int32_t StartStopAt(Stopwatch& watch, int action, int slot, int32_t date, int32_t time);

// The free bytes of the file system that holds path; the probe can be
// replaced (tests simulate a full disk). Returns UINT64_MAX when it cannot be
// read.
using FreeSpaceProbe = std::function<uint64_t(const std::string& path)>;
uint64_t freeDiskSpace(const std::string& path);

// A number in the pictures N13 / N14: thousands separated by commas, right-
// justified in the width.
std::string numberPicture(uint64_t value, int width);

// 1 when bytes exceed the free space of path's drive (do not proceed), else 0.
// An interactive run is asked first ("Warning", OK / Cancel): OK gives 0.
int CheckSpace(Session& s, uint64_t bytes, const std::string& path, const FreeSpaceProbe& probe = {});

// The space a long run wants free on a drive it writes to.
inline constexpr uint64_t LowDiskSpace = 5000000;

}  // namespace quill
