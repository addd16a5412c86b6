#!/usr/bin/env bash
# The benchmark command: builds what it needs, measures the reference and fast paths side by
# side (alternating repetitions, medians) and ends with one JSON object on its last line holding
# every figure in microseconds. Figures only: nothing here fails on time.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}
BUILD=$ROOT/build/bench

echo "== building the benchmarks (build/bench, Release like the Python wheel)"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELMORA_BUILD_BENCH=ON -DTELMORA_BUILD_TESTS=OFF >/dev/null 2>&1 \
  || cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTELMORA_BUILD_BENCH=ON -DTELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target bench_fast_paths bench_vga_frame >/dev/null
echo "== installing the Python package (pip install .)"
python3 -m pip install -q --disable-pip-version-check --root-user-action=ignore . >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
echo "== machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
(cd "$WORK" && "$BUILD/bench/bench_fast_paths") | tee "$WORK/native.txt"
echo
(cd "$WORK" && "$BUILD/bench/bench_vga_frame") | tee "$WORK/vga.txt"
echo
(cd "$WORK" && python3 "$ROOT/bench/python_paths.py") | tee "$WORK/python.txt"
echo
python3 - "$WORK" <<'PY'
import json, re, sys
work = sys.argv[1]
figures = json.loads(open(work + "/native.txt").read().strip().splitlines()[-1])
figures.update(json.loads(open(work + "/python.txt").read().strip().splitlines()[-1]))
vga = re.search(r"cpu:\s+median ([0-9.]+) ms", open(work + "/vga.txt").read())
figures["vga_frame_us"] = round(float(vga.group(1)) * 1000.0, 3)
# The pipeline's own share of a delivered frame: the stream's CPU time beyond making its
# captures and computing their depth.
made = figures["stream_captures_per_frame"]
figures["pipeline_overhead_us"] = round(figures["stream_cpu_per_frame_us"]
                                        - made * (figures["capture_us"] + figures["hqvga_fast_us"]), 3)
print("pipeline overhead per frame: %.1f us (stream %.1f - %.2f x (capture %.1f + depth %.1f))" % (
    figures["pipeline_overhead_us"], figures["stream_cpu_per_frame_us"], made,
    figures["capture_us"], figures["hqvga_fast_us"]))
print(json.dumps(figures))
PY
