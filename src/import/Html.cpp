// HTML message bodies to plain text.
//
// One pass over the input. Characters between tags collect in a pending run;
// when a tag opens, the run is flushed to the output under the text rules
// (blanks and line ends collapse to word breaks, "&" references and "="
// escapes are decoded); when the tag closes, its name decides what it adds to
// the output (a word break, a line break, an empty line, a bullet, a link
// target). Every output step looks only at the last few characters of the
// output, so the conversion is linear in the input, and the output never
// grows past HtmlTextMax.

#include "import/Html.h"

#include <string>
#include <string_view>

#include "import/EncodedWords.h"
#include "import/Mime.h"

namespace quill {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

bool equalsNoCase(std::string_view a, std::string_view upper) {
    if (a.size() != upper.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != upper[i]) return false;
    return true;
}

// --- The converter -------------------------------------------------------------

enum class Flavor { General, Service };

class Converter {
public:
    Converter(std::string_view in, Flavor flavor, bool decodeEscapes = true)
        : in_(in), service_(flavor == Flavor::Service), decodeEscapes_(decodeEscapes) {
        out_.reserve(in.size() < HtmlTextMax ? in.size() : HtmlTextMax);
    }

    std::string run() {
        const std::size_t n = in_.size();
        std::size_t i = 0;
        while (i < n && !ended_) {
            const char c = in_[i];
            if (tagOpen_) {
                if (c == '>') {
                    handleTag(in_.substr(tagStart_, i - tagStart_));
                    tagOpen_ = false;
                    ++i;
                    if (!skipTo_.empty()) {
                        // STYLE and SCRIPT hold no text: go on at their end tag.
                        i = findNoCase(skipTo_, i);
                        skipTo_ = {};
                    }
                    continue;
                }
                if (c != '<') {
                    ++i;
                    continue;
                }
                // The services break lines inside their tags with "<BR".
                if (service_ && i + 2 < n && asciiUpper(in_[i + 1]) == 'B' && asciiUpper(in_[i + 2]) == 'R') {
                    addPending(' ');
                    i += 3;
                    continue;
                }
                // A "<" inside a tag: what was read of the tag is text after
                // all, and this "<" is looked at afresh below.
                addPending('<');
                addPending(in_.substr(tagStart_, i - tagStart_));
                tagOpen_ = false;
            }
            if (c != '<') {
                addPending(c);
                ++i;
                continue;
            }
            if (service_ && i + 1 < n && in_[i + 1] == '<') {
                addPending("<<");
                i += 2;
                continue;
            }
            // Only a letter, "/", "!" or "?" after "<" makes a tag; "a < b"
            // is text.
            if (i + 1 >= n || !startsTag(in_[i + 1])) {
                addPending('<');
                ++i;
                continue;
            }
            if (in_.substr(i + 1, 3) == "!--") {
                // A comment runs to "-->", whatever it holds. Without one it
                // is read as an ordinary tag up to the next ">".
                const std::size_t close = commentEnd(i + 2);
                if (close != std::string_view::npos) {
                    openTag();
                    handleTag("!--");
                    i = close + 3;
                    continue;
                }
            }
            openTag();
            tagOpen_ = true;
            tagStart_ = i + 1;
            ++i;
        }
        finish();
        return std::move(out_);
    }

private:
    // --- output primitives ---

    void put(char c) {
        if (out_.size() < HtmlTextMax) out_ += c;
    }
    void put(std::string_view s) {
        for (char c : s) put(c);
    }
    void putLineEnd() {
        if (out_.size() + 2 <= HtmlTextMax) out_ += "\r\n";
    }
    bool atLineStart() const { return out_.empty() || out_.back() == '\n'; }
    bool endsWith(std::string_view s) const {
        return out_.size() >= s.size() && std::string_view(out_).substr(out_.size() - s.size()) == s;
    }
    void dropTrailingBlanks() {
        while (!out_.empty() && out_.back() == ' ') out_.pop_back();
    }

