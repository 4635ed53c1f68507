#!/usr/bin/env python3
"""Soak run of dspd on the simulated service over a pseudo-terminal (README, "Hardening")."""
import argparse, os, random, re, select, signal, struct, subprocess, sys, time

OK, FAIL = b"[ok]\0", b"[fail]\0"
REPLY_MAX, LINE_MAX = 8190, 8191  # reports are cut to this; longer lines are dropped unanswered
DEADLINE_S, RSS_SLACK_KB = 10, 256  # for a batch of lines to be answered; memory growth allowed
NUM = re.compile(rb"-?(\d+(\.\d+)?|inf|nan)")
LOG = re.compile(rb"<([234])>\[ ?(\S+) \S+ \d+\] [A-Z]+: (.*)")  # WRN, ERR and BUG lines
# Valid lines after "dsp": C a channel, Bn a band below n, N any number word, a|b one of them.
FORMS = ["status", "sync", "hfsync", "sync extra", "vol N", "cvol C N", "delay C N", "ftr C" +
         " N" * 6, "loud N N N", "eq gain|cf|q B8 N C", "bteq gain|cf B2 N C", "sig 0|1",
         "bq type|cf|gain|q|method|slope|phase B20 N C", "bq channel C" + " N" * 140, "spk 0|1|2",
         "hfaec adc MicOpGain|MicPgaGain 0|1 N", "hfaec seq|req en N", "hfaec uplink gain N",
         "hfaec seq|req cf|gain|q B8 N", "hfaec aec pfGainLimitIdx N", "hfaec nr nrAttenIdx N",
         "hfaec nlp pfWeightIdx|cnEstiIdx|cnExecIdx N", "getmp", "getmp ext|extended", "mpbin"]
REFUSED = ("vol|vol 1 2|cvol 6 1|cvol -1 1|delay 9 1|eq gain 8 1 0|eq freq 1 1 0|eq gain 1 1 6|"
           "bq freq 0 1 0|bq gain 20 1 0|bq channel 1 1 2|ftr 7 1 2 3 4 5 6|ftr 0 1 2|loud 1 2|"
           "sig 2|spk 3|bteq q 0 1 0|bteq gain 2 1 0|hfaec nr foo 1|hfaec adc MicOpGain 2 1|"
           "hfaec seq cf 8 1|hfaec foo a b|hfaec adc Foo 0 1|mpbin 3 1:2:3:4|mpbin 296 123|"
           "mpbin 10 1:2|mpbin 296|bq channel 6" + " 1" * 140).split("|")
BODY = [b for b in range(256) if b not in b"\n\r"]  # noise bytes after the first
UNANSWERED = ["dsp foo 1", "dsp", "foo bar", "", "DSP status", "dspstatus", "dsp Status", "\t"]
# Report layouts: fixed words, and counts of number words ("n") between them.
REPORTS = {k[0]: [w for x in k[1:] for w in (["n"] * x if type(x) is int else [x])] + ["[ok]"]
           for k in [("sync", "dsp sync", "A0101", "vol", 8, "delay", 6, "eq", 144, "eqbt", 24,
                      "ftr", 36, "loud", 3, "bq", 840), ("hfsync", "dsp hfsync", "A0101", "opgain",
                      2, "pgagain", 2, "seq", 25, "req", 25, "duplex", 1, "nr", 1, "nlp", 3, "uplink", 1)]}


class Fault(Exception):
    pass


def number(r, huge):  # huge ones make long report words, and most reports then are cut
    return r.choices([str(r.randint(-300, 300)), str(r.randint(-70000, 70000)), "%.3f" % r.uniform(
        -1e4, 1e4), "%.1e" % r.uniform(-1e38, 1e38)], [10, 4, 4, 6 * huge])[0] + r.choice([""] * 19 + ["x1"])


