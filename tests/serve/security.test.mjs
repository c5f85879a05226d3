// No page or program but the one holding the secret, on this server's own
// address and origin, may drive the control; whatever is refused leaves no
// trace and the server goes on serving.
import assert from "node:assert/strict";
import { chmodSync, existsSync, mkdirSync, readFileSync, rmSync, statSync, writeFileSync } from "node:fs";
import { createServer } from "node:http";
import { dirname, join } from "node:path";
import { test } from "node:test";
import { call, startBrowser, startServer, startX, tempDir } from "./support.mjs";

// A call that would write a file if it ran.
const saveCall = (path) => ({
  op: "call",
  control: "c1",
  method: "SaveToLocal",
  args: ["<p>written</p>", "", false],
  ui: [{ file: "save", path }],
});

test("refused requests do nothing and the server goes on", async (t) => {
  const dir = tempDir(t);
  const server = await startServer(t, ["--no-display", "--max-body", "4096"]);
  assert.equal((await call(server, { op: "create" })).status, 200);
  const target = join(dir, "x.htm");
  const cases = [
    ["no secret", { headers: { "X-Corabind-Secret": undefined } }, 401],
    ["wrong secret", { headers: { "X-Corabind-Secret": "0".repeat(64) } }, 403],
    ["secret's prefix", { headers: { "X-Corabind-Secret": server.secret.slice(0, 10) } }, 403],
    ["rebound name", { headers: { Host: `attacker.example:${server.port}` } }, 421],
    ["another port", { headers: { Host: `127.0.0.1:${server.port + 1}` } }, 421],
    ["another origin", { headers: { Origin: "http://127.0.0.1:1" } }, 403],
    ["a form post", { headers: { "Content-Type": "text/plain" } }, 415],
    ["oversized", { body: { ...saveCall(target), pad: "x".repeat(5000) } }, 413],
    ["preflight", { method: "OPTIONS" }, 403],
    ["another path", { path: "/../etc/passwd", method: "GET" }, 404],
    ["no listing", { path: "/web/", method: "GET" }, 404],
  ];
  for (const [name, options, expected] of cases) {
    const r = await call(server, options.body ?? saveCall(target), options);
    assert.equal(r.status, expected, name);
    assert.ok(!Object.keys(r.headers).some((h) => h.startsWith("access-control-")), name);
    assert.ok(!existsSync(target), `${name}: nothing written`);
    assert.equal((await call(server, { op: "state" })).status, 200, `${name}: still serving`);
  }
  // The same call with everything right does write.
  const ok = await call(server, saveCall(target));
  assert.equal(ok.status, 200, ok.text);
  assert.ok(existsSync(target));
  // /shutdown needs the secret too; with it, the server ends cleanly.
  assert.equal((await call(server, "", { path: "/shutdown", headers: { "X-Corabind-Secret": "x" } })).status, 403);
  assert.equal((await call(server, "", { path: "/shutdown" })).status, 200);
  assert.deepEqual(await server.exited, { code: 0, signal: null }, server.output());
});

test("a page of another origin cannot call, even knowing the secret", async (t) => {
  const dir = tempDir(t);
  const server = await startServer(t);
  assert.equal((await call(server, { op: "create" })).status, 200);
  const other = createServer((req, res) => res.end("<!doctype html><title>other</title>"));
  await new Promise((resolve) => other.listen(0, "127.0.0.1", resolve));
  t.after(() => other.close());
  const browser = await startBrowser(t);
  const page = await browser.newPage();
  await page.goto(`http://127.0.0.1:${other.address().port}/`);
  const target = join(dir, "x.htm");
  const statuses = [];
  page.on("response", (r) => r.url().endsWith("/call") && statuses.push(r.status()));
  const outcome = await page.evaluate(
    async (origin, secret, body) => {
      const results = [];
      // With the secret in its header: the browser asks leave first and gets none.
      try {
        await fetch(origin + "/call", {
          method: "POST",
          headers: { "Content-Type": "application/json", "X-Corabind-Secret": secret },
          body,
        });
        results.push("answered");
      } catch (e) {
        results.push(e.name);
      }
      // A request the browser sends without asking: refused for its origin.
      const blind = await fetch(origin + "/call", { method: "POST", mode: "no-cors", body });
      results.push(blind.type);
      return results;
    },
    server.origin,
    server.secret,
    JSON.stringify(saveCall(target)),
  );
  assert.deepEqual(outcome, ["TypeError", "opaque"]);
  assert.ok(statuses.length >= 1 && statuses.every((s) => s === 403), String(statuses));
  assert.ok(!existsSync(target));
  assert.equal((await call(server, { op: "state" })).status, 200);
});

