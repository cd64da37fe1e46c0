#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every source file, script and CMake file we wrote carries the SPDX line near its top, and the
# desktop entry, the file type and the AppStream listing pass their validators. Walks the tree
# itself (the fresh CI system has no git) and skips build output and the repository's own data.
set -euo pipefail
root=$1
packaging=$2  # the build folder that holds the configured AppStream listing
status=0

missing=()
while IFS= read -r -d '' file; do
  if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: MIT'; then missing+=("${file#"$root"/}"); fi
done < <(find "$root" \( -path "$root/build" -o -path "$root/.git" -o -path "$root/fuzz/corpus" \
                         -o -path "$root/fuzz/regressions" \) -prune -o -type f \
           \( -name '*.cpp' -o -name '*.h' -o -name '*.cpp.in' -o -name '*.1.in' -o -name '*.sh' -o -name 'CMakeLists.txt' \
              -o -name '*.cmake' -o -path "$root/scripts/*" -o -path "$root/.ci/*" \) -print0)
if [ ${#missing[@]} -gt 0 ]; then
  echo "no SPDX line in: ${missing[*]}" >&2
  status=1
fi
# The check must have looked at the tree at all.
[ -f "$root/src/base/FileWrite.cpp" ] || { echo "source tree not found at $root" >&2; exit 1; }

desktop-file-validate "$root/packaging/corvelle.desktop" || status=1
metainfo=("$packaging"/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || { echo "no AppStream listing in $packaging" >&2; exit 1; }
appstreamcli validate --no-net --pedantic "${metainfo[0]}" || status=1
exit $status
