#include "search/WordBreak.h"

#include <cstring>

#include "database/Common.h"

namespace quill {

namespace {

bool isLetter1252(unsigned ch) {
    if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')) return true;
    if (ch >= 0xC0 && ch != 0xD7 && ch != 0xF7) return true;
    return ch == 0x8A || ch == 0x8C || ch == 0x8E || ch == 0x9A || ch == 0x9C || ch == 0x9E || ch == 0x9F;
}

bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

// The Control record kind that holds the indexing settings.
constexpr uint8_t indexSettingsKind = 22;

}  // namespace

WordTables WordTables::defaults() {
    WordTables t;
    for (unsigned ch = 0; ch < 256; ++ch) {
        bool word = isLetter1252(ch) || (ch >= '0' && ch <= '9');
        t.StartWordHash[ch] = t.InWordHash[ch] = t.EndWordHash[ch] = word ? 1 : 0;
    }
    for (unsigned char ch : std::string_view("'._-")) t.InWordHash[ch] = 1;
    t.IsJunkHash[0xAD] = 1;
    return t;
}

std::string WordTables::signature() const {
    std::string sig;
    sig.reserve(256);
    for (unsigned ch = 0; ch < 256; ++ch)
        sig += char('a' + (StartWordHash[ch] ? 1 : 0) + (InWordHash[ch] ? 2 : 0) + (EndWordHash[ch] ? 4 : 0) +
                     (IsJunkHash[ch] ? 8 : 0));
    return sig;
}

const std::array<char, 256>& upperTable() {
    static const auto upper = [] {
        std::array<char, 256> u{};
        for (unsigned ch = 0; ch < 256; ++ch) u[ch] = char(upper1252(static_cast<unsigned char>(ch)));
        return u;
    }();
    return upper;
}

void breakWords(std::string_view text, const WordTables& t, const std::function<void(const WordHit&)>& f) {
    forEachWord(text, t, f);
}

std::vector<std::string> wordsOf(std::string_view text, const WordTables& t) {
    std::vector<std::string> v;
    breakWords(text, t, [&](const WordHit& h) { v.push_back(h.word); });
    return v;
}

bool indexable(std::string_view w, const IndexSettings& settings) {
    if (w.empty()) return false;
    std::size_t digits = 0, groups = 1, others = 0;
    bool hex = true;
    for (char ch : w) {
        if (isDigit(ch)) ++digits;
        else if (ch == '.' || ch == '-' || ch == ':' || ch == '/') ++groups;
        else ++others;
        bool h = isDigit(ch) || (ch >= 'A' && ch <= 'F');
        hex = hex && h;
    }
    if (others == 0 && digits > 0) {
        // Long digit runs and dotted groups (dates, times, network addresses)
        // are header data, never words.
        if (digits > 8 || groups >= 3) return false;
    }
    if (!settings.indexNumbers) {
        if (isDigit(w[0])) return false;
        if (hex && digits > 0) return false;
    }
    return true;
}

std::pair<std::size_t, std::size_t> indexedSpan(std::string_view text, bool skipTagLines) {
    std::size_t begin = 0, end = text.size();
    // A leading Internet header block: lines "Name: value" (with folded
    // continuation lines) up to the first empty line, at least two fields and
    // one of the usual ones among them.
    {
        std::size_t pos = 0, fields = 0;
        bool known = false, header = true, ended = false;
        while (pos < text.size()) {
            std::size_t eol = text.find('\n', pos);
            if (eol == std::string_view::npos) eol = text.size();
            std::string_view line = text.substr(pos, eol - pos);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.empty()) {
                ended = true;
                pos = eol + 1;
                break;
            }
            if (line[0] == ' ' || line[0] == '\t') {
                if (fields == 0) header = false;
            } else {
                std::size_t colon = line.find(':');
                bool name = colon != std::string_view::npos && colon > 0;
                for (std::size_t k = 0; name && k < colon; ++k) {
                    unsigned char ch = static_cast<unsigned char>(line[k]);
                    name = ch > 32 && ch < 127;
                }
                if (!name) header = false;
                else {
                    ++fields;
                    std::string field = upper1252(line.substr(0, colon));
                    known = known || field == "FROM" || field == "RECEIVED" || field == "MESSAGE-ID" ||
                            field == "RETURN-PATH" || field == "DATE" || field == "SUBJECT" || field == "TO";
                }
            }
            if (!header) break;
            pos = eol + 1;
        }
        if (header && ended && fields >= 2 && known) begin = pos;
    }
    if (skipTagLines) {
        // The footer starts at the last signature separator line.
        std::size_t at = begin;
        std::size_t found = std::string_view::npos;
        while (at < text.size()) {
            std::size_t eol = text.find('\n', at);
            if (eol == std::string_view::npos) eol = text.size();
            std::string_view line = text.substr(at, eol - at);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line == "-- " || line == "--") found = at;
            at = eol + 1;
        }
        if (found != std::string_view::npos) end = found;
    }
    return {begin, end};
}

