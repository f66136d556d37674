#pragma once

#include <string>
#include <string_view>

namespace zul::records {

// Text taken from a record or a file name, made harmless wherever the
// report shows it. Every character a terminal, a spreadsheet or a browser
// could act on is replaced by U+FFFD: the C0 controls (tab, CR and LF too),
// DEL, the C1 controls (so no escape sequence can start), the line and
// paragraph separators and the bidirectional overrides; so is each byte of
// invalid UTF-8. Everything else is kept as it is.
std::string CleanText(std::string_view text);
// The same, appended to out.
void AppendCleanText(std::string& out, std::string_view text);

// text cut to at most maxBytes bytes, never inside a UTF-8 sequence.
std::string_view CutText(std::string_view text, size_t maxBytes);

}  // namespace zul::records
