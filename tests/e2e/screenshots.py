#!/usr/bin/env python3
"""Pictures of what the user sees, for a look by eye: the progress window in normal
mode, update mode, French and Japanese, and the error box. The installer is held
(its worker paused) while each picture is taken. Needs a running Wine session.

  screenshots.py --win32 build/win32 --packer build/host/tools/sfxpack/sfxpack \\
                 --wine-dir build/win32/wine --out build/screenshots"""
import argparse
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import Wine, run_probe  # noqa: E402

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--win32", required=True)
    parser.add_argument("--packer", required=True)
    parser.add_argument("--wine-dir", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    stub = os.path.join(args.win32, "src", "app", "sfxstub.exe")
    probe = os.path.join(args.win32, "tests", "e2e", "probe.exe")
    shutil.rmtree(args.out, ignore_errors=True)
    build = os.path.join(args.out, "msi")
    os.makedirs(build)
    shutil.copy(os.path.join(FIXTURES, "corvella.wxs"), build)
    shutil.copy(os.path.join(args.win32, "tests", "e2e", "Corvella.exe"), build)
    subprocess.run(["wixl", "-D", "Folder=Corvella-screenshots", "-o", "Setup.msi", "corvella.wxs"], cwd=build,
                   check=True)
    installer = os.path.join(args.out, "CorvellaSetup.exe")
    subprocess.run([args.packer, "create", "-q", "--stub", stub, "-o", installer, os.path.join(build, "Setup.msi")],
                   check=True)

    wine = Wine(args.wine_dir)
    shots = [
        ("normal", installer, [], {}, "created"),
        ("update", installer, ["-update"], {}, "created"),
        ("french", installer, [], {"LANG": "fr_FR.UTF-8"}, "created"),
        ("japanese", installer, [], {"LANG": "ja_JP.UTF-8"}, "created"),
        ("error-box", stub, [], {}, "box"),
        ("error-box-french", stub, [], {"LANG": "fr_FR.UTF-8"}, "box"),
    ]
    for name, program, program_args, unix_env, when in shots:
        picture = os.path.join(args.out, name + ".png")
        screen = os.path.join(args.out, name + "-screen.png")

        def photograph(seen, picture=picture, screen=screen, when=when):
            wine.screenshot(screen)
            if when == "created":
                wine.screenshot(picture, seen.first("layout"))

        at = [(when, "pause")] + ([("box", "enter")] if when == "box" else [])
        run = run_probe(wine, probe, program, program_args, at=at, unix_env=unix_env, on_pause=photograph)
        layout = run.first("layout")
        print(f"{name:18} exit {run.exit_code}  statuses {run.statuses()}  window "
              f"{layout['left']},{layout['top']}-{layout['right']},{layout['bottom']}  -> {screen}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
