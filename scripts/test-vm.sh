#!/usr/bin/env bash
# The serial cases on real kernel drivers: a QEMU guest (software emulation)
# running Debian's own kernel, with a 16550A UART (ttyS1) and an FTDI USB
# adapter (ttyUSB0) whose far ends are pseudo-terminals of this machine. The
# guest mounts this machine's file system read-only under a RAM overlay, so
# it runs this build, Xvfb and Wine as they are: scripts/vm-guest.sh, whose
# console is read here. Its lines "operator: power on", "operator: unplug"
# and "operator: plug back" switch the modem on and pull or put back the
# adapter (on QEMU's monitor); "zorvik-vm: fresh modem" puts a new
# zorvik-modemsim behind the adapter, whose far end is zorvik-com-peer
# until then (the driver's cases).
# With ZORVIK_SHIPPED_ZIP (and ZORVIK_SHIPPED_DRIVER, the 32-bit
# window_driver.exe) the guest also runs the release's 32-bit programs.
# Usage: scripts/test-vm.sh [NATIVE-BUILD-DIR [CROSS-BUILD-DIR]]
# Ends with "N cases passed, N failed". A guest that makes no progress for
# $limit seconds (boots, or runs one case, no longer) is killed as timed
# out, its console's last lines shown; so is the guest of a runner that is
# killed. The limit is some eight times what the slowest case takes on an
# idle machine, so a loaded one is slow, not stuck.
set -euo pipefail
PATH="$PATH:/usr/sbin:/sbin"  # depmod
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build}")"
win="$(realpath -m "${2:-$root/build-win}")"
limit="${ZORVIK_VM_LIMIT:-600}"  # lower only to try the time-out
cache="$build/vm"

for tool in qemu-system-x86_64 busybox cpio depmod xvfb-run; do
  command -v "$tool" >/dev/null || { echo "test-vm: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
[ -f /bin/busybox ] && [[ "$(file -L /bin/busybox)" == *"statically linked"* ]] ||
  { echo "test-vm: /bin/busybox is not the static one (busybox-static)"; exit 1; }

# --- the guest's kernel: this release's linux-image-amd64, unpacked, not installed
image="$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)/\1/p' | sed -n 1p)"
[ -n "$image" ] || { echo "test-vm: no linux-image-amd64 in this system's package sources"; exit 1; }
kernel="$cache/$image"
if [ ! -f "$kernel/.unpacked" ]; then
  rm -rf "$kernel" && mkdir -p "$kernel"
  (cd "$kernel" && apt-get download "$image" >/dev/null 2>&1) || { echo "test-vm: cannot download $image"; exit 1; }
  dpkg-deb -x "$kernel"/*.deb "$kernel/tree" && rm -f "$kernel"/*.deb && touch "$kernel/.unpacked"
fi
# Debian 13's kernel package keeps its modules under usr/lib only.
[ -e "$kernel/tree/lib" ] || ln -s usr/lib "$kernel/tree/lib"
release="$(ls "$kernel/tree/lib/modules")"
depmod -b "$kernel/tree" "$release"

# --- the initramfs: static busybox, the modules for 9p, overlay and the
# USB adapter (each after what it needs, decompressed), and /init
initramfs="$cache/initramfs-$release.cpio"
if [ ! -f "$initramfs" ] || [ "$0" -nt "$initramfs" ]; then
  staging="$(mktemp -d)"
  trap 'rm -rf "$staging"' EXIT
  mkdir -p "$staging"/{bin,modules,proc,sys,dev,host,rw,guest}
  cp /bin/busybox "$staging/bin/busybox"
  dep="$kernel/tree/lib/modules/$release/modules.dep"
  declare -A loaded=()
  order=()
  add() {  # a module (its file in modules.dep) after its dependencies
    local file="$1" d
    [ -z "${loaded[$file]:-}" ] || return 0
    loaded[$file]=1
    for d in $(sed -n "s|^$file: *||p" "$dep"); do add "$d"; done
    order+=("$file")
  }
  for name in virtio_pci 9pnet_virtio 9p overlay xhci_pci ftdi_sio; do
    file="$(grep -oE "^[^:]*/${name//_/[_-]}\.ko(\.xz|\.zst|\.gz)?:" "$dep" | sed -n 1p | tr -d :)" || true
    if [ -z "$file" ]; then  # built into this kernel, or missing
      grep -qE "/${name//_/[_-]}\.ko$" "${dep%.dep}.builtin" && continue
      echo "test-vm: the kernel has no module $name"; exit 1
    fi
    add "$file"
  done
  for file in "${order[@]}"; do
    out="$staging/modules/$(basename "${file%.xz}")"; out="${out%.zst}"; out="${out%.gz}"
    case "$file" in
      *.xz) xz -dc "$kernel/tree/lib/modules/$release/$file" >"$out" ;;
      *.zst) zstd -qdc "$kernel/tree/lib/modules/$release/$file" >"$out" ;;
      *.gz) gzip -dc "$kernel/tree/lib/modules/$release/$file" >"$out" ;;
      *) cp "$kernel/tree/lib/modules/$release/$file" "$out" ;;
    esac
    basename "$out" >>"$staging/modules/order"
  done
  cat >"$staging/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc && mount -t sysfs sys /sys && mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod "/modules/$m" || echo "zorvik-vm: insmod $m failed"; done
