#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace zul::records {

// The name of an element or an attribute. It can only be made from a
// constant of the program (the constructor runs at compile time), so no
// text from a record can ever become markup.
class HtmlName {
public:
    consteval HtmlName(const char* name) : name_(name) {}  // NOLINT: implicit on purpose
    const char* c_str() const { return name_; }

private:
    const char* name_;
};

// A piece of markup or style the program itself writes, as a constant.
class HtmlConstant {
public:
    consteval HtmlConstant(const char* text) : text_(text) {}  // NOLINT: implicit on purpose
    const char* c_str() const { return text_; }

private:
    const char* text_;
};

// One attribute: its name a constant, its value any text (escaped when
// written) or a number (a coordinate: a value that is not finite is 0).
struct HtmlAttribute {
    HtmlAttribute(HtmlName n, std::string_view v) : name(n), value(v) {}
    HtmlAttribute(HtmlName n, const char* v) : name(n), value(v) {}
    HtmlAttribute(HtmlName n, const std::string& v) : name(n), value(v) {}
    HtmlAttribute(HtmlName n, double v);
    HtmlAttribute(HtmlName n, int v) : name(n), value(std::to_string(v)) {}
    HtmlName name;
    std::string value;
};
using HtmlAttributes = std::initializer_list<HtmlAttribute>;

// The one place where the page is made: elements and attributes by
// constant names, and every text and attribute value escaped (& < > " '
// become references) after control characters and invalid UTF-8 are
// replaced (records/TextSafety.h). There is no way to write data as markup.
class HtmlWriter {
public:
    // out: where the page goes (not owned); appended to.
    explicit HtmlWriter(std::string& out) : out_(out) {}

    void Doctype();
    // An element with content: Open ... Close.
    void Open(HtmlName tag, HtmlAttributes attributes = {});
    // Closes the innermost open element; nothing when none is open.
    void Close();
    // Closes every open element.
    void CloseAll();
    // An element without content: <line x1="0" .../>.
    void Void(HtmlName tag, HtmlAttributes attributes = {});
    // Escaped text.
    void Text(std::string_view text);
    // Open, Text, Close.
    void Element(HtmlName tag, HtmlAttributes attributes, std::string_view text);
    void Element(HtmlName tag, std::string_view text) { Element(tag, {}, text); }
    // A style sheet or other constant of the program, as it is.
    void Constant(HtmlConstant text);
    void NewLine() { out_ += '\n'; }

    // The number of elements open.
    std::size_t depth() const { return open_.size(); }

    // text escaped for an HTML text or attribute value, appended to out.
    static void Escape(std::string& out, std::string_view text);

private:
    void Attributes(HtmlAttributes attributes);

    std::string& out_;
    std::vector<const char*> open_;
};

}  // namespace zul::records
