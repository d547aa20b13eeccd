#!/usr/bin/env python3
"""Several servers sharing one PostgreSQL database, as behind one nginx:
three voidrunner-server processes started at once on free ports of
127.0.0.1, with one key file (made by whichever comes first) and one
throw-away cluster (pg-cluster.sh).

    multi.py SERVER BOT

- all three start: the schema is made once, the key once;
- a ticket from one is taken by another and then refused by all (409);
  the same ticket sent to all three at once is taken by exactly one;
- runs sent to different servers are listed alike by each;
- each server verified what it took, in worker processes of its own.

The servers' clock runs 1000 times faster (--clock-scale), so a run of
up to 10000 ticks may be sent 0.62 s after its ticket was issued.
"""
import atexit
import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

server_bin, bot_bin = map(os.path.abspath, sys.argv[1:3])
here = os.path.dirname(os.path.abspath(__file__))
pg_cluster = os.path.join(here, "pg-cluster.sh")
tmp = tempfile.mkdtemp()
os.chmod(tmp, 0o755)  # the cluster's owner (nobody, under root) must get in
servers = []
TICKS = 10000


def cleanup():
    for p in servers:
        p.terminate()
        p.wait()
    subprocess.run([pg_cluster, "stop", os.path.join(tmp, "pg")], stderr=subprocess.DEVNULL)
    shutil.rmtree(tmp, ignore_errors=True)


atexit.register(cleanup)


def fail(why):
    for i in range(len(servers)):
        err = open(os.path.join(tmp, f"err{i}")).read()
        if err:
            print(f"server {i}:", err, end="", file=sys.stderr)
    print("FAIL:", why, file=sys.stderr)
    sys.exit(1)


def check(ok, why):
    if not ok:
        fail(why)


pg = subprocess.run([pg_cluster, "start", os.path.join(tmp, "pg")], capture_output=True, text=True)
if pg.returncode == 77:
    print("multi.py: no PostgreSQL server")
    sys.exit(77)
check(pg.returncode == 0, "the cluster did not start: " + pg.stderr)
url = pg.stdout.strip()

for i in range(3):
    servers.append(subprocess.Popen(
        [server_bin, "--listen", "127.0.0.1:0", "--db", url, "--key", os.path.join(tmp, "key"),
         "--workers", "1", "--rate", "1000", "--clock-scale", "1000", "--slack", "86400",
         "--ticket-life", "604800"],
        stdout=open(os.path.join(tmp, f"out{i}"), "w"), stderr=open(os.path.join(tmp, f"err{i}"), "w")))
ports = []
for i, p in enumerate(servers):
    for _ in range(100):
        m = re.search(r" port (\d+),", open(os.path.join(tmp, f"out{i}")).read())
        if m or p.poll() is not None:
            break
        time.sleep(0.1)
    check(m, f"server {i} did not start")
    ports.append(int(m.group(1)))

# The schema is at its version, in one row: made once.
psql = shutil.which("psql") or "psql"
rows = subprocess.run([psql, "-XAtc", "SELECT count(*), max(version) FROM schema_version", url],
                      capture_output=True, text=True)
count, version = (rows.stdout.strip() + "|").split("|")[:2]
check(count == "1" and version.isdigit() and int(version) >= 3,
      "schema_version: " + rows.stdout + rows.stderr)


def req(server, method, path, data=None, key=None):
    headers = {"Content-Type": "text/plain"}
    if key:
        headers["Authorization"] = "Bearer " + key
    r = urllib.request.Request(f"http://127.0.0.1:{ports[server]}/api/v1{path}", data=data,
                               method=method, headers=headers)
    try:
        with urllib.request.urlopen(r, timeout=30) as resp:
            return resp.status, json.loads(resp.read())
    except urllib.error.HTTPError as e:
        return e.code, json.loads(e.read())


def ticket_and_run(server, name):
    """A ticket from `server` and a run played with its seed: (ticket, score, replay)."""
    status, t = req(server, "POST", "/tickets")
    check(status == 200, f"ticket from server {server}: {status} {t}")
    path = os.path.join(tmp, name + ".txt")
    bot = subprocess.run([bot_bin, "--seed", str(t["seed"]), "--field", "1280x720", "--games", "1",
                          "--ticks", str(TICKS), path], capture_output=True, text=True, cwd=tmp)
    score = int(re.search(r"best score (\d+)", bot.stderr).group(1))
    return t["ticket"], score, open(path, "rb").read()


keys = {}  # player -> key; claimed at one server, good at all


def submit(server, ticket, score, replay):
    # A player a run: the board shows one row per player.
    player = f"P{server}-{len(keys)}"
    status, answer = req(server, "POST", "/players", json.dumps({"name": player}).encode())
    check(status == 201, f"claim {player} at server {server}: {status} {answer}")
    keys[player] = answer["key"]
    q = urllib.parse.urlencode({"ticket": ticket, "player": player, "score": score})
    return req(server, "POST", "/runs?" + q, replay, keys[player])


# Time enough for the runs' ticks on the fast clock.
crossed = ticket_and_run(0, "crossed")
raced = ticket_and_run(1, "raced")
spread = [ticket_and_run(i % 3, f"spread{i}") for i in range(6)]
time.sleep(TICKS * 0.062 / 1000 + 0.2)

status, run = submit(1, *crossed)
check(status == 201, f"server 0's ticket at server 1: {status} {run}")
ids = {run["id"]}
for s in (2, 0):
    status, body = submit(s, *crossed)
    check(status == 409, f"a spent ticket at server {s}: {status} {body}")

with concurrent.futures.ThreadPoolExecutor(3) as pool:
    answers = list(pool.map(lambda s: submit(s, *raced), range(3)))
    check(sorted(a[0] for a in answers) == [201, 409, 409], f"one ticket at three servers at once: {answers}")
    ids |= {a[1]["id"] for a in answers if a[0] == 201}
    # Each server takes two runs issued by the next.
    answers = list(pool.map(lambda i: submit(i % 3, *spread[(i + 1) % 6]), range(6)))
    check([a[0] for a in answers] == [201] * 6, f"runs at each server: {answers}")
    ids |= {a[1]["id"] for a in answers}

tables = [req(s, "GET", "/top?limit=100") for s in range(3)]
for s, (status, rows) in enumerate(tables):
    check(status == 200 and {r["id"] for r in rows} == ids, f"server {s} lists {rows}, want ids {ids}")
check(tables[0] == tables[1] == tables[2], "the servers list the runs differently")

# A server's own verifier workers ran: the page faults of the processes it
# reaped (cminflt, field 11 of /proc/PID/stat) and of those its zygote (its
# child) reaped. Faults, not CPU time: a run here takes a few milliseconds,
# below the 10 ms steps /proc counts time in.
def reaped_faults(pid):
    return int(open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[8])


for s, p in enumerate(servers):
    children = open(f"/proc/{p.pid}/task/{p.pid}/children").read().split()
    faults = reaped_faults(p.pid) + sum(reaped_faults(int(c)) for c in children)
    check(faults > 0, f"server {s}'s workers did not run")
print(f"multi: ok: 3 servers, 1 schema, {len(ids)} runs listed by each, each verified some")
