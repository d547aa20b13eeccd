#!/usr/bin/env python3
"""The leaderboard server's figures (a benchmark, not a test):

  1. verified seconds of play per CPU-second, on bot runs cut at 5 minutes
     (seeds 1-5) and on the longest first game the bot plays of seeds 1 to
     1200 (seed 641, 34.7 minutes): through the server (one worker, the runs
     sent one at a time, the CPU of the server and all its processes), and
     the worker program alone on the same runs;
  2. submissions per second with 2 verifier workers (real runs, real tickets);
  3. top-100 latency at 1,000 requests/s (wrk, throttled) over a table of
     a million runs, and the server's CPU per answer against the sqlite3
     program running the same query;
for SQLite and PostgreSQL (a throw-away cluster).

    scripts/bench-server.py [BUILD_DIR] [--db sqlite|postgresql]... [--rounds N]

Each figure is the median of N rounds (3 by default).
"""
import concurrent.futures
import hashlib
import hmac
import json
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
args = [a for i, a in enumerate(sys.argv[1:]) if not a.startswith("--")
        and sys.argv[i] not in ("--db", "--rounds")]
build = os.path.abspath(args[0] if args else os.path.join(root, "build"))
dbs = [sys.argv[i + 1] for i, a in enumerate(sys.argv) if a == "--db"] or ["sqlite", "postgresql"]
rounds = int(next((sys.argv[i + 1] for i, a in enumerate(sys.argv) if a == "--rounds"), "3"))
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


# The longest first game of the bot among seeds 1 to 1200 on the ranked
# field: 33,541 ticks, 34.7 minutes (no bot game lasts an hour).
LONG_SEED = 641
FIVE_MINUTES = 5 * 60 * 1000 // 62


def verify_sets():
    """Each set with how often it is sent in a round: /proc counts CPU in
    10 ms steps, so a round takes half a second or more."""
    return [("runs cut at 5 minutes (seeds 1-5)",
             [(seed, bot_run(seed, FIVE_MINUTES)) for seed in range(1, 6)], 10),
            ("the longest bot game (seed %d)" % LONG_SEED,
             [(LONG_SEED, bot_run(LONG_SEED, 10 ** 6))], 5)]


