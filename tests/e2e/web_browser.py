"""Headless Chromium on `dspctl sim --serve`, for the page's browser tests:
    with Browser(dspctl, env) as b: b.type("delay-1", "-1.25"); b.state()
"""
import json
import os
import shutil
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.common.exceptions import StaleElementReferenceException as StaleElement
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.expected_conditions import staleness_of
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_console_test import request, start  # noqa: E402


class Browser:
    """The console (dspctl sim --serve, with `env` added to its environment)
    open in a headless Chromium; failures collect in `failures`."""

    def __init__(self, dspctl, env=None, arguments=()):
        saved = dict(os.environ)
        os.environ.update(env or {})
        try:
            self.proc, self.hostport, self.token = start(dspctl)
        finally:
            os.environ.clear()
            os.environ.update(saved)
        # A profile of its own, and none of Chromium's own network traffic: two
        # browsers started at once must not share a profile, and a closed
        # network refuses those connections.
        self.profile = tempfile.mkdtemp(prefix="dspctl-chromium-")
        self.downloads = os.path.join(self.profile, "downloads")
        options = webdriver.ChromeOptions()
        for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000",
                         "--disable-quic", "--no-first-run", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync",
                         "--user-data-dir=" + self.profile) + tuple(arguments):
            options.add_argument(argument)
        options.add_experimental_option("prefs", {"download.default_directory": self.downloads,
                                                  "download.prompt_for_download": False})
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        # Every redraw replaces the page's elements: one found just before
        # it is stale, and is looked up again.
        self.wait = WebDriverWait(self.driver, 20, ignored_exceptions=[StaleElement])
        self.failures = []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.driver.quit()
        self.proc.terminate()
        self.proc.wait(timeout=20)
        shutil.rmtree(self.profile, ignore_errors=True)
        return False

    def open(self):
        """Opens the URL dspctl printed and waits for the first read."""
        self.driver.get("http://%s/?token=%s" % (self.hostport, self.token))
        self.find("ch0")

    def find(self, element_id):
        return self.wait.until(lambda d: d.find_element(By.ID, element_id))

    def type(self, element_id, value):
        """Types `value` into a field (None: clicks it) and waits for the
        redraw that follows the device's answer."""
        box = self.find(element_id)
        if value is None:
            box.click()
        else:
            # clear() would send a change of its own, the empty value.
            box.send_keys(Keys.CONTROL, "a")
            box.send_keys(value + "\t")
        self.wait.until(staleness_of(box))

    def message(self, element_id):
        return self.driver.find_element(By.ID, element_id + "-message").text

    def value(self, element_id):
        return self.driver.find_element(By.ID, element_id).get_attribute("value")

    def state(self):
        """The device's state as /api/state gives it, read beside the page."""
        _, data = request(self.hostport, "GET", "/api/state",
                          {"Host": self.hostport, "Cookie": "dspctl_token=" + self.token})
        return json.loads(data)

    def check(self, what, ok, detail=""):
        if not ok:
            self.failures.append("%s %s" % (what, detail))

    def report(self):
        for failure in self.failures:
            print("FAIL", failure)
        return 1 if self.failures else 0
