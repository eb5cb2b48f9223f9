#!/usr/bin/env bash
# Builds the tool and makes the packages in build/native/packages: a .tar.gz and
# a .deb of the native build, and a .zip of the Windows exes in build/windows-x86
# and build/windows-x64 with the README (see README.md, "The Windows build");
# without any Windows exe the zip is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native
cpack --preset native
cmake --build --preset native --target package_windows
ls -l build/native/packages/*.tar.gz build/native/packages/*.deb build/native/packages/*.zip 2>/dev/null || true
