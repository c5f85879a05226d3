// The bundled editor in a real browser, used as a person uses it: toolbar
// clicks and keys, with the user's part of each dialog scripted (the server
// has no display).
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdirSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { startBrowser, startServer, startSmtp, tempDir } from "./support.mjs";

// A 1x1 PNG and GIF: real image files for the message's parts.
const kPng = Buffer.from(
  "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==",
  "base64",
);
const kLogo = '<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48"><rect width="48" height="48" rx="8" fill="#3a7bd5"/><path d="M12 34 L24 14 L36 34 Z" fill="#fff"/></svg>';
const kGif = Buffer.from("R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7", "base64");

// Python's own MIME parser: every image a part with its bytes, every cid:
// naming a part. Returns the HTML part's text.
function checkMessage(message, files) {
  const checker = new URL("./check_message.py", import.meta.url).pathname;
  return execFileSync("/usr/bin/python3", [checker, message, ...files], { encoding: "utf8" });
}

const kTextUi = (name, value = "") => ({
  form: "TextBoxF",
  steps: [{ type: "Text1", text: name }, { type: "Text2", text: value }, { click: "Command1" }],
});
// The user's part for each field kind, as the toolbar names it.
const kFields = [
  ["Text field", "TEXT", [kTextUi("이름", "홍길동")], /<input type="text" name="이름" value="홍길동"/],
  ["Password field", "PASSWORD", [{ form: "TextBoxF", steps: [{ type: "Text1", text: "pw" }, { choose: "Option2" }, { click: "Command1" }] }], /<input type="password" name="pw"/],
  ["Radio button", "RADIO", [{ form: "RadioBoxF", steps: [{ type: "Text1", text: "r" }, { type: "Text2", text: "1" }, { click: "Command1" }] }], /<input type="radio" name="r"/],
  ["Check box", "CHECK", [{ form: "CheckBoxF", steps: [{ type: "Text1", text: "c" }, { type: "Text2", text: "y" }, { click: "Command1" }] }], /<input type="checkbox" name="c"/],
  ["Text area", "TEXTAREA", [{ form: "MultiTextBoxF", steps: [{ type: "Text1", text: "memo" }, { click: "Command1" }] }], /<textarea name="memo"/],
  [
    "Select list",
    "LIST",
    [
      { form: "ListBoxF", steps: [{ type: "Text1", text: "size" }, { click: "Command1" }, { click: "Command6" }] },
      { form: "ListBoxSub", steps: [{ type: "Text1", text: "Small" }, { type: "Text2", text: "S" }, { click: "Command1" }] },
    ],
    /<select name="size"[^>]*><option value="S">Small<\/option><\/select>/,
  ],
];
const kFlashUi = (file) => [{ form: "Form1", steps: [{ type: "Text1", text: file }, { click: "Command2" }] }];

const markup = (page) => page.evaluate(() => window.editor.bodyMarkup());
const view = (page) => page.$eval(".jodit-wysiwyg", (e) => e.innerHTML);
const status = (page) => page.$eval("#status", (s) => s.textContent);
const nextUi = (page, ui) => page.evaluate((u) => window.editor.control.$ui(u) && null, ui);
const tool = (label) => `.jodit-toolbar-button[aria-label="${label}"] .jodit-toolbar-button__button`;
const hasDialogEnds = (page) => page.evaluate(() => "$dialog" in window.editor.control);

async function clickTool(page, label) {
  await page.waitForSelector(`${tool(label)}:not([disabled])`);
  const before = await status(page);
  await page.evaluate(() => (document.querySelector("#status").textContent = ""));
  await page.click(tool(label));
  return before;
}

// Clicks a control command and waits for the page to say how it ended.
async function command(page, label, ui) {
  if (ui) await nextUi(page, ui);
  await clickTool(page, label);
  await page.waitForFunction(() => document.querySelector("#status").textContent !== "");
  return status(page);
}

