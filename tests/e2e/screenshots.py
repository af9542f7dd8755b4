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

from harness import ProbeRequest, run_probe, toolkit  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--win32", required=True)
    parser.add_argument("--packer", required=True)
    parser.add_argument("--wine-dir", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    stub = os.path.join(args.win32, "src", "app", "sfxstub.exe")
    probe = os.path.join(args.win32, "tools", "probe", "sfxprobe.exe")
    shutil.rmtree(args.out, ignore_errors=True)
    msi = toolkit.build_msi(os.path.join(toolkit.FIXTURES, "corvella.wxs"), os.path.join(args.out, "msi"),
                            variables={"Folder": "Corvella-screenshots"},
                            files=[os.path.join(args.win32, "tests", "e2e", "Corvella.exe")])
    installer = os.path.join(args.out, "CorvellaSetup.exe")
    subprocess.run([args.packer, "create", "-q", "--stub", stub, "-o", installer, msi], check=True)

    wine = toolkit.Session.attach(args.wine_dir)
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
        run = run_probe(wine, probe, ProbeRequest(wine.to_windows(program), tuple(program_args), tuple(at),
                                                  unix_env=unix_env, on_pause=photograph))
        layout = run.first("layout")
        print(f"{name:18} exit {run.exit_code}  statuses {run.statuses()}  window "
              f"{layout['left']},{layout['top']}-{layout['right']},{layout['bottom']}  -> {screen}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
