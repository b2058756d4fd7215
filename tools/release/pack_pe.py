#!/usr/bin/env python3
# pack_pe.py -- packs the Windows release build of the show into one
# executable file and prints its byte budget.
#
# Usage: pack_pe.py IMAGE STUB BLOB CM_PACK OUTPUT [BUDGET]
#          IMAGE   the show built for size (build-release-win32/tavimo.exe),
#                  linked at a fixed base without a relocation table
#          STUB    the unpacking stub (tavimo_stub.exe), linked 64 KiB below
#                  that base
#          BLOB    the asset blob linked into the show (asset_blob.bin)
#          CM_PACK the context-mixing encoder (cm_pack, built from
#                  cm_pack.c for the machine that packs)
#          OUTPUT  the packed file (tavimo-64k.exe); OUTPUT.image is left
#                  beside it, the image as it is in memory, for the tests
#          BUDGET  where to write the budget table; standard output without
#        pack_pe.py --cm-payload CM_PACK CODE BLOB OUTPUT
#          an image of CODE's first 64 KiB and BLOB coded as the stub codes
#          its image (release/unpack_cm.h), each piece with its kind's usual models
#          rather than searched ones: the table, then the payload.
#
# The image is the show's memory from its base: headers and sections at
# their addresses, up to the last byte that is not zero, with its import
# directory replaced by a list of the names alone, which the stub binds
# (compact_imports). It is cut into
# pieces: the code before the asset blob, each asset, the rest, in which
# runs of zeros (the zero-initialised data) are left to the memory's own
# zeros. Every other piece is coded by our context-mixing coder
# (release/unpack_cm.h), one stream for them all, each with the models, mixer rate
# and counter limit that code it smallest, found by cm_pack's search (and
# remembered in OUTPUT.cm-cache, so that only changed pieces are searched
# again). Code gets its call targets made absolute first, data the delta
# transform where LZMA finds it pays and the coder agrees. The budget gives
# each piece's bytes with LZMA too (the coding the stub used before), for
# comparison. The stub (release/stub_win32.c, unpack_cm.c) undoes it all. The
# packed file:
#   headers, with the show's subsystem, versions and stack sizes
#   the stub's one section (stub_win32.ld) at the address it was linked
#     for, the payload after its code
#   one section with no contents, readable, writable and executable,
#     covering the show's image at its base and the decoder's scratch
# Its imports are the stub's (kernel32: LoadLibraryA, GetProcAddress,
# VirtualProtect, ExitProcess). A file over 65536 bytes is still written
# (the release test reports it); the script fails only when packing fails.
import concurrent.futures
import hashlib
import json
import lzma
import os
import re
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from pack import blob_parts  # noqa: E402

LIMIT = 65536
STUB_SPAN = 0x10000          # the stub's own addresses below the image
MAGIC = struct.pack("<II", 0x6b636170, 0x6576696c)
MAX_LC_LP = 4                # lc + lp at most in the LZMA search the budget compares with
PLAIN, CALLS, DELTA, ZEROS = 0, 1, 2, 3
CM_PAYLOAD_CODE = 1 << 16          # --cm-payload's code: its tests decode it often
CM_MODELS = 8
CM_HEADER = open(os.path.join(HERE, "..", "..", "release", "unpack_cm.h")).read()
CM_SLOT_BITS = int(re.search(r"#define CM_SLOT_BITS (\d+)", CM_HEADER).group(1))
CM_MAX_PIECES = int(re.search(r"#define CM_MAX_PIECES (\d+)", CM_HEADER).group(1))
CM_SCRATCH = (4 << CM_SLOT_BITS) + 65536   # unpack_cm.h's CM_SCRATCH
ZERO_RUN = 4096                    # zeros left to the memory from this many on
PICTURE_ROW = 160                  # bytes per row of the pictures
# The models of --cm-payload, by kind: rate, limit, masks (unpack_cm.h).
CM_USUAL = {"code": (8, 30, (0x1, 0x3, 0x7, 0x6, 0xc, 0x19, 0x2, 0x4000)),
            "data": (12, 30, (0x1, 0x3, 0x4000, 0xaa, 0x55, 0xf8, 0x15, 0x1002)),
            "picture": (8, 30, (0x200, 0x201, 0x3, 0x400, 0x601, 0xa00, 0x2000, 0x1))}


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


