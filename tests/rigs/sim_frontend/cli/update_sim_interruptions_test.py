#!/usr/bin/env python3
"""velkor-update-sim as a process, asked to end inside the flash window by each close signal,
and two programs on one camera (a shared camera state file).

The flash window is found from outside as the program shows it: "Result.log" holds the
provisional "Fail" from just before the protection is released until the final verdict. The
erase is slowed (--erase-ms) so that a signal sent then lands while the flash is blank.

Usage: update_sim_interruptions_test.py PATH/velkor-update-sim PATH/velkor-tool-sim
Ends with the line 'N passed, M failed'.
"""
import os
import pty
import signal
import subprocess
import sys
import tempfile
import time
import unittest

UPDATER = None
TOOL = None
PASS = b"Pass\r\nR06.00.01\r\n"
ERASE_MS = "3000"


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def state_status(path):
    """The flash's status register from a camera state file."""
    with open(path, encoding="ascii") as f:
        for line in f:
            words = line.split()
            if words and words[0] == "status":
                return int(words[1], 16)
    return None


class UpdateSimInterruptions(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="velkor-update-sim-int-")
        self.state = os.path.join(self.dir.name, "camera.state")

    def tearDown(self):
        self.dir.cleanup()

    def start(self, name, *extra):
        work = os.path.join(self.dir.name, name)
        os.makedirs(work)
        process = subprocess.Popen(
            [UPDATER, "--camera-state", self.state, "--erase-ms", ERASE_MS, *extra],
            cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT)
        return process, os.path.join(work, "Result.log")

    def await_window(self, process, verdict):
        """Waits until the provisional "Fail" shows the flash window open."""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and process.poll() is None:
            if read(verdict) == b"Fail":
                return True
            time.sleep(0.01)
        return False

    def test_each_close_signal_inside_the_window_is_held_until_pass(self):
        for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGQUIT):
            with self.subTest(signal=sig.name):
                if os.path.exists(self.state):
                    os.remove(self.state)
                process, verdict = self.start("run-" + sig.name)
                self.assertTrue(self.await_window(process, verdict))
                process.send_signal(sig)
                time.sleep(0.2)
                process.send_signal(sig)  # a second one before the loop may have taken the first
                out, _ = process.communicate(timeout=60)
                self.assertEqual(process.returncode, 0, out)
                self.assertEqual(read(verdict), PASS, out)
                self.assertIn(b"Finishing the update, please wait", out)
                self.assertEqual(state_status(self.state) & 0x8C, 0x8C)

    def test_a_signal_before_the_release_ends_at_once_without_a_verdict(self):
        process, verdict = self.start("early")
        time.sleep(1.2)  # the first poll tick has found the camera; the settle runs 2 s
        process.send_signal(signal.SIGTERM)
        out, _ = process.communicate(timeout=30)
        self.assertEqual(process.returncode, 0, out)
        self.assertIsNone(read(verdict), out)
        self.assertNotIn(b"Finishing the update", out)

    def test_a_lost_terminal_inside_the_window_does_not_end_the_update(self):
        """The program on a terminal of its own that hangs up (SIGHUP, then writes fail with
        EIO), and on a pipe whose reader goes away (EPIPE): it goes on without drawing."""
        work = os.path.join(self.dir.name, "pty")
        os.makedirs(work)
        verdict = os.path.join(work, "Result.log")
        pid, master = pty.fork()
        if pid == 0:
            os.chdir(work)
            os.execv(UPDATER, [UPDATER, "--camera-state", self.state, "--erase-ms", ERASE_MS])
        deadline = time.monotonic() + 30
        while read(verdict) != b"Fail" and time.monotonic() < deadline:
            try:
                os.read(master, 4096)  # keep the terminal drained until the window opens
            except OSError:
                break
        os.close(master)
        _, status = os.waitpid(pid, 0)
        self.assertEqual(os.waitstatus_to_exitcode(status), 0)
        self.assertEqual(read(verdict), PASS)

        os.remove(verdict)
        process, verdict = self.start("pipe")
        self.assertTrue(self.await_window(process, verdict))
        process.stdout.close()
        self.assertEqual(process.wait(timeout=60), 0)
        self.assertEqual(read(verdict), PASS)

    def test_a_camera_without_a_state_file_takes_no_lock_and_passes(self):
        work = os.path.join(self.dir.name, "plain")
        os.makedirs(work)
        run = subprocess.run([UPDATER, "--fast"], cwd=work, stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(read(os.path.join(work, "Result.log")), PASS, run.stdout)

    def test_second_program_on_one_camera_is_refused_and_the_first_passes(self):
        first, first_verdict = self.start("first")
        self.assertTrue(self.await_window(first, first_verdict))
        second, second_verdict = self.start("second")
        out2, _ = second.communicate(timeout=30)
        tool = subprocess.run([TOOL, "--camera-state", self.state, "identify"],
                              cwd=self.dir.name, capture_output=True, timeout=30)
        out1, _ = first.communicate(timeout=60)
        self.assertEqual(second.returncode, 0)
        self.assertEqual(read(second_verdict), b"Fail", out2)
        self.assertIn(b"Camera in use by another program", out2)
        self.assertEqual(tool.returncode, 4, tool.stderr)
        self.assertIn(("velkor-update-sim (process %d)" % first.pid).encode(),
                      tool.stdout + tool.stderr)
        self.assertEqual(read(first_verdict), PASS, out1)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    UPDATER, TOOL = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    result = unittest.main(argv=sys.argv[:1], exit=False, verbosity=2).result
    # A failing subtest is reported once per subtest: count the tests.
    failed = len({test.id().split(" ")[0] for test, _ in result.failures + result.errors})
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
