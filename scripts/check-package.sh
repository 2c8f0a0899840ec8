#!/usr/bin/env bash
# Builds the Debian package from a configured build folder (default build/), lists its files,
# and checks the desktop entry, the AppStream metadata and that everything is in the package.
# Fails on any problem.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$(cd "${1:-$top/build}" && pwd)

cmake --build "$dir" -j"$(nproc)"
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
    usr/share/man/man1/tarvo-config.1 usr/share/man/man1/tarvo-audit.1 \
    usr/share/man/man1/tarvo-board-sim.1 usr/lib/udev/rules.d/70-tarvo-board.rules; do
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
for page in "$out"/root/usr/share/man/man1/*.1; do
    if command -v man >/dev/null && LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null | grep .; then
        echo "warnings in $(basename "$page")"
        status=1
    fi
done
"$out/root/usr/bin/tarvo-audit" --help >/dev/null || status=1

if [ $status -ne 0 ]; then
    echo "package check FAILED"
else
    echo "package check passed"
fi
exit $status
