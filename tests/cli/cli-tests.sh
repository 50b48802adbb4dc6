#!/usr/bin/env bash
# The terminal program as a user runs it: exit statuses, the table and JSON Lines, recoveries
# into a folder, the questions' answers without a terminal. The sample image's manifest comes
# from The Sleuth Kit.
# Usage: cli-tests.sh QUORVANE_CLI SOURCE_DIR FIXTURE_DIR
set -uo pipefail
cli=$1
src=$2
fixtures=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_status() {  # expected actual what
    [[ $1 -eq $2 ]] || fail "$3: exit status $2, expected $1"
}

gzip -dc "$src/samples/sample.img.gz" > "$work/sample.img"
export TMPDIR=$work/tmp  # private: temporary files are counted below
mkdir -p "$TMPDIR"
manifest=$src/samples/sample.deleted.tsv

# Bad arguments.
"$cli" >/dev/null 2>&1; expect_status 2 $? "no subcommand"
"$cli" scan >/dev/null 2>&1; expect_status 2 $? "scan without SOURCE"
"$cli" recover --to "$work/x" "$work/sample.img" >/dev/null 2>&1
expect_status 2 $? "recover without a choice of files"
"$cli" recover --all --record 5 --to "$work/x" "$work/sample.img" >/dev/null 2>&1
expect_status 2 $? "--all with --record"

# A volume that cannot be opened: the cause, then the fixed message.
"$cli" scan "$work/missing.img" >"$work/out" 2>"$work/err"; status=$?
expect_status 1 $status "missing image"
grep -q "No such file or directory" "$work/err" || fail "the cause of a failed open is not logged"
grep -q "open disk C: failed\." "$work/err" || fail "no 'open disk' log line"
grep -q "You must be an administrator to run this software." "$work/err" || fail "no message"
head -c 4096 /dev/zero > "$work/zeros.img"
"$cli" scan "$work/zeros.img" >/dev/null 2>"$work/err"; status=$?
expect_status 1 $status "not NTFS"
grep -q "not an NTFS volume" "$work/err" || fail "not-NTFS cause missing"

# The table: a heading and one row per deleted file, sorted by name.
"$cli" scan "$work/sample.img" >"$work/table" 2>"$work/err"; status=$?
expect_status 0 $status "scan"
head -1 "$work/table" | grep -qE '^Name +Type +Size +Created +Deleted +Path$' || fail "table heading"
expected_rows=$(awk -F'\t' 'NR > 1 && $1 >= 24' "$manifest" | wc -l)
[[ $(($(wc -l < "$work/table") - 1)) -eq $expected_rows ]] || fail "table rows"
tail -n +2 "$work/table" | awk '{print $1}' | LC_ALL=C sort -c || fail "table not sorted by name"
grep -q "Scan finished" "$work/err" || fail "no 'Scan finished'"

# JSON Lines: the keys, and the values of a known file.
"$cli" scan --json "$work/sample.img" >"$work/json" 2>/dev/null
[[ $(wc -l < "$work/json") -eq $expected_rows ]] || fail "json rows"
python3 - "$work/json" "$manifest" <<'PY' || fail "json content"
import json, sys, csv
rows = [json.loads(l) for l in open(sys.argv[1])]
want = {int(r['record']): r for r in csv.DictReader(open(sys.argv[2]), delimiter='\t')}
for row in rows:
    assert list(row) == ['record', 'name', 'type', 'size', 'created', 'deleted', 'path'], row
    m = want[row['record']]
    assert row['name'] == m['name'], row
    assert row['size'] == int(m['size']), row
    folder = m['path'].rsplit('/', 1)[0] + '/' if '/' in m['path'] else ''
    assert row['path'] == 'C:\\' + folder.replace('/', '\\'), row
PY

# Recover everything: every byte as The Sleuth Kit reads it, in its folder.
"$cli" recover --all --to "$work/all" "$work/sample.img" >/dev/null 2>"$work/err"; status=$?
expect_status 0 $status "recover --all"
while IFS=$'\t' read -r record name path size sha; do
    [[ $record == record || $record -lt 24 ]] && continue
    got=$(sha256sum < "$work/all/$path" | cut -d' ' -f1)
    [[ $got == "$sha" ]] || fail "recovered $path differs"
done < "$manifest"
grep -q "All files are processed, recover end" "$work/err" || fail "no closing line"

# One record, without its folders.
record=$(awk -F'\t' '$2 == "holiday.png" {print $1}' "$manifest")
"$cli" recover --record "$record" --no-paths --to "$work/one" "$work/sample.img" >/dev/null 2>&1
expect_status 0 $? "recover --record"
[[ -f $work/one/holiday.png && $(find "$work/one" -type f | wc -l) -eq 1 ]] || fail "--record"

# By name pattern; then again: without a terminal, existing files are kept (exit 3), or renamed.
"$cli" recover --match '*.csv' --match '*.odt' --to "$work/some" "$work/sample.img" >/dev/null 2>&1
[[ $(find "$work/some" -type f | wc -l) -eq 2 ]] || fail "--match"
"$cli" recover --match '*.csv' --to "$work/some" "$work/sample.img" >/dev/null 2>"$work/err" </dev/null
expect_status 3 $? "existing file kept"
grep -q "Open file .*sales-2023.csv failed, skip" "$work/err" || fail "skip line"
"$cli" recover --match '*.csv' --if-exists rename --to "$work/some" "$work/sample.img" >/dev/null 2>&1
[[ -f "$work/some/Documents/Reports/sales-2023 (1).csv" ]] || fail "--if-exists rename"

# --keep-times: the recovered file gets the deleted file's modification time (shown as Deleted).
"$cli" recover --record "$record" --keep-times --to "$work/times" "$work/sample.img" >/dev/null 2>&1
shown=$(python3 -c 'import json,sys; print([r["deleted"] for r in map(json.loads, open(sys.argv[1])) if r["name"] == "holiday.png"][0])' "$work/json")
[[ $(date -d "@$(stat -c %Y "$work/times/Pictures/holiday.png")" '+%Y-%m-%d %H:%M') == "$shown" ]] ||
    fail "--keep-times: mtime is not $shown"
[[ $(date -d "@$(stat -c %Y "$work/one/holiday.png")" '+%Y-%m-%d %H:%M') != "$shown" ]] ||
    fail "without --keep-times the file should carry the time of its recovery"

# A destination that cannot be made: without a terminal the run ends.
"$cli" recover --all --to /proc/quorvane-no "$work/sample.img" >/dev/null 2>"$work/err" </dev/null
grep -q "Create folder /proc/quorvane-no/ failed, canceled by user" "$work/err" || fail "dest line"

# Temporary files go on every path: a reader that stops early (| head) and Ctrl-C included.
# (rich-4k lists enough files to fill the pipe after head has gone.)
"$cli" scan --json "$fixtures/rich-4k.img" 2>/dev/null | head -1 >/dev/null
[[ -z $(ls -A "$TMPDIR") ]] || fail "temporary files left after a closed pipe: $(ls "$TMPDIR")"

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all terminal program checks passed"
