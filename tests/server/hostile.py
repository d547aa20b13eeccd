#!/usr/bin/env python3
"""The hostile table against what faces the network: the shipped nginx site
config (a variant on 127.0.0.1 without TLS, made from it here) in front of
voidrunner-server. Nothing hostile may be stored, and real requests are still
answered within a second while slow and idle connections are held open.

    hostile.py SERVER BOT NGINX_CONF FUZZ_CORPUS_DIR [--direct]

--direct runs the table against the server alone (no nginx, so no rate limit
of nginx's): how far libmicrohttpd's own limits go.
"""
import gzip
import hashlib
import hmac
import json
import os
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

import nginxsite

server_bin, bot_bin, site_conf, corpus = sys.argv[1:5]
direct = sys.argv[5:] == ["--direct"]
nginx_bin = nginxsite.binary()
if not direct and not os.access(nginx_bin, os.X_OK):
    print("hostile.py: no nginx")
    sys.exit(77)
tmp = tempfile.mkdtemp()
procs = []
failures = []


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def finish():
    for p in procs:
        p.kill()
        p.wait()
    shutil.rmtree(tmp, ignore_errors=True)


# The server, with a key the test knows, so it can mint expired tickets and
# tickets issued long enough ago for a run to be sent at once.
key = os.urandom(32)
with open(os.path.join(tmp, "key"), "wb") as f:
    f.write(key)
out = open(os.path.join(tmp, "server.out"), "w+")
procs.append(subprocess.Popen(
    [server_bin, "--listen", "127.0.0.1:0", "--db", "sqlite:" + os.path.join(tmp, "lb.db"),
     "--key", os.path.join(tmp, "key"), "--trust-proxy", "--workers", "2", "--rate", "1000", "--burst", "1000",
     "--request-seconds", "4"],
    stdout=out, stderr=subprocess.STDOUT))
server_port = None
for _ in range(100):
    m = re.search(r" port (\d+),", open(out.name).read())
    if m:
        server_port = int(m.group(1))
        break
    time.sleep(0.1)
if not server_port:
    finish()
    sys.exit("the server did not start")

# The site config on 127.0.0.1 without TLS; submissions allowed faster so the
# table's cases are not turned away by the rate limit they do not test.
if direct:
    port = server_port
else:
    nginx, port = nginxsite.start(
        site_conf, tmp, [server_port],
        edit=lambda site: site.replace("rate=1r/s", "rate=1000r/s").replace("burst=5 ", "burst=1000 "))
    procs.append(nginx)
base = "http://127.0.0.1:%d" % port


def request(method, path, body=None, headers=None):
    req = urllib.request.Request(base + path, data=body, method=method, headers=headers or {})
    try:
        with urllib.request.urlopen(req, timeout=20) as r:
            return r.status, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.read()


def raw(chunks, timeout=10):
    """Sends the chunks until the other side answers or closes; the status
    it answered, or None for a connection closed without one."""
    s = socket.create_connection(("127.0.0.1", port))
    s.settimeout(timeout)
    try:
        for chunk in chunks:
            if select.select([s], [], [], 0)[0]:
                break
            s.sendall(chunk)
    except OSError:
        pass
    try:
        answer = s.recv(200)
    except OSError:
        answer = b""
    s.close()
    m = re.match(rb"HTTP/1\.[01] (\d{3})", answer)
    return int(m.group(1)) if m else None


def now_ms():
    return int(time.time() * 1000)


def mint(seed, issued_ms):
    body = "r.-.%d.%d.%s" % (seed, issued_ms, os.urandom(8).hex())
    return body + "." + hmac.new(key, body.encode(), hashlib.sha256).hexdigest()


keys = {}  # player -> the key that claimed the name


def claim(player):
    status, body = request("POST", "/api/v1/players", json.dumps({"name": player}).encode())
    if status != 201:
        fail("claim %s: %d %s" % (player, status, body[:200]))
        return
    keys[player] = json.loads(body)["key"]


def submit(ticket, player, score, replay):
    q = urllib.parse.urlencode({"ticket": ticket, "player": player, "score": score})
    headers = {"Content-Type": "text/plain"}
    if player in keys:
        headers["Authorization"] = "Bearer " + keys[player]
    return request("POST", "/api/v1/runs?" + q, replay, headers)


def seal(text):
    """A replay closed with its check line (FNV-1a of every byte before it)."""
    h = 2166136261
    for b in text.encode():
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return (text + "# end %08x\n" % h).encode()


