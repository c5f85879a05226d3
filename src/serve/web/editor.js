// The bundled mail editor: the body is edited in the page, and every field,
// Flash movie, save and open goes through the control's own members.
"use strict";

const body = document.getElementById("body");
const statusLine = document.getElementById("status");
const envelope = document.getElementById("envelope").elements;
const editButton = document.getElementById("edit");
const kSelected = "data-corabind-selected";
const kFieldTags = new Set(["INPUT", "SELECT", "TEXTAREA", "OBJECT", "EMBED"]);

let control = null;
let selected = null;  // the field the next edit applies to
let caret = null;     // where the next insertion goes

function say(text, error = false) {
  statusLine.textContent = text;
  statusLine.classList.toggle("error", error);
}

// Runs a toolbar action, telling the user how it ended.
async function act(name, work) {
  if (!control) return say("Not connected to corabind serve.", true);
  try {
    const done = await work();
    if (done) say(done);
  } catch (e) {
    say(`${name}: ${e.description ?? e.message}`, true);
  }
}

// The body's markup without the editor's own selection mark.
function bodyMarkup() {
  const copy = body.cloneNode(true);
  copy.querySelectorAll(`[${kSelected}]`).forEach((e) => e.removeAttribute(kSelected));
  return copy.innerHTML;
}

function mailDocument() {
  return `<html><head></head><body>${bodyMarkup()}</body></html>`;
}

function select(element) {
  if (selected) selected.removeAttribute(kSelected);
  selected = element;
  if (selected) selected.setAttribute(kSelected, "");
  editButton.disabled = !selected;
}

function rememberCaret() {
  const s = window.getSelection();
  if (s.rangeCount && body.contains(s.getRangeAt(0).commonAncestorContainer)) {
    caret = s.getRangeAt(0).cloneRange();
  }
}

function insertMarkup(markup) {
  if (!markup) return false;
  let range = caret;
  if (!range || !body.contains(range.commonAncestorContainer)) {
    range = document.createRange();
    range.selectNodeContents(body);
    range.collapse(false);
  }
  const fragment = range.createContextualFragment(markup);
  const last = fragment.lastChild;
  range.deleteContents();
  range.insertNode(fragment);
  if (last) {
    range.setStartAfter(last);
    range.collapse(true);
    caret = range;
  }
  return true;
}

function fieldOf(target) {
  for (let e = target; e && e !== body; e = e.parentElement) {
    if (kFieldTags.has(e.tagName)) return e;
  }
  return null;
}

async function editSelected() {
  if (!selected) return "Select a field first.";
  const markup = await control.ModifyFormField(cleanMarkupElement(selected));
  if (!markup) return "Field left as it was.";
  const holder = document.createElement("div");
  holder.innerHTML = markup;
  const replacement = holder.firstElementChild;
  if (!replacement) return "Field left as it was.";
  selected.replaceWith(replacement);
  select(replacement);
  return "Field changed.";
}

// An element detached from the page, as the control should see it.
function cleanMarkupElement(element) {
  const copy = element.cloneNode(true);
  copy.removeAttribute(kSelected);
  return copy;
}

function download(blob, name) {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

async function compose() {
  const response = await Corabind.post("/compose", {
    html: mailDocument(),
    folder: envelope.folder.value,
  });
  if (!response.ok) throw new Error((await response.json()).refused);
  const message = await response.blob();
  download(new Blob([message], { type: "message/rfc822" }), "mail.eml");
  return `Message composed (${message.size} bytes).`;
}

async function send() {
  const response = await Corabind.post("/send", {
    html: mailDocument(),
    folder: envelope.folder.value,
    from: envelope.from.value,
    to: envelope.to.value.split(",").map((s) => s.trim()).filter(Boolean),
    subject: envelope.subject.value,
    server: envelope.server.value,
  });
  const answer = await response.json();
  if (!response.ok) throw new Error(answer.refused);
  return `Sent to ${envelope.to.value}.`;
}

function wire() {
  document.querySelectorAll("[data-field]").forEach((button) => {
    button.addEventListener("click", () =>
      act(button.title, async () =>
        insertMarkup(await control.SetFormField(button.dataset.field))
          ? "Field inserted."
          : "Nothing inserted.",
      ),
    );
  });
  // Toolbar clicks keep the caret where it was in the body.
  document.querySelectorAll("button").forEach((b) =>
    b.addEventListener("mousedown", (e) => e.preventDefault()),
  );
  editButton.addEventListener("click", () => act("Edit field", editSelected));
  document.getElementById("flash").addEventListener("click", () =>
    act("Flash", async () =>
      insertMarkup(await control.LoadFlashTag()) ? "Flash movie inserted." : "Nothing inserted.",
    ),
  );
  document.getElementById("save").addEventListener("click", () =>
    act("Save", async () => {
      const saved = await control.SaveToLocal(mailDocument(), "", false);
      return saved === false ? "Not saved." : "Saved.";
    }),
  );
  document.getElementById("open").addEventListener("click", () =>
    act("Open", async () => {
      const text = await control.GetLocalHTMLFile();
      if (!text) return "Nothing opened.";
      const opened = new DOMParser().parseFromString(text, "text/html");
      body.innerHTML = opened.body ? opened.body.innerHTML : text;
      select(null);
      return "Opened.";
    }),
  );
  document.getElementById("compose").addEventListener("click", () => act("Compose", compose));
  document.getElementById("send").addEventListener("click", () => act("Send", send));

  body.addEventListener("click", (e) => select(fieldOf(e.target)));
  body.addEventListener("dblclick", (e) => {
    const field = fieldOf(e.target);
    if (!field) return;
    e.preventDefault();
    select(field);
    act("Edit field", editSelected);
  });
  body.addEventListener("keyup", rememberCaret);
  body.addEventListener("mouseup", rememberCaret);
  body.addEventListener("input", rememberCaret);
}

async function start() {
  wire();
  try {
    control = await Corabind.create();
    const info = await (await Corabind.post("/info")).json();
    if (!envelope.folder.value) envelope.folder.value = info.folder;
    const send = document.getElementById("send");
    send.disabled = !info.send;
    if (!info.send) send.title = "This build has no mail sender: compose the message instead.";
    say("Ready.");
  } catch (e) {
    say(e.message, true);
  }
}

// For scripts and tests driving the page.
window.editor = {
  get control() {
    return control;
  },
  body,
  ready: start(),
};
