"""A fake game at the fixed addresses of the supported build: globals, recording stubs at the
entry points (each popping its arguments as the game's convention does), Scaleform movies and
values, loaded morph data, and the routine whose first call the DLL patches."""

import struct

from machine import CALLEE_SAVED, Bump
from unicorn.x86_const import UC_X86_REG_EAX, UC_X86_REG_ECX, UC_X86_REG_EDX

GAME_BASE, GAME_SIZE = 0x00400000, 0x01800000     # the game's image, stubs at fixed addresses
OBJECTS_BASE, OBJECTS_SIZE = 0x02000000, 0x01000000
SF_HEAP_BASE, SF_HEAP_SIZE = 0x03000000, 0x00100000

# The game build's addresses (those the DLL was built against).
PLAYER_SINGLETON = 0x01B2E8E4
CAMERA_SINGLETON = 0x012E7288
SCALEFORM_HEAP = 0x01B40E3C
LOADED_RESOURCE_TABLE = 0x01B1A494
LOADED_RESOURCE_ARRAY = 0x01B3FD48
LOADED_RESOURCE_ARRAY_COUNT = 0x01B3FD50
INVALID_TRI_ENTRY = 0x0125CA9C
DYNAMIC_CAST = 0x00F51DAE
TD_BASE_FORM, TD_NPC, TD_REFERENCE, TD_PLAYER = 0x0123B000, 0x0123EA40, 0x0123D0BC, 0x01277F1C
NPC_GET_SEX = 0x0055B510
QUEUE_MODEL_UPDATE = 0x00730EE0
GET_TINT_MASK, COUNT_TINT_MASKS = 0x00735F00, 0x00735F40
FS_CONSTRUCT, FS_SET, FS_RELEASE = 0x00A511C0, 0x00A51210, 0x00A511B0
STREAM_OPEN, STREAM_IS_VALID, STREAM_READ = 0x00AC6790, 0x00AC6400, 0x00AC6410
STREAM_SKIP, STREAM_READ_LINE, STREAM_CLOSE = 0x00AC63B0, 0x00AC6710, 0x00AC69B0
SET_MEMBER, PUSH_BACK, GET_ARRAY_SIZE = 0x00920D20, 0x00920EF0, 0x00920E80
GET_ELEMENT, RELEASE_MANAGED = 0x00923AD0, 0x00922660
CALL_SITE = 0x008F0A76
FORMER_DISPLACEMENT = 0x205F35
FORMER_TARGET = CALL_SITE + 5 + FORMER_DISPLACEMENT
TRI_TAG = 0x00697274

T_UNDEF, T_NULL, T_BOOL, T_NUMBER, T_STRING, T_OBJECT, T_ARRAY = 0, 1, 2, 3, 4, 6, 7
MANAGED = 0x40


