#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The web page in a real browser: headless chromium driven by selenium, against the real
program (velquor --headless --web) on the emulated matrix, or with --bench on a
pseudo-terminal this script holds as the device.

Exit status 0 when every case passed, 1 when one failed, 77 (CTest's skip) when chromium or
its driver is not installed.
"""

import argparse
import json
import os
import pathlib
import queue
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import tty
import urllib.error
import urllib.request

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
CHROMEDRIVER = "/usr/bin/chromedriver"
KEY = "5f0c2a7be31d4c9a8e6b0f1d2c3a4b5e"
SKIP = 77
# The longest names the rules allow (24 characters): words to wrap between, and single words
# too wide for a 360 px phone's column.
NAMES = {
    "out1": "Ceiling projector rear L", "out2": "Projector",
    "out3": "W" * 24, "out4": "Signage display entrance",
    "in1": "Conference camera left 1", "in2": "M" * 24,
    "in3": "Laptop", "in4": "Signage player in lobby",
}


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


class Lines:
    """The lines a child process writes, read by a thread, to wait for."""

    def __init__(self, stream):
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in iter(stream.readline, ""):
            self.lines.put(line.rstrip("\n"))

    def wait_for(self, pattern, timeout=10):
        for line in self.seen:
            if re.search(pattern, line):
                return line
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            try:
                line = self.lines.get(timeout=max(0.01, end - time.monotonic()))
            except queue.Empty:
                break
            self.seen.append(line)
            if re.search(pattern, line):
                return line
        fail("no line matching %r; seen: %s" % (pattern, self.seen[-10:]))


def settings(folder):
    conf = pathlib.Path(folder, "cfg", "velquor")
    conf.mkdir(parents=True)
    (conf / "velquor.conf").write_text(
        "[web]\nrequire_key=true\nkey=%s\n\n"
        "[names]\n%s\n\n"
        "[presets]\ngap=0\npreset1=Lecture, 4, 3, 2, 1\n"
        % (KEY, "\n".join("%s=%s" % item for item in NAMES.items())))


def start_panel(args, folder, device):
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "cfg"),
               QT_QPA_PLATFORM="offscreen")
    panel = subprocess.Popen(
        [args.velquor, "--headless", "--port", "COM1=" + device, "--web", "127.0.0.1:0"],
        cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE, text=True)
    err = Lines(panel.stderr)
    line = err.wait_for(r"web page on http://")
    address = line.split("web page on ", 1)[1].strip()
    return panel, err, address


def browser():
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                 "--disable-gpu", "--no-first-run", "--window-size=360,740"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    # A 360 x 740 phone: the page's viewport, whatever the window around it.
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 360, "height": 740, "deviceScaleFactor": 1,
                            "mobile": True})
    return driver


def wait_until(driver, script, timeout=10, what=None):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = driver.execute_script(script)
        if value:
            return value
        time.sleep(0.02)
    try:
        shown = driver.execute_script("return document.getElementById('link').textContent + ' / ' + document.getElementById('answer').textContent;")
    except Exception:  # the page itself is gone
        shown = "?"
    fail("the page never showed: %s (it shows: %s)" % (what or script, shown))


def pressed(driver, element_id):
    return ("var b = document.getElementById('%s');"
            "return b && b.getAttribute('aria-pressed') === 'true';" % element_id)


def status_of(url):
    try:
        with urllib.request.urlopen(url, timeout=5) as reply:
            return reply.status, reply.read().decode()
    except urllib.error.HTTPError as error:
        return error.code, error.read().decode()


def run_cases(args):
    folder = tempfile.mkdtemp(prefix="velquor-web-")
    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    settings(folder)
    link = os.path.join(folder, "matrix")
    emulator = subprocess.Popen([args.emulator, "--link", link, "--delivery", "instant"],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, bufsize=1)
    device = Lines(emulator.stdout)
    driver = None
    panel = None
    try:
        device.wait_for(r"matrix on ")
        panel, _, address = start_panel(args, folder, link)
        bare = address.split("?", 1)[0]
        print("page:", address, flush=True)

        # A wrong or missing key gets 401 and says so.
        code, body = status_of(bare)
        if code != 401 or "has no access key" not in body:
            fail("no key: %s %r" % (code, body[:120]))
        code, body = status_of(bare + "?key=" + "0" * 32)
        if code != 401 or "is not this panel's" not in body:
            fail("wrong key: %s %r" % (code, body[:120]))
        print("ok: 401 without the key and with a wrong one", flush=True)

        driver = browser()
        driver.get(bare)
        if "Access key needed" not in driver.title:
            fail("the browser without the key got " + driver.title)
        driver.get(address)
        wait_until(driver, "return document.getElementById('link').textContent"
                           ".startsWith('Connected');", what="Connected")
        # The key leaves the address bar (and so the history) once the cookie holds it.
        shown = driver.execute_script("return location.href;")
        if "key" in shown:
            fail("the address still holds the key: %s" % shown)
        # The key's cookie: a bookmark without the key works from now on.
        driver.get(bare)
        wait_until(driver, "return document.getElementById('link').textContent"
                           ".startsWith('Connected');", what="Connected by the cookie")
        print("ok: the page opens, and again by its cookie", flush=True)

        # A click on IN3 in the Out2 row puts the route frame on the line, and the row shows it
        # once the device has reported it.
        driver.find_element("id", "route-2-3").click()
        device.wait_for(r"<- 05 55 19 12 77")
        wait_until(driver, pressed(driver, "route-2-3"), what="Out2 on IN3")
        print("ok: IN3 in the Out2 row: 05 55 19 12 77 on the line", flush=True)

        # A route changed at the emulator's console shows on the page.
        emulator.stdin.write("route 4 2\n")
        emulator.stdin.flush()
        wait_until(driver, pressed(driver, "route-4-2"), what="Out4 on IN2")
        print("ok: a route changed at the emulator shows", flush=True)

        # A preset recall from the page.
        button = wait_until(driver, "return [...document.querySelectorAll('#presets button')]"
                                    ".find(b => b.textContent.startsWith('Lecture'));",
                            what="the preset Lecture")
        button.click()
        for output, inp in ((1, 4), (2, 3), (3, 2), (4, 1)):
            wait_until(driver, pressed(driver, "route-%d-%d" % (output, inp)),
                       what="Out%d on IN%d after the recall" % (output, inp))
        wait_until(driver, "return [...document.querySelectorAll('#presets button')]"
                           ".some(b => b.getAttribute('aria-pressed') === 'true');",
                   what="Lecture marked active")
        print("ok: the preset Lecture recalled from the page", flush=True)

        # A junk message gets an error, and the page stays connected.
        driver.execute_script("socket.send('launch the missiles');")
        wait_until(driver, "return document.getElementById('answer').textContent"
                           ".startsWith('error');", what="the error answer")
        answer = driver.execute_script("return document.getElementById('answer').textContent;")
        still = driver.execute_script("return socket && socket.readyState === WebSocket.OPEN;")
        if not still:
            fail("the page lost its socket after junk")
        driver.find_element("id", "route-1-1").click()
        device.wait_for(r"<- 05 55 19 00 77")
        print("ok: junk answered %r; the page still switches" % answer, flush=True)

        # 360 x 740 without sideways scrolling; the names and the routes shown.
        width = driver.execute_script(
            "return [document.documentElement.scrollWidth, window.innerWidth];")
        if width[0] > width[1]:
            fail("sideways scrolling: content %d px in a %d px window" % tuple(width))
        small = driver.execute_script(
            "return [...document.querySelectorAll('button, select, input')]"
            ".filter(e => e.offsetParent && (e.offsetWidth < 44 || e.offsetHeight < 44))"
            ".map(e => e.id || e.textContent);")
        if small:
            fail("touch targets under 44 px: %s" % small)
        # Each name's words on one line each, never broken; the whole name in title and label.
        broken = driver.execute_script("""
            const broken = [];
            for (const cell of document.querySelectorAll('#grid th')) {
              const walker = document.createTreeWalker(cell, NodeFilter.SHOW_TEXT);
              for (let node; (node = walker.nextNode());) {
                for (const word of node.data.matchAll(/\\S+/g)) {
                  const range = document.createRange();
                  range.setStart(node, word.index);
                  range.setEnd(node, word.index + word[0].length);
                  const lines = new Set([...range.getClientRects()].map(r => Math.round(r.top)));
                  if (lines.size > 1)
                    broken.push(word[0]);
                }
              }
            }
            return broken;""")
        if broken:
            fail("words broken across lines: %s" % broken)
        labels = driver.execute_script(
            "return [...document.querySelectorAll('#grid th[data-input], #grid .name')]"
            ".map(n => [n.title, n.getAttribute('aria-label')]);")
        wanted = ["IN%d %s" % (i, NAMES["in%d" % i]) for i in range(1, 5)] + \
                 [NAMES["out%d" % o] for o in range(1, 5)]
        if [title for title, _ in labels] != wanted or [label for _, label in labels] != wanted:
            fail("names in title and aria-label: %s" % labels)
        driver.execute_script("window.scrollTo(0, 0);")
        shot = out / "webpage-360x740.png"
        driver.save_screenshot(str(shot))
        print("ok: 360 px wide, no sideways scroll, targets >= 44 px; screenshot", shot,
              flush=True)

        # A lost connection shows as such, and the page comes back by itself.
        panel.terminate()
        if panel.wait(10) != 0:
            fail("the panel ended with %s on SIGTERM" % panel.returncode)
        wait_until(driver, "return document.getElementById('link').textContent"
                           ".includes('lost');", what="the lost connection")
        port = re.search(r":(\d+)/", address).group(1)
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "cfg"),
                   QT_QPA_PLATFORM="offscreen")
        panel = subprocess.Popen(
            [args.velquor, "--headless", "--port", "COM1=" + link, "--web", "127.0.0.1:" + port],
            cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        wait_until(driver, "return document.getElementById('link').textContent"
                           ".startsWith('Connected');", timeout=20, what="reconnected")
        print("ok: the lost connection shows, and the page reconnects", flush=True)
    finally:
        if driver:
            driver.quit()
        if panel and panel.poll() is None:
            panel.terminate()
            panel.wait(10)
        emulator.terminate()
        emulator.wait(10)
        shutil.rmtree(folder, ignore_errors=True)
    if panel.returncode != 0:  # a sanitizer's report ends it so, for one
        fail("the panel ended with %s on SIGTERM" % panel.returncode)
    print("PASS: all browser cases", flush=True)
    return 0


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(share * (len(ordered) - 1))))]


def run_bench(args):
    """Click on the page to its frame on the line, and a device reply to the page's change:
    both on one clock, the browser's performance.timeOrigin + now() and this script's
    time.time(), on the same computer."""
    folder = tempfile.mkdtemp(prefix="velquor-webbench-")
    settings(folder)
    master, slave = os.openpty()
    tty.setraw(slave)
    panel, _, address = start_panel(args, folder, os.ttyname(slave))
    driver = None
    to_frame, to_page = [], []
    try:
        driver = browser()
        driver.get(address)
        wait_until(driver, "return document.getElementById('link').textContent"
                           ".startsWith('Connected');", what="Connected")
        driver.execute_script("""
            window.benchChanged = {};
            new MutationObserver((changes) => {
              for (const c of changes)
                if (c.target.getAttribute('aria-pressed') === 'true')
                  window.benchChanged[c.target.id] = performance.timeOrigin + performance.now();
            }).observe(document.getElementById('grid'),
                       {attributes: true, subtree: true, attributeFilter: ['aria-pressed']});""")
        os.set_blocking(master, False)
        for i in range(args.bench):
            inp = 1 + i % 4
            target = "route-2-%d" % inp
            clicked = driver.execute_script(
                "const t = performance.timeOrigin + performance.now();"
                "document.getElementById('%s').click(); return t;" % target)
            frame = b""
            while len(frame) < 5:
                try:
                    frame += os.read(master, 64)
                except BlockingIOError:
                    time.sleep(0.0002)
            arrived = time.time() * 1000
            expected = bytes([0x05, 0x55, 0x19, 0x10 + inp - 1, 0x77])
            if frame[:5] != expected:
                fail("frame %s, expected %s" % (frame.hex(" "), expected.hex(" ")))
            to_frame.append(arrived - clicked)
            # The route is already shown from the previous turn when it repeats: none does,
            # since the inputs go round.
            written = time.time() * 1000
            os.write(master, b"s2%d\r\n" % (inp - 1))
            shown = wait_until(driver, "return window.benchChanged['%s'];" % target,
                               what="the reply shown")
            driver.execute_script("delete window.benchChanged['%s'];" % target)
            to_page.append(shown - written)
            time.sleep(0.03)  # the panel's reply pump waits for a quiet line
    finally:
        if driver:
            driver.quit()
        panel.terminate()
        panel.wait(10)
        os.close(master)
        os.close(slave)
        shutil.rmtree(folder, ignore_errors=True)
    for name, values in (("web page: click -> frame on the line", to_frame),
                         ("web page: device reply -> page changed", to_page)):
        p50, p99 = percentile(values, 0.5), percentile(values, 0.99)
        print("ROW|%s|median %.2f ms, p99 %.2f ms (%d, loopback, headless chromium)|p99 < 20 ms|%s"
              % (name, p50, p99, len(values), "ok" if p99 < 20 else "MISSED"), flush=True)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--velquor", required=True)
    parser.add_argument("--emulator")
    parser.add_argument("--out", default=".")
    parser.add_argument("--bench", type=int, default=0,
                        help="measure this many clicks and replies instead of the cases")
    args = parser.parse_args()
    args.velquor = os.path.abspath(args.velquor)
    if args.emulator:
        args.emulator = os.path.abspath(args.emulator)
    if not CHROMIUM or not os.access(CHROMEDRIVER, os.X_OK):
        print("SKIP: chromium and chromium-driver are not installed", flush=True)
        return SKIP
    return run_bench(args) if args.bench else run_cases(args)


if __name__ == "__main__":
    sys.exit(main())