# A line, the reply it must get (None: none), whether it may log WRN or ERR lines; `mp` holds
# the last blob sent of each MP.bin size.
def random_line(r, mp, huge):
    x, end = r.random(), r.choice(["\n", "\n", "\r", "\r\n"])
    if x < 0.15:  # LF only: a CR would stay in the line as a word and make some valid
        return f"dsp {r.choice(REFUSED)}\n".encode(), FAIL, True
    if x < 0.22:
        return (r.choice(UNANSWERED) + end).encode(), None, False
    if x < 0.295:  # never a "dsp" line: no blank, "d" or NUL first, no line end inside
        first = r.choice([b for b in range(256) if b not in b" \t\n\r\v\fd\0"])
        return bytes([first] + r.choices(BODY, k=r.randint(0, 200))) + b"\n", None, False
    if x < 0.3:
        return b"dsp vol " + b"7" * r.randint(LINE_MAX, LINE_MAX + 3000) + b"\n", None, True
    w = [r.choice(x.split("|")) for x in r.choice(FORMS).split()]
    w = [str(r.randint(0, 5)) if x == "C" else number(r, huge) if x == "N" else
         str(r.randrange(int(x[1:]))) if x[0] == "B" else x for x in w]
    want, logs = REPORTS.get(w[0], OK), False
    if w[0] == "getmp":
        want = struct.pack(">I", len(mp[len(w) > 1])) + mp[len(w) > 1] + OK
    elif w[0] == "mpbin":  # a count other than the fields' is logged; the fields decide
        ext = r.random() < 0.1
        mp[ext], logs = bytes(r.choices(range(256), k=2560 if ext else 296)), r.random() < 0.5
        w += ["2560" if logs else str(len(mp[ext])), ":".join(r.choice(["%02x", "%X", "%x"]) % b
                                                               for b in mp[ext])]
    return ("dsp" + "".join(r.choice([" ", "  ", "\t", " \t "]) + x for x in w) + end).encode(), \
        want, logs


# Length of the reply `want` at the head of `buf`; 0 until it has all come.
def reply_length(want, buf):
    if isinstance(want, bytes):
        if not want.startswith(buf[: len(want)]):
            raise Fault(f"expected {want[:60]!r}, got {bytes(buf[:60])!r}")
        return len(want) if len(buf) >= len(want) else 0
    end = buf.find(b":[ok]", 0, REPLY_MAX)
    size = end + 5 if end >= 0 else REPLY_MAX if len(buf) >= REPLY_MAX else 0
    words = bytes(buf[:size]).split(b":")[: None if end >= 0 else -1]  # a cut one ends mid-word
    bad = [(i, g) for i, (g, e) in enumerate(zip(words, want))
           if not (NUM.fullmatch(g) if e == "n" else g == e.encode())]
    if size and (bad or len(words) > len(want) or end >= 0 and len(words) != len(want)):
        raise Fault(f"{want[0]}: {size} bytes, {len(words)} of {len(want)} words; bad: {bad[:1]}")
    return size


