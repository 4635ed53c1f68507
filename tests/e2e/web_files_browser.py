#!/usr/bin/env python3
"""Store, restore, diff and MP.bin through the page, and the console's
refusals in a real browser: web_files_browser.py DSPCTL BUILD_DIR."""
import functools
import http.server
import json
import os
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_browser import Browser, request  # noqa: E402

# Another origin's page: its script posts "vol 7" to the console, cookie and all.
ATTACK = """<script>const attack = (url, mode, type) => fetch(url, {method: "POST",
  credentials: "include", mode: mode, headers: {"Content-Type": type},
  body: JSON.stringify({words: ["vol", "7"]})});</script>"""


def run(b, script, *args):
    """Runs `script` in the page; it calls done(value) when it ends."""
    return b.driver.execute_async_script("const done = arguments[arguments.length - 1];" +
                                         script, *args)


def api(b, path):
    return request(b.hostport, "GET", path,
                   {"Host": b.hostport, "Cookie": "dspctl_token=" + b.token})[1]


def choose(b, element_id, path, data, want):
    """Gives a file input the file `path` holding `data`; waits for `want` in its message."""
    with open(path, "wb") as f:
        f.write(data)
    b.find(element_id).send_keys(path)
    b.wait.until(lambda d: want in b.message(element_id))


def main():
    with Browser(sys.argv[1], arguments=["--host-resolver-rules=MAP *.test 127.0.0.1"]) as b:
        port, site = b.hostport.split(":")[1], os.path.join(b.profile, "site")
        # With fresh cookies: (URL, its refusal); no cookie is set, the API answers 403.
        for url, want in [("http://%s/" % b.hostport, "no valid access token"),
                          ("http://rebind.test:%s/?token=%s" % (port, b.token), "Host is not")]:
            b.driver.get(url)
            status = run(b, "fetch('/api/state').then(r => done(r.status))")
            b.check(url, want in b.driver.page_source and status == 403 and
                    not b.driver.get_cookies(), status)
        b.open()
        b.find("store").click()  # the download equals the API's but for the time of reading
        saved = os.path.join(b.downloads, "dspctl-state.json")
        b.wait.until(lambda d: os.path.exists(saved) and os.path.getsize(saved) > 0)
        with open(saved, "rb") as f:
            state, want = json.loads(f.read()), json.loads(api(b, "/api/store"))
        b.check("store", {**state, "read": 0} == {**want, "read": 0})
        master = state["sync"]["vol"]["master"]
        state["sync"]["vol"]["master"] = master + 17
        good = json.dumps(state).encode()
        state["sync"]["eq"][1]["cf"][3] = 70000
        # State files: (name, bytes, message); Apply is offered for good.json alone.
        os.mkdir(site)
        for name, data, want in [("far.json", json.dumps(state).encode(), "far.json: eq ch1"),
                                 ("good.json", good, "Apply restores")]:
            choose(b, "stateFile", os.path.join(site, name), data, want)
            diff = b.find("stateResult").text.split("\n")[1:]
            b.check(name, b.find("stateApply").is_enabled() == (name == "good.json") and
                    diff[0] == "vol master: %d -> %d" % (master + 17, master), diff)
        b.find("stateApply").click()
        b.wait.until(lambda d: "status" in b.message("stateFile"))
        b.check("restore", "status 0" in b.message("stateFile") and len(diff) == 1 and
                b.find("stateResult").text.endswith("state is that of good.json") and
                b.find("masterValue").text == str(master + 17))
        # MP.bin files: (size, the blob it becomes; None: refused in the page, nothing sent)
        run(b, "window.sent = []; const f = fetch;"
            "window.fetch = (...a) => { sent.push(a[0]); return f(...a); }; done()")
        for size, ext in [(100, None), (2560, "1")]:
            data = bytes(i % 251 for i in range(size))
            choose(b, "mpbinFile", os.path.join(site, "mp%d.bin" % size), data,
                   ("[ok] mp%d" if ext else "mp%d.bin is") % size)
            b.check("MP.bin %d" % size, api(b, "/api/mpbin?ext=" + ext) == data if ext else
                    run(b, "done(sent)") == [])
        # Another origin's page, on a name of the same site and of another.
        with open(os.path.join(site, "attack.html"), "w") as f:
            f.write(ATTACK)
        handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=site)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        for host, mode, kind in [("127.0.0.1", "no-cors", "text/plain"),
                                 ("evil.test", "cors", "application/json")]:
            b.driver.get("http://%s:%d/attack.html" % (host, server.server_address[1]))
            run(b, "attack(arguments[0], arguments[1], arguments[2]).finally(done)",
                "http://%s/api/command" % b.hostport, mode, kind)
            b.check(host + " " + mode, b.state()["sync"]["vol"]["master"] == master + 17)
        server.shutdown()
        return b.report()


if __name__ == "__main__":
    sys.exit(main())
