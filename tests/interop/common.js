// Shared by the interoperability tests: the programs under test come from
// the build (paths in the environment, set by CTest), the peers from
// node_modules (installed by `npm ci` in this folder).
"use strict";
const fs = require("node:fs");
const path = require("node:path");
const childProcess = require("node:child_process");
const { afterEach } = require("node:test");

// Exit 77 (CTest's skip) when the peers or the programs are not there.
function requireSetup(programVariables) {
    if (!fs.existsSync(path.join(__dirname, "node_modules"))) {
        console.log(`skipped: no node_modules in ${__dirname}; run npm ci there`);
        process.exit(77);
    }
    for (const variable of programVariables) {
        if (!process.env[variable] || !fs.existsSync(process.env[variable])) {
            console.log(`skipped: ${variable} does not name a built program`);
            process.exit(77);
        }
    }
}

// ZARN_HOST_EMULATOR, when set, runs zarn_host (Wine, for a Windows build).
const emulator = process.env.ZARN_HOST_EMULATOR || "";
// How long a wait for what comes in milliseconds may take: a machine at a
// load of 4 on 2 cores, under a sanitizer or Wine, is slow, never this
// slow. A wait that runs out is a fault, not a slow machine.
const patienceMs = emulator ? 60000 : 20000;
// How long the tests wait for zarn_host to serve (a first start under Wine
// takes seconds).
const hostStartMs = emulator ? 60000 : 30000;
// A test's own limit, for a hang no wait of its own ends: past any one wait.
const testMs = 4 * patienceMs;

function sawText(saw) {
    if (!saw) return "";
    try {
        return `; saw: ${saw()}`;
    } catch (e) {
        return `; saw: (${e.message})`;
    }
}

// Resolves with what the first event gives, or rejects after ms; saw, when
// given, says in the rejection what the test had got by then.
function within(ms, what, start, saw) {
    return new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`timed out after ${ms} ms waiting for ${what}${sawText(saw)}`)), ms);
        start((value) => {
            clearTimeout(timer);
            resolve(value);
        });
    });
}

// Asks check (which may be async) every 50 ms until it gives a truthy
// value, and resolves with it; rejects after ms. For what only a request
// tells (the host's state); what a socket or a program says is awaited
// with within.
async function until(ms, what, check, saw) {
    const end = Date.now() + ms;
    for (;;) {
        const value = await check();
        if (value) return value;
        if (Date.now() > end) throw new Error(`timed out after ${ms} ms waiting for ${what}${sawText(saw)}`);
        await new Promise((r) => setTimeout(r, 50));
    }
}

// What a failed test prints after the runner's report of it: each program
// the tests started, how it ended and the last lines of its standard error
// and output, then what each test said it holds (held). A failed test
// prints it when it ends; a failed hook, when the process ends.
const programs = [];
const states = [];
let reported = false;

// describe() says what the test holds now (the bytes a peer got, say).
function held(label, describe) {
    states.push({ label, describe });
}

function lastLines(text, count) {
    const lines = text.split("\n");
    if (lines.length && lines[lines.length - 1] === "") lines.pop();
    return lines.slice(-count).map((l) => "    " + l);
}

function report(why) {
    reported = true;
    const out = [`--- ${why}: what the test saw`];
    for (const p of programs) {
        const end = p.signalCode ? `ended by ${p.signalCode}` : p.exitCode !== null ? `exit status ${p.exitCode}` : "running";
        out.push(`--- ${p.label} (pid ${p.pid}, ${end}): the last 30 lines of its standard error`);
        out.push(...lastLines(p.log, 30));
        if (p.outTail) {
            out.push(`--- ${p.label}: the last 10 lines of its standard output`);
            out.push(...lastLines(p.outTail, 10));
        }
    }
    for (const s of states) out.push(`--- ${s.label}${sawText(s.describe).replace(/^; saw/, "")}`);
    fs.writeSync(2, out.join("\n") + "\n");
}

afterEach((t) => {
    if (t.passed === false) report(`"${t.name}" failed`);
});
process.on("exit", (code) => {
    if (code !== 0 && code !== 77 && !reported) report(`exit status ${code}`);
});

