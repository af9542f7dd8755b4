#!/usr/bin/env bash
# Runs COMMAND where Wine's 32-bit side works, and returns its exit status.
#   scripts/in-vm.sh [--timeout SECONDS] COMMAND [ARG...]
#   scripts/in-vm.sh --needed     exits 0 and says why when Wine needs the VM here
# This is the one place that decides whether a VM is needed; the other scripts ask it.
# Where this kernel runs i386 programs, it simply runs COMMAND. Elsewhere it boots a
# small VM (qemu, software emulation, Debian's own kernel and a busybox initramfs) that
# sees this machine's files: the root read-only under a writable overlay; the checkout,
# /tmp, the user's cache folder and the current folder read-write. COMMAND runs there as
# the same user, in the same folder and environment, its stdout and stderr streamed.
# SFX_TIME_SCALE tells tests how much slower time runs there (see tests/support).
# Status: COMMAND's, or 124 when --timeout ended it, 130/143 on Ctrl+C or SIGTERM, 125
# when the VM cannot run (the reason in one line on stderr).
#   SFX_VM=always      boot the VM even where it is not needed
#   SFX_VM_CPUS, SFX_VM_MEMORY_MB   its size (default: every processor, 6144 MiB)
#   SFX_VM_CACHE       where the kernel and initramfs are kept (default ~/.cache/sfx-vm)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "in-vm: $*" >&2; }
cannot() { say "$*"; exit 125; }

# Why Wine's 32-bit side needs a VM here, on stdout; fails when it does not. Inside the
# VM it never does.
vm_needed() {
  [ "${SFX_IN_VM:-}" != 1 ] && "$root/scripts/i386-refused.sh" 2>&1
}

timeout=
while [ $# -gt 0 ]; do
  case $1 in
    --timeout) timeout=${2:?--timeout needs a number of seconds}; shift 2 ;;
    --timeout=*) timeout=${1#--timeout=}; shift ;;
    --needed) vm_needed; exit ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--timeout SECONDS] COMMAND [ARG...]" >&2; exit 2; }
case $timeout in ''|*[!0-9]*) [ -z "$timeout" ] || cannot "--timeout needs a whole number of seconds, not '$timeout'" ;; esac

if ! why=$(vm_needed) && { [ "${SFX_VM:-}" != always ] || [ "${SFX_IN_VM:-}" = 1 ]; }; then
  if [ -n "$timeout" ]; then exec timeout --foreground "$timeout" "$@"; fi
  exec "$@"
fi
say "running $1 in a VM: ${why:-SFX_VM=always}"

# What the VM needs, each missing piece in one line.
qemu=$(command -v qemu-system-x86_64 || true)
[ -n "$qemu" ] || cannot "this kernel refuses 32-bit programs and there is no qemu-system-x86_64 to run them in a VM (install qemu-system-x86: scripts/bootstrap.sh)"
# Debian 13 ships the Rust virtiofsd on its own, 12 qemu's C one; each takes its options.
if [ -x /usr/libexec/virtiofsd ]; then
  virtiofsd=/usr/libexec/virtiofsd
  share=(--shared-dir=/ --cache=always --writeback --sandbox=chroot)
elif [ -x /usr/lib/qemu/virtiofsd ]; then
  virtiofsd=/usr/lib/qemu/virtiofsd
  share=(-o source=/,cache=always,writeback,no_posix_lock,no_flock,sandbox=chroot)
else
  cannot "no virtiofsd (install virtiofsd, or qemu-system-common on Debian 12: scripts/bootstrap.sh)"
fi
busybox=$(command -v busybox || true)
[ -n "$busybox" ] && file -L "$busybox" | grep -q 'statically linked' ||
  cannot "no static busybox for the VM's initramfs (install busybox-static: scripts/bootstrap.sh)"
cpus=${SFX_VM_CPUS:-$(nproc)}
memory_mb=${SFX_VM_MEMORY_MB:-6144}
available_mb=$(( $(sed -n 's/^MemAvailable: *\([0-9]*\) kB/\1/p' /proc/meminfo) / 1024 ))
[ "$available_mb" -ge $(( memory_mb + 1024 )) ] ||
  cannot "the VM needs ${memory_mb} MiB and this machine has ${available_mb} MiB available (SFX_VM_MEMORY_MB sets less)"

