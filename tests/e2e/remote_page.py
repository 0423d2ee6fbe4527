"""The remote's page in headless Chromium, driven by Selenium, against the
real player: the swatch takes the colour of what is heard, "next" names and
plays the next track, and the brightness slider darkens the player's window.
Usage: remote_page.py URL WINDOW_ID"""
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

url, window = sys.argv[1], sys.argv[2]
slowdown = int(__import__("os").environ.get("E2E_SLOWDOWN", "1"))


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def until(what, seconds=10):
    deadline = time.monotonic() + seconds * slowdown
    while time.monotonic() < deadline:
        value = what()
        if value:
            return value
        time.sleep(0.1)
    return None


def rgb(text):
    """'rgb(r, g, b)' as numbers."""
    inner = text[text.index("(") + 1:text.index(")")]
    return [int(float(part)) for part in inner.split(",")[:3]]


def window_pixel():
    out = subprocess.run(["import", "-silent", "-window", window, "-crop", "1x1+30+30",
                          "-depth", "8", "txt:-"], capture_output=True, text=True).stdout
    line = out.splitlines()[1]
    return rgb(line[line.index("("):])


options = webdriver.ChromeOptions()
for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--user-data-dir=" + tempfile.mkdtemp(prefix="chromola-browser.")):
    options.add_argument(argument)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    driver.get(url)
    text = lambda id: driver.find_element(By.ID, id).text
    swatch = lambda: rgb(driver.find_element(By.ID, "swatch").value_of_css_property(
        "background-color"))
    if not until(lambda: text("link") == "На связи"):
        fail("the page did not connect: " + text("link"))
    if "#k=" in driver.current_url:
        fail("the secret stays in the address bar")
    # The swatch leaves the idle colour for the red of the 100 Hz tone.
    if not until(lambda: text("name") == "a-red.wav"):
        fail("the playing track is not named: " + text("name"))
    if not until(lambda: (lambda c: c[0] > 20 and c[0] > 2 * c[1] and c[0] > 2 * c[2])(swatch())):
        fail("the swatch did not turn red: %s" % swatch())
    driver.find_element(By.ID, "next").click()
    if not until(lambda: text("name") == "b-green.wav"):
        fail("next did not name the next track: " + text("name"))
    if not until(lambda: (lambda c: c[1] > 20 and c[1] > 2 * c[0] and c[1] > 2 * c[2])(swatch())):
        fail("the swatch did not turn green with the next track: %s" % swatch())
    if not until(lambda: (lambda p: p[1] > 20 and p[1] > 2 * p[0] and p[1] > 2 * p[2])(window_pixel())):
        fail("the window does not show the next track's green: %s" % window_pixel())
    before = window_pixel()
    driver.execute_script("const b = document.getElementById('bright'); b.value = '3';"
                          "b.dispatchEvent(new Event('input'));")
    if not until(lambda: window_pixel()[1] < before[1] * 0.6):
        fail("the brightness did not darken the window: %s then %s" % (before, window_pixel()))
    shown = lambda: driver.execute_script("return document.getElementById('brightOut').textContent")
    if not until(lambda: shown() == "3"):
        fail("the page does not show the brightness: " + shown())
finally:
    driver.quit()