def worker_alone(runs):
    """CPU of the worker program started on each run (as the server started
    it before the zygote)."""
    verdict = os.open(os.path.join(tmp, "verdict"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    for _, (text, _, _) in runs:
        subprocess.run([server_bin, "--verify-worker"], input=text, check=True,
                       stdout=subprocess.DEVNULL, pass_fds=(verdict,),
                       preexec_fn=lambda: os.dup2(verdict, 3))
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    os.close(verdict)
    return (after.ru_utime + after.ru_stime) - (before.ru_utime + before.ru_stime)


def verify_cpu():
    """Verified play per CPU-second: through a server with one worker, and
    the worker program alone; the median of the rounds, each set in turn."""
    sets = verify_sets()
    url = "sqlite:" + os.path.join(tmp, "verify.db")
    server, port = start_server(url, "--workers", "1")
    try:
        figures = {name: ([], []) for name, _, _ in sets}
        for _ in range(rounds):
            for name, runs, repeat in sets:
                cpu = tree_cpu_seconds(server.pid)
                statuses = [submit(port, item) for item in runs * repeat]
                if statuses.count(201) != len(runs) * repeat:
                    raise SystemExit("verify: not every run was listed: %s" % statuses)
                figures[name][0].append((tree_cpu_seconds(server.pid) - cpu) / repeat)
                figures[name][1].append(worker_alone(runs * repeat) / repeat)
    finally:
        stop_server(server)
    for name, runs, _ in sets:
        seconds = sum(r[1] for _, r in runs) * 0.062
        via_server, alone = (statistics.median(f) for f in figures[name])
        print("verify, %d %s, %.1f min on average:" % (len(runs), name, seconds / 60 / len(runs)))
        print("  through the server: %.0f s of play per CPU-second (%.1f ms of CPU per run, "
              "HTTP, ticket and store included)" % (seconds / via_server,
                                                     1000 * via_server / len(runs)))
        print("  the worker program alone: %.0f s of play per CPU-second (%.1f ms per run, "
              "process start included)" % (seconds / alone, 1000 * alone / len(runs)))


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


def stop_server(server):
    server.terminate()
    server.wait()


def cpu_seconds(pid):
    """The process's CPU time with that of its waited-for children."""
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return sum(int(v) for v in fields[11:15]) / os.sysconf("SC_CLK_TCK")


def tree_cpu_seconds(pid):
    """The CPU time of the process and of every process under it (the
    zygote and its workers, reaped or running)."""
    total = cpu_seconds(pid)
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            children = open("/proc/%d/task/%s/children" % (pid, task)).read().split()
        except OSError:
            continue
        for child in children:
            try:
                total += tree_cpu_seconds(int(child))
            except OSError:
                pass
    return total


bench_keys = {}  # port -> the key of BEN there


def submit(port, item):
    seed, (text, played, score) = item
    if port not in bench_keys:
        claim = urllib.request.Request("http://127.0.0.1:%d/api/v1/players" % port, method="POST",
                                       data=b'{"name":"BEN"}')
        try:
            with urllib.request.urlopen(claim, timeout=30) as r:
                bench_keys[port] = json.loads(r.read())["key"]
        except urllib.error.HTTPError:
            bench_keys[port] = ""
    q = urllib.parse.urlencode({"ticket": mint(seed, int(time.time() * 1000) - played * 62 - 5000),
                                "player": "BEN", "score": score})
    req = urllib.request.Request("http://127.0.0.1:%d/api/v1/runs?%s" % (port, q), data=text,
                                 method="POST", headers={"Content-Type": "text/plain",
                                                         "Authorization": "Bearer " + bench_keys[port]})
    try:
        with urllib.request.urlopen(req, timeout=60) as r:
            return r.status
    except urllib.error.HTTPError as e:
        return e.code


def submissions(pid, port, runs):
    start, cpu = time.monotonic(), tree_cpu_seconds(pid)
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        statuses = list(pool.map(lambda item: submit(port, item), runs))
    took, cpu = time.monotonic() - start, tree_cpu_seconds(pid) - cpu
    ok = statuses.count(201)
    print("  submissions: %d of %d verified and listed in %.2f s: %.1f per second measured "
          "(2 workers, on a shared machine); %.1f ms of server CPU each: %.0f per second for "
          "2 cores (runs of %.1f min on average)"
          % (ok, len(runs), took, ok / took, 1000 * cpu / len(runs), 2 * len(runs) / cpu,
             sum(r[1] for _, r in runs) * 0.062 / 60 / len(runs)))


# Each player's best, as the server keeps it with every run it stores.
BESTS_SQL = ("INSERT INTO bests (board, player, score, run_id) SELECT r.board, r.player, r.score, r.id"
             " FROM runs r WHERE r.hidden = 0 AND NOT EXISTS (SELECT 1 FROM runs b WHERE"
             " b.board = r.board AND b.player = r.player AND b.hidden = 0"
             " AND (b.score > r.score OR (b.score = r.score AND b.id < r.id)));")


def fill(kind, url, rows):
    sql = ("INSERT INTO runs (board, player, score, ticks, seed, version, submitted_ms, replay) "
           "SELECT 'global', 'P' || (x % 1000), (CAST(x AS BIGINT) * 7919) % 1000003, 4840, x, '1.0.0', x, '' FROM ")
    if kind == "sqlite":
        subprocess.run(["sqlite3", url[len("sqlite:"):],
                        "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < %d) "
                        % rows + sql + "s;" + BESTS_SQL], check=True)
    else:
        host = re.search(r"host=([^&]+)", url).group(1)
        subprocess.run(["psql", "-q", "-h", host, "-U", "leaderboard", "postgres", "-c",
                        sql + "generate_series(1, %d) AS x; " % rows + BESTS_SQL +
                        " ANALYZE runs; ANALYZE bests;"], check=True)


# The server's own query: each player's best run (server/Store.cpp).
TOP_SQL = ("SELECT r.id, r.board, r.player, r.score, r.ticks, r.seed, r.version, r.submitted_ms,"
           " r.watched, r.flags FROM bests x JOIN runs r ON r.id = x.run_id"
           " WHERE x.board = 'global' ORDER BY x.score DESC, x.run_id LIMIT 100;")


def sqlite3_cpu_per_query(path, n):
    """CPU per query of the sqlite3 program running the server's top-100 n
    times (less its run with none: start-up and opening the file)."""
    def run(count):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(["sqlite3", path], input=TOP_SQL * count, text=True, check=True,
                       stdout=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        return (after.ru_utime + after.ru_stime) - (before.ru_utime + before.ru_stime)
    return (run(n) - run(0)) / n


def top_latency(kind, url, pid, port):
    script = os.path.join(tmp, "throttle.lua")
    with open(script, "w") as f:
        # 21 connections, each waiting 20 ms before its next request: about
        # 1,000 requests/s (wrk has no fixed rate of its own).
        f.write("function delay() return 20 end\n")
    per_answer, per_query = [], []
    for _ in range(rounds):
        cpu = tree_cpu_seconds(pid)
        out = subprocess.run(["wrk", "-t", "2", "-c", "21", "-d", "10s", "--latency", "-s", script,
                              "http://127.0.0.1:%d/api/v1/top?limit=100" % port],
                             capture_output=True, text=True).stdout
        cpu = tree_cpu_seconds(pid) - cpu
        count = int(re.search(r"(\d+) requests in", out).group(1))
        per_answer.append(cpu / count)
        rate = re.search(r"Requests/sec:\s+([\d.]+)", out).group(1)
        pct = dict(re.findall(r"^\s+(50|90|99)%\s+(\S+)", out, re.M))
        print("  top-100: %s requests/s, latency p50 %s, p90 %s, p99 %s"
              % (rate, pct.get("50"), pct.get("90"), pct.get("99")))
        if kind == "sqlite":
            per_query.append(sqlite3_cpu_per_query(url[len("sqlite:"):], 1000))
    answer = statistics.median(per_answer)
    if per_query:
        query = statistics.median(per_query)
        print("  top-100: %.3f ms of server CPU per answer (HTTP included) against %.3f ms per "
              "query in sqlite3: %.2f x" % (1000 * answer, 1000 * query, answer / query))
    else:
        print("  top-100: %.3f ms of server CPU per answer (HTTP included)" % (1000 * answer))


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
            top_latency(kind, url, server.pid, port)
        finally:
            stop_server(server)
            if kind == "postgresql":
                subprocess.run([pg_cluster, "stop", os.path.join(tmp, "pg")])
finally:
    shutil.rmtree(tmp, ignore_errors=True)