def pack_piece(data, code):
    """(stream, properties, transform, distance, description): the smallest
    of the tried ways to code `data` as raw LZMA (what the budget sets
    beside our coder's bytes)."""
    if code:
        ways = [(CALLS, 0, to_calls(data)), (PLAIN, 0, data)]
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


# --- The context-mixing coder ------------------------------------------------

def delta(data, distance):
    """The inverse of cm_undo_delta."""
    return bytes((data[i] - (data[i - distance] if i >= distance else 0)) & 255 for i in range(len(data)))


def cm_cuts(image, end, blob):
    """(label, offset, size, kind): the image up to `end` cut at the asset
    blob, its assets and the runs of zeros in the code after it; kind is
    "code", "data", "picture" or "zeros"."""
    at = image.find(blob)
    if at < 0 or at + len(blob) > end:
        fail("the asset blob is not in the program")
    cuts = [("code before the asset blob", 0, at, "code")]
    offset = at
    for name, size in blob_parts():
        cuts.append(("asset " + name, offset, size, "picture" if "picture" in name else "data"))
        offset += size
    if offset != at + len(blob):
        fail("assets/blob.txt's sizes do not add up to the blob")
    rest = bytes(image[offset:end])
    for run in re.finditer(rb"\0{%d,}" % ZERO_RUN, rest):
        cuts.append(("code after the asset blob", offset, run.start(), "code"))
        cuts.append(("zeros (not coded)", offset + run.start(), run.end() - run.start(), "zeros"))
        offset, rest = offset + run.end(), rest[run.end():]
    cuts.append(("code after the asset blob", offset, end - offset, "code"))
    cuts = [c for c in cuts if c[2] > 0]
    if len(cuts) > CM_MAX_PIECES:
        fail("more pieces than the stub's table holds")
    return cuts