// A started program, kept for the report: its standard error whole in log
// (which tests match), the tail of its standard output in outTail, its end
// in exited ({code, signal}).
function watched(child, label) {
    child.label = label;
    child.log = "";
    child.outTail = "";
    if (child.stderr) child.stderr.on("data", (c) => (child.log += c));
    if (child.stdout) child.stdout.on("data", (c) => (child.outTail = (child.outTail + c).slice(-16384)));
    child.exited = new Promise((resolve) => child.on("exit", (code, signal) => resolve({ code, signal })));
    programs.push(child);
    return child;
}

// zarn_host as the tests start it, through the emulator when there is one;
// hostPath names a file as the emulated program does (Wine maps / to Z:).
function hostPath(file) {
    return emulator ? "Z:" + path.resolve(file).replace(/\//g, "\\") : file;
}
function spawnHost(args, options, label = "zarn_host") {
    const host = process.env.ZARN_HOST;
    const child = emulator ? childProcess.spawn(emulator, [host, ...args], options) : childProcess.spawn(host, args, options);
    return watched(child, label);
}
// zarn_host itself, never emulated (the tests that read its descriptors).
function spawn(program, args, options, label = path.basename(program)) {
    return watched(childProcess.spawn(program, args, options), label);
}

// A helper program of the build (a router, a display sender): through
// ZARN_PROGRAM_EMULATOR when set (a command and its arguments separated by
// spaces: the 32-bit build on a machine that runs no 32-bit programs).
const programEmulator = (process.env.ZARN_PROGRAM_EMULATOR || "").split(" ").filter(Boolean);
function spawnProgram(program, args, options, label = path.basename(program)) {
    const child = programEmulator.length
        ? childProcess.spawn(programEmulator[0], [...programEmulator.slice(1), program, ...args], options)
        : childProcess.spawn(program, args, options);
    return watched(child, label);
}

// Runs a program of the build to its end; resolves with its exit code and standard error.
function run(program, args) {
    return new Promise((resolve) => {
        const child = spawnProgram(program, args, { stdio: ["ignore", "inherit", "pipe"] });
        child.on("close", (code) => resolve({ code, stderr: child.log }));
    });
}

// Resolves with the match once the program's standard error holds text (a
// string or a RegExp); rejects after ms.
function stderrSays(child, text, ms = patienceMs) {
    const find = () => (typeof text === "string" ? (child.log.includes(text) ? text : null) : text.exec(child.log));
    return within(ms, `${child.label} to say ${text}`, (done) => {
        const check = () => {
            const found = find();
            if (!found) return;
            child.stderr.off("data", check);
            done(found);
        };
        child.stderr.on("data", check);  // after watched's: log holds the chunk
        check();
    }, () => JSON.stringify(child.log.slice(-300)));
}

// Resolves with the address a --serve run prints on standard output
// ("http://127.0.0.1:PORT", no slash).
function servedAddress(child, ms = hostStartMs) {
    let out = "";
    return within(ms, `${child.label} to serve`, (done) => {
        child.stdout.on("data", (c) => {
            out += c;
            const m = /serving the panel at (http:\S+)\//.exec(out);
            if (m) done(m[1]);
        });
    }, () => `standard output ${JSON.stringify(out.slice(-300))}`);
}

// The open descriptors of a process and its descendants (Linux /proc): under
// --serve the bridges run in the worker. A thread or process that ends while
// it is read counts as none.
function openDescriptors(pid) {
    const tolerant = (read, empty) => {
        try {
            return read();
        } catch (e) {
            if (e.code === "ENOENT" || e.code === "ESRCH") return empty;
            throw e;
        }
    };
    const family = (p) => [p, ...tolerant(() => fs.readdirSync(`/proc/${p}/task`), []).flatMap((t) =>
        tolerant(() => fs.readFileSync(`/proc/${p}/task/${t}/children`, "utf8"), "")
            .split(" ").filter(Boolean).map(Number).flatMap(family))];
    return family(pid).reduce((n, p) => n + tolerant(() => fs.readdirSync(`/proc/${p}/fd`), []).length, 0);
}

module.exports = {
    requireSetup, within, until, held, patienceMs, testMs, run, spawn, spawnProgram, spawnHost, hostPath, hostStartMs,
    stderrSays, servedAddress, openDescriptors,
};
