#!/usr/bin/python3
"""riventar-web in a real headless browser (Chromium through its driver).

The built riventar-web and riventar-cli run over a logbook of their own, in
HOME and XDG folders of their own. Screenshots of the main pages are written
to --screenshots when given.
"""
import argparse
import datetime
import os
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.chrome.service import Service

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import trip_files  # noqa: E402

ARGS = None
MARKUP = "<script>alert(1)</script>"


def cli_table(cli, env, *args):
    """riventar-cli's aligned table as dicts, columns cut where the heading's words start."""
    out = subprocess.run([cli, *args], env=env, check=True, capture_output=True, text=True).stdout
    lines = out.splitlines()
    header = lines[0]
    names = header.split()
    starts = [header.index(n) for n in names]
    rows = []
    for line in lines[1:]:
        cells = [line[s:(starts[i + 1] if i + 1 < len(starts) else None)].strip() for i, s in enumerate(starts)]
        rows.append(dict(zip(names, cells)))
    return rows


class Browser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="riventar-web-browser-")
        root = cls.scratch.name
        cls.env = dict(os.environ)
        for name, sub in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                          ("XDG_CACHE_HOME", "cache"), ("XDG_RUNTIME_DIR", "runtime")):
            os.makedirs(os.path.join(root, sub), mode=0o700)
            cls.env[name] = os.path.join(root, sub)
        cls.env["RIVENTAR_LOGBOOK"] = os.path.join(root, "logbook.sqlite")
        cls.downloads = os.path.join(root, "downloads")
        os.makedirs(cls.downloads)
        first = os.path.join(root, "a.dat")
        second = os.path.join(root, "b.dat")
        today = datetime.date.today()
        trip_files.write_dat(first, "ВАЗ-2110", "А123ВС77", "Иванов",
                             trip_files.daily_trips(datetime.date(today.year, 1, 1), 150))
        trip_files.write_dat(second, MARKUP, "В456ОР99", "\"Петров\" & Co",
                             trip_files.daily_trips(datetime.date(today.year - 1, 11, 1), 40, fuel=16000 * 3))
        subprocess.run([ARGS.cli, "log", "import", first, second], env=cls.env, check=True, capture_output=True)

        cls.server = subprocess.Popen([ARGS.web, "--listen", "127.0.0.1:0"], env=cls.env, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True)
        cls.url = cls.server.stdout.readline().strip()
        assert cls.url.startswith("http://127.0.0.1:"), cls.url
        cls.base = cls.url.split("/?token=")[0]

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1280,1000",
                    "--user-data-dir=" + os.path.join(root, "chromium"), "--lang=ru"):
            options.add_argument(arg)
        options.add_experimental_option("prefs", {"download.default_directory": cls.downloads,
                                                  "download.prompt_for_download": False})
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.driver.set_page_load_timeout(20)
        cls.driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": cls.downloads})

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.terminate()
        status = cls.server.wait(10)
        errors = cls.server.stderr.read()
        cls.scratch.cleanup()
        # SIGTERM ends it cleanly (under the sanitizers: with nothing to report).
        assert status == 0, f"riventar-web ended with {status}: {errors}"

    def shot(self, name):
        if ARGS.screenshots:
            os.makedirs(ARGS.screenshots, exist_ok=True)
            self.driver.save_screenshot(os.path.join(ARGS.screenshots, name + ".png"))

    def login(self):
        self.driver.get(self.url)
        self.assertEqual(self.driver.current_url, self.base + "/")  # the token left the address

    def test_1_without_the_token_a_login_page_and_401(self):
        with self.assertRaises(urllib.error.HTTPError) as refused:
            urllib.request.urlopen(self.base + "/")
        self.assertEqual(refused.exception.code, 401)
        self.driver.get(self.base + "/")
        self.assertEqual(self.driver.find_element(By.TAG_NAME, "h1").text, "Вход")
        self.assertEqual(self.driver.find_elements(By.ID, "vehicles"), [])
        self.shot("login")

    def test_2_the_vehicles_page_shows_what_the_command_line_lists(self):
        self.login()
        rows = self.driver.find_elements(By.CSS_SELECTOR, "#vehicles tbody tr")
        shown = [[c.text for c in r.find_elements(By.CSS_SELECTOR, "th, td")] for r in rows]
        listed = cli_table(ARGS.cli, self.env, "log", "vehicles")
        self.assertEqual([s[:7] for s in shown],
                         [[v["registration"], v["model"], v["owner"], v["trips"], v["first"], v["last"], v["km"]]
                          for v in listed])
        # The markup is a text on the page, never run.
        self.assertIn(MARKUP, [s[1] for s in shown])
        self.assertEqual(self.driver.find_elements(By.TAG_NAME, "script"), [])
        with self.assertRaises(NoAlertPresentException):
            self.driver.switch_to.alert.text
        self.shot("vehicles")

    def test_3_the_chart_is_drawn_and_the_csv_is_the_command_lines(self):
        self.login()
        self.driver.find_element(By.LINK_TEXT, "А123ВС77").click()
        chart = self.driver.find_element(By.ID, "chart")
        self.assertGreater(chart.size["width"], 300)
        bars = [b for b in self.driver.find_elements(By.CSS_SELECTOR, "#chart rect.distance")
                if b.size["height"] > 1]
        self.assertGreaterEqual(len(bars), 5)  # January to May
        self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, "#trips tbody tr")), 100)
        self.shot("vehicle")
        self.driver.find_element(By.ID, "csv").click()
        year = datetime.date.today().year
        name = f"trips-{year}-01-01-{year}-12-31.csv"
        path = os.path.join(self.downloads, name)
        for _ in range(100):
            if os.path.exists(path):
                break
            time.sleep(0.1)
        expected = os.path.join(self.scratch.name, "cli.csv")
        subprocess.run([ARGS.cli, "log", "trips", "--vehicle", "А123ВС77", "--from", f"{year}-01-01", "--to",
                        f"{year}-12-31", "-o", expected], env=self.env, check=True, capture_output=True)
        with open(path, "rb") as got, open(expected, "rb") as want:
            self.assertEqual(got.read(), want.read())

    def test_4_pages_work_from_the_keyboard_on_a_phone_and_dark(self):
        self.login()
        self.driver.find_element(By.TAG_NAME, "body").send_keys(Keys.TAB)
        self.assertEqual(self.driver.switch_to.active_element.text, "К содержимому")
        self.driver.get(self.base + "/report")
        self.assertIn("Итого", self.driver.find_element(By.ID, "report").text)
        self.shot("report")
        self.driver.set_window_size(390, 844)
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                                    {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        self.driver.get(self.base + "/vehicle?vehicle=%D0%90123%D0%92%D0%A177")
        background = self.driver.execute_script("return getComputedStyle(document.body).backgroundColor")
        self.assertEqual(background, "rgb(22, 24, 27)")
        # Nothing wider than the phone but the tables' own scrolling boxes.
        self.assertLessEqual(self.driver.execute_script("return document.documentElement.scrollWidth"), 390)
        self.shot("vehicle-phone-dark")
        self.driver.set_window_size(1280, 1000)
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})

    def test_5_an_address_on_the_network_is_refused_without_tls(self):
        run = subprocess.run([ARGS.web, "--listen", "0.0.0.0:0"], env=self.env, capture_output=True, text=True,
                             timeout=20)
        self.assertEqual(run.returncode, 2)
        self.assertIn("without TLS", run.stderr)
        self.assertEqual(run.stdout, "")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--web", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--screenshots")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])
