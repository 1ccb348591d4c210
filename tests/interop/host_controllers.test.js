// Controllers against zarn_host serving the bridged K7 facility: the
// third-party controller reads the tally tables and the matrix's destination
// names; a raw controller written from the protocol document does what that
// one lacks: the dual controller status, a group salvo (with junk in it),
// protects against the page's locks and a burst of 1,000 connects, each
// confirmed. No message the host sends is longer than the document allows.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const { requireSetup, within, held, patienceMs, spawn, servedAddress, testMs } = require("./common");

requireSetup(["ZARN_HOST", "ZARN_K7_PANEL"]);
const Controller = require("probel-swp-08");
const k7 = path.join(__dirname, "../../host/facilities/k7");
const DLE = 0x10, STX = 0x02, ETX = 0x03;

function frame(data) {
    const body = [...data, data.length];
    body.push((-body.reduce((a, b) => a + b, 0)) & 0xff);
    const out = [DLE, STX];
    for (const b of body) out.push(...(b === DLE ? [DLE, DLE] : [b]));
    return Buffer.from([...out, DLE, ETX]);
}
// Every message zarn_host sent a raw controller that is longer than the
// protocol document allows (133 bytes of DATA); none, checked at the end.
const oversized = [];
// A raw controller: every frame's DATA (command byte first), in order.
async function rawController(port) {
    const s = await new Promise((resolve, reject) => {
        const c = net.connect(port, "127.0.0.1", () => resolve(c));
        c.on("error", reject);
    });
    const c = { socket: s, messages: [] };
    const waits = new Set(); // checked at each message read
    let inFrame = false, dle = false, data = [];
    s.on("data", (chunk) => {
        for (const b of chunk) {
            if (dle) {
                dle = false;
                if (b === STX) { inFrame = true; data = []; }
                else if (b === ETX && inFrame) {
                    inFrame = false;
                    const message = data.slice(0, -2);
                    if (message.length > 133) oversized.push(message.slice(0, 8));
                    c.messages.push(message);
                }
                else if (b === DLE && inFrame) data.push(DLE);
                continue;
            }
            if (b === DLE) dle = true;
            else if (inFrame) data.push(b);
        }
        for (const check of [...waits]) check();
    });
    held("a raw controller's last 5 messages", () => JSON.stringify(c.messages.slice(-5)));
    // Waits until `count` messages read from now on satisfy `want`.
    c.await = (want, count = 1, ms = patienceMs) => {
        const from = c.messages.length;
        const got = () => c.messages.slice(from).filter(want);
        let check;
        return within(ms, `${count} message(s)`, (done) => {
            check = () => {
                const found = got();
                if (found.length < count) return;
                waits.delete(check);
                done(found);
            };
            waits.add(check);
        }, () => `${got().length} of them among ${c.messages.length - from} read`).finally(() => waits.delete(check));
    };
    c.since = () => c.messages.length;
    return c;
}

let host, base, port;
async function stepOk(step) {
    const res = await fetch(base + "/api/step", { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify({ step }) });
    const answer = await res.json();
    assert.equal(answer.ok, true, `${step}: ${answer.error}`);
}

before(async () => {
    const probe = net.createServer();
    port = await new Promise((r) => probe.listen(0, "127.0.0.1", () => r(probe.address().port)));
    await new Promise((r) => probe.close(r));
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) r.swp08.listen = `127.0.0.1:${port}`;
    for (const r of facility.routers) delete r.emberplus; // SW-P-08 alone: emberplus_host.test.js serves them
    delete facility.emberplus;
    delete facility.umd;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-controllers-"));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));
    host = spawn(process.env.ZARN_HOST, ["--quiet", "--panel", process.env.ZARN_K7_PANEL, "--facility", path.join(dir, "facility.json"), "--serve", "0"], { stdio: ["ignore", "pipe", "pipe"] });
    base = await servedAddress(host);
});

after(async () => {
    if (host && host.exitCode === null) {
        host.kill("SIGTERM");
        await host.exited;
    }
    assert.doesNotMatch(host.log, /AddressSanitizer|LeakSanitizer|runtime error/, host.log);
    assert.deepEqual(oversized, [], "messages longer than 133 bytes");
});

test("the third-party controller reads the tally tables and the matrix's destination names", { timeout: testMs }, async () => {
    // It takes a dump as complete once it has the destinations it was told of
    // on the last level: here the audio level's 32.
    const reader = new Controller("127.0.0.1", { port, sources: 64, destinations: 32, levels: 2, chars: 8 });
    const namer = new Controller("127.0.0.1", { port, sources: 64, destinations: 64, levels: 2, chars: 8 });
    try {
        const tallies = await reader.getState();
        // Monitor 2's video (facility 41) on Cam 1 (facility 11, wire 10); monitor 3's speaker (22) on 7 (wire 6).
        assert.equal(tallies[1][1][41], 10, host.log);
        assert.equal(tallies[1][2][22], 6, host.log);
        assert.equal(Object.keys(tallies[1][1]).length, 64);
        const names = await namer.getDestinationNames();
        assert.equal(names["41"], "K7 Mon 2"); // level 0's: the SDI router's
        assert.equal(Object.keys(names).length, 64);
    } finally {
        for (const c of [reader, namer]) if (c.client) c.client.destroy();
    }
});

