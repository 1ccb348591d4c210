// The third-party Ember+ provider stands in for the real router that backs
// the K7 SDI router: zarn_host reads its matrix, connections and labels on
// connect; a take on the panel shows in the provider's matrix; the
// provider's own changes reach the panel; the router is offline while the
// provider is away and comes back with its connections.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const { requireSetup, until, patienceMs, spawn, servedAddress, testMs } = require("./common");

requireSetup(["ZARN_HOST", "ZARN_K7_PANEL"]);
const { EmberServer } = require("node-emberplus");
const k7 = path.join(__dirname, "../../host/facilities/k7");

function freePort() {
    return new Promise((resolve) => {
        const s = net.createServer();
        s.listen(0, "127.0.0.1", () => {
            const { port } = s.address();
            s.close(() => resolve(port));
        });
    });
}

// A 64x64 one-to-N matrix at 1.1 with its labels at 1.2 (the facility's
// names, but source 50 is "Line A"); monitor 2 (target 40) on Cam 4
// (source 13).
const sdi = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8")).routers[0];
function tree() {
    const names = (prefix, n, label) => Array.from({ length: n }, (_, i) => ({ number: i, identifier: `${prefix}-${i}`, value: label(i) }));
    const connections = {};
    for (let t = 0; t < 64; ++t) connections[t] = { target: t, sources: t === 40 ? [13] : [1] };
    return EmberServer.createTreeFromJSON([{
        number: 1, identifier: "router", children: [
            { number: 1, identifier: "sdi", type: "oneToN", mode: "linear", targetCount: 64, sourceCount: 64, labels: [{ basePath: "1.2", description: "names" }], connections },
            { number: 2, identifier: "labels", children: [
                { number: 1, identifier: "targets", children: names("t", 64, (i) => sdi.destinationNames[i + 1] || `${i + 1}`) },
                { number: 2, identifier: "sources", children: names("s", 64, (i) => (i === 50 ? "Line A" : sdi.sourceNames[i + 1] || `${i + 1}`)) },
            ] },
        ],
    }]);
}

let host, base, server, port;
async function startServer() {
    server = new EmberServer({ host: "127.0.0.1", port, tree: tree() });
    server.on("error", () => {});
    server.on("clientError", () => {});
    await server.listen();
}

// The provider goes away: its connections close, then its listener.
async function stopServer() {
    for (const client of server.clients) if (client.socket) client.socket.destroy();
    await server.closeAsync();
}

async function api(route, body) {
    const res = await fetch(base + route, body ? { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) } : {});
    return res.json();
}
async function stepOk(step) {
    const answer = await api("/api/step", { step });
    assert.equal(answer.ok, true, `${step}: ${answer.error}`);
}
const stepPasses = async (step) => (await api("/api/step", { step })).ok === true;
const online = async () => (await api("/api/state")).routers.find((r) => r.device === 101).online;
const providerSource = (target) => {
    const c = server.tree.getElementByPath("1.1").connections[target];
    return c && c.sources && c.sources[0];
};

before(async () => {
    port = await freePort();
    await startServer();
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) {
        delete r.swp08;
        delete r.emberplus;
    }
    facility.routers[0].emberplus = { connect: `127.0.0.1:${port}`, matrix: "1.1", names: "provider" };
    delete facility.umd;
    delete facility.emberplus;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-ember-backed-"));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));
    host = spawn(process.env.ZARN_HOST, ["--panel", process.env.ZARN_K7_PANEL, "--facility", path.join(dir, "facility.json"), "--serve", "0"], { stdio: ["ignore", "pipe", "pipe"] });
    base = await servedAddress(host);
});

after(async () => {
    if (host) host.kill("SIGTERM");
    if (server) await stopServer().catch(() => {});
});

test("on connect the router takes the provider's connections and labels", { timeout: testMs }, async () => {
    await until(patienceMs, "the router online", online);
    await until(patienceMs, "monitor 2 on Cam 4", () => stepPasses('expect route "K7 SDI Router" 41 "Cam 4"'));
    server.matrixConnect("1.1", 42, [50]);
    await until(patienceMs, "monitor 3 on the provider's Line A", () => stepPasses('expect route "K7 SDI Router" 43 "Line A"'));
});

test("a take on the panel shows in the provider's matrix", { timeout: testMs }, async () => {
    await stepOk("press Mon_3");
    await stepOk('pick Sources "VT 2"');
    await until(patienceMs, "the provider's target 41 on source 21", async () => providerSource(41) === 21);
});

test("the router is offline while the provider is away, and reads it again when it is back", { timeout: testMs }, async () => {
    await stopServer();
    await until(patienceMs, "the router offline", async () => !(await online()));
    await startServer();
    await until(patienceMs, "the router online again", online);
    await until(patienceMs, "monitor 2 on Cam 4 again", () => stepPasses('expect route "K7 SDI Router" 41 "Cam 4"'));
});