def body_chunks(head, total, chunk=1 << 20):
    yield head
    block = b"x" * chunk
    sent = 0
    while sent < total:
        yield block
        sent += chunk


try:
    runs = "/api/v1/runs?ticket=t&player=p&score=1 HTTP/1.1\r\nHost: x\r\n"
    cases = [
        ("a body of 300 MB", body_chunks(("POST " + runs + "Content-Length: 300000000\r\n\r\n")
                                         .encode(), 300 << 20), {413}),
        ("Content-Length 100 GB, 1 KB sent",
         [("POST " + runs + "Content-Length: 100000000000\r\n\r\n").encode(), b"x" * 1024], {413}),
        ("chunked 50 MB", (lambda: (yield ("POST " + runs + "Transfer-Encoding: chunked\r\n\r\n")
                                    .encode()) or (yield from (b"100000\r\n" + b"x" * 0x100000
                                                              + b"\r\n" for _ in range(50))))(),
         # Without nginx the server drops the connection at its limit.
         {413, None} if direct else {413}),
        ("a gzip bomb", [("POST " + runs + "Content-Encoding: gzip\r\nContent-Length: %d\r\n\r\n")
                         .encode() % len(bomb) + bomb
                         for bomb in [gzip.compress(b"\0" * (64 << 20), 9)]], {413, 415}),
        ("100,000 header lines",
         [b"GET /api/v1/top HTTP/1.1\r\n"] + [b"X-H%d: v\r\n" % i for i in range(100000)],
         {400, 431, 494, None}),
        ("a 200 MB request line with no end", body_chunks(b"GET /", 200 << 20), {400, 414, None}),
        ("Content-Length twice", [("POST " + runs + "Content-Length: 5\r\nContent-Length: 50\r\n"
                                   "\r\n12345").encode()], {400}),
    ]
    for name, chunks, want in cases:
        got = raw(chunks)
        if got not in want:
            fail("%s: answered %s, want one of %s" % (name, got, sorted(map(str, want))))

    def timed_top(what):
        start = time.monotonic()
        try:
            status, _ = request("GET", "/api/v1/top")
        except OSError as e:
            status = str(e)
        took = time.monotonic() - start
        if status != 200 or took > 1.0:
            fail("%s: a real request took %.2f s (status %s)" % (what, took, status))

    # From another client address than the real requests'.
    def attacker():
        return socket.create_connection(("127.0.0.1", port), source_address=("127.0.0.2", 0))

    slow = [attacker() for _ in range(20)]
    for i in range(3):
        for s in slow:
            s.sendall(b"GET /api/v1/top HTTP/1.1\r\n" if i == 0 else b"X-Slow: 1\r\n")
        timed_top("20 slow-loris connections")
        time.sleep(0.5)
    idle = [attacker() for _ in range(200)]
    timed_top("200 idle connections")
    for s in slow + idle:
        s.close()

    if direct:
        # A request may take its time to come in, but not forever: headers
        # a byte a second are cut off at the deadline (4 s here).
        s = attacker()
        start = time.monotonic()
        try:
            for b in b"GET /api/v1/top HTTP/1.1\r\nX-Slow: " + b"x" * 30:
                s.sendall(bytes([b]))
                if select.select([s], [], [], 1)[0] and not s.recv(100):
                    break
        except OSError:
            pass
        took = time.monotonic() - start
        s.close()
        print("headers a byte a second: cut off after %.1f s" % took)
        if took > 8:
            fail("headers a byte a second: still open after %.1f s" % took)

        # Bodies held unfinished take from one budget: 100 of nearly 4 MB,
        # from ten addresses, do not cost the server 400 MB.
        def rss_mb():
            for line in open("/proc/%d/status" % procs[0].pid):
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) // 1024
        held = []
        head = ("POST " + runs + "Content-Length: 4000000\r\n\r\n").encode()
        for i in range(100):
            h = socket.create_connection(("127.0.0.1", port),
                                         source_address=("127.0.0.%d" % (10 + i % 10), 0))
            h.setblocking(False)
            try:
                h.send(head)
                sent = 0
                while sent < 3900000:
                    sent += h.send(b"x" * min(1 << 18, 3900000 - sent))
            except OSError:
                pass  # refused (503) or the buffer full: either way not held here
            held.append(h)
        time.sleep(1)
        # Memory is the sanitizer build's to measure differently: what
        # counts is how many bodies the server would not hold.
        turned = 0
        for h in held:
            try:
                answer = h.recv(100)
                turned += answer == b"" or answer.startswith(b"HTTP/1.1 503")
            except OSError:
                pass
        print("100 held bodies: %d turned away, the server holds %d MB" % (turned, rss_mb()))
        if turned < 50:
            fail("100 held bodies: only %d turned away (%d MB held)" % (turned, rss_mb()))
        timed_top("100 held bodies")
        for h in held:
            h.close()

    # The replay bot plays a real run with a minted seed.
    seed = 4242
    subprocess.run([bot_bin, "--seed", str(seed), "--field", "1280x720", "--games", "1", "--ticks",
                    "1500", os.path.join(tmp, "run.txt")], check=True, capture_output=True, cwd=tmp)
    good = open(os.path.join(tmp, "run.txt"), "rb").read()
    lines = good.decode().splitlines()
    ticks = sum(int(l.split()[1]) if len(l.split()) > 1 else 1 for l in lines
                if l.startswith("tick"))
    bot_log = subprocess.run([bot_bin, "--seed", str(seed), "--field", "1280x720", "--games", "1",
                              "--ticks", "1500", os.path.join(tmp, "again.txt")],
                             capture_output=True, text=True, cwd=tmp).stderr
    score = int(re.search(r"best score (\d+)", bot_log).group(1))
    played_ago = now_ms() - ticks * 62 - 5000

    ticket = mint(seed, played_ago)
    for player in ("AB", "<script>&x\""):
        claim(player)
    junk_header = "# voidrunner replay 1\n# version %s\nfield 1280 720\nseed %d\n" % (lines[1].split()[-1], seed)
    api = [
        ("forged ticket", submit(ticket[:-1] + ("0" if ticket[-1] != "0" else "1"), "AB", score, good), 401),
        ("expired ticket", submit(mint(seed, now_ms() - 5 * 3600 * 1000), "AB", score, good), 401),
        ("score that does not reproduce", submit(mint(seed, played_ago), "AB", score + 10, good), 422),
        ("the run", submit(ticket, "<script>&x\"", score, good), 201),
        ("reused ticket", submit(ticket, "AB", score, good), 409),
        ("billions of ticks", submit(mint(1, played_ago), "AB", 0, seal(
            "# voidrunner replay 1\n# version %s\nfield 1280 720\nseed 1\n" % lines[1].split()[-1]
            + "keys S\n" + "tick 2000000000\n" * 3)), 422),
        ("invalid UTF-8 player", submit(mint(seed, played_ago), b"A\xff\xfe", score, good), 400),
        ("invalid UTF-8 replay", submit(mint(seed, played_ago), "AB", score, good + b"# \xff\n"), 422),
        # Junk that would fill the disk: no play, nothing scored, or far
        # more bytes than its ticks need.
        ("3 MB of comments and no ticks", submit(mint(seed, played_ago), "AB", 0, seal(
            junk_header + ("# " + "x" * 1000 + "\n") * 3000)), 422),
        ("a run that scores nothing", submit(mint(seed, played_ago), "AB", 0, seal(
            junk_header + "tick 50\n")), 422),
        ("1 MB of comments in a run", submit(mint(seed, played_ago), "AB", score, seal(
            good.decode()[:good.decode().rindex("# end")].replace(
                "\nfield", "\n" + "# junk\n" * 150000 + "field", 1))), 422),
    ]
    for name in sorted(os.listdir(corpus)):
        api.append(("fuzz corpus " + name, submit(mint(seed, played_ago), "AB", 0,
                                                   open(os.path.join(corpus, name), "rb").read()),
                    422))
    for name, (status, body), want in api:
        if status != want:
            fail("%s: %d, want %d: %s" % (name, status, want, body[:200]))
        elif status >= 400 and (b"\n" in body.rstrip(b"\n") or "error" not in json.loads(body)):
            fail("%s: not a one-line JSON reason: %s" % (name, body[:200]))

    status, body = request("GET", "/api/v1/top?limit=100")
    listed = json.loads(body)
    if len(listed) != 1 or listed[0]["player"] != "<script>&x\"" or b"<" in body:
        fail("only the good run is stored, its player escaped: %s" % body[:300])

    # Floods meet nginx's rate limit.
    answers = [request("GET", "/api/v1/top") for _ in range(80)]
    if not direct and (429, b'{"error":"too many requests; slow down"}\n') not in answers:
        fail("80 requests at once were not slowed down with a JSON reason")
    if any(p.poll() is not None for p in procs):
        fail("the server or nginx died")
finally:
    finish()
print("hostile: %d failures" % len(failures))
sys.exit(1 if failures else 0)
