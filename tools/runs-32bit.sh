#!/usr/bin/env bash
# Exits 0 when this kernel runs 32-bit x86 programs, 1 when it does not.
# It runs the smallest such program there is: a static 32-bit ELF of 96
# bytes, written here, whose one job is the system call exit(7). Needs no
# 32-bit libraries or compiler, so it answers before anything is installed.
# The program is written into folder $1 (default $TMPDIR or /tmp), which
# must allow running programs.
set -u
dir=${1:-${TMPDIR:-/tmp}}
probe=$(mktemp -p "$dir" runs-32bit.XXXXXX) || exit 1
trap 'rm -f "$probe"' EXIT
# ELF header: 32-bit, little-endian, an executable for the 386, entry point
# 0x08048054 (just past the headers), one program header at offset 52.
elf='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
elf+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
elf+='\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
# The program header: the whole 96-byte file loaded at 0x08048000, readable
# and executable.
elf+='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
elf+='\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
# mov eax, 1 (exit); mov ebx, 7; int 0x80
elf+='\xb8\x01\x00\x00\x00\xbb\x07\x00\x00\x00\xcd\x80'
printf "$elf" >"$probe" && chmod +x "$probe" || exit 1
"$probe" 2>/dev/null
[ $? = 7 ]
