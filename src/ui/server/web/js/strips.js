// One channel's strip: its name, a meter with peak hold, mute, gain in steps and on a fader, and for
// outputs the polarity. A drag on the fader sends at most the newest value, one request at a time.

const GAIN_MIN = -90;
const GAIN_MAX = 12;
const LEVEL_FULL = 96;
const PEAK_HOLD_MS = 1500;
const PEAK_FALL_PER_S = 40;
const FADER_GAP_MS = 100;

export function gainText(db) {
  const rounded = Math.round(db * 10) / 10;
  const sign = rounded > 0 ? "+" : rounded < 0 ? "\u2212" : "";
  return `${sign}${Math.abs(rounded).toFixed(1)} dB`;
}

// An element with its attributes and text.
export function element(tag, attributes = {}, text = "") {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attributes)) e.setAttribute(k, v);
  if (text) e.textContent = text;
  return e;
}

export class Strip {
  // section: "inputs" or "outputs"; actions: set(path, body, what) → promise, refresh()
  constructor(section, data, actions) {
    this.section = section;
    this.number = data.number;
    this.actions = actions;
    this.path = `${section}/${data.number}`;
    this.title = `${section === "inputs" ? "Input" : "Output"} ${data.label.split(" ")[1]}`;
    this.gain = data.gain ?? 0;
    this.pending = null;
    this.sending = false;
    this.dragging = false;
    this.level = 0;
    this.peak = 0;
    this.peakAt = 0;

    const root = element("div", { class: "strip", role: "group" });
    const head = element("div", { class: "head" });
    this.labelEl = element("span", { class: "label" }, this.title);
    this.aliasEl = element("span", { class: "alias" });
    this.gainEl = element("span", { class: "gain-value", "aria-hidden": "true" });
    head.append(this.labelEl, this.aliasEl, element("span", { class: "spacer" }), this.gainEl);

    this.meter = element("div", { class: "meter", role: "meter", "aria-valuemin": "0", "aria-valuemax": `${LEVEL_FULL}` });
    this.levelEl = element("div", { class: "level" });
    this.peakEl = element("div", { class: "peak" });
    this.meter.append(this.levelEl, this.peakEl);

    const row = element("div", { class: "row" });
    this.muteButton = element("button", { type: "button", class: "mute", "aria-pressed": "false" }, "Mute");
    this.muteButton.addEventListener("click", (e) => {
      // When the tap happened, on the machine's clock, for whoever measures the way to the processor.
      if (window.quellmarinStats) window.quellmarinStats.lastTapAt = performance.timeOrigin + e.timeStamp;
      this.toggleMute();
    });
    row.append(this.muteButton);
    if (section === "outputs") {
      // "Ø" is the polarity sign on a console; the accessible name says it in words.
      this.polarityButton = element("button", { type: "button", class: "polarity", "aria-pressed": "false" }, "\u00d8");
      this.polarityButton.addEventListener("click", () => this.togglePolarity());
      row.append(this.polarityButton);
    }
    this.stepButtons = [-3, -1, 1, 3].map((step) => {
      const b = element("button", { type: "button", class: "step" }, step > 0 ? `+${step}` : `\u2212${-step}`);
      b.dataset.step = String(step);
      b.addEventListener("click", () => this.step(step));
      row.append(b);
      return b;
    });

    this.fader = element("input", { type: "range", class: "fader", min: `${GAIN_MIN}`, max: `${GAIN_MAX}`, step: "1" });
    this.fader.addEventListener("pointerdown", () => (this.dragging = true));
    this.fader.addEventListener("input", () => this.faderMoved());
    this.fader.addEventListener("change", () => {
      this.dragging = false;
      this.faderMoved();
    });

    row.append(this.fader);
    root.append(head, this.meter, row);
    this.root = root;
    this.update(data);
  }

  name() {
    return this.alias ? `${this.title} ${this.alias}` : this.title;
  }