async function openEditor(t, dir, { language = "en", args = [] } = {}) {
  const server = await startServer(t, ["--no-display", "--folder", dir, ...args]);
  const browser = await startBrowser(t);
  const page = await browser.newPage();
  await page.evaluateOnNewDocument((l) => Object.defineProperty(navigator, "language", { get: () => l }), language);
  await page.setViewport({ width: 1200, height: 720 });
  // The editor library runs under the server's policy: no eval, no inline
  // code or style sheet of its own. (Chromium reports handler attributes in
  // inert parsed markup too, where nothing runs, and images are the
  // server's to allow.)
  const violations = [];
  page.on("console", (m) => {
    const text = m.text();
    if (/Content.Security.Policy/i.test(text) && !/inline event handler|Loading the image/.test(text)) violations.push(text);
  });
  t.after(() => assert.deepEqual(violations, []));
  await page.goto(server.url);
  await page.evaluate(() => window.editor.ready);
  return { server, browser, page };
}

// Puts the caret at the end of the mail: a click at the end of its last
// paragraph, then Ctrl+End.
async function caretAtEnd(page) {
  const box = await (await page.$(".jodit-wysiwyg > :last-child")).boundingBox();
  await page.mouse.click(box.x + box.width - 2, box.y + box.height / 2);
  await page.keyboard.down("Control");
  await page.keyboard.press("End");
  await page.keyboard.up("Control");
}

test("the control's markup and Flash movies come back exactly as the browser reads them", async (t) => {
  const dir = tempDir(t);
  const { page } = await openEditor(t, dir);
  // Each kind as the control writes it, its Flash movie included.
  const written = await page.evaluate(async (fields, flash) => {
    const c = window.editor.control;
    const out = [];
    for (const [, kind, ui] of fields) out.push(await c.$ui(ui).SetFormField(kind));
    out.push(await c.$ui(flash).LoadFlashTag());
    return out;
  }, kFields.map(([l, k, u]) => [l, k, u]), kFlashUi("movie.swf"));
  assert.match(written.at(-1), /^<OBJECT codeBase=.*<PARAM NAME="Movie" VALUE="movie.swf">.*<\/embed><\/object>$/s);
  const mail = `<p>앞 ${written.join(" ")} 뒤</p><table><tbody><tr><td>표</td></tr></tbody></table>`;
  const expected = await page.evaluate((m) => {
    const t = document.createElement("template");
    t.innerHTML = m;
    return t.innerHTML;
  }, mail);
  await page.evaluate((m) => window.editor.setBody(m), mail);
  assert.equal(await markup(page), expected);
  // Through the source view and back, which runs the editor's cleaner.
  await clickTool(page, "Source");
  await page.waitForSelector(".jodit-source textarea, .jodit_source_mode");
  await clickTool(page, "Source");
  await page.waitForFunction(() => !document.querySelector(".jodit_source_mode"));
  assert.equal(await markup(page), expected);
  // In the view only, the movie is a block the caret cannot enter.
  assert.match(await view(page), /<object [^>]*contenteditable="false"/i);
  assert.doesNotMatch(await markup(page), /contenteditable|data-corabind/);
});

