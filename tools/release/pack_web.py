#!/usr/bin/python3
"""pack_web.py -- the web build's asset blob, packed as the Windows
release packs its pieces (tools/release/pack_pe.py): one raw LZMA stream per
asset with the transform that suits it, behind the decoder's table
(release/unpack.h). The page then carries the assets compressed better
than a server's gzip would; assets/assets_web.cpp unpacks them at start.
Usage: pack_web.py ASSET_BLOB OUT"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pack_pe  # noqa: E402


def main(argv):
    if len(argv) != 3:
        sys.exit("usage: pack_web.py ASSET_BLOB OUT")
    blob = open(argv[1], "rb").read()
    pieces, payload, offset = [], b"", 0
    for name, size in pack_pe.blob_parts():
        stream, properties, transform, distance, what = pack_pe.pack_piece(blob[offset:offset + size], False)
        pieces.append((name, offset, size, stream, properties, transform, distance, what))
        payload += stream
        offset += size
    if offset != len(blob):
        sys.exit("pack_web.py: assets/blob.txt's sizes do not add up to the blob")
    table = pack_pe.table(blob, pieces, payload, len(blob), 0, 0, 0)
    with open(argv[2], "wb") as out:
        out.write(table + payload)


if __name__ == "__main__":
    main(sys.argv)
