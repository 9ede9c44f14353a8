#!/usr/bin/env python3
"""Drives the Windows quorvale.exe under Wine in a real X server as quorvale_e2e.py drives
quorvale, with its helpers and options (--bin-dir build/mingw/bin, E2E_SCREENSHOTS, E2E_KEEP)."""

import argparse
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from quorvale_e2e import (  # noqa: E402
    CLIENT_HEIGHT, CLIENT_WIDTH, EXTRA_LINES, LIST1, LIST2, REMOVED_NAME, SAVED_NAME, SOURCE_DATE_EPOCH, Failure,
    Picture, Quorvale, XDisplay, check, check_layout, end_with_parent, expected_rejections, expected_report,
    list_interior, note, read, same, wait_until)

HOSTS = "C:\\windows\\system32\\drivers\\etc\\HOSTS"
NOTEPAD = "Rapport.txt - Bloc-notes"
# The sources of the update: a HOSTS file and a list of names.
SOURCE_HOSTS = "AdAway__adaway.github.io__hosts.txt"
SOURCE_NAMES = "Perflyst__PiHoleBlocklist__SmartTV.txt"
CLOSE_BOX = (-13, 12)  # from the window's top right corner, in Wine's own frame at 96 dpi
SCREEN = (1024, 768)  # the Xvfb screen of XDisplay
# The resolution of the second run, which Wine takes from the registry as a program starts.
LARGE_DPI = 144
# Wine draws its own frames (without a window manager every close would stall); no crash dialog.
WINE_SETTINGS = ("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"
                 '"Managed"="N"\n\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n')


def windows_path(path):
    return "Z:" + path.replace("/", "\\")  # Wine shows the host's root as Z:


class WineQuorvale(Quorvale):
    """quorvale.exe in a Wine prefix made in the X session of `display`: each of its windows is
    an X window named by its title, Wine's frame included."""

    def __init__(self, display, work, fonts):
        self.display, self.work, self.shots, self.process, self.log = display, work, 0, None, None
        locales = os.path.join(work, "locale")
        os.makedirs(locales)
        # Wine alone gets the French locale, without which it misreads accented names.
        subprocess.run(["localedef", "-i", "fr_FR", "-f", "UTF-8", os.path.join(locales, "fr_FR.UTF-8")],
                       check=True, capture_output=True, timeout=60)
        # No Mono or Gecko download prompts, and no menu entries on this machine for the
        # prefix's shortcuts (winemenubuilder).
        self.env = dict(display.env(), WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d", LOCPATH=locales, LANG="fr_FR.UTF-8",
                        LC_ALL="fr_FR.UTF-8", TZ="UTC", SOURCE_DATE_EPOCH=SOURCE_DATE_EPOCH)
        try:
            self.make_prefix(fonts)
        except BaseException:
            self.stop()  # the Wine server started so far
            raise

    def make_prefix(self, fonts):
        self.run("wineboot", "-i")
        self.run("wineserver", "-w")
        with open(os.path.join(self.work, "settings.reg"), "w") as f:
            f.write(WINE_SETTINGS)
        self.run("wine", "regedit", "/S", windows_path(os.path.join(self.work, "settings.reg")))
        # Debian's Wine does not find its own fonts (package fonts-wine) where it looks.
        fonts = glob.glob(os.path.join(fonts, "*.ttf"))
        check(fonts, "no Wine fonts to copy (package fonts-wine)")
        for font in fonts:
            shutil.copy(font, self.drive_c("windows", "Fonts"))
        self.run("wineserver", "-w")
        # The server stays up, and the prefix's services start here detached from every
        # output: a service holding a pipe of this script would keep it waiting.
        for command in (["wineserver", "-p"], ["wine", "cmd", "/c", "exit"]):
            subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=True, timeout=60)

    def drive_c(self, *parts):
        return os.path.join(self.env["WINEPREFIX"], "drive_c", *parts)

    def run(self, *args):
        result = subprocess.run(list(args), env=self.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        check(result.returncode == 0, "%s failed: %s" % (" ".join(args), result.stderr.decode(errors="replace")))
        return result.stdout.decode(errors="replace")

    def start(self, program):
        if self.log:
            self.log.close()  # the log of the program's previous run
        self.log = open(os.path.join(self.work, "quorvale.log"), "wb")
        self.process = subprocess.Popen(["wine", program], env=self.env, stdin=subprocess.DEVNULL, stdout=self.log,
                                        stderr=subprocess.STDOUT, preexec_fn=end_with_parent)

    def frame(self, window):  # the window's place, its frame's width, its client area's top
        x, y, width, height = self.geometry(window)
        frame = (width - CLIENT_WIDTH) // 2
        return x, y, frame, height - frame - CLIENT_HEIGHT

    def client_picture(self, window):  # the client area, as the Linux checks read it
        _, _, frame, client_top = self.frame(window)
        self.shots += 1
        ppm = os.path.join(self.work, "client%02d.ppm" % self.shots)
        self.display.run("import", "-window", str(window), "-depth", "8", "-crop",
                         "%dx%d+%d+%d" % (CLIENT_WIDTH, CLIENT_HEIGHT, frame, client_top), "+repage", "ppm:" + ppm)
        return Picture(ppm)

    def named(self, name):  # the visible windows of any program (Notepad too) with this title
        return [int(w) for w in self.display.xdotool("search", "--onlyvisible", "--name", "^%s$" % name,
                                                     ok_codes=(0, 1)).split()]

    def answer(self, window, *keys):
        self.focus(window)
        self.keys(*keys)
        self.wait_gone(window)

    def menu(self, main, moves_right, downs=0, ups=0):
        """Clicks "Hosts", then Right (to the next menu, open on its first item), Down or Up (from
        the last item), Return."""
        x, y, frame, client_top = self.frame(main)
        # The open menu is a window without a title; keys sent before it shows may be lost on
        # a busy machine, and a click that only brought the window forward is made again.
        for attempt in (1, 2):
            self.click(x + frame + 15, y + client_top - 10)
            try:
                wait_until("the menu to open", lambda: "" in self.windows().values(), timeout=5 * attempt)
                break
            except Failure:
                if attempt == 2:
                    raise
        self.keys(*(["Right"] * moves_right + ["Down"] * downs + ["Up"] * ups + ["Return"]))

    def stop(self):
        if self.process:
            super().stop()
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=30)


