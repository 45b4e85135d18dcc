// The plug-in as the script extender meets it: its exported symbols, the handshake, the
// registration into movies, the patched call site and the log file.
#include <dlfcn.h>
#include <elf.h>
#include <limits.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "tests/e2e/e2e_support.h"

namespace {

using e2e::Plugin;

// Names of the defined global symbols in the dynamic symbol table of an ELF file; every
// offset is checked against the file size.
template <class Ehdr, class Shdr, class Sym, unsigned char (*Bind)(unsigned char)>
std::vector<std::string> DefinedDynamicSymbols(const std::string& image) {
    std::vector<std::string> out;
    auto fits = [&](uint64_t off, uint64_t size) { return off <= image.size() && size <= image.size() - off; };
    if (!fits(0, sizeof(Ehdr))) return out;
    Ehdr eh;
    std::memcpy(&eh, image.data(), sizeof(eh));
    if (eh.e_shentsize != sizeof(Shdr) || !fits(eh.e_shoff, uint64_t{eh.e_shnum} * sizeof(Shdr))) return out;
    std::vector<Shdr> sections(eh.e_shnum);
    std::memcpy(sections.data(), image.data() + eh.e_shoff, sections.size() * sizeof(Shdr));
    for (const Shdr& s : sections) {
        if (s.sh_type != SHT_DYNSYM || s.sh_link >= sections.size() || !fits(s.sh_offset, s.sh_size)) continue;
        const Shdr& strtab = sections[s.sh_link];
        if (!fits(strtab.sh_offset, strtab.sh_size)) continue;
        for (uint64_t at = 0; at + sizeof(Sym) <= s.sh_size; at += sizeof(Sym)) {
            Sym sym;
            std::memcpy(&sym, image.data() + s.sh_offset + at, sizeof(sym));
            unsigned char bind = Bind(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK && bind != STB_GNU_UNIQUE))
                continue;
            if (sym.st_name >= strtab.sh_size) continue;
            const char* name = image.data() + strtab.sh_offset + sym.st_name;
            out.emplace_back(name, strnlen(name, strtab.sh_size - sym.st_name));
        }
    }
    return out;
}

unsigned char Bind64(unsigned char info) { return ELF64_ST_BIND(info); }
unsigned char Bind32(unsigned char info) { return ELF32_ST_BIND(info); }

std::string RealPath(const std::string& p) {
    char buf[PATH_MAX];
    return realpath(p.c_str(), buf) ? std::string(buf) : p;
}

TEST(E2EBoundary, ExportsExactlyTheTwoEntryPoints) {
    std::string image = e2e::ReadFile(VTR_PLUGIN_PATH);
    ASSERT_GT(image.size(), size_t{EI_NIDENT});
    ASSERT_EQ(std::memcmp(image.data(), ELFMAG, SELFMAG), 0);
    std::vector<std::string> names =
        image[EI_CLASS] == ELFCLASS64 ? DefinedDynamicSymbols<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym, Bind64>(image)
                                      : DefinedDynamicSymbols<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym, Bind32>(image);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"SKSEPlugin_Load", "SKSEPlugin_Query"}));

    // The loader agrees: the internal callback is not reachable by name.
    void* lib = Plugin::Get().Library();
    EXPECT_NE(dlsym(lib, "SKSEPlugin_Query"), nullptr);
    EXPECT_EQ(dlsym(lib, "_Z17RegisterFunctionsP12GFxMovieViewP8GFxValue"), nullptr);
}

TEST(E2EHandshake, GameHandshakeFillsInfoLoadsAndRegisters) {
    Plugin& p = Plugin::Get();
    EXPECT_TRUE(p.QueryResult());
    EXPECT_EQ(p.Info().infoVersion, 1u);
    ASSERT_NE(p.Info().name, nullptr);
    EXPECT_STREQ(p.Info().name, "Quorvix plugin");
    EXPECT_EQ(p.Info().version, 46u);
    EXPECT_EQ(p.QueryLog(), (std::vector<std::string>{"skse_Quorvix_plugin"}));
    EXPECT_EQ(p.LoadLog(), (std::vector<std::string>{"load"}));
    ASSERT_EQ(p.Registrations().size(), 1u);
    EXPECT_EQ(p.Registrations()[0].first, "Quorvix");
}