class Server:
    def __init__(self, dspd):
        self.master, self.slave = os.openpty()
        path = os.ttyname(self.slave)
        env = {k: v for k, v in os.environ.items() if k not in ("DSPD_SIM_FAIL", "NOTIFY_SOCKET")}
        self.proc = subprocess.Popen(
            [dspd, os.path.basename(path)], env=env | {"DSPD_SERIAL_PREFIX": path[:-len(
                os.path.basename(path))]}, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.PIPE)
        self.err, self.log, self.ready = self.proc.stderr.fileno(), bytearray(), False
        os.set_blocking(self.master, False)

    # Reads the log until it is quiet for `wait` s; a WRN, ERR or BUG line is a fault unless
    # `logs` allows the lines of refusals and dropped lines.
    def read_log(self, logs, wait=0.0):
        while select.select([self.err], [], [], wait)[0]:
            chunk = os.read(self.err, 65536)
            self.log += chunk
            cut = self.log.rfind(b"\n") + 1 if chunk else len(self.log)
            lines, self.log = self.log[:cut], self.log[cut:]
            for line in lines.split(b"\n"):
                m = LOG.match(line)
                if b"Sanitizer" in line or b"runtime error" in line or m and not (logs and (
                        m[2] == b"AudioCommand" and m[1] != b"4" and not re.search(rb"fail|unsup", m[3])
                        or m[2] == b"UartWorker" and m[3] == b"line too long, dropped")):
                    raise Fault(f"unexpected log line {line[:200]!r}")
                self.ready = self.ready or b"port ready" in line
            if not chunk:
                return

    # Writes `data` (once the port is ready) in random pieces, checking replies as they come, then
    # the log; the last line is answered only after the others have logged all they log.
    def exchange(self, r, data, wants, logs):
        got, sent, deadline = bytearray(), 0, time.monotonic() + DEADLINE_S * (1 + (not self.ready))
        while sent < len(data) or wants:
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise Fault(f"server status {self.proc.returncode} (None: no reply in time)")
            writing = [self.master] if self.ready and sent < len(data) else []
            ready = select.select([self.master, self.err], writing, [], 0.5)
            sent += os.write(self.master, data[sent: sent + r.randint(1, 700)]) if ready[1] else 0
            if self.err in ready[0]:
                self.read_log(logs)
            got += os.read(self.master, 65536) if self.master in ready[0] else b""
            while got and wants and (size := reply_length(wants[0], got)):
                del got[:size], wants[0]
            if got and not wants:
                raise Fault(f"reply nobody asked for: {bytes(got[:60])!r}")
        self.read_log(logs)

    def stop(self):  # SIGTERM, then the rest of the log; the exit status
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.read_log(False, DEADLINE_S)
            return self.proc.wait(timeout=DEADLINE_S)
        finally:
            self.proc.kill()  # nothing once it has ended
            self.proc.stderr.close()
            os.close(self.master)
            os.close(self.slave)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--dspd", default="build/app/dspd")
    parser.add_argument("--lines", type=int, default=100000)
    parser.add_argument("--seed", type=int, default=random.randrange(2**32))
    args = parser.parse_args()
    r, done, samples, server, mp = random.Random(args.seed), 0, [], Server(args.dspd), [bytes(296),
                                                                                         bytes(2560)]
    try:
        while done < args.lines:  # batches, each ended by a line that must be answered
            batch = [random_line(r, mp, done // 1000 % 2) for _ in range(min(r.randint(1, 12), args.lines - done))]
            done += len(batch)
            batch.append((b"dsp status\n", OK, False))
            try:
                server.exchange(r, b"".join(b[0] for b in batch), [b[1] for b in batch if b[1]],
                                any(b[2] for b in batch))
            except Fault as e:
                raise Fault(f"{e}\n  lines up to {done}, the last {batch[-2][0][:120]!r}") from None
            with open(f"/proc/{server.proc.pid}/status") as fh:
                rss = next(int(x.split()[1]) for x in fh if x.startswith("VmRSS:"))
            samples.append((rss, len(os.listdir(f"/proc/{server.proc.pid}/fd"))))
    finally:
        status = server.stop()
    tenth = max(1, len(samples) // 10)  # of the batches
    first, last = (tuple(map(max, zip(*part))) for part in (samples[:tenth], samples[-tenth:]))
    print(f"soak: {args.lines} lines, seed {args.seed}; resident KiB first/last tenth "
          f"{first[0]}/{last[0]}, descriptors {first[1]}/{last[1]}; exit status {status}")
    if status != 0 or last[0] > first[0] + RSS_SLACK_KB or last[1] > first[1]:
        raise Fault("memory or descriptors grew, or the server did not stop with status 0")


if __name__ == "__main__":
    try:
        main()
    except (Fault, subprocess.TimeoutExpired) as e:
        sys.exit(f"FAIL: {e}")
