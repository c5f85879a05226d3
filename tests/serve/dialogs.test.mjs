// The bridge under the editor's dialogs and files: how each dialog ended,
// the mail's folder as the page sees it (read-only, confined as compose
// reads), the images the page adds to it, and the real Qt dialogs on a
// display of their own, driven as a person would.
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import { linkSync, mkdirSync, readFileSync, readdirSync, symlinkSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { call, startBrowser, startServer, startX, tempDir } from "./support.mjs";

const kGif = Buffer.from("R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7", "base64");
const field = (ui) => ({ op: "call", control: "c1", method: "SetFormField", args: ["TEXT"], ui });
const typed = (name) => [{ type: "Text1", text: name }];

test("every dialog's answer says how it ended, beside the member's value", async (t) => {
  const dir = tempDir(t);
  const opened = join(dir, "opened");
  mkdirSync(opened);
  writeFileSync(join(opened, "m.htm"), "<p>opened</p>");
  writeFileSync(join(opened, "x.gif"), kGif);
  const server = await startServer(t, ["--no-display", "--folder", dir]);
  assert.equal((await call(server, { op: "create" })).status, 200);
  const cases = [
    ["OK", field([{ form: "TextBoxF", steps: [...typed("a"), { click: "Command1" }] }]), "accepted"],
    // Closing from the frame returns the field before, as the control defines.
    ["frame", field([{ form: "TextBoxF", steps: [...typed("b"), { close: true }] }]), "closed"],
    ["Cancel", field([{ form: "TextBoxF", steps: [{ click: "Command2" }] }]), "cancelled"],
    ["Flash Cancel", { op: "call", control: "c1", method: "LoadFlashTag", ui: [{ form: "Form1", steps: [{ click: "Command3" }] }] }, "cancelled"],
    ["Flash frame", { op: "call", control: "c1", method: "LoadFlashTag", ui: [{ form: "Form1", steps: [{ close: true }] }] }, "closed"],
    ["open cancelled", { op: "call", control: "c1", method: "GetLocalHTMLFile", ui: [{ file: "open", cancel: true }] }, "cancelled"],
    ["open closed", { op: "call", control: "c1", method: "GetLocalHTMLFile", ui: [{ file: "open", close: true }] }, "closed"],
    ["save closed", { op: "call", control: "c1", method: "SaveToLocal", args: ["<p>x</p>", "", false], ui: [{ file: "save", close: true }] }, "closed"],
    ["open", { op: "call", control: "c1", method: "GetLocalHTMLFile", ui: [{ file: "open", path: join(opened, "m.htm") }] }, "accepted"],
  ];
  let previous = null;
  for (const [name, request, ended] of cases) {
    const answer = await call(server, request);
    assert.equal(answer.status, 200, `${name}: ${answer.text}`);
    assert.equal(answer.json.ended, ended, name);
    if (name === "OK") previous = answer.json.result;
    if (name === "frame") assert.equal(answer.json.result, previous, name);
  }
  // The accepted open moved the mail's folder; nothing else did.
  const last = await call(server, cases.at(-1)[1]);
  assert.equal(last.json.folder, opened);
  assert.equal((await call(server, {}, { path: "/info" })).json.folder, opened);
  // Compose reads the mail's images from there when the page names no folder.
  const composed = await call(server, { html: '<p><img src="x.gif"></p>' }, { path: "/compose" });
  assert.equal(composed.status, 200, composed.text);
  assert.match(composed.text, /Content-Type: image\/gif/);
  // A call that opens nothing says nothing of an ending.
  const plain = await call(server, { op: "call", control: "c1", method: "getBaseURL" });
  assert.equal(plain.json.ended, undefined);
  // A scripted dialog ends by itself: calls made meanwhile wait their turn
  // instead of being told a dialog is open.
  const together = await Promise.all(
    Array.from({ length: 8 }, (_, i) => call(server, field([{ form: "TextBoxF", steps: [...typed(`n${i}`), { click: "Command1" }] }]))));
  assert.deepEqual(together.map((a) => [a.status, a.json?.ended]), Array(8).fill([200, "accepted"]));
});

test("the mail's files are served read-only, confined as compose reads them", async (t) => {
  const dir = tempDir(t);
  const mail = join(dir, "mail"), allowed = join(dir, "allowed"), outside = join(dir, "outside");
  for (const d of [mail, allowed, outside, join(mail, "sub dir")]) mkdirSync(d);
  writeFileSync(join(mail, "a.gif"), kGif);
  writeFileSync(join(mail, "sub dir", "é #1.gif"), kGif);
  writeFileSync(join(mail, "style.css"), "p { color: red }");
  writeFileSync(join(allowed, "logo.gif"), kGif);
  writeFileSync(join(outside, "secret.txt"), "secret");
  writeFileSync(join(mail, "inside.txt"), "text");
  symlinkSync(join(outside, "secret.txt"), join(mail, "link.txt"));
  symlinkSync(outside, join(mail, "linked"));
  linkSync(join(outside, "secret.txt"), join(mail, "hard.txt"));
  const server = await startServer(t, ["--no-display", "--folder", mail, "--allow-root", allowed]);
  const info = (await call(server, {}, { path: "/info" })).json;
  assert.equal(info.folder, mail);
  assert.match(info.files, /^\/files\/[0-9a-f]{32}\/$/);
  const cases = [
    ["a.gif", 200, "image/gif"],
    ["sub%20dir/%C3%A9%20%231.gif", 200, "image/gif"],
    ["style.css", 200, "text/css"],
    ["../allowed/logo.gif", 200, "image/gif"],
    ["inside.txt", 200, "text/plain"],
    ["../outside/secret.txt", 404],
    ["%2E%2E/outside/secret.txt", 404],
    ["sub%20dir/../../outside/secret.txt", 404],
    ["link.txt", 404],
    ["linked/secret.txt", 404],
    ["hard.txt", 404],
    ["sub%20dir", 404],
    ["sub%20dir/", 404],
    ["", 404],
    ["%2Fetc%2Fpasswd", 404],
    ["a.gif%00.txt", 404],
    ["%zz", 404],
    ["missing.gif", 404],
  ];
  for (const [path, status, type] of cases) {
    const got = await call(server, "", { method: "GET", path: info.files + path, headers: { "X-Corabind-Secret": undefined, "Content-Type": undefined } });
    assert.equal(got.status, status, path);
    if (status !== 200) continue;
    assert.equal(got.headers["content-type"], type, path);
    assert.equal(got.headers["x-content-type-options"], "nosniff", path);
    assert.match(got.headers["content-security-policy"], /^sandbox;/, path);
  }
  // Another token, another host, a write: no file.
  const other = [
    ["/files/" + "0".repeat(32) + "/a.gif", {}],
    [info.files + "a.gif", { Host: `attacker.example:${server.port}` }],
  ];
  for (const [path, headers] of other) {
    assert.notEqual((await call(server, "", { method: "GET", path, headers })).status, 200, path);
  }
  assert.equal((await call(server, "", { method: "POST", path: info.files + "a.gif" })).status, 404);
});

test("an added image gets a safe new name in the mail's folder, never another file's", async (t) => {
  const dir = tempDir(t);
  const outside = tempDir(t);
  writeFileSync(join(dir, "taken.gif"), "old");
  symlinkSync(join(outside, "target.gif"), join(dir, "dangling.gif"));
  const server = await startServer(t, ["--no-display", "--folder", dir, "--max-body", "4096"]);
  const data = kGif.toString("base64");
  const cases = [
    ["photo.gif", "photo.gif"],
    ["photo.gif", "photo-1.gif"],
    ["../../etc/x.gif", "x.gif"],
    ["C:\\Users\\me\\y.gif", "y.gif"],
    ["..hidden.gif", "hidden.gif"],
    ["a\u0001b\nc.gif", "abc.gif"],
    ["...", "image"],
    ["taken.gif", "taken-1.gif"],
    ["dangling.gif", "dangling-1.gif"],
    ["sp ace #?.gif", "sp%20ace%20%23%3F.gif"],
    ["한글.gif", "%ED%95%9C%EA%B8%80.gif"],
  ];
  for (const [name, src] of cases) {
    const got = await call(server, { name, data }, { path: "/image" });
    assert.equal(got.status, 200, `${name}: ${got.text}`);
    assert.equal(got.json.src, src, name);
    assert.deepEqual(readFileSync(join(dir, decodeURIComponent(src))), kGif, name);
  }
  assert.equal(readFileSync(join(dir, "taken.gif"), "utf8"), "old");
  assert.deepEqual(readdirSync(outside), []);
  const refused = [
    [{ name: "a.gif", data: "R0lG OD==" }, 400],
    [{ name: "a.gif", data: "" }, 400],
    [{ name: "a.gif" }, 400],
    [{ name: 1, data }, 400],
    [{ name: "big.gif", data: "A".repeat(8192) }, 413],
  ];
  const before = readdirSync(dir).length;
  for (const [body, status] of refused) {
    assert.equal((await call(server, body, { path: "/image" })).status, status, JSON.stringify(body).slice(0, 40));
  }
  assert.equal((await call(server, { name: "a.gif", data }, { path: "/image", headers: { "X-Corabind-Secret": undefined } })).status, 401);
  assert.equal(readdirSync(dir).length, before);
});

test("the page is sent with its policy, and corabind.js tells how a dialog ended", async (t) => {
  const dir = tempDir(t);
  const server = await startServer(t, ["--no-display", "--folder", dir]);
  const page = await call(server, "", { method: "GET", path: "/", headers: { "X-Corabind-Secret": undefined } });
  const policy = page.headers["content-security-policy"];
  for (const part of ["default-src 'self'", "script-src 'self'", "object-src 'none'", "base-uri 'none'", "form-action 'none'", "frame-ancestors 'none'", "img-src 'self' data: blob: https: http:"]) {
    assert.ok(policy.includes(part), part);
  }
  assert.equal(page.headers["referrer-policy"], "no-referrer");
  const browser = await startBrowser(t);
  const tab = await browser.newPage();
  await tab.goto(server.url);
  const got = await tab.evaluate(async () => {
    const c = await Corabind.create();
    const steps = [{ type: "Text1", text: "n" }, { click: "Command1" }];
    const value = await c.$ui([{ form: "TextBoxF", steps }]).SetFormField("TEXT");
    const closed = await c.$ui([{ form: "TextBoxF", steps: [{ close: true }] }]).$dialog("SetFormField", "TEXT");
    return { value, closed };
  });
  assert.equal(got.value, '<input type="text" name = "n" >');
  assert.deepEqual(got.closed, { value: got.value, ended: "closed" });
});

// ---- The real dialogs on a display of their own -------------------------

function missingTools() {
  const checks = [
    ["Xvfb", "command -v Xvfb"],
    ["xdotool", "command -v xdotool"],
    ["python3-xlib", "/usr/bin/python3 -c 'import Xlib'"],
  ];
  for (const [name, check] of checks) {
    if (spawnSync("sh", ["-c", check], { stdio: "ignore" }).status !== 0) return name;
  }
  return null;
}

// The window manager's part, which no window manager plays here: asks the
// window to close, as its frame's close button would.
const kDeleteWindow = `
import sys
from Xlib import X, display, protocol
d = display.Display(sys.argv[1])
w = d.create_resource_object("window", int(sys.argv[2]))
proto = d.intern_atom("WM_PROTOCOLS")
event = protocol.event.ClientMessage(window=w, client_type=proto,
    data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
w.send_event(event, event_mask=X.NoEventMask)
d.flush()
`;

test("the real dialogs: OK, Cancel and the frame's close, and no call waits meanwhile", async (t) => {
  const missing = missingTools();
  if (missing) return t.skip(`${missing} is not installed: no display for the real dialogs (scripts/dev installs it)`);
  let display;
  try {
    display = await startX(t);
  } catch (e) {
    return t.skip(`no X server could be started: ${e.message}`);
  }
  // Run without blocking: the server's answers arrive meanwhile.
  const run = (command, ...args) =>
    new Promise((resolve, reject) => {
      const child = spawn(command, args, { env: { ...process.env, DISPLAY: display } });
      let out = "";
      child.stdout.on("data", (c) => (out += c));
      child.stderr.on("data", (c) => (out += c));
      child.on("exit", (code) => (code === 0 ? resolve(out.trim()) : reject(new Error(`${command} ${args.join(" ")}: ${out}`))));
    });
  const dir = tempDir(t);
  writeFileSync(join(dir, "a.gif"), kGif);
  const server = await startServer(t, ["--folder", dir], { DISPLAY: display });
  const files = (await call(server, {}, { path: "/info" })).json.files;
  assert.equal((await call(server, { op: "create" })).status, 200);
  const request = { op: "call", control: "c1", method: "SetFormField", args: ["TEXT"] };
  // Each showing: the call goes out, the window appears (searched until it
  // does), the person acts on it, and the call's answer comes back.
  const show = async (act) => {
    const answer = call(server, request);
    const found = await run("xdotool", "search", "--sync", "--onlyvisible", "--name", "^Text Box Setting$");
    const window = found.split("\n")[0];
    // The dialog came to the front with the keyboard (no window manager
    // here: it took the focus itself).
    while ((await run("xdotool", "getwindowfocus")) !== window);
    const during = await call(server, { op: "state" });
    const info = await call(server, {}, { path: "/info" });
    const file = await call(server, "", { method: "GET", path: files + "a.gif" });
    await act(window);
    return { answer: await answer, during, info, file };
  };
  // The OK and Cancel buttons' middles, in the form's own coordinates.
  const click = (x, y) => (window) => run("xdotool", "mousemove", "--window", window, String(x), String(y), "click", "1");
  const typeThenOk = async (window) => {
    await run("xdotool", "type", "--delay", "0", "nm");  // the dialog has the keyboard
    await click(316, 109)(window);
  };
  const frameClose = (window) => run("/usr/bin/python3", "-c", kDeleteWindow, display, window);
  const cases = [
    ["OK", typeThenOk, "accepted", '<input type="text" name = "nm" >'],
    ["frame", frameClose, "closed", '<input type="text" name = "nm" >'],
    ["Cancel", click(316, 145), "cancelled", ""],
  ];
  for (const [name, act, ended, result] of cases) {
    const { answer, during, info, file } = await show(act);
    assert.equal(during.status, 409, name);
    assert.equal(during.json.refused, "a dialog is open", name);
    assert.equal(info.status, 200, name);
    assert.equal(file.status, 200, name);
    assert.equal(answer.status, 200, `${name}: ${answer.text}`);
    assert.equal(answer.json.ended, ended, name);
    assert.equal(answer.json.result, result, name);
  }

  // The page's side: corabind.js is told at once, and hears how it ended.
  const browser = await startBrowser(t);
  const tab = await browser.newPage();
  await tab.goto(server.url);
  await tab.evaluate(async () => {
    window.c = await Corabind.create();
    window.pending = window.c.$dialog("SetFormField", "TEXT");
  });
  const shown = (await run("xdotool", "search", "--sync", "--onlyvisible", "--name", "^Text Box Setting$")).split("\n")[0];
  const refused = await tab.evaluate(() =>
    window.c.SetFormField("TEXT").then(
      () => null,
      (e) => ({ name: e.name, number: e.number, description: e.description }),
    ),
  );
  assert.deepEqual(refused, { name: "CorabindError", number: 409, description: "a dialog is open" });
  await click(316, 145)(shown);
  assert.deepEqual(await tab.evaluate(() => window.pending), { value: "", ended: "cancelled" });
});