def release_attributes(path):
    """Lets the HOSTS file's attributes change again, and gives its owner write access back."""
    subprocess.run(["chattr", "-i", path], capture_output=True)
    os.chmod(path, 0o644)


def main():
    parser = argparse.ArgumentParser()
    for name in ("--bin-dir", "--data-dir", "--docs-dir"):
        parser.add_argument(name, required=True)
    parser.add_argument("--wine-fonts", default="/usr/share/wine/fonts")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="quorvale-windows-e2e-")
    shot = (lambda name: os.path.join(args.docs_dir if os.environ.get("E2E_SCREENSHOTS") == "1" else work, name))
    display = program = hosts_file = None
    ok = False
    try:
        app_dir = os.path.join(work, "app")
        os.makedirs(app_dir)
        for name in ("quorvale.exe", "quorvale-cli.exe", "subinacl.exe"):
            shutil.copy2(os.path.join(args.bin_dir, name), app_dir)
        note("Wine prefix, then the program")
        display = XDisplay(work)
        program = WineQuorvale(display, work, args.wine_fonts)
        dresden = read(os.path.join(args.data_dir, "dresden-elektronik__pi-gen__stage1_02-net-tweaks_files_hosts"))
        urlhaus = read(os.path.join(args.data_dir, "wkway__stblack__data_URLHaus_hosts"))
        hosts_file = program.drive_c("windows", "system32", "drivers", "etc", "hosts")
        with open(hosts_file, "wb") as f:
            f.write(dresden + urlhaus + b"\r\n" + b"".join(line + b"\r\n" for line in EXTRA_LINES))
        expected_save = os.path.join(work, "expected.txt")
        removed_list = os.path.join(work, "removed.txt")
        with open(removed_list, "wb") as f:
            f.write(REMOVED_NAME + b"\n")
        program.run("wine", os.path.join(app_dir, "quorvale-cli.exe"), "--hosts", HOSTS, "--remove-names",
                    windows_path(removed_list), "--www", "--comments", "--write-hosts", windows_path(expected_save))
        check(REMOVED_NAME not in read(expected_save), "quorvale-cli.exe kept the name it was to remove")

        program.start(os.path.join(app_dir, "quorvale.exe"))
        main_window = program.wait_window("Quorvale")
        program.park_pointer()
        base = program.client_picture(main_window).at(*list_interior(0, LIST1)[:2])  # an empty list's colour

        # As a user who may read the HOSTS file but not change its attributes: Wine keeps the
        # read-only attribute as the permission bits, which an immutable file keeps, even for
        # root. The load must go on and read the file.
        os.chmod(hosts_file, 0o444)
        immutable = subprocess.run(["chattr", "+i", hosts_file], capture_output=True).returncode == 0
        note("load the HOSTS file" + (", its attributes fixed" if immutable else " (chattr refused: attributes free)"))
        program.menu(main_window, 0, downs=1)
        progress = program.wait_window("Form3")
        program.wait_gone(progress)
        release_attributes(hosts_file)
        notepad = wait_until("Notepad", lambda: program.named(NOTEPAD))[0]
        check(read(os.path.join(app_dir, "Rapport.txt")) == expected_report(expected_rejections(dresden, urlhaus)),
              "Rapport.txt differs from the expected report")
        program.focus(notepad)
        program.keys("alt+F4")
        wait_until("Notepad to close", lambda: not program.named(NOTEPAD))
        program.park_pointer()
        program.picture(main_window, shot("windows-main-window.png"))
        loaded = program.client_picture(main_window)
        check_layout(loaded, 0)
        for name, rect in (("ListView1", LIST1), ("ListView2", LIST2)):
            check(loaded.count_not(base, *list_interior(0, rect)) > 0, "%s shows no rows after the load" % name)

        # The lock button lies outside the visible area but in the tab order, after the first
        # button: Space starts subinacl.exe. Wine keeps a file's access list as its permission
        # bits, where the entry that denies the user everything takes the owner's bits away
        # (the caption is not checked: whether the probe can still read the file depends on
        # who runs the test, as root reads through any bits).
        note("lock")
        check(os.stat(hosts_file).st_mode & 0o700, "the HOSTS file has no owner's rights before the lock")
        program.focus(main_window)
        program.keys("Tab", "space")
        wait_until("the deny entry in the HOSTS file's access list", lambda: not os.stat(hosts_file).st_mode & 0o700)
        time.sleep(1)  # the command gives its tool 400 ms before it probes the file

        # Ctrl+F finds the row, which is selected and takes the focus; Delete removes it and
        # the status text shows one address fewer.
        note("find and remove a row")
        status_strip = (8, 408, CLIENT_WIDTH - 8, CLIENT_HEIGHT)
        before = program.client_picture(main_window)
        program.keys("ctrl+f")
        search = program.wait_window("Rechercher")
        program.focus(search)
        display.xdotool("type", "--delay", "30", "0-STATS")
        program.picture(search, shot("windows-search.png"))
        program.answer(search, "Return")
        program.focus(main_window)
        program.keys("Delete")
        program.park_pointer()
        wait_until("the status to show one address fewer", lambda: not same(
            program.client_picture(main_window), before, status_strip), timeout=10, interval=0.2)

        # "Enregister sous...(format hosts)" as `name`, "Oui" to the comments: the message that
        # says it is done. Tab three times from the options window's first box reaches "OK".
        def save_as_hosts(name, options_shot=None):
            program.menu(main_window, 1, downs=1)
            options = program.wait_window("Options")
            if options_shot:
                program.picture(options, options_shot)
            program.answer(options, "Tab", "Tab", "Tab", "space")
            dialog = program.wait_window("Quorvale", exclude=(main_window,))
            program.focus(dialog)
            display.xdotool("type", "--delay", "30", name)
            program.answer(dialog, "Return")
            question = program.wait_window("Quorvale", exclude=(main_window,))
            program.focus(question)
            program.keys("o")
            return program.wait_window("Quorvale", exclude=(main_window, question))

        note("save as a HOSTS file")
        done = save_as_hosts(SAVED_NAME, shot("windows-options.png"))
        check(read(os.path.join(app_dir, SAVED_NAME)) == read(expected_save),
              "the saved file differs from what quorvale-cli.exe writes (%s)" % expected_save)
        program.answer(done, "Return")

        note("about window")
        program.menu(main_window, 3)
        about = program.wait_window("About Quorvale")
        program.picture(about, shot("windows-about.png"))
        program.answer(about, "Return")

        # The Sources window: a file:// source and a list of names by its path, "Mettre a jour"
        # (five Tabs from the list, past the daily box) replacing the lists after "Oui", the
        # report once, then a save compared with the command line's update of the same sources.
        note("sources: update and save")
        users = [name for name in os.listdir(program.drive_c("users")) if name.lower() != "public"]
        check(len(users) == 1, "no single user folder in the Wine prefix: %s" % users)
        config = program.drive_c("users", users[0], "AppData", "Roaming", "Quorvale")
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "sources.txt"), "wb") as f:
            f.write(b"# e2e\r\nfile:///%s\r\n%s domains\r\n" % (
                windows_path(os.path.join(os.path.abspath(args.data_dir), SOURCE_HOSTS)).replace("\\", "/").encode(),
                windows_path(os.path.join(os.path.abspath(args.data_dir), SOURCE_NAMES)).encode()))
        program.menu(main_window, 0, ups=1)
        sources = program.wait_window("Sources")
        program.focus(sources)
        program.keys("Tab", "Tab", "Tab", "Tab", "Tab", "space")
        program.answer(program.wait_window("Confirmation"), "o")
        notepad = wait_until("the update's report", lambda: program.named(NOTEPAD), timeout=60)[0]
        program.focus(notepad)
        program.keys("alt+F4")
        wait_until("Notepad to close", lambda: not program.named(NOTEPAD))
        program.park_pointer()
        time.sleep(0.5)
        program.picture(sources, shot("windows-sources.png"))
        program.answer(sources, "Escape")
        sources_save, expected_sources_save = "Sources.txt", os.path.join(work, "expected-sources.txt")
        program.answer(save_as_hosts(sources_save), "Return")
        program.run("wine", os.path.join(app_dir, "quorvale-cli.exe"), "--sources",
                    "C:\\users\\%s\\AppData\\Roaming\\Quorvale\\sources.txt" % users[0], "--update", "--www",
                    "--comments", "--write-hosts", windows_path(expected_sources_save))
        check(read(os.path.join(app_dir, sources_save)) == read(expected_sources_save),
              "the save after the update differs from quorvale-cli.exe's update (%s)" % expected_sources_save)

        # "Reset" empties both lists.
        note("reset")
        program.menu(main_window, 2)
        program.park_pointer()
        wait_until("Reset to empty the lists", lambda: all(program.client_picture(main_window).count_not(
            base, *list_interior(0, rect)) == 0 for rect in (LIST1, LIST2)), timeout=10, interval=0.2)

        note("close box")
        x, y, width, _ = program.geometry(main_window)
        program.click(x + width + CLOSE_BOX[0], y + CLOSE_BOX[1])
        try:
            code = program.process.wait(15)
        except subprocess.TimeoutExpired:
            raise Failure("quorvale.exe still runs after its close box was clicked")
        check(code == 0, "quorvale.exe ended with code %d" % code)

        # At 144 dpi the Sources window is wider than this screen at its designed size: it
        # opens inside the screen, its list narrowed, its buttons in view.
        note("sources at %d dpi" % LARGE_DPI)
        program.run("wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                    "/d", str(LARGE_DPI), "/f")
        program.start(os.path.join(app_dir, "quorvale.exe"))
        main_window = program.wait_window("Quorvale")
        program.focus(main_window)
        program.keys("F10", "Down", "Up", "Return")  # "Sources...", the last item of the first menu
        sources = program.wait_window("Sources")
        program.park_pointer()
        time.sleep(0.5)
        x, y, width, height = program.geometry(sources)
        check(x >= 0 and y >= 0 and x + width <= SCREEN[0] and y + height <= SCREEN[1],
              "the Sources window at %d dpi lies outside the screen: %dx%d at %d,%d" % (LARGE_DPI, width, height, x, y))
        program.picture(sources, shot("windows-sources-%ddpi.png" % LARGE_DPI))
        program.answer(sources, "Escape")
        program.focus(main_window)
        program.keys("alt+F4")
        try:
            code = program.process.wait(15)
        except subprocess.TimeoutExpired:
            raise Failure("quorvale.exe at %d dpi still runs after Alt+F4" % LARGE_DPI)
        check(code == 0, "quorvale.exe at %d dpi ended with code %d" % (LARGE_DPI, code))
        ok = True
    except (Failure, subprocess.SubprocessError) as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
    finally:
        if display and not ok:
            display.run("import", "-window", "root", os.path.join(work, "screen-at-failure.png"), ok_codes=(0, 1))
            # What was on the screen, for a run whose files are gone (CI).
            shown = display.xdotool("search", "--onlyvisible", "--name", "", ok_codes=(0, 1)).split()
            print("windows shown: %s" % [display.xdotool("getwindowname", w, ok_codes=(0, 1)).strip() for w in shown],
                  file=sys.stderr)
        if hosts_file and os.path.exists(hosts_file):
            release_attributes(hosts_file)
        if program:
            program.stop()
        if display:
            display.stop()
        if ok and os.environ.get("E2E_KEEP") != "1":
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("files kept in " + work, file=sys.stderr)
    print("Windows end-to-end run passed" if ok else "Windows end-to-end run failed")
    return 0 if ok else 1


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
