#!/usr/bin/env python3
"""The web console's page in headless Chromium against `dspctl sim --serve`,
with the equalizer's service operation failing: a typed delay reaches the
device, a refused eq gain shows [fail] and returns to the device's value.
web_console_browser.py DSPCTL SCREENSHOT."""
import json
import os
import shutil
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_console_test import request, start  # noqa: E402


def main():
    os.environ["DSPD_SIM_FAIL"] = "setEqualizer"
    proc, hostport, token = start(sys.argv[1])
    options = webdriver.ChromeOptions()
    # A profile of its own, and none of Chromium's own network traffic: two
    # browsers started at once must not share a profile, and a closed
    # network refuses those connections.
    profile = tempfile.mkdtemp(prefix="dspctl-chromium-")
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000",
                     "--disable-quic", "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + profile):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    failures = []
    try:
        driver.get("http://%s/?token=%s" % (hostport, token))
        wait = WebDriverWait(driver, 20)
        typed = {"delay-1": "-1.25", "eq-gain-3-1": "4"}
        for field, value in typed.items():
            box = wait.until(lambda d, f=field: d.find_element(By.ID, f))
            # clear() would send a change of its own, the empty value.
            box.send_keys(Keys.CONTROL, "a")
            box.send_keys(value + "\t")
            wait.until(lambda d, f=field, v=value: d.find_element(By.ID, f + "-message").text or
                       float(d.find_element(By.ID, f).get_attribute("value")) == float(v))
        message = driver.find_element(By.ID, "eq-gain-3-1-message").text
        shown = driver.find_element(By.ID, "eq-gain-3-1").get_attribute("value")
        if not message.startswith("[fail]") or float(shown) != 0:
            failures.append("refused eq gain: %r, field %r" % (message, shown))
        driver.save_screenshot(sys.argv[2])
        _, data = request(hostport, "GET", "/api/state",
                          {"Host": hostport, "Cookie": "dspctl_token=" + token})
        sync = json.loads(data)["sync"]
        if sync["delay"][1] != -1.25 or sync["eq"][1]["gain"][3] != 0:
            failures.append("device: delay %r, eq gain %r" % (sync["delay"][1],
                                                              sync["eq"][1]["gain"][3]))
    finally:
        driver.quit()
        proc.terminate()
        proc.wait(timeout=20)
        shutil.rmtree(profile, ignore_errors=True)
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
