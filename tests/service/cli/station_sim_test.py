#!/usr/bin/env python3
"""The station as a process against several simulated cameras: a fault on one camera leaves the
others passing and a second station run passes them all; Ctrl-C lets the running updates finish;
a killed station's attempts are marked interrupted by the next; cameras appearing later are
updated once each; every JSON line against the documented schema.

Usage: station_sim_test.py PATH/velkor-tool-sim PATH/velkor-tool.schema.json
"""
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import jsonschema

TOOL = None
SCHEMA = None
IMAGE = os.path.join(os.path.dirname(__file__), "..", "..", "..", "resources", "firmware.bin")


class StationProcessTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="velkor-station-")
        self.validator = jsonschema.Draft202012Validator(SCHEMA)
        self.db = os.path.join(self.dir.name, "station.db")

    def tearDown(self):
        self.dir.cleanup()

    def station(self, sim, station=(), timeout=120):
        args = [TOOL, *sim, "station", IMAGE, "--db", self.db, "--json", *station]
        done = subprocess.run(args, capture_output=True, text=True, timeout=timeout,
                              cwd=self.dir.name)
        return done.returncode, self.lines(done.stdout)

    def start(self, sim, station=()):
        args = [TOOL, *sim, "station", IMAGE, "--db", self.db, "--json", *station]
        return subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                cwd=self.dir.name)

    def lines(self, stdout):
        lines = [json.loads(line) for line in stdout.splitlines() if line]
        for line in lines:
            self.validator.validate(line)
        return lines

    def read_until(self, process, seen, count):
        """Reads lines until count of them satisfy seen; returns every line read."""
        lines = []
        while sum(1 for line in lines if seen(line)) < count:
            text = process.stdout.readline()
            if not text:
                process.kill()
                process.communicate()
                self.fail("the station ended early")
            lines.append(json.loads(text))
        return lines

    def history(self):
        done = subprocess.run([TOOL, "history", "--db", self.db, "--json"], capture_output=True,
                              text=True, timeout=30)
        self.assertEqual(done.returncode, 0, done.stderr)
        return self.lines(done.stdout)[-1]["records"]

    def state(self, k):
        return os.path.join(self.dir.name, f"camera{k}.state")

    def test_one_camera_unplugged_mid_write_leaves_three_passing_and_the_rerun_passes_all(self):
        cameras = ["--cameras", "4", "--request-latency-us", "20"]
        for k in range(1, 5):
            cameras += ["--on-camera", str(k), f"--camera-state {self.state(k)}"]
        cameras += ["--on-camera", "3", "--chip-row 0"]
        code, lines = self.station(
            cameras + ["--on-camera", "2", "--unplug-after 16000"], ["--once"])
        self.assertEqual(code, 1)
        ended = {line["port"]: line for line in lines if line.get("event") == "ended"}
        self.assertEqual(len(ended), 4)
        verdicts = sorted(line["verdict"] for line in ended.values())
        self.assertEqual(verdicts, ["Fail", "Pass", "Pass", "Pass"])
        rows = sorted(line["chip"]["row"] for line in ended.values() if line["chip"])
        self.assertEqual(rows, [0, 18, 18, 18])
        self.assertEqual(lines[-1]["passed"], 3)
        # Every event of a camera's update names its port, and no port has another's events.
        for port, line in ended.items():
            events = [e for e in lines if e.get("type") == "event" and e["port"] == port]
            self.assertEqual(events[0]["step"], "open")
            self.assertIn(port, events[0]["message"])
        # The camera left failed is updated by the next run, the others again.
        code, lines = self.station(cameras, ["--once"])
        self.assertEqual(code, 0, lines[-1])
        self.assertEqual(lines[-1]["passed"], 4)
        records = self.history()
        self.assertEqual([r["result"] for r in records].count("pass"), 7)
        self.assertEqual([r["counter"] for r in records], list(range(8, 0, -1)))
        self.assertTrue(all(r["state"] == "done" for r in records))

    def test_ctrl_c_lets_the_running_updates_finish_and_takes_no_new_camera(self):
        process = self.start(["--cameras", "3", "--request-latency-us", "150"])
        self.read_until(process, lambda l: l.get("step") == "write", 3)
        process.send_signal(signal.SIGINT)
        out, _ = process.communicate(timeout=120)
        lines = self.lines(out)
        self.assertEqual(process.returncode, 0)
        self.assertTrue(lines[-1]["interrupted"])
        self.assertEqual(lines[-1]["passed"], 3)
        records = self.history()
        self.assertEqual(len(records), 3)
        self.assertTrue(all(r["state"] == "done" and r["result"] == "pass" for r in records))

    def test_a_killed_stations_attempts_are_marked_interrupted_by_the_next(self):
        process = self.start(["--cameras", "2", "--request-latency-us", "150"], ["--once"])
        self.read_until(process, lambda l: l.get("step") == "erase", 2)
        process.kill()
        process.communicate()
        self.assertEqual(sorted(r["state"] for r in self.history()), ["running", "running"])
        code, lines = self.station(["--cameras", "2", "--request-latency-us", "20"], ["--once"])
        self.assertEqual(code, 0)
        notes = [l["message"] for l in lines if l.get("event") == "note"]
        self.assertTrue(any("2 attempts" in note and "interrupted" in note for note in notes))
        states = sorted(r["state"] for r in self.history())
        self.assertEqual(states, ["done", "done", "interrupted", "interrupted"])

    def test_cameras_appearing_later_are_each_updated_once_while_attached(self):
        # Camera 2 appears on the fourth presence tick; the station keeps watching after both.
        process = self.start(["--cameras", "2", "--request-latency-us", "20", "--on-camera", "2",
                              "--attach 4"], ["--slots", "2"])
        self.read_until(process, lambda l: l.get("event") == "ended", 2)
        time.sleep(2)  # four more looks at the attached cameras
        process.send_signal(signal.SIGTERM)
        out, _ = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 0)
        self.assertEqual(len(self.history()), 2)

    def test_once_with_no_camera_attached_exits_three(self):
        code, lines = self.station(["--on-camera", "1", "--attach never"], ["--once"])
        self.assertEqual(code, 3)
        self.assertEqual(lines[-1]["result"], "no-camera")


if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv.pop(1))
    with open(sys.argv.pop(1)) as f:
        SCHEMA = json.load(f)
    unittest.main()