test("fields: inserted only when accepted, one undo step, the caret after them, edited by double-click", async (t) => {
  const dir = tempDir(t);
  const { page } = await openEditor(t, dir);
  await page.evaluate(() => window.editor.setBody("<p>시작</p>"));
  for (const [label, , ui, inserted] of kFields) {
    await caretAtEnd(page);
    assert.equal(await command(page, label, ui), "Inserted.", label);
    assert.match(await markup(page), inserted, label);
  }
  // The caret is after the last field: typing lands behind it.
  await page.keyboard.type("끝");
  assert.match(await markup(page), /<\/select>끝<\/p>$/);

  // An insertion is one undo step, and comes back with redo.
  await caretAtEnd(page);
  assert.equal(await command(page, "Text field", [kTextUi("secret")]), "Inserted.");
  assert.match(await markup(page), /name="secret"/);
  await clickTool(page, "Undo");
  assert.doesNotMatch(await markup(page), /name="secret"/);
  assert.match(await markup(page), /name="memo"/);
  await clickTool(page, "Redo");
  assert.match(await markup(page), /name="secret"/);

  // Cancelled: nothing is inserted and the page says why.
  const before = await markup(page);
  assert.match(await command(page, "Check box", [{ form: "CheckBoxF", steps: [{ click: "Command2" }] }]), /cancelled/);
  assert.equal(await markup(page), before);

  // Double-click edits a field in its dialog, which opens with its values.
  await nextUi(page, [{ form: "TextBoxF", steps: [{ type: "Text1", text: "성명" }, { click: "Command1" }] }]);
  await page.evaluate(() => (document.querySelector("#status").textContent = ""));
  await page.click('.jodit-wysiwyg input[name="이름"]', { clickCount: 2 });
  await page.waitForFunction(() => document.querySelector("#status").textContent !== "");
  assert.equal(await status(page), "Field changed.");
  assert.match(await markup(page), /<input type="text" name="성명" value="홍길동"/);
  // The Edit field command works on the selected one.
  await page.click('.jodit-wysiwyg input[name="성명"]');
  assert.equal(await command(page, "Edit field", [kTextUi("성명", "김")]), "Field changed.");
  assert.match(await markup(page), /name="성명" value="김"/);
  // A field edit is one undo step too.
  await clickTool(page, "Undo");
  assert.match(await markup(page), /name="성명" value="홍길동"/);

  if (!(await hasDialogEnds(page))) return t.skip("the server does not say how a dialog ended ($dialog)");
  // Closed by its frame the dialog hands back the last field: not inserted.
  const kept = await markup(page);
  assert.match(await command(page, "Text field", [{ form: "TextBoxF", steps: [{ close: true }] }]), /closed/);
  assert.equal(await markup(page), kept);
});

test("a Flash movie is an inert block: typing stays outside, double-click replaces it", async (t) => {
  const dir = tempDir(t);
  const { page } = await openEditor(t, dir);
  await page.evaluate(() => window.editor.setBody("<p>영화:</p>"));
  await caretAtEnd(page);
  assert.equal(await command(page, "Flash movie", kFlashUi("a.swf")), "Inserted.");
  await page.keyboard.type("after");
  const saved = await markup(page);
  assert.match(saved, /<p>영화:<object [^]*<\/object>after<\/p>/);
  assert.doesNotMatch(saved, /<object[^>]*>[^]*after[^]*<\/object>/i);
  await nextUi(page, kFlashUi("b.swf"));
  await page.evaluate(() => (document.querySelector("#status").textContent = ""));
  await page.click(".jodit-wysiwyg object", { clickCount: 2 });
  await page.waitForFunction(() => document.querySelector("#status").textContent !== "");
  assert.equal(await status(page), "Field changed.");
  const replaced = await markup(page);
  assert.match(replaced, /VALUE="b\.swf"/i);
  assert.doesNotMatch(replaced, /a\.swf/);
  assert.equal((replaced.match(/<object/gi) ?? []).length, 1);
});

