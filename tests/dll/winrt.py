"""The DLL's imports: the C runtime (msvcrt, cdecl) and Windows (KERNEL32/SHELL32, stdcall),
as Python stubs over a small in-memory file system, and the PE loader that binds them."""

import re
import struct

import pefile

from machine import Bump, align
from unicorn.x86_const import UC_X86_REG_EAX, UC_X86_REG_EDX

DOCUMENTS = "C:\\Users\\Player\\Documents"
FILE_SIZE = 32            # msvcrt's FILE
IOB_COUNT = 20


def norm(path):
    return path.replace("/", "\\").lower()


class FileSystem:
    """Files by case-insensitive path; what the DLL writes stays readable."""

    def __init__(self):
        self.files = {}          # normalised path -> [shown path, bytearray]
        self.fail_open = set()   # normalised paths whose opening fails

    def put(self, path, data):
        self.files[norm(path)] = [path, bytearray(data)]

    def get(self, path):
        f = self.files.get(norm(path))
        return None if f is None else bytes(f[1])

    def text(self, path):
        d = self.get(path)
        return None if d is None else d.decode("latin-1")

    def list_dir(self, pattern):
        """Names matching 'dir\\*.ext' directly in dir."""
        d, _, mask = norm(pattern).rpartition("\\")
        rx = re.compile("^" + re.escape(mask).replace("\\*", ".*").replace("\\?", ".") + "$")
        out = []
        for key, (shown, _) in sorted(self.files.items()):
            kd, _, name = key.rpartition("\\")
            if kd == d and rx.match(name):
                out.append(shown.replace("/", "\\").rpartition("\\")[2])
        return out


class OpenFile:
    def __init__(self, path, data, mode):
        self.path, self.data, self.mode, self.pos, self.eof = path, data, mode, 0, False


# ---- printf ---------------------------------------------------------------------------------

FMT = re.compile(r"%([-+ #0]*)(\*|\d+)?(?:\.(\*|\d+))?(hh|h|ll|l|L|z|j|t|I64|I32)?([diouxXeEfFgGaAcspn%])")


def format_printf(m, fmt, argp):
    """Formats like the C runtime; argp is the address of the first variadic argument."""
    out, pos = [], 0

    def take(n=4):
        nonlocal argp
        v = m.read(argp, n)
        argp += n
        return v

    for mt in FMT.finditer(fmt):
        out.append(fmt[pos:mt.start()])
        pos = mt.end()
        flags, width, prec, length, conv = mt.groups()
        if conv == "%":
            out.append("%")
            continue
        if width == "*":
            width = str(struct.unpack("<i", take())[0])
        if prec == "*":
            prec = str(struct.unpack("<i", take())[0])
        spec = "%" + flags + (width or "") + ("." + prec if prec is not None else "")
        if conv in "di":
            v = struct.unpack("<q", take(8))[0] if length in ("ll", "I64") else struct.unpack("<i", take())[0]
            out.append((spec + "d") % v)
        elif conv in "ouxX":
            v = struct.unpack("<Q", take(8))[0] if length in ("ll", "I64") else struct.unpack("<I", take())[0]
            out.append((spec + ("d" if conv == "u" else conv)) % v)
        elif conv in "eEfFgGaA":
            v = struct.unpack("<d", take(8))[0]
            out.append((spec + (conv if conv not in "aA" else "e")) % v)
        elif conv == "c":
            out.append((spec + "c") % chr(struct.unpack("<I", take())[0] & 0xFF))
        elif conv == "s":
            p = struct.unpack("<I", take())[0]
            out.append((spec + "s") % (m.cstr(p) if p else "(null)"))
        elif conv == "p":
            out.append("%08X" % struct.unpack("<I", take())[0])
        elif conv == "n":
            take()
    out.append(fmt[pos:])
    return "".join(out)


# ---- the runtime -----------------------------------------------------------------------------

INITTERM = bytes.fromhex("56578B74240C8B7C241039FE730D8B0685C07402FFD083C604EBEF5F5EC3")


