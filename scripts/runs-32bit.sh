#!/usr/bin/env bash
# Exits 0 when this machine executes 32-bit x86 programs: assembles and links
# a static i386 program that exits with 42 (binutils alone, no multilib) and
# runs it.
set -uo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '.globl _start\n_start:\n  movl $1, %%eax\n  movl $42, %%ebx\n  int $0x80\n' >"$dir/probe.s"
as --32 -o "$dir/probe.o" "$dir/probe.s" 2>/dev/null &&
  ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>/dev/null || exit 1
"$dir/probe" 2>/dev/null
[ $? -eq 42 ]
