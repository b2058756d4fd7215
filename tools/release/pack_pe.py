#!/usr/bin/env python3
# pack_pe.py -- packs the Windows release build of the show into one
# executable file and prints its byte budget.
#
# Usage: pack_pe.py IMAGE STUB BLOB OUTPUT [BUDGET]
#          IMAGE   the show built for size (build-release-win32/tavimo.exe),
#                  linked at a fixed base without a relocation table
#          STUB    the unpacking stub (tavimo_stub.exe), linked 64 KiB below
#                  that base
#          BLOB    the asset blob linked into the show (asset_blob.bin)
#          OUTPUT  the packed file (tavimo-64k.exe); OUTPUT.image is left
#                  beside it, the image as it is in memory, for the tests
#          BUDGET  where to write the budget table; standard output without
#        pack_pe.py --payload CODE BLOB OUTPUT
#          packs an image made of CODE's first 256 KiB (any program, no PE
#          needed) followed by BLOB into OUTPUT: the unpack table, then the
#          payload, which the native tests decode with the stub's decoder
#          (code always with the call transform, so that they undo it).
#
# The image is the show's memory from its base: headers and sections at
# their addresses, up to the last byte that is not zero. It is cut into
# pieces, each compressed on its own as a raw LZMA stream by liblzma: the
# code before the asset blob, each asset, the rest. Code gets its call
# targets made absolute first, pictures and palettes a delta transform where
# it pays, and each piece the LZMA literal and position bits that suit it,
# found by trying a small set; the stub (stub_win32.c, unpack.c) undoes it
# all. The packed file:
#   headers, with the show's subsystem, versions and stack sizes
#   the stub's sections, at the addresses it was linked for
#   one section with no contents, readable, writable and executable,
#     covering the show's image at its base and the decoder's scratch
#   the payload
# Its imports are the stub's (kernel32: LoadLibraryA, GetProcAddress,
# VirtualProtect, ExitProcess). A file over 65536 bytes is still written
# (the release test reports it); the script fails only when packing fails.
import lzma
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from pack import blob_parts  # noqa: E402

LIMIT = 65536
STUB_SPAN = 0x10000          # the stub's own addresses below the image
MAGIC = struct.pack("<II", 0x6b636170, 0x6576696c)
MAX_PIECES = 12
MAX_LC_LP = 4
PLAIN, CALLS, DELTA = 0, 1, 2
PAYLOAD_CODE = 1 << 18


def fail(message):
    sys.exit("pack_pe.py: " + message)


def align(value, to):
    return (value + to - 1) // to * to


# --- Reading a PE file -------------------------------------------------------

class Pe:
    """The parts of a PE file the packer uses."""

    def __init__(self, path):
        data = open(path, "rb").read()
        self.data = data
        if data[:2] != b"MZ":
            fail("%s is not a Windows program" % path)
        self.nt = struct.unpack_from("<I", data, 0x3c)[0]
        if data[self.nt:self.nt + 4] != b"PE\0\0":
            fail("%s is not a Windows program" % path)
        (self.machine, self.nsections, _, _, _, self.opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, self.nt + 4)
        self.opt = self.nt + 24
        magic = struct.unpack_from("<H", data, self.opt)[0]
        self.pe64 = magic == 0x20b
        if magic not in (0x10b, 0x20b):
            fail("%s has an unknown optional header" % path)
        self.entry = struct.unpack_from("<I", data, self.opt + 16)[0]
        self.base = (struct.unpack_from("<Q", data, self.opt + 24)[0] if self.pe64
                     else struct.unpack_from("<I", data, self.opt + 28)[0])
        (self.section_alignment, self.file_alignment) = struct.unpack_from("<II", data, self.opt + 32)
        self.size_of_image, self.size_of_headers = struct.unpack_from("<II", data, self.opt + 56)
        self.dirs_at = self.opt + (112 if self.pe64 else 96)
        self.ndirs = struct.unpack_from("<I", data, self.dirs_at - 4)[0]
        self.sections = []
        at = self.opt + self.opt_size
        for i in range(self.nsections):
            name, vsize, va, rsize, rptr = struct.unpack_from("<8sIIII", data, at + 40 * i)
            flags = struct.unpack_from("<I", data, at + 40 * i + 36)[0]
            self.sections.append((name.rstrip(b"\0"), vsize, va, rsize, rptr, flags))

    def directory(self, index):
        if index >= self.ndirs:
            return (0, 0)
        return struct.unpack_from("<II", self.data, self.dirs_at + 8 * index)

    def memory(self):
        """The image as the system's loader would map it."""
        image = bytearray(self.size_of_image)
        image[:self.size_of_headers] = self.data[:self.size_of_headers]
        for name, vsize, va, rsize, rptr, flags in self.sections:
            n = min(vsize or rsize, rsize)
            image[va:va + n] = self.data[rptr:rptr + n]
        return image


