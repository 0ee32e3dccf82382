#!/usr/bin/python3
"""The tray application on the desktops people run: headless sway with swaybar's and waybar's
tray (the app under XWayland, and natively on Wayland), Xvfb with trayer (XEmbed), with the
StatusNotifierItem host of sni_host.py, with Xfce's panel (xfwm4) and LXQt's (openbox); when asked,
Plasma (on X11, and on kwin_wayland's virtual screen), Cinnamon and MATE. Every
host gets the same checks, each session its own bus; one home holds a small transcript tree and
no sign-in. On X11 the panel is read through AT-SPI, as a screen reader does. As root (CI) it
all runs as an unprivileged user, since sway refuses to run as root.

    tst_trayapp.py VARNELUSAGE VARNELUSAGE_REPORT
"""
import contextlib
import ctypes
import glob
import itertools
import json
import math
import os
import pwd
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

W, H = 1280, 800
TAG = "VARNELUSAGE_TRAYTEST"
WATCHER, ITEM, MENU = "org.kde.StatusNotifierWatcher", "org.kde.StatusNotifierItem", "com.canonical.dbusmenu"
PROPS = "org.freedesktop.DBus.Properties"
ACTIONS = ["Show Usage", "Refresh Now", "Settings…", "Quit"]
FALLBACK_LINE = "No system tray found — Varnel Usage keeps running and docks when a tray appears."
# The hosts on sway (the others on X11), and the platform of the app's second start there.
SWAY = {"swaybar": "wayland", "waybar": None}
# The large desktops run only when asked for (scripts/check-desktops).
RUN = os.environ.get("VU_TRAY_HOSTS", "swaybar waybar trayer sni xfce lxqt").split()
# Window managers, the panels' commands, their default layouts, their desktops' environments,
# and the screen edge of the bar that holds the tray.
DESKTOPS = {
    "xfce": (["sh", "-c", "xfsettingsd --no-daemon & exec xfwm4 --compositor=off"],  # light bars
             ["xfce4-panel", "--disable-wm-check"],
             {"xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml": "/etc/xdg/xfce4/panel/default.xml"},
             {"XDG_CURRENT_DESKTOP": "XFCE"}, "top"),
    "lxqt": (["openbox"], ["lxqt-panel"], {"lxqt/panel.conf": "/usr/share/lxqt/panel.conf",
                                           "lxqt/lxqt.conf": "[General]\ntheme=light\n"},
             {"XDG_CURRENT_DESKTOP": "LXQt"}, "bottom"),
    "mate": (["marco", "--no-composite"], ["mate-panel"], None, {"XDG_CURRENT_DESKTOP": "MATE"}, "top"),
    "cinnamon": (None, ["cinnamon", "--replace"], None,
                 {"XDG_CURRENT_DESKTOP": "X-Cinnamon", "LIBGL_ALWAYS_SOFTWARE": "1"}, "bottom"),
    "plasma-x11": (["kwin_x11"], ["sh", "-c", "kded5 & exec plasmashell --no-respawn"], None,
                   {"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true", "KDE_SESSION_VERSION": "5",
                    "KWIN_COMPOSE": "N"}, "bottom")}
# Plasma on Wayland (the app on XWayland), at scale 1 and 2: kwin_wayland is the display server.
for _scale in ("", "-2x"):
    DESKTOPS["plasma-wayland" + _scale] = (None, ["env", "QT_QPA_PLATFORM=wayland"] + DESKTOPS["plasma-x11"][1],
                                           None, DESKTOPS["plasma-x11"][3], "bottom")
BIN = os.path.dirname(os.path.abspath(__file__))
APP, REPORT = os.path.join(BIN, "varnelusage"), os.path.join(BIN, "varnelusage-report")


def accepts(path):
    with socket.socket(socket.AF_UNIX) as probe:
        return probe.connect_ex(path) == 0


def wait_for(what, predicate, timeout=20.0):
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + (what() if callable(what) else what))
        time.sleep(0.1)
    return value


def gap(a, b):
    """Distance between the nearest edges of two rectangles (x, y, w, h); 0 where they meet."""
    dx = max(b[0] - a[0] - a[2], a[0] - b[0] - b[2], 0)
    dy = max(b[1] - a[1] - a[3], a[1] - b[1] - b[3], 0)
    return math.hypot(dx, dy)


