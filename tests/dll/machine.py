"""A 32-bit x86 machine on Unicorn for running the Windows DLL: flat segments plus an FS
segment for the thread block, a stack, a bump heap, Python stubs with real `ret`/`ret N`
epilogues, and calls that check the calling convention on return."""

import struct

from unicorn import (Uc, UcError, UC_ARCH_X86, UC_MODE_32, UC_HOOK_CODE, UC_HOOK_MEM_INVALID,
                     UC_PROT_ALL)
from unicorn.x86_const import (UC_X86_REG_EAX, UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX,
                               UC_X86_REG_ESI, UC_X86_REG_EDI, UC_X86_REG_EBP, UC_X86_REG_ESP,
                               UC_X86_REG_EIP, UC_X86_REG_GDTR, UC_X86_REG_DS, UC_X86_REG_ES,
                               UC_X86_REG_SS, UC_X86_REG_FS, UC_X86_REG_GS)

PAGE = 0x1000

GDT_BASE = 0x00001000
TEB_BASE = 0x7FFD0000
PEB_BASE = 0x7FFD2000
STACK_BASE = 0x0F000000
STACK_SIZE = 0x00100000
HEAP_BASE = 0x40000000          # the C runtime's heap
HEAP_SIZE = 0x04000000
HOST_BASE = 0x30000000          # records the harness builds (host, movies, arguments)
HOST_SIZE = 0x01000000
STUB_BASE = 0x7E000000          # import stubs and the return trap
STUB_SIZE = 0x00010000

CALLEE_SAVED = {"ebx": UC_X86_REG_EBX, "esi": UC_X86_REG_ESI, "edi": UC_X86_REG_EDI,
                "ebp": UC_X86_REG_EBP}
SENTINELS = {"ebx": 0xB0B0B0B0, "esi": 0x51515151, "edi": 0xD1D1D1D1, "ebp": 0x0F0F0F00}


class EmulationFault(Exception):
    pass


def align(n, a=PAGE):
    return (n + a - 1) & ~(a - 1)


class Bump:
    """A region handed out in aligned pieces; sizes are kept so realloc can copy."""

    def __init__(self, machine, base, size):
        self.m, self.base, self.end, self.at = machine, base, base + size, base + 16
        self.sizes = {}

    def alloc(self, n, zero=True):
        n = max(int(n), 1)
        p = (self.at + 15) & ~15
        if p + n > self.end:
            return 0
        self.at = p + n
        self.sizes[p] = n
        if zero:
            self.m.uc.mem_write(p, b"\0" * n)
        return p

    def owns(self, p):
        return self.base <= p < self.end


