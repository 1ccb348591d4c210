// What the figures tools share: timing helpers and the bytes of the two
// framed protocols, as much as the figures need (plain sockets stand in for
// the peers; no npm package is used).
"use strict";

const median = (xs) => {
    const s = [...xs].sort((a, b) => a - b);
    return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const now = () => Number(process.hrtime.bigint()) / 1e6;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// SW-P-08: a frame, DLE-stuffed, with its byte count and checksum.
const DLE = 0x10, STX = 0x02, ETX = 0x03;
function swp08Frame(data) {
    const body = [...data, data.length];
    body.push((-body.reduce((a, b) => a + b, 0)) & 0xff);
    const out = [DLE, STX];
    for (const b of body) out.push(...(b === DLE ? [DLE, DLE] : [b]));
    return Buffer.from([...out, DLE, ETX]);
}

// Ember+: one Glow message in one S101 packet (CRC-CCITT, escaped).
function s101Crc(bytes) {
    let c = 0xffff;
    for (const b of bytes) {
        c ^= b;
        for (let i = 0; i < 8; ++i) c = c & 1 ? (c >>> 1) ^ 0x8408 : c >>> 1;
    }
    return c;
}
function s101Packet(glow) {
    const body = [0x00, 0x0e, 0x00, 0x01, 0xc0, 0x01, 0x02, 0x1f, 0x02, ...glow];
    const sum = ~s101Crc(body) & 0xffff;
    body.push(sum & 0xff, sum >> 8);
    const out = [0xfe];
    for (const b of body) out.push(...(b >= 0xf8 ? [0xfd, b ^ 0x20] : [b]));
    out.push(0xff);
    return Buffer.from(out);
}

module.exports = { median, now, sleep, DLE, STX, ETX, swp08Frame, s101Packet };
