// Shared by the interoperability tests: the programs under test come from
// the build (paths in the environment, set by CTest), the peers from
// node_modules (installed by `npm ci` in this folder).
"use strict";
const fs = require("node:fs");
const path = require("node:path");
const { spawn } = require("node:child_process");

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

// Resolves with what the first event gives, or rejects after ms.
function within(ms, what, start) {
    return new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`timed out after ${ms} ms waiting for ${what}`)), ms);
        start((value) => {
            clearTimeout(timer);
            resolve(value);
        });
    });
}

// zarn_host as the tests start it: ZARN_HOST_EMULATOR, when set (Wine, for a
// Windows build), runs it, and hostPath names a file as the emulated program
// does (Wine maps / to Z:). A first start under Wine takes seconds:
// hostStartMs is how long the tests wait for it to serve.
const emulator = process.env.ZARN_HOST_EMULATOR || "";
function hostPath(file) {
    return emulator ? "Z:" + path.resolve(file).replace(/\//g, "\\") : file;
}
function spawnHost(args, options) {
    const host = process.env.ZARN_HOST;
    return emulator ? spawn(emulator, [host, ...args], options) : spawn(host, args, options);
}
const hostStartMs = emulator ? 60000 : 10000;

// A helper program of the build (a router, a display sender): through
// ZARN_PROGRAM_EMULATOR when set (a command and its arguments separated by
// spaces: the 32-bit build on a machine that runs no 32-bit programs).
const programEmulator = (process.env.ZARN_PROGRAM_EMULATOR || "").split(" ").filter(Boolean);
function spawnProgram(program, args, options) {
    return programEmulator.length
        ? spawn(programEmulator[0], [...programEmulator.slice(1), program, ...args], options)
        : spawn(program, args, options);
}

// Runs a program of the build to its end; resolves with its exit code and standard error.
function run(program, args) {
    return new Promise((resolve) => {
        const child = spawnProgram(program, args, { stdio: ["ignore", "inherit", "pipe"] });
        let stderr = "";
        child.stderr.on("data", (chunk) => (stderr += chunk));
        child.on("close", (code) => resolve({ code, stderr }));
    });
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

module.exports = { requireSetup, within, run, spawn, spawnProgram, spawnHost, hostPath, hostStartMs, openDescriptors };
