#pragma once

#include <string_view>

namespace zul {

// The live values of the mag group: two numbers and two bars. Each change is
// repainted at once, since the thread goes straight back into blocking
// exchanges.
class MagView {
public:
    virtual ~MagView() = default;
    virtual void SetPeakText(std::string_view text) = 0;  // lblMagPeak
    virtual void SetAdText(std::string_view text) = 0;    // lblMagAD
    virtual void SetPeakBar(int position) = 0;            // prbMagPeak, 0 to 100
    virtual void SetAdBar(int position) = 0;              // prbMagAD, 0 to 100
};

}  // namespace zul
