// Text helpers shared by every reader of text: trim, split, lower case, leading numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Removes blanks, tabs and commas at the start; blanks, tabs, commas, carriage returns and
// line feeds at the end.
std::string Trim(std::string_view text);

// The pieces between separators, each trimmed. An empty text gives no items, empty pieces
// between two separators are kept, and a separator at the very end gives no last item.
std::vector<std::string> Split(std::string_view text, char separator);

// Removes a UTF-8 byte-order mark at the start of a file's first line (editors add one).
void StripByteOrderMark(std::string& firstLine);

// ASCII lower case.
std::string ToLower(std::string_view text);

// Leading whole number: optional blanks, sign and decimal digits; the rest is ignored; no
// number reads as 0. Values beyond 32 bits saturate.
int32_t ReadInt(std::string_view text);
// Leading real number: sign, digits, optional fraction and exponent (decimal only); no
// number reads as 0.0. Out-of-range values become infinities.
double ReadReal(std::string_view text);
// Length of the leading real number (0 when there is none), after optional blanks.
size_t RealPrefixLength(std::string_view text);

// The longest line the readers of configuration, preset and slot files keep: the rest of a
// longer line is skipped up to its line break (it still counts as one line), and the cut is
// logged once per line with LogLineCut.
constexpr size_t kMaxLineBytes = 64 * 1024;
void LogLineCut(const std::string& file, int line);