# --- Compressing -------------------------------------------------------------

def to_calls(data):
    """The inverse of unpack_calls: E8/E9 targets made absolute."""
    data = bytearray(data)
    i = 0
    while i + 5 <= len(data):
        if data[i] in (0xe8, 0xe9) and data[i + 4] in (0, 0xff):
            v = (struct.unpack_from("<I", data, i + 1)[0] + i + 5) & 0x1ffffff
            if v & 0x1000000:
                v |= 0xfe000000
            struct.pack_into("<I", data, i + 1, v)
            i += 5
        else:
            i += 1
    return bytes(data)


def lzma_stream(data, lc, lp, pb, head=()):
    chain = list(head) + [{"id": lzma.FILTER_LZMA1, "preset": 9 | lzma.PRESET_EXTREME,
                           "dict_size": max(1 << 16, 1 << (len(data) - 1).bit_length()),
                           "lc": lc, "lp": lp, "pb": pb}]
    return lzma.compress(data, format=lzma.FORMAT_RAW, filters=chain)


def pack_piece(data, code, calls_always=False):
    """(stream, properties, transform, distance, description): the smallest
    of the tried ways to code `data` (code with the call transform only,
    when calls_always)."""
    if code:
        ways = [(CALLS, 0, to_calls(data))] + ([] if calls_always else [(PLAIN, 0, data)])
    else:
        ways = [(PLAIN, 0, data)] + [(DELTA, d, None) for d in (1, 2, 4, 160)]
    best = None
    for transform, distance, source in ways:
        head = [{"id": lzma.FILTER_DELTA, "dist": distance}] if transform == DELTA else []
        for lc in (0, 1, 2, 3, 4):
            for lp in (0, 2):
                for pb in (0, 2):
                    if lc + lp > MAX_LC_LP:
                        continue
                    stream = lzma_stream(source if source is not None else data, lc, lp, pb, head)
                    if best is None or len(stream) < len(best[0]):
                        what = ["calls"] if transform == CALLS else \
                            ["delta=%d" % distance] if transform == DELTA else []
                        best = (stream, (pb * 5 + lp) * 9 + lc, transform, distance,
                                ",".join(what + ["lzma lc=%d lp=%d pb=%d" % (lc, lp, pb)]))
    return best


def fnv(data):
    h = 2166136261
    for b in data:
        h = ((h ^ b) * 16777619) & 0xffffffff
    return h


def pack_image(image, blob, calls_always=False):
    """(pieces, payload, image_end): image cut at the asset blob and packed.
    pieces: (label, offset, size, stream, properties, transform, distance,
    description)."""
    end = len(image.rstrip(b"\0"))
    at = image.find(blob)
    if at < 0 or at + len(blob) > end:
        fail("the asset blob is not in the program")
    cuts = [("code before the asset blob", 0, at, True)]
    offset = at
    for name, size in blob_parts():
        cuts.append(("asset " + name, offset, size, False))
        offset += size
    if offset != at + len(blob):
        fail("runtime/make_blob.cmake's sizes do not add up to the blob")
    cuts.append(("code after the asset blob", offset, end - offset, True))
    cuts = [c for c in cuts if c[2] > 0]
    if len(cuts) > MAX_PIECES:
        fail("more pieces than the stub's table holds")
    pieces, payload = [], b""
    for label, offset, size, code in cuts:
        stream, properties, transform, distance, what = pack_piece(bytes(image[offset:offset + size]), code,
                                                                   calls_always)
        pieces.append((label, offset, size, stream, properties, transform, distance, what))
        payload += stream
    return pieces, payload, end


