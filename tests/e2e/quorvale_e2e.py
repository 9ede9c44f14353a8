#!/usr/bin/env python3
"""Drives the built quorvale program from outside, in a real X server, as a person would.

Xvfb provides the screen, xdotool the mouse and the keyboard, ImageMagick's `import` the
pictures. The program runs from a folder of its own (so Rapport.txt lands there), with
QUORVALE_SYSTEM_DIR pointing at a Windows-style tree whose drivers/etc/HOSTS is made of real
blocklist files, and with a PATH whose xdg-open only records how it was called.

Usage: quorvale_e2e.py --bin-dir BUILD/bin --data-dir tests/data/real --docs-dir docs
With E2E_SCREENSHOTS=1 the pictures of the main window, the find window, the options window,
the Sources window and the about window are written into the docs folder; otherwise they go to
the temporary folder only.
With E2E_KEEP=1 the temporary folder is kept (it is always kept when a step fails).
"""

import argparse
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from x_session import Failure, Picture, XDisplay, check, end_with_parent, note, wait_until  # noqa: E402

# Every fixed size below is the window's design size at 96 dpi: 15 twips per pixel.
CLIENT_WIDTH = 543
CLIENT_HEIGHT = 430
LIST1 = (8, 8, 529, 241)  # left, top, width, height inside the client area
LIST2 = (8, 264, 529, 137)
OPTIONS_OK = (96 + 73 // 2, 88 + 25 // 2)  # centre of "OK" in the options window

SOURCE_DATE_EPOCH = "1700000000"
SAVED_NAME = "Liste.txt"
REPORT_RULE = b"-" * 33

# Lines added after the real files: entries with comments, so that the answer to the
# comments question shows in the written file, and two lines that must be refused.
EXTRA_LINES = [
    b"0.0.0.0 0-stats.example.net # collecte de statistiques",
    b"10.0.0.5\tintranet.example.org #bureau",
    b"127.0.0.1 abc",
    b"not-an-address example.com",
]
EXTRA_REJECTED = [b"127.0.0.1 abc", b"not-an-address example.com"]
# The row found with Ctrl+F and removed with Delete before the save.
REMOVED_NAME = b"0-stats.example.net"

# The user's sources: a HOSTS list from the tests' HTTP server and a list of names on disk,
# beside own lines (with a comment) and one allowed name taken from the served list.
SERVED_LIST = "FadeMind__hosts.extras__add.2o7Net_hosts"
LOCAL_LIST = "Perflyst__PiHoleBlocklist__SmartTV.txt"
LOCAL_PATH = "lists/smart-tv.txt"
OWN_LINES = b"10.0.0.7 nas.example.lan # serveur du bureau\r\n"
ALLOWED_NAME = b"smetrics.airbank.cz"
UPDATED_NAME = "Sources-hosts.txt"
# The Sources window's buttons, left to right ("Annuler" is shown disabled), and the narrowest.
SOURCES_BUTTONS = ["Ajouter...", "Modifier...", "Supprimer", "Mettre a jour", "Noms autorises...", "Fermer",
                   "Annuler"]
UPDATE_BUTTON = SOURCES_BUTTONS.index("Mettre a jour")
MIN_BUTTON_WIDTH = 40
HTTP_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "http_test_server.py")


