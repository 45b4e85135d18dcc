#include "config/text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <limits>

#include "base/log.h"

namespace {
bool IsLeadTrim(char c) { return c == ' ' || c == '\t' || c == ','; }
bool IsTailTrim(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
size_t SkipBlanks(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    return i;
}
}  // namespace

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsLeadTrim(text[b])) ++b;
    while (e > b && IsTailTrim(text[e - 1])) --e;
    return std::string(text.substr(b, e - b));
}

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start < text.size()) {
        size_t cut = text.find(separator, start);
        if (cut == std::string_view::npos) {
            items.push_back(Trim(text.substr(start)));
            break;
        }
        items.push_back(Trim(text.substr(start, cut - start)));
        start = cut + 1;
    }
    return items;
}

void StripByteOrderMark(std::string& firstLine) {
    if (firstLine.compare(0, 3, "\xEF\xBB\xBF") == 0) firstLine.erase(0, 3);
}

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

int32_t ReadInt(std::string_view text) {
    size_t i = SkipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;  // saturate, keep consuming digits
    }
    return static_cast<int32_t>(negative ? -value : value);
}

size_t RealPrefixLength(std::string_view text) {
    size_t i = SkipBlanks(text);
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j])) ++j;
            i = j;
        }
    }
    (void)start;
    return i;
}

// Decimal exponent of the leading significant digit of a well-formed number (mantissa digits,
// optional fraction, optional exponent), to tell overflow from underflow.
static long long LeadingDecimalExponent(std::string_view number) {
    long long position = 0;
    bool seenDigit = false, afterPoint = false;
    size_t i = 0;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
        char c = number[i];
        if (c == '.') {
            afterPoint = true;
            continue;
        }
        if (!seenDigit) {
            if (c == '0') {
                if (afterPoint) --position;
                continue;
            }
            seenDigit = true;
            position = afterPoint ? position - 1 : 0;
        } else if (!afterPoint) {
            ++position;
        }
    }
    if (!seenDigit) return 0;
    long long exponent = 0;
    if (i < number.size()) {
        bool negative = false;
        size_t j = i + 1;
        if (j < number.size() && (number[j] == '+' || number[j] == '-')) negative = number[j++] == '-';
        for (; j < number.size(); ++j) exponent = std::min<long long>(exponent * 10 + (number[j] - '0'), 1LL << 40);
        if (negative) exponent = -exponent;
    }
    return position + exponent;
}

double ReadReal(std::string_view text) {
    size_t n = RealPrefixLength(text);
    if (n == 0) return 0.0;
    std::string_view number = text.substr(SkipBlanks(text), n - SkipBlanks(text));
    bool negative = false;
    if (number[0] == '+' || number[0] == '-') {
        negative = number[0] == '-';
        number.remove_prefix(1);
    }
    // from_chars reads the same in every locale (a game may set one with a decimal comma).
    double value = 0.0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        value = LeadingDecimalExponent(number) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (error != std::errc())
        value = 0.0;
    return negative ? -value : value;
}

void LogLineCut(const std::string& file, int line) {
    LogMessage("    WARNING: line %d of %s is longer than %lu bytes; the rest of it is ignored.", line, LogEscape(file).c_str(),
               static_cast<unsigned long>(kMaxLineBytes));
}
