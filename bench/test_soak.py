#!/usr/bin/python3
"""The soak's checker on logs written by hand: a soak whose checker overlooks what it is there
to find would report a clean run. Run by hand: /usr/bin/python3 bench/test_soak.py"""
import argparse
import json
import os
import stat
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402

T0 = 1_700_000_000_000


class FakeServer:
    def __init__(self, rows, held):
        self.rows, self.held = rows, held

    def psql(self, sql):
        return self.rows

    def held_locks(self, who=None):
        return self.held


class FakeRun:
    """A run folder with the driver's and the workers' logs, a server that answers the cable
    rows and the locks held at the end, and a worker whose check prints the drawings."""

    def __init__(self, folder, rows=(), held=(), drawings=(), files=()):
        self.root = folder
        self.server = FakeServer([list(r) for r in rows], list(held))
        self.args = argparse.Namespace(workers=2, duration=60, kill_every=20, drawings=1,
                                       port=0, seed=1)
        os.makedirs(os.path.join(folder, "logs"))
        os.makedirs(os.path.join(folder, "project", "DRAWINGS"))
        for name in files:
            open(os.path.join(folder, "project", "DRAWINGS", name), "w").close()
        self.worker = os.path.join(folder, "check.sh")
        with open(self.worker, "w") as f:
            f.write("#!/bin/sh\ncat <<'EOF'\n")
            f.writelines(json.dumps(d) + "\n" for d in drawings)
            f.write("EOF\n")
        os.chmod(self.worker, stat.S_IRWXU)

    def env(self, who):
        return dict(os.environ)

    def log(self, name, events):
        with open(os.path.join(self.root, "logs", name + ".log"), "a") as f:
            for e in events:
                f.write(json.dumps(e) + "\n")


def ev(t, who, pid, event, **fields):
    return dict(t=T0 + t, w=who, pid=pid, ev=event, **fields)


def row(cid, number, available=False, source="JB-1"):
    return [str(cid), "SK", str(number), "t" if available else "f", "SK", str(number), source,
            "1", "SOAKJF", "A-1", "SOAKSIG", "soak_01.dxf", "soak", "2024-01-01"]


class CheckerTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.folder = os.path.join(self.dir.name, "run")

    def tearDown(self):
        self.dir.cleanup()

    def check(self, run):
        findings, summary = soak.Checker(run).check()
        return sorted(k for k, _ in findings), summary

    # Two workers share the cable lock in turn, one is killed holding a drawing and another
    # takes it over, one cable is assigned and deleted: nothing to report.
    def test_a_clean_run_has_no_findings(self):
        run = FakeRun(self.folder, rows=[row(1, 1, available=True, source="Deleted"), row(2, 2)],
                      drawings=[{"file": "soak_01.dxf", "ok": True, "cables": [
                          {"handle": "A1", "cable_id": 2, "tip": "Cable#: SK-2"}]}],
                      files=["soak_01.dxf"])
        dwg = "dwg:soak_01.dxf"
        path = "/p/soak_01.dxf"
        run.log("driver", [ev(0, "soak_w1", 11, "spawn"), ev(0, "soak_w2", 12, "spawn"),
                           dict(t=T0 + 500, ev="kill", w="soak_w1", pid=11, kill_t=T0 + 500,
                                held=[dwg]),
                           ev(600, "soak_w1", 13, "spawn"),
                           ev(2000, "soak_w1", 13, "stopped", status=0),
                           ev(2000, "soak_w2", 12, "stopped", status=0)])
        run.log("soak_w1", [
            ev(1, "soak_w1", 11, "start"), ev(10, "soak_w1", 11, "op_begin", lock="tblLockcables"),
            ev(20, "soak_w1", 11, "took", lock="tblLockcables"),
            ev(21, "soak_w1", 11, "held_check", lock="tblLockcables", holder="soak_w1",
               number="SK-1"),
            ev(30, "soak_w1", 11, "assigned", cable_id=1, number="SK-1", path=path),
            ev(31, "soak_w1", 11, "op_end", lock="tblLockcables", got=True),
            ev(100, "soak_w1", 11, "op_begin", lock=dwg), ev(110, "soak_w1", 11, "took", lock=dwg),
            ev(120, "soak_w1", 11, "dwg_saving", path=path),  # killed here
            ev(610, "soak_w1", 13, "start"), ev(1990, "soak_w1", 13, "stop")])
        run.log("soak_w2", [
            ev(2, "soak_w2", 12, "start"), ev(15, "soak_w2", 12, "op_begin", lock="tblLockcables"),
            ev(16, "soak_w2", 12, "lock_busy", lock="tblLockcables", holder="soak_w1"),
            ev(40, "soak_w2", 12, "took", lock="tblLockcables"),
            ev(41, "soak_w2", 12, "held_check", lock="tblLockcables", holder="soak_w2",
               number="SK-2"),
            ev(50, "soak_w2", 12, "assigned", cable_id=2, number="SK-2", path=path),
            ev(51, "soak_w2", 12, "op_end", lock="tblLockcables", got=True),
            ev(300, "soak_w2", 12, "delete_begin", cable_id=1),
            ev(310, "soak_w2", 12, "deleted", cable_id=1, path=path),
            ev(520, "soak_w2", 12, "op_begin", lock=dwg), ev(530, "soak_w2", 12, "took", lock=dwg),
            ev(540, "soak_w2", 12, "op_end", lock=dwg, got=True),
            ev(1995, "soak_w2", 12, "stop")])
        kinds, summary = self.check(run)
        self.assertEqual(kinds, [], summary)
        self.assertIn("dwg:soak_01.dxf taken again after 0.0 s", summary)

    # The restarted run refused its own lock, a lock still held at the end, a number given
    # twice and held by two rows, a row without its ends, a drawing that does not read and a
    # temporary file no kill explains: each is reported.
    def test_faults_are_reported(self):
        run = FakeRun(self.folder, rows=[row(1, 1), row(2, 1), row(3, 3, source="")],
                      held=[("tblLockcables", "soak_w1")],
                      drawings=[{"file": "soak_01.dxf", "ok": False, "error": "line 7"}],
                      files=["soak_01.dxf", "soak_01.dxf.Zz99Yy"])
        run.log("driver", [dict(t=T0 + 500, ev="kill", w="soak_w1", pid=11, kill_t=T0 + 500,
                                held=["tblLockcables"]),
                           ev(2000, "soak_w1", 13, "stopped", status=0),
                           ev(2000, "soak_w2", 12, "stopped", status=0)])
        run.log("soak_w1", [
            ev(1, "soak_w1", 11, "start"), ev(10, "soak_w1", 11, "op_begin", lock="tblLockcables"),
            ev(20, "soak_w1", 11, "took", lock="tblLockcables"),
            ev(30, "soak_w1", 11, "assigned", cable_id=1, number="SK-1", path="/p/soak_01.dxf"),
            ev(610, "soak_w1", 13, "start"),
            ev(700, "soak_w1", 13, "op_begin", lock="tblLockcables"),
            ev(701, "soak_w1", 13, "lock_busy", lock="tblLockcables", holder="soak_w1"),
            ev(800, "soak_w1", 13, "op_end", lock="tblLockcables", got=False)])
        run.log("soak_w2", [
            ev(2, "soak_w2", 12, "start"),
            ev(40, "soak_w2", 12, "assigned", cable_id=2, number="SK-1", path="/p/soak_01.dxf"),
            ev(750, "soak_w2", 12, "lock_busy", lock="tblLockcables", holder="soak_w1")])
        kinds, summary = self.check(run)
        for kind in ("own stale lock", "lock at the end", "duplicate", "row", "file"):
            self.assertIn(kind, kinds, summary)
        self.assertIn("its restarted run was refused it 1 times", summary)
        self.assertIn("SK-1 was given to soak_w1", summary)
        self.assertIn("2 cable rows in use hold the number SK-1", summary)
        self.assertIn("soak_01.dxf.Zz99Yy is left beside soak_01.dxf", summary)

    # A lock of a killed run refused to another user while the killed run is not running, and
    # two users holding one lock at once.
    def test_a_dead_holder_and_two_holders_are_reported(self):
        run = FakeRun(self.folder)
        run.log("driver", [dict(t=T0 + 500, ev="kill", w="soak_w1", pid=11, kill_t=T0 + 500,
                                held=["tblLockSys"]),
                           ev(3000, "soak_w2", 12, "stopped", status=0)])
        run.log("soak_w1", [ev(1, "soak_w1", 11, "start"),
                            ev(10, "soak_w1", 11, "op_begin", lock="tblLockSys"),
                            ev(20, "soak_w1", 11, "took", lock="tblLockSys")])
        run.log("soak_w2", [
            ev(2, "soak_w2", 12, "start"), ev(900, "soak_w2", 12, "op_begin", lock="tblLockSys"),
            ev(901, "soak_w2", 12, "lock_busy", lock="tblLockSys", holder="soak_w1"),
            ev(1000, "soak_w2", 12, "held_check", lock="tblLockSys", holder="soak_w1")])
        kinds, summary = self.check(run)
        self.assertEqual(kinds, ["dead holder", "exclusion"], summary)


if __name__ == "__main__":
    unittest.main()
