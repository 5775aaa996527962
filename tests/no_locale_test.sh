#!/usr/bin/env bash
# The end-to-end case with non-ASCII folder names (Café, 😀), started as a
# plain container, cron or a CI step that clears the environment would start
# it: no LANG, no LC_*, only where the project's caches are.
#   no_locale_test.sh KOVA-E2E-TESTS.EXE
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
case_name=Settings.EightFoldersArriveInFileOrderAndASemicolonFolderQuoted
locations=()
for name in KOVA_CACHE KOVA_OPENSSL_MINGW WINEPREFIX KOVA_WINEPREFIX_NO_DAC KOVA_WINE KOVA_WINESERVER; do
  [ -z "${!name:-}" ] || locations+=("$name=${!name}")
done
output=$(env -i HOME="$HOME" PATH="$PATH" "${locations[@]}" "$here/scripts/wine-run" "$1" \
           --gtest_filter="$case_name" 2>&1) || { echo "$output"; exit 1; }
grep -q "^\[  PASSED  \] 1 test" <<<"$output" || { echo "$output"; echo "no-locale: $case_name did not run"; exit 1; }
echo "no-locale: $case_name passed with no locale in the caller's environment"
