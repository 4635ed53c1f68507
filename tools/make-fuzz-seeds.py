#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz target: real command lines of every
item, on their success and failure paths, in the input layout the target
reads (see the comment at the top of fuzz/SerialFuzzTarget.cpp). Run from the
repository root; files are overwritten, other corpus files (crashes kept as
regression inputs) are left alone.
"""
import os

NO_FAILURE = 0xFF  # 255 % 64 names no operation

MP296 = ":".join("%02x" % (i * 7 % 256) for i in range(296))
MP2560 = ":".join("%02X" % (i * 11 % 256) for i in range(2560))
BQ_CHANNEL = "channel 2 " + " ".join(str(i - 70) for i in range(140))

# (item, argument text) on success and failure paths.
ARGS = [
    ("status", ""), ("sync", ""), ("sync", "extra words"),
    ("vol", "40"), ("vol", ""), ("vol", "300"), ("vol", "-1"),
    ("cvol", "0 300"), ("cvol", "6 1"), ("cvol", "5"),
    ("delay", "5 1.5"), ("delay", "-1 1.5"), ("delay", "2 1e40"),
    ("eq", "gain 3 -6.5 1"), ("eq", "cf 7 16000 5"), ("eq", "q 0 2 0"), ("eq", "gain 8 1 0"),
    ("eq", "freq 0 1 0"),
    ("bq", "gain 19 -3.5 5"), ("bq", "type 0 2 0"), ("bq", "phase 3 1 1"), ("bq", "freq 0 1 0"),
    ("bq", BQ_CHANNEL), ("bq", "channel 6 1 2"),
    ("ftr", "5 1 2 3 4 5 6"), ("ftr", "5 1 2 3 4 5"), ("ftr", "0 70000 -1 0 0 -32768 65535"),
    ("loud", "1 2 3"), ("loud", "-1 70000"),
    ("sig", "1"), ("sig", "0"), ("sig", "2"),
    ("spk", "0"), ("spk", "1"), ("spk", "2"), ("spk", "3"),
    ("bteq", "gain 1 2.5 0"), ("bteq", "cf 0 120 5"), ("bteq", "q 0 1 0"), ("bteq", "gain 2 1 0"),
    ("hfaec", "adc MicOpGain 0 12"), ("hfaec", "adc MicPgaGain 1 6.5"),
    ("hfaec", "adc MicOpGain 2 1"), ("hfaec", "adc Foo 0 1"),
    ("hfaec", "seq en 1"), ("hfaec", "seq gain 0 -3.5"), ("hfaec", "req cf 7 16000"),
    ("hfaec", "req q 1 2.5"), ("hfaec", "seq cf 8 100"), ("hfaec", "seq foo 1 1"),
    ("hfaec", "aec pfGainLimitIdx 2"), ("hfaec", "nr nrAttenIdx 3"), ("hfaec", "nr foo 3"),
    ("hfaec", "nlp pfWeightIdx 1"), ("hfaec", "nlp cnEstiIdx 0"), ("hfaec", "nlp cnExecIdx 4"),
    ("hfaec", "uplink gain -1.5"), ("hfaec", "foo bar 1"), ("hfaec", "nr"),
    ("hfsync", ""),
    ("mpbin", "296 " + MP296), ("mpbin", "2560 " + MP2560), ("mpbin", "296 0a:1B::ff:-1:G1"),
    ("mpbin", "3 1:2:3:4"), ("mpbin", "296 123"), ("mpbin", "0 1"), ("mpbin", "296"),
    ("getmp", ""), ("getmp", "ext"), ("getmp", "extended"),
]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    serial_dir = "fuzz/corpus/serial"
    os.makedirs(serial_dir, exist_ok=True)
    # Whole sessions, one read each (cut byte 0) and cut small (1 to 7).
    lines = [f"dsp {item} {text}".rstrip() + "\n" for item, text in ARGS]
    for n in range(0, len(lines), 8):
        session = "".join(lines[n:n + 8]).encode()
        write(f"{serial_dir}/seed-{n // 8:02d}", bytes([0, NO_FAILURE]) + session)
        write(f"{serial_dir}/seed-{n // 8:02d}-cut", bytes([1 + n % 7, NO_FAILURE]) + session)
    # A refused service operation on the way: byte 1 names it by index.
    write(f"{serial_dir}/seed-fail-vol", bytes([0, 23]) + b"dsp vol 40\n")
    write(f"{serial_dir}/seed-fail-sync", bytes([0, 9]) + b"dsp sync\ndsp getmp\n")
    write(f"{serial_dir}/seed-framing", bytes([3, NO_FAILURE]) +
          b"dsp st" + b"atus\r\n" + b"\n\r\ndsp foo 1\ndsp\nfoo\nDSP status\n" +
          b"dsp vol " + b"7" * 9000 + b"\ndsp status\n")
    write(f"{serial_dir}/seed-noise", bytes([5, NO_FAILURE]) + bytes(range(256)) + b"\ndsp status\n")


if __name__ == "__main__":
    main()
