#!/usr/bin/env python3
"""The start-up flow of the real DA_Razi.exe, end to end under Wine.

  startup_test.py --list       the scenario names
  startup_test.py NAME...      runs those scenarios
  startup_test.py --prepare    makes the certificates and the template prefix
"""
import os
import sys
import time
import traceback

import world
from facts import IDC_PROGRESS, TEXTS
from world import IDCANCEL, IDOK, IDRETRY, World, manifest

SCENARIOS = {}

ASSISTANT = world.assistant_command()


def scenario(function):
    SCENARIOS[function.__name__] = function
    return function


def expect_box(w, slot, icon, buttons, locale="en_US.UTF-8"):
    """A message box with the text of `slot` in the language of `locale`."""
    box = w.wait_window()
    assert box.caption == TEXTS[locale]["title"], box
    assert box.text == TEXTS[locale][slot], box
    assert box.icon == icon, box
    assert box.buttons() == sorted(buttons), box
    return box


def expect_install_dialog(w, locale="en_US.UTF-8"):
    dialog = w.wait_window()
    assert dialog.caption == TEXTS[locale]["title"], dialog
    assert IDC_PROGRESS in dialog.controls, "not the install dialog: %s" % dialog
    return dialog


# Wine 8's urlmon drops an error that wininet reports after the headers
# (a reset seen by its asynchronous read): it prints this fixme and never
# ends the binding, so no OnStopBinding comes and only the fetch's own bound
# ends the wait. Microsoft documents OnStopBinding as always called, whether
# the bind succeeded, failed or was aborted: on Windows the log names the error.
WINE_DROPS_BODY_ERROR = "fixme:urlmon:HttpProtocol_on_error Not handling error"
MANIFEST_BOUND = "no answer within 20 s"


def expect_silent_end(cause=None, **settings):
    """A run that ends without a window; one of its log's last two lines
    names `cause` (or one of the causes in a tuple), or, where Wine's trace
    shows that it dropped the transfer's error, the fetch's bound, and then
    only that."""
    with World(**settings) as w:
        installer = w.start_installer(channels=",fixme+urlmon")
        w.expect_quiet_end(installer)
        assert not w.assistant_runs(), w.assistant_runs()
        assert not w.shell_launches()
        if cause:
            log = w.run_log()
            assert log[0].startswith("DA_Razi ") and "build" in log[0] and "code page" in log[0], log
            causes = cause if isinstance(cause, tuple) else (cause,)
            if WINE_DROPS_BODY_ERROR in w.trace():
                causes = (MANIFEST_BOUND,)
            assert any(text in line for text in causes for line in log[-2:]), (causes, log)


# -- runs that end silently before any window --------------------------------

# Each with the cause its log names: the download's HRESULT, the server's
# HTTP status, or the value that what came in the manifest's place lacks.
NO_VERSION, NO_ADDRESS = "no [version] version value", "no [download] address value"
# A body that ends before its Content-Length: a failed fetch, never read.
ENDED_EARLY = "download result 0x80070026"
SILENT = {
    "no_server": dict(server=False, cause="download result 0x800c0008"),
    "manifest_404": dict(manifest_fault="404", cause="HTTP status 404"),
    "manifest_500": dict(manifest_fault="500", cause="HTTP status 500"),
    # Reset at once, or after part of the manifest (Wine takes a reset its
    # read meets at once for the end of the body, which then ended early).
    "manifest_reset": dict(manifest_fault="reset", cause=("download result 0x800c0008", ENDED_EARLY)),
    # Nothing after the headers: the fetch gives up in bounded time.
    "manifest_stall": dict(manifest_fault="stall", cause=MANIFEST_BOUND),
    "manifest_untrusted_certificate": dict(certificate="untrusted", cause="download result 0x800c0019"),
    "manifest_without_download_section": dict(manifest_text="[version]\r\nversion=9.0.0.0\r\n", cause=NO_ADDRESS),
    "manifest_empty_version": dict(manifest_text=manifest(version=""), cause=NO_VERSION),
    "manifest_empty_address": dict(manifest_text=manifest(address=""), cause=NO_ADDRESS),
    "manifest_empty_file": dict(manifest_text="", cause=NO_VERSION),
    # Half the manifest arrives; Wine calls that a success, the installer does not.
    "manifest_cut_short": dict(installed="1.0.0.0", manifest_fault="truncate", cause=ENDED_EARLY),
}

