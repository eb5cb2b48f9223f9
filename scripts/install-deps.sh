#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(cmake g++ make libgtest-dev libgmock-dev)
if [[ "${1:-}" == "--tests" ]]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64)
  # Sanitizer and fuzzer builds, memcheck.
  packages+=(clang libclang-rt-14-dev valgrind)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
