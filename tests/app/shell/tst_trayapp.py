#!/usr/bin/python3
"""The tray application in a real X session: Xvfb, the XEmbed tray host trayer, a private
session bus with the accessibility bus, a temporary home with a small transcript tree and no
sign-in. Reads the panel as a screen reader does, through AT-SPI.

    tst_trayapp.py VARNELUSAGE VARNELUSAGE_REPORT
"""
import json
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

APP = REPORT = None
INNER = "VARNELUSAGE_TRAYAPP_INNER"


def wait_for(what, predicate, timeout=20.0, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise AssertionError("timed out waiting for " + what)


def write_tree(root):
    """Three replies of today (one repeated in a second file) and one of an earlier day."""
    now = time.time()
    stamp = time.strftime("%Y-%m-%dT%H:%M:%S.000Z", time.gmtime(now - 60))
    older = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(now - 3 * 86400))

    def line(ts, model, rid, usage):
        return json.dumps({"type": "assistant", "timestamp": ts, "requestId": rid,
                           "message": {"id": "m" + rid, "model": model, "usage": usage}}) + "\n"

    a = os.path.join(root, "-home-user-src-one")
    b = os.path.join(root, "-home-user-src-two", "session", "subagents")
    os.makedirs(a)
    os.makedirs(b)
    with open(os.path.join(a, "s1.jsonl"), "w") as f:
        f.write(line(stamp, "varnel-corvel-4", "1", {"input_tokens": 120, "output_tokens": 80}))
        f.write(json.dumps({"type": "user", "message": {"content": "hi"}}) + "\n")
        f.write(line(stamp, "varnel-magnar-4", "2", {"input_tokens": 200, "output_tokens": 100,
                                                      "cache_read_input_tokens": 100}))
        f.write(line(older, "varnel-tindle-3", "3", {"input_tokens": 5000}))
    with open(os.path.join(b, "agent-1.jsonl"), "w") as f:
        f.write(line(stamp, "varnel-corvel-4", "1", {"input_tokens": 120, "output_tokens": 80}))
        f.write(line(stamp, "varnel-tindle-3", "4", {"output_tokens": 100}))


def tokens_text(n):
    for size, suffix in ((1e9, "B"), (1e6, "M"), (1e3, "K")):
        if n >= size:
            v = n / size
            return ("%.0f" if v >= 100 else "%.1f" if v >= 10 else "%.2f") % v + suffix
    return str(n)


class StderrReader:
    """Collects a child's standard error lines on a thread, so the pipe never fills."""

    def __init__(self, stream):
        self.lines = []
        self._lock = threading.Lock()
        threading.Thread(target=self._run, args=(stream,), daemon=True).start()

    def _run(self, stream):
        for raw in iter(stream.readline, b""):
            with self._lock:
                self.lines.append(raw.decode(errors="replace").rstrip("\n"))

    def painted(self):
        with self._lock:
            return [int(m.group(1)) for l in self.lines
                    if (m := re.match(r"varnelusage: panel painted (\d+)$", l))]


class Desktop:
    """Xvfb, the accessibility bus and trayer, started and stopped by the test."""

    def __init__(self, env):
        self.env = env
        self.procs = []

    def start_x(self):
        r, w = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x800x24",
                                 "-nolisten", "tcp"], pass_fds=(w,), stderr=subprocess.DEVNULL)
        os.close(w)
        # Xvfb writes the number and then a newline; closing the pipe before the newline has
        # been written makes it give up.
        number = b""
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([r], [], [], 20)
            chunk = os.read(r, 64) if ready else b""
            assert chunk, "Xvfb did not start"
            number += chunk
        os.close(r)
        display = number.decode().strip()
        self.procs.append(xvfb)
        self.env["DISPLAY"] = ":" + display
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])

    def spawn(self, argv):
        p = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.procs.append(p)
        return p

    def start_tray(self):
        self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                    "--width", "160", "--height", "24", "--SetDockType", "true",
                    "--transparent", "false"])

    def tree(self):
        return subprocess.run(["xwininfo", "-root", "-tree"], env=self.env, text=True,
                              capture_output=True).stdout

    def docked_icon(self):
        """The centre of our icon inside trayer's panel, or None."""
        lines = self.tree().splitlines()
        inside_panel = False
        for l in lines:
            if '"panel": ("panel" "trayer")' in l:
                inside_panel = True
                continue
            m = re.search(r'(?:"[^"]*"|\(has no name\)): \("varnelusage" "VarnelUsage"\)\s+(\d+)x(\d+)'
                          r'\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', l)
            if inside_panel and m:
                w, h, x, y = map(int, m.groups())
                return x + w // 2, y + h // 2
        return None

    def viewable(self, pattern):
        """How many top-level windows matching pattern are mapped."""
        count = 0
        for l in self.tree().splitlines():
            m = re.search(r'^\s*(0x[0-9a-f]+) ' + pattern, l)
            if m:
                info = subprocess.run(["xwininfo", "-id", m.group(1)], env=self.env, text=True,
                                      capture_output=True).stdout
                count += "IsViewable" in info
        return count

    def panel_mapped(self):
        return self.viewable(r'"Varnel Usage": \("varnelusage" "VarnelUsage"\)\s+320x\d+') > 0

    def settings_windows(self):
        return self.viewable(r'"Varnel Usage Settings": \("varnelusage" "VarnelUsage"\)')

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()


