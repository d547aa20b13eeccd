"""The shipped nginx site config on 127.0.0.1 for the tests: without TLS,
on a free port, in front of servers on given ports, with its temporary
files in a folder of its own."""
import os
import shutil
import socket
import subprocess
import time
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def binary():
    return shutil.which("nginx") or "/usr/sbin/nginx"


def start(site_conf, tmp, server_ports, workers=1, web=None, edit=lambda site: site):
    """Starts nginx; returns (process, port). `edit` may change the site's
    text further (a test's own rates)."""
    port = free_port()
    web = web or os.path.join(tmp, "web")
    os.makedirs(web, exist_ok=True)
    if not os.path.exists(os.path.join(web, "index.html")):
        with open(os.path.join(web, "index.html"), "w") as f:
            f.write("<!doctype html><title>Voidrunner</title>\n")
    site = open(site_conf).read()
    site = site[:site.index("# Plain HTTP only")]
    site = "\n".join(l for l in site.splitlines()
                     if "ssl_" not in l and "Strict-Transport" not in l and "listen [::]" not in l)
    upstreams = "\n    ".join("server 127.0.0.1:%d;" % p for p in server_ports)
    site = edit(site.replace("listen 443 ssl http2;", "listen 127.0.0.1:%d;" % port)
                .replace("server 127.0.0.1:8080;", upstreams)
                .replace("/usr/share/voidrunner/web", web))
    with open(os.path.join(tmp, "site.conf"), "w") as f:
        f.write(site)
    with open(os.path.join(tmp, "nginx.conf"), "w") as f:
        f.write("""daemon off; master_process {master}; worker_processes {workers};
pid {t}/nginx.pid; error_log {t}/error.log;
worker_rlimit_nofile 8192;
events {{ worker_connections 4096; }}
http {{
  access_log off;
  client_body_temp_path {t}/body; proxy_temp_path {t}/proxy; fastcgi_temp_path {t}/fcgi;
  uwsgi_temp_path {t}/uwsgi; scgi_temp_path {t}/scgi;
  include {t}/site.conf;
}}
""".format(t=tmp, workers=workers, master="on" if workers > 1 else "off"))
    nginx = subprocess.Popen([binary(), "-p", tmp, "-c", os.path.join(tmp, "nginx.conf"),
                              "-e", os.path.join(tmp, "error.log")])
    for _ in range(100):
        try:
            urllib.request.urlopen("http://127.0.0.1:%d/" % port, timeout=1)
            break
        except Exception:
            time.sleep(0.1)
    return nginx, port
