#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Crash to reporter window shown: median of 10 runs (goal <= 0.5 s).

Usage: bench/crash/crash_to_window.py <build dir>
Runs the test crasher (segv) with crash tracking in a private HOME; the crash
time is the crash log entry's Date/Time (ms), the window time is what the
reporter records through the alert test hook when its notify window shows
(answered "Close", so each reporter ends by itself).
"""
import datetime, json, os, statistics, subprocess, sys, tempfile, time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
crasher = os.path.join(build, "tests/bin/qn_test_crasher")
results = []
with tempfile.TemporaryDirectory() as home:
    env = dict(os.environ)
    run = os.path.join(home, "run")
    os.makedirs(run, mode=0o700)
    env.update(HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_STATE_HOME=home + "/state",
               XDG_RUNTIME_DIR=run, QT_QPA_PLATFORM="offscreen",
               QNLAB_TEST_ANSWERS=home + "/answers.jsonl", QNLAB_TEST_SHOWN=home + "/shown.jsonl")
    with open(home + "/answers.jsonl", "w") as f:
        f.write('{"kind":"NotifyWindow","button":"Close"}\n')
    log = home + "/state/qnlab/CrashReporter/qn_test_crasher.crash.log"
    for i in range(10):
        if os.path.exists(home + "/shown.jsonl"):
            os.remove(home + "/shown.jsonl")
        subprocess.run([crasher, "segv"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 15
        while time.time() < deadline and not os.path.exists(home + "/shown.jsonl"):
            time.sleep(0.01)
        time.sleep(0.2)
        with open(home + "/shown.jsonl") as f:
            shown = json.loads(f.readline())
        with open(log) as f:
            last = f.read().rsplit("Date/Time:", 1)[1].splitlines()[0].strip()
        crashed = datetime.datetime.strptime(last, "%Y-%m-%d %H:%M:%S.%f %z").timestamp() * 1000
        results.append((shown["shownAtMs"] - crashed) / 1000)
        # The reporter closes itself after the scripted "Close"; wait for it.
        pid = shown.get("pid", 0)
        while pid and os.path.exists(f"/proc/{pid}") and time.time() < deadline + 5:
            time.sleep(0.02)
print("crash to window shown (s):", " ".join(f"{r:.3f}" for r in results))
print(f"median of {len(results)}: {statistics.median(results):.3f} s (goal <= 0.5 s)")
