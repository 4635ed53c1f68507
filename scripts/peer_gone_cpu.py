#!/usr/bin/env python3
"""Measures what dspd costs while its peer is gone.

Starts dspd on a pseudo-terminal, checks that it answers, closes the peer's
end (the master: the server's reads now fail at once), then samples the
server's CPU time and wake-ups over a few seconds from /proc. Finally stops it
with SIGTERM and reports how long the stop took and the exit status.

    scripts/peer_gone_cpu.py [--dspd build/app/dspd] [--seconds 5]

Prints one line of figures; exits 1 if the server did not answer, did not
stop within two seconds or exited with a status other than 0. Needs Linux.
"""
import argparse
import os
import select
import signal
import subprocess
import sys
import time
import tty

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15; fields[0] here is field 3.
    return (int(fields[11]) + int(fields[12])) / TICKS


def wakeups(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/status") as f:
            for line in f:
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    total += int(line.split()[1])
    return total


def read_exactly(fd, n, timeout):
    data = b""
    deadline = time.monotonic() + timeout
    while len(data) < n:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        data += os.read(fd, n - len(data))
    return data


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--dspd", default="build/app/dspd")
    parser.add_argument("--seconds", type=float, default=5.0)
    args = parser.parse_args()

    master, slave = os.openpty()
    tty.setraw(slave)
    path = os.ttyname(slave)
    env = dict(os.environ, DSPD_SERIAL_PREFIX=os.path.dirname(path) + "/")
    env.pop("DSPD_SIM_FAIL", None)
    server = subprocess.Popen([args.dspd, os.path.basename(path)], env=env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
    ok = False
    try:
        # Wait for the port, then check it answers before the peer leaves.
        err = b""
        deadline = time.monotonic() + 10
        while b"port ready" not in err and time.monotonic() < deadline:
            if select.select([server.stderr], [], [], 0.5)[0]:
                chunk = os.read(server.stderr.fileno(), 4096)
                if not chunk:
                    break
                err += chunk
        os.write(master, b"dsp status\n")
        answered = read_exactly(master, 5, 5) == b"[ok]\0"
        # Keep draining the log so the server never blocks on it.
        drain = subprocess.Popen(["cat"], stdin=server.stderr, stdout=subprocess.DEVNULL)
        os.close(slave)
        os.close(master)

        time.sleep(0.5)  # let it notice
        cpu0, wake0, t0 = cpu_seconds(server.pid), wakeups(server.pid), time.monotonic()
        time.sleep(args.seconds)
        cpu1, wake1, t1 = cpu_seconds(server.pid), wakeups(server.pid), time.monotonic()
        span = t1 - t0

        start = time.monotonic()
        server.send_signal(signal.SIGTERM)
        try:
            status = server.wait(timeout=2)
        except subprocess.TimeoutExpired:
            status = None
        stop_ms = (time.monotonic() - start) * 1000
        drain.wait(timeout=5)
        print(f"peer gone: cpu {100 * (cpu1 - cpu0) / span:.2f}% over {span:.1f} s, "
              f"{(wake1 - wake0) / span:.1f} wake-ups/s; answered before: {answered}; "
              f"SIGTERM to exit {stop_ms:.0f} ms, status {status}")
        ok = answered and status == 0
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
