// Starts `corabind serve` and Debian's chromium for a test, and stops both.
import { spawn } from "node:child_process";
import { request } from "node:http";
import { connect, createServer } from "node:net";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import puppeteer from "puppeteer-core";

export const cli = process.env.CORABIND_CLI ?? "../../build/corabind";

export function tempDir(t) {
  const dir = mkdtempSync(join(tmpdir(), "corabind-serve-"));
  t.after(() => rmSync(dir, { recursive: true, force: true }));
  return dir;
}

// Without a display unless `env` gives one: dialogs then need a ui script,
// which the server runs only with --no-display or --allow-ui-scripts.
export async function startServer(t, args = [], env = {}) {
  const clean = { ...process.env, LANG: "C.UTF-8", LC_ALL: "C.UTF-8" };
  for (const k of ["DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"]) delete clean[k];
  const child = spawn(cli, ["serve", ...args], { env: { ...clean, ...env } });
  const exited = new Promise((resolve) => child.on("exit", (code, signal) => resolve({ code, signal })));
  t.after(() => child.kill("SIGKILL"));
  let out = "";
  const url = await new Promise((resolve, reject) => {
    child.stdout.on("data", (chunk) => {
      out += chunk;
      const m = /corabind serve: (http:\/\/127\.0\.0\.1:(\d+)\/#secret=([0-9a-f]+))/.exec(out);
      if (m) resolve(m[1]);
    });
    child.stderr.on("data", (chunk) => (out += chunk));
    child.on("exit", () => reject(new Error(`corabind serve ended: ${out}`)));
  });
  const { port, hash } = new URL(url);
  const origin = `http://127.0.0.1:${port}`;
  const output = () => out;
  return { child, url, origin, port: Number(port), secret: hash.slice("#secret=".length), exited, output };
}

// A raw call, as any program could send it (any Host, any header).
export function call(server, body, { headers = {}, path = "/call", method = "POST" } = {}) {
  const data = Buffer.from(typeof body === "string" ? body : JSON.stringify(body));
  const all = {
    Host: `127.0.0.1:${server.port}`,
    "Content-Type": "application/json",
    "X-Corabind-Secret": server.secret,
    "Content-Length": data.length,
    ...headers,
  };
  for (const [k, v] of Object.entries(all)) if (v === undefined) delete all[k];
  return new Promise((resolve, reject) => {
    const req = request({ host: "127.0.0.1", port: server.port, path, method, headers: all }, (res) => {
      const chunks = [];
      res.on("data", (c) => chunks.push(c));
      res.on("end", () => {
        const text = Buffer.concat(chunks).toString("utf8");
        let json = null;
        try {
          json = JSON.parse(text);
        } catch {}
        resolve({ status: res.statusCode, headers: res.headers, text, json });
      });
    });
    req.on("error", reject);
    req.end(data);
  });
}

export async function startBrowser(t) {
  const profile = mkdtempSync(join(tmpdir(), "corabind-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    userDataDir: profile,
    args: [
      "--headless",
      "--no-sandbox",
      "--disable-gpu",
      "--disable-quic",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
    ],
  });
  t.after(async () => {
    await browser.close();
    rmSync(profile, { recursive: true, force: true });
  });
  return browser;
}

// A private X display (Xvfb, no TCP) for dialogs that nobody answers.
export async function startX(t) {
  const child = spawn("Xvfb", ["-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1024x768x24"], {
    stdio: ["ignore", "ignore", "ignore", "pipe"],
  });
  t.after(() => child.kill("SIGKILL"));
  let out = "";
  return new Promise((resolve, reject) => {
    child.stdio[3].on("data", (c) => {
      out += c;
      if (out.endsWith("\n")) resolve(`:${out.trim()}`);
    });
    child.on("exit", () => reject(new Error("Xvfb ended")));
  });
}

// Debian's aiosmtpd on a free loopback port, keeping each message it takes
// as a file in `maildir`/new.
export async function startSmtp(t, maildir) {
  const probe = createServer();
  await new Promise((resolve) => probe.listen(0, "127.0.0.1", resolve));
  const port = probe.address().port;
  await new Promise((resolve) => probe.close(resolve));
  const child = spawn("/usr/bin/python3", [
    "-m", "aiosmtpd", "-n", "-l", `127.0.0.1:${port}`, "-c", "aiosmtpd.handlers.Mailbox", maildir,
  ]);
  t.after(() => child.kill("SIGKILL"));
  for (;;) {  // until it accepts connections
    const up = await new Promise((resolve) => {
      const socket = connect(port, "127.0.0.1", () => resolve(true) || socket.end());
      socket.on("error", () => resolve(false));
    });
    if (up) return { port };
    if (child.exitCode !== null) throw new Error("aiosmtpd ended");
    await new Promise((resolve) => setImmediate(resolve));
  }
}
