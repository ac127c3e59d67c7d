#!/usr/bin/env bash
# Exits 0 when this machine executes 32-bit x86 programs: assembles and links
# a static i386 program that exits with 42 (binutils alone, no multilib) and
# runs it. With --with-wine, 32-bit Wine must be installed as well, so that
# the 32-bit Windows build can run here.
#   usage: runs-32bit.sh [--with-wine]
set -uo pipefail
if [ "${1:-}" = --with-wine ] && [ ! -e /usr/lib/wine/wine ]; then
  exit 1
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '.globl _start\n_start:\n  movl $1, %%eax\n  movl $42, %%ebx\n  int $0x80\n' >"$dir/probe.s"
as --32 -o "$dir/probe.o" "$dir/probe.s" 2>/dev/null &&
  ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>/dev/null || exit 1
"$dir/probe" 2>/dev/null
[ $? -eq 42 ]
