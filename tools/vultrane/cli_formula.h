// Evaluating a formula over a range with the library's engine, each value's log lines kept.
#pragma once

#include <string>
#include <vector>

namespace vultrane {

struct FormulaSample {
    double x = 0.0;
    double y = 0.0;
    std::vector<std::string> log;  // the engine's messages for this x
};

struct FormulaTable {
    std::string rpn;                         // what the engine evaluates
    std::vector<std::string> conversionLog;  // messages of the infix conversion
    std::vector<FormulaSample> samples;      // steps + 1 values from `from` to `to`
};

FormulaTable EvaluateOverRange(const std::string& formula, double from, double to, int steps);

}  // namespace vultrane
