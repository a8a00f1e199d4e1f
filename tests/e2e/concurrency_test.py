#!/usr/bin/env python3
"""Two things at once against the real DA_Razi.exe: a second instance
started at each stage of a first one's run ends at once, shows nothing and
leaves the first alone; Retry pressed again and again never runs two
downloads at once. Prints "N cases, N as expected".

  concurrency_test.py [K/N]     the K-th of N shards
"""
import subprocess
import sys
import time

import world
from facts import ABOUT_CAPTION, ENGLISH, IDM_ABOUTBOX
from world import IDCANCEL, IDOK, WM_SYSCOMMAND, World, run_suite

REFUSED = world.manifest(address="https://localhost:8444/setup.exe")


def status_is(slot):
    return lambda w: w.wait_status(ENGLISH[slot], 60)


def through_credentials(then=None):
    def reach(w):
        w.wait_window()
        w.press(IDOK)
        if then:
            then(w)
    return reach


def about_box(w):
    through_credentials(status_is("downloading"))(w)
    w.post(WM_SYSCOMMAND, IDM_ABOUTBOX)
    w.wait_window(window=ABOUT_CAPTION)


def screen(w):
    """What the user sees, in a form that can be compared."""
    return [(win.caption, win.text, win.status) for win in w.windows_now()]


def second_instance(settings, reach, manifest_stage=False):
    with World(**settings) as w:
        first = w.start_installer()
        if manifest_stage:
            w.wait_answer_begun(world.MANIFEST_PATH)  # the drip keeps it going for about ten seconds more
        else:
            reach(w)
        before, requests, setups = screen(w), len(w.requests()), w.setup_runs()
        started = time.time()
        code = w.run_installer(timeout=20)
        ended = time.time()
        assert code is not None, "the second instance hung"
        assert code == 0, "exit code %s" % code
        assert ended - started < 10, "the second instance took %.1f s" % (ended - started)
        assert screen(w) == before, "the screen changed: %s -> %s" % (before, screen(w))
        assert first.poll() is None, "the first instance ended"
        assert w.setup_runs() == setups
        # Both log, whole lines each; the second says why it ended.
        assert "another copy of the installer runs: this one ends" in w.run_log(), w.run_log()
        if manifest_stage:
            # The first's fetch was under way the whole time, and the second
            # never fetched: one manifest request, and only once it is over.
            w.wait_window(30000)
            fetches = [r for r in w.requests() if r[2].endswith(".ini")]
            assert len(fetches) == 1, fetches
            assert float(fetches[0][0]) < started and float(fetches[0][1]) > ended, (fetches, started, ended)
        else:
            assert len(w.requests()) == requests, "the second instance fetched: %s" % w.requests()[requests:]
        return "second ended in %.1f s" % (ended - started)


def retry_hammered(rounds=3):
    """Failed downloads; in each round two clicks of Retry at once and one
    more while the download runs."""
    verify_failed = ENGLISH["verify_failed"]
    with World(setup="unsigned", setup_fault="drip 65536 0.3") as w:
        installer = w.start_installer()
        through_credentials(status_is("verify_failed"))(w)
        code, _, lines = w.driver("hammer", IDOK, rounds, 20000, timeout=120)
        assert code == 0 and lines and lines[-1].startswith("posted"), lines
        enabled = int(lines[-1].split()[3])
        w.wait_for(lambda win: win.status == verify_failed and win.controls[IDOK]["enabled"], 60,
                   what="the last round's download to fail with Retry enabled")

        def downloads():
            return sorted((float(r[0]), float(r[1])) for r in w.requests() if r[2].endswith("setup.exe"))
        # The server notes a download's end just after its last byte.
        world.wait_until(lambda: len(downloads()) >= 1 + rounds, 20, "%d downloads in requests.log" % (1 + rounds),
                         downloads)
        # A click kept for later would start a download once the dialog
        # handles it, before anything posted after it: the About box.
        w.post(WM_SYSCOMMAND, IDM_ABOUTBOX)
        w.wait_window(window=ABOUT_CAPTION)
        dialog = next(win for win in w.windows_now() if win.caption == ENGLISH["title"])
        assert dialog.status == verify_failed and dialog.controls[IDOK]["enabled"], dialog
        found = downloads()
        assert len(found) == 1 + rounds, "one download per round expected: %s" % found
        for (_, end), (start, _) in zip(found, found[1:]):
            # The client may act on the last byte before the server notes
            # its end: a few ms of slack.
            assert start >= end - 0.05, "two downloads at once: %s" % found
        assert not w.setup_runs(), "an unverified setup ran"
        w.press(IDOK, window=ABOUT_CAPTION)
        w.wait_for(lambda win: win.enabled, window=ENGLISH["title"], what="the dialog enabled after its About box")
        w.press(IDCANCEL)
        assert w.wait_exit(installer, 20) == 0
        return "%d rounds, %d of %d clicks found Retry enabled, one download each round" % (
            rounds, enabled, 3 * rounds)


def two_started_together():
    """Two copies started at the same moment: one runs, the other ends, and
    both log, each line whole (the world's reading checks every line)."""
    with World(installed="1.4.14.815", manifest_fault="drip 16 0.2") as w:
        first, second = w.start_installer(), w.start_installer(stderr=subprocess.DEVNULL)
        assert w.wait_exit(first, 60) == 0 and w.wait_exit(second, 60) == 0
        log = w.run_log()
        starts = [line for line in log if line.startswith("DA_Razi ")]
        assert len(starts) == 2, log
        assert log.count("another copy of the installer runs: this one ends") == 1, log
        return "%d lines of two copies" % len(log)


CASES = [
    ("second during the manifest download",
     lambda: second_instance(dict(manifest_fault="drip 16 1"), None, manifest_stage=True)),
    ("second at the offline box", lambda: second_instance(dict(online=False), lambda w: w.wait_window())),
    ("second at the cannot-elevate box", lambda: second_instance(dict(enable_lua=0), lambda w: w.wait_window())),
    ("second at the credentials box", lambda: second_instance({}, lambda w: w.wait_window())),
] + [
    ("second %s" % stage, lambda settings=settings, slot=slot: second_instance(settings, through_credentials(
        status_is(slot))))
    for stage, settings, slot in (("while downloading", dict(setup_fault="stall"), "downloading"),
                                  ("at download failed", dict(manifest_text=REFUSED), "download_failed"),
                                  ("at verify failed", dict(setup="unsigned"), "verify_failed"),
                                  ("while installing", dict(setup_behaviour="0 60000"), "installing"),
                                  ("at install failed", dict(setup_behaviour="1 0"), "system_error"),
                                  ("at installed", {}, "installed"))
] + [
    ("second over the About box", lambda: second_instance(dict(setup_fault="stall"), about_box)),
    ("Retry pressed again and again", retry_hammered),
    ("two started together", two_started_together),
]


def main(argv):
    return run_suite(CASES, argv, "cases")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
