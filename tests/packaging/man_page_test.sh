#!/usr/bin/env bash
# A program and its manual page agree: the options --help prints are those of the page's
# OPTIONS section, the exit statuses --help lists are those of its EXIT STATUS section, a
# wrong option exits with 2 (a listed status), and --version prints the page's version.
# Usage: man_page_test.sh PROGRAM PAGE.1
set -euo pipefail
program=$1
page=$2
name=$(basename "$program")
fail=0

help=$("$program" --help)

# The lines of one section of the page, from ".SH NAME" to the next ".SH".
section() {
    awk -v want="$1" '/^\.SH/ { on = ($0 == ".SH " want || $0 == ".SH \"" want "\"") ; next }
                      on' "$page"
}
# The tag line after each .TP of a section, with the page's \- made plain dashes.
tags() { section "$1" | awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }' | sed 's/\\-/-/g'; }

help_options=$(printf '%s\n' "$help" | sed -nE 's/^  ((--?[A-Za-z0-9?][A-Za-z0-9-]*)(, --?[A-Za-z0-9-]+)*).*/\1/p' |
    tr ',' '\n' | tr -d ' ' | sort -u)
page_options=$(tags OPTIONS | sed -E 's/^\.[A-Z]+ //' | grep -oE -- '(^|[ "])--?[A-Za-z0-9][A-Za-z0-9-]*' |
    tr -d ' "' | sort -u)
if [ -z "$help_options" ] || [ "$help_options" != "$page_options" ]; then
    echo "$name: options of --help and of $(basename "$page") differ (< --help, > page):"
    diff <(printf '%s\n' "$help_options") <(printf '%s\n' "$page_options") || true
    fail=1
fi

help_statuses=$(printf '%s\n' "$help" | awk '/^Exit status:/ { on = 1; next } on && /^  [0-9]+  / { print $1 }' |
    sort -u)
page_statuses=$(tags "EXIT STATUS" | sed -nE 's/^\.B ([0-9]+)$/\1/p' | sort -u)
if [ -z "$help_statuses" ] || [ "$help_statuses" != "$page_statuses" ]; then
    echo "$name: exit statuses of --help ($(echo $help_statuses)) and of the page" \
        "($(echo $page_statuses)) differ"
    fail=1
fi

status=0
"$program" --no-such-option >/dev/null 2>&1 || status=$?
if [ "$status" -ne 2 ] || ! grep -qx 2 <<<"$page_statuses"; then
    echo "$name: a wrong option exits with $status; the page lists: $(echo $page_statuses)"
    fail=1
fi

version=$("$program" --version)
page_version=$(sed -nE 's/^\.TH .* "tarvo-board-config ([^"]+)".*/\1/p' "$page")
if [ "$version" != "$name $page_version" ]; then
    echo "$name: --version prints \"$version\", the page is of version \"$page_version\""
    fail=1
fi
exit $fail
