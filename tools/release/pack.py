#!/usr/bin/env python3
# pack.py -- packs the release build of the show into one self-extracting file
# and prints its byte budget.
#
# Usage: pack.py PROGRAM BLOB OUTPUT [BUDGET]
#   PROGRAM  the stripped release executable (build-release/tavimo)
#   BLOB     the asset blob linked into it (build-release/asset_blob.bin)
#   OUTPUT   the packed file (build-release/tavimo-64k)
#   BUDGET   where to write the budget table as well (build-release/budget.txt)
#
# The packed file is the shell stub (stub.sh) followed by PROGRAM compressed
# by xz as a raw LZMA2 stream; the stub unpacks it with the same xz. A few
# literal/position settings are tried and the smallest result kept. The
# budget compresses the code (PROGRAM without the blob) and each asset alone
# with the chosen settings, so that each figure says what its piece costs.
# A file over 65536 bytes is still written (the release test reports it);
# the script fails only when packing itself fails.
import os
import re
import subprocess
import sys

LIMIT = 65536
HERE = os.path.dirname(os.path.abspath(__file__))


def xz(data, args):
    return subprocess.run(["xz", "-cq"] + args, input=data, stdout=subprocess.PIPE,
                          check=True).stdout


def blob_parts():
    """(name, size) of each asset, in blob order, from the blob packer."""
    text = open(os.path.join(HERE, "..", "..", "runtime", "make_blob.cmake")).read()
    return [(n, int(s)) for n, s in re.findall(r"^\s+([\w.]+):(\d+)\)?$", text, re.M)]


def main(argv):
    if len(argv) not in (4, 5):
        sys.exit("usage: pack.py PROGRAM BLOB OUTPUT [BUDGET]")
    program = open(argv[1], "rb").read()
    blob = open(argv[2], "rb").read()
    output = argv[3]

    # The settings tried: the x86 branch filter or none, then LZMA2's literal
    # context bits and position bits. The dictionary only has to hold the file.
    best = None
    for branch in ("", "--x86"):
        for lc in (0, 1, 2, 3):
            for pb in (0, 2):
                options = "preset=9e,dict=1MiB,lc=%d,lp=0,pb=%d" % (lc, pb)
                encode = ([branch] if branch else []) + ["-Fraw", "--lzma2=" + options]
                packed = xz(program, encode)
                if best is None or len(packed) < len(best[0]):
                    best = (packed, branch, encode)
    packed, branch, encode = best
    decode = ((branch + " ") if branch else "") + "--lzma2"
    unpacked = xz(packed, ["-d", "-Fraw"] + decode.split())
    if unpacked != program:
        sys.exit("pack.py: the packed program does not unpack to itself")

    lines = [l for l in open(os.path.join(HERE, "stub.sh")).read().splitlines()
             if not l.startswith("# ")]
    if len(lines) != 2:
        sys.exit("pack.py: the stub must be two lines once its comments are dropped")
    stub = ("\n".join(lines) + "\n").replace("@FILTERS@", decode).encode()
    tmp = output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(stub + packed)
    os.chmod(tmp, 0o755)
    os.replace(tmp, output)

    # The budget.
    at = program.find(blob)
    if at < 0:
        sys.exit("pack.py: the asset blob is not in the program")
    code = xz(program[:at] + program[at + len(blob):], encode)
    rows = [("code (program without the asset blob, %d bytes)" % (len(program) - len(blob)),
             len(code))]
    offset = 0
    for name, size in blob_parts():
        piece = blob[offset:offset + size]
        rows.append(("asset %s (%d bytes)" % (name, size), len(xz(piece, encode))))
        offset += size
    total = len(stub) + len(packed)
    report = ["byte budget of %s (xz %s)" % (os.path.basename(output), " ".join(encode))]
    report += ["  %-52s %6d" % row for row in rows]
    report.append("  %-52s %6d" % ("sum of the pieces compressed alone", sum(r[1] for r in rows)))
    report.append("  %-52s %6d" % ("program compressed whole (%d bytes)" % len(program),
                                   len(packed)))
    report.append("  %-52s %6d" % ("stub", len(stub)))
    report.append("  %-52s %6d" % ("total: %s" % os.path.basename(output), total))
    report.append("  %-52s %6d" % ("left of %d" % LIMIT, LIMIT - total))
    if total > LIMIT:
        report.append("  OVER THE LIMIT by %d bytes" % (total - LIMIT))
    text = "\n".join(report) + "\n"
    sys.stdout.write(text)
    if len(argv) == 5:
        open(argv[4], "w").write(text)


if __name__ == "__main__":
    main(sys.argv)
