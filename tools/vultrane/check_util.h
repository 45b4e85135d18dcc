// Small pieces the checker's parts share: near-miss names, numbers that the game reads only up
// to their junk, and text encodings the game cannot read.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vultrane {

// Edits between two names; swapping two neighbouring letters is one edit.
size_t EditDistance(std::string_view a, std::string_view b);

// The candidate that `name` most likely meant: the same but for letter case, else the one
// nearest by at most two edits (one for names under six letters), when no other is as near.
// Empty when none.
std::string NearMatch(const std::string& name, const std::vector<std::string>& candidates);
std::string NearMatch(const std::string& name, const std::set<std::string>& candidates);
// " (did you mean X?)", or empty.
std::string DidYouMean(const std::string& name, const std::vector<std::string>& candidates);
std::string DidYouMean(const std::string& name, const std::set<std::string>& candidates);

// A skeleton node named by a slider line, and where.
struct NodeUse {
    std::string name;
    std::string file;
    int line = 0;
};
// A node name that is likely a typo of another one: named fewer times than `meant`, which it
// misses by one edit or by letter case only (a left/right or one-digit difference is a real
// other node, not a typo).
struct NodeHint {
    NodeUse use;
    size_t times = 0;  // how often the files name use.name
    std::string meant;
    size_t meantTimes = 0;
};
std::vector<NodeHint> NodeNameHints(const std::vector<NodeUse>& uses);

// Empty when `item` is a plain whole number (what the game reads is what was meant); otherwise
// why not and what the game reads, for a message: "'2g9' is not a whole number; the game reads 2".
std::string WholeNumberProblem(std::string_view item);
// The same for a real number; a decimal comma cannot occur inside one item, but a value such as
// "0,1" in a key=value line can: that names the decimal comma.
std::string RealNumberProblem(std::string_view item);

// Why the game cannot read a text file with these first bytes (UTF-16 or UTF-32, which
// Notepad calls "Unicode"); empty when it can.
std::string EncodingProblem(std::string_view firstBytes);

}  // namespace vultrane
