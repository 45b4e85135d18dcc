// Checked reading of the host simulator's JSON inputs: every failure names the JSON path of
// the offending value ("world.player.npc.headParts[2].type: expected a number").
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace hostsim {

using Json = nlohmann::ordered_json;

// A bad input file: the message is complete and meant for the user.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses JSON text; a syntax error names `rootName` and the line and column.
Json ParseJson(const std::string& text, const std::string& rootName);
// Reads a whole file; a missing or unreadable file is an InputError naming `what`.
std::string ReadTextFile(const std::string& path, const std::string& what);

class ObjectIn;

// One value of the input and its path.
class In {
public:
    In(const Json& value, std::string path) : value_(&value), path_(std::move(path)) {}

    const Json& Raw() const { return *value_; }
    const std::string& Path() const { return path_; }
    bool IsNull() const { return value_->is_null(); }

    [[noreturn]] void Fail(const std::string& what) const;

    double Number() const;
    float Float() const;
    // An integral number within [lo, hi].
    int64_t Integer(int64_t lo, int64_t hi) const;
    std::string String() const;
    bool Bool() const;
    // An array; with `exactSize` set, of exactly that many elements.
    std::vector<In> Array(std::optional<size_t> exactSize = std::nullopt) const;
    ObjectIn Object() const;

private:
    const Json* value_;
    std::string path_;
};

// Every object of the inputs may carry this key for the reader's benefit; it is ignored.
inline const std::string kCommentKey = "comment";

// An object whose keys are taken one by one; Done() rejects any key nobody asked for.
class ObjectIn {
public:
    explicit ObjectIn(const In& in);

    bool Has(const std::string& key);
    // Present and not null.
    bool HasValue(const std::string& key);
    In Required(const std::string& key);
    std::optional<In> Optional(const std::string& key);
    // Fails on the first key that was not asked for, listing the keys this object knows.
    void Done() const;
    const std::string& Path() const { return in_.Path(); }

private:
    In in_;
    std::set<std::string> asked_;
    std::vector<std::string> askedOrder_;
    void Ask(const std::string& key);
};

}  // namespace hostsim
