#!/usr/bin/env python3
"""The window's "Remplacer le fichier hosts" through the real pkexec and polkitd, as the
unprivileged USER in Xvfb. scripts/run-polkit-e2e prepares SYSTEM_DIR (a root-owned HOSTS file
whose last line is refused), WORK (the user's home and a bin folder with a report viewer) and
polkit's ANSWER.

Usage: quorvale_polkit_e2e.py APP_DIR SYSTEM_DIR WORK USER yes|no
"""

import glob
import os
import sys

from quorvale_e2e import Failure, OPTIONS_OK, Quorvale, XDisplay, check, read, wait_until


def run(app_dir, system_dir, work, user, answer):
    hosts = os.path.join(system_dir, "drivers", "etc", "HOSTS")
    original = read(hosts)
    display = XDisplay(work)
    program = None
    try:
        program = Quorvale(display, work, app_dir, system_dir, os.path.join(work, "bin"), user=user)
        main = program.wait_window("Quorvale")
        menu_bar = program.geometry(main)[3] - 430
        # Hosts > "Charger le fichier hosts": the report of the refused line ends the load.
        program.choose(program.open_menu(main, menu_bar), 1)
        wait_until("the report", lambda: os.path.exists(os.path.join(work, "home", "viewer.log")), timeout=30)
        wait_until("the main window alone", lambda: list(program.windows()) == [main])
        # "Remplacer le fichier hosts": "OK" to the options and the confirmation, "Oui" to the comments.
        program.choose(program.open_menu(main, menu_bar), 2)
        x, y, _, _ = program.geometry(program.wait_window("Options"))
        program.click(x + OPTIONS_OK[0], y + OPTIONS_OK[1])
        program.focus(program.wait_window("Confirmation"))
        program.keys("Return")
        question = program.wait_window("Quorvale", exclude=(main,))
        program.focus(question)
        program.keys("alt+o")
        program.wait_gone(question)
        # The last message's details, shown by its second button and copied from their field
        # (Qt copies a whole message box on Windows only).
        program.focus(program.wait_window("Quorvale", exclude=(main, question), timeout=60))
        program.keys("Tab", "space", "Tab", "ctrl+a", "ctrl+c")
        details = wait_until("the details on the clipboard", lambda: display.run(
            "xclip", "-o", "-selection", "clipboard", ok_codes=(0, 1)), timeout=5)
    finally:
        if program:
            program.stop()
        display.stop()
    backups = glob.glob(hosts + ".*.bak")
    if answer == "no":
        check(details == "Authentification refusee ou annulee.", "details %r" % details)
        check(read(hosts) == original and not backups, "the refused replace changed the folder")
    else:
        # The details say what became of the DNS cache, which depends on the system.
        check(details.startswith("Le cache DNS "), "details %r" % details)
        written = read(hosts)
        check(b"\tads.example.com" in written and b"\twww.ads.example.com" in written, "written %r" % written)
        check(os.stat(hosts).st_uid == 0 and [read(b) for b in backups] == [original], "owner or backup")


if __name__ == "__main__":
    try:
        run(*sys.argv[1:6])
    except Failure as failure:
        sys.exit("FAIL: %s" % failure)
    print("polkit end-to-end run (%s) passed" % sys.argv[5])
