"""The whole-installer cases. Each takes a Case (its own folders) and raises
AssertionError with what it saw when the installer does not behave, or Skip when it
cannot run here."""
import filecmp
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

from harness import (CAPTION, DETAIL, ENGLISH, FRENCH, REGISTRY_KEY, fill, shown_while,
                     string_table, toolkit)
import sfxformat as fmt

CASES = {}
# Cases that install or read HKCU\SOFTWARE\Corvella hold this lock, so no two of them
# meet in the shared registry or in the Windows Installer at the same time.
INSTALL_LOCK = "corvella-install"
# Every test that runs msiexec holds this one: some put a stand-in at its system path.
MSIEXEC_LOCK = "system-msiexec"


class Skip(Exception):
    """A case that cannot run here, with the reason; never a pass."""


def case(*locks):
    def register(fn):
        CASES[fn.__name__] = (fn, locks)
        return fn
    return register


def expect(condition, message, probe=None):
    if not condition:
        raise AssertionError(message + ("\n--- probe events ---\n" + probe.dump() if probe else ""))


def expect_exit(probe, code):
    expect(probe.exit_code == code, f"exit code {probe.exit_code}, expected {code}", probe)


def expect_no_box(probe):
    expect(not probe.of("box"), "an error box appeared", probe)


def expect_centred(probe):
    layout = probe.first("layout")
    expect(layout is not None, "the window was never shown", probe)
    width, height = layout["right"] - layout["left"], layout["bottom"] - layout["top"]
    work_w = layout["work_right"] - layout["work_left"]
    work_h = layout["work_bottom"] - layout["work_top"]
    expect(abs(layout["left"] - layout["work_left"] - (work_w - width) // 2) <= 1 and
           abs(layout["top"] - layout["work_top"] - (work_h - height) // 2) <= 1,
           "the window is not centred in the work area", probe)


def expect_failure_box(probe, detail, texts=ENGLISH):
    boxes = probe.of("box")
    expect(len(boxes) == 1, f"{len(boxes)} error boxes, expected one", probe)
    expect(boxes[0]["caption"] == CAPTION, f"box caption {boxes[0]['caption']!r}", probe)
    expect(boxes[0]["text"] == fill(texts["failure"], detail), f"box text {boxes[0]['text']!r}", probe)
    expect(boxes[0]["owned_by_dialog"], "the box is not owned by the progress window", probe)


def expect_started_from(c, folder):
    starts = c.started_records(folder)
    expect(len(starts) == 1, f"the application started {len(starts)} times from {folder}")
    exe = starts[0]["exe"]
    expect(os.path.normcase(c.wine.to_unix(exe)) == os.path.normcase(os.path.join(folder, "Corvella.exe")),
           f"the application ran as {exe}, not from {folder}")


def registered_folder(c):
    value = c.wine.reg_get(REGISTRY_KEY, "InstallDir")
    expect(value, "the database registered no InstallDir")
    return c.wine.to_unix(value.rstrip("\\"))


def first_entry(installer):
    """(name, offset, size, compressed size) of the installer's first entry."""
    with open(installer, "rb") as f:
        return fmt.read_toc(f.read()).entries[0]


def update_text(texts=ENGLISH):
    return fill(texts["update"], "Corvella")


# Successful runs -------------------------------------------------------------

@case(INSTALL_LOCK, MSIEXEC_LOCK)
def normal_mode(c):
    c.wine.reg_delete(REGISTRY_KEY)
    # A large database keeps the first state up for the extraction, long enough to be
    # seen on a busy machine without stopping the program. Packed on 1 and on 3
    # threads, it is the same installer.
    msi = c.build_msi("corvella-large.wxs")
    one, three = (c.pack("CorvellaSetup.exe", [msi], folder=f"installer-j{n}", threads=n) for n in (1, 3))
    expect(filecmp.cmp(one, three, shallow=False), "packed on 1 and on 3 threads, the installers differ")
    probe = c.run(three)
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect(probe.titles() == [CAPTION], f"titles {probe.titles()}", probe)
    statuses = probe.statuses()
    expect(statuses[:2] == [ENGLISH["initializing"], ENGLISH["installing"]], f"status lines {statuses}", probe)
    shown = probe.index(lambda e: e["event"] == "dialog" and e["visible"])
    hidden = probe.index(lambda e: e["event"] == "dialog" and not e["visible"])
    msiexec = probe.first_process("msiexec.exe")
    expect(None not in (shown, hidden, msiexec) and shown < hidden < msiexec,
           "the window was not shown, then hidden before msiexec started", probe)
    expect_centred(probe)
    expect(c.files_in(c.temp) == [], f"the temporary folder holds {c.files_in(c.temp)}")
    expect_started_from(c, registered_folder(c))


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def level_11_installer(c):
    # zopfli's smallest streams are plain deflate: the stub installs from them unchanged.
    c.wine.reg_delete(REGISTRY_KEY)
    installer = c.pack("CorvellaSetup.exe", [c.build_msi()], level=11)
    with open(installer, "rb") as f:
        f.seek(first_entry(installer)[1])
        expect(f.read(2) == b"\x78\xda", "the database was not packed at level 11")
    verify = c.packer(["verify", installer])
    expect(verify.returncode == 0, f"sfxpack verify: {verify.returncode} {verify.stderr!r}")
    probe = c.run(installer)
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect(c.files_in(c.temp) == [], f"the temporary folder holds {c.files_in(c.temp)}")
    expect_started_from(c, registered_folder(c))


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def update_mode(c):
    # The registered folder ends in backslashes; the update goes into the folder itself.
    app = c.folder("app")
    c.wine.reg_set(REGISTRY_KEY, "InstallDir", c.wine.to_windows(app) + "\\\\")
    probe = c.run(c.installer(), ["-update"])
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect(probe.titles() == ["Corvella Updater"], f"titles {probe.titles()}", probe)
    expect(probe.statuses() == [update_text()], f"status lines {probe.statuses()}", probe)
    expect(shown_while(probe, "msiexec.exe"), "the window did not stay up while msiexec ran", probe)
    expect(os.path.exists(os.path.join(app, "Corvella.exe")), "nothing was installed into the registered folder")
    expect(c.files_in(c.temp) == [], f"the temporary folder holds {c.files_in(c.temp)}")
    expect_started_from(c, app)


@case(INSTALL_LOCK, MSIEXEC_LOCK)  # a successful run starts whatever application is registered
def command_line_normal_mode(c):
    installer = c.installer()
    with c.system_msiexec() as msiexec:
        probe = c.run(installer, env=msiexec.env, unix_env=msiexec.unix_env)
    expect_exit(probe, 1)
    calls = msiexec.calls()
    database = c.wine.to_windows(c.temp) + "\\\\Setup.msi"
    expect(calls == [f'msiexec /i "{database}"'], f"msiexec was run as {calls}")
    expect(c.files_in(c.temp) == [], "the database was not deleted after the installer succeeded")


DEFAULT_FOLDER = "C:\\Program Files\\Corvella"


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def command_line_update_mode(c):
    app = c.folder("app")
    shutil.copy(c.config["corvella"], os.path.join(app, "Corvella.exe"))
    installer = c.installer()
    # (registered value, the folder the installer is given): closing backslashes go; a
    # value that would close the quotes and add an argument is no folder at all.
    for registered, folder in ((c.wine.to_windows(app) + "\\\\\\", c.wine.to_windows(app)),
                               ('C:\\x" TRANSFORMS="C:\\evil.mst', DEFAULT_FOLDER)):
        c.wine.reg_set(REGISTRY_KEY, "InstallDir", registered)
        with c.system_msiexec() as msiexec:
            probe = c.run(installer, ["-update"], env=msiexec.env, unix_env=msiexec.unix_env)
        expect_exit(probe, 1)
        calls = msiexec.calls()
        database = c.wine.to_windows(c.temp) + "\\\\Setup.msi"
        expected = f'msiexec /i "{database}" /quiet INSTALLDIR="{folder}"'
        expect(calls == [expected], f"{registered}: msiexec was run as {calls}, expected [{expected}]")
    expect_started_from(c, app)


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def deep_installer_folder(c):
    # Run from a folder whose path is longer than MAX_PATH, the installer still finds
    # the package in its own file. Wine's process creation takes no program that deep,
    # so not the probe but Wine's loader starts it, from its Unix path, in the session's
    # own temporary folder; an error box would keep it from ending.
    c.wine.reg_delete(REGISTRY_KEY)
    deep = c.folder(*["corvella-downloads-folder-nested-deep"] * 8)
    expect(len(c.wine.to_windows(deep)) > 260, "the folder is not deep enough")
    installer = shutil.move(c.installer(), os.path.join(deep, "CorvellaSetup.exe"))
    temp = c.wine.to_unix(c.wine.run(["cmd", "/c", "echo %TEMP%"], check=True).stdout.decode().strip())
    database = os.path.join(temp, "Setup.msi")
    if os.path.exists(database):
        os.remove(database)
    try:
        result = c.wine.run([installer], timeout=toolkit.scaled(45))
    except subprocess.TimeoutExpired:
        raise AssertionError("the installer from the deep folder did not end (an error box?)")
    expect(result.returncode == 1, f"exit code {result.returncode}, expected 1")
    expect(not os.path.exists(database), "the database was left in the temporary folder")
    expect_started_from(c, registered_folder(c))


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def temp_folder_with_space(c):
    c.wine.reg_delete(REGISTRY_KEY)
    temp = c.folder("user name", "Local Temp")
    probe = c.run(c.installer(), temp=temp)
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect(c.files_in(temp) == [], f"the temporary folder holds {c.files_in(temp)}")
    expect_started_from(c, registered_folder(c))


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def signed_installer(c):
    # Signed after packing, as released installers are: the certificate table then
    # follows the package, and the signature covers the package too.
    installer = c.installer()
    publisher = toolkit.Publisher(c.work)
    signed = publisher.sign(installer, os.path.join(os.path.dirname(installer), "CorvellaSetup-signed.exe"),
                            "Corvella Installer")
    expect(os.path.getsize(signed) > os.path.getsize(installer), "signing added nothing")
    expect(publisher.verifies(signed), "the signature does not verify against the test CA")
    name, offset, size, compressed = first_entry(installer)
    with open(signed, "rb") as f:
        tampered = bytearray(f.read())
    tampered[offset + compressed // 2] ^= 1
    tampered_path = os.path.join(c.work, "tampered.exe")
    with open(tampered_path, "wb") as f:
        f.write(tampered)
    expect(not publisher.verifies(tampered_path), "the signature does not cover the package")

    listing = c.packer(["list", signed])
    expect(listing.returncode == 0 and b"Setup.msi" in listing.stdout,
           f"sfxpack list: {listing.returncode} {listing.stdout!r} {listing.stderr!r}")
    verify = c.packer(["verify", signed])
    expect(verify.returncode == 0, f"sfxpack verify: {verify.returncode} {verify.stderr!r}")
    info = c.packer(["info", "--json", signed])
    expect(info.returncode == 0, f"sfxpack info: {info.returncode} {info.stderr!r}")
    doc = json.loads(info.stdout)
    expect(doc["signed"] and doc["signature_covers_package"] and doc["stub_size"] == offset,
           f"sfxpack info on the signed installer: {doc}")
    product = doc["entries"][0].get("msi", {})
    expect((product.get("ProductName"), product.get("Manufacturer")) == ("Corvella", "Corvella"),
           f"sfxpack info read the database as {product}")
    # A signed installer is no stub: packing behind it would break its signature.
    refused = c.packer(["create", "-q", "--stub", signed, "-o", os.path.join(c.work, "again.exe"), c.build_msi()])
    expect(refused.returncode != 0 and b"--allow-signed-stub" in refused.stderr,
           f"sfxpack packed behind a signed stub: {refused.returncode} {refused.stderr!r}")
    expect(not os.path.exists(os.path.join(c.work, "again.exe")), "a refused create left an output")

    c.wine.reg_delete(REGISTRY_KEY)
    probe = c.run(signed)
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect_started_from(c, registered_folder(c))


# What lies next to a downloaded installer ---------------------------------------

# Libraries that the installer loads by name once it runs (the animation control loads
# msvfw32, which brings winmm and msacm32) and names that programs are commonly tricked
# with. Those loaded before wWinMain, through the static imports of system DLLs (under
# Wine: version, imm32, uxtheme, shcore), are beyond the program's reach, which is why
# it imports nothing but DLLs the system always takes from its own folder.
PLANTED_DLLS = ("msvfw32", "winmm", "msacm32", "dwmapi", "cryptbase", "msi")


def plant(c, folders, names):
    """Copies the planted library under each name into each folder; returns Wine's own
    environment for runs that are to meet them. Wine prefers its builtin DLLs to files
    of the same name anywhere; Windows has no such preference, so it is turned off."""
    for folder in folders:
        for name in names:
            shutil.copy(c.config["planted_dll"], os.path.join(folder, name + ".dll"))
    return {"WINEDLLOVERRIDES": c.wine.env["WINEDLLOVERRIDES"] + ";" + ",".join(names) + "=n,b"}


def planted_loads(folders):
    """{library: [programs that loaded it]} from the planted libraries' records."""
    loads = {}
    for folder in folders:
        for name in sorted(os.listdir(folder)):
            if name.endswith(".dll.loaded"):
                with open(os.path.join(folder, name), encoding="utf-8") as f:
                    loads[os.path.join(folder, name[:-len(".loaded")])] = f.read().splitlines()
    return loads


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def planted_dlls(c):
    c.wine.reg_delete(REGISTRY_KEY)
    installer = c.installer()
    folders = [os.path.dirname(installer), c.folder("current")]
    unix_env = plant(c, folders, PLANTED_DLLS)
    # The planted files are what a program of this session gets when it searches.
    loader = os.path.join(folders[0], "LoadByName.exe")
    shutil.copy(c.config["load_by_name"], loader)
    control = c.wine.run([loader] + [n + ".dll" for n in PLANTED_DLLS], env=unix_env)
    expected = {os.path.join(folders[0], n + ".dll"): [c.wine.to_windows(loader)] for n in PLANTED_DLLS}
    expect(control.returncode == 0 and planted_loads(folders) == expected,
           f"a program searching its own folder did not get the planted libraries: {planted_loads(folders)}")
    for path in expected:
        os.remove(path + ".loaded")

    probe = c.run(installer, cwd=c.wine.to_windows(folders[1]), unix_env=unix_env, timeout_ms=20000)
    expect(planted_loads(folders) == {}, f"planted libraries were loaded: {planted_loads(folders)}", probe)
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect_started_from(c, registered_folder(c))


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def planted_msiexec(c):
    c.wine.reg_delete(REGISTRY_KEY)
    installer = c.installer()
    folders = [os.path.dirname(installer), c.folder("current")]
    for folder in folders:
        shutil.copy(c.config["fake_msiexec"], os.path.join(folder, "msiexec.exe"))
    log = os.path.join(c.work, "planted-msiexec.txt")
    probe = c.run(installer, cwd=c.wine.to_windows(folders[1]), env={"FAKE_MSIEXEC_LOG": c.wine.to_windows(log)})
    ran = ""
    if os.path.exists(log):
        with open(log, encoding="utf-8") as f:
            ran = f.read()
    expect(not ran, f"a planted msiexec ran as {ran!r}", probe)
    expect(probe.first_process("msiexec.exe") is not None, "no msiexec ran", probe)
    expect_exit(probe, 1)
    expect_no_box(probe)
    # Only the real installer installs the application, which is then started.
    expect_started_from(c, registered_folder(c))


# Installer failures: the installer's own outcome, no box of ours --------------

@case(INSTALL_LOCK, MSIEXEC_LOCK)
def installer_refuses_update(c):
    app = c.folder("app")
    c.wine.reg_set(REGISTRY_KEY, "InstallDir", c.wine.to_windows(app))
    probe = c.run(c.installer("corvella-refused.wxs"), ["-update"])
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect(not probe.of("foreignbox"), "a box appeared during a quiet install", probe)
    expect(shown_while(probe, "msiexec.exe"), "the window did not stay up while msiexec ran", probe)
    expect(c.files_in(c.temp) == ["Setup.msi"], f"the temporary folder holds {c.files_in(c.temp)}")
    expect(c.started_records(app, wait_s=1) == [], "the application was started after a failed update")


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def installer_refuses_normal_mode(c):
    # In normal mode the Windows Installer shows its own message; the user dismisses it.
    c.wine.reg_delete(REGISTRY_KEY)
    probe = c.run(c.installer("corvella-refused.wxs"), at=[("foreignbox", "enter")])
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect(len(probe.of("foreignbox")) == 1, "the installer's own message did not appear", probe)
    expect(c.files_in(c.temp) == ["Setup.msi"], f"the temporary folder holds {c.files_in(c.temp)}")
    expect(c.wine.reg_get(REGISTRY_KEY, "InstallDir") is None, "the refused database registered a folder")


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def damaged_database(c):
    msi = c.build_msi()
    with open(msi, "r+b") as f:
        f.truncate(os.path.getsize(msi) // 3)
    # The packer refuses such a database; the installer's own handling of one is what
    # this case is about.
    probe = c.run(c.pack("CorvellaSetup.exe", [msi], force=True))
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect(not probe.of("foreignbox"), "a box appeared", probe)
    expect(c.files_in(c.temp) == ["Setup.msi"], f"the temporary folder holds {c.files_in(c.temp)}")


# Failures reported in the error box -------------------------------------------

@case()
def no_package(c):
    probe = c.run(c.config["stub"], at=[("box", "enter")])
    expect_failure_box(probe, DETAIL[101])
    expect_exit(probe, 1)
    expect(c.files_in(c.temp) == [], f"the temporary folder holds {c.files_in(c.temp)}")


@case()
def damaged_stream(c):
    installer = c.installer()
    name, offset, size, compressed = first_entry(installer)
    with open(installer, "r+b") as f:  # flip bytes half way through the stream
        f.seek(offset + compressed // 2)
        chunk = f.read(16)
        f.seek(offset + compressed // 2)
        f.write(bytes(b ^ 0x5A for b in chunk))
    probe = c.run(installer, at=[("box", "enter")])
    expect_failure_box(probe, DETAIL[103])
    expect_exit(probe, 1)
    expect(not probe.foreign(), "a damaged database reached the installer", probe)
    expect(c.files_in(c.temp) == [], f"the temporary folder holds {c.files_in(c.temp)}")


@case()
def two_entries(c):
    first = c.build_msi(name="Setup.msi")
    second = c.build_msi(name="Other.msi")
    probe = c.run(c.pack("CorvellaSetup.exe", [first, second], force=True), at=[("box", "escape")])
    expect_failure_box(probe, DETAIL[102])
    expect_exit(probe, 1)  # Escape dismisses the box; the run still ended by itself
    expect(c.files_in(c.temp) == [], f"the temporary folder holds {c.files_in(c.temp)}")


@case()
def no_usable_temp_folder(c):
    # A temporary folder the system cannot hand over whole ends the run with 103, and
    # nothing is written anywhere (before, the database went to the drive's root).
    long_temp = "C:\\" + "\\".join(["corvella-temp-folder-that-is-far-too-long"] * 8)
    probe = c.run(c.installer(), temp=long_temp, cwd="C:\\", at=[("box", "enter")])
    expect_failure_box(probe, DETAIL[103])
    expect_exit(probe, 1)
    root = c.wine.to_unix("C:\\")
    expect(not os.path.exists(os.path.join(root, "Setup.msi")), "the database was written to C:\\")


@case(MSIEXEC_LOCK)
def installer_cannot_start(c):
    installer = c.installer()
    with c.system_msiexec(stand_in=False) as msiexec:
        probe = c.run(installer, at=[("box", "enter")], unix_env=msiexec.unix_env)
    expect_failure_box(probe, "Failed to launch the installer")
    expect_exit(probe, 1)
    expect(c.files_in(c.temp) == ["Setup.msi"], f"the temporary folder holds {c.files_in(c.temp)}")


@case()
def update_mode_failure_box(c):
    probe = c.run(c.config["stub"], ["-update"], at=[("box", "enter")])
    expect(probe.titles() == ["Corvella Updater"], f"titles {probe.titles()}", probe)
    expect(probe.statuses() == [update_text()], f"status lines {probe.statuses()}", probe)
    expect_failure_box(probe, DETAIL[101])  # the caption says Installer in both modes
    expect_exit(probe, 1)


@case()
def near_miss_switches(c):
    for args in (["-Update"], ["/update"], ["-updates"], ["--update"], ["first", "-update"], []):
        probe = c.run(c.config["stub"], args, at=[("box", "enter")])
        expect(probe.titles() == [CAPTION], f"{args}: titles {probe.titles()}", probe)
        expect(probe.statuses()[0] == ENGLISH["initializing"], f"{args}: status lines {probe.statuses()}", probe)
        expect_exit(probe, 1)


def first_copy(folder, timeout_s=60):
    """Waits until the stand-in has begun its first copy into folder."""
    deadline = time.monotonic() + toolkit.scaled(timeout_s)
    while not any(n.endswith("-start.msi") for n in os.listdir(folder)):
        expect(time.monotonic() < deadline, f"no installer started for {folder}")
        time.sleep(0.05)


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def two_installers_at_once(c):
    # Two installers of different databases share the one temporary path, started at
    # once and one while the other's installer runs. Each stand-in installer keeps what
    # it read when it started and when it ended: all of it must be its own run's
    # database, whole. A run that cannot have the path ends with 103. A stand-in runs
    # until the first run has ended, so that the runs overlap however slow the machine.
    c.wine.reg_delete(REGISTRY_KEY)
    made = c.large_installers(2, payload_mb=48)
    for staggered in (False, True):
        release = os.path.join(c.work, f"release-{staggered}")
        with c.system_msiexec(sleep_ms=toolkit.scaled(20000)) as msiexec:
            runs = [msiexec.keeping_copies(f"copies-{staggered}-{n}", until=release) for n in range(len(made))]

            def start(n):
                if staggered and n:
                    first_copy(runs[0][1])
                probe = c.run(made[n][0], env=runs[n][0], unix_env=msiexec.unix_env, at=[("box", "enter")])
                open(release, "w").close()
                return probe
            with ThreadPoolExecutor(max_workers=len(made)) as pool:
                probes = list(pool.map(start, range(len(made))))
        installed = []
        for n, ((installer, database), (env, copies), probe) in enumerate(zip(made, runs, probes)):
            what = f"{'one after the other' if staggered else 'at once'}, run {n}"
            expect_exit(probe, 1)
            kept = c.files_in(copies)
            if probe.of("box"):
                expect_failure_box(probe, DETAIL[103])
                expect(kept == [], f"{what}: the run that failed handed over {kept}", probe)
                continue
            expect(len(kept) == 2, f"{what}: the stand-in kept {kept}", probe)
            with open(database, "rb") as f:
                expected = f.read()
            for name in kept:
                with open(os.path.join(copies, name), "rb") as f:
                    expect(f.read() == expected, f"{what}: {name} is not the database it packed", probe)
            installed.append(n)
        # The later run meets the earlier one's database while its installer runs.
        expect(installed == [0] if staggered else len(installed) == 1,
               f"{'one after the other' if staggered else 'at once'}: runs {installed} went through")
        expect(c.files_in(c.temp) == [], f"the temporary folder holds {c.files_in(c.temp)}")


def small_disk(c, name, size):
    """A folder of the case on a tmpfs of its own of size bytes, for the block."""
    return toolkit.small_disk(c.folder(name), size, Skip)


@case()
def temp_disk_fills_up(c):
    # The disk fills up part way through the database: the file layer's failure ends the
    # run with 103 and no partial database is left.
    (installer, _), = c.large_installers(1, payload_mb=24)
    with small_disk(c, "small-temp", 2 << 20) as temp:
        probe = c.run(installer, temp=temp, at=[("box", "enter")])
        left = c.files_in(temp)
        used = shutil.disk_usage(temp).used
    expect_failure_box(probe, DETAIL[103])
    expect_exit(probe, 1)
    expect(not probe.foreign(), "a partial database reached the installer", probe)
    expect(left == [] and used < 1 << 20, f"the small disk holds {left} ({used} bytes used)")


# Hostile installers ------------------------------------------------------------

HOSTILE = os.path.join(os.path.dirname(os.path.abspath(fmt.__file__)), "make_hostile.py")


def hostile_corpus(c):
    """The hostile corpus appended to the real stub: [(file, table result, entry
    count, [extractable per entry])], as the reference reader judges them."""
    corpus = c.folder("corpus")
    subprocess.run([sys.executable, HOSTILE, corpus, "--stub", c.config["stub"]], check=True, timeout=120)
    cases = []
    with open(os.path.join(corpus, "cases.tsv")) as manifest:
        for line in manifest:
            name, toc, count, flags = line.rstrip("\n").split("\t")
            cases.append((os.path.join(corpus, name), int(toc), int(count),
                          [] if flags == "-" else [f == "1" for f in flags.split(",")]))
    return cases


def escaped_files(c):
    """Files a hostile entry name could reach outside the run's own folders."""
    places = [c.wine.to_unix("C:\\"), "/", "/tmp", os.path.dirname(c.work)]
    return [os.path.join(p, n) for p in places for n in os.listdir(p) if "evil" in n]


def run_hostile(c, path, detail):
    """Runs one hostile installer from a folder of its own, with its own temporary and
    current folders; returns what went wrong, or None."""
    name = os.path.basename(path)
    room = c.folder("runs", name)
    installer = os.path.join(c.folder("runs", name, "installer"), "CorvellaSetup.exe")
    shutil.copy(path, installer)
    temp, cwd = c.folder("runs", name, "Temp"), c.folder("runs", name, "current")
    probe = c.run(installer, temp=temp, cwd=c.wine.to_windows(cwd), at=[("box", "enter")], timeout_ms=20000)
    boxes = probe.of("box")
    texts = [b["text"] for b in boxes]
    problems = []
    if texts != [fill(ENGLISH["failure"], detail)]:
        problems.append(f"boxes {texts}")
    if probe.exit_code != 1:
        problems.append(f"exit code {probe.exit_code}")
    started = probe.foreign()
    if started:
        problems.append(f"programs were started: {sorted(e['name'] for e in started)}")
    left = {folder: c.files_in(os.path.join(room, folder)) for folder in ("Temp", "current")}
    left["installer"] = [f for f in c.files_in(os.path.join(room, "installer")) if f != "CorvellaSetup.exe"]
    left["room"] = [f for f in c.files_in(room) if f not in ("Temp", "current", "installer")]
    problems += [f"{folder} holds {files}" for folder, files in left.items() if files]
    return f"{name}: " + ", ".join(problems) if problems else None


@case()
def hostile_installers(c):
    # Each ends in one error box with the detail of the step that refused it, exit code
    # 1, and leaves nothing: no file outside its temporary folder, none in it either
    # (a database is only kept once it has verified whole).
    detail_of = {}
    for path, toc, count, extractable in hostile_corpus(c):
        if toc != 1002:
            detail_of[path] = DETAIL[101]
        elif count != 1:
            detail_of[path] = DETAIL[102]
        elif not extractable[0]:
            detail_of[path] = DETAIL[103]
    expect(len(detail_of) >= 30, f"the corpus has only {len(detail_of)} hostile cases")
    before = escaped_files(c)
    with ThreadPoolExecutor(max_workers=3) as pool:
        problems = [p for p in pool.map(lambda item: run_hostile(c, *item), detail_of.items()) if p]
    expect(not problems, "\n".join(problems))
    expect(escaped_files(c) == before, f"files escaped: {sorted(set(escaped_files(c)) - set(before))}")


@case(INSTALL_LOCK, MSIEXEC_LOCK)
def hostile_corpus_control(c):
    # The one valid package of the corpus reaches the installer with exactly its data,
    # so the refusals above are the stub's judgement, not a corpus it cannot read.
    valid = [path for path, toc, count, extractable in hostile_corpus(c)
             if toc == 1002 and count == 1 and all(extractable)]
    expect(len(valid) == 1, f"valid cases in the corpus: {valid}")
    installer = os.path.join(c.folder("installer"), "CorvellaSetup.exe")
    shutil.copy(valid[0], installer)
    # Quietly, in update mode: the data is no database, and msiexec says so.
    probe = c.run(installer, ["-update"])
    expect_exit(probe, 1)
    expect_no_box(probe)
    expect(probe.first_process("msiexec.exe") is not None, "the database did not reach msiexec", probe)
    with open(valid[0], "rb") as f:
        data = f.read()
    expected = fmt.inflate_entry(data, fmt.read_toc(data).entries[0])
    expect(c.files_in(c.temp) == ["Setup.msi"], f"the temporary folder holds {c.files_in(c.temp)}")
    with open(os.path.join(c.temp, "Setup.msi"), "rb") as f:
        expect(f.read() == expected, "the extracted database differs from the packed data")


# What the probe sees ------------------------------------------------------------

@case()
def probe_sees_children_it_did_not_look_at(c):
    # A program started while the probe holds its parent, and ended before the probe
    # looks again (as a busy machine spaces its looks), is still reported, with the
    # command line it was given.
    folder = c.folder("child")
    child = shutil.copy(c.config["corvella"], os.path.join(folder, "Corvella.exe"))
    command = c.wine.to_unix("C:\\windows\\system32\\cmd.exe")
    probe = c.run(command, ["/c", c.wine.to_windows(child)], at=[("start", "pause")],
                  on_pause=lambda seen: c.started_records(folder, toolkit.scaled(30)))
    expect_exit(probe, 0)
    started = [e for e in probe.foreign() if e["name"].lower() == "corvella.exe"]
    expect(len(started) == 1 and "\\child\\Corvella.exe" in started[0]["cmdline"],
           "the child is not reported, or not as it was started", probe)


# The user ends the run ---------------------------------------------------------

def act_while_msiexec_runs(c, action, sleep_ms):
    """An update whose (stand-in) installer runs for sleep_ms; action is taken as soon as
    it has started, while the worker is blocked waiting for it."""
    installer = c.installer()
    with c.system_msiexec(sleep_ms=toolkit.scaled(sleep_ms)) as msiexec:
        return c.run(installer, ["-update"], env=msiexec.env, unix_env=msiexec.unix_env,
                     at=[("child:msiexec.exe", action)])


@case(MSIEXEC_LOCK)
def escape_during_run(c):
    probe = act_while_msiexec_runs(c, "escape", 8000)
    expect_exit(probe, 2)
    pressed = probe.first("action")["t"]
    ended = probe.first("exit")["t"]
    # The worker is blocked in the installer: the window waits its 2 s for it, no more
    # (what follows the wait takes longer where time runs slower).
    expect(1500 <= ended - pressed <= 2000 + toolkit.scaled(1000), f"ended {ended - pressed} ms after Escape",
           probe)
    expect_no_box(probe)


@case(MSIEXEC_LOCK)
def close_request_cancels(c):
    expect_exit(act_while_msiexec_runs(c, "wmclose", 5000), 2)


@case(MSIEXEC_LOCK)
def quit_from_outside(c):
    expect_exit(act_while_msiexec_runs(c, "quit:7", 5000), 7)


@case(MSIEXEC_LOCK)
def escape_as_extraction_ends(c):
    # Escape while the worker is held from its start; it then extracts a large
    # database inside the window's 2 s wait, and nothing may be installed after the
    # cancel. In normal mode the worker's hide of the window must not wait for the
    # window's thread, which is in that wait.
    (installer, database), = c.large_installers(1, payload_mb=24)
    with open(database, "rb") as f:
        expected = f.read()
    for args in (["-update"], []):
        shutil.rmtree(c.temp)
        os.makedirs(c.temp)
        with c.system_msiexec() as msiexec:
            probe = c.run(installer, args, env=msiexec.env, unix_env=msiexec.unix_env,
                          at=[("start", "heldescape")])
        expect_exit(probe, 2)
        expect(probe.first("held") and probe.first("held")["threads"] > 0, f"{args}: the worker was never held",
               probe)
        expect(msiexec.calls() == [], f"{args}: an installer was started after the cancel: {msiexec.calls()}",
               probe)
        expect(not probe.foreign(), f"{args}: programs were started", probe)
        expect(probe.first("destroyed") is not None, f"{args}: the window was not closed", probe)
        # Only a whole database shows that the extraction ended within the wait: the
        # process ends when the wait does.
        expect(c.files_in(c.temp) == ["Setup.msi"], f"{args}: the temporary folder holds {c.files_in(c.temp)}")
        with open(os.path.join(c.temp, "Setup.msi"), "rb") as f:
            expect(f.read() == expected, f"{args}: the extraction did not end inside the wait", probe)
        # The wait ended because the worker did: a worker stuck on the window's thread
        # would hold it to its 2 s limit, which began after Escape.
        waited = probe.first("exit")["t"] - probe.first("held")["t"]
        expect(waited < 2000, f"{args}: the window ended {waited} ms after Escape, at its wait's limit", probe)


# Languages -----------------------------------------------------------------------

@case(INSTALL_LOCK, MSIEXEC_LOCK)
def french_normal_mode(c):
    c.wine.reg_delete(REGISTRY_KEY)
    probe = c.run(c.installer("corvella-large.wxs"), unix_env={"LANG": "fr_FR.UTF-8"})
    expect_exit(probe, 1)
    statuses = probe.statuses()
    expect(statuses[:2] == [FRENCH["initializing"], FRENCH["installing"]], f"status lines {statuses}", probe)
    expect_started_from(c, registered_folder(c))


@case()
def french_texts(c):
    probe = c.run(c.config["stub"], at=[("box", "enter")], unix_env={"LANG": "fr_FR.UTF-8"})
    expect_failure_box(probe, DETAIL[101], FRENCH)  # French around the English detail
    expect(probe.statuses()[0] == FRENCH["initializing"], f"status lines {probe.statuses()}", probe)
    probe = c.run(c.config["stub"], ["-update"], at=[("box", "enter")], unix_env={"LANG": "fr_FR.UTF-8"})
    expect(probe.statuses() == [update_text(FRENCH)], f"status lines {probe.statuses()}", probe)


@case()
def japanese_texts(c):
    stub = c.config["stub"]
    japanese = {"initializing": string_table(stub, 240), "installing": string_table(stub, 241),
                "failure": string_table(stub, 244), "update": string_table(stub, 245)}
    expect(all(japanese.values()) and not any(t.isascii() for t in japanese.values()),
           f"the string table has no Japanese texts: {japanese}")
    probe = c.run(stub, at=[("box", "enter")], unix_env={"LANG": "ja_JP.UTF-8"})
    expect(probe.statuses()[0] == japanese["initializing"], f"status lines {probe.statuses()}", probe)
    expect_failure_box(probe, DETAIL[101], japanese)
    probe = c.run(stub, ["-update"], at=[("box", "enter")], unix_env={"LANG": "ja_JP.UTF-8"})
    expect(probe.statuses() == [update_text(japanese)], f"status lines {probe.statuses()}", probe)


# sfxpack try: the shipped runner, each run in a prefix of its own -----------------

def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    expect(head[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is no PNG")
    return struct.unpack(">II", head[16:24])


def expect_nothing_left(c):
    """No folder in the try's temporary folder, nothing in its cache but fresh prefixes
    and the pictures of the last try of each installer, and no process that was
    started for it."""
    tmp = c.folder("try-tmp")
    expect(c.files_in(tmp) == [], f"try left {c.files_in(tmp)} in its temporary folder")
    cache = os.path.join(os.path.dirname(c.wine.prefix), "cache", "sfxpack")
    stray = [n for n in c.files_in(cache) if n != "pictures" and not n.startswith("prefix-")]
    stray += [os.path.join("pictures", n) for n in c.files_in(os.path.join(cache, "pictures")) if n.startswith(".")]
    expect(stray == [], f"try left {stray} in its cache")
    deadline = time.monotonic() + 10
    while True:
        left = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if started_for(pid, tmp):
                    with open(f"/proc/{pid}/cmdline", "rb") as f:
                        left.append(pid + " " + f.read().replace(b"\0", b" ").decode(errors="replace"))
            except OSError:
                pass
        if not left or time.monotonic() > deadline:
            break
        time.sleep(0.5)
    expect(not left, "try left processes running:\n" + "\n".join(left))


def started_for(pid, tmp):
    """Whether process pid belongs to a try whose folders are in tmp: a value of its
    environment names one (TMPDIR; an unconfined prefix, since Wine is given no TMPDIR),
    or it sees one mounted (its sandbox)."""
    mark = tmp.encode()
    def under(value):
        return value == mark or value.startswith(mark + b"/")
    with open(f"/proc/{pid}/environ", "rb") as f:
        if any(under(v.partition(b"=")[2]) for v in f.read().split(b"\0")):
            return True
    with open(f"/proc/{pid}/mountinfo", "rb") as f:
        return any(under(field) for line in f for field in line.split()[3:5])


def try_json(c, installer, *options):
    result = c.try_installer(installer, "--json", *options)
    try:
        return result.returncode, json.loads(result.stdout)
    except ValueError:
        raise AssertionError(f"try {options}: {result.returncode}, no JSON: {result.stdout!r} {result.stderr!r}")


@case()
def try_installs_in_both_modes(c):
    installer = c.installer()
    for options, folder in (([], "Corvella-try_installs_in_both_modes"), (["--update"], "Corvella")):
        status, doc = try_json(c, installer, *options)
        what = f"try {options}: {status} {doc}"
        expect(status == 0 and doc["verdict"] == "installed", what)
        expect(doc["installer_exit_code"] == 0 and doc["application_started"], what)
        expect(doc["install_dir"].endswith("\\" + folder) and doc["files"] >= 1 and
               doc["bytes"] >= os.path.getsize(c.config["corvella"]), what)
        expect(doc["box_text"] is None and doc["seconds"] > 0, what)
        progress = [p for p in doc["pictures"] if os.path.basename(p) == "progress.png"]
        expect(len(progress) == 1, f"{what}: no picture of the progress window")
        width, height = png_size(progress[0])
        expect(200 < width < 1024 and 100 < height < 768, f"{what}: the picture is {width}x{height}, not the window")
    expect_nothing_left(c)


@case()
def try_right_under_load(c):
    # A shared runner is busy: with a core kept busy, every try of a good installer
    # says "installed", its application started, however slow the machine has become.
    installer = c.installer()
    busy = subprocess.Popen(["sh", "-c", "while :; do :; done"])
    try:
        for n in range(1, 6):
            status, doc = try_json(c, installer)
            what = f"try {n} of 5 with a core busy: {status} {doc}"
            expect(status == 0 and doc["verdict"] == "installed" and doc["application_started"], what)
    finally:
        busy.kill()
        busy.wait()
    expect_nothing_left(c)


@case()
def try_tells_failures_apart(c):
    refused = c.installer("corvella-refused.wxs")
    for options in ([], ["--update"]):
        status, doc = try_json(c, refused, *options)
        what = f"try {options} on a refused database: {status} {doc}"
        expect(status == 1 and doc["verdict"] == "installer failed" and doc["installer_exit_code"] == 1603, what)
        expect(any('action L"LaunchConditions" returned 1603' in line for line in doc["log_tail"]), what)
        expect(not doc["application_started"], what)
        # In normal mode the Windows Installer says why in a box of its own.
        expect(("cannot be installed on this machine" in (doc["box_text"] or "")) == (not options), what)
    # The installer's own error box, for a damaged package.
    damaged = c.installer()
    name, offset, size, compressed = first_entry(damaged)
    with open(damaged, "r+b") as f:
        f.seek(offset + compressed // 2)
        f.write(b"\x5a" * 16)
    expect_own_error_box(c, damaged, DETAIL[103])
    expect_nothing_left(c)


def expect_own_error_box(c, installer, detail):
    status, doc = try_json(c, installer)
    what = f"try on {os.path.basename(installer)}: {status} {doc}"
    expect(status == 4 and doc["verdict"] == "package unreadable", what)
    expect(doc["box_text"] == fill(ENGLISH["failure"], detail) and doc["installer_command_line"] is None, what)


@case()
def try_on_the_stub_alone(c):
    # The box comes at once, before the installer's worker has much to do.
    expect_own_error_box(c, c.config["stub"], DETAIL[101])
    expect_nothing_left(c)


@case()
def try_waits_for_no_one(c):
    # A database that shows its own dialog in normal mode needs a person; an install
    # that never ends is cut off at --timeout, with the installer already running.
    status, doc = try_json(c, c.pack("CorvellaSetup.exe", [c.build_msi(dialog=True)]))
    what = f"try on a database with a dialog: {status} {doc}"
    expect(status == 7 and doc["verdict"] == "needs a person" and doc["installer_command_line"], what)
    expect(any(os.path.basename(p) == "dialog.png" for p in doc["pictures"]), f"{what}: no picture of the dialog")
    # Said once the dialog has stayed up a few seconds, not at the default --timeout (300 s).
    expect(doc["steps"]["install"] < toolkit.scaled(30), f"{what}: the verdict waited for the time-out")
    # --timeout bounds the whole run; this one leaves the installer time to start.
    limit = toolkit.scaled(40)
    status, doc = try_json(c, c.pack("Hangs.exe", [c.build_msi(hangs=True)]), "--update", "--timeout", str(limit))
    what = f"try --timeout {limit} on an install that never ends: {status} {doc}"
    expect(status == 8 and doc["verdict"] == "timed out" and doc["installer_command_line"], what)
    expect(doc["installer_exit_code"] is None and limit <= doc["seconds"] <= limit + toolkit.scaled(5), what)
    # A time-out shorter than Wine's start ends the run there, whatever the step.
    started = time.monotonic()
    status, doc = try_json(c, c.pack("Good.exe", [c.build_msi()]), "--timeout=2")
    took = time.monotonic() - started
    expect(status == 8 and doc["verdict"] == "timed out" and doc["seconds"] <= 2 + toolkit.scaled(1) and
           took <= 2 + toolkit.scaled(5), f"try --timeout=2 took {took:.1f} s: {status} {doc}")
    expect_nothing_left(c)


@case()
def try_interrupted_leaves_nothing(c):
    installer = c.installer()
    junit = os.path.join(c.work, "try.xml")
    running = c.try_installer(installer, "-v", "--junit", junit, popen=True)
    try:
        for line in running.stderr:
            if line.startswith(b"sfxpack: try: install ..."):
                break
        time.sleep(1)
        running.send_signal(signal.SIGINT)
        running.communicate(timeout=60)
    finally:
        if running.poll() is None:
            running.kill()
    expect(running.returncode == -signal.SIGINT, f"try ended with {running.returncode} after Ctrl+C")
    partial = [n for n in c.files_in(c.work) if n == "try.xml" or n.startswith(".sfxpack-")]
    expect(not partial, f"a JUnit report after Ctrl+C: {partial}")
    expect_nothing_left(c)


def cache_state(c):
    """Every file of try's cached prefixes, with its size, time and mode."""
    cache = os.path.join(os.path.dirname(c.wine.prefix), "cache", "sfxpack")
    state = {}
    for root, folders, names in os.walk(cache):
        folders[:] = [f for f in folders if f != "pictures"]
        for name in names + folders:
            path = os.path.join(root, name)
            info = os.lstat(path)
            state[os.path.relpath(path, cache)] = (info.st_size, info.st_mtime_ns, info.st_mode)
    return state


class Listener:
    """A TCP listener on the host's loopback that counts who reached it."""

    def __init__(self):
        self.socket = socket.create_server(("127.0.0.1", 0))
        self.port = self.socket.getsockname()[1]
        self.reached = 0
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                peer, _ = self.socket.accept()
            except OSError:
                return
            self.reached += 1
            peer.close()


@case()
def try_confines_a_hostile_application(c):
    # The installed application tries to reach this machine: host files written through
    # Wine and past it, a shell started, a secret in the home read, a listener on the
    # loopback. Unconfined (the control) it gets there; confined, nowhere, and the
    # installer still installs.
    host = c.folder("host")
    secret = os.path.join(os.path.expanduser("~"), f".sfx-secret-{os.getpid()}")
    words = f"sfx-secret-{os.urandom(8).hex()}"
    with open(secret, "w") as f:
        f.write(words + "\n")
    listener = Listener()
    try:
        build = c.folder("hostile-app")
        shutil.copy(c.config["hostile"], os.path.join(build, "Corvella.exe"))
        with open(os.path.join(build, "Hostile.ini"), "w") as f:
            f.write(f"z_file={c.wine.to_windows(os.path.join(host, 'z.txt'))}\n"
                    f"unix_file={os.path.join(host, 'syscall.txt')}\nsh_file={os.path.join(host, 'sh.txt')}\n"
                    f"secret={secret}\nport={listener.port}\n")
        msi = toolkit.build_msi(os.path.join(toolkit.FIXTURES, "corvella.wxs"), c.folder("msi-hostile"),
                                variables={"Folder": "Corvella-" + c.name, "Hostile": "1"},
                                files=[os.path.join(build, "Corvella.exe"), os.path.join(build, "Hostile.ini")])
        installer = c.pack("CorvellaSetup.exe", [msi])
        for confined in (False, True):
            escaped = hostile_try(c, installer, confined, host)
            what = f"confined: {confined}; escaped: {escaped}; reached the listener {listener.reached} times"
            if confined:
                expect(not escaped and words not in text_of(hostile_report(c, "kept-1")) and
                       listener.reached == 0, what)
            else:
                expect(set(escaped) >= {"syscall.txt", "sh.txt"} and listener.reached > 0 and
                       words in text_of(hostile_report(c, "kept-0")), f"the control run did not escape: {what}")
                for name in escaped:
                    os.remove(os.path.join(host, name))
                listener.reached = 0
    finally:
        os.remove(secret)
        listener.socket.close()
    expect_nothing_left(c)


def hostile_try(c, installer, confined, host):
    """One try of the hostile installer; returns the host files it wrote."""
    keep = c.folder(f"kept-{int(confined)}")
    before = cache_state(c)
    status, doc = try_json(c, installer, "--keep", keep, *([] if confined else ["--no-sandbox"]))
    what = f"try (confined: {confined}): {status} {doc}"
    expect(status == 0 and doc["verdict"] == "installed" and doc["application_started"], what)
    expect(doc["sandbox"]["confined"] == confined, what)
    report = dict(line.split("=", 1) for line in text_of(hostile_report(c, os.path.basename(keep))).splitlines()
                  if "=" in line)
    attempts = {"write_z", "write_unix_prefix", "write_syscall", "shell_z", "shell_unix_prefix", "read_z",
                "read_unix_prefix", "read_syscall", "connect_winsock", "connect_syscall"}
    expect(set(report) == attempts, f"{what}: the application reported {report}")
    expect(cache_state(c) == before, f"{what}: the try changed the cached prefix")
    return sorted(os.listdir(host))


def text_of(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def hostile_report(c, kept):
    """The hostile application's report, in the prefix a try kept."""
    folder = os.path.join(c.work, kept, "prefix", "drive_c", "users")
    found = [os.path.join(root, "hostile-report.txt") for root, _, names in os.walk(folder)
             if "hostile-report.txt" in names]
    expect(len(found) == 1, f"no one report of the hostile application in {folder}: {found}")
    return found[0]
