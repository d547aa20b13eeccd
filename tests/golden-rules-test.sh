#!/usr/bin/env bash
# scripts/golden.sh on a tree of its own with a stand-in trace tool: a new
# trace records; changed output is refused under the same rules, and both
# check and record say so; under a raised kRulesVersion it records, and
# check wants every trace recorded under the rules of the game.
set -euo pipefail
source_root="$(cd "$(dirname "$0")/.." && pwd)"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/scripts" "$tree/game" "$tree/tests/data/golden"
cp "$source_root/scripts/golden.sh" "$tree/scripts/"
golden=$tree/tests/data/golden
: >"$golden/a.trace"
: >"$golden/expected.sha256"
printf '#!/bin/sh\necho "$GAME_SAYS"\n' >"$tree/tool"
chmod +x "$tree/tool"
rules() { echo "constexpr int kRulesVersion = $1;" >"$tree/game/Rules.h"; }
golden() { "$tree/scripts/golden.sh" "$1" --tool "$tree/tool" 2>&1; }
fail() { echo "FAIL: $*"; exit 1; }

rules 1
out=$(GAME_SAYS=one golden record) || fail "a new trace was not recorded: $out"
out=$(GAME_SAYS=one golden check) || fail "check after record: $out"

pinned=$(cat "$golden/expected.sha256" "$golden/a.out.xz" | sha256sum)
if out=$(GAME_SAYS=two golden record); then fail "recorded changed output under the same rules"; fi
grep -q "the rules are still 1" <<<"$out" || fail "record did not say why: $out"
[ "$(cat "$golden/expected.sha256" "$golden/a.out.xz" | sha256sum)" = "$pinned" ] ||
    fail "a refused record changed the recorded output"
if out=$(GAME_SAYS=two golden check); then fail "check passed changed output"; fi
grep -q "raises kRulesVersion" <<<"$out" || fail "check did not name the rules: $out"

rules 2
if out=$(GAME_SAYS=one golden check); then fail "check passed a trace of older rules"; fi
grep -q "recorded under rules 1, and the game plays rules 2" <<<"$out" || fail "check: $out"
out=$(GAME_SAYS=two golden record) || fail "record under new rules: $out"
out=$(GAME_SAYS=two golden check) || fail "check after a new record: $out"
[ "$(cat "$golden/expected.rules")" = "2  a.trace" ] || fail "expected.rules: $(cat "$golden/expected.rules")"
echo ok
