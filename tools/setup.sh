#!/usr/bin/env bash
# Brings a Debian 12 machine to a full build of both targets: native tools,
# the mingw-w64 cross compilers, Wine with 32-bit support, the test peers and
# static Schannel libcurl builds for Windows: the shipped 32-bit program, and
# a 64-bit test build for machines that run no 32-bit code (where 32-bit Wine
# cannot start). A second run only checks.
set -euo pipefail

DEPS_DIR="${FETCHLET_DEPS_DIR:-/var/cache/fetchlet-deps}"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"

NATIVE_PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev python3 git curl ca-certificates
  libcurl4-openssl-dev nlohmann-json3-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
  nginx-light openssl locales fonts-wqy-microhei dpkg-dev xz-utils iproute2 procps
  g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 osslsigncode
  xvfb xauth xdotool imagemagick xdg-utils ccache
)
WINE_PACKAGES=(wine wine32:i386 wine64)

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

ensure_packages() {
  local missing
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    NEED_UPDATE=1
  fi
  missing=$(missing_packages "${NATIVE_PACKAGES[@]}" "${WINE_PACKAGES[@]}")
  if [ -n "$missing" ] || [ -n "${NEED_UPDATE:-}" ]; then
    echo "setup: installing: $(echo $missing)"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
      "${NATIVE_PACKAGES[@]}" >/dev/null
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${WINE_PACKAGES[@]}" >/dev/null
  fi
}

ensure_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null \
      || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
  fi
}

# Debian ships no mingw libcurl: build a static one with Schannel from
# Debian's own curl source package with its security fixes, keyed by the
# package's version (revision included) and processor, one
# for the test and release builds alike: HTTP and HTTPS only, nothing the
# program does not use, but through the proxies the environment names, as
# company networks need; Basic authentication stays for a proxy URL's
# "user:password@".
CURL_FLAVOUR=schannel-http-proxy
CURL_OPTIONS=(
  --with-schannel --disable-shared --disable-pthreads
  --without-libpsl --without-zlib --without-brotli --without-zstd --without-libidn2
  --without-nghttp2 --without-librtmp --without-libssh2 --disable-ldap --disable-ldaps
  --disable-manual --disable-docs
  --disable-ftp --disable-file --disable-rtsp --disable-dict --disable-telnet --disable-tftp
  --disable-pop3 --disable-imap --disable-smb --disable-smtp --disable-gopher --disable-mqtt
  --disable-ntlm --disable-ntlm-wb --disable-kerberos-auth --disable-negotiate-auth
  --disable-digest-auth --disable-bearer-auth --disable-aws --disable-crypto-auth
  --disable-tls-srp --disable-cookies --disable-alt-svc --disable-hsts --disable-doh --disable-mime
  --disable-netrc --disable-progress-meter --disable-dateparse --disable-headers-api
  --disable-unix-sockets --disable-get-easy-options --disable-verbose --disable-socketpair
)

curl_prefix() {
  echo "$DEPS_DIR/curl-$CURL_VERSION-$1-$CURL_FLAVOUR"
}

ensure_source_packages() {
  if ! ls /etc/apt/sources.list.d/fetchlet-src.* >/dev/null 2>&1; then
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      sed -n 's/^Types: deb$/Types: deb-src/;p' "$f"
      echo
    done | $SUDO tee /etc/apt/sources.list.d/fetchlet-src.sources >/dev/null
    if [ -f /etc/apt/sources.list ]; then
      grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
        | $SUDO tee /etc/apt/sources.list.d/fetchlet-src.list >/dev/null || true
    fi
    $SUDO apt-get update -qq
  fi
}

# The source package's patches, in the order of its series: the security
# fixes above all. Patches to the build files (configure.ac, Makefile.am, the
# m4 macros) are Debian's packaging and would make the tarball's generated
# configure out of date: they stay out.
apply_debian_patches() {
  local tree=$1 patches=$2 patch
  while read -r patch; do
    case $patch in '' | '#'*) continue ;; esac
    grep -qE '^\+\+\+ [^[:space:]]*(configure\.ac|\.am|\.m4)([[:space:]]|$)' "$patches/$patch" && continue
    patch -d "$tree" -p1 -s -N <"$patches/$patch" || { echo "setup: curl patch $patch did not apply" >&2; return 1; }
  done <"$patches/series"
}

# build_curl <source tree> <processor>: configure and make run alone in a
# copy of the tree, so both processors build at once (configure is one long
# serial script, the compile is short).
build_curl() {
  local tree=$1 arch=$2 prefix
  prefix=$(curl_prefix "$arch")
  cp -a "$tree" "$tree-$arch"
  (cd "$tree-$arch" && ./configure -q --host="$arch-w64-mingw32" CC="$arch-w64-mingw32-gcc-posix" \
      --prefix="$prefix" "${CURL_OPTIONS[@]}" >/dev/null 2>&1 \
    && make -s -j"$(nproc)" -C lib >/dev/null && make -s -C lib install >/dev/null \
    && make -s -C include install >/dev/null)
  test -f "$prefix/lib/libcurl.a" || return 1
  # Earlier versions' builds go: the build takes the one left.
  local old
  for old in "$DEPS_DIR"/curl-*-"$arch-$CURL_FLAVOUR"; do
    [ "$old" = "$prefix" ] || rm -rf "$old"
  done
}

ensure_windows_curls() {
  local arch src tree status=0
  local -a missing=() jobs=()
  CURL_VERSION=$(dpkg-query -W -f='${Version}' libcurl4-openssl-dev)
  for arch in "$@"; do
    [ -f "$(curl_prefix "$arch")/lib/libcurl.a" ] || missing+=("$arch")
  done
  [ ${#missing[@]} = 0 ] && return
  echo "setup: building static libcurl $CURL_VERSION for Windows: ${missing[*]}"
  ensure_source_packages
  src=$(mktemp -d)
  chmod 755 "$src"  # apt fetches as its own user
  (cd "$src" && apt-get source -qq --download-only curl >/dev/null)
  tar -xf "$(ls "$src"/curl_*.orig.tar.* | grep -v '\.asc$' | head -n 1)" -C "$src"
  tree=$(ls -d "$src"/curl-*/)
  tree=${tree%/}
  tar -xf "$(ls "$src"/curl_*.debian.tar.* | head -n 1)" -C "$src"
  apply_debian_patches "$tree" "$src/debian/patches" || { rm -rf "$src"; return 1; }
  for arch in "${missing[@]}"; do
    build_curl "$tree" "$arch" &
    jobs+=($!)
  done
  for job in "${jobs[@]}"; do
    wait "$job" || status=1
  done
  rm -rf "$src"
  return $status
}

mkdir -p "$DEPS_DIR" 2>/dev/null || $SUDO mkdir -p "$DEPS_DIR"
ensure_packages
ensure_locale
ensure_windows_curls i686 x86_64
# The cross build finds nlohmann/json through a folder that holds nothing else.
mkdir -p "$DEPS_DIR/mingw-json-include"
ln -sfn /usr/include/nlohmann "$DEPS_DIR/mingw-json-include/nlohmann"
echo "setup: ready (deps in $DEPS_DIR)"
