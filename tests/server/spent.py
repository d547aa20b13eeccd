#!/usr/bin/env python3
"""No spent ticket without a stored run: whatever stops the server between
a run's arrival and its listing, every run is listed once after its
client's resend (a client keeps its run until the server answers it).

    spent.py SERVER BOT

On 127.0.0.1, each case with runs waiting for the one worker:
- kill -9 of the server, then a restart;
- SIGTERM: every request is answered (listed, or 503 to come again);
- a full store (the server's file size limit lowered under SQLite);
- a PostgreSQL restart (pg-cluster.sh);
- the program file replaced while the server runs (a package upgrade).
"""
import concurrent.futures
import hashlib
import hmac
import json
import os
import re
import shutil
import signal
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
key = os.urandom(32)
with open(os.path.join(tmp, "key"), "wb") as f:
    f.write(key)
failures = []
server = None
pg_dir = None


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def start(db, program=server_bin, extra=()):
    global server
    out = os.path.join(tmp, "out")
    open(out, "w").close()
    server = subprocess.Popen(
        [program, "--listen", "127.0.0.1:0", "--db", db, "--key", os.path.join(tmp, "key"),
         "--workers", "1", "--queue", "32", "--rate", "1000", "--burst", "1000",
         "--slack", "86400", *extra],
        stdout=open(out, "w"), stderr=open(os.path.join(tmp, "err"), "a"))
    for _ in range(100):
        m = re.search(r" port (\d+),", open(out).read())
        if m:
            return int(m.group(1))
        if server.poll() is not None:
            break
        time.sleep(0.1)
    sys.exit("the server did not start: " + open(os.path.join(tmp, "err")).read())


def stop(sig=signal.SIGTERM):
    if server and server.poll() is None:
        server.send_signal(sig)
        server.wait()


def mint(seed, issued_ms):
    body = "r.-.%d.%d.%s" % (seed, issued_ms, os.urandom(8).hex())
    return body + "." + hmac.new(key, body.encode(), hashlib.sha256).hexdigest()


keys = {}  # player -> the key that claimed the name


def claim(port, player):
    r = urllib.request.Request("http://127.0.0.1:%d/api/v1/players" % port, method="POST",
                               data=json.dumps({"name": player}).encode())
    with urllib.request.urlopen(r, timeout=30) as answer:
        keys[player] = json.loads(answer.read())["key"]


def submit(port, run, timeout=60):
    """A client's try: the status, or None when no answer came. `run` is a
    ticket and the player it goes under, each player one run: a board
    shows one row per player."""
    ticket, player = run
    q = urllib.parse.urlencode({"ticket": ticket, "player": player, "score": score})
    r = urllib.request.Request("http://127.0.0.1:%d/api/v1/runs?%s" % (port, q), data=replay,
                               method="POST", headers={"Content-Type": "text/plain",
                                                       "Authorization": "Bearer " + keys[player]})
    try:
        with urllib.request.urlopen(r, timeout=timeout) as answer:
            return answer.status
    except urllib.error.HTTPError as e:
        return e.code
    except OSError:
        return None


def listed(port):
    with urllib.request.urlopen("http://127.0.0.1:%d/api/v1/top?limit=100" % port) as r:
        return json.loads(r.read())


def case(name, db, tickets, during=None, program=server_bin, before=None, after=None):
    """Runs `before`, sends the tickets' runs at once, runs `during` while
    they wait, `after` once they are answered, then resends every run its
    client still holds (no answer, or 5xx) to a running server. Each run
    must be listed exactly once."""
    port = start(db, program)
    for _, player in tickets:
        claim(port, player)
    if before:
        before()
    listed_before = len(listed(port))
    with concurrent.futures.ThreadPoolExecutor(len(tickets)) as pool:
        tries = [pool.submit(submit, port, t) for t in tickets]
        if during:
            time.sleep(0.3)
            during(port)
        first = [t.result() for t in tries]
    if server.poll() is not None:
        port = start(db)
    if after:
        after()
    kept = [t for t, status in zip(tickets, first) if status not in (200, 201)]
    again = [submit(port, t) for t in kept]
    rows = len(listed(port)) - listed_before
    print("%s: first answers %s; resent %d: %s; listed %d of %d"
          % (name, first, len(kept), again, rows, len(tickets)))
    if any(s not in (200, 201) for s in again):
        fail("%s: a resend was refused: %s" % (name, again))
    if rows != len(tickets):
        fail("%s: %d runs listed, want %d" % (name, rows, len(tickets)))
    stop()
    return first


