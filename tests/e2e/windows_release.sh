#!/usr/bin/env bash
# The packed Windows release (make release-windows, make release-windows64)
# read as the system's loader reads it: one PE file of at most 65536 bytes
# for the GUI subsystem, importing only the stub's four kernel32 functions,
# with no relocations, its stub's code and the payload after it in one
# read-only section, the show's image reserved at the address it was linked
# for (writable and executable, no contents in the file); the stack sizes and
# subsystem version are the show's. (That the payload decodes to the linked
# image is checked by the test binary, ReleaseUnpack.*.) The first argument
# (the SDL2 build) is not used.
set -u
SOURCE_DIR=${TAVIMO_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}

fail() { echo "FAIL: $*" >&2; exit 1; }
checked=0
for dir in "${TAVIMO_RELEASE_WIN32_BUILD_DIR:-$SOURCE_DIR/build-release-win32}" \
           "${TAVIMO_RELEASE_WIN64_BUILD_DIR:-$SOURCE_DIR/build-release-win64}"; do
  exe=$dir/tavimo-64k.exe
  [ -f "$exe" ] || { echo "note: $dir/tavimo-64k.exe is not built"; continue; }
  python3 - "$exe" "$dir/tavimo.exe" <<'EOF' || fail "$dir/tavimo-64k.exe"
import struct, sys
packed, linked = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()

def pe(data):
    nt = struct.unpack_from("<I", data, 0x3c)[0]
    assert data[:2] == b"MZ" and data[nt:nt + 4] == b"PE\0\0", "not a PE file"
    machine, count, _, _, _, opt_size, flags = struct.unpack_from("<HHIIIHH", data, nt + 4)
    opt = nt + 24
    pe64 = struct.unpack_from("<H", data, opt)[0] == 0x20b
    f = {"machine": machine, "flags": flags, "pe64": pe64,
         "entry": struct.unpack_from("<I", data, opt + 16)[0],
         "base": struct.unpack_from("<Q" if pe64 else "<I", data, opt + (24 if pe64 else 28))[0],
         "size_of_image": struct.unpack_from("<I", data, opt + 56)[0],
         "subsystem": struct.unpack_from("<HH", data, opt + 68),
         "version": struct.unpack_from("<HH", data, opt + 48),
         "stack": struct.unpack_from("<QQ" if pe64 else "<II", data, opt + 72)}
    dirs = opt + (112 if pe64 else 96)
    f["dirs"] = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
    f["sections"] = []
    for i in range(count):
        name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * i)
        chars = struct.unpack_from("<I", data, opt + opt_size + 40 * i + 36)[0]
        f["sections"].append((name.rstrip(b"\0").decode(), vsize, va, rsize, raw, chars))
    return f

def rva_to_file(f, rva):
    for name, vsize, va, rsize, raw, chars in f["sections"]:
        if va <= rva < va + max(vsize, rsize):
            assert rva - va < rsize, "address 0x%x has no contents in the file" % rva
            return raw + rva - va
    raise AssertionError("address 0x%x is in no section" % rva)

def cstring(data, at):
    return data[at:data.index(b"\0", at)].decode()

p, l = pe(packed), pe(linked)
problems = []
def check(ok, what):
    if not ok:
        problems.append(what)

check(len(packed) <= 65536, "%d bytes, over 65536" % len(packed))
check(p["machine"] == l["machine"] == (0x8664 if p["pe64"] else 0x14c), "machine 0x%x" % p["machine"])
check(p["subsystem"][0] == 2, "subsystem %d, not the GUI's (2)" % p["subsystem"][0])
check(p["version"] == l["version"] and p["stack"] == l["stack"],
      "subsystem version or stack sizes differ from the show's")
check(p["flags"] & 1 and p["dirs"][5] == (0, 0), "has relocations")
check(l["dirs"][5] == (0, 0), "the show's image has relocations")
check(p["base"] + 0x10000 == l["base"], "packed at 0x%x, the image at 0x%x" % (p["base"], l["base"]))
check(all(d == (0, 0) for i, d in enumerate(p["dirs"]) if i not in (1, 3, 12)),
      "data directories other than imports and unwind data")

# Imports: the stub's four functions of kernel32, nothing else.
imports = []
at = rva_to_file(p, p["dirs"][1][0])
while True:
    thunks, _, _, name, iat = struct.unpack_from("<IIIII", packed, at)
    if name == 0:
        break
    dll = cstring(packed, rva_to_file(p, name)).lower()
    t = rva_to_file(p, thunks or iat)
    size = 8 if p["pe64"] else 4
    while True:
        entry = struct.unpack_from("<Q" if size == 8 else "<I", packed, t)[0]
        if entry == 0:
            break
        imports.append(dll + ":" + cstring(packed, rva_to_file(p, entry) + 2))
        t += size
    at += 20
expected = ["kernel32.dll:" + n for n in ("ExitProcess", "GetProcAddress", "LoadLibraryA", "VirtualProtect")]
check(sorted(imports) == expected, "imports %s" % imports)

# Sections: the stub's one section, its code followed by the payload,
# read-only and executable, ending the file; the reserve for the show's
# image at its base, writable and executable without contents.
X, R, W = 0x20000000, 0x40000000, 0x80000000
secs = p["sections"]
names = [s[0] for s in secs]
check(len(secs) == 2 and names[1] == ".tavimo", "sections %s" % names)
name, vsize, va, rsize, raw, chars = secs[0]
check(chars & (X | R) == X | R and not chars & W, "the stub's section %s is writable or not executable" % name)
check(va + max(vsize, rsize) <= 0x10000, "the stub's section %s reaches into the image" % name)
check(va <= p["entry"] < va + vsize, "the entry point is not in the stub's code")
check(raw + rsize == len(packed), "the stub's section does not end the file")
table = packed.index(b"packlive")
payload, payload_size = struct.unpack_from("<II", packed, table + 12)
check(va < payload and payload + payload_size == va + vsize, "the payload does not end the stub's section")
name, vsize, va, rsize, raw, chars = secs[-1]
check(rsize == 0 and chars & (X | R | W) == X | R | W, ".tavimo has contents or lacks a permission")
check(va <= 0x10000 and va + vsize >= 0x10000 + l["size_of_image"],
      ".tavimo does not cover the image (0x%x..0x%x)" % (va, va + vsize))
for a, b in zip(secs, secs[1:]):
    check(a[2] + max(a[1], a[3]) <= b[2], "sections %s and %s overlap" % (a[0], b[0]))
check(p["size_of_image"] >= secs[-1][2] + secs[-1][1], "SizeOfImage too small")

if problems:
    sys.exit("\n".join(problems))
print("ok: %s, %d bytes, %s, imports %s, sections %s"
      % (sys.argv[1].split("/")[-2], len(packed), "PE32+" if p["pe64"] else "PE32",
         " ".join(i.split(":")[1] for i in imports), " ".join(names)))
EOF
  checked=$((checked + 1))
done
if [ "$checked" = 0 ]; then
  echo "SKIP: no packed Windows release is built (make release-windows)" >&2
  exit 77
fi
