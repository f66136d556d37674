#include "records/TextSafety.h"

#include <cstdint>

namespace zul::records {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at text[i] and its code
// point; 0 when the bytes there are none (a stray continuation byte, an
// overlong form, a surrogate, beyond U+10FFFF, cut off).
size_t DecodeUtf8(std::string_view text, size_t i, uint32_t& codePoint) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    size_t length = 0;
    uint32_t min = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, codePoint = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, codePoint = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3Fu);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// Characters that make a terminal, a spreadsheet or a text view do
// something rather than show something.
bool Acts(uint32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

void AppendCleanText(std::string& out, std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        // The common case first: a run of plain printable ASCII.
        size_t plain = i;
        while (plain < text.size() && static_cast<uint8_t>(text[plain]) >= 0x20 &&
               static_cast<uint8_t>(text[plain]) < 0x7F) {
            ++plain;
        }
        out.append(text.substr(i, plain - i));
        i = plain;
        if (i >= text.size()) break;
        uint32_t c = 0;
        const size_t length = DecodeUtf8(text, i, c);
        if (length == 0 || Acts(c)) {
            out.append(kReplacement);
            i += length == 0 ? 1 : length;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
}

std::string CleanText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendCleanText(out, text);
    return out;
}

std::string_view CutText(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    // Back over continuation bytes to the start of the cut sequence.
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0u) == 0x80u) --end;
    return text.substr(0, end);
}

}  // namespace zul::records
