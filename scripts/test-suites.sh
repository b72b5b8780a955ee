#!/usr/bin/env bash
# Runs the ctest suites of the presets given, every one of them even when one
# before it fails, then fails naming each that failed. A suite that leaves a
# file behind, in its build folder or in the sources, fails too: every run
# must be able to follow another. Started by ./test.sh inside its X server.
set -uo pipefail
cd "$(dirname "$0")/.."

# The files a run could leave: all but Wine's prefix, ctest's own logs and
# the other build folders.
files_of() {
    find "build/$1" \( -name wineprefix -o -name Testing \) -prune -o -print
    find . \( -path ./build -o -path ./.git \) -prune -o -print
}

failed=()
for preset in "$@"; do
    before=$(files_of "$preset" | sort)
    if ! ctest --preset "$preset"; then
        failed+=("$preset")
        continue
    fi
    left=$(comm -13 <(echo "$before") <(files_of "$preset" | sort))
    if [ -n "$left" ]; then
        printf 'test-suites.sh: the %s suite left these files behind:\n%s\n' "$preset" "$left" >&2
        failed+=("$preset (files left behind)")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    printf 'test-suites.sh: these suites failed: %s\n' "$(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')" >&2
    exit 1
fi
echo "test-suites.sh: every suite passed: $*"
