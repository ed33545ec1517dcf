#!/usr/bin/env bash
# `korvo-cli fit --jobs 2` over a series of 1000 spectra of 1000 points, three lines each (a C 1s-like
# depth profile whose components grow and shrink), on a linear background: wall time and CPU time of
# the whole command (load, fits, JSON output). Target: at most 3 s.
#
# Usage: bench/fit_series.sh [path/to/korvo-cli]   (default: build/korvo-cli, the release build)
# Needs /usr/bin/time and Python 3 with numpy ($PYTHON, default /usr/bin/python3).
set -euo pipefail

CLI=${1:-build/korvo-cli}
PYTHON=${PYTHON:-/usr/bin/python3}
FILES=${FILES:-1000}
JOBS=${JOBS:-2}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$PYTHON" - "$work" "$FILES" <<'PY'
import math, sys
import numpy as np
work, files = sys.argv[1], int(sys.argv[2])
rng = np.random.default_rng(3)
x = 280 + 0.015 * np.arange(1000)
def pv(pos, fwhm, area, eta):
    t = (x - pos) / fwhm
    return area / fwhm * ((1 - eta) * math.sqrt(4 * math.log(2) / math.pi) * np.exp(-4 * math.log(2) * t * t)
                          + eta * 2 / math.pi / (1 + 4 * t * t))
for k in range(files):
    s = k / max(files - 1, 1)
    f = (pv(284.8, 1.1, 6000 * (1 - 0.6 * s), 0.3) + pv(286.3, 1.2, 1500 + 2500 * s, 0.3)
         + pv(288.9, 1.4, 800, 0.3) + 300 + 4 * (x - 280))
    y = rng.poisson(f)
    with open("%s/d%04d.dat" % (work, k), "w", newline="") as out:
        out.write("PhotEn: 1486.600\r\nBEGIN:\r\n")
        out.write("".join("%.4f %d\r\n" % (a, b) for a, b in zip(x, y)))
        out.write("END\r\n")
with open(work + "/model.json", "w") as out:
    out.write('''{"background": {"type": "linear"}, "weights": "poisson", "components": [
  {"name": "C1", "shape": "pseudo_voigt", "position": 285.0, "fwhm": 1.2, "area": 5000, "eta": 0.3},
  {"name": "C2", "shape": "pseudo_voigt", "position": 286.5, "fwhm": 1.2, "area": 2500, "eta": "C1"},
  {"name": "C3", "shape": "pseudo_voigt", "position": 289.0, "fwhm": 1.3, "area": 900, "eta": "C1"}]}
''')
PY

cli=$(realpath "$CLI")
cd "$work"
/usr/bin/time -f "%e %U %S" -o time.txt "$cli" fit --model model.json --json --jobs "$JOBS" d*.dat >out.jsonl || status=$?
read -r wall user sys <time.txt
lines=$(wc -l <out.jsonl)
converged=$(grep -c '"converged":true' out.jsonl || true)
echo "korvo-cli fit --jobs $JOBS: $lines spectra ($converged converged) in ${wall} s wall, $(awk "BEGIN { print $user + $sys }") s CPU"
exit "${status:-0}"
