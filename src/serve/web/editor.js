// The bundled mail editor: Jodit edits the body, and every field, Flash
// movie, save and open goes through the control's own members.
//
// The view is not the mail: local images are shown through the server's
// file path, remote ones are held back, Flash movies are inert blocks.
// `toView` makes the view from a mail's markup and `fromView` undoes every
// one of those changes, so what is saved is what the mail said.
"use strict";

const kMessages = {
  en: {
    title: "Corabind mail editor",
    from: "From", to: "To", cc: "Cc", bcc: "Bcc", subject: "Subject", server: "SMTP", folder: "Folder",
    folderHint: "Where the mail's relative image paths are read",
    body: "Mail body",
    placeholder: "Write your mail here.",
    bold: "Bold", italic: "Italic", underline: "Underline", strikethrough: "Strikethrough",
    fontsize: "Font size", brush: "Colour", align: "Alignment",
    ul: "Bulleted list", ol: "Numbered list", indent: "Increase indent", outdent: "Decrease indent",
    link: "Insert link", unlink: "Remove link", table: "Insert table", image: "Insert image", hr: "Horizontal rule",
    eraser: "Clear formatting", undo: "Undo", redo: "Redo", source: "Source", preview: "Preview",
    TEXT: "Text field", PASSWORD: "Password field", RADIO: "Radio button", CHECK: "Check box",
    TEXTAREA: "Text area", LIST: "Select list", edit: "Edit field", flash: "Flash movie",
    open: "Open", save: "Save", compose: "Download message", send: "Send",
    connecting: "Connecting…", ready: "Ready.",
    dialogOpen: "A dialog is open on the server's desktop: answer it there.",
    busy: "A dialog is open: answer it first.",
    inserted: "Inserted.", notInserted: "Nothing inserted: the dialog was {ended}.",
    changed: "Field changed.", unchanged: "Field left as it was: the dialog was {ended}.",
    selectField: "Select a field first (or double-click it).",
    saved: "Saved.", notSaved: "Not saved: the dialog was {ended}.",
    opened: "Opened.", notOpened: "Nothing opened: the dialog was {ended}.",
    discard: "Your changes are not saved. Discard them?",
    composed: "Message downloaded ({bytes} bytes).", sent: "Sent to {to}.", noSender: "This build has no mail sender: download the message instead.",
    noRecipient: "Give at least one address in To, Cc or Bcc.",
    imageAdded: "Image copied into the mail's folder as {src}.", imageFailed: "The image was not added: {why}",
    noImageCopy: "This server cannot copy images into the mail's folder.",
    draftRestored: "Restored the draft you were writing ({when}).", discardDraft: "Discard the draft",
    remoteHidden: "Remote images are hidden.", showRemote: "Show them",
    offline: "The server stopped. Your mail is kept here and in the draft; waiting for the server to come back…",
    newServer: "The server was started again with a new secret: this page cannot call it. Open the address it printed; the draft comes along if it uses the same port (--port).",
    back: "Connected again.", stale: "The answer came from before the break and was not used.",
    notConnected: "Not connected to corabind serve.",
    ended: { accepted: "accepted", cancelled: "cancelled", closed: "closed" },
  },
  ko: {
    title: "Corabind 메일 편집기",
    from: "보낸 사람", to: "받는 사람", cc: "참조", bcc: "숨은 참조", subject: "제목", server: "SMTP", folder: "폴더",
    folderHint: "메일의 상대 경로 그림을 읽는 폴더",
    body: "메일 본문",
    placeholder: "여기에 메일을 쓰세요.",
    bold: "굵게", italic: "기울임꼴", underline: "밑줄", strikethrough: "취소선",
    fontsize: "글자 크기", brush: "색", align: "정렬",
    ul: "글머리 기호 목록", ol: "번호 매기기 목록", indent: "들여쓰기", outdent: "내어쓰기",
    link: "링크 삽입", unlink: "링크 제거", table: "표 삽입", image: "그림 삽입", hr: "가로줄",
    eraser: "서식 지우기", undo: "실행 취소", redo: "다시 실행", source: "HTML 소스", preview: "미리 보기",
    TEXT: "텍스트 필드", PASSWORD: "비밀번호 필드", RADIO: "라디오 단추", CHECK: "확인란",
    TEXTAREA: "텍스트 영역", LIST: "선택 목록", edit: "필드 편집", flash: "플래시 동영상",
    open: "열기", save: "저장", compose: "메시지 내려받기", send: "보내기",
    connecting: "연결 중…", ready: "준비되었습니다.",
    dialogOpen: "서버 화면에 대화 상자가 열려 있습니다. 그곳에서 답하세요.",
    busy: "대화 상자가 열려 있습니다. 먼저 답하세요.",
    inserted: "삽입했습니다.", notInserted: "삽입하지 않았습니다: 대화 상자가 {ended}.",
    changed: "필드를 바꿨습니다.", unchanged: "필드를 그대로 두었습니다: 대화 상자가 {ended}.",
    selectField: "먼저 필드를 선택하세요 (또는 두 번 누르세요).",
    saved: "저장했습니다.", notSaved: "저장하지 않았습니다: 대화 상자가 {ended}.",
    opened: "열었습니다.", notOpened: "열지 않았습니다: 대화 상자가 {ended}.",
    discard: "저장하지 않은 변경 내용이 있습니다. 버릴까요?",
    composed: "메시지를 내려받았습니다 ({bytes}바이트).", sent: "{to}에게 보냈습니다.", noSender: "이 빌드에는 메일 발송 기능이 없습니다. 메시지를 내려받으세요.",
    noRecipient: "받는 사람, 참조, 숨은 참조 중 하나에 주소를 쓰세요.",
    imageAdded: "그림을 메일 폴더에 {src}(으)로 복사했습니다.", imageFailed: "그림을 넣지 못했습니다: {why}",
    noImageCopy: "이 서버는 그림을 메일 폴더에 복사할 수 없습니다.",
    draftRestored: "쓰던 초안을 되살렸습니다 ({when}).", discardDraft: "초안 버리기",
    remoteHidden: "외부 그림을 숨겼습니다.", showRemote: "보이기",
    offline: "서버가 멈췄습니다. 메일은 이 페이지와 초안에 남아 있습니다. 서버가 돌아오기를 기다립니다…",
    newServer: "서버가 새 비밀 값으로 다시 시작되어 이 페이지는 호출할 수 없습니다. 서버가 출력한 주소를 여세요. 같은 포트(--port)라면 초안이 이어집니다.",
    back: "다시 연결되었습니다.", stale: "연결이 끊기기 전의 응답이라 쓰지 않았습니다.",
    notConnected: "corabind serve에 연결되지 않았습니다.",
    ended: { accepted: "확인되었습니다", cancelled: "취소되었습니다", closed: "닫혔습니다" },
  },
};

