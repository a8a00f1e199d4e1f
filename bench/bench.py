#!/usr/bin/env python3
"""The installer's figures, each beside its reference, measured in one run
under Wine against the local test server. Prints a table and writes it to
build/bench/results.md. Nothing here is a test: no figure is asserted.

  bench.py [--runs N] [--mebibytes M]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import facts  # noqa: E402
import world  # noqa: E402
from world import IDCANCEL, IDOK, World  # noqa: E402

SOURCE = world.SOURCE
RESULTS = os.path.join(SOURCE, "build", "bench", "results.md")
REFERENCE = os.path.join(world.TOOLS, "reference_fetch.exe")
# What ships is the 32-bit exe, whichever build the timings run.
SHIPPED_INSTALLER = os.path.join(SOURCE, "build", "windows", "DA_Razi.exe")
MANIFEST_URL = "https://localhost:8443/" + world.MANIFEST_PATH


def median(values):
    return statistics.median(values) if values else float("nan")


def imports_check():
    """What tests/check-exe finds in the shipped exe (its imports, the
    delay-loaded DLLs), and whether it passed."""
    result = subprocess.run([os.path.join(SOURCE, "tests", "check-exe"), SHIPPED_INSTALLER, "32"],
                            stdout=subprocess.PIPE, text=True)
    summary = result.stdout.splitlines()[0].split(": ", 1)[-1] if result.stdout else "no answer"
    return summary, result.returncode == 0


def run_wine(w, command, until=None, timeout=60):
    """Wall time of a Windows program from its start until it ends, or until
    `until()` holds."""
    started = time.perf_counter()
    process = w.start_program(*command)
    deadline = started + timeout
    while time.perf_counter() < deadline:
        if until and until():
            elapsed = time.perf_counter() - started
            process.wait(timeout=timeout)
            return elapsed
        if process.poll() is not None and not until:
            return time.perf_counter() - started
        time.sleep(0.002)
    process.kill()
    raise RuntimeError("timed out: %s" % command)


def up_to_date_start(runs):
    """Process start to the assistant's start, against the same work done
    plainly: the manifest fetched, then the assistant started through the
    shell. Both are timed until the assistant has recorded its start."""
    installer, reference = [], []
    with World(installed="1.4.14.815") as w:
        w.run_installer()  # warms Wine's own start-up for both
        started = 1

        def time_to_assistant_start(command):
            # An assistant may record its start after its starter has ended:
            # wait for every earlier one, so that only this run's counts.
            nonlocal started
            w.wait_assistant_runs(started)
            started += 1
            return run_wine(w, command, until=lambda: len(w.assistant_runs()) >= started)

        for run in range(runs):
            installer.append(time_to_assistant_start([world.INSTALLER]))
            reference.append(time_to_assistant_start([REFERENCE, MANIFEST_URL, "C:\\reference.ini",
                                                      world.assistant_command()]))
    return median(installer), median(reference)


def transfer_seconds(w, path):
    """How long the server took to send the last answer for `path`."""
    rows = [r for r in w.requests() if r[2] == path]
    return float(rows[-1][1]) - float(rows[-1][0]), int(rows[-1][4])


def peak_working_set_kib(w):
    """VmHWM of the installer process running in `w`'s prefix, in KiB; other
    installers on the machine (a test run beside) are not counted."""
    peak = 0
    prefix = b"WINEPREFIX=" + w.prefix.encode()
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if b"DA_Razi.exe" not in f.read():
                    continue
            with open("/proc/%s/environ" % pid, "rb") as f:
                if prefix not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/status" % pid) as f:
                match = re.search(r"VmHWM:\s+(\d+) kB", f.read())
            if match:
                peak = max(peak, int(match.group(1)))
        except OSError:
            continue
    return peak


def download(runs, mebibytes):
    """A large setup: the installer's transfer time (with its progress bar)
    against the reference's, and the installer's peak working set."""
    installer, reference, memory = [], [], []
    with World(setup=None) as w:
        w.write_file(world.SETUP_PATH, os.urandom(1 << 20) * mebibytes)
        url_path = "/" + world.SETUP_PATH
        for run in range(runs):
            process = w.start_installer()
            w.wait_window()
            w.press(IDOK)
            w.wait_status(facts.ENGLISH["verify_failed"], 300)
            memory.append(peak_working_set_kib(w))
            seconds, sent = transfer_seconds(w, url_path)
            installer.append(seconds)
            w.press(IDCANCEL)
            w.wait_exit(process, 30)
            run_wine(w, [REFERENCE, "https://localhost:8443" + url_path, "C:\\reference.bin"], timeout=300)
            reference.append(transfer_seconds(w, url_path)[0])
    size = mebibytes * (1 << 20)
    return size / median(installer), size / median(reference), median(memory)


def dialog_and_fade(runs):
    """OK in the credentials box to the dialog on screen, and Exit to the
    process's end (the fade and the teardown)."""
    opening, exiting = [], []
    with World(setup_fault="stall") as w:
        for run in range(runs):
            process = w.start_installer()
            w.wait_window()
            w.press(IDOK)
            started = time.perf_counter()
            w.wait_for(lambda win: win.status is not None, 30)
            opening.append(time.perf_counter() - started)
            w.press(IDCANCEL)
            started = time.perf_counter()
            w.wait_exit(process, 30)
            exiting.append(time.perf_counter() - started)
    return median(opening), median(exiting)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--mebibytes", type=int, default=256)
    args = parser.parse_args()

    world.use_own_world(os.path.join(SOURCE, "build", "bench", "world"))
    world.prepare_template(arches=(world.ARCH,))
    size = os.path.getsize(SHIPPED_INSTALLER)
    imports, imports_met = imports_check()
    start, start_reference = up_to_date_start(args.runs)
    throughput, throughput_reference, peak = download(max(1, args.runs // 2), args.mebibytes)
    opening, exiting = dialog_and_fade(max(1, args.runs // 2))

    mib = 1 << 20
    rows = [
        ("Size of the shipped 32-bit DA_Razi.exe (stripped, with resources)",
         "%d bytes (%.1f KiB)" % (size, size / 1024), "", "at most 65536 bytes", "met" if size <= 65536 else "not met"),
        ("Format and imports", imports, "", "system DLLs only, the unprotected ones delay-loaded",
         "met" if imports_met else "not met"),
        ("Up-to-date start: process start to assistant start", "%.3f s" % start,
         "reference (manifest fetch, then shell start of the assistant) %.3f s; ratio %.2f" % (
             start_reference, start / start_reference),
         "at most 1.05 x reference", "met" if start <= 1.05 * start_reference else "not met"),
        ("Download of %d MiB (server's transfer time)" % args.mebibytes, "%.1f MiB/s" % (throughput / mib),
         "reference %.1f MiB/s; ratio %.2f" % (throughput_reference / mib, throughput / throughput_reference),
         "at least 0.95 x reference", "met" if throughput >= 0.95 * throughput_reference else "not met"),
        ("Peak working set during that download", "%.1f MiB" % (peak / 1024), "", "(figure only)", ""),
        ("OK pressed to install dialog on screen", "%.3f s" % opening, "includes the UI driver's polling", "(figure only)",
         ""),
        ("Exit pressed to process end (3001-step fade)", "%.3f s" % exiting, "includes the UI driver's polling",
         "(figure only)", ""),
    ]
    table = ["| figure | installer | reference | goal | |", "| --- | --- | --- | --- | --- |"]
    table += ["| %s |" % " | ".join(row) for row in rows]
    text = "Medians of %d runs (download and dialog: %d), under Wine 8 on this machine: %s.\n\n%s\n" % (
        args.runs, max(1, args.runs // 2), os.environ.get("RAZI_WINE_CHOICE", "the 32-bit build"),
        "\n".join(table))
    os.makedirs(os.path.dirname(RESULTS), exist_ok=True)
    with open(RESULTS, "w") as f:
        f.write(text)
    print(text)
    print("written to %s" % RESULTS)
    return 0


if __name__ == "__main__":
    sys.exit(main())
