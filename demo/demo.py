#!/usr/bin/env python3
"""Plays a first installation and the start that follows it, for real:
the installer against a local HTTPS download server, with a signed demo
setup that installs a demo assistant. Run by scripts/demo."""
import argparse
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import world  # noqa: E402
from world import MB_OK, World  # noqa: E402

STATUS, IDCANCEL = 1000, 2
LOCALES = {"en_US": "en_US.UTF-8", "zh_CN": "zh_CN.UTF-8", "zh_TW": "zh_TW.UTF-8"}
# How the installer's status line reads, by state; the texts are the user's.
STATES = {
    "en_US": {"downloading": "Get installation file", "installing": "installing", "installed": "Installed successfully",
              "verify_failed": "Verify the signature"},
    "zh_CN": {"downloading": "正在下载", "installing": "正在执行安装", "installed": "安装成功", "verify_failed": "验证安装文件签名失败"},
    "zh_TW": {"downloading": "正在下載", "installing": "正在執行安裝", "installed": "安裝成功", "verify_failed": "驗證安裝檔簽名失敗"},
}


def say(step, text):
    print("%-3s %s" % (step, text), flush=True)


def status(window):
    return window.controls.get(STATUS, {}).get("text", "")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--lang", choices=sorted(LOCALES), default="en_US")
    parser.add_argument("--fail", action="store_true", help="serve an unsigned setup: the signature check refuses it")
    args = parser.parse_args()

    shots = os.path.join(world.BUILD, "demo", "screenshots-%s%s" % (args.lang, "-fail" if args.fail else ""))
    os.makedirs(shots, exist_ok=True)
    for old in os.listdir(shots):
        os.remove(os.path.join(shots, old))
    display = os.environ.get("DISPLAY") or None
    texts = STATES[args.lang]

    say("1.", "certificates, signed demo setup and a fresh Wine prefix")
    # The demonstration's own certificates and prefix, apart from the tests'.
    world.use_own_world(os.path.join(world.BUILD, "demo", "world"))
    world.prepare_template(arches=(world.ARCH,))
    setup = os.path.join(world.SETUPS, "demo.exe")
    plain = os.path.join(world.TOOLS, "demo_setup.exe")
    if args.fail:
        shutil.copy(plain, setup)
    else:
        world.sign(plain, setup, "codesign")

    # Served slowly enough that the progress bar is seen moving.
    with World(locale=LOCALES[args.lang], setup="demo", setup_fault="drip 2048 0.04", assistant=False,
               display=display) as w:
        say("2.", "download server on https://localhost:8443 offers version 1.4.14.815; nothing is installed")
        installer = w.start_installer()
        box = w.wait_window()
        say("3.", "no administrator: the installer asks to go on (%s); answering OK" % box.caption)
        w.screenshot(os.path.join(shots, "1-credentials.png"))
        w.press(MB_OK)
        downloading = w.wait_for(lambda win: texts["downloading"] in status(win) and (win.progress or 0) >= 20, 30)
        w.screenshot(os.path.join(shots, "2-downloading.png"))
        say("4.", "downloading: %s" % status(downloading))
        final = "verify_failed" if args.fail else "installing"
        state = w.wait_for(lambda win: texts[final] in status(win), 60)
        w.screenshot(os.path.join(shots, "3-%s.png" % final.replace("_", "-")))
        say("5.", status(state))
        if not args.fail:
            done = w.wait_for(lambda win: texts["installed"] in status(win), 60)
            w.screenshot(os.path.join(shots, "4-installed.png"))
            say("6.", "%s  [%s]" % (status(done), done.controls[IDCANCEL]["text"]))
        w.press(IDCANCEL)
        w.wait_exit(installer, 30)
        say("7.", "the dialog faded out and the installer ended")

        if not args.fail:
            installed = os.path.join(w.prefix, world.assistant_dir(), "QXZELK_Assistant.exe")
            if not os.path.isfile(installed):
                raise SystemExit("the demo setup did not install the assistant where the installer looks: %s"
                                 % installed)
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
