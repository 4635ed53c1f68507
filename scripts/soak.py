#!/usr/bin/env python3
"""Soak run of dspd on the simulated service over a pseudo-terminal (docs/hardening.md, "Soak")."""
import argparse, os, pathlib, random, re, select, signal, struct, time
from subprocess import DEVNULL, PIPE, Popen

OK, FAIL = b"[ok]\0", b"[fail]\0"
REPLY_MAX, LINE_MAX = 8190, 8191  # reports are cut to this; longer lines are dropped unanswered
DEADLINE_S, RSS_SLACK_KB = 10, 256  # for a batch of lines to be answered; memory growth allowed
NUM = re.compile(rb"-?(\d+(\.\d+)?|inf|nan)")
# WRN, ERR and BUG lines; the second kind only where a line is refused or dropped.
LOG, REFUSAL = re.compile(rb"<[234]>|.*(Sanitizer|runtime error)"), re.compile(
    rb"<[23]>\[ ?AudioCommand [^]]*\] (?!.*(fail|unsup))|<3>\[ ?UartWorker .*line too long")
# Valid lines after "dsp": C a channel, Bn a band below n, N any number word, a|b one of them.
FORMS = ["status", "sync", "hfsync", "sync extra", "vol N", "cvol C N", "delay C N", "ftr C" +
         " N" * 6, "loud N N N", "eq gain|cf|q B8 N C", "bteq gain|cf B2 N C", "sig 0|1",
         "bq type|cf|gain|q|method|slope|phase B20 N C", "bq channel C" + " N" * 140, "spk 0|1|2",
         "hfaec adc MicOpGain|MicPgaGain 0|1 N", "hfaec seq|req en N", "hfaec uplink gain N",
         "hfaec seq|req cf|gain|q B8 N", "hfaec aec pfGainLimitIdx N", "hfaec nr nrAttenIdx N",
         "hfaec nlp pfWeightIdx|cnEstiIdx|cnExecIdx N", "getmp", "getmp ext|extended", "mpbin"]
REFUSED = ("vol|vol 1 2|cvol 6 1|delay 9 1|eq gain 8 1 0|eq freq 1 1 0|bq gain 20 1 0|loud 1 2|"
           "ftr 7 1 2 3 4 5 6|sig 2|spk 3|bteq gain 2 1 0|hfaec nr foo 1|hfaec foo a b|mpbin 3 1|"
           "hfaec adc MicOpGain 2 1|hfaec seq cf 8 1|mpbin 296 123|bq channel 6" + " 1" * 140
           ).split("|")
UNANSWERED = ["dsp foo 1", "dsp", "foo bar", "", "DSP status", "dspstatus", "dsp Status", "\t"]
BODY = bytes(range(256)).translate(None, b"\n\r")  # of noise lines, which start with none of
FIRST = BODY.translate(None, b" \t\v\fd\0")  # these, so are never "dsp" lines
# Report layouts: fixed words, and counts of number words ("n") between them.
REPORTS = {v[4:v.index(":")]: [w for x in v.split(":") for w in (
    ["n"] * int(x) if x.isdigit() else [x])] + ["[ok]"] for v in [
    "dsp sync:A0101:vol:8:delay:6:eq:144:eqbt:24:ftr:36:loud:3:bq:840",
    "dsp hfsync:A0101:opgain:2:pgagain:2:seq:25:req:25:duplex:1:nr:1:nlp:3:uplink:1"]}


def fail(text):  # fail.where: the lines last sent
    raise SystemExit(f"FAIL: {text}{getattr(fail, 'where', '')}")


# A line, the reply it must get (None: none), whether it may log refusals; `mp` holds the last
# blob sent of each MP.bin size; `huge` numbers make long report words, and most reports cut.
def random_line(r, mp, huge):
    end = r.choice(["\n", "\n", "\r", "\r\n"])
    if r.random() < 0.3:  # refused (LF only: a CR would stay in it as a word), unanswered, dropped
        return r.choices([(f"dsp {r.choice(REFUSED)}\n".encode(), FAIL, True),
                          ((r.choice(UNANSWERED) + end).encode(), None, False),
                          (bytes([r.choice(FIRST)] + r.choices(BODY, k=r.randint(0, 200))) + b"\n",
                           None, False), (b"dsp vol " + b"7" * r.randint(LINE_MAX, LINE_MAX + 3000)
                                          + b"\n", None, True)], [30, 14, 15, 1])[0]
    w = [r.choice(x.split("|")) for x in r.choice(FORMS).split()]
    w = [str(r.randint(0, 5)) if x == "C" else r.choices(
        [str(r.randint(-300, 300)), str(r.randint(-70000, 70000)), "%.3f" % r.uniform(-1e4, 1e4),
         "%.1e" % r.uniform(-1e38, 1e38), "12x"], [10, 4, 4, 6 * huge, 1])[0] if x == "N" else
         str(r.randrange(int(x[1:]))) if x[0] == "B" else x for x in w]
    want, logs = REPORTS.get(w[0], OK), False
    if w[0] == "getmp":
        want = struct.pack(">I", len(mp[len(w) > 1])) + mp[len(w) > 1] + OK
    elif w[0] == "mpbin":  # a count other than the fields' is logged; the fields decide
        ext = r.random() < 0.1
        mp[ext], logs = bytes(r.choices(range(256), k=2560 if ext else 296)), r.random() < 0.5
        w += ["2560" if logs else str(len(mp[ext])), ":".join(r.choice(["%02x", "%X", "%x"]) % b
                                                               for b in mp[ext])]
    text = "dsp" + "".join(r.choice([" ", "  ", "\t", " \t "]) + x for x in w) + end
    return text.encode(), want, logs