def table(image, pieces, payload, end, image_offset, payload_offset, probs):
    out = MAGIC + struct.pack("<IIIIIII", image_offset, payload_offset, len(payload), end,
                              probs, fnv(image[:end]), len(pieces))
    for p in pieces:
        out += struct.pack("<IIIBBBB", p[1], p[2], len(p[3]), p[4], p[5], p[6], 0)
    return out + bytes(16 * (MAX_PIECES - len(pieces)))


def probs_bytes():
    return 2 * (1847 + (0x300 << MAX_LC_LP))


# --- Writing the packed file -------------------------------------------------

def write_pe(show, stub, payload, table_for):
    """The packed file's bytes. table_for(payload_offset, probs) gives the
    unpack table once the layout is known."""
    if stub.machine != show.machine or stub.pe64 != show.pe64:
        fail("the stub is not built for the show's machine")
    if stub.base + STUB_SPAN != show.base:
        fail("the stub is linked at 0x%x, not 0x%x" % (stub.base, show.base - STUB_SPAN))
    if show.directory(5)[1]:
        fail("the show has relocations: link it with --disable-reloc-section at a fixed base")
    sa, fa = 0x1000, 0x200

    stub_end = max(va + max(vsize, rsize) for _, vsize, va, rsize, _, _ in stub.sections)
    reserve_va = align(stub_end, sa)
    if reserve_va > STUB_SPAN:
        fail("the stub is larger than the 64 KiB below the image")
    probs = align(show.size_of_image, 16)
    reserve_end = align(STUB_SPAN + probs + probs_bytes(), sa)
    payload_va = reserve_end

    nsections = len(stub.sections) + 2
    opt_size = 240 if show.pe64 else 224
    headers = align(0x40 + 4 + 20 + opt_size + 40 * nsections, fa)

    # Section table and raw data.
    sections, raw = [], b""
    def place(name, vsize, va, data, flags):
        nonlocal raw
        ptr = headers + len(raw) if data else 0
        size = align(len(data), fa) if data else 0
        raw += data + bytes(size - len(data))
        sections.append(struct.pack("<8sIIIIIIHHI", name, vsize, va, size, ptr, 0, 0, 0, 0, flags))

    tab = table_for(payload_va - STUB_SPAN, probs)
    found = 0
    for name, vsize, va, rsize, rptr, flags in stub.sections:
        data = stub.data[rptr:rptr + rsize]
        at = data.find(MAGIC)
        if at >= 0:
            if len(data) - at < len(tab):
                fail("the stub's unpack table is too small")
            data = data[:at] + tab + data[at + len(tab):]
            found += 1
        place(name, vsize, va, data, flags)
    if found != 1:
        fail("the stub has %d unpack tables, not one" % found)
    place(b".tavimo", reserve_end - reserve_va, reserve_va, b"", 0xe0000080)
    place(b".packed", len(payload), payload_va, payload, 0x40000040)
    size_of_image = align(payload_va + len(payload), sa)

    # Headers: the show's optional header with the packed file's layout.
    opt = bytearray(show.data[show.opt:show.opt + opt_size])
    code_size = sum(s[1] for s in stub.sections if s[5] & 0x20)
    struct.pack_into("<III", opt, 4, code_size, len(payload), reserve_end - reserve_va)
    struct.pack_into("<II", opt, 16, stub.entry, 0x1000)
    if show.pe64:
        struct.pack_into("<Q", opt, 24, stub.base)
    else:
        struct.pack_into("<II", opt, 24, reserve_va, stub.base)
    struct.pack_into("<II", opt, 32, sa, fa)
    struct.pack_into("<III", opt, 56, size_of_image, headers, 0)
    dirs = 112 if show.pe64 else 96
    struct.pack_into("<I", opt, dirs - 4, 16)
    opt[dirs:dirs + 128] = bytes(128)
    for index in (1, 12):                  # imports and their address table
        struct.pack_into("<II", opt, dirs + 8 * index, *stub.directory(index))
    exception = show.directory(3)          # 64-bit unwind data, for the show's code
    if exception[1]:
        struct.pack_into("<II", opt, dirs + 8 * 3, exception[0] + STUB_SPAN, exception[1])
    coff = struct.pack("<HHIIIHH", show.machine, nsections, 0, 0, 0, opt_size,
                       show.characteristics | 0x0001)   # no relocations
    head = bytearray(0x40)
    head[0:2] = b"MZ"
    struct.pack_into("<I", head, 0x3c, 0x40)
    head += b"PE\0\0" + coff + bytes(opt) + b"".join(sections)
    head += bytes(headers - len(head))
    return bytes(head) + raw


