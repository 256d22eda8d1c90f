// The gain table: repeated multiplication by one level unit's factor in double precision.
#include "engine/Gain.h"

#include <cmath>

namespace kreisel {

const GainTable& GainTable::Instance() {
    static const GainTable table;
    return table;
}

GainTable::GainTable() {
    const double unit = std::pow(32768.0, 1.0 / 1200.0);
    auto at = [this](int level) -> int32_t& { return factors_[static_cast<size_t>(level - kLevelMin)]; };
    at(0) = 65536;
    double up = unit;
    double down = unit;
    for (int i = 1; i < kLevelMax; ++i) {
        at(i) = static_cast<int32_t>(std::nearbyint(65536.0 * up));
        at(-i) = static_cast<int32_t>(std::nearbyint(65536.0 / down));
        up *= unit;
        down *= unit;
    }
    at(kLevelMin) = 0;
    at(kLevelMax) = 2147483647;
}

} // namespace kreisel
