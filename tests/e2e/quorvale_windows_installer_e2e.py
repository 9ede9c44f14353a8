#!/usr/bin/env python3
"""Checks the Windows installer as an administrator deploys it (msiexec /qn), under Wine in an
X server and a Wine prefix of its own (scripts/run-windows-installer-test runs it):

    quorvale_windows_installer_e2e.py --msi NEW.msi --older-msi OLD.msi --files-dir STAGE --version X.Y.Z \\
        --msiexec-shim build/mingw/bin/quorvale_msiexec_shim.exe --work build/windows-installer-test --docs-dir docs

The removal of the scheduled update is read back from the package's tables; then the package
is installed, started, removed, and an older package is upgraded with the update's task in
place. E2E_SCREENSHOTS=1 renews docs/windows-installed.png (Wine's list of installed programs)."""

import argparse
import os
import shutil
import signal
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from x_session import Failure, XDisplay, check, end_with_parent, note, wait_until  # noqa: E402
from quorvale_windows_e2e import WineQuorvale, windows_path  # noqa: E402

INSTALLED = ["LICENSE.txt", "LISEZMOI.txt", "quorvale-cli.exe", "quorvale-helper.exe", "quorvale.exe", "subinacl.exe"]
PROGRAM_DIR = "C:\\Program Files\\Quorvale\\"
PUBLISHER = "The Quorvale developers"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
SHORTCUT = "Quorvale.lnk"
TASK = "Quorvale update"
REMOVE_TASK = "RemoveUpdateTask"
REMOVE_TASK_CONDITION = 'REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE'
# The custom action's type: an installed file run as a program (2 + 16), its exit code ignored
# (64), deferred into the installation script (1024), with the installation's rights (2048).
REMOVE_TASK_TYPE = 2 + 16 + 64 + 1024 + 2048
PROGRAMS_LIST = "Ajout/Suppression de programmes"  # Wine's "appwiz.cpl", in French
# The update's task as quorvale-cli.exe --schedule daily makes it: daily, as SYSTEM, running the
# installed quorvale-cli.exe on the administrators' copy of the sources.
TASK_XML = """<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers><CalendarTrigger><StartBoundary>2026-01-01T12:17:00</StartBoundary>
    <ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers>
  <Principals><Principal id="Author"><UserId>S-1-5-18</UserId><RunLevel>HighestAvailable</RunLevel>
  </Principal></Principals>
  <Actions Context="Author"><Exec><Command>"%squorvale-cli.exe"</Command>
    <Arguments>--sources "C:\\ProgramData\\Quorvale\\sources.txt" --update --replace-hosts --quiet</Arguments>
  </Exec></Actions>
</Task>
""" % PROGRAM_DIR


def msi_table(msi, table):
    """The rows of one table of `msi`, as lists of columns (msiinfo gives three header lines)."""
    result = subprocess.run(["msiinfo", "export", msi, table], capture_output=True, timeout=30)
    check(result.returncode == 0, "msiinfo export %s failed: %s" % (table, result.stderr.decode(errors="replace")))
    return [line.split("\t") for line in result.stdout.decode().split("\r\n")[3:] if line]


def check_task_removal(msi):
    """The task's removal runs the installed quorvale-cli.exe on uninstall alone, before the files
    go, within the installation script."""
    sequence = {row[0]: (row[1], int(row[2])) for row in msi_table(msi, "InstallExecuteSequence")}
    check(REMOVE_TASK in sequence, "%s is not in InstallExecuteSequence" % REMOVE_TASK)
    condition, number = sequence[REMOVE_TASK]
    check(condition == REMOVE_TASK_CONDITION, "%s runs on the condition %r" % (REMOVE_TASK, condition))
    check(sequence["InstallInitialize"][1] < number < sequence["RemoveFiles"][1],
          "%s is at %d, not between InstallInitialize (%d) and RemoveFiles (%d)" % (
              REMOVE_TASK, number, sequence["InstallInitialize"][1], sequence["RemoveFiles"][1]))
    actions = {row[0]: row[1:] for row in msi_table(msi, "CustomAction")}
    files = {row[0]: row[2].split("|")[-1] for row in msi_table(msi, "File")}
    kind, source, target = actions[REMOVE_TASK][:3]
    check((int(kind), files.get(source), target) == (REMOVE_TASK_TYPE, "quorvale-cli.exe", "--schedule off"),
          "%s is of type %s, runs %s %r" % (REMOVE_TASK, kind, files.get(source), target))
    properties = dict(row[:2] for row in msi_table(msi, "Property"))
    check(properties.get("ALLUSERS") == "1", "the package does not install for every user")


