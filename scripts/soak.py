#!/usr/bin/env python3
"""Soak run of dspd over a pseudo-terminal.

Sends N lines (default 100,000) to a real dspd on the simulated service: valid
commands of every item, commands refused for their words, lines no command
answers, random bytes, over-long lines, all cut into writes at random points
(some of them waited out, so the server's reads are cut there too). A reference
model of the service state predicts every reply byte for byte, the "sync" and
"hfsync" reports and MP.bin frames included; a final "sync" and "hfsync" must
equal the model too. Resident memory and open descriptors of the server are
sampled through the run: the last tenth must not rise above the first.

    scripts/soak.py [--dspd build/app/dspd] [--lines 100000] [--seed N]

Prints the figures and exits 0, or exits 1 at the first difference (with the
line, what was expected and what came). Python 3 standard library; Linux.
"""
import argparse
import fcntl
import os
import random
import re
import select
import signal
import struct
import subprocess
import sys
import termios
import time
import tty

OK = b"[ok]\0"
FAIL = b"[fail]\0"
REPLY_MAX = 8190  # a report is cut to what the 8192-byte reply buffer holds
LINE_MAX = 8191   # bytes a line may hold with its terminator
RSS_SLACK_KB = 512

INT_RE = re.compile(rb"^[ \t\n\v\f\r]*([+-]?[0-9]+)")
HEX_RE = re.compile(rb"^[ \t\n\v\f\r]*([+-]?[0-9a-fA-F]+)")
FLOAT_RE = re.compile(rb"^[ \t\n\v\f\r]*([+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?)")


# --- how the server reads number words ---------------------------------------

def word_int(word, base=10):
    """strtol, saturated to 32 bits; a word without a number is 0."""
    m = (HEX_RE if base == 16 else INT_RE).match(word)
    if not m:
        return 0
    value = int(m.group(1), base)
    return max(-2**31, min(2**31 - 1, value))


def f32(value):
    """A double narrowed to single precision, as the server stores floats."""
    if value > 3.4028234663852886e38:
        return float("inf")
    if value < -3.4028234663852886e38:
        return float("-inf")
    return struct.unpack("<f", struct.pack("<f", value))[0]


def word_float(word):
    m = FLOAT_RE.match(word)
    return f32(float(m.group(1))) if m else 0.0


def low16(v):
    return v & 0xFFFF


def low8(v):
    return v & 0xFF


def s16(v):
    v &= 0xFFFF
    return v - 0x10000 if v >= 0x8000 else v


def channel_of(word):
    v = word_int(word)
    return v if 0 <= v <= 5 else None


# --- the reference model ------------------------------------------------------

LAYOUTS = {0: 0x0F, 1: 0x2F, 2: 0x03}
EQ_CF = [63, 125, 250, 500, 1000, 2000, 4000, 8000]
HF_CF = [100, 250, 500, 1000, 2000, 4000, 8000, 16000]
BQ_FIELDS = ["type", "cf", "gain", "q", "method", "slope", "phase"]


