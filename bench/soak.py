#!/usr/bin/python3
"""Shared-mode soak: eight users on one PostgreSQL server for ten minutes, one of them killed
(SIGKILL) and started again under the same WhoAmI every minute.

Starts a throwaway PostgreSQL cluster (as scripts/pg-start.sh does, on port 55445 unless told
otherwise), makes the server's database as docs/shared-mode.md says (one database, the project
manager and the equipment library in schemas of their own), makes the project SOAK with its
drawings (soak_worker setup), starts the workers (soak_worker work), kills and restarts one at
a time (preferring one that holds a lock at that moment), stops them all with SIGTERM at the
end, and then checks what they left behind:

  numbers   no two cable rows hold the same number; every number a worker was given is the
            number of the row it was given with; no number was given twice
  locks     while a worker held a lock the row named it; a lock row left by a killed worker
            was taken over the first time someone wanted it (a refusal naming a holder whose
            program was killed is a finding; one naming the worker's own identity, after its
            restart, too); at the end, with every worker gone, no lock is held
  files     every drawing reads back with the program's reader; no temporary file of a save
            is left except by a save that a kill cut short; every cable in a drawing names a
            row that shows the same number; every cable row has its required fields

Run it as root (the server runs as the postgres user) after building soak_worker:

    cmake --build build --target soak_worker
    bench/soak.py                       # 600 s, 8 workers, a kill every 60 s
    bench/soak.py --duration 90 --kill-every 20

It prints a summary and writes it, with every worker's log, to the run folder (--root, default
/tmp/tolvane-soak); the exit status is 1 when there are findings.
"""
import argparse
import collections
import glob
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SESSION_CLASS = 0x544F4C53  # advisory lock class of a live WhoAmI (src/db/database.h)
SCHEMA = "proj_soak"
REQUIRED = ["cablenoprefix", "cableno", "srcsys", "srcpin", "destsys", "destpin",
            "signaltype", "sheet", "createdby", "dateoriginated"]


def now_ms():
    return int(time.time() * 1000)


class Server:
    """A throwaway PostgreSQL cluster, reached through psql as its superuser."""

    def __init__(self, port, folder):
        bins = sorted(glob.glob("/usr/lib/postgresql/*/bin"),
                      key=lambda p: [int(x) for x in re.findall(r"\d+", p)])
        if not bins:
            sys.exit("no PostgreSQL server binaries (the postgresql package)")
        if os.getuid() != 0:
            sys.exit("run as root: the server runs as the postgres user")
        self.bin = bins[-1]
        self.port = port
        self.data = folder
        self.sock = folder + "-sock"
        self.running = False

    def start(self):
        for d in (self.data, self.sock):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d, mode=0o700)
            shutil.chown(d, "postgres", "postgres")
        pg = ["runuser", "-u", "postgres", "--"]
        subprocess.run(pg + [f"{self.bin}/initdb", "-D", self.data, "-U", "postgres", "-A",
                             "trust", "-E", "UTF8", "--no-sync"],
                       check=True, capture_output=True)
        subprocess.run(pg + [f"{self.bin}/pg_ctl", "-D", self.data, "-l",
                             f"{self.data}/server.log", "-w", "-t", "30", "-o",
                             f"-c listen_addresses=127.0.0.1 -p {self.port} -k {self.sock} "
                             "-c fsync=off -c max_connections=200", "start"],
                       check=True, capture_output=True)
        self.running = True
        self.psql("CREATE ROLE soak LOGIN PASSWORD 'soak'", db="postgres")
        self.psql("CREATE DATABASE tolvane OWNER soak", db="postgres")
        self.psql("SET ROLE soak; CREATE SCHEMA dbpm; CREATE SCHEMA dbequip")

    def stop(self):
        if not self.running:
            return
        subprocess.run(["runuser", "-u", "postgres", "--", f"{self.bin}/pg_ctl", "-D",
                        self.data, "-m", "fast", "-w", "stop"], capture_output=True)
        self.running = False

    def connection(self, schema):
        return (f"postgresql:host=127.0.0.1 port={self.port} dbname=tolvane user=soak "
                f"password=soak schema={schema}")

    def psql(self, sql, db="tolvane"):
        """Rows of the statement's result, each a list of texts (NULL as None)."""
        p = subprocess.run(["runuser", "-u", "postgres", "--", "psql", "-X", "-q", "-A", "-t",
                            "-F", "\x1f", "-P", "null=\x1e", "-v", "ON_ERROR_STOP=1", "-h",
                            self.sock, "-p", str(self.port), "-d", db, "-c", sql],
                           capture_output=True, text=True)
        if p.returncode != 0:
            raise RuntimeError(f"psql: {p.stderr.strip()} in: {sql}")
        return [[None if v == "\x1e" else v for v in line.split("\x1f")]
                for line in p.stdout.splitlines() if line]

    def held_locks(self, who=None):
        """The lock rows held now: (lock, holder)."""
        rows = self.psql(
            f"set search_path to {SCHEMA}, public; "
            "select 'tblLockcables', lockedby from tbllockcables where lockcables "
            "union all select 'tblLockSys', lockedby from tbllocksys where locksystems "
            "union all select 'dwg:' || drawingname, lockedby from tbldrawings where locked")
        return [(r[0], r[1]) for r in rows if who is None or r[1] == who]

    def sessions_of(self, who):
        """How many connections announce the WhoAmI as alive."""
        return int(self.psql(
            "select count(*) from pg_locks where locktype = 'advisory' and "
            f"classid = {SESSION_CLASS} and objsubid = 2 and objid::bigint = "
            f"(hashtext('{who}')::bigint + 4294967296) % 4294967296")[0][0])