class Machine:
    def __init__(self):
        self.uc = Uc(UC_ARCH_X86, UC_MODE_32)
        self.regions = []           # (start, end) of everything mapped: what VirtualQuery reports
        self.handlers = {}          # stub address -> python callable(machine)
        self.fault = None
        self.stop_reason = None
        self.map(GDT_BASE, PAGE)
        self.map(TEB_BASE, 0x3000)
        self.map(STACK_BASE, STACK_SIZE)
        self.map(HEAP_BASE, HEAP_SIZE)
        self.map(HOST_BASE, HOST_SIZE)
        self.map(STUB_BASE, STUB_SIZE)
        self.heap = Bump(self, HEAP_BASE, HEAP_SIZE)
        self.host = Bump(self, HOST_BASE, HOST_SIZE)
        self.stub_at = STUB_BASE + 0x100
        self._segments()
        # The return trap lies inside mapped code, not at a page's start, so an unwinder that
        # reads the bytes before a return address finds memory there.
        self.return_trap = STUB_BASE + 0x40
        self.uc.mem_write(self.return_trap - 8, b"\x90" * 8 + b"\xF4")
        self.uc.hook_add(UC_HOOK_CODE, self._on_stub, begin=STUB_BASE, end=STUB_BASE + STUB_SIZE - 1)
        self.uc.hook_add(UC_HOOK_MEM_INVALID, self._on_invalid)

    # ---- memory -------------------------------------------------------------------------

    def map(self, base, size, hook_code=False):
        self.uc.mem_map(base, align(size), UC_PROT_ALL)
        self.regions.append((base, base + align(size)))
        self.regions.sort()
        if hook_code:
            self.uc.hook_add(UC_HOOK_CODE, self._on_stub, begin=base, end=base + align(size) - 1)

    def region_of(self, addr):
        for start, end in self.regions:
            if start <= addr < end:
                return start, end
        return None

    def read(self, addr, n):
        return bytes(self.uc.mem_read(addr, n))

    def write(self, addr, data):
        self.uc.mem_write(addr, bytes(data))

    def u8(self, a):
        return self.read(a, 1)[0]

    def u16(self, a):
        return struct.unpack("<H", self.read(a, 2))[0]

    def s16(self, a):
        return struct.unpack("<h", self.read(a, 2))[0]

    def u32(self, a):
        return struct.unpack("<I", self.read(a, 4))[0]

    def s32(self, a):
        return struct.unpack("<i", self.read(a, 4))[0]

    def f32(self, a):
        return struct.unpack("<f", self.read(a, 4))[0]

    def f64(self, a):
        return struct.unpack("<d", self.read(a, 8))[0]

    def w32(self, a, v):
        self.write(a, struct.pack("<I", v & 0xFFFFFFFF))

    def wf32(self, a, v):
        self.write(a, struct.pack("<f", v))

    def wf64(self, a, v):
        self.write(a, struct.pack("<d", v))

    def cstr(self, a, limit=1 << 20):
        if a == 0:
            return None
        out = bytearray()
        while len(out) < limit:
            chunk = self.read(a + len(out), 256 - ((a + len(out)) & 0xFF))
            z = chunk.find(b"\0")
            if z >= 0:
                out += chunk[:z]
                return out.decode("latin-1")
            out += chunk
        return out.decode("latin-1")

    def new_cstr(self, text, bump=None):
        data = text.encode("latin-1") + b"\0"
        p = (bump or self.host).alloc(len(data))
        self.write(p, data)
        return p

    # ---- registers -------------------------------------------------------------------------

    def reg(self, r):
        return self.uc.reg_read(r)

    def setreg(self, r, v):
        self.uc.reg_write(r, v & 0xFFFFFFFF)

    @property
    def esp(self):
        return self.reg(UC_X86_REG_ESP)

    def arg(self, i):
        """The i-th stack argument of a stub (0 = the first, above the return address)."""
        return self.u32(self.esp + 4 + 4 * i)

    def arg_f64(self, i):
        return self.f64(self.esp + 4 + 4 * i)

    # ---- segments ---------------------------------------------------------------------------

    @staticmethod
    def _descriptor(base, limit, access, flags):
        low = (limit & 0xFFFF) | ((base & 0xFFFF) << 16)
        high = (((base >> 16) & 0xFF) | (access << 8) | (((limit >> 16) & 0xF) << 16) |
                (flags << 20) | (((base >> 24) & 0xFF) << 24))
        return struct.pack("<II", low, high)

    def _segments(self):
        gdt = (b"\0" * 8 + self._descriptor(0, 0xFFFFF, 0x9B, 0xC) +
               self._descriptor(0, 0xFFFFF, 0x93, 0xC) + self._descriptor(TEB_BASE, 0xFFF, 0x93, 0x4))
        self.write(GDT_BASE, gdt)
        self.uc.reg_write(UC_X86_REG_GDTR, (0, GDT_BASE, len(gdt) - 1, 0))
        for r in (UC_X86_REG_DS, UC_X86_REG_ES, UC_X86_REG_SS, UC_X86_REG_GS):
            self.uc.reg_write(r, 0x10)
        self.uc.reg_write(UC_X86_REG_FS, 0x18)
        # Thread block: no exception handler, the stack bounds, itself, the process block.
        self.w32(TEB_BASE + 0x00, 0xFFFFFFFF)
        self.w32(TEB_BASE + 0x04, STACK_BASE + STACK_SIZE)
        self.w32(TEB_BASE + 0x08, STACK_BASE)
        self.w32(TEB_BASE + 0x18, TEB_BASE)
        self.w32(TEB_BASE + 0x24, 0x1234)      # thread id
        self.w32(TEB_BASE + 0x30, PEB_BASE)

    # ---- stubs ------------------------------------------------------------------------------

    def stub_code(self, pop_bytes):
        return b"\x90" + (struct.pack("<BH", 0xC2, pop_bytes) if pop_bytes else b"\xC3")

    def place_stub(self, addr, handler, pop_bytes=0):
        """A stub at a fixed address (inside a region mapped with hook_code)."""
        self.write(addr, self.stub_code(pop_bytes))
        self.handlers[addr] = handler
        return addr

    def new_stub(self, handler, pop_bytes=0):
        addr = self.stub_at
        self.stub_at += 8
        return self.place_stub(addr, handler, pop_bytes)

    def new_code(self, code):
        addr = self.stub_at
        self.write(addr, code)
        self.stub_at += align(len(code), 8)
        return addr

    def _on_stub(self, uc, address, size, _):
        h = self.handlers.get(address)
        if h is None:
            return
        try:
            h(self)
        except Exception as e:  # a harness fault: stop and report it
            self.fault = "stub at %08X raised %r" % (address, e)
            uc.emu_stop()

    def stop(self, reason):
        if self.fault is None:
            self.fault = reason
        self.uc.emu_stop()

    def _on_invalid(self, uc, access, address, size, value, _):
        self.fault = "invalid memory access at %08X (eip %08X, access %d)" % (
            address, uc.reg_read(UC_X86_REG_EIP), access)
        return False

    # ---- calls ------------------------------------------------------------------------------

    def call(self, fn, args=(), ecx=None, edx=None, pops=0, timeout_us=20_000_000):
        """Calls fn with 32-bit stack arguments. `pops` is how many argument bytes the callee
        must remove (0 for cdecl, N for thiscall/stdcall). Returns (eax, problems)."""
        self.fault = None
        # The game promises only 4-byte stack alignment; start off the 16-byte grid.
        esp0 = STACK_BASE + STACK_SIZE - 0x1000 - 4
        sp = esp0
        for a in reversed(list(args)):
            sp -= 4
            self.w32(sp, a)
        sp -= 4
        self.w32(sp, self.return_trap)
        self.setreg(UC_X86_REG_ESP, sp)
        for name, r in CALLEE_SAVED.items():
            self.setreg(r, SENTINELS[name])
        self.setreg(UC_X86_REG_EAX, 0xEAEAEAEA)
        if ecx is not None:
            self.setreg(UC_X86_REG_ECX, ecx)
        if edx is not None:
            self.setreg(UC_X86_REG_EDX, edx)
        try:
            self.uc.emu_start(fn, self.return_trap, timeout=timeout_us)
        except UcError as e:
            if self.fault is None:
                self.fault = "emulation stopped: %s at eip %08X" % (e, self.reg(UC_X86_REG_EIP))
        problems = []
        eip = self.reg(UC_X86_REG_EIP)
        if self.fault:
            problems.append(self.fault)
        elif eip != self.return_trap:
            problems.append("did not return (eip %08X)" % eip)
        else:
            want = sp + 4 + pops
            got = self.esp
            if got != want:
                problems.append("ESP off by %+d after return (callee popped %d bytes, expected %d)"
                                % (got - want, got - sp - 4, pops))
            for name, r in CALLEE_SAVED.items():
                if self.reg(r) != SENTINELS[name]:
                    problems.append("%s not preserved (%08X)" % (name.upper(), self.reg(r)))
        return self.reg(UC_X86_REG_EAX), problems
