#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The window as a screen reader sees it: the real program (velquor) on the emulated matrix,
on a private X server (Xvfb), read over the desktop's accessibility bus (AT-SPI) with pyatspi
in a private D-Bus session, as Orca reads it.

It checks the tree (roles, names, the lamps' state, the address's value and digits), that a
route and a detached display reported by the device each raise a notification that names the
change, and that pressing IN3 in the Out2 row through AT-SPI puts 05 55 19 12 77 on the line.

Exit status 0 when every check passed, 1 when one failed, 77 (CTest's skip) when Xvfb,
dbus-run-session, the accessibility bus or pyatspi is not installed.

With --orca LOG it also runs the Orca screen reader on the same bus (not part of the suite),
types an address into the address box and comes back to it, and prints what Orca spoke, from
its debug log LOG. Orca follows the focus only in an active window, which takes a window
manager: matchbox-window-manager, when installed.
"""

import argparse
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

SKIP = 77
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def missing_packages():
    missing = [tool for tool in ("Xvfb", "dbus-run-session") if not shutil.which(tool)]
    if not os.path.exists(BUS_LAUNCHER):
        missing.append("at-spi2-core")
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        missing.append("python3-pyatspi")
    return missing


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


class Desktop:
    """Xvfb with the program and the emulator on it; pyatspi's view of the program."""

    def __init__(self):
        self.processes = []

    def open(self, args, folder):
        display = 90
        while os.path.exists("/tmp/.X11-unix/X%d" % display) or \
                os.path.exists("/tmp/.X%d-lock" % display):
            display += 1
        # -noreset: else the server resets when its last client leaves.
        self.start(["Xvfb", ":%d" % display, "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                    "-noreset"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(200):
            if os.path.exists("/tmp/.X11-unix/X%d" % display):
                break
            time.sleep(0.05)
        else:
            fail("Xvfb did not start")

        self.display = ":%d" % display
        if args.orca and shutil.which("matchbox-window-manager"):
            self.start(["matchbox-window-manager", "-use_titlebar", "no"],
                       env=dict(os.environ, DISPLAY=self.display), stderr=subprocess.DEVNULL)
        emulator = self.start([args.emulator], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              text=True, bufsize=1)
        self.console = emulator.stdin
        self.line = Lines(emulator.stdout)
        terminal = self.line.wait_for(r"^matrix on ").split(" on ", 1)[1]

        conf = pathlib.Path(folder, "cfg", "velquor")
        conf.mkdir(parents=True)
        (conf / "velquor.conf").write_text("[names]\nout2=Stage left\nin3=Camera\n")
        env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb",
                   XDG_CONFIG_HOME=str(conf.parent),
                   # what a running screen reader switches on through the bus
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.start([args.velquor, "--port", "COM1=" + terminal], cwd=folder, env=env,
                   stdin=subprocess.DEVNULL)

        if args.orca:
            # The bus's registry synthesizes keys on this display.
            subprocess.check_call(["dbus-update-activation-environment", "DISPLAY=" + self.display])
        import pyatspi
        from gi.repository import GLib
        self.pyatspi = pyatspi
        self.context = GLib.MainContext.default()
        self.events = []
        pyatspi.Registry.registerEventListener(self._record, "object:state-changed:showing")
        self.window = self._find_window()

    def start(self, command, **kwargs):
        process = subprocess.Popen(command, **kwargs)
        self.processes.append(process)
        return process

    def stop(self):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def _record(self, event):
        if event.detail1 and event.source.getRole() == self.pyatspi.ROLE_NOTIFICATION:
            self.events.append(event.source.name)

    def pump(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            while self.context.iteration(False):
                pass
            time.sleep(0.01)

    def _find_window(self):
        for _ in range(300):
            self.pump(0.05)
            for app in self.pyatspi.Registry.getDesktop(0):
                if app is not None and app.name == "velquor" and app.childCount > 0:
                    return app[0]
        fail("the program did not appear on the accessibility bus")

    def find(self, role, name, within=None):
        found = self.pyatspi.findDescendant(
            within or self.window,
            lambda o: o is not None and o.getRoleName() == role and o.name == name)
        if found is None:
            fail("no %s named %r" % (role, name))
        return found

    def notice(self, pattern, timeout=3):
        """Waits for a notification that shows with a name matching pattern."""
        started = time.monotonic()
        while time.monotonic() < started + timeout:
            self.pump(0.02)
            for text in self.events:
                if re.search(pattern, text):
                    self.events.clear()
                    print("notification %r after %d ms" % (text, 1000 * (time.monotonic() - started)),
                          flush=True)
                    return text
        fail("no notification matching %r; shown: %s" % (pattern, self.events))

    def device(self, command):
        self.console.write(command + "\n")
        self.console.flush()


def states(obj, pyatspi):
    return {pyatspi.stateToString(s) for s in obj.getState().getStates()}


def check_tree(desk):
    pyatspi = desk.pyatspi
    if desk.window.getRoleName() != "frame" or desk.window.name != "Velquor":
        fail("the window is a %s named %r" % (desk.window.getRoleName(), desk.window.name))
    desk.find("label", "Connected: lit")
    desk.find("label", "Disconnected: dark")
    for page in ("Switch", "Resolution", "IP Setting"):
        desk.find("filler", page)
        tab = desk.find("page tab", page)
        if ("selected" in states(tab, pyatspi)) != (page == "Switch"):
            fail("the tab %r is %s" % (page, sorted(states(tab, pyatspi))))

    out2 = desk.find("panel", "Out2")
    in3 = desk.find("radio button", "IN3", out2)
    if in3.description != "Out2 Stage left: IN3 Camera":
        fail("IN3 in the Out2 row is described as %r" % in3.description)
    out2_button = desk.find("push button", "out2")
    if out2_button.description != "Out2 Stage left: not reported yet":
        fail("out2 is described as %r" % out2_button.description)

    box = desk.find("panel", "IP address")
    if box.description != "0.0.0.1":  # what start-up puts there
        fail("the address box's value is %r" % box.description)
    for k, digits in enumerate(("0", "0", "0", "1")):
        field = box[k]
        if field.name != "IP address field %d" % (k + 1) or field.getRoleName() != "text":
            fail("field %d is a %s named %r" % (k + 1, field.getRoleName(), field.name))
        text = field.queryText()
        if text.getText(0, -1) != digits:
            fail("field %d reads %r" % (k + 1, text.getText(0, -1)))
        if "editable" not in states(field, pyatspi):
            fail("field %d is not editable" % (k + 1))
    print("PASS: tree", flush=True)


def check_press(desk):
    in3 = desk.find("radio button", "IN3", desk.find("panel", "Out2"))
    action = in3.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "Toggle" not in names:
        fail("IN3 offers %s" % names)
    started = time.monotonic()
    action.doAction(names.index("Toggle"))
    if time.monotonic() - started > 1:
        fail("the press took %.1f s" % (time.monotonic() - started))
    desk.line.wait_for(r"<- 05 55 19 12 77$")
    desk.pump(0.5)
    if "checked" not in states(in3, desk.pyatspi):
        fail("IN3 in the Out2 row is not selected after the device's answer")
    print("PASS: press IN3 in the Out2 row", flush=True)


def check_device_changes(desk):
    desk.events.clear()
    desk.device("route 2 4")
    desk.notice(r"Out2 Stage left: IN4\b")
    desk.device("detach 2")
    desk.notice(r"Out2 Stage left: no display")
    desk.device("hangup")
    desk.notice(r"Disconnected: lit")
    print("PASS: device changes are notified", flush=True)


def start_orca(desk, log, folder):
    prefs = os.path.join(folder, "orca")
    os.makedirs(prefs)
    desk.start(["orca", "-u", prefs, "--debug-file", log], stdout=subprocess.DEVNULL,
               stderr=subprocess.DEVNULL, env=dict(os.environ, DISPLAY=desk.display))
    # Orca writes its log when it ends; it is ready a moment after it shows on the bus.
    end = time.monotonic() + 20
    while time.monotonic() < end:
        desk.pump(0.2)
        if any(app is not None and app.name == "orca"
               for app in desk.pyatspi.Registry.getDesktop(0)):
            desk.pump(2)
            return
    fail("Orca did not start")


def type_address(desk):
    """Shows the IP Setting page, chooses a fixed address, clicks into the box and types an
    address; Tab and Shift+Tab then leave the box and come back to it."""
    pyatspi = desk.pyatspi
    desk.find("page tab", "IP Setting").queryAction().doAction(0)
    desk.pump(0.5)
    desk.find("radio button", "Use the following ip address").queryAction().doAction(0)
    desk.pump(0.5)
    box = desk.find("panel", "IP address")
    x, y, width, height = box.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + 5, y + height // 2, pyatspi.MOUSE_B1C)
    desk.pump(1)
    for character in "192.168.1.100":
        pyatspi.Registry.generateKeyboardEvent(ord(character), None, pyatspi.KEY_SYM)
        desk.pump(0.15)
    for key in (0xff09, 0xfe20):  # Tab, Shift+Tab
        pyatspi.Registry.generateKeyboardEvent(key, None, pyatspi.KEY_SYM)
        desk.pump(1)
    print("the address box reads %r" % box.description, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--velquor", required=True)
    parser.add_argument("--emulator", required=True)
    parser.add_argument("--orca", help="also run Orca, with its debug log here")
    args = parser.parse_args()
    args.velquor = os.path.abspath(args.velquor)
    args.emulator = os.path.abspath(args.emulator)

    missing = missing_packages()
    if missing:
        print("SKIP: not installed: " + ", ".join(missing), flush=True)
        return SKIP
    # A private session bus, whose accessibility bus the program and this script share.
    if os.environ.get("VELQUOR_ATSPI_SESSION") != "1":
        env = dict(os.environ, VELQUOR_ATSPI_SESSION="1")
        return subprocess.call(["dbus-run-session", "--", sys.executable] + sys.argv, env=env)

    with tempfile.TemporaryDirectory() as folder:
        desk = Desktop()
        try:
            desk.open(args, folder)
            if args.orca:
                start_orca(desk, args.orca, folder)
            check_tree(desk)
            check_press(desk)
            if args.orca:
                type_address(desk)
            check_device_changes(desk)
            if args.orca:
                desk.pump(2)  # Orca speaks a moment after the event
        finally:
            desk.stop()
        if args.orca:
            desk.pump(1)
            for line in pathlib.Path(args.orca).read_text(errors="replace").splitlines():
                if "SPEECH OUTPUT" in line:
                    print(line, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
