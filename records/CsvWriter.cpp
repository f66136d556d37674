#include "records/CsvWriter.h"

#include "records/TextSafety.h"

namespace zul::records {

void CsvWriter::Separate() {
    if (!first_) out_ += ',';
    first_ = false;
}

void CsvWriter::Quoted(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out_ += text;
        return;
    }
    out_ += '"';
    for (char c : text) {
        if (c == '"') out_ += '"';
        out_ += c;
    }
    out_ += '"';
}

void CsvWriter::Text(std::string_view text) {
    Separate();
    scratch_.clear();
    if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@' ||
                          text[0] == '\t' || text[0] == '\r')) {
        scratch_ += '\'';
    }
    AppendCleanText(scratch_, text);
    Quoted(scratch_);
}

void CsvWriter::Number(int64_t n) {
    Separate();
    out_ += std::to_string(n);
}

void CsvWriter::Figure(std::string_view figure) {
    Separate();
    Quoted(figure);
}

void CsvWriter::Empty() {
    Separate();
}

void CsvWriter::EndRow() {
    out_ += "\r\n";
    first_ = true;
}

}  // namespace zul::records
