#!/usr/bin/env python3
"""Network faults of the test server, for the manifest and for the setup,
against the real DA_Razi.exe: what the user sees is what it must be, nothing
hangs past Exit, and nothing unverified runs. Prints "N faults, N as expected".

  network_fault_test.py [K/N]     the K-th of N shards
"""
import sys
import time

import world
from facts import ENGLISH
from world import IDCANCEL, IDOK, World, run_suite

OTHER_HOST = "https://elsewhere.invalid:8443/pweb/download/"
DOWNLOAD_FAILED, DOWNLOADING = (ENGLISH[slot] for slot in ("download_failed", "downloading"))


def manifest_case(settings):
    """The run ends without any window, the setup never runs."""
    with World(installed="1.0.0.0", **settings) as w:
        installer = w.start_installer()
        code, windows, _ = w.watch_screen(installer, 40000)
        assert not windows, "a window showed: %s" % windows
        assert w.wait_exit(installer, 30) == 0
        assert not w.setup_runs() and not w.assistant_runs()
        return "silent"


def setup_case(settings, expected_status=None, exit_while=None, logged=None):
    """The dialog reaches `expected_status` (one text, or a tuple of texts
    any of which is right), or, with `exit_while`, Exit is pressed while
    that status shows and the process ends. The download's log line holds
    `logged`, the cause as the support desk reads it."""
    with World(**settings) as w:
        installer = w.start_installer()
        w.wait_window()
        w.press(IDOK)
        wanted = exit_while or expected_status
        w.wait_status(wanted, 60)
        if exit_while:
            w.wait_answer_begun(world.SETUP_PATH)
        started = time.time()
        w.press(IDCANCEL)
        assert w.wait_exit(installer, 20) == 0
        assert not w.setup_runs(), "an unverified setup ran"
        if logged:
            assert [line for line in w.run_log() if line.startswith("setup download from ") and logged in line], \
                (logged, w.run_log())
        outcome = "exit during download" if exit_while else "status as expected"
        return "%s, ended %.1f s after Exit" % (outcome, time.time() - started)


CASES = [
    ("manifest: connection refused", lambda: manifest_case(dict(server=False))),
    ("manifest: reset mid-body", lambda: manifest_case(dict(manifest_fault="reset"))),
    ("manifest: body cut short", lambda: manifest_case(dict(manifest_fault="truncate"))),
    ("manifest: 404", lambda: manifest_case(dict(manifest_fault="404"))),
    ("manifest: 500", lambda: manifest_case(dict(manifest_fault="500"))),
    ("manifest: stalled after the headers", lambda: manifest_case(dict(manifest_fault="stall"))),
    ("manifest: untrusted certificate", lambda: manifest_case(dict(certificate="untrusted"))),
    ("manifest: redirect to another host",
     lambda: manifest_case(dict(manifest_fault="redirect " + OTHER_HOST + "da_razi_update.ini"))),
    ("setup: connection refused", lambda: setup_case(
        dict(manifest_text=world.manifest(address="https://localhost:8444/setup.exe")), DOWNLOAD_FAILED,
        logged="result 0x800c0008, HTTP status 0, 0 bytes")),
    ("setup: untrusted certificate", lambda: setup_case(
        dict(second_server="untrusted", manifest_text=world.manifest(
            address="https://localhost:8444/" + world.SETUP_PATH)), DOWNLOAD_FAILED, logged="result 0x800c0019")),
    # Wine's download service reports a reset in mid-body as an error or, when
    # the half body was read before the RST landed, as a success; the
    # installer sees the body ended early either way.
    ("setup: reset mid-body", lambda: setup_case(dict(setup_fault="reset"), DOWNLOAD_FAILED)),
    ("setup: body cut short", lambda: setup_case(dict(setup_fault="truncate"), DOWNLOAD_FAILED, logged="ended early")),
    ("setup: 404", lambda: setup_case(dict(setup_fault="404"), DOWNLOAD_FAILED,
                                      logged="HTTP status 404, 0 bytes")),
    ("setup: 500", lambda: setup_case(dict(setup_fault="500"), DOWNLOAD_FAILED,
                                      logged="HTTP status 500, 0 bytes")),
    ("setup: slow drip, Exit mid-download", lambda: setup_case(dict(setup_fault="drip 1024 0.2"),
                                                               exit_while=DOWNLOADING)),
    ("setup: stalled after the headers, Exit", lambda: setup_case(dict(setup_fault="stall"),
                                                                  exit_while=DOWNLOADING)),
    ("setup: redirect to another host", lambda: setup_case(
        dict(setup_fault="redirect " + OTHER_HOST + "setup.exe"), DOWNLOAD_FAILED)),
]


def main(argv):
    return run_suite(CASES, argv, "faults")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
