#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "sliders/formula.h"
#include "tests/support/test_support.h"

namespace {

using Lines = std::vector<std::string>;

std::string DivByZero(const std::string& src) {
    return "    ERROR:system: illigal numerical formula. divided by 0. '" + src + "'";
}
std::string BadPiece(const std::string& piece, const std::string& rpn, const std::string& src) {
    return "    ERROR:system: illigal numerical formula '" + piece + "' in '" + rpn + "', original '" + src + "'.";
}
std::string BadStack(const std::string& rpn, const std::string& src) {
    return "    ERROR:system: illigal numerical formula. final stackSize of Reverse Polish Notation is not 1. '" +
           rpn + "', original '" + src + "'";
}
std::string BadChar(const std::string& src) { return "    ERROR:system: illigal numerical formula '" + src + "'."; }
std::string NotFinite(const std::string& src) {
    return "    ERROR:system: illigal numerical formula. result is not a finite number. '" + src + "'";
}

struct Eval {
    double x;
    double result;
};

struct Row {
    std::string formula;
    std::string rpn;  // what the conversion yields (the text itself for RPN input)
    std::vector<Eval> evals;
    Lines messages;   // for every evaluation
};

TEST(FormulaTable, EveryRowConvertsEvaluatesAndReports) {
    const std::string twoBlanks = "1  2 +";
    const std::vector<Row> rows = {
        {"", "", {{0.3, 1.0}}, {BadStack("", "")}},
        {"(x*2)", "x 2 *", {{0.75, 1.5}}, {}},
        {"x 2 *", "x 2 *", {{0.75, 1.5}}, {}},
        {"(2-1+1)", "2 1 1 + -", {{0.0, 0.0}, {5.0, 0.0}}, {}},
        {"(8/2*2)", "8 2 2 * /", {{0.0, 2.0}}, {}},
        {"(2^3^2)", "2 3 ^ 2 ^", {{0.0, 64.0}}, {}},
        {"(-x*2)", "-x 2 *", {{1.5, -3.0}}, {}},
        {"(-(x))", "x", {{1.5, 1.5}}, {}},
        {"((1)-1)", "1 -1", {{0.0, 1.0}}, {BadStack("1 -1", "((1)-1)")}},
        {"(1:2:x<0.5)", "1 2 x 0.5 <", {{0.25, 1.0}, {0.5, 2.0}, {0.75, 2.0}}, {}},
        {"(1:2:x>0.5)", "1 2 x 0.5 >", {{0.5, 2.0}, {0.75, 1.0}}, {}},
        {"(1:2:x-1<0)", "1 2 x 1 - 0 <", {{0.5, 1.0}, {1.5, 2.0}}, {}},
        {"(2x)", "2x", {{7.0, 2.0}}, {}},
        {"(x/0)", "x 0 /", {{3.0, 1.0}}, {DivByZero("(x/0)")}},
        {"(3+)", "3 +", {{0.0, 1.0}}, {BadPiece("+", "3 +", "(3+)")}},
        {"(abc)", "", {{0.0, 1.0}}, {BadChar("(abc)"), BadChar("(abc)"), BadChar("(abc)"), BadStack("", "(abc)")}},
        {"((1+2)", "1 2 + (", {{0.0, 1.0}}, {BadPiece("(", "1 2 + (", "((1+2)")}},
        {"(1+2))", "1 2 +", {{0.0, 3.0}}, {}},
        {twoBlanks, twoBlanks, {{0.0, 1.0}}, {BadPiece("", twoBlanks, twoBlanks)}},
        // Further rules the table implies.
        {"(x--1)", "x -1 -", {{2.0, 3.0}}, {}},  // a "-" after an operator is a sign
        {"(2*-3)", "2 -3 *", {{0.0, -6.0}}, {}},
        // "." cannot start a number: ".5" is an operator of rank 0 and pops the "(" before it.
        {"(.5+1)", "( 1 + .5", {{0.0, 1.0}}, {BadPiece("(", "( 1 + .5", "(.5+1)")}},
        {"(0x10)", "0x10", {{9.0, 0.0}}, {}},  // decimal only: "0x10" reads as 0
        {"(2e3)", "2 3", {{0.0, 1.0}}, {BadChar("(2e3)"), BadStack("2 3", "(2e3)")}},
        {"1e3 x +", "1e3 x +", {{1.0, 1001.0}}, {}},  // an RPN piece may carry an exponent
        {"(1:2:x<0.5+0.5)", "1 2 x 0.5 0.5 + <", {{0.75, 1.0}, {1.0, 2.0}}, {}},
        {"x 1 2 <", "x 1 2 <", {{0.0, 1.0}}, {BadPiece("<", "x 1 2 <", "x 1 2 <")}},  // three values
        {"1 2 3 4 5 6 %", "1 2 3 4 5 6 %", {{0.0, 1.0}}, {BadPiece("%", "1 2 3 4 5 6 %", "1 2 3 4 5 6 %")}},
        {"x : 1 +", "x : 1 +", {{1.0, 2.0}}, {}},  // ":" pieces are ignored
        {"-X 3 *", "-X 3 *", {{2.0, -6.0}}, {}},
        {"x -0 /", "x -0 /", {{1.0, 1.0}}, {DivByZero("x -0 /")}},  // -0 is 0 too
        {"x 2 ", "x 2 ", {{1.0, 1.0}}, {BadStack("x 2 ", "x 2 ")}},  // the trailing blank adds no piece
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("formula '" + row.formula + "'");
        if (!row.formula.empty() && row.formula[0] == '(') {
            vtrtest::LogCapture conversionLog;
            EXPECT_EQ(InfixToRpn(row.formula), row.rpn);
        }
        for (const Eval& e : row.evals) {
            vtrtest::LogCapture log;
            const double got = EvaluateFormula(row.formula, e.x);
            EXPECT_DOUBLE_EQ(got, e.result) << "x=" << e.x;
            EXPECT_EQ(log.Lines(), row.messages) << "x=" << e.x;
        }
    }
}

TEST(FormulaTable, ConditionalWithNaNComparisonPicksTheSecondResult) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    vtrtest::LogCapture log;
    EXPECT_EQ(EvaluateFormula("(1:2:x<0.5)", nan), 2.0);
    EXPECT_EQ(EvaluateFormula("(1:2:x>0.5)", nan), 2.0);
    EXPECT_TRUE(log.Lines().empty());
}

