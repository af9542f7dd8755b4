#!/usr/bin/env bash
# scripts/in-vm.sh with the VM booted on any machine (SFX_VM=always): what the command
# is given and gives back, what it may write on the host, and that a time-out or a
# Ctrl+C stops the VM and leaves nothing running.
#   in_vm_test.sh IN_VM_SCRIPT SCRATCH_DIR (a folder of the checkout, shared read-write)
set -uo pipefail
in_vm=${1:?usage: in_vm_test.sh IN_VM_SCRIPT SCRATCH_DIR}
scratch=${2:?usage: in_vm_test.sh IN_VM_SCRIPT SCRATCH_DIR}
in_vm=$(realpath "$in_vm")
export SFX_VM=always
rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"; }

# The VM's own processes (anything that names a run folder of in-vm.sh) and run
# folders; other runs of in-vm.sh may be going on.
leftovers() { pgrep -f 'in-vm\.[A-Za-z0-9]{6}' | sort; ls -d /tmp/in-vm.* 2>/dev/null; }
before=$(leftovers)

# One boot: status, both streams, folder, user, environment, the i386 loader, and where
# writes land (the shared folder: on the host; the root: in the guest's overlay only).
probe_file=/usr/share/in-vm-test-$$
odd=$'two words and\na second line'
SFX_TEST_ODD=$odd "$in_vm" bash -c '
  echo "out $(pwd) $(id -u):$(id -g)"; echo "err line" >&2
  printf %s "$SFX_TEST_ODD" >odd.txt
  /lib/ld-linux.so.2 --version >/dev/null && echo "i386 runs"
  echo guest >"'"$probe_file"'" && echo "root write stays in the guest"
  echo "scale ${SFX_TIME_SCALE:-unset}"
  "'"$in_vm"'" --needed || echo "no VM needed inside the VM"
  exit 7' >out.txt 2>err.txt
expect_eq "status" "$?" 7
expect_eq "stdout" "$(cat out.txt)" "out $(pwd -P) $(id -u):$(id -g)
i386 runs
root write stays in the guest
scale ${SFX_TIME_SCALE:-4}
no VM needed inside the VM"
# in-vm.sh's own words (why it boots, a kernel fetched once on a fresh cache) come first,
# each line marked; the command's own stream follows untouched.
expect_eq "stderr" "$(grep -v '^in-vm: ' err.txt)" "err line"
grep -q '^in-vm: running bash in a VM: ' err.txt || fail "in-vm.sh did not say why it boots: '$(cat err.txt)'"
expect_eq "environment value" "$(cat odd.txt 2>/dev/null)" "$odd"
[ ! -e "$probe_file" ] || { fail "a write to the host's root reached the host"; rm -f "$probe_file"; }
"$in_vm" nonexistent-command-$$ 2>err.txt
expect_eq "status of a command that is not there" "$?" 127

# --timeout ends the VM with 124 and says so.
"$in_vm" --timeout 20 sleep 600 2>err.txt
expect_eq "status after --timeout" "$?" 124
grep -q "stopped the VM after 20 s" err.txt || fail "--timeout: said '$(cat err.txt)'"

# Ctrl+C once the command runs: 130, and the VM with everything it started is gone.
rm -f started
set -m  # its own process group, with SIGINT as a terminal delivers it
"$in_vm" bash -c "touch started; sleep 600" 2>err.txt &
runner=$!
set +m
for _ in $(seq 600); do [ -e started ] && break; sleep 0.2; done
[ -e started ] || fail "Ctrl+C: the command never started"
kill -INT -- "-$runner"
wait "$runner"
expect_eq "status after Ctrl+C" "$?" 130
sleep 1
expect_eq "processes and run folders left" "$(leftovers)" "$before"

[ "$failures" -eq 0 ] && echo "in-vm: all checks passed"
exit $((failures > 0))
