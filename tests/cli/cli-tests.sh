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

# Both programs say their version.
[[ $("$cli" --version) == "quorvane-cli "[0-9]* ]] || fail "--version"

# A volume that cannot be opened: the cause, then the fixed message, whose last line names the
# real cause; the administrator sentence is for a refusal by the system only.
"$cli" scan "$work/missing.img" >"$work/out" 2>"$work/err"; status=$?
expect_status 1 $status "missing image"
grep -q "No such file or directory" "$work/err" || fail "the cause of a failed open is not logged"
grep -q "open disk C: failed\." "$work/err" || fail "no 'open disk' log line"
grep -q "Open disk C: failed\." "$work/err" || fail "no message"
tail -1 "$work/err" | grep -q "No such file or directory" || fail "the message's last line: $(tail -1 "$work/err")"
grep -q "administrator" "$work/err" && fail "a missing file is blamed on rights"
head -c 4096 /dev/zero > "$work/zeros.img"
"$cli" scan "$work/zeros.img" >/dev/null 2>"$work/err"; status=$?
expect_status 1 $status "not NTFS"
grep -q "not an NTFS volume" "$work/err" || fail "not-NTFS cause missing"

# The table: a heading and one row per deleted file, sorted by name.
"$cli" scan "$work/sample.img" >"$work/table" 2>"$work/err"; status=$?
expect_status 0 $status "scan"
head -1 "$work/table" | grep -qE '^Name +Type +Size +Created +Deleted +Path +State$' || fail "table heading"
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
    share = ['overwritten_percent'] if row.get('state') == 'partly overwritten' else []
    assert list(row) == ['record', 'name', 'type', 'size', 'created', 'deleted', 'path',
                         'state'] + share, row
    assert row['state'] in ('resident', 'intact', 'partly overwritten', 'overwritten', 'unknown')
    m = want[row['record']]
    assert row['name'] == m['name'], row
    assert row['size'] == int(m['size']), row
    folder = m['path'].rsplit('/', 1)[0] + '/' if '/' in m['path'] else ''
    assert row['path'] == 'C:\\' + folder.replace('/', '\\'), row
PY

# Filters: each takes exactly the rows of the whole list that its predicate over the JSON takes,
# as many as the manifest says ("-": states are the engine's to judge). The sample's files were
# all deleted in one minute: the dates take all of them or none.
first=$(python3 -c 'import json,sys; print(min(r["deleted"] for r in map(json.loads, open(sys.argv[1]))))' "$work/json")
next=$(date -d "$first 1 minute" '+%Y-%m-%d %H:%M')
while IFS='|' read -r args count predicate; do
    eval "set -- $args"
    "$cli" scan --json "$@" "$work/sample.img" >"$work/filtered" 2>/dev/null
    expect_status 0 $? "scan $args"
    FIRST=$first NEXT=$next python3 - "$work/json" "$work/filtered" "$count" "$predicate" <<'PY' ||
import json, os, sys
rows = [json.loads(l) for l in open(sys.argv[1])]
got = [json.loads(l) for l in open(sys.argv[2])]
first, next = os.environ['FIRST'], os.environ['NEXT']
want = [r for r in rows if eval(sys.argv[4])]
assert sys.argv[3] == '-' or len(want) == int(sys.argv[3]), (sys.argv[4], len(want))
assert got == want, ([r['name'] for r in got], [r['name'] for r in want])
PY
        fail "filter $args"
done <<'TABLE'
--match '*.CSV' --match 'h*'|2|r['name'].lower().endswith('.csv') or r['name'].lower().startswith('h')
--path 'Documents/*'|5|r['path'].startswith('C:\\Documents\\')
--path 'c:\documents\reports\'|2|r['path'] == 'C:\\Documents\\Reports\\'
--path / --path 'Pictures'|2|r['path'] in ('C:\\', 'C:\\Pictures\\')
--type PNG,.bmp|2|r['type'] in ('png', 'bmp')
--min-size 10k --max-size 27702|2|10240 <= r['size'] <= 27702
--deleted-after "$first"|8|r['deleted'] >= first
--deleted-before "$first"|0|'' < r['deleted'] < first
--deleted-after "$next"|0|r['deleted'] >= next
--deleted-before "$next" --type csv|1|'' < r['deleted'] < next and r['type'] == 'csv'
--state partly,overwritten|-|r['state'] in ('partly overwritten', 'overwritten')
TABLE
# A value that cannot be read: a usage error naming the option and the value.
while IFS='|' read -r args message; do
    eval "set -- $args"
    "$cli" scan "$@" "$work/sample.img" >"$work/out" 2>"$work/err"
    expect_status 2 $? "scan $args"
    grep -qF -- "$message" "$work/err" || fail "scan $args: $(cat "$work/err")"
    [[ ! -s $work/out ]] || fail "scan $args: something was scanned"
