#include "tools/vultrane/check_util.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

#include "config/text.h"

namespace vultrane {

// Edits between two names, a swap of two neighbouring letters counting as one (the commonest typo).
size_t EditDistance(std::string_view a, std::string_view b) {
    const size_t w = b.size() + 1;
    std::vector<size_t> d((a.size() + 1) * w);
    for (size_t i = 0; i <= a.size(); ++i) d[i * w] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t best = std::min({d[(i - 1) * w + j] + 1, d[i * w + j - 1] + 1,
                                    d[(i - 1) * w + j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                best = std::min(best, d[(i - 2) * w + j - 2] + 1);
            d[i * w + j] = best;
        }
    }
    return d[a.size() * w + b.size()];
}

namespace {

template <class Names>
std::string Near(const std::string& name, const Names& candidates) {
    if (name.empty()) return {};
    const std::string lower = ToLower(name);
    for (const std::string& n : candidates)
        if (n != name && ToLower(n) == lower) return n;
    const size_t limit = name.size() >= 6 ? 2 : 1;
    std::string best;
    size_t bestDistance = limit + 1;
    bool tie = false;
    for (const std::string& n : candidates) {
        if (n == name || n.size() + limit < name.size() || name.size() + limit < n.size()) continue;
        const size_t d = EditDistance(lower, ToLower(n));
        if (d < bestDistance) best = n, bestDistance = d, tie = false;
        else if (d == bestDistance && ToLower(n) != ToLower(best)) tie = true;
    }
    return bestDistance <= limit && !tie ? best : std::string();
}

std::string Mean(const std::string& near) { return near.empty() ? std::string() : " (did you mean " + near + "?)"; }

std::string Shortest(double v) {
    char buffer[40];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, v);
        if (std::strtod(buffer, nullptr) == v) break;
    }
    return buffer;
}

}  // namespace

std::string NearMatch(const std::string& name, const std::vector<std::string>& candidates) {
    return Near(name, candidates);
}
std::string NearMatch(const std::string& name, const std::set<std::string>& candidates) {
    return Near(name, candidates);
}
std::string DidYouMean(const std::string& name, const std::vector<std::string>& candidates) {
    return Mean(Near(name, candidates));
}
std::string DidYouMean(const std::string& name, const std::set<std::string>& candidates) {
    return Mean(Near(name, candidates));
}

std::string WholeNumberProblem(std::string_view item) {
    const std::string text = Trim(item);
    size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const size_t digits = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    if (at == text.size() && at > digits) return {};
    const std::string reads = std::to_string(ReadInt(text));
    if (at == digits) return "'" + text + "' is not a whole number; the game reads 0";
    return "'" + text + "' is not a whole number; the game reads " + reads + " (it stops at '" + text.substr(at, 1) + "')";
}

std::string RealNumberProblem(std::string_view item) {
    const std::string text = Trim(item);
    const size_t length = RealPrefixLength(text);
    const double value = ReadReal(text);
    if (length == 0) return "'" + text + "' is not a number; the game reads 0";
    if (!std::isfinite(value)) return "'" + text + "' is out of range";
    if (length >= text.size()) return {};
    if (text[length] == ',')
        return "'" + text + "' has a decimal comma; the game reads " + Shortest(value) + " (write " +
               text.substr(0, length) + "." + text.substr(length + 1) + ")";
    return "'" + text + "' is not a number; the game reads " + Shortest(value) + " (it stops at '" +
           text.substr(length, 1) + "')";
}

std::string EncodingProblem(std::string_view b) {
    auto at = [&](size_t i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0x100u; };
    if (at(0) == 0xFF && at(1) == 0xFE && at(2) == 0 && at(3) == 0) return "the file is UTF-32";
    if (at(0) == 0xFF && at(1) == 0xFE) return "the file is UTF-16 (Notepad's \"Unicode\")";
    if (at(0) == 0xFE && at(1) == 0xFF) return "the file is UTF-16 big-endian (Notepad's \"Unicode big endian\")";
    // Without a byte-order mark: zero bytes between the letters.
    size_t zeros = 0, n = std::min<size_t>(b.size(), 256);
    for (size_t i = 0; i < n; ++i) zeros += b[i] == '\0';
    if (n >= 4 && zeros * 4 >= n) return "the file is UTF-16 (every other byte is zero)";
    return {};
}

namespace {

// Same length, one position differs, and there a digit for a digit or L for R: "NPC Spine1" and
// "NPC Spine2", "NPC L Calf" and "NPC R Calf" are different nodes.
bool SiblingNodes(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    size_t at = a.size();
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) {
            if (at != a.size()) return false;
            at = i;
        }
    if (at == a.size()) return false;
    const char x = a[at], y = b[at];
    const bool digits = std::isdigit(static_cast<unsigned char>(x)) && std::isdigit(static_cast<unsigned char>(y));
    const bool sides = (x == 'L' && y == 'R') || (x == 'R' && y == 'L') || (x == 'l' && y == 'r') || (x == 'r' && y == 'l');
    return digits || sides;
}

}  // namespace

std::vector<NodeHint> NodeNameHints(const std::vector<NodeUse>& uses) {
    std::map<std::string, size_t> named;  // name -> how often the files name it
    for (const NodeUse& u : uses)
        if (!u.name.empty()) ++named[u.name];
    std::vector<NodeHint> hints;
    std::set<std::tuple<std::string, int, std::string>> told;  // one hint per name and line
    for (const NodeUse& u : uses) {
        auto own = named.find(u.name);
        if (own == named.end() || !told.insert({u.file, u.line, u.name}).second) continue;
        std::string best;
        size_t bestTimes = 0;
        bool tie = false;
        for (const auto& [other, times] : named) {
            if (other == u.name || times <= own->second) continue;
            const bool caseOnly = ToLower(other) == ToLower(u.name);
            if (!caseOnly && (EditDistance(other, u.name) != 1 || SiblingNodes(other, u.name))) continue;
            if (times > bestTimes) best = other, bestTimes = times, tie = false;
            else if (times == bestTimes) tie = true;
        }
        if (!best.empty() && !tie) hints.push_back({u, own->second, best, bestTimes});
    }
    return hints;
}

}  // namespace vultrane
