// Any raw receive stream, cut into pieces at any points: the decoder never
// crashes, yields at most one result per raw byte, decodes the pieces exactly
// as the whole stream, and agrees with a plain reading of the marking rules.
//
// Input layout: the first byte is the number of cuts (mod 16), then one byte
// per cut giving the length of each piece; the rest is the stream.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "serial/ParityMarking.h"

namespace {

using zul::ParityMarkDecoder;
using Kind = ParityMarkDecoder::Kind;

struct Event {
    Kind kind;
    uint8_t byte;
    bool operator==(const Event&) const = default;
};

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "parity_marking_fuzz: %s\n", what);
        std::abort();
    }
}

// The stream decoded by looking ahead in the whole buffer, as the line
// discipline marks it. A mark cut off at the end yields nothing.
std::vector<Event> Reference(const uint8_t* s, size_t n, bool& pending) {
    std::vector<Event> out;
    size_t i = 0;
    pending = false;
    while (i < n) {
        if (s[i] != 0xFF) {
            out.push_back({Kind::kByte, s[i]});
            i += 1;
        } else if (i + 1 >= n) {
            pending = true;
            i += 1;
        } else if (s[i + 1] == 0xFF) {
            out.push_back({Kind::kByte, 0xFF});
            i += 2;
        } else if (s[i + 1] != 0x00) {
            out.push_back({Kind::kLineError, s[i + 1]});
            i += 2;
        } else if (i + 2 >= n) {
            pending = true;
            i += 2;
        } else {
            out.push_back({Kind::kLineError, s[i + 2]});
            i += 3;
        }
    }
    return out;
}

// Feeds the pieces one after another to one decoder, as successive reads of
// the port do.
std::vector<Event> Decode(const std::vector<std::vector<uint8_t>>& pieces, bool& pending) {
    ParityMarkDecoder decoder;
    std::vector<Event> out;
    for (const std::vector<uint8_t>& piece : pieces) {
        for (uint8_t raw : piece) {
            const ParityMarkDecoder::Result r = decoder.Feed(raw);
            if (r.kind != Kind::kNone) {
                out.push_back({r.kind, r.byte});
            }
        }
    }
    pending = decoder.Pending();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t cuts = data[0] % 16;
    size_t pos = 1;
    std::vector<size_t> lengths;
    for (; cuts > 0 && pos < size; --cuts, ++pos) lengths.push_back(data[pos]);
    const uint8_t* stream = data + pos;
    const size_t n = size - pos;

    std::vector<std::vector<uint8_t>> whole{std::vector<uint8_t>(stream, stream + n)};
    std::vector<std::vector<uint8_t>> pieces;
    size_t at = 0;
    for (size_t length : lengths) {
        const size_t take = length < n - at ? length : n - at;
        pieces.emplace_back(stream + at, stream + at + take);
        at += take;
    }
    pieces.emplace_back(stream + at, stream + n);

    bool wholePending = false;
    bool piecesPending = false;
    bool referencePending = false;
    const std::vector<Event> a = Decode(whole, wholePending);
    const std::vector<Event> b = Decode(pieces, piecesPending);
    const std::vector<Event> c = Reference(stream, n, referencePending);

    Check(a.size() <= n, "more results than raw bytes");
    Check(a == b, "cut stream decodes unlike the whole");
    Check(wholePending == piecesPending, "cut stream leaves another pending state");
    Check(a == c, "decoder disagrees with the marking rules");
    Check(wholePending == referencePending, "pending state disagrees with the marking rules");

    // Reset drops a partial mark: the next byte is taken as it stands.
    ParityMarkDecoder decoder;
    for (size_t i = 0; i < n; ++i) decoder.Feed(stream[i]);
    decoder.Reset();
    Check(!decoder.Pending(), "pending after Reset");
    const ParityMarkDecoder::Result r = decoder.Feed(0x41);
    Check(r.kind == Kind::kByte && r.byte == 0x41, "Reset did not return to idle");
    return 0;
}
