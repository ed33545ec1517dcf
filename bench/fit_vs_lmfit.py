#!/usr/bin/python3
"""The benchmark fit of build/bench_fit (five pseudo-Voigt lines, every parameter free, on a linear
background, 2000 points, Poisson weights) done by lmfit on the same data, side by side with Korvo:
lmfit with a residual function in numpy (its quickest use) and with its built-in line models (its
usual one), the time per fit of each and the ratios, and the largest relative difference between
the optima (korvo-cli fit --json on the same data).

Usage: bench/fit_vs_lmfit.py [BUILD_DIR]   (default: build, the release build with bench_fit and korvo-cli)
Needs Debian's python3-lmfit; run it with /usr/bin/python3.
"""
import json
import math
import os
import subprocess
import sys
import tempfile
import time

import lmfit
import lmfit.models
import numpy as np

LINES = [(283, 1.2, 6000, 0.3), (286, 1.0, 3000, 0.2), (289.5, 1.4, 8000, 0.4), (293, 1.1, 2000, 0.3), (297, 1.3, 5000, 0.5)]
LN2 = math.log(2)


def pseudo_voigt(x, pos, fwhm, area, eta):
    t = (x - pos) / fwhm
    g = math.sqrt(4 * LN2 / math.pi) * np.exp(-4 * LN2 * t * t)
    lo = 2 / math.pi / (1 + 4 * t * t)
    return area / fwhm * ((1 - eta) * g + eta * lo)


def data():
    # As bench_fit.cpp makes them: a noise of unit variance per count from a hash of the index.
    i = np.arange(2000)
    x = 280 + 0.01 * i
    f = 200 + 3 * (x - 280)
    for line in LINES:
        f = f + pseudo_voigt(x, *line)
    v = np.sin(12.9898 * i) * 43758.5453
    return x, f + np.sqrt(f) * (v - np.floor(v) - 0.5) * math.sqrt(12)


def start_params():
    p = lmfit.Parameters()
    p.add("c0", value=190)
    p.add("c1", value=2.5)
    for k, (pos, fwhm, area, _) in enumerate(LINES):
        p.add("P%d_position" % (k + 1), value=pos + 0.15)
        p.add("P%d_fwhm" % (k + 1), value=fwhm * 1.15, min=0)
        p.add("P%d_area" % (k + 1), value=area * 0.85)
        p.add("P%d_eta" % (k + 1), value=0.5, min=0, max=1)
    return p


def lmfit_fit(x, y):
    w = 1 / np.sqrt(np.maximum(y, 1))

    def residual(p):
        v = p.valuesdict()
        f = v["c0"] + v["c1"] * (x - 280)
        for k in range(1, 6):
            f = f + pseudo_voigt(x, v["P%d_position" % k], v["P%d_fwhm" % k], v["P%d_area" % k], v["P%d_eta" % k])
        return w * (y - f)

    return lmfit.minimize(residual, start_params(), method="leastsq", xtol=1e-12, ftol=1e-12)


def lmfit_models(x, y):
    """The same fit as lmfit users usually write it, with its built-in line models: PseudoVoigtModel
    (sigma is half the FWHM, fraction is eta) and LinearModel."""
    model = lmfit.models.LinearModel(prefix="bg_")
    for k in range(1, 6):
        model = model + lmfit.models.PseudoVoigtModel(prefix="P%d_" % k)
    p = model.make_params(bg_slope=2.5, bg_intercept=190 - 2.5 * 280)
    for k, (pos, fwhm, area, _) in enumerate(LINES):
        p["P%d_center" % (k + 1)].set(value=pos + 0.15)
        p["P%d_sigma" % (k + 1)].set(value=fwhm * 1.15 / 2, min=0)
        p["P%d_amplitude" % (k + 1)].set(value=area * 0.85)
        p["P%d_fraction" % (k + 1)].set(value=0.5, min=0, max=1)
    return model.fit(y, p, x=x, weights=1 / np.sqrt(np.maximum(y, 1)), method="leastsq",
                     fit_kws={"xtol": 1e-12, "ftol": 1e-12})


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    x, y = data()
    runs = int(os.environ.get("RUNS", "20"))
    best = float("inf")
    for _ in range(runs):
        t = time.perf_counter()
        out = lmfit_fit(x, y)
        best = min(best, time.perf_counter() - t)
    assert out.success, out.message
    best_models = float("inf")
    for _ in range(max(1, runs // 4)):
        t = time.perf_counter()
        models = lmfit_models(x, y)
        best_models = min(best_models, time.perf_counter() - t)
    assert models.success, models.message

    bench = subprocess.run([os.path.join(build, "bench_fit"), "--benchmark_format=json", "--benchmark_repetitions=5",
                            "--benchmark_report_aggregates_only=true"], capture_output=True, text=True, check=True)
    korvo = min(b["cpu_time"] for b in json.loads(bench.stdout)["benchmarks"] if b.get("aggregate_name") == "median") / 1000

    work = tempfile.mkdtemp(prefix="korvo-fit-bench-")
    with open(os.path.join(work, "bench.dat"), "w", newline="") as f:
        f.write("BEGIN:\r\n" + "".join("%.17g %.17g\r\n" % (a, b) for a, b in zip(x, y)) + "END\r\n")
    model = {"background": {"type": "linear", "c0": 190, "c1": 2.5}, "weights": "poisson", "components": [
        {"name": "P%d" % (k + 1), "shape": "pseudo_voigt", "position": pos + 0.15, "fwhm": fwhm * 1.15,
         "area": area * 0.85, "eta": 0.5} for k, (pos, fwhm, area, _) in enumerate(LINES)]}
    with open(os.path.join(work, "bench.json"), "w") as f:
        json.dump(model, f)
    run = subprocess.run([os.path.join(build, "korvo-cli"), "fit", "--model", os.path.join(work, "bench.json"), "--json",
                          os.path.join(work, "bench.dat")], capture_output=True, text=True, check=True)
    result = json.loads(run.stdout)
    worst = 0.0
    for c in result["components"]:
        for name in ("position", "fwhm", "area", "eta"):
            lm = out.params["%s_%s" % (c["name"], name)].value
            worst = max(worst, abs(c[name]["value"] - lm) / abs(lm))
        k = c["name"]
        for name, lm in (("position", models.params[k + "_center"].value), ("fwhm", 2 * models.params[k + "_sigma"].value),
                         ("area", models.params[k + "_amplitude"].value), ("eta", models.params[k + "_fraction"].value)):
            worst = max(worst, abs(c[name]["value"] - lm) / abs(lm))
    print("lmfit, a numpy residual:        %6.2f ms per fit (best of %d, %d evaluations)" % (best * 1000, runs, out.nfev))
    print("lmfit, its PseudoVoigtModel:    %6.2f ms per fit (best of %d, %d evaluations)"
          % (best_models * 1000, max(1, runs // 4), models.nfev))
    print("Korvo:                          %6.2f ms per fit (bench_fit, CPU time, median of 5)" % (korvo * 1000))
    print("ratio: Korvo %.1f and %.1f times faster" % (best / korvo, best_models / korvo))
    print("optima: largest relative difference between the three %.2g" % worst)


if __name__ == "__main__":
    main()
