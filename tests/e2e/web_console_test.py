#!/usr/bin/env python3
"""The web console's refusals and a command round trip, against
`dspctl sim --serve` on a free port: web_console_test.py DSPCTL."""
import http.client
import json
import select
import subprocess
import sys
import time


def start(dspctl, *args, listen="127.0.0.1:0"):
    proc = subprocess.Popen([dspctl, "sim", "--serve", "--listen", listen, *args],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        ready, _, _ = select.select([proc.stdout], [], [], deadline - time.monotonic())
        line = proc.stdout.readline() if ready else ""
        if line.startswith("Open http://"):
            url = line.split()[1]
            return proc, url[len("http://"):url.index("/", 7)], url.split("token=")[1]
        if not line and proc.poll() is not None:
            break
    proc.kill()
    sys.exit("no URL from dspctl: " + proc.stderr.read())


def request(hostport, method, path, headers, body=b""):
    conn = http.client.HTTPConnection(hostport, timeout=30)
    conn.request(method, path, body=body, headers=headers)
    response = conn.getresponse()
    data = response.read()
    conn.close()
    return response, data


def own_addresses(dspctl, failures):
    """Listening on 0.0.0.0, the machine's own IPv4 addresses pass as Host, a name does not."""
    proc, hostport, token = start(dspctl, listen="0.0.0.0:0")
    port = hostport.split(":")[1]
    own = subprocess.run(["hostname", "-I"], capture_output=True, text=True).stdout.split()
    for host, want in [(a, 200) for a in own if "." in a] + [("evil.example", 403)]:
        response, _ = request("127.0.0.1:" + port, "GET", "/api/state",
                              {"Host": host + ":" + port, "Cookie": "dspctl_token=" + token})
        if response.status != want:
            failures.append("Host %s on 0.0.0.0: %d" % (host, response.status))
    proc.terminate()
    proc.wait(timeout=20)


def main():
    proc, hostport, token = start(sys.argv[1])
    port = hostport.split(":")[1]
    good = {"Host": hostport, "Cookie": "dspctl_token=" + token,
            "Origin": "http://" + hostport, "Content-Type": "application/json"}
    vol = json.dumps({"words": ["vol", "40"]}).encode()
    failures = []
    own_addresses(sys.argv[1], failures)
    try:
        # The token's link sets the cookie the API asks for.
        response, _ = request(hostport, "GET", "/?token=" + token, {"Host": hostport})
        cookie = response.getheader("Set-Cookie") or ""
        if response.status != 302 or cookie != ("dspctl_token=" + token +
                                                "; SameSite=Strict; HttpOnly; Path=/"):
            failures.append("token link: %d %r" % (response.status, cookie))
        # (what, method, path, headers changed from `good`, body, status wanted,
        # and text wanted in the answer)
        rows = [
            ("no token", "GET", "/api/state", {"Cookie": None}, b"", 403),
            ("wrong token", "GET", "/api/state", {"Cookie": "dspctl_token=" + "0" * 32}, b"",
             403),
            ("wrong token link", "GET", "/?token=" + "0" * 32, {}, b"", 403),
            ("page without token", "GET", "/", {"Cookie": None}, b"", 403),
            ("rebound Host", "GET", "/api/state", {"Host": "evil.example:" + port}, b"", 403),
            ("Host of another port", "GET", "/api/state", {"Host": "localhost:1"}, b"", 403),
            ("POST without Origin", "POST", "/api/command", {"Origin": None}, vol, 403),
            ("foreign Origin", "POST", "/api/command", {"Origin": "http://evil.example"}, vol,
             403),
            ("form content type", "POST", "/api/command",
             {"Content-Type": "application/x-www-form-urlencoded"}, vol, 403),
            ("over-size body", "POST", "/api/restore", {}, b"x" * (256 * 1024 + 1), 413),
            ("empty word", "POST", "/api/command", {},
             json.dumps({"words": ["bq", "gain", "3", "", "1"]}).encode(), 400),
            ("word with a space", "POST", "/api/command", {},
             json.dumps({"words": ["cvol", "1 2", "10"]}).encode(), 400),
            ("out-of-range channel", "POST", "/api/command", {},
             json.dumps({"words": ["cvol", "6", "10"]}).encode(), 400),
            ("blob of a wrong size", "POST", "/api/mpbin", {}, b'{"hex": "00ff"}', 400),
            ("bad state file", "POST", "/api/restore", {}, b'{"format": 99}', 400),
            ("name with a path", "POST", "/api/diff?name=../mine.json", {}, b"{}", 400,
             b"without a path"),
            ("localhost, allowed", "GET", "/api/state", {"Host": "localhost:" + port}, b"", 200),
            ("vol 40", "POST", "/api/command", {}, vol, 200),
        ]
        for what, method, path, changes, body, want, *text in rows:
            headers = {k: v for k, v in {**good, **changes}.items() if v is not None}
            response, data = request(hostport, method, path, headers, body)
            cors = [h for h, _ in response.getheaders() if h.lower().startswith("access-control")]
            if response.status != want or cors or text and text[0] not in data:
                failures.append("%s: %d %s %s" % (what, response.status, cors, data[:200]))
        response, data = request(hostport, "GET", "/api/state", good)
        state = json.loads(data) if response.status == 200 else {}
        master = state.get("sync", {}).get("vol", {}).get("master")
        if not state.get("reachable") or master != 40:
            failures.append("state after vol 40: master %r" % master)
    finally:
        proc.terminate()
        try:
            status = proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            proc.kill()
            status = "killed"
    if status != 0:
        failures.append("dspctl ended with %s after SIGTERM: %s" % (status, proc.stderr.read()))
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
