#!/usr/bin/env bash
# Whole job against Pillow, ImageMagick, OpenCV and bench/io_floor's floors,
# and the rotation stage against the plain loop: installs what it needs from
# Debian, builds the release preset, then runs bench/compare.py (its options:
# --runs, --size, --angle, --dir, --svg, --no-stage, --target-angles,
# --no-targets, --targets-only). The floors: the I/O floor (read the input,
# write the output's size, 1 MiB blocks) and the durable floor (the same,
# synced and renamed over the output), shown as information; the copy floor
# (the input read into a fresh buffer, its pixel bytes copied into a fresh
# canvas of the turned size, written) and the durable copy floor (that
# canvas synced and renamed over the output), the targets for a new output
# and a replacement. Every program is timed as it runs, with no wrapper;
# its peak memory comes from a separate untimed run under /usr/bin/time.
#
#   bench/compare.sh                  # on the disk, in a folder under /var/tmp
#   bench/compare.sh --dir /dev/shm   # on tmpfs
#   bench/compare.sh --batch-only     # the batch form (always on tmpfs) alone
#   bench/compare.sh --targets-only   # the whole job against the copy floors alone
# The batch form against a shell loop and mogrify: --no-batch, --batch-only,
# --batch-count, --batch-size, --batch-runs.
set -euo pipefail
cd "$(dirname "$0")/.."

# The stage's figures come from vintrel_bench, which needs Google Benchmark;
# the other tools are compared unless only the copy floors are.
stage=yes tools=yes
for arg in "$@"; do
  case "$arg" in
    --no-stage|--batch-only) stage=no ;;
    --targets-only) stage=no tools=no ;;
  esac
done
missing=()
# Peak memory comes from one untimed run of each program under it.
[ -x /usr/bin/time ] || missing+=(time)
if [ "$tools" = yes ]; then
  /usr/bin/python3 -c 'import PIL' 2>/dev/null || missing+=(python3-pil)
  /usr/bin/python3 -c 'import cv2' 2>/dev/null || missing+=(python3-opencv)
  [ -x /usr/bin/convert ] || missing+=(imagemagick)
  command -v mogrify >/dev/null || missing+=(imagemagick)
fi
if [ "$stage" = yes ]; then
  pkg-config --exists benchmark 2>/dev/null || [ -e /usr/include/benchmark/benchmark.h ] ||
    missing+=(libbenchmark-dev)
fi
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "needs: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake --preset release >/dev/null
targets=(bmprotate2 io_floor)
[ "$stage" = no ] || targets+=(vintrel_bench)
cmake --build --preset release --target "${targets[@]}" >/dev/null
exec /usr/bin/python3 bench/compare.py "$@"
