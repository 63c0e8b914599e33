#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need, and the
# Japanese locale. Idempotent: installs only what is missing. Needs root.
set -euo pipefail

native_packages=(cmake ninja-build g++ make python3 libgtest-dev googletest file iproute2 procps)
# The x86_64 cross compiler and wine64 run the same programs as a 64-bit build on
# hosts whose kernel cannot execute 32-bit code.
windows_packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-win32 wine wine32 wine64
                  xvfb xauth fonts-noto-cjk imagemagick locales)

missing() {
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || echo "$package"
    done
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_update=1
fi

wanted=$(missing "${native_packages[@]}" "${windows_packages[@]}")
if [ -n "$wanted" ]; then
    echo "setup: installing:" $wanted
    export DEBIAN_FRONTEND=noninteractive
    if [ -n "${need_update:-}" ] || ! apt-get install -y -qq --no-install-recommends $wanted >/dev/null 2>&1; then
        apt-get update -qq
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $wanted >/dev/null
    fi
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "setup: generating the ja_JP.UTF-8 locale"
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi
echo "setup: everything needed is installed"
