// Clients that are idle, slow or send more than is taken: none of them holds
// up a call, and none makes the server hold more than its limits.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { connect } from "node:net";
import { test } from "node:test";
import { call, startServer } from "./support.mjs";

// A raw connection, its answer collected until the server ends it.
async function open(t, server) {
  const socket = connect(server.port, "127.0.0.1");
  t.after(() => socket.destroy());
  await new Promise((resolve, reject) => socket.once("connect", resolve).once("error", reject));
  const state = { socket, received: "", closed: false };
  state.ended = new Promise((resolve) => {
    socket.on("data", (c) => (state.received += c.toString("latin1")));
    socket.on("error", () => {});
    socket.on("close", () => resolve((state.closed = true)));
  });
  // Until `count` answers' heads have arrived, or the connection ended.
  state.answered = (count = 1) =>
    new Promise((resolve) => {
      const check = () =>
        state.received.split("\r\n\r\n").length > count || state.closed ? resolve() : socket.once("data", check);
      check();
      state.ended.then(resolve);
    });
  return state;
}

const peakMemory = (pid) => Number(/VmHWM:\s+(\d+) kB/.exec(readFileSync(`/proc/${pid}/status`, "utf8"))[1]) * 1024;

test("idle and dripping connections hold up no call", async (t) => {
  const server = await startServer(t, ["--no-display"]);
  const host = `Host: 127.0.0.1:${server.port}\r\n`;
  // 32 connections kept alive after two requests sent at once.
  const idle = [];
  for (let i = 0; i < 32; ++i) {
    const c = await open(t, server);
    c.socket.write(`GET /corabind.js HTTP/1.1\r\n${host}\r\n`.repeat(2));
    idle.push(c);
  }
  // 4 clients sending a request's head a byte at a time, far slower than
  // anyone types.
  const head = `POST /call HTTP/1.1\r\n${host}X-Pad: ${"a".repeat(250)}\r\n\r\n`;
  const drips = [];
  for (let i = 0; i < 4; ++i) {
    const c = await open(t, server);
    let at = 0;
    const timer = setInterval(() => {
      if (at < head.length && !c.closed) c.socket.write(head[at++]);
      else clearInterval(timer);
    }, 40);
    t.after(() => clearInterval(timer));
    c.finished = () => c.closed || at === head.length;
    drips.push(c);
  }
  const answer = await call(server, { op: "create" });
  assert.equal(answer.status, 200, answer.text);
  assert.ok(!drips.some((c) => c.finished()), "answered while the slow clients were still sending");
  for (const c of idle) {
    await c.answered(2);
    assert.equal(c.received.match(/^HTTP\/1\.1 200 /gm)?.length, 2);
  }
  // A head that does not arrive in time is answered 408 and closed.
  for (const c of drips) {
    await c.ended;
    assert.match(c.received, /^HTTP\/1\.1 408 /);
  }
  // Connections past the cap are told so at once, and closed. The idle ones
  // go first: by now the server may be closing them itself (their wait for
  // a next request is as long as the drips' for a head), which would free a
  // place for the one meant to be refused.
  for (const c of idle) c.socket.destroy();
  await Promise.all(idle.map((c) => c.ended));
  await new Promise((resolve) => setTimeout(resolve, 300));
  const more = [];
  for (let i = 0; i < 64; ++i) more.push(await open(t, server));
  const over = await open(t, server);
  await over.ended;
  assert.match(over.received, /^HTTP\/1\.1 503 [^]*too many connections/);
  assert.ok(!more.some((c) => c.closed), "a connection within the cap was closed");
  for (const c of more) c.socket.destroy();
  await Promise.all(more.map((c) => c.ended));
  assert.equal((await call(server, { op: "state" })).status, 200);
});

test("a body is judged before it is read, and counted as it arrives", async (t) => {
  const maxBody = 1 << 20;
  const server = await startServer(t, ["--no-display", "--max-body", String(maxBody)]);
  const piece = Buffer.alloc(1 << 16, "a");
  const sent = 128 * maxBody;
  const cases = [
    ["chunked, with the secret", true, true, 413],
    ["chunked, without the secret", true, false, 401],
    ["a length past the limit", false, true, 413],
  ];
  for (const [name, chunked, withSecret, expected] of cases) {
    const c = await open(t, server);
    const fields = [
      `POST /call HTTP/1.1`,
      `Host: 127.0.0.1:${server.port}`,
      `Content-Type: application/json`,
      ...(withSecret ? [`X-Corabind-Secret: ${server.secret}`] : []),
      chunked ? `Transfer-Encoding: chunked` : `Content-Length: ${sent}`,
    ];
    c.socket.write(fields.join("\r\n") + "\r\n\r\n");
    // Sends until the server answers, or all of it.
    for (let total = 0; total < sent && !c.received && !c.closed; total += piece.length) {
      const frame = chunked ? [Buffer.from(piece.length.toString(16) + "\r\n"), piece, Buffer.from("\r\n")] : [piece];
      if (!c.socket.write(Buffer.concat(frame))) {
        await new Promise((resolve) => c.socket.once("drain", resolve).once("close", resolve));
      }
    }
    if (!c.closed) c.socket.write(chunked ? "0\r\n\r\n" : "");
    await c.answered();
    assert.match(c.received, new RegExp(`^HTTP/1\\.1 ${expected} `), name);
    assert.match(c.received, /Connection: close/, name);
  }
  assert.equal((await call(server, { op: "state" })).status, 200);
  // The sanitizers' shadow memory and quarantine of freed blocks say
  // nothing of the server's own use.
  if (process.env.CORABIND_SANITIZED !== "1") {
    const peak = peakMemory(server.child.pid);
    assert.ok(peak < 64 * 2 ** 20 + maxBody, `peak memory ${peak} bytes`);
  }
});

test("heads that servers read differently are refused whole", async (t) => {
  const server = await startServer(t, ["--no-display"]);
  const host = `Host: 127.0.0.1:${server.port}`;
  const post = [`POST /call HTTP/1.1`, host, `Content-Type: application/json`, `X-Corabind-Secret: ${server.secret}`];
  const cases = [
    ["a length beside chunks", [...post, "Content-Length: 4", "Transfer-Encoding: chunked"], 400],
    ["two lengths", [...post, "Content-Length: 4", "Content-Length: 5"], 400],
    ["two hosts", [...post, "Host: attacker.example", "Content-Length: 0"], 400],
    ["a folded line", [...post, "Content-Length: 0", " X-Folded: 1"], 400],
    ["a space before the colon", [...post, "Content-Length : 0"], 400],
    ["a bare CR in a value", [...post, "X-A: 1\rX-B: 2", "Content-Length: 0"], 400],
    ["an encoding other than chunks", [...post, "Transfer-Encoding: gzip, chunked"], 501],
    ["another version", [`GET / HTTP/2.0`, host], 505],
    ["an expectation not known", [...post, "Expect: something"], 417],
    ["a head past its limit", [...post, `X-Pad: ${"a".repeat(20000)}`], 431],
    ["a chunk past the limit", [...post, "Transfer-Encoding: chunked", "", "ffffffffffffffffff"], 413],
  ];
  for (const [name, lines, expected] of cases) {
    const c = await open(t, server);
    c.socket.write(lines.join("\r\n") + "\r\n\r\n");
    await c.answered();
    assert.match(c.received, new RegExp(`^HTTP/1\\.1 ${expected} `), name);
    assert.match(c.received, /Connection: close/, name);
  }
  assert.equal((await call(server, { op: "state" })).status, 200);
});
