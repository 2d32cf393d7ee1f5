# Shared by the scripts: install Debian packages only when they are missing.
install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
      echo "missing packages and not root: run as root or install them: ${missing[*]}" >&2
      return 1
    fi
    # A package of another architecture ("wine32:i386") installs only once dpkg knows that
    # architecture; the update below then fetches its package lists.
    local p arch
    for p in "${missing[@]}"; do
      arch=${p##*:}
      if [ "$arch" != "$p" ] && [ "$arch" != "$(dpkg --print-architecture)" ] &&
        ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        dpkg --add-architecture "$arch"
      fi
    done
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}
