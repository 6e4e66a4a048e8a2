#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The web page against a crowd, measured on the real program (velquor --headless --demo
--web 127.0.0.1:0 --control unix:…) started with 1,024 descriptors (soft and hard):

- 1,100 idle connections: how long a new page and the control socket's `state` then take,
  and the CPU the program uses meanwhile (10 s);
- a page that sends WebSocket pings for 10 s and reads nothing: the program's resident memory
  over its start.

Prints ROW|measure|measured|target|verdict lines, as scripts/bench reads them.
"""

import argparse
import os
import re
import resource
import shutil
import socket
import subprocess
import tempfile
import time

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime


def rss_mib(pid):
    for line in open("/proc/%d/status" % pid):
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) / 1024
    return 0.0


def start_panel(velquor, folder):
    def limit():
        resource.setrlimit(resource.RLIMIT_NOFILE, (1024, 1024))

    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "cfg"),
               QT_QPA_PLATFORM="offscreen")
    panel = subprocess.Popen(
        [velquor, "--headless", "--demo", "--web", "127.0.0.1:0", "--control",
         "unix:panel.sock"],
        cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE, text=True, preexec_fn=limit)
    end = time.monotonic() + 10
    while time.monotonic() < end:
        line = panel.stderr.readline()
        found = re.search(r"web page on http://127\.0\.0\.1:(\d+)/", line)
        if found:
            return panel, int(found.group(1))
    panel.kill()
    raise SystemExit("bench: the panel printed no web page address")


def timed(what):
    """Seconds until what() returns, or None when it failed or took more than 5 s."""
    start = time.monotonic()
    try:
        what()
    except OSError:
        return None
    return time.monotonic() - start


def get_page(port):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
        head = s.recv(64)
        if not head.startswith(b"HTTP/1.1 200"):
            raise OSError("answer %r" % head[:20])


def ask_state(path):
    with socket.socket(socket.AF_UNIX) as s:
        s.settimeout(5)
        s.connect(path)
        s.sendall(b"state\n")
        if not s.recv(1).startswith(b"{"):
            raise OSError("no state")


def crowd(velquor, folder):
    panel, port = start_panel(velquor, folder)
    sockets = []
    try:
        for _ in range(1100):  # twenty every 20 ms: the listen queue never overflows
            s = socket.socket()
            s.setblocking(False)
            s.connect_ex(("127.0.0.1", port))
            sockets.append(s)
            if len(sockets) % 20 == 0:
                time.sleep(0.02)
        time.sleep(1)
        before = cpu_seconds(panel.pid)
        time.sleep(10)
        cpu = (cpu_seconds(panel.pid) - before) / 10 * 100
        page = timed(lambda: get_page(port))
        state = timed(lambda: ask_state(os.path.join(folder, "panel.sock")))
    finally:
        for s in sockets:
            s.close()
        panel.terminate()
        panel.wait(10)
    shown = lambda t: "no answer" if t is None else "%.0f ms" % (t * 1000)
    good = page is not None and page < 1 and state is not None and state < 1 and cpu < 10
    print("ROW|web page: 1,100 idle connections under ulimit -n 1024|new page %s, state %s, "
          "CPU %.1f %% of a core over 10 s|page and state < 1 s, CPU < 10 %%|%s"
          % (shown(page), shown(state), cpu, "ok" if good else "MISSED"), flush=True)


def ping_flood(velquor, folder):
    panel, port = start_panel(velquor, folder)
    try:
        time.sleep(0.5)
        start = rss_mib(panel.pid)
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect(("127.0.0.1", port))
        host = "127.0.0.1:%d" % port
        s.sendall(("GET /ws HTTP/1.1\r\nHost: %s\r\nUpgrade: websocket\r\n"
                   "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                   "Sec-WebSocket-Version: 13\r\nOrigin: http://%s\r\n\r\n"
                   % (host, host)).encode())
        answer = b""
        while not answer.endswith(b"\r\n\r\n"):
            answer += s.recv(1)
        if not answer.startswith(b"HTTP/1.1 101"):
            raise SystemExit("bench: the upgrade was refused: %r" % answer[:40])
        ping = b"\x89\xfd\x00\x00\x00\x00" + b"p" * 125  # masked, 125 bytes
        batch = ping * 512
        s.settimeout(0.2)
        peak, cut = start, False
        end = time.monotonic() + 10
        while time.monotonic() < end:
            try:
                s.sendall(batch)
            except socket.timeout:
                pass
            except OSError:
                cut = True
                break
            peak = max(peak, rss_mib(panel.pid))
        while time.monotonic() < end:  # the rest of the 10 s, for what the panel still holds
            peak = max(peak, rss_mib(panel.pid))
            time.sleep(0.05)
        s.close()
    finally:
        panel.terminate()
        panel.wait(10)
    growth = peak - start
    print("ROW|web page: 10 s of pings, none read|resident memory %.1f MiB at start, at most "
          "%.1f MiB more (%s)|< 50 MB more|%s"
          % (start, growth, "the page was cut" if cut else "the page was kept",
             "ok" if growth < 50 else "MISSED"), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--velquor", required=True)
    args = parser.parse_args()
    velquor = os.path.abspath(args.velquor)
    folder = tempfile.mkdtemp(prefix="velquor-webcrowd-")
    try:
        crowd(velquor, folder)
        ping_flood(velquor, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
