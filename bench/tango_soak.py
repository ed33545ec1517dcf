#!/usr/bin/python3
"""korvo-tango under load: round trips of an attribute read and a command on loopback, a remote run's
time per point beside korvo-cli's local one, and two soaks, sampling the server's resident memory:

- many short runs in a row in virtual time with the simulated card, random Stops (from a second
  client, mid-run) and random refused starts, checking that every run that started left its own file
  with the scans the device reported;
- a fault phase in real time (instruments answer in real time) on a server in CFS mode whose
  monochromator is korvo-sim, restarted before a run with a random fault of every kind it knows (or
  none), beginning after a random number of healthy replies so that it mostly strikes mid-run, and
  random Stops. After each run: the device answers, its state is ON or FAULT with a reason, every scan
  the device reported measured is in the saved file, and after a fault a healthy korvo-sim and Init
  bring the device back to ON.

Usage: bench/tango_soak.py [BUILD_DIR] [RUNS] [--fault-runs N] [--seed S]
  (defaults: build, 2000 runs, 150 fault runs, seed 1; korvo-tango, korvo-cli and korvo-sim in BUILD_DIR)
Needs Debian's python3-tango; run it with /usr/bin/python3. Not part of make test.
"""
import argparse
import collections
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

parser = argparse.ArgumentParser(description="korvo-tango soak and latency bench")
parser.add_argument("build", nargs="?", default="build")
parser.add_argument("runs", nargs="?", type=int, default=2000, help="short runs in virtual time")
parser.add_argument("--fault-runs", type=int, default=150, help="runs with korvo-sim's faults (0: none)")
parser.add_argument("--seed", type=int, default=1)
ARGS = parser.parse_args()
BUILD = os.path.abspath(ARGS.build)
RUNS = ARGS.runs
DEVICE = "bench/korvo/1"
# Every fault korvo-sim knows for a monochromator: the line's, then the controller's own.
FAULT_KINDS = ["no-reply", "garbage", "split", "drop", "hangup", "slow", "f", "t2", "nul", "lf", "stuck"]


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
        rng = random.Random(ARGS.seed)
        stopper = tango.DeviceProxy(name)
        stopper.set_timeout_millis(60000)
        done = stopped = refused = empty = 0
        problems = []
        files = set()
        memory = [(0, rss_kib(server.pid))]
        started_at = time.perf_counter()
        for run in range(1, RUNS + 1):
            if run % 250 == 0:  # before the run, so that a refused or empty run is no gap in the series
                memory.append((run - 1, rss_kib(server.pid)))
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
        memory.append((RUNS, rss_kib(server.pid)))
        took = time.perf_counter() - started_at
        print("soak: %d runs in %.1f s: %d complete, %d stopped, %d stopped before their first point, %d refused; "
              "%d files; problems: %d" % (RUNS, took, done, stopped, empty, refused, len(files), len(problems)))
        for p in problems[:20]:
            print("  " + p)
        print("server memory (VmRSS, KiB) after runs: " + ", ".join("%d: %d" % m for m in memory))
        print("server alive: %s" % (server.poll() is None))
    finally:
        stop_server(server)
        work.cleanup()


def stop_server(server):
    server.send_signal(signal.SIGTERM)
    try:
        server.wait(30)
    except subprocess.TimeoutExpired:
        server.kill()


def start_server(work, properties):
    """korvo-tango in `work` with these device properties; (process, device name)."""
    props = os.path.join(work, "korvo.res")
    with open(props, "w") as f:
        f.write("korvo-tango/bench/DEVICE/Korvo: %s\n" % DEVICE)
        for key, value in properties.items():
            f.write("%s->%s: %s\n" % (DEVICE, key, value))
    port = free_port()
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    err = open(os.path.join(work, "server.err"), "w")
    server = subprocess.Popen([os.path.join(BUILD, "korvo-tango"), "bench", "-file=" + props, "-ORBendPoint",
                               "giop:tcp:127.0.0.1:%d" % port], cwd=work, env=env,
                              stdout=subprocess.DEVNULL, stderr=err)
    err.close()
    name = "tango://127.0.0.1:%d/%s#dbase=no" % (port, DEVICE)
    for _ in range(100):
        try:
            tango.DeviceProxy(name).ping()
            break
        except tango.DevFailed:
            time.sleep(0.1)
    return server, name


