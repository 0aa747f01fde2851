// Feeds arbitrary bytes to both HTML converters and both decoders of encoded
// words and quoted-printable escapes, and checks what every result must keep
// to: bounded length, no trailing blanks, no growth where decoding shrinks.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "import/EncodedWords.h"
#include "import/Html.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// The words of a text, split at the white space the converters collapse.
std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> w;
    std::string cur;
    for (char c : s) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!cur.empty()) w.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) w.push_back(cur);
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    std::string general = input;
    quill::ConvertHtml(general);
    check(general.size() <= quill::HtmlTextMax);
    check(general.empty() || general.back() != ' ');

    std::string service = input;
    quill::ConvertServiceHtml(service);
    check(service.size() <= quill::HtmlTextMax || service == input);

    // Text without markup, references, escapes or line marks loses no word.
    if (input.find_first_of("<&=\x7F") == std::string::npos) {
        check(words(general) == words(input));
        check(words(service) == words(input));
    }

    std::string field = input;
    quill::DecodeEncodedWord(field);
    // A decoded character the code page lacks becomes a reference of at most
    // ten characters, so a field may grow, but boundedly.
    check(field.size() <= input.size() * 10);
    check(field.empty() || field.back() != ' ');

    quill::FStr<60> name;
    name = input;
    quill::DecodeEncodedWord(name);

    for (size_t i = 0; i + 1 < size; ++i) {
        const char d = quill::DecodeQuotedHex(char(data[i]), char(data[i + 1]));
        if (d != 0) check(static_cast<unsigned char>(d) >= 128 || d == '=' || d == ' ' || d == ',');
    }
    return 0;
}
