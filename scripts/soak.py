#!/usr/bin/env python3
"""Soak run of dspd on the simulated service over a pseudo-terminal (README, "Hardening")."""
import argparse, fcntl, os, random, re, select, signal, struct, subprocess, sys, termios, time

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


class Fault(Exception):
    pass


def ival(word):  # what the server reads from a number word: its leading digits
    return int(re.match(r"[+-]?\d*", word).group().rstrip("+-") or 0)


def number(r):
    x = r.random()
    text = (str(r.randint(-300, 300)) if x < 0.5 else str(r.randint(-70000, 70000)) if x < 0.7
            else r.choice(["%g", "%.3f", "%.1e"]) % (r.randint(-99999, 99999) / r.choice([1, 10, 100])))
    return text + (r.choice(["abc", ".5", "x1"]) if r.random() < 0.05 else "")


# The words a report must hold: fixed ones, modelled values, "n" for any number.
def report(item, st):
    if item == "sync":
        return (["dsp sync", "A0101", "vol"] + st["vol"] + ["delay"] + ["n"] * 6 + ["eq"] +
                ["n"] * 144 + ["eqbt"] + ["n"] * 24 + ["ftr"] + ["n"] * 36 + ["loud"] +
                st["loud"] + ["bq"] + ["n"] * 840 + ["[ok]"])
    return (["dsp hfsync"] + "A0101 opgain n n pgagain n n seq".split() + ["n"] * 25 + ["req"] +
            ["n"] * 25 + "duplex n nr n nlp n n n uplink n [ok]".split())


# A line of any kind and the reply it must get (None: none); `st` follows what replies show.
def random_line(r, st):
    x = r.random()
    if x < 0.15:  # LF only: a CR would stay in the line as a word and make some valid
        return b"dsp " + r.choice(REFUSED).encode() + b"\n", FAIL
    if x < 0.22:
        return r.choice(UNANSWERED).encode() + r.choice([b"\n", b"\r", b"\r\n"]), None
    if x < 0.295:  # never a "dsp" line: no blank, "d" or NUL first, no line end inside
        first = r.choice([b for b in range(256) if b not in b" \t\n\r\v\fd\0"])
        body = [r.choice(BODY) for _ in range(r.randint(0, 200))]
        return bytes([first] + body) + b"\n", None
    if x < 0.3:
        return b"dsp vol " + b"7" * r.randint(LINE_MAX, LINE_MAX + 3000) + b"\n", None
    w = [r.choice(x.split("|")) for x in r.choice(FORMS).split()]
    w = [str(r.randint(0, 5)) if x == "C" else number(r) if x == "N" else
         str(r.randrange(int(x[1:]))) if x[0] == "B" else x for x in w]
    want = report(w[0], st) if w[0] in ("sync", "hfsync") else OK
    if w[0] == "vol":
        st["vol"][1] = str(ival(w[1]) if 0 <= ival(w[1]) <= 255 else 0)
    elif w[0] in ("cvol", "spk"):
        st["vol"][2 + int(w[1]) if w[0] == "cvol" else 0] = str(ival(w[-1]) & 0xFF)
    elif w[0] == "loud":
        st["loud"] = [str(ival(x) & 0xFFFF) for x in w[1:]]
    elif w[0] == "getmp":
        want = struct.pack(">I", len(st["mp"][len(w) > 1])) + st["mp"][len(w) > 1] + OK
    elif w[0] == "mpbin":
        count, texts, blob = 2560 if r.random() < 0.1 else 296, [], bytearray([0])
        for _ in range(count):  # an empty field repeats the one before; the rest read as hex
            t = r.choice(["%02x", "%X", "%x"] * 3 + ["", "-1", "-f", "G1", "7g"])
            texts.append(t % r.randint(0, 255) if "%" in t else t)
            m = re.match(r"-?[0-9a-fA-F]+", texts[-1])
            blob.append((int(m.group(), 16) & 0xFF if m else 0) if t else blob[-1])
        w += [str(r.choice([count, 2560])), ":".join(texts)]
        st["mp"][count == 2560] = bytes(blob[1:])
    text = "dsp" + "".join(r.choice([" ", " ", "  ", "\t", " \t "]) + x for x in w)
    return (text + r.choice(["\n", "\n", "\r", "\r\n"])).encode(), want