test("the dual controller status says active", { timeout: testMs }, async () => {
    const c = await rawController(port);
    const answer = c.await((m) => m[0] === 0x09);
    c.socket.write(frame([0x08]));
    assert.deepEqual((await answer)[0], [0x09, 0x00, 0x00]);
    c.socket.destroy();
});

test("a group salvo sets both its crosspoints together, junk in it changes nothing", { timeout: testMs }, async () => {
    const c = await rawController(port);
    // Monitor 3's video (wire 41) to Cam 4 (wire 13), monitor 3's speaker (level 1, wire 21) to wire 2;
    // and a destination the router does not have (wire 100): not stored.
    const acks = c.await((m) => m[0] === 0x7a, 2);
    c.socket.write(Buffer.concat([
        frame([0x78, 0x00, 0x00, 41, 13, 5]),
        frame([0x78, 0x00, 0x00, 100, 13, 5]),
        frame([0x78, 0x01, 0x00, 21, 2, 5]),
    ]));
    assert.deepEqual((await acks).map((m) => m[3]), [41, 21]);
    // The go done says they were set; no connected message of each follows.
    const done = c.await((m) => m[0] === 0x7b);
    const from = c.since();
    c.socket.write(frame([0x79, 0x00, 5]));
    assert.deepEqual((await done)[0], [0x7b, 0x00, 5]);
    await stepOk('expect route "K7 SDI Router" 42 "Cam 4"');
    await stepOk('expect route "K7 Audio Router" 22 3');
    // The group was used: nothing left to set.
    const again = c.await((m) => m[0] === 0x7b);
    c.socket.write(frame([0x79, 0x00, 5]));
    assert.deepEqual((await again)[0], [0x7b, 0x02, 5]);
    assert.deepEqual(c.messages.slice(from).filter((m) => m[0] === 0x04), []);
    c.socket.destroy();
});

test("a controller's protect is a lock the page shows as its; the page's lock is a protect by device 1023", { timeout: testMs }, async () => {
    const c = await rawController(port);
    const rowOf = async (number) => {
        const state = await (await fetch(base + "/api/state?router=101")).json();
        const router = state.routers ? state.routers[0] : state;
        return router.destinations.find((d) => d.number === number);
    };
    // Protect monitor wire 50 (facility 51) for device 7.
    const connected = c.await((m) => m[0] === 0x0d && m[4] === 50);
    c.socket.write(frame([0x0c, 0x00, 0x00, 50, 7]));
    assert.deepEqual((await connected)[0], [0x0d, 0x00, 0x01, 0x00, 50, 7]);
    const row = await rowOf(51);
    assert.equal(row.locked, true);
    assert.match(row.lockedBy, /^controller 7 at 127\.0\.0\.1:\d+$/);  // its device and address
    // The page's unlock releases it; the page's lock shows as the host's protect.
    const released = c.await((m) => m[0] === 0x0f && m[4] === 50);
    await stepOk('unlock "K7 SDI Router" 51');
    assert.deepEqual((await released)[0], [0x0f, 0x00, 0x00, 0x00, 50, 7]);
    const hosts = c.await((m) => m[0] === 0x0d && m[4] === 51);
    await stepOk('lock "K7 SDI Router" 52 page');
    assert.deepEqual((await hosts)[0], [0x0d, 0x00, 0x01, 0x07, 51, 0x7f]);
    assert.equal((await rowOf(52)).lockedBy, "page");
    // Device 7 may not release it: the protect tally as it stays.
    const tally = c.await((m) => m[0] === 0x0b && m[4] === 51);
    c.socket.write(frame([0x0e, 0x00, 0x00, 51, 7]));
    assert.deepEqual((await tally)[0], [0x0b, 0x00, 0x01, 0x07, 51, 0x7f]);
    await stepOk('unlock "K7 SDI Router" 52');
    c.socket.destroy();
});

test("1,000 connects sent back to back are each confirmed, in order", { timeout: testMs }, async () => {
    const c = await rawController(port);
    const sources = Array.from({ length: 1000 }, (_, i) => (i % 3 === 0 ? 10 : 13));
    const heard = c.await((m) => m[0] === 0x04 && m[1] === 0x00 && m[3] === 40, 1000);
    c.socket.write(Buffer.concat(sources.map((s) => frame([0x02, 0x00, 0x00, 40, s]))));
    assert.deepEqual((await heard).slice(0, 1000).map((m) => m[4]), sources);
    await stepOk('expect route "K7 SDI Router" 41 "Cam 1"');
    c.socket.destroy();
});
