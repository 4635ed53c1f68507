#!/usr/bin/env python3
"""Clients on one console at once, against `dspctl sim --serve`:
web_load_test.py DSPCTL."""
import collections
import http.client
import json
import os
import select
import signal
import socket
import sys
import tempfile
import threading

from web_console_test import request, start

CLIENTS = 3
ROUNDS = 6
WAITERS = 13  # two browsers' 6 connections each, and one more


def call(conn, method, path, headers, body=None):
    conn.request(method, path, body=body, headers=headers)
    response = conn.getresponse()
    data = response.read()
    return response.status, json.loads(data) if response.status == 200 else data


def client(i, hostport, headers, barrier, sent, failures):
    """Client i sets channel i's gain and a band of the hands-free
    equalizer each round, then sees every client's gain of that round."""
    try:
        rounds(i, http.client.HTTPConnection(hostport, timeout=60), headers, barrier, sent,
               failures)
    except Exception as error:  # a broken barrier, an answer without the field
        barrier.abort()
        failures.append("client %d: %r" % (i, error))


def rounds(i, conn, headers, barrier, sent, failures):
    for k in range(ROUNDS):
        barrier.wait()  # the round's commands meet at the port
        for words in (["cvol", str(i), str(100 + 10 * i + k)],
                      ["hfaec", "seq", "gain", str(i), str(k - i)]):
            sent.append("dsp " + " ".join(words))
            status, answer = call(conn, "POST", "/api/command", headers,
                                  json.dumps({"words": words}))
            if status != 200 or answer["reply"] != "[ok]":
                failures.append("client %d %s: %s %s" % (i, words, status, answer))
        barrier.wait()  # every command of the round answered
        status, state = call(conn, "GET", "/api/state", headers)
        gains = state["sync"]["vol"]["gain"][:CLIENTS] if status == 200 else status
        if gains != [100 + 10 * j + k for j in range(CLIENTS)]:
            failures.append("client %d round %d sees gains %s" % (i, k, gains))


def check_log(path, sent, failures):
    """Every line reached the server whole, and each command's read-back
    came next, before any other client's line."""
    mark = "threadLoop 290] INF: "
    with open(path, errors="replace") as log:
        lines = [l.split(mark, 1)[1].rstrip("\n") for l in log if mark in l]
    reads = {"dsp cvol": "dsp sync", "dsp hfaec": "dsp hfsync"}
    expected = collections.Counter(sent)
    expected.update(reads[" ".join(l.split()[:2])] for l in sent)
    expected.update(["dsp sync", "dsp hfsync"] * CLIENTS * ROUNDS)
    if collections.Counter(lines) != expected:
        failures.append("server log: %s" % (collections.Counter(lines) - expected))
    for line, after in zip(lines, lines[1:] + [""]):
        want = reads.get(" ".join(line.split()[:2]))
        if want is not None and after != want:
            failures.append("%r followed by %r" % (line, after))


def held_port(proc, hostport, headers, failures):
    """With dspd stopped, requests wait for the port while the page and its
    script are answered; once it runs, every wait ends in a state."""
    tasks = "/proc/%d/task" % proc.pid
    dspd = int(next(open("%s/%s/children" % (tasks, t)).read().split()[0]
                    for t in os.listdir(tasks) if open("%s/%s/children" % (tasks, t)).read()))
    raw = "GET /api/state HTTP/1.1\r\n" + "".join("%s: %s\r\n" % h for h in headers.items())
    waiters = []
    os.kill(dspd, signal.SIGSTOP)
    try:
        for _ in range(WAITERS):
            waiters.append(socket.create_connection(hostport.split(":")))
            waiters[-1].sendall((raw + "\r\n").encode())
        for path in ("/", "/console.js"):
            try:
                status = request(hostport, "GET", path, headers)[0].status
            except OSError as error:
                status = error
            answered = select.select(waiters, [], [], 0)[0]
            if status != 200 or answered:
                failures.append("GET %s while the port is held: %s, %d requests of the "
                                "port answered" % (path, status, len(answered)))
    finally:
        os.kill(dspd, signal.SIGCONT)
    for waiter in waiters:
        response = http.client.HTTPResponse(waiter)
        response.begin()
        data = response.read()
        if response.status != 200 or not json.loads(data)["reachable"]:
            failures.append("a waiting refresh: %d %s" % (response.status, data[:100]))
        waiter.close()


def main():
    log = tempfile.NamedTemporaryFile(prefix="web-load-", suffix=".log", delete=False).name
    proc, hostport, token = start(sys.argv[1], "--server-log", log, "-t", "60")
    headers = {"Host": hostport, "Cookie": "dspctl_token=" + token,
               "Origin": "http://" + hostport, "Content-Type": "application/json"}
    failures, sent = [], []
    try:
        barrier = threading.Barrier(CLIENTS, timeout=60)
        threads = [threading.Thread(target=client, args=(i, hostport, headers, barrier, sent,
                                                         failures)) for i in range(CLIENTS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        check_log(log, sent, failures)
        held_port(proc, hostport, headers, failures)
    finally:
        proc.terminate()
        proc.wait(timeout=20)
        os.unlink(log)
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
