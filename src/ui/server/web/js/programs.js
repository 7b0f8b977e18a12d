// The programs stored in the processor, recalled after a confirmation, and the test tone's state.
import { element } from "./strips.js";

export class Programs {
  // actions: list() → promise of {programs}, recall(slot) → promise, stopTone() → promise,
  //          announce(text), failed(error, what)
  constructor(actions) {
    this.actions = actions;
    this.list = document.getElementById("program-list");
    this.state = document.getElementById("programs-state");
    this.dialog = document.getElementById("confirm");
    this.confirmText = document.getElementById("confirm-text");
    this.toneBox = document.getElementById("tone");
    this.toneState = document.getElementById("tone-state");
    this.toneStop = document.getElementById("tone-stop");
    this.allowed = { recall: "not connected", stop: "not connected" };
    this.programs = [];
    this.reading = 0;
    this.toneStop.addEventListener("click", () => this.stopTone());
    document.getElementById("programs-refresh").addEventListener("click", () => this.read());
  }

  clear() {
    this.programs = [];
    this.list.replaceChildren();
  }

  async read() {
    const turn = ++this.reading;
    this.state.textContent = "Reading the programs from the processor\u2026";
    try {
      const answer = await this.actions.list();
      if (turn !== this.reading) return;
      this.programs = answer.programs || [];
      this.render();
      const stored = this.programs.filter((p) => !p.empty).length;
      this.state.textContent = `${stored} of ${this.programs.length} programs stored.`;
    } catch (error) {
      if (turn !== this.reading) return;
      this.state.textContent = `The programs could not be read: ${error.message}`;
    }
  }

  // The processor now runs program `slot`.
  setCurrent(slot) {
    for (const p of this.programs) p.current = p.slot === slot;
    this.render();
  }

  render() {
    const items = this.programs
      .filter((p) => !p.empty)
      .map((p) => {
        const name = p.name.replace(/\.+$/, "").trim() || `Program ${p.slot}`;
        const li = element("li", p.current ? { class: "current", "aria-current": "true" } : {});
        const button = element("button", { type: "button", class: "recall", "aria-label": `Recall program ${p.slot} ${name}` }, "Recall");
        button.addEventListener("click", () => this.confirm(p.slot, name));
        li.append(element("span", { class: "slot" }, String(p.slot).padStart(2, "0")), element("span", { class: "name" }, name));
        if (p.current) li.append(element("span", { class: "help" }, "current"));
        li.append(button);
        return li;
      });
    this.list.replaceChildren(...items);
    this.showRecallButtons();
  }

  // What may be done changes often (the rig's state, the lock): the buttons change, the list stays,
  // and so does the keyboard's focus in it.
  allow(allowed) {
    this.allowed = allowed;
    this.showRecallButtons();
    this.showToneButton();
  }

  showRecallButtons() {
    for (const button of this.list.querySelectorAll("button.recall")) {
      button.disabled = this.allowed.recall !== true;
      if (this.allowed.recall === true) button.removeAttribute("title");
      else button.title = this.allowed.recall;
    }
  }

  confirm(slot, name) {
    this.confirmText.textContent = `Recall program ${slot} \u201c${name}\u201d? The processor's settings are replaced by the program's.`;
    this.dialog.returnValue = "";
    this.dialog.onclose = () => {
      if (this.dialog.returnValue === "ok") this.recall(slot, name);
    };
    this.dialog.showModal();
    document.getElementById("confirm-cancel").focus();
  }

  async recall(slot, name) {
    this.state.textContent = `Recalling program ${slot} \u201c${name}\u201d\u2026`;
    try {
      await this.actions.recall(slot);
      this.setCurrent(slot);
      this.state.textContent = `Program ${slot} \u201c${name}\u201d recalled.`;
      this.actions.announce(this.state.textContent);
    } catch (error) {
      this.state.textContent = `Program ${slot} was not recalled: ${error.message}`;
      this.actions.failed(error, `Recalling program ${slot}`);
    }
  }

  // generator: {running, frequency, level}
  showTone(generator) {
    this.tone = generator;
    const running = !!(generator && generator.running);
    this.toneBox.classList.toggle("running", running);
    this.toneState.textContent = !generator
      ? "Test tone: unknown"
      : running
        ? `Test tone ON: ${generator.frequency}, ${generator.level} dB`
        : "Test tone: off";
    this.showToneButton();
  }

  showToneButton() {
    const running = !!(this.tone && this.tone.running);
    const permission = !running ? "no test tone is running" : this.allowed.stop;
    this.toneStop.disabled = permission !== true;
    if (permission === true) this.toneStop.removeAttribute("title");
    else this.toneStop.title = permission;
  }

  async stopTone() {
    try {
      await this.actions.stopTone();
      this.showTone({ ...this.tone, running: false });
      this.actions.announce("Test tone stopped.");
    } catch (error) {
      this.actions.failed(error, "Stopping the test tone");
    }
  }
}
