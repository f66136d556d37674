#include "records/HtmlWriter.h"

#include <cmath>
#include <cstdio>

#include "records/TextSafety.h"

namespace zul::records {

HtmlAttribute::HtmlAttribute(HtmlName n, double v) : name(n) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::isfinite(v) ? v : 0.0);
    value = text;
    if (value.ends_with(".0")) value.resize(value.size() - 2);
    if (value == "-0") value = "0";
}

void HtmlWriter::Escape(std::string& out, std::string_view text) {
    const std::string clean = CleanText(text);
    for (char c : clean) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
}

void HtmlWriter::Doctype() {
    out_ += "<!DOCTYPE html>\n";
}

void HtmlWriter::Attributes(HtmlAttributes attributes) {
    for (const HtmlAttribute& a : attributes) {
        out_ += ' ';
        out_ += a.name.c_str();
        out_ += "=\"";
        Escape(out_, a.value);
        out_ += '"';
    }
}

void HtmlWriter::Open(HtmlName tag, HtmlAttributes attributes) {
    out_ += '<';
    out_ += tag.c_str();
    Attributes(attributes);
    out_ += '>';
    open_.push_back(tag.c_str());
}

void HtmlWriter::Close() {
    if (open_.empty()) return;
    out_ += "</";
    out_ += open_.back();
    out_ += '>';
    open_.pop_back();
}

void HtmlWriter::CloseAll() {
    while (!open_.empty()) Close();
}

void HtmlWriter::Void(HtmlName tag, HtmlAttributes attributes) {
    out_ += '<';
    out_ += tag.c_str();
    Attributes(attributes);
    out_ += "/>";
}

void HtmlWriter::Text(std::string_view text) {
    Escape(out_, text);
}

void HtmlWriter::Element(HtmlName tag, HtmlAttributes attributes, std::string_view text) {
    Open(tag, attributes);
    Text(text);
    Close();
}

void HtmlWriter::Constant(HtmlConstant text) {
    out_ += text.c_str();
}

}  // namespace zul::records
