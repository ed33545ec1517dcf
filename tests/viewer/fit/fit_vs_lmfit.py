#!/usr/bin/python3
"""korvo-cli fit beside lmfit on the same data and model: the same optimum within 1e-5 relative in
every parameter, and standard errors that agree to a percent.

Usage: fit_vs_lmfit.py KORVO_CLI
Needs Debian's python3-lmfit (numpy, scipy). The line shapes are written here from their textbook
formulas (the Voigt through scipy's Faddeeva function), independently of Korvo's code.
"""
import json
import math
import os
import subprocess
import sys
import tempfile

import lmfit
import numpy as np
from scipy.special import wofz

LN2 = math.log(2)


def gaussian(x, pos, fwhm, area):
    return area * math.sqrt(4 * LN2 / math.pi) / fwhm * np.exp(-4 * LN2 * (x - pos) ** 2 / fwhm ** 2)


def lorentzian(x, pos, fwhm, area):
    return area * 2 / (math.pi * fwhm) / (1 + 4 * (x - pos) ** 2 / fwhm ** 2)


def pseudo_voigt(x, pos, fwhm, area, eta):
    return (1 - eta) * gaussian(x, pos, fwhm, area) + eta * lorentzian(x, pos, fwhm, area)


def voigt(x, pos, area, fwhm_g, fwhm_l):
    sigma = fwhm_g / (2 * math.sqrt(2 * LN2))
    z = ((x - pos) + 1j * fwhm_l / 2) / (sigma * math.sqrt(2))
    return area * wofz(z).real / (sigma * math.sqrt(2 * math.pi))


def doniach_sunjic(x, pos, height, gamma, alpha):
    e = (x - pos) / gamma
    return height * np.cos(math.pi * alpha / 2 + (1 - alpha) * np.arctan(e)) / (1 + e * e) ** ((1 - alpha) / 2)


SHAPES = {
    "gaussian": (gaussian, ["position", "fwhm", "area"]),
    "pseudo_voigt": (pseudo_voigt, ["position", "fwhm", "area", "eta"]),
    "voigt": (voigt, ["position", "area", "fwhm_g", "fwhm_l"]),
    "doniach_sunjic": (doniach_sunjic, ["position", "height", "gamma", "alpha"]),
}


def write_spectrum(path, x, y, photon=None):
    with open(path, "w", newline="") as f:
        if photon:
            f.write("PhotEn: %.3f\r\n" % photon)
        f.write("BEGIN:\r\n")
        for a, b in zip(x, y):
            f.write("%.4f %d\r\n" % (a, b))
        f.write("END\r\n")


def lmfit_params(model, y_ends):
    """The model's parameters as lmfit parameters: numbers free, objects with bounds or fixed, links
    as expressions."""
    params = lmfit.Parameters()
    kinds = {"fwhm": (0, None), "fwhm_g": (0, None), "fwhm_l": (0, None), "gamma": (0, None), "eta": (0, 1), "alpha": (0, 1)}
    for c in model["components"]:
        for name in SHAPES[c["shape"]][1]:
            key = c["name"] + "_" + name
            v = c[name]
            lo, hi = kinds.get(name, (None, None))
            if isinstance(v, str):
                parts = v.split()
                expr = parts[0] + "_" + name + ("" if len(parts) == 1 else " " + parts[1] + " " + parts[2])
                params.add(key, expr=expr)
            elif isinstance(v, dict):
                params.add(key, value=v["value"], vary=not v.get("fixed", False),
                           min=v.get("min", lo if lo is not None else -np.inf), max=v.get("max", hi if hi is not None else np.inf))
            else:
                params.add(key, value=v, min=-np.inf if lo is None else lo, max=np.inf if hi is None else hi)
    bg = model["background"]["type"]
    if bg in ("constant", "linear"):
        params.add("background_c0", value=y_ends[0] if bg == "linear" else min(y_ends))
    if bg == "linear":
        params.add("background_c1", value=(y_ends[1] - y_ends[0]) / (y_ends[2]))
    return params


def fit_lmfit(model, x, y):
    """x on the model's axis; returns {component_param: (value, error)}."""
    lo, hi = x.min(), x.max()
    ylo, yhi = y[np.argmin(x)], y[np.argmax(x)]
    params = lmfit_params(model, (ylo, yhi, hi - lo))
    weights = 1 / np.sqrt(np.maximum(y, 1)) if model.get("weights", "poisson") == "poisson" else np.ones_like(y)
    bg = model["background"]["type"]

    def residual(p):
        f = np.zeros_like(x)
        if bg in ("constant", "linear"):
            f += p["background_c0"].value
        if bg == "linear":
            f += p["background_c1"].value * (x - lo)
        for c in model["components"]:
            fn, names = SHAPES[c["shape"]]
            f += fn(x, *[p[c["name"] + "_" + n].value for n in names])
        return weights * (y - f)

    out = lmfit.minimize(residual, params, method="leastsq", xtol=1e-13, ftol=1e-13, max_nfev=20000)
    assert out.success, out.message
    return {k: (p.value, p.stderr) for k, p in out.params.items()}, out


def korvo_values(result):
    values = {}
    for c in result["components"]:
        for name in SHAPES[c["shape"]][1]:
            values[c["name"] + "_" + name] = (c[name]["value"], c[name]["error"])
    for name in ("c0", "c1"):
        if name in result["background"]:
            values["background_" + name] = (result["background"][name]["value"], result["background"][name]["error"])
    return values


