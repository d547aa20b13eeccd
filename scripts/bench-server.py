#!/usr/bin/env python3
"""The leaderboard server's figures (a benchmark, not a test):

  1. verified seconds of play per CPU-second (the worker alone, on bot runs);
  2. submissions per second with 2 verifier workers (real runs, real tickets);
  3. top-100 latency at 1,000 requests/s (wrk, throttled) over a table of
     a million runs;
for SQLite and PostgreSQL (a throw-away cluster).

    scripts/bench-server.py [BUILD_DIR] [--db sqlite|postgresql]...
"""
import concurrent.futures
import hashlib
import hmac
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
args = [a for a in sys.argv[1:] if not a.startswith("--")]
build = os.path.abspath(args[0] if args else os.path.join(root, "build"))
dbs = [sys.argv[i + 1] for i, a in enumerate(sys.argv) if a == "--db"] or ["sqlite", "postgresql"]
server_bin = os.path.join(build, "voidrunner-server")
bot_bin = os.path.join(build, "voidrunner-replay-bot")
pg_cluster = os.path.join(root, "tests", "server", "pg-cluster.sh")
tmp = tempfile.mkdtemp()
os.chmod(tmp, 0o755)
key = os.urandom(32)
with open(os.path.join(tmp, "key"), "wb") as f:
    f.write(key)


def mint(seed, issued_ms):
    body = "r.-.%d.%d.%s" % (seed, issued_ms, os.urandom(8).hex())
    return body + "." + hmac.new(key, body.encode(), hashlib.sha256).hexdigest()


def bot_run(seed, ticks):
    path = os.path.join(tmp, "run-%d-%d.txt" % (seed, ticks))
    log = subprocess.run([bot_bin, "--seed", str(seed), "--field", "1280x720", "--games", "1",
                          "--ticks", str(ticks), path], capture_output=True, text=True,
                         cwd=tmp).stderr
    played = int(re.search(r"(\d+) ticks", log).group(1))
    score = int(re.search(r"best score (\d+)", log).group(1))
    return open(path, "rb").read(), played, score


def verify_cpu():
    """The worker on bot runs of up to 5 and 60 minutes (the bot's game may
    end sooner; the run ends at its first game over)."""
    for minutes in (5, 60):
        ticks = minutes * 60 * 1000 // 62
        runs = [bot_run(seed, ticks) for seed in range(1, 6)]
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        played = 0
        for text, _, _ in runs:
            verdict = os.path.join(tmp, "verdict")
            subprocess.run(["sh", "-c", '"$0" --verify-worker 3>"$1" >/dev/null', server_bin,
                            verdict], input=text, check=True)
            played += int(open(verdict).read().split()[2])
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime + after.ru_stime) - (before.ru_utime + before.ru_stime)
        seconds = played * 0.062
        print("verify: %d runs of %.1f min on average, %.0f s of play verified in %.3f CPU-s: "
              "%.0f s of play per CPU-second (%.1f ms per run, process start included)"
              % (len(runs), seconds / 60 / len(runs), seconds, cpu, seconds / cpu,
                 1000 * cpu / len(runs)))


def start_server(url, *extra):
    out = open(os.path.join(tmp, "server.out"), "w+")
    p = subprocess.Popen([server_bin, "--listen", "127.0.0.1:0", "--db", url, "--key",
                          os.path.join(tmp, "key"), "--rate", "1e9", "--burst", "1e9",
                          "--per-client", "0", *extra], stdout=out, stderr=subprocess.STDOUT)
    for _ in range(100):
        m = re.search(r" port (\d+),", open(out.name).read())
        if m:
            return p, int(m.group(1))
        time.sleep(0.1)
    raise SystemExit("the server did not start: " + open(out.name).read())


def cpu_seconds(pid):
    """The process's CPU time with that of its waited-for children (the workers)."""
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return sum(int(v) for v in fields[11:15]) / os.sysconf("SC_CLK_TCK")


def submissions(pid, port, runs):
    def submit(item):
        seed, (text, played, score) = item
        q = urllib.parse.urlencode({"ticket": mint(seed, int(time.time() * 1000) - played * 62 - 5000),
                                    "player": "BEN", "score": score})
        req = urllib.request.Request("http://127.0.0.1:%d/api/v1/runs?%s" % (port, q), data=text,
                                     method="POST", headers={"Content-Type": "text/plain"})
        try:
            with urllib.request.urlopen(req, timeout=60) as r:
                return r.status
        except urllib.error.HTTPError as e:
            return e.code
    start, cpu = time.monotonic(), cpu_seconds(pid)
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        statuses = list(pool.map(submit, runs))
    took, cpu = time.monotonic() - start, cpu_seconds(pid) - cpu
    ok = statuses.count(201)
    print("  submissions: %d of %d verified and listed in %.2f s: %.1f per second measured "
          "(2 workers, on a shared machine); %.1f ms of server CPU each: %.0f per second for "
          "2 cores (runs of %.1f min on average)"
          % (ok, len(runs), took, ok / took, 1000 * cpu / len(runs), 2 * len(runs) / cpu,
             sum(r[1] for _, r in runs) * 0.062 / 60 / len(runs)))


def fill(kind, url, rows):
    sql = ("INSERT INTO runs (board, player, score, ticks, seed, version, submitted_ms, replay) "
           "SELECT 'global', 'P' || (x % 1000), (CAST(x AS BIGINT) * 7919) % 1000003, 4840, x, '1.0.0', x, '' FROM ")
    if kind == "sqlite":
        subprocess.run(["sqlite3", url[len("sqlite:"):],
                        "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < %d) "
                        % rows + sql + "s;"], check=True)
    else:
        host = re.search(r"host=([^&]+)", url).group(1)
        subprocess.run(["psql", "-q", "-h", host, "-U", "leaderboard", "postgres", "-c",
                        sql + "generate_series(1, %d) AS x; ANALYZE runs;" % rows], check=True)


def top_latency(port):
    script = os.path.join(tmp, "throttle.lua")
    with open(script, "w") as f:
        # 21 connections, each waiting 20 ms before its next request: about
        # 1,000 requests/s (wrk has no fixed rate of its own).
        f.write("function delay() return 20 end\n")
    out = subprocess.run(["wrk", "-t", "2", "-c", "21", "-d", "10s", "--latency", "-s", script,
                          "http://127.0.0.1:%d/api/v1/top?limit=100" % port],
                         capture_output=True, text=True).stdout
    rate = re.search(r"Requests/sec:\s+([\d.]+)", out).group(1)
    pct = dict(re.findall(r"^\s+(50|90|99)%\s+(\S+)", out, re.M))
    print("  top-100: %s requests/s, latency p50 %s, p90 %s, p99 %s"
          % (rate, pct.get("50"), pct.get("90"), pct.get("99")))


try:
    verify_cpu()
    runs = [(seed, bot_run(seed, 4840)) for seed in range(100, 140)]
    for kind in dbs:
        print(kind + ":")
        url = ("sqlite:" + os.path.join(tmp, "lb.db") if kind == "sqlite" else
               subprocess.run([pg_cluster, "start", os.path.join(tmp, "pg")], capture_output=True,
                              text=True, check=True).stdout.strip())
        server, port = start_server(url, "--workers", "2", "--queue", "1000")
        try:
            submissions(server.pid, port, runs)
            fill(kind, url, 1000000)
            top_latency(port)
        finally:
            server.terminate()
            server.wait()
            if kind == "postgresql":
                subprocess.run([pg_cluster, "stop", os.path.join(tmp, "pg")])
finally:
    shutil.rmtree(tmp, ignore_errors=True)
