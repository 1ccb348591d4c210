#!/usr/bin/env node
// Writes a large facility for trying the served page at real router sizes:
// the K7 facility (so the K7 panel runs as usual) plus generated routers,
// every source and destination named and every destination routed.
//
//   node tools/make-facility.js [--routers N] [--size N] OUT.json
//
// Also a module: makeFacility({ routers, size }) gives the facility's object.
"use strict";
const fs = require("fs");
const path = require("path");

const k7 = path.resolve(__dirname, "../host/facilities/k7/facility.json");
const firstDevice = 301;

function makeFacility({ routers = 4, size = 4096 } = {}) {
    const facility = JSON.parse(fs.readFileSync(k7, "utf8"));
    facility.comment = `Bay K7 and ${routers} generated routers of ${size}×${size}, every port named.`;
    for (let r = 0; r < routers; ++r) {
        const device = firstDevice + r;
        const area = String.fromCharCode(65 + (r % 26));
        const sourceNames = {};
        const destinationNames = {};
        const crosspoints = {};
        for (let n = 1; n <= size; ++n) {
            sourceNames[n] = `${area} Src ${String(n).padStart(4, "0")}`;
            destinationNames[n] = `${area} Dst ${String(n).padStart(4, "0")}`;
            crosspoints[n] = ((n * 7) % size) + 1;
        }
        facility.instances.push({ name: `Gen Router ${area}`, device, offset: 0 });
        facility.routers.push({ device, sources: size, destinations: size, sourceNames, destinationNames, crosspoints });
    }
    return facility;
}

if (require.main === module) {
    const args = process.argv.slice(2);
    const option = (name, fallback) => {
        const at = args.indexOf(name);
        if (at < 0) return fallback;
        const value = Number(args.splice(at, 2)[1]);
        if (!Number.isInteger(value) || value < 1 || value > 65535) {
            console.error(`${name} takes a whole number from 1 to 65535`);
            process.exit(2);
        }
        return value;
    };
    const routers = option("--routers", 4);
    const size = option("--size", 4096);
    if (args.length !== 1) {
        console.error("usage: make-facility.js [--routers N] [--size N] OUT.json");
        process.exit(2);
    }
    fs.writeFileSync(args[0], JSON.stringify(makeFacility({ routers, size })));
}

module.exports = { makeFacility, firstDevice };