# --- Main ----------------------------------------------------------------------

def budget_text(output, total, image_end, pieces, stub_bytes):
    name = os.path.basename(output)
    lines = ["byte budget of %s: %d bytes, unpacking to an image of %d bytes (raw LZMA)"
             % (name, total, image_end)]
    lines.append("  %-44s %7s %7s  %s" % ("piece", "bytes", "packed", "coding"))
    lines += ["  %-44s %7d %7d  %s" % (p[0], p[2], len(p[3]), p[7]) for p in pieces]
    code = sum(len(p[3]) for p in pieces if p[0].startswith("code"))
    payload = sum(len(p[3]) for p in pieces)
    lines.append("  %-44s %7s %7d" % ("code in all", "", code))
    lines.append("  %-44s %7s %7d" % ("assets in all", "", payload - code))
    lines.append("  %-44s %7s %7d" % ("stub, headers and alignment", "", total - payload))
    lines.append("  %-44s %7s %7d" % ("  of which the stub's code", "", stub_bytes))
    lines.append("  %-44s %7s %7d" % ("total: " + name, "", total))
    lines.append("  %-44s %7s %7d" % ("left of %d" % LIMIT, "", LIMIT - total))
    if total > LIMIT:
        lines.append("  OVER THE LIMIT by %d bytes" % (total - LIMIT))
    return "\n".join(lines) + "\n"


def main(argv):
    if len(argv) == 5 and argv[1] == "--payload":
        blob = open(argv[3], "rb").read()
        image = open(argv[2], "rb").read()[:PAYLOAD_CODE] + blob
        pieces, payload, end = pack_image(image, blob, calls_always=True)
        tab = table(image, pieces, payload, end, 0, len(image), align(len(image), 16))
        with open(argv[4], "wb") as f:
            f.write(tab + payload)
        return
    if len(argv) not in (5, 6) or argv[1].startswith("-"):
        sys.exit("usage: pack_pe.py IMAGE STUB BLOB OUTPUT [BUDGET]\n"
                 "       pack_pe.py --payload CODE BLOB OUTPUT")
    show, stub = Pe(argv[1]), Pe(argv[2])
    blob = open(argv[3], "rb").read()
    output = argv[4]
    image = show.memory()
    pieces, payload, end = pack_image(image, blob)
    packed = write_pe(show, stub, payload,
                      lambda payload_offset, probs: table(image, pieces, payload, end, STUB_SPAN,
                                                          payload_offset, probs))
    for path, data in ((output + ".image", bytes(image[:end])), (output, packed)):
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)
    stub_code = sum(s[1] for s in stub.sections if s[5] & 0x20)
    text = budget_text(output, len(packed), end, pieces, stub_code)
    if len(argv) == 6:
        open(argv[5], "w").write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    try:
        main(sys.argv)
    except OSError as e:
        fail("%s: %s" % (e.filename or "output", e.strerror))
    except (struct.error, IndexError, ValueError, lzma.LZMAError) as e:
        fail("a file is damaged or not what it should be (%s)" % e)
