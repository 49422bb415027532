#!/usr/bin/env bash
# Fuzzes the media-file library for a bounded time: installs clang and its
# fuzzer run-time when missing, builds the libFuzzer targets into build/fuzz,
# makes the seed corpus, replays every reproducer under fuzz/regressions/ and
# then runs each target. Any crash, leak, sanitizer report, broken invariant,
# timeout or out-of-memory fails the run; the input is left in
# build/fuzz/findings/TARGET/.
# usage: scripts/fuzz.sh [SECONDS]   (fuzzing time over all targets, default 180)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}

scripts/setup.sh clang libclang-rt-14-dev

# The dictionary must name every four-character code the library knows.
unlisted=$(grep -rhoE "BXF_FOURCC\('.', *'.', *'.', *'.'\)" mediafile |
  sed -E "s/BXF_FOURCC\('(.)', *'(.)', *'(.)', *'(.)'\)/\1\2\3\4/" | sort -u |
  while read -r code; do grep -qF "=\"$code\"" fuzz/mp4.dict || echo "$code"; done)
if [ -n "$unlisted" ]; then
  echo "fuzz: fuzz/mp4.dict lacks: $(echo $unlisted)" >&2
  exit 1
fi

targets=(movie sample_entries sps hevc_sps audio_specific_config es_descriptor video_object_layer)
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBXF_FUZZ=ON \
  -DBXF_BUILD_TESTS=OFF >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null
bin=build/fuzz/fuzz
# A hang, a huge allocation or a growing footprint is a finding too.
limits=(-timeout=5 -malloc_limit_mb=256 -rss_limit_mb=1024)
status=0

for target in "${targets[@]}"; do
  reproducers=(fuzz/regressions/"$target"/*)
  [ -e "${reproducers[0]}" ] || continue
  echo "fuzz: replaying ${#reproducers[@]} reproducers of $target"
  "$bin/fuzz_$target" "${limits[@]}" "${reproducers[@]}" >build/fuzz/replay_"$target".log 2>&1 || {
    cat build/fuzz/replay_"$target".log >&2
    echo "fuzz: a reproducer of $target fails again" >&2
    status=1
  }
done

fuzz/make_seeds.sh build/fuzz/corpus "$bin"
fuzz/make_bitstream_seeds.sh build/fuzz/corpus

# The sample entries get a quarter of the time, each small bitstream parser a
# sixteenth and the whole-file target the rest; the shares add up to SECONDS.
small=$((seconds / 16))
declare -A share=([sample_entries]=$((seconds / 4)) [sps]=$small [hevc_sps]=$small [audio_specific_config]=$small
  [es_descriptor]=$small [video_object_layer]=$small [movie]=$((seconds - seconds / 4 - 5 * small)))
# The box dictionary helps the targets that read boxes only.
declare -A dict=([movie]=-dict=fuzz/mp4.dict [sample_entries]=-dict=fuzz/mp4.dict)
for target in "${targets[@]}"; do
  findings=build/fuzz/findings/$target
  log=build/fuzz/fuzz_$target.log
  mkdir -p "$findings"
  # libFuzzer reads a time of 0 as no limit.
  [ "${share[$target]}" -ge 1 ] || share[$target]=1
  echo "fuzz: $target for ${share[$target]} s"
  if ! "$bin/fuzz_$target" build/fuzz/corpus/"$target" ${dict[$target]:-} -seed=1 \
    -max_total_time="${share[$target]}" "${limits[@]}" -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1; then
    tail -60 "$log" >&2
    echo "fuzz: $target found a fault; its input is in $findings/" >&2
    status=1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
  echo "corpus: $(ls build/fuzz/corpus/"$target" | wc -l) inputs"
done
exit $status
