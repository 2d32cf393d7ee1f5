#!/usr/bin/env bash
# The kernel rig: boots Debian's packaged Linux kernel in QEMU with a small initramfs and runs
# the unmodified Linux updater (velkor-update, linked statically) through the real uvcvideo,
# real USB control transfers and real sysfs, against an emulated USB camera (velkor-usb-camera)
# that the guest's vhci_hcd enumerates over a USB/IP socket pair. Several scenarios run in one
# boot (tests/kernel/scenarios.sh); the guest sends their results back over a virtio-serial
# port and this script judges them. It ends with a line "N passed, M failed".
#
# usage: tests/kernel/run.sh [BUILD_DIR]          (default build; configured when it is not)
# environment:
#   RIG_SCENARIOS   scenario names to run, space-separated (default: every scenario)
#   RIG_REPEAT      runs of each scenario in the one boot (default 1)
#   RIG_CACHE       where the kernel package and its extract are kept
#                   (default /var/cache/velkor-kernel-rig)
#   RIG_KERNEL_PACKAGE  a linux-image-6.1.0-N-amd64-unsigned package to use (default: newest)
#   RIG_ACCEL       auto, kvm or tcg (auto: KVM only where a short boot test shows it works)
#   RIG_SMP         guest CPUs (default 1: under TCG a second one made requests ten times slower)
#   RIG_TIMEOUT     seconds the whole boot may take (default 720; every scenario takes some
#                   340 s under TCG on an idle machine)
#   RIG_OUT         where results go (default BUILD_DIR/kernel-rig)
#   RIG_GUEST_PROGRAMS  further programs to put in the guest (each needs a PROGRAM-static twin,
#                   see velkor_static_twin in cmake/VelkorLibrary.cmake)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
HERE=$ROOT/tests/kernel
BUILD=$(realpath -m "${1:-$ROOT/build}")
CACHE=${RIG_CACHE:-/var/cache/velkor-kernel-rig}
OUT=${RIG_OUT:-$BUILD/kernel-rig}
SMP=${RIG_SMP:-1}
TIMEOUT=${RIG_TIMEOUT:-720}
REPEAT=${RIG_REPEAT:-1}
log() { echo "[rig] $*" >&2; }
source "$ROOT/scripts/lib.sh"
source "$HERE/host-lib.sh"

install_packages qemu-system-x86 busybox-static xz-utils cpio cmake g++ ninja-build python3
t_start=$(now_ms)

# 1. The kernel: the package in the cache (fetched when missing), reduced to the ELF vmlinux
#    and the modules the guest loads.
mkdir -p "$CACHE"
KDEB=$(fetch_kernel_package "$CACHE" "${RIG_KERNEL_PACKAGE:-}")
KDIR=$(prepare_kernel "$CACHE" "$KDEB" vhci-hcd uvcvideo virtio_console virtio_pci)
log "kernel: $(basename "$KDEB") -> $KDIR"

# 2. The guest programs: the build directory's own objects (same sources and options as the
#    programs it ships) linked statically, the "-static" twin of each program; and the host's
#    wire check.
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_WERROR=ON >/dev/null
fi
# The service tool goes in beside the updater: its scenarios drive it, and the station, through
# the kernel.
guest_programs="velkor-update velkor-usb-camera velkor-tool ${RIG_GUEST_PROGRAMS:-}"
static_targets=$(for p in $guest_programs; do printf '%s-static ' "$p"; done)
# shellcheck disable=SC2086
cmake --build "$BUILD" -j"$(nproc)" --target $static_targets velkor-wire-check

# 3. The initramfs.
mkdir -p "$OUT"
INITRD=$OUT/initramfs.cpio.gz
# shellcheck disable=SC2086
build_initramfs "$INITRD" "$KDIR" "$BUILD/static" $guest_programs
log "initramfs: $(du -h "$INITRD" | cut -f1)"

# 4. Which scenarios, then boot.
known_scenarios=$(list_scenarios "$HERE/scenarios.sh")
RIG_SCENARIOS=${RIG_SCENARIOS:-$known_scenarios}
for name in $RIG_SCENARIOS; do
  grep -qw "$name" <<<"$known_scenarios" || { log "no scenario \"$name\" in scenarios.sh"; exit 2; }
done
accel=$(choose_accel "${RIG_ACCEL:-auto}" "$KDIR/vmlinux" "$INITRD" "$CACHE")
log "scenarios: $RIG_SCENARIOS (x$REPEAT), accelerator $accel, $SMP CPUs"
rm -rf "$OUT/results" "$OUT/results.bin" "$OUT/console.log"
t_boot=$(now_ms)
set +e
boot_guest "$accel" "$KDIR/vmlinux" "$INITRD" "$OUT" "$TIMEOUT" \
  "rig.scenarios=${RIG_SCENARIOS// /,} rig.repeat=$REPEAT"
qemu_rc=$?
set -e
t_end=$(now_ms)
log "qemu ended with $qemu_rc after $(seconds_between "$t_boot" "$t_end") s" \
  "(whole rig $(seconds_between "$t_start" "$t_end") s)"

# 5. The host judges what came back; QEMU's exit code says nothing about the scenarios.
mkdir -p "$OUT/results"
if [ -s "$OUT/results.bin" ]; then
  gzip -dc "$OUT/results.bin" 2>/dev/null | tar -x -i -C "$OUT/results" 2>/dev/null || true
fi
source "$HERE/judge-lib.sh"
source "$HERE/scenarios.sh"
judge_all "$OUT/results" "$RIG_SCENARIOS" "$REPEAT" "$BUILD/programs/velkor-wire-check" \
  "$ROOT/resources/firmware.bin"