class Model:
    """The simulated service's state as the commands change it."""

    def __init__(self):
        self.output = 0x0F
        self.master = 30
        self.gain = [0] * 6
        self.delay = [0.0] * 6
        self.eq = [{"cf": list(EQ_CF), "gain": [0.0] * 8, "q": [1] * 8} for _ in range(6)]
        self.bt = [{"cf": [100, 10000], "gain": [0.0, 0.0]} for _ in range(6)]
        self.ftr = [[0] * 6 for _ in range(6)]  # value1 .. value6
        self.bq = [[{"type": 0, "cf": 1000, "gain": 0.0, "q": f32(0.707), "method": 0,
                     "slope": 0, "phase": 0} for _ in range(20)] for _ in range(6)]
        self.loud = [0, 0, 0]
        self.duplex = 0
        self.nr = 0
        self.nlp = [0, 0, 0]
        self.hf = [{"en": 0, "cf": list(HF_CF), "gain": [0.0] * 8, "q": [1.0] * 8}
                   for _ in range(2)]
        self.opgain = [0.0, 0.0]
        self.pgagain = [0.0, 0.0]
        self.uplink = 0.0
        self.blob = bytes(296)
        self.blob_ext = bytes(2560)

    # Each item takes its words (after the keyword) and returns the reply.

    def status(self, w):
        return OK

    def vol(self, w):
        if len(w) != 1:
            return FAIL
        v = word_int(w[0])
        self.master = v if 0 <= v <= 255 else 0
        return OK

    def cvol(self, w):
        if len(w) != 2 or channel_of(w[0]) is None:
            return FAIL
        self.gain[channel_of(w[0])] = low8(word_int(w[1]))
        return OK

    def delay_(self, w):
        if len(w) != 2 or channel_of(w[0]) is None:
            return FAIL
        self.delay[channel_of(w[0])] = word_float(w[1])
        return OK

    def _band_edit(self, w, bands, records, convert):
        if len(w) != 4 or channel_of(w[3]) is None:
            return FAIL
        band = word_int(w[1])
        if not 0 <= band < bands:
            return FAIL
        field = w[0].decode("latin-1")
        if field not in convert:
            return FAIL
        record = records[channel_of(w[3])]
        if isinstance(record, list):  # biquad: a list of bands
            record[band][field] = convert[field](w[2])
        else:
            record[field][band] = convert[field](w[2])
        return OK

    def eq_(self, w):
        return self._band_edit(w, 8, self.eq, {
            "gain": word_float, "cf": lambda x: low16(word_int(x)),
            "q": lambda x: low16(word_int(x))})

    def bq_(self, w):
        if w and w[0] == b"channel":
            if len(w) != 142 or channel_of(w[1]) is None:
                return FAIL
            values = iter(w[2:])
            bands = self.bq[channel_of(w[1])]
            for band in bands:
                for field in BQ_FIELDS:
                    band[field] = BQ_CONVERT[field](next(values))
            return OK
        return self._band_edit(w, 20, self.bq, BQ_CONVERT)

    def ftr_(self, w):
        if len(w) != 7 or channel_of(w[0]) is None:
            return FAIL
        self.ftr[channel_of(w[0])] = [low16(word_int(x)) for x in w[1:7]]
        return OK

    def loud_(self, w):
        if len(w) != 3:
            return FAIL
        self.loud = [low16(word_int(x)) for x in w]
        return OK

    def sig(self, w):
        return OK if len(w) == 1 and word_int(w[0]) in (0, 1) else FAIL

    def spk(self, w):
        if len(w) != 1 or word_int(w[0]) not in LAYOUTS:
            return FAIL
        self.output = LAYOUTS[word_int(w[0])]
        return OK

    def bteq(self, w):
        return self._band_edit(w, 2, self.bt, {
            "gain": word_float, "cf": lambda x: low16(word_int(x))})

    def hfaec(self, w):
        if len(w) < 3:
            return FAIL
        form, key = w[0], w[1]
        if form == b"adc":
            pair = {b"MicOpGain": self.opgain, b"MicPgaGain": self.pgagain}.get(key)
            ch = word_int(w[2])
            if len(w) != 4 or pair is None or not 0 <= ch <= 1:
                return FAIL
            pair[ch] = word_float(w[3])
            return OK
        simple = {b"nr": b"nrAttenIdx", b"aec": b"pfGainLimitIdx", b"uplink": b"gain"}
        if form in simple:
            if len(w) != 3 or key != simple[form]:
                return FAIL
            if form == b"nr":
                self.nr = word_int(w[2])
            elif form == b"aec":
                self.duplex = word_int(w[2])
            else:
                self.uplink = word_float(w[2])
            return OK
        if form == b"nlp":
            keys = [b"pfWeightIdx", b"cnEstiIdx", b"cnExecIdx"]
            if len(w) != 3 or key not in keys:
                return FAIL
            self.nlp[keys.index(key)] = word_int(w[2])
            return OK
        if form in (b"seq", b"req"):
            eq = self.hf[0 if form == b"seq" else 1]
            if key == b"en":
                if len(w) != 3:
                    return FAIL
                eq["en"] = 1 if word_int(w[2]) != 0 else 0
                return OK
            if len(w) != 4:
                return FAIL
            band = word_int(w[2])
            convert = {b"cf": word_int, b"gain": word_float, b"q": word_float}.get(key)
            if not 0 <= band <= 7 or convert is None:
                return FAIL
            eq[key.decode()][band] = convert(w[3])
            return OK
        return FAIL

    def mpbin(self, w):
        if len(w) < 2:
            return FAIL
        size = word_int(w[0])
        if not 1 <= size <= 2560:
            return FAIL
        text = w[1][:-1] if w[1].endswith(b"\r") else w[1]
        fields = text.split(b":")
        if any(len(f) > 2 for f in fields) or len(fields) > size:
            return FAIL
        if len(fields) not in (296, 2560):
            return FAIL
        blob, last = [], b""
        for f in fields:
            if f:
                last = f
            blob.append(low8(word_int(last, 16)))
        if len(blob) == 296:
            self.blob = bytes(blob)
        else:
            self.blob_ext = bytes(blob)
        return OK

    def getmp(self, w):
        blob = self.blob_ext if w and w[0].startswith(b"ext") else self.blob
        return struct.pack(">I", len(blob)) + blob + OK

    def sync(self, w):
        code = next((c for c, m in LAYOUTS.items() if m == self.output), 0)
        parts = ["dsp sync:A0101:vol:%d:%d" % (code, self.master)]
        parts += [":%d" % g for g in self.gain]
        parts.append(":delay" + "".join(":%f" % d for d in self.delay))
        parts.append(":eq")
        for eq in self.eq:
            parts += [":%d" % v for v in eq["cf"]] + [":%d" % v for v in eq["q"]]
            parts += [":%f" % v for v in eq["gain"]]
        parts.append(":eqbt")
        for bt in self.bt:
            parts += [":%d" % v for v in bt["cf"]] + [":%f" % v for v in bt["gain"]]
        parts.append(":ftr")
        for f in self.ftr:
            parts.append(":%d:%d:%d:%d:%d:%d" % (f[0], f[1], f[2], f[3], s16(f[4]), f[5]))
        parts.append(":loud:%d:%d:%d:bq" % tuple(self.loud))
        for bands in self.bq:
            for b in bands:
                parts.append(":%d:%d:%f:%f:%d:%d:%d" % (b["type"], b["cf"], b["gain"], b["q"],
                                                        b["method"], b["slope"], b["phase"]))
        parts.append(":[ok]")
        return "".join(parts).encode()[:REPLY_MAX]

    def hfsync(self, w):
        eqs = []
        for label, eq in (("seq", self.hf[0]), (":req", self.hf[1])):
            eqs.append("%s:%d" % (label, eq["en"]) + "".join(":%d" % v for v in eq["cf"]) +
                       "".join(":%f" % v for v in eq["gain"]) +
                       "".join(":%f" % v for v in eq["q"]))
        text = ("dsp hfsync:A0101:opgain:%f:%f:pgagain:%f:%f:%s:duplex:%d:nr:%d:nlp:%d:%d:%d:"
                "uplink:%f:[ok]" % (self.opgain[0], self.opgain[1], self.pgagain[0],
                                     self.pgagain[1], "".join(eqs), self.duplex, self.nr,
                                     self.nlp[0], self.nlp[1], self.nlp[2], self.uplink))
        return text.encode()[:REPLY_MAX]

    def reply(self, line):
        """The bytes the server sends for one complete line (terminator included)."""
        if len(line) > LINE_MAX:
            return b""  # dropped whole
        text = line.split(b"\0")[0]  # words end at the first NUL
        words = text.split()  # space, tab, LF, CR (and VT, FF: never generated here)
        if len(words) < 2 or words[0] != b"dsp":
            return b""
        item = ITEMS.get(words[1])
        if item is None:
            return b""
        # Inside an item only space, tab and LF separate words; a CR stays.
        rest = text.split(b"dsp", 1)[1].lstrip(b" \t\n\r")[len(words[1]):]
        args = [a for a in re.split(rb"[ \t\n]+", rest) if a]
        return getattr(self, item)(args)


