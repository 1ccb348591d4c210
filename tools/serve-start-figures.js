#!/usr/bin/env node
// How long zarn_host --serve takes to start on the K7 panel and facility:
// from the process's start to the address it prints, and to the page (/) and
// the first /api/state answered. Prints medians. Usage, from the tree's root:
//   ZARN_HOST=build/dev/host/zarn_host ZARN_K7_PANEL=build/dev/panels/K7/k7_mon/libk7_mon.so \
//     node tools/serve-start-figures.js [runs]
// A Windows build under Wine: ZARN_HOST=build/win64/host/zarn_host.exe,
// ZARN_K7_PANEL=build/win64/panels/K7/k7_mon/k7_mon.dll, ZARN_HOST_EMULATOR=wine
// (and WINEPREFIX).
"use strict";
const path = require("node:path");
const { spawn } = require("node:child_process");
const { median } = require("./figures-wire");

const runs = Number(process.argv[2] || 5);
const emulator = process.env.ZARN_HOST_EMULATOR || "";
const hostPath = (file) => (emulator ? "Z:" + path.resolve(file).replace(/\//g, "\\") : file);

async function once() {
    const start = performance.now();
    const args = ["--quiet", "--panel", hostPath(process.env.ZARN_K7_PANEL), "--facility",
        hostPath(path.join(__dirname, "../host/facilities/k7/facility.json")), "--serve", "127.0.0.1:0"];
    const options = { stdio: ["ignore", "pipe", "ignore"] };
    const host = emulator ? spawn(emulator, [process.env.ZARN_HOST, ...args], options)
        : spawn(process.env.ZARN_HOST, args, options);
    try {
        const base = await new Promise((resolve, reject) => {
            let out = "";
            host.stdout.on("data", (c) => {
                out += c;
                const m = /serving the panel at (http:\S+)\//.exec(out);
                if (m) resolve(m[1]);
            });
            host.on("exit", (code) => reject(new Error(`zarn_host ended (${code}) before serving`)));
        });
        const serving = performance.now() - start;
        await (await fetch(base + "/")).text();
        await (await fetch(base + "/api/state")).json();
        return [serving, performance.now() - start];
    } finally {
        if (host.exitCode === null && host.signalCode === null) {
            const ended = new Promise((resolve) => host.on("exit", resolve));
            host.kill("SIGTERM");
            await ended;
        }
    }
}

async function main() {
    const times = [];
    for (let i = 0; i < runs; ++i) times.push(await once());
    console.log(`start to serving: median ${median(times.map((t) => t[0])).toFixed(0)} ms (${runs})`);
    console.log(`start to / and the first /api/state answered: median ${median(times.map((t) => t[1])).toFixed(0)} ms (${runs})`);
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
