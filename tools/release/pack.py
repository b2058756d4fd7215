#!/usr/bin/env python3
# pack.py -- packs the release build of the show into one self-extracting file
# and prints its byte budget.
#
# Usage: pack.py PROGRAM BLOB OUTPUT [BUDGET]
#   PROGRAM  the stripped release executable (build-release/tavimo)
#   BLOB     the asset blob linked into it (build-release/asset_blob.bin)
#   OUTPUT   the packed file (build-release/tavimo-64k)
#   BUDGET   where to write the budget table (build-release/budget.txt);
#            without it, the table goes to standard output
#
# The packed file is the shell stub (release/stub.sh) followed by PROGRAM as a row of
# .xz streams, which `xz -d` unpacks one after another into the program: one
# stream for the code before the asset blob, one for each asset, one for the
# code after the blob. Each piece gets the filters that suit it best (the
# x86 branch filter for code, a delta filter for pictures and palettes, and
# LZMA2's literal and position bits), found by trying a small set, so the
# budget's figures are the exact bytes each piece costs and add up to the
# file. A file over 65536 bytes is still written (the release test reports
# it); the script fails only when packing itself fails.
import lzma
import os
import subprocess
import sys

LIMIT = 65536
HERE = os.path.dirname(os.path.abspath(__file__))


def blob_parts():
    """(name, size) of each asset, in blob order, from the list of pieces."""
    lines = open(os.path.join(HERE, "..", "..", "assets", "blob.txt")).read().splitlines()
    return [(l.split()[0], int(l.split()[1])) for l in lines if l.strip() and not l.startswith("#")]


def lzma2(lc, lp, pb):
    # preset 9e's search; the dictionary only has to hold the piece.
    return {"id": lzma.FILTER_LZMA2, "preset": 9 | lzma.PRESET_EXTREME,
            "dict_size": 1 << 20, "lc": lc, "lp": lp, "pb": pb}


def describe(chain):
    words = []
    for f in chain:
        if f["id"] == lzma.FILTER_X86:
            words.append("x86")
        elif f["id"] == lzma.FILTER_DELTA:
            words.append("delta=%d" % f["dist"])
        else:
            words.append("lzma2 lc=%d lp=%d pb=%d" % (f["lc"], f["lp"], f["pb"]))
    return ",".join(words)


def pack_piece(data, code):
    """The smallest .xz stream of `data` over the filter chains tried."""
    heads = [[], [{"id": lzma.FILTER_X86}]] if code else \
        [[]] + [[{"id": lzma.FILTER_DELTA, "dist": d}] for d in (1, 2, 4, 160)]
    best = None
    for head in heads:
        for lc in (0, 1, 2, 3):
            for lp in (0, 2):
                for pb in (0, 2):
                    if lc + lp > 4:  # LZMA2's limit
                        continue
                    chain = head + [lzma2(lc, lp, pb)]
                    out = lzma.compress(data, format=lzma.FORMAT_XZ,
                                        check=lzma.CHECK_CRC32, filters=chain)
                    if best is None or len(out) < len(best[0]):
                        best = (out, chain)
    return best


def main(argv):
    if len(argv) not in (4, 5):
        sys.exit("usage: pack.py PROGRAM BLOB OUTPUT [BUDGET]")
    program = open(argv[1], "rb").read()
    blob = open(argv[2], "rb").read()
    output = argv[3]
    at = program.find(blob)
    if at < 0:
        sys.exit("pack.py: the asset blob is not in the program")

    # The pieces, in program order: (label, bytes, is code).
    pieces = [("code before the asset blob", program[:at], True)]
    offset = at
    for name, size in blob_parts():
        pieces.append(("asset " + name, program[offset:offset + size], False))
        offset += size
    if offset != at + len(blob):
        sys.exit("pack.py: assets/blob.txt's sizes do not add up to the blob")
    pieces.append(("code after the asset blob", program[offset:], True))

    rows, payload = [], b""
    for label, data, code in pieces:
        if not data:
            continue
        stream, chain = pack_piece(data, code)
        rows.append((label, len(data), len(stream), describe(chain)))
        payload += stream

    # The stub's own command must give back the program exactly.
    unpacked = subprocess.run(["xz", "-dcq"], input=payload, stdout=subprocess.PIPE,
                              check=True).stdout
    if unpacked != program:
        sys.exit("pack.py: the packed program does not unpack to itself")

    lines = [l for l in open(os.path.join(HERE, "..", "..", "release", "stub.sh")).read().splitlines()
             if not l.startswith("# ")]
    if len(lines) != 2:
        sys.exit("pack.py: the stub must be two lines once its comments are dropped")
    stub = ("\n".join(lines) + "\n").encode()
    tmp = output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(stub + payload)
    os.chmod(tmp, 0o755)
    os.replace(tmp, output)

    total = len(stub) + len(payload)
    code = sum(r[2] for r in rows if r[0].startswith("code"))
    report = ["byte budget of %s: %d bytes unpacked to %d (xz streams, CRC32)"
              % (os.path.basename(output), total, len(program))]
    report.append("  %-44s %7s %7s  %s" % ("piece", "bytes", "packed", "filters"))
    report += ["  %-44s %7d %7d  %s" % row for row in rows]
    report.append("  %-44s %7s %7d" % ("code in all", "", code))
    report.append("  %-44s %7s %7d" % ("assets in all", "", len(payload) - code))
    report.append("  %-44s %7s %7d" % ("stub", "", len(stub)))
    report.append("  %-44s %7s %7d" % ("total: " + os.path.basename(output), "", total))
    report.append("  %-44s %7s %7d" % ("left of %d" % LIMIT, "", LIMIT - total))
    if total > LIMIT:
        report.append("  OVER THE LIMIT by %d bytes" % (total - LIMIT))
    text = "\n".join(report) + "\n"
    if len(argv) == 5:
        open(argv[4], "w").write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main(sys.argv)