    // One blank between words; never at the start of a line or twice.
    void wordBreak() {
        if (!out_.empty() && out_.back() != ' ' && out_.back() != '\n') put(' ');
    }
    // Ends the line (a trailing blank gives way to the line end).
    void lineBreak() {
        dropTrailingBlanks();
        if (!out_.empty()) putLineEnd();
    }
    // Ends the line unless the output is at the start of one.
    void newLine() {
        dropTrailingBlanks();
        if (!atLineStart()) putLineEnd();
    }
    // Makes the output end with an empty line, unless it already does or
    // holds nothing yet.
    void paragraphBreak() {
        dropTrailingBlanks();
        if (out_.empty() || endsWith("\r\n\r\n") || endsWith("\n\n")) return;
        if (out_.back() != '\n') putLineEnd();
        putLineEnd();
    }

    // --- pending text ---

    void addPending(char c) {
        if (pending_.size() < HtmlTextMax) pending_ += c;
    }
    void addPending(std::string_view s) {
        const std::size_t room = HtmlTextMax - pending_.size();
        pending_.append(s.substr(0, room));
    }

    static bool hasVisible(std::string_view s) {
        for (char c : s)
            if (!isSpace(c)) return true;
        return false;
    }

    // Writes the pending run to the output under the text rules.
    void flush() {
        if (pending_.empty()) return;
        const std::string_view run = pending_;
        if (inTitle_) {
            pending_.clear();
            return;
        }
        const bool visible = hasVisible(run);
        if (visible) {
            // The bullet and the indent wait for the first run that shows
            // something, so that white space between tags does not use them.
            if (inAnchor_) wordBreak();
            if (indentPending_) {
                put("   ");
                indentPending_ = false;
            }
            if (bulletPending_ && (ulDepth_ > 0 || olDepth_ > 0)) {
                put("* ");
                bulletPending_ = false;
            }
            if (inAnchor_) linkHasText_ = true;
        }
        for (std::size_t i = 0; i < run.size(); ++i) {
            const char c = run[i];
            if (c == '&') {
                // At least three characters must follow for a reference.
                if (run.size() - i - 1 >= 3) {
                    if (const auto ref = DecodeCharacterReference(run.substr(i + 1))) {
                        i += ref->consumed;
                        putReferenced(*ref);
                        continue;
                    }
                }
                put('&');
                continue;
            }
            if (c == '=' && decodeEscapes_ && i + 2 < run.size()) {
                if (const char d = DecodeQuotedHex(run[i + 1], run[i + 2])) {
                    put(d);
                    i += 2;
                    continue;
                }
                put('=');
                continue;
            }
            if (service_ && c == '\x7F') {  // the services' line mark
                lineBreak();
                continue;
            }
            if (preformatted_) {
                put(c);
                continue;
            }
            if (c == ' ' || c == '\t') {
                wordBreak();
                continue;
            }
            if (c == '\r' || c == '\n') {
                if (c == '\r' && i + 1 < run.size() && run[i + 1] == '\n') ++i;
                if (service_) lineBreak();
                else wordBreak();
                continue;
            }
            put(c);
        }
        pending_.clear();
    }

    // A decoded reference: tab and line end are white space like the
    // characters themselves; a character the code page lacks stays a
    // reference, written whole or not at all.
    void putReferenced(const CharacterReference& ref) {
        const char c = ref.character;
        if (c == '\t' || c == '\n' || c == '\r') {
            if (!preformatted_) wordBreak();
            else if (c == '\t') put(c);
            else if (c == '\n') putLineEnd();
            return;
        }
        if (c != '\0') {
            put(c);
            return;
        }
        const std::string text = "&#" + std::to_string(ref.codePoint) + ";";
        if (out_.size() + text.size() <= HtmlTextMax) out_ += text;
    }

    // The position of the first occurrence of needle (upper case) at or
    // after from, in any letter case; the input's end when there is none.
    std::size_t findNoCase(std::string_view needle, std::size_t from) const {
        for (std::size_t i = from; i + needle.size() <= in_.size(); ++i) {
            if (in_[i] != '<') continue;
            if (equalsNoCase(in_.substr(i, needle.size()), needle)) return i;
        }
        return in_.size();
    }

