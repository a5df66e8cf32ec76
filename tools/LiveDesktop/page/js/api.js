// Talking to the live desktop's server: JSON requests whose refusals carry the server's own
// message, the user's hand sent one action at a time, in the order it happened, and the
// session's event stream.

export class ServerError extends Error {
  constructor(message, status) {
    super(message);
    this.status = status;
  }
}

const kUnreachable = "The live desktop does not answer: the program may have ended.";
// A session served to other machines gives its page a token in the address; every request
// carries it.
const kToken = new URLSearchParams(globalThis.location?.search ?? "").get("token");

// The answer's JSON (or text); a refusal throws a ServerError with the server's message.
export async function request(path, { method = "GET", body } = {}) {
  let answer;
  try {
    answer = await fetch(path, {
      method,
      cache: "no-store",
      headers: {
        ...(body === undefined ? {} : { "Content-Type": "application/json" }),
        ...(kToken ? { "X-Quenfold-Token": kToken } : {}),
      },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
  } catch {
    throw new ServerError(kUnreachable, 0);
  }
  const isJson = (answer.headers.get("Content-Type") || "").startsWith("application/json");
  let payload;
  try {
    payload = isJson ? await answer.json() : await answer.text();
  } catch {
    throw new ServerError(kUnreachable, 0);
  }
  if (!answer.ok) {
    const message =
      payload && typeof payload === "object" && typeof payload.error === "string"
        ? payload.error
        : `${method} ${path} was answered ${answer.status}`;
    throw new ServerError(message, answer.status);
  }
  return payload;
}

// The hand's actions as messages of a WebSocket opened at /api/hand: a browser sends a message on
// an open socket in a fraction of the time it takes to start a request, and a click's redrawing
// waits for its answer. The server answers a socket's messages in order, each as the request
// would be answered. While no socket is open the actions go as requests, and the next action
// opens one again (never a timer: an idle page asks nothing); after a socket that did not open,
// the next try waits a while.
const kReopenMilliseconds = 5000;

export class HandChannel {
  constructor(path) {
    this.path = path;
    this.socket = null;
    this.waiting = [];  // the answers to come, in the order their messages went
    this.failedAt = -Infinity;
    this.open();
  }

  open() {
    const address = new URL(this.path, globalThis.location.href);
    address.protocol = address.protocol === "https:" ? "wss:" : "ws:";
    address.search = kToken ? `?token=${encodeURIComponent(kToken)}` : "";
    const socket = new WebSocket(address);
    let opened = false;
    this.socket = socket;
    socket.onopen = () => {
      opened = true;
    };
    socket.onmessage = (message) => this.waiting.shift()?.take(message.data);
    // An action whose answer did not come may or may not have been carried out: it is reported
    // as a request that found no server is, and not sent again.
    socket.onclose = () => {
      if (this.socket === socket) {
        this.socket = null;
      }
      if (!opened) {
        this.failedAt = performance.now();
      }
      for (const waiter of this.waiting.splice(0)) {
        waiter.fail();
      }
    };
  }

  // The answer's JSON; a refusal throws a ServerError with the server's message.
  send(body) {
    const socket = this.socket;
    if (socket?.readyState !== WebSocket.OPEN) {
      if (!socket && performance.now() - this.failedAt > kReopenMilliseconds) {
        this.open();
      }
      return request(this.path, { method: "POST", body });
    }
    return new Promise((resolve, reject) => {
      this.waiting.push({
        take: (text) => {
          let answer;
          try {
            answer = JSON.parse(text);
          } catch {
            reject(new ServerError(kUnreachable, 0));
            return;
          }
          if (answer && typeof answer.error === "string") {
            reject(new ServerError(answer.error, 400));
          } else {
            resolve(answer);
          }
        },
        fail: () => reject(new ServerError(kUnreachable, 0)),
      });
      socket.send(JSON.stringify(body));
    });
  }
}

// A statement word as the desktop-script language reads it: quoted when it holds anything but
// plain characters.
export function scriptWord(text) {
  if (/^[^\s"#\\=]+$/.test(text)) {
    return text;
  }
  return `"${text.replace(/[\\"]/g, (c) => "\\" + c)}"`;
}

// Everything the page asks of the session that changes it (the hand's actions, statements,
// the recording) goes to the server strictly one after another, in the order it happened, so
// that a press always precedes its release and a double click stays one. Moves are many and
// matter only for where the pointer ends: a move still waiting is replaced by a newer one, and
// moves go out at most every `moveInterval` ms unless something else waits behind them.
export class ActionQueue {
  constructor({ moveInterval = 50 } = {}) {
    this.moveInterval = moveInterval;
    this.waiting = [];
    this.running = false;
    this.lastMoveSent = -Infinity;
    this.wake = null;
  }

  // `job` is { move: bool, run: async () => … }; a failing job does not stop the ones after it
  // (it reports its own failure).
  push(job) {
    const last = this.waiting[this.waiting.length - 1];
    if (job.move && last && last.move) {
      this.waiting[this.waiting.length - 1] = job;
    } else {
      this.waiting.push(job);
    }
    if (this.wake) {
      this.wake();
    }
    this.run();
  }

  get idle() {
    return !this.running && this.waiting.length === 0;
  }

  async run() {
    if (this.running) {
      return;
    }
    this.running = true;
    try {
      while (this.waiting.length > 0) {
        const next = this.waiting[0];
        if (next.move && this.waiting.length === 1) {
          const wait = this.lastMoveSent + this.moveInterval - performance.now();
          if (wait > 0) {
            await new Promise((resolve) => {
              const timer = setTimeout(resolve, wait);
              this.wake = () => {
                clearTimeout(timer);
                resolve();
              };
            });
            this.wake = null;
            continue;
          }
        }
        this.waiting.shift();
        if (next.move) {
          this.lastMoveSent = performance.now();
        }
        try {
          await next.run();
        } catch (failure) {
          console.error(failure);
        }
      }
    } finally {
      this.running = false;
    }
  }
}

const kReconnectMilliseconds = [250, 500, 1000, 2000];

// The session's changes as the server pushes them (/api/events), from the version the page has.
// When the stream breaks the page is told once, and the stream is opened again by itself (soon
// at first, then every few seconds) from the version the page has then; a stream that skips a
// version (`onChanges` answers false) is opened again too.
export class EventStream {
  constructor({ since, onChanges, onConnected, onLost }) {
    this.since = since;
    this.onChanges = onChanges;
    this.onConnected = onConnected;
    this.onLost = onLost;
    this.source = null;
    this.failures = 0;
    this.retry = null;
  }

  connect() {
    clearTimeout(this.retry);
    this.source?.close();
    const query = new URLSearchParams(Object.entries(this.since()).map(([k, v]) => [k, String(v)]));
    if (kToken) {
      query.set("token", kToken);
    }
    const source = new EventSource(`/api/events?${query}`);
    this.source = source;
    source.onopen = () => {
      this.failures = 0;
      this.onConnected();
    };
    source.onmessage = (message) => {
      let changes;
      try {
        changes = JSON.parse(message.data);
      } catch {
        return;
      }
      if (this.onChanges(changes) === false) {
        this.catchUp();
      }
    };
    // The browser would try again with the address it had: the page does, from where it is.
    source.onerror = () => {
      source.close();
      if (this.source !== source) {
        return;
      }
      if (this.failures++ === 0) {
        this.onLost();
      }
      const wait = kReconnectMilliseconds[Math.min(this.failures - 1, kReconnectMilliseconds.length - 1)];
      this.retry = setTimeout(() => this.connect(), wait);
    };
  }

  // Opens the stream again from the version the page has.
  catchUp() {
    this.connect();
  }
}
