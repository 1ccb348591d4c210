#!/usr/bin/env node
// Figures of zarn_host's Ember+ provider on loopback: the time from a
// consumer's connect to the connection update it gets back; a full
// GetDirectory of a 200x200 and a 1,024x1,024 one-to-N matrix (bytes on the
// wire and time), and the bytes of a one-connection request and its answer;
// how long a panel take takes to reach 64 consumers at once (the limit of a
// listen address). Plain sockets stand in for the consumers; no npm
// package is used. Usage, from the tree's root:
//   ZARN_HOST=build/dev/host/zarn_host ZARN_K7_PANEL=build/dev/panels/K7/k7_mon/libk7_mon.so \
//     node tools/ember-figures.js [rounds]
"use strict";
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const net = require("node:net");
const { spawn } = require("node:child_process");
const { median, now, s101Packet: packet } = require("./figures-wire");

const rounds = Number(process.argv[2] || 50);

// ---- Glow and S101, as much as the figures need ----
function tlv(tag, ...parts) {
    const body = Buffer.concat(parts.map((p) => Buffer.from(p)));
    const n = body.length;
    const len = n < 128 ? [n] : n < 256 ? [0x81, n] : [0x82, n >> 8, n & 0xff];
    return Buffer.concat([Buffer.from([tag, ...len]), body]);
}
const int = (n) => tlv(0x02, n < 128 ? [n] : [n >> 8, n & 0xff].filter((_, i) => i || n >> 8));
const oid = (p) => tlv(0x0d, p);
const root = (...elements) => tlv(0x60, tlv(0x6b, ...elements.map((e) => tlv(0xa0, e))));
const getDirectory = (p) => root(tlv(0x71, tlv(0xa0, oid(p)), tlv(0xa2, tlv(0x64, tlv(0xa0, tlv(0x62, tlv(0xa0, int(32))))))));
const connect = (p, target, source) => root(tlv(0x71, tlv(0xa0, oid(p)),
    tlv(0xa5, tlv(0x30, tlv(0xa0, tlv(0x70, tlv(0xa0, int(target)), tlv(0xa1, oid([source])), tlv(0xa2, int(0))))))));
// Counts the bytes it gets and wakes its waiters at the end of each whole
// message (the EOF of a packet flagged last).
class Consumer {
    constructor(port) {
        this.socket = net.connect(port, "127.0.0.1");
        this.bytes = 0;
        this.waiters = [];
        this.packet = [];
        this.socket.on("data", (c) => {
            this.bytes += c.length;
            for (const b of c) {
                if (b === 0xfe) this.packet = [];
                else if (b !== 0xff) this.packet.push(b);
                else if (this.packet[2] === 0x00 && this.packet[4] & 0x40) this.waiters.splice(0).forEach((w) => w());
            }
        });
    }
    ready() { return new Promise((r) => this.socket.once("connect", r)); }
    // Sends a message and waits for the next whole message back.
    async ask(glow) {
        const start = now();
        const before = this.bytes;
        await new Promise((resolve) => {
            this.waiters.push(resolve);
            this.socket.write(packet(glow));
        });
        return { ms: now() - start, bytes: this.bytes - before };
    }
    close() { this.socket.destroy(); }
}

async function serve(size) {
    const probe = net.createServer();
    const port = await new Promise((r) => probe.listen(0, "127.0.0.1", () => r(probe.address().port)));
    await new Promise((r) => probe.close(r));
    const k7 = path.join(__dirname, "../host/facilities/k7");
    const facility = JSON.parse(fs.readFileSync(path.join(k7, "facility-bridged.json"), "utf8"));
    for (const r of facility.routers) {
        delete r.swp08;
        r.emberplus = { listen: `127.0.0.1:${port}` };
    }
    facility.routers[0].sources = size;
    facility.routers[0].destinations = size;
    delete facility.umd;
    delete facility.emberplus;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), "zarn-ember-figures-"));
    fs.copyFileSync(path.join(k7, "k7_mon.zarn_ui"), path.join(dir, "k7_mon.zarn_ui"));
    fs.writeFileSync(path.join(dir, "facility.json"), JSON.stringify(facility));
    const host = spawn(process.env.ZARN_HOST, ["--quiet", "--panel", process.env.ZARN_K7_PANEL, "--facility",
        path.join(dir, "facility.json"), "--serve", "0"], { stdio: ["ignore", "pipe", "inherit"] });
    const base = await new Promise((resolve) => {
        let out = "";
        host.stdout.on("data", (c) => {
            out += c;
            const m = /serving the panel at (http:\S+)\//.exec(out);
            if (m) resolve(m[1]);
        });
    });
    return { host, port, base };
}

async function main() {
    for (const size of [200, 1024]) {
        const { host, port } = await serve(size);
        const c = new Consumer(port);
        await c.ready();
        const times = [];
        let bytes = 0;
        for (let i = 0; i < 5; ++i) {
            const answer = await c.ask(getDirectory([2, 1, 1]));
            times.push(answer.ms);
            bytes = answer.bytes;
        }
        console.log(`${size}x${size} matrix, full GetDirectory: ${bytes} bytes, ${median(times).toFixed(1)} ms (median of 5)`);
        const req = packet(connect([2, 1, 1], 5, 7));
        const fresh = new Consumer(port);  // follows nothing: its one answer is the update
        await fresh.ready();
        const answer = await fresh.ask(connect([2, 1, 1], 5, 7));
        console.log(`  one connection: request ${req.length} bytes (Glow ${connect([2, 1, 1], 5, 7).length}), answer ${answer.bytes} bytes`);
        if (size === 200) {
            const ms = [];
            for (let i = 0; i < rounds; ++i) ms.push((await fresh.ask(connect([2, 1, 1], 40, 10 + (i % 4)))).ms);
            console.log(`  connect to its connection update at the consumer: median ${median(ms).toFixed(2)} ms of ${rounds}`);
            // 64 consumers following the matrix; a take on the panel reaches all of them.
            const many = [];
            for (let i = 0; i < 62; ++i) many.push(new Consumer(port));
            await Promise.all(many.map((m) => m.ready()));
            for (const m of many) await m.ask(getDirectory([2, 1, 1]));
            await new Promise((r) => setTimeout(r, 300));
            const spread = [];
            for (let i = 0; i < 10; ++i) {
                const arrived = Promise.all([c, ...many].map((m) => new Promise((r) => m.waiters.push(() => r(now())))));
                const start = now();
                fresh.socket.write(packet(connect([2, 1, 1], 40, 30 + (i % 3))));
                const at = await arrived;
                spread.push(Math.max(...at) - start);
                await new Promise((r) => setTimeout(r, 50));
            }
            console.log(`  64 consumers: a connect's update reaches the last of them in ${median(spread).toFixed(2)} ms (median of 10)`);
            many.forEach((m) => m.close());
        }
        fresh.close();
        c.close();
        host.kill("SIGTERM");
        await new Promise((r) => host.on("exit", r));
    }
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
