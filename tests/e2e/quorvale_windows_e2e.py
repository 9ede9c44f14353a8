#!/usr/bin/env python3
"""Drives the Windows quorvale.exe under Wine in a real X server, as a person would.

The Linux end-to-end test's helpers (the Xvfb server, pictures, the expected report) are
shared; what differs is Wine: a fresh prefix made inside this X session, with the settings
that make it behave (Wine draws its own window frames, its fonts are installed, the crash
dialog is off) and a French locale compiled for Wine alone. The program runs from a folder
of its own beside quorvale-cli.exe and, when it was built, subinacl.exe; the prefix's HOSTS
file is made of real blocklist files.

Usage: quorvale_windows_e2e.py --bin-dir build/mingw/bin --data-dir tests/data/real --docs-dir docs
With E2E_SCREENSHOTS=1 the pictures of the main window, the options window and the about
window are written into the docs folder; E2E_KEEP=1 keeps the temporary folder.
"""

import argparse
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from quorvale_e2e import (  # noqa: E402
    CLIENT_HEIGHT, CLIENT_WIDTH, EXTRA_LINES, LIST1, LIST2, SAVED_NAME, SOURCE_DATE_EPOCH, Failure, Picture,
    XDisplay, check, check_layout, end_with_parent, expected_rejections, expected_report, list_interior, note, read,
    wait_until)

HOSTS = "C:\\windows\\system32\\drivers\\etc\\HOSTS"
# Wine's frame at 96 dpi: the close box's centre from the window's top right corner.
CLOSE_BOX = (-13, 12)
# Two clicks on a header closer than this are one double click.
DOUBLE_CLICK_S = 0.5

WINE_SETTINGS = """Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000
"""


def windows_path(path):
    """Wine shows the host's root as drive Z:."""
    return "Z:" + path.replace("/", "\\")


class ClientPicture:
    """The client area of a window's picture, as the Linux checks read a Qt window's."""

    def __init__(self, picture, left, top):
        self.picture, self.left, self.top = picture, left, top
        self.width, self.height = CLIENT_WIDTH, CLIENT_HEIGHT

    def at(self, x, y):
        return self.picture.at(self.left + x, self.top + y)

    def count_not(self, colour, left, top, right, bottom):
        return self.picture.count_not(colour, self.left + left, self.top + top, self.left + right, self.top + bottom)


class Wine:
    """A Wine prefix made in the X session of `display`, and the programs run in it."""

    def __init__(self, display, work):
        self.work = work
        locales = os.path.join(work, "locale")
        os.makedirs(locales)
        # Without the French locale Wine misreads accented file and window names.
        subprocess.run(["localedef", "-i", "fr_FR", "-f", "UTF-8", os.path.join(locales, "fr_FR.UTF-8")],
                       check=True, capture_output=True, timeout=60)
        self.env = display.env()
        self.env.update({
            "WINEPREFIX": os.path.join(work, "prefix"), "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree=;mshtml=",
            "LOCPATH": locales, "LANG": "fr_FR.UTF-8", "LC_ALL": "fr_FR.UTF-8", "TZ": "UTC",
            "SOURCE_DATE_EPOCH": SOURCE_DATE_EPOCH})
        self.prefix = self.env["WINEPREFIX"]

    def make_prefix(self, fonts):
        self.run("wineboot", "-i")
        self.run("wineserver", "-w")
        settings = os.path.join(self.work, "settings.reg")
        with open(settings, "w") as f:
            f.write(WINE_SETTINGS)
        self.run("wine", "regedit", "/S", windows_path(settings))
        copied = 0
        for font in glob.glob(os.path.join(fonts, "*.ttf")):
            shutil.copy(font, os.path.join(self.prefix, "drive_c", "windows", "Fonts"))
            copied += 1
        check(copied > 0, "no Wine fonts in %s (Debian package fonts-wine)" % fonts)
        self.run("wineserver", "-w")
        # The server stays up until stop(), so that no program waits for a new one, and the
        # prefix's services start here, detached from every output: a service that inherited
        # a pipe of this script would keep it waiting for the pipe's end.
        for command in (["wineserver", "-p"], ["wine", "cmd", "/c", "exit"]):
            subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=True, timeout=60)

    def run(self, *args):
        result = subprocess.run(list(args), env=self.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        if result.returncode != 0:
            raise Failure("%s failed (%d): %s" % (" ".join(args), result.returncode, result.stderr.decode(errors="replace")))
        return result.stdout.decode("utf-8", errors="replace")

    def start(self, program, log):
        return subprocess.Popen(["wine", program], env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                                stderr=subprocess.STDOUT, preexec_fn=end_with_parent)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=30)