const kLanguage = /^ko\b/i.test(navigator.language) ? "ko" : "en";
const M = kMessages[kLanguage];
const say = (key, values = {}) => (M[key] ?? key).replace(/\{(\w+)\}/g, (_, k) => values[k]);

const kDraftKey = "corabind.draft";
const kHiddenSrc = "data-corabind-src";
const kMovieLabel = "data-corabind-movie";
const kFieldTags = new Set(["INPUT", "SELECT", "TEXTAREA", "OBJECT", "EMBED"]);
const kFieldKinds = ["TEXT", "PASSWORD", "RADIO", "CHECK", "TEXTAREA", "LIST"];
const kReconnectMs = 2000;
const kDraftDelayMs = 800;

const statusLine = document.getElementById("status");
const envelope = document.getElementById("envelope").elements;
const notices = document.getElementById("notices");
const overlay = document.getElementById("overlay");

let editor = null;
let control = null;
let info = {};
let connected = false;
let epoch = 0;          // counts the breaks: an answer from an older epoch is never used
let dialogPending = false;
let selected = null;    // the field the next edit applies to
let dirty = false;      // changes since the last open or save
let remoteShown = false;
let settingValue = false;

function tell(text, error = false) {
  statusLine.textContent = text;
  statusLine.classList.toggle("error", error);
}

