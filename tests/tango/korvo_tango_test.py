#!/usr/bin/python3
# korvo-tango driven by PyTango clients, as a beamline drives it: each server without a Tango
# database on a free loopback port, with the simulated card, its properties from a -file= property
# file. Every wait is bounded; the whole group takes a few seconds.
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import tango

SERVER = os.environ["KORVO_TANGO_PATH"]
CLI = os.environ["KORVO_CLI_PATH"]
SIM = os.environ["KORVO_SIM_PATH"]
DESKTOP = os.environ["KORVO_PATH"]
DEVICE = "test/korvo/1"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(what, bound_s, step_s=0.02):
    end = time.monotonic() + bound_s
    while time.monotonic() < end:
        value = what()
        if value:
            return value
        time.sleep(step_s)
    return what()


class Server:
    """korvo-tango in a directory of its own (its save directory), stopped with the test."""

    def __init__(self, **properties):
        self.dir = tempfile.TemporaryDirectory(prefix="korvo-tango-")
        self.port = free_port()
        props = os.path.join(self.dir.name, "korvo.res")
        with open(props, "w") as f:
            f.write("korvo-tango/test/DEVICE/Korvo: %s\n" % DEVICE)
            for key, value in dict({"Card": "sim"}, **properties).items():
                f.write("%s->%s: %s\n" % (DEVICE, key, value))
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
        self.err = open(os.path.join(self.dir.name, "server.err"), "w+")
        self.process = subprocess.Popen(
            [SERVER, "test", "-file=" + props, "-ORBendPoint", "giop:tcp:127.0.0.1:%d" % self.port],
            cwd=self.dir.name, env=env, stdout=subprocess.DEVNULL, stderr=self.err)
        self.name = "tango://127.0.0.1:%d/%s#dbase=no" % (self.port, DEVICE)
        if not wait_until(self._answers, 10, 0.1):
            self.stop()
            raise RuntimeError("korvo-tango did not answer: " + self.errors())

    def _answers(self):
        if self.process.poll() is not None:
            return False
        try:
            tango.DeviceProxy(self.name).ping()
            return True
        except tango.DevFailed:
            return False

    def client(self):
        d = tango.DeviceProxy(self.name)
        d.set_timeout_millis(10000)
        return d

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def errors(self):
        self.err.seek(0)
        return self.err.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.err.close()
        self.dir.cleanup()


def set_range(d, start=100.0, ramp=5.0, points=11, scans=2, dwell=20):
    d.Kind = "CAE"
    d.StartEnergy = start
    d.Ramp = ramp
    d.Points = points
    d.Scans = scans
    d.DwellTime = dwell
    d.PassEnergy = "10.0"
    d.Comment = "Au 4f"
    d.Probe = "gold foil"


def header_value(path, key):
    with open(path, encoding="latin-1") as f:
        for line in f:
            if line.startswith(key + ":"):
                return line[len(key) + 1:].strip()
    return None


def without_name_and_date(path):
    with open(path, encoding="latin-1") as f:
        return [l for l in f if not l.startswith(("FileName:", "Date:"))]


def refusal(error):
    return "\n".join(e.desc for e in error.args)


class Events:
    def __init__(self, d, *names):
        self.values = {n: [] for n in names}
        self.lock = threading.Lock()
        self.ids = [(d, d.subscribe_event(n, tango.EventType.CHANGE_EVENT, self._seen)) for n in names]

    def _seen(self, event):
        if event.err or event.attr_value is None:
            return
        name = event.attr_name.split("#")[0].rsplit("/", 1)[-1].lower()
        with self.lock:
            for n in self.values:
                if n.lower() == name:
                    self.values[n].append(event.attr_value.value)

    def of(self, name):
        with self.lock:
            return list(self.values[name])

    def close(self):
        for d, i in self.ids:
            d.unsubscribe_event(i)


