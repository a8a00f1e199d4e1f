#!/usr/bin/env python3
"""Plays a first installation and the start that follows it, for real:
the installer against a local HTTPS download server, with a signed demo
setup that installs a demo assistant. Run by scripts/demo."""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import facts  # noqa: E402
import world  # noqa: E402
from world import IDCANCEL, IDOK, World  # noqa: E402

LOCALES = {locale.split(".")[0]: locale for locale in facts.TEXTS}


def say(step, text):
    print("%-3s %s" % (step, text), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--lang", choices=sorted(LOCALES), default="en_US")
    parser.add_argument("--fail", action="store_true", help="serve an unsigned setup: the signature check refuses it")
    parser.add_argument("--dpi", type=int, choices=(96, 120, 144, 192), default=96,
                        help="the display's scale in dots per inch (96 is 100 %%, 144 is 150 %%)")
    args = parser.parse_args()

    shots = os.path.join(world.BUILD, "demo", "screenshots-%s%s%s" % (
        args.lang, "-fail" if args.fail else "", "-%ddpi" % args.dpi if args.dpi != 96 else ""))
    os.makedirs(shots, exist_ok=True)
    for old in os.listdir(shots):
        os.remove(os.path.join(shots, old))
    display = os.environ.get("DISPLAY") or None
    texts = facts.TEXTS[LOCALES[args.lang]]

    say("1.", "certificates, signed demo setup and a fresh Wine prefix")
    # The demonstration's own certificates and prefix, apart from the tests'.
    world.use_own_world(os.path.join(world.BUILD, "demo", "world"))
    world.prepare_template(arches=(world.ARCH,))
    world.add_setup("demo", os.path.join(world.TOOLS, "demo_setup.exe"), None if args.fail else "codesign")

    # Served slowly enough that the progress bar is seen moving.
    with World(locale=LOCALES[args.lang], setup="demo", setup_fault="drip 2048 0.04", assistant=False,
               display=display, dpi=args.dpi) as w:
        say("2.", "download server on https://localhost:8443 offers version 1.4.14.815; nothing is installed")
        installer = w.start_installer()
        box = w.wait_window()
        say("3.", "no administrator: the installer asks to go on (%s); answering OK" % box.caption)
        w.screenshot(os.path.join(shots, "1-credentials.png"))
        w.press(IDOK)
        downloading = w.wait_for(lambda win: win.status == texts["downloading"] and (win.progress or 0) >= 20, 30)
        w.screenshot(os.path.join(shots, "2-downloading.png"))
        say("4.", "downloading: %s" % downloading.status)
        final = "verify_failed" if args.fail else "installing"
        state = w.wait_status(texts[final], 60)
        w.screenshot(os.path.join(shots, "3-%s.png" % final.replace("_", "-")))
        say("5.", state.status)
        if not args.fail:
            done = w.wait_status(texts["installed"], 60)
            w.screenshot(os.path.join(shots, "4-installed.png"))
            say("6.", "%s  [%s]" % (done.status, done.controls[IDCANCEL]["text"]))
        w.press(IDCANCEL)
        w.wait_exit(installer, 30)
        say("7.", "the dialog faded out and the installer ended")

        if not args.fail:
            if not os.path.isfile(w.assistant_file()):
                raise SystemExit("the demo setup did not install the assistant where the installer looks: %s"
                                 % w.assistant_file())
            second = w.start_installer()
            w.wait_exit(second, 30)
            launches = [launch for launch in w.shell_launches() if launch[2] == world.assistant_command()]
            if not launches:
                raise SystemExit("the second start did not start the assistant %s; shell launches: %s"
                                 % (world.assistant_command(), w.shell_launches()))
            # The assistant's window comes after the installer has ended.
            time.sleep(2)
            w.screenshot(os.path.join(shots, "5-assistant.png"))
            say("8.", "second start: up to date, so it started %s (verb %s)" % (launches[-1][2], launches[-1][1]))
    say("", "screenshots: %s" % shots)
    return 0


if __name__ == "__main__":
    sys.exit(main())
