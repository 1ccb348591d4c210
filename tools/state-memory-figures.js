#!/usr/bin/env node
// Memory of zarn_host --serve (the supervisor and its worker) around whole
// /api/state reads on a large facility: the K7 facility plus generated
// routers (tools/make-facility.js). Prints the resident memory (VmRSS) of
// both processes after start-up, after 1, 10 and N reads, then while a
// client holds a read open without reading and after clients that drop the
// connection mid-answer; with the bytes and time of one read. Linux only
// (reads /proc). A figures tool, not a test: it asserts nothing.
// Usage:
//   ZARN_HOST=build/dev/host/zarn_host ZARN_K7_PANEL=build/dev/panels/K7/k7_mon/libk7_mon.so \
//     node tools/state-memory-figures.js [--routers N] [--size N] [--reads N (10)] [--json FILE]
"use strict";
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const http = require("node:http");
const { spawn } = require("node:child_process");
const { makeFacility } = require("./make-facility");
const { sleep } = require("./figures-wire");

const root = path.resolve(__dirname, "..");
const hostBinary = process.env.ZARN_HOST || path.join(root, "build/dev/host/zarn_host");
const k7Library = process.env.ZARN_K7_PANEL || path.join(root, "build/dev/panels/K7/k7_mon/libk7_mon.so");
const k7Folder = path.join(root, "host/facilities/k7");

const args = process.argv.slice(2);
const option = (name, fallback) => {
    const at = args.indexOf(name);
    return at < 0 ? fallback : args[at + 1];
};
const routers = Number(option("--routers", 4));
const size = Number(option("--size", 4096));
const reads = Number(option("--reads", 10));
const jsonOut = option("--json", "");

const rssMB = (pid) => {
    const found = fs.readFileSync(`/proc/${pid}/status`, "utf8").match(/VmRSS:\s+(\d+)/);
    return Math.round((Number(found[1]) / 1024) * 10) / 10;
};
// The supervisor's child: the worker.
const childOf = (pid) => {
    for (const entry of fs.readdirSync("/proc")) {
        if (!/^\d+$/.test(entry)) continue;
        try {
            const stat = fs.readFileSync(`/proc/${entry}/stat`, "utf8");
            if (Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]) === pid) return Number(entry);
        } catch (e) { /* gone */ }
    }
    return 0;
};

function get(url) {
    return new Promise((resolve, reject) => {
        const started = process.hrtime.bigint();
        http.get(url, (res) => {
            let bytes = 0;
            res.on("data", (chunk) => { bytes += chunk.length; });
            res.on("end", () => resolve({ status: res.statusCode, bytes,
                ms: Number(process.hrtime.bigint() - started) / 1e6 }));
        }).on("error", reject);
    });
}

// A read that takes `keep` bytes and then stops reading (paused) or drops the connection.
function partial(url, keep, drop) {
    return new Promise((resolve, reject) => {
        const req = http.get(url, (res) => {
            let bytes = 0;
            res.on("data", (chunk) => {
                bytes += chunk.length;
                if (bytes < keep) return;
                if (drop) {
                    req.destroy();
                    resolve({ bytes });
                } else {
                    res.pause();
                    resolve({ bytes, release: () => req.destroy() });
                }
            });
        });
        req.on("error", (e) => { if (!drop) reject(e); });
    });
}

async function main() {
    const facility = path.join(os.tmpdir(), `zarn-state-memory-${process.pid}.json`);
    fs.writeFileSync(facility, JSON.stringify(makeFacility({ routers, size })));
    const child = spawn(hostBinary, ["--quiet", "--panel", k7Library, "--facility", facility, "--panel-dir", k7Folder,
        "--serve", "127.0.0.1:0"], { stdio: ["ignore", "pipe", "inherit"] });
    try {
        let out = "";
        const base = await new Promise((resolve, reject) => {
            child.stdout.on("data", (d) => {
                out += d;
                const found = out.match(/serving the panel at (http:\/\/\S+)/);
                if (found) resolve(found[1]);
            });
            child.on("exit", (code) => reject(new Error(`zarn_host ended (${code})`)));
        });
        const state = `${base}api/state`;
        await get(`${base}api/state?view=page`);  // the worker answers: it is up
        await sleep(1000);
        const worker = childOf(child.pid);
        const memory = () => ({ workerMB: rssMB(worker), supervisorMB: rssMB(child.pid) });
        const figures = { routers, size, start: memory() };
        const first = await get(state);
        figures.stateBytes = first.bytes;
        figures.firstReadMs = Math.round(first.ms);
        await sleep(500);
        figures.after1 = memory();
        const times = [];
        for (let i = 2; i <= reads; ++i) {
            times.push((await get(state)).ms);
            if (i === 10 || i === reads) {
                await sleep(500);
                figures[`after${i}`] = memory();
            }
        }
        times.sort((a, b) => a - b);
        figures.medianReadMs = Math.round(times[Math.floor(times.length / 2)] || first.ms);
        // A client that stops reading after 64 KB: what the two hold for it meanwhile.
        const held = await partial(state, 64 * 1024, false);
        await sleep(2000);
        figures.whileOneClientStalls = memory();
        held.release();
        // Clients that drop the connection mid-answer, then a whole read.
        for (let i = 0; i < 5; ++i) await partial(state, 256 * 1024, true);
        await sleep(500);
        const after = await get(state);
        figures.readAfterDrops = { status: after.status, bytes: after.bytes };
        await sleep(500);
        figures.afterDrops = memory();
        console.log(JSON.stringify(figures, null, 2));
        if (jsonOut) fs.writeFileSync(jsonOut, `${JSON.stringify(figures, null, 2)}\n`);
    } finally {
        child.kill("SIGTERM");
        fs.rmSync(facility, { force: true });
    }
}

main().catch((e) => {
    console.error(e.message);
    process.exit(1);
});