try:
    # A run of the replay bot, and tickets for it issued long enough ago.
    seed = 4243
    bot = subprocess.run([bot_bin, "--seed", str(seed), "--field", "1280x720", "--games", "1",
                          "--ticks", "6000", os.path.join(tmp, "run.txt")],
                         capture_output=True, text=True, cwd=tmp)
    score = int(re.search(r"best score (\d+)", bot.stderr).group(1))
    replay = open(os.path.join(tmp, "run.txt"), "rb").read()
    ticks = sum(int(l.split()[1]) if len(l.split()) > 1 else 1
                for l in replay.decode().splitlines() if l.startswith("tick"))
    issued = int(time.time() * 1000) - ticks * 62 - 5000

    def tickets(n):
        return [(mint(seed, issued), "P%d" % len(keys) + "-%d" % i) for i in range(n)]

    sqlite = "sqlite:" + os.path.join(tmp, "lb.db")
    case("kill -9", sqlite, tickets(10), lambda port: stop(signal.SIGKILL))

    first = case("SIGTERM", sqlite, tickets(10), lambda port: stop(signal.SIGTERM))
    if None in first:
        fail("SIGTERM: a client got no answer: %s" % first)

    # Room for the ticket's few bytes but not for its run: the write past
    # the limit fails as on a full disk.
    def fill():
        wal = os.path.join(tmp, "lb.db-wal")
        size = os.path.getsize(wal) if os.path.exists(wal) else 0
        subprocess.run(["prlimit", "--pid", str(server.pid), "--fsize=%d:" % (size + 16384)],
                       check=True)

    def make_room():
        subprocess.run(["prlimit", "--pid", str(server.pid), "--fsize=unlimited:"], check=True)

    first = case("full store", sqlite, tickets(3), before=fill, after=make_room)
    if all(s in (200, 201) for s in first):
        fail("full store: the store never refused a write: %s" % first)

    # The program replaced at its path, as a package upgrade does before
    # the restart: the workers must still be this server's.
    prog = os.path.join(tmp, "prog")
    os.makedirs(prog)
    copy = os.path.join(prog, "voidrunner-server")
    shutil.copy(server_bin, copy)

    def replace():
        shutil.copy("/bin/false", copy + ".new")
        os.rename(copy + ".new", copy)

    case("program replaced", sqlite, tickets(3), program=copy, before=replace)

    pg_dir = os.path.join(tmp, "pg")
    pg = subprocess.run([pg_cluster, "start", pg_dir], capture_output=True, text=True)
    if pg.returncode != 0:
        fail("no PostgreSQL cluster (scripts/setup.sh server): " + pg.stderr)
    else:
        bin_dir = os.path.dirname(open(os.path.join(pg_dir, "data", "postmaster.opts"))
                                  .read().split()[0])

        def restart(port):
            as_owner = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] \
                if os.getuid() == 0 else []
            subprocess.run(as_owner + [os.path.join(bin_dir, "pg_ctl"), "-D",
                                       os.path.join(pg_dir, "data"), "-l",
                                       os.path.join(pg_dir, "server.log"), "-m", "fast", "-w",
                                       "-s", "restart"], check=True, stdout=subprocess.DEVNULL)

        case("PostgreSQL restart", pg.stdout.strip(), tickets(6), restart)
finally:
    stop(signal.SIGKILL)
    if pg_dir:
        subprocess.run([pg_cluster, "stop", pg_dir], stderr=subprocess.DEVNULL)
    shutil.rmtree(tmp, ignore_errors=True)
print("spent: %d failures" % len(failures))
sys.exit(1 if failures else 0)
