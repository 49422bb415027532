#!/usr/bin/env bash
# Code lines (cloc, blank and comment lines left out) of the product, its tests, the fuzz targets and the
# benchmark, and the tests' share of product + tests. Product is mediafile/ framework/ filter/ streams/ tools/;
# tests are tests/ plus every Python or shell script in the product folders (checkers and media makers run only
# by the tests). fuzz/ and bench/ are counted apart.
# usage: scripts/loc.sh
set -euo pipefail
cd "$(dirname "$0")/.."
command -v cloc >/dev/null || scripts/setup.sh cloc

product_dirs=(mediafile framework filter streams tools)
scripts='Python,Bourne Shell'
code() { cloc --quiet --csv "$@" | awk -F, '$2 == "SUM" { print $5; found = 1 } END { if (!found) print 0 }'; }

product=$(code --exclude-lang="$scripts" "${product_dirs[@]}")
test_scripts=$(code --include-lang="$scripts" "${product_dirs[@]}")
tests=$(( $(code tests) + test_scripts ))
fuzz=$(code fuzz)
bench=$(code bench)

printf '%-8s %7d   mediafile framework filter streams tools, no Python or shell\n' product "$product"
printf '%-8s %7d   tests/ (%d) + Python and shell in the product folders (%d)\n' tests "$tests" \
  $(( tests - test_scripts )) "$test_scripts"
printf '%-8s %7d\n' fuzz "$fuzz" bench "$bench"
awk -v t="$tests" -v p="$product" 'BEGIN { printf "tests are %.1f %% of product + tests (goal: at most 33.3 %%)\n", 100 * t / (p + t) }'
