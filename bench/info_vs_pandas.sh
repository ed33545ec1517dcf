#!/usr/bin/env bash
# `korvo-cli info --json` on one spectrum file of a million points, side by side with pandas.read_csv
# and numpy.loadtxt on the same data lines: wall time and largest resident set (/usr/bin/time -v),
# and for the two Python readers also the time of the read alone (without starting Python and
# importing the library).
#
# Usage: bench/info_vs_pandas.sh [path/to/korvo-cli]   (default: build/korvo-cli, the release build)
# Needs /usr/bin/time and a Python 3 with pandas and numpy (Debian: python3-pandas python3-numpy);
# $PYTHON chooses the interpreter (default /usr/bin/python3).
set -euo pipefail

CLI=${1:-build/korvo-cli}
PYTHON=${PYTHON:-/usr/bin/python3}
POINTS=${POINTS:-1000000}
RUNS=${RUNS:-3}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A measurement as the program writes it: header, "BEGIN:", energy with 4 decimals and counts, "END".
# The data lines alone go to a second file for the Python readers.
"$PYTHON" - "$work" "$POINTS" <<'EOF'
import random, sys
work, n = sys.argv[1], int(sys.argv[2])
random.seed(7)
lines = "".join("%.4f %d\r\n" % (100 + 0.0001 * i, random.randrange(100000)) for i in range(n))
with open(work + "/big.dat", "w", newline="") as f:
    f.write("USER_ID: lab\r\nComment: bench\r\nScans: 2\r\nPoints:%d\r\nPassEn:20.000\r\nBEGIN:\r\n" % n)
    f.write(lines)
    f.write("END\r\n")
with open(work + "/lines.txt", "w", newline="") as f:
    f.write(lines)
EOF

cat >"$work/pandas_read.py" <<'EOF'
import sys, time
import pandas
t = time.perf_counter()
df = pandas.read_csv(sys.argv[1], sep=" ", header=None, names=["x", "y"], dtype="float64")
t = time.perf_counter() - t
assert len(df) == int(sys.argv[2])
print("%.3f" % t)
EOF
cat >"$work/numpy_read.py" <<'EOF'
import sys, time
import numpy
t = time.perf_counter()
a = numpy.loadtxt(sys.argv[1], dtype="float64")
t = time.perf_counter() - t
assert a.shape == (int(sys.argv[2]), 2)
print("%.3f" % t)
EOF

# Prints "wall_seconds max_rss_kb inner_seconds cpu_seconds" of the best of $RUNS runs (inner: what
# the command printed on stdout, when it is a number; cpu: user + system time, which a busy machine
# disturbs less than the wall time).
measure() {
    local best="" line
    for _ in $(seq "$RUNS"); do
        /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/out.txt"
        local wall rss inner cpu
        wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$work/time.txt")
        rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
        inner=$(head -c 32 "$work/out.txt" | grep -Ex '[0-9.]+' || echo "-")
        cpu=$(awk -F': ' '/User time|System time/ {s += $2} END {printf "%.2f", s}' "$work/time.txt")
        line="$wall $rss $inner $cpu"
        if [[ -z "$best" ]] || awk -v a="$wall" -v b="${best%% *}" 'BEGIN {exit !(a < b)}'; then best=$line; fi
    done
    echo "$best"
}

bytes=$(stat -c %s "$work/big.dat")
echo "file: $POINTS points, $((bytes / 1024)) KiB (data lines $(($(stat -c %s "$work/lines.txt") / 1024)) KiB); best of $RUNS runs"
echo "points in memory as pairs of doubles: $((POINTS * 16 / 1024)) KiB"
printf '%-26s %10s %10s %14s %14s\n' "" "wall s" "cpu s" "max RSS KiB" "read alone s"

read -r kw kr _ kc < <(measure "$CLI" info --json "$work/big.dat")
json_bytes=$("$CLI" info --json "$work/big.dat" | wc -c)
printf '%-26s %10s %10s %14s %14s\n' "korvo-cli info --json" "$kw" "$kc" "$kr" "-"
read -r pw pr pi pc < <(measure "$PYTHON" "$work/pandas_read.py" "$work/lines.txt" "$POINTS")
printf '%-26s %10s %10s %14s %14s\n' "pandas.read_csv" "$pw" "$pc" "$pr" "$pi"
read -r nw nr ni nc < <(measure "$PYTHON" "$work/numpy_read.py" "$work/lines.txt" "$POINTS")
printf '%-26s %10s %10s %14s %14s\n' "numpy.loadtxt" "$nw" "$nc" "$nr" "$ni"
read -r bw br _ bc < <(measure "$PYTHON" -c "import pandas")
printf '%-26s %10s %10s %14s %14s\n' "python3 -c 'import pandas'" "$bw" "$bc" "$br" "-"

echo "JSON written: $((json_bytes / 1024)) KiB"
awk -v k="$kw" -v p="$pw" -v pi="$pi" -v n="$nw" -v kc="$kc" -v pc="$pc" -v nc="$nc" 'BEGIN {
    printf "wall: korvo-cli info --json is %.1fx faster than pandas (whole process), %.1fx than pandas.read_csv alone, %.1fx than numpy.loadtxt (whole process)\n", p / k, pi / k, n / k
    printf "cpu:  %.1fx less than pandas, %.1fx less than numpy (whole processes)\n", pc / kc, nc / kc
}'
