#include "database/Preferences.h"

#include <cstring>
#include <ctime>
#include <langinfo.h>

#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/Common.h"

namespace quill {

namespace {

// Layout of a preference inside its group's 257-byte value area.
struct Slot {
    int number;
    int kind;    // Control record kind
    int offset;  // in the value area
    int width;   // 4 = LONG, 1 = BYTE, otherwise text width
    bool font;   // text (20) followed by a LONG size
};

std::vector<Slot> buildSlots() {
    std::vector<Slot> v;
    int off = 0;
    auto num = [&](int kind, int n) { v.push_back({n, kind, off, 4, false}); off += 4; };
    auto text = [&](int kind, int n, int w) { v.push_back({n, kind, off, w, false}); off += w; };
    for (int n = 2; n <= 13; ++n) num(1, n);
    num(1, 16);
    num(1, 19);
    num(1, 61);
    num(1, 62);
    num(1, 63);
    text(1, 15, 15);
    text(1, 17, 25);
    off = 0;
    for (int n = 22; n <= 30; ++n) num(9, n);
    num(9, 32);
    for (int n = 33; n <= 36; ++n) {
        v.push_back({n, 9, off, 20, true});
        off += 24;
    }
    for (int n = 37; n <= 40; ++n) num(9, n);
    text(9, 41, 15);
    for (int n : {42, 46, 47, 48, 57, 58, 59, 60}) num(9, n);
    v.push_back({64, 9, off, 1, false});
    off += 1;
    num(9, 65);
    v.push_back({14, 20, 0, 254, false});
    return v;
}

const std::vector<Slot>& slots() {
    static const std::vector<Slot> v = buildSlots();
    return v;
}

const Slot* slotOf(int number) {
    for (auto& sl : slots())
        if (sl.number == number) return &sl;
    return nullptr;
}

int32_t defaultOf(int number) {
    switch (number) {
        case 2: case 4: case 9: case 59: case 61: case 62: return 1;
        case 3: return 15;
        case 10: case 12: return 17;
        case 13: return 7;
        case 16: case 38: case 39: return 2;
        case 63: return 3;
        case 22: case 25: return 255;
        case 23: return 12632256;
        case 24: return 8388608;
        case 26: case 27: case 28: case 29: case 30: return 4;
        case 33: case 34: case 35: case 36: return 8;
        case 58: return 78;
        default: return 0;
    }
}

int32_t readLong(const unsigned char* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}
void writeLong(unsigned char* p, int32_t v) {
    uint32_t u = uint32_t(v);
    p[0] = uint8_t(u); p[1] = uint8_t(u >> 8); p[2] = uint8_t(u >> 16); p[3] = uint8_t(u >> 24);
}
std::string clip(const unsigned char* p, int w) {
    std::string t(reinterpret_cast<const char*>(p), std::size_t(w));
    while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.pop_back();
    return t;
}
void putText(unsigned char* p, int w, const std::string& t) {
    std::memset(p, ' ', std::size_t(w));
    std::memcpy(p, t.data(), std::min<std::size_t>(t.size(), std::size_t(w)));
}

void prefError(Session& s) { s.tell(CallNeo(s, 28), CallNeo(s, 27)); }

// Takes a group's preferences from the record in the buffer into memory,
// putting the defaults (and, for kind 1, the identifier floor) into the
// record image as it goes.
void takeGroup(Session& s, int kind) {
    if (kind == 1 && uint32_t(s.CTL.NEXTNUMBER) < kIdentifierFloor) s.CTL.NEXTNUMBER = kIdentifierFloor;
    for (auto& sl : slots()) {
        if (sl.kind != kind) continue;
        unsigned char* p = s.CTL.CTLFIELD + sl.offset;
        if (sl.font) {
            std::string name = clip(p, 20);
            int32_t size = readLong(p + 20);
            if (name.empty()) name = "Arial";
            if (size == 0) size = defaultOf(sl.number);
            s.prefs.texts[sl.number] = name;
            s.prefs.numbers[sl.number] = size;
            putText(p, 20, name);
            writeLong(p + 20, size);
        } else if (sl.width == 4) {
            int32_t v = readLong(p);
            if (v == 0) v = defaultOf(sl.number);
            s.prefs.numbers[sl.number] = v;
            writeLong(p, v);
        } else if (sl.width == 1) {
            s.prefs.numbers[sl.number] = *p;
        } else {
            s.prefs.texts[sl.number] = clip(p, sl.width);
        }
    }
}

std::string imageOfControl(Session& s) {
    return std::string(reinterpret_cast<const char*>(s.Control.buffer()), s.Control.recordSize());
}

// Changes one Control record of a kind inside a short transaction of its
// own, so that nothing another program wrote meanwhile is put back: above
// all the identifier generator, which shares its record with kind 1. change
// works on the record as it stands (created blank when missing).
template <class Change>
bool changeControl(Session& s, int kind, Change change) {
    if (!s.Control.beginAlone(5)) return false;
    s.Control.clearBuffer();
    s.CTL.ID = uint8_t(kind);
    Status st = s.Control.get(ControlFile::IDKEY);
    bool ok;
    if (st) {
        change();
        ok = UppDat(s, s.Control, UpdPut, UpdReport);
    } else if (st.code() == RecordNotFoundErr) {
        s.Control.clearBuffer();
        s.CTL.ID = uint8_t(kind);
        std::memset(s.CTL.CTLFIELD, 0, sizeof s.CTL.CTLFIELD);
        if (kind == 1) s.CTL.NEXTNUMBER = kIdentifierFloor;
        change();
        ok = UppDat(s, s.Control, UpdAdd, UpdReport);
    } else {
        ok = false;
    }
    return bool(s.Control.endAlone(ok)) && ok;
}

// Loading reads the group; it writes only when the stored record is missing
// or lacks a default or the identifier floor. A program that only reads
// writes nothing.
bool loadGroup(Session& s, int kind) {
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = uint8_t(kind);
    bool ok = true;
    bool found = bool(s.Control.get(ControlFile::IDKEY));
    std::string before = imageOfControl(s);
    if (found) takeGroup(s, kind);
    if (!found || imageOfControl(s) != before) ok = changeControl(s, kind, [&] { takeGroup(s, kind); });
    OP_CLOSE(s, OpClose, {8});
    if (!ok) prefError(s);
    return ok;
}

// Writes the group's preferences held in the session into the record image
// in the buffer.
void putGroup(Session& s, int kind) {
    for (auto& sl : slots()) {
        if (sl.kind != kind) continue;
        unsigned char* p = s.CTL.CTLFIELD + sl.offset;
        if (sl.font) {
            putText(p, 20, s.prefs.texts[sl.number]);
            writeLong(p + 20, s.prefs.numbers[sl.number]);
        } else if (sl.width == 4) {
            writeLong(p, s.prefs.numbers[sl.number]);
        } else if (sl.width == 1) {
            *p = uint8_t(s.prefs.numbers[sl.number]);
        } else {
            putText(p, sl.width, s.prefs.texts[sl.number]);
        }
    }
}

bool saveGroup(Session& s, int kind) {
    OP_CLOSE(s, OpOpenShared, {8});
    bool ok = changeControl(s, kind, [&] { putGroup(s, kind); });
    OP_CLOSE(s, OpClose, {8});
    if (!ok) prefError(s);
    return ok;
}

bool setOrRead(Session& s, int kind, bool set, int preference, int32_t& value, int length, std::string& text) {
    const Slot* sl = slotOf(preference);
    if (!sl || sl->kind != kind) {
        if (kind == 1) s.stop("Internal Error - invalid xType =" + std::to_string(preference), "Program Failure!");
        return kind != 1;
    }
    bool isText = sl->font || (sl->width != 4 && sl->width != 1);
    if (set) {
        if (sl->font || sl->width == 4 || sl->width == 1) s.prefs.numbers[preference] = value;
        if (isText) {
            std::string t = text;
            if (length > 0 && int(t.size()) > length) t.resize(std::size_t(length));
            if (int(t.size()) > (sl->font ? 20 : sl->width)) t.resize(std::size_t(sl->font ? 20 : sl->width));
            s.prefs.texts[preference] = t;
        }
    } else {
        if (sl->font || sl->width == 4 || sl->width == 1) value = s.prefs.numbers[preference];
        if (isText) {
            text = s.prefs.texts[preference];
            if (length > 0 && int(text.size()) > length) text.resize(std::size_t(length));
        }
    }
    return true;
}

}  // namespace

bool Konfig(Session& s, int operation, int preference, int32_t& value, int length, std::string& text) {
    switch (operation) {
        case 1: return loadGroup(s, 1);
        case 2: return setOrRead(s, 1, true, preference, value, length, text);
        case 3: return setOrRead(s, 1, false, preference, value, length, text);
        case 4: return saveGroup(s, 1);
        case 6: return loadGroup(s, 9);
        case 7: return setOrRead(s, 9, true, preference, value, length, text);
        case 8: return setOrRead(s, 9, false, preference, value, length, text);
        case 9: return saveGroup(s, 9);
        case 23: return loadGroup(s, 20);
        case 24: return setOrRead(s, 20, true, 14, value, length, text);
        case 25: return setOrRead(s, 20, false, 14, value, length, text);
        case 26: return saveGroup(s, 20);
        default: return false;
    }
}

bool savePreferenceChanges(Session& s, const std::map<int, int32_t>& numbers,
                           const std::map<int, std::string>& texts) {
    bool ok = true;
    for (int kind : {1, 9, 20}) {
        auto mine = [&](int number) {
            const Slot* sl = slotOf(number);
            return sl && sl->kind == kind;
        };
        bool touched = false;
        for (auto& [n, v] : numbers) touched = touched || mine(n);
        for (auto& [n, v] : texts) touched = touched || mine(n);
        if (!touched) continue;
        OP_CLOSE(s, OpOpenShared, {8});
        bool written = changeControl(s, kind, [&] {
            // The record as it stands now, then the user's changes on top.
            takeGroup(s, kind);
            for (auto& [n, v] : numbers)
                if (mine(n)) s.prefs.numbers[n] = v;
            for (auto& [n, v] : texts) {
                if (!mine(n)) continue;
                const Slot* sl = slotOf(n);
                s.prefs.texts[n] = v.substr(0, std::size_t(sl->font ? 20 : sl->width));
            }
            putGroup(s, kind);
        });
        OP_CLOSE(s, OpClose, {8});
        if (!written) {
            prefError(s);
            ok = false;
        }
    }
    return ok;
}

int32_t konfigNumber(Session& s, int preference) {
    int32_t v = 0;
    std::string t;
    const Slot* sl = slotOf(preference);
    int op = sl && sl->kind == 9 ? 8 : 3;
    (void)Konfig(s, op, preference, v, 0, t);
    return v;
}

void setKonfigNumber(Session& s, int preference, int32_t value) {
    std::string t;
    const Slot* sl = slotOf(preference);
    int op = sl && sl->kind == 9 ? 7 : 2;
    (void)Konfig(s, op, preference, value, 0, t);
}

int32_t SetDate(Session& s, std::string& label, std::string& picture) {
    int32_t v = s.prefs.numbers.count(10) ? s.prefs.numbers[10] : 17;
    switch (v) {
        case 2: label = "mm-dd-yyyy"; picture = "@D2-"; break;
        case 6: label = "dd-mm-yyyy"; picture = "@D6-"; break;
        case 10: label = "yyyy-mm-dd"; picture = "@D10-"; break;
        default: label = "Windows setting"; picture = "@D17"; break;
    }
    return v;
}

int32_t SetTime(Session& s, std::string& label, std::string& picture) {
    int32_t v = s.prefs.numbers.count(13) ? s.prefs.numbers[13] : 7;
    switch (v) {
        case 1: label = "hh:mm"; picture = "@T1"; break;
        case 3: label = "hh:mmXM"; picture = "@T3"; break;
        default: label = "Windows setting"; picture = "@T7"; break;
    }
    return v;
}

std::string formatDate(int32_t date, const std::string& picture) {
    if (date <= 0) return {};
    Ymd d = ymdFromDate(date);
    char b[48];
    if (picture == "@D18") {
        // The system's long date: weekday, month name, day and year.
        static const char* const weekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};
        static const char* const months[] = {"January", "February", "March",     "April",   "May",      "June",
                                             "July",    "August",   "September", "October", "November", "December"};
        if (d.month < 1 || d.month > 12) return {};
        // The remainder of a day number by 7 is its weekday, Sunday = 0.
        const int weekday = int(date % 7);
        std::snprintf(b, sizeof b, "%s, %s %d, %04d", weekdays[weekday], months[d.month - 1], d.day, d.year);
        return b;
    }
    if (picture == "@D2-") std::snprintf(b, sizeof b, "%02d-%02d-%04d", d.month, d.day, d.year);
    else if (picture == "@D6-") std::snprintf(b, sizeof b, "%02d-%02d-%04d", d.day, d.month, d.year);
    else if (picture == "@D10-") std::snprintf(b, sizeof b, "%04d-%02d-%02d", d.year, d.month, d.day);
    else {
        // The system's short date format, its year with four digits: an
        // archive spans more than one century.
        std::tm tm{};
        tm.tm_year = d.year - 1900;
        tm.tm_mon = d.month - 1;
        tm.tm_mday = d.day;
        std::string format = ::nl_langinfo(D_FMT);
        if (format.empty()) format = "%x";
        for (std::size_t at = format.find("%y"); at != std::string::npos; at = format.find("%y", at + 2))
            format[at + 1] = 'Y';
        if (std::strftime(b, sizeof b, format.c_str(), &tm) == 0) b[0] = '\0';
    }
    return b;
}

