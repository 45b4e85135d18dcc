// Formula texts of any bytes: the conversion and the evaluation end, stay inside their
// buffers and never hand back a value that is not a finite number.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "sliders/formula.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the input value, ordinary and hostile ones alike.
    static const double kInputs[8] = {0.0, 0.5, -1.5, 10.0, 1e300,
                                      std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(), -0.0};
    const double x = kInputs[data[0] % 8];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const double y = EvaluateFormula(text, x);
    if (!std::isfinite(y)) __builtin_trap();
    (void)InfixToRpn(text);
    return 0;
}