IndexSettings loadIndexSettings(Session& s) {
    IndexSettings st;
    OP_CLOSE(s, OpOpenShared, {ControlFile::Number});
    s.Control.clearBuffer();
    s.CTL.ID = indexSettingsKind;
    if (s.Control.get(ControlFile::IDKEY)) {
        // "numbers skiptags autostop scanlimit setname"
        std::string v = s.CTL.CTLGROUP.str();
        if (v.size() >= 3) {
            st.indexNumbers = v[0] == '1';
            st.skipTagLines = v[1] == '1';
            st.autoStopWords = v[2] == '1';
            std::size_t sp = v.find(' ', 4);
            long limit = std::strtol(v.c_str() + std::min<std::size_t>(4, v.size()), nullptr, 10);
            if (limit > 0) st.searchScanLimit = int32_t(limit);
            if (sp != std::string::npos && sp + 1 < v.size()) st.wordSet = v.substr(sp + 1);
        }
    }
    OP_CLOSE(s, OpClose, {ControlFile::Number});
    return st;
}

bool saveIndexSettings(Session& s, const IndexSettings& st) {
    OP_CLOSE(s, OpOpenShared, {ControlFile::Number});
    s.Control.clearBuffer();
    s.CTL.ID = indexSettingsKind;
    bool exists = bool(s.Control.get(ControlFile::IDKEY));
    if (exists && HoldRec(s, s.Control, ControlFile::IDKEY, true, {}) != 1) {
        OP_CLOSE(s, OpClose, {ControlFile::Number});
        return false;
    }
    if (!exists) {
        s.Control.clearBuffer();
        s.CTL.ID = indexSettingsKind;
    }
    std::string v;
    v += st.indexNumbers ? '1' : '0';
    v += st.skipTagLines ? '1' : '0';
    v += st.autoStopWords ? '1' : '0';
    v += ' ' + std::to_string(st.searchScanLimit > 0 ? st.searchScanLimit : 1) + ' ' + st.wordSet.substr(0, 40);
    s.CTL.CTLGROUP = v;
    bool ok = UppDat(s, s.Control, exists ? UpdPut : UpdAdd, UpdReport);
    s.Control.release();
    OP_CLOSE(s, OpClose, {ControlFile::Number});
    return ok;
}

WordTables loadWordTables(Session& s, const std::string& setName) {
    WordTables t;
    bool any = false;
    OP_CLOSE(s, OpOpenShared, {WordCharsFile::Number});
    s.WordChars.clearBuffer();
    s.WD.SETNAME = setName;
    s.WD.ID = 0;
    s.WordChars.setFrom(WordCharsFile::BY_SETNAME);
    while (s.WordChars.next()) {
        if (upper1252(s.WD.SETNAME.view()) != upper1252(setName)) break;
        unsigned ch = s.WD.ID;
        t.StartWordHash[ch] = s.WD.STARTWORD ? 1 : 0;
        t.InWordHash[ch] = s.WD.INWORD ? 1 : 0;
        t.EndWordHash[ch] = s.WD.ENDWORD ? 1 : 0;
        any = true;
    }
    OP_CLOSE(s, OpClose, {WordCharsFile::Number});
    if (!any) return WordTables::defaults();
    t.IsJunkHash = WordTables::defaults().IsJunkHash;
    return t;
}

bool saveWordTables(Session& s, const std::string& setName, const WordTables& t) {
    OP_CLOSE(s, OpOpenShared, {WordCharsFile::Number});
    bool ok = beginWrites(s, {&s.WordChars});
    if (ok) {
        s.WordChars.clearBuffer();
        s.WD.SETNAME = setName;
        s.WD.ID = 0;
        s.WordChars.setFrom(WordCharsFile::BY_SETNAME);
        while (ok && s.WordChars.next()) {
            if (upper1252(s.WD.SETNAME.view()) != upper1252(setName)) break;
            ok = UppDat(s, s.WordChars, UpdDelete, UpdReportRollback);
        }
        for (unsigned ch = 0; ok && ch < 256; ++ch) {
            s.WordChars.clearBuffer();
            s.WD.SETNAME = setName;
            s.WD.ID = uint8_t(ch);
            s.WD.STARTWORD = t.StartWordHash[ch];
            s.WD.INWORD = t.InWordHash[ch];
            s.WD.ENDWORD = t.EndWordHash[ch];
            ok = UppDat(s, s.WordChars, UpdAdd, UpdReportRollback);
        }
        if (ok) ok = bool(s.store.commit());
    }
    OP_CLOSE(s, OpClose, {WordCharsFile::Number});
    return ok;
}

}  // namespace quill
