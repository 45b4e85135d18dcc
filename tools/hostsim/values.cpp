#include "tools/hostsim/values.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "game/sim/sim.h"

namespace hostsim {

namespace {

constexpr int kMaxDepth = 64;  // deeper values are cut rather than followed (cycles)

double SpecialNumber(const In& in) {
    if (in.Raw().is_number()) return in.Number();
    std::string s = in.String();
    if (s == "NaN") return std::nan("");
    if (s == "Infinity") return HUGE_VAL;
    if (s == "-Infinity") return -HUGE_VAL;
    in.Fail("expected a number, \"NaN\", \"Infinity\" or \"-Infinity\"");
}

GFxValue FromJson(const In& in, GFxMovieView* movie, int depth) {
    if (depth > kMaxDepth) in.Fail("nested too deeply");
    const Json& j = in.Raw();
    switch (j.type()) {
        case Json::value_t::null: return sim::MakeUndefined();
        case Json::value_t::boolean: return sim::MakeBool(j.get<bool>());
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
        case Json::value_t::number_float: return sim::MakeNumber(j.get<double>());
        case Json::value_t::string: {
            GFxValue v{};
            if (movie) Movie_CreateString(movie, &v, j.get_ref<const std::string&>().c_str());
            return v;
        }
        case Json::value_t::array: {
            GFxValue arr{};
            if (!movie) {
                for (const In& e : in.Array()) FromJson(e, nullptr, depth + 1);
                return arr;
            }
            Movie_CreateArray(movie, &arr);
            try {
                for (const In& e : in.Array()) {
                    GFxValue element = FromJson(e, movie, depth + 1);
                    GFxValue_PushBack(arr.objectInterface, arr.data.obj, &element);
                    sim::Release(element);
                }
            } catch (...) {
                sim::Release(arr);
                throw;
            }
            return arr;
        }
        case Json::value_t::object: {
            if (j.size() == 1 && j.begin().key().rfind('$', 0) == 0) {
                const std::string& tag = j.begin().key();
                In value(j.begin().value(), in.Path() + "." + tag);
                if (tag == "$number") return sim::MakeNumber(SpecialNumber(value));
                if (tag != "$undefined" && tag != "$null")
                    in.Fail("unknown tag \"" + tag + "\" (known: $number, $null, $undefined)");
                if (!value.Bool()) value.Fail("expected true");
                GFxValue v{};
                v.type = tag == "$null" ? kGFxType_Null : kGFxType_Undefined;
                return v;
            }
            GFxValue obj{};
            if (!movie) {
                for (auto it = j.begin(); it != j.end(); ++it)
                    FromJson(In(it.value(), in.Path() + "." + it.key()), nullptr, depth + 1);
                return obj;
            }
            Movie_CreateObject(movie, &obj, nullptr, nullptr, 0);
            try {
                for (auto it = j.begin(); it != j.end(); ++it) {
                    GFxValue member = FromJson(In(it.value(), in.Path() + "." + it.key()), movie, depth + 1);
                    GFxValue_SetMember(obj.objectInterface, obj.data.obj, it.key().c_str(), &member, false);
                    sim::Release(member);
                }
            } catch (...) {
                sim::Release(obj);
                throw;
            }
            return obj;
        }
        default: in.Fail("unsupported JSON value");
    }
}

Json ToJson(const GFxValue& v, int depth) {
    if (depth > kMaxDepth) return Json{{"$tooDeep", true}};
    switch (v.type & kGFxTypeMask) {
        case kGFxType_Undefined: return nullptr;
        case kGFxType_Null: return Json{{"$null", true}};
        case kGFxType_Bool: return v.data.boolean;
        case kGFxType_Number: return NumberJson(v.data.number);
        case kGFxType_String: {
            const char* text = sim::StringText(v);
            return text ? Json(text) : Json(nullptr);
        }
        case kGFxType_Array: {
            Json out = Json::array();
            for (const GFxValue* e : sim::ArrayElements(v)) out.push_back(ToJson(*e, depth + 1));
            return out;
        }
        case kGFxType_Object: {
            if (sim::IsFunction(v)) return Json{{"$function", true}};
            Json out = Json::object();
            for (const auto& [name, member] : sim::ObjectMembers(v)) out[name] = ToJson(*member, depth + 1);
            return out;
        }
        case kGFxType_DisplayObject: return Json{{"$displayObject", true}};
        default: return Json{{"$type", v.type}};
    }
}

}  // namespace

GFxValue ValueFromJson(const In& in, GFxMovieView* movie) { return FromJson(in, movie, 0); }

void CheckValueJson(const In& in) { FromJson(in, nullptr, 0); }

Json ValueToJson(const GFxValue& value) { return ToJson(value, 0); }

Json NumberJson(double x) {
    if (std::isnan(x)) return Json{{"$number", "NaN"}};
    if (std::isinf(x)) return Json{{"$number", x > 0 ? "Infinity" : "-Infinity"}};
    if (std::trunc(x) == x && std::fabs(x) < 9007199254740992.0 && !(x == 0 && std::signbit(x)))
        return static_cast<int64_t>(x);
    return x;
}

Json FloatJson(float x) {
    if (!std::isfinite(x)) return NumberJson(x);
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof(buf), x);
    *r.ptr = '\0';
    return NumberJson(std::strtod(buf, nullptr));
}

}  // namespace hostsim