def overlap(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


def wait_beside(s, icon):
    """The panel next to the icon without covering it (a covered icon takes no second click),
    wholly on screen; centred on the icon along the bar unless the screen's edge stops it,
    where the host tells where the icon is (waybar does not)."""
    def beside():
        p = s.panel()
        off = p and (p[0] + p[2] / 2) - (icon[0] + icon[2] / 2)
        return p and gap(p, icon) <= 48 and not overlap(p, icon) and p[0] >= 0 and p[1] >= 0 \
            and p[0] + p[2] <= W and p[1] + p[3] <= H and (abs(off) <= icon[2] or s.host == "waybar" or
                                                           p[0] + p[2] > W - 48 and off < 0 or p[0] < 48 and off > 0)
    wait_for(lambda: "the panel (at %s) beside the icon at %s, on screen" % (s.panel(), icon), beside)


def tagged(prefix):
    """Live processes whose tag starts with prefix: everything a session started, even what its
    buses started on demand or its compositor forked off."""
    found = []
    for path in glob.glob("/proc/[0-9]*/environ"):
        with contextlib.suppress(OSError), open(path, "rb") as f:
            if any(v.startswith((TAG + "=" + prefix).encode()) for v in f.read().split(b"\0")):
                found.append(int(path.split("/")[2]))
    return found


def read(path):
    with open(path) as f:
        return f.read()


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def alive(pid):
    try:
        return read("/proc/%d/stat" % pid).rsplit(") ", 1)[1][0] != "Z"
    except OSError:
        return False


def end(pids):
    for sig in (signal.SIGTERM, signal.SIGKILL):
        for pid in filter(alive, pids):
            os.kill(pid, sig)
        deadline = time.monotonic() + 5
        while any(map(alive, pids)) and time.monotonic() < deadline:
            time.sleep(0.05)


def write_tree(root):
    """Three replies of today (one repeated in a second file) and one of an earlier day."""
    today, older = (time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() - ago)) for ago in (60, 3 * 86400))
    one, two = "-home-user-src-one/s1.jsonl", "-home-user-src-two/session/subagents/agent-1.jsonl"
    for path, ts, model, rid, usage in [
            (one, today, "varnel-corvel-4", "1", {"input_tokens": 120, "output_tokens": 80}),
            (one, today, "varnel-magnar-4", "2", {"input_tokens": 2000, "output_tokens": 100, "cache_read_input_tokens": 100}),
            (one, older, "varnel-tindle-3", "3", {"input_tokens": 5000}),
            (two, today, "varnel-corvel-4", "1", {"input_tokens": 120, "output_tokens": 80}),
            (two, today, "varnel-tindle-3", "4", {"output_tokens": 100})]:
        os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
        with open(os.path.join(root, path), "a") as f:
            f.write(json.dumps({"type": "assistant", "timestamp": ts, "requestId": rid,
                                "message": {"id": "m" + rid, "model": model, "usage": usage}}) + "\n")


class Pointer:
    """Real input spoken on the compositor's Wayland socket: wlroots' virtual pointer, which gives
    sway's headless seat a pointer, or KWin's fake input (pointer and keys), so that clicks reach
    the bar as a user's do."""

    def __init__(self, path, kwin=False):
        self.sock, self.next, self.kwin = socket.socket(socket.AF_UNIX), 3, kwin
        self.sock.connect(path)
        self.send(1, 1, 2)  # wl_display.get_registry
        names = {}
        for obj, op, data in self.roundtrip():
            if obj == 2 and op == 0:
                name, n = struct.unpack_from("<II", data)
                names[data[8:7 + n].decode()] = name
        binds = [("org_kde_kwin_fake_input", 4)] if kwin else [("wl_seat", 1), ("zwlr_virtual_pointer_manager_v1", 1)]
        for iface, version in binds:
            self.send(2, 0, names[iface], self.text(iface), version, self.next)
            self.next += 1
        if kwin:  # authenticate
            self.ptr = self.next - 1
            self.send(self.ptr, 0, self.text("varnelusage tests"), self.text("tray checks"))
        else:  # create_virtual_pointer on the seat
            self.ptr, self.next = self.next, self.next + 1
            self.send(self.next - 2, 0, self.next - 3, self.ptr)
        self.roundtrip()

    @staticmethod
    def text(t):
        return struct.pack("<I", len(t) + 1) + t.encode() + b"\0" * (4 - len(t) % 4)

    def send(self, obj, op, *args):
        body = b"".join(a if isinstance(a, bytes) else struct.pack("<I", a) for a in args)
        self.sock.sendall(struct.pack("<II", obj, (8 + len(body)) << 16 | op) + body)

    def roundtrip(self):
        done, self.next = self.next, self.next + 1
        self.send(1, 0, done)  # wl_display.sync
        events, buf = [], b""
        while True:
            while len(buf) < 8 or len(buf) < struct.unpack_from("<I", buf, 4)[0] >> 16:
                chunk = self.sock.recv(65536)
                assert chunk, "the compositor closed the connection"
                buf += chunk
            obj, word = struct.unpack_from("<II", buf)
            events.append((obj, word & 0xffff, buf[8:word >> 16]))
            buf = buf[word >> 16:]
            assert (obj, word & 0xffff) != (1, 0), "protocol error: %r" % events[-1][2]
            if obj == done:
                return events

    def click(self, x, y, button):
        code = {"left": 0x110, "right": 0x111}[button]
        if self.kwin:
            self.move(x, y)
            for state in (1, 0):
                self.send(self.ptr, 2, code, state)
            return self.roundtrip()
        # Stamped a second apart at least: clients take two quick clicks on one spot for a double
        # click (waybar activates the item once more on it), and each of ours is a click of its own.
        self.stamp = max(int(time.monotonic() * 1000), getattr(self, "stamp", 0) + 1000)
        stamp = self.stamp & 0xffffffff
        self.send(self.ptr, 1, stamp, x, y, W, H)  # motion_absolute
        self.send(self.ptr, 4)  # frame
        for state in (1, 0):
            self.send(self.ptr, 2, stamp, code, state)
            self.send(self.ptr, 4)
        self.roundtrip()

    def move(self, x, y):  # KWin's pointer_motion_absolute, in wl_fixed coordinates
        self.send(self.ptr, 9, x * 256, y * 256)
        self.roundtrip()

    def key(self, name):  # KWin's keyboard_key, by evdev code
        for state in (1, 0):
            self.send(self.ptr, 10, {"Escape": 1, "Return": 28, "Up": 103}[name], state)
        self.roundtrip()


