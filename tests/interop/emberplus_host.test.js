// zarn_host serving the bridged K7 facility over Ember+ to the third-party
// consumer: it browses the routers' tree and reads the labels, connects
// monitor 2 to Cam 4 and the panel's tally follows; a take on the panel
// reaches it; a lock refuses its connect; the panel's values are
// parameters it follows, its buttons functions it invokes, its source list a
// parameter it writes.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const { requireSetup, within, until, patienceMs, spawnHost, hostPath, servedAddress, testMs } = require("./common");

requireSetup(["ZARN_HOST", "ZARN_K7_PANEL"]);
const { EmberClient } = require("node-emberplus");
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

let host, base, client, port;
// The consumer's every request and its connect wait as long as the tests do.
const consumerOptions = () => ({ host: "127.0.0.1", port, timeoutValue: patienceMs });

async function api(route, body) {
    const res = await fetch(base + route, body ? { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) } : {});
    return res.json();
}
async function stepOk(step) {
    const answer = await api("/api/step", { step });
    assert.equal(answer.ok, true, `${step}: ${answer.error}`);
}
before(async () => {
    port = await freePort();
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) {
        delete r.swp08;
        r.emberplus.listen = `127.0.0.1:${port}`;
    }
    delete facility.umd;
    facility.emberplus.listen = `127.0.0.1:${port}`;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-ember-"));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));
    host = spawnHost(["--quiet", "--panel", hostPath(process.env.ZARN_K7_PANEL), "--facility", hostPath(path.join(dir, "facility.json")), "--serve", "0"], { stdio: ["ignore", "pipe", "pipe"] });
    base = await servedAddress(host);
    client = new EmberClient(consumerOptions());
    client.on("error", () => {});
    await client.connectAsync(patienceMs / 1000);
});

after(async () => {
    if (client) await client.disconnectAsync().catch(() => {});
    if (host) host.kill("SIGTERM");
});

const vidtally = async (n) => (await api("/api/state")).panels[0].controls.find((c) => c.id === `Vidtally_${n}`);
const sourceOf = (matrix, target) => {
    const c = matrix.connections && matrix.connections[target];
    return c && c.sources && c.sources.length ? c.sources[0] : undefined;
};

test("the consumer browses the tree: identity, a node a router, matrices and labels", { timeout: testMs }, async () => {
    await client.getDirectoryAsync();
    const identity = await client.getElementByPathAsync("1");
    assert.equal(identity.contents.identifier, "identity");
    const product = await client.getElementByPathAsync("1.1");
    assert.equal(product.contents.value, "zarn_host");
    const sdi = await client.getElementByPathAsync("2.1");
    assert.equal(sdi.contents.identifier, "K7 SDI Router");
    const matrix = await client.getElementByPathAsync("2.1.1");
    assert.equal(matrix.contents.targetCount, 64);
    assert.equal(matrix.contents.sourceCount, 64);
    assert.equal(matrix.contents.labels[0].basePath, "2.1.2");
    // Monitor 1 (facility destination 40) shows Studio A PGM (source 41).
    assert.equal(sourceOf(matrix, 39), 40);
    const target = await client.getElementByPathAsync("2.1.2.1.40");
    assert.equal(target.contents.value, "K7 Mon 2");
    const source = await client.getElementByPathAsync("2.1.2.2.13");
    assert.equal(source.contents.value, "Cam 4");
    const audio = await client.getElementByPathAsync("2.2.1");
    assert.equal(audio.contents.targetCount, 32);
});

test("the consumer connects monitor 2 to Cam 4 and the panel's tally follows", { timeout: testMs }, async () => {
    const matrix = await client.getElementByPathAsync("2.1.1");
    const answer = await client.matrixConnectAsync(matrix, 40, [13]);
    assert.equal(sourceOf(answer, 40), 13);
    await until(patienceMs, "the tally", async () => JSON.stringify(await vidtally(2)).includes("Cam 4"));
    await stepOk('expect route "K7 SDI Router" 41 "Cam 4"');
});

test("a take on the panel reaches the subscribed consumer", { timeout: testMs }, async () => {
    const matrix = await client.getElementByPathAsync("2.1.1");
    await stepOk("press Mon_3");
    await stepOk('pick Sources "VT 2"');
    await until(patienceMs, "the connection at the consumer", async () => sourceOf(matrix, 41) === 21);
});

test("a connect to a locked target leaves its source in place", { timeout: testMs }, async () => {
    await stepOk('lock "K7 SDI Router" 43');
    const matrix = await client.getElementByPathAsync("2.1.1");
    const answer = await client.matrixConnectAsync(matrix, 42, [1]);
    assert.equal(sourceOf(answer, 42), 30);
    await stepOk('expect route "K7 SDI Router" 43 Graphics');
});

test("the panel's values follow, a button is invoked and the source list written", { timeout: testMs }, async () => {
    await client.getDirectoryAsync();
    const panel = await client.getElementByPathAsync("3");
    await client.getDirectoryAsync(panel);
    const monitor3 = await client.getElementByPathAsync("3.3");
    assert.equal(monitor3.contents.identifier, "mon-3-source");
    assert.equal(monitor3.contents.value, "VT 2"); // the take of an earlier test
    const select2 = await client.getElementByPathAsync("3.12");
    assert.equal(select2.contents.identifier, "select-mon-2");
    const result = await client.invokeFunctionAsync(select2, []);
    assert.equal(result.success, true);
    const selected2 = await client.getElementByPathAsync("3.7");
    await until(patienceMs, "monitor 2 selected at the consumer", async () => selected2.contents.value === "selected");
    const source = await client.getElementByPathAsync("3.16");
    await client.setValueAsync(source, "Cam 2");
    await until(patienceMs, "monitor 2 routed to Cam 2", async () => (await api("/api/step", { step: 'expect route "K7 SDI Router" 41 "Cam 2"' })).ok);
    const monitor2 = await client.getElementByPathAsync("3.2");
    await until(patienceMs, "monitor 2 on Cam 2 at the consumer", async () => monitor2.contents.value === "Cam 2");
    // A read-only value keeps its text.
    await client.setValueAsync(monitor3, "Black").catch(() => {});
    await stepOk('expect route "K7 SDI Router" 42 "VT 2"');
});

// The library's own walk of a whole tree: each answer comes in the form
// asked, so it takes every node once and ends, within the request rate.
test("the consumer's expand walks the whole served tree and ends", { timeout: testMs }, async () => {
    const walker = new EmberClient(consumerOptions());
    walker.on("error", () => {});
    await walker.connectAsync(patienceMs / 1000);
    try {
        await within(patienceMs, "expand to end", (done) => walker.expandAsync().then(done));
        const routers = walker.root.getElementByNumber(2);
        assert.ok(routers && routers.getChildren().length >= 2);
        const sdi = routers.getElementByNumber(1);
        assert.equal(sdi.contents.identifier, "K7 SDI Router");
        const labels = sdi.getElementByNumber(2);
        assert.equal(labels.getElementByNumber(1).getChildren().length, 64);
        const served = (await api("/api/state")).bridges.find((b) => b.kind === "emberplus" && b.role === "listen");
        assert.equal(served.floods, 0);
    } finally {
        await walker.disconnectAsync().catch(() => {});
    }
});
