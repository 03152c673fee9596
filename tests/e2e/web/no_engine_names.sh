#!/usr/bin/env bash
# A global of ours with a C name that a library exports (the web engine's g_config, ...) takes
# that library's place at run time. Fails when an executable defines such a name (names
# starting with an underscore are the toolchain's and C++'s own, shared on purpose).
# Usage: no_engine_names.sh EXECUTABLE...
set -euo pipefail
engine="$(pkg-config --variable=libdir javascriptcoregtk-4.1)/libjavascriptcoregtk-4.1.so.0"
# Every library any of the executables loads is read once.
libraries=$( (for exe in "$@"; do ldd "$exe" | awk '$3 ~ /^\// {print $3}'; done; echo "$engine") |
  sort -u)
exported=$(for lib in $libraries; do nm -D --defined-only "$lib" | awk '{print $3}'; done | sort -u)
status=0
for exe in "$@"; do
  ours=$(nm --defined-only "$exe" | awk '$2 ~ /^[BDGRSV]$/ && $3 !~ /@|^_/ {print $3}' | sort -u)
  clash=$(comm -12 <(printf '%s\n' "$ours") <(printf '%s\n' "$exported"))
  if [[ -n "$clash" ]]; then
    echo "$exe defines names its libraries export: $clash"
    status=1
  fi
done
exit $status
