#include "sliders/formula.h"

#include <array>
#include <cmath>
#include <string_view>
#include <vector>

#include "config/text.h"
#include "base/log.h"

namespace {

struct OperatorEntry {
    const char* text;
    int precedence;
};

// Distinct precedences: "*" over "/", "+" over "-"; the conditionals lowest.
const std::array<OperatorEntry, 7> kOperators = {{
    {"^", 100}, {"*", 90}, {"/", 80}, {"+", 70}, {"-", 60}, {"<", 50}, {">", 40},
}};

int Precedence(const std::string& token) {
    for (const OperatorEntry& op : kOperators)
        if (token == op.text) return op.precedence;
    return 0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsVariable(char c) { return c == 'x' || c == 'X'; }
bool IsNumberChar(char c) { return IsDigit(c) || c == '.' || IsVariable(c); }
bool IsSingleCharToken(char c) {
    switch (c) {
        case '^': case '+': case '-': case '*': case '/': case '(': case ')': case '<': case '>':
            return true;
        default:
            return false;
    }
}

bool IsOperand(const std::string& token) {
    if (token.empty()) return false;
    char c = token[0];
    return IsDigit(c) || IsVariable(c) || (token.size() > 1 && c == '-');
}

void Emit(std::string& out, const std::string& token) {
    out += token;
    out += ' ';
}

}  // namespace

bool HasLowerPrecedence(const std::string& token, const std::string& top) {
    return Precedence(top) < Precedence(token);
}

std::string InfixToRpn(const std::string& formula) {
    std::string out;
    std::vector<std::string> stack;
    bool afterOperand = false;
    bool pendingSign = false;
    size_t i = 0;
    const size_t n = formula.size();
    while (i < n) {
        const char c = formula[i];
        if (c == ' ' || c == '\t' || c == ':') {
            ++i;
            continue;
        }
        std::string token;
        if (IsSingleCharToken(c)) {
            token.assign(1, c);
            ++i;
        } else {
            size_t start = i;
            while (i < n && IsNumberChar(formula[i])) ++i;
            token.assign(formula, start, i - start);
            if (pendingSign && !token.empty()) token.insert(token.begin(), '-');
        }
        if (token == "-" && !afterOperand) {
            pendingSign = true;
            continue;
        }
        afterOperand = false;
        pendingSign = false;
        if (token.empty()) {
            LogMessage("    ERROR:system: illigal numerical formula '%s'.", formula.c_str());
            ++i;  // skip the character that fits no rule
        } else if (IsOperand(token)) {
            Emit(out, token);
            afterOperand = true;
        } else if (token == ")") {
            while (!stack.empty()) {
                std::string top = std::move(stack.back());
                stack.pop_back();
                if (top == "(") break;
                Emit(out, top);
            }
        } else if (token == "(") {
            stack.push_back(std::move(token));
        } else {
            while (!stack.empty() && !HasLowerPrecedence(token, stack.back())) {
                Emit(out, stack.back());
                stack.pop_back();
            }
            stack.push_back(std::move(token));
        }
    }
    while (!stack.empty()) {
        Emit(out, stack.back());
        stack.pop_back();
    }
    return Trim(out);
}

double EvaluateRpn(const std::string& rpn, const std::string& sourceText, double x) {
    std::vector<double> values;
    const std::vector<std::string> pieces = Split(rpn, ' ');
    for (const std::string& piece : pieces) {
        if (piece.empty()) {
            LogMessage("    ERROR:system: illigal numerical formula '%s' in '%s', original '%s'.", piece.c_str(),
                       rpn.c_str(), sourceText.c_str());
            return 1.0;
        }
        const char first = piece[0];
        if (first == ':') continue;
        if (IsVariable(first)) {
            values.push_back(x);
            continue;
        }
        if (first == '-' && piece.size() >= 2 && IsVariable(piece[1])) {
            values.push_back(-x);
            continue;
        }
        if (IsDigit(first) || (first == '-' && piece.size() >= 2)) {
            values.push_back(ReadReal(piece));
            continue;
        }
        // An operator, chosen by its first character.
        const bool binary = first == '+' || first == '-' || first == '*' || first == '/' || first == '^';
        const bool conditional = first == '<' || first == '>';
        const size_t needed = conditional ? 4 : 2;
        if (values.size() < needed || (!binary && !conditional)) {
            LogMessage("    ERROR:system: illigal numerical formula '%s' in '%s', original '%s'.", piece.c_str(),
                       rpn.c_str(), sourceText.c_str());
            return 1.0;
        }
        const double r = values.back();
        values.pop_back();
        const double l = values.back();
        values.pop_back();
        if (conditional) {
            const double b = values.back();
            values.pop_back();
            const double a = values.back();
            values.pop_back();
            // An unordered comparison (NaN) is false and picks B.
            const bool holds = first == '<' ? l < r : l > r;
            values.push_back(holds ? a : b);
            continue;
        }
        switch (first) {
            case '+': values.push_back(l + r); break;
            case '-': values.push_back(l - r); break;
            case '*': values.push_back(l * r); break;
            case '^': values.push_back(std::pow(l, r)); break;
            default:  // '/'
                if (r == 0.0) {
                    LogMessage("    ERROR:system: illigal numerical formula. divided by 0. '%s'", sourceText.c_str());
                    return 1.0;
                }
                values.push_back(l / r);
                break;
        }
    }
    if (values.size() != 1) {
        LogMessage(
            "    ERROR:system: illigal numerical formula. final stackSize of Reverse Polish Notation is not 1. "
            "'%s', original '%s'",
            rpn.c_str(), sourceText.c_str());
        return 1.0;
    }
    // An infinite or NaN scale would wreck the skeleton it is applied to.
    if (!std::isfinite(values.back())) {
        LogMessage("    ERROR:system: illigal numerical formula. result is not a finite number. '%s'",
                   sourceText.c_str());
        return 1.0;
    }
    return values.back();
}

double EvaluateFormula(const std::string& formula, double x) {
    if (!formula.empty() && formula[0] == '(') return EvaluateRpn(InfixToRpn(formula), formula, x);
    return EvaluateRpn(formula, formula, x);
}
