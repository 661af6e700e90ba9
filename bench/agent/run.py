#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Agent benchmark (run by hand: python3 bench/agent/run.py [build-dir]).

1. Latency: `qneject -d 1` started -> the simulated tray-open command of drive
   1 in the machine's event log (median of 20), beside the start-up floor of a
   bare Qt Widgets program (started -> first event-loop turn, median of 20).
   Goal: latency <= floor + 50 ms (the agent's designed delay) + 30 ms.
2. Peak RSS of the agent (started directly, acting on drive 1) beside the bare
   program. Goal: <= 1.2x.
3. Delays of the countdown (1 s, median of 5): countdown armed -> tray closed
   at the deadline (designed: 1 s), and tray closed -> agent quit (designed:
   at once, not the 1.6 s of an agent that quits after opening).
Everything runs offscreen in a private home; the machine is simulated.
"""
import datetime
import os
import statistics
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../build"))
stage = os.path.join(build, "stage")
bare = os.path.join(build, "bench/bin/qn_bench_bare_widgets")
runs = 20

home = tempfile.mkdtemp(prefix="qnbench-agent-")
env = dict(os.environ)
env.update(HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_STATE_HOME=home + "/.local/state",
           XDG_RUNTIME_DIR=home + "/runtime", QT_QPA_PLATFORM="offscreen",
           QNLAB_SIMULATED_HARDWARE=home + "/machine.json")
os.makedirs(home + "/runtime", mode=0o700)
machine_log = env["QNLAB_SIMULATED_HARDWARE"] + ".log"


def tool(*args):
    subprocess.run([os.path.join(stage, "bin", args[0]), *args[1:]], env=env, check=True,
                   stdout=subprocess.DEVNULL)


def log_lines():
    try:
        with open(machine_log) as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def stamp(line):
    t = datetime.datetime.strptime(line.split()[0], "%Y-%m-%dT%H:%M:%S.%fZ")
    return t.replace(tzinfo=datetime.timezone.utc).timestamp()


def wait_for(text, after, timeout=20.0):
    end = time.time() + timeout
    while time.time() < end:
        lines = log_lines()[after:]
        for line in lines:
            if text in line:
                return line
        time.sleep(0.005)
    raise RuntimeError("timed out waiting for " + text)


tool("qn-defaults", "write", "com.qnlab.QNTraylift", "isNotFirstTime", "-bool", "yes")
tool("qn-defaults", "write", "com.qnlab.QNTraylift", "targetDeviceIndex", "-int", "1")
tool("qn-simdrive", "create")
tool("qn-simdrive", "plug", "--name", "sr0", "--vendor", "BENCH", "--product", "ONE")
tool("qn-simdrive", "plug", "--name", "sr1", "--vendor", "BENCH", "--product", "TWO")

# Start-up floor.
floor = []
for _ in range(runs):
    t0 = time.time()
    p = subprocess.Popen([bare], env=env, stdout=subprocess.PIPE)
    p.stdout.readline()
    floor.append((time.time() - t0) * 1000)
    p.wait()

# qneject -d 1 -> tray command.
latency = []
for _ in range(runs):
    start = len(log_lines())
    t0 = time.time()
    subprocess.run([os.path.join(stage, "bin/qneject"), "-d", "1"], env=env, check=True)
    line = wait_for("tray-open sr1", start)
    latency.append((stamp(line) - t0) * 1000)
    wait_for("agent quit status", start)
    time.sleep(0.1)
    tool("qn-simdrive", "tray", "sr1", "in")


def peak_rss_kib(argv):
    p = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL)
    _, _, usage = os.wait4(p.pid, 0)
    return usage.ru_maxrss


start = len(log_lines())
agent_rss = peak_rss_kib([os.path.join(stage, "bin/QNTraylift")])
wait_for("agent quit status", start)
bare_rss = peak_rss_kib([bare])

f = statistics.median(floor)
l = statistics.median(latency)
print(f"bare Qt Widgets start-up floor: median {f:.1f} ms (min {min(floor):.1f}, max {max(floor):.1f})")
print(f"qneject -d 1 -> tray command:   median {l:.1f} ms (min {min(latency):.1f}, max {max(latency):.1f})")
print(f"  goal <= floor + 50 + 30 = {f + 80:.1f} ms: {'met' if l <= f + 80 else 'NOT met'}")
print(f"peak RSS: agent {agent_rss / 1024:.1f} MiB, bare program {bare_rss / 1024:.1f} MiB, "
      f"ratio {agent_rss / bare_rss:.2f} (goal <= 1.20: {'met' if agent_rss <= 1.2 * bare_rss else 'NOT met'})")

# Countdown delays.
tool("qn-defaults", "write", "com.qnlab.QNTraylift", "autoCloseTray", "-bool", "yes")
tool("qn-defaults", "write", "com.qnlab.QNTraylift", "timeIntervalUntilCloseTray", "-float", "1")
to_close, to_quit = [], []
for _ in range(5):
    start = len(log_lines())
    subprocess.run([os.path.join(stage, "bin/qneject"), "-d", "1"], env=env, check=True)
    armed = wait_for("agent countdown armed", start)
    close = wait_for("tray-close sr1", start)
    quit_line = wait_for("agent quit status", start)
    to_close.append(stamp(close) - stamp(armed))
    to_quit.append(stamp(quit_line) - stamp(close))
    time.sleep(0.1)
print(f"countdown armed -> tray closed: median {statistics.median(to_close):.3f} s (designed 1 s)")
print(f"tray closed -> agent quit:      median {statistics.median(to_quit):.3f} s (designed: at once, not 1.6 s)")