BQ_CONVERT = {"type": word_int, "cf": lambda x: low16(word_int(x)), "gain": word_float,
              "q": word_float, "method": word_int, "slope": word_int, "phase": word_int}
ITEMS = {b"status": "status", b"sync": "sync", b"vol": "vol", b"cvol": "cvol",
         b"delay": "delay_", b"eq": "eq_", b"bq": "bq_", b"ftr": "ftr_", b"loud": "loud_",
         b"sig": "sig", b"spk": "spk", b"bteq": "bteq", b"hfaec": "hfaec",
         b"hfsync": "hfsync", b"mpbin": "mpbin", b"getmp": "getmp"}


# --- what the peer sends --------------------------------------------------------

class Lines:
    """Random lines of every kind; each is (kind, bytes with terminator)."""

    def __init__(self, rng):
        self.rng = rng

    def num(self, lo=-40, hi=300):
        text = str(self.rng.randint(lo, hi))
        if self.rng.random() < 0.05:
            text += self.rng.choice(["abc", ".5", "x1"])  # the number ends there
        return text

    def real(self):
        value = self.rng.randint(-99999, 99999) / 10 ** self.rng.randint(0, 3)
        text = self.rng.choice(["%g", "%.3f", "%.1e"]) % value
        return text

    def ch(self):
        return str(self.rng.randint(0, 5))

    def sep(self):
        return self.rng.choice([" ", " ", " ", "  ", "\t", " \t "])

    def end(self):
        return self.rng.choice(["\n", "\n", "\n", "\r", "\r\n"])

    def join(self, words):
        return "dsp" + "".join(self.sep() + w for w in words)

    def mp_fields(self, count):
        fields = []
        for _ in range(count):
            r = self.rng.random()
            if r < 0.8:
                fields.append(self.rng.choice(["%02x", "%02X", "%x"]) % self.rng.randint(0, 255))
            elif r < 0.9:
                fields.append("")
            else:
                fields.append(self.rng.choice(["-1", "-f", "G1", "0x", "7g"]))
        return ":".join(fields)

    def valid(self):
        r = self.rng
        form = r.choice(["status", "sync", "vol", "cvol", "delay", "eq", "bq", "bqch", "ftr",
                         "loud", "sig", "spk", "bteq", "hfaec", "hfsync", "mpbin", "getmp"])
        if form == "status":
            w = ["status"]
        elif form in ("sync", "hfsync"):
            w = [form] + (["extra"] if r.random() < 0.1 else [])
        elif form == "vol":
            w = ["vol", self.num(-5, 300)]
        elif form == "cvol":
            w = ["cvol", self.ch(), self.num(-300, 300)]
        elif form == "delay":
            w = ["delay", self.ch(), self.real()]
        elif form == "eq":
            f = r.choice(["gain", "cf", "q"])
            w = ["eq", f, str(r.randint(0, 7)),
                 self.real() if f == "gain" else self.num(0, 70000), self.ch()]
        elif form == "bq":
            f = r.choice(BQ_FIELDS)
            value = self.real() if f in ("gain", "q") else self.num(-9, 70000 if f == "cf" else 9)
            w = ["bq", f, str(r.randint(0, 19)), value, self.ch()]
        elif form == "bqch":
            w = ["bq", "channel", self.ch()]
            for _ in range(20):
                w += [self.num(0, 9), self.num(0, 65535), self.real(), self.real(),
                      self.num(0, 9), self.num(0, 9), self.num(0, 9)]
        elif form == "ftr":
            w = ["ftr", self.ch()] + [self.num(-70000, 70000) for _ in range(6)]
        elif form == "loud":
            w = ["loud"] + [self.num(-70000, 70000) for _ in range(3)]
        elif form == "sig":
            w = ["sig", r.choice(["0", "1"])]
        elif form == "spk":
            w = ["spk", r.choice(["0", "1", "2"])]
        elif form == "bteq":
            f = r.choice(["gain", "cf"])
            w = ["bteq", f, str(r.randint(0, 1)),
                 self.real() if f == "gain" else self.num(0, 70000), self.ch()]
        elif form == "hfaec":
            kind = r.choice(["adc", "eq", "en", "nr", "aec", "nlp", "uplink"])
            if kind == "adc":
                w = ["hfaec", "adc", r.choice(["MicOpGain", "MicPgaGain"]), str(r.randint(0, 1)),
                     self.real()]
            elif kind == "eq":
                f = r.choice(["cf", "gain", "q"])
                w = ["hfaec", r.choice(["seq", "req"]), f, str(r.randint(0, 7)),
                     self.num(0, 20000) if f == "cf" else self.real()]
            elif kind == "en":
                w = ["hfaec", r.choice(["seq", "req"]), "en", self.num(-2, 3)]
            elif kind == "nr":
                w = ["hfaec", "nr", "nrAttenIdx", self.num(-9, 9)]
            elif kind == "aec":
                w = ["hfaec", "aec", "pfGainLimitIdx", self.num(-9, 9)]
            elif kind == "nlp":
                w = ["hfaec", "nlp", r.choice(["pfWeightIdx", "cnEstiIdx", "cnExecIdx"]),
                     self.num(-9, 9)]
            else:
                w = ["hfaec", "uplink", "gain", self.real()]
        elif form == "mpbin":
            count = 2560 if r.random() < 0.1 else 296
            size = r.choice([count, 2560]) if count == 296 else 2560
            w = ["mpbin", str(size), self.mp_fields(count)]
        else:
            w = ["getmp"] + ([r.choice(["ext", "extended"])] if r.random() < 0.5 else [])
        return self.join(w) + self.end()

    def refused(self):
        r = self.rng
        return r.choice([
            "dsp vol", "dsp vol 1 2", "dsp cvol 6 1", "dsp cvol -1 1", "dsp cvol 1",
            "dsp delay 9 1", "dsp eq gain 8 1 0", "dsp eq freq 1 1 0", "dsp eq gain 1 1 6",
            "dsp bq freq 0 1 0", "dsp bq gain 20 1 0", "dsp bq channel 1 1 2",
            "dsp bq channel 6" + " 1" * 140, "dsp ftr 0 1 2", "dsp ftr 7 1 2 3 4 5 6",
            "dsp loud 1 2", "dsp sig 2", "dsp sig", "dsp spk 3", "dsp bteq q 0 1 0",
            "dsp bteq gain 2 1 0", "dsp hfaec adc MicOpGain 2 1", "dsp hfaec seq cf 8 1",
            "dsp hfaec nr foo 1", "dsp hfaec foo a b", "dsp hfaec nr", "dsp hfaec seq foo 1 1",
            "dsp hfaec adc Foo 0 1", "dsp mpbin 3 1:2:3:4", "dsp mpbin 296 123",
            "dsp mpbin 0 1", "dsp mpbin 10 1:2", "dsp mpbin 296",
        ]) + self.end()

    def unanswered(self):
        return self.rng.choice(["dsp foo 1", "dsp", "foo bar", "", "DSP status", "dspstatus",
                                "dsp Status", "\t"]) + self.end()

    def noise(self):
        # Never a line that names the group: the first byte is no blank and no
        # "d"; no line end inside, so it stays one line.
        first = bytes([self.rng.choice([b for b in range(256)
                                        if b not in b" \t\n\r\v\fd\0"])])
        body = bytes(self.rng.choice([b for b in range(256) if b not in b"\n\r"])
                     for _ in range(self.rng.randint(0, 200)))
        return first + body + b"\n"

    def overlong(self):
        return ("dsp vol " + "7" * self.rng.randint(LINE_MAX, LINE_MAX + 3000)).encode() + b"\n"

    def next(self):
        r = self.rng.random()
        if r < 0.70:
            return "valid", self.valid().encode()
        if r < 0.85:
            return "refused", self.refused().encode()
        if r < 0.92:
            return "unanswered", self.unanswered().encode()
        if r < 0.995:
            return "noise", self.noise()
        return "overlong", self.overlong()