# Length of the reply `want` at the head of `buf`; 0 until it has all come.
def reply_length(want, buf):
    if isinstance(want, bytes):
        if not want.startswith(buf[: len(want)]):
            fail(f"expected {want[:60]!r}, got {bytes(buf[:60])!r}")
        return len(want) * (len(buf) >= len(want))
    end = buf.find(b":[ok]", 0, REPLY_MAX)
    size = end + 5 if end >= 0 else REPLY_MAX * (len(buf) >= REPLY_MAX)
    words = bytes(buf[:size]).split(b":")[: None if end >= 0 else -1]  # a cut one ends mid-word
    bad = [(i, g) for i, (g, e) in enumerate(zip(words, want))
           if not (NUM.fullmatch(g) if e == "n" else g == e.encode())]
    if size and (bad or len(words) > len(want) or end >= 0 and len(words) != len(want)):
        fail(f"{want[0]}: {size} bytes, {len(words)} of {len(want)} words; bad: {bad[:1]}")
    return size


class Server:
    def __init__(self, dspd, seed):
        self.master, self.slave = os.openpty()
        env = {k: v for k, v in os.environ.items() if k not in ("DSPD_SIM_FAIL", "NOTIFY_SOCKET")}
        folder, name = os.path.split(os.ttyname(self.slave))
        self.proc = Popen([dspd, name], env=env | {"DSPD_SERIAL_PREFIX": folder + "/"},
                          stdin=DEVNULL, stdout=DEVNULL, stderr=PIPE)
        self.err, self.log, self.ready = self.proc.stderr.fileno(), b"", False
        self.cuts = random.Random(seed)  # apart from the lines: how many writes depends on timing
        os.set_blocking(self.master, False)

    def check_log(self, chunk, logs):  # the lines complete so far
        *lines, self.log = (self.log + chunk).split(b"\n")
        for line in lines:
            if LOG.match(line) and not (logs and REFUSAL.match(line)):
                fail(f"unexpected log line {line[:200]!r}")
            self.ready = self.ready or b"port ready" in line

    # Writes `data` (once the port is ready) in random pieces, checking replies and the log as
    # they come; `logs`: refusals may log.
    def exchange(self, data, wants, logs):
        got, sent, deadline = bytearray(), 0, time.monotonic() + DEADLINE_S * (2 - self.ready)
        # A fresh poll: the log is read up to all the server wrote before its last reply.
        while sent < len(data) or wants or select.select([self.err], [], [], 0)[0]:
            if self.proc.poll() is not None or time.monotonic() > deadline:
                fail(f"server status {self.proc.returncode} (None: no reply in time)")
            ready = select.select([self.master, self.err], [self.master] * (
                self.ready and sent < len(data)), [], 0.5 * (sent < len(data) or bool(wants)))
            if ready[1]:
                sent += os.write(self.master, data[sent: sent + self.cuts.randint(1, 700)])
            if self.err in ready[0]:
                self.check_log(os.read(self.err, 65536), logs)
            got += os.read(self.master, 65536) if self.master in ready[0] else b""
            while got and wants and (size := reply_length(wants[0], got)):
                del got[:size], wants[0]
            if got and not wants:
                fail(f"reply nobody asked for: {bytes(got[:60])!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for name, default in (("dspd", "build/app/dspd"), ("lines", 100000),
                          ("seed", random.randrange(2**32))):
        parser.add_argument("--" + name, type=type(default), default=default)
    args = parser.parse_args()
    r, done, samples, server = random.Random(args.seed), 0, [], Server(args.dspd, args.seed)
    mp = [bytes(296), bytes(2560)]
    try:
        while done < args.lines:  # in batches, each ended by a line that must be answered
            batch = [random_line(r, mp, done // 1000 % 2)
                     for _ in range(min(r.randint(1, 12), args.lines - done))]
            done += len(batch)
            fail.where = f"\n  lines up to {done}, the last {batch[-1][0][:120]!r}"
            server.exchange(b"".join(b[0] for b in batch) + b"dsp status\n",
                            [b[1] for b in batch if b[1]] + [OK], any(b[2] for b in batch))
            proc = pathlib.Path(f"/proc/{server.proc.pid}")
            samples.append((int(re.search(r"VmRSS:\s*(\d+)", (proc / "status").read_text())[1]),
                            len(os.listdir(proc / "fd"))))
        server.proc.send_signal(signal.SIGTERM)
        status = server.proc.wait(timeout=DEADLINE_S)
        server.check_log(server.proc.stderr.read() + b"\n", False)
    finally:
        server.proc.kill()  # nothing once it has ended
        server.proc.stderr.close(), os.close(server.master), os.close(server.slave)
    tenth = max(1, len(samples) // 10)  # of the batches
    first, last = (tuple(map(max, zip(*part))) for part in (samples[:tenth], samples[-tenth:]))
    print(f"soak: {args.lines} lines, seed {args.seed}; resident KiB first/last tenth {first[0]}/"
          f"{last[0]}, descriptors {first[1]}/{last[1]}; exit status {status}")
    if status != 0 or last[0] > first[0] + RSS_SLACK_KB or last[1] > first[1]:
        fail("memory or descriptors grew, or the server did not stop with status 0")


if __name__ == "__main__":
    main()
