#!/usr/bin/env python3
"""The release command, scripts/release: a folder that it wrote, its manifest
signed, served by the test server, installs with the installer that it built,
whose pin then refuses another publisher; and each refusal names what to fix and leaves
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


def manifest_signature_verifies(signed, signature, certificate):
    """Whether `signature` (bytes) is an RSA signature of `signed` by the key
    of `certificate`, as openssl finds it apart from the release's own check."""
    with tempfile.TemporaryDirectory(prefix="da-razi-release-test.") as folder:
        key, signature_file = os.path.join(folder, "key.pem"), os.path.join(folder, "signature")
        with open(key, "wb") as f:
            f.write(subprocess.run(["openssl", "x509", "-pubkey", "-noout", "-in", certificate],
                                   stdout=subprocess.PIPE, check=True).stdout)
        with open(signature_file, "wb") as f:
            f.write(signature)
        return subprocess.run(["openssl", "dgst", "-sha256", "-verify", key, "-signature", signature_file],
                              input=signed, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


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
            signed, _, signature = f.read().partition(SIGNATURE_START)
        assert signed == world.manifest(OFFER, ADDRESS, hashlib.sha256(published).hexdigest(),
                                        len(published)).encode(), "the manifest differs from the reference"
        assert signature.endswith(b"\r\n"), signature
        assert manifest_signature_verifies(signed, bytes.fromhex(signature[:-2].decode()), certificate("codesign.pem")), \
            "the manifest published is not signed by codesign.pem's key"

        with World(installer=os.path.join(out, "DA_Razi.exe"), installed="1.4.14.814", setup=None) as w:
            shutil.rmtree(os.path.join(w.root, "pweb"))
            shutil.copytree(os.path.join(out, "pweb"), os.path.join(w.root, "pweb"))
            installer = open_dialog(w)
            w.wait_status(ENGLISH["installed"])
            assert w.setup_runs() == [setup_command(w)], w.setup_runs()
            exit_dialog(w, installer)

            # The pins hold: the same release with another publisher's setup,
            # which is not of the size its signed manifest pins.
            shutil.copy(os.path.join(world.SETUPS, "other-signer.exe"), os.path.join(w.root, "pweb/download/setup.exe"))
            installer = open_dialog(w)
            w.wait_status(ENGLISH["download_failed"])
            assert [line for line in w.run_log() if ", over the manifest's size " in line], w.run_log()[-3:]
            assert w.setup_runs() == [setup_command(w)], "a setup of another publisher ran"
            exit_dialog(w, installer)
    return "installed from the release folder with its signed manifest; its pins refused another publisher's setup"


def previous_release(work):
    """An output folder that already holds the release of OFFER."""
    downloads = os.path.join(work, "release/pweb/download")
    os.makedirs(downloads)
    shutil.copy(os.path.join(world.SETUPS, "signed.exe"), os.path.join(downloads, "setup.exe"))
    with open(os.path.join(downloads, "da_razi_update.ini"), "w", newline="") as f:
        f.write(world.manifest(OFFER, ADDRESS))


def ec_certificate(work):
    """A self-signed code-signing certificate of the publisher with an EC key,
    as WORK/ec.pem and WORK/ec.key."""
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-days", "1", "-subj", "/CN=" + PUBLISHER, "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", os.path.join(work, "ec.key"), "-out", os.path.join(work, "ec.pem")],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


# name, setup, options, what to put in the work folder first (None, or a
# function of it), and the texts that the output must hold ("OUT" for the
# output folder, "WORK" for the work folder, in options too).
REFUSALS = [
    ("unsigned", "unsigned", (), None, [
        "WARNING: no --publisher.", "a pinned publisher would have.", "WARNING: no --sign-cert.",
        "release refused: setup.exe carries no Authenticode signature: give --sign-cert and --sign-key to sign it"]),
    ("changed_byte", "tampered", (), None, [
        "release refused: setup.exe was changed after it was signed: its content no longer matches its signature"]),
    ("wrong_publisher", "other-signer", ("--publisher", PUBLISHER), None, [
        'release refused: setup.exe is signed by "Other Publisher", but the installer accepts only '
        '"ZELK Test Publisher" (whole and exact, case included)']),
    ("unreadable_version", "signed", ("--version", "123456789"), None, [
        'release refused: the installer cannot compare the version "123456789"']),
    ("version_not_newer", "signed", ("--installed", "1.4.14.814"), previous_release, [
        "1.4.14.814 -> will install", "1.4.14.815 (the manifest now in OUT) -> stays",
        "release refused: the installer would not install 1.4.14.815 over 1 of the versions above"]),
    ("setup_of_another_version", "signed", ("--version", "1.4.14.816"), None, [
        "release refused: the version block of setup.exe names the file version 1.4.14.815, but --version is "
        "1.4.14.816"]),
    # A signed program of the publisher's that has no version block.
    ("setup_without_a_version_block", "signed-assistant", (), None, [
        "release refused: setup.exe has no version block with a file version"]),
    ("non_rsa_certificate", "unsigned", ("--sign-cert", "WORK/ec.pem", "--sign-key", "WORK/ec.key"), ec_certificate, [
        "release refused: --sign-cert WORK/ec.pem carries an id-ecPublicKey key, not an RSA key"]),
    ("key_of_another_certificate", "unsigned",
     ("--sign-cert", certificate("codesign.pem"), "--sign-key", certificate("other-codesign.key")), None, [
         "release refused: --sign-key %s is not the private key of the certificate in --sign-cert %s"
         % (certificate("other-codesign.key"), certificate("codesign.pem"))]),
    ("address_too_long", "signed", ("--host", host_for_address_of(512)), None, [
        "has 512 characters, but the installer reads at most 511 (its buffer holds 512 bytes)"]),
    # One character less passes, on to the signature check.
    ("unsigned_with_an_address_of_511_characters", "unsigned", ("--host", host_for_address_of(511)), None, [
        "release refused: setup.exe carries no Authenticode signature"]),
]


def refused(setup, options, prepare, texts):
    with tempfile.TemporaryDirectory(prefix="da-razi-release-test.") as work:
        offer(work, setup)
        if prepare:
            prepare(work)
        before = snapshot(work)
        code, output = release(work, *(option.replace("WORK", work) for option in options))
        assert code == 1, "exit code %d: %s" % (code, output)
        for text in texts:
            text = text.replace("OUT", os.path.join(work, "release")).replace("WORK", work)
            assert text in output, "%r not in: %s" % (text, output)
        assert snapshot(work) == before, "the refusal changed the folder: " + output
        return output[output.index("release refused:"):]


def release_script():
    """scripts/release as a module, to call its parts."""
    return importlib.machinery.SourceFileLoader("release_script", RELEASE).load_module()


def pins_name_the_published_setup():
    """The manifest's pins, written and read back as the release does: the
    file they were taken from passes, any other file is refused."""
    script = release_script()
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


# The manifest as written with codesign.key, changed, and the start of the
# refusal when it is read back with the key of codesign.pem (None: it passes).
# The test keys are of 2048 bits: a signature of 256 bytes.
SIGNATURE_START = b"[signature]\r\nrsa="
SIGNATURE_SECTION_LENGTH = len(SIGNATURE_START) + 2 * 256 + 2
HEX_START = len(SIGNATURE_START) - SIGNATURE_SECTION_LENGTH
MANIFEST_SIGNATURES = [
    ("as_written", lambda text: text, None),
    ("a_changed_byte_in_the_signed_part", lambda text: text.replace(b"version=1.4.14.815", b"version=1.4.14.816"),
     "the signature of the manifest written does not verify with the public key of --sign-cert"),
    ("a_changed_byte_in_the_signature", lambda text: text[:-4] + (b"0" if text[-4:-3] != b"0" else b"1") + text[-3:],
     "the signature of the manifest written does not verify"),
    ("no_signature_section", lambda text: text[:-SIGNATURE_SECTION_LENGTH],
     "the manifest written carries no [signature] section"),
    ("two_signature_sections", lambda text: text + text[-SIGNATURE_SECTION_LENGTH:],
     "the manifest written has 2 [signature] sections"),
    ("a_section_after_the_signature", lambda text: text + b"[download]\r\nsize=1\r\n",
     "the manifest written has the section [download] after its [signature] section"),
    ("uppercase_hex", lambda text: text[:HEX_START] + text[HEX_START:].upper(),
     "the [signature] section of the manifest written is not the one line rsa=<lowercase hex>"),
    ("a_second_line_end", lambda text: text + b"\r\n",
     "the [signature] section of the manifest written is not the one line rsa=<lowercase hex>"),
]


def manifest_signature_is_checked():
    """The manifest signed and read back as the release does: as written it
    passes (and openssl agrees on its own); each change is refused, and so
    is a manifest signed with another publisher's key."""
    script = release_script()
    signed = os.path.join(world.SETUPS, "signed.exe")
    with tempfile.TemporaryDirectory(prefix="da-razi-release-test.") as work:
        key = script.check_signing_key(certificate("codesign.pem"), certificate("codesign.key"), work)
        manifest = os.path.join(work, "da_razi_update.ini")

        def refusal_of(text):
            with open(manifest, "wb") as f:
                f.write(text)
            try:
                script.check_manifest_signature(manifest, key, work)
            except script.Refusal as refusal:
                return str(refusal)
            return None

        script.write_manifest(manifest, OFFER, ADDRESS, script.setup_pins(signed), certificate("other-codesign.key"))
        with open(manifest, "rb") as f:
            other = refusal_of(f.read())
        assert (other or "").startswith("the signature of the manifest written does not verify"), \
            "a manifest signed with other-codesign.key: %r" % other
        script.write_manifest(manifest, OFFER, ADDRESS, script.setup_pins(signed), certificate("codesign.key"))
        with open(manifest, "rb") as f:
            written = f.read()
        assert written[-SIGNATURE_SECTION_LENGTH:].startswith(SIGNATURE_START), written
        assert manifest_signature_verifies(written[:-SIGNATURE_SECTION_LENGTH],
                                           bytes.fromhex(written[HEX_START:-2].decode()),
                                           certificate("codesign.pem")), "openssl refuses the signature written"
        for name, change, expected in MANIFEST_SIGNATURES:
            found = refusal_of(change(written))
            assert (found or "").startswith(expected or ""), "%s: expected %r, found %r" % (name, expected, found)
            assert (found is None) == (expected is None), "%s: expected %r, found %r" % (name, expected, found)
    return "%d manifests as expected, and one signed with another key refused" % len(MANIFEST_SIGNATURES)


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
        cases += [("pins_name_the_published_setup", pins_name_the_published_setup),
                  ("manifest_signature_is_checked", manifest_signature_is_checked)]
    return run_suite(cases, [], "releases")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