test("open and save: a stranger's mail is made safe, a cancelled open keeps the document", async (t) => {
  const dir = tempDir(t);
  const { page } = await openEditor(t, dir);
  const strangers = join(dir, "strangers.html");
  writeFileSync(
    strangers,
    '<html><body><p onclick="steal()">Hi <a href="javascript:steal()">link</a></p><script>steal()</script>' +
      '<img src="https://tracker.example/pixel.gif"><input type="text" name="keep"></body></html>',
  );
  await page.evaluate(() => window.editor.setBody("<p>mine</p>"));
  await caretAtEnd(page);
  await page.keyboard.type(" typed");
  // Unsaved work: Open asks first, and a cancelled file dialog keeps it.
  const asked = [];
  page.on("dialog", (d) => asked.push(d.message()) && d.accept());
  assert.match(await command(page, "Open", [{ file: "open", cancel: true }]), /Nothing opened/);
  assert.equal(asked.length, 1);
  assert.match(await markup(page), /mine typed/);

  assert.equal(await command(page, "Open", [{ file: "open", path: strangers }]), "Opened.");
  const shown = await view(page);
  assert.doesNotMatch(shown, /script|onclick|javascript:| src="https:/);
  assert.match(shown, /name="keep"/);
  if (await hasDialogEnds(page)) {
    assert.equal(await page.$eval("[name=folder]", (f) => f.value), dir);
  }
  // Remote images wait for the person's leave.
  await page.waitForSelector("#remote button");
  await page.click("#remote button");
  assert.match(await view(page), /src="https:\/\/tracker\.example\/pixel\.gif"/);
  assert.equal(await page.$("#remote"), null);

  // Source view edits are read as a stranger's too.
  await clickTool(page, "Source");
  const area = await page.waitForSelector(".jodit-source textarea");
  await area.click();
  await page.keyboard.down("Control");
  await page.keyboard.press("End");
  await page.keyboard.up("Control");
  await page.keyboard.type('<img src="x.png" onerror="steal()"><a href="javascript:steal()">b</a>');
  await clickTool(page, "Source");
  await page.waitForFunction(() => !document.querySelector(".jodit_source_mode"));
  assert.doesNotMatch(await view(page), /onerror|href="javascript:/);

  const saved = join(dir, "saved.htm");
  assert.equal(await command(page, "Save", [{ file: "save", path: saved }]), "Saved.");
  const file = readFileSync(saved, "utf8");
  assert.match(file, /name="keep"/);
  assert.match(file, /src="https:\/\/tracker\.example\/pixel\.gif"/);
  assert.doesNotMatch(file, /data-corabind|contenteditable/);
});

test("compose and send carry the page's envelope and say what happened", async (t) => {
  const dir = tempDir(t);
  mkdirSync(join(dir, "img"));
  writeFileSync(join(dir, "img", "logo.png"), kPng);
  writeFileSync(join(dir, "dot.gif"), kGif);
  const smtp = await startSmtp(t, join(dir, "maildir"));
  const { page } = await openEditor(t, dir);
  await page.evaluate((port) => {
    window.editor.setBody('<p>그림 <img src="img/logo.png"> <img src="dot.gif"></p><table background="dot.gif"><tr><td>표</td></tr></table>');
    document.querySelector("[name=server]").value = `127.0.0.1:${port}`;
  }, smtp.port);
  for (const [name, value] of [["cc", "kim@example.org"], ["bcc", "hidden@example.net"], ["subject", "회의 안내"]]) {
    await page.type(`[name=${name}]`, value);
  }
  const downloads = join(dir, "downloads");
  const cdp = await page.browser().target().createCDPSession();
  await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads, eventsEnabled: true });
  const downloaded = new Promise((resolve) => cdp.on("Browser.downloadProgress", (e) => e.state === "completed" && resolve()));
  assert.match(await command(page, "Download message"), /^Message downloaded \(\d+ bytes\)\.$/);
  await downloaded;
  const eml = join(downloads, "mail.eml");
  const message = readFileSync(eml, "utf8");
  assert.match(message, /^From: me@example\.com\r$/m);
  assert.match(message, /^To: you@example\.com\r$/m);
  assert.match(message, /^Cc: kim@example\.org\r$/m);
  assert.match(message, /^Subject: =\?UTF-8\?/m);
  assert.doesNotMatch(message, /hidden/);
  assert.match(checkMessage(eml, [join(dir, "img", "logo.png"), join(dir, "dot.gif")]), /그림/);

  assert.equal(await command(page, "Send"), "Sent to you@example.com, kim@example.org, hidden@example.net.");
  const inbox = join(dir, "maildir", "new");
  assert.equal(readdirSync(inbox).length, 1);
  // No recipient at all: the page says so and sends nothing.
  await page.evaluate(() => ["to", "cc", "bcc"].forEach((n) => (document.querySelector(`[name=${n}]`).value = "")));
  assert.match(await command(page, "Send"), /at least one address/);
  assert.equal(readdirSync(inbox).length, 1);
});

