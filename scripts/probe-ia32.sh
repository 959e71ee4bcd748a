#!/usr/bin/env bash
# Tells whether this machine executes 32-bit x86 programs: 32-bit Wine, and so the i686 suites,
# need it, and some kernels are built or booted without it. The answer comes from running a
# 93-byte static i386 program that only exits with status 0, never from the CPU's name.
#   probe-ia32.sh          exit 0 when it runs; otherwise exit 1 and print why on stdout
set -u
dir=${TMPDIR:-/tmp}/qx-ia32-probe.$$
mkdir -p "$dir" || { echo "cannot create $dir"; exit 1; }
trap 'rm -rf "$dir"' EXIT
bin=$dir/exit0
# ELF header, one loadable segment at 0x08048000, then: mov eax,1; xor ebx,ebx; int 0x80 (exit 0).
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$bin"
printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$bin"
printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >>"$bin"
printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$bin"
printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$bin"
printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >>"$bin"
chmod +x "$bin"
if err=$("$bin" 2>&1); then
    exit 0
fi
reason=$(dmesg 2>/dev/null | grep -m1 -i 'IA-32 emulation' | sed 's/^\[[^]]*\] *//')
[ -n "$reason" ] || reason=$(printf '%s' "$err" | sed "s|$dir/exit0|a 32-bit test program|" | head -n 1)
echo "this machine does not execute 32-bit x86 programs (${reason:-the test program did not run})"
exit 1