class Run:
    def __init__(self, args):
        self.args = args
        self.root = os.path.abspath(args.root)
        self.worker = os.path.abspath(args.worker)
        self.server = Server(args.port, self.root + "-pg")
        self.procs = {}  # identity -> Popen
        self.driver_log = None
        self.rng = random.Random(args.seed)

    def log(self, event, **fields):
        fields.update(t=now_ms(), ev=event)
        self.driver_log.write(json.dumps(fields) + "\n")
        self.driver_log.flush()

    def env(self, who):
        env = dict(os.environ)
        runtime = os.path.join(self.root, "runtime", who)
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env.update(QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime, LANG="C.UTF-8",
                   XDG_CONFIG_HOME=os.path.join(self.root, "homes", who, "config"))
        env.pop("TOLVANE_HOME", None)
        return env

    def start_worker(self, who):
        out = open(os.path.join(self.root, "logs", who + ".out"), "a")
        p = subprocess.Popen([self.worker, "work", self.root, who, self.pm, self.eq,
                              str(self.rng.randrange(1 << 31))],
                             stdout=out, stderr=subprocess.STDOUT, env=self.env(who))
        out.close()
        self.procs[who] = p
        self.log("spawn", w=who, pid=p.pid)

    def wait_sessions_gone(self, who, limit=30.0):
        t0 = time.time()
        while time.time() - t0 < limit:
            if self.server.sessions_of(who) == 0:
                return time.time() - t0
            time.sleep(0.05)
        return None

    def kill_one(self):
        # A kill at a random moment seldom finds its worker holding a lock (about one in ten
        # did): three times in four the victim is one of the workers holding a lock now.
        holders = sorted({h for _, h in self.server.held_locks()} & set(self.procs))
        if holders and self.rng.random() < 0.75:
            who = self.rng.choice(holders)
        else:
            who = self.rng.choice(sorted(self.procs))
        p = self.procs[who]
        p.send_signal(signal.SIGKILL)
        p.wait()
        killed_at = now_ms()
        # The lock rows are read once the server has ended every session of the killed run:
        # a statement it sent just before it died may still have been under way.
        gone = self.wait_sessions_gone(who)
        held = self.server.held_locks(who)
        self.log("kill", w=who, pid=p.pid, kill_t=killed_at, held=[h[0] for h in held],
                 sessions_gone_s=gone)
        print(f"[{time.strftime('%H:%M:%S')}] killed {who} (pid {p.pid}); it held "
              f"{', '.join(h[0] for h in held) or 'no lock'}", flush=True)
        # Half the time at once, so that the same WhoAmI is alive again before anyone else
        # wants what the killed run held; otherwise after a pause, when others take it over.
        if self.rng.random() < 0.5:
            time.sleep(self.rng.uniform(0, self.args.restart_delay))
        self.start_worker(who)

    def main(self):
        a = self.args
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(os.path.join(self.root, "logs"))
        self.driver_log = open(os.path.join(self.root, "logs", "driver.log"), "a")
        self.server.start()
        try:
            self.pm = self.server.connection("dbpm")
            self.eq = self.server.connection("dbequip")
            setup = subprocess.run([self.worker, "setup", self.root, self.pm, self.eq,
                                    str(a.drawings)], env=self.env("soak_setup"),
                                   capture_output=True, text=True)
            if setup.returncode != 0:
                sys.exit(f"setup failed ({setup.returncode}):\n{setup.stdout}{setup.stderr}")
            names = [f"soak_w{i}" for i in range(1, a.workers + 1)]
            started = time.time()
            self.log("run_start", workers=names, duration=a.duration)
            for who in names:
                self.start_worker(who)
            next_kill = started + a.kill_every
            while time.time() - started < a.duration:
                time.sleep(0.2)
                for who, p in list(self.procs.items()):
                    if p.poll() is not None:  # ended on its own: a finding; started again
                        self.log("died", w=who, pid=p.pid, status=p.returncode)
                        print(f"{who} ended on its own with status {p.returncode}", flush=True)
                        self.start_worker(who)
                if time.time() >= next_kill and time.time() - started < a.duration - 5:
                    self.kill_one()
                    next_kill += a.kill_every
            self.log("run_stop")
            for p in self.procs.values():
                p.send_signal(signal.SIGTERM)
            for who, p in self.procs.items():
                try:
                    status = p.wait(timeout=60)
                    self.log("stopped", w=who, pid=p.pid, status=status)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
                    self.log("stop_timeout", w=who, pid=p.pid)
            for who in self.procs:
                self.wait_sessions_gone(who, 10)
            self.driver_log.close()
            findings, summary = Checker(self).check()
            with open(os.path.join(self.root, "soak-summary.txt"), "w") as f:
                f.write(summary)
            if a.summary:
                shutil.copyfile(os.path.join(self.root, "soak-summary.txt"), a.summary)
            print(summary)
            print(f"(logs and summary in {self.root})")
            return 1 if findings else 0
        finally:
            for p in self.procs.values():
                if p.poll() is None:
                    p.kill()
            if not a.keep_server:
                self.server.stop()
                shutil.rmtree(self.server.data, ignore_errors=True)
                shutil.rmtree(self.server.sock, ignore_errors=True)