test("one language at a time, every button named, the toolbar usable by keyboard", async (t) => {
  const kEnglish = ["Bold", "Italic", "Underline", "Bulleted list", "Numbered list", "Insert link", "Insert table",
    "Insert image", "Source", "Preview", "Undo", "Redo", "Text field", "Password field", "Radio button", "Check box",
    "Text area", "Select list", "Edit field", "Flash movie", "Open", "Save", "Download message", "Send"];
  const names = (page) => page.$$eval(".jodit-toolbar-button", (bs) => bs.map((b) => b.getAttribute("aria-label")));
  for (const [language, expect, screenshot] of [["en-GB", "en", "editor-en.png"], ["ko-KR", "ko", "editor-ko.png"]]) {
    const dir = tempDir(t);
    writeFileSync(join(dir, "logo.svg"), kLogo);
    const { page } = await openEditor(t, dir, { language });
    const messages = await page.evaluate(() => window.editor.messages);
    assert.equal(await page.evaluate(() => document.documentElement.lang), expect);
    const labels = await names(page);
    if (expect === "en") for (const n of kEnglish) assert.ok(labels.includes(n), `${n} in ${labels}`);
    if (expect === "ko") {
      assert.ok(labels.includes(messages.bold) && labels.includes(messages.TEXT), labels.join());
      assert.ok(!labels.some((l) => kEnglish.includes(l) && l !== "SMTP"), labels.join());
      // Jodit's own words are Korean too.
      assert.equal(await page.evaluate(() => window.editor.jodit.i18n("Insert Image")), "이미지 넣기");
    }
    assert.equal(await page.$eval(".jodit-wysiwyg", (e) => e.getAttribute("aria-label")), messages.body);
    // Bold by keyboard: tab into the toolbar, press it, its state is exposed.
    await page.evaluate(() => window.editor.setBody("<p>word</p>"));
    // The usual shortcut, and the toggle's state exposed.
    await page.click(".jodit-wysiwyg p");
    await page.keyboard.press("Home");
    await page.keyboard.down("Shift");
    await page.keyboard.press("End");
    await page.keyboard.up("Shift");
    await page.keyboard.down("Control");
    await page.keyboard.press("b");
    await page.keyboard.up("Control");
    assert.match(await markup(page), /<strong>word<\/strong>/);
    await page.waitForFunction((sel) => document.querySelector(sel).getAttribute("aria-pressed") === "true", {}, tool(messages.bold));
    // The toolbar by keyboard: Tab moves along it, Enter runs a command.
    await page.focus(tool(messages.bold));
    await page.keyboard.press("Tab");
    assert.equal(await page.evaluate(() => document.activeElement.closest(".jodit-toolbar-button")?.getAttribute("aria-label")), messages.italic);
    assert.notEqual(await page.evaluate(() => getComputedStyle(document.activeElement).outlineStyle), "none");
    await page.click(".jodit-wysiwyg p");
    await nextUi(page, [kTextUi("k")]);
    await page.focus(tool(messages.TEXT));
    await page.keyboard.press("Enter");
    await page.waitForFunction(() => /name="k"/.test(window.editor.bodyMarkup()));

    // The picture for the README: a table, an image, every field and a movie.
    const fields = await page.evaluate(async (kinds, flash) => {
      const c = window.editor.control;
      const out = [];
      for (const [kind, ui] of kinds) out.push(await c.$ui(ui).SetFormField(kind));
      out.push(await c.$ui(flash).LoadFlashTag());
      return out;
    }, kFields.map(([, kind, ui]) => [kind, ui]), kFlashUi("movie.swf"));
    const logo = `data:image/svg+xml;base64,${Buffer.from(kLogo).toString("base64")}`;
    await page.evaluate((f, logo) => window.editor.setBody(
      `<h2>${window.editor.messages.title}</h2><p><img src="${window.editor.info.files ? "logo.svg" : logo}" width="48" height="48"> ${f.slice(0, 4).join(" ")}</p>` +
      `<p>${f[4]} ${f[5]} ${f[6]}</p><table border="1" style="width:60%"><tbody><tr><td>A1</td><td>B1</td></tr><tr><td>A2</td><td>B2</td></tr></tbody></table>`), fields, logo);
    const shot = join(dir, screenshot);
    await page.screenshot({ path: shot });
    if (process.env.CORABIND_SCREENSHOTS) writeFileSync(join(process.env.CORABIND_SCREENSHOTS, screenshot), readFileSync(shot));
  }
});

