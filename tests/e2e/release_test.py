#!/usr/bin/env python3
"""The release command, scripts/release: a folder that it wrote, served by
the test server, installs with the installer that it built, whose pin then
refuses another publisher; and each refusal names what to fix and leaves
the output folder as it was. Prints "N releases, N as expected".

Its argument picks the refusals, which end before the installer is built,
or the installing case.
"""
import hashlib
import importlib.machinery
import os
import shutil
import subprocess
import sys
import tempfile

import world
from facts import ENGLISH
from install_test import exit_dialog, open_dialog, setup_command
from world import World, run_suite

RELEASE = os.path.join(world.SOURCE, "scripts/release")
# The refusals and the installing case run side by side: one build folder each.
BUILD_DIRS = {part: os.path.join(world.BUILD, "release-test-" + part) for part in ("refusals", "install")}
PUBLISHER = "ZELK Test Publisher"
# The version that the test world's setups name in their version blocks.
OFFER = "1.4.14.815"
ADDRESS = "https://localhost:8443/pweb/download/setup.exe"


def certificate(name):
    return os.path.join(world.CERTS, name)


def host_for_address_of(length):
    """A host name that makes the setup's address `length` characters long."""
    return "h" * (length - len(ADDRESS.replace("localhost", "")) - len(".example.com")) + ".example.com"


def offer(work, setup):
    """The test setup `setup` as work/setup.exe."""
    shutil.copy(os.path.join(world.SETUPS, setup + ".exe"), os.path.join(work, "setup.exe"))


def release(work, *options, part="refusals"):
    """Runs the release command on work/setup.exe into work/release (later
    options override the host and version given first); its exit code and
    all it printed, with every run of blanks as one space."""
    command = [RELEASE, "--host", "localhost", "--version", OFFER, "--setup", os.path.join(work, "setup.exe"),
               "--ca-file", certificate("ca.pem"), "--out", os.path.join(work, "release"),
               "--build-dir", BUILD_DIRS[part]] + list(options)
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=480)
    return result.returncode, " ".join(result.stdout.split())


def snapshot(folder):
    """Every folder and file below `folder`, with each file's bytes."""
    found = {}
    for directory, _, names in os.walk(folder):
        found[os.path.relpath(directory, folder)] = None
        for name in names:
            with open(os.path.join(directory, name), "rb") as f:
                found[os.path.relpath(os.path.join(directory, name), folder)] = f.read()
    return found


def installs_with_the_installer_it_built():
    with tempfile.TemporaryDirectory(prefix="da-razi-release-test.") as work:
        offer(work, "unsigned")
        code, output = release(work, "--publisher", PUBLISHER, "--installed", "1.4.14.814",
                               "--sign-cert", certificate("codesign.pem"), "--sign-key", certificate("codesign.key"),
                               part="install")
        assert code == 0, output
        assert "1.4.14.814 -> will install" in output, output
        assert "1. pweb/download/setup.exe 2. pweb/download/da_razi_update.ini" in output, output
        out = os.path.join(work, "release")
        assert sorted(snapshot(out)) == [".", "DA_Razi.exe", "pweb", "pweb/download",
                                         "pweb/download/da_razi_update.ini", "pweb/download/setup.exe"]
        with open(os.path.join(out, "pweb/download/setup.exe"), "rb") as f:
            published = f.read()
        with open(os.path.join(out, "pweb/download/da_razi_update.ini"), "rb") as f:
            assert f.read() == world.manifest(OFFER, ADDRESS, hashlib.sha256(published).hexdigest(),
                                              len(published)).encode(), "the manifest differs from the reference"

        with World(installer=os.path.join(out, "DA_Razi.exe"), installed="1.4.14.814", setup=None) as w:
            shutil.rmtree(os.path.join(w.root, "pweb"))
            shutil.copytree(os.path.join(out, "pweb"), os.path.join(w.root, "pweb"))
            installer = open_dialog(w)
            w.wait_status(ENGLISH["installed"])
            assert w.setup_runs() == [setup_command(w)], w.setup_runs()
            exit_dialog(w, installer)

            # The pin is built in: the same release with another publisher's setup.
            shutil.copy(os.path.join(world.SETUPS, "other-signer.exe"), os.path.join(w.root, "pweb/download/setup.exe"))
            installer = open_dialog(w)
            w.wait_status(ENGLISH["verify_failed"])
            assert w.setup_runs() == [setup_command(w)], "a setup of another publisher ran"
            exit_dialog(w, installer)
    return "installed from the release folder; its pin refused another publisher"


def previous_release(work):
    """An output folder that already holds the release of OFFER."""
    downloads = os.path.join(work, "release/pweb/download")
    os.makedirs(downloads)
    shutil.copy(os.path.join(world.SETUPS, "signed.exe"), os.path.join(downloads, "setup.exe"))
    with open(os.path.join(downloads, "da_razi_update.ini"), "w", newline="") as f:
        f.write(world.manifest(OFFER, ADDRESS))


