#!/usr/bin/env python3
"""A crowd of honest players through the shipped nginx site config, all on
127.0.0.1: each client from an address of its own (127.0.1.x), fetching
the tables, asking for a ticket and sending one run, paced as a player's
page would be. Not one answer may be a 5xx or missing.

    load.py SERVER BOT NGINX_CONF [--seconds S] [--clients N] [--servers N]
            [--db sqlite|postgresql] [--nginx-workers N] [--rate R] [--queue N]
            [--json FILE]

--servers N starts N servers on one database (PostgreSQL for more than
one), each listed in nginx's upstream block. --rate is each client's
requests per second. --queue sets the servers' verification queue (a
sanitizer build verifies runs several times slower). Prints the answers by status, the requests per
second and the latency percentiles; --json writes them to FILE too.
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
parser.add_argument("--json")
args = parser.parse_args()
if args.servers > 1 and args.db == "sqlite":
    sys.exit("load.py: several servers share a PostgreSQL database (--db postgresql)")
if not os.access(nginxsite.binary(), os.X_OK):
    sys.exit("load.py: no nginx (scripts/setup.sh server)")

here = os.path.dirname(os.path.abspath(__file__))
tmp = tempfile.mkdtemp()
os.chmod(tmp, 0o755)
procs = []
pg_dir = None
SEED, TICKS, SCALE = 43, 1500, 100


def cleanup():
    for p in procs:
        p.terminate()
        p.wait()
    if pg_dir:
        subprocess.run([os.path.join(here, "pg-cluster.sh"), "stop", pg_dir],
                       stderr=subprocess.DEVNULL)
    shutil.rmtree(tmp, ignore_errors=True)


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
    # faster so a run of TICKS may be sent a second after its ticket.
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
    nginx, port = nginxsite.start(args.conf, tmp, ports, workers=args.nginx_workers)
    procs.append(nginx)

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

    statuses = collections.Counter()
    latencies = []
    problems = []
    lock = threading.Lock()
    end = time.monotonic() + args.seconds

    def client(i):
        address = "127.0.1.%d" % (i % 250 + 2)
        conn = None

        def ask(method, path, body=None, key=None):
            nonlocal conn
            start = time.monotonic()
            headers = {"Content-Type": "text/plain"} if body else {}
            if key:
                headers["Authorization"] = "Bearer " + key
            try:
                if conn is None:
                    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30,
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
                conn.close()
                conn = None
            with lock:
                statuses[status] += 1
                latencies.append(time.monotonic() - start)
                if status == "no answer" or (isinstance(status, int) and status >= 500):
                    problems.append("%s %s: %s %s" % (method, path, status, text[:100]))
            return status, text

        rng = random.Random(i)
        # One game per client, ticket to run, at a time of its own.
        ticket_at = time.monotonic() + rng.uniform(0, max(args.seconds - 3, 0))
        ticket = None
        sent = False
        # The player's name, claimed first as the game does.
        player, key = "L%d" % i, None
        status, text = ask("POST", "/api/v1/players", json.dumps({"name": player}))
        if status == 201:
            key = json.loads(text)["key"]
        while time.monotonic() < end:
            now = time.monotonic()
            if ticket is None and not sent and now >= ticket_at:
                status, text = ask("POST", "/api/v1/tickets?player=" + player, key=key)
                if status == 200:
                    ticket = json.loads(text)["ticket"]
                    ticket_at = now + played * 0.062 / SCALE + 0.2
            elif ticket is not None and now >= ticket_at:
                q = urllib.parse.urlencode({"ticket": ticket, "player": player,
                                            "score": score})
                ask("POST", "/api/v1/runs?" + q, replay, key)
                ticket, sent = None, True
            else:
                ask("GET", rng.choice(["/api/v1/top", "/api/v1/daily/top",
                                       "/api/v1/top?limit=100"]))
            time.sleep(rng.expovariate(args.rate))
        if conn:
            conn.close()

    threads = [threading.Thread(target=client, args=(i,)) for i in range(args.clients)]
    began = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    took = time.monotonic() - began
    latencies.sort()
    pct = lambda p: latencies[min(int(p * len(latencies)), len(latencies) - 1)] * 1000
    figures = {
        "clients": args.clients, "seconds": round(took, 1), "servers": args.servers,
        "db": args.db, "nginx_workers": args.nginx_workers,
        "requests": len(latencies), "per_second": round(len(latencies) / took),
        "statuses": {str(k): v for k, v in sorted(statuses.items(), key=str)},
        "ms_p50": round(pct(0.5), 1), "ms_p99": round(pct(0.99), 1), "ms_max": round(pct(1), 1),
    }
    print("load:", json.dumps(figures))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(figures, f)
    for p in problems[:10]:
        print("  ", p)
    if any(p.poll() is not None for p in procs):
        problems.append("a server or nginx died")
    listed = statuses.get(201, 0)
    if listed < args.clients * 0.9:
        problems.append("only %d of %d runs listed" % (listed, args.clients))
    print("load: %d problems" % len(problems))
    sys.exit(1 if problems else 0)
finally:
    cleanup()
