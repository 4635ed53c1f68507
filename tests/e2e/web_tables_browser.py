#!/usr/bin/env python3
"""The biquad, filter, loudness and hands-free tables in headless Chromium
against `dspctl sim --serve` with the uplink gain's operation failing: each
change reaches the device, a value stored otherwise shows its warning and
the stored value, a [fail] its reason and the device's value.
web_tables_browser.py DSPCTL BUILD_DIR."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_browser import Browser  # noqa: E402

# (what, <details> to open (once), control, typed value or None for a click, where
# the device keeps it, what it holds there, what the control shows, message)
ROWS = [
    ("biquad value", "biquad1", "bq-gain-3-1", "-4.5", ("sync", "bq", 1, 3, "gain"), -4.5, -4.5,
     ""),
    ("filter value", "filter2", "ftr-2-value3", "1234", ("sync", "ftr", 2, "value3"), 1234, 1234,
     ""),
    # Still open after the redraw; the rest of the line as the device last
    # reported it: value3 stays.
    ("filter stored otherwise", None, "ftr-2-value5", "99999", ("sync", "ftr", 2),
     {"value1": 0, "value2": 0, "value3": 1234, "value4": 0, "value5": -31073, "value6": 0},
     -31073, "warning: V5 99999 is outside -32768 to 32767"),
    ("loudness", None, "loud-value2", "700", ("sync", "loud"),
     {"value1": 0, "value2": 700, "value3": 0}, 700, ""),
    ("hands-free number", None, "hfaec-nlp-cnEstiIdx", "3", ("hfsync", "nlp", "cnEstiIdx"), 3, 3,
     ""),
    ("hands-free flag", None, "hfaec-req-en", None, ("hfsync", "req", "en"), 1, True, ""),
    ("failed uplink gain", None, "hfaec-uplink-gain", "2.5", ("hfsync", "uplink"), 0, 0,
     "[fail]"),
]


def main():
    with Browser(sys.argv[1], {"DSPD_SIM_FAIL": "setUpLinkGain"}) as b:
        b.open()
        for what, details, control, typed, path, want, looks, message in ROWS:
            if details:
                b.find(details).find_element("tag name", "summary").click()
            b.type(control, typed)
            device = b.state()
            for key in path:
                device = device[key]
            shown = b.find(control)
            shown = shown.is_selected() if typed is None else float(shown.get_attribute("value"))
            text = b.message(control)
            b.check(what, device == want and shown == looks and text.startswith(message) and
                    bool(text) == bool(message),
                    "device %r, shown %r, message %r" % (device, shown, text))
        b.driver.save_screenshot(os.path.join(sys.argv[2], "web-tables.png"))
        return b.report()


if __name__ == "__main__":
    sys.exit(main())