function notice(id, text, actions = []) {
  document.getElementById(id)?.remove();
  if (text === null) return;
  const bar = document.createElement("div");
  bar.id = id;
  bar.className = "notice";
  bar.setAttribute("role", "status");
  const words = document.createElement("span");
  words.textContent = text;
  bar.append(words);
  for (const [label, run] of actions) {
    const b = document.createElement("button");
    b.type = "button";
    b.textContent = label;
    b.addEventListener("click", run);
    bar.append(b);
  }
  notices.append(bar);
}

// ---- the mail's markup and the view of it ----

// Removes what must never run from markup read from anywhere: a mail from a
// stranger, a file, the source view. Fields and Flash markup stay.
function sanitise(root) {
  root.querySelectorAll("script, iframe, frame, frameset, base, meta, link").forEach((e) => e.remove());
  for (const e of root.querySelectorAll("*")) {
    for (const a of [...e.attributes]) {
      const value = a.value.replace(/[\u0000-\u0020]/g, "").toLowerCase();
      if (/^on/i.test(a.name) || /^(javascript|vbscript|data:text\/html)/.test(value) && /^(href|src|action|formaction|data|movie|background|xlink:href)$/i.test(a.name)) {
        e.removeAttribute(a.name);
      }
    }
  }
}

function isRemote(src) {
  return /^(https?:)?\/\//i.test(src);
}

function isRelative(src) {
  return src && !/^[a-z][a-z0-9+.-]*:/i.test(src) && !src.startsWith("/") && !src.startsWith("#");
}

// Mail markup (a body's inner HTML) to the editor's view of it.
function toView(html) {
  const page = new DOMParser().parseFromString(`<body>${html}</body>`, "text/html");
  const body = page.body;
  sanitise(body);
  for (const img of body.querySelectorAll("img[src]")) {
    const src = img.getAttribute("src");
    if (isRemote(src) && !remoteShown) {
      img.setAttribute(kHiddenSrc, src);
      img.removeAttribute("src");
    } else if (info.files && isRelative(src)) {
      img.setAttribute("src", info.files + src);
    }
  }
  for (const o of body.querySelectorAll("object")) {
    o.setAttribute("contenteditable", "false");
    o.setAttribute(kMovieLabel, M.flash);
  }
  return body.innerHTML;
}

// The editor's view back to mail markup.
function fromView(html) {
  const template = document.createElement("template");
  template.innerHTML = html;
  const root = template.content;
  for (const img of root.querySelectorAll(`img[${kHiddenSrc}]`)) {
    img.setAttribute("src", img.getAttribute(kHiddenSrc));
    img.removeAttribute(kHiddenSrc);
  }
  if (info.files) {
    for (const img of root.querySelectorAll("img[src]")) {
      const src = img.getAttribute("src");
      if (src.startsWith(info.files)) img.setAttribute("src", src.slice(info.files.length));
    }
  }
  for (const o of root.querySelectorAll("object")) {
    o.removeAttribute("contenteditable");
    o.removeAttribute(kMovieLabel);
  }
  return template.innerHTML;
}

function bodyMarkup() {
  return fromView(editor.value);
}

function mailDocument() {
  return `<html><head></head><body>${bodyMarkup()}</body></html>`;
}

function setBody(html) {
  settingValue = true;
  try {
    editor.value = toView(html);
    editor.history.clear();
  } finally {
    settingValue = false;
  }
  select(null);
  showRemoteBar();
}

function showRemoteBar() {
  const hidden = editor.editor.querySelector(`img[${kHiddenSrc}]`);
  notice("remote", hidden ? M.remoteHidden : null, [[M.showRemote, showRemoteImages]]);
}

function showRemoteImages() {
  remoteShown = true;
  for (const img of editor.editor.querySelectorAll(`img[${kHiddenSrc}]`)) {
    img.setAttribute("src", img.getAttribute(kHiddenSrc));
    img.removeAttribute(kHiddenSrc);
  }
  editor.synchronizeValues();
  notice("remote", null);
}

// ---- the control's dialogs ----

function fieldOf(target) {
  for (let e = target; e && e !== editor.editor; e = e.parentElement) {
    if (kFieldTags.has(e.tagName)) return e.tagName === "EMBED" && e.closest("object") ? e.closest("object") : e;
  }
  return null;
}

// The selected field is outlined from outside the mail, so that selecting
// is no change to the mail and no undo step.
const fieldMark = document.createElement("div");
fieldMark.id = "field-mark";
fieldMark.hidden = true;