    // --- tags ---

    static bool startsTag(char c) { return isAsciiLetter(c) || c == '/' || c == '!' || c == '?'; }

    // Position of the first "-->" at or after `from`. Positions only grow
    // during the scan, so a search that found nothing is never repeated and
    // the searches together read the input once.
    std::size_t commentEnd(std::size_t from) {
        if (noCommentEnd_) return std::string_view::npos;
        if (lastCommentEnd_ != std::string_view::npos && lastCommentEnd_ >= from) return lastCommentEnd_;
        lastCommentEnd_ = in_.find("-->", from);
        if (lastCommentEnd_ == std::string_view::npos) noCommentEnd_ = true;
        return lastCommentEnd_;
    }

    // A tag begins: the run before it is written.
    void openTag() { flush(); }

    static std::string_view hrefOf(std::string_view tag) {
        std::size_t at = 0;
        for (;;) {
            at = tag.find_first_of("Hh", at);
            if (at == std::string_view::npos) return {};
            if (at > 0 && isSpace(tag[at - 1]) && equalsNoCase(tag.substr(at, 4), "HREF")) break;
            ++at;
        }
        std::size_t p = at + 4;
        while (p < tag.size() && isSpace(tag[p])) ++p;
        if (p >= tag.size() || tag[p] != '=') return {};
        ++p;
        while (p < tag.size() && isSpace(tag[p])) ++p;
        if (p >= tag.size()) return {};
        if (tag[p] == '"' || tag[p] == '\'') {
            const char quote = tag[p];
            const std::size_t close = tag.find(quote, p + 1);
            return tag.substr(p + 1, close == std::string_view::npos ? std::string_view::npos : close - p - 1);
        }
        std::size_t e = p;
        while (e < tag.size() && !isSpace(tag[e])) ++e;
        return tag.substr(p, e - p);
    }

    // Ends the open link: its target follows its text in square brackets,
    // and the link's text stays apart from what follows.
    void closeLink() {
        if (inAnchor_ && linkHasText_) {
            wordBreak();
            if (!linkTarget_.empty()) {
                put('[');
                put(linkTarget_);
                put("] ");
            }
        }
        inAnchor_ = false;
        linkHasText_ = false;
        linkTarget_.clear();
    }

    // Handles one complete tag: `raw` is the text between "<" and ">".
    void handleTag(std::string_view raw) {
        const std::string_view tag = raw.substr(0, HtmlTagMax);
        if (tag.empty() || tag[0] == '!') return;  // comments and declarations
        const bool end = tag[0] == '/';
        std::size_t p = end ? 1 : 0;
        std::size_t e = p;
        while (e < tag.size() && !isSpace(tag[e]) && tag[e] != '/') ++e;
        const std::string_view rawName = tag.substr(p, e - p);
        if (rawName.empty() || rawName.size() > 10) return;
        char nameBuf[10];
        for (std::size_t k = 0; k < rawName.size(); ++k) nameBuf[k] = asciiUpper(rawName[k]);
        const std::string_view name(nameBuf, rawName.size());

        if (name == "A") {
            closeLink();
            if (!end) {
                inAnchor_ = true;
                linkTarget_ = hrefOf(tag);
            }
        } else if (name == "B" || name == "I" || name == "U") {
            wordBreak();
        } else if (name == "BR") {
            lineBreak();
        } else if (name == "DIV") {
            if (end) lineBreak();
            else newLine();
        } else if (name == "DL") {
            if (end) {
                if (dlDepth_ > 0) --dlDepth_;
                newLine();
            } else if (dlDepth_ < DepthMax) {
                ++dlDepth_;
            }
            indentPending_ = false;
        } else if (name == "DT") {
            if (dlDepth_ > 0) {
                if (!end) newLine();
                indentPending_ = false;
            }
        } else if (name == "DD") {
            if (dlDepth_ > 0) {
                if (!end) newLine();
                indentPending_ = !end;
            }
        } else if (name.size() == 2 && name[0] == 'H' && name[1] >= '1' && name[1] <= '6') {
            paragraphBreak();
        } else if (name == "LI") {
            if (!end) {
                paragraphBreak();
                bulletPending_ = ulDepth_ > 0 || olDepth_ > 0;
            }
        } else if (name == "OL" || name == "UL") {
            int& depth = name == "OL" ? olDepth_ : ulDepth_;
            if (end) {
                if (depth > 0) --depth;
                bulletPending_ = false;
                paragraphBreak();
            } else if (depth < DepthMax) {
                ++depth;
            }
        } else if (name == "P") {
            paragraphBreak();
        } else if (name == "PRE" || name == "PLAINTEXT") {
            newLine();
            preformatted_ = !end;
        } else if (name == "TITLE") {
            inTitle_ = !end;
        } else if (name == "STYLE" || name == "SCRIPT") {
            if (!end && tag.back() != '/') skipTo_ = name == "STYLE" ? "</STYLE" : "</SCRIPT";
        } else if (name == "TR") {
            if (end) paragraphBreak();
            else wordBreak();
        } else if (name == "TD" || name == "TH") {
            if (end && !service_) paragraphBreak();
            else wordBreak();
        } else if (name == "HTML") {
            if (end && !service_) ended_ = true;
        } else if (isBlockName(name)) {
            wordBreak();
        }
    }