# --- the run ------------------------------------------------------------------------

def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def fd_count(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


class Session:
    def __init__(self, dspd, rng):
        self.rng = rng
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        path = os.ttyname(self.slave)
        env = dict(os.environ, DSPD_SERIAL_PREFIX=os.path.dirname(path) + "/")
        env.pop("DSPD_SIM_FAIL", None)
        self.log = open(os.devnull, "wb")
        self.server = subprocess.Popen([dspd, os.path.basename(path)], env=env,
                                       stdin=subprocess.DEVNULL, stdout=self.log,
                                       stderr=subprocess.PIPE)
        deadline = time.monotonic() + 20
        err = b""
        while b"port ready" not in err:
            if time.monotonic() > deadline or not select.select([self.server.stderr], [], [],
                                                                  1)[0]:
                if time.monotonic() > deadline:
                    raise RuntimeError("dspd not ready: " + err.decode(errors="replace"))
                continue
            chunk = os.read(self.server.stderr.fileno(), 65536)
            if not chunk:
                raise RuntimeError("dspd ended: " + err.decode(errors="replace"))
            err += chunk
        # From here on the log goes nowhere, so the server never blocks on it.
        self.drain = subprocess.Popen(["cat"], stdin=self.server.stderr, stdout=self.log)
        self.server.stderr.close()
        os.set_blocking(self.master, False)

    def drained(self):
        buf = fcntl.ioctl(self.slave, termios.FIONREAD, b"\0\0\0\0")
        return struct.unpack("i", buf)[0] == 0

    def exchange(self, data, expected, context):
        """Sends `data` in random pieces and reads until `expected` came."""
        got = bytearray()
        sent = 0
        waiting = False  # for the server to read all sent so far: a cut in its reads
        deadline = time.monotonic() + 30
        while sent < len(data) or len(got) < len(expected):
            if time.monotonic() > deadline:
                raise Mismatch(context, expected, bytes(got), "timed out")
            if waiting:
                waiting = not self.drained()
            want_write = sent < len(data) and not waiting
            # Replies are read all the time: a server blocked on a full output
            # buffer would never read on.
            readable, writable, _ = select.select([self.master],
                                                  [self.master] if want_write else [], [],
                                                  0.001 if waiting else 1)
            if writable:
                piece = self.rng.randint(1, 700)
                sent += os.write(self.master, data[sent:sent + piece])
                waiting = self.rng.random() < 0.05
            if readable:
                try:
                    got += os.read(self.master, 65536)
                except BlockingIOError:
                    pass
                if len(got) > len(expected) or not expected.startswith(bytes(got)):
                    raise Mismatch(context, expected, bytes(got), "differs")
            if self.server.poll() is not None:
                raise Mismatch(context, expected, bytes(got),
                               f"server exited with {self.server.returncode}")

    def stop(self):
        self.server.send_signal(signal.SIGTERM)
        try:
            status = self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            status = self.server.wait()
        self.drain.wait(timeout=10)
        os.close(self.master)
        os.close(self.slave)
        self.log.close()
        return status


class Mismatch(Exception):
    def __init__(self, context, expected, got, what):
        at = next((i for i in range(min(len(expected), len(got))) if expected[i] != got[i]),
                  min(len(expected), len(got)))
        super().__init__(f"{what} after {context}\n  at byte {at}\n"
                         f"  expected {expected[max(0, at - 60):at + 60]!r}\n"
                         f"  got      {got[max(0, at - 60):at + 60]!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--dspd", default="build/app/dspd")
    parser.add_argument("--lines", type=int, default=100000)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(2**32)
    rng = random.Random(seed)
    print(f"soak: {args.lines} lines, seed {seed}", flush=True)

    model = Model()
    source = Lines(rng)
    session = Session(args.dspd, rng)
    samples = []  # (line index, rss KiB, descriptors)
    counts = {}
    sample_every = max(1, args.lines // 200)
    start = time.monotonic()
    failure = None
    try:
        done = 0
        while done < args.lines:
            batch = bytearray()
            expected = bytearray()
            first = done
            for _ in range(min(rng.randint(1, 12), args.lines - done)):
                kind, line = source.next()
                counts[kind] = counts.get(kind, 0) + 1
                batch += line
                expected += model.reply(line)
                done += 1
            context = f"lines {first + 1}-{done} (last: {bytes(line[:120])!r})"
            session.exchange(bytes(batch), bytes(expected), context)
            if done // sample_every != first // sample_every or done == args.lines:
                samples.append((done, rss_kb(session.server.pid),
                                fd_count(session.server.pid)))
        # The whole state, through both reports.
        for line in (b"dsp sync\n", b"dsp hfsync\n"):
            session.exchange(line, model.reply(line), "final " + line.decode().strip())
    except Mismatch as e:
        failure = e
    except BaseException:
        session.stop()
        raise
    elapsed = time.monotonic() - start
    status = session.stop()
    if failure is not None:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1

    tenth = max(1, args.lines // 10)
    first = [s for s in samples if s[0] <= tenth] or samples[:1]
    last = [s for s in samples if s[0] > args.lines - tenth] or samples[-1:]
    rss_first, rss_last = max(s[1] for s in first), max(s[1] for s in last)
    fds_first, fds_last = max(s[2] for s in first), max(s[2] for s in last)
    print(f"lines {args.lines} in {elapsed:.1f} s ({args.lines / elapsed:.0f} lines/s); "
          + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))
    print(f"resident memory first/last tenth: {rss_first}/{rss_last} KiB; "
          f"descriptors: {fds_first}/{fds_last}; exit status {status}")
    ok = status == 0 and rss_last <= rss_first + RSS_SLACK_KB and fds_last <= fds_first
    if not ok:
        print("FAIL: memory or descriptors grew, or the server did not stop cleanly",
              file=sys.stderr)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