function placeFieldMark() {
  const shown = selected && selected.isConnected && editor.getMode() === Jodit.constants.MODE_WYSIWYG;
  fieldMark.hidden = !shown;
  if (!shown) return;
  const box = selected.getBoundingClientRect();
  Object.assign(fieldMark.style, { left: `${box.left}px`, top: `${box.top}px`, width: `${box.width}px`, height: `${box.height}px` });
}

function select(element) {
  selected = element;
  placeFieldMark();
  editor?.e.fire("updateToolbar");
}

// A field as the control should see it: without the view's marks.
function fieldElement(element) {
  const template = document.createElement("template");
  template.innerHTML = fromView(element.outerHTML);
  return template.content.firstElementChild;
}

// Calls a member that opens a dialog: {value, ended}. Only one at a time;
// the overlay says where the dialog is while it is open.
async function dialog(member, ...args) {
  if (!connected) throw new Error(M.notConnected);
  if (dialogPending) throw new Error(M.busy);
  const started = epoch;
  dialogPending = true;
  overlay.hidden = false;
  editor.e.fire("updateToolbar");
  try {
    let answer;
    if ("$dialog" in control) {
      answer = await control.$dialog(member, ...args);
    } else {
      // A server that does not say how a dialog ended: a value (for a save,
      // anything but false) means accepted.
      const value = await control[member](...args);
      const accepted = member === "SaveToLocal" ? value !== false : Boolean(value);
      answer = { value, ended: accepted ? "accepted" : "cancelled" };
    }
    if (started !== epoch) return { value: undefined, ended: "stale" };
    return answer;
  } finally {
    dialogPending = false;
    overlay.hidden = true;
    editor.e.fire("updateToolbar");
  }
}

function endedText(ended) {
  return M.ended[ended] ?? ended;
}

async function act(work) {
  try {
    const done = await work();
    if (done) tell(done);
  } catch (e) {
    if (e instanceof TypeError) lostServer();
    const why = e.description ?? e.message;
    // Another window's dialog (or another page's) holds the control.
    tell(/a dialog is open/.test(why) ? M.busy : why, true);
  }
}

function markupNode(markup) {
  const template = document.createElement("template");
  template.innerHTML = toView(markup);
  return template.content;
}

// Puts markup where the caret was when the command was given, as one undo
// step, and leaves the caret after it.
function insertAt(range, markup) {
  editor.history.updateStack();
  const fragment = markupNode(markup);
  const last = fragment.lastChild;
  if (range && editor.editor.contains(range.commonAncestorContainer)) {
    editor.s.selectRange(range);
  } else {
    editor.s.setCursorIn(editor.editor, false);
  }
  // Into the range as it is: the editor's own insertion would lift a movie
  // out of its paragraph.
  const target = editor.s.range;
  target.deleteContents();
  target.insertNode(fragment);
  if (last) editor.s.setCursorAfter(last);
  editor.synchronizeValues();
  editor.history.updateStack();
}

function caretRange() {
  const r = editor.s.range;
  return r && editor.editor.contains(r.commonAncestorContainer) ? r.cloneRange() : null;
}

async function insertField(kind) {
  const range = caretRange();
  const { value, ended } = await dialog("SetFormField", kind);
  if (ended === "stale") return M.stale;
  if (ended !== "accepted" || !value) return say("notInserted", { ended: endedText(ended) });
  insertAt(range, value);
  return M.inserted;
}

async function insertFlash(replacing = null) {
  const range = caretRange();
  const { value, ended } = await dialog("LoadFlashTag");
  if (ended === "stale") return M.stale;
  if (ended !== "accepted" || !value) return say("notInserted", { ended: endedText(ended) });
  if (replacing && editor.editor.contains(replacing)) return replaceField(replacing, value);
  insertAt(range, value);
  return M.inserted;
}

function replaceField(old, markup) {
  editor.history.updateStack();
  const fragment = markupNode(markup);
  const first = fragment.firstElementChild;
  const last = fragment.lastChild;
  old.replaceWith(fragment);
  if (last) editor.s.setCursorAfter(last);
  editor.synchronizeValues();
  editor.history.updateStack();
  select(first);
  return M.changed;
}

