#!/bin/sh
# Checks that the summary the reading guide shows under each of its samples is what
# mousecheck-summary prints for that sample, with the exit status it names: the sample's lines
# (the indented blocks from the section's heading up to "mousecheck-summary on these lines"),
# kept as log.txt, then the indented block after that sentence.
# Usage: summary_samples_test.sh SOURCE_DIR SUMMARY
set -eu
guide="$1/docs/reading.md"
summary=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for section in "A sample on Linux" "A sample on Windows"; do
    # Splits the section into the sample (log.txt), the summary shown (shown.txt) and the status.
    awk -v heading="### $section" -v dir="$work" '
        $0 == heading { inside = 1; part = "log.txt"; next }
        inside && /^##/ { exit }
        inside && /^mousecheck-summary on these lines/ { part = "sentence"; sentence = 1 }
        inside && part == "sentence" && /exit status [0-9]/ {
            status = $0; sub(/.*exit status /, "", status); sub(/[^0-9].*/, "", status)
            print status > (dir "/status.txt")
        }
        inside && part == "sentence" && /^    / { part = "shown.txt" }
        inside && part == "shown.txt" && !/^    / && !/^$/ { exit }
        inside && part != "sentence" && /^    / { print substr($0, 5) > (dir "/" part) }
    ' "$guide"
    for file in log.txt shown.txt status.txt; do
        [ -s "$work/$file" ] || { echo "summary_samples_test: \"$section\" has no $file"; failed=1; continue 2; }
    done
    status=0
    (cd "$work" && "$summary" log.txt >printed.txt 2>&1) || status=$?
    if ! cmp -s "$work/printed.txt" "$work/shown.txt"; then
        echo "summary_samples_test: \"$section\": the guide shows another summary than the program prints:"
        diff "$work/shown.txt" "$work/printed.txt" || true
        failed=1
    fi
    [ "$status" = "$(cat "$work/status.txt")" ] ||
        { echo "summary_samples_test: \"$section\": status $status, the guide says $(cat "$work/status.txt")"; failed=1; }
    rm -f "$work"/*.txt
done
exit $failed