class Session:
    """One desktop: a private session bus, the display server, its tray host and the app."""

    def __init__(self, kind, host, base):
        import dbus
        self.kind, self.host, self.procs = kind, host, []
        # A large desktop's shell takes its time to come up on a busy machine.
        self.patience = 90.0 if host in DESKTOPS and host not in ("xfce", "lxqt") else 20.0
        self.dir = tempfile.mkdtemp(prefix=host + "-", dir=base)
        self.tag = self.dir
        run = os.path.join(self.dir, "run")
        os.mkdir(run, 0o700)
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update({TAG: self.tag, "XDG_RUNTIME_DIR": run,
                         "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + run + "/bus"})
        if host in DESKTOPS:  # the panel's settings daemon is started by the bus: set up first
            self.env.update(DESKTOPS[host][3], XDG_CONFIG_HOME=os.path.join(self.dir, "config"))
            for name, text in (DESKTOPS[host][2] or {}).items():  # a file's text, or the file to copy
                write(os.path.join(self.env["XDG_CONFIG_HOME"], name), read(text) if text.startswith("/") else text)
        self.spawn("bus", ["dbus-daemon", "--session", "--nofork", "--address=" + self.env["DBUS_SESSION_BUS_ADDRESS"]])
        # The socket file appears before the daemon listens on it: wait for a connection.
        wait_for("the session bus", lambda: accepts(run + "/bus"))
        self.bus = dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"])
        {"sway": self.sway_display, "kwin": self.kwin_display, "x11": self.x_display}[kind]()

    def share_display(self):
        """Services the bus starts (a desktop's activity and shortcut daemons) need the display."""
        self.bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "UpdateActivationEnvironment", "a{ss}",
                               ({k: self.env[k] for k in ("DISPLAY", "WAYLAND_DISPLAY") if k in self.env},))

    def spawn(self, name, argv, **env):
        with open(os.path.join(self.dir, name + ".log"), "a") as log:
            self.procs.append(subprocess.Popen(argv, env=dict(self.env, **env), stdout=log, stderr=log))
        return self.procs[-1]

    def sway_display(self):
        write(self.dir + "/sway.conf", "output HEADLESS-1 resolution %dx%d position 0 0\nxwayland enable\n"
              "focus_follows_mouse no\ninclude %s/bar.conf\nexec echo $DISPLAY > %s/display\n" % (W, H, self.dir, self.dir))
        write(self.dir + "/bar.conf", "")
        self.spawn("sway", ["sway", "-c", self.dir + "/sway.conf"], WLR_BACKENDS="headless", WLR_RENDERER="pixman",
                   WLR_LIBINPUT_NO_DEVICES="1")
        run, shown = self.env["XDG_RUNTIME_DIR"], self.dir + "/display"
        wait_for("sway", lambda: os.path.exists(shown) and os.path.getsize(shown) and glob.glob(run + "/sway-ipc.*"))
        wayland = glob.glob(run + "/wayland-[0-9]")[0]
        self.env.update(WAYLAND_DISPLAY=os.path.basename(wayland), SWAYSOCK=glob.glob(run + "/sway-ipc.*")[0],
                        DISPLAY=read(shown).strip(), XDG_CURRENT_DESKTOP="sway",
                        XDG_SESSION_TYPE="wayland")
        self.pointer = Pointer(wayland)
        write(self.dir + "/waybar.json", json.dumps({"height": 28, "modules-right": ["tray"], "tray": {"icon-size": 20}}))
        write(self.dir + "/waybar.css", "window#waybar { background: #202020; }\n")

    def kwin_display(self):
        # A copy of kwin_wayland has no file capability, which this kind of machine refuses.
        kwin, wayland = self.dir + "/kwin_wayland", self.env["XDG_RUNTIME_DIR"] + "/wayland-vu"
        shutil.copy("/usr/bin/kwin_wayland", kwin)
        # KWin takes screenshots for a program whose desktop file asks for it (the first one it finds
        # naming the program): ours, in place of the interpreter's own, find the icon.
        exe = os.path.realpath(sys.executable)
        write("%s/applications/%s.desktop" % (self.env["XDG_DATA_HOME"], os.path.basename(exe)), "[Desktop Entry]\n"
              "Type=Application\nName=Tests\nExec=%s\nX-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n" % exe)
        self.spawn("kwin", [kwin, "--virtual", "--width", str(W), "--height", str(H), "--xwayland", "--socket",
                            "wayland-vu", "--no-lockscreen", "--scale", "2" if self.host.endswith("2x") else "1"],
                   KWIN_COMPOSE="O2", KWIN_WAYLAND_NO_PERMISSION_CHECKS="1", QT_QPA_PLATFORM="offscreen")
        wait_for("kwin_wayland", lambda: accepts(wayland), self.patience)
        args = wait_for("XWayland", lambda: next((read("/proc/%d/cmdline" % p).split("\0") for p in tagged(self.tag)
                                                  if read("/proc/%d/comm" % p) == "Xwayland\n"), None))
        self.env.update(WAYLAND_DISPLAY="wayland-vu", DISPLAY=next(a for a in args if a.startswith(":")),
                        XDG_SESSION_TYPE="wayland")
        wait_for("XWayland's display", lambda: accepts("/tmp/.X11-unix/X" + self.env["DISPLAY"][1:]))
        self.share_display()
        self.pointer, self.scripts = Pointer(wayland, kwin=True), 0

    def kwin_windows(self):
        """KWin's windows, its Wayland clients' popups among them, as a script of its own lists them."""
        self.scripts += 1
        n, log = self.scripts, self.dir + "/kwin.log"
        write(self.dir + "/windows.js", "for (const w of workspace.clientList()) print('VUWIN%d ' + JSON.stringify({"
              "title: w.caption, rect: [w.x, w.y, w.width, w.height], override: w.popupWindow, skip: w.skipTaskbar, "
              "type: w.normalWindow ? 'normal' : w.utility ? 'utility' : w.tooltip ? 'tooltip' : ''}));"
              "print('VUWIN%d end');" % (n, n))
        kwin = lambda method, *args: self.bus.call_blocking("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                                                            method, "s" * len(args), args)
        kwin("loadScript", self.dir + "/windows.js", "vu%d" % n)
        kwin("start")
        lines = wait_for("KWin's list of windows", lambda: "VUWIN%d end" % n in read(log) and read(log).split("VUWIN%d " % n))
        kwin("unloadScript", "vu%d" % n)
        return [json.loads(w.split("\n")[0]) for w in lines[1:-1]]

    def x_display(self):
        r, w = os.pipe()
        self.procs.append(subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "%dx%dx24" % (W, H),
                                            "-nolisten", "tcp", "-noreset"], env=self.env, pass_fds=(w,),
                                           stderr=subprocess.DEVNULL))
        os.close(w)
        # Xvfb writes the number, then a newline; closing the pipe before that makes it give up.
        with os.fdopen(r) as out:
            number = out.readline().strip()
        assert number, "Xvfb did not start"
        self.env.update(DISPLAY=":" + number, XDG_SESSION_TYPE="x11")
        self.share_display()
        if self.host == "trayer":
            self.spawn("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        if self.host in DESKTOPS and DESKTOPS[self.host][0]:
            self.spawn("wm", DESKTOPS[self.host][0])
            wait_for("the window manager", lambda: self.x_root_property("_NET_SUPPORTING_WM_CHECK"))

    # --- the tray host --------------------------------------------------------------------
    def start_host(self):
        if self.host == "swaybar":
            write(self.dir + "/bar.conf", "bar {\n  position top\n  font pango:DejaVu Sans 10\n  tray_output *\n}\n")
            self.swaymsg("reload")
        else:
            self.host_proc = self.spawn(self.host, {
                "waybar": ["waybar", "-c", self.dir + "/waybar.json", "-s", self.dir + "/waybar.css"],
                "trayer": ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "160",
                           "--height", "24", "--SetDockType", "true", "--transparent", "false"],
                "sni": [sys.executable, os.path.join(BIN, "sni_host.py")],
                **{d: v[1] for d, v in DESKTOPS.items()}}[self.host])
        wait_for("the tray host " + self.host, self.x_selection_owned if self.host == "trayer" else lambda: bool(
            self.bus.call_blocking("org.freedesktop.DBus", "/", "org.freedesktop.DBus", "NameHasOwner", "s", (WATCHER,))),
            self.patience)

    def kill_host(self):
        if self.host == "swaybar":  # sway starts it again on reload
            end([p for p in tagged(self.tag) if read("/proc/%d/comm" % p) == "swaybar\n"])
        else:  # with what it started beside itself (Plasma's tray watcher)
            pid = self.host_proc.pid
            children = read("/proc/%d/task/%d/children" % (pid, pid)).split() if alive(pid) else []
            end([pid] + [int(c) for c in children])
            self.host_proc.wait()

    @contextlib.contextmanager
    def xdisplay(self):
        from Xlib import display, ext
        # The library fails to open a second display once it has set up this extension.
        ext.__extensions__ = [e for e in ext.__extensions__ if e[0] != "RANDR"]
        d = display.Display(self.env["DISPLAY"])
        try:
            yield d
        finally:
            d.close()

    def x_selection_owned(self):
        with self.xdisplay() as d:
            return d.get_selection_owner(d.intern_atom("_NET_SYSTEM_TRAY_S0")) != 0

    def x_root_property(self, name):
        from Xlib import X
        with self.xdisplay() as d:
            return d.screen().root.get_full_property(d.intern_atom(name), X.AnyPropertyType)

    def pixels(self, top, height):
        """The screen's rows from top on, 4 bytes a pixel (blue, green, red, and a fourth)."""
        if self.kind == "x11":
            from Xlib import X
            with self.xdisplay() as d:
                return d.screen().root.get_image(0, top, W, height, X.ZPixmap, 0xffffffff).data
        import dbus
        r, w = os.pipe()
        with os.fdopen(r, "rb") as out:
            try:
                info = self.bus.call_blocking("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2",
                                              "CaptureArea", "iiuua{sv}h", (0, top, W, height, {}, dbus.types.UnixFd(w)))
            except dbus.DBusException:
                return None
            finally:
                os.close(w)
            data, scale, stride = out.read(), int(info["width"]) // W, int(info["stride"])
        # At scale 2 the image has each logical pixel's four: one of them stands for it.
        return b"".join(data[o:o + 4] for y in range(height)
                        for o in range(y * scale * stride, y * scale * stride + W * scale * 4, scale * 4))

    def bar_icon(self):
        """Our icon on the panel's bar: the block of columns that its dark plate fills (other
        icons there are strokes, or light), on light bars and dark ones, dimmed or not."""
        top = 0 if DESKTOPS[self.host][4] == "top" else H - 48
        px = self.pixels(top, 48)
        if not px:  # KWin offers screenshots a moment after it starts
            return None
        at = lambda x, y: max(px[(y * W + x) * 4:(y * W + x) * 4 + 3])
        edge = range(48) if top == 0 else range(47, -1, -1)
        bar = at(W // 2, edge[0])  # the bar's colour at the screen's edge, in its empty middle
        rows = list(itertools.takewhile(lambda y: abs(at(W // 2, y) - bar) <= 0x30, edge))
        # The plate is far darker than the bar, even drawn at part opacity (Plasma dims it).
        dark = bar * 0.6 if bar < 0x80 else bar * 0.45
        cols = [[y for y in rows if at(x, y) < dark] for x in range(W)]
        x = W - 1
        while x >= 0:  # trays sit at the right end
            end = x
            while x >= 0 and len(cols[x]) >= 5:
                x -= 1
            ys = [y for c in cols[x + 1:end + 1] for y in c]
            # An icon's width, and as tall as wide: not a dark stretch of desktop or text.
            if 12 <= end - x <= 40 and 0.6 <= (max(ys) - min(ys) + 1) / (end - x) <= 1.4:
                return x + 1, top + min(ys), end - x, max(ys) - min(ys) + 1
            x -= 1

    # --- the item -------------------------------------------------------------------------
    def items(self):
        if self.host == "trayer":
            return self.x_windows(tray=True)
        try:
            return [str(i) for i in self.bus.call_blocking(WATCHER, "/StatusNotifierWatcher", PROPS, "Get", "ss",
                                                           (WATCHER, "RegisteredStatusNotifierItems"))]
        except Exception:
            return []

    def call(self, iface, method, sig="", args=(), path=None):
        item = self.items()[0]
        service, _, rest = item.replace("@/", "/").partition("/")
        return self.bus.call_blocking(service, path or "/" + rest, iface, method, sig, args)

    def icon(self):
        """Where the tray drew the item, if it did: the rectangle its pixels cover."""
        if self.host == "trayer":
            return next(iter(self.items()), None)
        if self.host in DESKTOPS:
            return self.bar_icon()
        if self.host == "sni":  # this host draws nothing: the picture is there, at a place of ours
            pixmaps = self.call(PROPS, "Get", "ss", (ITEM, "IconPixmap")) if self.items() else []
            drawn = any(bytes(bytearray(d))[0::4].strip(b"\0") for _, _, d in pixmaps)
            return (W - 40, 0, 24, 24) if drawn else None
        shot = subprocess.run(["grim", "-g", "0,0 %dx40" % W, "-t", "ppm", "-"], env=self.env,
                              capture_output=True, check=True).stdout
        px = shot.split(b"\n", 3)[3]
        at = lambda x, y: px[(y * W + x) * 3:(y * W + x) * 3 + 3]
        bar = at(W // 2, 0)  # the bar is empty in its middle
        hits = [(x, y) for y in range(40) if at(W // 2, y) == bar for x in range(W // 2, W) if at(x, y) != bar]
        if not hits:
            return None
        xs, ys = [x for x, _ in hits], [y for _, y in hits]
        return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1

    def activate(self, icon, button="left"):
        if self.host in DESKTOPS:  # a bar's other applets may have moved it (a new notification)
            icon = self.bar_icon() or icon
        x, y = icon[0] + icon[2] // 2, icon[1] + icon[3] // 2
        if button == "left":  # a click within the panel's reopen guard would count as the closing one
            wait_for("the panel's reopen guard to end", lambda: not read(self.dir + "/app.log")[self.app_from:]
                     .rpartition(" reopen guard ")[2].startswith("on"))
        if self.host == "sni":  # the pointer is where the user clicks, as the app may check
            self.xdotool("mousemove", "--sync", "0", "400", "mousemove", "--sync", str(x), str(y))
        elif self.host != "waybar" or button == "left":
            return self.click(x, y, button)
        # This host draws nothing; waybar draws the exported menu itself on a right click.
        self.call(ITEM, "Activate" if button == "left" else "ContextMenu", "ii", (x, y))

    def click(self, x, y, button="left"):
        if self.kind != "x11":
            return self.pointer.click(x, y, button)
        self.xdotool("mousemove", "--sync", "0", "400", "mousemove", "--sync", str(x), str(y),
                     "click", "1" if button == "left" else "3")

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), env=self.env, check=True)

    def key(self, name):
        if self.kind == "kwin":
            return self.pointer.key(name)
        # wtype sends its own keymap first, which XWayland takes a moment to apply.
        argv = ["wtype", "-s", "250", "-k", name] if self.kind == "sway" else ["xdotool", "key", name]
        subprocess.run(argv, env=self.env, check=True)

    def swaymsg(self, *args):
        return subprocess.run(["swaymsg", "-r"] + list(args), env=self.env, capture_output=True, check=True).stdout

    def layout(self):
        """The exported menu's rows: (id, label, enabled), separators left out."""
        path = self.call(PROPS, "Get", "ss", (ITEM, "Menu"))
        with contextlib.suppress(Exception):
            self.call(MENU, "AboutToShow", "i", (0,), path)
        _, (_, _, rows) = self.call(MENU, "GetLayout", "iias", (0, -1, []), path)
        return [(int(i), str(p.get("label", "")).replace("_", ""), bool(p.get("enabled", True)))
                for i, p, _ in rows if p.get("type", "standard") != "separator" and p.get("visible", True)]

    # --- windows --------------------------------------------------------------------------
    def x_windows(self, tray=False):
        """Mapped top-level X windows (with XWayland: those it does not manage), or with tray
        our icons embedded in a tray, when drawn."""
        from Xlib import X
        out = []

        def rect(w):
            pos, geo = w.translate_coords(root, 0, 0), w.get_geometry()
            return -pos.x, -pos.y, geo.width, geo.height

        def client(frame):
            for c in frame.query_tree().children:
                if c.get_attributes().map_state == X.IsViewable:
                    found = c if c.get_wm_class() else client(c)
                    if found:
                        return found

        def walk(win, depth):
            for w in win.query_tree().children:
                try:
                    attrs, cls = w.get_attributes(), w.get_wm_class()
                    if attrs.map_state != X.IsViewable:
                        continue
                    if tray and depth and cls and cls[0] == "varnelusage":
                        image = root.get_image(*rect(w), X.ZPixmap, 0xffffffff).data
                        if len({image[i:i + 4] for i in range(0, len(image), 4)}) > 2:
                            out.append(rect(w))
                    elif not tray and depth == 0:
                        w = w if cls else client(w)  # a window manager's frame: its client is inside
                        name = w.get_full_property(atom("_NET_WM_NAME"), atom("UTF8_STRING"))
                        kind = w.get_full_property(atom("_NET_WM_WINDOW_TYPE"), X.AnyPropertyType)
                        kind = d.get_atom_name(kind.value[0]).split("_TYPE_")[1].lower() if kind else ""
                        state = w.get_full_property(atom("_NET_WM_STATE"), X.AnyPropertyType)
                        out.append({"title": name.value.decode() if name else "", "rect": rect(w),
                                    "override": bool(attrs.override_redirect), "type": kind,
                                    "skip": bool(state) and atom("_NET_WM_STATE_SKIP_TASKBAR") in state.value})
                    if tray:
                        walk(w, depth + 1)
                except Exception:  # gone meanwhile
                    continue
        with self.xdisplay() as d:
            root, atom = d.screen().root, d.intern_atom
            walk(root, 0)
        return out

    def panel_focused(self):
        with self.xdisplay() as d:
            focus = d.get_input_focus().focus
            name = None if isinstance(focus, int) else focus.get_full_property(
                d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING"))
            return bool(name) and name.value == b"Varnel Usage"

    def windows(self):
        if self.kind == "x11":
            return self.x_windows()
        out = [w for w in self.x_windows() if w["override"]]
        if self.kind == "kwin":
            return out + self.kwin_windows()

        def walk(node):
            if node.get("pid") and node.get("visible"):
                r, props = node["rect"], node.get("window_properties") or {}
                out.append({"title": node.get("name") or "", "rect": (r["x"], r["y"], r["width"], r["height"]),
                            "override": False, "type": props.get("window_type", "")})
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(json.loads(self.swaymsg("-t", "get_tree")))
        return out

    def panel(self):
        return next((w["rect"] for w in self.windows()
                     if w["title"] == "Varnel Usage" and w["type"] != "normal"), None)

    def fallback(self):
        return [w for w in self.windows() if w["title"] == "Varnel Usage" and w["type"] == "normal"]

    def menu(self):
        # Qt's menus on X11 are unmanaged windows typed normal; its tooltips say what they are;
        # window managers keep tiny or off-screen unmanaged windows of their own.
        return [w for w in self.windows() if w["override"] and w["title"] != "Varnel Usage"
                and w["type"] not in ("tooltip", "utility") and min(w["rect"]) >= 0 and min(w["rect"][2:]) > 8]

    def stop(self):
        if hasattr(self, "pointer"):
            self.pointer.sock.close()
        end(tagged(self.tag))
        for p in self.procs:
            p.wait()


def accessible(s, press=None):
    """Names of our showing labels and buttons in tree order; or presses the button named so."""
    if "AT_SPI_BUS_ADDRESS" not in os.environ:  # read once, when the library loads
        os.environ["AT_SPI_BUS_ADDRESS"] = str(s.bus.call_blocking("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                                                   "GetAddress", "", ()))
    import pyatspi
    desktop, out = pyatspi.Registry.getDesktop(0), []

    def walk(acc):
        try:
            if not acc.getState().contains(pyatspi.STATE_SHOWING):
                return
            if acc.getRole() in (pyatspi.ROLE_LABEL, pyatspi.ROLE_PUSH_BUTTON) and acc.name:
                if press == acc.name and acc.getRole() == pyatspi.ROLE_PUSH_BUTTON:
                    acc.queryAction().doAction(0)
                    out.append(press)
                out.append(acc.name)
            for i in range(acc.childCount):
                walk(acc.getChildAtIndex(i))
        except Exception:
            return
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "VarnelUsage":
            walk(app)
    return press in out if press else out


class TrayAppTest(unittest.TestCase):
    def setUp(self):
        self.root = os.path.join(os.environ["HOME"], ".varnel", "projects")
        if not os.path.isdir(self.root):
            write_tree(self.root)
        report = subprocess.run([REPORT, "--root", self.root], capture_output=True, text=True, check=True).stdout
        # The report prints today's figures as the panel does.
        self.today = re.search(r"^Today\s+(\S+)\s+(\S+) tokens\s+(\d+) message", report, re.M).groups()
        self.sessions = []

    def tearDown(self):
        for s in self.sessions:
            s.stop()

    def start(self, s, platform=None):
        env = {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "VARNELUSAGE_TEST_PAINT_TRACE": "1"}
        if platform:
            env["QT_QPA_PLATFORM"] = platform
        s.app_from = len(read(s.dir + "/app.log")) if os.path.exists(s.dir + "/app.log") else 0
        return s.spawn("app", [APP], **env)  # an app that quit within its reopen guard left it on

    def docked(self, s, when):
        """The icon of the one item the host shows, once drawn, and no fallback window."""
        seen = []  # where the host drew it, once its bar has laid it out (icons shift meanwhile)
        if s.kind == "kwin":  # Plasma draws the icon under a resting pointer lighter: the user's is elsewhere
            s.pointer.move(W // 2, H // 2)
        icon = wait_for(lambda: "the item %s (items %s, icon at %s)" % (when, s.items(), seen[-3:]), lambda: seen.append(s.items() and s.icon()) or (
            len(seen) > 2 and seen[-1] == seen[-2] == seen[-3] and seen[-1]), s.patience)
        self.assertEqual(len(s.items()), 1, s.items())
        wait_for("the fallback window to go", lambda: not s.fallback())
        return icon

    def check_panel(self, s, icon):
        """The panel opens next to the icon; Escape, a second activation and a click elsewhere
        close it."""
        s.activate(icon)
        wait_beside(s, icon)
        if s.kind != "sway":  # part of the icon, not a window of its own to switch to
            self.assertTrue([w["skip"] for w in s.windows() if w["title"] == "Varnel Usage"] == [True])
        if s.host in DESKTOPS:  # the window manager hands the panel the keyboard a moment after it maps
            wait_for("the panel to get the keyboard", s.panel_focused)
        s.key("Escape")
        wait_for("Escape to close the panel", lambda: not s.panel())
        s.activate(icon)
        wait_for(lambda: "the panel to open again; the app said: " + read(s.dir + "/app.log")[-300:], s.panel)
        s.activate(icon)
        wait_for("a second activation to close the panel", lambda: not s.panel())
        s.activate(icon)
        wait_beside(s, icon)  # sway shows it centred first, under the click below
        # A click elsewhere: on a bar's empty middle, or the bare desktop (neither takes the focus);
        # under KWin a click on its own surfaces reaches no X client: there the desktop takes the focus.
        s.click(*((W // 2, icon[1] + icon[3] // 2) if s.kind == "x11" and s.host in DESKTOPS else (W // 2, H // 2)))
        wait_for("a click elsewhere to close the panel", lambda: not s.panel())

    def check_host(self, name):
        s = Session("sway" if name in SWAY else "kwin" if name.startswith("plasma-wayland") else "x11", name, os.path.dirname(os.environ["HOME"]))
        self.sessions.append(s)
        # Started before its tray, as at login: the item docks when the host comes.
        app = self.start(s)
        if name == "trayer":  # the fallback window until a host comes
            # Shown 5 s after start; the wait leaves room for a slow start on a busy machine.
            wait_for("the fallback window", s.fallback, timeout=15)
            wait_for("the fallback line", lambda: FALLBACK_LINE in accessible(s))
        else:  # the item waits on the bus for a tray to come
            wait_for("the item's bus name", lambda: any(n.startswith(ITEM + "-%d-" % app.pid) for n in s.bus.list_names()))
        s.start_host()
        icon = self.docked(s, "on a late " + name)
        self.check_panel(s, icon)
        s.activate(icon, "right")
        wait_for("the context menu", s.menu)
        self.assertIsNone(s.panel())
        s.key("Escape")
        wait_for("the context menu to close", lambda: not s.menu())
        if name == "trayer":
            self.check_screen_reader(s, app, icon)
        s.kill_host()
        if name == "sni":  # with the tray gone for good, the window stands in for it again
            wait_for("the fallback window", s.fallback, timeout=15)
        s.start_host()
        icon = self.docked(s, "on the restarted " + name)
        if s.kind != "sway" and name != "sni":
            s.activate(icon, "right")
            m = wait_for("the context menu", s.menu)[0]["rect"]
        if name == "trayer":  # XEmbed has no exported menu: its own menu's last entry quits
            s.key("Up")
            s.key("Return")
        elif name in DESKTOPS:  # the host's own menu, its last entry clicked (Xfce sends an EventGroup)
            s.click(m[0] + m[2] // 2, m[1] + m[3] - 12)
        else:
            rows = s.layout()  # disabled figure rows, today's cost among them, then the actions
            figures, actions = rows[:-len(ACTIONS)], [label for _, label, _ in rows[-len(ACTIONS):]]
            self.assertEqual(actions, ACTIONS, rows)
            self.assertFalse(any(enabled for _, _, enabled in figures), rows)
            self.assertTrue(any(self.today[0] in label for _, label, _ in figures), (self.today, rows))
            s.call(MENU, "Event", "isvu", (rows[-1][0], "clicked", "", 0), s.call(PROPS, "Get", "ss", (ITEM, "Menu")))
        self.assertEqual(app.wait(20), 0)
        wait_for("the item to go with the app", lambda: not s.items())
        # Started with the host there (on sway also natively on Wayland); SIGTERM ends it cleanly.
        app = self.start(s, SWAY.get(name))
        icon = self.docked(s, "at start")
        s.activate(icon)
        wait_beside(s, icon)
        app.send_signal(signal.SIGTERM)
        self.assertEqual(app.wait(20), 0)

    def check_screen_reader(self, s, app, icon):
        """What a screen reader reads; a second start shows the panel; one settings window."""
        s.activate(icon)
        cost, tokens, count = self.today
        expected = ["Varnel Usage", "Plan limits (official)", "Sign in with Varnel Code", "Today", "Cost", cost,
                    "Tokens", tokens, "Messages", count, "Last 7 days", "Settings…", "Quit"]
        texts = wait_for("the panel's texts", lambda: (t := accessible(s)) and all(e in t for e in expected) and t)
        order = [texts.index(e) for e in expected]
        self.assertEqual(order, sorted(order), texts)
        self.assertIn("Refresh now", texts)
        self.assertTrue(any(t.startswith("Updated ") for t in texts), texts)
        self.assertNotIn("Loading…", texts)
        s.key("Escape")
        wait_for("Escape to close the panel", lambda: not s.panel())
        self.assertEqual(subprocess.run([APP], env=s.env, capture_output=True, timeout=30).returncode, 0)
        wait_for("a second start to show the panel", s.panel)
        settings = lambda: [w for w in s.windows() if w["title"] == "Varnel Usage Settings"]
        for _ in range(2):  # asked again from the panel, it opens no second one
            if not s.panel():  # the settings window took the activation and closed the panel
                s.activate(icon)
            wait_for("the Settings button", lambda: accessible(s, "Settings…"))
            wait_for("one settings window", lambda: len(settings()) == 1)


for _name in RUN:
    setattr(TrayAppTest, "test_" + _name, lambda self, n=_name: self.check_host(n))


def main():
    """Copies the programs where an unprivileged user can run them, runs the tests as that user
    when started as root, and then ends whatever they left running and removes their files."""
    if os.environ.get(TAG):
        return unittest.main(argv=sys.argv[:1] + ["-v"] + sys.argv[1:])
    ctypes.CDLL(None).prctl(36, 1)  # PR_SET_CHILD_SUBREAPER: what sessions fork off stays ours
    had_x_dir = os.path.isdir("/tmp/.X11-unix")
    base = tempfile.mkdtemp(prefix="vu-tray-", dir="/tmp")  # short: socket paths are limited
    run_as, status = [], 1
    try:
        bin_dir, home = os.path.join(base, "bin"), os.path.join(base, "home")
        os.mkdir(bin_dir)
        for path in sys.argv[1:3] + [__file__, os.path.join(BIN, "sni_host.py")]:
            shutil.copy(path, bin_dir)
        os.makedirs(home)
        os.mkdir(os.path.join(base, "run"), 0o700)
        if os.getuid() == 0:
            user = os.environ.get("VU_DESKTOP_USER", "deskuser")
            if subprocess.run(["id", user], capture_output=True).returncode:
                subprocess.run(["useradd", "-m", "-s", "/bin/bash", user], check=True)
            entry = pwd.getpwnam(user)
            run_as = ["setpriv", "--reuid=%d" % entry.pw_uid, "--regid=%d" % entry.pw_gid, "--init-groups", "--"]
            subprocess.run(["chown", "-R", "%d:%d" % (entry.pw_uid, entry.pw_gid), base], check=True)
        env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": home, "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
               "TZ": "UTC", "XDG_CONFIG_HOME": home + "/.config", "XDG_DATA_HOME": home + "/.local/share",
               "XDG_CACHE_HOME": home + "/.cache", "XDG_RUNTIME_DIR": base + "/run", TAG: base,
               "VU_TRAY_HOSTS": " ".join(RUN)}
        argv = [sys.executable, os.path.join(bin_dir, os.path.basename(__file__))] + sys.argv[3:]
        status = subprocess.call(run_as + argv, env=env)
    finally:
        end(tagged(base))
        with contextlib.suppress(ChildProcessError):
            while os.waitpid(-1, os.WNOHANG) != (0, 0):
                pass
        shutil.rmtree(base, ignore_errors=True)
        if not had_x_dir:
            with contextlib.suppress(OSError):
                os.rmdir("/tmp/.X11-unix")
    sys.exit(status)


if __name__ == "__main__":
    main()