std::string formatTime(int32_t time, const std::string& picture) {
    if (time <= 0) return {};
    Hms h = hmsFromTime(time);
    char b[32];
    // @T7, the system's short time: hours and minutes.
    if (picture == "@T1" || picture == "@T7") std::snprintf(b, sizeof b, "%02d:%02d", h.hour, h.minute);
    else if (picture == "@T3")
        std::snprintf(b, sizeof b, "%02d:%02d%s", h.hour % 12 == 0 ? 12 : h.hour % 12, h.minute, h.hour < 12 ? "AM" : "PM");
    else {
        std::tm tm{};
        tm.tm_hour = h.hour;
        tm.tm_min = h.minute;
        tm.tm_sec = h.second;
        std::strftime(b, sizeof b, "%X", &tm);
    }
    return b;
}

namespace {

WindowRect defaultWindow(int set, int i) {
    // Windows cascade from the top left corner, the second set a little
    // larger for the large frame.
    int16_t step = int16_t(16 * (i % 10));
    return set == 0 ? WindowRect{int16_t(20 + step), int16_t(20 + step), 640, 440}
                    : WindowRect{int16_t(20 + step), int16_t(20 + step), 800, 560};
}

void packWindows(unsigned char* area, const std::array<WindowRect, kWindowCount>& w) {
    std::memset(area, 0, 257);
    for (int i = 0; i < kWindowCount; ++i) {
        int16_t v[4] = {w[std::size_t(i)].left, w[std::size_t(i)].top, w[std::size_t(i)].width, w[std::size_t(i)].height};
        for (int k = 0; k < 4; ++k) {
            area[i * 8 + k * 2] = uint8_t(uint16_t(v[k]));
            area[i * 8 + k * 2 + 1] = uint8_t(uint16_t(v[k]) >> 8);
        }
    }
}

void unpackWindows(const unsigned char* area, std::array<WindowRect, kWindowCount>& w) {
    for (int i = 0; i < kWindowCount; ++i) {
        int16_t v[4];
        for (int k = 0; k < 4; ++k) v[k] = int16_t(uint16_t(area[i * 8 + k * 2] | area[i * 8 + k * 2 + 1] << 8));
        w[std::size_t(i)] = {v[0], v[1], v[2], v[3]};
    }
}

void packColumns(unsigned char* area, const std::array<std::array<int16_t, kListColumns>, kListCount>& c) {
    std::memset(area, 0, 257);
    for (int l = 0; l < kListCount; ++l)
        for (int k = 0; k < kListColumns; ++k) {
            uint16_t v = uint16_t(c[std::size_t(l)][std::size_t(k)]);
            area[(l * kListColumns + k) * 2] = uint8_t(v);
            area[(l * kListColumns + k) * 2 + 1] = uint8_t(v >> 8);
        }
}

void unpackColumns(const unsigned char* area, std::array<std::array<int16_t, kListColumns>, kListCount>& c) {
    for (int l = 0; l < kListCount; ++l)
        for (int k = 0; k < kListColumns; ++k) {
            int i = (l * kListColumns + k) * 2;
            c[std::size_t(l)][std::size_t(k)] = int16_t(uint16_t(area[i] | area[i + 1] << 8));
        }
}

// Loads (creating when missing) a pair of Control records: defaults and current.
template <class Pack, class Unpack, class T>
bool loadPair(Session& s, int defKind, int curKind, T& defaults, T& current, const T& builtIn, Pack pack, Unpack unpack) {
    OP_CLOSE(s, OpOpenShared, {8});
    bool ok = true;
    for (int kind : {defKind, curKind}) {
        s.Control.clearBuffer();
        s.CTL.ID = uint8_t(kind);
        if (!s.Control.get(ControlFile::IDKEY)) {
            s.Control.clearBuffer();
            s.CTL.ID = uint8_t(kind);
            pack(s.CTL.CTLFIELD, builtIn);
            // Another program starting at the same moment may have added it.
            if (Status a = s.Control.add(); !a && a.code() != DupKeyErr) ok = false;
        }
        unpack(s.CTL.CTLFIELD, kind == defKind ? defaults : current);
    }
    OP_CLOSE(s, OpClose, {8});
    if (!ok) prefError(s);
    return ok;
}

template <class Pack, class T>
bool savePair(Session& s, int curKind, const T& current, Pack pack) {
    OP_CLOSE(s, OpOpenShared, {8});
    s.Control.clearBuffer();
    s.CTL.ID = uint8_t(curKind);
    bool ok = HoldRec(s, s.Control, ControlFile::IDKEY, true, {}) == 1;
    if (ok) {
        pack(s.CTL.CTLFIELD, current);
        ok = UppDat(s, s.Control, UpdPut, UpdReport);
        s.Control.release();
    }
    OP_CLOSE(s, OpClose, {8});
    if (!ok) prefError(s);
    return ok;
}

bool windowPos(Session& s, int set, int operation, int window, WindowRect& rect) {
    auto& defs = s.prefs.windowDefaults[std::size_t(set)];
    auto& cur = s.prefs.windowCurrent[std::size_t(set)];
    int defKind = set == 0 ? 2 : 7, curKind = set == 0 ? 3 : 8;
    bool inRange = window >= 1 && window <= kWindowCount;
    switch (operation) {
        case 1: {
            std::array<WindowRect, kWindowCount> builtIn;
            for (int i = 0; i < kWindowCount; ++i) builtIn[std::size_t(i)] = defaultWindow(set, i);
            return loadPair(s, defKind, curKind, defs, cur, builtIn, packWindows, unpackWindows);
        }
        case 2:
            if (!inRange) return false;
            {
                // Values of 2000 and more are off any screen: the old value stays.
                WindowRect& w = cur[std::size_t(window - 1)];
                if (rect.left < 2000) w.left = rect.left;
                if (rect.top < 2000) w.top = rect.top;
                if (rect.width < 2000) w.width = rect.width;
                if (rect.height < 2000) w.height = rect.height;
            }
            return true;
        case 3:
            if (!inRange) return false;
            rect = cur[std::size_t(window - 1)];
            return true;
        case 4:
            return savePair(s, curKind, cur, packWindows);
        case 5:
            cur = defs;
            return true;
        default:
            return false;
    }
}

}  // namespace

