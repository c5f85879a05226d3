// corabind.js: the control for the script of a page that `corabind serve`
// serves.
//
//   const c = await Corabind.create();
//   const tag = await c.SetFormField("TEXT");        // any method, by name
//   const keys = await c.imageKeys;                  // a property
//   await c.ModifyFormField(someInputElement);       // elements go as their markup
//   await c.GetImages(html, document.body, base, document, false);
//
// Every call returns a promise. A failure of the member rejects with a
// CorabindError carrying its number and description; so does a call made
// while another call's dialog is open on the server (number 409,
// description "a dialog is open"), at once.
//
//   const { value, ended } = await c.$dialog("SetFormField", "TEXT");
//
// gives, beside the member's value, how its dialog ended: "accepted",
// "cancelled" or "closed" (from the window frame, when a field dialog still
// returns the field before). For GetLocalHTMLFile `folder` is the opened
// file's folder, which the server now serves and composes from. Without a display on
// the server, a call that opens a dialog needs a ui script: c.$ui([...])
// hands one to the next call (the form of docs/automation.md).
(function (global) {
  "use strict";

  // The secret comes in the address's fragment, which the browser never
  // sends; it is kept for this tab only and taken out of the address bar.
  const kSecretKey = "corabind.secret";
  const match = /(?:^#|&)secret=([0-9a-f]+)/.exec(global.location.hash);
  if (match) {
    global.sessionStorage.setItem(kSecretKey, match[1]);
    global.history.replaceState(null, "", global.location.pathname + global.location.search);
  }
  const secret = global.sessionStorage.getItem(kSecretKey);

  const kDialogOpen = 409;  // HTTP Conflict: another call's dialog is open

  class CorabindError extends Error {
    constructor(member, number, description) {
      super(`${member}: error ${number}: ${description}`);
      this.name = "CorabindError";
      this.member = member;
      this.number = number;
      this.description = description;
    }
  }

  // A POST to the server with the secret; resolves with the raw response.
  async function post(path, body) {
    if (!secret) {
      throw new Error("corabind: no secret; open the address `corabind serve` printed");
    }
    return fetch(path, {
      method: "POST",
      headers: { "Content-Type": "application/json", "X-Corabind-Secret": secret },
      body: JSON.stringify(body ?? {}),
      credentials: "omit",
      cache: "no-store",
    });
  }

  async function request(body, member) {
    const response = await post("/call", body);
    let answer;
    try {
      answer = await response.json();
    } catch (e) {
      throw new Error(`corabind: ${member}: HTTP ${response.status}`);
    }
    if (response.status === kDialogOpen && answer.refused) {
      throw new CorabindError(member, kDialogOpen, answer.refused);
    }
    if (answer.refused) throw new Error(`corabind: ${member}: ${answer.refused}`);
    if (answer.protocol_error) throw new Error(`corabind: ${member}: ${answer.protocol_error}`);
    if (answer.ok === false) {
      throw new CorabindError(member, answer.error.number, answer.error.description);
    }
    return answer;
  }

  const Empty = Object.freeze({ empty: true });
  const Nothing = Object.freeze({ nothing: true });

  // A page value in the automation protocol's form. A page document is sent
  // as its current markup, once per call (`documents` maps it to its
  // handle); its body and root element are then named within that copy,
  // any other element goes as its own markup.
  async function toWire(value, documents) {
    if (value === undefined || value === Empty) return { empty: true };
    if (value === null) return null;
    if (value === Nothing) return { nothing: true };
    if (typeof Document !== "undefined" && value instanceof Document) {
      if (!documents.has(value)) {
        const html = value.documentElement.outerHTML;
        documents.set(value, (await request({ op: "document", html }, "document")).document);
      }
      return { document: documents.get(value) };
    }
    if (typeof Element !== "undefined" && value instanceof Element) {
      const page = value.ownerDocument;
      const select = value === page.body ? "body" : value === page.documentElement ? "html" : null;
      if (!select) return { element: { html: value.outerHTML } };
      return { element: { document: (await toWire(page, documents)).document, select } };
    }
    if (Array.isArray(value)) {
      const items = [];
      for (const item of value) items.push(await toWire(item, documents));
      return { collection: items };
    }
    if (typeof value === "object" && value.document) return { document: value.document };
    return value;
  }

  function fromWire(value) {
    if (value === null || typeof value !== "object") return value;
    if (value.empty) return undefined;
    if (value.nothing) return null;
    if (value.collection) return value.collection.map(fromWire);
    if (value.element) return value.element;
    return value;
  }

  function control(handle, properties) {
    let nextUi = null;
    let events = [];
    const invoke = async (body, member) => {
      body.control = handle;
      if (nextUi) {
        body.ui = nextUi;
        nextUi = null;
      }
      const answer = await request(body, member);
      events = answer.events ?? [];
      return answer;
    };
    const call = async (name, args) => {
      while (args.length && args[args.length - 1] === undefined) args.pop();
      // Copies of page documents live for this call only.
      const documents = new Map();
      try {
        const wire = [];
        for (const a of args) wire.push(await toWire(a, documents));
        return await invoke({ op: "call", method: name, args: wire }, name);
      } finally {
        for (const d of documents.values()) {
          await request({ op: "release", document: d }, "release");
        }
      }
    };
    const own = {
      // The ui script the next call runs with (no display on the server).
      $ui(script) {
        nextUi = script;
        return proxy;
      },
      // What the user saw during the last scripted call.
      get $events() {
        return events;
      },
      async $get(name) {
        return fromWire((await invoke({ op: "get", property: name }, name)).result);
      },
      async $put(name, value) {
        const wire = await toWire(value, new Map());
        return fromWire((await invoke({ op: "put", property: name, value: wire }, name)).result);
      },
      // A member that opens a dialog: its value, how the dialog ended and,
      // for an accepted open, the mail's new folder.
      async $dialog(name, ...args) {
        const answer = await call(name, args);
        const out = { value: fromWire(answer.result), ended: answer.ended ?? null };
        if (answer.folder !== undefined) out.folder = answer.folder;
        return out;
      },
      $release() {
        return request({ op: "release", control: handle }, "release");
      },
      $handle: handle,
    };
    const proxy = new Proxy(own, {
      get(target, name) {
        if (typeof name !== "string" || name in target) return target[name];
        if (name === "then") return undefined;  // not a promise itself
        if (properties.includes(name)) return target.$get(name);
        return async (...args) => fromWire((await call(name, args)).result);
      },
      set(target, name, value) {
        if (!properties.includes(name)) return false;
        target.$lastPut = target.$put(name, value);
        return true;
      },
    });
    return proxy;
  }

  global.Corabind = Object.freeze({
    async create() {
      const answer = await request({ op: "create" }, "create");
      return control(answer.control, answer.properties ?? []);
    },
    // The library-wide shared state, by name.
    async state() {
      return (await request({ op: "state" }, "state")).state;
    },
    post,
    CorabindError,
    Empty,
    Nothing,
  });
})(window);