test("the draft survives a reload; a stopped server is said, and a new one needs its own address", async (t) => {
  const dir = tempDir(t);
  const { page, server } = await openEditor(t, dir);
  await page.evaluate(() => window.editor.setBody("<p>draft</p>"));
  await caretAtEnd(page);
  await page.keyboard.type(" kept");
  await page.type("[name=subject]", "S");  // the draft is written on every change, in a moment
  await page.waitForFunction(() => /kept/.test(localStorage.getItem("corabind.draft") ?? ""));
  // Leaving with unsaved changes asks first; the draft is there after.
  const asked = [];
  page.on("dialog", (d) => asked.push(d.type()) && d.accept());
  await page.reload();
  assert.deepEqual(asked, ["beforeunload"]);
  await page.evaluate(() => window.editor.ready);
  assert.match(await page.$eval("#draft", (n) => n.textContent), /Restored the draft/);
  assert.match(await markup(page), /draft kept/);
  assert.equal(await page.$eval("[name=subject]", (f) => f.value), "S");
  await caretAtEnd(page);
  await page.keyboard.type("!");

  const second = page;
  server.child.kill("SIGKILL");
  await second.waitForSelector("#offline");
  await second.waitForSelector(`${tool("Text field")}[disabled]`);
  assert.match(await markup(second), /draft kept!/);
  // A new server on the same port has a new secret the page cannot know.
  const again = await startServer(t, ["--no-display", "--folder", dir, "--port", String(server.port)]);
  assert.equal(again.port, server.port);
  await second.waitForFunction(() => /new secret/.test(document.querySelector("#offline")?.textContent));
  assert.match(await markup(second), /draft kept!/);
});

test("while a dialog is open the page says so; its answer from before a break is not used", async (t) => {
  const dir = tempDir(t);
  const { page } = await openEditor(t, dir);
  await page.evaluate(() => window.editor.setBody("<p>x</p>"));
  // The dialog's answer is held back, and the server made unreachable, as
  // a person would meet a slow dialog and a stopped server.
  await page.setRequestInterception(true);
  let held = null;
  let serverDown = false;
  page.on("request", (r) => {
    if (r.url().endsWith("/call") && r.postData()?.includes('"SetFormField"')) held = r;
    else if (serverDown && r.url().endsWith("/info")) r.abort();
    else r.continue();
  });
  await nextUi(page, [kTextUi("late")]);
  await caretAtEnd(page);
  await clickTool(page, "Text field");
  await page.waitForSelector("#overlay:not([hidden])");
  assert.match(await page.$eval("#overlay", (o) => o.textContent), /dialog is open/);
  await page.waitForSelector(`${tool("Open")}[disabled]`);
  serverDown = true;
  await page.waitForSelector("#offline");
  serverDown = false;
  await page.waitForFunction(() => !document.querySelector("#offline"));
  await held.continue();
  await page.waitForSelector("#overlay[hidden]");
  await page.waitForFunction(() => document.querySelector("#status").textContent !== "Connected again.");
  assert.match(await status(page), /from before the break/);
  assert.doesNotMatch(await markup(page), /late/);
});

test("local images are shown through the server and kept relative; a picked file is copied in", async (t) => {
  const dir = tempDir(t);
  writeFileSync(join(dir, "dot.gif"), kGif);
  const { page } = await openEditor(t, dir);
  if (!(await page.evaluate(() => window.editor.info.files))) return t.skip("the server does not serve the mail's files (/info has no \"files\")");
  await page.evaluate(() => window.editor.setBody('<p>x <img src="dot.gif"></p>'));
  await page.waitForFunction(() => document.querySelector(".jodit-wysiwyg img").naturalWidth === 1);
  assert.match(await markup(page), /<img src="dot\.gif">/);
  await caretAtEnd(page);
  const png = join(dir, "picked.png");
  writeFileSync(png, kPng);
  const [chooser] = await Promise.all([page.waitForFileChooser(), page.click(tool("Insert image"))]);
  await page.evaluate(() => (document.querySelector("#status").textContent = ""));
  await chooser.accept([png]);
  await page.waitForFunction(() => document.querySelector("#status").textContent !== "");
  const [, src] = /<img src="([^"]+)">\s*<\/p>$/.exec(await markup(page)) ?? [];
  assert.ok(src && !src.includes("/"), await markup(page));
  assert.deepEqual(readFileSync(join(dir, src)), kPng);

  // Dropped and pasted image files are copied in the same way, each under a
  // name of its own.
  for (const kind of ["drop", "paste"]) {
    await page.evaluate(() => (document.querySelector("#status").textContent = ""));
    await page.evaluate((kind, b64) => {
      const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
      const data = new DataTransfer();
      data.items.add(new File([bytes], "picked.png", { type: "image/png" }));
      const target = document.querySelector(".jodit-wysiwyg p");
      const box = target.getBoundingClientRect();
      target.dispatchEvent(kind === "drop"
        ? new DragEvent("drop", { dataTransfer: data, bubbles: true, cancelable: true, clientX: box.right - 2, clientY: box.top + 4 })
        : new ClipboardEvent("paste", { clipboardData: data, bubbles: true, cancelable: true }));
    }, kind, kPng.toString("base64"));
    await page.waitForFunction(() => document.querySelector("#status").textContent !== "");
  }
  const sources = [...(await markup(page)).matchAll(/<img src="([^"]+)">/g)].map((m) => m[1]);
  assert.equal(new Set(sources).size, 4, sources.join());
  for (const added of sources.slice(1)) assert.deepEqual(readFileSync(join(dir, added)), kPng, added);
});

