#!/usr/bin/env python3
"""Store, restore, diff and MP.bin through the page, and the console's
refusals in a real browser: web_files_browser.py DSPCTL BUILD_DIR."""
import http.server
import json
import os
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_browser import Browser, request  # noqa: E402

# A page of another origin: each attack posts "vol 7" to the console.
ATTACKS = b"""<script>
const body = JSON.stringify({words: ["vol", "7"]});
const attacks = {
  json: (url) => fetch(url, {method: "POST", credentials: "include", body: body,
                             headers: {"Content-Type": "application/json"}}),
  plain: (url) => fetch(url, {method: "POST", credentials: "include", mode: "no-cors", body: body}),
};</script>"""


class AttackPage(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.end_headers()
        self.wfile.write(ATTACKS)


def run(b, script, *args):
    """Runs `script` in the page; it ends by calling done(value)."""
    return b.driver.execute_async_script(
        "const done = arguments[arguments.length - 1];" + script, *args)


def api(b, path):
    return request(b.hostport, "GET", path,
                   {"Host": b.hostport, "Cookie": "dspctl_token=" + b.token})[1]


def without_read(text):
    document = json.loads(text)
    document.pop("read")
    return document


def choose(b, element_id, name, data, want):
    """Gives the file input `data` as file `name`; waits for `want` in its message."""
    path = os.path.join(b.profile, name)
    with open(path, "wb") as f:
        f.write(data)
    b.find(element_id).send_keys(path)
    b.wait.until(lambda d: want in b.message(element_id))
    return b.message(element_id)


def main():
    with Browser(sys.argv[1], arguments=["--host-resolver-rules=MAP *.test 127.0.0.1"]) as b:
        port = b.hostport.split(":")[1]
        # (what, URL opened with fresh cookies, the refusal shown)
        for what, url, want in [
                ("no token", "http://%s/" % b.hostport, "no valid access token"),
                ("rebound name", "http://rebind.test:%s/?token=%s" % (port, b.token), "Host is")]:
            b.driver.get(url)
            status = run(b, "fetch('/api/state').then(r => done(r.status))")
            b.check(what, want in b.driver.page_source and status == 403 and
                    not b.driver.get_cookies(), "%d %r" % (status, b.driver.get_cookies()))
        b.open()
        master = b.state()["sync"]["vol"]["master"]
        # Downloads through the page: (button, file name, the API's answer)
        for button, name, path in [("store", "dspctl-state.json", "/api/store"),
                                   ("mpbin1", "MP-ext.bin", "/api/mpbin?ext=1")]:
            b.find(button).click()
            saved = os.path.join(b.downloads, name)
            b.wait.until(lambda d: os.path.exists(saved) and os.path.getsize(saved) > 0)
            with open(saved, "rb") as f:
                got, want = f.read(), api(b, path)
            b.check(name, got == want or name.endswith(".json") and
                    without_read(got) == without_read(want))
        stored = json.loads(api(b, "/api/store"))
        stored["sync"]["vol"]["master"] = master + 17
        good = json.dumps(stored).encode()
        stored["sync"]["eq"][1]["cf"][3] = 70000
        # State files: (name, bytes, the message wanted); only the first applies.
        for name, data, want in [("good.json", good, "Apply restores"),
                                 ("junk.json", b"junk", "junk.json is no state file"),
                                 ("far.json", json.dumps(stored).encode(), "would refuse it")]:
            message = choose(b, "stateFile", name, data, want)
            result = b.find("stateResult").text
            offered = b.find("stateApply").is_enabled()
            b.check(name, offered == (name == "good.json") and "/tmp" not in message and
                    (want or result.endswith("vol master: %d -> %d" % (master + 17, master))),
                    "%r %r" % (message, result))
            if offered:
                b.find("stateApply").click()
                b.wait.until(lambda d: "status 0" in b.message("stateFile"))
                b.check("restored", b.find("masterValue").text == str(master + 17))
        # MP.bin files: (size, the blob it becomes: ext, or None for refused in the page)
        run(b, "window.sent = []; const f = fetch;"
            "window.fetch = (...a) => { sent.push(a[0]); return f(...a); }; done()")
        for size, ext in [(100, None), (2559, None), (296, "0"), (2560, "1")]:
            data = bytes((size + i) % 256 for i in range(size))
            message = choose(b, "mpbinFile", "mp%d.bin" % size, data,
                             ("[ok] mp%d.bin" if ext else "mp%d.bin is") % size)
            b.check("MP.bin of %d" % size, api(b, "/api/mpbin?ext=" + ext) == data if ext else
                    run(b, "done(sent)") == [], message)
        # Another origin's page, on a name of the same site and of another.
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), AttackPage)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        for host in ("127.0.0.1", "evil.test"):
            b.driver.get("http://%s:%d/" % (host, server.server_address[1]))
            for attack in ("json", "plain"):
                run(b, "attacks[arguments[0]](arguments[1]).finally(() => done())", attack,
                    "http://%s/api/command" % b.hostport)
                b.check("%s from %s" % (attack, host),
                        b.state()["sync"]["vol"]["master"] == master + 17)
        server.shutdown()
        return b.report()


if __name__ == "__main__":
    sys.exit(main())
