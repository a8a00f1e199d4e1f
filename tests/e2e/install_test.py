#!/usr/bin/env python3
"""The install dialog and the installation road of the real DA_Razi.exe,
end to end under Wine: download, signature check, setup, Finish or Retry.

  install_test.py --list | NAME...
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import world
from facts import (ABOUT_CAPTION, ABOUT_ITEM, DOWNLOAD_SILENCE_SECONDS, ENGLISH as EN, IDC_PROGRESS, IDC_STATUS,
                   IDM_ABOUTBOX, INSTALL_STATUS_CODES, TEXTS, WM_INSTALL_STATUS)
from startup_test import expect_box, main
from world import IDCANCEL, IDOK, WM_CLOSE, WM_SYSCOMMAND, World

SCENARIOS = {}

SHOTS = os.path.join(world.BUILD, "screenshots")


def scenario(function):
    SCENARIOS[function.__name__] = function
    return function


def button(window, ident):
    control = window.controls[ident]
    return control["visible"], control["enabled"], control["text"]


def assert_offers_retry(window, texts=EN):
    """A failure: Retry, enabled, beside Exit, as its text asks."""
    assert button(window, IDOK) == (True, True, texts["retry"]), window.controls
    assert button(window, IDCANCEL) == (True, True, texts["exit"]), window.controls


def open_dialog(w, locale="en_US.UTF-8", relay=None, channels=""):
    """Starts the installer (tracing calls of `relay`, if given, and the
    trace `channels`) and takes it past the credentials box."""
    installer = w.start_installer(relay=relay, channels=channels)
    expect_box(w, "need_admin_password", "question", [IDOK, IDCANCEL], locale)
    w.press(IDOK)
    return installer


def exit_dialog(w, installer, seconds=60):
    started = time.time()
    w.press(IDCANCEL)
    assert w.wait_exit(installer, seconds) == 0, "the installer did not end cleanly"
    return time.time() - started


def setup_command(w):
    """How the setup is started: from the temporary folder, whose name the
    system gives with a backslash of its own, before the installer's."""
    return '"%s\\\\ZIDEVADID.EXE" /S' % w.temp_folder


@scenario
def first_installation_finishes():
    with World() as w:
        installer = open_dialog(w, relay="combase.CoInitializeEx")
        done = w.wait_status(EN["installed"])
        assert button(done, IDCANCEL) == (True, True, EN["finish"]), done.controls
        assert not done.controls[IDOK]["visible"], done.controls
        assert not done.controls[IDC_PROGRESS]["visible"], done.controls
        assert not done.topmost
        assert done.caption == EN["title"]
        assert w.setup_runs() == [setup_command(w)], w.setup_runs()
        launches = w.shell_launches()
        # Started on the dialog's behalf, so that the elevation prompt comes to the front.
        assert [(mask, verb, parm, show, window) for mask, verb, _, parm, show, window in launches] == \
            [(0x540, "runas", "/S", 5, done.handle)], (launches, done.handle)
        # From a single-threaded apartment without OLE1's DDE, as the shell may need.
        assert 0x2 | 0x4 in w.launch_apartments()[0], w.launch_apartments()
        size = os.path.getsize(os.path.join(w.root, world.SETUP_PATH))
        assert [line for line in w.run_log() if line.startswith(
            "setup download from https://localhost:8443/%s: whole, result 0x00000000, HTTP status 200, %d bytes in " % (
                world.SETUP_PATH, size))
        ], w.run_log()
        exit_dialog(w, installer)


def expect_install_failed(exit_code):
    with World(setup_behaviour="%d 0" % exit_code) as w:
        installer = open_dialog(w)
        failed = w.wait_status(EN["system_error"])
        assert_offers_retry(failed)
        assert failed.topmost, "the window is topmost again after a failed setup"
        assert len(w.setup_runs()) == 1
        assert "the setup ended with exit code %d" % exit_code in w.run_log(), w.run_log()
        downloads = len([r for r in w.requests() if r[2].endswith("setup.exe")])
        w.set_setup_behaviour("0 0")
        w.press(IDOK)
        w.wait_status(EN["installed"])
        assert len([r for r in w.requests() if r[2].endswith("setup.exe")]) == downloads + 1, "Retry downloads again"
        assert len(w.setup_runs()) == 2
        exit_dialog(w, installer)
        log = w.run_log()
        assert log[-4:] == ["the setup ended with exit code 0", "the dialog shows: installed", "Exit pressed",
                            "the install dialog has closed"], log
        assert log.count("Retry pressed") == 1, log


for _code in (1, 2, 255):
    SCENARIOS["setup_exit_code_%d_fails_and_retry_installs" % _code] = lambda code=_code: expect_install_failed(code)


def expect_verify_failed(setup, result):
    with World(setup=setup) as w:
        installer = open_dialog(w)
        failed = w.wait_status(EN["verify_failed"])
        assert_offers_retry(failed)
        assert failed.topmost
        assert w.setup_runs() == [], "an unverified setup ran"
        # The log names the trust service's answer.
        assert [line for line in w.run_log() if line.startswith(
            "signature check (generic request): WinVerifyTrust %s, refused in " % result)], w.run_log()
        exit_dialog(w, installer)


for _setup, _result in (("unsigned", "0x800b0100"), ("tampered", "0x80096010")):
    SCENARIOS["%s_setup_is_rejected" % _setup] = lambda setup=_setup, result=_result: expect_verify_failed(setup, result)


