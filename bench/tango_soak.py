#!/usr/bin/python3
"""korvo-tango under load, in virtual time with the simulated card: round trips of an attribute read
and a command on loopback, a remote run's time per point beside korvo-cli's local one, and a soak of
many short runs in a row with random Stops (from a second client, mid-run) and random refused starts,
checking that every run that started left its own file with the scans the device reported, and
sampling the server's resident memory.

Usage: bench/tango_soak.py [BUILD_DIR] [RUNS]   (default: build, 2000; korvo-tango and korvo-cli there)
Needs Debian's python3-tango; run it with /usr/bin/python3. Not part of make test.
"""
import os
import random
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import tango

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
DEVICE = "bench/korvo/1"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def header(path, key):
    with open(path, encoding="latin-1") as f:
        for line in f:
            if line.startswith(key + ":"):
                return line[len(key) + 1:].strip()
    return None


def wait_on(d, bound_s=60):
    end = time.monotonic() + bound_s
    while d.state() != tango.DevState.ON:
        if time.monotonic() > end:
            raise RuntimeError("no ON within %d s: %s" % (bound_s, d.status()))
        time.sleep(0.0005)


def percentile(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(p / 100 * len(s)))]


def main():
    work = tempfile.TemporaryDirectory(prefix="korvo-soak-")
    props = os.path.join(work.name, "korvo.res")
    with open(props, "w") as f:
        f.write("korvo-tango/bench/DEVICE/Korvo: %s\n%s->Card: sim\n%s->VirtualTime: true\n" % (DEVICE, DEVICE, DEVICE))
    port = free_port()
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    server = subprocess.Popen([os.path.join(BUILD, "korvo-tango"), "bench", "-file=" + props, "-ORBendPoint",
                               "giop:tcp:127.0.0.1:%d" % port], cwd=work.name, env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    name = "tango://127.0.0.1:%d/%s#dbase=no" % (port, DEVICE)
    try:
        for _ in range(100):
            try:
                tango.DeviceProxy(name).ping()
                break
            except tango.DevFailed:
                time.sleep(0.1)
        d = tango.DeviceProxy(name)
        d.set_timeout_millis(60000)
        d.Kind = "CAE"
        d.PassEnergy = "10.0"
        d.StartEnergy = 100.0
        d.Ramp = 10.0
        d.DwellTime = 10

        # Round trips on loopback.
        reads, commands = [], []
        for _ in range(2000):
            t = time.perf_counter()
            d.read_attribute("Points")
            reads.append(time.perf_counter() - t)
            t = time.perf_counter()
            d.command_inout("Validate")
            commands.append(time.perf_counter() - t)
        print("attribute read:  median %.3f ms, 99th percentile %.3f ms" %
              (statistics.median(reads) * 1e3, percentile(reads, 99) * 1e3))
        print("command (Validate): median %.3f ms, 99th percentile %.3f ms" %
              (statistics.median(commands) * 1e3, percentile(commands, 99) * 1e3))

        # A long run, remote and local: wall time per point.
        points, scans = 2001, 10
        d.Points, d.Scans = points, scans
        t = time.perf_counter()
        d.Start()
        wait_on(d, 600)
        remote = (time.perf_counter() - t) / (points * scans)
        t = time.perf_counter()
        subprocess.run([os.path.join(BUILD, "korvo-cli"), "measure", "--virtual-time", "--quiet", "--start", "100",
                        "--ramp", "10", "--points", str(points), "--scans", str(scans), "--time", "10", "--pass",
                        "10.0", "--out", "local.dat"], check=True, env=env, cwd=work.name)
        local = (time.perf_counter() - t) / (points * scans)
        print("run of %d x %d points: remote %.2f us per point, korvo-cli %.2f us per point (process start "
              "included)" % (points, scans, remote * 1e6, local * 1e6))

        # The soak.
        rng = random.Random(1)
        stopper = tango.DeviceProxy(name)
        stopper.set_timeout_millis(60000)
        done = stopped = refused = empty = 0
        problems = []
        files = set()
        memory = [(0, rss_kib(server.pid))]
        started_at = time.perf_counter()
        for run in range(1, RUNS + 1):
            d.Points = rng.randint(20, 400)
            d.Scans = rng.randint(1, 4)
            bad = rng.random() < 0.1
            d.DwellTime = 5 if bad else 10
            stop = not bad and rng.random() < 0.3
            try:
                d.Start()
            except tango.DevFailed as e:
                if not bad:
                    problems.append("run %d refused: %s" % (run, e.args[0].desc))
                refused += 1
                continue
            if bad:
                problems.append("run %d started with a dwell time of 5 ms" % run)
            if stop:
                time.sleep(rng.random() * 0.003)
                stopper.Stop()
            wait_on(d)
            if d.state() != tango.DevState.ON:
                problems.append("run %d ended in %s: %s" % (run, d.state(), d.status()))
            last = d.LastFile
            if last in files and (d.Counts is None or len(d.Counts) == 0):
                empty += 1  # stopped before its first point: nothing measured, nothing to save
                continue
            if last in files or not os.path.exists(last):
                problems.append("run %d left no file of its own (%s)" % (run, last))
            files.add(last)
            scans_said = d.ScanNumber
            scans_saved = int(header(last, "Scans") or -1)
            if scans_said != scans_saved and scans_saved != scans_said + 1:
                problems.append("run %d: the device says %d scans, the file %d" % (run, scans_said, scans_saved))
            if scans_said < d.Scans:
                stopped += 1
            else:
                done += 1
            if run % 250 == 0:
                memory.append((run, rss_kib(server.pid)))
        took = time.perf_counter() - started_at
        print("soak: %d runs in %.1f s: %d complete, %d stopped, %d stopped before their first point, %d refused; "
              "%d files; problems: %d" % (RUNS, took, done, stopped, empty, refused, len(files), len(problems)))
        for p in problems[:20]:
            print("  " + p)
        print("server memory (VmRSS, KiB) after runs: " + ", ".join("%d: %d" % m for m in memory))
        print("server alive: %s" % (server.poll() is None))
    finally:
        server.send_signal(signal.SIGTERM)
        try:
            server.wait(20)
        except subprocess.TimeoutExpired:
            server.kill()
        work.cleanup()


if __name__ == "__main__":
    main()
