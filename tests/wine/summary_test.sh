#!/bin/sh
# mousecheck-summary.exe under Wine: the Windows sample of docs/reading.md as a log in UTF-16LE
# with its mark and CRLF line ends (as Windows PowerShell 5.1's ">" writes it) and as a CRLF log,
# each named on the command line and on standard input (read in binary, so UTF-16 and CRLF reach
# the decoder as bytes): the exact summary, each line ending in CRLF (standard output in text
# mode), and the status 1 (a test to repeat); a log that cannot be opened: status 2 and the
# error naming it.
# A Windows user's habits: a log whose name is outside the ANSI code page (日志.txt), read as the
# same log under an ASCII name; standard input in binary, so that a UTF-16 byte 0x1A (К is U+041A,
# 业 U+4E1A) before the events is no end of the log; and on a console of its own (Wine's console
# on a pseudo-terminal, where the exe is alone, as one started from Explorer is on Windows) the
# exe waits for a key after the summary, but not with its output in a file, nor under cmd, which
# shares its console.
# Usage: summary_test.sh WINE SUMMARY_EXE, with Wine's environment set.
set -eu
wine=$1 exe=$2
work=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$work"' EXIT
cd "$work"
failed=0
# Wine takes the Unix arguments in the locale's encoding to UTF-16: UTF-8, whatever the machine's.
export LC_ALL=C.UTF-8

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

# Runs the exe on a log and keeps its status, output and errors under the given name.
run() {
    tag=$1
    shift
    { "$wine" "$exe" "$@" >"$tag.out" 2>"$tag.err"; echo $? >"$tag.status"; } || true
}

# A name outside the ANSI code page, on the command line and in the summary: the same output as
# the same log under an ASCII name, but for the name.
cp crlf.txt 日志.txt
run ascii crlf.txt
run unicode 日志.txt
[ "$(cat unicode.status)" = "$(cat ascii.status)" ] ||
    fail "日志.txt: status $(cat unicode.status), not $(cat ascii.status) as crlf.txt; errors: $(cat unicode.err)"
grep -q 日志.txt unicode.out || fail "日志.txt: its name is not in the summary: $(cat unicode.out)"
[ "$(sed 's/日志\.txt/crlf.txt/g' unicode.out)" = "$(cat ascii.out)" ] || fail "日志.txt: printed
$(cat unicode.out)
where crlf.txt gives
$(cat ascii.out)"
run missing 缺失.txt
[ "$(cat missing.status)" = 2 ] || fail "缺失.txt, missing: status $(cat missing.status), not 2"
grep -q 缺失.txt missing.err || fail "缺失.txt, missing: the error does not name it: $(cat missing.err)"

# Standard input in binary: a UTF-16 log whose listing holds К and 业, each with a byte 0x1A,
# summarised as the same log in UTF-8.
sed 's/^\(  Name=.*\)$/\1 Клавиатура 业/' crlf.txt >ctrlz.txt
{ printf '\377\376'; iconv -f UTF-8 -t UTF-16LE ctrlz.txt; } >ctrlz16.txt
run utf8 - <ctrlz.txt
run utf16 - <ctrlz16.txt
[ "$(cat utf16.status)" = "$(cat utf8.status)" ] && [ "$(cat utf16.status)" != 2 ] ||
    fail "a UTF-16 log holding 0x1A bytes, on standard input: status $(cat utf16.status), not $(cat utf8.status) as in UTF-8; errors: $(cat utf16.err)"
[ "$(cat utf16.out)" = "$(cat utf8.out)" ] || fail "a UTF-16 log holding 0x1A bytes, on standard input: printed
$(cat utf16.out)
where the same log in UTF-8 gives
$(cat utf8.out)"

# On a console: the command line run by util-linux script on a pseudo-terminal, which Wine makes
# the exe's console; keys typed into the FIFO "keys" reach it. Its status goes to the file
# "ended", what the terminal showed to "screen".
prompt="Press any key to close this window."
mkfifo keys
exec 3<>keys
on_console() {
    rm -f ended screen
    script -qfec "$1; echo \$? >ended" screen <keys >/dev/null 2>&1 &
}
# Waits up to 20 s for a file to hold a text; returns 1 if it does not.
wait_for() {
    for _ in $(seq 200); do
        grep -qF "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
# Waits for the exe on the console to end; a key ends a wait that should not be, and fails.
wait_end() {
    wait_for ended "" && [ -s ended ] && return 0
    fail "$1: still running 20 s after its start, waiting for a key?$(tr -d '\033' <screen | tail -n 3)"
    printf x >&3
    wait_for ended "" || true
    return 1
}
summary_exe="'$wine' '$exe' 日志.txt"

# Alone on its console, the output on it: the summary shows, with its name, then the prompt,
# and the exe waits for a key.
on_console "$summary_exe"
if wait_for screen "$prompt"; then
    [ ! -e ended ] || fail "alone on its console: ended after the prompt without a key"
    printf x >&3
    if wait_end "alone on its console, after a key"; then
        [ "$(cat ended)" = "$(cat ascii.status)" ] || fail "alone on its console: status $(cat ended)"
        grep -q "日志.txt" screen || fail "alone on its console: the log's name is not on the screen"
    fi
else
    fail "alone on its console: no \"$prompt\" within 20 s; the screen:$(tr -d '\033' <screen)"
    printf x >&3
    wait_end "alone on its console" || true
fi
wait

# Its output in a file, and under cmd: no prompt, and the end comes with no key.
for how in ">console.out" "cmd"; do
    case $how in
    cmd) on_console "'$wine' cmd /c '$exe' 日志.txt" ;;
    *) on_console "$summary_exe $how" ;;
    esac
    if wait_end "on a console, $how"; then
        [ "$(cat ended)" = "$(cat ascii.status)" ] || fail "on a console, $how: status $(cat ended)"
        ! grep -qF "$prompt" screen || fail "on a console, $how: \"$prompt\""
    fi
    wait
done

[ "$failed" = 0 ] && echo "summary_test: the UTF-16LE and the CRLF log give the sample's summary, named and on standard input;" \
    "a Unicode name opens; 0x1A in UTF-16 on standard input is read on; the exe waits for a key only alone on its console"
exit $failed
