// The remote page: log in with a token, pick a processor of the rig, and work its channels, programs
// and test tone over the server's WebSocket. What another client or the window changes arrives as
// change events and is shown at once.
import { Connection } from "./connection.js";
import { Programs } from "./programs.js";
import { Strip } from "./strips.js";

const TOKEN_KEY = "quellmarin.token";
const DEVICE_KEY = "quellmarin.device";
const POLL_MS = 2000;
const LEVEL_RATE = 10;

const $ = (id) => document.getElementById(id);

// What the page's meters did, for whoever measures them.
const stats = { levelEvents: 0, meterPaints: 0 };
window.quellmarinStats = stats;

const page = {
  connection: null,
  who: null,
  devices: [],
  device: null,
  lock: { locked: false, holder: "" },
  strips: new Map(), // "outputs/3" → Strip
  stripsTurn: 0,
  stripsTimer: 0,
  devicesTimer: 0,
  pollTimer: 0,
  painting: false,
  levelsAt: 0,
  section: sessionStorage.getItem("quellmarin.section") || "outputs",
};

function announce(text) {
  const region = $("announce");
  region.textContent = "";
  // A new text in a fresh turn, so that a screen reader says it even when it repeats.
  setTimeout(() => (region.textContent = text), 30);
}

function banner(text) {
  $("banner").hidden = !text;
  $("banner").textContent = text || "";
  $("app").classList.toggle("offline", !!text);
}

// A refused request: what and why, shown for a while where the page says what may be done. A dropped
// connection says so in the banner by itself.
function failed(error, what) {
  const message = `${what}: ${error.message}`;
  announce(message);
  if (error.status === 0) return;
  $("readonly").hidden = false;
  $("readonly").textContent = message;
  clearTimeout(failed.timer);
  failed.timer = setTimeout(showPermissions, 5000);
}

const request = (command, path, body) => page.connection.request(command, path, body);
const devicePath = (rest) => `/devices/${page.device}${rest ? "/" + rest : ""}`;

// ---- Logging in ------------------------------------------------------------------------------------

function showLogin(message) {
  $("app").hidden = true;
  $("login").hidden = false;
  $("login-message").textContent = message || "";
  $("token").value = "";
  $("token").focus();
}

function logIn(token) {
  if (page.connection) page.connection.close();
  $("login-button").disabled = true;
  $("login-message").textContent = "";
  page.connection = new Connection(token, {
    ready: (who) => {
      sessionStorage.setItem(TOKEN_KEY, token);
      page.who = who;
      $("login-button").disabled = false;
      $("login").hidden = true;
      $("app").hidden = false;
      $("who").textContent = `Logged in as ${who.name} (${who.role})`;
      banner("");
      started();
    },
    refused: (message) => {
      sessionStorage.removeItem(TOKEN_KEY);
      $("login-button").disabled = false;
      stopped();
      showLogin(`Not logged in: ${message}.`);
    },
    lost: (retryMs, everReady) => {
      $("login-button").disabled = false;
      stopped();
      const seconds = Math.max(1, Math.round(retryMs / 1000));
      const text = `The connection to the server is lost \u2014 reconnecting in ${seconds} s\u2026`;
      if (everReady) {
        banner(text);
        announce(text);
        showPermissions();
      } else {
        $("login-message").textContent = `The server does not answer \u2014 trying again in ${seconds} s\u2026`;
      }
    },
    event: received,
  });
  page.connection.open();
}

function logOut() {
  if (page.connection) page.connection.close();
  page.connection = null;
  sessionStorage.removeItem(TOKEN_KEY);
  stopped();
  showLogin("Logged out.");
}

// ---- The rig ---------------------------------------------------------------------------------------

async function started() {
  await refreshDevices(true);
  clearInterval(page.pollTimer);
  page.pollTimer = setInterval(poll, POLL_MS);
}

function stopped() {
  clearInterval(page.pollTimer);
  for (const strip of page.strips.values()) strip.stale(true);
}

async function poll() {
  if (!page.connection || !page.connection.ready) return;
  await refreshDevices();
  await refreshTone();
}

