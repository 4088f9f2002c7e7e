#pragma once
// Text taken from a file (names, paths, signers, user IDs, certificate fields), made safe to
// show. Such text is whatever the file's maker put there: a line feed would forge a line of its
// own, an escape sequence would drive the terminal, bytes that are not UTF-8 would break a JSON
// document. Every printer of file text goes through EscapeText, so the rule lives here once.
//
// What is escaped, in every form: C0 controls, DEL, C1 controls (U+0080 to U+009F, which some
// terminals obey as escape sequences), the marks that reorder text on screen (U+200E, U+200F,
// U+202A to U+202E, U+2066 to U+2069) and the line and paragraph separators (U+2028, U+2029).
// A byte that begins no valid UTF-8 character is written as \xNN. Everything else stands.

#include <string>
#include <string_view>

enum class TextEscape {
    kLine,   // one line of a terminal: "\n", "\r", "\t", "\xNN" for other controls, "\u202e" for marks
    kLines,  // as kLine, but a line feed stays a line break (a message's own lines)
    kJson,   // the inside of a JSON string: '"' and '\' escaped too, controls and marks as \u00NN;
             // a byte that is not UTF-8 becomes the text "\xNN", so the document is always valid
};

std::string EscapeText(std::string_view text, TextEscape form = TextEscape::kLine);
