# Installs the Debian packages a build needs when they are missing. Sourced by the scripts.
# Usage: ensure_packages PACKAGE...  (run as root; quiet when everything is there)

missing_packages() {
  for package in "$@"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
      echo "$package"
  done
}

ensure_packages() {
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "Installing: $(echo $missing)" >&2
  case " $missing " in
    *:i386*)
      dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
  esac
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing >/dev/null
}

NATIVE_PACKAGES="cmake ninja-build g++"
TEST_PACKAGES="$NATIVE_PACKAGES googletest attr g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 wine32:i386 exfatprogs exfat-fuse"