async function editField(field = selected) {
  if (!field || !editor.editor.contains(field)) return M.selectField;
  if (field.tagName === "OBJECT" || field.tagName === "EMBED") return insertFlash(field);
  const { value, ended } = await dialog("ModifyFormField", fieldElement(field));
  if (ended === "stale") return M.stale;
  if (ended !== "accepted" || !value) return say("unchanged", { ended: endedText(ended) });
  return replaceField(field, value);
}

async function save() {
  const { value, ended } = await dialog("SaveToLocal", mailDocument(), "", false);
  if (ended === "stale") return M.stale;
  if (ended !== "accepted" || value === false) return say("notSaved", { ended: endedText(ended) });
  markClean();
  return M.saved;
}

async function open() {
  if (dirty && !window.confirm(M.discard)) return "";
  const answer = await dialog("GetLocalHTMLFile");
  if (answer.ended === "stale") return M.stale;
  if (answer.ended !== "accepted" || !answer.value) return say("notOpened", { ended: endedText(answer.ended) });
  const opened = new DOMParser().parseFromString(answer.value, "text/html");
  if (answer.folder) envelope.folder.value = answer.folder;
  remoteShown = false;
  setBody(opened.body ? opened.body.innerHTML : answer.value);
  const title = opened.querySelector("title");
  if (title && !envelope.subject.value) envelope.subject.value = title.textContent;
  markClean();
  return M.opened;
}

// ---- mail ----

function addresses(field) {
  return field.value.split(",").map((s) => s.trim()).filter(Boolean);
}

function mailRequest() {
  return {
    html: mailDocument(),
    folder: envelope.folder.value,
    from: envelope.from.value.trim(),
    to: addresses(envelope.to),
    cc: addresses(envelope.cc),
    bcc: addresses(envelope.bcc),
    subject: envelope.subject.value,
  };
}

async function refusal(response) {
  try {
    return (await response.json()).refused ?? `HTTP ${response.status}`;
  } catch {
    return `HTTP ${response.status}`;
  }
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
  const response = await Corabind.post("/compose", mailRequest());
  if (!response.ok) throw new Error(await refusal(response));
  const message = await response.blob();
  download(new Blob([message], { type: "message/rfc822" }), "mail.eml");
  return say("composed", { bytes: message.size });
}

async function send() {
  if (!info.send) throw new Error(M.noSender);
  const request = { ...mailRequest(), server: envelope.server.value };
  if (!request.to.length && !request.cc.length && !request.bcc.length) throw new Error(M.noRecipient);
  const response = await Corabind.post("/send", request);
  if (!response.ok) throw new Error(await refusal(response));
  return say("sent", { to: [...request.to, ...request.cc, ...request.bcc].join(", ") });
}

// ---- images ----

function readBase64(file) {
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(reader.result.slice(reader.result.indexOf(",") + 1));
    reader.onerror = () => reject(reader.error);
    reader.readAsDataURL(file);
  });
}

// Copies image files into the mail's folder and inserts them by their
// relative path, at `range` or the caret.
async function addImages(files, range = caretRange()) {
  const images = [...files].filter((f) => f.type.startsWith("image/"));
  if (!images.length) return "";
  if (!info.files) throw new Error(M.noImageCopy);
  let last = "";
  for (const file of images) {
    const response = await Corabind.post("/image", { name: file.name || "image.png", data: await readBase64(file) });
    if (!response.ok) throw new Error(say("imageFailed", { why: await refusal(response) }));
    const { src } = await response.json();
    const img = document.createElement("img");
    img.setAttribute("src", src);
    insertAt(range, img.outerHTML);
    range = null;
    last = say("imageAdded", { src });
  }
  return last;
}

function imageFilesOf(transfer) {
  return transfer ? [...transfer.files].filter((f) => f.type.startsWith("image/")) : [];
}

// ---- the toolbar ----

// The control's commands, named apart from Jodit's own buttons.
function command(key, run, extra = {}) {
  return {
    name: `corabind-${key}`,
    text: M[key],
    tooltip: M[key],
    isDisabled: () => !connected || dialogPending,
    exec: () => act(run),
    ...extra,
  };
}