def accessible_texts():
    """Names of every showing label and button of our application, in tree order."""
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    out = []

    def walk(acc):
        try:
            states = acc.getState()
            if not states.contains(pyatspi.STATE_SHOWING):
                return
            role = acc.getRole()
            if role in (pyatspi.ROLE_LABEL, pyatspi.ROLE_PUSH_BUTTON) and acc.name:
                out.append(acc.name)
            for i in range(acc.childCount):
                child = acc.getChildAtIndex(i)
                if child is not None:
                    walk(child)
        except Exception:
            return

    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "VarnelUsage":
            for j in range(app.childCount):
                walk(app.getChildAtIndex(j))
    return out


def press_button(name):
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None or app.name != "VarnelUsage":
            continue
        found = pyatspi.findDescendant(
            app, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name == name)
        if found:
            found.queryAction().doAction(0)
            return True
    return False


class TrayAppTest(unittest.TestCase):
    def setUp(self):
        # The home and runtime directories are the temporary ones main() made for the bus.
        home = os.environ["HOME"]
        self.root = os.path.join(home, ".varnel", "projects")
        if not os.path.isdir(self.root):
            write_tree(self.root)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env.update({"TZ": "UTC", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
                    "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                    "VARNELUSAGE_TEST_PAINT_TRACE": "1"})
        self.env = env
        self.desktop = Desktop(env)
        self.app = None

    def tearDown(self):
        if self.app and self.app.poll() is None:
            self.app.kill()
            self.app.wait()
        if self.app:
            self.app.stderr.close()
        self.desktop.stop()

    def today(self):
        out = subprocess.run([REPORT, "--json", "--root", self.root], env=self.env, text=True,
                             capture_output=True, check=True).stdout
        return json.loads(out)["today"]

    def start_app(self):
        self.app = subprocess.Popen([APP], env=self.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE)
        self.stderr = StderrReader(self.app.stderr)

    def click(self, x, y):
        """Clicks at (x, y); returns when the click was sent. The pointer leaves and comes back
        first: a click where it already rests after the panel mapped does not reach the icon
        through the test extension."""
        subprocess.run(["xdotool", "mousemove", "0", "400", "sleep", "0.2", "mousemove", str(x),
                        str(y), "sleep", "0.2"], env=self.env, check=True)
        sent = time.time()
        subprocess.run(["xdotool", "click", "1"], env=self.env, check=True)
        return sent

    def test_without_a_display_prints_the_report(self):
        env = dict(self.env)
        env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON")
        run = subprocess.run([APP], env=env, capture_output=True, text=True, timeout=60)
        expected = subprocess.run([REPORT], env=env, capture_output=True, text=True).stdout
        self.assertEqual(run.returncode, 0)
        # Its own line and nothing else: what the platform plugins say about a missing display
        # (which differs with the plugins installed) is kept quiet.
        self.assertEqual(run.stderr.splitlines(),
                         ["varnelusage: no graphical session (no display could be opened); "
                          "printing the usage report instead"])
        self.assertEqual(run.stdout, expected)

    def test_tray_panel_and_second_start(self):
        self.desktop.start_x()
        # No tray host yet: the application keeps running, and docks once one appears.
        self.start_app()
        time.sleep(1.0)
        self.assertIsNone(self.app.poll(), "the application ended without a tray host: %s" % self.stderr.lines)
        self.desktop.start_tray()
        x, y = wait_for("the icon to dock", self.desktop.docked_icon)

        clicked = self.click(x, y)
        painted = wait_for("the panel to paint", self.stderr.painted)[0]
        print("click to panel painted: %.1f ms" % ((painted / 1e6 - clicked) * 1000))
        self.assertTrue(self.desktop.panel_mapped())

        # What a screen reader reads: today's figures and, without any sign-in, the plan
        # section's error once the lookup has finished.
        today = self.today()
        expected = ["Varnel Usage", "Plan limits (official)", "Sign in with Varnel Code",
                    "Today", "Cost", "$%.2f" % today["cost"], "Tokens",
                    tokens_text(today["tokens"]), "Messages", str(today["count"]),
                    "Last 7 days", "Settings…", "Quit"]
        self.assertEqual(today["count"], 3)
        texts = wait_for("the panel's texts",
                         lambda: (t := accessible_texts()) and
                         all(e in t for e in expected) and t)
        order = [texts.index(e) for e in expected]
        self.assertEqual(order, sorted(order), texts)
        self.assertIn("Refresh now", texts)
        self.assertTrue(any(t.startswith("Updated ") for t in texts), texts)
        self.assertFalse(any(t == "Loading…" for t in texts), texts)

        # A second click on the icon closes the panel.
        self.click(x, y)
        wait_for("the panel to close", lambda: not self.desktop.panel_mapped())

        # A second start ends at once and the first instance shows its panel.
        started = time.monotonic()
        second = subprocess.run([APP], env=self.env, capture_output=True, timeout=30)
        print("second start ended after %.0f ms" % ((time.monotonic() - started) * 1000))
        self.assertEqual(second.returncode, 0)
        wait_for("the panel to show again", lambda: len(self.stderr.painted()) >= 2)
        self.assertTrue(self.desktop.panel_mapped())

        # "Settings…" opens the one settings window; asked again, it opens no second one.
        for _ in range(2):
            wait_for("the Settings button", lambda: press_button("Settings…"))
            wait_for("the settings window", lambda: self.desktop.settings_windows() == 1)
        self.click(x, y)
        wait_for("the panel to open", lambda: len(self.stderr.painted()) >= 3)
        self.assertEqual(self.desktop.settings_windows(), 1)

        # Escape closes it; "Quit" ends the process with status 0.
        subprocess.run(["xdotool", "key", "Escape"], env=self.env, check=True)
        wait_for("Escape to close the panel", lambda: not self.desktop.panel_mapped())
        self.click(x, y)
        wait_for("the panel to open", lambda: len(self.stderr.painted()) >= 4)
        wait_for("the Quit button", lambda: press_button("Quit"))
        self.assertEqual(self.app.wait(20), 0)

        # SIGTERM ends it cleanly as well, and the next start is not blocked by anything left.
        self.start_app()
        wait_for("the icon to dock again", self.desktop.docked_icon)
        self.app.send_signal(signal.SIGTERM)
        self.assertEqual(self.app.wait(20), 0)


def main():
    global APP, REPORT
    APP, REPORT = sys.argv[1], sys.argv[2]
    if os.environ.get(INNER) != "1":
        # A private session bus for everything the test starts, gone when the test ends; even
        # the services it starts on demand see only the temporary home.
        with tempfile.TemporaryDirectory() as base:
            home = os.path.join(base, "home")
            runtime = os.path.join(base, "run")
            os.makedirs(home)
            os.makedirs(runtime, mode=0o700)
            env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=runtime,
                       XDG_CONFIG_HOME=os.path.join(home, ".config"),
                       XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                       XDG_CACHE_HOME=os.path.join(home, ".cache"), **{INNER: "1"})
            sys.exit(subprocess.call(["dbus-run-session", "--", sys.executable, __file__, APP,
                                      REPORT], env=env))
    unittest.main(argv=[sys.argv[0], "-v"])


if __name__ == "__main__":
    main()
