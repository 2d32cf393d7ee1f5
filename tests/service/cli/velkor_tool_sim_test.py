#!/usr/bin/env python3
"""velkor-tool-sim as a process: exit codes, JSON lines checked against the documented schema,
the flash kept in a file across runs, and Ctrl-C during a write and during a read.

Usage: velkor_tool_sim_test.py PATH/velkor-tool-sim PATH/velkor-tool.schema.json
"""
import csv
import io
import json
import os
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

import jsonschema

TOOL = None
SCHEMA = None


def image(seed):
    """65,536 bytes with the board's configuration block, so the restore protects the flash."""
    data = bytearray((i * 131 + seed * 7 + (i >> 8)) % 255 for i in range(65536))
    for offset in (0x0003, 0x5803, 0x8003, 0xC003):
        data[offset] = 0x5A
    for offset in (0x000F, 0x0034, 0x5834, 0x8034, 0xC034):
        data[offset] = 0xB1
    return bytes(data)


class ToolProcessTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="velkor-tool-cli-")
        jsonschema.Draft202012Validator.check_schema(SCHEMA)
        self.validator = jsonschema.Draft202012Validator(SCHEMA)

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def put(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def check_json(self, stdout, code):
        """Every line is one schema-valid object; the last is the summary with the exit code."""
        lines = [json.loads(line) for line in stdout.splitlines()]
        self.assertTrue(lines, "no JSON output")
        for line in lines:
            self.validator.validate(line)
        self.assertTrue(all(line["type"] == "event" for line in lines[:-1]))
        self.assertEqual(lines[-1]["type"], "summary")
        self.assertEqual(lines[-1]["exit_code"], code)
        return lines

    def run_tool(self, *args, sim=("--fast",), timeout=120):
        result = subprocess.run([TOOL, *sim, *args], capture_output=True, text=True,
                                timeout=timeout, cwd=self.dir.name)
        if "--json" in args:
            result.lines = self.check_json(result.stdout, result.returncode)
            result.summary = result.lines[-1]
        return result

    def test_each_exit_code_with_its_json_summary(self):
        cases = [
            (0, ("list", "--json"), ()),
            (0, ("identify", "--json"), ()),
            (0, ("read", "dump.bin", "--json"), ()),
            (1, ("verify", self.put("other.bin", image(9)), "--json"), ()),
            (2, ("write", self.put("short.bin", image(1)[:-1]), "--json"), ()),
            (2, ("identify", "--json", "--bogus"), ()),
            (3, ("identify", "--json"), ("--attach", "never")),
            (3, ("write", self.put("img.bin", image(1)), "--json"), ("--attach", "never")),
            (4, ("identify", "--json"), ("--fail-selector", "4")),
            (4, ("read", "dump2.bin", "--json"), ("--fail-selector", "3")),
        ]
        for code, args, sim in cases:
            with self.subTest(args=args, sim=sim):
                result = self.run_tool(*args, sim=("--fast", *sim))
                self.assertEqual(result.returncode, code, result.stderr)
        self.assertEqual(os.path.getsize(self.path("dump.bin")), 65536)
        self.assertFalse(os.path.exists(self.path("dump2.bin")))

    def test_write_events_name_every_step_in_the_updaters_order(self):
        result = self.run_tool("write", self.put("img.bin", image(1)), "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        steps = []
        for line in result.lines[:-1]:
            if line["result"] == "started" and line["step"] not in steps:
                steps.append(line["step"])
        self.assertEqual(steps, ["open", "settle", "identify", "release", "erase", "erase-check",
                                 "write", "verify", "restore"])
        self.assertEqual(result.summary["status_text"], "Update Finish.")
        self.assertTrue(result.summary["protection_confirmed"])

    def test_backup_write_and_restore_from_backup_across_runs(self):
        flash = ("--fast", "--flash-file", self.path("flash.bin"))
        new = self.put("new.bin", image(2))
        self.assertEqual(self.run_tool("read", "old.bin", sim=flash).returncode, 0)
        result = self.run_tool("write", new, "--backup", "backup.bin", "--json", sim=flash)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(self.path("old.bin"), "rb") as a, open(self.path("backup.bin"), "rb") as b:
            self.assertEqual(a.read(), b.read())
        self.assertEqual(self.run_tool("verify", new, sim=flash).returncode, 0)
        self.assertEqual(self.run_tool("verify", "old.bin", sim=flash).returncode, 1)
        self.assertEqual(self.run_tool("write", "backup.bin", sim=flash).returncode, 0)
        self.assertEqual(self.run_tool("verify", "old.bin", sim=flash).returncode, 0)

    def state_items(self):
        """The camera state file's flash bytes and its "key value" lines."""
        with open(self.path("cam.state")) as f:
            lines = f.read().splitlines()
        start = lines.index("flash")
        flash = bytes.fromhex("".join(lines[start + 1:start + 1025]))
        items = {}
        for line in lines[1:start]:
            key, _, value = line.partition(" ")
            items[key if key != "register" else "register " + value.split()[0]] = value
        return flash, items

    def test_camera_state_carries_flash_status_and_registers_to_the_next_run(self):
        state = ("--fast", "--camera-state", self.path("cam.state"))
        new = self.put("new.bin", image(4))
        # The camera is pulled mid-write; one lost request alone would only cost an attempt.
        failed = self.run_tool("write", new, sim=(*state, "--unplug-after", "16000"))
        self.assertEqual(failed.returncode, 4, failed.stderr)
        flash, items = self.state_items()
        self.assertNotEqual(flash, image(4))
        # The next run starts from what the failed one left, byte for byte.
        self.assertEqual(self.run_tool("read", "dump.bin", sim=state).returncode, 0)
        with open(self.path("dump.bin"), "rb") as f:
            self.assertEqual(f.read(), flash)
        shown = self.run_tool("identify", sim=state)
        self.assertIn("status register: " + items["status"], shown.stdout)
        # Re-plugged: the pin registers are back at power-on, the flash and status stay.
        self.assertEqual(self.run_tool("identify", sim=(*state, "--replugged")).returncode, 0)
        replugged_flash, replugged = self.state_items()
        self.assertEqual(replugged_flash, flash)
        self.assertEqual(replugged["status"], items["status"])
        self.assertNotIn("register 0x1007", replugged)
        # A file that is no camera state, and the flash kept twice, are refused.
        self.put("junk.state", b"junk\n")
        junk = self.run_tool("identify", sim=("--fast", "--camera-state", self.path("junk.state")))
        self.assertEqual(junk.returncode, 2)
        self.assertIn("not a camera state file", junk.stderr)
        both = self.run_tool("identify", sim=(*state, "--flash-file", self.path("f.bin")))
        self.assertEqual(both.returncode, 2)

    def test_plain_output_and_help(self):
        result = self.run_tool("read", "dump.bin")
        self.assertEqual(result.returncode, 0)
        self.assertIn("read: 50%\n", result.stdout)  # plain lines, not a bar, into a pipe
        self.assertNotIn("\r", result.stdout)
        quiet = self.run_tool("read", "dump.bin", "--quiet")
        self.assertEqual(quiet.stdout, "")
        usage = self.run_tool("--help")
        self.assertEqual(usage.returncode, 0)
        for text in ("Exit codes:", "  3    no camera found", "--request-latency-us",
                     "--cameras N", "--on-camera K 'OPTIONS'"):
            self.assertIn(text, usage.stdout)

    def start_slow(self, *args):
        """A run slow enough to interrupt: 150 microseconds per request."""
        return subprocess.Popen([TOOL, "--fast", "--request-latency-us", "150",
                                 "--flash-file", self.path("flash.bin"), *args],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                cwd=self.dir.name)

    @staticmethod
    def wait_for_step(process, step):
        """Reads JSON lines until the step has started; returns the lines read."""
        lines = []
        for line in process.stdout:
            lines.append(line)
            if json.loads(line).get("step") == step:
                return lines
        raise AssertionError(f"the run ended before step {step}")

    def test_history_of_an_older_station_database_in_json_and_csv(self):
        # A database as the first schema left it, written by another SQLite client.
        awkward = 'erase not confirmed, status "0x03"\nretry later'
        db = sqlite3.connect(self.path("old.db"))
        db.executescript(
            "CREATE TABLE attempts (id INTEGER PRIMARY KEY AUTOINCREMENT, counter INTEGER NOT NULL,"
            " state TEXT NOT NULL, started_at TEXT NOT NULL, host TEXT NOT NULL, port TEXT NOT NULL,"
            " image_sha256 TEXT NOT NULL, image_version TEXT NOT NULL, ended_at TEXT,"
            " chip_row INTEGER, chip_id TEXT, chip_version INTEGER, result TEXT, failed_step TEXT,"
            " message TEXT, duration_seconds REAL); PRAGMA user_version = 1;")
        db.execute("INSERT INTO attempts VALUES (1, 1, 'done', '2026-12-07T21:00:00.000Z', 'b1',"
                   " '/dev/video0', 'ab', 'R06.00.01', '2026-12-07T21:00:09.500Z', 18, 'CHIP1', 3,"
                   " 'fail', 'erase', ?, 9.5)", (awkward,))
        db.execute("INSERT INTO attempts VALUES (2, 2, 'interrupted', '2026-12-07T22:00:00.000Z',"
                   " 'b1', '/dev/video2', 'ab', 'R06.00.01', NULL, NULL, NULL, NULL, NULL, NULL,"
                   " NULL, NULL)")
        db.commit()
        db.close()

        result = self.run_tool("history", "--db", "old.db", "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual([r["id"] for r in result.summary["records"]], [2, 1])
        self.assertEqual(result.summary["records"][1]["message"], awkward)

        result = self.run_tool("history", "--db", "old.db", "--csv", "--since", "2026-12-07")
        self.assertEqual(result.returncode, 0, result.stderr)
        rows = list(csv.DictReader(io.StringIO(result.stdout, newline="")))
        self.assertEqual([row["state"] for row in rows], ["interrupted", "done"])
        self.assertEqual(rows[1]["message"], awkward)
        self.assertEqual(rows[1]["serial"], "")

        result = self.run_tool("history", "--db", "absent.db", "--json")
        self.assertEqual(result.returncode, 2)
        self.assertFalse(os.path.exists(self.path("absent.db")))

    def test_ctrl_c_during_a_write_completes_it_and_exits_non_zero(self):
        new = self.put("new.bin", image(3))
        process = self.start_slow("write", new, "--json")
        early = self.wait_for_step(process, "erase-check")
        process.send_signal(signal.SIGINT)
        time.sleep(0.2)
        process.send_signal(signal.SIGINT)
        stdout, stderr = process.communicate(timeout=120)
        stdout = "".join(early) + stdout
        self.assertEqual(process.returncode, 130, stderr)
        self.assertEqual(stderr.count("the write finishes first"), 1, stderr)
        lines = self.check_json(stdout, 130)
        self.assertTrue(lines[-1]["interrupted"])
        self.assertEqual(lines[-1]["status_text"], "Update Finish.")
        self.assertEqual(self.run_tool("verify", new,
                                       sim=("--fast", "--flash-file", self.path("flash.bin")))
                         .returncode, 0)

    def test_ctrl_c_during_a_read_leaves_no_file_under_the_final_name(self):
        process = self.start_slow("read", "dump.bin", "--json")
        self.wait_for_step(process, "read")
        process.send_signal(signal.SIGINT)
        process.communicate(timeout=60)
        self.assertEqual(process.returncode, -signal.SIGINT)
        self.assertFalse(os.path.exists(self.path("dump.bin")))


if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv[1])
    with open(sys.argv[2]) as f:
        SCHEMA = json.load(f)
    unittest.main(argv=[sys.argv[0], "-v"])
