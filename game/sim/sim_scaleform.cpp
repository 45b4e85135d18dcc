// The simulated Scaleform runtime: managed strings, objects with ordered members, arrays and
// function values with reference counts, the movie's create operations and the heap.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "game/engine.h"
#include "game/sim/sim.h"

namespace {

// A managed string: data.managedString points at `text`, the first field.
struct StringCell {
    const char* text;
    int refs;
    std::string storage;
};

enum class Kind { Object, Array, Function };

struct SimObject {
    int refs = 1;
    Kind kind = Kind::Object;
    std::vector<std::pair<std::string, GFxValue>> members;
    std::vector<GFxValue> elements;
    GFxFunctionHandler* handler = nullptr;
    void* refCon = nullptr;
};

struct SimMovie {
    GFxMovieView view{};
    GFxValue_ObjectInterface iface{};
};


int g_failingAllocations = 0;

std::unordered_set<void*>& HeapBlocks() {
    static auto* s = new std::unordered_set<void*>();
    return *s;
}
std::unordered_set<const void*>& LiveCells() {
    static auto* s = new std::unordered_set<const void*>();
    return *s;
}
std::unordered_set<const void*>& LiveObjects() {
    static auto* s = new std::unordered_set<const void*>();
    return *s;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "sim scaleform: %s\n", what);
    std::abort();
}

uint32_t BaseType(const GFxValue& v) { return v.type & kGFxTypeMask; }
bool IsManaged(const GFxValue& v) { return (v.type & kGFxManagedFlag) != 0; }

StringCell* CellOf(const GFxValue& v) { return reinterpret_cast<StringCell*>(v.data.managedString); }
SimObject* ObjOf(const GFxValue& v) { return static_cast<SimObject*>(v.data.obj); }

void AddRef(const GFxValue& v) {
    if (!IsManaged(v)) return;
    if (BaseType(v) == kGFxType_String) {
        if (!LiveCells().count(CellOf(v))) Fail("add-ref of a released string");
        ++CellOf(v)->refs;
    } else {
        if (!LiveObjects().count(ObjOf(v))) Fail("add-ref of a released object");
        ++ObjOf(v)->refs;
    }
}

void ReleaseHandler(GFxFunctionHandler* h) {
    h->refCount = h->refCount - 1;
    if (h->refCount == 0) h->vtbl->destroy(h, 1);
}

void DropRef(GFxValue& v);

void DestroyObject(SimObject* o) {
    LiveObjects().erase(o);
    for (auto& m : o->members) DropRef(m.second);
    for (auto& e : o->elements) DropRef(e);
    if (o->handler) ReleaseHandler(o->handler);
    delete o;
}

void DropRef(GFxValue& v) {
    if (!IsManaged(v)) return;
    if (BaseType(v) == kGFxType_String) {
        StringCell* c = CellOf(v);
        if (!LiveCells().count(c)) Fail("release of a released string");
        if (--c->refs == 0) {
            LiveCells().erase(c);
            delete c;
        }
    } else {
        SimObject* o = ObjOf(v);
        if (!LiveObjects().count(o)) Fail("release of a released object");
        if (--o->refs == 0) DestroyObject(o);
    }
    v.objectInterface = nullptr;
    v.type = kGFxType_Undefined;
    v.data.number = 0;
}

GFxValue NewString(GFxValue_ObjectInterface* iface, const char* text) {
    auto* c = new StringCell{nullptr, 1, text ? text : ""};
    c->text = c->storage.c_str();
    LiveCells().insert(c);
    GFxValue v{};
    v.objectInterface = iface;
    v.type = kGFxType_String | kGFxManagedFlag;
    v.data.managedString = &c->text;
    return v;
}

GFxValue NewObject(GFxValue_ObjectInterface* iface, Kind kind) {
    auto* o = new SimObject();
    o->kind = kind;
    LiveObjects().insert(o);
    GFxValue v{};
    v.objectInterface = iface;
    v.type = (kind == Kind::Array ? kGFxType_Array : kGFxType_Object) | kGFxManagedFlag;
    v.data.obj = o;
    return v;
}

// What the runtime keeps when a value is stored: unmanaged strings become managed copies.
GFxValue Stored(const GFxValue& v, GFxValue_ObjectInterface* iface) {
    if (BaseType(v) == kGFxType_String && !IsManaged(v)) return NewString(iface, v.data.string);
    if (BaseType(v) == kGFxType_WideString) Fail("wide strings are not simulated");
    GFxValue copy = v;
    AddRef(copy);
    return copy;
}

SimObject* CheckObject(GFxValue_ObjectInterface* iface, void* obj) {
    if (!iface) Fail("operation on a value without an object interface");
    auto* o = static_cast<SimObject*>(obj);
    if (!LiveObjects().count(o)) Fail("operation on a released or unknown object");
    return o;
}

}  // namespace

// ===== Engine operations ===========================================================================

void* ScaleformHeap_Alloc(uint32_t size) {
    if (g_failingAllocations > 0) {
        --g_failingAllocations;
        return nullptr;
    }
    void* p = std::malloc(size ? size : 1);
    if (!p) Fail("out of memory");
    HeapBlocks().insert(p);
    return p;
}

void ScaleformHeap_Free(void* pointer) {
    if (!pointer) return;
    if (!HeapBlocks().erase(pointer)) Fail("free of a block the heap did not allocate");
    std::free(pointer);
}

