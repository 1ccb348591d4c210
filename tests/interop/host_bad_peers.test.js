// Bad peers against a router zarn_host serves over SW-P-08: garbage, wrong
// checksums, a peer that never reads, one that closes mid-frame, a thousand
// connects and disconnects. The host keeps running, answers the good frames
// that follow, its panel still steps, and it ends with no controller and no
// more descriptors than it started with. Needs no npm package.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const { within, until, patienceMs, spawn, servedAddress, openDescriptors, testMs } = require("./common");

for (const variable of ["ZARN_HOST", "ZARN_K7_PANEL"]) {
    if (!process.env[variable] || !fs.existsSync(process.env[variable])) {
        console.log(`skipped: ${variable} does not name a built program`);
        process.exit(77);
    }
}
const k7 = path.join(__dirname, "../../host/facilities/k7");
const DLE = 0x10, STX = 0x02, ETX = 0x03, ACK = 0x06, NAK = 0x15;

// A frame of DATA, checksum given or right; DLE stuffed.
function frame(data, checksum) {
    const body = [...data, data.length];
    const sum = body.reduce((a, b) => a + b, 0);
    body.push(checksum === undefined ? (-sum) & 0xff : checksum);
    const out = [DLE, STX];
    for (const b of body) {
        out.push(b);
        if (b === DLE) out.push(DLE);
    }
    out.push(DLE, ETX);
    return Buffer.from(out);
}
// Interrogate, plain form, matrix 0 level 0, destination 40 (facility 41).
const interrogate = frame([0x01, 0x00, 0x00, 40]);
// Its tally: source 10 (Cam 1).
const tally = frame([0x03, 0x00, 0x00, 40, 10]);

let host, base, port;
async function api(route, body) {
    const res = await fetch(base + route,
        body ? { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) } : {});
    return res.json();
}
// The served bridge's status, the last one read kept for a failure's report.
let lastServed;
const served = async () => (lastServed = (await api("/api/state")).bridges.find((b) => b.kind === "swp08"));
const descriptors = () => openDescriptors(host.pid);
const settle = (what, check, saw = () => JSON.stringify(lastServed)) => until(patienceMs, what, check, saw);

function connect() {
    return new Promise((resolve, reject) => {
        const s = net.connect(port, "127.0.0.1", () => resolve(s));
        s.on("error", reject);
    });
}
// Sends bytes and collects what comes back until the reply holds want.
async function exchange(s, bytes, want, what) {
    let got = Buffer.alloc(0);
    return within(patienceMs, what, (done) => {
        s.on("data", (c) => {
            got = Buffer.concat([got, c]);
            if (got.includes(want)) done(got);
        });
        s.write(bytes);
    }, () => got.toString("hex"));
}

before(async () => {
    const probe = net.createServer();
    port = await new Promise((r) => probe.listen(0, "127.0.0.1", () => r(probe.address().port)));
    await new Promise((r) => probe.close(r));
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) r.swp08.listen = `127.0.0.1:${port}`;
    for (const r of facility.routers) delete r.emberplus; // SW-P-08 alone
    delete facility.emberplus;
    delete facility.umd;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-bad-peers-"));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));
    host = spawn(process.env.ZARN_HOST,
        ["--quiet", "--panel", process.env.ZARN_K7_PANEL, "--facility", path.join(dir, "facility.json"), "--serve", "0"],
        { stdio: ["ignore", "pipe", "pipe"] });
    base = await servedAddress(host);
});

after(async () => {
    if (host && host.exitCode === null) {
        host.kill("SIGTERM");
        const end = await host.exited;
        assert.equal(end.code, 0, host.log);
    }
    assert.doesNotMatch(host.log, /AddressSanitizer|LeakSanitizer|runtime error/, host.log);
});

test("bad peers leave the served router and the panel working", { timeout: testMs }, async () => {
    const fdsBefore = descriptors();

    // Garbage, then a frame with a wrong checksum, then a frame with a bad
    // DLE sequence: a NAK for each bad frame, and the good frame after them
    // is answered.
    const s = await connect();
    const bad = Buffer.concat([
        Buffer.from("GET / HTTP/1.1\r\n\r\n"),
        Buffer.from([0x00, 0xff, DLE, 0x41]),
        frame([0x01, 0x00, 0x00, 40], 0x55),
        Buffer.from([DLE, STX, 0x01, DLE, 0x42, DLE, ETX]),
    ]);
    const reply = await exchange(s, Buffer.concat([bad, interrogate]), tally, "the tally after bad frames");
    assert.ok(reply.includes(Buffer.from([DLE, NAK])), reply.toString("hex"));
    assert.ok(reply.includes(Buffer.from([DLE, ACK])), reply.toString("hex"));
    assert.ok((await served()).badFrames >= 2);
    s.destroy();

    // Closed mid-frame, several ways.
    for (const cut of [[DLE], [DLE, STX], [DLE, STX, 0x01, 0x00], [...frame([0x02, 0x00, 0x00, 40, 11]).subarray(0, 7)]]) {
        const c = await connect();
        c.end(Buffer.from(cut));
    }

    // A peer that asks and never reads: dropped once its answers pile up.
    const stuck = await connect();
    stuck.pause();
    const dumpRequest = frame([21, 0x00]); // tally dump, matrix 0 level 0
    const burst = Buffer.concat(Array(2000).fill(dumpRequest));
    let dropped = false;
    stuck.on("close", () => (dropped = true));
    stuck.on("error", () => (dropped = true));
    for (let i = 0; i < 40 && !dropped; ++i) {
        stuck.write(burst);
        await new Promise((r) => setTimeout(r, 20));
    }
    await settle("the peer that does not read to be dropped", async () => (await served()).controllers <= 1);
    stuck.destroy();

    // A thousand connects and disconnects, fifty at a time.
    for (let round = 0; round < 20; ++round) {
        const batch = await Promise.all(Array.from({ length: 50 }, connect));
        for (const c of batch) c.destroy();
    }
    await settle("no controller connected", async () => (await served()).controllers === 0);

    // Still answering, on the wire and on the panel.
    const good = await connect();
    await exchange(good, interrogate, tally, "the tally from a fresh controller");
    good.destroy();
    const answer = await api("/api/step", { step: "press Mon_3" });
    assert.equal(answer.ok, true, answer.error);
    assert.equal((await api("/api/step", { step: 'pick Sources "VT 2"' })).ok, true);
    await settle("no controller connected", async () => (await served()).controllers === 0);
    // An HTTP connection the test's fetch keeps alive may stay a few seconds; a leak stays for good.
    await settle(`descriptors back to ${fdsBefore}`, async () => descriptors() <= fdsBefore, () => `${descriptors()} open`);
    assert.equal(host.exitCode, null);
});
