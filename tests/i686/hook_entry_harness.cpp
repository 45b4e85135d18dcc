// Runs the 32-bit hook entry on an i686 CPU: a fake game routine whose first instruction is
// the patched call, and the former target at the routine's fixed displacement. Built with
// g++ -m32 and run under qemu-i386 by scripts/test-hook-i686.sh.
#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "plugin/hook_entry_i686.h"

extern "C" void VtrHookEntry();

static int g_gateCalls = 0;
static const char* g_gateText = nullptr;

extern "C" bool VtrRefreshGateC(const char* text) noexcept {
    ++g_gateCalls;
    g_gateText = text;
    return text && std::strlen(text) >= 30;
}

asm(VTR_HOOK_ENTRY_ASM(""));

namespace {

struct Handle {
    const char* text;
};

int g_failures = 0;

void Expect(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failures;
}

// Calls routine(1, 2, 3, handle) as the game's script code would (cdecl), with ecx and edx
// set so that the former target can show whether they survived the hook. Reports whether
// esp came back unchanged.
int CallRoutine(void* routine, Handle* handle, bool* stackBalanced) {
    int result;
    uint32_t espBefore, espAfter;
    asm volatile(
        "movl %%esp, %[before]\n"
        "movl $1000, %%ecx\n"
        "movl $20, %%edx\n"
        "pushl %[h]\n"
        "pushl $3\n"
        "pushl $2\n"
        "pushl $1\n"
        "call *%[r]\n"
        "addl $16, %%esp\n"
        "movl %%esp, %[after]\n"
        : "=a"(result), [before] "=&m"(espBefore), [after] "=m"(espAfter)
        : [r] "b"(routine), [h] "S"(handle)
        : "ecx", "edx", "memory", "cc");
    *stackBalanced = espBefore == espAfter;
    return result;
}

}  // namespace

int main() {
    const uint32_t kDisplacement = 0x205F35;
    const size_t size = kDisplacement + 0x1000;
    auto* code = static_cast<uint8_t*>(
        mmap(nullptr, size, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (code == MAP_FAILED) {
        std::printf("FAIL: cannot map code\n");
        return 1;
    }
    // The routine: the patched call, then its own body (add eax, 100; ret).
    int32_t rel = static_cast<int32_t>(reinterpret_cast<uintptr_t>(&VtrHookEntry) - reinterpret_cast<uintptr_t>(code) - 5);
    code[0] = 0xE8;
    std::memcpy(code + 1, &rel, 4);
    const uint8_t body[] = {0x05, 100, 0, 0, 0, 0xC3};
    std::memcpy(code + 5, body, sizeof(body));
    // The former target, found from the return address: lea eax, [ecx + edx]; ret.
    const uint8_t former[] = {0x8D, 0x04, 0x11, 0xC3};
    std::memcpy(code + 5 + kDisplacement, former, sizeof(former));

    bool balanced = false;
    Handle shortText{"twenty-nine characters long.."};  // 29
    int r = CallRoutine(code, &shortText, &balanced);
    Expect(std::strlen(shortText.text) == 29, "short text has 29 characters");
    Expect(r == 1120, "a short text runs the former target with ecx and edx kept, then the routine's body");
    Expect(balanced, "stack balanced after a passed-on call");
    Expect(g_gateCalls == 1 && g_gateText == shortText.text, "the gate sees the handle's text");

    Handle faceData{"thirty characters of face data"};  // 30
    r = CallRoutine(code, &faceData, &balanced);
    Expect(std::strlen(faceData.text) == 30, "face data has 30 characters");
    Expect(r == 1, "face data ends the routine at once with eax = 1");
    Expect(balanced, "stack balanced after a taken call");

    r = CallRoutine(code, nullptr, &balanced);
    Expect(r == 1120 && g_gateText == nullptr, "a null handle is passed on");
    Expect(balanced, "stack balanced after a null handle");

    std::printf("%s\n", g_failures ? "hook entry: FAILED" : "hook entry: all checks passed");
    return g_failures ? 1 : 0;
}