// The rig and its lock. A processor that appears, goes, or is the first, is shown (and followed) anew;
// after a reconnection (`follow`) the one shown is followed again.
async function refreshDevices(follow = false) {
  try {
    const [list, lock] = await Promise.all([request("get", "/devices"), request("get", "/lock")]);
    page.devices = list.devices || [];
    page.lock = lock;
  } catch (error) {
    if (error.status !== 0) failed(error, "Reading the rig");
    return;
  }
  const select = $("device");
  const wanted = page.device ?? Number(sessionStorage.getItem(DEVICE_KEY));
  const known = page.devices.some((d) => d.id === wanted);
  const options = page.devices.map((d) => {
    const o = document.createElement("option");
    o.value = String(d.id);
    o.textContent = `${d.name} (ID ${d.id})`;
    return o;
  });
  select.replaceChildren(...options);
  const chosen = known ? wanted : page.devices.length ? page.devices[0].id : null;
  if (chosen !== null) select.value = String(chosen);
  select.disabled = page.devices.length < 2;
  if (follow || chosen !== page.device || (chosen !== null && page.strips.size === 0)) await choose(chosen);
  else showDeviceState();
}

function current() {
  return page.devices.find((d) => d.id === page.device);
}

function showDeviceState() {
  const d = current();
  const chip = $("device-state");
  const state = d ? d.state : "no processor";
  const text = state === "connected" ? "Connected" : state.charAt(0).toUpperCase() + state.slice(1);
  if (chip.textContent !== text && chip.textContent) announce(`${d ? d.name : "Processor"}: ${text}`);
  chip.textContent = text;
  chip.className = `chip ${state === "connected" ? "ok" : "bad"}`;
  const lock = $("lock-state");
  lock.hidden = !page.lock.locked;
  lock.textContent = page.lock.holder === page.who?.name ? "You hold the lock" : `Locked by ${page.lock.holder}`;
  showPermissions();
}

// Shows processor `id`, and follows its changes and levels (again, after a reconnection).
async function choose(id) {
  if (id === null || id === undefined) {
    page.device = null;
    page.strips.clear();
    $("input-strips").replaceChildren();
    $("output-strips").replaceChildren();
    programs.clear();
    return;
  }
  const changed = page.device !== id || page.strips.size === 0;
  page.device = id;
  sessionStorage.setItem(DEVICE_KEY, String(id));
  showDeviceState();
  try {
    await page.connection.subscribe({ changes: true, levels: { device: id, rate: LEVEL_RATE } });
  } catch (error) {
    failed(error, "Following the processor");
  }
  if (changed) {
    page.strips.clear();
    $("input-strips").replaceChildren();
    $("output-strips").replaceChildren();
  }
  await Promise.all([refreshStrips(), refreshTone()]);
  if (changed) programs.read();
}

async function refreshStrips() {
  const turn = ++page.stripsTurn;
  const device = page.device;
  let answer;
  try {
    answer = await request("get", devicePath("strips"));
  } catch (error) {
    if (error.status !== 0) failed(error, "Reading the channels");
    return;
  }
  if (turn !== page.stripsTurn || device !== page.device) return;
  for (const section of ["inputs", "outputs"]) {
    const box = $(section === "inputs" ? "input-strips" : "output-strips");
    for (const data of answer[section] || []) {
      const key = `${section}/${data.number}`;
      let strip = page.strips.get(key);
      if (!strip) {
        strip = new Strip(section, data, { set, refresh: scheduleStrips });
        page.strips.set(key, strip);
        box.append(strip.root);
      } else {
        strip.update(data);
      }
    }
  }
  showPermissions();
}

function scheduleStrips() {
  clearTimeout(page.stripsTimer);
  page.stripsTimer = setTimeout(refreshStrips, 30);
}

async function refreshTone() {
  if (page.device === null) return;
  try {
    programs.showTone(await request("get", devicePath("generator")));
  } catch (error) {
    if (error.status !== 0) programs.showTone(null);
  }
}

async function set(path, body, what) {
  try {
    return await request("set", devicePath(path), body);
  } catch (error) {
    failed(error, what);
    scheduleStrips();
    throw error;
  }
}

// ---- What may be done ------------------------------------------------------------------------------

const RANK = { viewer: 0, operator: 1, installer: 2 };