class Game:
    def __init__(self, m, fs):
        self.m, self.fs = m, fs
        m.map(GAME_BASE, GAME_SIZE, hook_code=True)
        m.map(OBJECTS_BASE, OBJECTS_SIZE)
        m.map(SF_HEAP_BASE, SF_HEAP_SIZE)
        self.objects = Bump(m, OBJECTS_BASE, OBJECTS_SIZE)
        self.sf_heap = Bump(m, SF_HEAP_BASE, SF_HEAP_SIZE)
        self.events = []              # (what, ...) in call order
        self.sf_alloc_fails = False
        self.sf_allocs = []
        self.sf_frees = []
        self.sex = 1
        self.model_updates = 0
        self.streams = {}
        self.next_stream = 1
        self.values = {}              # object/array id -> ("object", {name: value}) / ("array", [values])
        self.former_calls = []
        self.iface = m.host.alloc(16)  # the values' object interface
        self._code_stubs()
        self._scaleform_heap()
        self._player()
        self._camera()
        m.w32(LOADED_RESOURCE_TABLE, 0)
        m.w32(LOADED_RESOURCE_ARRAY, 0)
        m.w32(LOADED_RESOURCE_ARRAY_COUNT, 0)
        self.write_call_site(b"\xE8" + struct.pack("<i", FORMER_DISPLACEMENT))

    # ---- helpers -------------------------------------------------------------------------

    def ret(self, v):
        self.m.setreg(UC_X86_REG_EAX, v)

    @property
    def this(self):
        return self.m.reg(UC_X86_REG_ECX)

    def trap_table(self, what, slots, real=None):
        """A virtual table whose unknown slots stop the run with their name."""
        table = self.objects.alloc(4 * slots)
        for i in range(slots):
            if real and i in real:
                handler, pops = real[i]
                addr = self.m.new_stub(handler, pops)
            else:
                addr = self.m.new_stub(lambda m, i=i: m.stop("unexpected call of %s slot 0x%02X" % (what, i)))
            self.m.w32(table + 4 * i, addr)
        return table

    # ---- code -----------------------------------------------------------------------------

    def _code_stubs(self):
        m, a = self.m, self.m.arg
        p = m.place_stub

        def cast():
            obj, to = a(0), a(3)
            ok = (to == TD_NPC and obj == self.npc) or (to in (TD_PLAYER, TD_REFERENCE) and obj == self.player) \
                or to == TD_BASE_FORM
            self.events.append(("cast", obj, a(2), to))
            self.ret(obj if ok else 0)
        p(DYNAMIC_CAST, lambda _: cast(), 0)
        p(NPC_GET_SEX, lambda _: self.ret(self.sex if self.this == self.npc else 0xFF), 0)

        def queue():
            self.model_updates += 1
            self.events.append(("QueueModelUpdate", self.this, a(0) & 0xFF))
        p(QUEUE_MODEL_UPDATE, lambda _: queue(), 4)
        p(GET_TINT_MASK, lambda _: self.ret(0), 8)
        p(COUNT_TINT_MASKS, lambda _: self.ret(0), 4)

        def fixed_string():
            s = m.cstr(a(0)) or ""
            m.w32(self.this, m.new_cstr(s, self.objects))
            self.ret(self.this)
        p(FS_CONSTRUCT, lambda _: fixed_string(), 4)
        p(FS_SET, lambda _: fixed_string(), 4)
        p(FS_RELEASE, lambda _: None, 0)

        # Resource streams: the handle lives in the caller's 0x20-byte buffer.
        def s_open():
            path = m.cstr(a(0))
            m.write(self.this, b"\0" * 0x20)
            data = self.fs.get("data\\" + path) if path is not None else None
            self.events.append(("stream open", path, data is not None))
            if data is not None:
                h = self.next_stream
                self.next_stream += 1
                self.streams[h] = [data, 0]
                m.w32(self.this + 0x10, h)
            self.ret(self.this)

        def s_state():
            return self.streams.get(m.u32(self.this + 0x10))

        def s_read():
            st = s_state()
            if not st:
                return self.ret(0)
            data = st[0][st[1]:st[1] + a(1)]
            st[1] += len(data)
            m.write(a(0), data)
            self.ret(len(data))

        def s_skip():
            st = s_state()
            if st:
                st[1] += struct.unpack("<i", struct.pack("<I", a(0)))[0]

        def s_read_line():
            st, dst, size, term = s_state(), a(0), a(1), a(2)
            if not st or size == 0:
                return self.ret(0)
            data, pos = st
            out = bytearray()
            saw = False
            while len(out) + 1 < size and pos < len(data):
                c = data[pos]
                pos += 1
                out.append(c)
                if c == term:
                    saw = True
                    break
            st[1] = pos
            m.write(dst, bytes(out) + b"\0")
            if not out:
                return self.ret(0)
            self.ret(len(out) + 1 if (not saw and pos >= len(data)) else len(out))

        def s_close():
            self.streams.pop(m.u32(self.this + 0x10), None)
            m.w32(self.this + 0x10, 0)
        p(STREAM_OPEN, lambda _: s_open(), 0x0C)
        p(STREAM_IS_VALID, lambda _: self.ret(1 if s_state() else 0), 0)
        p(STREAM_READ, lambda _: s_read(), 8)
        p(STREAM_SKIP, lambda _: s_skip(), 4)
        p(STREAM_READ_LINE, lambda _: s_read_line(), 0x0C)
        p(STREAM_CLOSE, lambda _: s_close(), 0)

        # Value operations (thiscall on the object interface).
        def set_member():
            self.events.append(("SetMember", self.this, a(0), m.cstr(a(1)), self.read_value(a(2)), a(3) & 0xFF))
            kind, members = self.values.get(a(0), (None, None))
            if kind == "object":
                members[m.cstr(a(1))] = self.read_value(a(2))
            self.ret(1)

        def push_back():
            kind, items = self.values.get(a(0), (None, None))
            self.events.append(("PushBack", self.this, a(0)))
            if kind == "array":
                items.append(self.read_value(a(1)))
            self.ret(1 if kind == "array" else 0)

        def array_size():
            kind, items = self.values.get(a(0), (None, None))
            self.ret(len(items) if kind == "array" else 0)

        def get_element():
            kind, items = self.values.get(a(0), (None, None))
            if kind != "array" or a(1) >= len(items):
                return self.ret(0)
            self.write_value(a(2), items[a(1)])
            self.ret(1)

        def release():
            self.events.append(("ReleaseManaged", self.this, a(0), a(1)))
        p(SET_MEMBER, lambda _: set_member(), 0x10)
        p(PUSH_BACK, lambda _: push_back(), 8)
        p(GET_ARRAY_SIZE, lambda _: array_size(), 4)
        p(GET_ELEMENT, lambda _: get_element(), 0x0C)
        p(RELEASE_MANAGED, lambda _: release(), 8)

        # The routine whose first instruction the DLL patches: the call, then it adds to the
        # result and returns with a plain ret (its caller removes the arguments).
        def former():
            esp = m.esp
            self.former_calls.append({"ecx": m.reg(UC_X86_REG_ECX), "edx": m.reg(UC_X86_REG_EDX),
                                      "saved": {k: m.reg(r) for k, r in CALLEE_SAVED.items()},
                                      "stack": [m.u32(esp + 4 * i) for i in range(6)]})
            self.ret(0x22)
        p(FORMER_TARGET, lambda _: former(), 0)
        m.write(CALL_SITE + 5, b"\x05\x00\x01\x00\x00\xC3")     # add eax, 0x100; ret

    def write_call_site(self, five):
        self.m.write(CALL_SITE, five)

    def call_site(self):
        return self.m.read(CALL_SITE, 5)

    # ---- Scaleform ---------------------------------------------------------------------------

    def _scaleform_heap(self):
        a = self.m.arg

        def alloc():
            p = 0 if self.sf_alloc_fails else self.sf_heap.alloc(a(0))
            self.sf_allocs.append((a(0), a(1), p))
            self.ret(p)
        table = self.trap_table("Scaleform heap", 0x10, {0x0A: (lambda _: alloc(), 8),
                                                         0x0C: (lambda _: self.sf_frees.append(a(0)), 4)})
        self.heap = self.objects.alloc(16)
        self.m.w32(self.heap, table)
        self.m.w32(SCALEFORM_HEAP, self.heap)

    def new_id(self, kind, payload):
        obj = self.m.host.alloc(16)
        self.values[obj] = (kind, payload)
        return obj

    def new_movie(self):
        m, a = self.m, self.m.arg
        movie = m.host.alloc(16)

        def out_value(out, type_, data):
            m.w32(out, self.iface)
            m.w32(out + 4, type_)
            m.write(out + 8, struct.pack("<Q", data))

        def create_string():
            s = m.cstr(a(1))
            self.events.append(("CreateString", self.this, s))
            holder = m.host.alloc(4)
            m.w32(holder, m.new_cstr(s))
            out_value(a(0), T_STRING | MANAGED, holder)

        def create_object():
            self.events.append(("CreateObject", self.this, a(1), a(2), a(3)))
            out_value(a(0), T_OBJECT | MANAGED, self.new_id("object", {}))

        def create_array():
            self.events.append(("CreateArray", self.this))
            out_value(a(0), T_ARRAY | MANAGED, self.new_id("array", []))

        def create_function():
            fn = self.new_id("function", (a(1), a(2)))
            self.events.append(("CreateFunction", self.this, a(1), a(2), fn))
            out_value(a(0), T_OBJECT | MANAGED, fn)
        table = self.trap_table("movie", 0x20, {0x0B: (lambda _: create_string(), 8),
                                                0x0D: (lambda _: create_object(), 0x10),
                                                0x0E: (lambda _: create_array(), 4),
                                                0x0F: (lambda _: create_function(), 0x0C)})
        m.w32(movie, table)
        m.w32(movie + 4, 1)
        return movie

    def new_root(self):
        """The object the host hands to the registration callback."""
        root = self.m.host.alloc(16)
        obj = self.new_id("object", {})
        self.write_value(root, ("object", obj))
        return root, obj

    def read_value(self, p):
        m = self.m
        t, raw = m.u32(p + 4), m.read(p + 8, 8)
        kind = t & 0x8F
        if kind == T_NUMBER:
            return ("number", struct.unpack("<d", raw)[0])
        if kind == T_BOOL:
            return ("bool", raw[0] != 0)
        if kind == T_STRING:
            d = struct.unpack("<I", raw[:4])[0]
            return ("string", m.cstr(m.u32(d) if t & MANAGED else d))
        if kind in (T_OBJECT, T_ARRAY):
            return ("object" if kind == T_OBJECT else "array", struct.unpack("<I", raw[:4])[0])
        return ("type%d" % kind, None)

    def write_value(self, p, v):
        m = self.m
        kind, x = v
        m.w32(p, self.iface if kind in ("object", "array", "string") else 0)
        if kind == "number":
            m.w32(p + 4, T_NUMBER)
            m.wf64(p + 8, x)
        elif kind == "bool":
            m.w32(p + 4, T_BOOL)
            m.write(p + 8, bytes([1 if x else 0]) + b"\0" * 7)
        elif kind == "string":
            m.w32(p + 4, T_STRING)
            m.write(p + 8, struct.pack("<Q", m.new_cstr(x)))
        elif kind in ("object", "array"):
            m.w32(p + 4, T_OBJECT if kind == "object" else T_ARRAY)
            m.write(p + 8, struct.pack("<Q", x))
        else:
            m.w32(p + 4, T_UNDEF)
            m.write(p + 8, b"\0" * 8)

    def new_array(self, values):
        return ("array", self.new_id("array", list(values)))

    def args_record(self, movie, args):
        """GFxFunctionHandler::Args: result, movie, thisObj, unk0C, args, numArgs, refCon."""
        m = self.m
        result = m.host.alloc(16)
        vals = m.host.alloc(16 * max(len(args), 1))
        for i, v in enumerate(args):
            self.write_value(vals + 16 * i, v)
        rec = m.host.alloc(0x1C)
        m.write(rec, struct.pack("<7I", result, movie, 0, 0, vals, len(args), 0))
        return rec, result

    # ---- the player and the camera -----------------------------------------------------------

    def _player(self):
        m = self.m
        self.npc = self.objects.alloc(0x164)
        m.w32(self.npc, self.trap_table("NPC form", 0x40))
        self.player = self.objects.alloc(0x720)
        m.w32(self.player, self.trap_table("player", 0x80, {0x70: (lambda _: self.ret(0), 0)}))
        m.w32(self.player + 0x24, self.npc)
        self.race = self.objects.alloc(0x2BC)
        m.w32(self.race + 0x18, m.new_cstr("Nord", self.objects))          # display name
        m.w32(self.race + 0x1D0, m.new_cstr("NordRace", self.objects))     # editor id
        m.w32(self.player + 0x130, self.race)
        m.w32(PLAYER_SINGLETON, self.player)

    def _camera(self):
        self.camera = self.objects.alloc(0xC0)
        self.m.w32(self.camera, self.trap_table("camera", 0x20))
        self.m.wf32(self.camera + 0xAC, 75.0)
        self.m.wf32(self.camera + 0xB0, 80.0)
        self.m.w32(CAMERA_SINGLETON, self.camera)

    # ---- loaded morph data -------------------------------------------------------------------

    def loaded_morph_set(self, file_name, morphs):
        """morphs: [(name, vertex counts (diff, base), scale)] -> (morph set, {name: record})."""
        m, o = self.m, self.objects
        records = o.alloc(0x24 * len(morphs))
        by_name = {}
        for i, (name, (diff_n, base_n), scale) in enumerate(morphs):
            r = records + 0x24 * i
            deltas = o.alloc(6 * max(diff_n, 1))
            m.write(r, struct.pack("<IIIIIfIII", m.new_cstr(name, o), 0, deltas, 0, 0, scale,
                                   diff_n, base_n, diff_n))
            by_name[name] = r
        ms = o.alloc(0x30)
        m.w32(ms, 0x0DDF00D0)
        m.w32(ms + 4, m.new_cstr(file_name, o))
        m.write(ms + 8, struct.pack("<III", records, len(morphs), len(morphs)))
        return ms, by_name

    def tri_entry(self, morph_set, nxt=0):
        e = self.objects.alloc(0x20)
        self.m.write(e, struct.pack("<II", 1, TRI_TAG))
        self.m.w32(e + 0x14, nxt)
        self.m.w32(e + 0x1C, morph_set)
        return e

    def tri_database(self, slots):
        db = self.objects.alloc(0x80)
        self.m.w32(db, self.trap_table("TRI database", 8))
        entries = self.objects.alloc(4 * len(slots))
        for i, e in enumerate(slots):
            self.m.w32(entries + 4 * i, e)
        self.m.write(db + 0x6C, struct.pack("<III", entries, len(slots), len(slots)))
        self.m.w32(LOADED_RESOURCE_TABLE, db)
        return db