# Length of the reply `want` at the head of `buf`; 0 until it has all come.
def reply_length(want, buf):
    if isinstance(want, bytes):
        if not want.startswith(buf[: len(want)]):
            raise Fault(f"expected {want[:60]!r}, got {bytes(buf[:60])!r}")
        return len(want) if len(buf) >= len(want) else 0
    end = buf.find(b":[ok]", 0, REPLY_MAX)
    size = end + 5 if end >= 0 else REPLY_MAX if len(buf) >= REPLY_MAX else 0
    words = bytes(buf[:size]).split(b":")[: None if end >= 0 else -1]  # a cut one ends mid-word
    bad = [(i, g, e) for i, (g, e) in enumerate(zip(words, want))
           if not (NUM.fullmatch(g) if e == "n" else g == e.encode())]
    if size and (bad or len(words) > len(want) or end >= 0 and len(words) != len(want)):
        raise Fault(f"{want[0]}: {size} bytes, {len(words)} of {len(want)} words; bad: {bad[:1]}")
    return size


class Server:
    def __init__(self, dspd):
        self.master, self.slave = os.openpty()
        path = os.ttyname(self.slave)
        env = {k: v for k, v in os.environ.items() if k not in ("DSPD_SIM_FAIL", "NOTIFY_SOCKET")}
        env["DSPD_SERIAL_PREFIX"] = os.path.dirname(path) + "/"
        self.proc = subprocess.Popen([dspd, os.path.basename(path)], env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE)
        self.err, self.log, self.ready = self.proc.stderr.fileno(), bytearray(), False
        os.set_blocking(self.master, False)

    # Reads the log; a complete line other than refusals and dropped lines is a fault.
    def read_log(self):
        chunk = os.read(self.err, 65536)
        self.log += chunk
        cut = self.log.rfind(b"\n") + 1 if chunk else len(self.log)
        for line in self.log[:cut].split(b"\n"):
            m = LOG.match(line)
            if b"Sanitizer" in line or b"runtime error" in line or m and not (
                    m[2] == b"AudioCommand" and m[1] != b"4" and not re.search(rb"fail|unsup", m[3])
                    or m[2] == b"UartWorker" and m[3] == b"line too long, dropped"):
                raise Fault(f"unexpected log line {bytes(line[:200])!r}")
            self.ready = self.ready or b"port ready" in line
        del self.log[:cut]
        return chunk

    # Writes `data` (once the port is ready) in random pieces, checking replies as they come.
    def exchange(self, r, data, wants):
        got, sent, waiting = bytearray(), 0, False
        deadline = time.monotonic() + DEADLINE_S * (1 if self.ready else 2)
        while sent < len(data) or wants:
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise Fault(f"server status {self.proc.returncode} (None: no reply in time)")
            if waiting:  # until the server has read all sent so far: its reads are cut there
                waiting = fcntl.ioctl(self.slave, termios.FIONREAD, b"\0" * 4) != b"\0" * 4
            writing = [self.master] if self.ready and sent < len(data) and not waiting else []
            ready = select.select([self.master, self.err], writing, [], 0.001 if waiting else 0.5)
            if ready[1]:
                sent += os.write(self.master, data[sent: sent + r.randint(1, 700)])
                waiting = r.random() < 0.05
            if self.err in ready[0]:
                self.read_log()
            if self.master in ready[0]:
                got += os.read(self.master, 65536)
                while got:
                    if not wants:
                        raise Fault(f"reply nobody asked for: {bytes(got[:60])!r}")
                    size = reply_length(wants[0], got)
                    if not size:
                        break
                    del got[:size], wants[0]

    # SIGTERM, then the rest of the log; the exit status.
    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            while select.select([self.err], [], [], DEADLINE_S)[0] and self.read_log():
                pass
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
    r, done, samples, server = random.Random(args.seed), 0, [], Server(args.dspd)
    st = {"vol": ["0", "30"] + ["0"] * 6, "loud": ["0"] * 3, "mp": [bytes(296), bytes(2560)]}
    try:
        while done < args.lines:
            batch = [random_line(r, st) for _ in range(min(r.randint(1, 12), args.lines - done))]
            done += len(batch)
            try:
                server.exchange(r, b"".join(b[0] for b in batch), [b[1] for b in batch if b[1]])
            except Fault as e:
                raise Fault(f"{e}\n  lines up to {done}, the last {batch[-1][0][:120]!r}") from None
            with open(f"/proc/{server.proc.pid}/status") as fh:
                rss = next(int(x.split()[1]) for x in fh if x.startswith("VmRSS:"))
            samples.append((rss, len(os.listdir(f"/proc/{server.proc.pid}/fd"))))
        server.exchange(r, b"dsp sync\ndsp hfsync\n", [report("sync", st), report("hfsync", st)])
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
