#!/usr/bin/python3
"""Figures of the remote page in headless Chromium against quellmarin-server and quellmarin-sim on a
pseudo-terminal, all on loopback: tap on mute → frame at the processor (median of 50), the page's
weight, and how often its meters are drawn with 10 Hz levels.

    /usr/bin/python3 bench/browser_figures.py [BUILD_DIR]"""

import os
import statistics
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "web"))
from remote_rig import Rig, browser, by_label, log_in, wait_until  # noqa: E402

build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build")
rig = Rig(os.path.join(build, "src", "quellmarin-server"), os.path.join(build, "src", "quellmarin-sim"))
driver = browser()
try:
    log_in(driver, rig, "operator")
    wait_until(lambda: by_label(driver, "Output 3 mute"), 10, "the strips")
    # The program list is read once at the start; the taps wait until it is in.
    wait_until(lambda: driver.find_elements("css selector", "#program-list button"), 30, "the programs")

    taps = []
    for i in range(50):
        mute = by_label(driver, "Output 3 mute")
        wait_until(mute.is_enabled, 5, "the mute")
        was = mute.get_attribute("aria-pressed") == "true"
        frame = f"(01$0372{'000' if was else '001'})"
        seen = rig.frames().count(frame)
        mute.click()
        # From the tap as the page saw it (its event's time on this machine's clock) to the frame in the
        # processor's log, looked for every half millisecond.
        end = time.monotonic() + 10
        while rig.frames().count(frame) <= seen and time.monotonic() < end:
            time.sleep(0.0005)
        arrived = time.time() * 1000
        tapped = driver.execute_script("return window.quellmarinStats.lastTapAt")
        taps.append(arrived - tapped)
        wait_until(lambda: (by_label(driver, "Output 3 mute").get_attribute("aria-pressed") == "true") != was, 5,
                   "the strip")
    taps.sort()
    print(f"tap on mute -> frame at the processor: median {statistics.median(taps):.1f} ms, "
          f"90th {taps[int(len(taps) * 0.9) - 1]:.1f} ms, max {taps[-1]:.1f} ms over {len(taps)} taps "
          "(from the page's click event)")

    weight = driver.execute_script("""
        const all = performance.getEntriesByType('navigation').concat(performance.getEntriesByType('resource'));
        return [all.reduce((sum, e) => sum + e.transferSize, 0), all.length];""")
    print(f"page weight: {weight[0] / 1024:.1f} KiB in {weight[1]} files")

    before = driver.execute_script("return Object.assign({}, window.quellmarinStats)")
    time.sleep(10)
    after = driver.execute_script("return Object.assign({}, window.quellmarinStats)")
    events = (after["levelEvents"] - before["levelEvents"]) / 10
    paints = (after["meterPaints"] - before["meterPaints"]) / 10
    print(f"meters at 10 Hz levels: {events:.1f} level events/s, {paints:.1f} meter frames drawn/s")
finally:
    driver.quit()
    rig.stop()