# name, setup, options, whether the output folder holds a release already,
# and the texts that the output must hold ("OUT" for the output folder).
REFUSALS = [
    ("unsigned", "unsigned", (), False, [
        "WARNING: no --publisher.", "a pinned publisher would have.",
        "release refused: setup.exe carries no Authenticode signature: give --sign-cert and --sign-key to sign it"]),
    ("changed_byte", "tampered", (), False, [
        "release refused: setup.exe was changed after it was signed: its content no longer matches its signature"]),
    ("wrong_publisher", "other-signer", ("--publisher", PUBLISHER), False, [
        'release refused: setup.exe is signed by "Other Publisher", but the installer accepts only '
        '"ZELK Test Publisher" (whole and exact, case included)']),
    ("unreadable_version", "signed", ("--version", "123456789"), False, [
        'release refused: the installer cannot compare the version "123456789"']),
    ("version_not_newer", "signed", ("--installed", "1.4.14.814"), True, [
        "1.4.14.814 -> will install", "1.4.14.815 (the manifest now in OUT) -> stays",
        "release refused: the installer would not install 1.4.14.815 over 1 of the versions above"]),
    ("setup_of_another_version", "signed", ("--version", "1.4.14.816"), False, [
        "release refused: the version block of setup.exe names the file version 1.4.14.815, but --version is "
        "1.4.14.816"]),
    # A signed program of the publisher's that has no version block.
    ("setup_without_a_version_block", "signed-assistant", (), False, [
        "release refused: setup.exe has no version block with a file version"]),
    ("address_too_long", "signed", ("--host", host_for_address_of(512)), False, [
        "has 512 characters, but the installer reads at most 511 (its buffer holds 512 bytes)"]),
    # One character less passes, on to the signature check.
    ("unsigned_with_an_address_of_511_characters", "unsigned", ("--host", host_for_address_of(511)), False, [
        "release refused: setup.exe carries no Authenticode signature"]),
]


def refused(setup, options, has_release, texts):
    with tempfile.TemporaryDirectory(prefix="da-razi-release-test.") as work:
        offer(work, setup)
        if has_release:
            previous_release(work)
        before = snapshot(work)
        code, output = release(work, *options)
        assert code == 1, "exit code %d: %s" % (code, output)
        for text in texts:
            assert text.replace("OUT", os.path.join(work, "release")) in output, "%r not in: %s" % (text, output)
        assert snapshot(work) == before, "the refusal changed the folder: " + output
        return output[output.index("release refused:"):]


def pins_name_the_published_setup():
    """The manifest's pins, written and read back as the release does: the
    file they were taken from passes, any other file is refused."""
    script = importlib.machinery.SourceFileLoader("release_script", RELEASE).load_module()
    with tempfile.TemporaryDirectory(prefix="da-razi-release-test.") as work:
        manifest = os.path.join(work, "da_razi_update.ini")
        signed = os.path.join(world.SETUPS, "signed.exe")
        script.write_manifest(manifest, OFFER, ADDRESS, script.setup_pins(signed))
        with open(signed, "rb") as f:
            whole = f.read()
        with open(manifest, "rb") as f:
            assert f.read() == world.manifest(OFFER, ADDRESS, hashlib.sha256(whole).hexdigest(), len(whole)).encode()
        script.check_manifest_pins(manifest, signed)
        for other in ("other-signer", "tampered"):
            try:
                script.check_manifest_pins(manifest, os.path.join(world.SETUPS, other + ".exe"))
            except script.Refusal as refusal:
                assert str(refusal).startswith("the manifest pins sha256 %s and size %d, but %s.exe has sha256 " % (
                    hashlib.sha256(whole).hexdigest(), len(whole), other)), refusal
            else:
                raise AssertionError("the pins of signed.exe passed %s.exe" % other)
    return "the published setup passes, other-signer and tampered are refused"


# The exit code by which CTest reports a case as skipped.
SKIPPED = 77


def main(argv):
    """"refusals", or "install": the release installs, which takes a machine
    that runs the 32-bit exe it built."""
    if argv == ["install"]:
        if world.ARCH != "win32":
            print("skipped: the release exe is 32-bit, and this build's tests run under 64-bit Wine")
            return SKIPPED
        cases = [("installs_with_the_installer_it_built", installs_with_the_installer_it_built)]
    else:
        cases = [("refuses_" + name, lambda row=row: refused(*row)) for name, *row in REFUSALS]
        cases.append(("pins_name_the_published_setup", pins_name_the_published_setup))
    return run_suite(cases, [], "releases")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