function showPermissions() {
  const role = page.who ? page.who.role : "viewer";
  const rank = RANK[role] ?? 0;
  const d = current();
  let blocked = "";
  if (!page.connection || !page.connection.ready) blocked = "Not connected to the server";
  else if (!d || d.state !== "connected") blocked = `${d ? d.name : "The processor"} is ${d ? d.state : "missing"}`;
  else if (page.lock.locked && page.lock.holder !== page.who.name) blocked = `The rig is locked by ${page.lock.holder}`;
  const needs = (least, reason) => blocked || (rank >= least ? true : reason);
  const viewerReason = "A viewer token reads settings and levels only";
  const allowed = {
    mute: needs(1, viewerReason),
    gain: needs(1, viewerReason),
    polarity: needs(2, rank === 0 ? viewerReason : "Polarity is an installer's setting"),
  };
  for (const strip of page.strips.values()) strip.allow(allowed);
  programs.allow({ recall: needs(1, viewerReason), stop: needs(1, viewerReason) });
  const note = $("readonly");
  const text =
    blocked ||
    (rank === 0
      ? "Viewer: read only. Mutes, gains, programs and the test tone need an operator's token."
      : rank === 1
        ? "Operator: mutes, gains, programs and stopping the test tone. Polarity is an installer's."
        : "");
  note.hidden = !text;
  note.textContent = text;
}

// ---- Events from the server ------------------------------------------------------------------------

function received(m) {
  if (m.event === "levels") {
    if (m.device !== page.device) return;
    stats.levelEvents++;
    const now = performance.now();
    page.levelsAt = now;
    for (const section of ["inputs", "outputs"]) {
      const values = m[section];
      if (!Array.isArray(values)) continue;
      values.forEach((v, i) => {
        const strip = page.strips.get(`${section}/${i + 1}`);
        if (strip) {
          strip.setLevel(v, now);
          strip.stale(false);
        }
      });
    }
    if (!Array.isArray(m.inputs)) for (const strip of page.strips.values()) strip.stale(true);
    paintSoon();
    return;
  }
  if (m.event === "change") {
    if (m.device === page.device) {
      scheduleStrips();
      if (m.setting === "generator") refreshTone();
      if (m.setting === "program no") {
        const slot = Number(m.new);
        if (slot) programs.setCurrent(slot);
        clearTimeout(page.devicesTimer);
        page.devicesTimer = setTimeout(refreshDevices, 50);
      }
      if (m.by !== page.who?.name && /mute$/.test(m.setting))
        announce(`${m.setting.replace("out", "Output").replace("in", "Input")} ${m.new === "on" ? "muted" : "unmuted"} by ${m.by}`);
    }
  }
}

function paintSoon() {
  if (page.painting) return;
  page.painting = true;
  requestAnimationFrame(paint);
}

// The meters are drawn once a level reading, at the next frame of the screen: a phone's battery pays
// for no more than the levels the server sends, and a held peak falls a step each time.
function paint(now) {
  page.painting = false;
  stats.meterPaints++;
  for (const strip of page.strips.values()) strip.paint(now);
}

// ---- Sections on a phone ---------------------------------------------------------------------------

function showSection(name, focus) {
  page.section = name;
  sessionStorage.setItem("quellmarin.section", name);
  for (const tab of document.querySelectorAll(".tab")) {
    const on = tab.dataset.section === name;
    tab.setAttribute("aria-selected", String(on));
    $(tab.dataset.section).classList.toggle("shown", on);
  }
  if (focus) $(name).querySelector("h2").focus();
}

// ---- Start -----------------------------------------------------------------------------------------

const programs = new Programs({
  list: () => request("get", devicePath("programs")),
  recall: (slot) => request("call", devicePath(`programs/${slot}/recall`)),
  stopTone: () => request("set", devicePath("generator"), { running: false }),
  announce,
  failed,
});

$("login-form").addEventListener("submit", (e) => {
  e.preventDefault();
  const token = $("token").value.trim();
  if (token) logIn(token);
});
$("logout").addEventListener("click", logOut);
$("device").addEventListener("change", (e) => choose(Number(e.target.value)));
for (const tab of document.querySelectorAll(".tab")) {
  tab.setAttribute("role", "tab");
  tab.addEventListener("click", () => showSection(tab.dataset.section, false));
}
document.querySelector(".tabs").setAttribute("role", "tablist");
for (const h of document.querySelectorAll(".section h2")) h.tabIndex = -1;
showSection(page.section, false);

const saved = sessionStorage.getItem(TOKEN_KEY);
if (saved) logIn(saved);
else showLogin("");