test("corabind.js: the page's document for GetImages, properties, failures", async (t) => {
  const dir = tempDir(t);
  writeFileSync(join(dir, "dot.gif"), kGif);
  const { page } = await openEditor(t, dir);
  const base = "Z:" + dir.replaceAll("/", "\\") + "\\";
  const [message, keys] = await page.evaluate(async (base) => {
    const c = window.editor.control;
    const doc = new DOMParser().parseFromString('<html><head><link rel="stylesheet" href="/editor.css"></head><body><p>그림 <img src="dot.gif"></p></body></html>', "text/html");
    const message = await c.GetImages(doc.body.outerHTML, doc.body, base, doc, false);
    return [message, await c.imageKeys];
  }, base);
  // The body's image, and the style sheet only the document knows of.
  assert.deepEqual(keys, ["dot.gif", "/editor.css"]);
  assert.match(message, /Content-ID: <dot\.gif>\r\n\r\nR0lGODlhAQABAIAAAAAAAP/);
  // Without a ui script the dialog cannot open on a server with no display.
  assert.match(await command(page, "Check box"), /no display.*ui script/);
  const failure = await page.evaluate(() =>
    window.editor.control.SetFormField(document.body).catch((e) => [e.name, e.number]),
  );
  assert.deepEqual(failure, ["CorabindError", 13]);
});

test("compose takes the list headers and keeps blind copies out of the message", async (t) => {
  const dir = tempDir(t);
  const { page } = await openEditor(t, dir);
  const [code, message] = await page.evaluate(async () => {
    const response = await Corabind.post("/compose", {
      html: "<p>Hello</p>",
      from: "news@example.com",
      to: ["lee@example.org"],
      bcc: ["hidden@example.net"],
      "reply-to": ["desk@example.com"],
      "list-unsubscribe": ["https://example.com/u?id=1"],
    });
    return [response.status, await response.text()];
  });
  assert.equal(code, 200, message);
  assert.match(message, /^Reply-To: desk@example\.com\r$/m);
  assert.match(message, /^List-Unsubscribe: <https:\/\/example\.com\/u\?id=1>\r$/m);
  assert.match(message, /^List-Unsubscribe-Post: List-Unsubscribe=One-Click\r$/m);
  assert.match(message, /multipart\/alternative/);
  assert.doesNotMatch(message, /hidden/);
  const refused = await page.evaluate(async () => {
    const answers = [];
    for (const request of [{ "list-unsubscribe": ["http://x.example"] }, { attach: ["/etc/passwd"] },
                           { text: "/etc/passwd" }, { to: 5 }]) {
      const response = await Corabind.post("/compose", { html: "<p>x</p>", ...request });
      answers.push([response.status, (await response.json()).refused]);
    }
    return answers;
  });
  assert.deepEqual(refused.map(([status]) => status), [422, 422, 422, 422]);
  assert.match(refused[0][1], /mailto: or https:/);
  assert.match(refused[1][1], /does not take "attach"/, "a page names no file of the user's");
  assert.match(refused[2][1], /does not take "text"/);
  assert.match(refused[3][1], /"to" takes a text or a list of texts/);
});
