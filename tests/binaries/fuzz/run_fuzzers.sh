#!/usr/bin/env bash
# Runs every fuzz target for a bounded time on seeds from tests/data/binaries.
# Usage: run_fuzzers.sh FUZZ_BUILD_DIR DATA_DIR SECONDS_PER_TARGET
# Exit 77 (skipped) when the targets were not built (no clang or libFuzzer).
set -euo pipefail
build="$1"
data="$2"
seconds="${3:-12}"
targets=(decoder mime check_news_message header_words yenc_kernel)
for t in "${targets[@]}"; do
  if [ ! -x "$build/fuzz_$t" ]; then
    echo "fuzz targets not built (clang or libFuzzer missing): skipped"
    exit 77
  fi
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Small seeds, each target's own kind of input.
seed() {
  local dir="$work/seeds-$1"
  shift
  mkdir -p "$dir"
  local n=0
  while IFS= read -r -d '' file; do
    cp "$file" "$dir/$n"
    n=$((n + 1))
  done < <(find "$@" -type f -size -200k -print0 2>/dev/null)
  echo "$dir"
}
yenc_seeds="$(seed yenc "$data/yenc" "$data/articles")"
mime_seeds="$(seed mime "$data/mime")"
uu_seeds="$(seed uu "$data/uuencode")"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for t in "${targets[@]}"; do
  corpus="$work/corpus-$t"
  mkdir -p "$corpus"
  case "$t" in
    decoder) seeds=("$yenc_seeds" "$uu_seeds" "$mime_seeds") ;;
    mime|header_words) seeds=("$mime_seeds") ;;
    *) seeds=("$yenc_seeds" "$uu_seeds") ;;
  esac
  echo "== fuzz_$t for ${seconds}s"
  if ! "$build/fuzz_$t" "$corpus" "${seeds[@]}" -max_total_time="$seconds" -max_len=131072 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" >"$work/$t.log" 2>&1; then
    status=1
    echo "fuzz_$t FAILED:"
    tail -60 "$work/$t.log"
    for crash in "$work"/crash-* "$work"/timeout-* "$work"/oom-* "$work"/leak-*; do
      [ -e "$crash" ] && echo "input: $crash" && od -c "$crash" | head -20
    done
  else
    grep -E "stat::number_of_executed_units|cov:" "$work/$t.log" | tail -2
  fi
done
exit $status