def compare(label, korvo, lm, failures, worst):
    for key, (value, error) in lm.items():
        kv, ke = korvo[key]
        worst[0] += 1
        worst[1] = max(worst[1], abs(kv - value) / max(abs(value), 1e-300))
        if error:
            worst[2] = max(worst[2], abs(ke - error) / error)
        if abs(kv - value) > 1e-5 * abs(value) + 1e-12:
            failures.append("%s %s: korvo %.12g, lmfit %.12g" % (label, key, kv, value))
        if error and error > 0 and abs(ke - error) > 0.01 * error:
            failures.append("%s %s error: korvo %.6g, lmfit %.6g" % (label, key, ke, error))


def main():
    cli = sys.argv[1]
    rng = np.random.default_rng(20240611)
    failures = []
    work = tempfile.mkdtemp(prefix="korvo-lmfit-")
    cases = []
    worst = [0, 0.0, 0.0]  # parameters compared, largest relative difference of values and of errors

    # A 2p-like doublet with linked splitting, width, eta and area ratio, a Voigt line beside it, a
    # linear background, Poisson weights.
    x = np.round(np.arange(690.0, 712.0, 0.05), 4)
    truth = (pseudo_voigt(x, 706, 1.4, 9000, 0.35) + pseudo_voigt(x, 700, 1.4, 4500, 0.35) +
             voigt(x, 695, 3000, 1.0, 0.6) + 400 + 6 * (x - 690))
    cases.append(("doublet", x, rng.poisson(truth), None, {
        "background": {"type": "linear"}, "weights": "poisson",
        "components": [
            {"name": "p32", "shape": "pseudo_voigt", "position": 706.2, "fwhm": 1.2, "area": 8000, "eta": {"value": 0.5, "min": 0, "max": 1}},
            {"name": "p12", "shape": "pseudo_voigt", "position": "p32 - 6", "fwhm": "p32", "area": "p32 * 0.5", "eta": "p32"},
            {"name": "sat", "shape": "voigt", "position": 694.8, "area": 2500, "fwhm_g": 1.2, "fwhm_l": 0.5}]}))

    # A metal line on the binding axis: kinetic energies in the file, the model in binding energy;
    # unweighted, a constant background, a fixed parameter.
    hv, phi = 1486.6, 4.5
    ke = np.round(np.arange(1401.0, 1419.0, 0.04), 4)
    be = hv - phi - ke
    truth = doniach_sunjic(-be, -70.9, 2500, 0.25, 0.12) + gaussian(be, 74.0, 1.3, 2000) + 300
    cases.append(("binding", ke, rng.poisson(truth), hv, {
        "axis": "binding", "region": {"from": 66, "to": 78}, "background": {"type": "constant"}, "weights": "none",
        "components": [
            {"name": "Pt4f", "shape": "doniach_sunjic", "position": 70.8, "height": 2200, "gamma": 0.3, "alpha": 0.1},
            {"name": "ox", "shape": "gaussian", "position": 73.8, "fwhm": {"value": 1.3, "fixed": True}, "area": 1500}]}))

    for label, x, y, photon, model in cases:
        spectrum = os.path.join(work, label + ".dat")
        model_path = os.path.join(work, label + ".json")
        write_spectrum(spectrum, x, y, photon)
        with open(model_path, "w") as f:
            json.dump(model, f)
        run = subprocess.run([cli, "fit", "--model", model_path, "--json", spectrum], capture_output=True, text=True)
        if run.returncode != 0:
            failures.append("%s: korvo-cli fit exited %d: %s" % (label, run.returncode, run.stderr))
            continue
        result = json.loads(run.stdout)
        xs = hv - phi - x if model.get("axis") == "binding" else x
        if "region" in model:
            lo, hi = sorted((model["region"]["from"], model["region"]["to"]))
            keep = (xs >= lo - 1e-9) & (xs <= hi + 1e-9)
            xs, ys = xs[keep], y[keep]
        else:
            ys = y
        if model.get("axis") == "binding":
            # The asymmetric tail lies towards lower kinetic energy on either axis: lmfit gets it as
            # the line mirrored in its position.
            model = json.loads(json.dumps(model))
            lm, out = fit_lmfit_binding(model, xs, ys.astype(float))
        else:
            lm, out = fit_lmfit(model, xs, ys.astype(float))
        compare(label, korvo_values(result), lm, failures, worst)
        if abs(result["chi2"] - out.chisqr) > 1e-8 * out.chisqr:
            failures.append("%s chi2: korvo %.12g, lmfit %.12g" % (label, result["chi2"], out.chisqr))
        if result["dof"] != out.nfree:
            failures.append("%s dof: korvo %d, lmfit %d" % (label, result["dof"], out.nfree))
    if worst[0] < 20:
        failures.append("only %d parameters compared" % worst[0])
    for f in failures:
        print(f)
    print("%d parameters compared; largest relative difference %.2g in values, %.2g in errors; %d differences"
          % (worst[0], worst[1], worst[2], len(failures)))
    return 1 if failures else 0


def fit_lmfit_binding(model, x, y):
    global SHAPES
    saved = SHAPES["doniach_sunjic"]
    SHAPES["doniach_sunjic"] = (lambda xx, pos, h, g, a: doniach_sunjic(2 * pos - xx, pos, h, g, a), saved[1])
    try:
        return fit_lmfit(model, x, y)
    finally:
        SHAPES["doniach_sunjic"] = saved


if __name__ == "__main__":
    sys.exit(main())