    // Tags that otherwise add nothing but stand between blocks of text: they
    // make a word break so that the words on either side stay apart.
    static bool isBlockName(std::string_view name) {
        static constexpr std::string_view Names[] = {
            "ADDRESS", "BLOCKQUOTE", "CAPTION", "CENTER", "DIR", "FORM", "FRAME", "HR", "LISTING",
            "MENU", "MULTICOL", "NOFRAMES", "TABLE", "TBODY", "TFOOT", "THEAD", "XMP"};
        for (std::string_view n : Names)
            if (n == name) return true;
        return false;
    }

    // End of input: an unfinished tag is text, the last run is written, an
    // open link gets its target, trailing white space goes.
    void finish() {
        std::string lastRun;
        if (!ended_) {
            if (tagOpen_) {
                addPending('<');
                addPending(in_.substr(tagStart_));
                tagOpen_ = false;
            }
            if (service_) lastRun = pending_;
            flush();
        }
        closeLink();
        // The services' text stands as it was when nothing of it converts.
        if (service_ && out_.empty()) out_ = std::move(lastRun);
        // Blanks and line ends that closing tags left at the end carry nothing.
        while (!out_.empty() && (out_.back() == ' ' || out_.back() == '\r' || out_.back() == '\n')) out_.pop_back();
    }

    static constexpr int DepthMax = 1000;

    std::string_view in_;
    bool service_;
    std::string out_;
    std::string pending_;

    bool tagOpen_ = false;
    std::size_t tagStart_ = 0;
    bool decodeEscapes_ = true;
    std::string_view skipTo_;  // the end tag that closes a STYLE or SCRIPT element
    bool ended_ = false;
    std::size_t lastCommentEnd_ = std::string_view::npos;
    bool noCommentEnd_ = false;

    bool inAnchor_ = false;
    bool linkHasText_ = false;
    std::string linkTarget_;
    int ulDepth_ = 0;
    int olDepth_ = 0;
    int dlDepth_ = 0;
    bool bulletPending_ = false;
    bool indentPending_ = false;
    bool preformatted_ = false;
    bool inTitle_ = false;
};

}  // namespace

void ConvertHtml(std::string& text, bool decodeEscapes) {
    text = Converter(text, Flavor::General, decodeEscapes).run();
}

void ConvertServiceHtml(std::string& text) {
    std::size_t n = text.size();
    while (n > 0 && text[n - 1] == ' ') --n;
    if (n < 5) return;
    text = Converter(text, Flavor::Service).run();
}

}  // namespace quill
