#!/usr/bin/env python3
# Clients on one console at once, against `dspctl sim --serve`:
# web_load_test.py DSPCTL. A client that fails raises, and the test with it.
import collections
import concurrent.futures
import http.client
import json
import os
import select
import signal
import sys
import threading

from web_console_test import request, start

CLIENTS, ROUNDS = 3, 6
READ = {"cvol": "dsp sync", "hfaec": "dsp hfsync"}  # the part a command reads back


# The answer's JSON; an error's is {"error": ...}.
def call(conn, method, path, headers, body=None):
    conn.request(method, path, body=body, headers=headers)
    return json.loads(conn.getresponse().read())


# Client i sets channel i's gain and a band of the hands-free equalizer each
# round, then must see every client's gain of that round.
def client(i, hostport, headers, barrier, sent, failures):
    conn = http.client.HTTPConnection(hostport, timeout=60)
    for k in range(ROUNDS):
        barrier.wait()  # the round's commands meet at the port
        for words in (["cvol", str(i), str(100 + 10 * i + k)],
                      ["hfaec", "seq", "gain", str(i), str(k - i)]):
            sent.append("dsp " + " ".join(words))
            answer = call(conn, "POST", "/api/command", headers, json.dumps({"words": words}))
            if answer.get("reply") != "[ok]":
                failures.append("client %d %s: %s" % (i, words, answer))
        barrier.wait()  # every command of the round answered
        gains = call(conn, "GET", "/api/state", headers)["sync"]["vol"]["gain"]
        if gains[:CLIENTS] != [100 + 10 * j + k for j in range(CLIENTS)]:
            failures.append("client %d round %d sees gains %s" % (i, k, gains))


# Every line reached the server whole and once, and each command's read-back
# came next, before any other client's line.
def check_log(path, sent, failures):
    mark = "threadLoop 290] INF: "
    with open(path, errors="replace") as log:
        lines = [line.split(mark, 1)[1].rstrip("\n") for line in log if mark in line]
    expected = collections.Counter(sent + [READ[line.split()[1]] for line in sent] +
                                   ["dsp sync", "dsp hfsync"] * CLIENTS * ROUNDS)
    if collections.Counter(lines) != expected:
        failures.append("server log: %s" % (collections.Counter(lines) - expected))
    for line, after in zip(lines, lines[1:] + [""]):
        if line.split()[1] in READ and after != READ[line.split()[1]]:
            failures.append("%r followed by %r" % (line, after))


# With dspd stopped, refreshes wait for the port while the page and its
# script are answered; once it runs again, every waiting refresh gets a state.
def held_port(proc, hostport, headers, failures):
    tasks = "/proc/%d/task/" % proc.pid
    dspd = int("".join(open(tasks + t + "/children").read() for t in os.listdir(tasks)).split()[0])
    os.kill(dspd, signal.SIGSTOP)
    try:
        # The signal is delivered on its own time: wait until dspd has stopped.
        while open("/proc/%d/stat" % dspd).read().rsplit(")", 1)[1].split()[0] != "T":
            select.select([], [], [], 0.01)
        # Two browsers' 6 connections each, and one more.
        waiters = [http.client.HTTPConnection(hostport, timeout=60) for _ in range(13)]
        for waiter in waiters:
            waiter.request("GET", "/api/state", headers=headers)
        for path in ("/", "/console.js"):
            status = request(hostport, "GET", path, headers)[0].status
            answered = select.select([w.sock for w in waiters], [], [], 0)[0]
            if status != 200 or answered:
                failures.append("GET %s while the port is held: %s; answered: %r" %
                                (path, status, [a.recv(200) for a in answered]))
    finally:
        os.kill(dspd, signal.SIGCONT)
    for waiter in waiters:
        if not json.loads(waiter.getresponse().read()).get("reachable"):
            failures.append("a waiting refresh ended without a state")


def main():
    log = os.path.join(os.environ.get("TMPDIR", "/tmp"), "web-load-%d.log" % os.getpid())
    proc, hostport, token = start(sys.argv[1], "--server-log", log, "-t", "60")
    headers = {"Host": hostport, "Cookie": "dspctl_token=" + token,
               "Origin": "http://" + hostport, "Content-Type": "application/json"}
    failures, sent, barrier = [], [], threading.Barrier(CLIENTS, timeout=60)
    try:
        with concurrent.futures.ThreadPoolExecutor(CLIENTS) as pool:
            list(pool.map(lambda i: client(i, hostport, headers, barrier, sent, failures),
                          range(CLIENTS)))
        check_log(log, sent, failures)
        held_port(proc, hostport, headers, failures)
    finally:
        proc.terminate()
        proc.wait(timeout=20)
        os.unlink(log)
    sys.exit("\n".join("FAIL " + failure for failure in failures) or 0)


if __name__ == "__main__":
    main()
