"""A small configuration and source morph files for the fake game, with the merged morph that
the in-memory replacement must write, worked out here on its own."""

import struct

RACES_INI = "data\\Meshes\\Vultrane\\races.ini"
SET_INI = "data\\Meshes\\Vultrane\\Sets\\Test.ini"
HEAD_TARGET = "data\\meshes\\test\\femalehead.tri"
EYES_TARGET = "data\\meshes\\test\\eyesfemale.tri"

# Per source file: its morphs as (name, scale, deltas per vertex).
SOURCES = {
    "data\\Meshes\\Vultrane\\Sets\\SrcHead.tri": [
        ("NoseUp", 0.01, [(100, 0, -50), (0, 200, 0), (-300, 10, 5), (7, 7, 7)]),
        ("NoseDown", 0.02, [(1, 2, 3), (4, 5, 6), (7, 8, 9), (10, 11, 12)]),
    ],
    "data\\Meshes\\Vultrane\\Sets\\SrcEyes.tri": [
        ("NoseUp", 0.002, [(1000, 0, 0), (0, -2000, 0), (5, 5, 5)]),
    ],
}


def tri_file(morphs):
    v = len(morphs[0][2])
    out = bytearray(b"FRTRI003")
    out += struct.pack("<11I", v, 1, 0, 0, 0, 3, 1, len(morphs), 0, 0, 0) + b"\0" * 12
    assert len(out) == 64
    for i in range(v):
        out += struct.pack("<3f", i, 2.0 * i, -1.0 * i)
    out += struct.pack("<3I", 0, 1, 2)
    out += struct.pack("<6f", 0, 0, 1, 0, 0, 1)
    out += struct.pack("<3I", 0, 1, 2)
    for name, scale, deltas in morphs:
        n = name.encode() + b"\0"
        out += struct.pack("<I", len(n)) + n + struct.pack("<f", scale)
        for d in deltas:
            out += struct.pack("<3h", *d)
    return bytes(out)


NAME_LIST = "data\\Meshes\\Vultrane\\nameList.txt"


def install(fs):
    fs.put(NAME_LIST, b" Anna,\r\nBjorn ,\r\nCarla\n")
    fs.put(RACES_INI, b"# test races\nsliderscale=1.0\n[Test]\nsliderini=Sets\\Test.ini\nname=Nord\n")
    fs.put(SET_INI, ("racesetname=Test\n"
                     "files=%s, SrcHead.tri\n"
                     "files=%s, SrcEyes.tri\n"
                     "[-face]\n"
                     "Nose height, 28, 200, NoseDown, NoseUp\n" % (HEAD_TARGET, EYES_TARGET)).encode())
    for path, morphs in SOURCES.items():
        fs.put(path, tri_file(morphs))


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def merged(source, morph, weight):
    """The main merged morph of one type-0 slider: (scale, deltas)."""
    for name, scale, deltas in SOURCES[source]:
        if name == morph:
            s = f32(scale)
            acc = [[abs(weight) * s * c for c in d] for d in deltas]
            top = max(abs(c) for d in acc for c in d)
            out_scale = f32(top / 32767.0) or 1.0
            return out_scale, [tuple(int(c / out_scale) for c in d) for d in acc]
    raise KeyError(morph)


def read_morph(data, name):
    """(scale, deltas) of the named morph of a TRI file, read on its own; None if absent."""
    v, t, x, count = struct.unpack_from("<II", data, 8) + struct.unpack_from("<I", data, 28) + \
        struct.unpack_from("<I", data, 36)
    at = 64 + v * 12 + t * 12 + x * 8 + t * 12
    for _ in range(count):
        n = struct.unpack_from("<I", data, at)[0]
        found = data[at + 4:at + 4 + n].split(b"\0")[0].decode("latin-1")
        at += 4 + n
        scale = struct.unpack_from("<f", data, at)[0]
        deltas = [struct.unpack_from("<3h", data, at + 4 + 6 * i) for i in range(v)]
        at += 4 + 6 * v
        if found == name:
            return scale, deltas
    return None
