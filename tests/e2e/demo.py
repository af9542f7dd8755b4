#!/usr/bin/env python3
"""The main job, once scripts/demo.sh has built the trees and started a Wine session:
builds a sample Setup.msi with wixl, packs it into CorvellaSetup.exe with the native
sfxpack, runs the installer under Wine, saves a picture of its progress window and
says what happened."""
import argparse
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import REGISTRY_KEY, ProbeRequest, run_probe, start_records, toolkit  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--win32", required=True, help="the Windows build tree")
    parser.add_argument("--packer", required=True, help="the native sfxpack")
    parser.add_argument("--out", required=True, help="folder for Setup.msi, CorvellaSetup.exe, progress.png")
    parser.add_argument("--wine-dir", required=True, help="the running Wine session")
    args = parser.parse_args()

    stub = os.path.join(args.win32, "src", "app", "sfxstub.exe")
    probe = os.path.join(args.win32, "tools", "probe", "sfxprobe.exe")
    corvella = os.path.join(args.win32, "tests", "e2e", "Corvella.exe")
    shutil.rmtree(args.out, ignore_errors=True)

    # 1. A real Windows Installer database that installs Corvella.exe for this user.
    msi = toolkit.build_msi(os.path.join(toolkit.FIXTURES, "corvella.wxs"), os.path.join(args.out, "msi"),
                            variables={"Folder": "Corvella"}, files=[corvella])

    # 2. The installer: the stub with Setup.msi packed behind it.
    installer = os.path.join(args.out, "CorvellaSetup.exe")
    subprocess.run([args.packer, "create", "-q", "--stub", stub, "-o", installer, msi], check=True)
    listing = subprocess.run([args.packer, "list", installer], check=True, capture_output=True, text=True).stdout

    # 3. Run it as a user would, and photograph the progress window while it shows.
    wine = toolkit.Session.attach(args.wine_dir)
    wine.reg_delete(REGISTRY_KEY)
    picture = os.path.join(args.out, "progress.png")

    def photograph(seen):
        wine.screenshot(picture, seen.first("layout"))

    run = run_probe(wine, probe, ProbeRequest(wine.to_windows(installer), at=(("created", "pause"),),
                                              on_pause=photograph, timeout_ms=toolkit.scaled(60000)))

    # 4. What happened.
    folder = (wine.reg_get(REGISTRY_KEY, "InstallDir") or "").rstrip("\\")
    unix_folder = wine.to_unix(folder) if folder else None
    starts = start_records(unix_folder) if unix_folder else []
    statuses = " -> ".join(f'"{s}"' for s in run.statuses())
    print(f"Setup.msi          {os.path.getsize(msi):,} bytes, built by wixl from tests/e2e/fixtures/corvella.wxs")
    print(f"CorvellaSetup.exe  {os.path.getsize(installer):,} bytes = sfxstub.exe + package:")
    print("                   " + listing.strip().replace("\n", "\n                   "))
    print(f"Progress window    {' / '.join(run.titles())}: {statuses}; picture: {picture}")
    print(f"Installed into     {folder or '(nothing registered)'}  ({unix_folder})")
    if starts:
        print(f"Started            {starts[0]['exe']} (by the installer, after msiexec succeeded)")
    else:
        print("Started            nothing: the application did not start")
    code = run.exit_code
    meaning = {1: "the run ended by itself", 2: "cancelled", 0: "no window"}.get(code, "?")
    print(f"Exit code          {code} ({meaning})")
    if code == 1 and starts and os.path.exists(picture):
        return 0
    print("demo: the installer did not run to the end; what the probe saw:\n" + (run.dump() or "(nothing)"),
          file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