arg() { sed -n "s/.* zorvik\.$1=\([^ ]*\).*/\1/p" /proc/cmdline; }
guest="$(arg guest)" out="$(arg out)"
# This machine's file system, read-only, under a RAM overlay; the results
# share, writable, where it is on this machine.
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=524288 host /host &&
  mount -t tmpfs -o size=75% rw /rw && mkdir -p /rw/upper /rw/work &&
  mount -t overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work root /guest &&
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 out "/guest$out" &&
  mount -t proc proc /guest/proc && mount -t sysfs sys /guest/sys && mount -t devtmpfs dev /guest/dev &&
  mkdir -p /guest/dev/pts /guest/dev/shm && mount -t devpts devpts /guest/dev/pts && mount -t tmpfs shm /guest/dev/shm ||
  echo "zorvik-vm: the guest's file system did not come up"
chroot /guest /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM=dumb bash "$guest" "$out" </dev/console
echo "zorvik-vm: done $?"
poweroff -f
INIT
  chmod +x "$staging/init"
  (cd "$staging" && find . | cpio -o -H newc --quiet) >"$initramfs"
  rm -rf "$staging"
  trap - EXIT
fi
echo "test-vm: kernel $release, initramfs $(($(stat -c %s "$initramfs") / 1024)) KiB"

# --- the far ends, the guest, its console
work="$(mktemp -d /tmp/zorvik-vm.XXXXXX)"
out="$work/out"
mkdir -p "$out"
pids=()
cleanup() {
  exec 3>&- 5>&- 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ ! -f "$work/qemu.pid" ] || kill -9 "$(cat "$work/qemu.pid")" 2>/dev/null || true
  WINEPREFIX="$work/wine" wineserver -k >/dev/null 2>&1 || true
  [ -n "${ZORVIK_VM_KEEP:-}" ] || rm -rf "$work"  # kept for a look when asked
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkfifo "$work/peer.in"
"$build/tests/wine/zorvik-com-peer" USB UART <"$work/peer.in" >"$work/peer.txt" &
pids+=($!)
exec 3>"$work/peer.in"
for _ in $(seq 200); do [ "$(wc -l <"$work/peer.txt")" -ge 2 ] && break; sleep 0.05; done
declare -A slave
while read -r name path; do slave[$name]=$path; done <"$work/peer.txt"
[ -n "${slave[USB]:-}" ] && [ -n "${slave[UART]:-}" ] || { echo "test-vm: zorvik-com-peer did not start"; exit 1; }

# Meanwhile, here: the same whole run over a pty, which the guest's is held
# against, and the Wine prefix whose COM3 is the guest's adapter.
ZORVIK_VM="$out" QT_QPA_PLATFORM=offscreen "$build/tests/vm/vm_cases_tests" --gtest_filter='VmHost.*' \
  >"$work/host-run.log" 2>&1 &
pids+=($!)
(
  source "$root/scripts/wine-prefix.sh"
  export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ru_RU.UTF-8
  wine_prefix_boot "$WINEPREFIX" && wine_prefix_ports "$WINEPREFIX" "COM3:" "COM3=/dev/ttyUSB0" >/dev/null &&
    wineserver -k && touch "$out/prefix-ready" || touch "$out/prefix-failed"
) >"$work/prefix.log" 2>&1 &
pids+=($!)
cat >"$out/env" <<ENV
build='$build' win='$win' prefix='$work/wine' host_wine='$(source "$root/scripts/wine-prefix.sh" && echo "$wine")'
shipped_zip='${ZORVIK_SHIPPED_ZIP:-}' shipped_driver='${ZORVIK_SHIPPED_DRIVER:-}'
ENV