def expect_early_request(windows, setup, installed):
    # Windows 2000 and NT 5.2 get the early Authenticode request.
    with World(windows=windows, setup=setup) as w:
        installer = open_dialog(w)
        w.wait_status(EN["installed"] if installed else EN["verify_failed"])
        assert len(w.setup_runs()) == (1 if installed else 0), w.setup_runs()
        if installed:
            assert [launch[1] for launch in w.shell_launches()] == ["runas"], "no administrator before Vista"
        exit_dialog(w, installer)


for _windows, _setup, _installed in (("win2k", "signed", True), ("win2k", "tampered", False),
                                     ("win2003", "signed", True), ("win2003", "unsigned", False)):
    SCENARIOS["early_request_on_%s_%s_%s" % (_windows, "installs" if _installed else "rejects", _setup)] = \
        lambda windows=_windows, setup=_setup, installed=_installed: expect_early_request(windows, setup, installed)


@scenario
def refused_download_fails():
    with World(manifest_text=world.manifest(address="https://localhost:8444/pweb/download/setup.exe")) as w:
        installer = open_dialog(w)
        failed = w.wait_status(EN["download_failed"])
        assert failed.progress == 0
        assert_offers_retry(failed)
        assert w.setup_runs() == []
        exit_dialog(w, installer)


def expect_silent_download_fails(fault):
    """A download that goes silent ends as a failed one once nothing has
    arrived for the limit; Retry then installs from a server that behaves."""
    with World(setup_fault=fault) as w:
        installer = open_dialog(w)
        w.wait_status(EN["downloading"])
        started = time.time()
        failed = w.wait_status(EN["download_failed"], DOWNLOAD_SILENCE_SECONDS + 30)
        print("%s: download failed %.1f s after it started" % (fault, time.time() - started))
        assert failed.progress == 0, failed.progress
        assert_offers_retry(failed)
        assert w.setup_runs() == [], "a cut setup ran"
        assert [line for line in w.run_log() if line.endswith(", aborted after 30 s without data")], w.run_log()
        w.write_file(world.SETUP_PATH + ".fault", "")
        w.press(IDOK)
        w.wait_status(EN["installed"])
        assert w.setup_runs() == [setup_command(w)], w.setup_runs()
        exit_dialog(w, installer)


for _fault, _where in (("silent", "before_the_headers"), ("stall", "before_the_body"), ("halt", "in_mid_body")):
    SCENARIOS["download_silent_%s_fails_and_retry_installs" % _where] = \
        lambda fault=_fault: expect_silent_download_fails(fault)


