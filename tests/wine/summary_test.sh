#!/bin/sh
# mousecheck-summary.exe under Wine: the Windows sample of docs/reading.md as a log in UTF-16LE
# with its mark and CRLF line ends (as Windows PowerShell 5.1's ">" writes it) and as a CRLF log,
# each named on the command line and on standard input (read in binary, so UTF-16 and CRLF reach
# the decoder as bytes): the exact summary, each line ending in CRLF (standard output in text
# mode), and the status 1 (a test to repeat); a log that cannot be opened: status 2 and the
# error naming it.
# Usage: summary_test.sh WINE SUMMARY_EXE, with Wine's environment set.
set -eu
wine=$1 exe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failed=0

# Fails the test with a message.
fail() {
    echo "summary_test: $*"
    failed=1
}

cat >sample.txt <<'LOG'
Mouse: Handle=0x00000001
  Name=\\?\HID#VID_845E&PID_0001#0&0000&0&0#{378de44c-56ef-11d1-bc8c-00a0c91405dd}
  Id=1, Buttons=5, SampleRate=0, HorizontalWheel=0
RAW INPUT Mouse:
Mouse Button:1
Mouse Button:2, 110ms
Mouse Button:1
Mouse Button:2, 91ms
Mouse Button:4
Mouse Button:8, 111ms
Mouse Button:4
Mouse Button:8, 90ms
Mouse Button:16
Mouse Button:32, 110ms
Mouse Button:16
Mouse Button:32, 91ms
Mouse Button:64
Mouse Button:128, 110ms
Mouse Button:64
Mouse Button:128, 90ms
Mouse Button:256
Mouse Button:512, 110ms
Mouse Button:256
Mouse Button:512, 90ms
Mouse Button:1
Mouse Button:2, 95ms
Mouse Button:1
Fast-click detected!
Mouse Button:2, 80ms
wheel check up:6089ms
wheel check up:320ms
wheel check up:320ms
wheel check down:321ms
wheel check down:320ms
wheel check up:320ms
wheel too fast!
wheel check up:0ms
LOG
sed 's/$/\r/' sample.txt >crlf.txt
{ printf '\377\376'; iconv -f UTF-8 -t UTF-16LE crlf.txt; } >utf16.txt

# The summary of the sample, with the name of the log it read.
expected() {
    cat <<SUMMARY
$1: run 1, lines 1 to 37, 1 mouse listed
  left      4 presses, 4 releases, shortest hold 80 ms
            warnings: 1 closed again within 15 ms of a release, 0 held 15 ms or less
            holds (ms): <=15: 0, 16-50: 0, 51-150: 4, 151-1000: 0, >1000: 0
            suspect: too few holds to judge (10 needed)
  right     2 presses, 2 releases, shortest hold 90 ms
            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less
            holds (ms): <=15: 0, 16-50: 0, 51-150: 2, 151-1000: 0, >1000: 0
            suspect: too few holds to judge (10 needed)
  middle    2 presses, 2 releases, shortest hold 91 ms
            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less
            holds (ms): <=15: 0, 16-50: 0, 51-150: 2, 151-1000: 0, >1000: 0
            suspect: too few holds to judge (10 needed)
  button 4  2 presses, 2 releases, shortest hold 90 ms
            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less
            holds (ms): <=15: 0, 16-50: 0, 51-150: 2, 151-1000: 0, >1000: 0
            suspect: too few holds to judge (10 needed)
  button 5  2 presses, 2 releases, shortest hold 90 ms
            warnings: 0 closed again within 15 ms of a release, 0 held 15 ms or less
            holds (ms): <=15: 0, 16-50: 0, 51-150: 2, 151-1000: 0, >1000: 0
            suspect: too few holds to judge (10 needed)
  wheel     5 up, 2 down, 1 "wheel too fast!", 0 skips
  verdict:
    left: 1 of 3 clicks bounced: repeat the test; one alone can come from a healthy mouse
      at line 28
    right: 2 clicks, none bounced
    middle: 2 clicks, none bounced
    button 4: 2 clicks, none bounced
    button 5: 2 clicks, none bounced
    wheel: 7 notches, no skip
SUMMARY
}

# Checks one run of the exe: its status, its standard output (CRLF lines) and its errors.
check() {
    what=$1 status=$2 want=$3 want_err=$4
    [ "$(cat status)" = "$status" ] || fail "$what: status $(cat status), not $status"
    [ "$(tr -d '\r' <out)" = "$want" ] || fail "$what: printed
$(tr -d '\r' <out)
expected
$want"
    [ "$(tr -d '\r' <out | wc -l)" = "$(grep -c "$(printf '\r')\$" out || true)" ] || fail "$what: not every line ends in CRLF"
    [ "$(tr -d '\r' <err)" = "$want_err" ] || fail "$what: standard error says: $(cat err)"
}

for log in utf16.txt crlf.txt; do
    { "$wine" "$exe" "$log" >out 2>err; echo $? >status; } || true
    check "$log named" 1 "$(expected "$log")" ""
    { "$wine" "$exe" <"$log" >out 2>err; echo $? >status; } || true
    check "$log on standard input" 1 "$(expected "standard input")" ""
done
{ "$wine" "$exe" missing.txt >out 2>err; echo $? >status; } || true
check "a log that cannot be opened" 2 "" "mousecheck-summary: missing.txt: No such file or directory"
[ "$failed" = 0 ] && echo "summary_test: the UTF-16LE and the CRLF log give the sample's summary, named and on standard input"
exit $failed
