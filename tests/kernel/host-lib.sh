# shellcheck shell=bash
# Host-side steps of the kernel rig (sourced by run.sh): the kernel package and its extract,
# the initramfs, the choice of accelerator and the boot.

now_ms() { echo $(( ${EPOCHREALTIME/./} / 1000 )); }
seconds_between() { local d=$(( $2 - $1 )); printf '%d.%02d' $((d / 1000)) $((d % 1000 / 10)); }

# fetch_kernel_package CACHE [PACKAGE]: prints the path of the kernel .deb, downloaded into
# CACHE with apt when it is not there yet. Without a package name the newest
# linux-image-6.1.0-N-amd64-unsigned that apt knows is taken (the ABI number moves on with
# Debian's updates); offline, the newest one already cached.
fetch_kernel_package() {
  local cache=$1 package=${2:-} pattern='^linux-image-6\.1\.0-[0-9]+-amd64-unsigned$'
  if [ -z "$package" ]; then
    package=$(apt-cache search --names-only "$pattern" 2>/dev/null | awk '{print $1}' | sort -V | tail -1)
    if [ -z "$package" ]; then
      apt-get update -qq >&2 || true
      package=$(apt-cache search --names-only "$pattern" 2>/dev/null | awk '{print $1}' | sort -V | tail -1)
    fi
  fi
  if [ -z "$package" ]; then
    ls "$cache"/linux-image-6.1.0-*-amd64-unsigned_*.deb 2>/dev/null | sort -V | tail -1
    return
  fi
  if ! ls "$cache/${package}"_*.deb >/dev/null 2>&1; then
    log "downloading $package"
    (cd "$cache" && apt-get -qq -o APT::Sandbox::User=root download "$package" >&2)
  fi
  ls "$cache/${package}"_*.deb | sort -V | tail -1
}

# prepare_kernel CACHE DEB MODULE...: prints a directory holding the ELF `vmlinux` (booted
# directly through its PVH entry, which spares the guest the decompression) and, under
# modules/, the named modules with everything they depend on; modules.load lists them in
# load order. Made once per package; the 500 MB unpacked package is removed again.
prepare_kernel() {
  local cache=$1 deb=$2
  shift 2
  local dir
  dir="$cache/$(basename "$deb" .deb)"
  local stamp
  stamp="$dir/ready-$(echo "$*" | tr ' ' '+')"
  if [ -f "$stamp" ]; then
    echo "$dir"
    return
  fi
  log "unpacking $(basename "$deb")"
  local tmp="$dir.tmp"
  rm -rf "$tmp" "$dir"
  mkdir -p "$tmp/x" "$tmp/modules"
  dpkg -x "$deb" "$tmp/x"
  local kver
  kver=$(ls "$tmp/x/lib/modules" | head -1)
  local md="$tmp/x/lib/modules/$kver"
  busybox depmod -b "$tmp/x" "$kver"
  # Depth first over modules.dep, so every module comes after the ones it needs.
  local -A seen=()
  local order=()
  visit() {
    local m=$1 d
    [ -n "${seen[$m]:-}" ] && return
    seen[$m]=1
    for d in $(awk -v m="$m:" '$1 == m { for (i = 2; i <= NF; i++) print $i }' "$md/modules.dep"); do
      visit "$d"
    done
    order+=("$m")
  }
  local want path
  for want in "$@"; do
    path=$(awk -F: -v w="/$want.ko" '{ if (substr($1, length($1) - length(w) + 1) == w) print $1 }' "$md/modules.dep")
    [ -n "$path" ] || { log "module $want not in $(basename "$deb")"; return 1; }
    visit "$path"
  done
  local m
  for m in "${order[@]}"; do
    cp "$md/$m" "$tmp/modules/"
    basename "$m" >> "$tmp/modules.load"
  done
  local image="$tmp/x/boot/vmlinuz-$kver" offset
  offset=$(LC_ALL=C grep -abo -m1 $'\xfd7zXZ' "$image" | head -1 | cut -d: -f1)
  # xz stops after the first stream and tail may then die of SIGPIPE: check the result instead.
  { tail -c +$((offset + 1)) "$image" | xz -dc --single-stream > "$tmp/vmlinux"; } 2>/dev/null || true
  [ "$(head -c 4 "$tmp/vmlinux" | od -An -c | tr -d ' ')" = 177ELF ] || {
    log "could not extract vmlinux from $image"
    return 1
  }
  echo "$kver" > "$tmp/version"
  rm -rf "$tmp/x"
  mv "$tmp" "$dir"
  touch "$stamp"
  echo "$dir"
}

