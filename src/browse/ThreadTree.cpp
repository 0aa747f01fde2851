#include "browse/ThreadTree.h"

#include <algorithm>
#include <unordered_map>

#include "database/Charset.h"
#include "database/Common.h"
#include "database/Files.h"
#include "database/Preferences.h"

namespace quill {

ThreadEntry threadEntry(uint32_t msgNumber, uint32_t refNumber, std::string sender, int32_t date) {
    ThreadEntry e;
    e.msgNumber = msgNumber;
    e.parent = refNumber == msgNumber ? 0 : refNumber;
    e.sender = std::move(sender);
    e.date = date;
    return e;
}

namespace {

std::unordered_map<uint32_t, std::size_t> indexByNumber(const std::vector<ThreadEntry>& entries) {
    std::unordered_map<uint32_t, std::size_t> at;
    at.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) at.emplace(entries[i].msgNumber, i);
    return at;
}

}  // namespace

void assignLevels(std::vector<ThreadEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ThreadEntry& a, const ThreadEntry& b) { return a.msgNumber < b.msgNumber; });
    for (auto& e : entries) {
        e.level = 0;
        e.hasReplies = false;
        e.shown = false;
    }
    auto at = indexByNumber(entries);
    // The result is that of repeated passes until nothing changes, reached in
    // one walk per entry: follow the parents up to a known level or a root,
    // then give levels on the way back down. A chain that comes back to an
    // entry of the current walk is a cycle; it and everything below it keep
    // level 0, as the passes would leave them.
    enum : uint8_t { Unseen, OnPath, Done };
    std::vector<uint8_t> state(entries.size(), Unseen);
    std::vector<std::size_t> path;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (state[i] != Unseen) continue;
        path.clear();
        std::size_t cur = i;
        int base = 0;  // level of the entry above the path's top; -1: none will come
        for (;;) {
            state[cur] = OnPath;
            path.push_back(cur);
            uint32_t parent = entries[cur].parent == entries[cur].msgNumber ? 0 : entries[cur].parent;
            auto p = parent ? at.find(parent) : at.end();
            if (p == at.end()) {
                base = 0;  // a root
                break;
            }
            std::size_t par = p->second;
            if (state[par] == Done) {
                base = entries[par].level == 0 ? -1 : entries[par].level;
                if (base > 0) entries[par].hasReplies = true;
                break;
            }
            if (state[par] == OnPath) {
                base = -1;  // a cycle
                break;
            }
            cur = par;
        }
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            state[*it] = Done;
            if (base < 0) continue;
            entries[*it].level = ++base;
            if (it != path.rbegin()) entries[*std::prev(it)].hasReplies = true;
        }
    }
}

std::string treeRowText(const ThreadEntry& e, int display, const std::string& datePicture) {
    std::string sender = e.sender.substr(0, referenceSafeLength(e.sender, kTreeSenderLength));
    std::string number = std::to_string(e.msgNumber);
    std::string date = formatDate(e.date, datePicture);
    std::string t;
    switch (display) {
        case 2: t = sender + " " + number; break;
        case 3: t = sender + " " + date; break;
        case 4: t = sender + " " + number + " " + date; break;
        case 5: t = sender + " " + date + " " + number; break;
        default: t = sender; break;
    }
    return t.substr(0, referenceSafeLength(t, kTreeRowLength));
}

std::vector<TreeRow> treeRows(std::vector<ThreadEntry>& entries, int display, const std::string& datePicture) {
    // Entries are in number order (assignLevels), so children collected in
    // that order are already lowest-numbered first.
    auto at = indexByNumber(entries);
    std::vector<std::vector<std::size_t>> children(entries.size());
    std::vector<std::size_t> roots;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ThreadEntry& e = entries[i];
        if (e.level == 0) continue;
        if (e.level == 1) {
            roots.push_back(i);
            continue;
        }
        auto p = at.find(e.parent);
        if (p != at.end()) children[p->second].push_back(i);
    }
    std::vector<TreeRow> rows;
    std::vector<std::pair<std::size_t, std::size_t>> stack;  // node, next child to show
    auto show = [&](std::size_t i) {
        ThreadEntry& e = entries[i];
        e.shown = true;
        rows.push_back({treeRowText(e, display, datePicture), e.hasReplies, e.level, e.msgNumber});
        stack.push_back({i, 0});
    };
    for (std::size_t r : roots) {
        if (entries[r].shown) continue;
        show(r);
        while (!stack.empty()) {
            auto& [node, next] = stack.back();
            if (next < children[node].size()) {
                std::size_t c = children[node][next++];
                if (!entries[c].shown) show(c);
            } else {
                stack.pop_back();
            }
        }
    }
    return rows;
}

std::vector<ThreadEntry> readThread(Session& s, uint32_t threadNumber) {
    std::vector<ThreadEntry> out;
    if (threadNumber == 0) return out;
    OP_CLOSE(s, OpOpenShared, {ThreadsFile::Number, MsgNmbrFile::Number, PersonFile::Number});
    s.Threads.clearBuffer();
    s.THR.THREADNUMBER = threadNumber;
    if (s.Threads.get(ThreadsFile::THREADKEY)) {
        std::string alpha = s.THR.ALPHA.str();
        s.MsgNmbr.clearBuffer();
        s.MSG.THREADALPHA = alpha;
        s.MSG.THREADNUMBER = threadNumber;
        s.MSG.MSGNUMBER = 0;
        s.MsgNmbr.setFrom(MsgNmbrFile::THREADKEY);
        struct Raw {
            uint32_t number, ref, from;
            int32_t date;
        };
        std::vector<Raw> raw;
        while (s.MsgNmbr.next()) {
            if (uint32_t(s.MSG.THREADNUMBER) != threadNumber) break;
            raw.push_back({s.MSG.MSGNUMBER, s.MSG.REFNUMBER, s.MSG.FROMID, s.MSG.DATE});
        }
        std::unordered_map<uint32_t, std::string> names;
        for (const Raw& r : raw) {
            auto it = names.find(r.from);
            if (it == names.end()) {
                std::string name;
                s.Person.clearBuffer();
                s.PER.PERSONID = r.from;
                if (r.from != 0 && s.Person.get(PersonFile::PERSONKEY)) {
                    std::string first = s.PER.FIRSTNAME.str(), last = s.PER.LASTNAME.str();
                    name = first.empty() ? last : last.empty() ? first : first + " " + last;
                }
                it = names.emplace(r.from, std::move(name)).first;
            }
            out.push_back(threadEntry(r.number, r.ref, it->second, r.date));
        }
    }
    OP_CLOSE(s, OpClose, {ThreadsFile::Number, MsgNmbrFile::Number, PersonFile::Number});
    std::sort(out.begin(), out.end(), [](const ThreadEntry& a, const ThreadEntry& b) { return a.msgNumber < b.msgNumber; });
    return out;
}

std::vector<TreeRow> buildThreadTree(Session& s, uint32_t threadNumber) {
    std::vector<ThreadEntry> entries = readThread(s, threadNumber);
    assignLevels(entries);
    std::string label, picture;
    SetDate(s, label, picture);
    return treeRows(entries, konfigNumber(s, kThreadTreeDisplayPreference), picture);
}

}  // namespace quill
