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
// (1-based) for "BOUNDARY=" in any letter case, or its RFC 2231 forms
// "BOUNDARY*=" and "BOUNDARY*0=". A quoted value ends at its closing quote;
// an unquoted one at a blank, tab or ";". Empty when the line has none
// (lines shorter than 10 characters are not searched).
std::string FindBoundary(std::size_t startColumn, std::string_view line);

// True when a body line is a boundary line of boundary: it equals the
// boundary or, being longer, contains it. An empty boundary matches nothing.
bool matchesBoundary(std::string_view line, std::string_view boundary);

// What a Content-Type header value says.
struct ContentType {
    std::string mediaType;  // lower case "type/subtype"; empty when none
    std::string charset;    // as written, without quotes
    std::string name;       // the name= parameter
    std::string boundary;   // the boundary= parameter
};
// Reads a Content-Type value (the text after "Content-Type:", continuation
// lines joined). Parameters may be quoted and may use the RFC 2231 forms
// (name*=charset''value, name*0=, name*1*=); such values are decoded.
ContentType parseContentType(std::string_view value);
// A parameter of a header value ("filename" of Content-Disposition, ...),
// with the same rules; empty when absent.
std::string headerParameter(std::string_view value, std::string_view attribute);
// Reads a Content-Transfer-Encoding value.
TransferEncoding parseTransferEncoding(std::string_view value);

// Records a header line of a message or part in encoding when it is a
// Content-Type, Content-Transfer-Encoding or Content-Disposition line; value
// is the line's value with continuation lines joined. Gives the parsed
// Content-Type when the line was one.
std::optional<ContentType> noteContentHeader(std::string_view name, std::string_view value,
                                             BodyEncoding& encoding);

// True when a media type is one the archive stores as text when it is the
// whole of a message (any text/*, message/*, multipart/*, or none).
bool isTextMediaType(std::string_view mediaType);

// The line stored for a part that is not text:
// "[attachment: image/jpeg, photo.jpg, 34 KB]".
std::string attachmentLine(std::string_view mediaType, std::string_view fileName, std::uint64_t bytes);

// Chooses the part of a multipart body to keep: lines firstLine..lastLine
// (clamped to the queue) are scanned; part headers, boundary lines, non-text
// parts and everything after the first text part are overwritten with the
// removal marker. A part without a Content-Type is text/plain (RFC 2046).
// When a text part is kept, the preamble goes too, and queue.encoding
// becomes the part's transfer encoding and charset; when none is, every line
// goes and queue.encoding.attachments names what the parts held. A body in
// which the boundary never occurs keeps every line. Returns 1 when the kept
// part is HTML; an enriched part gives 0 like plain, and the text builder
// converts it by the media type it finds in queue.encoding.
std::uint8_t ChooseMimePart(LineQueue& queue, std::size_t firstLine, std::size_t lastLine,
                            std::string_view boundary);

// State of the line-by-line pre-filter of a streaming reader; one per message.
struct MimeLineFilter {
    explicit MimeLineFilter(std::string b = {}) : boundary(std::move(b)) {}
    std::string boundary;         // current boundary (a nested one replaces it)
    bool seekingNested = false;   // a nested multipart's boundary is sought
    bool firstBoundarySeen = false;
    bool partTypeKnown = false;   // the current part is a text part
    bool inPartHeader = false;    // between a boundary line and its empty line
    bool partTypeSeen = false;    // the current part header had a Content-Type
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
// queue): removed lines are left out, lines are joined by CR LF (a split line
// joins its continuation directly), and empty lines before the first line
// with text are skipped. The lines are decoded once, here, as
// queue.encoding says:
// - quoted-printable: "=XX" escapes (either letter case) and soft line
//   breaks; base64: decoded, its line ends made CR LF;
// - undeclared: decoded as quoted-printable only when every "=" in the lines
//   begins an upper-case escape or ends a line and at least one does, so
//   that text that merely holds "=" (code, "a=b") stays as written;
// - the declared charset (undeclared: UTF-8 when valid, else Windows-1252)
//   is converted to archive text, characters Windows-1252 lacks becoming
//   "&#NNNN;" references.
// contentKind 1 (HTML) and 2 (enriched) are then converted to plain text; so
// is a plain text that begins with "HTML" in its first 8 characters. A
// message that held no text (a single part of another media type, or a
// multipart without a text part) gets one line per part naming it. The text
// is cut at MessageTextMax, never inside a reference. For the import types
// "AOL" and "CompuServe 2000" the lines are joined without line ends and
// converted by the service HTML converter.
std::string BuildMessageText(std::uint8_t contentKind, const LineQueue& queue,
                             std::size_t firstLine, std::size_t lastLine,
                             std::string_view importType = {});

// Enriched text to plain text: tags are dropped, the content of "param"
// elements too, "<<" stands for "<". At most MessageTextMax characters.
std::string ConvertEnrichedText(std::string_view text);

struct CharacterReference {
    char character;        // the Windows-1252 byte; 0 when the code page lacks it
    std::size_t consumed;  // characters used after the ampersand, ";" included
    std::uint32_t codePoint = 0;  // the Unicode character named
};
// Decodes the named or numeric character reference that follows an ampersand
// (text holds what follows it). The short names of ISO 8859-1 are looked for
// in the first 7 characters; numeric references ("#233;", "#x2019;") and the
// HTML names of other characters ("rsquo;", "euro;", "mdash;") in the first
// 10. Nothing when the text is not a known reference: the caller then copies
// the ampersand as an ordinary character. A character Windows-1252 lacks has
// character 0: the caller keeps it as a reference "&#NNNN;".
std::optional<CharacterReference> DecodeCharacterReference(std::string_view text);

}  // namespace quill