function toolbar() {
  const own = (name) => ({ name, tooltip: M[name] });
  return [
    own("bold"), own("italic"), own("underline"), own("strikethrough"), "|",
    own("fontsize"), own("brush"), own("align"), "|",
    own("ul"), own("ol"), own("outdent"), own("indent"), "|",
    own("link"), { name: "unlink", tooltip: M.unlink, command: "unlink", icon: "unlink" },
    own("table"), { name: "corabind-image", tooltip: M.image, icon: "image", exec: () => document.getElementById("image-file").click() },
    own("hr"), own("eraser"), "|",
    own("undo"), own("redo"), "|", own("source"), own("preview"),
    "\n",
    ...kFieldKinds.map((kind) => command(kind, () => insertField(kind))),
    command("edit", () => editField(), { isDisabled: () => !connected || dialogPending || !selected }),
    command("flash", () => insertFlash()),
    "|",
    command("open", open), command("save", save),
    command("compose", compose), command("send", send, { isDisabled: () => !connected || dialogPending || !info.send }),
  ];
}

function makeEditor() {
  return Jodit.make("#body", {
    language: kLanguage,
    toolbarAdaptive: false,
    allowTabNavigation: true,
    toolbarSticky: false,
    statusbar: false,
    height: "100%",
    placeholder: M.placeholder,
    buttons: toolbar(),
    // No code is fetched from anywhere: the source view is a plain text area.
    sourceEditor: "area",
    beautifyHTML: false,
    askBeforePasteHTML: false,
    askBeforePasteFromWord: false,
    defaultActionOnPaste: "insert_as_html",
    link: { processVideoLink: false, processPastedLink: false },
    mediaInFakeBlock: false,
    // Jodit's cleaner keeps the control's markup as it wrote it: fields and
    // Flash movies stay (the view makes the movie inert and the policy
    // loads no plugin), nothing is added into them, old tags keep their names.
    cleanHTML: {
      denyTags: "script,iframe,frame,frameset",
      convertUnsafeEmbeds: false,
      removeEmptyElements: false,
      fillEmptyParagraph: false,
      replaceOldTags: false,
      replaceNBSP: false,
      safeLinksTarget: false,
      removeEventAttributes: true,
      safeJavaScriptLink: true,
    },
    disablePlugins: "speech-recognize,ai-assistant,file,video,media,iframe,powered-by-jodit,about,print,xpath,stat,mobile,spellcheck",
  });
}

// ---- no lost work ----

function markClean() {
  dirty = false;
  localStorage.removeItem(kDraftKey);
}

let draftTimer = 0;
function changed() {
  if (settingValue) return;
  dirty = true;
  clearTimeout(draftTimer);
  draftTimer = setTimeout(saveDraft, kDraftDelayMs);
}

function envelopeValues() {
  const values = {};
  for (const name of ["from", "to", "cc", "bcc", "subject", "server", "folder"]) values[name] = envelope[name].value;
  return values;
}

function saveDraft() {
  clearTimeout(draftTimer);
  if (!dirty) return;
  localStorage.setItem(kDraftKey, JSON.stringify({ html: bodyMarkup(), envelope: envelopeValues(), time: Date.now() }));
}

function restoreDraft() {
  let draft = null;
  try {
    draft = JSON.parse(localStorage.getItem(kDraftKey));
  } catch {}
  if (!draft || typeof draft.html !== "string") return false;
  setBody(draft.html);
  for (const [name, value] of Object.entries(draft.envelope ?? {})) if (envelope[name]) envelope[name].value = value;
  dirty = true;
  const when = new Date(draft.time).toLocaleString(kLanguage);
  notice("draft", say("draftRestored", { when }), [
    [M.discardDraft, () => {
      markClean();
      setBody("");
      notice("draft", null);
    }],
  ]);
  return true;
}

// ---- the connection ----

function setConnected(on) {
  connected = on;
  document.body.classList.toggle("offline", !on);
  editor?.e.fire("updateToolbar");
}

async function readInfo() {
  const response = await Corabind.post("/info");
  if (!response.ok) {
    const error = new Error(await refusal(response));
    error.status = response.status;
    throw error;
  }
  return response.json();
}

let watching = false;
function lostServer() {
  if (!connected && watching) return;
  ++epoch;
  setConnected(false);
  saveDraft();
  notice("offline", M.offline);
  if (!watching) watch();
}

