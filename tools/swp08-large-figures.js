#!/usr/bin/env node
// Figures of zarn_host serving large routers over SW-P-08 on loopback: a
// matrix of 16 levels of 4,096 x 4,096 and a router of 1,152 x 1,152 (names
// by range rule). Start-up (process start to the first tally answered),
// memory, and the time and bytes on the wire of a tally dump of every level
// and of the names in every length. The run is interactive (steps from
// standard input, none typed), as the host answers peers while it waits.
// Usage:
//   ZARN_HOST=build/dev/host/zarn_host ZARN_K7_PANEL=build/dev/panels/K7/k7_mon/libk7_mon.so \
//     node tools/swp08-large-figures.js
"use strict";
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const { spawn } = require("node:child_process");
const { now, sleep, DLE, STX, ETX, swp08Frame: frame } = require("./figures-wire");

// A controller: counts the bytes it reads and hands each frame's DATA (command byte first) on.
function controller(port) {
    return new Promise((resolve, reject) => {
        const s = net.connect(port, "127.0.0.1", () => resolve(c));
        s.setNoDelay(true);
        s.on("error", reject);
        const c = { socket: s, bytes: 0, onData: null };
        let inFrame = false, dle = false, data = [];
        s.on("data", (chunk) => {
            c.bytes += chunk.length;
            for (const b of chunk) {
                if (dle) {
                    dle = false;
                    if (b === STX) { inFrame = true; data = []; }
                    else if (b === ETX && inFrame) { inFrame = false; if (c.onData) c.onData(data.slice(0, -2)); }
                    else if (b === DLE && inFrame) data.push(DLE);
                    continue;
                }
                if (b === DLE) { dle = true; continue; }
                if (inFrame) data.push(b);
            }
        });
    });
}
// Sends a request and resolves when `done` (given each DATA) says the answer is complete.
function ask(c, bytes, done) {
    return new Promise((resolve) => {
        const startBytes = c.bytes, start = now();
        let frames = 0;
        c.onData = (data) => {
            ++frames;
            if (done(data)) { c.onData = null; resolve({ ms: now() - start, bytes: c.bytes - startBytes, frames }); }
        };
        c.socket.write(bytes);
    });
}
const memory = (pid) => {
    const status = fs.readFileSync(`/proc/${pid}/status`, "utf8");
    const kb = (key) => Number(new RegExp(`${key}:\\s+(\\d+)`).exec(status)[1]);
    return `RSS ${(kb("VmRSS") / 1024).toFixed(1)} MiB, peak ${(kb("VmHWM") / 1024).toFixed(1)} MiB`;
};

async function main() {
    const probe = net.createServer();
    const port = await new Promise((r) => probe.listen(0, "127.0.0.1", () => r(probe.address().port)));
    await new Promise((r) => probe.close(r));
    const routers = [];
    for (let level = 0; level < 16; ++level) {
        routers.push({ device: 200 + level, sources: 4096, destinations: 4096,
            sourceNames: { "1-4096": `SOURCE ${level}-{n} WIDE NAME` },
            destinationNames: { "1-4096": `DESTINATION {n} L${level}` },
            swp08: { listen: `127.0.0.1:${port}`, matrix: 0, level } });
    }
    routers.push({ device: 300, sources: 1152, destinations: 1152, sourceNames: { "1-1152": "IN {n}" },
        destinationNames: { "1-1152": "OUT {n}" }, swp08: { listen: `127.0.0.1:${port}`, matrix: 1, level: 0 } });
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-large-"));
    const file = path.join(dir, "facility.json");
    fs.writeFileSync(file, JSON.stringify({ routers }));
    const small = path.join(dir, "small.json");
    fs.writeFileSync(small, JSON.stringify({ routers: [{ device: 300, sources: 16, destinations: 16,
        swp08: { listen: `127.0.0.1:${port}`, matrix: 1, level: 0 } }] }));

    const interrogate = frame([0x01, 0x10, 0x00, 0x00]);  // matrix 1, level 0, destination 0
    async function startHost(facility) {
        const start = now();
        const host = spawn(process.env.ZARN_HOST, ["--quiet", "--panel", process.env.ZARN_K7_PANEL, "--facility", facility],
            { stdio: ["pipe", "ignore", "inherit"] });
        for (;;) {
            if (host.exitCode !== null) throw new Error(`zarn_host ended (${host.exitCode})`);
            try {
                const c = await controller(port);
                // A tally, plain or extended (no source of a router past 1,023 sources is 65535).
                await ask(c, interrogate, (d) => d[0] === 0x03 || d[0] === 0x83);
                return { host, c, ms: now() - start };
            } catch (e) {
                await sleep(2);
            }
        }
    }
    const smallRun = await startHost(small);
    const smallMemory = memory(smallRun.host.pid);
    smallRun.c.socket.destroy();
    smallRun.host.stdin.end("quit\n");
    await new Promise((r) => smallRun.host.on("exit", r));

    const { host, c, ms } = await startHost(file);
    try {
        console.log(`start-up to the first tally: ${ms.toFixed(0)} ms (one 16 x 16 router: ${smallRun.ms.toFixed(0)} ms); ${memory(host.pid)} (one 16 x 16 router: ${smallMemory})`);
        // Tally dumps of every level, extended requests: 4,096 tallies each.
        let total = { ms: 0, bytes: 0, frames: 0 };
        for (let level = 0; level < 16; ++level) {
            let tallies = 0;
            const r = await ask(c, frame([0x95, 0x00, level]), (d) => d[0] === 0x97 && (tallies += d[3]) >= 4096);
            total = { ms: total.ms + r.ms, bytes: total.bytes + r.bytes, frames: total.frames + r.frames };
        }
        console.log(`tally dump of every level (16 x 4,096): ${total.ms.toFixed(1)} ms, ${total.bytes} bytes, ${total.frames} messages`);
        let plain = 0;
        const p = await ask(c, frame([0x15, 0x10]), (d) => d[0] === 0x17 && (plain += d[2]) >= 1152);
        console.log(`tally dump of the 1,152 router (plain request, word form): ${p.ms.toFixed(1)} ms, ${p.bytes} bytes, ${p.frames} messages`);
        for (const [code, chars] of [[0, 4], [1, 8], [2, 12], [3, 16]]) {
            let n = 0;
            const s = await ask(c, frame([0xE4, 0x00, 0x00, code]), (d) => d[0] === 0xEA && (n += d[6]) >= 4096);
            let m = 0;
            const d = await ask(c, frame([0xE6, 0x00, code]), (x) => x[0] === 0xEB && (m += x[5]) >= 4096);
            console.log(`names of ${chars}: 4,096 sources ${s.ms.toFixed(1)} ms, ${s.bytes} bytes, ${s.frames} messages; 4,096 destinations (matrix-wide) ${d.ms.toFixed(1)} ms, ${d.bytes} bytes, ${d.frames} messages`);
        }
        console.log(`after: ${memory(host.pid)}`);
    } finally {
        c.socket.destroy();
        host.stdin.end("quit\n");
    }
}
main().then(() => process.exit(0), (e) => { console.error(e); process.exit(1); });
