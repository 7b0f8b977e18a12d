"""The remote page's rig for tests and figures: quellmarin-sim on a pseudo-terminal, quellmarin-server on
a loopback port with a token per role, and a headless Chromium that may reach nothing but the server."""

import http.client
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(condition, timeout=10.0, what="the condition"):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.01)
    raise AssertionError(f"timed out waiting for {what}")


class Rig:
    """One virtual processor (ID 1) behind a headless server; stopped with stop()."""

    def __init__(self, server, sim, work=None):
        self.server_path = server
        self.work = work or tempfile.mkdtemp(prefix="quellmarin-web-")
        self.state = os.path.join(self.work, "state")
        os.makedirs(self.state, exist_ok=True)
        self.sim_log = os.path.join(self.work, "sim.log")
        self.sim = subprocess.Popen([sim, "--id", "1", "--log", self.sim_log], stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.pty = self.sim.stdout.readline().decode().strip()
        self.tokens = {}
        for role in ("viewer", "operator", "installer"):
            out = subprocess.run([server, "token", "add", role, "--role", role, "--state-dir", self.state],
                                 check=True, capture_output=True, text=True).stdout
            self.tokens[role] = out.strip().splitlines()[-1]
        self.port = free_port()
        self.server = None
        self.start_server()

    @property
    def origin(self):
        return f"http://127.0.0.1:{self.port}"

    def start_server(self):
        with open(os.path.join(self.work, "server.log"), "ab") as log:
            self.server = subprocess.Popen([self.server_path, "--state-dir", self.state, "--port", self.pty,
                                            "--listen", f"127.0.0.1:{self.port}"], stderr=log, stdout=log)
        wait_until(lambda: self.connected(), 20, "the server to connect its processor")

    def stop_server(self):
        if self.server and self.server.poll() is None:
            self.server.terminate()
            self.server.wait(10)
        self.server = None

    def connected(self):
        try:
            status, body = self.api("GET", "/api/v1/devices", role="viewer")
            return status == 200 and body["devices"] and body["devices"][0]["state"] == "connected"
        except OSError:
            return False

    def api(self, method, path, body=None, role="installer"):
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        headers = {"Authorization": "Bearer " + self.tokens[role]}
        data = None if body is None else json.dumps(body)
        if data is not None:
            headers["Content-Type"] = "application/json"
        c.request(method, path, body=data, headers=headers)
        r = c.getresponse()
        text = r.read().decode()
        c.close()
        return r.status, json.loads(text) if text else None

    def frames(self):
        """The frames the processor received, in order."""
        try:
            with open(self.sim_log, encoding="latin-1") as f:
                # One read of the line may hold several frames.
                return [frame for line in f if line.startswith("recv ") for frame in re.findall(r"\([^()]*\)", line)]
        except FileNotFoundError:
            return []

    def stop(self):
        self.stop_server()
        if self.sim.poll() is None:
            self.sim.stdin.close()
            try:
                self.sim.wait(5)
            except subprocess.TimeoutExpired:
                self.sim.kill()
        self.sim.stdout.close()
        shutil.rmtree(self.work, ignore_errors=True)


def browser(width=1024, height=768):
    """Headless Chromium that reaches the loopback server and nothing else: every other host name
    resolves to nothing, and every other address goes to a proxy that is not there."""
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--no-first-run", "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--disable-extensions", "--proxy-server=http://127.0.0.1:9",
                     "--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE localhost , EXCLUDE 127.0.0.1",
                     f"--window-size={width},{height}", "--lang=en-GB"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(20)
    driver.execute_cdp_cmd("Network.enable", {})
    return driver


def set_viewport(driver, width, height, mobile):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
    if mobile:
        driver.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 5})


def requests_made(driver):
    """The URLs the page asked for since the last call, from the browser's network log."""
    urls = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            urls.append(message["params"]["request"]["url"])
        elif message["method"] == "Network.webSocketCreated":
            urls.append(message["params"]["url"])
    return urls


def log_in(driver, rig, role):
    # The tab's token is forgotten on a page of the same origin that runs no script of its own: on the
    # page itself, a login still under way could store it again.
    driver.get(rig.origin + "/icon.svg")
    driver.execute_script("sessionStorage.clear()")
    driver.get(rig.origin + "/")
    field = wait_until(lambda: visible(driver, "token"), 10, "the login form")
    field.send_keys(rig.tokens[role] if role in rig.tokens else role)
    driver.find_element("id", "login-button").click()


def visible(driver, element_id):
    found = driver.find_elements("id", element_id)
    return found[0] if found and found[0].is_displayed() else None


def by_label(driver, label):
    """The control a screen reader calls `label`, or one whose channel has a name as well: "Output 3
    mute" finds "Output 3 Main L mute" after a recall gave output 3 that name."""
    found = driver.find_elements("css selector", f'[aria-label="{label}"]')
    if found:
        return found[0]
    m = re.match(r"^((?:Input|Output) \d+) (.*)$", label)
    if not m:
        return None
    return driver.execute_script("""
        const [title, rest] = [arguments[0], arguments[1]];
        return [...document.querySelectorAll('[aria-label]')].find(e => {
          const n = e.getAttribute('aria-label');
          return n.startsWith(title + ' ') && n.endsWith(' ' + rest);
        }) || null;""", m.group(1), m.group(2))
