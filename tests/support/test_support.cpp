#include "tests/support/test_support.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "plugin/bridge.h"
#include "base/log.h"
#include "plugin/registration.h"

namespace vtrtest {

namespace fs = std::filesystem;

LogCapture::LogCapture() {
    Log_SetObserver([this](const std::string& line) { lines_.push_back(line); });
}
LogCapture::~LogCapture() { Log_SetObserver(nullptr); }

bool LogCapture::Contains(const std::string& message) const { return Count(message) > 0; }

size_t LogCapture::Count(const std::string& message) const {
    size_t n = 0;
    for (const std::string& l : lines_) n += l == message;
    return n;
}

ScopedGameFolder::ScopedGameFolder() {
    char tmpl[] = "/tmp/vtr-game-XXXXXX";
    const char* made = mkdtemp(tmpl);
    if (!made) std::abort();
    path_ = made;
    previous_ = fs::current_path().string();
    fs::current_path(path_);
}

ScopedGameFolder::~ScopedGameFolder() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::remove_all(path_, ec);
}

static std::string Slashes(std::string p) {
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

void ScopedGameFolder::WriteFile(const std::string& relativePath, const std::string& content) const {
    fs::path p = fs::path(path_) / Slashes(relativePath);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << content;
}

std::string ScopedGameFolder::ReadFile(const std::string& relativePath) const {
    std::ifstream in(fs::path(path_) / Slashes(relativePath), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

MenuHarness::MenuHarness() : movie_(sim::CreateMovie()) {
    Movie_CreateObject(movie_, &root_, nullptr, nullptr, 0);
    RegisterFunctions(movie_, &root_);
}

MenuHarness::~MenuHarness() {
    Value_Release(result_);
    for (GFxValue* v : owned_) {
        Value_Release(*v);
        delete v;
    }
    Value_Release(root_);
}

const GFxValue& MenuHarness::Call(const char* name, std::vector<GFxValue> args) {
    Value_Release(result_);
    bool found = sim::InvokeMember(movie_, root_, name, args.data(), static_cast<uint32_t>(args.size()), &result_);
    EXPECT_TRUE(found) << "no menu function " << name;
    for (GFxValue& a : args) {
        bool ownedHere = false;
        for (GFxValue* o : owned_) ownedHere |= (o->data.obj == a.data.obj && (a.type & kGFxManagedFlag));
        if (!ownedHere) Value_Release(a);
    }
    return result_;
}

GFxValue& MenuHarness::NewArray() {
    auto* v = new GFxValue{};
    Movie_CreateArray(movie_, v);
    owned_.push_back(v);
    return *v;
}

GFxValue MenuHarness::String(const char* text) {
    GFxValue v{};
    Movie_CreateString(movie_, &v, text);
    return v;
}

std::vector<const GFxValue*> Elements(const GFxValue& array) { return sim::ArrayElements(array); }

std::vector<std::string> MemberNames(const GFxValue& object) {
    std::vector<std::string> names;
    for (auto& m : sim::ObjectMembers(object)) names.push_back(m.first);
    return names;
}

const GFxValue* Member(const GFxValue& object, const char* name) {
    for (auto& m : sim::ObjectMembers(object))
        if (m.first == name) return m.second;
    return nullptr;
}

double Num(const GFxValue& object, const char* name) {
    const GFxValue* v = Member(object, name);
    if (!v || (v->type & kGFxTypeMask) != kGFxType_Number) return std::nan("");
    return v->data.number;
}

std::string Str(const GFxValue& object, const char* name) {
    const GFxValue* v = Member(object, name);
    const char* s = v ? sim::StringText(*v) : nullptr;
    return s ? s : "<missing>";
}

bool Bool(const GFxValue& object, const char* name) {
    const GFxValue* v = Member(object, name);
    return v && (v->type & kGFxTypeMask) == kGFxType_Bool && v->data.boolean;
}

}  // namespace vtrtest
