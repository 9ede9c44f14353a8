"""The window's "Remplacer le fichier hosts" through the real pkexec and polkitd, as USER in Xvfb, over
the files that scripts/run-polkit-e2e prepares. Usage: quorvale_polkit_e2e.py APP_DIR SYSTEM_DIR WORK USER yes|no"""

import glob
import os
import sys

from quorvale_e2e import OPTIONS_OK, Quorvale, XDisplay, check, read, wait_until


def run(app_dir, system_dir, work, user, answer):
    hosts = os.path.join(system_dir, "drivers", "etc", "HOSTS")
    original = read(hosts)
    display = XDisplay(work)  # it ends with this driver, if the program cannot start
    program = Quorvale(display, work, app_dir, system_dir, os.path.join(work, "bin"), user=user)
    try:
        main = program.wait_window("Quorvale")
        menu_bar = program.geometry(main)[3] - 430
        # Hosts > "Charger le fichier hosts", which ends with the report of the refused line.
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
        # The last message's details: its second button shows them (Qt copies whole boxes on Windows only).
        program.focus(program.wait_window("Quorvale", exclude=(main, question), timeout=60))
        program.keys("Tab", "space", "Tab", "ctrl+a", "ctrl+c")
        details = wait_until("the details", lambda: display.run("xclip", "-o", "-selection", "clipboard",
                                                                ok_codes=(0, 1)))
    finally:
        program.stop()
        display.stop()
    written, backups = read(hosts), [read(path) for path in glob.glob(hosts + ".*.bak")]
    if answer == "no":
        check(details == "Authentification refusee ou annulee." and written == original and not backups,
              "refused: details %r, HOSTS changed: %s, backups %d" % (details, written != original, len(backups)))
    else:
        check(details.startswith("Le cache DNS ") and b"\twww.ads.example.com" in written and os.stat(hosts).st_uid == 0
              and backups == [original], "accepted: details %r, HOSTS %r, backups %r" % (details, written, backups))


if __name__ == "__main__":
    run(*sys.argv[1:6])  # a failed check ends it with quorvale_e2e.Failure and its message
    print("polkit end-to-end run (%s) passed" % sys.argv[5])
