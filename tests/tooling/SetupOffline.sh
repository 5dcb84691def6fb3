#!/usr/bin/env bash
# scripts/setup with a package registry out of reach, in a throwaway apt
# configuration (sources on a closed local port, indexes and cache in a
# scratch folder):
#   - with every package installed, a failing index update is tried the given
#     number of times, reported in one line, and setup goes on and succeeds;
#   - with packages missing (an empty dpkg database of its own), setup stops
#     with one line naming them and saying what to do.
# Needs root or password-less sudo (apt-get update writes its lock); skipped
# (77) otherwise, and where apt-get is not there.
set -uo pipefail
setup="$(cd "$(dirname "$0")/../.." && pwd)/scripts/setup"

command -v apt-get >/dev/null || { echo "no apt-get: skipped"; exit 77; }
if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
    echo "neither root nor password-less sudo: skipped"
    exit 77
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # apt downloads as its own user
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/parts" "$work/dpkg/updates"
touch "$work/dpkg/status"
echo 'deb [trusted=yes] http://127.0.0.1:9/debian bookworm main' >"$work/sources.list"
cat >"$work/apt.conf" <<CONF
Dir::Etc::sourcelist "$work/sources.list";
Dir::Etc::sourceparts "$work/parts";
Dir::State::lists "$work/lists";
Dir::State::status "$work/dpkg/status";
Dir::Cache "$work/cache";
Acquire::Retries "0";
CONF

failures=0
check() { # description, condition
    if eval "$2"; then
        echo "ok: $1"
    else
        echo "FAILED: $1"
        failures=$((failures + 1))
    fi
}

# 1. Nothing missing (this machine's real dpkg database), the update forced.
out="$(APT_CONFIG="$work/apt.conf" TONVALD_APT_TRIES=2 TONVALD_APT_PAUSE=0 \
       "$setup" --no-wine --update 2>&1)"
rc=$?
echo "$out" | sed 's/^/  | /'
check "setup goes on after a failing update (exit 0)" '[ "$rc" -eq 0 ]'
check "the failure is one line that names the tries and goes on" \
      '[ "$(grep -c "could not all be updated" <<<"$out")" -eq 1 ] &&
       grep -q "tried 2 times); going on with the indexes at hand" <<<"$out"'
check "apt's own lines are not shown" '! grep -qE "^(E|W|Err):" <<<"$out"'

# 2. Everything missing: an empty dpkg database, indexes that hold nothing.
out="$(DPKG_ADMINDIR="$work/dpkg" APT_CONFIG="$work/apt.conf" TONVALD_APT_TRIES=1 \
       TONVALD_APT_PAUSE=0 "$setup" --no-wine 2>&1)"
rc=$?
echo "$out" | sed 's/^/  | /'
check "a package that cannot be installed stops setup (exit 1)" '[ "$rc" -eq 1 ]'
check "one line names the packages and what to do" \
      '[ "$(grep -c "^setup: cannot install" <<<"$out")" -eq 1 ] &&
       grep -q "^setup: cannot install cmake .*googletest.*wait a few minutes and run this command again" <<<"$out"'
check "Wine is not asked for with --no-wine" '! grep -q "wine32" <<<"$out"'

echo "$failures failed"
[ "$failures" -eq 0 ]
