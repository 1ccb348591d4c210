#!/usr/bin/env node
// Figures of zarn_host's SW-P-08 server on loopback: connects served a
// second, the time from a panel take to the connected message at a
// controller, from a controller's connect to the panel's tally and to its
// own connected message (one at a time, and 100 in a row), and how many of
// 1,000 connects sent back to back get their connected message within a
// second. Prints medians. Usage:
//   ZARN_HOST=build/dev/host/zarn_host ZARN_K7_PANEL=build/dev/panels/K7/k7_mon/libk7_mon.so \
//     node tools/bridge-figures.js [rounds] [controller]
// With "controller" it measures the controller's figures alone.
"use strict";
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const http = require("node:http");
const { spawn } = require("node:child_process");
const { median, now, sleep, DLE, STX, ETX, swp08Frame: frame } = require("./figures-wire");

const rounds = Number(process.argv[2] || 30);
const controllerOnly = process.argv[3] === "controller";

async function main() {
    const probe = net.createServer();
    const port = await new Promise((r) => probe.listen(0, "127.0.0.1", () => r(probe.address().port)));
    await new Promise((r) => probe.close(r));
    const k7 = path.join(__dirname, "../host/facilities/k7");
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) r.swp08.listen = `127.0.0.1:${port}`;
    for (const r of facility.routers) delete r.emberplus; // SW-P-08 alone
    delete facility.emberplus;
    delete facility.umd;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-figures-"));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));
    const host = spawn(process.env.ZARN_HOST,
        ["--quiet", "--panel", process.env.ZARN_K7_PANEL, "--facility", path.join(dir, "facility.json"), "--serve", "0"],
        { stdio: ["ignore", "pipe", "inherit"] });
    try {
        const base = await new Promise((resolve) => {
            let out = "";
            host.stdout.on("data", (c) => {
                out += c;
                const m = /serving the panel at (http:\S+)\//.exec(out);
                if (m) resolve(m[1]);
            });
        });
        const step = async (text) => {
            const res = await fetch(base + "/api/step",
                { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify({ step: text }) });
            const answer = await res.json();
            if (!answer.ok) throw new Error(`${text}: ${answer.error}`);
        };
        const connect = () => new Promise((resolve, reject) => {
            const s = net.connect(port, "127.0.0.1", () => resolve(s));
            s.on("error", reject);
        });

        // A controller's connect to its connected message, one at a time, and
        // 100 in a row; then 1,000 sent back to back.
        {
            const c = await connect();
            c.setNoDelay(true);
            let buffer = Buffer.alloc(0);
            let wanted = null;
            let counted = 0;
            c.on("data", (chunk) => {
                buffer = Buffer.concat([buffer, chunk]);
                let at;
                while ((at = buffer.indexOf(Buffer.from([DLE, STX, 0x04, 0x00, 0x00, 41]))) >= 0) {
                    const src = buffer[at + 6];
                    buffer = buffer.subarray(at + 6);
                    ++counted;
                    if (wanted && wanted.src === src) { const w = wanted; wanted = null; w.resolve(now()); }
                }
                if (buffer.length > 16) buffer = buffer.subarray(buffer.length - 16);
            });
            const take = (src) => {
                const got = new Promise((resolve) => (wanted = { src, resolve }));
                c.write(frame([0x02, 0x00, 0x00, 41, src]));
                return got;
            };
            const single = [];
            for (let i = 0; i < rounds; ++i) {
                const start = now();
                single.push((await take(i % 2 ? 10 : 21)) - start);
            }
            const hundreds = [];
            for (let run = 0; run < 3; ++run) {
                const start = now();
                for (let i = 0; i < 100; ++i) await take(i % 2 ? 10 : 21);
                hundreds.push(now() - start);
            }
            await sleep(200);
            counted = 0;
            const burst = [];
            for (let i = 0; i < 1000; ++i) burst.push(frame([0x02, 0x00, 0x00, 41, i % 2 ? 10 : 21]));
            c.write(Buffer.concat(burst));
            await sleep(1000);
            const ms = (x) => x.toFixed(2) + " ms";
            console.log(`controller connect to its connected message: median ${ms(median(single))}, min ${ms(Math.min(...single))}, max ${ms(Math.max(...single))} (${single.length} connects)`);
            console.log(`100 connects in a row, each awaiting its connected message: median ${ms(median(hundreds))} (runs: ${hundreds.map(ms).join(", ")})`);
            console.log(`1,000 connects sent back to back: ${counted} connected messages within a second`);
            c.destroy();
            if (controllerOnly) return;
        }

        // Connects served a second: connect, interrogate, its tally, close; one at a time.
        const interrogate = frame([0x01, 0x00, 0x00, 40]);
        const rates = [];
        for (let run = 0; run < 5; ++run) {
            const start = now();
            const n = 200;
            for (let i = 0; i < n; ++i) {
                const s = await connect();
                await new Promise((resolve) => {
                    s.on("data", (c) => { if (c.includes(Buffer.from([DLE, STX, 0x03]))) resolve(); });
                    s.write(interrogate);
                });
                s.destroy();
            }
            rates.push((n * 1000) / (now() - start));
        }
        // Bare connects and disconnects, 50 at a time.
        const bare = [];
        for (let run = 0; run < 5; ++run) {
            const start = now();
            for (let b = 0; b < 10; ++b) (await Promise.all(Array.from({ length: 50 }, connect))).forEach((s) => s.destroy());
            bare.push(500000 / (now() - start));
        }

        // A controller hears the panel's takes on monitor 3 (destination 42, 41 on the wire).
        const controller = await connect();
        let heard = null;
        let waiting = null;
        controller.on("data", (c) => {
            for (const src of [10, 21]) {
                if (c.includes(Buffer.from([DLE, STX, 0x04, 0x00, 0x00, 41, src])) && waiting && waiting.src === src) {
                    heard = now();
                    waiting.resolve();
                }
            }
        });
        await step("press Mon_3");
        const takes = [];
        const names = { 10: "Cam 1", 21: "VT 2" };
        for (let i = 0; i < rounds; ++i) {
            const src = i % 2 ? 10 : 21;
            const got = new Promise((resolve) => (waiting = { src, resolve }));
            const start = now();
            await step(`pick Sources "${names[src]}"`);
            await got;
            takes.push(heard - start);
            await sleep(20);
        }

        // A controller's connect to the panel's tally, as the page's event stream shows it.
        // The stream's first state, then its changes (a control replaced whole).
        let state = null;
        const states = [];
        const stream = http.get(base + "/api/events", (res) => {
            let buffer = "";
            res.on("data", (c) => {
                buffer += c;
                let end;
                while ((end = buffer.indexOf("\n\n")) >= 0) {
                    const event = buffer.slice(0, end);
                    buffer = buffer.slice(end + 2);
                    const data = event.slice(event.indexOf("data: ") + 6);
                    if (event.startsWith("event: state")) {
                        state = JSON.parse(data);
                        for (const w of states) w();
                    } else if (event.startsWith("event: changes") && state) {
                        const change = JSON.parse(data);
                        Object.assign(state, change.set || {});
                        for (const { panel, control } of change.controls || []) {
                            const p = state.panels.find((x) => x.id === panel);
                            const at = p ? p.controls.findIndex((c) => c.id === control.id) : -1;
                            if (at >= 0) p.controls[at] = control;
                        }
                        for (const w of states) w();
                    }
                }
            });
        });
        const tallies = [];
        const tallyShows = (name) => {
            if (!state) return false;
            const panels = state.panels;
            const tally = panels && panels[0].controls.find((c) => c.id === "Vidtally_3");
            return tally && JSON.stringify(tally).includes(name);
        };
        await sleep(200);
        for (let i = 0; i < rounds; ++i) {
            const src = i % 2 ? 10 : 21;
            const start = now();
            const shown = new Promise((resolve) => {
                const check = () => { if (tallyShows(names[src])) { states.length = 0; resolve(now()); } };
                states.push(check);
            });
            controller.write(frame([0x02, 0x00, 0x00, 41, src]));
            tallies.push((await shown) - start);
            await sleep(20);
        }
        stream.destroy();
        controller.destroy();

        const ms = (x) => x.toFixed(2) + " ms";
        console.log(`connects served a second (connect, interrogate, tally, close; one at a time): median ${median(rates).toFixed(0)} (runs: ${rates.map((r) => r.toFixed(0)).join(", ")})`);
        console.log(`bare connects and disconnects a second (50 at a time): median ${median(bare).toFixed(0)}`);
        console.log(`panel take (step posted) to connected message at the controller: median ${ms(median(takes))}, min ${ms(Math.min(...takes))}, max ${ms(Math.max(...takes))} (${takes.length} takes)`);
        console.log(`controller connect to the panel's tally on the page's event stream: median ${ms(median(tallies))}, min ${ms(Math.min(...tallies))}, max ${ms(Math.max(...tallies))} (${tallies.length} connects)`);
    } finally {
        host.kill("SIGTERM");
    }
}
main().then(() => process.exit(0), (e) => { console.error(e); process.exit(1); });
