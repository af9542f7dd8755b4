#!/usr/bin/env python3
"""Writes a corpus of hostile packages and a manifest of what a correct reader
makes of each.

    make_hostile.py OUTDIR [--stub STUB]

With a stub every case is appended to it (an installer); without, each case gets
a filler prefix so that it is long enough for the marker search. OUTDIR/cases.tsv
holds one line per case: file, table result (1002, 1001, 1004), entry count, and
one flag per entry (1 extractable, 0 refused), comma-separated. The expectations
come from sfxformat's reference reader, so the same manifest holds with any stub."""

import argparse
import os
import random
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sfxformat as fmt  # noqa: E402

PAYLOAD = b"Corvella test database\n" * 200


def slurp(path):
    with open(path, "rb") as f:
        return f.read()


def cases(prefix):
    """(file name, package bytes) for each hostile case."""
    rng = random.Random(1234)
    good = fmt.build([fmt.Entry("Setup.msi", PAYLOAD)], prefix)
    yield "valid.bin", good
    yield "trailer-cut.bin", good[:-5]
    yield "trailer-cut-marker.bin", good[:-10] + b"!NORB"
    for label, count in (("minus1", -1), ("0", 0), ("257", 257), ("max", 2**31 - 1)):
        yield f"count-{label}.bin", fmt.build([fmt.Entry("Setup.msi", PAYLOAD)], prefix, count=count)
    for label, length in (("minus1", -1), ("256", 256)):
        yield f"namelength-{label}.bin", fmt.build(
            [fmt.Entry("Setup.msi", PAYLOAD, name_length=length)], prefix)
    for label, name in (("dotdot-backslash", "..\\evil.txt"), ("dotdot-slash", "../evil.txt"),
                        ("backslash", "sub\\evil.txt"), ("slash", "sub/evil.txt"),
                        ("absolute-posix", "/tmp/sfx-evil.txt"), ("absolute-windows", "\\sfx-evil.txt"),
                        ("drive", "C:\\sfx-evil.txt"), ("drive-relative", "C:sfx-evil.txt"),
                        ("dotdot", ".."), ("empty", ""), ("trailing-dot", "evil.")):
        yield f"name-{label}.bin", fmt.build([fmt.Entry(name, PAYLOAD)], prefix)
    yield "offset-beyond-eof.bin", fmt.build([fmt.Entry("Setup.msi", PAYLOAD, offset=len(good) + 100000)], prefix)
    yield "offset-beyond-2gib.bin", fmt.build([fmt.Entry("Setup.msi", PAYLOAD, offset=0xF0000000)], prefix)
    # 256 records claimed, three present: the walk goes on into the prefix and,
    # without a stub, past the start of the file.
    yield "records-past-start.bin", prefix + fmt.record(0, 1, 1, b"", 0) * 3 + fmt.trailer(256)
    bomb = zlib.compress(b"\0" * (8 << 20), 9)
    yield "bomb.bin", fmt.build([fmt.Entry("Setup.msi", stream=bomb, size=4096)], prefix)
    yield "size-short.bin", fmt.build([fmt.Entry("Setup.msi", PAYLOAD, size=len(PAYLOAD) - 1)], prefix)
    yield "size-long.bin", fmt.build([fmt.Entry("Setup.msi", PAYLOAD, size=len(PAYLOAD) + 1)], prefix)
    damaged = bytearray(zlib.compress(bytes(rng.randrange(256) for _ in range(20000)), 6))
    for i in range(len(damaged) // 2, len(damaged) // 2 + 32):
        damaged[i] ^= 0x5A
    yield "stream-damaged.bin", fmt.build([fmt.Entry("Setup.msi", stream=bytes(damaged), size=20000)], prefix)
    checksum = bytearray(zlib.compress(PAYLOAD, 6))
    checksum[-1] ^= 1
    yield "stream-checksum.bin", fmt.build([fmt.Entry("Setup.msi", stream=bytes(checksum), size=len(PAYLOAD))],
                                           prefix)
    stream = zlib.compress(PAYLOAD, 6)
    yield "stream-truncated.bin", fmt.build([fmt.Entry("Setup.msi", stream=stream[: len(stream) // 2],
                                                       size=len(PAYLOAD))], prefix)
    yield "two-entries.bin", fmt.build([fmt.Entry("Setup.msi", PAYLOAD), fmt.Entry("other.txt", b"x")], prefix)
    for i in range(4):
        noise = bytes(rng.randrange(256) for _ in range((40, 300, 2000, 5000)[i]))
        # Behind the marker (towards the start) comes nothing but noise; the
        # count is noise too, or small enough to send the walk into the noise.
        count = rng.randrange(1, 4) if i % 2 else rng.randrange(-2**31, 2**31)
        yield f"random-behind-marker-{i}.bin", prefix + noise + fmt.trailer(count)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir")
    parser.add_argument("--stub", help="append every case to this executable")
    args = parser.parse_args()
    prefix = slurp(args.stub) if args.stub else b"\0" * 700
    os.makedirs(args.outdir, exist_ok=True)
    with open(os.path.join(args.outdir, "cases.tsv"), "w") as manifest:
        for name, data in cases(prefix):
            with open(os.path.join(args.outdir, name), "wb") as f:
                f.write(data)
            toc = fmt.read_toc(data)
            flags = ",".join("1" if fmt.inflate_entry(data, e) is not None else "0" for e in toc.entries)
            manifest.write(f"{name}\t{toc.code}\t{len(toc.entries)}\t{flags or '-'}\n")


if __name__ == "__main__":
    main()