# build_initramfs OUTPUT KERNEL_DIR PROGRAM_DIR PROGRAM...: busybox, the modules, the guest's
# init and scenario files, and the named programs from PROGRAM_DIR.
build_initramfs() {
  local output=$1 kdir=$2 build=$3
  shift 3
  local r="$output.d"
  rm -rf "$r"
  mkdir -p "$r"/{bin,etc,proc,sys,dev,tmp,rig,lib/modules,home/bench}
  cp /bin/busybox "$r/bin/busybox"
  local applet
  for applet in $(/bin/busybox --list); do
    [ "$applet" = busybox ] || ln -sf busybox "$r/bin/$applet"
  done
  cp "$kdir"/modules/*.ko "$r/lib/modules/"
  cp "$kdir/modules.load" "$r/etc/modules.load"
  local program
  for program in "$@"; do
    [ -x "$build/$program" ] || { log "no program $program in $build"; return 1; }
    cp "$build/$program" "$r/bin/$program"
  done
  cp "$HERE/guest/init" "$r/init"
  cp "$HERE/guest/guest-lib.sh" "$HERE/scenarios.sh" "$r/rig/"
  # The image the service tool's scenarios write, the one the judge compares the flash with.
  cp "$ROOT/resources/firmware.bin" "$r/rig/firmware.bin"
  chmod +x "$r/init"
  # An unprivileged bench user who is in no group that could open a video node.
  printf 'root:x:0:0:root:/root:/bin/sh\nbench:x:1000:1000:bench:/home/bench:/bin/sh\n' > "$r/etc/passwd"
  printf 'root:x:0:\nvideo:x:44:\nbench:x:1000:\n' > "$r/etc/group"
  (cd "$r" && find . | cpio -o -H newc --quiet | gzip -1) > "$output"
  rm -rf "$r"
}

# list_scenarios FILE: the scenario functions of FILE in their order.
list_scenarios() {
  sed -n 's/^scenario_\([a-z0-9_]*\)().*/\1/p' "$1" | tr '\n' ' ' | sed 's/ $//'
}

qemu_command() {  # qemu_command ACCEL KERNEL INITRD APPEND: the common QEMU command line
  local accel=$1 kernel=$2 initrd=$3 append=$4
  local cpu=(-accel tcg -cpu max)
  # On a host whose KVM runs a stock kernel, "-cpu host" without arch-capabilities (which some
  # hosts cannot set) is the model that boots.
  # shellcheck disable=SC2054 # the commas belong to QEMU's option
  [ "$accel" = kvm ] && cpu=(-accel kvm -cpu host,-arch-capabilities)
  echo qemu-system-x86_64 "${cpu[@]}" -m 512 -smp "$SMP" -display none -monitor none \
    -no-reboot -kernel "$kernel" -initrd "$initrd" \
    -append "'console=ttyS0 panic=-1 loglevel=4 usbcore.autosuspend=-1 $append'"
}

# choose_accel WANTED KERNEL INITRD CACHE: tcg, or kvm when asked for or when, on auto, a short
# boot under KVM reaches the guest's init. The answer is kept per host kernel in CACHE. Says
# on stderr which it chose and why: many machines of our kind have no KVM.
choose_accel() {
  local wanted=$1 kernel=$2 initrd=$3 cache=$4
  if [ "$wanted" != auto ]; then
    log "accelerator $wanted: asked for by RIG_ACCEL"
    echo "$wanted"
    return
  fi
  if [ ! -r /dev/kvm ] || [ ! -w /dev/kvm ]; then
    log "no usable /dev/kvm on this machine: QEMU emulates the guest (TCG), a few times slower"
    echo tcg
    return
  fi
  local memo
  memo="$cache/kvm-$(uname -r)"
  if [ ! -f "$memo" ]; then
    local probe
    probe=$(eval "timeout 20 $(qemu_command kvm "$kernel" "$initrd" rig.probe=1) -serial stdio" \
      2>/dev/null </dev/null | tr -d '\r' || true)
    if grep -q '^rig: probe ok' <<<"$probe"; then echo kvm > "$memo"; else echo tcg > "$memo"; fi
    log "KVM boot test: $(cat "$memo")"
  else
    log "KVM boot test, kept from before in $memo: $(cat "$memo")"
  fi
  cat "$memo"
}

# boot_guest ACCEL KERNEL INITRD OUT TIMEOUT APPEND: boots; the console goes to stdout and
# OUT/console.log with host timestamps, the results port to OUT/results.bin.
boot_guest() {
  local accel=$1 kernel=$2 initrd=$3 out=$4 timeout=$5 append=$6
  local t0
  t0=$(now_ms)
  eval "timeout $timeout $(qemu_command "$accel" "$kernel" "$initrd" "$append")" \
    -serial stdio -device virtio-serial-pci \
    -chardev "file,id=results,path=$out/results.bin" \
    -device "virtserialport,chardev=results,name=rig.results" </dev/null 2>&1 |
    while IFS= read -r line; do
      printf '[host %6ss] %s\n' "$(seconds_between "$t0" "$(now_ms)")" "${line%$'\r'}"
    done | tee "$out/console.log"
  return "${PIPESTATUS[0]}"
}