bool WindowPos(Session& s, int operation, int window, WindowRect& rect) { return windowPos(s, 0, operation, window, rect); }
bool WindowPos2(Session& s, int operation, int window, WindowRect& rect) { return windowPos(s, 1, operation, window, rect); }

bool ListCol(Session& s, int operation, int list, std::vector<int>& widths) {
    auto& defs = s.prefs.columnDefaults;
    auto& cur = s.prefs.columnCurrent;
    bool inRange = list >= 1 && list <= kListCount;
    switch (operation) {
        case 1: {
            std::array<std::array<int16_t, kListColumns>, kListCount> builtIn{};
            for (auto& l : builtIn) l = {120, 80, 160, 160, 80};
            return loadPair(s, 5, 6, defs, cur, builtIn, packColumns, unpackColumns);
        }
        case 2:
            if (!inRange) return false;
            for (std::size_t k = 0; k < widths.size() && k < std::size_t(kListColumns); ++k) {
                int w = widths[k];
                // Lists 1 and 2 pass their five values as they are; the
                // others accept only widths a column can really have.
                if (list <= 2 || (w > 5 && w <= 600)) cur[std::size_t(list - 1)][k] = int16_t(w);
            }
            return true;
        case 3:
            if (!inRange) return false;
            widths.assign(cur[std::size_t(list - 1)].begin(), cur[std::size_t(list - 1)].end());
            return true;
        case 4:
            return savePair(s, 6, cur, packColumns);
        case 5:
            cur = defs;
            return true;
        default:
            return false;
    }
}