class Runtime:
    def __init__(self, machine, fs):
        self.m, self.fs = machine, fs
        self.open = {}             # FILE* -> OpenFile
        self.stdout = []           # text written to stdout
        self.calls = []            # (name, details) of calls worth checking
        self.unimplemented = []
        self.protect = {}          # page -> protection the DLL set
        self.last_error = 0
        self.malloc_limit = None   # requests of this size or more fail, as with an exhausted heap
        self.tls = {}
        self.handles = 0x100
        self.finds = {}
        self.os_files = {}         # system handle -> path
        self.fds = {}              # C runtime descriptor -> path
        self.iob = machine.host.alloc(FILE_SIZE * IOB_COUNT)
        for i in range(3):
            self.open[self.iob + FILE_SIZE * i] = OpenFile("<std%d>" % i, bytearray(), "w")
        self.errno = machine.host.alloc(4)
        self.mb_cur_max = machine.host.alloc(4)
        machine.w32(self.mb_cur_max, 1)
        self.lconv = machine.host.alloc(64)
        dot, empty = machine.new_cstr("."), machine.new_cstr("")
        machine.w32(self.lconv, dot)
        for off in range(4, 48, 4):
            machine.w32(self.lconv + off, empty)
        self.locale_c = machine.new_cstr("C")
        self.initterm = machine.new_code(INITTERM)

    # -- helpers

    def ret(self, v):
        self.m.setreg(UC_X86_REG_EAX, v)

    def handle(self):
        self.handles += 4
        return self.handles

    def file_open(self, path, mode):
        key = norm(path)
        if key in self.fs.fail_open:
            return 0
        if "r" in mode and "+" not in mode:
            if key not in self.fs.files:
                return 0
            data = self.fs.files[key][1]
        else:
            if "w" in mode or key not in self.fs.files:
                self.fs.files[key] = [path, bytearray()]
            data = self.fs.files[key][1]
        fp = self.m.host.alloc(FILE_SIZE)
        f = OpenFile(path, data, mode)
        if "a" in mode:
            f.pos = len(data)
        self.open[fp] = f
        self.calls.append(("fopen", path, mode))
        return fp

    def file_write(self, fp, data):
        f = self.open.get(fp)
        if f is None:
            return -1
        asked = len(data)
        if fp == self.iob + FILE_SIZE:
            self.stdout.append(data.decode("latin-1"))
        elif "b" not in f.mode:
            data = data.replace(b"\n", b"\r\n")     # text mode, as msvcrt writes it
        end = f.pos + len(data)
        if len(f.data) < end:
            f.data.extend(b"\0" * (end - len(f.data)))
        f.data[f.pos:end] = data
        f.pos = end
        return asked

    def file_read(self, fp, n):
        f = self.open.get(fp)
        if f is None:
            return b""
        data = bytes(f.data[f.pos:f.pos + n])
        f.pos += len(data)
        if "b" not in f.mode:
            while data.endswith(b"\r") and f.pos < len(f.data) and f.data[f.pos] == 10:
                data += b"\n"
                f.pos += 1
            data = data.replace(b"\r\n", b"\n")
        if len(data) < n:
            f.eof = True
        return data

    # -- the tables: name -> (handler, argument bytes popped)

    def table(self):
        m = self.m
        a = m.arg
        c, k = 0, None  # cdecl pops nothing; k marks stdcall with its count below

        def memcpy():
            m.write(a(0), m.read(a(1), a(2)) if a(2) else b"")
            self.ret(a(0))

        def memset():
            m.write(a(0), bytes([a(1) & 0xFF]) * a(2))
            self.ret(a(0))

        def memcmp():
            x, y = m.read(a(0), a(2)), m.read(a(1), a(2))
            self.ret(0 if x == y else (-1 if x < y else 1))

        def memchr():
            data = m.read(a(0), a(2))
            i = data.find(bytes([a(1) & 0xFF]))
            self.ret(0 if i < 0 else a(0) + i)

        def strcmp():
            x, y = m.cstr(a(0)).encode("latin-1"), m.cstr(a(1)).encode("latin-1")
            self.ret(0 if x == y else (-1 if x < y else 1))

        def strncmp():
            x, y = m.cstr(a(0)).encode("latin-1")[:a(2)], m.cstr(a(1)).encode("latin-1")[:a(2)]
            self.ret(0 if x == y else (-1 if x < y else 1))

        def strchr():
            s = m.cstr(a(0)).encode("latin-1") + b"\0"
            i = s.find(bytes([a(1) & 0xFF]))
            self.ret(0 if i < 0 else a(0) + i)

        def wcslen():
            n = 0
            while m.u16(a(0) + 2 * n):
                n += 1
            self.ret(n)

        def malloc():
            if self.malloc_limit is not None and a(0) >= self.malloc_limit:
                self.calls.append(("malloc failed", a(0)))
                return self.ret(0)
            self.ret(m.heap.alloc(a(0), zero=False))

        def calloc():
            self.ret(m.heap.alloc(a(0) * a(1)))

        def realloc():
            p, n = a(0), a(1)
            q = m.heap.alloc(n, zero=False)
            if p and q:
                m.write(q, m.read(p, min(n, m.heap.sizes.get(p, 0))))
            self.ret(q)

        def strdup():
            s = m.cstr(a(0))
            self.ret(m.new_cstr(s, m.heap))

        def fatal(name):
            def f():
                m.stop("the DLL called %s" % name)
            return f

        def fsopen():
            self.ret(self.file_open(m.cstr(a(0)), m.cstr(a(1))))

        def fclose():
            self.ret(0 if self.open.pop(a(0), None) else -1)

        def fwrite():
            n = a(1) * a(2)
            w = self.file_write(a(3), m.read(a(0), n) if n else b"")
            self.ret(0 if w < 0 or a(1) == 0 else w // a(1))

        def fputs():
            self.ret(0 if self.file_write(a(1), m.cstr(a(0)).encode("latin-1")) >= 0 else -1)

        def fputc():
            self.ret(a(0) & 0xFF if self.file_write(a(1), bytes([a(0) & 0xFF])) >= 0 else -1)

        def fread():
            data = self.file_read(a(3), a(1) * a(2))
            m.write(a(0), data)
            self.ret(len(data) // a(1) if a(1) else 0)

        def fgetc():
            data = self.file_read(a(0), 1)
            self.ret(data[0] if data else 0xFFFFFFFF)

        def fseek():
            f = self.open.get(a(0))
            off = struct.unpack("<i", struct.pack("<I", a(1)))[0]
            if f is None:
                self.ret(0xFFFFFFFF)
                return
            f.pos = [off, f.pos + off, len(f.data) + off][a(2)]
            f.eof = False
            self.ret(0)

        def ftell():
            f = self.open.get(a(0))
            self.ret(f.pos if f else 0xFFFFFFFF)

        def fprintf():
            text = format_printf(m, m.cstr(a(1)), m.esp + 12).encode("latin-1")
            self.ret(self.file_write(a(0), text))

        def vfprintf():
            text = format_printf(m, m.cstr(a(1)), a(2)).encode("latin-1")
            self.ret(self.file_write(a(0), text))

        def printf():
            text = format_printf(m, m.cstr(a(0)), m.esp + 8).encode("latin-1")
            self.ret(self.file_write(self.iob + FILE_SIZE, text))

        def atoi():
            mt = re.match(r"\s*([+-]?\d+)", m.cstr(a(0)))
            self.ret(int(mt.group(1)) if mt else 0)

        def write_fd():
            data = m.read(a(1), a(2))
            if a(0) == 1:
                self.stdout.append(data.decode("latin-1"))
            self.ret(a(2))

        # Windows

        def get_module_handle_a():
            self.ret(0x00400000 if a(0) == 0 else 0)

        def virtual_protect():
            addr, size, new, old = a(0), a(1), a(2), a(3)
            page = addr & ~0xFFF
            prev = self.protect.get(page, 0x20)   # the game's code: PAGE_EXECUTE_READ
            for p in range(page, align(addr + size), 0x1000):
                self.protect[p] = new
            if old:
                m.w32(old, prev)
            self.calls.append(("VirtualProtect", addr, size, new))
            self.ret(1)

        def virtual_query():
            addr, buf, n = a(0), a(1), a(2)
            if n < 28:
                self.ret(0)
                return
            region = m.region_of(addr)
            if region:
                start, end = region
                info = (addr & ~0xFFF, start, 0x04, end - (addr & ~0xFFF), 0x1000, 0x04, 0x20000)
            else:
                nxt = min([s for s, _ in m.regions if s > addr] or [0x80000000])
                info = (addr & ~0xFFF, 0, 0, nxt - (addr & ~0xFFF), 0x10000, 0x01, 0)
            m.write(buf, struct.pack("<7I", *info))
            self.ret(28)

        def find_first():
            names = self.fs.list_dir(m.cstr(a(0)))
            self.calls.append(("FindFirstFileA", m.cstr(a(0))))
            if not names:
                self.last_error = 2
                self.ret(0xFFFFFFFF)
                return
            h = self.handle()
            self.finds[h] = names
            fill_find(a(1), names.pop(0))
            self.ret(h)

        def fill_find(buf, name):
            m.write(buf, b"\0" * 320)
            m.w32(buf, 0x80)          # FILE_ATTRIBUTE_NORMAL
            m.write(buf + 44, name.encode("latin-1")[:259] + b"\0")

        def find_next():
            names = self.finds.get(a(0))
            if not names:
                self.last_error = 18
                self.ret(0)
                return
            fill_find(a(1), names.pop(0))
            self.ret(1)

        def find_close():
            self.finds.pop(a(0), None)
            self.ret(1)

        def get_folder_path():
            m.write(a(4), DOCUMENTS.encode() + b"\0")
            self.ret(0)

        def get_file_attributes():
            p = norm(m.cstr(a(0))).rstrip("\\")
            is_dir = any(k.startswith(p + "\\") for k in self.fs.files)
            self.ret(0x10 if is_dir else (0x80 if p in self.fs.files else 0xFFFFFFFF))

        def tls_alloc():
            i = len(self.tls)
            self.tls[i] = 0
            self.ret(i)

        def tls_set():
            self.tls[a(0)] = a(1)
            self.ret(1)

        def tick64():
            self.ret(1000)
            m.setreg(UC_X86_REG_EDX, 0)

        def value(v):
            def f():
                self.ret(v)
            return f

        def new_handle():
            self.ret(self.handle())

        def set_last_error():
            self.last_error = a(0)

        def duplicate_handle():
            if a(3):
                m.w32(a(3), self.handle())
            self.ret(1)

        def affinity():
            for i in (1, 2):
                if a(i):
                    m.w32(a(i), 1)
            self.ret(1)

        def move_file():
            src, dst = norm(m.cstr(a(0))), m.cstr(a(1))
            if src not in self.fs.files or (norm(dst) in self.fs.files and not a(2) & 1):
                self.ret(0)
                return
            self.fs.files[norm(dst)] = [dst, self.fs.files.pop(src)[1]]
            self.calls.append(("MoveFileExA", src, dst, a(2)))
            self.ret(1)

        def delete_file():
            self.ret(1 if self.fs.files.pop(norm(m.cstr(a(0))), None) else 0)

        def filetime():
            m.write(a(0), b"\0" * 8)

        # Files created through the system (the temporary file of a replacing write):
        # CREATE_NEW fails on any file at the name, as on Windows.
        def create_file():
            path, disposition = m.cstr(a(0)), a(4)
            key = norm(path)
            if key in self.fs.fail_open:
                self.last_error = 5           # ERROR_ACCESS_DENIED
                self.ret(0xFFFFFFFF)
                return
            if disposition == 1 and key in self.fs.files:
                self.last_error = 80          # ERROR_FILE_EXISTS
                self.ret(0xFFFFFFFF)
                return
            self.fs.files[key] = [path, bytearray()]
            h = self.handle()
            self.os_files[h] = path
            self.calls.append(("CreateFileA", path, disposition))
            self.ret(h)

        def open_osfhandle():
            fd = 16 + len(self.fds)
            self.fds[fd] = self.os_files.get(a(0))
            self.ret(fd)

        def fdopen():
            path = self.fds.get(a(0))
            if path is None:
                self.ret(0)
                return
            fp = self.m.host.alloc(FILE_SIZE)
            self.open[fp] = OpenFile(path, self.fs.files[norm(path)][1], m.cstr(a(1)))
            self.ret(fp)

        msvcrt = {
            "_lock": (value(0), c), "_unlock": (value(0), c), "__setusermatherr": (value(0), c),
            "malloc": (malloc, c), "calloc": (calloc, c), "realloc": (realloc, c), "free": (value(0), c),
            "_strdup": (strdup, c),
            "memcpy": (memcpy, c), "memmove": (memcpy, c), "memset": (memset, c), "memcmp": (memcmp, c),
            "memchr": (memchr, c), "strlen": (lambda: self.ret(len(m.cstr(a(0)).encode("latin-1"))), c),
            "strcmp": (strcmp, c), "strcoll": (strcmp, c), "strncmp": (strncmp, c), "strchr": (strchr, c),
            "wcslen": (wcslen, c),
            "_errno": (lambda: self.ret(self.errno), c),
            "abort": (fatal("abort"), c), "exit": (fatal("exit"), c), "_amsg_exit": (fatal("_amsg_exit"), c),
            "_assert": (fatal("_assert"), c),
            "_fsopen": (fsopen, c), "fopen": (fsopen, c), "fclose": (fclose, c), "fflush": (value(0), c),
            "fwrite": (fwrite, c), "fputs": (fputs, c), "fputc": (fputc, c), "fread": (fread, c),
            "fgetc": (fgetc, c), "getc": (fgetc, c), "fseek": (fseek, c), "ftell": (ftell, c),
            "setvbuf": (value(0), c), "_fileno": (lambda: self.ret(3), c), "_commit": (value(0), c),
            "fprintf": (fprintf, c), "vfprintf": (vfprintf, c), "printf": (printf, c),
            "localeconv": (lambda: self.ret(self.lconv), c), "setlocale": (lambda: self.ret(self.locale_c), c),
            "strerror": (lambda: self.ret(m.new_cstr("error")), c), "atoi": (atoi, c), "_write": (write_fd, c),
            "_open_osfhandle": (open_osfhandle, c), "_fdopen": (fdopen, c), "_close": (value(0), c),
        }
        kernel = {
            "GetModuleHandleA": (get_module_handle_a, 1), "GetModuleHandleW": (value(0), 1),
            "GetProcAddress": (value(0), 2), "LoadLibraryA": (value(0), 1), "LoadLibraryW": (value(0), 1),
            "FreeLibrary": (value(1), 1),
            "CreateSemaphoreA": (new_handle, 4), "ReleaseSemaphore": (value(1), 3),
            "CreateEventA": (new_handle, 4), "SetEvent": (value(1), 1), "ResetEvent": (value(1), 1),
            "WaitForSingleObject": (value(0), 2), "CloseHandle": (value(1), 1),
            "InitializeCriticalSection": (value(0), 1), "EnterCriticalSection": (value(0), 1),
            "LeaveCriticalSection": (value(0), 1), "DeleteCriticalSection": (value(0), 1),
            "TryEnterCriticalSection": (value(1), 1),
            "TlsAlloc": (tls_alloc, 0), "TlsGetValue": (lambda: self.ret(self.tls.get(a(0), 0)), 1),
            "TlsSetValue": (tls_set, 2),
            "GetLastError": (lambda: self.ret(self.last_error), 0), "SetLastError": (set_last_error, 1),
            "GetCurrentThreadId": (value(0x1234), 0), "GetCurrentProcessId": (value(0x42), 0),
            "GetCurrentProcess": (value(0xFFFFFFFF), 0), "GetCurrentThread": (value(0xFFFFFFFE), 0),
            "VirtualProtect": (virtual_protect, 4), "VirtualQuery": (virtual_query, 3),
            "FindFirstFileA": (find_first, 2), "FindNextFileA": (find_next, 2), "FindClose": (find_close, 1),
            "CreateDirectoryA": (value(1), 2), "MoveFileExA": (move_file, 3), "DeleteFileA": (delete_file, 1), "GetFileAttributesA": (get_file_attributes, 1),
            "Sleep": (value(0), 1), "GetTickCount64": (tick64, 0), "GetSystemTimeAsFileTime": (filetime, 1),
            "IsDebuggerPresent": (value(0), 0), "OutputDebugStringA": (value(0), 1),
            "AddVectoredExceptionHandler": (new_handle, 2), "RemoveVectoredExceptionHandler": (value(1), 1),
            "IsDBCSLeadByteEx": (value(0), 2),
            "SHGetFolderPathA": (get_folder_path, 5),
            "DuplicateHandle": (duplicate_handle, 7), "GetThreadPriority": (value(0), 1),
            "SetThreadPriority": (value(1), 2), "GetProcessAffinityMask": (affinity, 3),
            "GetHandleInformation": (value(1), 2),
            "CreateFileA": (create_file, 7), "FormatMessageA": (value(0), 7), "LocalFree": (value(0), 1),
        }
        table = {name: (h, 0) for name, (h, _) in msvcrt.items()}
        table.update({name: (h, 4 * n) for name, (h, n) in kernel.items()})
        return table


def load_dll(machine, path, runtime, base=None):
    """Maps the DLL (at its preferred base, or rebased to `base` through its relocations) and
    binds its imports. Returns (pe, base)."""
    pe = pefile.PE(path)
    preferred = pe.OPTIONAL_HEADER.ImageBase
    if base is not None and base != preferred:
        pe.relocate_image(base)
    base = pe.OPTIONAL_HEADER.ImageBase
    image = pe.get_memory_mapped_image()
    machine.map(base, pe.OPTIONAL_HEADER.SizeOfImage)
    machine.write(base, image)
    table = runtime.table()
    data = {"_iob": runtime.iob, "__mb_cur_max": runtime.mb_cur_max}
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        for imp in entry.imports:
            name = imp.name.decode()
            if name in data:
                target = data[name]
            elif name == "_initterm":
                target = runtime.initterm
            elif name in table:
                handler, pops = table[name]
                target = machine.new_stub(lambda _m, h=handler: h(), pops)
            else:
                def missing(m, name=name):
                    runtime.unimplemented.append(name)
                    m.stop("the DLL called the unemulated import %s" % name)
                target = machine.new_stub(missing, 0)
            slot = imp.address
            if not base <= slot < base + pe.OPTIONAL_HEADER.SizeOfImage:
                slot = slot - preferred + base
            machine.w32(slot, target)
    return pe, base


def exports(pe, base):
    return {e.name.decode(): base + e.address for e in pe.DIRECTORY_ENTRY_EXPORT.symbols if e.name}
