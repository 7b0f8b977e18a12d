// The page's one connection to the server: a WebSocket that says who it is first, requests answered
// as promises, events passed on, and a reconnection with back-off when the network drops.

export class RequestError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

export class Connection {
  // handlers: ready({name, role}), refused(message), lost(retryMs, everReady), event(message)
  constructor(token, handlers) {
    this.token = token;
    this.handlers = handlers;
    this.nextId = 1;
    this.waiting = new Map();
    this.ws = null;
    this.retryMs = 500;
    this.authed = false;
    this.everReady = false;
    this.ended = false;
    this.timer = 0;
  }

  open() {
    const scheme = location.protocol === "https:" ? "wss" : "ws";
    const ws = new WebSocket(`${scheme}://${location.host}/api/v1/ws`);
    this.ws = ws;
    // The token goes in the first message, never in the address.
    ws.onopen = () => ws.send(JSON.stringify({ id: 0, command: "auth", token: this.token }));
    ws.onmessage = (e) => this.receive(e.data);
    ws.onclose = () => this.closed(ws);
    ws.onerror = () => {}; // the close that follows says what happened
  }

  get ready() {
    return this.authed && this.ws && this.ws.readyState === WebSocket.OPEN;
  }

  receive(text) {
    let m;
    try {
      m = JSON.parse(text);
    } catch {
      return;
    }
    if (m.event) {
      this.handlers.event(m);
      return;
    }
    if (m.id === 0 && !this.authed) {
      if (m.result === "ok") {
        this.authed = true;
        this.everReady = true;
        this.retryMs = 500;
        this.handlers.ready({ name: m.token, role: m.role });
      } else {
        this.ended = true;
        this.handlers.refused(m.message || "the token is not valid");
      }
      return;
    }
    const waiter = this.waiting.get(m.id);
    if (!waiter) return;
    this.waiting.delete(m.id);
    if (m.result === "ok") waiter.resolve(m.data ?? {});
    else waiter.reject(new RequestError(m.status ?? 0, m.message || "refused"));
  }

  // command: "get", "set" or "call"; path under /api/v1 ("/devices/1/outputs/3/mute").
  request(command, path, body = {}) {
    return this.send({ command, path, ...body });
  }

  subscribe(what) {
    return this.send({ command: "subscribe", ...what });
  }

  send(message) {
    if (!this.ready) return Promise.reject(new RequestError(0, "not connected to the server"));
    const id = this.nextId++;
    this.ws.send(JSON.stringify({ id, ...message }));
    return new Promise((resolve, reject) => this.waiting.set(id, { resolve, reject }));
  }

  closed(ws) {
    if (ws !== this.ws) return;
    this.authed = false;
    for (const waiter of this.waiting.values()) waiter.reject(new RequestError(0, "the connection to the server dropped"));
    this.waiting.clear();
    if (this.ended) return;
    const retry = this.retryMs;
    this.retryMs = Math.min(this.retryMs * 2, 8000);
    this.handlers.lost(retry, this.everReady);
    this.timer = setTimeout(() => this.open(), retry);
  }

  close() {
    this.ended = true;
    clearTimeout(this.timer);
    if (this.ws) this.ws.close();
  }
}
