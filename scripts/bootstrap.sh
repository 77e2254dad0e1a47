#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian packages.
# Idempotent: when every tool is already there it only checks and returns.
set -euo pipefail

packages=(
    build-essential cmake ninja-build git python3 pkg-config
    clang libclang-rt-14-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    zlib1g-dev nlohmann-json3-dev
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
    wine wine64 wine32:i386 qemu-user-static
    xvfb xauth x11-utils imagemagick
    cabextract gcab osslsigncode openssl
    hyperfine locales
    fonts-ipafont-gothic
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

# Some kernels run no 32-bit Linux programs, and 32-bit Wine is one. Then the
# i386 programs go through qemu's user-mode emulator, registered for them here.
enable_i386_emulation() {
    local ld=/lib/ld-linux.so.2
    [ -x "$ld" ] || return 0
    "$ld" --version >/dev/null 2>&1 && return 0
    local binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
    [ -e "$binfmt/qemu-i386" ] && return 0
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
        $SUDO tee "$binfmt/register" >/dev/null
    echo "bootstrap: 32-bit programs run through qemu-i386-static"
}

# Wine takes its code page from the locale: the Japanese face needs ja_JP.UTF-8.
enable_japanese_locale() {
    locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && return 0
    $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}

if [ ${#missing[@]} -eq 0 ]; then
    enable_i386_emulation
    enable_japanese_locale
    exit 0
fi
echo "bootstrap: installing ${missing[*]}"

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi

# amd64 and i386 copies of a shared library must have the same version; the
# i386 index of the security suite can fail to download, so keep the security
# suite below the main one and both architectures agree.
pin=/etc/apt/preferences.d/bootstrap-security-pin
if [ ! -f "$pin" ]; then
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' | $SUDO tee "$pin" >/dev/null
fi

# A failed download of one index makes apt-get update exit non-zero; that alone is harmless.
$SUDO apt-get update -q || echo "bootstrap: apt-get update reported an error; going on"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
enable_i386_emulation
enable_japanese_locale
