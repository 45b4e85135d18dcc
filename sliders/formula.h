// The slider formula language: infix (a text starting with "(") or Reverse Polish Notation,
// one variable x, evaluated to a double. Failures are logged and give 1.0.
#pragma once

#include <string>

double EvaluateFormula(const std::string& formula, double x);
std::string InfixToRpn(const std::string& formula);
double EvaluateRpn(const std::string& rpn, const std::string& sourceText, double x);
bool HasLowerPrecedence(const std::string& token, const std::string& top);
