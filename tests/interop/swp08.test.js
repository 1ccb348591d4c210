// The SW-P-08 router built on our codec (swp08_echo_router), driven by the
// third-party controller library: it reads the names, interrogates, reads
// the tally tables, connects a crosspoint and receives the connected message.
// The library speaks the extended commands and numbers from 0 on the wire.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const { requireSetup, within, patienceMs, spawnProgram, testMs } = require("./common");

requireSetup(["ZARN_SWP08_ROUTER"]);
const Controller = require("probel-swp-08");

let router;
let controller;

before(async () => {
    router = spawnProgram(process.env.ZARN_SWP08_ROUTER, [], { stdio: ["pipe", "pipe", "pipe"] });
    const port = await within(patienceMs, "the router to listen", (done) => {
        let out = "";
        router.stdout.on("data", (chunk) => {
            out += chunk;
            const match = /listening (\d+)/.exec(out);
            if (match) done(Number(match[1]));
        });
    });
    controller = new Controller("127.0.0.1", { port, sources: 16, destinations: 16, levels: 2, chars: 8 });
});

after(() => {
    if (controller && controller.client) controller.client.destroy();
    if (router) router.stdin.end();
});

test("reads the destination and source names", { timeout: testMs }, async () => {
    const destinations = await controller.getDestinationNames();
    const sources = await controller.getSourceNames();
    const expected = (prefix) => Object.fromEntries(Array.from({ length: 16 }, (_, i) => [String(i + 1), `${prefix} ${i + 1}`]));
    assert.deepEqual(destinations, expected("DST"), router.log);
    assert.deepEqual(sources, expected("SRC"), router.log);
});

test("interrogates a crosspoint", { timeout: testMs }, async () => {
    // interrogate(destination, level, matrix), numbers as on the wire.
    const tally = await controller.interrogate(5, 1, 0);
    assert.deepEqual(tally, { 1: { 2: { 5: 5 } } }, router.log);
});

test("reads the tally tables of both levels", { timeout: testMs }, async () => {
    const tallies = await controller.getState();
    for (const level of [1, 2]) {
        for (let destination = 1; destination <= 16; ++destination) {
            assert.equal(tallies[1][level][destination], destination - 1, router.log);
        }
    }
});

test("connects a crosspoint and receives the connected message", { timeout: testMs }, async () => {
    const connected = within(patienceMs, "the connected message", (done) => controller.on("crosspoint", done));
    // route(level, source, destination), numbered from 1.
    controller.route(1, 12, 3);
    assert.deepEqual(await connected, { 1: { 1: { 2: 11 } } }, router.log);
    assert.deepEqual(await controller.interrogate(2, 0, 0), { 1: { 1: { 2: 11 } } }, router.log);
    // The other level is untouched.
    assert.deepEqual(await controller.interrogate(2, 1, 0), { 1: { 2: { 2: 2 } } }, router.log);
    assert.doesNotMatch(router.log, /bad|truncated|garbage|unknown|oversized/);
});
