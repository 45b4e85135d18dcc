#include "tools/hostsim/json_in.h"

#include <cmath>
#include <fstream>
#include <sstream>

namespace hostsim {

namespace {

const char* TypeName(const Json& j) {
    switch (j.type()) {
        case Json::value_t::null: return "null";
        case Json::value_t::boolean: return "a boolean";
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
        case Json::value_t::number_float: return "a number";
        case Json::value_t::string: return "a string";
        case Json::value_t::array: return "an array";
        case Json::value_t::object: return "an object";
        default: return "another kind of value";
    }
}

}  // namespace

Json ParseJson(const std::string& text, const std::string& rootName) {
    try {
        return Json::parse(text);
    } catch (const Json::parse_error& e) {
        // Drop the library's "[json.exception.parse_error.101] " prefix.
        std::string what = e.what();
        size_t cut = what.find("] ");
        if (what.rfind("[json.exception", 0) == 0 && cut != std::string::npos) what = what.substr(cut + 2);
        throw InputError(rootName + ": invalid JSON: " + what);
    }
}

std::string ReadTextFile(const std::string& path, const std::string& what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(what + ": cannot read \"" + path + "\"");
    std::stringstream ss;
    ss << in.rdbuf();
    if (in.bad()) throw InputError(what + ": cannot read \"" + path + "\"");
    return ss.str();
}

void In::Fail(const std::string& what) const { throw InputError(path_ + ": " + what); }

double In::Number() const {
    if (!value_->is_number()) Fail(std::string("expected a number, found ") + TypeName(*value_));
    return value_->get<double>();
}

float In::Float() const {
    double d = Number();
    if (std::fabs(d) > 3.4028234663852886e38) Fail("number out of the range of a 32-bit float");
    return static_cast<float>(d);
}

int64_t In::Integer(int64_t lo, int64_t hi) const {
    std::string want = "expected an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
    if (!value_->is_number()) Fail(want + ", found " + TypeName(*value_));
    if (value_->is_number_unsigned()) {
        uint64_t u = value_->get<uint64_t>();
        if (hi < 0 || u > static_cast<uint64_t>(hi) || (lo > 0 && u < static_cast<uint64_t>(lo))) Fail(want);
        return static_cast<int64_t>(u);
    }
    if (value_->is_number_integer()) {
        int64_t i = value_->get<int64_t>();
        if (i < lo || i > hi) Fail(want);
        return i;
    }
    double d = value_->get<double>();
    if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi)) || std::trunc(d) != d) Fail(want);
    return static_cast<int64_t>(d);
}

std::string In::String() const {
    if (!value_->is_string()) Fail(std::string("expected a string, found ") + TypeName(*value_));
    return value_->get<std::string>();
}

bool In::Bool() const {
    if (!value_->is_boolean()) Fail(std::string("expected a boolean, found ") + TypeName(*value_));
    return value_->get<bool>();
}

std::vector<In> In::Array(std::optional<size_t> exactSize) const {
    if (!value_->is_array()) Fail(std::string("expected an array, found ") + TypeName(*value_));
    if (exactSize && value_->size() != *exactSize)
        Fail("expected an array of " + std::to_string(*exactSize) + " elements, found " +
             std::to_string(value_->size()));
    std::vector<In> out;
    out.reserve(value_->size());
    for (size_t i = 0; i < value_->size(); ++i) out.emplace_back((*value_)[i], path_ + "[" + std::to_string(i) + "]");
    return out;
}

ObjectIn In::Object() const {
    if (!value_->is_object()) Fail(std::string("expected an object, found ") + TypeName(*value_));
    return ObjectIn(*this);
}

ObjectIn::ObjectIn(const In& in) : in_(in) {}

void ObjectIn::Ask(const std::string& key) {
    if (asked_.insert(key).second) askedOrder_.push_back(key);
}

bool ObjectIn::Has(const std::string& key) {
    Ask(key);
    return in_.Raw().contains(key);
}

bool ObjectIn::HasValue(const std::string& key) { return Has(key) && !in_.Raw().at(key).is_null(); }

In ObjectIn::Required(const std::string& key) {
    if (!Has(key)) in_.Fail("missing required key \"" + key + "\"");
    return In(in_.Raw().at(key), in_.Path() + "." + key);
}

std::optional<In> ObjectIn::Optional(const std::string& key) {
    if (!Has(key)) return std::nullopt;
    return In(in_.Raw().at(key), in_.Path() + "." + key);
}

void ObjectIn::Done() const {
    for (auto it = in_.Raw().begin(); it != in_.Raw().end(); ++it) {
        if (asked_.count(it.key()) || it.key() == kCommentKey) continue;
        std::string known;
        for (const std::string& k : askedOrder_) known += (known.empty() ? "" : ", ") + k;
        throw InputError(in_.Path() + "." + it.key() + ": unknown key" +
                         (known.empty() ? std::string(" (this object takes no keys)")
                                        : " (known keys: " + known + ")"));
    }
}

}  // namespace hostsim
