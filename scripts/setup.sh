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
WINDOWS_PACKAGES="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686"
# The release artefacts: CPack's Debian package (dpkg-shlibdeps, file) and the zip.
PACKAGE_PACKAGES="$NATIVE_PACKAGES $WINDOWS_PACKAGES dpkg-dev file zip"
# Everything scripts/test needs, the check of the artefacts (mandoc, man-db, unzip) included.
# The fuzz targets: clang with its sanitizer and libFuzzer runtimes.
TEST_PACKAGES="$PACKAGE_PACKAGES googletest attr mandoc man-db unzip binutils wine wine64
  wine32:i386 exfatprogs exfat-fuse clang libclang-rt-dev"
