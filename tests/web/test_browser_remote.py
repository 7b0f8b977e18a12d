"""The remote page in a real headless Chromium against quellmarin-server and the virtual processor on a
pseudo-terminal: logging in, mutes, gains, recalls, changes made elsewhere, what a viewer may not do,
a wrong token, a page that reaches nothing but the server, phone and tablet layouts, and reconnection.

Run by ctest with QUELLMARIN_SERVER_PATH and QUELLMARIN_SIM_PATH set; QUELLMARIN_SCREENSHOT_DIR names
where the screenshots go."""

import json
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from remote_rig import Rig, browser, by_label, log_in, requests_made, set_viewport, visible, wait_until  # noqa: E402

SCREENSHOTS = os.environ.get("QUELLMARIN_SCREENSHOT_DIR") or os.path.join(os.getcwd(), "web-screenshots")


def severe_console_lines(driver):
    return [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"]


def pressed(driver, label):
    control = by_label(driver, label)
    return control is not None and control.get_attribute("aria-pressed") == "true"


def gain_shown(driver, label):
    fader = by_label(driver, label)
    return fader.get_attribute("aria-valuetext") if fader else None


class RemotePage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.rig = Rig(os.environ["QUELLMARIN_SERVER_PATH"], os.environ["QUELLMARIN_SIM_PATH"])
        cls.driver = browser()
        os.makedirs(SCREENSHOTS, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.rig.stop()

    def setUp(self):
        set_viewport(self.driver, 1024, 768, False)
        self.driver.get_log("browser")
        self.driver.get_log("performance")

    def logged_in(self, role):
        log_in(self.driver, self.rig, role)
        wait_until(lambda: by_label(self.driver, "Output 3 mute"), 10, "the strips")
        # The controls are usable (or not) once the rig and the lock are known.
        wait_until(lambda: "Connected" in self.driver.find_element("id", "device-state").text, 10, "the state")

    def screenshot(self, name):
        path = os.path.join(SCREENSHOTS, name + ".png")
        self.driver.save_screenshot(path)
        print(f"screenshot: {path}", flush=True)

    def test_an_operator_mutes_steps_a_gain_and_recalls_after_confirming(self):
        d, rig = self.driver, self.rig
        self.logged_in("operator")
        self.assertIn("operator", d.find_element("id", "who").text)

        before = len(rig.frames())
        mute = by_label(d, "Output 3 mute")
        self.assertEqual(mute.get_attribute("aria-pressed"), "false")
        mute.click()
        wait_until(lambda: "(01$0372001)" in rig.frames()[before:], 10, "the mute frame at the processor")
        wait_until(lambda: pressed(d, "Output 3 mute"), 5, "the strip to show the mute")

        by_label(d, "Output 2 gain down 3 dB").click()
        wait_until(lambda: "(01$0351175)" in rig.frames()[before:], 10, "the -3 dB frame at the processor")
        wait_until(lambda: gain_shown(d, "Output 2 gain") == "\u22123.0 dB", 5, "the new gain")

        # Polarity is an installer's: shown, disabled, with the reason.
        polarity = by_label(d, "Output 3 polarity inverted")
        self.assertFalse(polarity.is_enabled())
        self.assertEqual(polarity.get_attribute("title"), "Polarity is an installer's setting")

        # A recall asks first; cancelled, nothing is sent.
        recall = wait_until(lambda: by_label(d, "Recall program 2 Main PA"), 15, "the program list")
        recall.click()
        dialog = d.find_element("id", "confirm")
        wait_until(dialog.is_displayed, 5, "the confirmation")
        self.assertIn("Main PA", d.find_element("id", "confirm-text").text)
        d.find_element("id", "confirm-cancel").click()
        self.assertFalse(any(f.startswith("(01R") for f in rig.frames()[before:]))
        recall.click()
        wait_until(dialog.is_displayed, 5, "the confirmation")
        d.find_element("id", "confirm-ok").click()
        wait_until(lambda: any(f.startswith("(01R") for f in rig.frames()[before:]), 10, "the recall frame")
        wait_until(lambda: "recalled" in d.find_element("id", "programs-state").text, 10, "the recall's end")
        current = d.find_element("css selector", "#program-list li.current")
        self.assertIn("Main PA", current.text)
        self.assertEqual(severe_console_lines(d), [])

    def test_a_fader_drag_sends_the_newest_value_and_not_every_step(self):
        d, rig = self.driver, self.rig
        self.logged_in("operator")
        fader = by_label(d, "Input 4 gain")
        before = len(rig.frames())
        # Thirty steps of a drag, faster than the processor answers.
        d.execute_script("""
            const f = arguments[0];
            f.dispatchEvent(new PointerEvent('pointerdown', {bubbles: true}));
            for (let v = -1; v >= -30; --v) { f.value = String(v); f.dispatchEvent(new Event('input', {bubbles: true})); }
            f.dispatchEvent(new Event('change', {bubbles: true}));""", fader)
        last = "(01$0283121)"  # input 4 at -30 dB
        wait_until(lambda: last in rig.frames()[before:], 10, "the drag's last value at the processor")
        sent = [f for f in rig.frames()[before:] if f.startswith("(01$0283")]
        self.assertEqual(sent[-1], last)
        self.assertLessEqual(len(sent), 3, sent)
        wait_until(lambda: gain_shown(d, "Input 4 gain") == "\u221230.0 dB", 5, "the strip's gain")
        status, body = rig.api("GET", "/api/v1/devices/1/inputs/4/gain", role="viewer")
        self.assertEqual(body["value"], -30.0)

    def test_a_change_made_elsewhere_appears_at_once(self):
        d, rig = self.driver, self.rig
        self.logged_in("viewer")
        was = pressed(d, "Output 5 mute")
        status, body = rig.api("PUT", "/api/v1/devices/1/outputs/5/mute", {"value": not was}, role="operator")
        self.assertEqual(status, 200, body)
        start = time.monotonic()
        wait_until(lambda: pressed(d, "Output 5 mute") != was, 5, "the other client's mute in the page")
        print(f"figure: another client's mute shown in the page after {1000 * (time.monotonic() - start):.0f} ms",
              flush=True)
        status, _ = rig.api("PUT", "/api/v1/devices/1/outputs/5/gain", {"value": -12}, role="operator")
        self.assertEqual(status, 200)
        wait_until(lambda: gain_shown(d, "Output 5 gain") == "\u221212.0 dB", 5, "the other client's gain")
        # A test tone started elsewhere shows, and so does its end.
        status, _ = rig.api("PUT", "/api/v1/devices/1/generator", {"running": True, "frequency": 1000, "level": -20})
        self.assertEqual(status, 200)
        wait_until(lambda: "ON" in d.find_element("id", "tone-state").text, 5, "the running tone")
        status, _ = rig.api("PUT", "/api/v1/devices/1/generator", {"running": False})
        wait_until(lambda: "off" in d.find_element("id", "tone-state").text, 5, "the stopped tone")
        self.assertEqual(severe_console_lines(d), [])

    def test_an_operator_stops_a_running_test_tone(self):
        d, rig = self.driver, self.rig
        status, _ = rig.api("PUT", "/api/v1/devices/1/generator", {"running": True, "frequency": 1000, "level": -20})
        self.assertEqual(status, 200)
        self.logged_in("operator")
        stop = d.find_element("id", "tone-stop")
        wait_until(stop.is_enabled, 10, "the Stop button")
        before = len(rig.frames())
        stop.click()
        wait_until(lambda: any(f.startswith("(01$0010") for f in rig.frames()[before:]), 10, "the generator's stop frame")
        wait_until(lambda: "off" in d.find_element("id", "tone-state").text, 5, "the stopped tone")
        status, body = rig.api("GET", "/api/v1/devices/1/generator", role="viewer")
        self.assertFalse(body["running"])

    def test_a_viewer_sees_everything_disabled_and_a_forged_request_is_refused(self):
        d, rig = self.driver, self.rig
        self.logged_in("viewer")
        self.assertIn("viewer", d.find_element("id", "who").text)
        wait_until(lambda: d.find_elements("css selector", "#program-list button"), 15, "the program list")
        controls = d.find_elements("css selector", ".strip button, .strip input, #program-list button, #tone-stop")
        self.assertGreater(len(controls), 40)
        for control in controls:
            self.assertFalse(control.is_enabled(), control.get_attribute("aria-label"))
            self.assertTrue(control.get_attribute("title"), control.get_attribute("aria-label"))
        self.assertIn("read only", d.find_element("id", "readonly").text)

        # From the page's console, with the page's own token: the server refuses it.
        before = len(rig.frames())
        status_before = rig.api("GET", "/api/v1/devices/1/outputs/3/mute", role="viewer")[1]["value"]
        answer = d.execute_async_script("""
            const done = arguments[arguments.length - 1];
            fetch('/api/v1/devices/1/outputs/3/mute', {method: 'PUT',
                  headers: {'Authorization': 'Bearer ' + sessionStorage.getItem('quellmarin.token'),
                            'Content-Type': 'application/json'},
                  body: JSON.stringify({value: true})})
              .then(r => r.text().then(t => done([r.status, t]))).catch(e => done([0, String(e)]));""")
        self.assertEqual(answer[0], 403, answer)
        self.assertIn("viewer", json.loads(answer[1])["message"])
        # The same over the page's WebSocket.
        refused = d.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const ws = new WebSocket('ws://' + location.host + '/api/v1/ws');
            ws.onopen = () => ws.send(JSON.stringify({id: 0, command: 'auth', token: sessionStorage.getItem('quellmarin.token')}));
            ws.onmessage = (e) => { const m = JSON.parse(e.data);
              if (m.id === 0) ws.send(JSON.stringify({id: 1, command: 'set', path: '/devices/1/outputs/3/mute', value: true}));
              else if (m.id === 1) { ws.close(); done(m); } };""")
        self.assertEqual(refused["status"], 403, refused)
        self.assertEqual(rig.api("GET", "/api/v1/devices/1/outputs/3/mute", role="viewer")[1]["value"], status_before)
        self.assertFalse(any("$037" in f for f in rig.frames()[before:]))

    def test_a_wrong_token_shows_the_message_and_no_controls(self):
        d = self.driver
        log_in(d, self.rig, "qm_" + "0" * 48)
        message = wait_until(lambda: d.find_element("id", "login-message").text, 10, "the refusal")
        self.assertIn("not valid", message)
        self.screenshot("remote-login-refused")
        self.assertTrue(visible(d, "token"))
        self.assertFalse(d.find_element("id", "app").is_displayed())
        self.assertEqual(d.find_elements("css selector", ".strip"), [])
        self.assertIsNone(d.execute_script("return sessionStorage.getItem('quellmarin.token')"))
        self.assertNotIn("qm_", d.current_url)

    def test_the_page_loads_from_the_server_alone(self):
        import http.client
        d, rig = self.driver, self.rig
        self.logged_in("installer")
        wait_until(lambda: d.execute_script("return window.quellmarinStats.levelEvents") > 3, 10, "levels")
        urls = requests_made(d)
        self.assertTrue(urls)
        outside = [u for u in urls if not (u.startswith(rig.origin + "/") or u.startswith(f"ws://127.0.0.1:{rig.port}/"))]
        self.assertEqual(outside, [])
        self.assertTrue(any(u.endswith("/js/app.js") for u in urls))
        weight = d.execute_script("""
            const all = performance.getEntriesByType('navigation').concat(performance.getEntriesByType('resource'));
            return all.reduce((sum, e) => sum + e.transferSize, 0);""")
        print(f"figure: page weight {weight / 1024:.1f} KiB over {len(urls)} requests", flush=True)
        self.assertEqual(severe_console_lines(d), [])
        # The page's own security headers: scripts, styles and sockets from this server only.
        c = http.client.HTTPConnection("127.0.0.1", rig.port, timeout=5)
        c.request("GET", "/")
        r = c.getresponse()
        r.read()
        policy = r.getheader("Content-Security-Policy")
        self.assertIn("script-src 'self'", policy)
        self.assertIn("frame-ancestors 'none'", policy)
        c.request("GET", "/js/../index.html")
        r = c.getresponse()
        r.read()
        self.assertEqual(r.status, 401)
        c.close()

    def test_a_phone_shows_one_section_with_large_targets(self):
        d = self.driver
        set_viewport(d, 360, 740, True)
        self.logged_in("installer")
        outputs_tab = d.find_element("css selector", '.tab[data-section="outputs"]')
        outputs_tab.click()
        self.assertTrue(d.find_element("id", "outputs").is_displayed())
        self.assertFalse(d.find_element("id", "inputs").is_displayed())
        self.assertFalse(d.find_element("id", "programs").is_displayed())
        small = d.execute_script("""
            return [...document.querySelectorAll('button, input, select')]
              .filter(e => e.offsetParent !== null)
              .map(e => [e.getAttribute('aria-label') || e.textContent.trim(), e.getBoundingClientRect()])
              .filter(([n, r]) => r.width < 44 || r.height < 44).map(([n, r]) => `${n} ${r.width}x${r.height}`);""")
        self.assertEqual(small, [])
        wide = d.execute_script("return document.documentElement.scrollWidth")
        self.assertLessEqual(wide, 360)
        self.screenshot("remote-phone-outputs")
        d.find_element("css selector", '.tab[data-section="programs"]').click()
        self.assertTrue(d.find_element("id", "programs").is_displayed())
        self.assertFalse(d.find_element("id", "outputs").is_displayed())
        wait_until(lambda: d.find_elements("css selector", "#program-list button"), 15, "the program list")
        self.screenshot("remote-phone-programs")
        self.assertEqual(severe_console_lines(d), [])

    def test_a_tablet_shows_inputs_and_outputs_and_names_every_control(self):
        d = self.driver
        set_viewport(d, 1024, 768, False)
        self.logged_in("installer")
        self.assertTrue(d.find_element("id", "inputs").is_displayed())
        self.assertTrue(d.find_element("id", "outputs").is_displayed())
        self.assertFalse(d.find_element("css selector", ".tabs").is_displayed())
        wait_until(lambda: d.execute_script("return window.quellmarinStats.levelEvents") > 3, 10, "levels")
        self.screenshot("remote-tablet")
        # What a screen reader is told: every button, slider and list box has a name.
        tree = d.execute_cdp_cmd("Accessibility.getFullAXTree", {})["nodes"]
        unnamed = [n["role"]["value"] for n in tree
                   if n.get("role", {}).get("value") in ("button", "slider", "combobox", "textbox")
                   and not n.get("ignored") and not n.get("name", {}).get("value")]
        self.assertEqual(unnamed, [])
        names = {n.get("name", {}).get("value") for n in tree}
        for name in ("Output 3 mute", "Input 1 gain", "Output 8 polarity inverted", "Processor"):
            self.assertIn(name, names)
        # The keyboard alone: the mute takes a Space.
        before = len(self.rig.frames())
        was = pressed(d, "Input 2 mute")
        from selenium.webdriver.common.keys import Keys
        by_label(d, "Input 2 mute").send_keys(Keys.SPACE)
        wait_until(lambda: pressed(d, "Input 2 mute") != was, 5, "the keyboard's mute")
        # The frame may queue behind the program list the page is reading.
        wait_until(lambda: any(f.startswith("(01$0301") for f in self.rig.frames()[before:]), 10, "the mute frame")

    def test_zz_the_page_reconnects_after_the_server_went_away(self):
        d, rig = self.driver, self.rig
        self.logged_in("operator")
        rig.stop_server()
        banner = d.find_element("id", "banner")
        wait_until(banner.is_displayed, 10, "the banner")
        self.assertIn("reconnecting", banner.text)
        self.assertFalse(by_label(d, "Output 3 mute").is_enabled())
        rig.start_server()
        wait_until(lambda: not banner.is_displayed(), 20, "the reconnection")
        wait_until(lambda: by_label(d, "Output 3 mute") and by_label(d, "Output 3 mute").is_enabled(), 10,
                   "the controls back")
        before = len(rig.frames())
        was = pressed(d, "Output 1 mute")
        by_label(d, "Output 1 mute").click()
        wait_until(lambda: pressed(d, "Output 1 mute") != was, 10, "a mute after the reconnection")
        wait_until(lambda: any(f.startswith("(01$0370") for f in rig.frames()[before:]), 10, "the mute frame")


if __name__ == "__main__":
    unittest.main(verbosity=2)