for _name, _settings in SILENT.items():
    SCENARIOS["silent_" + _name] = lambda settings=_settings: expect_silent_end(**settings)


def expect_stale_manifest_deleted(**settings):
    with World(server=False, installed="1.0.0.0", **settings) as w:
        stale = w.temp_file("ZIDEVADID.INI")
        os.makedirs(os.path.dirname(stale), exist_ok=True)
        with open(stale, "w") as f:
            f.write(manifest(version="1.0.0.0"))
        installer = w.start_installer()
        w.expect_quiet_end(installer)
        assert not os.path.exists(stale), "the stale manifest was kept"
        assert not w.assistant_runs()


SCENARIOS["stale_manifest_is_deleted_before_the_download"] = expect_stale_manifest_deleted
# On an English system (C.UTF-8 to Wine), whose code page has no Chinese.
SCENARIOS["stale_manifest_is_deleted_from_a_temporary_folder_named_in_chinese"] = \
    lambda: expect_stale_manifest_deleted(locale="C.UTF-8", temp_folder="C:\\users\\张伟\\Temp")


def expect_log_kept(size, rotated, linked=False):
    """A log of `size` bytes left by earlier runs: past 1 MiB it becomes the
    old log, replacing the one before, and this run starts a new one. A log
    name that is a hard link to another account's file (`linked`) is neither
    written through nor moved, whatever its size: the file stays as it was,
    and a new log takes the name."""
    with World(installed="1.4.14.815") as w:
        os.makedirs(w.temp_file(""), exist_ok=True)
        earlier = b"2026-01-01 00:00:00.000 1 earlier\r\n"
        content = earlier * (size // len(earlier)) + b"x" * (size % len(earlier))
        log = w.temp_file("DA_Razi.log")
        written = os.path.join(w.prefix, "drive_c", "another-accounts-file") if linked else log
        with open(written, "wb") as f:
            f.write(content)
        if linked:
            os.link(written, log)
        with open(w.temp_file("DA_Razi.old.log"), "wb") as f:
            f.write(b"oldest")
        w.wait_exit(w.start_installer())
        w.wait_assistant_runs()
        old_size = os.path.getsize(w.temp_file("DA_Razi.old.log"))
        with open(log, "rb") as f:
            first_line = f.readline()
        assert (old_size, first_line == earlier) == ((size, False) if rotated else (6, not linked)), \
            (old_size, first_line)
        if linked:
            with open(written, "rb") as f:
                assert f.read() == content, "the linked file was written to"
            assert os.stat(written).st_nlink == 1 and os.stat(log).st_nlink == 1, "the link was kept"
            assert first_line.split(b" ", 3)[3].startswith(b"DA_Razi "), first_line


SCENARIOS["log_past_one_mebibyte_is_rotated"] = lambda: expect_log_kept(1024 * 1024 + 1, True)
SCENARIOS["log_of_one_mebibyte_is_kept"] = lambda: expect_log_kept(1024 * 1024, False)
SCENARIOS["log_that_is_a_hard_link_is_never_written_through"] = lambda: expect_log_kept(1000, False, linked=True)
SCENARIOS["grown_log_that_is_a_hard_link_is_never_moved"] = lambda: expect_log_kept(1024 * 1024 + 1, False, linked=True)


@scenario
def log_that_cannot_be_opened_changes_nothing():
    with World(installed="1.4.14.815") as w:
        os.makedirs(w.temp_file("DA_Razi.log"))  # a folder where the file would be
        w.expect_quiet_end(w.start_installer())
        assert w.wait_assistant_runs() == [ASSISTANT], w.assistant_runs()


@scenario
def manifest_stays_after_a_run():
    with World(installed="1.4.14.815") as w:
        w.wait_exit(w.start_installer())
        with open(w.temp_file("ZIDEVADID.INI")) as f:
            assert "1.4.14.815" in f.read()


# -- the installed product is current: the assistant starts ------------------

ASSISTANT_CASES = {
    "equal": dict(installed="1.4.14.815"),
    "newer": dict(installed="1.4.15.0"),
    "unreadable_installed": dict(installed="abc"),
    "unreadable_offered": dict(installed="1.0.0.0", manifest_text=manifest(version="123456789")),
    "compact_equal": dict(installed="14140815"),
    "slow_manifest": dict(installed="1.4.14.815", manifest_fault="drip 8 0.05"),
    # 40 characters, of which only the first 31 are read: 2.0.0.0 and then zeros.
    "offered_cut_before_its_32nd_character": dict(
        installed="2.0.0.0", manifest_text=manifest(version="2.0.0." + "0" * 25 + "1" + "0" * 8)),
    "upper_case_names": dict(
        installed="1.4.14.815",
        manifest_text="[VERSION]\r\nVersion=1.4.14.815\r\n[Download]\r\nADDRESS=https://localhost:8443/x.exe\r\n"),
}


# COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE
COINIT_APARTMENTTHREADED_NO_DDE = 0x2 | 0x4


def expect_assistant(windows="win7", verb="runas", command=ASSISTANT, **settings):
    with World(windows=windows, **settings) as w:
        installer = w.start_installer(relay="combase.CoInitializeEx")
        w.expect_quiet_end(installer)
        assert w.wait_assistant_runs() == [command], w.assistant_runs()
        launches = w.shell_launches()
        assert len(launches) == 1, launches
        # Complete when the call returns (NOASYNC): the installer ends right after it.
        assert launches[0] == (0x540, verb, command, "", 5, 0), "no window to start it for: %s" % launches
        # The shell may need a single-threaded apartment, without OLE1's DDE.
        assert COINIT_APARTMENTTHREADED_NO_DDE in w.launch_apartments()[0], w.launch_apartments()


for _name, _settings in ASSISTANT_CASES.items():
    SCENARIOS["assistant_" + _name] = lambda settings=_settings: expect_assistant(**settings)

# Before Vista the account decides; Wine's account is no administrator.
SCENARIOS["assistant_winxp_non_administrator_uses_runas"] = lambda: expect_assistant(
    windows="winxp", installed="1.4.14.815")
SCENARIOS["assistant_win10_uses_runas"] = lambda: expect_assistant(windows="win10", installed="1.4.14.815")

# A program folder named in Chinese on an English Windows (code page 1252,
# which has no Chinese; C.UTF-8 is English to Wine and names files in any
# language).
CHINESE_PROGRAM_FILES = "C:\\程序文件"
SCENARIOS["assistant_in_a_program_folder_named_in_chinese"] = lambda: expect_assistant(
    installed="1.4.14.815", locale="C.UTF-8", assistant_dir="drive_c/程序文件/ZELK/Assistant",
    registry=[("32" if world.ARCH == "win64" else None, r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion",
               "ProgramFilesDir", CHINESE_PROGRAM_FILES.replace("\\", "\\\\"))],
    command='"%s\\ZELK\\Assistant\\QXZELK_Assistant.exe"' % CHINESE_PROGRAM_FILES)


@scenario
def assistant_missing_ends_silently():
    with World(installed="1.4.14.815", assistant=False) as w:
        installer = w.start_installer()
        w.expect_quiet_end(installer)
        assert len(w.shell_launches()) == 1


# -- the install path ----------------------------------------------------------

INSTALL_PATH_CASES = {
    "older": dict(installed="1.4.14.814"),
    "missing": dict(),
    "cut_offered_is_still_compared": dict(
        installed="1.0.0.0", manifest_text=manifest(version="2.0.0.0" + "0" * 33)),
    "compact_older": dict(installed="1041415"),
}


def expect_install_path(**settings):
    with World(**settings) as w:
        installer = w.start_installer()
        expect_box(w, "need_admin_password", "question", [IDOK, IDCANCEL])
        w.press(IDOK)
        expect_install_dialog(w)
        w.driver("close", 5000)
        w.wait_exit(installer)
        assert not w.assistant_runs()


for _name, _settings in INSTALL_PATH_CASES.items():
    SCENARIOS["install_path_" + _name] = lambda settings=_settings: expect_install_path(**settings)


@scenario
def offline_retry_until_cancel():
    with World(online=False) as w:
        installer = w.start_installer()
        for _ in range(3):
            expect_box(w, "no_server", "question", [IDRETRY, IDCANCEL])
            pressed = w.press(IDRETRY)
            # The box stays until the press is handled: the next one is another window.
            w.wait_for(lambda win: win.handle != pressed.handle, what="a box other than %s" % pressed.handle)
        expect_box(w, "no_server", "question", [IDRETRY, IDCANCEL])
        w.press(IDCANCEL)
        assert w.wait_exit(installer) == 0
        assert not w.windows_now()
        log = w.run_log()
        assert log.count("online: 0") == 4 and log.count('box "no server" answered Retry') == 3, log
        assert log[-1] == 'box "no server" answered Cancel', log


@scenario
def offline_until_the_network_comes_back():
    with World(online=False) as w:
        installer = w.start_installer()
        expect_box(w, "no_server", "question", [IDRETRY, IDCANCEL])
        w.go_online()
        w.press(IDRETRY)
        expect_box(w, "need_admin_password", "question", [IDOK, IDCANCEL])
        w.press(IDCANCEL)
        w.wait_exit(installer)


@scenario
def uac_off_without_administrator_shows_only_the_error():
    with World(enable_lua=0) as w:
        installer = w.start_installer()
        expect_box(w, "cannot_elevate", "error", [IDOK])
        w.press(IDOK)
        w.wait_exit(installer)
        assert not w.windows_now()
        assert w.run_log()[-3:] == ["administrator: 0", "UAC is off: no way to become an administrator",
                                    'box "cannot elevate" answered OK'], w.run_log()


@scenario
def uac_value_missing_counts_as_off():
    with World(enable_lua=None) as w:
        installer = w.start_installer()
        expect_box(w, "cannot_elevate", "error", [IDOK])
        w.press(IDOK)
        w.wait_exit(installer)


@scenario
def credentials_box_cancel_ends_the_run():
    with World() as w:
        installer = w.start_installer()
        expect_box(w, "need_admin_password", "question", [IDOK, IDCANCEL])
        w.press(IDCANCEL)
        w.wait_exit(installer)
        assert not w.windows_now()
        assert w.run_log()[-4:] == ["no installed version read: registry error 2", "online: 1", "administrator: 0",
                                    'box "administrator password needed" answered Cancel'], w.run_log()


@scenario
def before_vista_uac_is_not_consulted():
    with World(windows="winxp", enable_lua=0) as w:
        installer = w.start_installer()
        expect_box(w, "need_admin_password", "question", [IDOK, IDCANCEL])
        w.press(IDCANCEL)
        w.wait_exit(installer)


@scenario
def simplified_chinese_texts():
    locale = "zh_CN.UTF-8"
    with World(locale=locale, setup_fault="stall") as w:
        installer = w.start_installer()
        expect_box(w, "need_admin_password", "question", [IDOK, IDCANCEL], locale)
        w.press(IDOK)
        dialog = expect_install_dialog(w, locale)
        assert (dialog.controls[IDOK]["text"], dialog.controls[IDCANCEL]["text"]) == \
            (TEXTS[locale]["retry"], TEXTS[locale]["exit"]), dialog.controls
        w.driver("close", 5000)
        w.wait_exit(installer)


@scenario
def traditional_chinese_offline_box():
    locale = "zh_TW.UTF-8"
    with World(locale=locale, online=False) as w:
        installer = w.start_installer()
        expect_box(w, "no_server", "question", [IDRETRY, IDCANCEL], locale)
        w.press(IDCANCEL)
        w.wait_exit(installer)


# -- on 64-bit Windows: the product reads the 32-bit registry view ------------


@scenario
def wow64_reads_version_and_program_directory_from_the_32_bit_view():
    registry = [("32", world.PRODUCT_KEY, "Version", "1.4.14.815"), ("64", world.PRODUCT_KEY, "Version", "1.0.0.0")]
    with World(arch="win64", registry=registry) as w:
        installer = w.start_installer()
        w.expect_quiet_end(installer)
        assert w.wait_assistant_runs() == [world.assistant_command("win64")], w.assistant_runs()


@scenario
def wow64_ignores_a_version_in_the_64_bit_view():
    with World(arch="win64", registry=[("64", world.PRODUCT_KEY, "Version", "1.4.14.815")]) as w:
        installer = w.start_installer()
        expect_box(w, "need_admin_password", "question", [IDOK, IDCANCEL])
        w.press(IDCANCEL)
        w.wait_exit(installer)
        assert not w.assistant_runs()


def main(argv, scenarios=SCENARIOS):
    if argv == ["--list"]:
        print("\n".join(scenarios))
        return 0
    if argv == ["--prepare"]:
        world.prepare_template()
        return 0
    failed = 0
    for name in argv:
        started = time.time()
        try:
            scenarios[name]()
            print("PASS %s (%.1f s)" % (name, time.time() - started))
        except Exception:
            failed += 1
            print("FAIL %s (%.1f s)" % (name, time.time() - started))
            traceback.print_exc(file=sys.stdout)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
