#!/usr/bin/env python3
"""Runs one batch scenario: tolvane --batch NAME.scr in a fresh home and settings folder,
then compares the transcript (and the output of its `after` commands) with NAME.out and the
exit status with the expected one.

Directives in the script's leading comment lines:
  # args: WORDS          program argument(s) after the options
  # exit: N              expected exit status (default 0)
  # before: OTHER.scr    run another scenario script (after its own setup commands) first
                         in the same folders
  # setup: COMMAND       shell command run in the scenario folder before the script
                         ($SCENARIOS is the scripts' folder, for the fixtures in it)
  # after: COMMAND       shell command run afterwards; its output is appended to the
                         transcript after a line "== after: COMMAND"
  # postgres: yes        shared mode on the PostgreSQL server TOLVANE_TEST_PG names: two
                         fresh databases (project manager, equipment) are made there and
                         named in the settings file before the first run, and dropped at
                         the end; without TOLVANE_TEST_PG the scenario is skipped (exit 77)
The scenario folder holds home/ (the application folder), config/ and data/ (the XDG
folders); its path is written as $T in the comparison. With postgres, the connection strings
are written as $PM_PATH and $EQ_PATH, and the two database names as $PM and $EQ.
"""
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import uuid

SKIPPED = 77


class SharedServer:
    """Two databases of a scenario on the PostgreSQL server, made and dropped with psql."""

    def __init__(self, text):
        if not text.startswith("postgresql:"):
            raise ValueError(f"TOLVANE_TEST_PG is not a postgresql: connection string: {text}")
        self.words = dict(w.split("=", 1) for w in text[len("postgresql:"):].split() if "=" in w)
        tag = uuid.uuid4().hex[:12]
        self.pm = f"tolvane_scn_{tag}_pm"
        self.eq = f"tolvane_scn_{tag}_eq"
        self.made = []

    def connection(self, database):
        words = dict(self.words, dbname=database)
        return "postgresql:" + " ".join(f"{k}={v}" for k, v in words.items())

    def psql(self, statement):
        env = dict(os.environ)
        if "password" in self.words:
            env["PGPASSWORD"] = self.words["password"]
        cmd = ["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1",
               "-h", self.words.get("host", "localhost"),
               "-p", self.words.get("port", "5432"),
               "-d", self.words.get("dbname", "postgres"), "-c", statement]
        if "user" in self.words:
            cmd[1:1] = ["-U", self.words["user"]]
        subprocess.run(cmd, env=env, check=True, capture_output=True, text=True)

    def create(self):
        for name in (self.pm, self.eq):
            self.psql(f"create database {name}")
            self.made.append(name)

    def drop(self):
        for name in self.made:
            try:
                self.psql(f"drop database if exists {name} with (force)")
            except subprocess.CalledProcessError as e:
                print(f"could not drop {name}: {e.stderr}")
        self.made = []

    def write_settings(self, folder):
        # The program reads its settings as QSettings does: [General] of an INI file.
        config = os.path.join(folder, "config", "Tolvane")
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "Tolvane_v2.ini"), "a", encoding="utf-8") as f:
            f.write("[General]\n")
            f.write("DATABASE_MODE=SHARED\n")
            f.write(f'PM_PATH="{self.connection(self.pm)}"\n')
            f.write(f'EQ_PATH="{self.connection(self.eq)}"\n')
            f.write("ASSOC_DWG=1\n")

    def mask(self, transcript):
        transcript = transcript.replace(self.connection(self.pm), "$PM_PATH")
        transcript = transcript.replace(self.connection(self.eq), "$EQ_PATH")
        return transcript.replace(self.pm, "$PM").replace(self.eq, "$EQ")


def directives(path):
    found = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line.startswith("#"):
                if line:
                    break
                continue
            body = line[1:].strip()
            for key in ("args", "exit", "before", "setup", "after", "postgres"):
                if body.startswith(key + ":"):
                    found.append((key, body[len(key) + 1:].strip()))
    return found


def run_tolvane(tolvane, script, folder, args):
    env = dict(os.environ)
    env.pop("TOLVANE_HOME", None)
    env["XDG_CONFIG_HOME"] = os.path.join(folder, "config")
    env["XDG_DATA_HOME"] = os.path.join(folder, "data")
    env["XDG_RUNTIME_DIR"] = os.path.join(folder, "runtime")
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    env["LANG"] = "C.UTF-8"
    env.pop("DISPLAY", None)
    cmd = [tolvane, "--home", os.path.join(folder, "home"), "--batch", script] + args
    p = subprocess.run(cmd, cwd=folder, env=env, capture_output=True, text=True, timeout=120)
    return p


def main():
    tolvane, script = sys.argv[1], os.path.abspath(sys.argv[2])
    here = os.path.dirname(script)
    expected_file = os.path.splitext(script)[0] + ".out"
    d = directives(script)
    server = None
    if any(k == "postgres" and v.lower() in ("yes", "1", "true") for k, v in d):
        text = os.environ.get("TOLVANE_TEST_PG", "")
        if not text:
            print("skipped: no PostgreSQL server")
            return SKIPPED
        server = SharedServer(text)
    folder = tempfile.mkdtemp(prefix="tolvane-scenario-")
    try:
        if server:
            server.create()
            server.write_settings(folder)
        args, status, setup, after = [], 0, [], []
        for key, value in d:
            if key == "args":
                args = shlex.split(value)
            elif key == "exit":
                status = int(value)
            elif key == "setup":
                setup.append(value)
            elif key == "after":
                after.append(value)
            elif key == "before":
                before = os.path.join(here, value)
                bargs = [shlex.split(v) for k, v in directives(before) if k == "args"]
                for k, v in directives(before):
                    if k == "setup":
                        subprocess.run(v, shell=True, cwd=folder, check=True,
                                       env=dict(os.environ, SCENARIOS=here))
                p = run_tolvane(tolvane, before, folder, bargs[-1] if bargs else [])
                if p.returncode != 0:
                    print(f"the script run before, {value}, ended with {p.returncode}")
                    print(p.stdout)
                    return 1
        for command in setup:
            # $SCENARIOS names this folder, for fixtures kept beside the scripts.
            subprocess.run(command, shell=True, cwd=folder, check=True,
                           env=dict(os.environ, SCENARIOS=here))
        p = run_tolvane(tolvane, script, folder, args)
        transcript = p.stdout
        for command in after:
            out = subprocess.run(command, shell=True, cwd=folder, capture_output=True, text=True,
                                 env=dict(os.environ, SCENARIOS=here))
            transcript += f"== after: {command}\n" + out.stdout
        transcript = transcript.replace(folder, "$T")
        if server:
            transcript = server.mask(transcript)
        ok = True
        if p.returncode != status:
            print(f"exit status {p.returncode}, expected {status}")
            ok = False
        if os.path.exists(expected_file):
            with open(expected_file, encoding="utf-8") as f:
                expected = f.read()
            if transcript != expected:
                import difflib
                print("transcript differs from", os.path.basename(expected_file))
                sys.stdout.writelines(difflib.unified_diff(
                    expected.splitlines(True), transcript.splitlines(True), "expected", "actual"))
                ok = False
        if os.environ.get("TOLVANE_BLESS"):
            with open(expected_file, "w", encoding="utf-8") as f:
                f.write(transcript)
            print("wrote", expected_file)
        if not ok:
            print("--- stderr ---")
            print(p.stderr)
        return 0 if ok else 1
    finally:
        if server:
            server.drop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
