#!/usr/bin/env python3
"""The frequency plot in headless Chromium against `dspctl sim --serve`:
dragged handles reach the device and are drawn where it reports, a failed
drag returns, bass is typed, the model switch and curve; a screenshot of a
realistic state. web_plot_browser.py DSPCTL BUILD_DIR."""
import json
import os
import sys

from selenium.webdriver.common.action_chains import ActionChains
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_browser import Browser  # noqa: E402
from web_console_test import request  # noqa: E402


def command(b, words):
    headers = {"Host": b.hostport, "Cookie": "dspctl_token=" + b.token,
               "Origin": "http://" + b.hostport, "Content-Type": "application/json"}
    _, data = request(b.hostport, "POST", "/api/command", headers,
                      json.dumps({"words": words}).encode())
    b.check(" ".join(words), json.loads(data).get("reply") == "[ok]", data)


def centre(b, handle):
    r = b.find(handle).find_element(By.TAG_NAME, "circle").rect
    return r["x"] + r["width"] / 2, r["y"] + r["height"] / 2


def settle(b, predicate):
    """Waits for `predicate`; each reply redraws the page, so an element
    found before a redraw is found again."""
    WebDriverWait(b.driver, 20, ignored_exceptions=(StaleElementReferenceException,)).until(
        lambda d: predicate())


def drag(b, what, item, band, ch, dx, dy):
    """Drags a handle by (dx, dy) pixels and waits for the changed fields;
    returns the handle's centre before and after, and the fields."""
    handle = "plot-%d-%s" % (ch, ("band-%d" % band) if item == "eq" else ["bass", "treble"][band])
    fields = {name: "%s-%s-%d-%d" % (item, name, band, ch) for name in ("cf", "gain")}
    waited = [fields[name] for name, moved in (("cf", dx), ("gain", dy)) if moved]
    before, at = {f: b.value(f) for f in fields.values()}, centre(b, handle)
    ActionChains(b.driver).click_and_hold(b.find(handle)).move_by_offset(dx // 2, dy // 2) \
        .move_by_offset(dx - dx // 2, dy - dy // 2).release().perform()
    settle(b, lambda: all(b.message(f) or b.value(f) != before[f] for f in waited))
    record = b.state()["sync"]["eq" if item == "eq" else "eqbt"][ch]
    device = {name: record[name][band] for name in fields}
    shown = {name: b.find(handle).get_attribute("data-" + name) for name in fields}
    b.check(what + " keeps what was not moved", all(
        float(before[fields[n]]) == device[n] for n, moved in (("cf", dx), ("gain", dy))
        if not moved), "%r %r" % (before, device))
    b.check(what + " drawn as reported", all(float(shown[n]) == device[n] and
                                             float(b.value(fields[n])) == device[n]
                                             for n in fields), "%r %r" % (device, shown))
    return at, centre(b, handle), fields


def model_points(b, ch):
    d = b.find("plot-%d-model" % ch).get_attribute("d")
    return [tuple(map(float, p.split(","))) for p in d[1:].split(" L")]


def main():
    with Browser(sys.argv[1]) as b:
        # The shapes the model must show: a peak at its band, shelves at the edges.
        for words in (["eq", "gain", "4", "12", "5"], ["eq", "q", "4", "2", "5"],
                      ["bteq", "gain", "0", "6", "3"], ["bteq", "gain", "1", "-6", "3"],
                      ["bteq", "cf", "1", "2000", "3"]):
            command(b, words)
        b.open()
        # (what, item, band, channel, dx, dy): the handle ends where it was
        # dropped, within the snap; an axis not moved keeps its value.
        for row in (("band up", "eq", 3, 1, 0, -40), ("band right, down", "eq", 5, 0, 50, 30),
                    ("treble left, up", "bteq", 1, 2, -40, -30), ("bass right", "bteq", 0, 4, 30, 0)):
            at, now, fields = drag(b, *row)
            b.check(row[0] + " dropped", abs(now[0] - at[0] - row[4]) <= 2 and
                    abs(now[1] - at[1] - row[5]) <= 2, "%r -> %r" % (at, now))
        at, now = centre(b, "plot-5-band-4"), max(model_points(b, 5), key=lambda p: -p[1])
        peak = [float(b.find("plot-5-band-4").find_element(By.TAG_NAME, "circle")
                      .get_attribute(a)) for a in ("cx", "cy")]
        b.check("model peak at its band", abs(now[0] - peak[0]) < 2 and abs(now[1] - peak[1]) < 1,
                "%r %r" % (now, peak))
        ends = [float(b.find("plot-3-" + h).find_element(By.TAG_NAME, "circle")
                      .get_attribute("cy")) for h in ("bass", "treble")]
        b.check("model shelves", abs(model_points(b, 3)[0][1] - ends[0]) < 1 and
                abs(model_points(b, 3)[-1][1] - ends[1]) < 1, "%r" % ends)
        b.type("bteq-gain-0-3", "4.5")
        b.check("typed bass", b.state()["sync"]["eqbt"][3]["gain"][0] == 4.5 and
                b.find("plot-3-bass").get_attribute("data-gain") == "4.5")
        # (what, action, curve shown afterwards) on every plot.
        for what, action, shown in (("model off", lambda: b.find("modelled").click(), False),
                                    ("after a reload", b.open, False),
                                    ("model on", lambda: b.find("modelled").click(), True)):
            action()
            b.check(what, all(b.find("plot-%d-model" % ch).is_displayed() == shown
                              for ch in range(6)))
        for ch, (cfs, gains) in enumerate(REALISTIC):
            for band in range(8):
                command(b, ["eq", "cf", str(band), str(cfs[band]), str(ch)])
                command(b, ["eq", "gain", str(band), str(gains[band]), str(ch)])
            command(b, ["bteq", "gain", "0", str(3 - ch), str(ch)])
            command(b, ["bteq", "gain", "1", str(ch - 2.5), str(ch)])
        b.find("refresh").click()
        settle(b, lambda: b.find("plot-5-band-7").get_attribute("data-gain") == "-3")
        shot = os.path.join(sys.argv[2], "web-console-realistic.png")
        b.driver.save_screenshot(shot)
        failures = b.report()
    with Browser(sys.argv[1], {"DSPD_SIM_FAIL": "setEqualizer"}) as b:
        b.open()
        at, now, fields = drag(b, "failed band", "eq", 2, 0, 0, -40)
        b.check("failed drag", b.message(fields["gain"]).startswith("[fail]") and at == now,
                "%r %r -> %r" % (b.message(fields["gain"]), at, now))
        return failures or b.report()


# Per channel: 8 centre frequencies and 8 gains, each channel its own curve.
REALISTIC = [([40, 80, 160, 400, 1000, 2500, 6300, 12000], [4, 2.5, -1, -3, 0, 1.5, 3, 2]),
             ([63, 125, 250, 500, 1000, 2000, 4000, 8000], [-2, -1, 0, 2, 4, 2, 0, -2]),
             ([30, 90, 200, 700, 1500, 3000, 5000, 9000], [6, 3, -2, -4, -1, 2, 5, 1]),
             ([50, 100, 300, 800, 1800, 3500, 7000, 15000], [0, -3, -6, -2, 1, 3, 4, 6]),
             ([25, 70, 180, 450, 1200, 2800, 6000, 11000], [8, 5, 1, -2, -5, -2, 1, 3]),
             ([45, 110, 280, 600, 1000, 2200, 4500, 10000], [-1, 1, 3, 1, -2, -4, -1, -3])]

if __name__ == "__main__":
    sys.exit(main())
