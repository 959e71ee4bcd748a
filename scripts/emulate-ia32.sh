#!/usr/bin/env bash
# Where this machine cannot execute 32-bit x86 programs itself (probe-ia32.sh), registers the
# qemu-i386 user-mode emulator as the kernel's handler for them (binfmt_misc, as root), so that
# 32-bit Wine, and with it the i686 DLL's suites, run after all: slower, but the same programs
# through the same Windows loader. The kernel tries its own loaders before any such handler, so
# on a machine that runs 32-bit programs natively the handler is never used.
#   emulate-ia32.sh           exit 0 when 32-bit programs run now (natively, or emulated
#                             through the handler); otherwise exit 1 and print why on stdout
#   emulate-ia32.sh --active  exit 0 when the handler is registered: it is only ever registered
#                             where the probe failed, so 32-bit programs here run emulated
# wine-run.sh sizes the emulated address space for Wine (QEMU_RESERVED_VA, see there).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
misc=/proc/sys/fs/binfmt_misc
name=qx-i386
if [ "${1:-}" = --active ]; then
    [ -e "$misc/$name" ]
    exit
fi
bash "$here/probe-ia32.sh" >/dev/null && exit 0

emulator=$(command -v qemu-i386) || { echo "qemu-i386 is not installed"; exit 1; }
if [ ! -e "$misc/register" ]; then
    mount -t binfmt_misc binfmt_misc "$misc" 2>/dev/null ||
        { echo "binfmt_misc is not available to register an emulator (not root, or no kernel support)"; exit 1; }
fi
if [ ! -e "$misc/$name" ]; then
    # i386 ELF executables and shared objects (type 2 or 3, machine 3); the kernel reads the \x
    # escapes itself, so they are written as they stand.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf ':%s:M::%s:%s:%s:\n' "$name" "$magic" "$mask" "$emulator" >"$misc/register" 2>/dev/null ||
        { echo "the kernel refused the qemu-i386 handler"; exit 1; }
fi
echo 1 >"$misc/$name" 2>/dev/null || true # enabled, should someone have switched it off
if ! why=$(bash "$here/probe-ia32.sh"); then
    echo "$why, not even through the qemu-i386 handler"
    exit 1
fi
exit 0
