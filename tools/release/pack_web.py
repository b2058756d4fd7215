#!/usr/bin/python3
"""pack_web.py -- the web build's asset blob, packed as the Windows
release packs its assets (tools/release/pack_pe.py): one stream of our
context-mixing coder (release/unpack_cm.h), each asset with the models,
mixer rate and counter limit that code it smallest (cm_pack's search,
remembered in OUT.cm-cache), behind the decoder's table. The page then
carries the assets compressed far better than a server's gzip would;
assets/assets_web.cpp unpacks them at start.
Usage: pack_web.py CM_PACK ASSET_BLOB OUT
  CM_PACK is the encoder built with the page's table size (CM_SLOT_BITS)."""
import json
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pack_pe  # noqa: E402


def main(argv):
    if len(argv) != 4:
        sys.exit("usage: pack_web.py CM_PACK ASSET_BLOB OUT")
    cm_pack, out = argv[1], argv[3]
    blob = open(argv[2], "rb").read()
    cache = pack_pe.load_cache(out + ".cm-cache")
    with tempfile.TemporaryDirectory(dir=os.path.dirname(os.path.abspath(out))) as folder:
        # The image is the blob alone: its pieces are the assets.
        pieces, payload = pack_pe.cm_pack_image(blob, len(blob), blob, cm_pack, folder, cache)
    table = pack_pe.cm_table(blob, len(blob), pieces, payload, 0, 0, 0)
    for path, data in ((out, table + payload),
                       (out + ".cm-cache", json.dumps(cache, indent=0, sort_keys=True).encode())):
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)


if __name__ == "__main__":
    try:
        main(sys.argv)
    except OSError as e:
        sys.exit("pack_web.py: %s: %s" % (e.filename or "output", e.strerror))
