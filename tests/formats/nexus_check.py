#!/usr/bin/python3
"""Korvo's NeXus files as an independent reader sees them, and other programs' files as Korvo reads them.

Usage: nexus_check.py KORVO-CLI

h5py (Debian's python3-h5py) reads every file korvo-cli writes: the groups and fields NXmpes requires,
their NX_class attributes and units, NXdata's signal and axes, and the counts and energies value for
value against the spectrum files they came from. Files in the styles of other facilities' converters
and hostile ones are made with h5py and given to korvo-cli; the fit entries of korvo-cli fit --nexus
are checked against the printed results and their curves added up. Exits 1 with one line per fault.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import h5py
import numpy as np

CLI = sys.argv[1]
faults = []
checks = 0


def check(condition, what):
    global checks
    checks += 1
    if not condition:
        faults.append(what)


def run(cwd, *args):
    return subprocess.run([CLI, *args], cwd=cwd, capture_output=True, text=True, timeout=240)


def text(value):
    if isinstance(value, np.ndarray) and value.shape == ():
        value = value[()]
    return value.decode() if isinstance(value, bytes) else str(value)


def header(lines):
    return '\r\n'.join(lines) + '\r\n'


CHANNELS = ['Energy Channeltron_%d...%s eV' % (i, '+0.0000' if i != 3 else '-1.2500') for i in range(1, 10)]
COMMON = ['USER_ID: lab', 'Comment: clean surface', 'Probe: Cu(111)']


def spectrum_file(name, fileform, lines, rows):
    head = COMMON + ['FileName: /data/' + name, 'Fileform: ' + fileform, 'Date:  07.12.2026 14:03:09',
                     'Program: KORVO 02'] + lines
    return header(head + ['BEGIN:'] + rows + ['END'])


# Spectrum files as Korvo writes them: an analyser scan with its raw counts and an electrometer add-on,
# a constant-final-state scan, a Keithley scan with both add-ons, and a file of bare columns.
FILES = {
    'c_261207.001': spectrum_file('c_261207.001', 'CLAM', [
        'MeasTime: 100', 'MeasTyp: CAE', 'Scans: 2', 'Points:3', 'PassEn:20.000', 'AnaSta:280.000',
        'AnaEnd:280.300', 'PhotEn: 380.000'] + CHANNELS,
        ['280.000 %d %s 1.5E-9' % (100 + r, ' '.join(str(10 * r + c) for c in range(1, 10))) for r in range(3)]),
    'f_261207.002': spectrum_file('f_261207.002', 'CLAM_CFS', [
        'MeasTime: 200', 'MeasTyp: CAE', 'Scans: 1', 'Points:2', 'PassEn:10.000', 'Fix. Analyser Energy:30',
        'Phot.Start: 100.000', 'Phot.End: 101.000'] + CHANNELS,
        ['%s %d %s' % (x, 50 + r, ' '.join(str(r + c) for c in range(1, 10))) for r, x in enumerate(['100.000', '101.000'])]),
    'k_261207.003': spectrum_file('k_261207.003', 'KEITHLEY', [
        'MeasTyp: KEI', 'Scans: 1', 'Points:2', 'Phot.Start: 100.000', 'Phot.End: 101.000', 'Scaling Factor: 10000'],
        ['100.000 1.25E-9 100 3 4', '101.000 2.5E-9 200 5 6']),
    'bare.txt': '1 5\r\n2 6\r\n3 7\r\n',
}


def columns(content):
    lines = content.split('\r\n')
    if 'BEGIN:' in lines:
        lines = lines[lines.index('BEGIN:') + 1:lines.index('END')]
    return np.array([[float(v) for v in l.split()] for l in lines if l.strip()])


def header_lines(content):
    lines = content.split('\r\n')
    return lines[:lines.index('BEGIN:')] if 'BEGIN:' in lines else []


ISO = re.compile(r'^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$')


def check_nxclass(group, name, cls):
    check(name in group, '%s/%s: missing' % (group.name, name))
    if name in group:
        check(text(group[name].attrs.get('NX_class', b'')) == cls,
              '%s: NX_class %r, not %s' % (group[name].name, group[name].attrs.get('NX_class'), cls))
        return group[name]
    return None


def check_units(field, units):
    check(text(field.attrs.get('units', b'')) == units, '%s: units %r, not %s' % (field.name, field.attrs.get('units'), units))


def value_of(lines, label):
    # The text after a label of the header, as the file states it; None when the file has no such line.
    return next((l[len(label):].strip() for l in lines if l.startswith(label)), None)


def check_entry(entry, name, content):
    where = entry.name
    check(text(entry.attrs['NX_class']) == 'NXentry', where + ': not an NXentry')
    check(text(entry['definition'][()]) == 'NXmpes', where + '/definition is not NXmpes')
    check(text(entry['title'][()]) == name, where + '/title is not ' + name)
    check('method' in entry, where + '/method missing')
    values = columns(content)
    lines = header_lines(content)
    if lines:
        for t in ('start_time', 'end_time'):
            check(t in entry and ISO.match(text(entry[t][()])) is not None, '%s/%s: no ISO 8601 time with zone' % (where, t))
        user = check_nxclass(entry, 'user', 'NXuser')
        if user is not None:
            check(text(user['name'][()]) == value_of(lines, 'USER_ID:'), where + '/user/name')
            check('affiliation' in user, where + '/user/affiliation missing')
        sample = check_nxclass(entry, 'sample', 'NXsample')
        if sample is not None:
            check(text(sample['name'][()]) == value_of(lines, 'Probe:'), where + '/sample/name')
            if value_of(lines, 'Comment:'):
                check(text(sample['description'][()]) == value_of(lines, 'Comment:'), where + '/sample/description')
    instrument = check_nxclass(entry, 'instrument', 'NXinstrument')
    fileform = value_of(lines, 'Fileform:') or ''
    photon_scan = fileform in ('CLAM_CFS', 'CLAM_CIS', 'KEITHLEY')
    axis = 'photon_energy' if photon_scan else 'energy'
    if instrument is not None:
        source = check_nxclass(instrument, 'source_probe', 'NXsource')
        if source is not None:
            check(text(source['type'][()]) == 'Synchrotron X-ray Source', where + ': source type')
            check(text(source['associated_beam'][()]) == where + '/instrument/beam_probe', where + ': associated_beam')
        beam = check_nxclass(instrument, 'beam_probe', 'NXbeam')
        if beam is not None and (photon_scan or fileform == 'CLAM'):
            energy = beam['incident_energy']
            check_units(energy, 'eV')
            expected = values[:, 0] if photon_scan else float(value_of(lines, 'PhotEn:'))
            check(np.array_equal(energy[()], expected), where + ': incident_energy %r' % (energy[()],))
        analyser = check_nxclass(instrument, 'electronanalyser', 'NXelectronanalyser')
        if analyser is not None:
            column = check_nxclass(analyser, 'collectioncolumn', 'NXcollectioncolumn')
            if column is not None:
                check(text(column['scheme'][()]) in ('angular dispersive', 'spatial dispersive', 'momentum dispersive',
                                                     'non-dispersive'), where + ': collection column scheme')
            dispersion = check_nxclass(analyser, 'energydispersion', 'NXenergydispersion')
            if dispersion is not None:
                check(text(dispersion['scheme'][()]) == 'hemispherical', where + ': dispersion scheme')
                if value_of(lines, 'PassEn:') is not None:
                    check_units(dispersion['pass_energy'], 'eV')
                    check(dispersion['pass_energy'][()] == float(value_of(lines, 'PassEn:')), where + ': pass energy')
            detector = check_nxclass(analyser, 'detector', 'NXdetector')
            if detector is not None:
                check(text(detector['amplifier_type'][()]) == 'channeltron', where + ': amplifier type')
                shifts = [float(value_of(lines, 'Energy Channeltron_%d...' % i).split()[0])
                          for i in range(1, 10) if value_of(lines, 'Energy Channeltron_%d...' % i)]
                if len(shifts) == 9:
                    offsets = detector['channel_energy_offsets']
                    check_units(offsets, 'eV')
                    check(list(offsets[()]) == shifts, where + ': channel offsets')
                if fileform != 'KEITHLEY' and values.shape[1] >= 11:
                    raw = check_nxclass(detector, 'raw_data', 'NXdata')
                    if raw is not None:
                        check(text(raw.attrs['signal']) == 'raw', where + ': raw_data signal')
                        check(np.array_equal(raw['raw'][()], values[:, 2:11]), where + ': the nine channels value for value')
                        check_units(raw['raw'], 'counts')
    data = check_nxclass(entry, 'data', 'NXdata')
    if data is not None:
        check(text(data.attrs['signal']) == 'data', where + '/data@signal')
        check(text(data.attrs['axes']) == axis, where + '/data@axes')
        check(int(data.attrs[axis + '_indices']) == 0, where + '/data@%s_indices' % axis)
        check_units(data[axis], 'eV')
        check_units(data['data'], 'a.u.' if fileform == 'KEITHLEY' else 'counts')
        check(np.array_equal(data[axis][()], values[:, 0]), where + ': energies value for value')
        check(np.array_equal(data['data'][()], values[:, 1]), where + ': counts value for value')
        if not photon_scan:
            check(text(data['energy'].attrs['type']) == 'kinetic', where + ': energy type')
    korvo = check_nxclass(entry, 'korvo', 'NXcollection')
    if korvo is not None:
        check([text(l) for l in korvo['header_lines'][()]] == lines, where + ': header lines')


def korvo_files(work):
    for name, content in FILES.items():
        with open(os.path.join(work, name), 'w', newline='', encoding='cp1252') as f:
            f.write(content)
    r = run(work, 'convert', '--nexus', 'all.nxs', *FILES)
    check(r.returncode == 0, 'convert --nexus: ' + r.stderr)
    with h5py.File(os.path.join(work, 'all.nxs'), 'r') as f:
        check(text(f.attrs['NX_class']) == 'NXroot', 'root NX_class')
        check(text(f.attrs['default']) == 'entry1', 'root default')
        entries = sorted((k for k in f if text(f[k].attrs.get('NX_class', b'')) == 'NXentry'), key=lambda k: int(k[5:]))
        check(len(entries) == len(FILES), 'entries: %r' % entries)
        for key, (name, content) in zip(entries, FILES.items()):
            check_entry(f[key], name, content)
        # What every entry holds alike is stored once: the others' fields are the same object.
        for field in ('definition', 'program_name', 'instrument/source_probe/type',
                      'instrument/electronanalyser/energydispersion/scheme',
                      'instrument/electronanalyser/detector/amplifier_type'):
            objects = {h5py.h5o.get_info(f[key][field].id).addr for key in entries}
            check(len(objects) == 1, '%s: %d copies, not one shared' % (field, len(objects)))
        check(f[entries[0]]['title'].id != f[entries[1]]['title'].id, 'the titles share one object')
        # So is a group whose whole content repeats (the sample of the three files with one header);
        # what differs (pass energies of 20 and 10 eV, the bare file's empty sample) has groups of its own.
        def groups(path, keys):
            return len({h5py.h5o.get_info(f[key][path].id).addr for key in keys})
        check(groups('sample', entries[:3]) == 1, 'sample: %d groups, not one shared' % groups('sample', entries[:3]))
        check(groups('sample', entries) == 2, 'the bare file shares the others\' sample')
        check(groups('instrument/electronanalyser/energydispersion', entries[:2]) == 2,
              'the energy dispersions of different pass energies share one group')
        check(all(text(f[key]['korvo'].attrs['text_encoding']) in ('utf-8', 'windows-1252') for key in entries),
              'korvo@text_encoding')
    back(work, 'all.nxs', 'back')

    # Files of the earlier layout, the small values of the korvo collection as fields of their own,
    # read back the same.
    shutil.copy(os.path.join(work, 'all.nxs'), os.path.join(work, 'older.nxs'))
    with h5py.File(os.path.join(work, 'older.nxs'), 'r+') as f:
        for key in f:
            note = f[key]['korvo']
            for name in ('begin_line', 'end_line', 'text_encoding', 'column_roles'):
                if name in note.attrs:
                    value = note.attrs[name]
                    del note.attrs[name]
                    note[name] = value
            decimals = int(note.attrs['energy_decimals'])
            del note.attrs['energy_decimals']
            note.create_dataset('energy_decimals', data=np.int64(decimals))
    back(work, 'older.nxs', 'older')


def back(work, nexus, out):
    os.mkdir(os.path.join(work, out))
    r = run(work, 'convert', '--text', '--out-dir', out, nexus)
    check(r.returncode == 0, 'convert --text %s: %s' % (nexus, r.stderr))
    for name, content in FILES.items():
        with open(os.path.join(work, out, name), 'rb') as f:
            check(f.read() == content.encode('cp1252'), '%s: not the same bytes after %s and back' % (name, nexus))


def measured_file(work):
    # A run saved with [saving] nexus=1: the NeXus file beside it, with what the station knows.
    with open(os.path.join(work, 'k.ini'), 'w') as f:
        f.write('[general]\r\nmachine=CLAM\r\n[saving]\r\nnexus=1\r\n')
    r = run(work, 'measure', '--virtual-time', '--quiet', '--start', '270', '--ramp', '3', '--points', '4', '--scans',
            '1', '--pass', '10', '--time', '100', '--ini', 'k.ini', '--out', 'run.dat')
    check(r.returncode == 0, 'measure: ' + r.stderr)
    path = os.path.join(work, 'run.dat.nxs')
    check(os.path.isfile(path), 'no NeXus file beside the measured one')
    if not os.path.isfile(path):
        return
    with open(os.path.join(work, 'run.dat'), encoding='cp1252', newline='') as f:
        content = f.read()
    with h5py.File(path, 'r') as f:
        check_entry(f['entry'], 'run.dat', content)
        detector = f['entry/instrument/electronanalyser/detector']
        check(list(detector['channel_sensitivities'][()]) == [1.0] * 9, 'sensitivities of the run')
        check(list(detector['channels_enabled'][()]) == [1] * 9, 'channel switches of the run')
        check(text(f['entry/start_time'][()]) <= text(f['entry/end_time'][()]), 'start after end')


def foreign_files(work):
    def path(name):
        return os.path.join(work, name)

    # As another facility's converter writes NXmpes: variable-length texts, the axis a soft link into
    # the analyser, binding energies, the photon energy in keV.
    with h5py.File(path('nxmpes.h5'), 'w') as f:
        e = f.create_group('entry'); e.attrs['NX_class'] = 'NXentry'
        e['definition'] = 'NXmpes'; e['title'] = 'Au 4f'; e['start_time'] = '2024-05-01T03:12:45+02:00'
        s = e.create_group('sample'); s.attrs['NX_class'] = 'NXsample'; s['name'] = 'Au foil'
        i = e.create_group('instrument'); i.attrs['NX_class'] = 'NXinstrument'
        b = i.create_group('beam_probe'); b.attrs['NX_class'] = 'NXbeam'
        b['incident_energy'] = 0.1; b['incident_energy'].attrs['units'] = 'keV'
        a = i.create_group('analyser'); a.attrs['NX_class'] = 'NXelectronanalyser'; a['work_function'] = 4.5
        a['be'] = np.array([90.0, 85.0, 80.0]); a['be'].attrs['units'] = 'eV'; a['be'].attrs['type'] = 'binding'
        d = e.create_group('data'); d.attrs['NX_class'] = 'NXdata'; d.attrs['signal'] = 'data'; d.attrs['axes'] = ['energy']
        d['data'] = np.array([5, 9, 5], dtype='int32'); d['energy'] = h5py.SoftLink('/entry/instrument/analyser/be')
    # NXxps in the newest file format: two regions, gzip-compressed counts.
    with h5py.File(path('nxxps.h5'), 'w', libver='latest') as f:
        for n, lo in enumerate([280.0, 525.0]):
            e = f.create_group('entry%d' % (n + 1)); e.attrs['NX_class'] = 'NXentry'; e['definition'] = 'NXxps'
            d = e.create_group('data'); d.attrs['NX_class'] = 'NXdata'
            d.attrs['signal'] = 'intensity'; d.attrs['axes'] = 'kinetic_energy'
            d.create_dataset('intensity', data=np.arange(4, dtype='f4') * 3 + n, compression='gzip', chunks=(4,))
            d['kinetic_energy'] = lo + np.arange(4.0); d['kinetic_energy'].attrs['units'] = 'eV'
    r = run(work, 'info', '--json', 'nxmpes.h5', 'nxxps.h5')
    check(r.returncode == 0, 'info on other programs\' files: ' + r.stderr)
    if r.returncode == 0:
        spectra = json.loads(r.stdout)['spectra']
        check(len(spectra) == 3, 'three spectra from two foreign files')
        check(spectra[0]['points'] == [[5.5, 5], [10.5, 9], [15.5, 5]], 'binding energies made kinetic: %r' % spectra[0]['points'])
        check(spectra[0]['SampleText'] == 'Probe: Au foil', 'sample of a foreign file')
        check(spectra[0]['DateText'] == 'Date:  01.05.2024 03:12:45', 'date of a foreign file')
        check(spectra[2]['points'] == [[525, 1], [526, 4], [527, 7], [528, 10]], 'second region: %r' % spectra[2]['points'])

    def entry(f):
        e = f.create_group('entry'); e.attrs['NX_class'] = 'NXentry'
        d = e.create_group('data'); d.attrs['NX_class'] = 'NXdata'; d.attrs['signal'] = 'data'; d.attrs['axes'] = 'energy'
        return e, d

    hostile = {}
    with h5py.File(path('map.h5'), 'w') as f:
        e, d = entry(f); d['data'] = np.ones((3, 4)); d['energy'] = np.arange(3.0)
    hostile['map.h5'] = '/entry/data/data: a signal of rank 2 (3 x 4)'
    with h5py.File(path('mismatch.h5'), 'w') as f:
        e, d = entry(f); d['data'] = np.ones(5); d['energy'] = np.arange(4.0)
    hostile['mismatch.h5'] = '/entry/data/data: 5 points, its axis /entry/data/energy 4'
    with h5py.File(path('huge.h5'), 'w') as f:
        e, d = entry(f); d.create_dataset('data', shape=(2 ** 40,), dtype='f8'); d['energy'] = np.arange(3.0)
    hostile['huge.h5'] = '/entry/data/data: 1099511627776 points'
    with h5py.File(path('long.h5'), 'w') as f:
        e, d = entry(f); d['data'] = np.ones(3); d['energy'] = np.arange(3.0); d['energy'].attrs['units'] = 'x' * (3 << 20)
    hostile['long.h5'] = '/entry/data/energy@units: a text longer than 65536 bytes'
    with h5py.File(path('outside.h5'), 'w') as f:
        e = f.create_group('entry'); e.attrs['NX_class'] = 'NXentry'; e['data'] = h5py.ExternalLink('/etc/passwd', '/')
    hostile['outside.h5'] = '/entry/data: an external link to /etc/passwd:/; links out of the file are never followed'
    with h5py.File(path('circle.h5'), 'w') as f:
        e = f.create_group('entry'); e.attrs['NX_class'] = 'NXentry'; e.attrs['default'] = 'data'
        e['data'] = h5py.SoftLink('/entry/round'); e['round'] = h5py.SoftLink('/entry/data')
    hostile['circle.h5'] = 'a chain of more than 8 soft links'
    with h5py.File(path('plain.h5'), 'w') as f:
        f['numbers'] = np.arange(3.0)
    hostile['plain.h5'] = 'no NXentry group in the file (found: numbers)'
    with open(path('text.nxs'), 'w') as f:
        f.write('USER_ID: lab\r\n')
    hostile['text.nxs'] = 'it is no HDF5 file'
    for name, says in hostile.items():
        r = run(work, 'info', name)
        check(r.returncode == 2, '%s: exit %d, not 2' % (name, r.returncode))
        check(says in r.stderr and ('The NeXus file %s cannot be loaded' % name) in r.stderr,
              '%s: %r does not say %r' % (name, r.stderr.strip(), says))


def fit_entries(work):
    # korvo-cli fit --nexus: beside each spectrum's entry an NXentry with its NXfit, whose values agree
    # with the printed results and whose curves add up.
    rng = np.random.default_rng(5)
    x = 280 + 0.05 * np.arange(241)
    truth = (5000 * np.sqrt(4 * np.log(2) / np.pi) / 1.2 * np.exp(-4 * np.log(2) * ((x - 285) / 1.2) ** 2)
             + 1500 * 2 / (np.pi * 1.0) / (1 + 4 * ((x - 287.5) / 1.0) ** 2) + 300)
    names = ['fit_a.dat', 'fit_b.dat']
    counts = {}
    for n, name in enumerate(names):
        counts[name] = rng.poisson(truth + 10 * n).astype(float)
        with open(os.path.join(work, name), 'w', newline='') as f:
            f.write('PhotEn: 1486.600\r\nBEGIN:\r\n' + ''.join('%.2f %d\r\n' % (e, c) for e, c in zip(x, counts[name])) + 'END\r\n')
    with open(os.path.join(work, 'model.json'), 'w') as f:
        f.write(json.dumps({'region': {'from': 281, 'to': 291}, 'background': {'type': 'shirley'}, 'components': [
            {'name': 'Fe/2p', 'shape': 'gaussian', 'position': 285.2, 'fwhm': 1.1, 'area': 4500},
            {'name': 'B', 'shape': 'pseudo_voigt', 'position': 'Fe/2p + 2.4', 'fwhm': 1.0, 'area': 1400,
             'eta': {'value': 0.9, 'fixed': True}}]}))
    r = run(work, 'fit', '--model', 'model.json', '--json', '--nexus', 'fits.nxs', *names)
    check(r.returncode == 0, 'fit --nexus: ' + r.stderr)
    if r.returncode != 0:
        return
    printed = [json.loads(l) for l in r.stdout.splitlines()]
    with h5py.File(os.path.join(work, 'fits.nxs'), 'r') as f:
        for n, name in enumerate(names):
            where = 'entry%d_fit' % (n + 1)
            entry = check_nxclass(f, where, 'NXentry')
            if entry is None:
                continue
            check(text(entry.attrs['korvo_spectrum']) == 'entry%d' % (n + 1), where + '@korvo_spectrum')
            check(text(f['entry%d/title' % (n + 1)][()]) == name, where + ': the spectrum entry beside it')
            fit = check_nxclass(entry, 'fit', 'NXfit')
            if fit is None:
                continue
            result = printed[n]
            check(text(fit['status'][()]) == result['status'], where + '/fit/status')
            check(fit['figure_of_merit'][()] == result['chi2'] and text(fit['figure_of_merit'].attrs['metric']) == 'chi2',
                  where + '/fit/figure_of_merit')
            check(fit['reduced_chi2'][()] == result['reduced_chi2'], where + '/fit/reduced_chi2')
            model = json.loads(text(fit['model'][()]))
            check([c['name'] for c in model['components']] == ['Fe/2p', 'B'], where + '/fit/model')
            data = check_nxclass(fit, 'data', 'NXdata')
            if data is not None:
                check(text(data.attrs['signal']) == 'counts' and text(data.attrs['axes']) == 'energy', where + '/fit/data@signal, @axes')
                for field in ('energy', 'counts', 'envelope', 'background', 'residual'):
                    check_units(data[field], 'eV' if field == 'energy' else 'counts')
                inside = (x >= 281 - 1e-9) & (x <= 291 + 1e-9)
                check(np.array_equal(data['energy'][()], np.round(x[inside], 2)), where + ': the fitted energies value for value')
                check(np.array_equal(data['counts'][()], counts[name][inside]), where + ': the fitted counts value for value')
                check(np.allclose(data['envelope'][()] + data['residual'][()], data['counts'][()], rtol=0, atol=1e-9),
                      where + ': envelope + residual is not the counts')
            peaks = [fit['peak%d' % (c + 1)] for c in range(len(result['components']))]
            total = data['background'][()].copy() if data is not None else 0
            for c, (peak, printed_c) in enumerate(zip(peaks, result['components'])):
                check(text(peak.attrs['NX_class']) == 'NXpeak', peak.name + ': not an NXpeak')
                check(text(peak['label'][()]) == printed_c['name'], peak.name + '/label')
                check(text(peak['function/function_type'][()]) == printed_c['shape'], peak.name + ': function_type')
                check(text(peak['function'].attrs['NX_class']) == 'NXfit_function', peak.name + '/function: NX_class')
                parameters = peak['function/fit_parameters']
                check(text(parameters.attrs['NX_class']) == 'NXparameters', peak.name + ': NXparameters')
                for key, value in printed_c.items():
                    if isinstance(value, dict) and key in parameters:
                        field = parameters[key]
                        check(field[()] == value['value'], '%s/%s: %r, printed %r' % (peak.name, key, field[()], value['value']))
                        check(field.attrs['error'] == value['error'], '%s/%s@error' % (peak.name, key))
                        check_units(field, {'position': 'eV', 'fwhm': 'eV', 'area': 'counts*eV', 'eta': ''}[key])
                        source = 'fixed' if value.get('fixed') else 'linked' if 'link' in value else 'free'
                        check(text(field.attrs['source']) == source, '%s/%s@source' % (peak.name, key))
                check(peak['total_area'][()] == printed_c['area']['value'], peak.name + '/total_area')
                total = total + peak['data/intensity'][()]
            if data is not None:
                check(np.allclose(total, data['envelope'][()], rtol=1e-12, atol=1e-9),
                      where + ': background and peaks do not add up to the envelope')
            background = check_nxclass(fit, 'background', 'NXfit_background')
            if background is not None:
                check(text(background['function/function_type'][()]) == 'shirley', where + ': background type')


with tempfile.TemporaryDirectory(prefix='korvo-nexus-') as work:
    korvo_files(work)
    measured_file(work)
    foreign_files(work)
    fit_entries(work)
for fault in faults:
    print(fault)
print('%d checks, %d faults' % (checks, len(faults)))
sys.exit(1 if faults else 0)