TEST(FormulaPrecedence, EveryOperatorHasItsOwnRank) {
    const std::vector<std::string> byRank = {"^", "*", "/", "+", "-", "<", ">"};  // highest first
    for (size_t i = 0; i < byRank.size(); ++i) {
        for (size_t j = 0; j < byRank.size(); ++j)
            EXPECT_EQ(HasLowerPrecedence(byRank[i], byRank[j]), j > i) << byRank[i] << " vs " << byRank[j];
        EXPECT_TRUE(HasLowerPrecedence(byRank[i], "("));
        EXPECT_FALSE(HasLowerPrecedence("(", byRank[i]));
        EXPECT_FALSE(HasLowerPrecedence(byRank[i] + byRank[i], byRank[i]));  // whole-string lookup
    }
}

TEST(FormulaNonFinite, AResultThatIsNotANumberGivesOneAndOneMessage) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::string formula;
        double x;
    };
    const std::vector<Case> cases = {
        {"(x^1000)", 10.0},
        {"((0-1)^0.5)", 0.0},
        {"(2^x)", 1e6},
        {"1e999", 0.0},
        {"x", inf},
        {"x", std::numeric_limits<double>::quiet_NaN()},
        {"(x*x*x*x*x)", 1e100},
        {"(x-x)", inf},  // inf - inf
    };
    for (const Case& c : cases) {
        vtrtest::LogCapture log;
        EXPECT_EQ(EvaluateFormula(c.formula, c.x), 1.0) << c.formula;
        EXPECT_EQ(log.Lines(), Lines{NotFinite(c.formula)}) << c.formula;
    }
    // Infinity on the way that ends in a finite value is an ordinary result.
    vtrtest::LogCapture log;
    EXPECT_EQ(EvaluateFormula("1 2 1e999 0 <", 0.0), 2.0);
    EXPECT_TRUE(log.Lines().empty());
}

TEST(FormulaHostileText, DeepNestingLongTextAndControlBytesEndQuietly) {
    // Far deeper than any recursion could survive.
    std::string deep(300000, '(');
    deep += "x";
    deep += std::string(300000, ')');
    {
        vtrtest::LogCapture log;
        EXPECT_EQ(EvaluateFormula(deep, 0.5), 0.5);
        EXPECT_TRUE(log.Lines().empty());
    }
    std::string open(5000, '(');
    {
        vtrtest::LogCapture log;
        EXPECT_EQ(EvaluateFormula(open, 0.5), 1.0);
        ASSERT_EQ(log.Lines().size(), 1u);
    }
    std::string chain = "(x";
    for (int i = 0; i < 100000; ++i) chain += "+1";
    chain += ")";
    EXPECT_DOUBLE_EQ(EvaluateFormula(chain, 0.5), 100000.5);

    std::string bytes = "(";
    for (int c = 1; c < 256; ++c) bytes += static_cast<char>(c);
    bytes += std::string("\0x", 2);
    vtrtest::LogCapture log;
    const double y = EvaluateFormula(bytes, 1.0);
    EXPECT_TRUE(std::isfinite(y));
    EXPECT_FALSE(log.Lines().empty());
}

}  // namespace
