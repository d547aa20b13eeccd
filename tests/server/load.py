#!/usr/bin/env python3
"""A crowd of honest players through the shipped nginx site config, all on
127.0.0.1: each client from an address of its own (127.0.1.x), fetching
the tables, asking for a ticket and sending one run, paced as a player's
page would be. Not one answer may be a 5xx or missing.

    load.py SERVER BOT NGINX_CONF [--seconds S] [--clients N] [--servers N]
            [--db sqlite|postgresql] [--nginx-workers N] [--rate R] [--queue N]
            [--players N] [--ticks N] [--clock-scale K] [--trace TRACE]
            [--json FILE]

--servers N starts N servers on one database (PostgreSQL for more than
one), each listed in nginx's upstream block. --rate is each client's
requests per second. --queue sets the servers' verification queue (a
sanitizer build verifies runs several times slower).

The figures run adds --players N: players who play game after game, each
game from a new address (127.1.x.y): a ticket, the run's play time (at
the servers' clock, --clock-scale times faster), the run, its answer, the
next ticket. At most N runs are under way at once, so the servers' queues
never overflow and what they list a second is what they can verify.
--ticks is the length of the one run everybody plays (the replay bot's
first game of the test seed, cut there). --trace gives the verification
floor: the trace tool's --final on the same replay, one process, one run
after the other.

Prints the answers by status, the requests per second, the latency
percentiles (all, and the board reads alone), listed runs a second, 5xx,
each process's peak RSS and the CPU each kind of process spent per listed
run; --json writes them to FILE too.
"""
import argparse
import collections
import http.client
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

import nginxsite

parser = argparse.ArgumentParser()
parser.add_argument("server")
parser.add_argument("bot")
parser.add_argument("conf")
parser.add_argument("--seconds", type=float, default=20)
parser.add_argument("--clients", type=int, default=100)
parser.add_argument("--servers", type=int, default=1)
parser.add_argument("--db", choices=["sqlite", "postgresql"], default="sqlite")
parser.add_argument("--nginx-workers", type=int, default=4)
parser.add_argument("--rate", type=float, default=10)
parser.add_argument("--queue", type=int)
parser.add_argument("--players", type=int, default=0)
parser.add_argument("--ticks", type=int, default=1500)
parser.add_argument("--clock-scale", type=float, default=100)
parser.add_argument("--trace")
parser.add_argument("--json")
args = parser.parse_args()
args.server, args.bot = os.path.abspath(args.server), os.path.abspath(args.bot)
if args.trace:
    args.trace = os.path.abspath(args.trace)
if args.servers > 1 and args.db == "sqlite":
    sys.exit("load.py: several servers share a PostgreSQL database (--db postgresql)")
if not os.access(nginxsite.binary(), os.X_OK):
    sys.exit("load.py: no nginx (scripts/setup.sh server)")

here = os.path.dirname(os.path.abspath(__file__))
tmp = tempfile.mkdtemp()
os.chmod(tmp, 0o755)
procs = []
pg_dir = None
SEED, TICKS, SCALE = 43, args.ticks, args.clock_scale
TICK_S = 0.062


def cleanup():
    for p in procs:
        p.terminate()
        p.wait()
    if pg_dir:
        subprocess.run([os.path.join(here, "pg-cluster.sh"), "stop", pg_dir],
                       stderr=subprocess.DEVNULL)
    shutil.rmtree(tmp, ignore_errors=True)


# Each process of the deployment by what it is: a server, its zygote and
# workers, nginx's master and workers, PostgreSQL's.
def children(pid):
    kids = []
    try:
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/children" % (pid, task)) as f:
                kids += [int(k) for k in f.read().split()]
    except OSError:
        pass
    return kids


def deployment(servers, nginx_pid, postmaster):
    roles = {}
    for i, pid in enumerate(servers):
        roles[pid] = "server %d" % i
        for kid in children(pid):
            roles[kid] = "server %d zygote" % i
            for worker in children(kid):
                roles[worker] = "worker"
    roles[nginx_pid] = "nginx master"
    for kid in children(nginx_pid):
        roles[kid] = "nginx worker"
    if postmaster:
        roles[postmaster] = "postgres"
        for kid in children(postmaster):
            try:
                with open("/proc/%d/cmdline" % kid) as f:
                    what = f.read().replace("\0", " ").strip()
            except OSError:
                continue
            what = what.split(": ", 1)[-1]
            roles[kid] = "postgres " + ("backend" if "[local]" in what else what)
    return roles