bool GFxValue_SetMember(GFxValue_ObjectInterface* iface, void* obj, const char* name, const GFxValue* value,
                        bool isDisplayObj) {
    SimObject* o = CheckObject(iface, obj);
    (void)isDisplayObj;
    if (o->kind == Kind::Function || !name) return false;
    GFxValue stored = Stored(*value, iface);
    for (auto& m : o->members) {
        if (m.first == name) {
            DropRef(m.second);
            m.second = stored;
            return true;
        }
    }
    o->members.emplace_back(name, stored);
    return true;
}

bool GFxValue_PushBack(GFxValue_ObjectInterface* iface, void* obj, const GFxValue* value) {
    SimObject* o = CheckObject(iface, obj);
    if (o->kind != Kind::Array) return false;
    o->elements.push_back(Stored(*value, iface));
    return true;
}

uint32_t GFxValue_GetArraySize(GFxValue_ObjectInterface* iface, void* obj) {
    SimObject* o = CheckObject(iface, obj);
    return o->kind == Kind::Array ? static_cast<uint32_t>(o->elements.size()) : 0;
}

bool GFxValue_GetElement(GFxValue_ObjectInterface* iface, void* obj, uint32_t index, GFxValue* out) {
    SimObject* o = CheckObject(iface, obj);
    if (o->kind != Kind::Array || index >= o->elements.size()) return false;
    if (IsManaged(*out)) DropRef(*out);
    *out = o->elements[index];
    AddRef(*out);
    return true;
}

void GFxValue_ReleaseManaged(GFxValue_ObjectInterface* iface, GFxValue* value, void* obj) {
    if (!iface) Fail("release of a value without an object interface");
    (void)obj;
    DropRef(*value);
}

void Movie_CreateString(GFxMovieView* movie, GFxValue* out, const char* text) {
    auto* m = reinterpret_cast<SimMovie*>(movie);
    *out = NewString(&m->iface, text);
}

void Movie_CreateObject(GFxMovieView* movie, GFxValue* out, const char*, GFxValue*, uint32_t) {
    auto* m = reinterpret_cast<SimMovie*>(movie);
    *out = NewObject(&m->iface, Kind::Object);
}

void Movie_CreateArray(GFxMovieView* movie, GFxValue* out) {
    auto* m = reinterpret_cast<SimMovie*>(movie);
    *out = NewObject(&m->iface, Kind::Array);
}

void Movie_CreateFunction(GFxMovieView* movie, GFxValue* out, GFxFunctionHandler* handler, void* refCon) {
    auto* m = reinterpret_cast<SimMovie*>(movie);
    *out = NewObject(&m->iface, Kind::Function);
    SimObject* o = ObjOf(*out);
    o->handler = handler;
    o->refCon = refCon;
    handler->refCount = handler->refCount + 1;
}

// ===== Builder and inspection API ==================================================================

namespace sim {

GFxMovieView* CreateMovie() {
    static auto* movies = new std::vector<SimMovie*>();  // movies live as long as the process
    auto* m = new SimMovie();
    movies->push_back(m);
    m->view.refCount = 1;
    m->iface.root = m;
    return &m->view;
}

size_t LiveHeapAllocations() { return HeapBlocks().size(); }

void FailHeapAllocations(int count) { g_failingAllocations = count; }

size_t LiveManagedValues() { return LiveCells().size() + LiveObjects().size(); }

GFxValue MakeNumber(double x) {
    GFxValue v{};
    v.type = kGFxType_Number;
    v.data.number = x;
    return v;
}

GFxValue MakeBool(bool b) {
    GFxValue v{};
    v.type = kGFxType_Bool;
    v.data.boolean = b;
    return v;
}

GFxValue MakeUndefined() { return GFxValue{}; }

void Release(GFxValue& value) { DropRef(value); }

std::vector<std::pair<std::string, const GFxValue*>> ObjectMembers(const GFxValue& object) {
    std::vector<std::pair<std::string, const GFxValue*>> out;
    uint32_t t = BaseType(object);
    if (t != kGFxType_Object && t != kGFxType_Array && t != kGFxType_DisplayObject) return out;
    for (auto& m : ObjOf(object)->members) out.emplace_back(m.first, &m.second);
    return out;
}

std::vector<const GFxValue*> ArrayElements(const GFxValue& array) {
    std::vector<const GFxValue*> out;
    if (BaseType(array) != kGFxType_Array) return out;
    for (auto& e : ObjOf(array)->elements) out.push_back(&e);
    return out;
}

const char* StringText(const GFxValue& value) {
    if (BaseType(value) != kGFxType_String) return nullptr;
    return IsManaged(value) ? *value.data.managedString : value.data.string;
}

bool IsFunction(const GFxValue& value) {
    return BaseType(value) == kGFxType_Object && IsManaged(value) && ObjOf(value)->kind == Kind::Function;
}

GFxFunctionHandler* FunctionHandler(const GFxValue& value) {
    return IsFunction(value) ? ObjOf(value)->handler : nullptr;
}

bool InvokeMember(GFxMovieView* movie, GFxValue& object, const char* name, GFxValue* args, uint32_t numArgs,
                  GFxValue* result) {
    for (auto& m : ObjectMembers(object)) {
        if (m.first != name || !IsFunction(*m.second)) continue;
        SimObject* fn = ObjOf(*m.second);
        GFxFunctionHandler_Args call{};
        call.result = result;
        call.movie = movie;
        call.thisObj = &object;
        call.args = args;
        call.numArgs = numArgs;
        call.refCon = fn->refCon;
        fn->handler->vtbl->invoke(fn->handler, &call);
        return true;
    }
    return false;
}

}  // namespace sim