class Refusals(unittest.TestCase):
    def test_what_tango_cannot_serve_is_refused_with_the_reason(self):
        # Tango itself would end the process on an endpoint it cannot listen on; the desktop
        # program must be told instead, and so is korvo-tango.
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
            for dlist, endpoint, says in [
                    (DEVICE, "giop:tcp:127.0.0.1:%d" % port, "Tango cannot listen on giop:tcp:127.0.0.1:%d: "
                                                              "Address already in use" % port),
                    ("korvo", "giop:tcp:127.0.0.1:", '"korvo" is no Tango device name (domain/family/member)'),
                    (DEVICE + ",a/b", "giop:tcp:127.0.0.1:", '"a/b" is no Tango device name')]:
                r = subprocess.run([SERVER, "test", "-nodb", "-dlist", dlist, "-ORBendPoint", endpoint],
                                   capture_output=True, text=True, env=env, timeout=30)
                self.assertEqual(r.returncode, 1, r.stderr)
                self.assertIn("korvo-tango: " + says, r.stderr)


class VirtualTime(unittest.TestCase):
    def setUp(self):
        self.server = Server(VirtualTime="true")
        self.addCleanup(self.server.stop)

    def test_a_run_gives_events_and_the_file_korvo_cli_writes(self):
        d = self.server.client()
        self.assertEqual(d.state(), tango.DevState.ON)
        set_range(d, scans=3)
        events = Events(d, "Progress", "Counts", "ScanNumber", "State")
        d.Start()
        self.assertTrue(wait_until(lambda: d.state() == tango.DevState.ON, 10))
        counts = list(d.Counts)
        self.assertEqual(len(counts), 11)
        self.assertEqual(list(d.Energies)[-1], 105.0)
        self.assertEqual(d.ScanNumber, 3)
        self.assertEqual(d.Progress, 100.0)
        self.assertEqual(d.ChannelCounts.shape, (9, 11))
        # The events reach the client without polling: the progress up to 100 %, the counts after
        # each scan, RUNNING and back to ON.
        self.assertTrue(wait_until(lambda: 100.0 in events.of("Progress"), 5), events.of("Progress"))
        self.assertTrue(wait_until(lambda: tango.DevState.ON in events.of("State")[1:], 5), events.of("State"))
        self.assertIn(tango.DevState.RUNNING, events.of("State"))
        scans = wait_until(lambda: len(events.of("Counts")) >= 4 and events.of("Counts"), 5)
        self.assertTrue(scans)
        self.assertEqual(list(scans[-1]), counts)
        # Sums over one, two and three scans.
        firsts = [list(c)[0] for c in scans[1:4]]
        self.assertTrue(0 < firsts[0] < firsts[1] < firsts[2] == counts[0], firsts)
        self.assertEqual(events.of("ScanNumber")[-1], 3)
        events.close()

        last = d.LastFile
        self.assertEqual(os.path.dirname(last), self.server.dir.name)
        self.assertEqual(d.FileName, os.path.basename(last))
        cli = subprocess.run([CLI, "measure", "--virtual-time", "--quiet", "--start", "100", "--ramp", "5",
                              "--points", "11", "--scans", "3", "--time", "20", "--pass", "10.0",
                              "--comment", "Au 4f", "--sample", "gold foil", "--out", "cli.dat"],
                             cwd=self.server.dir.name, capture_output=True, text=True, timeout=30)
        self.assertEqual(cli.returncode, 0, cli.stderr)
        self.assertEqual(without_name_and_date(last), without_name_and_date(self.server.path("cli.dat")))

        # A second run never replaces the first file.
        d.Start()
        self.assertTrue(wait_until(lambda: d.state() == tango.DevState.ON, 10))
        self.assertNotEqual(d.LastFile, last)
        self.assertTrue(os.path.exists(last))

    def test_a_refused_start_says_why_and_changes_nothing(self):
        d = self.server.client()
        set_range(d)
        d.DwellTime = 5
        names = ["Mode", "Kind", "StartEnergy", "Ramp", "EndEnergy", "Points", "Step", "PassEnergy",
                 "DwellTime", "Scans", "PhotonEnergy", "Comment", "Probe", "FileName", "LastFile",
                 "ScanNumber"]
        before = [a.value for a in d.read_attributes(names)]
        told = d.Validate()
        self.assertIn("5ms is outside of the valid range  ( t > 9 ms  and  t < 32000 ms)", told)
        with self.assertRaises(tango.DevFailed) as e:
            d.Start()
        self.assertIn("5ms is outside of the valid range", refusal(e.exception))
        self.assertEqual([a.value for a in d.read_attributes(names)], before)
        self.assertEqual(d.state(), tango.DevState.ON)
        self.assertEqual([f for f in os.listdir(self.server.dir.name) if f.startswith("c_")], [])
        # A write the device cannot take is refused with the reason, and the value stays.
        with self.assertRaises(tango.DevFailed) as e:
            d.Comment = "two\nlines"
        self.assertIn("control characters", refusal(e.exception))
        self.assertEqual(d.Comment, "Au 4f")
        # Tango's Init gives the device its station back, as it was.
        d.Init()
        self.assertEqual(d.state(), tango.DevState.ON)
        self.assertEqual(d.Comment, "Au 4f")
        d.DwellTime = 20
        d.Start()
        self.assertTrue(wait_until(lambda: d.state() == tango.DevState.ON and d.LastFile, 10), d.status())