bool loadAllPreferences(Session& s) {
    int32_t v = 0;
    std::string t;
    bool ok = Konfig(s, 1, 0, v, 0, t);
    ok = Konfig(s, 6, 0, v, 0, t) && ok;
    ok = Konfig(s, 23, 0, v, 0, t) && ok;
    WindowRect r;
    ok = WindowPos(s, 1, 0, r) && ok;
    ok = WindowPos2(s, 1, 0, r) && ok;
    std::vector<int> w;
    ok = ListCol(s, 1, 0, w) && ok;
    return ok;
}

VersionCheck checkProgramVersion(Session& s, bool configExisted) {
    VersionCheck r;
    const int32_t stored = konfigNumber(s, kPrefProgramVersion);
    r.firstStart = !configExisted || stored == 0;
    if (stored >= kLayoutVersion) return r;
    r.upgraded = configExisted;
    WindowRect unusedRect;
    std::vector<int> unusedWidths;
    (void)WindowPos(s, 5, 0, unusedRect);
    (void)WindowPos2(s, 5, 0, unusedRect);
    (void)ListCol(s, 5, 0, unusedWidths);
    (void)WindowPos(s, 4, 0, unusedRect);
    (void)WindowPos2(s, 4, 0, unusedRect);
    (void)ListCol(s, 4, 0, unusedWidths);
    setKonfigNumber(s, kPrefProgramVersion, kProgramVersion);
    int32_t unused = 0;
    std::string none;
    (void)Konfig(s, 4, kPrefProgramVersion, unused, 0, none);
    return r;
}

}  // namespace quill