class Prefix(WineQuorvale):
    """The Wine prefix, its installed programs and its scheduled tasks."""

    def windows(self):
        """Every visible window with a name: the window program starts through Wine's start,
        away from any process of this script."""
        found = {}
        for window in self.display.xdotool("search", "--onlyvisible", "--name", ".", ok_codes=(0, 1)).split():
            found[int(window)] = self.display.xdotool("getwindowname", window, ok_codes=(0, 1)).rstrip("\n")
        return found

    def upgrade_as_windows(self, shim):
        """Puts the stand-in msiexec.exe (tests/platform/windows/probe/msiexec_shim.cpp) before
        Wine's: the older product's removal in an upgrade then has UPGRADINGPRODUCTCODE set."""
        system = self.drive_c("windows", "system32")
        os.rename(os.path.join(system, "msiexec.exe"), os.path.join(system, "msiexec-wine.exe"))
        shutil.copy(shim, os.path.join(system, "msiexec.exe"))
        # Wine would run its own msiexec.exe by that name, whatever the file holds.
        self.run("wine", "reg", "add", "HKCU\\Software\\Wine\\DllOverrides", "/v", "msiexec.exe", "/d", "native", "/f")

    def msiexec(self, *args):
        self.run("wine", "msiexec", *args, "/qn")

    def program_dir(self):
        return self.drive_c("Program Files", "Quorvale")

    def shortcuts(self):
        """The Start-menu shortcuts "Quorvale": Windows puts a per-machine one in the common Start
        menu, Wine in the user's."""
        folders = [("ProgramData",)] + [("users", user, "AppData", "Roaming") for user in os.listdir(self.drive_c("users"))]
        paths = [self.drive_c(*folder, "Microsoft", "Windows", "Start Menu", "Programs", SHORTCUT) for folder in folders]
        return [path for path in paths if os.path.exists(path)]

    def uninstall_entries(self):
        """The uninstall entries named Quorvale: {value name: value} each."""
        entries, entry = [], None
        for line in self.run("wine", "reg", "query", UNINSTALL_KEY, "/s").splitlines():
            if line.startswith("HKEY_"):
                entry = {}
                entries.append(entry)
            elif entry is not None and "    REG_" in line:  # name, type and value, four blanks apart
                name, _, value = (line.strip() + "    ").split("    ", 2)
                entry[name] = value.strip()
        return [entry for entry in entries if entry.get("DisplayName") == "Quorvale"]

    def task_file(self):
        """Where the Task Scheduler keeps the update's task, whatever the folder's case."""
        system = self.drive_c("windows", "system32")
        folder = next((name for name in os.listdir(system) if name.lower() == "tasks"), "Tasks")
        return os.path.join(system, folder, TASK)

    def check_installed(self, version, files_dir, cli_version):
        installed = sorted(os.listdir(self.program_dir())) if os.path.isdir(self.program_dir()) else []
        check(installed == INSTALLED, "Program Files\\Quorvale holds %s" % installed)
        for name in INSTALLED:
            with open(os.path.join(self.program_dir(), name), "rb") as f, open(os.path.join(files_dir, name), "rb") as g:
                check(f.read() == g.read(), "the installed %s differs from the packed one" % name)
        shortcuts = self.shortcuts()
        check(len(shortcuts) == 1, "Start-menu shortcuts %s: %s" % (SHORTCUT, shortcuts))
        with open(shortcuts[0], "rb") as f:
            check((PROGRAM_DIR + "quorvale.exe").encode() in f.read(), "the shortcut does not lead to quorvale.exe")
        entries = self.uninstall_entries()
        check([(e.get("DisplayVersion"), e.get("Publisher")) for e in entries] == [(version, PUBLISHER)],
              "uninstall entries (version, publisher): %s" % entries)
        out = self.run("wine", PROGRAM_DIR + "quorvale-cli.exe", "--version")
        check(out.strip() == "quorvale-cli " + cli_version, "quorvale-cli.exe --version says %r" % out)

    def check_removed(self):
        check(not os.path.exists(self.program_dir()), "Program Files\\Quorvale is left after the removal")
        check(not self.shortcuts(), "the Start-menu shortcut is left after the removal")
        check(not self.uninstall_entries(), "the uninstall entry is left after the removal")

    def start_from_shortcut(self):
        """Opens the window through the Start-menu shortcut, then closes it with Alt+F4."""
        # The window program would hold captured outputs open: it gets none.
        started = subprocess.run(["wine", "start", "/unix", self.shortcuts()[0]], env=self.env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        check(started.returncode == 0, "the Start-menu shortcut did not start (code %d)" % started.returncode)
        window = self.wait_window("Quorvale")
        self.focus(window)
        self.keys("alt+F4")
        self.wait_gone(window)

    def picture_programs_list(self, png):
        """Wine's list of installed programs, as Windows' "Programs and Features" shows it."""
        self.log = open(os.path.join(self.work, "appwiz.log"), "wb")
        self.process = subprocess.Popen(["wine", "control", "appwiz.cpl"], env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=subprocess.STDOUT, preexec_fn=end_with_parent)
        window = self.wait_window(PROGRAMS_LIST)
        self.park_pointer()
        self.picture(window, png)
        self.focus(window)
        self.keys("Escape")
        self.wait_gone(window)
        self.process.wait(15)
        self.process = None
        self.log.close()


def main():
    parser = argparse.ArgumentParser()
    for name in ("--msi", "--older-msi", "--files-dir", "--version", "--msiexec-shim", "--work", "--docs-dir"):
        parser.add_argument(name, required=True)
    parser.add_argument("--wine-fonts", default="/usr/share/wine/fonts")
    args = parser.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    work = os.path.abspath(args.work)
    older_version = os.path.basename(args.older_msi).split("-")[1]
    screenshots = os.environ.get("E2E_SCREENSHOTS") == "1"
    display = prefix = None
    ok = False
    try:
        note("the task's removal in the installer's tables")
        check_task_removal(args.msi)
        note("Wine prefix")
        display = XDisplay(work)
        prefix = Prefix(display, work, args.wine_fonts)
        prefix.upgrade_as_windows(args.msiexec_shim)
        msi, older_msi = windows_path(os.path.abspath(args.msi)), windows_path(os.path.abspath(args.older_msi))

        # Without a task the removal's quorvale-cli.exe fails (Wine's schtasks.exe says that
        # every task exists, then cannot delete it): its exit code is ignored.
        note("install, start, remove")
        prefix.msiexec("/i", msi)
        prefix.check_installed(args.version, args.files_dir, args.version)
        prefix.start_from_shortcut()
        prefix.msiexec("/x", msi)
        prefix.check_removed()

        # The task is made from its XML: Wine's schtasks.exe takes no /SC, and Wine gives every
        # file the user as owner, so quorvale-cli.exe --schedule refuses to run one as SYSTEM.
        note("upgrade %s to %s with the update's task in place" % (older_version, args.version))
        prefix.msiexec("/i", older_msi)
        prefix.check_installed(older_version, args.files_dir, args.version)
        task_xml = os.path.join(work, "task.xml")
        with open(task_xml, "w", encoding="utf-16") as f:
            f.write(TASK_XML)
        prefix.run("wine", "schtasks", "/Create", "/TN", TASK, "/XML", windows_path(task_xml))
        with open(prefix.task_file(), "rb") as f:
            task = f.read()
        prefix.msiexec("/i", msi)
        prefix.check_installed(args.version, args.files_dir, args.version)
        check(os.path.exists(prefix.task_file()), "the upgrade removed the task \"%s\"" % TASK)
        with open(prefix.task_file(), "rb") as f:
            check(f.read() == task, "the upgrade changed the task \"%s\"" % TASK)
        prefix.picture_programs_list(os.path.join(args.docs_dir if screenshots else work, "windows-installed.png"))

        note("remove")
        prefix.msiexec("/x", msi)
        prefix.check_removed()
        check(not os.path.exists(prefix.task_file()), "the removal left the task \"%s\"" % TASK)
        ok = True
    except (Failure, subprocess.SubprocessError, OSError) as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
    finally:
        if display and not ok:
            display.run("import", "-window", "root", os.path.join(work, "screen-at-failure.png"), ok_codes=(0, 1))
        if prefix:
            prefix.stop()
        if display:
            display.stop()
        if ok and os.environ.get("E2E_KEEP") != "1":
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("files kept in " + work, file=sys.stderr)
    print("Windows installer run passed" if ok else "Windows installer run failed")
    return 0 if ok else 1


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
