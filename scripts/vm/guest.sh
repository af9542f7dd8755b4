#!/bin/bash
# Runs in the VM's root (the host's, under an overlay), started by scripts/vm/init:
# gives the command what a desktop session has (devpts, shared memory, private socket
# folders for X and Wine), then runs it as the caller, in the caller's folder and
# environment, its output into the run folder that scripts/in-vm.sh streams.
run=$1
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 shm /dev/shm
mount -t tmpfs -o mode=755 run /run
read -r uid gid <"$run/user"
# The host's /tmp is shared; the socket folders of X and Wine stay the guest's own.
for dir in /tmp/.X11-unix /tmp/.ICE-unix; do
  mkdir -p "$dir" && mount -t tmpfs -o mode=1777 sockets "$dir"
done
mkdir -p "/tmp/.wine-$uid" && mount -t tmpfs -o "mode=700,uid=$uid,gid=$gid" wine "/tmp/.wine-$uid"

mapfile -d '' -t argv <"$run/argv"
cd "$(cat "$run/cwd")" || exit 125
as_caller=()
if [ "$uid" != 0 ]; then
  as_caller=(setpriv "--reuid=$uid" "--regid=$gid" --init-groups --)
fi
# The caller's environment, whole: env -i, then each NAME=VALUE as it was.
mapfile -d '' -t environment <"$run/env"
exec </dev/null >>"$run/out" 2>>"$run/err"
env -i "${environment[@]}" "${as_caller[@]}" "${argv[@]}"
