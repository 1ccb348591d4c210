// Displays sent by our TSL UMD v5 codec (tsl_send), received by the
// third-party listener over UDP and over TCP (DLE STX wrapping): index,
// screen, the three tally lamps, brightness and text, ASCII and UTF-16LE.
"use strict";
const { test } = require("node:test");
const assert = require("node:assert/strict");
const dgram = require("node:dgram");
const net = require("node:net");
const { requireSetup, within, patienceMs, run, testMs } = require("./common");

requireSetup(["ZARN_TSL_SEND"]);
const Listener = require("tsl-umd-v5");

// A port free on this machine for the listener, which takes no port 0.
function freePort(transport) {
    return new Promise((resolve) => {
        if (transport === "udp") {
            const socket = dgram.createSocket("udp4");
            socket.bind(0, "127.0.0.1", () => {
                const { port } = socket.address();
                socket.close(() => resolve(port));
            });
        } else {
            const server = net.createServer();
            server.listen(0, "127.0.0.1", () => {
                const { port } = server.address();
                server.close(() => resolve(port));
            });
        }
    });
}

// Starts a listener, runs tsl_send with the displays and gives back what the
// listener reported and the packets as they arrived.
async function sendAndReceive(transport, screen, displays) {
    const port = await freePort(transport);
    const listener = new Listener();
    const packets = [];
    const receive = listener.processTally.bind(listener);
    listener.processTally = (data, sender) => {
        packets.push(Buffer.from(data));
        receive(data, sender);
    };
    const messages = [];
    const all = within(patienceMs, `${displays.length} displays over ${transport}`, (done) => {
        listener.on("message", (message) => {
            messages.push(message);
            if (messages.length === displays.length) done(messages);
        });
    });
    all.catch(() => {});  // reported where it is awaited
    // The listener keeps its socket to itself: catch it to close it after.
    const sockets = [];
    const createSocket = dgram.createSocket;
    const createServer = net.createServer;
    dgram.createSocket = (...args) => sockets[sockets.push(createSocket(...args)) - 1];
    net.createServer = (...args) => sockets[sockets.push(createServer(...args)) - 1];
    try {
        if (transport === "udp") listener.listenUDP(port);
        else listener.listenTCP(port);
    } finally {
        dgram.createSocket = createSocket;
        net.createServer = createServer;
    }
    // Its socket binds after the call: sent to before, a datagram is lost.
    await within(patienceMs, `the listener to bind over ${transport}`, (done) => {
        const socket = sockets[0];
        let bound = socket.listening === true;
        try {
            bound = bound || (transport === "udp" && socket.address().port > 0);
        } catch {
            // not bound yet
        }
        if (bound) done();
        else socket.once("listening", done);
    });
    const displayArgs = displays.map((d) => `${d.index}:${d.rh}:${d.txt}:${d.lh}:${d.brightness}:${d.text}`);
    const sent = await run(process.env.ZARN_TSL_SEND, [transport, String(port), String(screen), ...displayArgs]);
    try {
        assert.equal(sent.code, 0, sent.stderr);
        await all;
    } finally {
        for (const socket of sockets) socket.close();
    }
    return { messages, packets };
}

const ascii = [
    { index: 1, rh: 1, txt: 2, lh: 3, brightness: 3, text: "CAM 1" },
    { index: 2, rh: 0, txt: 1, lh: 0, brightness: 2, text: "VT: replay" },
    { index: 300, rh: 3, txt: 3, lh: 2, brightness: 0, text: "" },
];
const unicode = [
    { index: 4, rh: 2, txt: 0, lh: 1, brightness: 1, text: "Ω Studio" },
    { index: 5, rh: 0, txt: 0, lh: 0, brightness: 3, text: "Régie 2 — 月" },
];

function checkReceived(received, screen, displays) {
    const { messages, packets } = received;
    messages.forEach((message, i) => {
        const expected = displays[i];
        const utf16 = /[^\x00-\x7f]/.test(expected.text);
        const bytes = Buffer.from(expected.text, utf16 ? "utf16le" : "latin1");
        assert.equal(message.screen, screen);
        assert.equal(message.index, expected.index);
        assert.equal(message.display.rh_tally, expected.rh);
        assert.equal(message.display.text_tally, expected.txt);
        assert.equal(message.display.lh_tally, expected.lh);
        assert.equal(message.display.brightness, expected.brightness);
        assert.equal(message.length, bytes.length);
        assert.equal(message.ver, 0);
        assert.equal(message.control_data, undefined);
        // The listener reads every text as 7-bit ASCII.
        assert.equal(message.display.text, Buffer.from(bytes.map((b) => b & 0x7f)).toString("latin1"));
        // On the wire: the flag for UTF-16 and the text in it.
        const packet = packets[i][0] === 0xfe && packets[i][1] === 0x02 ? unstuff(packets[i].subarray(2)) : packets[i];
        assert.equal(packet[3], utf16 ? 1 : 0);
        assert.equal(packet.subarray(12).toString(utf16 ? "utf16le" : "latin1"), expected.text);
    });
}

function unstuff(bytes) {
    const out = [];
    for (let i = 0; i < bytes.length; ++i) {
        out.push(bytes[i]);
        if (bytes[i] === 0xfe && bytes[i + 1] === 0xfe) ++i;
    }
    return Buffer.from(out);
}

for (const transport of ["udp", "tcp"]) {
    test(`ASCII displays with their tallies over ${transport}`, { timeout: testMs }, async () => {
        checkReceived(await sendAndReceive(transport, 7, ascii), 7, ascii);
    });
    test(`UTF-16 displays over ${transport}`, { timeout: testMs }, async () => {
        // Screen 254 is the TCP wrapping's DLE, which the listener unstuffs
        // by dropping both bytes of the pair: only UDP carries it intact.
        // The stuffing itself is checked byte for byte in bridge_tests.
        const screen = transport === "udp" ? 254 : 253;
        checkReceived(await sendAndReceive(transport, screen, unicode), screen, unicode);
    });
}
