#include "sim/ProfileFile.h"

#include <charconv>
#include <fstream>
#include <span>
#include <sstream>
#include <vector>

namespace zul::sim {

namespace {

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

std::vector<std::string_view> Words(std::string_view s) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (true) {
        pos = s.find_first_not_of(" \t,", pos);
        if (pos == std::string_view::npos) break;
        size_t end = s.find_first_of(" \t,", pos);
        if (end == std::string_view::npos) end = s.size();
        words.push_back(s.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

// A number in decimal or 0x hexadecimal, at most max.
std::optional<uint32_t> Number(std::string_view word, uint32_t max) {
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (ec != std::errc{} || end != word.data() + word.size() || value > max) return std::nullopt;
    return value;
}

std::optional<uint8_t> Byte(std::string_view word) {
    const auto n = Number(word, 0xFF);
    if (!n) return std::nullopt;
    return static_cast<uint8_t>(*n);
}

// The byte blocks that a file may set, by key.
std::optional<std::span<uint8_t>> Block(std::string_view key, Profile& p) {
    if (key == "lever_paper_in") return p.leverPaperIn;
    if (key == "lever_paper_out") return p.leverPaperOut;
    if (key == "white_registers") return p.whiteRegisters;
    if (key == "white_result") return p.whiteResult;
    if (key == "black_result") return p.blackResult;
    if (key == "nonpaper_registers") return p.nonPaperRegisters;
    if (key == "nonpaper_result") return p.nonPaperResult;
    return std::nullopt;
}

using Result = std::optional<std::string>;  // an error message, or nullopt

Result SetBlock(std::span<uint8_t> block, std::string_view value) {
    const auto words = Words(value);
    if (words.size() != block.size()) {
        return "expected " + std::to_string(block.size()) + " bytes, found " +
               std::to_string(words.size());
    }
    std::vector<uint8_t> bytes;
    for (std::string_view w : words) {
        const auto b = Byte(w);
        if (!b) return "not a byte: '" + std::string(w) + "'";
        bytes.push_back(*b);
    }
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return std::nullopt;
}

Result SetMagSamples(std::string_view value, Profile& p) {
    std::vector<MagSample> samples;
    for (std::string_view w : Words(value)) {
        const auto slash = w.find('/');
        if (slash == std::string_view::npos)
            return "expected peak/ad, found '" + std::string(w) + "'";
        const auto peak = Byte(w.substr(0, slash));
        const auto ad = Byte(w.substr(slash + 1));
        if (!peak || !ad) return "not a peak/ad pair of bytes: '" + std::string(w) + "'";
        samples.push_back({*peak, *ad});
    }
    if (samples.empty()) return std::string("expected at least one peak/ad sample");
    p.magSamples = std::move(samples);
    return std::nullopt;
}

Result AddFault(std::string_view commandWord, std::string_view value, Profile& p) {
    const auto command = Byte(commandWord);
    if (!command) return "not a command byte: '" + std::string(commandWord) + "'";
    auto words = Words(value);
    Fault fault;
    // Trailing "on N".
    if (words.size() >= 2 && words[words.size() - 2] == "on") {
        const auto n = Number(words.back(), 0xFFFFFFFF);
        if (!n || *n == 0) return "expected a reception number from 1 after 'on'";
        fault.onlyNth = *n;
        words.resize(words.size() - 2);
    }
    if (words.empty()) return std::string("expected a fault kind");
    const std::string_view kind = words[0];
    auto argument = [&](size_t i, uint32_t max) -> std::optional<uint32_t> {
        if (i >= words.size()) return std::nullopt;
        return Number(words[i], max);
    };
    size_t used = 1;
    if (kind == "refuse") {
        fault.kind = Fault::Kind::Refuse;
        if (words.size() > 1) {
            const auto b = argument(1, 0xFF);
            if (!b) return std::string("expected the refusal byte after 'refuse'");
            fault.refuseByte = static_cast<uint8_t>(*b);
            used = 2;
        }
    } else if (kind == "silent") {
        fault.kind = Fault::Kind::Silent;
    } else if (kind == "drop-off") {
        fault.kind = Fault::Kind::DropOff;
    } else if (kind == "short" || kind == "long") {
        fault.kind = kind == "short" ? Fault::Kind::Short : Fault::Kind::Long;
        const auto n = argument(1, 1024);
        if (!n) return "expected a byte count (0 to 1024) after '" + std::string(kind) + "'";
        fault.bytes = *n;
        used = 2;
        if (kind == "long" && words.size() > 2) {
            const auto fill = argument(3, 0xFF);
            if (words[2] != "fill" || !fill) return std::string("expected 'fill BYTE'");
            fault.extraByte = static_cast<uint8_t>(*fill);
            used = 4;
        }
    } else if (kind == "late") {
        fault.kind = Fault::Kind::Late;
        const auto ms = argument(1, 600000);
        if (!ms) return std::string("expected a delay in ms (0 to 600000) after 'late'");
        fault.delayMs = *ms;
        used = 2;
    } else {
        return "unknown fault kind '" + std::string(kind) +
               "' (refuse, silent, short, long, late, drop-off)";
    }
    if (used != words.size()) return "unexpected '" + std::string(words[used]) + "'";
    p.faults[*command].push_back(fault);
    return std::nullopt;
}

Result ApplyLine(std::string_view key, std::string_view value, Profile& p) {
    if (key.starts_with("fault")) {
        const auto words = Words(key);
        if (words.size() != 2 || words[0] != "fault") return std::string("expected 'fault CMD'");
        return AddFault(words[1], value, p);
    }
    if (const auto open = key.find('['); open != std::string_view::npos) {
        const auto block = Block(Trim(key.substr(0, open)), p);
        if (!block) return "unknown block '" + std::string(key.substr(0, open)) + "'";
        if (key.back() != ']') return std::string("expected ']'");
        const auto index = Number(Trim(key.substr(open + 1, key.size() - open - 2)), 0xFFFF);
        if (!index || *index >= block->size()) {
            return "index out of range 0 to " + std::to_string(block->size() - 1);
        }
        const auto b = Byte(value);
        if (!b) return "not a byte: '" + std::string(value) + "'";
        (*block)[*index] = *b;
        return std::nullopt;
    }
    if (const auto block = Block(key, p)) return SetBlock(*block, value);
    if (key == "mag_samples") return SetMagSamples(value, p);
    if (key == "motor_speed") {
        const auto b = Byte(value);
        if (!b) return "not a byte: '" + std::string(value) + "'";
        p.motorSpeed = *b;
        return std::nullopt;
    }
    if (key == "pad") {
        auto words = Words(value);
        if (words.size() == 3 && words[1] == "fill") {
            const auto fill = Byte(words[2]);
            if (!fill) return "not a byte: '" + std::string(words[2]) + "'";
            p.padByte = *fill;
            words.resize(1);
        }
        const auto n = words.size() == 1 ? Number(words[0], 1024) : std::nullopt;
        if (!n)
            return std::string("expected a byte count (0 to 1024), then optionally 'fill BYTE'");
        p.pad = *n;
        return std::nullopt;
    }
    if (key == "drop_off_after") {
        const auto n = Number(value, 0xFFFFFFFF);
        if (!n) return "not a count: '" + std::string(value) + "'";
        p.dropOffAfter = *n;
        return std::nullopt;
    }
    return "unknown setting '" + std::string(key) + "'";
}

}  // namespace

std::optional<ProfileError> ApplyProfileText(std::string_view text, Profile& profile) {
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const auto end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) return ProfileError{lineNumber, "expected 'key = value'"};
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (auto error = ApplyLine(key, value, profile)) {
            return ProfileError{lineNumber, std::move(*error)};
        }
    }
    return std::nullopt;
}

std::optional<ProfileError> ApplyProfileFile(const std::string& path, Profile& profile) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return ProfileError{0, "cannot read " + path};
    std::ostringstream text;
    text << in.rdbuf();
    return ApplyProfileText(text.str(), profile);
}

}  // namespace zul::sim
