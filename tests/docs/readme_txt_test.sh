#!/bin/sh
# Checks that each README.txt stands alone: cut from the documents as the release cuts it, it
# begins with its version, holds the reading guide, the exact install, log and summary commands
# of its platform (mousecheck-summary named, and run on the log as the last step of its quick
# start), every section it names in quotes is one of its own, it names no developer material
# and no file that its user does not get (the download, what it unpacks or installs, a log the
# user writes), and every download it names is of this version. And that it reads well in a
# plain viewer (Notepad, less): no line over 100 characters, and no Markdown markup shown raw
# (heading marks, backticks, "**", table rows, links).
# Usage: readme_txt_test.sh SOURCE_DIR VERSION
set -eu
source_dir=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Fails the test with a message.
fail() {
    echo "readme_txt_test: $*"
    failed=1
}

# The headings of every document a README.txt is cut from, without their "#" marks.
sed -n 's/^#\{1,\} \(.*\)/\1/p' "$source_dir/README.md" "$source_dir"/docs/*.md | sort -u >"$work/headings"

# Checks the README.txt of PLATFORM against its required headings and texts (one per line in
# REQUIRED: "## Heading" for a heading, anything else a text it must contain) and the file
# names it may use (ALLOWED, one per line). A heading of a README.txt is a line underlined by a
# line of "=" or "-" as long as it.
check() {
    platform=$1 required=$2 allowed=$3
    readme="$work/$platform/README.txt"
    mkdir -p "$work/$platform"
    cmake -DSOURCE_DIR="$source_dir" -DPLATFORM="$platform" -DOUTPUT="$readme" \
        -P "$source_dir/cmake/readme-txt.cmake" || { fail "cannot cut the README.txt for $platform"; return; }
    awk 'NR > 1 && /^(=+|-+)$/ && length($0) == length(previous) { print previous } { previous = $0 }' \
        "$readme" >"$work/$platform/headings"
    case $platform in windows) title="mousecheck $version for Windows" ;; *) title="mousecheck $version for Linux" ;; esac
    [ "$(head -n 1 "$readme")" = "$title" ] || fail "$platform: the first line is not \"$title\""
    long=$(awk 'length > 100 { printf "%d (%d characters) ", NR, length }' "$readme")
    [ -z "$long" ] || fail "$platform: lines over 100 characters: $long"
    markup=$(grep -nE '^ *#|`|\*\*|^ *\||\]\(' "$readme" || true)
    [ -z "$markup" ] || fail "$platform: Markdown markup shown raw: $markup"
    echo "$required" | while IFS= read -r line; do
        [ -n "$line" ] || continue
        case $line in
        "#"*) grep -qxF "$(echo "$line" | sed 's/^#* //')" "$work/$platform/headings" ||
                  echo "$platform: no section \"$line\"" ;;
        *) grep -qF -- "$line" "$readme" || echo "$platform: no \"$line\"" ;;
        esac
    done >"$work/missing"
    [ -s "$work/missing" ] && fail "$(cat "$work/missing")"
    # A quoted heading of any document must be a heading of this README.txt.
    while IFS= read -r heading; do
        if grep -qF "\"$heading\"" "$readme" && ! grep -qxF "$heading" "$work/$platform/headings"; then
            fail "$platform: names the section \"$heading\", which it does not contain"
        fi
    done <"$work/headings"
    developer=$(grep -noE 'scripts/|tests?/|docs/|build/|CONTRIBUTING|CHANGELOG|[A-Za-z]\.md\b|unit tests?|demo' "$readme" || true)
    [ -z "$developer" ] && : || fail "$platform: names developer material: $(echo "$developer" | tr '\n' ' ')"
    grep -oE '[A-Za-z][A-Za-z0-9_.+-]*\.(txt|exe|zip|tar\.gz|gz|deb|md|sh|cpp|h)\b|[A-Za-z_-]+\.1\b|SHA256SUMS|LICENSE[.a-z]*' "$readme" |
        sort -u | while IFS= read -r name; do
            echo "$allowed" | grep -qxF "$name" || echo "$name"
        done >"$work/unknown"
    [ -s "$work/unknown" ] && fail "$platform: names files that its user does not get: $(tr '\n' ' ' <"$work/unknown")"
    case $platform in windows) heading="Quick start on Windows" last='    PS> .\mousecheck-summary.exe log.txt' ;;
                      *) heading="Quick start on Linux" last='    $ ./mousecheck-summary log.txt' ;; esac
    command=$(awk -v h="$heading" '$0 == h { on = 1; getline; next }
                                   on && /^(=+|-+)$/ { exit }
                                   on && /^    (PS>|\$) / { last = $0 }
                                   END { print last }' "$readme")
    [ "$command" = "$last" ] || fail "$platform: the last command of \"$heading\" is \"$command\", not \"$last\""
    stale=$(grep -oE 'mousecheck[-_][0-9]+\.[0-9]+\.[0-9]+' "$readme" | grep -vxE "mousecheck[-_]$version" | sort -u || true)
    [ -z "$stale" ] || fail "$platform: names downloads of another version: $(echo "$stale" | tr '\n' ' ')"
}

reading_guide='## What the lines mean
## Reading the result
### How to test
### What the summary says
### A healthy mouse
### What a fault looks like
### What else prints it
### What to do next
### Reporting a bug in mousecheck
## Keeping a log
Fast-click detected!
mousecheck-summary'

check windows "$reading_guide
## Quick start on Windows
## Installing on Windows
## On Windows
### A sample on Windows
Get-FileHash .\\mousecheck-$version-windows-x86_64.zip -Algorithm SHA256
Expand-Archive .\\mousecheck-$version-windows-x86_64.zip
PS> cd \$HOME\\mousecheck
PS> .\\mousecheck.exe
PS> cmd /c \"mousecheck.exe > log.txt\"
PS> .\\mousecheck-summary.exe log.txt
> mousecheck.exe > log.txt
> mousecheck.exe > log.txt 2>&1" "mousecheck.exe
mousecheck-summary.exe
README.txt
LICENSE.txt
mousecheck-$version-windows-x86_64.zip
SHA256SUMS
log.txt"

check linux "$reading_guide
## Quick start on Linux
## Installing on Linux
## Using it on Linux
## On Linux
### A sample on Linux
dpkg --print-architecture
uname -m
\$ sha256sum -c --ignore-missing SHA256SUMS
\$ tar xf mousecheck-$version-linux-x86_64.tar.gz
\$ cd mousecheck-$version-linux-x86_64
\$ sudo ./mousecheck
\$ man ./mousecheck.1
\$ sudo apt install ./mousecheck_$version-1_amd64.deb
mousecheck-$version-linux-aarch64.tar.gz
mousecheck_$version-1_arm64.deb
\$ man mousecheck
\$ sudo ./mousecheck > log.txt
\$ sudo ./mousecheck > log.txt 2>&1
\$ sudo ./mousecheck | tee log.txt
\$ sudo script -q -f -c ./mousecheck log.txt
\$ ./mousecheck-summary log.txt
\$ man ./mousecheck-summary.1
\$ man mousecheck-summary
sudo usermod -aG input \"\$USER\"
libinput" "mousecheck.1
mousecheck-summary.1
README.txt
README.txt.gz
LICENSE
mousecheck-$version-linux-x86_64.tar.gz
mousecheck_$version-1_amd64.deb
mousecheck-$version-linux-aarch64.tar.gz
mousecheck_$version-1_arm64.deb
SHA256SUMS
log.txt"

[ "$failed" = 0 ] && echo "readme_txt_test: each README.txt holds its platform's guide and names only what it holds"
exit $failed
