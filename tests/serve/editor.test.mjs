// The bundled editor in a real browser: every toolbar action goes through
// the control, with the user's part scripted (the server has no display).
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, mkdirSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { startBrowser, startServer, startSmtp, tempDir } from "./support.mjs";

// A 1x1 PNG and GIF: real image files for the message's parts.
const kPng = Buffer.from(
  "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==",
  "base64",
);
const kGif = Buffer.from("R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7", "base64");

// Python's own MIME parser: every image a part with its bytes, every cid:
// naming a part. Returns the HTML part's text.
function checkMessage(message, files) {
  const checker = new URL("./check_message.py", import.meta.url).pathname;
  return execFileSync("/usr/bin/python3", [checker, message, ...files], { encoding: "utf8" });
}

const bodyHtml = (page) => page.$eval("#body", (b) => b.innerHTML);
const status = (page) => page.$eval("#status", (s) => s.textContent);
const nextUi = (page, ui) => page.evaluate((u) => window.editor.control.$ui(u) && null, ui);

async function openEditor(t, dir) {
  const server = await startServer(t, ["--no-display", "--folder", dir]);
  const browser = await startBrowser(t);
  const page = await browser.newPage();
  await page.setViewport({ width: 1100, height: 640 });
  await page.goto(server.url);
  await page.evaluate(() => window.editor.ready);
  return { server, browser, page };
}

test("the editor inserts, edits, saves, opens and composes through the control", async (t) => {
  const dir = tempDir(t);
  const { page } = await openEditor(t, dir);
  assert.equal(await status(page), "Ready.");
  // The secret left the address bar once read.
  assert.equal(new URL(page.url()).hash, "");

  // A toolbar click asks the control for a text field.
  await page.click("#body p");
  await nextUi(page, [
    { form: "TextBoxF", steps: [{ type: "Text1", text: "이름" }, { type: "Text2", text: "홍길동" }, { click: "Command1" }] },
  ]);
  await page.click('[data-field="TEXT"]');
  await page.waitForFunction(() => document.querySelector("#status").textContent !== "Ready.");
  assert.equal(await status(page), "Field inserted.");
  assert.match(await bodyHtml(page), /<input type="text" name="이름" value="홍길동">/);

  // Double-clicking it edits it in its dialog, which opens with its values.
  await nextUi(page, [{ form: "TextBoxF", steps: [{ type: "Text1", text: "성명" }, { click: "Command1" }] }]);
  await page.click("#body input", { clickCount: 2 });
  await page.waitForFunction(() => document.querySelector("#status").textContent === "Field changed.");
  assert.match(await bodyHtml(page), /<input type="text" name="성명" value="홍길동"/);
  const loaded = await page.evaluate(() => window.editor.control.$events[0].loaded);
  assert.equal(loaded.Text1, "이름");

  await page.screenshot({ path: join(dir, "editor.png") });
  if (process.env.CORABIND_SCREENSHOT) {
    writeFileSync(process.env.CORABIND_SCREENSHOT, readFileSync(join(dir, "editor.png")));
  }

  // Save writes the file chosen in the save dialog; Open reads it back.
  const saved = join(dir, "saved.htm");
  await nextUi(page, [{ file: "save", path: saved }]);
  await page.click("#save");
  await page.waitForFunction(() => document.querySelector("#status").textContent === "Saved.");
  assert.match(readFileSync(saved, "utf8"), /안녕하세요.*name="성명"/s);
  await page.evaluate(() => (window.editor.body.innerHTML = "<p>비움</p>"));
  await nextUi(page, [{ file: "open", path: saved }]);
  await page.click("#open");
  await page.waitForFunction(() => document.querySelector("#status").textContent === "Opened.");
  assert.match(await bodyHtml(page), /안녕하세요.*name="성명"/s);

  // Compose: every image of the mail becomes a part of the downloaded message.
  mkdirSync(join(dir, "img"));
  writeFileSync(join(dir, "img", "logo.png"), kPng);
  writeFileSync(join(dir, "dot.gif"), kGif);
  await page.evaluate(() => {
    window.editor.body.innerHTML +=
      '<p>그림 <img src="img/logo.png"> <img src="dot.gif"></p><table background="dot.gif"><tr><td>표</td></tr></table>';
  });
  const downloads = join(dir, "downloads");
  const cdp = await page.createCDPSession();
  await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
  await page.click("#compose");
  await page.waitForFunction(() => document.querySelector("#status").textContent.startsWith("Message composed"));
  const eml = join(downloads, "mail.eml");
  for (let i = 0; i < 100 && !existsSync(eml); ++i) await new Promise((r) => setTimeout(r, 50));
  const html = checkMessage(eml, [join(dir, "img", "logo.png"), join(dir, "dot.gif")]);
  assert.match(html, /안녕하세요.*그림/s);
});

test("compose takes the list headers and keeps blind copies out of the message", async (t) => {
  const dir = tempDir(t);
  const { page } = await openEditor(t, dir);
  const [status, message] = await page.evaluate(async () => {
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
  assert.equal(status, 200, message);
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

test("corabind.js: the page's document for GetImages, properties, failures", async (t) => {
  const dir = tempDir(t);
  writeFileSync(join(dir, "dot.gif"), kGif);
  const { page } = await openEditor(t, dir);
  const base = "Z:" + dir.replaceAll("/", "\\") + "\\";
  const [message, keys] = await page.evaluate(async (base) => {
    const c = window.editor.control;
    window.editor.body.innerHTML = '<p>그림 <img src="dot.gif"></p>';
    const message = await c.GetImages(document.body.outerHTML, document.body, base, document, false);
    return [message, await c.imageKeys];
  }, base);
  // The body's image, and the style sheet only the page's document knows of.
  assert.deepEqual(keys, ["dot.gif", "/editor.css"]);
  assert.match(message, /Content-ID: <dot\.gif>\r\n\r\nR0lGODlhAQABAIAAAAAAAP/);

  await page.click('[data-field="CHECK"]');
  await page.waitForFunction(() => document.querySelector("#status").classList.contains("error"));
  assert.match(await status(page), /no display.*ui script/);
  // The control still answers, and a member's failure carries its number.
  const failure = await page.evaluate(() =>
    window.editor.control.SetFormField(document.body).catch((e) => [e.name, e.number]),
  );
  assert.deepEqual(failure, ["CorabindError", 13]);
});

test("send delivers the mail to an SMTP server", async (t) => {
  const dir = tempDir(t);
  writeFileSync(join(dir, "dot.gif"), kGif);
  const smtp = await startSmtp(t, join(dir, "maildir"));
  const { page } = await openEditor(t, dir);
  await page.evaluate((port) => {
    window.editor.body.innerHTML = '<p>보냅니다 <img src="dot.gif"></p>';
    document.querySelector("[name=server]").value = `127.0.0.1:${port}`;
  }, smtp.port);
  await page.click("#send");
  await page.waitForFunction(() => /^(Sent|Send:)/.test(document.querySelector("#status").textContent));
  assert.equal(await status(page), "Sent to you@example.com.");
  const inbox = join(dir, "maildir", "new");
  const [file] = readdirSync(inbox);
  assert.match(checkMessage(join(inbox, file), [join(dir, "dot.gif")]), /보냅니다/);
  assert.match(readFileSync(join(inbox, file), "utf8"), /^Subject: =\?UTF-8\?/im);
});
