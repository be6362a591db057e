#!/usr/bin/env python3
"""Runs one batch scenario: tolvane --batch NAME.scr in a fresh home and settings folder,
then compares the transcript (and the output of its `after` commands) with NAME.out and the
exit status with the expected one.

Directives in the script's leading comment lines:
  # args: WORDS          program argument(s) after the options
  # exit: N              expected exit status (default 0)
  # before: OTHER.scr    run another scenario script first in the same folders
  # setup: COMMAND       shell command run in the scenario folder before the script
  # after: COMMAND       shell command run afterwards; its output is appended to the
                         transcript after a line "== after: COMMAND"
The scenario folder holds home/ (the application folder), config/ and data/ (the XDG
folders); its path is written as $T in the comparison.
"""
import os
import shlex
import shutil
import subprocess
import sys
import tempfile


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
            for key in ("args", "exit", "before", "setup", "after"):
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
    folder = tempfile.mkdtemp(prefix="tolvane-scenario-")
    try:
        d = directives(script)
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
                p = run_tolvane(tolvane, before, folder, bargs[-1] if bargs else [])
                if p.returncode != 0:
                    print(f"the script run before, {value}, ended with {p.returncode}")
                    print(p.stdout)
                    return 1
        for command in setup:
            subprocess.run(command, shell=True, cwd=folder, check=True)
        p = run_tolvane(tolvane, script, folder, args)
        transcript = p.stdout
        for command in after:
            out = subprocess.run(command, shell=True, cwd=folder, capture_output=True, text=True)
            transcript += f"== after: {command}\n" + out.stdout
        transcript = transcript.replace(folder, "$T")
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
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
