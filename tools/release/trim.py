#!/usr/bin/env python3
# trim.py -- drops what a 64-bit ELF executable carries only for tools and
# not for running it: the section header table and the sections that no
# segment loads (.comment, .shstrtab), which the linker places after every
# loaded byte. The program headers, which are all the loader reads, stay as
# they are; only the file's tail goes and the header stops pointing at it.
#
# Usage: trim.py PROGRAM   (rewrites PROGRAM in place; a trimmed file is
# left as it is)
import os
import struct
import sys


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: trim.py PROGRAM")
    path = argv[1]
    data = bytearray(open(path, "rb").read())
    if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
        sys.exit("trim.py: %s is not a little-endian 64-bit ELF file" % path)
    phoff, shoff = struct.unpack_from("<QQ", data, 0x20)
    phentsize, phnum = struct.unpack_from("<HH", data, 0x36)
    if shoff == 0:
        return
    end = phoff + phentsize * phnum
    for i in range(phnum):
        p_type, _, p_offset, _, _, p_filesz = struct.unpack_from(
            "<IIQQQQ", data, phoff + i * phentsize)
        if p_type != 0:  # every segment's bytes stay, not only the loaded ones
            end = max(end, p_offset + p_filesz)
    if shoff < end:
        sys.exit("trim.py: the section headers of %s lie inside a segment" % path)
    struct.pack_into("<Q", data, 0x28, 0)          # e_shoff
    struct.pack_into("<HHH", data, 0x3A, 0, 0, 0)  # e_shentsize, e_shnum, e_shstrndx
    tmp = path + ".trim"
    with open(tmp, "wb") as f:
        f.write(data[:end])
    os.chmod(tmp, os.stat(path).st_mode & 0o7777)
    os.replace(tmp, path)


if __name__ == "__main__":
    main(sys.argv)