// Each refusal logs the banner and one reason and returns false; the info record is filled.
TEST(E2EHandshake, RefusalsLogTheirReason) {
    Plugin& p = Plugin::Get();
    static SKSEScaleformInterface oldScaleform{0, nullptr, nullptr};
    struct Case {
        const char* what;
        uint32_t isEditor;
        uint32_t runtime;
        void* (*query)(uint32_t);
        std::string reason;
    };
    const Case cases[] = {
        // In the editor the runtime version is 0 and must not be looked at.
        {"editor", 1, 0, [](uint32_t) -> void* { return nullptr; }, "loaded in editor, marking as incompatible"},
        {"newer runtime", 0, 0x09200001, e2e::GameHostRecord().QueryInterface, "unsupported runtime version 09200001"},
        {"older runtime", 0, 0x01090000, e2e::GameHostRecord().QueryInterface, "unsupported runtime version 01090000"},
        {"no scaleform", 0, kRuntimeVersion_1_9_32_0, [](uint32_t) -> void* { return nullptr; },
         "couldn't get scaleform interface"},
        {"scaleform version 0", 0, kRuntimeVersion_1_9_32_0,
         [](uint32_t id) -> void* { return id == kInterface_Scaleform ? &oldScaleform : nullptr; },
         "scaleform interface too old (0 expected 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SKSEInterface skse = e2e::GameHostRecord();
        skse.isEditor = c.isEditor;
        skse.runtimeVersion = c.runtime;
        skse.QueryInterface = c.query;
        PluginInfo info{};
        bool result = true;
        auto log = e2e::CaptureStdout([&] { result = p.Query()(&skse, &info); });
        EXPECT_FALSE(result);
        EXPECT_EQ(log, (std::vector<std::string>{"skse_Quorvix_plugin", c.reason}));
        EXPECT_EQ(info.version, 46u);
        EXPECT_STREQ(info.name, "Quorvix plugin");
    }
    // Leave the plug-in holding the game's interface again.
    SKSEInterface skse = e2e::GameHostRecord();
    PluginInfo info{};
    bool result = false;
    e2e::CaptureStdout([&] { result = p.Query()(&skse, &info); });
    EXPECT_TRUE(result);
}

TEST(E2ERegistration, SecondMovieSharesTheHandlerObjects) {
    Plugin& p = Plugin::Get();
    // The first registration made one handler object per function.
    EXPECT_EQ(p.FirstRegistrationHeapBlocks(), 26u);

    size_t heapBefore = sim::LiveHeapAllocations();
    GFxValue root2{};
    bool callbackResult = false;
    p.AddMovie(root2, &callbackResult);
    EXPECT_TRUE(callbackResult);
    EXPECT_EQ(sim::LiveHeapAllocations(), heapBefore) << "a second movie must not create handler objects";

    auto first = sim::ObjectMembers(p.Root());
    auto second = sim::ObjectMembers(root2);
    ASSERT_EQ(first.size(), 26u);
    ASSERT_EQ(second.size(), 26u);
    std::set<GFxFunctionHandler*> handlers;
    for (size_t i = 0; i < first.size(); ++i) {
        SCOPED_TRACE(first[i].first);
        EXPECT_EQ(first[i].first, second[i].first);
        ASSERT_TRUE(sim::IsFunction(*first[i].second));
        ASSERT_TRUE(sim::IsFunction(*second[i].second));
        EXPECT_EQ(sim::FunctionHandler(*first[i].second), sim::FunctionHandler(*second[i].second));
        handlers.insert(sim::FunctionHandler(*first[i].second));
    }
    EXPECT_EQ(handlers.size(), 26u) << "each function has a handler object of its own";

    // The second movie's functions work: ValidCheck through it.
    GFxValue result{};
    e2e::CaptureStdout([&] { sim::InvokeMember(p.Movie(), root2, "ValidCheck", nullptr, 0, &result); });
    EXPECT_EQ(result.type & kGFxTypeMask, kGFxType_Number);
    EXPECT_EQ(result.data.number, 46.0);
    sim::Release(root2);
}

TEST(E2EMenu, ValidCheckReturnsTheInfoVersion) {
    e2e::CallResult r = e2e::CallMenu("ValidCheck", {e2e::MakeString("extra arguments are ignored")});
    ASSERT_TRUE(r.found);
    ASSERT_EQ(r.result.type & kGFxTypeMask, kGFxType_Number);
    EXPECT_EQ(r.result.data.number, static_cast<double>(Plugin::Get().Info().version));
    EXPECT_TRUE(r.log.empty());
}

TEST(E2EHook, CallSiteLeadsIntoThePluginAndShortTextsGoOn) {
    Plugin::Get();
    std::array<uint8_t, 5> bytes = sim::CallSiteBytes();
    EXPECT_EQ(bytes[0], 0xE8);
    int32_t displacement;
    std::memcpy(&displacement, bytes.data() + 1, 4);
    EXPECT_NE(displacement, 0x205F35) << "the site still calls the former routine";

    void* target = sim::CallSiteTarget();
    ASSERT_NE(target, nullptr);
    Dl_info info{};
    ASSERT_NE(dladdr(target, &info), 0);
    ASSERT_NE(info.dli_fname, nullptr);
    EXPECT_EQ(RealPath(info.dli_fname), RealPath(VTR_PLUGIN_PATH));

    // 29 characters: not face data, the game's routine runs.
    const std::string text(29, 'x');
    int before = sim::FormerRoutineCalls();
    bool taken = true;
    auto log = e2e::CaptureStdout([&] { taken = sim::RunHookedRoutine(text.c_str()); });
    EXPECT_FALSE(taken);
    EXPECT_EQ(sim::FormerRoutineCalls(), before + 1);
    EXPECT_TRUE(log.empty());
    e2e::CaptureStdout([&] { sim::RunHookedRoutine(nullptr); });
    EXPECT_EQ(sim::FormerRoutineCalls(), before + 2) << "a null text goes on too";
}

}  // namespace