class Incarnation:
    def __init__(self, who, pid, start):
        self.who, self.pid, self.start = who, pid, start
        self.end = None  # when it was killed or stopped
        self.killed = False
        self.ops = []  # [lock, begin, end or None, took]


class Checker:
    def __init__(self, run):
        self.run = run
        self.server = run.server
        self.root = run.root
        self.findings = []
        self.figures = collections.Counter()

    def finding(self, kind, text):
        self.findings.append((kind, text))

    def read_logs(self):
        def read(path):
            events = []
            with open(path) as f:
                for line in f:
                    if not line.strip():
                        continue
                    try:
                        events.append(json.loads(line))
                    except json.JSONDecodeError:
                        # Only a SIGKILL in the middle of a write can cut a line short.
                        self.figures["log lines cut short by a kill"] += 1
            return events
        logs = os.path.join(self.root, "logs")
        driver = read(os.path.join(logs, "driver.log"))
        work = []
        for path in sorted(glob.glob(os.path.join(logs, "soak_*.log"))):
            work += read(path)
        return sorted(driver, key=lambda e: e["t"]), sorted(work, key=lambda e: e["t"])

    def incarnations(self, driver, work):
        incs = {}
        for e in work:
            if e["ev"] == "start":
                incs[e["pid"]] = Incarnation(e["w"], e["pid"], e["t"])
        for e in driver:
            inc = incs.get(e.get("pid"))
            if not inc:
                continue
            if e["ev"] == "kill":
                inc.end, inc.killed = e["kill_t"], True
            elif e["ev"] in ("stopped", "stop_timeout", "died"):
                inc.end = e["t"]
        for e in work:
            inc = incs.get(e["pid"])
            if not inc:
                continue
            if e["ev"] == "op_begin":
                inc.ops.append([e["lock"], e["t"], None, False])
            elif e["ev"] in ("took", "op_end"):
                for op in reversed(inc.ops):
                    if op[0] == e["lock"] and op[2] is None:
                        if e["ev"] == "took":
                            op[3] = True
                        else:
                            op[2] = e["t"]
                        break
        return incs

    def check(self):
        driver, work = self.read_logs()
        incs = self.incarnations(driver, work)
        by_who = collections.defaultdict(list)
        for inc in incs.values():
            by_who[inc.who].append(inc)
        kills = [e for e in driver if e["ev"] == "kill"]
        self.check_processes(driver, work)
        self.check_locks(work, incs, by_who, kills)
        self.check_numbers(work, kills)
        self.check_files(work, incs)
        return self.findings, self.summary(driver, work, kills)

    # ---- processes ----------------------------------------------------------------------

    def check_processes(self, driver, work):
        for e in driver:
            if e["ev"] == "died":
                self.finding("process", f"{e['w']} (pid {e['pid']}) ended on its own with "
                             f"status {e['status']}")
            elif e["ev"] == "stop_timeout":
                self.finding("process", f"{e['w']} (pid {e['pid']}) did not stop within 60 s of "
                             "SIGTERM")
            elif e["ev"] == "stopped" and e["status"] != 0:
                self.finding("process", f"{e['w']} (pid {e['pid']}) stopped with status "
                             f"{e['status']}")
        for e in work:
            if e["ev"] in ("error", "fatal", "message"):
                self.finding(e["ev"], f"{e['w']} at {self.clock(e['t'])}: {e['text']}")
            elif e["ev"] in ("draw_failed", "delete_failed", "dwg_save_failed", "existing"):
                self.finding(e["ev"], f"{e['w']} at {self.clock(e['t'])}: {e}")

    # ---- locks --------------------------------------------------------------------------

    def holding(self, inc, lock, t, tolerance=500):
        """Whether the incarnation held (or was just taking) the lock at t."""
        for name, begin, end, took in inc.ops:
            if name != lock or not took or begin > t:
                continue
            if end is None:
                end = inc.end if inc.end is not None else float("inf")
            if t <= end + tolerance:
                return True
        return False

    def alive(self, inc, t):
        return inc.start <= t and (inc.end is None or t <= inc.end)

    def check_locks(self, work, incs, by_who, kills):
        # Every lock row a kill left with the dead run, and what became of it.
        stale = [{"kill": k, "lock": lock, "own": [], "others": 0, "dead": [], "taken": None}
                 for k in kills for lock in k["held"]]
        for e in work:
            if e["ev"] == "held_check" and e["holder"] != e["w"]:
                self.finding("exclusion", f"{e['w']} held {e['lock']} at {self.clock(e['t'])} "
                             f"but the row names {e['holder']!r}")
            if e["ev"] == "took":
                for s in stale:
                    if (s["lock"] == e["lock"] and s["taken"] is None and
                            e["t"] > s["kill"]["kill_t"]):
                        s["taken"] = e["t"]
            if e["ev"] not in ("lock_busy", "dwg_busy"):
                continue
            lock = e["lock"] if e["ev"] == "lock_busy" else "dwg:" + os.path.basename(e["path"])
            t, holder, me = e["t"], e["holder"], incs.get(e["pid"])
            self.figures[f"busy answers ({lock.split(':')[0]})"] += 1
            if holder in ("-", ""):
                # Freed between the attempt and the message, which then names no one.
                self.figures["busy messages naming no holder ('-': freed meanwhile)"] += 1
                continue
            if any(i is not me and self.alive(i, t) and self.holding(i, lock, t)
                   for i in by_who.get(holder, [])):
                continue  # the holder is at work
            left = [s for s in stale if s["lock"] == lock and s["kill"]["w"] == holder and
                    s["kill"]["kill_t"] <= t]
            if not left:
                self.finding("lock", f"{e['w']} was refused {lock} at {self.clock(t)}: the row "
                             f"names {holder!r}, whose program is not holding it and was not "
                             "killed holding it")
            elif holder == e["w"]:
                left[-1]["own"].append(t)  # its own lock, after its restart
            elif not any(self.alive(i, t) for i in by_who.get(holder, [])):
                left[-1]["dead"].append(t)  # the holder is not running at all
            else:
                # The holder's WhoAmI runs again: by the documented rule the others wait for
                # it, and only its own run can take the lock back.
                left[-1]["others"] += 1
        for s in stale:
            k = s["kill"]
            what = (f"{s['lock']} left by {k['w']} when pid {k['pid']} was killed at "
                    f"{self.clock(k['kill_t'])}")
            fate = (f"taken again after {(s['taken'] - k['kill_t']) / 1000:.1f} s"
                    if s["taken"] else "not taken again before the workers stopped")
            if s["own"]:
                self.finding("own stale lock", f"{what}: its restarted run was refused it "
                             f"{len(s['own'])} times (first "
                             f"{(s['own'][0] - k['kill_t']) / 1000:.1f}"
                             f" s after the kill) and the others {s['others']} times; {fate}")
            if s["dead"]:
                self.finding("dead holder", f"{what}: refused {len(s['dead'])} times while "
                             f"{k['w']} was not running; {fate}")
            self.figures["refusals naming a killed holder restarted under the same identity, to "
                         "the others (the documented rule)"] += s["others"]
        self.stale = stale
        for lock, holder in self.server.held_locks():
            self.finding("lock at the end", f"{lock} is still held by {holder!r} after every "
                         "worker stopped")

    # ---- numbers and rows ---------------------------------------------------------------

    def check_numbers(self, work, kills):
        q = self.server.psql
        rows = q(f"set search_path to {SCHEMA}, public; select cableid, cablenoprefix, cableno, "
                 f"coalesce(available, false), {', '.join(REQUIRED)} from tblcables")
        self.rows = {int(r[0]): r for r in rows}
        live = collections.Counter()
        every = collections.Counter()
        for r in rows:
            number = f"{r[1]}-{r[2]}" if r[1] else r[2]
            every[number] += 1
            if r[3] != "t":
                live[number] += 1
            if not re.fullmatch(r"[0-9]{1,12}", r[2] or ""):
                self.finding("row", f"cable row {r[0]} has the number {r[2]!r}")
            missing = [c for c, v in zip(REQUIRED, r[4:]) if v is None or v == ""]
            if missing:
                self.finding("row", f"cable row {r[0]} ({number}) lacks {', '.join(missing)}")
            if r[3] == "t" and r[6] != "Deleted":
                self.finding("row", f"released cable row {r[0]} ({number}) still names its "
                             f"source {r[6]!r}")
        for number, n in live.items():
            if n > 1:
                self.finding("duplicate", f"{n} cable rows in use hold the number {number}")
        for number, n in every.items():
            if n > 1 and live[number] <= 1:
                self.finding("duplicate", f"{n} cable rows (released ones included) hold the "
                             f"number {number}, which the soak never gives again")
        # The numbers the workers were given.
        given = {}
        deleted = {}
        logged_ids = set()
        offered = {}
        for e in work:
            if e["ev"] == "held_check" and "number" in e:
                offered[e["pid"]] = e["number"]
            elif e["ev"] == "deleted":
                deleted[e["cable_id"]] = e["t"]
            elif e["ev"] == "assigned":
                number, cid = e["number"], e["cable_id"]
                logged_ids.add(cid)
                self.figures["numbers assigned"] += 1
                if offered.pop(e["pid"], number) != number:
                    self.finding("number", f"{e['w']} was offered another number than the "
                                 f"{number} it was given")
                row = self.rows.get(cid)
                if not row:
                    self.finding("number", f"{e['w']} was given {number} in row {cid}, which "
                                 "does not exist")
                elif (f"{row[1]}-{row[2]}" if row[1] else row[2]) != number:
                    self.finding("number", f"{e['w']} was given {number} in row {cid}, which "
                                 f"holds {row[1]}-{row[2]}")
                if number in given:
                    first = given[number]
                    freed = deleted.get(first["cable_id"])
                    # Given again only after the first row was released, and then in that row.
                    if not (freed and freed < e["t"] and first["cable_id"] == cid):
                        self.finding("duplicate", f"{number} was given to {first['w']} at "
                                     f"{self.clock(first['t'])} and again to {e['w']} at "
                                     f"{self.clock(e['t'])}")
                given[number] = e
        for cid in deleted:
            row = self.rows.get(cid)
            if row and row[3] != "t":
                self.finding("row", f"cable row {cid} was deleted but is not released")
        unlogged = [cid for cid in self.rows if cid not in logged_ids]
        self.figures["cable rows"] = len(self.rows)
        self.figures["cable rows in use"] = sum(1 for r in rows if r[3] != "t")
        self.figures["rows written by a run killed before it logged them"] = len(unlogged)
        if len(unlogged) > len(kills):
            self.finding("number", f"{len(unlogged)} cable rows no worker logged, more than the "
                         f"{len(kills)} kills can explain: {sorted(unlogged)[:20]}")

    # ---- files --------------------------------------------------------------------------

    def check_files(self, work, incs):
        folder = os.path.join(self.root, "project", "DRAWINGS")
        p = subprocess.run([self.run.worker, "check", self.root], capture_output=True,
                           text=True, env=self.run.env("soak_check"))
        if p.returncode != 0:
            self.finding("file", f"soak_worker check failed: {p.stderr}")
        for line in p.stdout.splitlines():
            d = json.loads(line)
            self.figures["drawings read back"] += 1
            if not d["ok"]:
                self.finding("file", f"{d['file']} does not read: {d['error']}")
                continue
            for c in d["cables"]:
                row = self.rows.get(c["cable_id"])
                if not row:
                    self.finding("file", f"{d['file']}: cable {c['handle']} names row "
                                 f"{c['cable_id']}, which does not exist")
                elif row[3] != "t":
                    number = f"{row[1]}-{row[2]}" if row[1] else row[2]
                    if c["tip"] != "Cable#: " + number:
                        self.finding("file", f"{d['file']}: cable {c['handle']} shows "
                                     f"{c['tip']!r}, its row {c['cable_id']} holds {number}")
                self.figures["cables in the drawings"] += 1
        # A temporary file of a save is left only by a save a kill cut short, and only until
        # the next open for editing.
        for path in sorted(os.listdir(folder)):
            m = re.fullmatch(r"(.*\.dxf)\.[A-Za-z0-9]{6}", path)
            if not m:
                continue
            name = m.group(1)
            saves = [e for e in work if e["ev"] in ("dwg_saving", "dwg_saved") and
                     os.path.basename(e["path"]) == name]
            opens = [e for e in work if e["ev"] == "took" and e["lock"] == "dwg:" + name]
            last = saves[-1] if saves else None
            cut = (last and last["ev"] == "dwg_saving" and incs.get(last["pid"]) and
                   incs[last["pid"]].killed and not any(o["t"] > last["t"] for o in opens))
            if cut:
                self.figures["save leftovers of a killed save (removed at next open)"] += 1
            else:
                self.finding("file", f"{path} is left beside {name}")

    # ---- summary ------------------------------------------------------------------------

    def clock(self, t):
        t = int(t)
        return time.strftime("%H:%M:%S", time.localtime(t / 1000)) + f".{t % 1000:03d}"

    def summary(self, driver, work, kills):
        a = self.run.args
        ops = collections.Counter()
        for e in work:
            if e["ev"] == "took":
                kind = "drawing" if e["lock"].startswith("dwg:") else e["lock"]
                ops["lock taken: " + kind] += 1
            elif e["ev"] in ("assigned", "deleted", "dwg_saved", "assign_failed"):
                ops[{"assigned": "cables assigned", "deleted": "cables deleted",
                     "dwg_saved": "drawings saved", "assign_failed":
                     "assignments given up (cable lock busy)"}[e["ev"]]] += 1
            elif e["ev"] == "op_end" and not e["got"] and e["lock"].startswith("dwg:"):
                ops["drawings not opened (in use)"] += 1
            elif e["ev"] == "op_end" and not e["got"] and e["lock"] == "tblLockSys":
                ops["system locks given up (busy)"] += 1
        gone = [k["sessions_gone_s"] for k in kills if k.get("sessions_gone_s") is not None]
        lines = [f"Shared-mode soak: {a.workers} workers, {a.duration} s, a kill every "
                 f"{a.kill_every} s, {a.drawings} drawings, PostgreSQL port {a.port}, "
                 f"seed {a.seed}", ""]
        lines.append("Operations:")
        lines += [f"  {k}: {v}" for k, v in sorted(ops.items())]
        lines.append("")
        lines.append(f"Kills: {len(kills)} (restarted under the same WhoAmI); locks they left "
                     f"held: {len(self.stale)}")
        if gone:
            lines.append(f"  the server ended a killed run's sessions within {max(gone):.2f} s "
                         f"(mean {sum(gone) / len(gone):.2f} s)")
        for s in self.stale:
            k = s["kill"]
            fate = (f"taken again after {(s['taken'] - k['kill_t']) / 1000:.1f} s"
                    if s["taken"] else "never taken again")
            lines.append(f"  {self.clock(k['kill_t'])} {k['w']}: {s['lock']} {fate}")
        lines.append("")
        lines.append("Figures:")
        lines += [f"  {k}: {v}" for k, v in sorted(self.figures.items())]
        lines.append("")
        kinds = collections.Counter(k for k, _ in self.findings)
        lines.append(f"Findings: {len(self.findings)}" +
                     (" (" + ", ".join(f"{k}: {v}" for k, v in sorted(kinds.items())) + ")"
                      if kinds else ""))
        shown = collections.Counter()
        for kind, text in self.findings:
            shown[kind] += 1
            if shown[kind] <= 10:
                lines.append(f"  [{kind}] {text}")
            elif shown[kind] == 11:
                lines.append(f"  [{kind}] ... {kinds[kind] - 10} more")
        return "\n".join(lines) + "\n"


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--duration", type=float, default=600, help="seconds (default 600)")
    p.add_argument("--workers", type=int, default=8)
    p.add_argument("--kill-every", type=float, default=60, help="seconds between kills")
    p.add_argument("--restart-delay", type=float, default=3,
                   help="half the killed workers start again at once, the others after up to "
                   "this many seconds")
    p.add_argument("--drawings", type=int, default=6)
    p.add_argument("--port", type=int, default=55445)
    p.add_argument("--seed", type=int, default=None)
    p.add_argument("--root", default="/tmp/tolvane-soak", help="run folder (emptied first)")
    p.add_argument("--worker", default=os.path.join(HERE, "..", "build", "bench", "soak_worker"))
    p.add_argument("--summary", help="also copy the summary here")
    p.add_argument("--keep-server", action="store_true", help="leave the server running")
    args = p.parse_args()
    if args.seed is None:
        args.seed = random.randrange(1 << 31)
    if not os.access(args.worker, os.X_OK):
        sys.exit(f"no worker program at {args.worker}: cmake --build build --target soak_worker")
    sys.exit(Run(args).main())


if __name__ == "__main__":
    main()