class Screen:
    """The program's windows as xdotool sees them: each Wine window is an X window named by its
    title, frame included."""

    def __init__(self, display, program):
        self.display, self.program = display, program

    def find(self, name, sync=False):
        if self.program.poll() is not None:
            raise Failure("quorvale.exe ended early with code %d" % self.program.returncode)
        command = ["timeout", "5", "xdotool", "search"] + (["--sync"] if sync else []) + \
            ["--onlyvisible", "--name", "^%s$" % name]
        result = subprocess.run(command, env=self.display.env(), capture_output=True, timeout=30)
        return [int(window) for window in result.stdout.split()]

    def wait_window(self, name, exclude=(), timeout=30.0):
        def other():
            return next((w for w in self.find(name, sync=True) if w not in exclude), None)
        return wait_until("the window \"%s\"" % name, other, timeout, interval=0.1)

    def wait_gone(self, window, name, timeout=30.0):
        wait_until("window \"%s\" to close" % name, lambda: window not in self.find(name), timeout, interval=0.1)

    def geometry(self, window):
        out = self.display.xdotool("getwindowgeometry", "--shell", str(window))
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def picture(self, window, work, png_path=None):
        ppm = os.path.join(work, "shot.ppm")
        self.display.run("import", "-window", str(window), "-depth", "8", "ppm:" + ppm)
        if png_path:
            self.display.run("import", "-window", str(window), "-strip", "png:" + png_path)
        return Picture(ppm)

    def click(self, x, y):
        # "mousemove --sync" would wait for a motion that never comes when the pointer is
        # already there, so the pointer's place is checked instead.
        self.display.xdotool("mousemove", str(x), str(y))
        wait_until("the pointer at %d,%d" % (x, y), lambda: self.display.xdotool(
            "getmouselocation", "--shell").startswith("X=%d\nY=%d\n" % (x, y)), timeout=5)
        self.display.xdotool("click", "1")

    def keys(self, *names):
        for name in names:
            self.display.xdotool("key", name)
            time.sleep(0.1)

    def focus(self, window):
        self.display.xdotool("windowfocus", "--sync", str(window))

    def menu(self, main, moves_right, downs=0):
        """Clicks "Hosts", the menu bar's first menu, moves right to another (which opens with
        its first item chosen) and down to an item; Return then runs it."""
        x, y, width, height = self.geometry(main)
        frame = (width - CLIENT_WIDTH) // 2
        self.click(x + frame + 15, y + height - frame - CLIENT_HEIGHT - 10)
        time.sleep(0.3)
        self.keys(*(["Right"] * moves_right + ["Down"] * downs + ["Return"]))

    def park_pointer(self):
        self.display.xdotool("mousemove", "1020", "760")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--data-dir", required=True)
    parser.add_argument("--docs-dir", required=True)
    parser.add_argument("--wine-fonts", default="/usr/share/wine/fonts")
    args = parser.parse_args()
    screenshots = os.environ.get("E2E_SCREENSHOTS") == "1"

    work = tempfile.mkdtemp(prefix="quorvale-windows-e2e-")
    display = wine = program = log = None
    ok = False
    try:
        app_dir = os.path.join(work, "app")
        os.makedirs(app_dir)
        for name in ("quorvale.exe", "quorvale-cli.exe", "subinacl.exe"):
            if os.path.exists(os.path.join(args.bin_dir, name)):
                shutil.copy2(os.path.join(args.bin_dir, name), app_dir)
        shot = (lambda name: os.path.join(args.docs_dir, name)) if screenshots else \
            (lambda name: os.path.join(work, name))

        note("Wine prefix")
        display = XDisplay(work)
        wine = Wine(display, work)
        wine.make_prefix(args.wine_fonts)
        dresden = read(os.path.join(args.data_dir, "dresden-elektronik__pi-gen__stage1_02-net-tweaks_files_hosts"))
        urlhaus = read(os.path.join(args.data_dir, "wkway__stblack__data_URLHaus_hosts"))
        hosts_path = os.path.join(wine.prefix, "drive_c", "windows", "system32", "drivers", "etc", "hosts")
        with open(hosts_path, "wb") as f:
            f.write(dresden + urlhaus + b"\r\n" + b"".join(line + b"\r\n" for line in EXTRA_LINES))
        expected_save = os.path.join(work, "expected.txt")
        wine.run("wine", os.path.join(app_dir, "quorvale-cli.exe"), "--hosts", HOSTS, "--www", "--comments",
                 "--write-hosts", windows_path(expected_save))
        check(b"\t0-stats.example.net\t# collecte de statistiques\r\n" in read(expected_save),
              "the expected save holds no comment, so the answer to the comments question would not show")

        note("start")
        log = open(os.path.join(work, "quorvale.log"), "wb")
        program = wine.start(os.path.join(app_dir, "quorvale.exe"), log)
        screen = Screen(display, program)
        main_window = screen.wait_window("Quorvale")
        _, _, width, height = screen.geometry(main_window)
        frame = (width - CLIENT_WIDTH) // 2
        client_top = height - frame - CLIENT_HEIGHT
        check(0 < frame <= 8 and 30 <= client_top - frame <= 60,
              "main window %dx%d: not a client area of %dx%d under a caption and a menu bar"
              % (width, height, CLIENT_WIDTH, CLIENT_HEIGHT))
        screen.park_pointer()
        empty_window = screen.picture(main_window, work)
        empty = ClientPicture(empty_window, frame, client_top)
        check_layout(empty, 0)
        base = empty.at(*list_interior(0, LIST1)[:2])
        check(empty.count_not(base, *list_interior(0, LIST1)) == 0, "ListView1 is not empty at start")

        # "Hosts" > "Charger le fichier hosts": the progress window replaces the main window,
        # then the report opens in Notepad.
        note("load the HOSTS file")
        screen.menu(main_window, 0, downs=1)
        progress = screen.wait_window("Form3")
        check(main_window not in screen.find("Quorvale"), "the main window stays visible during the load")
        screen.wait_gone(progress, "Form3")
        notepad = screen.wait_window("Rapport.txt - Bloc-notes")
        check(read(os.path.join(app_dir, "Rapport.txt")) == expected_report(expected_rejections(dresden, urlhaus)),
              "Rapport.txt differs from the expected report")
        screen.focus(notepad)
        screen.keys("alt+F4")
        screen.wait_gone(notepad, "Rapport.txt - Bloc-notes")

        note("picture of the loaded lists")
        screen.park_pointer()
        loaded_window = screen.picture(main_window, work, shot("windows-main-window.png"))
        loaded = ClientPicture(loaded_window, frame, client_top)
        check_layout(loaded, 0)
        for name, rect in (("ListView1", LIST1), ("ListView2", LIST2)):
            check(loaded.count_not(base, *list_interior(0, rect)) > 0, "%s shows no rows after the load" % name)

        # Header clicks on "Description", then on "Domaine", apart enough not to be a double
        # click: each sorts the list and the picture changes.
        note("header clicks")
        x, y, _, _ = screen.geometry(main_window)
        before = loaded
        for column_x in (LIST1[0] + 300, LIST1[0] + 50):
            screen.click(x + frame + column_x, y + client_top + LIST1[1] + 8)
            time.sleep(DOUBLE_CLICK_S + 0.1)
            screen.park_pointer()
            after = ClientPicture(screen.picture(main_window, work), frame, client_top)
            check(any(after.at(px, py) != before.at(px, py) for px in range(16, 500, 3)
                      for py in range(30, 120, 2)), "a header click did not change the list")
            before = after

        # The lock button lies outside the visible area but in the tab order: Tab from the
        # first button reaches it, Space starts the lock tool on the HOSTS file. Wine keeps
        # the access list but does not enforce it, so it is read back instead of probed.
        note("lock")
        probe = os.path.join(args.bin_dir, "quorvale_acl_probe.exe")
        before_lock = wine.run("wine", probe, HOSTS)
        screen.focus(main_window)
        screen.keys("Tab", "space")
        if os.path.exists(os.path.join(app_dir, "subinacl.exe")):
            deny = "(D;"
            wait_until("the deny entry in the HOSTS file's access list",
                       lambda: deny not in before_lock and deny in wine.run("wine", probe, HOSTS), timeout=10)
            # The command gives its tool 400 ms before it probes the file; the next command
            # waits until it has ended.
            time.sleep(1)
        else:
            print("subinacl.exe was not built: the lock step only checks that the tool is looked for")
            failure = screen.wait_window("Quorvale", exclude=(main_window,))
            screen.focus(failure)
            screen.keys("Return")
            screen.wait_gone(failure, "Quorvale")

        # "Fichier" > "Enregister sous...(format hosts)": the options window as it opens (the
        # focus on its first box; Tab three times reaches "OK"), the save dialog in the
        # program's folder, "Oui" to the comments question.
        note("save as a HOSTS file")
        screen.menu(main_window, 1, downs=1)
        options = screen.wait_window("Options")
        screen.picture(options, work, shot("windows-options.png"))
        screen.keys("Tab", "Tab", "Tab", "space")
        screen.wait_gone(options, "Options")
        dialog = screen.wait_window("Quorvale", exclude=(main_window,))
        screen.focus(dialog)
        display.xdotool("type", "--delay", "30", SAVED_NAME)
        screen.keys("Return")
        screen.wait_gone(dialog, "Quorvale")
        question = screen.wait_window("Quorvale", exclude=(main_window, dialog))
        screen.focus(question)
        screen.keys("o")
        done = screen.wait_window("Quorvale", exclude=(main_window, question))
        check(read(os.path.join(app_dir, SAVED_NAME)) == read(expected_save),
              "the saved file differs from what quorvale-cli.exe writes (%s)" % expected_save)
        screen.focus(done)
        screen.keys("Return")
        screen.wait_gone(done, "Quorvale")

        note("about window")
        screen.menu(main_window, 3)
        about = screen.wait_window("About Quorvale")
        screen.picture(about, work, shot("windows-about.png"))
        screen.focus(about)
        screen.keys("Return")
        screen.wait_gone(about, "About Quorvale")

        # "Reset" empties both lists, turns itself off again and leaves the status text.
        note("reset")
        screen.menu(main_window, 2)
        screen.park_pointer()

        def both_lists_empty():
            now = ClientPicture(screen.picture(main_window, work), frame, client_top)
            return all(now.count_not(base, *list_interior(0, rect)) == 0 for rect in (LIST1, LIST2)) and now
        after_reset = wait_until("Reset to empty the lists", both_lists_empty, timeout=10, interval=0.2)

        def same(first, second, left, top, right, bottom):
            return all(first.at(px, py) == second.at(px, py) for py in range(top, bottom) for px in range(left, right))
        check(same(after_reset, loaded, 8, 408, CLIENT_WIDTH - 8, CLIENT_HEIGHT), "the status text changed on Reset")
        check(same(after_reset.picture, empty_window, frame, client_top - 18, width - frame, client_top),
              "the menu bar after Reset differs from the one at start")

        note("close box")
        x, y, width, _ = screen.geometry(main_window)
        screen.click(x + width + CLOSE_BOX[0], y + CLOSE_BOX[1])
        try:
            code = program.wait(15)
        except subprocess.TimeoutExpired:
            raise Failure("quorvale.exe still runs after its close box was clicked")
        check(code == 0, "quorvale.exe ended with code %d" % code)
        ok = True
    except (Failure, subprocess.SubprocessError) as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
    finally:
        if display and not ok:
            display.run("import", "-window", "root", os.path.join(work, "screen-at-failure.png"), ok_codes=(0, 1))
        if program and program.poll() is None:
            program.kill()
        if wine:
            wine.stop()
        if log:
            log.close()
        if display:
            display.stop()
        if ok and os.environ.get("E2E_KEEP") != "1":
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("files kept in " + work, file=sys.stderr)
    if ok:
        print("Windows end-to-end run passed")
    return 0 if ok else 1


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
