// Face data texts of any bytes: the parser ends, keeps no more pairs than the fields hold,
// never yields a value that is not finite, and a "version" key put in front of the pairs
// changes exactly the values of the legacy sliders.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "plugin/face_refresh.h"

namespace {

constexpr std::array<int32_t, 18> kLegacy = {28, 29, 30, 35, 36, 37, 12, 13, 14, 15, 16, 17, 18, 39, 40, 41, 42, 43};

bool IsLegacy(int32_t id) {
    for (int32_t l : kLegacy)
        if (l == id) return true;
    return false;
}

bool IsTrimmedEdge(char c) { return c == ' ' || c == '\t' || c == ','; }

void Check(const FaceData& d) {
    const size_t pairs = d.fieldCount ? (d.fieldCount - 1) / 2 : 0;
    if (d.values.size() + d.droppedValues > pairs) __builtin_trap();
    for (const auto& v : d.values)
        if (!std::isfinite(v.second)) __builtin_trap();
    if (d.fieldCount == 0 && !d.raceName.empty()) __builtin_trap();
    if (d.raceName.find(',') != std::string::npos) __builtin_trap();
    if (!d.raceName.empty() && (IsTrimmedEdge(d.raceName.front()) || IsTrimmedEdge(d.raceName.back())))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const FaceData plain = ParseFaceData(text);
    Check(plain);

    const size_t comma = text.find(',');
    if (plain.fieldCount < 2 || comma == std::string::npos) return 0;
    const std::string versioned = text.substr(0, comma + 1) + "version,0," + text.substr(comma + 1);
    const FaceData current = ParseFaceData(versioned);
    Check(current);
    if (current.fieldCount != plain.fieldCount + 2 || current.raceName != plain.raceName) __builtin_trap();

    // Compare pair by pair only when the plain text had no "version" key of its own and
    // nothing was left out of either.
    const size_t pairs = (plain.fieldCount - 1) / 2;
    if (plain.values.size() + plain.droppedValues != pairs) return 0;
    if (plain.droppedValues || current.droppedValues) return 0;
    if (current.values.size() != plain.values.size()) __builtin_trap();
    for (size_t i = 0; i < plain.values.size(); ++i) {
        const auto& [id, value] = current.values[i];
        if (plain.values[i].first != id) __builtin_trap();
        if (plain.values[i].second != (IsLegacy(id) ? value * 1.5 : value)) __builtin_trap();
    }
    return 0;
}