done <<'TABLE'
--min-size 10x|--min-size: "10x" is not a size
--max-size 1.5|--max-size: "1.5" is not a size
--deleted-after 2024-02-30|--deleted-after: "2024-02-30" is not a date that exists
--deleted-before '1 March 2024'|--deleted-before: "1 March 2024" is not a date
--type tar.gz|--type: "tar.gz" is not a list of extensions
--state intact,gone|--state: "gone" is not a file state
TABLE

# CSV: the same values as JSON Lines, quoted as RFC 4180 says, CRLF line ends (rich-4k has
# names with spaces and in many scripts).
"$cli" scan --no-advanced --json "$fixtures/rich-4k.img" >"$work/rich.json" 2>/dev/null
"$cli" scan --no-advanced --csv "$fixtures/rich-4k.img" >"$work/rich.csv" 2>/dev/null
python3 - "$work/rich.json" "$work/rich.csv" <<'PY' || fail "csv"
import csv, json, sys
rows = [json.loads(l) for l in open(sys.argv[1], encoding='utf-8')]
raw = open(sys.argv[2], 'rb').read()
assert raw.count(b'\r\n') == len(rows) + 1 and raw.count(b'\n') == len(rows) + 1, 'line ends'
lines = list(csv.reader(open(sys.argv[2], newline='', encoding='utf-8')))
keys = ['record', 'name', 'type', 'size', 'created', 'deleted', 'path', 'state', 'overwritten_percent']
assert lines[0] == keys, lines[0]
assert len(lines) == len(rows) + 1
for row, line in zip(rows, lines[1:]):
    assert line == [str(row.get(k, '')) for k in keys], (row, line)
PY

# Recover with filters: only the files that match all of them.
"$cli" recover --path 'Documents/Reports' --min-size 1k --to "$work/filtered-out" "$work/sample.img" \
    >/dev/null 2>&1
expect_status 0 $? "recover with filters"
[[ $(cd "$work/filtered-out" && find . -type f) == "./Documents/Reports/sales-2023.csv" ]] ||
    fail "recover with filters: $(cd "$work/filtered-out" && find . -type f)"

# Recover everything: every byte as The Sleuth Kit reads it, in its folder.
"$cli" recover --all --to "$work/all" "$work/sample.img" >/dev/null 2>"$work/err"; status=$?
expect_status 0 $status "recover --all"
while IFS=$'\t' read -r record name path size sha; do
    [[ $record == record || $record -lt 24 ]] && continue
    got=$(sha256sum < "$work/all/$path" | cut -d' ' -f1)
    [[ $got == "$sha" ]] || fail "recovered $path differs"
done < "$manifest"
grep -q "All files are processed, recover end" "$work/err" || fail "no closing line"
# Its table is the scan's, whether printed while the files are copied (the log going elsewhere)
# or first (table and log in one file: nothing interleaved); the files go in record order.
"$cli" recover --all --to "$work/all2" "$work/sample.img" >"$work/rtable" 2>"$work/rlog"
cmp -s "$work/table" "$work/rtable" || fail "recover's table differs from scan's"
"$cli" recover --all --to "$work/all3" "$work/sample.img" >"$work/both" 2>&1
heading=$(grep -n '^Name ' "$work/both" | head -1 | cut -d: -f1)
[[ $(tail -n "+${heading:-1}" "$work/both" | head -n "$(wc -l < "$work/table")") == "$(cat "$work/table")" ]] ||
    fail "table and log in one file: the table is not printed whole before the recovery"
# With the table going to the null device it is not made; the recovery and its log are the same.
"$cli" recover --all --to "$work/all4" "$work/sample.img" >/dev/null 2>"$work/nlog"
expect_status 0 $? "recover with its table on /dev/null"
diff -r "$work/all2" "$work/all4" >/dev/null || fail "recover with its table on /dev/null: other files"
[[ $(cut -c22- "$work/nlog" | sed "s#/all4/#/all/#g") == $(cut -c22- "$work/rlog" | sed "s#/all2/#/all/#g") ]] ||
    fail "recover with its table on /dev/null: another log"
