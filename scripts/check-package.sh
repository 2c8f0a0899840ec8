#!/usr/bin/env bash
# Builds the Debian package from a configured build folder (default build/), lists its files,
# and checks the desktop entry, the AppStream metadata and that everything is in the package;
# runs lintian on it; and, as root, installs it, runs the installed tarvo-audit, purges it and
# looks for anything left behind. Fails on any problem.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$(cd "${1:-$top/build}" && pwd)

cmake --build "$dir" -j"$(nproc)"
SECONDS=0  # the time of the check itself, without the build
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$dir" && cpack -G DEB -B "$out" >"$out/cpack.log") || {
    cat "$out/cpack.log"
    exit 1
}
deb=$(ls "$out"/*.deb)
echo "== $(basename "$deb")"
dpkg-deb -f "$deb"
dpkg-deb -c "$deb" | tee "$out/files.txt"

status=0
for f in usr/bin/tarvo-config usr/bin/tarvo-audit usr/bin/tarvo-board-sim \
    usr/share/applications/org.tarvo.BoardConfig.desktop \
    usr/share/metainfo/org.tarvo.BoardConfig.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/org.tarvo.BoardConfig.svg \
    usr/share/icons/hicolor/256x256/apps/org.tarvo.BoardConfig.png \
    usr/share/man/man1/tarvo-config.1.gz usr/share/man/man1/tarvo-audit.1.gz \
    usr/share/man/man1/tarvo-board-sim.1.gz usr/lib/udev/rules.d/70-tarvo-board.rules \
    usr/share/doc/tarvo-board-config/copyright usr/share/doc/tarvo-board-config/changelog.gz; do
    if ! grep -q " \./$f\$" "$out/files.txt"; then
        echo "missing from the package: /$f"
        status=1
    fi
done
if ! dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6; then
    echo "the package does not depend on its Qt libraries"
    status=1
fi

dpkg-deb -x "$deb" "$out/root"
desktop-file-validate "$out/root/usr/share/applications/org.tarvo.BoardConfig.desktop" || status=1
appstreamcli validate --no-net "$out/root/usr/share/metainfo/org.tarvo.BoardConfig.metainfo.xml" ||
    status=1
# Each manual page must render without a warning (where man is installed).
for page in "$out"/root/usr/share/man/man1/*.1.gz; do
    if command -v man >/dev/null && LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null | grep .; then
        echo "warnings in $(basename "$page")"
        status=1
    fi
done
"$out/root/usr/bin/tarvo-audit" --help >/dev/null || status=1

# Debian's own package checker: any error or warning fails the check.
echo "== lintian"
if ! lintian --fail-on error,warning --tag-display-limit 0 "$deb"; then
    echo "lintian reports errors or warnings"
    status=1
fi

# Installed, run and purged for real: as root only, and not where the package is installed
# already, since the purge would take away that install.
package=$(dpkg-deb -f "$deb" Package)
if [ "$(id -u)" -ne 0 ]; then
    echo "== install, run and purge: SKIPPED, needs root (the CI run does it)"
elif dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q installed; then
    echo "== install, run and purge: SKIPPED, $package is installed on this machine"
else
    "$top/scripts/install-run-purge.sh" "$deb" || status=1
fi

if [ $status -ne 0 ]; then
    echo "package check FAILED (${SECONDS}s)"
else
    echo "package check passed (${SECONDS}s)"
fi
exit $status
