# How this machine starts Wine. Sourced by the Wine stage and by scripts/test.sh.
#
# Some machines of our kind run no 32-bit programs at all: the 32-bit loader fails with "Exec
# format error". Once wine32 is installed, /usr/bin/wine always picks that loader, even for
# 64-bit programs, so there every run would fail. wine_choose_loader tries the 32-bit loader
# once and, where it cannot run, starts everything through the 64-bit loader and wineserver
# directly; x86 programs then cannot run at all.
#
# VELKOR_WINE_NO_32BIT=1 takes the 64-bit-only path on a machine that could run 32-bit programs,
# so that the path is tested there too.

wine32_loader=/usr/lib/wine/wine
wine64_loader=/usr/lib/wine/wine64
wine64_server=/usr/lib/wine/wineserver64

# wine_choose_loader: sets wine_32bit (1 or 0), wine_32bit_reason (why not, when 0; short, for
# the SKIP lines), wine_32bit_detail (what the loader said) and exports
# VELKOR_WINE and VELKOR_WINESERVER, the commands that start a program and the server.
wine_choose_loader() {
  local out rc
  wine_32bit=0
  wine_32bit_reason=
  wine_32bit_detail=
  if [ "${VELKOR_WINE_NO_32BIT:-0}" = 1 ]; then
    wine_32bit_reason="32-bit programs turned off by VELKOR_WINE_NO_32BIT=1"
  elif [ ! -x "$wine32_loader" ]; then
    wine_32bit_reason="no 32-bit Wine loader: wine32 is not installed"
  else
    # Through bash's exec: timeout's own execvp would hand a file the kernel refuses to /bin/sh.
    rc=0
    out=$(timeout 30 bash -c 'exec "$0" --version' "$wine32_loader" 2>&1 </dev/null) || rc=$?
    if [ "$rc" -eq 0 ]; then
      wine_32bit=1
    else
      wine_32bit_reason="this kernel does not run 32-bit programs"
      wine_32bit_detail="$wine32_loader --version: exit code $rc${out:+, ${out%%$'\n'*}}"
    fi
  fi
  if [ "$wine_32bit" = 1 ]; then
    VELKOR_WINE=wine
    VELKOR_WINESERVER=wineserver
  else
    VELKOR_WINE=$wine64_loader
    VELKOR_WINESERVER=$wine64_server
    # The 64-bit loader starts the server named here, and further processes with this loader.
    export WINESERVER=$wine64_server WINELOADER=$wine64_loader
  fi
  export VELKOR_WINE VELKOR_WINESERVER
}

# wine_path_line: one line that says which path this run takes.
wine_path_line() {
  if [ "$wine_32bit" = 1 ]; then
    echo "wine path: 32-bit and 64-bit programs run (x86 and x86-64 checks, loader: wine)"
  else
    echo "wine path: 64-bit only, $wine_32bit_reason: x86-64 checks through $VELKOR_WINE, x86 runs skipped"
    [ -z "$wine_32bit_detail" ] || echo "  ($wine_32bit_detail)"
  fi
}
