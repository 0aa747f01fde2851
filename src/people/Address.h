// Address and name services: splitting sender and receiver texts into a name
// and an address, splitting full names into last and first names, whole-word
// search, the duplicate comparison of message texts, and the display forms of
// a person in exported texts. All functions are pure and work on
// Windows-1252 bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quill {

// Mail domain of the online service; a CompuServe user ID becomes an
// Internet address at this domain ("70000,123" -> "70000.123@compuserve.com").
inline constexpr std::string_view onlineMailDomain = "compuserve.com";

// The vertical line (code 179 in the reader programs' character set) that
// reader lines put between a name and an address. It counts as a blank
// wherever the end of a name is looked for.
inline constexpr char addressSeparator = '\xB3';

// Gateway prefix that CompuServe lines put before an Internet address.
inline constexpr std::string_view internetGateway = ">INTERNET:";

// Widths of the name parts of a person record.
inline constexpr std::size_t lastNameWidth = 25;
inline constexpr std::size_t firstNameWidth = 25;

// Splits a sender or receiver text into a name and an address. Mode 2 is for
// mail and newsgroup lines, any other mode for forum lines. A CompuServe user
// ID is returned in comma form ("70000,123").
void FindCISAdress(int mode, std::string_view text, std::string& name, std::string& address);

struct NameAndAddress {
    std::string name;
    std::string address;
};
NameAndAddress FindCISAdress(int mode, std::string_view text);

// Splits a full name into the last name and the first names; a generation
// suffix ("III", "IV", ...) stays with the family name. Each part is at most
// lastNameWidth / firstNameWidth bytes, without trailing blanks.
void ParseName(std::string_view fullName, std::string& lastName, std::string& firstNames);

struct ParsedName {
    std::string lastName;
    std::string firstNames;
};
ParsedName ParseName(std::string_view fullName);

// 1-based position of the first occurrence of pattern in text, 0 if none.
// With wholeWord set only an occurrence that has no word character directly
// before or after it counts; for a numeric pattern the word characters are
// the digits, for any other pattern the letters A-Z and a-z, the digit 1 and
// the codes 128 to 133. An empty pattern finds nothing. Letter case counts.
std::size_t AISINB(bool wholeWord, std::string_view pattern, std::string_view text);

// True when byte ch is a word character of the table that AISINB uses for a
// numeric (true) or other (false) pattern.
bool isWordChar(bool numericPattern, unsigned char ch);

// True when s is a run of digits, possibly with blanks before and after it.
bool isNumericText(std::string_view s);

// The duplicate comparison of two message texts: after trailing blanks are
// removed, the shorter text must equal the beginning of the longer one and the
// lengths must differ by fewer than 20. `DupString` reads the two texts
// (stored text and staged or second stored text) and passes them here.
bool dupTextsEqual(std::string_view stored, std::string_view other);

// Display forms of a person for exported texts, from the person's last name,
// first names and address (trailing blanks of each are ignored).

// Form 1: the address alone.
std::string displayForm1(std::string_view lastName, std::string_view firstNames,
                         std::string_view address);
// Form 2: names and address as a CompuServe header line writes them, with the
// gateway prefix before an Internet address.
std::string displayForm2(std::string_view lastName, std::string_view firstNames,
                         std::string_view address);
// List form: names, the separator character, then the address (with the
// gateway prefix before an Internet address).
std::string displayListForm(std::string_view lastName, std::string_view firstNames,
                            std::string_view address);
// Internet form: "First Last <address>", the address turned into an Internet
// address first.
std::string displayInternetForm(std::string_view lastName, std::string_view firstNames,
                                std::string_view address);

// "First Last", "Last" or "First" alone, or empty.
std::string personDisplayName(std::string_view lastName, std::string_view firstNames);

// An address containing "@" as it is; otherwise (a CompuServe user ID) the
// comma becomes a period and "@" and the online service's domain are appended.
// An empty address stays empty.
std::string internetAddress(std::string_view address);

}  // namespace quill