# The kernel (Debian's, downloaded and unpacked, never installed) and the initramfs,
# kept between calls; each enters the cache whole, by a rename.
cache=${SFX_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sfx-vm}
modules=(virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci fuse virtiofs overlay)
mkdir -p "$cache"
kernel_dir=$(ls -d "$cache"/kernel-* 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$kernel_dir" ]; then
  package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)/\1/p' | head -n 1)
  [ -n "$package" ] || cannot "apt knows no Debian kernel package (linux-image-amd64); run apt-get update"
  say "fetching Debian's kernel ($package) for the VM, once"
  work=$(mktemp -d "$cache/.fetch-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && apt-get download -o APT::Sandbox::User="$(id -un)" "$package" >download.log 2>&1) ||
    cannot "cannot download $package: $(grep -E '^E: ' "$work/download.log" | head -n 1)"
  dpkg-deb -x "$work"/*.deb "$work/unpacked"
  version=${package#linux-image-}
  mkdir "$work/kernel-$version"
  cp "$work/unpacked/boot/vmlinuz-$version" "$work/kernel-$version/vmlinuz"
  # Debian 12 keeps the modules in /lib/modules, 13 in /usr/lib/modules, compressed, with
  # all but overlay built into the kernel. The ones to load are listed in their order.
  : >"$work/kernel-$version/order"
  for module in "${modules[@]}"; do
    found=$(find "$work/unpacked" -path '*/lib/modules/*' \( -name "$module.ko" -o -name "$module.ko.xz" \) |
      head -n 1 || true)
    if [ -z "$found" ]; then
      grep -qs "/$module\.ko\$" "$work"/unpacked/{,usr/}lib/modules/*/modules.builtin ||
        cannot "$package has no module $module, loadable or built in"
      continue
    fi
    case $found in
      *.xz) xz -dc "$found" >"$work/kernel-$version/$module.ko" ;;
      *) cp "$found" "$work/kernel-$version/" ;;
    esac
    echo "$module" >>"$work/kernel-$version/order"
  done
  mv -T "$work/kernel-$version" "$cache/kernel-$version" 2>/dev/null || true
  rm -rf "$work"
  trap - EXIT
  kernel_dir=$cache/kernel-$version
fi
# Modules load in the order above (each after what its depends= names), those the
# kernel does not have built in (a kernel fetched before that list was kept has them all);
# the initramfs is named after its contents, so a changed init makes a new one.
if [ -f "$kernel_dir/order" ]; then mapfile -t loadable <"$kernel_dir/order"; else loadable=("${modules[@]}"); fi
initrd_key=$( { cat "$root/scripts/vm/init"; printf '%s\n' "${loadable[@]}"; sha256sum "$busybox"; } | sha256sum | cut -c1-16)
initrd=$kernel_dir/initrd-$initrd_key.cpio
if [ ! -f "$initrd" ]; then
  tree=$(mktemp -d "$cache/.initrd-XXXXXX")
  mkdir -p "$tree"/{bin,modules,proc,sys,dev}
  cp "$busybox" "$tree/bin/busybox"
  for applet in $("$busybox" --list); do [ "$applet" = busybox ] || ln -s busybox "$tree/bin/$applet"; done
  cp "$root/scripts/vm/init" "$tree/init"
  for module in "${loadable[@]}"; do cp "$kernel_dir/$module.ko" "$tree/modules/"; done
  printf '%s\n' "${loadable[@]}" >"$tree/modules/order"
  (cd "$tree" && find . | LC_ALL=C sort | "$busybox" cpio -o -H newc 2>/dev/null) >"$tree.cpio"
  mv "$tree.cpio" "$initrd"
  rm -rf "$tree"
fi

# The run folder: what the guest reads (command, environment, folders to share) and
# writes (output, status). Under /tmp, which the guest shares.
run=$(mktemp -d /tmp/in-vm.XXXXXX)
pids=()
finish() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ -n "${SFX_VM_KEEP:-}" ] || rm -rf "$run"
}
trap finish EXIT
trap 'say "interrupted; stopping the VM"; exit 130' INT
trap 'say "terminated; stopping the VM"; exit 143' TERM HUP