class Monochromator:
    """korvo-sim's monochromator behind a fixed path (the device's Mono property), restarted at will."""

    def __init__(self, link, seed):
        self.link = link
        self.seed = seed
        self.process = None

    def start(self, *arguments):
        self.stop()
        self.seed += 1
        self.process = subprocess.Popen([os.path.join(BUILD, "korvo-sim"), "mono", "--mono-speed", "400", "--link",
                                         self.link, "--seed", str(self.seed)] + list(arguments),
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.process.stdout.readline()

    def stop(self):
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        self.process.stdout.close()
        self.process = None


def ended(d, bound_s=90):
    """Waits for the run to end; the state then (None when it did not end in time)."""
    end = time.monotonic() + bound_s
    while time.monotonic() < end:
        st = d.state()
        if st not in (tango.DevState.RUNNING, tango.DevState.STANDBY, tango.DevState.ALARM):
            return st
        time.sleep(0.005)
    return None


def fault_soak(runs, rng):
    """Runs in real time with the monochromator on korvo-sim, random faults and Stops."""
    work = tempfile.TemporaryDirectory(prefix="korvo-faults-")
    link = os.path.join(work.name, "mono")
    mono = Monochromator(link, ARGS.seed * 1000)
    mono.start()
    server, name = start_server(work.name, {"Card": "sim", "Mode": "CFS", "Mono": link, "InstrumentTimeout": 1,
                                            "MonoSpeed": 400, "Seed": ARGS.seed})
    outcomes = collections.defaultdict(collections.Counter)
    problems = []
    files = set()
    scans_checked = 0
    inits, recoveries = [], 0
    memory = [rss_kib(server.pid)]
    started_at = time.perf_counter()
    try:
        d = tango.DeviceProxy(name)
        d.set_timeout_millis(90000)
        stopper = tango.DeviceProxy(name)
        stopper.set_timeout_millis(90000)
        if d.state() != tango.DevState.ON:
            raise RuntimeError("the fault soak's server is not ON: " + d.status())
        d.Kind = "CAE"
        d.PassEnergy = "10.0"
        d.StartEnergy = 100.0
        d.Ramp = 2.0
        last_file = d.LastFile

        def init(run, kind):
            """Init, as an operator does it: a run still going on (a Start whose move outlasted its
            answer's bound goes on measuring) is stopped first."""
            for _ in range(3):
                t = time.perf_counter()
                try:
                    d.Init()
                    inits.append(time.perf_counter() - t)
                    return
                except tango.DevFailed as e:
                    if "Stop the measurement first !" not in e.args[0].desc:
                        problems.append("run %d (%s): Init failed: %s" % (run, kind, e.args[0].desc))
                        return
                outcomes[kind]["Init refused during a run, Stop first"] += 1
                try:
                    stopper.Stop()
                except tango.DevFailed:
                    pass
                end = time.monotonic() + 90
                while time.monotonic() < end and d.state() in (tango.DevState.RUNNING, tango.DevState.STANDBY,
                                                               tango.DevState.ALARM):
                    time.sleep(0.01)
                time.sleep(0.2)
            problems.append("run %d (%s): Init refused three times" % (run, kind))

        for run in range(1, runs + 1):
            kind = rng.choice(["healthy"] * 4 + FAULT_KINDS)
            tally = outcomes[kind]
            tally["runs"] += 1
            if kind != "healthy":
                # Mostly mid-run: the opening takes a reply or two, a scan a few per point.
                mono.start("--fault", kind, "--faults-after", str(rng.randint(0, 40)))
                init(run, kind)
                if d.state() == tango.DevState.FAULT:
                    tally["Init in FAULT"] += 1
                    if not d.status():
                        problems.append("run %d (%s): Init left FAULT without a reason" % (run, kind))
            d.Points = rng.randint(3, 6)
            d.Scans = rng.randint(1, 3)
            d.DwellTime = rng.choice([10, 20])
            d.PhotonEnergy = 35.0 + rng.randint(0, 10)
            stop = rng.random() < 0.25
            begun = True
            try:
                d.Start()
            except tango.DevFailed as e:
                begun = False
                if "did not finish the request" in e.args[0].desc:
                    tally["Start timed out, its move went on"] += 1
                else:
                    tally["refused"] += 1
                    if d.state() not in (tango.DevState.ON, tango.DevState.FAULT):
                        problems.append("run %d (%s): refused (%s), then %s" % (run, kind, e.args[0].desc, d.state()))
            if begun:
                if stop:
                    time.sleep(rng.random() * 0.5)
                    try:
                        stopper.Stop()
                    except tango.DevFailed:
                        pass  # it had ended already
                st = ended(d)
                if st is None:
                    problems.append("run %d (%s) did not end: %s" % (run, kind, d.status()))
                    stopper.Stop()
                    st = ended(d)
                if st == tango.DevState.FAULT:
                    tally["FAULT"] += 1
                    if not d.status():
                        problems.append("run %d (%s): FAULT without a reason" % (run, kind))
                elif st == tango.DevState.ON:
                    tally["complete" if d.ScanNumber >= d.Scans else "stopped"] += 1
                else:
                    problems.append("run %d (%s) ended in %s: %s" % (run, kind, st, d.status()))
                # No lost scan: what the device said it measured is in a file of the run's own.
                said = d.ScanNumber
                last = d.LastFile
                if last != last_file:
                    if last in files or not os.path.exists(last):
                        problems.append("run %d (%s) left no file of its own (%s)" % (run, kind, last))
                    else:
                        files.add(last)
                        saved = int(header(last, "Scans") or -1)
                        scans_checked += saved
                        if saved not in (said, said + 1):
                            problems.append("run %d (%s): the device says %d scans, the file %d" %
                                            (run, kind, said, saved))
                    last_file = last
                elif said > 0:
                    problems.append("run %d (%s): %d scans said measured, no file saved" % (run, kind, said))
                else:
                    tally["no file (nothing measured)"] += 1
            try:
                d.ping()
            except tango.DevFailed as e:
                problems.append("run %d (%s): the device does not answer: %s" % (run, kind, e.args[0].desc))
                break
            if kind != "healthy":
                # The instrument is replaced by a working one: Init brings the device back.
                mono.start()
                init(run, kind)
                # A run whose Start timed out saved its file when Init's Stop ended it.
                last_file = d.LastFile
                if d.state() == tango.DevState.ON:
                    recoveries += 1
                else:
                    problems.append("run %d (%s): Init did not recover: %s %s" % (run, kind, d.state(), d.status()))
            memory.append(rss_kib(server.pid))
        took = time.perf_counter() - started_at
        print("fault soak: %d runs in real time in %.1f s (seed %d), monochromator on korvo-sim, InstrumentTimeout 1 s, MonoSpeed 400 nm/s"
              % (runs, took, ARGS.seed))
        for kind in ["healthy"] + FAULT_KINDS:
            if outcomes[kind]:
                tally = outcomes[kind]
                print("  %-9s runs %d: %s" % (kind, tally.pop("runs"),
                                              ", ".join("%s %d" % kv for kv in sorted(tally.items()))))
        print("  files %d, scans checked %d, Init %d times (median %.0f ms, max %.0f ms), recovered after %d "
              "faulty instruments; problems: %d" % (len(files), scans_checked, len(inits),
                                                    statistics.median(inits) * 1e3 if inits else 0,
                                                    max(inits) * 1e3 if inits else 0, recoveries, len(problems)))
        for p in problems[:20]:
            print("  " + p)
        tenth = max(1, len(memory) // 10)
        print("  server memory (VmRSS, KiB): first %d, last %d, max %d; mean of the first tenth %.0f, of the last "
              "%.0f" % (memory[0], memory[-1], max(memory), statistics.mean(memory[:tenth]),
                        statistics.mean(memory[-tenth:])))
        print("  server alive: %s" % (server.poll() is None))
    finally:
        stop_server(server)
        mono.stop()
        work.cleanup()


if __name__ == "__main__":
    if RUNS > 0:
        main()
    if ARGS.fault_runs > 0:
        fault_soak(ARGS.fault_runs, random.Random(ARGS.seed))