class Quorvale:
    """The program under test and the windows it shows."""

    def __init__(self, display, work, app_dir, system_dir, fake_bin, user=None):  # user: run as that account
        self.display = display
        env = display.env()
        env.update({
            "QUORVALE_SYSTEM_DIR": system_dir,
            "PATH": fake_bin + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"),
            "SOURCE_DATE_EPOCH": SOURCE_DATE_EPOCH,
            "LC_ALL": "C",
            "TZ": "UTC",
            "HOME": os.path.join(work, "home"),
            "XDG_CONFIG_HOME": os.path.join(work, "home", ".config"),
            "XDG_CACHE_HOME": os.path.join(work, "home", ".cache"),
            "XDG_DATA_HOME": os.path.join(work, "home", ".local", "share"),
            "XDG_RUNTIME_DIR": os.path.join(work, "runtime"),
            "QT_QPA_PLATFORM": "xcb",
        })
        # A desktop theme plugin would bring native dialogs; the test drives Qt's own.
        for name in ("QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"):
            env.pop(name, None)
        env.pop("QT_SCALE_FACTOR", None)
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        account = {}
        if user:
            shutil.chown(env["XDG_RUNTIME_DIR"], user)
            account = {"user": user, "group": pwd.getpwnam(user).pw_gid, "extra_groups": []}
        self.log = open(os.path.join(work, "quorvale.log"), "wb")
        self.process = subprocess.Popen([os.path.join(app_dir, "quorvale")], env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT,
                                        preexec_fn=end_with_parent, **account)
        self.work = work
        self.shots = 0

    def windows(self):
        """The program's visible windows: id -> name."""
        if self.process.poll() is not None:
            raise Failure("quorvale ended early with code %d" % self.process.returncode)
        out = self.display.xdotool("search", "--onlyvisible", "--pid", str(self.process.pid),
                                   ok_codes=(0, 1))
        found = {}
        for line in out.split():
            window = int(line)
            name = self.display.xdotool("getwindowname", str(window), ok_codes=(0, 1)).rstrip("\n")
            found[window] = name
        return found

    def wait_window(self, name, exclude=(), timeout=20.0):
        def find():
            for window, title in self.windows().items():
                if title == name and window not in exclude:
                    return window
            return None
        return wait_until("the window \"%s\"" % name, find, timeout)

    def wait_gone(self, window, timeout=20.0):
        wait_until("window %d to close" % window, lambda: window not in self.windows(), timeout)

    def geometry(self, window):
        out = self.display.xdotool("getwindowgeometry", "--shell", str(window))
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def picture(self, window, png_path=None):
        self.shots += 1
        ppm = os.path.join(self.work, "shot%02d.ppm" % self.shots)
        self.display.run("import", "-window", str(window), "-depth", "8", "ppm:" + ppm)
        if png_path:
            self.display.run("import", "-window", str(window), "-strip", "png:" + png_path)
        return Picture(ppm)

    def park_pointer(self):
        """Moves the pointer off the program's windows, so that no item shows a hover look."""
        self.display.xdotool("mousemove", "1020", "760")

    def click(self, x, y):
        # "mousemove --sync" would wait for a motion that never comes when the pointer is
        # already there, so the pointer's place is checked instead.
        self.display.xdotool("mousemove", str(x), str(y))
        wait_until("the pointer at %d,%d" % (x, y),
                   lambda: self.display.xdotool("getmouselocation", "--shell").startswith(
                       "X=%d\nY=%d\n" % (x, y)), timeout=5)
        self.display.xdotool("click", "1")

    def keys(self, *names):
        for name in names:
            self.display.xdotool("key", name)
            time.sleep(0.1)

    def focus(self, window):
        focused = self.display.xdotool("getwindowfocus", ok_codes=(0, 1)).strip()
        if focused != str(window):
            self.display.xdotool("windowfocus", "--sync", str(window))

    def open_menu(self, main, menu_bar_height, moves_right=0):
        """Opens the menu bar's first menu with a click, then moves right with the arrow keys.

        The click lands on "Hosts", which is always the leftmost item; the others are reached
        from there, as the keyboard user of the menu bar does. Returns the drop-down window
        of the menu reached, or None for a top-level item without one (it is then highlighted
        and Return runs it).
        """
        x, y, _, _ = self.geometry(main)
        self.click(x + 14, y + menu_bar_height // 2)
        hosts = wait_until("the \"Hosts\" menu", lambda: self.only_other_window(main))
        if moves_right == 0:
            return hosts
        self.keys(*(["Right"] * moves_right))
        if moves_right == 1:
            def fichier():
                window = self.only_other_window(main)
                return window if window not in (None, hosts) else None
            return wait_until("the \"Fichier\" menu", fichier)
        wait_until("the menus to close", lambda: self.only_other_window(main) is None)
        return None

    def only_other_window(self, main):
        """The one visible window besides the main window, or None."""
        others = [window for window in self.windows() if window != main]
        return others[0] if len(others) == 1 else None

    def choose(self, popup, downs):
        """Runs the item of the open drop-down menu that `downs` presses of Down reach (the
        keyboard skips separators and disabled items)."""
        self.focus(popup)
        self.keys(*(["Down"] * downs), "Return")

    def buttons(self, window):
        """The screen centres of a dialog's bottom row of push buttons, left to right. Each row
        of pixels crossing the buttons holds one run unlike the background per button (of at
        least MIN_BUTTON_WIDTH pixels), except where the captions' letters cut them: the buttons
        are the runs of the lowest row among those holding the most frequent number of runs
        (above one)."""
        x0, y0, _, _ = self.geometry(window)
        picture = self.picture(window)
        background = picture.at(1, 1)
        rows = {}
        for y in range(picture.height // 2, picture.height):
            runs, start = [], None
            for x in range(picture.width + 1):
                inside = x < picture.width and picture.at(x, y) != background
                if inside and start is None:
                    start = x
                elif not inside and start is not None:
                    if x - start >= MIN_BUTTON_WIDTH:
                        runs.append((start + x) // 2)
                    start = None
            if len(runs) > 1:  # not a row of a wide control such as a list
                rows[y] = runs
        counts = [len(runs) for runs in rows.values()]
        count = max(set(counts), key=counts.count)
        band = [y for y, runs in rows.items() if len(runs) == count]
        return [(x0 + x, y0 + (band[0] + band[-1]) // 2) for x in rows[band[-1]]]

    def save_as_hosts(self, main, menu_bar_height, name, options_png=None):
        """ "Fichier" > "Enregister sous...(format hosts)": "OK" in the options window as it
        opens (127.0.0.1, with the www. lines), `name` typed in the save dialog, which opens in
        the program's folder, and "Oui" to the comments question. Returns the saved path."""
        # Reached with the keyboard, the menu opens with its first item active.
        self.choose(self.open_menu(main, menu_bar_height, moves_right=1), 1)
        options = self.wait_window("Options")
        ox, oy, _, _ = self.geometry(options)
        self.picture(options, options_png)
        self.click(ox + OPTIONS_OK[0], oy + OPTIONS_OK[1])
        self.wait_gone(options)
        dialog = self.wait_window("Quorvale", exclude=(main,))
        self.focus(dialog)
        self.display.xdotool("type", "--delay", "30", name)
        self.keys("Return")
        self.wait_gone(dialog)
        question = self.wait_window("Quorvale", exclude=(main,))
        self.focus(question)
        self.keys("alt+o")
        self.wait_gone(question)
        done = self.wait_window("Quorvale", exclude=(main, question))
        self.focus(done)
        self.keys("Return")
        self.wait_gone(done)
        return os.path.join(os.path.dirname(self.process.args[0]), name)

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()


def same(first, second, strip):
    """Whether two pictures are alike inside `strip` (left, top, right, bottom)."""
    left, top, right, bottom = strip
    return all(first.at(x, y) == second.at(x, y) for y in range(top, bottom) for x in range(left, right))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def lines_of(data):
    """The lines of a file as the program's item reader cuts them (no commas in these files)."""
    return re.split(rb"\r\n|\r|\n", data[:-1] if data.endswith((b"\n", b"\r")) else data)


def expected_rejections(dresden, urlhaus):
    """The lines that the load must refuse, worked out from the files' own shape.

    The small Debian-style file holds the loopback name and IPv6 names written with fewer
    than four groups, all refused; its one line of a private IPv4 address is kept. The
    URLhaus file holds comment lines and lines of "127.0.0.1", a tab and one name.
    """
    rejected = []
    for line in lines_of(dresden):
        if line.startswith(b"127.0.1.1 "):
            continue
        check(line.startswith((b"127.0.0.1 ", b"::1 ", b"ff02::")), "unexpected line %r" % line)
        rejected.append(line.strip(b" "))
    for line in lines_of(urlhaus):
        if line.startswith(b"#"):
            rejected.append(line.strip(b" "))
        else:
            check(re.fullmatch(rb"127\.0\.0\.1\t[A-Za-z0-9.-]{4,128}", line),
                  "unexpected line %r" % line)
    return rejected + EXTRA_REJECTED


def expected_report(rejected):
    body = b"".join(line + b"\r\n" for line in rejected if line)
    return b"Liste des erreurs: \r\n\r\n\r\n" + body + REPORT_RULE + b"\r\n" + REPORT_RULE + \
        b"\r\n\r\n\r\n"


def check_layout(picture, menu_bar_height):
    """The client area lies below the menu bar and the two lists fill it as designed."""
    background = picture.at(picture.width - 1, picture.height - 1)
    top = menu_bar_height

    def framed(x, y):
        return picture.at(x, y) != background

    for name, (left, list_top, width, height) in (("ListView1", LIST1), ("ListView2", LIST2)):
        right, bottom = left + width - 1, top + list_top + height - 1
        middle_x, middle_y = left + width // 2, top + list_top + height // 2
        check(framed(left, middle_y) and not framed(left - 1, middle_y),
              "%s: left edge not at x=%d" % (name, left))
        check(framed(right, middle_y) and not framed(right + 1, middle_y),
              "%s: right edge not at x=%d" % (name, right))
        check(framed(middle_x, top + list_top) and not framed(middle_x, top + list_top - 1),
              "%s: top edge not at y=%d" % (name, top + list_top))
        check(framed(middle_x, bottom) and not framed(middle_x, bottom + 1),
              "%s: bottom edge not at y=%d" % (name, bottom))


def list_interior(menu_bar_height, list_rect):
    """A strip inside a list, below its header and left of its scroll bar, in window pixels."""
    left, top, width, height = list_rect
    return (left + 4, menu_bar_height + top + 24, left + width - 24, menu_bar_height + top + height - 20)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--data-dir", required=True)
    parser.add_argument("--docs-dir", required=True)
    args = parser.parse_args()
    screenshots = os.environ.get("E2E_SCREENSHOTS") == "1"

    work = tempfile.mkdtemp(prefix="quorvale-e2e-")
    display = None
    program = None
    server = None
    ok = False
    try:
        app_dir = os.path.join(work, "app")
        system_dir = os.path.join(work, "Windows", "System32")
        etc_dir = os.path.join(system_dir, "drivers", "etc")
        fake_bin = os.path.join(work, "bin")
        for folder in (app_dir, etc_dir, fake_bin, os.path.join(work, "home")):
            os.makedirs(folder)
        # A copy keeps the build folder clean; with the lock tool it is the report's folder.
        for name in ("quorvale", "subinacl"):
            shutil.copy2(os.path.join(args.bin_dir, name), app_dir)

        dresden = read(os.path.join(args.data_dir, "dresden-elektronik__pi-gen__stage1_02-net-tweaks_files_hosts"))
        urlhaus = read(os.path.join(args.data_dir, "wkway__stblack__data_URLHaus_hosts"))
        check(not urlhaus.endswith(b"\n"), "the URLhaus sample was expected to lack a final newline")
        # The URLhaus file has no final newline: its last line and the first added line join
        # into one comment line unless a line break is put between them.
        hosts = dresden + urlhaus + b"\r\n" + b"".join(line + b"\r\n" for line in EXTRA_LINES)
        hosts_path = os.path.join(etc_dir, "HOSTS")
        with open(hosts_path, "wb") as f:
            f.write(hosts)

        viewer_log = os.path.join(work, "viewer.log")
        viewer = os.path.join(fake_bin, "xdg-open")
        with open(viewer, "w") as f:
            f.write("#!/bin/sh\n# Records its arguments, one invocation per line, each in brackets.\n"
                    "for a; do printf '[%%s]' \"$a\"; done >> '%s'\necho >> '%s'\n" % (viewer_log, viewer_log))
        os.chmod(viewer, 0o755)

        # The expected save: the same HOSTS file written by the command-line program, which
        # shares the writer, with the options that the test chooses in the windows.
        expected_dir = os.path.join(work, "expected")
        os.makedirs(expected_dir)
        expected_save = os.path.join(expected_dir, SAVED_NAME)
        cli_env = dict(os.environ, SOURCE_DATE_EPOCH=SOURCE_DATE_EPOCH, LC_ALL="C", TZ="UTC")
        removed_list = os.path.join(expected_dir, "removed.txt")
        with open(removed_list, "wb") as f:
            f.write(REMOVED_NAME + b"\n")
        cli = subprocess.run([os.path.join(args.bin_dir, "quorvale-cli"), "--hosts", hosts_path,
                              "--remove-names", removed_list, "--www", "--comments", "--write-hosts", expected_save],
                             env=cli_env, capture_output=True, timeout=60)
        check(cli.returncode == 0, "quorvale-cli failed: %s" % cli.stderr.decode(errors="replace"))
        check(b"intranet.example.org\t#bureau\r\n" in read(expected_save),
              "the expected save holds no comment, so the answer to the comments question would not show")
        check(REMOVED_NAME not in read(expected_save), "quorvale-cli kept the name it was to remove")

        # The sources, in the configuration folder the program gets; the command line updates
        # the same file into a cache of its own, so that both download.
        config_dir = os.path.join(work, "home", ".config", "quorvale")
        served_dir = os.path.join(work, "served")
        os.makedirs(os.path.join(config_dir, os.path.dirname(LOCAL_PATH)))
        os.makedirs(served_dir)
        shutil.copy2(os.path.join(args.data_dir, SERVED_LIST), served_dir)
        shutil.copy2(os.path.join(args.data_dir, LOCAL_LIST), os.path.join(config_dir, LOCAL_PATH))
        server_log = open(os.path.join(work, "http-server.log"), "wb")
        server = subprocess.Popen([sys.executable, HTTP_SERVER, "--root", served_dir], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=server_log, preexec_fn=end_with_parent)
        port = server.stdout.readline().decode().strip()
        check(port.isdigit(), "the HTTP server gave no port")
        sources_path = os.path.join(config_dir, "sources.txt")
        for name, text in (("sources.txt", "# Listes du poste\nhttp://127.0.0.1:%s/files/%s\n%s domains\n"
                            % (port, SERVED_LIST, LOCAL_PATH)),
                           ("own.txt", OWN_LINES), ("allow.txt", ALLOWED_NAME + b"\n")):
            with open(os.path.join(config_dir, name), "wb") as f:
                f.write(text if isinstance(text, bytes) else text.encode())
        expected_update = os.path.join(expected_dir, UPDATED_NAME)
        expected_update_report = os.path.join(expected_dir, "update-report.txt")
        cli = subprocess.run([os.path.join(args.bin_dir, "quorvale-cli"), "--sources", sources_path, "--update",
                              "--www", "--comments", "--write-hosts", expected_update, "--report",
                              expected_update_report],
                             env=dict(cli_env, XDG_CACHE_HOME=os.path.join(expected_dir, "cache")),
                             capture_output=True, timeout=60)
        check(cli.returncode == 0, "quorvale-cli --update failed: %s" % cli.stderr.decode(errors="replace"))
        updated = read(expected_update)
        check(b"nas.example.lan\t# serveur du bureau\r\n" in updated and ALLOWED_NAME not in updated,
              "quorvale-cli's update lost the own lines or kept the allowed name")

        display = XDisplay(work)
        program = Quorvale(display, work, app_dir, system_dir, fake_bin)
        shot = (lambda name: os.path.join(args.docs_dir, name)) if screenshots else \
            (lambda name: os.path.join(work, name))

        # Start: one window, "Quorvale", of the design width; its height is the client
        # area's plus the menu bar's.
        note("start")
        main_window = program.wait_window("Quorvale")
        _, _, width, height = program.geometry(main_window)
        menu_bar_height = height - CLIENT_HEIGHT
        check(width == CLIENT_WIDTH, "main window %dx%d, expected width %d" % (width, height, CLIENT_WIDTH))
        check(10 <= menu_bar_height <= 40, "main window %dx%d: no room for one menu bar line above "
              "a client area of %d" % (width, height, CLIENT_HEIGHT))
        program.park_pointer()
        empty = program.picture(main_window)
        check((empty.width, empty.height) == (width, height), "picture size differs from the window")
        check_layout(empty, menu_bar_height)
        base = empty.at(*list_interior(menu_bar_height, LIST1)[:2])
        check(empty.count_not(base, *list_interior(menu_bar_height, LIST1)) == 0,
              "ListView1 is not empty at start")

        # "Hosts" > "Charger le fichier hosts": the progress window replaces the main window
        # while the file loads, then the report opens in the viewer.
        note("load the HOSTS file")
        program.choose(program.open_menu(main_window, menu_bar_height), 1)
        progress = program.wait_window("Form3")
        state = display.run("xprop", "-id", str(progress), "_NET_WM_STATE")
        check("_NET_WM_STATE_SKIP_TASKBAR" in state, "the progress window goes in the task bar: " + state)
        check(main_window not in program.windows(), "the main window stays visible during the load")
        program.wait_gone(progress)
        wait_until("the report viewer",
                   lambda: os.path.exists(viewer_log) and read(viewer_log).endswith(b"\n"), timeout=30)
        report_path = os.path.join(app_dir, "Rapport.txt")
        calls = read(viewer_log).decode().splitlines()
        check(calls == ["[%s]" % report_path], "viewer calls %r" % calls)
        check(read(report_path) == expected_report(expected_rejections(dresden, urlhaus)),
              "Rapport.txt differs from the expected report")
        program.wait_window("Quorvale")

        note("picture of the loaded lists")
        program.park_pointer()
        loaded = program.picture(main_window, shot("main-window.png"))
        check_layout(loaded, menu_bar_height)
        check(loaded.count_not(base, *list_interior(menu_bar_height, LIST1)) > 0,
              "ListView1 shows no rows after the load")
        check(loaded.count_not(base, *list_interior(menu_bar_height, LIST2)) > 0,
              "ListView2 shows no rows after the load")

        # Ctrl+F finds the row, which is selected and takes the focus; Delete removes it.
        note("find and remove a row")
        program.focus(main_window)
        program.keys("ctrl+f")
        search = program.wait_window("Rechercher")
        program.focus(search)
        display.xdotool("type", "--delay", "30", "0-STATS")
        program.picture(search, shot("search.png"))
        program.keys("Return")
        program.wait_gone(search)
        program.focus(main_window)
        program.keys("Delete")
        program.park_pointer()
        status_strip = (8, menu_bar_height + 408, CLIENT_WIDTH - 8, height)
        wait_until("the status to show one address fewer",
                                   lambda: (lambda now: not same(now, loaded, status_strip) and now)(
                                       program.picture(main_window)), timeout=10, interval=0.2)

        note("save as a HOSTS file")
        saved_path = program.save_as_hosts(main_window, menu_bar_height, SAVED_NAME, shot("options.png"))
        check(read(saved_path) == read(expected_save),
              "%s differs from what quorvale-cli writes (%s)" % (saved_path, expected_save))

        # "Hosts" > "Sources...", the menu's last item: "Mettre a jour", "Oui" to the question
        # (the lists hold rows), then the lists, the report and a saved file are those of the
        # command line's update of the same sources.
        note("update the sources")

        def open_sources():
            program.focus(program.open_menu(main_window, menu_bar_height))
            program.keys("Up", "Return")  # Up from no item: the last one
            window = program.wait_window("Sources")
            program.park_pointer()
            return window

        def close_sources():
            program.click(*buttons[SOURCES_BUTTONS.index("Fermer")])
            program.wait_gone(sources_window)

        def start_update():
            program.click(*buttons[UPDATE_BUTTON])
            program.focus(program.wait_window("Confirmation"))
            program.keys("alt+o")

        sources_window = open_sources()
        left, top, _, _ = program.geometry(sources_window)

        def sources_buttons():
            found = program.buttons(sources_window)
            return found if len(found) == len(SOURCES_BUTTONS) else None
        buttons = wait_until("the Sources window's buttons", sources_buttons, timeout=10, interval=0.2)
        update_x, update_y = buttons[UPDATE_BUTTON][0] - left, buttons[UPDATE_BUTTON][1] - top
        update_strip = (update_x - 20, update_y - 6, update_x + 20, update_y + 6)
        idle = program.picture(sources_window)

        # First a source that sends a byte every 50 ms: the list shows the bytes so far and
        # "Annuler" stops the update, which loads nothing and shows no report.
        with open(sources_path, "rb") as f:
            real_sources = f.read()
        with open(sources_path, "wb") as f:
            f.write(b"http://127.0.0.1:%s/slow-total\n" % port.encode())
        close_sources()
        sources_window = open_sources()
        start_update()
        time.sleep(1.0)
        program.picture(sources_window, shot("sources-update.png"))
        program.click(*buttons[SOURCES_BUTTONS.index("Annuler")])
        program.park_pointer()
        wait_until("the end of the cancelled update",
                   lambda: same(program.picture(sources_window), idle, update_strip), timeout=10, interval=0.2)
        check(len(read(viewer_log).decode().splitlines()) == 1, "a cancelled update showed a report")
        close_sources()
        with open(sources_path, "wb") as f:
            f.write(real_sources)
        sources_window = open_sources()
        start_update()
        wait_until("the report of the update",
                   lambda: read(viewer_log).decode().splitlines() == ["[%s]" % report_path] * 2, timeout=30)
        check(read(report_path) == read(expected_update_report), "Rapport.txt differs from quorvale-cli's report")
        program.park_pointer()

        # The update has ended when "Mettre a jour" is enabled again and the window stops
        # changing: the list then shows every source's outcome.
        def update_ended():
            first, second = program.picture(sources_window), program.picture(sources_window)
            return same(first, idle, update_strip) and first.pixels == second.pixels
        wait_until("the end of the update", update_ended, timeout=10, interval=0.2)
        program.picture(sources_window, shot("sources-window.png"))
        close_sources()
        updated_path = program.save_as_hosts(main_window, menu_bar_height, UPDATED_NAME)
        check(read(updated_path) == read(expected_update),
              "%s differs from what quorvale-cli --update writes (%s)" % (updated_path, expected_update))
        program.park_pointer()
        before_reset = program.picture(main_window)

        # "A propos": the about window, modal, closed by its default button.
        note("about window")
        program.open_menu(main_window, menu_bar_height, moves_right=3)
        program.keys("Return")
        about = program.wait_window("About Quorvale")
        program.picture(about, shot("about.png"))
        program.focus(about)
        program.keys("Return")
        program.wait_gone(about)

        # "Reset" empties both lists, disables itself again (the menu bar looks as it did at
        # start, when "Reset" was disabled, and not as after the load) and leaves the status
        # text as it was.
        menu_strip = (0, 0, CLIENT_WIDTH, menu_bar_height)
        check(not same(empty, loaded, menu_strip), "the menu bar looks the same before and after the load")
        note("reset")
        program.open_menu(main_window, menu_bar_height, moves_right=2)
        program.keys("Return")
        program.park_pointer()

        def both_lists_empty():
            now = program.picture(main_window)
            return all(now.count_not(base, *list_interior(menu_bar_height, rect)) == 0
                       for rect in (LIST1, LIST2)) and now
        after_reset = wait_until("Reset to empty the lists", both_lists_empty, timeout=10, interval=0.2)
        check(same(after_reset, before_reset, status_strip), "the status text changed on Reset")
        check(same(after_reset, empty, menu_strip), "the menu bar after Reset differs from the one at start")

        # Closing the window ends the program without a question.
        note("close")
        display.send_close_request(main_window)
        try:
            code = program.process.wait(15)
        except subprocess.TimeoutExpired:
            raise Failure("quorvale still runs after its window was closed; windows: %r"
                          % program.windows())
        check(code == 0, "quorvale ended with code %d" % code)
        ok = True
    except Failure as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
    finally:
        if program:
            program.stop()
        if server:
            server.stdin.close()  # the server ends when its input closes
            try:
                server.wait(10)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
            server.stdout.close()
            server_log.close()
        if display:
            if not ok:
                display.run("import", "-window", "root", os.path.join(work, "screen-at-failure.png"),
                            ok_codes=(0, 1))
            display.stop()
        if ok and os.environ.get("E2E_KEEP") != "1":
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("files kept in " + work, file=sys.stderr)
    if ok:
        print("end-to-end run passed")
    return 0 if ok else 1


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
