// The 32-bit hook entry in assembly, shared by the game build and the i686 test harness.
// `P` is the C symbol prefix ("_" on 32-bit Windows, "" on 32-bit Linux).
//
// The patched call is the first instruction of the game routine: [esp] returns into the
// routine, [esp+4] is the routine's own return address, its fourth argument (a pointer to a
// game string handle) is at [esp+20]. ecx and edx are kept for the former target; eax is the
// scratch register. Taken: return from the routine at once with eax = 1. Otherwise jump to
// the former target (return address + 0x205F35) with the stack as at entry.
#pragma once

#define VTR_HOOK_ENTRY_ASM(P)      \
    ".text\n"                      \
    ".globl " P "VtrHookEntry\n"   \
    P "VtrHookEntry:\n"            \
    "    pushl %ecx\n"             \
    "    pushl %edx\n"             \
    "    movl 28(%esp), %eax\n"    \
    "    testl %eax, %eax\n"       \
    "    jz 1f\n"                  \
    "    movl (%eax), %eax\n"      \
    "1:\n"                         \
    "    pushl %eax\n"             \
    "    call " P "VtrRefreshGateC\n" \
    "    addl $4, %esp\n"          \
    "    popl %edx\n"              \
    "    popl %ecx\n"              \
    "    testb %al, %al\n"         \
    "    jnz 2f\n"                 \
    "    movl (%esp), %eax\n"      \
    "    addl $0x205F35, %eax\n"   \
    "    jmp *%eax\n"              \
    "2:\n"                         \
    "    addl $4, %esp\n"          \
    "    movl $1, %eax\n"          \
    "    ret\n"