def cm_run(cm_pack, lines, folder):
    """cm_pack over the piece list `lines`: (stream, [(packed, rate, limit, masks)])."""
    fd, listing = tempfile.mkstemp(suffix=".txt", dir=folder)
    with os.fdopen(fd, "w") as f:
        f.write("\n".join(lines) + "\n")
    out = listing + ".cm"
    result = subprocess.run([cm_pack, out, listing], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        fail("cm_pack failed: " + result.stderr.strip())
    stream = open(out, "rb").read()
    os.remove(out)
    os.remove(listing)
    codings = []
    for line in result.stdout.split("\n"):
        if line:
            v = line.split()
            codings.append((int(v[0]), int(v[1]), int(v[2]), tuple(int(x, 16) for x in v[3:])))
    return stream, codings


def cm_pack_image(image, end, blob, cm_pack, folder, cache=None, usual=False):
    """(pieces, payload): the image coded by cm_pack. pieces: (label, offset,
    size, packed, transform, distance, row, rate, limit, masks, lzma bytes,
    lzma description). With `usual`, each kind's usual models instead of a
    search; `cache` maps what was searched to what was found."""
    cuts = cm_cuts(image, end, blob)
    jobs = []     # (piece index, transform, distance, data, kind)
    lzma_of = {}
    for index, (label, offset, size, kind) in enumerate(cuts):
        data = bytes(image[offset:offset + size])
        if kind == "zeros":
            continue
        if usual:
            lzma_of[index] = (0, "")
        else:
            stream, _, transform, distance, what = pack_piece(data, kind == "code")
            lzma_of[index] = (len(stream), what)
        if kind == "code":
            jobs.append((index, CALLS, 0, to_calls(data), kind))
            continue
        jobs.append((index, PLAIN, 0, data, kind))
        if not usual and transform == DELTA:
            jobs.append((index, DELTA, distance, delta(data, distance), kind))

    def spec_line(path, kind, coding=None):
        row = PICTURE_ROW if kind == "picture" else 1
        line = "%s %s %d" % (path, "code" if kind == "code" else "data", row)
        if coding:
            line += " %d %d " % coding[:2] + " ".join("%x" % m for m in coding[2])
        return line

    paths, found = {}, {}
    for n, (index, transform, distance, data, kind) in enumerate(jobs):
        paths[n] = os.path.join(folder, "piece%d.bin" % n)
        with open(paths[n], "wb") as f:
            f.write(data)

    # What was found holds as long as the encoder (and with it the model)
    # and the piece are the same.
    encoder = hashlib.sha1(open(cm_pack, "rb").read()).digest()

    def search(n):
        index, transform, distance, data, kind = jobs[n]
        key = hashlib.sha1(encoder + spec_line("", kind).encode() + data).hexdigest()
        if usual:
            return n, CM_USUAL[kind], None
        if cache is None or key not in cache:
            packed, rate, limit, masks = cm_run(cm_pack, [spec_line(paths[n], kind)], folder)[1][0]
            return n, (rate, limit, masks), (key, [rate, limit, list(masks), packed])
        return n, (cache[key][0], cache[key][1], tuple(cache[key][2])), (key, cache[key])

    remembered, alone = {}, {}   # alone: what each way costs by itself
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for n, coding, entry in pool.map(search, range(len(jobs))):
            found[n] = coding
            alone[n] = entry[1][3] if entry else 0
            if entry:
                remembered[entry[0]] = entry[1]
    if cache is not None:     # only what this image uses is kept
        cache.clear()
        cache.update(remembered)

    # The smallest way for each piece, then all in one stream.
    best = {}
    for n, job in enumerate(jobs):
        if job[0] not in best or alone[n] < alone[best[job[0]]]:
            best[job[0]] = n
    lines = []
    for index, (label, offset, size, kind) in enumerate(cuts):
        if kind == "zeros":
            lines.append("%d zeros 1" % size)
        else:
            n = best[index]
            lines.append(spec_line(paths[n], kind, found[n]))
    stream, codings = cm_run(cm_pack, lines, folder)
    for path in paths.values():
        os.remove(path)
    pieces = []
    for index, (label, offset, size, kind) in enumerate(cuts):
        packed, rate, limit, masks = codings[index]
        if kind == "zeros":
            pieces.append((label, offset, size, 0, ZEROS, 0, 1, 1, 1, (0,) * CM_MODELS, 0, ""))
            continue
        n = best[index]
        pieces.append((label, offset, size, packed, jobs[n][1], jobs[n][2],
                       PICTURE_ROW if kind == "picture" else 1, rate, limit, masks) + lzma_of[index])
    return pieces, stream


def compact_imports(show, image):
    """The image with its import directory replaced by the list the stub
    binds (release/stub_win32.c): for each DLL the address of its address
    table (4 bytes), its name and its functions' names, each ended by a
    zero, then an empty name; an address of 0 ends the list. The list lies
    after the address tables, which are left zero (the stub fills them);
    the header's import entry points at it. The names are what the system's
    loader would use, without the hints, the descriptors and the name
    tables (some 0.2 KB packed)."""
    at, size = show.directory(1)
    tables, tables_size = show.directory(12)
    if not size or not tables_size:
        return image
    def cstring(address):
        return bytes(image[address:image.index(b"\0", address)])
    entry = 8 if show.pe64 else 4
    listing, first, last = b"", at, at + size
    while True:
        names, _, _, dll, slots = struct.unpack_from("<IIIII", image, at)
        if not dll:
            break
        if not names:
            fail("an import descriptor without its name table")
        listing += struct.pack("<I", slots) + cstring(dll) + b"\0"
        first, last = min(first, names, dll), max(last, dll + len(cstring(dll)) + 1)
        while True:
            value = int.from_bytes(image[names:names + entry], "little")
            if not value:
                break
            if value >> (entry * 8 - 1):
                fail("an import by ordinal, which the stub does not bind")
            listing += cstring(value + 2) + b"\0"
            first, last = min(first, value), max(last, value + 2 + len(cstring(value + 2)) + 1)
            names += entry
        first, last = min(first, names), max(last, names + entry)
        listing += b"\0"
        at += 20
    listing += bytes(4)
    # Everything the directory used goes, the address tables' contents too.
    start, end = min(first, tables), max(last, tables + tables_size)
    place = tables + tables_size
    if place + len(listing) > end:
        fail("the import list does not fit where the import directory was")
    image = bytearray(image)
    image[start:end] = bytes(end - start)
    image[place:place + len(listing)] = listing
    struct.pack_into("<II", image, show.dirs_at + 8, place, len(listing))
    return image


def cm_table(image, end, pieces, payload, image_offset, payload_offset, scratch):
    out = MAGIC + struct.pack("<IIIIII", image_offset, payload_offset, len(payload), scratch,
                              fnv(image[:end]), len(pieces))
    for p in pieces:
        out += struct.pack("<IBBHBB8HH", p[2], p[4], p[5], p[6], p[7], p[8], *p[9], 0)
    return out + bytes(28 * (CM_MAX_PIECES - len(pieces)))


def cm_description(p):
    what = ["calls"] if p[4] == CALLS else ["delta=%d" % p[5]] if p[4] == DELTA else []
    if p[4] == ZEROS:
        return "left to the memory"
    masks = ",".join("%x" % m for m in p[9] if m)
    return ",".join(what + ["cm rate=%d limit=%d models=%s" % (p[7], p[8], masks)])


# --- Writing the packed file -------------------------------------------------

def stub_imports(stub):
    """The stub's import directory (address, size). The linker leaves the
    entry empty when the imports share the code's section (stub_win32.ld):
    then it is the descriptor whose address table is the stub's, and the
    null descriptor after it."""
    if stub.directory(1)[1]:
        return stub.directory(1)
    iat = stub.directory(12)[0]
    memory = stub.memory()
    for at in range(0, len(memory) - 40, 4):
        if struct.unpack_from("<I", memory, at + 16)[0] == iat and not any(memory[at + 20:at + 40]):
            name = struct.unpack_from("<I", memory, at + 12)[0]
            if memory[name:name + 13].lower() == b"kernel32.dll\0":
                return (at, 40)
    fail("the stub has no import descriptor")


def write_pe(show, stub, payload, table_for):
    """The packed file's bytes. table_for(payload_address, scratch) gives
    the unpack table once the layout is known."""
    if stub.machine != show.machine or stub.pe64 != show.pe64:
        fail("the stub is not built for the show's machine")
    if stub.base + STUB_SPAN != show.base:
        fail("the stub is linked at 0x%x, not 0x%x" % (stub.base, show.base - STUB_SPAN))
    if show.directory(5)[1]:
        fail("the show has relocations: link it with --disable-reloc-section at a fixed base")
    if len(stub.sections) != 1:
        fail("the stub has %d sections, not one (stub_win32.ld)" % len(stub.sections))
    sa, fa = 0x1000, 0x200

    # The stub's section with the payload after its code: one section to pad.
    name, vsize, va, rsize, rptr, flags = stub.sections[0]
    code = stub.data[rptr:rptr + min(vsize, rsize)]
    scratch = align(show.size_of_image, 16)
    tab = table_for(va + len(code), scratch)
    at = code.find(MAGIC)
    if at < 0 or code.find(MAGIC, at + 1) >= 0:
        fail("the stub does not have one unpack table")
    if len(code) - at < len(tab):
        fail("the stub's unpack table is too small")
    data = code[:at] + tab + code[at + len(tab):] + payload
    reserve_va = align(va + len(data), sa)
    if reserve_va > STUB_SPAN:
        fail("the stub and the payload are larger than the addresses below the image")
    reserve_end = align(STUB_SPAN + scratch + CM_SCRATCH, sa)

    nsections = 2
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

    place(name, len(data), va, data, flags)
    place(b".tavimo", reserve_end - reserve_va, reserve_va, b"", 0xe0000080)
    size_of_image = reserve_end

    # Headers: the show's optional header with the packed file's layout.
    opt = bytearray(show.data[show.opt:show.opt + opt_size])
    struct.pack_into("<III", opt, 4, len(data), 0, reserve_end - reserve_va)
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
    struct.pack_into("<II", opt, dirs + 8 * 1, *stub_imports(stub))
    struct.pack_into("<II", opt, dirs + 8 * 12, *stub.directory(12))
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
    lines = ["byte budget of %s: %d bytes, unpacking to an image of %d bytes (context mixing;"
             " raw LZMA beside it for comparison)" % (name, total, image_end)]
    lines.append("  %-44s %7s %7s %7s  %s" % ("piece", "bytes", "lzma", "packed", "coding"))
    lines += ["  %-44s %7d %7d %7d  %s" % (p[0], p[2], p[10], p[3], cm_description(p)) for p in pieces]
    def total_of(code, column):
        return sum(p[column] for p in pieces if p[0].startswith("code") == code)
    payload = sum(p[3] for p in pieces)
    lines.append("  %-44s %7s %7d %7d" % ("code in all", "", total_of(True, 10), total_of(True, 3)))
    lines.append("  %-44s %7s %7d %7d" % ("assets in all", "", total_of(False, 10), total_of(False, 3)))
    lines.append("  %-44s %7s %7s %7d" % ("stub, headers and alignment", "", "", total - payload))
    lines.append("  %-44s %7s %7s %7d" % ("  of which the stub's code", "", "", stub_bytes))
    lines.append("  %-44s %7s %7s %7d" % ("total: " + name, "", "", total))
    lines.append("  %-44s %7s %7s %7d" % ("left of %d" % LIMIT, "", "", LIMIT - total))
    if total > LIMIT:
        lines.append("  OVER THE LIMIT by %d bytes" % (total - LIMIT))
    return "\n".join(lines) + "\n"


def load_cache(path):
    try:
        cache = json.load(open(path))
        return cache if isinstance(cache, dict) else {}
    except (OSError, ValueError):
        return {}


def main(argv):
    if len(argv) == 6 and argv[1] == "--cm-payload":
        blob = open(argv[4], "rb").read()
        image = open(argv[3], "rb").read()[:CM_PAYLOAD_CODE] + blob
        end = len(image.rstrip(b"\0"))
        with tempfile.TemporaryDirectory() as folder:
            pieces, payload = cm_pack_image(image, end, blob, argv[2], folder, usual=True)
        tab = cm_table(image, end, pieces, payload, 0, len(image), align(len(image), 16))
        with open(argv[5], "wb") as f:
            f.write(tab + payload)
        return
    if len(argv) not in (6, 7) or argv[1].startswith("-"):
        sys.exit("usage: pack_pe.py IMAGE STUB BLOB CM_PACK OUTPUT [BUDGET]\n"
                 "       pack_pe.py --cm-payload CM_PACK CODE BLOB OUTPUT")
    show, stub = Pe(argv[1]), Pe(argv[2])
    blob = open(argv[3], "rb").read()
    output = argv[5]
    image = compact_imports(show, show.memory())
    end = len(image.rstrip(b"\0"))
    cache = load_cache(output + ".cm-cache")
    with tempfile.TemporaryDirectory(dir=os.path.dirname(os.path.abspath(output))) as folder:
        pieces, payload = cm_pack_image(image, end, blob, argv[4], folder, cache)
    packed = write_pe(show, stub, payload,
                      lambda payload_offset, scratch: cm_table(image, end, pieces, payload, STUB_SPAN,
                                                               payload_offset, scratch))
    for path, data in ((output + ".image", bytes(image[:end])), (output, packed),
                       (output + ".cm-cache", json.dumps(cache, indent=0, sort_keys=True).encode())):
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)
    stub_code = sum(s[1] for s in stub.sections if s[5] & 0x20)
    text = budget_text(output, len(packed), end, pieces, stub_code)
    if len(argv) == 7:
        open(argv[6], "w").write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    try:
        main(sys.argv)
    except OSError as e:
        fail("%s: %s" % (e.filename or "output", e.strerror))
    except (struct.error, IndexError, ValueError, lzma.LZMAError) as e:
        fail("a file is damaged or not what it should be (%s)" % e)