  update(data) {
    // A name the processor was never given is all stars: the strip shows none.
    this.alias = data.name && !/^\**$/.test(data.name) ? data.name : "";
    this.aliasEl.textContent = this.alias;
    const n = this.name();
    this.root.setAttribute("aria-label", n);
    this.muted = !!data.mute;
    this.muteButton.setAttribute("aria-pressed", String(this.muted));
    this.muteButton.setAttribute("aria-label", `${n} mute`);
    this.muteButton.textContent = this.muted ? "Muted" : "Mute";
    this.root.classList.toggle("muted", this.muted);
    if (this.polarityButton) {
      this.inverted = data.polarity === "inverted";
      this.polarityButton.setAttribute("aria-pressed", String(this.inverted));
      this.polarityButton.setAttribute("aria-label", `${n} polarity inverted`);
    }
    for (const b of this.stepButtons) {
      const step = Number(b.dataset.step);
      b.setAttribute("aria-label", `${n} gain ${step > 0 ? "up" : "down"} ${Math.abs(step)} dB`);
    }
    this.meter.setAttribute("aria-label", `${n} level`);
    this.fader.setAttribute("aria-label", `${n} gain`);
    if (typeof data.gain === "number" && !this.dragging && this.pending === null && !this.sending) {
      this.gain = data.gain;
      this.fader.value = String(Math.round(this.gain));
    }
    this.showGain(this.dragging || this.pending !== null ? Number(this.fader.value) : this.gain);
  }

  showGain(db) {
    this.gainEl.textContent = gainText(db);
    this.fader.setAttribute("aria-valuetext", gainText(db));
  }

  // allowed: {mute, gain, polarity} each true or the reason it is not
  allow(allowed) {
    const apply = (control, permission) => {
      control.disabled = permission !== true;
      if (permission === true) control.removeAttribute("title");
      else control.title = permission;
    };
    apply(this.muteButton, allowed.mute);
    for (const b of this.stepButtons) apply(b, allowed.gain);
    apply(this.fader, allowed.gain);
    if (this.polarityButton) apply(this.polarityButton, allowed.polarity);
  }

  toggleMute() {
    this.actions.set(`${this.path}/mute`, { value: !this.muted }, `${this.name()} mute`);
  }

  togglePolarity() {
    this.actions.set(`${this.path}/polarity`, { value: this.inverted ? "normal" : "inverted" }, `${this.name()} polarity`);
  }

  step(db) {
    this.actions.set(`${this.path}/gain`, { step: db }, `${this.name()} gain`);
  }

  faderMoved() {
    this.pending = Number(this.fader.value);
    this.showGain(this.pending);
    this.pump();
  }

  pump() {
    if (this.sending || this.pending === null) return;
    const value = this.pending;
    this.pending = null;
    this.sending = true;
    const started = performance.now();
    this.actions
      .set(`${this.path}/gain`, { value, unit: "dB" }, `${this.name()} gain`)
      .finally(() => {
        setTimeout(() => {
          this.sending = false;
          if (this.pending !== null) this.pump();
          else this.actions.refresh(); // what the processor now holds, should a change have passed by meanwhile
        }, Math.max(0, FADER_GAP_MS - (performance.now() - started)));
      });
  }

  // A meter reading, 0 (nothing) to 96 (full); the peak holds, then falls.
  setLevel(value, now) {
    this.level = Math.max(0, Math.min(LEVEL_FULL, value));
    if (this.level >= this.peak) {
      this.peak = this.level;
      this.peakAt = now;
    }
    this.meter.setAttribute("aria-valuenow", String(this.level));
  }

  // Draws the meter.
  paint(now) {
    const held = now - this.peakAt;
    if (held > PEAK_HOLD_MS) {
      this.peak = Math.max(this.level, this.peak - ((held - PEAK_HOLD_MS) / 1000) * PEAK_FALL_PER_S);
      this.peakAt = now - PEAK_HOLD_MS;
    }
    // The bar keeps its colours where they are on the scale; only what is above the level is cut off.
    this.levelEl.style.clipPath = `inset(0 ${100 - (this.level / LEVEL_FULL) * 100}% 0 0)`;
    this.peakEl.style.left = `calc(${(this.peak / LEVEL_FULL) * 100}% - 3px)`;
  }

  stale(on) {
    this.meter.classList.toggle("stale", on);
  }
}