printf '%s\0' "$@" >"$run/argv"
pwd >"$run/cwd"
echo "$(id -u) $(id -g)" >"$run/user"
echo "$root/scripts/vm/guest.sh" >"$run/guest"
# The host's display, session bus and runtime folder mean nothing in the guest.
env -0 -u DISPLAY -u WAYLAND_DISPLAY -u XAUTHORITY -u XDG_RUNTIME_DIR -u DBUS_SESSION_BUS_ADDRESS \
  SFX_IN_VM=1 SFX_TIME_SCALE="${SFX_TIME_SCALE:-4}" >"$run/env"
user_cache=${XDG_CACHE_HOME:-$HOME/.cache}
mkdir -p "$user_cache"
# Each shared folder once: none inside another (the outer one's bind shows it).
shared=$(printf '%s\n' "$root" /tmp "$(cd "$user_cache" && pwd -P)" "$(pwd -P)" | LC_ALL=C sort -u |
  awk '$0 != "/" { for (i = 1; i <= n; i++) if (index($0, kept[i] "/") == 1) next; kept[++n] = $0; print }')
printf '%s\n' "$shared" >"$run/binds"
: >"$run/out"
: >"$run/err"

# One virtiofsd serves the host's root; the guest decides what it may write. Nothing
# but the guest changes these files while it runs, so the guest caches all it reads,
# and its writes reach the host in large pieces (every small write would be a round
# trip through emulated hardware), all of them before it powers off.
# The VM's own processes sit in sessions of their own: a Ctrl+C is ours to handle.
setsid "$virtiofsd" --socket-path="$run/fs.sock" "${share[@]}" --thread-pool-size=16 >"$run/virtiofsd.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$run/fs.sock" ] && break; sleep 0.05; done
[ -S "$run/fs.sock" ] || cannot "virtiofsd did not start: $(tail -n 1 "$run/virtiofsd.log")"

watchdog=()
[ -z "$timeout" ] || watchdog=(timeout "$timeout")
setsid "${watchdog[@]}" "$qemu" -nodefaults -no-user-config -display none -no-reboot -nic none \
  -machine q35,memory-backend=mem -accel tcg,thread=multi -cpu max,smap=off -smp "$cpus" -m "${memory_mb}M" \
  -object "memory-backend-memfd,id=mem,size=${memory_mb}M,share=on" \
  -chardev "socket,id=fs,path=$run/fs.sock" -device vhost-user-fs-pci,chardev=fs,tag=host \
  -kernel "$kernel_dir/vmlinuz" -initrd "$initrd" \
  -append "console=ttyS0 quiet panic=-1 sfxvm.run=$run" \
  -serial "file:$run/console.log" </dev/null >"$run/qemu.log" 2>&1 &
qemu_pid=$!
pids+=("$qemu_pid")
tail -n +1 -F --pid="$qemu_pid" -s 0.2 "$run/out" 2>/dev/null &
pids+=($!)
tail -n +1 -F --pid="$qemu_pid" -s 0.2 "$run/err" >&2 2>/dev/null &
pids+=($!)
qemu_status=0
wait "$qemu_pid" || qemu_status=$?
# Let the two tails print the last of the output (they end with qemu).
wait "${pids[@]:2:2}" 2>/dev/null || true
if [ -f "$run/status" ]; then
  exit "$(cat "$run/status")"
elif [ -n "$timeout" ] && [ "$qemu_status" = 124 ]; then
  say "stopped the VM after ${timeout} s (--timeout)"
  exit 124
elif [ -f "$run/failed" ]; then
  cannot "the VM could not run the command: $(cat "$run/failed")"
else
  # The kernel's or the guest's own last word, else whatever qemu said.
  why=$( { grep -h -E 'Kernel panic|in-vm guest:' "$run/console.log"; cat "$run/qemu.log"; } 2>/dev/null | grep . | head -n 1)
  cannot "the VM ended before the command did (qemu status $qemu_status): ${why:-it said nothing}"
fi
