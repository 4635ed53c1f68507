#!/usr/bin/env python3
"""The web console's page in headless Chromium against `dspctl sim --serve`,
with the equalizer's service operation failing: a typed delay reaches the
device, a refused eq gain shows [fail] and returns to the device's value.
web_console_browser.py DSPCTL BUILD_DIR."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_browser import Browser  # noqa: E402


def main():
    with Browser(sys.argv[1], {"DSPD_SIM_FAIL": "setEqualizer"}) as b:
        b.open()
        b.type("delay-1", "-1.25")
        # The redraw after the answer keeps the focus where Tab took it.
        focused = b.driver.switch_to.active_element.get_attribute("id")
        b.check("focus after the redraw", focused == "eq-cf-0-1", repr(focused))
        b.type("eq-gain-3-1", "4")
        message = b.message("eq-gain-3-1")
        b.check("refused eq gain", message.startswith("[fail]") and
                float(b.value("eq-gain-3-1")) == 0, "%r, field %r" % (message,
                                                                     b.value("eq-gain-3-1")))
        b.driver.save_screenshot(os.path.join(sys.argv[2], "web-console.png"))
        sync = b.state()["sync"]
        b.check("device", sync["delay"][1] == -1.25 and sync["eq"][1]["gain"][3] == 0,
                "delay %r, eq gain %r" % (sync["delay"][1], sync["eq"][1]["gain"][3]))
        return b.report()


if __name__ == "__main__":
    sys.exit(main())
