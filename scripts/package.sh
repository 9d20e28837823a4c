#!/usr/bin/env bash
# Builds the Debian packages reelkit, reelkit-wizard and gstreamer1.0-reelkit (and their -dbgsym
# packages of debug information) into build/packages/, from a release build of their own in build-package/ made
# with Debian's hardening flags, then runs lintian on them when it is installed.
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
# The build date the crash report names is the last commit's, so a rebuild gives the same bytes.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH

REELKIT_BUILD_DIR=$build_dir scripts/build.sh -DCMAKE_INSTALL_PREFIX=/usr \
  -DREELKIT_BUILD_TESTS=OFF -DREELKIT_BUILD_BENCHMARKS=OFF
rm -rf "$out"
(cd "$build_dir" && cpack -G DEB -B "$out")
rm -rf "$out/_CPack_Packages"

# CPack 3.25 writes its own build folder's paths into the debug packages' md5sums and gives them
# no documents, and leaves the debug files executable: they are rebuilt with sums of their files,
# plain file modes and, as debhelper does, a document folder that is a link to their package's.
mend_debug_package() {  # the .ddeb
  local tree package
  tree=$(mktemp -d)
  dpkg-deb --raw-extract "$1" "$tree"
  package=$(dpkg-deb --field "$1" Package)
  mkdir -p "$tree/usr/share/doc"
  ln -s "${package%-dbgsym}" "$tree/usr/share/doc/$package"
  find "$tree/usr" -type f -exec chmod 0644 {} +
  (cd "$tree" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
  dpkg-deb --root-owner-group --build "$tree" "$1" >/dev/null
  rm -rf "$tree"
}
for debug_package in "$out"/*.ddeb; do
  mend_debug_package "$debug_package"
done

packages=("$out"/reelkit_*.deb "$out"/reelkit-wizard_*.deb "$out"/gstreamer1.0-reelkit_*.deb
  "$out"/*.ddeb)
ls -l "$out"
# An error fails the script; warnings and notes are shown (the README lists those that remain).
if command -v lintian >/dev/null; then
  lintian --info --fail-on error "${packages[@]}"
fi