test("stopping ends an open dialog; a call meanwhile is told a dialog is open", async (t) => {
  // A display of its own: real modal windows that nobody answers.
  const server = await startServer(t, ["--busy-wait", "200"], { DISPLAY: await startX(t) });
  assert.equal((await call(server, { op: "create" })).status, 200);
  const open = call(server, { op: "call", control: "c1", method: "SetFormField", args: ["TEXT"] });
  let busy;
  do {
    busy = await call(server, { op: "state" });
  } while (busy.status !== 409);  // until the dialog is up
  assert.equal(busy.json.refused, "a dialog is open");
  server.child.kill("SIGTERM");
  const answered = await open;
  assert.equal(answered.status, 200, answered.text);
  assert.equal(answered.json.result, "");  // closed, as a cancel
  assert.equal(answered.json.ended, "closed");
  assert.deepEqual(await server.exited, { code: 0, signal: null }, server.output());
});

test("a ui script answers the dialogs only where the person asked for it", async (t) => {
  const dir = tempDir(t);
  const cases = [
    [[], 400],
    [["--allow-ui-scripts"], 200],
    [["--no-display"], 200],
  ];
  for (const [args, expected] of cases) {
    const server = await startServer(t, args);
    assert.equal((await call(server, { op: "create" })).status, 200);
    const target = join(dir, `${args.join("") || "none"}.htm`);
    const r = await call(server, saveCall(target));
    assert.equal(r.status, expected, `${args}: ${r.text}`);
    assert.equal(existsSync(target), expected === 200, String(args));
    if (expected === 400) assert.match(r.json.refused, /--allow-ui-scripts/);
  }
});

// Bounded: a server that never starts the opener would leave it waiting.
test("--open hands the browser a page only the user can read, never the secret", { timeout: 120000 }, async (t) => {
  const dir = tempDir(t);
  // An opener that only notes what it was given, whole before it is seen.
  const opener = join(dir, "opener");
  writeFileSync(opener, `#!/bin/sh\nprintf '%s\\n' "$@" > "$0.part" && mv "$0.part" "$0.argv"\n`, { mode: 0o755 });
  const runtime = join(dir, "runtime");
  mkdirSync(runtime, { mode: 0o700 });
  const shared = join(dir, "shared");
  mkdirSync(shared);
  chmodSync(shared, 0o777);  // not private: another user could read the page
  const cache = join(dir, "cache");
  mkdirSync(cache);
  const cases = [
    ["the runtime folder", runtime, runtime],
    ["a private folder in the cache, the runtime folder being shared", shared, cache],
    ["a private folder in the cache, no runtime folder", "", cache],
  ];
  const browser = await startBrowser(t);
  for (const [name, runtimeDir, under] of cases) {
    const server = await startServer(t, ["--no-display", "--open"], {
      BROWSER: opener,
      XDG_RUNTIME_DIR: runtimeDir,
      XDG_CACHE_HOME: cache,
    });
    while (!existsSync(`${opener}.argv`)) await new Promise((resolve) => setTimeout(resolve, 20));
    const argv = readFileSync(`${opener}.argv`, "utf8").trim().split("\n");
    rmSync(`${opener}.argv`);
    assert.ok(!argv.join(" ").includes(server.secret), name);
    assert.equal(argv.length, 1, name);
    const page = new URL(argv[0]);
    assert.equal(page.protocol, "file:", name);
    const file = decodeURIComponent(page.pathname);
    assert.ok(file.startsWith(under + "/"), `${name}: ${file}`);
    assert.equal(statSync(file).mode & 0o777, 0o600, name);
    if (dirname(file) !== runtimeDir) assert.equal(statSync(dirname(file)).mode & 0o777, 0o700, name);
    // The page leads the browser to the editor, which reads the secret.
    const tab = await browser.newPage();
    await tab.goto(page.href);
    await tab.waitForFunction(() => document.querySelector("#status")?.textContent === "Ready.", { polling: 100 });
    assert.equal(new URL(tab.url()).origin, server.origin, name);
    await tab.close();
    // Gone when the server ends.
    assert.equal((await call(server, "", { path: "/shutdown" })).status, 200);
    assert.deepEqual(await server.exited, { code: 0, signal: null }, server.output());
    assert.ok(!existsSync(file), name);
    assert.ok(!existsSync(dirname(file)) || dirname(file) === runtimeDir, name);
  }
});