// Asks the server now and then whether it is still (or again) there.
async function watch() {
  watching = true;
  for (;;) {
    await new Promise((resolve) => setTimeout(resolve, kReconnectMs));
    let alive = true;
    try {
      info = await readInfo();
    } catch (e) {
      // No answer, or one from a server that does not know our secret. A
      // refusal that only means busy (a dialog open) is a server still there.
      alive = e.status !== undefined && e.status !== 401 && e.status !== 403;
      if (!alive && connected) lostServer();
      if (e.status === 401 || e.status === 403) notice("offline", M.newServer);
    }
    if (alive && !connected) {
      setConnected(true);
      notice("offline", null);
      tell(M.back);
    }
  }
}

function applyLanguage() {
  document.documentElement.lang = kLanguage;
  document.title = M.title;
  document.querySelectorAll("[data-msg]").forEach((e) => (e.textContent = M[e.dataset.msg]));
  envelope.folder.title = M.folderHint;
  document.getElementById("overlay-text").textContent = M.dialogOpen;
}

function wire() {
  editor.editor.setAttribute("aria-label", M.body);
  editor.editor.setAttribute("role", "textbox");
  editor.editor.setAttribute("aria-multiline", "true");
  document.body.append(fieldMark);
  editor.e.on("change", () => placeFieldMark());
  editor.e.on("afterSetMode", () => placeFieldMark());
  document.addEventListener("scroll", placeFieldMark, true);  // any scrolling part
  window.addEventListener("resize", placeFieldMark);
  editor.e.on("change", changed);
  editor.editor.addEventListener("input", changed);
  for (const name of ["input", "change"]) document.getElementById("envelope").addEventListener(name, changed);
  // Whatever reaches the view, from the source view too, is read as a
  // stranger's mail before it is in the page.
  editor.e.on("beforeSetValueToEditor", (value) => (typeof value === "string" ? toView(fromView(value)) : value));
  editor.e.on("afterSetMode", showRemoteBar);
  editor.editor.addEventListener("click", (e) => select(fieldOf(e.target)));
  editor.editor.addEventListener("dblclick", (e) => {
    const field = fieldOf(e.target);
    if (!field) return;
    e.preventDefault();
    e.stopPropagation();
    select(field);
    act(() => editField(field));
  }, true);
  // Image files pasted or dropped are copied into the mail's folder first.
  editor.container.addEventListener("paste", (e) => {
    const files = imageFilesOf(e.clipboardData);
    if (!files.length) return;
    e.preventDefault();
    e.stopImmediatePropagation();
    act(() => addImages(files));
  }, true);
  editor.container.addEventListener("drop", (e) => {
    const files = imageFilesOf(e.dataTransfer);
    if (!files.length) return;
    e.preventDefault();
    e.stopImmediatePropagation();
    const range = document.caretRangeFromPoint?.(e.clientX, e.clientY) ?? null;
    act(() => addImages(files, range));
  }, true);
  const picker = document.getElementById("image-file");
  picker.addEventListener("change", () => {
    const files = [...picker.files];
    picker.value = "";
    act(() => addImages(files));
  });
  window.addEventListener("beforeunload", (e) => {
    saveDraft();
    if (dirty) e.preventDefault();
  });
}

async function start() {
  applyLanguage();
  tell(M.connecting);
  editor = makeEditor();
  wire();
  if (!restoreDraft()) setBody("");
  try {
    control = await Corabind.create();
    info = await readInfo();
    if (!envelope.folder.value) envelope.folder.value = info.folder ?? "";
    if (info.files) setBody(bodyMarkup());  // local images now have somewhere to come from
    setConnected(true);
    tell(M.ready);
  } catch (e) {
    tell(e.message, true);
  }
  if (!watching) watch();
}

// For scripts and tests driving the page.
window.editor = {
  get control() {
    return control;
  },
  get jodit() {
    return editor;
  },
  get info() {
    return info;
  },
  language: kLanguage,
  messages: M,
  bodyMarkup: () => bodyMarkup(),
  setBody: (html) => setBody(html),
  ready: new Promise((resolve) => document.addEventListener("DOMContentLoaded", () => resolve(start()))),
};
