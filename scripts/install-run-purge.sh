#!/usr/bin/env bash
# Installs a Debian package of this project on this machine (as root), runs the installed
# tarvo-audit on the simulated board, purges the package and fails if any of its files is
# left behind, or if its maintainer scripts or the desktop triggers did not run.
# Usage: install-run-purge.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
package=$(dpkg-deb -f "$deb" Package)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
SECONDS=0
# Waits for other package runs on the machine instead of failing; --debug=2 makes dpkg name
# each maintainer script it runs.
apt=(apt-get -y --no-install-recommends -o DPkg::Lock::Timeout=600 -o DPkg::Options::=--debug=2)
status=0

# Shows what dpkg ran from a log: the package's own scripts and the triggers.
ran() {
    grep -oE "$package\.(preinst|postinst|prerm|postrm) \( [a-z-]+|Processing triggers for [a-z0-9-]+" "$1" |
        sort -u | sed 's/^/   /'
}
expect() { # LOG TEXT WHAT
    if ! grep -qF "$2" "$1"; then
        echo "did not run: $3"
        status=1
    fi
}

# The package's paths, and which of them the machine has before the install.
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed -e 's|^\.||' -e 's|/$||' | grep . >"$work/paths"
while read -r path; do
    if [ -e "$path" ]; then echo "$path"; fi
done <"$work/paths" >"$work/before"

echo "== install $(basename "$deb")"
if ! DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "$deb" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    exit 1
fi
ran "$work/install.log"
expect "$work/install.log" "$package.postinst ( configure" "the postinst (udev rules reload)"
if dpkg-query -W desktop-file-utils >/dev/null 2>&1; then
    expect "$work/install.log" "Processing triggers for desktop-file-utils" \
        "the desktop database trigger on install"
fi
if [ ! -d /run/udev ]; then
    echo "   (udev does not run here: the scripts skip the rules reload)"
fi

echo "== run the installed tarvo-audit"
bin=$(command -v tarvo-audit || true)
if [ "$bin" != /usr/bin/tarvo-audit ] || [ "$(dpkg -S "$bin" | cut -d: -f1)" != "$package" ]; then
    echo "tarvo-audit is not the package's /usr/bin/tarvo-audit but \"$bin\""
    status=1
fi
# A home of its own, so the run keeps its settings and meter history out of the caller's.
if HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
    /usr/bin/tarvo-audit --simulate --format json >"$work/audit.json" 2>"$work/audit.err"; then
    head -c 300 "$work/audit.json"
    echo " ..."
    if ! grep -q '"serialNumber"' "$work/audit.json"; then
        echo "the installed tarvo-audit printed no record"
        status=1
    fi
else
    echo "the installed tarvo-audit failed:"
    cat "$work/audit.json" "$work/audit.err"
    status=1
fi

echo "== purge $package"
if ! DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge "$package" >"$work/purge.log" 2>&1; then
    cat "$work/purge.log"
    exit 1
fi
ran "$work/purge.log"
expect "$work/purge.log" "$package.postrm ( purge" "the postrm on purge (udev rules reload)"
if dpkg-query -W desktop-file-utils >/dev/null 2>&1; then
    expect "$work/purge.log" "Processing triggers for desktop-file-utils" \
        "the desktop database trigger on removal"
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -qv not-installed; then
    echo "dpkg still knows $package: $(dpkg-query -W -f='${Status}' "$package")"
    status=1
fi
# Left behind: any path of the package, file or folder, that was not there before the install.
left=0
while read -r path; do
    if [ -e "$path" ] && ! grep -qxF "$path" "$work/before"; then
        echo "left behind: $path"
        left=$((left + 1))
    fi
done <"$work/paths"
echo "   $(wc -l <"$work/paths") paths of the package checked, $left left behind"
[ $left -eq 0 ] || status=1
echo "== install, run and purge: $([ $status -eq 0 ] && echo passed || echo FAILED) (${SECONDS}s)"
exit $status