class RealTime(unittest.TestCase):
    def test_a_run_outlives_its_client_refuses_a_second_start_and_stop_saves_it(self):
        server = Server()
        self.addCleanup(server.stop)
        d = server.client()
        set_range(d, points=21, scans=40, dwell=10)
        # The client that starts the run goes away at once.
        starter = subprocess.run(
            [sys.executable, "-c",
             "import tango; d = tango.DeviceProxy(%r); d.set_timeout_millis(10000); d.Start()" % server.name],
            capture_output=True, text=True, timeout=30)
        self.assertEqual(starter.returncode, 0, starter.stderr)
        self.assertTrue(wait_until(lambda: d.ScanNumber >= 2, 15), d.status())
        self.assertEqual(d.state(), tango.DevState.RUNNING)
        # Another client is refused its Start and its writes while the run goes on.
        with self.assertRaises(tango.DevFailed) as e:
            d.Start()
        self.assertIn("Stop the measurement first !", refusal(e.exception))
        with self.assertRaises(tango.DevFailed) as e:
            d.Scans = 1
        self.assertIn("Stop the measurement first !", refusal(e.exception))
        # Init would take the instruments from under the run: refused, and the run goes on.
        with self.assertRaises(tango.DevFailed) as e:
            d.Init()
        self.assertIn("Stop the measurement first !", refusal(e.exception))
        self.assertEqual(d.state(), tango.DevState.RUNNING)
        d.Stop()
        self.assertTrue(wait_until(lambda: d.state() == tango.DevState.ON, 10), d.status())
        last = d.LastFile
        self.assertTrue(os.path.exists(last), last)
        scans = int(header_value(last, "Scans"))
        self.assertGreaterEqual(scans, 1)
        self.assertLess(scans, 40)
        self.assertEqual(d.Scans, 40)

    def test_a_server_told_to_end_stops_its_run_and_saves_it(self):
        server = Server()
        self.addCleanup(server.stop)
        d = server.client()
        set_range(d, points=21, scans=40, dwell=10)
        d.Start()
        self.assertTrue(wait_until(lambda: d.ScanNumber >= 2, 15), d.status())
        server.process.send_signal(signal.SIGTERM)
        server.process.wait(15)
        saved = [f for f in os.listdir(server.dir.name) if f.startswith("c_")]
        self.assertEqual(len(saved), 1, saved)
        scans = int(header_value(server.path(saved[0]), "Scans"))
        self.assertGreaterEqual(scans, 1)
        self.assertLess(scans, 40)

    def test_a_monochromator_falling_silent_ends_in_fault_with_the_scans_saved_and_init_recovers(self):
        work = tempfile.TemporaryDirectory(prefix="korvo-mono-")
        self.addCleanup(work.cleanup)
        device = os.path.join(work.name, "mono")

        def simulator(*faults):
            sim = subprocess.Popen([SIM, "mono", "--mono-speed", "400", "--link", device] + list(faults),
                                   stdout=subprocess.PIPE, text=True)
            self.addCleanup(lambda: (sim.poll() is None and sim.terminate(), sim.wait(), sim.stdout.close()))
            sim.stdout.readline()
            return sim
        # It answers the opening and the steps of the first scans, then the line goes dead.
        dying = simulator("--fault", "hangup", "--after", "40")
        server = Server(Mode="CFS", Mono=device, InstrumentTimeout=1)
        self.addCleanup(server.stop)
        d = server.client()
        set_range(d, start=100.0, ramp=2.0, points=3, scans=20, dwell=20)
        d.PhotonEnergy = 35.0
        d.Start()
        self.assertTrue(wait_until(lambda: d.state() == tango.DevState.FAULT, 20), d.status())
        self.assertIn("Error ! Problem with the monochromator?", d.status())
        last = d.LastFile
        scans = int(header_value(last, "Scans"))
        self.assertGreaterEqual(scans, 1)
        self.assertLess(scans, 20)
        # The server still answers.
        self.assertEqual(d.Points, 3)
        self.assertEqual(list(d.Validate()), [])

        # Init while the monochromator is still gone: FAULT, and the status names the link.
        dying.wait(10)
        d.Init()
        self.assertEqual(d.state(), tango.DevState.FAULT)
        self.assertIn("Cannot connect the monochromator on " + device, d.status())
        # Brought back on the same device: Init opens the link again and a run measures through it.
        simulator()
        d.Init()
        self.assertEqual(d.state(), tango.DevState.ON, d.status())
        self.assertEqual(d.status(), "Ready. Last file: " + last)
        d.Scans = 2
        d.PhotonEnergy = 36.0
        d.Start()
        self.assertTrue(wait_until(lambda: d.state() == tango.DevState.ON, 20), d.status())
        self.assertNotEqual(d.LastFile, last)
        self.assertEqual(header_value(d.LastFile, "Scans"), "2")