mkfifo "$work/monitor.in" "$work/monitor.out"
cat "$work/monitor.out" >"$work/monitor.log" &
pids+=($!)
monitor() { echo "$1" >&5; }
# A modem of its own for each request, put behind the adapter (the old one
# unplugged first): a fresh SIM that asks for its PIN, switched on by the
# operator only.
modems=0
fresh_modem() {
  modems=$((modems + 1))
  mkfifo "$work/modem$modems.in"
  "$build/modemsim/zorvik-modemsim" --log --link="$work/modem$modems" --sim=pin --power-on-after=0 \
    <"$work/modem$modems.in" >/dev/null 2>"$work/modem$modems.log" &
  pids+=($!)
  exec 6>"$work/modem$modems.in"  # the emulator's operator input
  for _ in $(seq 200); do [ -L "$work/modem$modems" ] && break; sleep 0.05; done
  monitor "chardev-add serial,id=modem$modems,path=$(readlink "$work/modem$modems")"
  monitor "device_del usb0"
  sleep 1
  far=modem$modems
  monitor "device_add usb-serial,id=usb0,bus=xhci.0,chardev=$far"
}

start=$SECONDS
qemu-system-x86_64 -accel tcg -smp 2 -m 3072 -display none -no-reboot \
  -pidfile "$work/qemu.pid" -kernel "$kernel/tree/boot/vmlinuz-$release" -initrd "$initramfs" \
  -append "console=ttyS0 quiet panic=-1 zorvik.guest=$root/scripts/vm-guest.sh zorvik.out=$out" \
  -chardev stdio,id=console,signal=off -serial chardev:console \
  -chardev serial,id=uart,path="${slave[UART]}" -serial chardev:uart \
  -device qemu-xhci,id=xhci -chardev serial,id=peer,path="${slave[USB]}" \
  -device usb-serial,id=usb0,bus=xhci.0,chardev=peer \
  -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
  -virtfs local,path="$out",mount_tag=out,security_model=none \
  -monitor pipe:"$work/monitor" </dev/null >"$work/console" 2>&1 &
qemu=$!
pids+=($qemu)
exec 5>"$work/monitor.in"
# A runner killed outright takes the guest with it.
runner=$$
(while kill -0 "$runner" 2>/dev/null && kill -0 "$qemu" 2>/dev/null; do sleep 1; done
 kill -9 "$qemu" 2>/dev/null) &

far=peer rc="" current=booting deadline=$((SECONDS + limit))
while :; do
  wait_for=$((deadline - SECONDS))
  [ "$wait_for" -gt 0 ] && IFS= read -r -t "$wait_for" line || break
  printf '%s\n' "$line"
  case "$line" in
    *"operator: power on"*) echo on >&6 ;;
    *"operator: unplug"*) monitor "device_del usb0" ;;
    *"operator: plug back"*) monitor "device_add usb-serial,id=usb0,bus=xhci.0,chardev=$far" ;;
    *"zorvik-vm: fresh modem"*) fresh_modem ;;
    *"zorvik-vm: case "*" begins"*)
      current="${line#*case }" current="${current% begins*}" deadline=$((SECONDS + limit)) ;;
    *"zorvik-vm: case "*) ended="${line#*case }" current="after ${ended%% *}" deadline=$((SECONDS + limit)) ;;
    *"zorvik-vm: done "*) rc="${line##*done }" rc="${rc%%[^0-9]*}" ;;
  esac
  [ -z "$rc" ] || break
done < <(tail -n +1 -f --pid=$qemu "$work/console")
echo "test-vm: the guest ran $((SECONDS - start)) s"
timed_out=""
if [ -z "$rc" ] && [ "$deadline" -le "$SECONDS" ]; then
  timed_out="$current"
  echo "test-vm: timed out: no progress for $limit s in case $current; its console, last lines:"
  tail -n 60 "$work/console"
elif [ -z "$rc" ]; then
  echo "test-vm: the guest stopped without finishing; its console, last lines:"
  tail -n 60 "$work/console"
fi
passed="$(grep -c '^zorvik-vm: case .* passed' "$work/console" || true)"
failed="$(grep -c '^zorvik-vm: case .* FAILED' "$work/console" || true)"
[ -z "$timed_out" ] || failed=$((failed + 1))
[ "$rc" = 0 ] || [ "$failed" -gt 0 ] || failed=1
if [ "$failed" -gt 0 ]; then
  for f in "$work"/modem*.log "$work/host-run.log" "$work/prefix.log"; do
    [ -f "$f" ] && { echo "--- $(basename "$f"), last lines:"; tail -n 20 "$f"; }
  done
fi
[ -z "$timed_out" ] || echo "note: the guest timed out in case $timed_out"
echo "$passed cases passed, $failed failed"
[ "$failed" -eq 0 ]
