// An interactive zarn_host (steps from standard input) on the bridged K7
// facility answers a controller while nobody types: the connect is routed and
// confirmed while the run waits for its next line, and "quit" still ends it.
// Needs no npm package.
"use strict";
const { test } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const { within, held, patienceMs, spawn, stderrSays, testMs } = require("./common");

for (const variable of ["ZARN_HOST", "ZARN_K7_PANEL"]) {
    if (!process.env[variable] || !fs.existsSync(process.env[variable])) {
        console.log(`skipped: ${variable} does not name a built program`);
        process.exit(77);
    }
}
const k7 = path.join(__dirname, "../../host/facilities/k7");
const DLE = 0x10, STX = 0x02, ETX = 0x03;
function frame(data) {
    const body = [...data, data.length];
    body.push((-body.reduce((a, b) => a + b, 0)) & 0xff);
    const out = [DLE, STX];
    for (const b of body) out.push(...(b === DLE ? [DLE, DLE] : [b]));
    return Buffer.from([...out, DLE, ETX]);
}

test("an idle interactive run answers connects", { timeout: testMs }, async () => {
    const probe = net.createServer();
    const port = await new Promise((r) => probe.listen(0, "127.0.0.1", () => r(probe.address().port)));
    await new Promise((r) => probe.close(r));
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) r.swp08.listen = `127.0.0.1:${port}`;
    for (const r of facility.routers) delete r.emberplus; // SW-P-08 alone: emberplus_host.test.js serves them
    delete facility.emberplus;
    delete facility.umd;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-idle-"));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));
    const host = spawn(process.env.ZARN_HOST,
        ["--panel", process.env.ZARN_K7_PANEL, "--facility", path.join(dir, "facility.json")],
        { stdio: ["pipe", "pipe", "pipe"] });
    const out = [];
    host.stdout.on("data", (c) => out.push(c));
    try {
        await stderrSays(host, "reading steps from standard input");
        const s = await new Promise((resolve, reject) => {
            const c = net.connect(port, "127.0.0.1", () => resolve(c));
            c.on("error", reject);
        });
        let got = Buffer.alloc(0);
        let confirmed = 0;
        held("the connects", () => `${confirmed} of 20 confirmed; the bytes got since the last: ${got.toString("hex")}`);
        // Monitor 3's video (wire destination 41) to sources 13 and 10 in
        // turn, each awaiting its connected message; nothing is typed.
        const times = [];
        for (let connect = 0; connect < 20; ++connect) {
            const src = connect % 2 ? 10 : 13;
            const want = Buffer.from([DLE, STX, 0x04, 0x00, 0x00, 41, src]);
            got = Buffer.alloc(0);
            const start = process.hrtime.bigint();
            await within(patienceMs, `the connected message of connect ${connect}`, (done) => {
                const heard = (c) => {
                    got = Buffer.concat([got, c]);
                    if (!got.includes(want)) return;
                    s.off("data", heard);
                    done();
                };
                s.on("data", heard);
                s.write(frame([0x02, 0x00, 0x00, 41, src]));
            }, () => got.toString("hex"));
            times.push(Number(process.hrtime.bigint() - start) / 1e6);
            ++confirmed;
        }
        times.sort((a, b) => a - b);
        console.log(`connect to connected while idle: median ${times[10].toFixed(2)} ms, max ${times[19].toFixed(2)} ms`);
        s.destroy();
        host.stdin.write("quit\n");
        const end = await within(patienceMs, "the run to end", (done) => host.exited.then(done));
        assert.equal(end.code, 0, host.log);
        assert.match(Buffer.concat(out).toString(), /-> 1 controller\(s\): connected m0 l0 d41 s10/,
            "the trace tells the connected messages");
    } finally {
        if (host.exitCode === null) host.kill("SIGTERM");
    }
});