@scenario
def slow_download_that_keeps_delivering_is_never_cut():
    size = os.path.getsize(os.path.join(world.SETUPS, "signed.exe"))
    # Twelve chunks, a pause of a sixth of the limit before each but the
    # first: the whole transfer takes well over the limit.
    pause = DOWNLOAD_SILENCE_SECONDS / 6
    with World(setup_fault="drip %d %.1f" % (size // 11 + 1, pause)) as w:
        installer = open_dialog(w)
        w.wait_status(EN["installed"], DOWNLOAD_SILENCE_SECONDS * 3)
        body = [r for r in w.requests() if r[2].endswith("setup.exe")]
        assert len(body) == 1 and float(body[0][1]) - float(body[0][0]) > DOWNLOAD_SILENCE_SECONDS, body
        exit_dialog(w, installer)


@scenario
def error_page_and_short_body_fail_the_download():
    # Wine's download service reports success for a 404 page and for a body
    # shorter than announced: the installer itself refuses the page and
    # tells the short body from a whole one. A reset that the service misses
    # ends as a silent download. A length of 4 GiB or more, which the
    # download cannot count, fails at once.
    for fault in ("404", "truncate", "reset", "announce 4294967296"):
        with World(setup_fault=fault) as w:
            installer = open_dialog(w)
            try:
                w.wait_status(EN["download_failed"], DOWNLOAD_SILENCE_SECONDS + 30)
            except AssertionError as error:
                raise AssertionError("%s: %s" % (fault, error))
            assert w.setup_runs() == []
            if fault == "404":
                assert [line for line in w.run_log() if "HTTP status 404" in line and "answer refused" in line], \
                    w.run_log()
            if fault.startswith("announce"):
                assert [line for line in download_lines(w)
                        if ", 0 bytes in " in line and line.endswith(", 4 GiB or more announced")], w.run_log()
            exit_dialog(w, installer)


def download_lines(w):
    return [line for line in w.run_log() if line.startswith("setup download from ")]


def cut_then_retry(change, answers, began):
    """A download cut at 70 %; then `change` (of the world) and Retry: the
    second request carries the range of the rest and the first answer's
    ETag; the server's `answers` to it and to any plain request after it, and
    how the log says it `began`. The file checked and run is the one served."""
    whole = world.setup_file("signed")
    with World(setup_fault="cut 0.7") as w:
        installer = open_dialog(w)
        w.wait_status(EN["download_failed"])
        first = w.answers()
        cut = int(len(whole) * 0.7)
        assert [(status, sent) for status, _, _, sent in first] == [(200, cut)], first
        assert download_lines(w)[-1].endswith(", ended early at %d of %d" % (cut, len(whole))), download_lines(w)
        served = change(w)
        w.press(IDOK)
        if answers == (206,):
            # The rest comes slowly: the bar goes on from where the cut left it.
            going = w.wait_for(lambda win: win.status == EN["downloading"] and win.progress is not None, 30)
            assert 70 <= going.progress < 100, going
        w.wait_status(EN["installed"], 60)
        second = w.answers()[len(first):]
        etag = '"%s"' % hashlib.sha256(whole).hexdigest()[:32]
        # After the ranged request, only plain ones.
        asked = [("bytes=%d-" % cut, etag)] + [(None, None)] * (len(answers) - 1)
        assert [(range_, condition) for _, range_, condition, _ in second] == asked, second
        assert tuple(status for status, _, _, _ in second) == answers, second
        sent = len(served) - cut if answers[-1] == 206 else len(served)
        assert second[-1][3] == sent, second
        assert download_lines(w)[-1].startswith("setup download from https://localhost:8443/%s: %s, result 0x00000000"
                                                % (world.SETUP_PATH, began % (cut, len(whole)) if "%" in began else began)), download_lines(w)
        assert len(w.setup_runs()) == 1, w.setup_runs()
        assert w.setup_self_checks() == ["own"], w.setup_self_checks()
        with open(w.temp_file("ZIDEVADID.EXE"), "rb") as f:
            assert f.read() == served, "the setup checked and run is not the one served"
        exit_dialog(w, installer)


def unchanged(w):
    w.write_file(world.SETUP_PATH + ".fault", "drip 4096 0.5")
    return world.setup_file("signed")


def changed(w):
    os.remove(os.path.join(w.root, world.SETUP_PATH + ".fault"))
    w.write_file(world.SETUP_PATH, world.setup_file("other-signer"))
    return world.setup_file("other-signer")


def ranges_ignored(w):
    w.write_file(world.SETUP_PATH + ".fault", "no-ranges")
    return world.setup_file("signed")


def next_version_behind_a_proxy(w):
    """A new version of the same length, valid on its own, served as 206 to
    the old version's If-Range: appended, it would be neither."""
    next_version = world.setup_file("next-version")
    assert len(next_version) == len(world.setup_file("signed")) and next_version != world.setup_file("signed")
    w.write_file(world.SETUP_PATH + ".fault", "ignore-if-range")
    w.write_file(world.SETUP_PATH, next_version)
    return next_version


for _name, _change, _answers, _began in (
        ("goes_on_with_the_rest", unchanged, (206,), "resumed at %d of %d"),
        ("takes_a_changed_file_whole", changed, (200,), "whole"),
        ("starts_over_where_ranges_are_ignored", ranges_ignored, (200,), "whole"),
        ("takes_a_new_version_whole_where_if_range_is_ignored", next_version_behind_a_proxy, (206, 200), "whole")):
    SCENARIOS["retry_after_a_cut_" + _name] = \
        lambda change=_change, answers=_answers, began=_began: cut_then_retry(change, answers, began)


def pinned(pins, served, outcome, logged, fetched):
    """A manifest that pins the setup: the served file's `outcome`, a log
    line that holds `logged`, and whether the setup was asked of the server
    at all (`fetched`)."""
    digest = hashlib.sha256(world.setup_file("signed")).hexdigest()
    size = len(world.setup_file("signed"))
    text = world.manifest(**{key: value(digest, size) for key, value in pins.items()})
    with World(manifest_text=text, setup=served) as w:
        installer = open_dialog(w)
        w.wait_status(EN[outcome])
        assert [line for line in w.run_log() if logged in line], (logged, w.run_log())
        assert len(w.setup_runs()) == (outcome == "installed"), w.setup_runs()
        assert bool(w.answers()) == fetched, w.answers()
        exit_dialog(w, installer)


for _name, _pins, _served, _outcome, _logged, _fetched in (
        ("the_file_it_names_installs", dict(sha256=lambda d, n: d.upper(), size=lambda d, n: n), "signed",
         "installed", "matches the manifest's pin", True),
        ("another_signed_file_is_refused", dict(sha256=lambda d, n: d), "other-signer", "verify_failed",
         "the manifest pins ", True),
        ("a_malformed_digest_refuses_all_before_the_download", dict(sha256=lambda d, n: d[:63]), "signed",
         "download_failed", "is not 64 hex digits", False),
        ("a_longer_file_fails_the_download", dict(size=lambda d, n: n - 1), "signed", "download_failed",
         ", over the manifest's size ", True),
        ("of_4294967295_bytes_is_a_pin", dict(size=lambda d, n: 4294967295), "signed", "download_failed",
         ", over the manifest's size 4294967295", True),
        ("a_malformed_size_fails_the_download", dict(size=lambda d, n: "%dk" % n), "signed", "download_failed",
         "size value is not a count", False)):
    SCENARIOS["pinned_setup_" + _name] = \
        lambda pins=_pins, served=_served, outcome=_outcome, logged=_logged, fetched=_fetched: \
        pinned(pins, served, outcome, logged, fetched)


@scenario
def pinned_setup_cut_then_retry_goes_on_and_matches_its_pin():
    """The digest taken as the setup is written is kept with the partial
    download: Retry fetches only the rest, and the whole file matches."""
    whole = world.setup_file("signed")
    pin = world.manifest(sha256=hashlib.sha256(whole).hexdigest(), size=len(whole))
    with World(manifest_text=pin, setup_fault="cut 0.7") as w:
        installer = open_dialog(w)
        w.wait_status(EN["download_failed"])
        os.remove(os.path.join(w.root, world.SETUP_PATH + ".fault"))
        w.press(IDOK)
        w.wait_status(EN["installed"], 60)
        assert "resumed at %d of %d" % (int(len(whole) * 0.7), len(whole)) in download_lines(w)[-1], download_lines(w)
        assert [line for line in w.run_log() if "matches the manifest's pin" in line], w.run_log()[-4:]
        assert w.setup_runs() == [setup_command(w)], w.setup_runs()
        exit_dialog(w, installer)


@scenario
def slow_download_moves_the_bar_and_exit_ends_it():
    # Some 40 s of transfer: on a loaded machine a snapshot of the dialog
    # takes seconds, and the bar must still be short of the end at the second.
    with World(setup_fault="drip 4096 0.5") as w:
        installer = open_dialog(w)
        first = w.wait_status(EN["downloading"])
        assert not first.controls[IDOK]["visible"] and not first.controls[IDCANCEL]["visible"], first.controls
        assert first.topmost
        later = w.wait_for(lambda win: win.progress is not None and win.progress > (first.progress or 0) + 5, 30)
        assert later.progress < 100, later.progress
        exit_dialog(w, installer)
        # Ended by Exit, not by the end of the transfer.
        size = os.path.getsize(os.path.join(w.root, world.SETUP_PATH))
        sent = [int(r[4]) for r in w.requests() if r[2].endswith("setup.exe")]
        assert len(sent) == 1 and sent[0] < size, (sent, size)
        assert w.setup_runs() == []


@scenario
def exit_during_a_stalled_download_ends_the_process():
    with World(setup_fault="stall") as w:
        installer = open_dialog(w)
        w.wait_status(EN["downloading"])
        w.wait_answer_begun(world.SETUP_PATH)
        w.driver("close", 5000)
        assert w.wait_exit(installer, 20) == 0


@scenario
def exit_fades_the_window_out_in_3001_steps():
    function = "user32.SetLayeredWindowAttributes"
    with World(setup_fault="stall") as w:
        installer = open_dialog(w, relay=function)
        w.wait_status(EN["downloading"])
        exit_dialog(w, installer)
        calls = w.relayed_calls(function)
        alphas = [int(alpha, 16) for _, key, alpha, flags in calls]
        assert [(int(key, 16), int(flags, 16)) for _, key, _, flags in calls] == [(0, 2)] * len(calls)
        assert alphas[0] == 255, "opaque at initialization"
        assert alphas[1:] == [(765000 - 255 * k) // 3000 for k in range(3001)], alphas[:5]


@scenario
def unknown_status_codes_change_nothing():
    with World(setup="unsigned") as w:
        installer = open_dialog(w)
        before = w.wait_status(EN["verify_failed"])
        unknown = (0, 1, 7, 1000)
        assert not set(unknown) & set(INSTALL_STATUS_CODES.values()), INSTALL_STATUS_CODES
        for code in unknown:
            assert w.send(WM_INSTALL_STATUS, code) == 1
        after = w.windows_now()[0]
        assert (after.status, after.controls, after.topmost) == (before.status, before.controls, before.topmost)
        exit_dialog(w, installer)


@scenario
def retry_downloads_again_with_the_buttons_hidden():
    with World(setup="unsigned") as w:
        installer = open_dialog(w)
        failed = w.wait_status(EN["verify_failed"])
        assert failed.progress == 100
        w.write_file(world.SETUP_PATH + ".fault", "stall")
        w.press(IDOK)
        # The bar keeps its position only until the new download's first
        # report, which comes within milliseconds: too short to observe here.
        again = w.wait_status((EN["connecting"], EN["downloading"]), 20)
        assert not again.controls[IDOK]["visible"] and not again.controls[IDOK]["enabled"], again.controls
        w.driver("close", 5000)
        w.wait_exit(installer)


# -- with the keyboard alone, and with a screen reader -------------------------

VK_TAB, VK_RETURN, VK_ESCAPE = 0x09, 0x0D, 0x1B
OBJID_CLIENT, CHILDID_SELF = -4, 0
# UI Automation's LiveSetting (Polite 1, Assertive 2) and MSAA's Name.
LIVE_SETTING, POLITE, ASSERTIVE = "c12bcd8e-2a8e-4950-8ae7-3625111d58eb", 1, 2
ACCESSIBLE_NAME = "608d3df8-8128-4aa7-a428-f55e49267291"
# Each outcome: its text's slot, its name in the log, the world that reaches it.
OUTCOMES = (
    ("download_failed", "download failed",
     dict(manifest_text=world.manifest(address="https://localhost:8444/pweb/download/setup.exe"))),
    ("verify_failed", "verify failed", dict(setup="unsigned")),
    ("system_error", "install failed", dict(setup_behaviour="1 0")),
    ("installed", "installed", {}),
)
FAILURES = ("download failed", "verify failed", "install failed")


def finish_with_the_keyboard(slot, logged, settings):
    """After the outcome, the focus is on the button that carries on and is
    the default; Tab runs over the visible buttons only; Enter, sent to the
    focused control, presses it (a failure's Retry reaches the outcome again)
    and Esc exits. A listener in another process, as a screen reader, hears
    the status line announce each new text, urgently for a failure."""
    carry_on = IDCANCEL if slot == "installed" else IDOK
    with World(**settings) as w:
        listening = w.start_listener()
        installer = open_dialog(w, channels=",fixme+oleacc")
        attempts = 1 if slot == "installed" else 2
        for attempt in range(1, attempts + 1):
            world.wait_until(lambda: w.run_log().count("the dialog shows: " + logged) == attempt, 60,
                             "outcome %d: %s" % (attempt, logged), lambda: w.run_log()[-3:])
            shown = w.wait_status(EN[slot])
            assert (shown.focus, shown.default) == (carry_on, carry_on), (attempt, shown.focus, shown.default)
            if slot != "installed":
                for focus in (IDCANCEL, IDOK):
                    w.key(VK_TAB)
                    w.wait_for(lambda win: win.focus == focus, 10, what="Tab to move the focus to %d" % focus)
            if attempt < attempts:
                w.key(VK_RETURN)
                world.wait_until(lambda: "Retry pressed" in w.run_log(), 20, "Enter to press Retry",
                                 lambda: w.run_log()[-3:])
        w.key(VK_RETURN if slot == "installed" else VK_ESCAPE)
        assert w.wait_exit(installer, 20) == 0, "the key did not end the installer"

        log = w.run_log()
        statuses = [line[len("the dialog shows: "):] for line in log if line.startswith("the dialog shows: ")]
        events = w.live_events(listening)
        # Read when the event arrives, a text may already be the next one.
        assert [event[:3] for event in events] == [(IDC_STATUS, OBJID_CLIENT, CHILDID_SELF)] * len(statuses), \
            (events, statuses)
        assert events[-1][3] == EN[slot], events
        annotations = w.annotations()
        live = [(window, value) for window, prop, value in annotations if prop == LIVE_SETTING]
        assert [value for _, value in live] == [ASSERTIVE if s in FAILURES else POLITE for s in statuses], \
            (live, statuses)
        names = [(window, value) for window, prop, value in annotations if prop == ACCESSIBLE_NAME]
        assert [value for _, value in names] == [EN["downloading"]], annotations
        assert len({window for window, _ in live}) == 1 and names[0][0] != live[0][0], annotations


for _slot, _logged, _settings in OUTCOMES:
    SCENARIOS["keyboard_and_screen_reader_finish_after_%s" % _logged.replace(" ", "_")] = \
        lambda slot=_slot, logged=_logged, settings=_settings: finish_with_the_keyboard(slot, logged, settings)


def near(point, other):
    """Centres that agree to the pixel that halving an odd size loses."""
    return abs(point[0] - other[0]) <= 1 and abs(point[1] - other[1]) <= 1


@scenario
def about_box_belongs_to_the_dialog_and_both_open_centred():
    title, about_title = EN["title"], ABOUT_CAPTION
    with World(setup_fault="drip 4096 0.05") as w:
        installer = open_dialog(w, channels=",+menu")
        dialog = w.wait_status(EN["downloading"])
        # Chinese on an English system too, whose code page has no Chinese.
        assert ABOUT_ITEM in w.menu_items(), w.menu_items()
        left, top, right, bottom = w.work_area()
        assert near(dialog.centre, ((left + right) / 2, (top + bottom) / 2)), (dialog.rect, w.work_area())
        # Windows keeps the low four bits of a system command for itself.
        for command in (IDM_ABOUTBOX, IDM_ABOUTBOX | 1, IDM_ABOUTBOX | 0xF):
            w.post(WM_SYSCOMMAND, command, window=title)
            about = w.wait_window(window=about_title)
            assert "DA_Razi 2, 0, 12, 1010" in about.texts, about.texts
            assert about.owner == title, about.owner
            on_screen = w.windows_now()
            captions = [window.caption for window in on_screen]
            assert captions.index(about_title) < captions.index(title), "the box is behind the dialog: %s" % captions
            beneath = on_screen[captions.index(title)]
            assert not beneath.enabled, "the dialog stays usable beneath its About box"
            assert near(about.centre, beneath.centre), (about.rect, beneath.rect)
            if command == IDM_ABOUTBOX:
                # The download ends, is checked and installed while the box is open.
                done = w.wait_status(EN["installed"], 60, window=title)
                assert not done.enabled
            w.press(IDOK, window=about_title)
            again = w.wait_for(lambda win: win.enabled, window=title)
            assert again.status == EN["installed"], again
        assert w.setup_runs() == [setup_command(w)], w.setup_runs()
        exit_dialog(w, installer)


@scenario
def dialog_is_drawn_at_the_display_dpi_and_opens_centred():
    """At 100, 125 and 150 % the program lays the dialog out at the display's
    DPI (Windows would stretch a program that does not declare itself aware
    of it, and Wine draws every program at that DPI): it grows with the scale
    and still opens in the middle. Whether each text fits is measured inside
    a process (the resource tests): a font handle is the process's own."""
    locale = "zh_CN.UTF-8"
    sizes = {}
    for dpi in (96, 120, 144):
        with World(locale=locale, dpi=dpi) as w:
            # The box's question, whose icon the driver knows by its pixels at 96 DPI only.
            installer = w.start_installer()
            w.wait_window()
            w.press(IDOK)
            done = w.wait_status(TEXTS[locale]["installed"])
            left, top, right, bottom = w.work_area()
            assert near(done.centre, ((left + right) / 2, (top + bottom) / 2)), (dpi, done.rect, w.work_area())
            sizes[dpi] = (done.rect[2] - done.rect[0], done.rect[3] - done.rect[1])
            os.makedirs(SHOTS, exist_ok=True)
            w.screenshot(os.path.join(SHOTS, "installed-zh_CN-%ddpi.png" % dpi))
            exit_dialog(w, installer)
    print("dialog sizes by DPI:", sizes)
    for dpi in (120, 144):
        for axis, name in enumerate(("width", "height")):
            scale = sizes[dpi][axis] / sizes[96][axis]
            # Dialog units follow the font's whole pixels (8 points are 11 px
            # at 96 DPI, 13 at 120), and so do caption and frame: within 8 %.
            assert abs(scale - dpi / 96) < 0.08 * dpi / 96, "%s at %d DPI: %s" % (name, dpi, sizes)


@scenario
def any_trusted_publisher_is_accepted_without_a_pin():
    with World(setup="other-signer") as w:
        installer = open_dialog(w)
        w.wait_status(EN["installed"])
        exit_dialog(w, installer)


@scenario
def pinned_publisher_installs():
    # Under a manifest signed with the key the pinned installer carries.
    with World(installer=world.PINNED_INSTALLER) as w:
        installer = open_dialog(w)
        w.wait_status(EN["installed"])
        assert [line for line in w.run_log() if line.startswith("manifest signature verified over ")], w.run_log()
        assert w.setup_runs() == [setup_command(w)]
        exit_dialog(w, installer)


@scenario
def pin_rejects_another_publisher():
    with World(installer=world.PINNED_INSTALLER, setup="other-signer") as w:
        installer = open_dialog(w)
        w.wait_status(EN["verify_failed"])
        assert w.setup_runs() == []
        exit_dialog(w, installer)


def refused_manifest(text, logged):
    """The pinned installer under the manifest bytes `text`: the run ends with
    nothing shown and no setup asked for, and the log holds `logged`."""
    with World(installer=world.PINNED_INSTALLER, manifest_text=text, sign_manifest=False) as w:
        installer = w.start_installer()
        code, windows, lines = w.watch_screen(installer, 15000)
        assert not windows, windows
        assert w.wait_exit(installer, 30) == 0
        assert w.answers() == [], w.answers()
        assert [line for line in w.run_log() if logged in line], (logged, w.run_log()[-3:])


def other_key_signed(text):
    key = os.path.join(tempfile.mkdtemp(), "other.pem")
    subprocess.run(["openssl", "genrsa", "-out", key, "2048"], check=True, capture_output=True)
    return world.signed_manifest(text, key)


def one_byte_changed(text):
    signed = bytearray(world.signed_manifest(text))
    signed[signed.index(b"1.4.14.815") + 9] = ord("6")
    return bytes(signed)


for _name, _make, _logged in (
        ("one_byte_changed_in_its_signed_part", one_byte_changed, "does not verify with the publisher's key"),
        ("signed_by_another_key", other_key_signed, "does not verify with the publisher's key"),
        ("unsigned", lambda text: text.encode(), "it carries no signature"),
        ("with_a_section_after_its_signature", lambda text: world.signed_manifest(text) +
         b"[download]\r\naddress=https://localhost:8443/pweb/download/evil.exe\r\n", "manifest refused: "),
        ("with_two_signatures", lambda text: world.signed_manifest(world.signed_manifest(text)), "manifest refused: ")):
    SCENARIOS["pinned_installer_refuses_a_manifest_" + _name] = \
        lambda make=_make, logged=_logged: refused_manifest(make(world.manifest()), logged)


def setup_version(installer, setup, offered, outcome, logged):
    """A setup whose own version (its version block's) is `setup`'s, under a
    manifest that offers `offered` over an installed 1.4.14.815 (or none, for
    an offer below it): the outcome, and a log line that holds `logged`."""
    installed = "1.4.14.815" if [int(n) for n in offered.split(".")] > [1, 4, 14, 815] else None
    with World(installer=installer, setup=setup, installed=installed, manifest_text=world.manifest(version=offered)) as w:
        dialog = open_dialog(w)
        w.wait_status(EN[outcome])
        assert [line for line in w.run_log() if logged in line], (logged, w.run_log()[-5:])
        assert len(w.setup_runs()) == (outcome == "installed"), w.setup_runs()
        exit_dialog(w, dialog)


for _name, _installer, _setup, _offered, _outcome, _logged in (
        ("an_older_signed_setup_under_a_higher_offer_is_refused", world.INSTALLER, "signed-1.4.14.700", "1.4.14.816",
         "verify_failed", "setup refused: its version 1.4.14.700 is older than the offered 1.4.14.816"),
        ("a_setup_of_exactly_the_offered_version_installs", world.INSTALLER, "signed-1.4.14.816", "1.4.14.816",
         "installed", "setup version 1.4.14.816, offered 1.4.14.816"),
        ("without_a_version_block_installs_where_no_publisher_is_pinned", world.INSTALLER, "signed-unversioned",
         "1.4.14.816", "installed", "setup has no version block: accepted"),
        ("without_a_version_block_is_refused_where_the_publisher_is_pinned", world.PINNED_INSTALLER,
         "signed-unversioned", "1.4.14.816", "verify_failed", "setup refused: it has no version block"),
        ("below_the_floor_is_refused_whatever_the_offer", world.PINNED_INSTALLER, "signed-1.4.14.700", "1.4.14.700",
         "verify_failed", "setup refused: its version 1.4.14.700 is older than this installer's own 1.4.14.815")):
    SCENARIOS["setup_version_" + _name] = \
        lambda installer=_installer, setup=_setup, offered=_offered, outcome=_outcome, logged=_logged: \
        setup_version(installer, setup, offered, outcome, logged)


def race_swapper(mode, **settings):
    # The racer's program is the fake assistant, which leaves runs.txt beside
    # itself, in the temporary folder, if it is ever started. A setup raced
    # while it runs waits (at most 20 s) for the racer before it reads itself back.
    evil = os.path.join(world.TOOLS, "fake_assistant.exe")
    with World(setup_behaviour="0 20000" if mode == "running" else "0 500", **settings) as w:
        installer = open_dialog(w)
        report = w.start_swapper(evil, 4000, mode)
        final = w.wait_status((EN["installed"], EN["verify_failed"], EN["download_failed"]), 60)
        figures = w.wait_swapper_report(report)
        try:
            with open(w.temp_file("runs.txt"), encoding="latin-1") as f:
                unverified_runs = len([line for line in f if line.strip()])
        except FileNotFoundError:
            unverified_runs = 0
        print("swap racer:", " ".join(figures), "| unverified program runs:", unverified_runs,
              "| setup read back:", w.setup_self_checks(), "| outcome:", final.status)
        if mode == "running":
            # The running setup's file stays held until the setup has ended:
            # renaming it away is refused (32, a sharing violation), and the
            # setup reads back its own bytes, not the racer's.
            assert figures == ["running", "rename-error", "32", "replaced", "0"], figures
            assert w.setup_self_checks() == ["own"], w.setup_self_checks()
        if mode:
            # Attacking from the moment the file is held until after the
            # start: the verified setup runs, whatever the racer does.
            assert final.status == EN["installed"], (final, w.run_log()[-6:])
        if mode == "after-lock":
            assert figures[:2] == ["locked", "attempts"] and int(figures[2]) > 0, figures
        if not mode:
            assert figures[:1] == ["attempts"] and int(figures[1]) > 0, figures
        assert unverified_runs == 0, "the racer's program ran"
        if final.status == EN["installed"]:
            assert w.setup_runs() == [setup_command(w)], w.setup_runs()
        exit_dialog(w, installer)


def start_racer_after_the_download(w, target, served, evil):
    """Another account's racer that puts `evil` in the place of `target` in
    the moment after its download; once it has staged its copy, it waits."""
    report = w.start_swapper(evil, 60000, "replace-after-close", target, served)
    world.wait_until(lambda: os.path.exists(w.temp_file(target + ".staged")), 30, "the racer's staged copy",
                     lambda: os.listdir(os.path.dirname(w.temp_file(target))))
    return report


def evil_runs(w):
    try:
        with open(w.temp_file("runs.txt"), encoding="latin-1") as f:
            return [line for line in f if line.strip()]
    except FileNotFoundError:
        return []


@scenario
def setup_replaced_after_its_download_never_runs():
    """A signed program of the publisher's put in the setup's place between
    its download and its check: the download fails, and it never runs."""
    with World() as w:
        report = start_racer_after_the_download(w, "ZIDEVADID.EXE", world.SETUP_PATH,
                                                os.path.join(world.SETUPS, "signed-assistant.exe"))
        installer = open_dialog(w)
        final = w.wait_status((EN["installed"], EN["download_failed"], EN["verify_failed"]), 60)
        figures = w.wait_swapper_report(report)
        print("racer:", " ".join(figures), "| outcome:", final.status)
        assert evil_runs(w) == [], "the racer's program ran"
        # The racer wins when it gets in between the download's close and
        # the hold, which it mostly does: the file that was fetched is then
        # replaced, or gone for a moment; else it gets in once the setup has
        # ended and let its file go.
        if [line for line in w.run_log() if line.startswith(("setup refused: the file at its path is not the one",
                                                             "setup refused: it cannot be held open"))]:
            assert final.status == EN["download_failed"], (final, w.run_log()[-4:])
            assert_offers_retry(final)
        else:
            # The hold came first: what was fetched installs.
            assert final.status == EN["installed"], (final, w.run_log()[-4:])
            assert w.setup_runs() == [setup_command(w)], w.setup_runs()
        exit_dialog(w, installer)


@scenario
def manifest_replaced_after_its_download_is_never_read():
    """A manifest that names another program put in the manifest's place
    between its download and its reading: the run ends with nothing shown,
    and the other program is never asked for."""
    evil_path = "pweb/download/evil.exe"
    with World() as w:
        w.write_file(evil_path, world.setup_file("signed-assistant"))
        evil_manifest = os.path.join(w.dir, "evil.ini")
        with open(evil_manifest, "w") as f:
            f.write(world.manifest(address="https://localhost:8443/" + evil_path))
        report = start_racer_after_the_download(w, "ZIDEVADID.INI", world.MANIFEST_PATH, evil_manifest)
        installer = w.start_installer()
        code, windows, lines = w.watch_screen(installer, 20000)
        figures = w.wait_swapper_report(report)
        print("racer:", " ".join(figures), "| windows:", len(windows))
        if not windows:
            # The racer came between the download and the hold: the file
            # that was fetched is replaced, or gone for a moment.
            assert w.wait_exit(installer, 30) == 0
            assert [line for line in w.run_log() if line.startswith(
                ("manifest refused: the file at its path is not the one", "manifest refused: it cannot be held open"))], \
                w.run_log()
            assert figures[:3] == ["after-close", "replaced", "1"], figures
        else:
            # The hold came first: the fetched manifest, and only it, leads
            # to the install path.
            offers = [line for line in w.run_log() if line.startswith("manifest offers ")]
            assert offers == ['manifest offers version "1.4.14.815" at https://localhost:8443/%s' % world.SETUP_PATH], \
                offers
            expect_box(w, "need_admin_password", "question", [IDOK, IDCANCEL])
            w.press(IDCANCEL)
            assert w.wait_exit(installer, 30) == 0
        assert w.answers(evil_path) == [], "the other program was asked for"
        assert evil_runs(w) == [], "the racer's program ran"


@scenario
def close_while_the_setup_runs_keeps_its_file_held_until_it_ends():
    """Closing the dialog while the setup runs closes it, but the process,
    and its hold on the running setup's file, end only with the setup: a
    racer that comes after the Close still cannot rename the file away."""
    evil = os.path.join(world.TOOLS, "fake_assistant.exe")
    with World(setup_behaviour="0 20000") as w:
        installer = open_dialog(w)
        w.wait_status(EN["installing"])
        world.wait_until(w.setup_runs, 20, "the setup's start", w.setup_runs)
        w.post(WM_CLOSE, 0)
        world.wait_until(lambda: not w.windows_now(), 20, "the dialog to close", w.windows_now)
        assert installer.poll() is None, "the installer ended while its setup runs"
        figures = w.wait_swapper_report(w.start_swapper(evil, 4000, "running"))
        assert figures == ["running", "rename-error", "32", "replaced", "0"], figures
        assert w.wait_exit(installer) == 0
        assert w.setup_self_checks() == ["own"], w.setup_self_checks()
        assert "waiting for the setup to end" in w.run_log(), w.run_log()


@scenario
def hard_link_at_the_setups_name_is_never_written_through():
    with World() as w:
        os.makedirs(w.temp_file(""), exist_ok=True)
        victim = os.path.join(w.prefix, "drive_c", "another-accounts-file")
        with open(victim, "wb") as f:
            f.write(b"another account's file")
        os.link(victim, w.temp_file("ZIDEVADID.EXE"))
        installer = open_dialog(w)
        w.wait_status(EN["installed"])
        exit_dialog(w, installer)
        with open(victim, "rb") as f:
            assert f.read() == b"another account's file", "the linked file was written to"
        assert os.stat(victim).st_nlink == 1, "the link was kept"
        assert w.setup_runs() == [setup_command(w)], w.setup_runs()


SCENARIOS["swap_racer_from_the_download_on_never_gets_its_program_run"] = lambda: race_swapper(None)
SCENARIOS["swap_racer_after_the_check_cannot_replace_the_verified_setup"] = lambda: race_swapper("after-lock")
SCENARIOS["swap_racer_cannot_rename_the_running_setup_away"] = lambda: race_swapper("running")

# A user whose folder is named in Chinese, on an English Windows (code page
# 1252, which has no Chinese): C.UTF-8 is English to Wine, and lets it name
# files in any language on every machine.
CHINESE_TEMP = dict(locale="C.UTF-8", temp_folder="C:\\users\\张伟\\Temp")


@scenario
def installs_from_a_temporary_folder_named_in_chinese():
    with World(**CHINESE_TEMP) as w:
        installer = open_dialog(w)
        w.wait_status(EN["installed"])
        assert w.setup_runs() == [setup_command(w)], w.setup_runs()
        assert os.path.isfile(w.temp_file("ZIDEVADID.INI")) and os.path.isfile(w.temp_file("ZIDEVADID.EXE"))
        exit_dialog(w, installer)


SCENARIOS["swap_racer_after_the_check_in_a_chinese_temporary_folder"] = lambda: race_swapper("after-lock", **CHINESE_TEMP)


def install_in(locale):
    with World(locale=locale) as w:
        installer = w.start_installer()
        w.wait_window()
        w.press(IDOK)
        texts = TEXTS[locale]
        downloading = w.wait_for(lambda win: IDC_PROGRESS in win.controls, 20)
        assert downloading.caption == texts["title"], downloading
        assert downloading.controls[IDOK]["text"] == texts["retry"]
        done = w.wait_status(texts["installed"])
        assert done.controls[IDCANCEL]["text"] == texts["finish"], done.controls
        os.makedirs(SHOTS, exist_ok=True)
        w.screenshot(os.path.join(SHOTS, "installed-%s.png" % locale.split(".")[0]))
        exit_dialog(w, installer)


for _locale in TEXTS:
    SCENARIOS["installs_in_%s" % _locale.split(".")[0]] = lambda locale=_locale: install_in(locale)


# -- started from a folder that others can write ------------------------------

# The installer's imports that Windows does not protect as known DLLs, and
# what the system's TLS stack loads by name at the first HTTPS connection
# (secur32, crypt32), which the installer loads from the system folder first.
# Wine protects none, and its own DLLs' imports ignore the process's DLL
# search settings, so names that only Wine pulls in before the program runs
# (version, imm32) cannot be planted here without Wine itself loading them.
PLANTED = ("comctl32", "netapi32", "wintrust", "urlmon", "wininet", "secur32", "crypt32")


def loaded_from(w, folder):
    """The file names Wine's loader took from `folder`, from the trace."""
    with open(os.path.join(w.dir, "launches.trace"), encoding="utf-8", errors="replace") as f:
        trace = f.read()
    prefix = (world.windows_path(folder) + "\\").lower()
    return [path.replace("\\\\", "\\").lower()[len(prefix):]
            for path in re.findall(r'Loaded L"([^"]*)"', trace)
            if path.replace("\\\\", "\\").lower().startswith(prefix)]


@scenario
def planted_dlls_next_to_the_exe_are_never_loaded():
    with World(native_dlls=PLANTED) as w:
        folder = os.path.join(w.dir, "Downloads")
        os.makedirs(folder)
        shutil.copy(w.installer, folder)
        shutil.copy(os.path.join(world.TOOLS, "plain_imports.exe"), folder)
        for name in PLANTED:
            shutil.copy(os.path.join(world.TOOLS, "planted.dll"), os.path.join(folder, name + ".dll"))
        w.installer = os.path.join(folder, "DA_Razi.exe")
        installer = w.start_installer(channels=",+loaddll")
        try:
            expect_box(w, "need_admin_password", "question", [IDOK, IDCANCEL])
        except AssertionError as error:
            # A planted TLS DLL fails the manifest's fetch before the box.
            raise AssertionError("%s; loaded from beside the exe: %s" % (error, loaded_from(w, folder)))
        w.press(IDOK)
        w.wait_status(EN["installed"])
        assert w.setup_runs() == [setup_command(w)], w.setup_runs()
        exit_dialog(w, installer)
        assert loaded_from(w, folder) == ["da_razi.exe"], loaded_from(w, folder)

        # The same folder does catch a program that imports them the usual way
        # (which then fails to start, the planted copies exporting none of its imports).
        w.installer = os.path.join(folder, "plain_imports.exe")
        w.start_installer(channels=",+loaddll")
        caught = {"plain_imports.exe"} | {name + ".dll" for name in PLANTED}
        world.wait_until(lambda: caught <= set(loaded_from(w, folder)), 30, "Wine to load %s" % sorted(caught),
                         lambda: loaded_from(w, folder), interval=0.2)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:], SCENARIOS))
