#!/usr/bin/env node
// Figures of the bridges' peer layer on loopback, against the bridged K7
// facility served over SW-P-08 and Ember+: an SW-P-08 controller's connect
// to the connected message it hears; an Ember+ consumer's TCP connect to
// the answer of its first GetDirectory; the memory of zarn_host before and
// after 1,000 idle connections (half to each port); and the time an Ember+
// consumer that stays connected and silent takes to be found and dropped.
// Plain sockets stand in for the peers. Usage, from the tree's root:
//   ZARN_HOST=build/dev/host/zarn_host ZARN_K7_PANEL=build/dev/panels/K7/k7_mon/libk7_mon.so \
//     node tools/peer-figures.js [rounds]
// A Windows build under Wine: ZARN_HOST=build/win64/host/zarn_host.exe,
// ZARN_K7_PANEL=build/win64/panels/K7/k7_mon/k7_mon.dll, ZARN_HOST_EMULATOR=wine
// (and WINEPREFIX); the memory is then the Wine process's.
"use strict";
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const { spawn } = require("node:child_process");
const { median, now, DLE, STX, swp08Frame: frame, s101Packet: packet } = require("./figures-wire");

const rounds = Number(process.argv[2] || 50);

// Ember+: a GetDirectory of the root in one S101 packet.
const rootDirectory = packet([0x60, 0x0b, 0x6b, 0x09, 0xa0, 0x07, 0x62, 0x05, 0xa0, 0x03, 0x02, 0x01, 0x20]);

const freePort = async () => {
    const probe = net.createServer();
    const port = await new Promise((r) => probe.listen(0, "127.0.0.1", () => r(probe.address().port)));
    await new Promise((r) => probe.close(r));
    return port;
};
const connect = (port) => new Promise((resolve, reject) => {
    const s = net.connect(port, "127.0.0.1", () => resolve(s));
    s.on("error", reject);
});
const family = (pid) => [pid, ...fs.readdirSync(`/proc/${pid}/task`).flatMap((t) =>
    fs.readFileSync(`/proc/${pid}/task/${t}/children`, "utf8").split(" ").filter(Boolean).map(Number).flatMap(family))];
const rssKb = (pid) => family(pid).reduce((n, p) => {
    const m = /VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${p}/status`, "utf8"));
    return n + (m ? Number(m[1]) : 0);
}, 0);

async function serve() {
    const swpPort = await freePort();
    const emberPort = await freePort();
    const k7 = path.join(__dirname, "../host/facilities/k7");
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) {
        r.swp08.listen = `127.0.0.1:${swpPort}`;
        r.emberplus = { listen: `127.0.0.1:${emberPort}` };
    }
    delete facility.umd;
    delete facility.emberplus;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-peer-figures-"));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));
    const emulator = process.env.ZARN_HOST_EMULATOR || "";
    const hostPath = (file) => (emulator ? "Z:" + path.resolve(file).replace(/\//g, "\\") : file);
    const args = ["--quiet", "--panel", hostPath(process.env.ZARN_K7_PANEL), "--facility",
        hostPath(path.join(dir, "facility.json")), "--serve", "0"];
    const host = emulator ? spawn(emulator, [process.env.ZARN_HOST, ...args], { stdio: ["ignore", "pipe", "inherit"] })
        : spawn(process.env.ZARN_HOST, args, { stdio: ["ignore", "pipe", "inherit"] });
    await new Promise((resolve) => {
        let out = "";
        host.stdout.on("data", (c) => {
            out += c;
            if (/serving the panel at/.test(out)) resolve();
        });
    });
    return { host, swpPort, emberPort };
}

async function main() {
    const { host, swpPort, emberPort } = await serve();
    try {
        // Connect to connected, monitor 3's video (wire 41) to 13 and 10 in turn.
        const s = await connect(swpPort);
        let got = Buffer.alloc(0);
        s.on("data", (c) => (got = Buffer.concat([got, c])));
        const times = [];
        for (let i = 0; i < rounds; ++i) {
            const src = i % 2 ? 10 : 13;
            const want = Buffer.from([DLE, STX, 0x04, 0x00, 0x00, 41, src]);
            got = Buffer.alloc(0);
            const start = now();
            await new Promise((done) => {
                const check = () => (got.includes(want) ? done() : setImmediate(check));
                s.write(frame([0x02, 0x00, 0x00, 41, src]));
                check();
            });
            times.push(now() - start);
        }
        s.destroy();
        console.log(`SW-P-08 connect to connected: median ${median(times).toFixed(2)} ms (${rounds})`);

        // A consumer's TCP connect to its first answer.
        const ember = [];
        for (let i = 0; i < rounds; ++i) {
            const start = now();
            const c = await connect(emberPort);
            await new Promise((done) => {
                c.once("data", done);
                c.write(rootDirectory);
            });
            ember.push(now() - start);
            c.destroy();
        }
        console.log(`Ember+ connect to the first GetDirectory's answer: median ${median(ember).toFixed(2)} ms (${rounds})`);

        // Memory with 1,000 idle connections (the listeners keep their limit
        // and replace the silent longest).
        await new Promise((r) => setTimeout(r, 500));
        const before = rssKb(host.pid);
        const idle = [];
        for (let i = 0; i < 1000; ++i) {
            const c = await connect(i % 2 ? swpPort : emberPort);
            c.on("error", () => {});
            idle.push(c);
        }
        await new Promise((r) => setTimeout(r, 1000));
        const after = rssKb(host.pid);
        const open = idle.filter((c) => !c.destroyed && c.readyState === "open").length;
        console.log(`1,000 idle connections: ${before} KB before, ${after} KB after (${open} still open from this side)`);
        idle.forEach((c) => c.destroy());

        // A consumer that stays connected and says nothing.
        const silent = await connect(emberPort);
        silent.on("data", () => {});  // read, never answer
        const start = now();
        await new Promise((done) => silent.on("close", done));
        console.log(`a silent Ember+ consumer dropped after ${((now() - start) / 1000).toFixed(1)} s`);
    } finally {
        host.kill("SIGTERM");
    }
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
