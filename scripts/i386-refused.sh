#!/usr/bin/env bash
# Exits 0 (and says why on stderr) when this machine's kernel does not run 32-bit x86
# programs itself, as some virtual machines do not: then Wine's 32-bit side, and with it
# every Windows program we build, cannot run here. A user-mode emulator registered for
# i386 programs does not count: Wine does not start under it (it cannot load kernel32.dll).
# Exits 1 when i386 programs run natively, or when there is no i386 loader to ask (Wine
# then reports its own problem).
loader=/lib/ld-linux.so.2
[ -x "$loader" ] || exit 1
for handler in /proc/sys/fs/binfmt_misc/*; do
  if grep -qs '^interpreter .*qemu-i386' "$handler"; then
    echo "i386 programs run here only under a user-mode emulator ($(sed -n 's/^interpreter //p' "$handler")), which Wine does not start under, so Wine cannot run the 32-bit stub or any Windows test program here" >&2
    exit 0
  fi
done
"$loader" --version >/dev/null 2>&1
[ $? -eq 126 ] || exit 1
echo "this machine's kernel refuses 32-bit x86 programs ($loader: Exec format error), so Wine cannot run the 32-bit stub or any Windows test program here" >&2
exit 0
