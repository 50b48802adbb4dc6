#!/usr/bin/env bash
# Each deleted file's state as `quorvane-cli scan --json` gives it, compared with the
# recoverable percentage ntfs-3g's ntfsundelete prints for the same MFT record: our intact files
# must be exactly its non-resident 100 % ones, our overwritten files exactly its non-resident 0 %
# ones, our partly overwritten ones its 1..99 % ones (the two shares adding up to 100, give or
# take a rounding), our resident ones its resident ones. Non-resident files it flags compressed,
# encrypted or spread over extension records ('!') are not compared: it gives those 0 % or a
# share of its own whatever their clusters say (The Sleuth Kit's manifests read them whole).
# Records only one of the two lists are counted and shown, not failed (bench/README.md says why).
# Then the recovery's log lines on the image overwritten on purpose.
# Usage: state-vs-ntfsundelete.sh QUORVANE_CLI FIXTURE_DIR [MORE_IMAGES...]
# Exits 77 (skipped) without ntfsundelete.
set -uo pipefail
cli=$1
fixtures=$2
shift 2
undelete=$(command -v ntfsundelete || echo /usr/sbin/ntfsundelete)
[[ -x $undelete ]] || { echo "ntfsundelete not found: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

compare() {  # image
    local image=$1 name
    name=$(basename "$image")
    # It exits 1 when no file has recoverable content: its table is what counts.
    "$undelete" --scan --force "$image" >"$work/peer" 2>"$work/peer.err"
    if ! grep -q "^Inode *Flags" "$work/peer"; then
        echo "$name: ntfsundelete cannot read it: not compared ($(head -1 "$work/peer.err"))"
        return
    fi
    if ! "$cli" scan --json --no-advanced "$image" >"$work/ours" 2>"$work/ours.err"; then
        fail "$name: quorvane-cli scan failed: $(tail -1 "$work/ours.err")"
        return
    fi
    python3 - "$name" "$work/peer" "$work/ours" <<'PY' || fail "$name: states disagree"
import json, re, sys
name, peer_path, ours_path = sys.argv[1:]
peer = {}
for line in open(peer_path, encoding="utf-8", errors="replace"):
    m = re.match(r"^(\d+)\s+(\S{4})\s+(\d+)%", line)
    if m:
        peer[int(m.group(1))] = (m.group(2), int(m.group(3)))
ours = {}
for line in open(ours_path, encoding="utf-8"):
    j = json.loads(line)
    ours[j["record"]] = (j["state"], j.get("overwritten_percent"))

def expected(flags, pct):
    if flags[1] == "R":
        return "resident"
    if flags[1] != "N":
        return None  # no content stream the peer could judge
    return {100: "intact", 0: "overwritten"}.get(pct, "partly overwritten")

both = sorted(set(peer) & set(ours))
bad = []
unjudged = []
for r in both:
    flags, pct = peer[r]
    state, share = ours[r]
    if flags[1] == "N" and (flags[2] in "CE" or flags[3] == "!"):
        # compressed or encrypted (the peer says 0 % whatever the clusters), or runs continued
        # in extension records (the peer's share there is not the runs' own)
        unjudged.append(r)
        continue
    want = expected(flags, pct)
    if want is None:
        # the peer gives such records 0 %: never our intact or overwritten
        if state in ("intact", "overwritten"):
            bad.append(f"record {r}: ours {state}, peer {pct}% without a $DATA ({flags})")
        continue
    if state != want:
        bad.append(f"record {r}: ours {state}, peer {pct}% ({flags})")
    elif want == "partly overwritten" and abs(share + pct - 100) > 1:
        bad.append(f"record {r}: ours {share}% overwritten, peer {pct}% recoverable")
only_peer = sorted(set(peer) - set(ours))
only_ours = sorted(set(ours) - set(peer))
compared = len(both) - len(unjudged)
print(f"{name}: {compared} compared, {compared - len(bad)} agree, {len(bad)} disagree, "
      f"{len(unjudged)} the peer cannot judge {unjudged[:8]}; "
      f"only the peer lists {len(only_peer)} {only_peer[:8]}, only we list {len(only_ours)} "
      f"{only_ours[:8]}")
for b in bad[:20]:
    print("  " + b)
sys.exit(1 if bad else 0)
PY
}

shopt -s nullglob
images=("$fixtures"/*.img "$fixtures"/real/*.dd "$fixtures"/real/*.raw "$fixtures"/real/*.bin "$@")
[[ ${#images[@]} -gt 0 ]] || { echo "no images unpacked in $fixtures"; exit 1; }
for image in "${images[@]}"; do compare "$image"; done

# A recovery writes what the clusters hold and says so when another file took them.
overwrite=$fixtures/overwrite.img
if [[ -f $overwrite ]]; then
    "$cli" recover --all --no-advanced --to "$work/out" "$overwrite" >"$work/log" 2>&1
    for line in "whole-a.txt| (overwritten)" "whole-b.bin| (overwritten)" \
                "part-c.txt| (partly overwritten)" "part-d.bin| (partly overwritten)" \
                "intact-e.txt|" "tiny-f.txt|"; do
        leaf=${line%%|*} note=${line#*|}
        grep -q "Recover $leaf to .*/gone/$leaf success$note\$" "$work/log" ||
            fail "no log line 'Recover $leaf to .../gone/$leaf success$note'"
    done
else
    fail "the fixture overwrite.img is missing"
fi

[[ $failures -eq 0 ]] || { echo "$failures failure(s)"; exit 1; }
echo "all states agree"
