// Bad consumers against the routers zarn_host serves over Ember+: garbage,
// bad CRCs, bad escapes, a message that is not Glow, one too long, a peer
// that never reads, a thousand connects and disconnects. The host keeps
// running, answers the good requests that follow, its panel still steps,
// and it ends with no consumer and no more descriptors than it started
// with. Needs no npm package: the packets are made here.
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

function crc(bytes) {
    let c = 0xffff;
    for (const b of bytes) {
        c ^= b;
        for (let i = 0; i < 8; ++i) c = c & 1 ? (c >>> 1) ^ 0x8408 : c >>> 1;
    }
    return c;
}
// One S101 packet of a Glow message (flags: C0 alone, 80 first, 00 middle).
function packet(glow, flags = 0xc0, badCrc = false) {
    const body = [0x00, 0x0e, 0x00, 0x01, flags, 0x01, 0x02, 0x1f, 0x02, ...glow];
    const sum = ~crc(body) & 0xffff ^ (badCrc ? 1 : 0);
    body.push(sum & 0xff, sum >> 8);
    const out = [0xfe];
    for (const b of body) out.push(...(b >= 0xf8 ? [0xfd, b ^ 0x20] : [b]));
    out.push(0xff);
    return Buffer.from(out);
}
// A BER tag, its length (short or long form) and its content.
function ber(tag, content) {
    const n = content.length;
    return [tag, ...(n < 128 ? [n] : n < 256 ? [0x81, n] : [0x82, n >> 8, n & 0xff]), ...content];
}
// GetDirectory of the root.
const getDirectory = [0xa0, 0x07, 0x62, 0x05, 0xa0, 0x03, 0x02, 0x01, 0x20]; // a command element
const rootDirectory = packet(ber(0x60, ber(0x6b, getDirectory)));
// One message of 36 GetDirectory of the SDI router's 64 target labels
// (qualified node 2.1.2.1): under 1 KB asks for some 96 KB of answers.
const labels = ber(0xa0, ber(0x6a, [...ber(0xa0, ber(0x0d, [2, 1, 2, 1])), ...ber(0xa2, ber(0x64, getDirectory))]));
const labelsThirtySixTimes = packet(ber(0x60, ber(0x6b, [].concat(...Array(36).fill(labels)))));
const identity = Buffer.from("identity");
// How long a host may take to encode 4 MB of answers (see below).
const pileMs = 6 * patienceMs;

let host, base, port;
async function api(route, body) {
    const res = await fetch(base + route,
        body ? { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) } : {});
    return res.json();
}
// The served bridge's status, the last one read kept for a failure's report.
let lastServed;
const served = async () => (lastServed = (await api("/api/state")).bridges.find((b) => b.kind === "emberplus"));
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
    port = await new Promise((resolve) => probe.listen(0, "127.0.0.1", () => {
        const p = probe.address().port;
        probe.close(() => resolve(p));
    }));
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) {
        delete r.swp08;
        r.emberplus.listen = `127.0.0.1:${port}`;
    }
    delete facility.umd;
    delete facility.emberplus;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-ember-bad-"));
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

test("bad consumers leave the served tree and the panel working", { timeout: testMs + pileMs }, async () => {
    const fdsBefore = descriptors();

    // Garbage, a bad CRC, a bad escape, a packet that is not Glow, BER with a
    // length past its data, a middle packet with no first: the good request
    // after them is answered.
    const s = await connect();
    const bad = Buffer.concat([
        Buffer.from("GET / HTTP/1.1\r\n\r\n"),
        packet([0x60, 0x00], 0xc0, true),
        Buffer.from([0xfe, 0x00, 0xfd, 0xfd, 0xff]),
        packet([0x30, 0x00]),
        packet([0x60, 0x7f, 0x6b]),
        packet([0x60, 0x00], 0x00),
    ]);
    await exchange(s, Buffer.concat([bad, rootDirectory]), identity, "the root after bad packets");
    assert.ok((await served()).badMessages >= 5);
    s.destroy();

    // A message longer than a consumer may send: dropped.
    const long = await connect();
    const closed = new Promise((resolve) => long.on("close", resolve));
    long.on("error", () => {});
    long.write(packet(Array(1000).fill(0x01), 0x80));
    for (let i = 0; i < 1100; ++i) long.write(packet(Array(1000).fill(0x01), 0x00));
    await within(patienceMs, "the long message's sender to be dropped", (done) => closed.then(done));

    // Closed mid-packet, several ways.
    for (const cut of [[0xfe], [0xfe, 0x00, 0x0e], [...rootDirectory.subarray(0, 9)]]) {
        const c = await connect();
        c.end(Buffer.from(cut));
    }

    // A peer that asks and never reads: dropped once the answers the host
    // holds for it pass 4 MB. 400 messages ask for 38 MB, within the rate's
    // burst: a host slower than the rate (a sanitizer build) answers them all
    // too, and the pile grows as fast as it encodes: some 150 KB a second
    // in that build at a load of 4, so the wait is for work, not for time.
    const stuck = await connect();
    stuck.pause();
    stuck.on("error", () => {});
    stuck.write(Buffer.concat(Array(400).fill(labelsThirtySixTimes)));
    await until(pileMs, "the peer that does not read to be dropped", async () => (await served()).consumers === 0,
        () => `${stuck.bytesWritten} bytes sent, ${stuck.writableLength} waiting; ${JSON.stringify(lastServed)}`);
    stuck.destroy();

    // A thousand connects and disconnects, fifty at a time.
    for (let round = 0; round < 20; ++round) {
        const batch = await Promise.all(Array.from({ length: 50 }, connect));
        for (const c of batch) c.destroy();
    }
    await settle("no consumer connected", async () => (await served()).consumers === 0);

    // Still answering, on the wire and on the panel.
    const good = await connect();
    await exchange(good, rootDirectory, identity, "the root for a fresh consumer");
    good.destroy();
    assert.equal((await api("/api/step", { step: "press Mon_3" })).ok, true);
    assert.equal((await api("/api/step", { step: 'pick Sources "VT 2"' })).ok, true);
    await settle("no consumer connected", async () => (await served()).consumers === 0);
    await settle(`descriptors back to ${fdsBefore}`, async () => descriptors() <= fdsBefore, () => `${descriptors()} open`);
    assert.equal(host.exitCode, null);
});
