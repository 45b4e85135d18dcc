// vultrane formula: a slider formula evaluated by the library's formula engine over a range of
// slider values, with the engine's own messages, optionally drawn as a line plot.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "base/log.h"
#include "render/plot.h"
#include "sliders/formula.h"
#include "tools/vultrane/cli_common.h"
#include "tools/vultrane/cli_formula.h"
#include "tools/vultrane/commands.h"
#include "tools/vultrane/progress.h"

namespace vultrane {

FormulaTable EvaluateOverRange(const std::string& formula, double from, double to, int steps) {
    FormulaTable t;
    t.rpn = formula.empty() || formula[0] != '(' ? formula : std::string();
    // The conversion's own messages are kept apart from those of each evaluation.
    if (t.rpn.empty() && !formula.empty())
        t.conversionLog = CaptureLog([&] { t.rpn = InfixToRpn(formula); });
    // Standard output is held back once for the whole range; each value's lines are kept apart.
    Progress progress("evaluating", static_cast<size_t>(steps) + 1);
    Quietly([&] {
        for (int i = 0; i <= steps; ++i) {
            // From both ends, so that `to` is met exactly; rounded so that -1 + 0.6 is -0.4, as
            // an author would type it, not -0.39999999999999997.
            const double x =
                i == steps ? to : Rounded15(from + (to - from) * (static_cast<double>(i) / steps));
            FormulaSample s;
            s.x = x;
            Log_SetObserver([&](const std::string& line) { s.log.push_back(line); });
            s.y = EvaluateFormula(formula, x);
            Log_SetObserver(nullptr);
            t.samples.push_back(std::move(s));
            progress.Step(static_cast<size_t>(i) + 1);
        }
    });
    progress.Done();
    return t;
}

namespace {

struct FormulaOptions {
    std::string formula;
    double from = -1.0, to = 1.0;
    int steps = 10;
    std::string plot;
    bool json = false;
};

// Messages of the evaluations, each once, in the order first seen, with the inputs that gave it.
std::vector<std::pair<std::string, std::vector<double>>> DistinctMessages(const FormulaTable& t) {
    std::vector<std::pair<std::string, std::vector<double>>> out;
    for (const FormulaSample& s : t.samples)
        for (const std::string& line : s.log) {
            auto it = std::find_if(out.begin(), out.end(), [&](const auto& e) { return e.first == line; });
            if (it == out.end()) out.push_back({line, {s.x}});
            else if (it->second.back() != s.x) it->second.push_back(s.x);
        }
    return out;
}

std::string Inputs(const std::vector<double>& xs, size_t total) {
    if (xs.size() == total) return "every x";
    std::string text = "x = ";
    for (size_t i = 0; i < xs.size() && i < 6; ++i) text += (i ? ", " : "") + Tidy(xs[i]);
    if (xs.size() > 6) text += ", ... (" + std::to_string(xs.size()) + " values)";
    return text;
}

void Execute(const FormulaOptions& o, Run& run) {
    if (!std::isfinite(o.from) || !std::isfinite(o.to)) throw UsageError("--from and --to must be finite numbers");
    if (o.steps < 1 || o.steps > 100000) throw UsageError("--steps must be between 1 and 100000");
    const FormulaTable t = EvaluateOverRange(o.formula, o.from, o.to, o.steps);
    const auto messages = DistinctMessages(t);
    size_t nonFinite = 0;
    for (const FormulaSample& s : t.samples) nonFinite += !std::isfinite(s.y);
    const bool problems = !t.conversionLog.empty() || !messages.empty() || nonFinite;

    std::string plotError;
    bool plotted = false;
    if (!o.plot.empty()) {
        render::LinePlot plot;
        plot.title = o.formula;
        plot.xLabel = "x (the formula's input)";
        plot.yLabel = "value";
        for (const FormulaSample& s : t.samples) {
            plot.xs.push_back(s.x);
            plot.ys.push_back(s.y);
            plot.failed.push_back(!s.log.empty());
        }
        MakeOutputFolderFor(o.plot, "--plot");
        plotted = render::WriteLinePlotPng(o.plot, plot, plotError);
    }

    if (o.json) {
        Json j = {{"formula", o.formula}, {"rpn", t.rpn}, {"conversionLog", t.conversionLog}};
        Json samples = Json::array();
        for (const FormulaSample& s : t.samples)
            samples.push_back({{"x", NumJson(s.x)}, {"value", NumJson(s.y)}, {"log", s.log}});
        j["samples"] = samples;
        if (!o.plot.empty()) j["plot"] = plotted ? Json(o.plot) : Json(nullptr);
        PrintJson(j);
    } else {
        std::printf("formula: %s\n", o.formula.c_str());
        std::printf("as RPN:  %s\n", t.rpn.empty() ? "(empty)" : t.rpn.c_str());
        for (const std::string& l : t.conversionLog) std::printf("conversion: %s\n", l.c_str());
        std::vector<std::vector<std::string>> rows;
        for (const FormulaSample& s : t.samples) {
            std::string note = !s.log.empty() ? "error: the game uses 1" : !std::isfinite(s.y) ? "not a finite number" : "";
            rows.push_back({Tidy(s.x), Tidy(s.y), note});
        }
        std::fputs(FormatTable({"x", "value", ""}, rows, {true, true, false}).c_str(), stdout);
        if (!messages.empty()) std::printf("\nmessages of the formula engine:\n");
        for (const auto& [line, xs] : messages)
            std::printf("%s\n        (%s)\n", line.c_str(), Inputs(xs, t.samples.size()).c_str());
        if (nonFinite)
            std::printf("\n%zu of %zu values are not finite numbers; a node scaled by one is lost from view.\n",
                        nonFinite, t.samples.size());
        if (plotted) std::printf("\nplot: %s\n", o.plot.c_str());
    }
    if (!o.plot.empty() && !plotted) {
        std::fprintf(stderr, "vultrane: cannot write the plot %s: %s\n", o.plot.c_str(), plotError.c_str());
        run.exitCode = 1;
        return;
    }
    run.exitCode = problems ? 1 : 0;
}

}  // namespace

void AddFormulaCommand(CLI::App& app, Run& run) {
    auto o = std::make_shared<FormulaOptions>();
    CLI::App* c = app.add_subcommand("formula", "Evaluate a slider formula as the library does, over a range of x");
    c->add_option("EXPR", o->formula, "the formula: infix when it starts with '(', else Reverse Polish Notation")
        ->required();
    c->add_option("--from", o->from, "first x (default -1); x is the slider value plus one for a node scale, "
                                     "the slider value for a node move");
    c->add_option("--to", o->to, "last x (default 1)");
    c->add_option("--steps", o->steps, "intervals between --from and --to (default 10)");
    c->add_option("--plot", o->plot, "also draw the values as a line plot (PNG); failed values are red crosses");
    c->add_flag("--json", o->json, "print the values and messages as JSON");
    c->footer(
        "What x is: in a node-scale entry of a type-2 slider (NODE, FORMULA) the game hands the formula the slider "
        "value plus one, so a slider at 0 gives x = 1 and the formula \"x\" keeps the node's size; in a node-move "
        "entry (+NODE, FORMULA, X, Y, Z) x is the slider value itself and the result multiplies the offset X, Y, Z. "
        "--from and --to are values of x.\n"
        "Numbers are shown to 15 significant digits (--json gives them exactly).\n"
        "Exit status: 0 no messages, 1 the engine reported a problem (it then gives 1.0), 2 bad arguments.");
    c->callback([o, &run] { Execute(*o, run); });
}

}  // namespace vultrane
