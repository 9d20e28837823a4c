#!/usr/bin/env bash
# Builds the Debian packages reelkit and reelkit-wizard (with their -dbgsym packages) into
# build/packages/, from a release build of their own in build-package/ made with Debian's
# hardening flags, then runs lintian on them when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${REELKIT_PACKAGE_BUILD_DIR:-build-package}
out=$(realpath -m build/packages)

# The compiler and linker flags Debian builds its own packages with.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

REELKIT_BUILD_DIR=$build_dir scripts/build.sh -DCMAKE_INSTALL_PREFIX=/usr \
  -DREELKIT_BUILD_TESTS=OFF -DREELKIT_BUILD_BENCHMARKS=OFF
rm -rf "$out"
(cd "$build_dir" && cpack -G DEB -B "$out")
rm -rf "$out/_CPack_Packages"

packages=("$out"/reelkit_*.deb "$out"/reelkit-wizard_*.deb)
echo "package: ${packages[*]}"
if command -v lintian >/dev/null; then
  lintian --info "${packages[@]}" || true
fi
