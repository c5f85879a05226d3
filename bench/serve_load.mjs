// Load on `corabind serve`: 1,000 sequential calls, then 8 clients calling
// for 10 seconds, each call a field built through its scripted dialog.
// Reports latency percentiles and every call that did not come back right.
//
//   node bench/serve_load.mjs [path/to/corabind] [seconds]
import { spawn } from "node:child_process";
import { Agent, request } from "node:http";

const cli = process.argv[2] ?? "build/corabind";
const seconds = Number(process.argv[3] ?? 10);

const server = spawn(cli, ["serve", "--no-display"], { env: { ...process.env, DISPLAY: "", QT_QPA_PLATFORM: "" } });
const url = await new Promise((resolve, reject) => {
  let out = "";
  server.stdout.on("data", (c) => {
    out += c;
    const m = /(http:\/\/127\.0\.0\.1:\d+)\/#secret=([0-9a-f]+)/.exec(out);
    if (m) resolve({ origin: m[1], secret: m[2], port: Number(new URL(m[1]).port) });
  });
  server.on("exit", () => reject(new Error("corabind serve ended")));
});

// One keep-alive connection per client, as a browser tab keeps one.
function client() {
  const agent = new Agent({ keepAlive: true, maxSockets: 1 });
  return (body) =>
    new Promise((resolve, reject) => {
      const data = Buffer.from(JSON.stringify(body));
      const req = request(
        {
          host: "127.0.0.1",
          port: url.port,
          path: "/call",
          method: "POST",
          agent,
          headers: {
            "Content-Type": "application/json",
            "Content-Length": data.length,
            "X-Corabind-Secret": url.secret,
          },
        },
        (res) => {
          const chunks = [];
          res.on("data", (c) => chunks.push(c));
          res.on("end", () => resolve({ status: res.statusCode, json: JSON.parse(Buffer.concat(chunks)) }));
        },
      );
      req.on("error", reject);
      req.end(data);
    });
}

const setup = client();
const { json: created } = await setup({ op: "create" });
const fieldCall = {
  op: "call",
  control: created.control,
  method: "SetFormField",
  args: ["TEXT"],
  ui: [{ form: "TextBoxF", steps: [{ type: "Text1", text: "이름" }, { click: "Command1" }] }],
};

async function timed(send, stats) {
  const start = process.hrtime.bigint();
  try {
    const r = await send(fieldCall);
    if (r.status !== 200 || !r.json.ok || !r.json.result.startsWith("<input")) stats.failures++;
  } catch {
    stats.failures++;
  }
  stats.ms.push(Number(process.hrtime.bigint() - start) / 1e6);
}

function report(name, stats, elapsed) {
  const ms = stats.ms.sort((a, b) => a - b);
  const at = (q) => ms[Math.min(ms.length - 1, Math.floor(q * ms.length))].toFixed(2);
  console.log(
    `${name}: ${ms.length} calls, ${stats.failures} failures, p50 ${at(0.5)} ms, p99 ${at(0.99)} ms, ` +
      `${(ms.length / elapsed).toFixed(0)} calls/s`,
  );
}

{
  const stats = { ms: [], failures: 0 };
  const start = Date.now();
  for (let i = 0; i < 1000; ++i) await timed(setup, stats);
  report("sequential", stats, (Date.now() - start) / 1000);
}
{
  const stats = { ms: [], failures: 0 };
  const end = Date.now() + seconds * 1000;
  const start = Date.now();
  await Promise.all(
    Array.from({ length: 8 }, async () => {
      const send = client();
      while (Date.now() < end) await timed(send, stats);
    }),
  );
  report(`8 clients, ${seconds} s`, stats, (Date.now() - start) / 1000);
}
server.kill("SIGTERM");
