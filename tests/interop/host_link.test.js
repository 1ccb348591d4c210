// Two zarn_host processes linked over SW-P-08: A serves the K7 routers on a
// listen address, B's facility backs the same routers by A ("connect"). A
// take on B's panel switches A; stopping A puts B's routers offline; when A
// comes back, B reconnects and reads A's crosspoints again. Needs no npm
// package: both ends are zarn_host.
"use strict";
const { test, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const { until, patienceMs, spawnHost, hostPath, servedAddress, testMs, hostStartMs } = require("./common");

for (const variable of ["ZARN_HOST", "ZARN_K7_PANEL"]) {
    if (!process.env[variable] || !fs.existsSync(process.env[variable])) {
        console.log(`skipped: ${variable} does not name a built program`);
        process.exit(77);
    }
}
const k7 = path.join(__dirname, "../../host/facilities/k7");
const children = new Set();
const started = []; // every zarn_host started, for its standard error
let hosts = 0;

function freePort() {
    return new Promise((resolve) => {
        const s = net.createServer();
        s.listen(0, "127.0.0.1", () => {
            const { port } = s.address();
            s.close(() => resolve(port));
        });
    });
}

// A facility folder with the bridged K7 facility, its routers served on or
// connected to `address`, and no displays.
function facilityDir(role, address) {
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) {
        r.swp08 = { [role]: address, matrix: r.swp08.matrix, level: r.swp08.level };
        delete r.emberplus; // SW-P-08 alone
    }
    delete facility.umd;
    delete facility.emberplus;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), `zarn-link-${role}-`));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));
    return path.join(dir, "facility.json");
}

async function startHost(facility) {
    const child = spawnHost(
        ["--quiet", "--panel", hostPath(process.env.ZARN_K7_PANEL), "--facility", hostPath(facility), "--serve", "0"],
        { stdio: ["ignore", "pipe", "pipe"] }, `zarn_host ${++hosts} (${facility.includes("-listen-") ? "A" : "B"})`);
    children.add(child);
    started.push(child);
    child.exited.then(() => children.delete(child));
    child.base = await servedAddress(child);
    return child;
}

async function api(host, route, body) {
    const res = await fetch(host.base + route,
        body ? { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) } : {});
    return res.json();
}
async function step(host, text) {
    return api(host, "/api/step", { step: text });
}
async function stepOk(host, text) {
    const answer = await step(host, text);
    assert.equal(answer.ok, true, `${text}: ${answer.error}`);
}
// Asks for the state until check(state) holds; resolves with that state.
async function stateWhen(host, what, check) {
    let last;
    return until(patienceMs, what, async () => {
        last = await api(host, "/api/state");
        return check(last) && last;
    }, () => JSON.stringify(last && last.routers.map((r) => [r.device, r.online])));
}
const router = (state, device) => state.routers.find((r) => r.device === device);
const sourceAt = (state, device, destination) => router(state, device).destinations.find((d) => d.number === destination).source;
const online = (state) => router(state, 101).online && router(state, 102).online;

after(() => {
    for (const child of children) child.kill("SIGKILL");
});

test("a host backed by another host's routers: takes, loss and reconnect", { timeout: testMs + 2 * hostStartMs }, async () => {
    const port = await freePort();
    const address = `127.0.0.1:${port}`;
    const served = facilityDir("listen", address);
    let a = await startHost(served);
    const b = await startHost(facilityDir("connect", address));

    // B reads A's crosspoints on connect: monitor 2's video (destination 41) shows Cam 1 (11).
    let state = await stateWhen(b, "B's routers online", online);
    assert.equal(sourceAt(state, 101, 41), 11);
    await stepOk(b, 'expect route "K7 SDI Router" 41 "Cam 1"');

    // A take on B's panel switches A: monitor 3's video is destination 42, VT 2 source 22.
    await stepOk(b, "press Mon_3");
    await stepOk(b, 'pick Sources "VT 2"');
    await stateWhen(a, "A's destination 42 on VT 2", (s) => sourceAt(s, 101, 42) === 22);
    await stepOk(a, 'expect route "K7 SDI Router" 42 "VT 2"');
    // A route made on A reaches B as the router's connected message.
    await stepOk(a, 'route "K7 SDI Router" 44 12');
    await stateWhen(b, "B's destination 44 on 12", (s) => sourceAt(s, 101, 44) === 12);

    // A goes away: B's routers go offline.
    a.kill("SIGTERM");
    await a.exited;
    await stateWhen(b, "B's routers offline", (s) => !router(s, 101).online && !router(s, 102).online);

    // A comes back with its routers as the facility file has them; B
    // reconnects and reads them again.
    a = await startHost(served);
    const fresh = await api(a, "/api/state");
    const crosspoints = (s, device) => router(s, device).destinations.map((d) => [d.number, d.source]);
    assert.notEqual(sourceAt(fresh, 101, 42), 22);
    state = await stateWhen(b, "B's routers online again with A's crosspoints", (s) =>
        online(s) && JSON.stringify(crosspoints(s, 101)) === JSON.stringify(crosspoints(fresh, 101)));
    assert.deepEqual(crosspoints(state, 102), crosspoints(fresh, 102));
    // And takes go through again.
    await stepOk(b, "press Mon_3");
    await stepOk(b, 'pick Sources "VT 2"');
    await stateWhen(a, "A's destination 42 on VT 2 again", (s) => sourceAt(s, 101, 42) === 22);
    assert.doesNotMatch(started.map((c) => c.log).join(""), /AddressSanitizer|LeakSanitizer|runtime error|cannot use it/);
});
