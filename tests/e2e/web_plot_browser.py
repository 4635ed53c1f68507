#!/usr/bin/env python3
# The frequency plot in headless Chromium against `dspctl sim --serve`:
# dragged handles reach the device and are drawn where it reports, a failed
# drag returns, bass is typed, the model's shapes and its switch; then a
# screenshot of a realistic state. web_plot_browser.py DSPCTL BUILD_DIR.
import json
import math
import os
import sys

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_browser import Browser  # noqa: E402
from web_console_test import request  # noqa: E402


def command(b, *words):
    headers = {"Host": b.hostport, "Cookie": "dspctl_token=" + b.token,
               "Origin": "http://" + b.hostport, "Content-Type": "application/json"}
    _, data = request(b.hostport, "POST", "/api/command", headers,
                      json.dumps({"words": [str(w) for w in words]}).encode())
    b.check(" ".join(map(str, words)), json.loads(data).get("reply") == "[ok]", data)


# Drags a handle by (dx, dy) pixels; the changed fields show the device's
# values, the handle is drawn at them (where it was dropped, or where it was
# with a [fail] on the gain field when `lands` is false), an axis not moved
# keeps its value.
def drag(b, what, item, band, ch, dx, dy, lands=True):
    handle = "plot-%d-%s" % (ch, ("band-%d" % band) if item == "eq" else ["bass", "treble"][band])
    fields = {name: "%s-%s-%d-%d" % (item, name, band, ch) for name in ("cf", "gain")}
    moved = {"cf": dx, "gain": dy}
    before, at = {n: b.value(f) for n, f in fields.items()}, b.find(handle).rect
    ActionChains(b.driver).click_and_hold(b.find(handle)).move_by_offset(dx, dy).release().perform()
    b.wait.until(lambda d: all(b.message(fields[n]) or b.value(fields[n]) != before[n]
                               for n in fields if moved[n]))
    record = b.state()["sync"]["eq" if item == "eq" else "eqbt"][ch]
    node = b.find(handle)
    b.check(what + " drawn as reported", all(
        float(node.get_attribute("data-" + n)) == record[n][band] == float(b.value(fields[n])) and
        (moved[n] or float(before[n]) == record[n][band]) for n in fields), str(record))
    b.check(what + " dropped", abs(node.rect["x"] - at["x"] - lands * dx) <= 2 and
            abs(node.rect["y"] - at["y"] - lands * dy) <= 2, "%r -> %r" % (at, node.rect))
    b.check(what + " message", b.message(fields["gain"]).startswith("[fail]") != lands)


def main():
    with Browser(sys.argv[1]) as b:
        # Shapes for the model: a peak on channel 5, two shelves on channel 3.
        for words in (("eq", "gain", 4, 12, 5), ("eq", "q", 4, 2, 5), ("bteq", "gain", 0, 6, 3),
                      ("bteq", "gain", 1, -6, 3), ("bteq", "cf", 1, 2000, 3)):
            command(b, *words)
        b.open()
        # (what, item, band, channel, dx, dy): the handle ends where it was dropped.
        for row in (("band up", "eq", 3, 1, 0, -40), ("band right, down", "eq", 5, 0, 50, 30),
                    ("treble left, up", "bteq", 1, 2, -40, -30),
                    ("bass right", "bteq", 0, 4, 30, 0)):
            drag(b, *row)
        # (what, channel, handle, the curve's point, x too): the model meets its handle.
        for what, ch, handle, pick, x in (
                ("peak", 5, "band-4", lambda p: min(p, key=lambda xy: xy[1]), True),
                ("bass shelf", 3, "bass", lambda p: p[0], False),
                ("treble shelf", 3, "treble", lambda p: p[-1], False)):
            d = b.find("plot-%d-model" % ch).get_attribute("d")
            point = pick([tuple(map(float, xy.split(","))) for xy in d[1:].split(" L")])
            c = b.find("plot-%d-%s" % (ch, handle)).find_element(By.TAG_NAME, "circle")
            b.check("model " + what, abs(point[1] - float(c.get_attribute("cy"))) < 1 and
                    (not x or abs(point[0] - float(c.get_attribute("cx"))) < 2), "%r" % (point,))
        b.type("bteq-gain-0-3", "4.5")
        b.check("typed bass", b.state()["sync"]["eqbt"][3]["gain"][0] == 4.5 and
                b.find("plot-3-bass").get_attribute("data-gain") == "4.5")
        # (what, a click on the switch or a reload, curve shown afterwards) on every plot.
        for what, click, shown in (("model off", True, False), ("after a reload", False, False),
                                   ("model on", True, True)):
            b.find("modelled").click() if click else b.open()
            b.check(what, all(b.find("plot-%d-model" % ch).is_displayed() == shown
                              for ch in range(6)))
        # A realistic state: each channel's bands an octave apart from its own
        # start, gains along a curve of its own, bass and treble set.
        gain = lambda band, ch: round(5 * math.sin(band + 2 * ch), 1)  # noqa: E731
        for ch in range(6):
            for band in range(8):
                command(b, "eq", "cf", band, int(40 * 2 ** (band + ch / 6)), ch)
                command(b, "eq", "gain", band, gain(band, ch), ch)
            command(b, "bteq", "gain", 0, 3 - ch, ch)
            command(b, "bteq", "gain", 1, ch - 2.5, ch)
        b.find("refresh").click()
        b.wait.until(lambda d: float(b.find("plot-5-band-7").get_attribute("data-gain")) ==
                     gain(7, 5))
        b.driver.save_screenshot(os.path.join(sys.argv[2], "web-console-realistic.png"))
        failures = b.report()
    with Browser(sys.argv[1], {"DSPD_SIM_FAIL": "setEqualizer"}) as b:
        b.open()
        drag(b, "failed band", "eq", 2, 0, 0, -40, lands=False)
        return failures or b.report()


if __name__ == "__main__":
    sys.exit(main())
