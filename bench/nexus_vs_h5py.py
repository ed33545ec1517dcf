#!/usr/bin/python3
"""h5py reading the NeXus file of 1000 spectra of 1000 points (bench_nexus.cpp's series), for the
figures beside Korvo's own reader.

Usage: bench/nexus_vs_h5py.py KORVO-CLI [REPEATS]

Writes the 1000 spectrum files, makes the NeXus file with `korvo-cli convert --nexus`, and times
h5py (Debian's python3-h5py, so /usr/bin/python3) reading what Korvo's reader reads of every entry:
energies, counts, the nine channels and the header lines. Prints the best of REPEATS (default 5).
"""
import os
import subprocess
import sys
import tempfile
import time

import h5py
import numpy as np

SPECTRA, POINTS = 1000, 1000


def spectrum_text(rng):
    head = ['USER_ID: lab', 'Comment: bench', 'Probe: Cu(111)', 'FileName: /data/b.000', 'Fileform: CLAM',
            'Date:  05.12.2002 10:11:12', 'Program: KORVO 02', 'MeasTime: 100', 'MeasTyp: CAE', 'Scans: 3',
            'Points:1000', 'PassEn:20.000', 'AnaSta:270.000', 'AnaEnd:279.990', 'PhotEn: 380.000']
    head += ['Energy Channeltron_%d...+0.0000 eV' % c for c in range(1, 10)]
    channels = rng.integers(0, 10000, size=(POINTS, 9))
    rows = ['%.3f %d %s' % (270 + 0.01 * i, channels[i].sum(), ' '.join(map(str, channels[i]))) for i in range(POINTS)]
    return '\r\n'.join(head + ['BEGIN:'] + rows + ['END']) + '\r\n'


def read_all(path):
    points = 0
    with h5py.File(path, 'r') as f:
        for name in f:
            e = f[name]
            energy = e['data/energy'][()]
            counts = e['data/data'][()]
            raw = e['instrument/electronanalyser/detector/raw_data/raw'][()]
            e['korvo/header_lines'][()]
            points += len(energy) + len(counts) + raw.shape[0]
    return points


def main():
    cli = sys.argv[1]
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    rng = np.random.default_rng(5)
    with tempfile.TemporaryDirectory(prefix='korvo-bench-nexus-') as work:
        names = []
        for i in range(SPECTRA):
            name = 'b%d.dat' % i
            with open(os.path.join(work, name), 'w', newline='') as f:
                f.write(spectrum_text(rng))
            names.append(name)
        r = subprocess.run([cli, 'convert', '--nexus', 'all.nxs', *names], cwd=work, capture_output=True, text=True)
        if r.returncode != 0:
            sys.exit('convert --nexus failed: ' + r.stderr)
        path = os.path.join(work, 'all.nxs')
        best = float('inf')
        for _ in range(repeats):
            start = time.perf_counter()
            n = read_all(path)
            best = min(best, time.perf_counter() - start)
        if n != 3 * SPECTRA * POINTS:
            sys.exit('h5py read %d values, not %d' % (n, 3 * SPECTRA * POINTS))
        print('h5py reads %d spectra of %d points (energies, counts, nine channels, header lines) in %.0f ms '
              '(file of %.1f MB, best of %d)' % (SPECTRA, POINTS, best * 1000, os.path.getsize(path) / 1e6, repeats))


main()