class Desktop(unittest.TestCase):
    def test_the_desktop_program_serves_the_device_its_ini_file_names(self):
        work = tempfile.TemporaryDirectory(prefix="korvo-desktop-")
        self.addCleanup(work.cleanup)
        port = free_port()
        ini = os.path.join(work.name, "korvo.ini")
        with open(ini, "w") as f:
            f.write("[remote]\ntango_device=%s\ntango_endpoint=giop:tcp:127.0.0.1:%d\n" % (DEVICE, port))
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0", QT_QPA_PLATFORM="offscreen")
        err = open(os.path.join(work.name, "korvo.err"), "w+")
        self.addCleanup(err.close)
        korvo = subprocess.Popen([DESKTOP, "--card", "sim", "--ini", ini], cwd=work.name, env=env,
                                 stdout=subprocess.DEVNULL, stderr=err)

        def end():
            if korvo.poll() is None:
                korvo.kill()
                korvo.wait()
        self.addCleanup(end)
        name = "tango://127.0.0.1:%d/%s#dbase=no" % (port, DEVICE)

        def answers():
            if korvo.poll() is not None:
                return True
            try:
                tango.DeviceProxy(name).ping()
                return True
            except tango.DevFailed:
                return False
        self.assertTrue(wait_until(answers, 20, 0.1))
        if korvo.poll() is not None:
            err.seek(0)
            text = err.read()
            if "Program is running" in text or korvo.returncode == 0:
                self.skipTest("another Korvo desktop program runs for this user")
            self.fail("korvo ended: " + text)
        d = tango.DeviceProxy(name)
        d.set_timeout_millis(10000)
        self.assertEqual(d.state(), tango.DevState.ON)
        set_range(d, points=11, scans=2)
        d.Start()
        self.assertTrue(wait_until(lambda: d.state() == tango.DevState.ON, 20), d.status())
        self.assertEqual(d.ScanNumber, 2)
        last = os.path.join(work.name, d.LastFile)
        self.assertEqual(header_value(last, "Scans"), "2")
        self.assertEqual(header_value(last, "Comment"), "Au 4f")
        # Tango takes the signal: the program still ends on it.
        korvo.send_signal(signal.SIGTERM)
        korvo.wait(15)


if __name__ == "__main__":
    unittest.main(verbosity=2)