recovering=$(sed -n 's/^.*  Recovering \(.*\) \.\.\. $/\1/p' "$work/rlog")
by_record=$(python3 -c 'import json,sys
print("\n".join(r["name"] for r in sorted(map(json.loads, open(sys.argv[1])), key=lambda r: r["record"])))' "$work/json")
[[ $recovering == "$by_record" ]] || fail "not recovered in record order: $recovering"

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

# A destination that cannot be made: without a terminal the run ends, with the cause.
"$cli" recover --all --to /proc/quorvane-no "$work/sample.img" >/dev/null 2>"$work/err" </dev/null
expect_status 2 $? "destination that cannot be made"
grep -q "Create folder /proc/quorvane-no/ failed, canceled by user" "$work/err" || fail "dest line"
grep -q "/proc/quorvane-no/: No such file or directory" "$work/err" || fail "dest cause"

# A blank destination, or one that is a file, is refused before anything is scanned or written.
"$cli" recover --all --to '   ' "$work/sample.img" >"$work/out" 2>"$work/err"
expect_status 2 $? "blank destination"
grep -q "blank" "$work/err" || fail "blank destination: no message"
[[ ! -s $work/out ]] || fail "blank destination: something was scanned"
echo "a file" > "$work/afile"
"$cli" recover --all --to "$work/afile" "$work/sample.img" >/dev/null 2>"$work/err"
expect_status 2 $? "destination that is a file"
grep -q "cannot recover into $work/afile: Not a directory" "$work/err" || fail "file destination"
[[ $(wc -l < "$work/err") -eq 1 ]] || fail "a file destination is one message: $(cat "$work/err")"

# "~" is the home folder.
HOME=$work/home "$cli" recover --record "$record" --no-paths --to '~/restored' "$work/sample.img" \
    >/dev/null 2>&1
[[ -f $work/home/restored/holiday.png ]] || fail "~ is not the home folder"

# On a terminal: Abort at a question ends the run with exit 3 and counts the files not reached
# (the terminal recovers in record order: the question comes at the lowest record's file);
# the table's long names and paths are cut to the terminal's width, --wide prints them whole.
if command -v script >/dev/null; then
    firstPath=$(python3 -c 'import json,sys
rows = [json.loads(l) for l in open(sys.argv[1])]
r = min(rows, key=lambda r: r["record"])
print(r["path"][3:].replace("\\", "/") + r["name"])' "$work/json")
    mkdir -p "$(dirname "$work/abort/$firstPath")"
    ln -s "$work/elsewhere" "$work/abort/$firstPath"
    printf 'a\n' | script -qefc "stty cols 60; '$cli' recover --all --if-exists overwrite --to '$work/abort' '$work/sample.img'" /dev/null >"$work/pty" 2>&1
    expect_status 3 $? "abort on a terminal"
    grep -q "8 chosen, 0 recovered, 8 not reached" "$work/pty" || fail "abort summary: $(tail -1 "$work/pty")"
    [[ ! -e $work/elsewhere ]] || fail "a link planted in the destination was followed"
    script -qefc "stty cols 72; '$cli' scan '$work/sample.img' 2>/dev/null" /dev/null >"$work/pty"
    python3 - "$work/pty" <<'PY' || fail "table on a 72-column terminal: $(cat "$work/pty")"
import sys
rows = [l.rstrip('\r\n') for l in open(sys.argv[1], encoding='utf-8') if l.strip()]
assert len(rows) == 9, rows
assert rows[0].startswith('Name '), rows
assert all(len(r) <= 72 for r in rows), [r for r in rows if len(r) > 72]
assert sum('\u2026' in r for r in rows) >= 2, rows
PY
    script -qefc "stty cols 60; '$cli' scan --wide '$work/sample.img'" /dev/null >"$work/pty" 2>/dev/null
    grep -q 'server-2023-08.log' "$work/pty" || fail "--wide cuts names"
fi

# A destination on the device being scanned (a loop device, mounted through ntfs-3g as Linux
# users mount NTFS): refused, unless --allow-same-volume. Needs root, losetup and FUSE.
if [[ $(id -u) -eq 0 ]] && command -v losetup >/dev/null && command -v ntfs-3g >/dev/null &&
    [[ -e /dev/fuse ]] && loop=$(losetup -f --show "$work/sample.img" 2>/dev/null); then
    cp "$work/sample.img" "$work/mounted.img"
    losetup -d "$loop"
    loop=$(losetup -f --show "$work/mounted.img")
    mkdir -p "$work/mnt"
    if ntfs-3g "$loop" "$work/mnt" 2>/dev/null; then
        "$cli" recover --all --to "$work/mnt/out" "$loop" >/dev/null 2>"$work/err"
        expect_status 2 $? "destination on the scanned volume"
        grep -q "it is on the volume being scanned ($loop)" "$work/err" || fail "same volume message"
        [[ ! -e $work/mnt/out ]] || fail "the destination was made on the scanned volume"
        "$cli" recover --all --allow-same-volume --to "$work/mnt/out" "$loop" >/dev/null 2>&1
        expect_status 0 $? "--allow-same-volume"
        umount "$work/mnt"
    else
        echo "skipped: ntfs-3g could not mount $loop"
    fi
    losetup -d "$loop"
else
    echo "skipped: the same-volume check needs root, losetup and FUSE"
fi

# cat: each deleted file's content and named streams, byte for byte as The Sleuth Kit's
# manifests say (and as icat reads the content, when it is installed): sparse, compressed,
# attribute-list and overwritten files included. Large manifests are sampled.
catted=0
for manifest_file in "$manifest" "$src"/tests/fixtures/images/*.deleted.tsv; do
    image=$fixtures/$(basename "$manifest_file" .deleted.tsv).img
    [[ $manifest_file == "$manifest" ]] && image=$work/sample.img
    while IFS=$'\t' read -r record name path size sha; do
        stream=
        [[ $name == *:* ]] && stream=${name#*:}
        "$cli" cat --record "$record" ${stream:+--stream "$stream"} "$image" >"$work/cat" 2>"$work/err"
        expect_status 0 $? "cat $record $name: $(cat "$work/err")"
        [[ $(sha256sum < "$work/cat" | cut -d' ' -f1) == "$sha" ]] || fail "cat $image $record $name"
        if [[ -z $stream ]] && command -v icat >/dev/null; then
            icat "$image" "$record" | cmp -s - "$work/cat" || fail "cat $image $record: not as icat"
        fi
        catted=$((catted + 1))
    done < <(awk -F'\t' 'NR > 1 && $1 >= 24 && (NR % 20 == 0 || $2 ~ /:/ || $3 ~ /^(sparse|packed|attr)/ || FILENAME ~ /sample|attrlist/)' "$manifest_file")
done
((catted > 60)) || fail "cat: only $catted files"
# Bad input: the cause, and the exit status.
while IFS='|' read -r args status message; do
    eval "set -- $args"
    "$cli" cat "$@" "$work/sample.img" >"$work/cat" 2>"$work/err"
    expect_status "$status" $? "cat $args"
    grep -qF -- "$message" "$work/err" || fail "cat $args: $(cat "$work/err")"
    [[ ! -s $work/cat ]] || fail "cat $args wrote something"
done <<'TABLE'
--record 99999999|2|record 99999999 is past the end of the $MFT
--record 5|2|record 5 is a folder, not a file
--record 74 --stream nope|2|record 74 has no stream named "nope" (it has no named streams)
|2|--record is required
--record x|2|Could not convert: --record = x
TABLE
"$cli" cat --record 74 "$work/missing.img" >/dev/null 2>"$work/err"
expect_status 1 $? "cat from a missing image"
grep -q "missing.img.*No such file or directory" "$work/err" || fail "cat missing image: $(cat "$work/err")"
# A stream whose runs end before its size: what they hold is written, and the exit status (3)
# and the message say that the copy is not whole. The record's size is raised past its clusters.
cp "$work/sample.img" "$work/short.img"
python3 - "$work/short.img" 74 <<'PY' || fail "cannot patch record 74"
import struct, sys
with open(sys.argv[1], 'r+b') as f:
    boot = f.read(512)
    cluster = struct.unpack_from('<H', boot, 11)[0] * boot[13]
    at = struct.unpack_from('<Q', boot, 0x30)[0] * cluster + int(sys.argv[2]) * 1024
    f.seek(at)
    r = bytearray(f.read(1024))
    o = struct.unpack_from('<H', r, 0x14)[0]
    while struct.unpack_from('<I', r, o)[0] != 0x80 or r[o + 8] != 1 or r[o + 9] != 0:
        o += struct.unpack_from('<I', r, o + 4)[0]
    allocated = struct.unpack_from('<Q', r, o + 0x28)[0]
    struct.pack_into('<QQ', r, o + 0x30, allocated + 8192, allocated + 8192)
    f.seek(at)
    f.write(r)
PY
"$cli" cat --record 74 "$work/short.img" >"$work/cat" 2>"$work/err"
expect_status 3 $? "cat of a stream cut short"
grep -qF "record 74: the data runs end before the stream's size" "$work/err" || fail "cat cut short: $(cat "$work/err")"
cmp -s -n 7258 "$work/cat" <("$cli" cat --record 74 "$work/sample.img") || fail "cat cut short: not the bytes the runs hold"
# A reader that stops early ends the copy quietly.
"$cli" cat --record 77 "$work/sample.img" 2>"$work/err" | head -c 10 >/dev/null
expect_status 0 "${PIPESTATUS[0]}" "cat into a closed pipe"
[[ ! -s $work/err ]] || fail "cat into a closed pipe: $(cat "$work/err")"

# Temporary files go on every path: a reader that stops early (| head) and Ctrl-C included.
# (rich-4k lists enough files to fill the pipe after head has gone.)
"$cli" scan --json "$fixtures/rich-4k.img" 2>/dev/null | head -1 >/dev/null
[[ -z $(ls -A "$TMPDIR") ]] || fail "temporary files left after a closed pipe: $(ls "$TMPDIR")"

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all terminal program checks passed"
