#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Transfer engine beside curl on loopback: HTTP download, FTP download and
FTP upload of one file, each run by both clients in the same session.

    bench/transfer/run_bench.py <build dir> [size in MiB, default 512] [rounds, default 1]

Servers (Python http.server and pyftpdlib) run on 127.0.0.1 only and are
stopped by pid. Prints per client the best wall time of the rounds (process
start to exit, for both), the engine's own start-to-notification time,
throughput from the wall time, peak RSS, and the engine/curl throughput
ratio. Sizes are capped at 2048 MiB. Run it on a quiet machine: the servers,
the client and the kernel share the CPUs.
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FTP_SCRIPT = os.path.join(HERE, "..", "..", "tests", "enhancer", "transfer", "ftp_server.py")


def wait_port(path, proc):
    for _ in range(200):
        if os.path.exists(path):
            with open(path) as f:
                return int(f.read().strip())
        if proc.poll() is not None:
            break
        time.sleep(0.05)
    raise RuntimeError("server did not start")


def timed(cmd):
    """Runs cmd; returns (seconds, peak RSS in KiB of that child, stdout)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError("%s failed: %s" % (cmd[0], out.decode(errors="replace")))
    return seconds, usage.ru_maxrss, out.decode()


def main():
    build = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else "build"
    mib = min(int(sys.argv[2]) if len(sys.argv) > 2 else 512, 2048)
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    engine = os.path.join(build, "bench", "qn_bench_transfer")
    curl = shutil.which("curl")
    if not curl or not os.path.exists(engine):
        sys.exit("need curl and %s" % engine)

    work = tempfile.mkdtemp(prefix="qn-bench-")
    servers = []
    try:
        root = os.path.join(work, "root")
        os.makedirs(root)
        src = os.path.join(root, "big.bin")
        with open(src, "wb") as f:
            block = os.urandom(1 << 20)
            for _ in range(mib):
                f.write(block)
        http_port_file = os.path.join(work, "http.port")
        http = subprocess.Popen([sys.executable, "-c",
            "import http.server,functools,sys\n"
            "h=functools.partial(http.server.SimpleHTTPRequestHandler,directory=sys.argv[1])\n"
            "s=http.server.ThreadingHTTPServer(('127.0.0.1',0),h)\n"
            "open(sys.argv[2]+'.tmp','w').write(str(s.server_address[1]))\n"
            "import os; os.rename(sys.argv[2]+'.tmp',sys.argv[2])\n"
            "s.serve_forever()\n", root, http_port_file], stderr=subprocess.DEVNULL)
        servers.append(http)
        ftp_port_file = os.path.join(work, "ftp.port")
        ftp = subprocess.Popen(["/usr/bin/python3", FTP_SCRIPT, root, ftp_port_file, os.path.join(work, "ftp.log")])
        servers.append(ftp)
        http_port = wait_port(http_port_file, http)
        ftp_port = wait_port(ftp_port_file, ftp)
        out = os.path.join(work, "out.bin")
        cases = [
            ("HTTP download", "http://127.0.0.1:%d/big.bin" % http_port, "download"),
            ("FTP download", "ftp://127.0.0.1:%d/big.bin" % ftp_port, "download"),
            ("FTP upload", "ftp://127.0.0.1:%d/up.bin" % ftp_port, "upload"),
        ]
        print("size %d MiB, %d round(s)" % (mib, rounds))
        for name, url, kind in cases:
            best = {}
            for _ in range(rounds):
                for client in ("engine", "curl"):
                    for leftover in (out, os.path.join(root, "up.bin")):
                        if os.path.exists(leftover):
                            os.remove(leftover)
                    if client == "engine":
                        cmd = [engine, kind, url, src if kind == "upload" else out, "tester", "secret"]
                    elif kind == "upload":
                        cmd = [curl, "-sS", "-u", "tester:secret", "-T", src, url]
                    else:
                        cmd = [curl, "-sS", "-u", "tester:secret", "-o", out, url]
                    seconds, rss, text = timed(cmd)
                    inner = None
                    for field in text.split():
                        if field.startswith("seconds="):
                            inner = float(field[len("seconds="):])
                    check = os.path.join(root, "up.bin") if kind == "upload" else out
                    if os.path.getsize(check) != mib << 20:
                        raise RuntimeError("%s %s: wrong size" % (client, name))
                    prev = best.get(client)
                    if prev is None or seconds < prev[0]:
                        best[client] = (seconds, rss, inner)
            e, c = best["engine"], best["curl"]
            print("%-14s engine %6.2f s (transfer %6.2f s) %7.1f MiB/s rss %6d KiB | curl %6.2f s %7.1f MiB/s "
                  "rss %6d KiB | throughput ratio engine/curl %.2f"
                  % (name, e[0], e[2], mib / e[0], e[1], c[0], mib / c[0], c[1], c[0] / e[0]))
    finally:
        for p in servers:
            p.kill()
            p.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
