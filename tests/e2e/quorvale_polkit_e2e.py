#!/usr/bin/env python3
"""The window's "Remplacer le fichier hosts" through the real pkexec and polkitd.

Run as root by scripts/run-polkit-e2e, which starts the system bus and polkitd and installs
the policy and the rule that gives the answer asked for here. The program runs as an
unprivileged user in Xvfb, from APP_DIR (quorvale and the test helper, root's), on the HOSTS
file of SYSTEM_DIR, which the test helper's build fixed as its system folder.

Usage: quorvale_polkit_e2e.py --app-dir DIR --system-dir DIR --user NAME --answer yes|no
"""

import argparse
import glob
import os
import shutil
import signal
import sys
import tempfile

from quorvale_e2e import Failure, OPTIONS_OK, Quorvale, XDisplay, check, note, read, wait_until

# Its last line is refused, so the load ends by opening the report, which the run waits for.
ORIGINAL = b"0.0.0.0 ads.example.com # pub\r\n10.1.2.3 intranet.example\r\n127.0.0.1 abc\r\n"
# The details of the success message: what became of the DNS cache, which depends on the system.
REPLACED_DETAIL_START = "Le cache DNS "
REFUSED_DETAIL = "Authentification refusee ou annulee."


def message_details(display, program, box):
    """The message box's details: shown with its second button, then copied from their text
    field. (Qt copies a whole message box with Ctrl+C on Windows only.)"""
    program.focus(box)
    program.keys("Tab", "space", "Tab", "ctrl+a", "ctrl+c")
    return wait_until("the message's details in the selection",
                      lambda: display.run("xclip", "-o", "-selection", "clipboard", ok_codes=(0, 1)), timeout=5)


def replace(program, display, main_window, viewer_log):
    """Hosts > "Charger le fichier hosts", then "Remplacer le fichier hosts": "OK" in the
    options window and to the confirmation, "Oui" to the comments question. Returns the text
    of the message that ends it."""
    _, _, _, height = program.geometry(main_window)
    menu_bar_height = height - 430
    program.choose(program.open_menu(main_window, menu_bar_height), 1)
    wait_until("the report viewer", lambda: os.path.exists(viewer_log), timeout=30)
    wait_until("the main window", lambda: list(program.windows()) == [main_window])
    program.choose(program.open_menu(main_window, menu_bar_height), 2)
    options = program.wait_window("Options")
    ox, oy, _, _ = program.geometry(options)
    program.click(ox + OPTIONS_OK[0], oy + OPTIONS_OK[1])
    program.wait_gone(options)
    confirmation = program.wait_window("Confirmation")
    program.focus(confirmation)
    program.keys("Return")
    question = program.wait_window("Quorvale", exclude=(main_window,))
    program.focus(question)
    program.keys("alt+o")
    program.wait_gone(question)
    box = program.wait_window("Quorvale", exclude=(main_window, question), timeout=60)
    text = message_details(display, program, box)
    program.keys("Return")
    program.wait_gone(box)
    return text


def main():
    parser = argparse.ArgumentParser()
    for name in ("--app-dir", "--system-dir", "--user"):
        parser.add_argument(name, required=True)
    parser.add_argument("--answer", choices=("yes", "no"), required=True)
    args = parser.parse_args()

    etc_dir = os.path.join(args.system_dir, "drivers", "etc")
    shutil.rmtree(args.system_dir, ignore_errors=True)
    os.makedirs(etc_dir, mode=0o755)
    hosts_path = os.path.join(etc_dir, "HOSTS")
    with open(hosts_path, "wb") as f:
        f.write(ORIGINAL)
    os.chmod(hosts_path, 0o644)

    work = tempfile.mkdtemp(prefix="quorvale-polkit-e2e-")
    os.chmod(work, 0o755)
    fake_bin = os.path.join(work, "bin")
    home = os.path.join(work, "home")
    viewer_log = os.path.join(home, "viewer.log")
    os.makedirs(fake_bin)
    os.makedirs(home)
    shutil.chown(home, args.user)
    with open(os.path.join(fake_bin, "xdg-open"), "w") as f:
        f.write("#!/bin/sh\n# The report viewer: records that it was called.\necho \"$1\" > '%s'\n" % viewer_log)
    os.chmod(os.path.join(fake_bin, "xdg-open"), 0o755)

    display = program = None
    ok = False
    try:
        display = XDisplay(work)
        program = Quorvale(display, work, args.app_dir, args.system_dir, fake_bin, user=args.user)
        main_window = program.wait_window("Quorvale")
        note("replace as %s, polkit answering %s" % (args.user, args.answer))
        text = replace(program, display, main_window, viewer_log)
        backups = glob.glob(os.path.join(etc_dir, "HOSTS.*.bak"))
        if args.answer == "yes":
            check(text.startswith(REPLACED_DETAIL_START), "no success message: %r" % text)
            written = read(hosts_path)
            check(b"\tads.example.com" in written and b"\twww.ads.example.com" in written,
                  "the HOSTS file does not hold the loaded names: %r" % written)
            check(os.stat(hosts_path).st_uid == 0, "the HOSTS file is no longer root's")
            check(len(backups) == 1 and read(backups[0]) == ORIGINAL, "backups %r" % backups)
        else:
            check(text == REFUSED_DETAIL, "no refusal message: %r" % text)
            check(read(hosts_path) == ORIGINAL and not backups, "the refused replace changed the folder")
        ok = True
    except Failure as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
    finally:
        if program:
            program.stop()
        if display:
            display.stop()
        if ok:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("files kept in " + work, file=sys.stderr)
    print("polkit end-to-end run (%s) %s" % (args.answer, "passed" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
