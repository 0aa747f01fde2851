// MIME part choice and the message text builder. Of a multipart message the
// archive keeps exactly one part, the first text part (plain or HTML) met;
// every other part and every part header is marked for removal in the line
// queue. The text builder then joins the lines that remain into the stored
// text (at most MessageTextMax characters, lines joined by CR LF) and hands
// HTML and enriched text to their converters. The decoder of named and
// numeric character references used by the HTML converters lives here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "import/LineQueue.h"

namespace quill {

// Content kinds that the header parsers report to the text builder.
enum ContentKind : std::uint8_t { ContentPlain = 0, ContentHtml = 1, ContentEnriched = 2 };

// Longest stored message text.
inline constexpr std::size_t MessageTextMax = 64000;
// Longest boundary kept.
inline constexpr std::size_t BoundaryMax = 100;

// The boundary parameter on one header line, searched from startColumn
// (1-based) for "BOUNDARY=" in any letter case. A quoted value ends at its
// closing quote; an unquoted one at a blank, tab or ";". Empty when the line
// has none (lines shorter than 10 characters are not searched).
std::string FindBoundary(std::size_t startColumn, std::string_view line);

// True when a body line is a boundary line of boundary: it equals the
// boundary or, being longer, contains it. An empty boundary matches nothing.
bool matchesBoundary(std::string_view line, std::string_view boundary);

// Chooses the part of a multipart body to keep: lines firstLine..lastLine
// (clamped to the queue) are scanned; part headers, boundary lines, non-text
// parts and everything after the first text part are overwritten with the
// removal marker. The preamble stays. Returns 1 when the kept part is HTML.
std::uint8_t ChooseMimePart(LineQueue& queue, std::size_t firstLine, std::size_t lastLine,
                            std::string_view boundary);

// State of the line-by-line pre-filter of a streaming reader; one per message.
struct MimeLineFilter {
    explicit MimeLineFilter(std::string b = {}) : boundary(std::move(b)) {}
    std::string boundary;         // current boundary (a nested one replaces it)
    bool seekingNested = false;   // a nested multipart's boundary is sought
    bool firstBoundarySeen = false;
    bool partTypeKnown = false;   // the current part is a text part
};

// Pre-filter answers.
enum MimeLineAnswer : std::uint8_t {
    MimeDropLine = 0,
    MimeKeepLine = 1,
    MimeDropCollected = 2,  // drop every line collected so far (this one too)
    MimeEndMessage = 3,     // the message ends before this line
};

// Judges one body line while a reader collects a message; after the last
// line the reader runs ChooseMimePart over what it kept with
// filter.boundary. A boundary that follows a non-text part does not end the
// message, so that a text part after an attachment is still reached.
std::uint8_t ChooseMimePartByLine(MimeLineFilter& filter, std::string_view line);

struct DetectedContent {
    bool html = false;
    std::size_t bodyStart = 0;  // first non-empty line after the header block
};

// For a message found inside another format: reads its header block from
// firstLine, finds where the body starts, runs the part choice when the
// message is multipart, and tells whether the text is HTML. Lines that are
// not header fields ended by an empty line are no header block: the body
// then starts at firstLine, so that no text is lost.
DetectedContent DetectMessageContent(LineQueue& queue, std::size_t firstLine,
                                     std::size_t lastLine);

// Builds the stored text from lines firstLine..lastLine (clamped to the
// queue): removed lines are left out, empty lines before the first line taken
// are skipped, lines are joined by CR LF (a split line joins its continuation
// directly), and the text is cut at MessageTextMax. contentKind 1 (HTML) and 2
// (enriched) are converted to plain text; so is a plain text that begins with
// "HTML" in its first 8 characters. For the import types "AOL" and
// "CompuServe 2000" the lines are joined without line ends and converted by
// the service HTML converter.
std::string BuildMessageText(std::uint8_t contentKind, const LineQueue& queue,
                             std::size_t firstLine, std::size_t lastLine,
                             std::string_view importType = {});

// Enriched text to plain text: tags are dropped, the content of "param"
// elements too, "<<" stands for "<". At most MessageTextMax characters.
std::string ConvertEnrichedText(std::string_view text);

struct CharacterReference {
    char character;
    std::size_t consumed;  // characters used after the ampersand, ";" included
};
// Decodes the named or numeric character reference that follows an ampersand
// (text holds what follows it; at most 7 characters are looked at). Results
// are ISO 8859-1 codes. Nothing when the text is not a known reference: the
// caller then copies the ampersand as an ordinary character.
std::optional<CharacterReference> DecodeCharacterReference(std::string_view text);

}  // namespace quill