def status_of(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            return {l.split(":")[0]: l.split(":")[1].strip() for l in f if ":" in l}
    except OSError:
        return None


def cpu_of(pid):
    """Seconds of CPU: the process's own and its reaped children's."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    tick = os.sysconf("SC_CLK_TCK")
    return sum(int(fields[i]) for i in (11, 12)) / tick, sum(int(fields[i]) for i in (13, 14)) / tick


try:
    if args.db == "postgresql":
        pg_dir = os.path.join(tmp, "pg")
        pg = subprocess.run([os.path.join(here, "pg-cluster.sh"), "start", pg_dir],
                            capture_output=True, text=True)
        if pg.returncode != 0:
            sys.exit("load.py: no PostgreSQL cluster: " + pg.stderr)
        db = pg.stdout.strip()
    else:
        db = "sqlite:" + os.path.join(tmp, "lb.db")
    # The servers as the package runs them (--trust-proxy), their clock
    # faster so a run of TICKS may be sent soon after its ticket.
    ports = []
    for i in range(args.servers):
        out = os.path.join(tmp, "out%d" % i)
        open(out, "w").close()
        procs.append(subprocess.Popen(
            [args.server, "--listen", "127.0.0.1:0", "--db", db, "--key", os.path.join(tmp, "key"),
             "--trust-proxy", "--test-seed", str(SEED), "--clock-scale", str(SCALE)]
            + (["--queue", str(args.queue)] if args.queue else []),
            stdout=open(out, "w"), stderr=open(os.path.join(tmp, "err%d" % i), "w")))
        for _ in range(100):
            m = re.search(r" port (\d+),", open(out).read())
            if m or procs[-1].poll() is not None:
                break
            time.sleep(0.1)
        if not m:
            sys.exit("load.py: server %d did not start: %s"
                     % (i, open(os.path.join(tmp, "err%d" % i)).read()))
        ports.append(int(m.group(1)))
    server_pids = [p.pid for p in procs]
    nginx, port = nginxsite.start(args.conf, tmp, ports, workers=args.nginx_workers)
    procs.append(nginx)
    # The shipped config passes /healthz on, and not the figures.
    for path, want in (("/healthz", 200), ("/metrics", 404)):
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        c.request("GET", path)
        got = c.getresponse()
        if got.status != want or (path == "/metrics" and b"voidrunner_" in got.read()):
            sys.exit("load.py: %s through nginx answers %d, not %d" % (path, got.status, want))
        c.close()
    postmaster = None
    if pg_dir:
        with open(os.path.join(pg_dir, "data", "postmaster.pid")) as f:
            postmaster = int(f.readline())

    subprocess.run([args.bot, "--seed", str(SEED), "--field", "1280x720", "--games", "1",
                    "--ticks", str(TICKS), os.path.join(tmp, "run.txt")], check=True,
                   capture_output=True, cwd=tmp)
    replay = open(os.path.join(tmp, "run.txt"), "rb").read()
    bot = subprocess.run([args.bot, "--seed", str(SEED), "--field", "1280x720", "--games", "1",
                          "--ticks", str(TICKS), os.path.join(tmp, "again.txt")],
                         capture_output=True, text=True, cwd=tmp)
    score = int(re.search(r"best score (\d+)", bot.stderr).group(1))
    played = sum(int(l.split()[1]) if len(l.split()) > 1 else 1
                 for l in replay.decode().splitlines() if l.startswith("tick"))
    play_s = played * TICK_S / SCALE + 0.05

    floor = None
    if args.trace:
        # The floor: what verifying this replay costs the game alone, one
        # process a replay, one after the other; and of that, what starting
        # the tool costs (a script that plays nothing).
        with open(os.path.join(tmp, "nothing.txt"), "w") as f:
            f.write("seed %d\n" % SEED)

        def cpu_per(script, runs=20):
            before = os.times()
            for _ in range(runs):
                subprocess.run([args.trace, "--final", os.path.join(tmp, script)], check=True,
                               stdout=subprocess.DEVNULL, cwd=tmp)
            after = os.times()
            return (after.children_user - before.children_user
                    + after.children_system - before.children_system) / runs
        whole, start = cpu_per("run.txt"), cpu_per("nothing.txt")
        floor = {"ms_cpu_per_replay": round(whole * 1000, 2),
                 "ms_cpu_to_start": round(start * 1000, 2),
                 "per_second_on_all_cores": round(os.cpu_count() / whole, 1),
                 "play_only_per_second_on_all_cores":
                     round(os.cpu_count() / max(whole - start, 1e-3), 1)}

    statuses = collections.Counter()
    latencies = collections.defaultdict(list)
    problems = []
    lock = threading.Lock()
    end = time.monotonic() + args.seconds

    def asker(address):
        conn = None

        def ask(kind, method, path, body=None, key=None):
            nonlocal conn
            start = time.monotonic()
            headers = {"Content-Type": "text/plain"} if body else {}
            if key:
                headers["Authorization"] = "Bearer " + key
            try:
                if conn is None:
                    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60,
                                                      source_address=(address, 0))
                conn.request(method, path, body=body, headers=headers)
                r = conn.getresponse()
                text = r.read()
                status = r.status
                if r.getheader("Connection", "").lower() == "close":
                    conn.close()
                    conn = None
            except (OSError, http.client.HTTPException) as e:
                text, status = str(e).encode(), "no answer"
                if conn:
                    conn.close()
                conn = None
            with lock:
                statuses[status] += 1
                latencies[kind].append(time.monotonic() - start)
                if status == "no answer" or (isinstance(status, int) and status >= 500):
                    problems.append("%s %s: %s %s" % (method, path, status, text[:100]))
            return status, text

        def close():
            if conn:
                conn.close()
        return ask, close

    def run_query(ticket, name):
        return "/api/v1/runs?" + urllib.parse.urlencode(
            {"ticket": ticket, "player": name, "score": score})

    def client(i):
        ask, close = asker("127.0.1.%d" % (i % 250 + 2))
        rng = random.Random(i)
        # One game per client, ticket to run, at a time of its own.
        ticket_at = time.monotonic() + rng.uniform(0, max(args.seconds - 3, 0))
        ticket = None
        sent = False
        # The player's name, claimed first as the game does.
        player, key = "L%d" % i, None
        status, text = ask("claim", "POST", "/api/v1/players", json.dumps({"name": player}))
        if status == 201:
            key = json.loads(text)["key"]
        while time.monotonic() < end:
            now = time.monotonic()
            if ticket is None and not sent and now >= ticket_at:
                status, text = ask("ticket", "POST", "/api/v1/tickets?player=" + player, key=key)
                if status == 200:
                    ticket = json.loads(text)["ticket"]
                    ticket_at = now + play_s + 0.15
            elif ticket is not None and now >= ticket_at:
                ask("run", "POST", run_query(ticket, player), replay, key)
                ticket, sent = None, True
            else:
                ask("board", "GET", rng.choice(["/api/v1/top", "/api/v1/daily/top",
                                                "/api/v1/top?limit=100"]))
            time.sleep(rng.expovariate(args.rate))
        close()

    games = [0]

    def player(i):
        rng = random.Random(10000 + i)
        time.sleep(rng.uniform(0, play_s))
        while time.monotonic() < end:
            with lock:
                n = games[0]
                games[0] += 1
            ask, close = asker("127.1.%d.%d" % (n // 250, n % 250 + 2))
            name, key = "P%d" % n, None
            status, text = ask("claim", "POST", "/api/v1/players", json.dumps({"name": name}))
            if status == 201:
                key = json.loads(text)["key"]
            status, text = ask("ticket", "POST", "/api/v1/tickets?player=" + name, key=key)
            if status == 200:
                time.sleep(play_s)
                ask("run", "POST", run_query(json.loads(text)["ticket"], name), replay, key)
            close()

    # Each process's peak RSS, sampled while the crowd plays.
    peaks = {}
    cpu_at = {}

    def sample():
        roles = deployment(server_pids, nginx.pid, postmaster)
        for pid, role in roles.items():
            st = status_of(pid)
            if st and "VmRSS" in st:
                kb = int(st["VmRSS"].split()[0])
                if kb > peaks.get(pid, (role, 0))[1]:
                    peaks[pid] = (role, kb)
        return roles

    sampling = threading.Event()

    def sampler():
        while not sampling.wait(0.5):
            sample()

    load_before = os.getloadavg()[0]
    driver_before = os.times()
    roles_before = sample()
    for pid in roles_before:
        cpu_at[pid] = cpu_of(pid)
    watcher = threading.Thread(target=sampler)
    watcher.start()
    threads = [threading.Thread(target=client, args=(i,)) for i in range(args.clients)]
    threads += [threading.Thread(target=player, args=(i,)) for i in range(args.players)]
    began = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    took = time.monotonic() - began
    driver = os.times()
    roles_after = sample()
    sampling.set()
    watcher.join()

    # CPU by kind of process over the run: each process's own, and for the
    # zygotes the workers they reaped.
    cpu = collections.Counter()
    for pid, role in roles_after.items():
        now_cpu, before = cpu_of(pid), cpu_at.get(pid)
        if not now_cpu or role == "worker":
            continue
        base = before or (0, 0)
        kind = re.sub(r"^server \d+ zygote$", "zygotes", re.sub(r"^server \d+$", "servers", role))
        kind = "postgres" if role.startswith("postgres") else kind
        kind = "nginx" if role.startswith("nginx") else kind
        cpu[kind] += now_cpu[0] - base[0]
        if kind == "zygotes":
            cpu["workers"] += now_cpu[1] - base[1]

    everything = sorted(sum(latencies.values(), []))
    boards = sorted(latencies["board"])

    def pct(values, p):
        return round(values[min(int(p * len(values)), len(values) - 1)] * 1000, 1) if values else None

    listed = statuses.get(201, 0)
    five = sum(v for k, v in statuses.items() if k == "no answer" or k >= 500)
    memory = collections.defaultdict(list)
    for role, kb in peaks.values():
        memory[role].append(kb)
    figures = {
        "clients": args.clients, "players": args.players, "seconds": round(took, 1),
        "servers": args.servers, "db": args.db, "nginx_workers": args.nginx_workers,
        "ticks": played, "requests": len(everything), "per_second": round(len(everything) / took),
        "statuses": {str(k): v for k, v in sorted(statuses.items(), key=str)},
        "5xx": five, "listed_per_second": round(listed / took, 1),
        "ms_p50": pct(everything, 0.5), "ms_p99": pct(everything, 0.99),
        "ms_max": pct(everything, 1),
        "board_reads": len(boards), "board_ms_p50": pct(boards, 0.5),
        "board_ms_p99": pct(boards, 0.99),
        # Peak RSS in MB: each process, and for the workers the largest.
        "rss_mb": {role: [round(kb / 1024, 1) for kb in sorted(kbs, reverse=True)]
                   if role != "worker" else [round(max(kbs) / 1024, 1), "of %d" % len(kbs)]
                   for role, kbs in sorted(memory.items())},
        "cpu_ms_per_listed_run": {k: round(v * 1000 / listed, 2) for k, v in sorted(cpu.items())}
        if listed else {},
    }
    if floor:
        figures["floor"] = floor
    # How busy the machine was: this driver's own CPU, and the load average
    # (other people's work included).
    figures["driver_cpu_s"] = round(driver.user - driver_before.user
                                    + driver.system - driver_before.system, 1)
    figures["load_average"] = [round(load_before, 1), round(os.getloadavg()[0], 1)]
    print("load:", json.dumps(figures))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(figures, f)
    for p in problems[:10]:
        print("  ", p)
    if any(p.poll() is not None for p in procs):
        problems.append("a server or nginx died")
    if listed < args.clients * 0.9:
        problems.append("only %d of %d runs listed" % (listed, args.clients))
    print("load: %d problems" % len(problems))
    sys.exit(1 if problems else 0)
finally:
    cleanup()
