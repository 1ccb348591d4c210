// zarn_host serving the bridged K7 facility: the third-party controller reads
// names, interrogates and routes, and hears the panel's takes; a locked
// destination keeps its source; the third-party display listener receives
// the monitors' texts and the selected monitor's red tally.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const dgram = require("node:dgram");
const net = require("node:net");
const { requireSetup, within, until, held, patienceMs, spawnHost, hostPath, servedAddress, testMs } = require("./common");

requireSetup(["ZARN_HOST", "ZARN_K7_PANEL"]);
const Controller = require("probel-swp-08");
const Listener = require("tsl-umd-v5");
const k7 = path.join(__dirname, "../../host/facilities/k7");

function freePort(udp) {
    return new Promise((resolve) => {
        const s = udp ? dgram.createSocket("udp4") : net.createServer();
        const done = () => {
            const { port } = s.address();
            s.close(() => resolve(port));
        };
        if (udp) s.bind(0, "127.0.0.1", done);
        else s.listen(0, "127.0.0.1", done);
    });
}

let host, base, controller, listener, umdSocket;
const umd = {};
held("the displays' last messages", () => JSON.stringify(umd));

async function api(route, body) {
    const res = await fetch(base + route, body ? { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) } : {});
    return res.json();
}
async function stepOk(step) {
    const answer = await api("/api/step", { step });
    assert.equal(answer.ok, true, `${step}: ${answer.error}`);
}

before(async () => {
    const swpPort = await freePort(false);
    const umdPort = await freePort(true);
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) r.swp08.listen = `127.0.0.1:${swpPort}`;
    for (const r of facility.routers) delete r.emberplus; // emberplus_host.test.js serves them
    delete facility.emberplus;
    facility.umd[0].send = `udp://127.0.0.1:${umdPort}`;
    facility.umd[0].repeat_ms = 200;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-bridges-"));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));

    listener = new Listener();
    const createSocket = dgram.createSocket;
    dgram.createSocket = (...args) => (umdSocket = createSocket(...args));
    try {
        listener.listenUDP(umdPort);
    } finally {
        dgram.createSocket = createSocket;
    }
    listener.on("message", (m) => (umd[m.index] = m));

    host = spawnHost(["--quiet", "--panel", hostPath(process.env.ZARN_K7_PANEL), "--facility", hostPath(path.join(dir, "facility.json")), "--serve", "0"], { stdio: ["ignore", "pipe", "pipe"] });
    base = await servedAddress(host);
    controller = new Controller("127.0.0.1", { port: swpPort, sources: 64, destinations: 64, levels: 2, chars: 8 });
});

after(() => {
    if (controller && controller.client) controller.client.destroy();
    if (umdSocket) umdSocket.close();
    if (host) host.kill("SIGTERM");
});

const vidtally = async (n) => (await api("/api/state")).panels[0].controls.find((c) => c.id === `Vidtally_${n}`);

test("the controller reads names, interrogates and routes; the panel's tally follows", { timeout: testMs }, async () => {
    const sources = await controller.getSourceNames();
    assert.equal(sources["11"], "Cam 1");
    assert.equal(sources["41"], "Studio A"); // 8 characters asked for
    // Monitor 2's video destination is facility 41, 40 on the wire; Cam 1 is 11 (10 on the wire).
    assert.deepEqual(await controller.interrogate(40, 0, 0), { 1: { 1: { 40: 10 } } });
    controller.route(1, 14, 41); // level 1, source 14 (Cam 4), destination 41, numbered from 1
    // Monitor 2's video tally, not the whole panel: its source list names Cam 4 from the start.
    let tally;
    await until(patienceMs, "monitor 2's tally on Cam 4", async () => JSON.stringify(tally = await vidtally(2)).includes("Cam 4"),
        () => JSON.stringify(tally));
    assert.deepEqual(await controller.interrogate(40, 0, 0), { 1: { 1: { 40: 13 } } });
});

test("a take on the panel reaches the controller as a connected message", { timeout: testMs }, async () => {
    const heard = within(patienceMs, "the connected message", (done) =>
        controller.on("crosspoint", (x) => {
            if (x[1] && x[1][1] && x[1][1][41] !== undefined) done(x);
        }));
    await stepOk("press Mon_3");
    await stepOk('pick Sources "VT 2"');
    assert.deepEqual(await heard, { 1: { 1: { 41: 21 } } });
});

test("a route to a locked destination leaves the source in place", { timeout: testMs }, async () => {
    await stepOk('lock "K7 SDI Router" 43');
    const before = await controller.interrogate(42, 0, 0);
    // A refused connect is answered with a connected message of the source kept.
    const kept = within(patienceMs, "the connected message of the source kept", (done) =>
        controller.on("crosspoint", (x) => {
            if (x[1] && x[1][1] && x[1][1][42] !== undefined) done(x);
        }));
    controller.route(1, 2, 43);
    assert.deepEqual(await kept, before);
    assert.deepEqual(await controller.interrogate(42, 0, 0), before);
    await stepOk('expect route "K7 SDI Router" 43 Graphics');
});

test("the displays show the monitors' texts and the selected monitor's red tally", { timeout: testMs }, async () => {
    // Sent again every 200 ms: the texts once the last take has reached them.
    const shown = () => umd[1] && umd[3] && umd[5] && umd[3].display.text === "VT 2" && umd[3].display.lh_tally === 1;
    await until(patienceMs, "the displays of the last take", shown);
    assert.equal(umd[1].display.text, "Studio A PGM");
    assert.equal(umd[3].display.text, "VT 2");
    assert.equal(umd[5].display.text, "Tone");
    assert.equal(umd[3].display.lh_tally, 1);
    assert.equal(umd[1].display.lh_tally, 0);
});
