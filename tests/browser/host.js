// Starts zarn_host --serve on a free loopback port with the K7 panel and
// facility, and reads the address it prints.
//
// ZARN_HOST_EMULATOR, when set (with ZARN_BUILD_DIR naming a Windows build),
// runs zarn_host.exe and its DLLs under it: absolute paths in the arguments
// are named as the emulated program sees them (Wine maps / to Z:), and the
// host is stopped with SIGINT, which Wine passes on as Ctrl+C. The emulator
// must run the program in its own process: wine64 for the 64-bit build
// (Debian's `wine` hands a 64-bit program to start.exe in another process,
// which the signal does not reach).
const { spawn, spawnSync } = require('child_process');
const path = require('path');

const root = path.resolve(__dirname, '../..');
const build = path.resolve(process.env.ZARN_BUILD_DIR || path.join(root, 'build/ci'));
const emulator = process.env.ZARN_HOST_EMULATOR || '';
const windows = emulator !== '';
const hostBinary = path.join(build, windows ? 'host/zarn_host.exe' : 'host/zarn_host');
const k7Library = path.join(build, 'panels/K7/k7_mon', windows ? 'k7_mon.dll' : 'libk7_mon.so');
const k7Facility = path.join(root, 'host/facilities/k7/facility.json');

// A file as zarn_host names it, and back.
function hostPath(file) {
  return windows ? 'Z:' + path.resolve(file).replace(/\//g, '\\') : file;
}
function localPath(file) {
  return windows && /^Z:\\/i.test(file) ? file.slice(2).replace(/\\/g, '/') : file;
}
const hostArgs = (args) => args.map((a) => (windows && path.isAbsolute(a) ? hostPath(a) : a));
const command = (args) => (windows ? [emulator, [hostBinary, ...hostArgs(args)]] : [hostBinary, args]);

// zarn_host run to its end with these arguments: spawnSync's answer.
function runHostSync(args, options = {}) {
  const [program, all] = command(args);
  return spawnSync(program, all, { cwd: root, encoding: 'utf8', ...options });
}

// The hosts started by the running test: their standard error is printed when it fails.
let started = [];

// facility: another facility file; the K7 panel file is still read from the K7 folder.
function startHost(extra = [], panelLibrary = k7Library, facility = k7Facility) {
  const folder = facility === k7Facility ? [] : ['--panel-dir', path.dirname(k7Facility)];
  const [program, args] = command(['--quiet', '--panel', panelLibrary, '--facility', facility, ...folder,
    '--serve', '127.0.0.1:0', ...extra]);
  const child = spawn(program, args, { cwd: root, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  let errors = '';
  child.stderr.on('data', (d) => { errors += d; });
  const url = new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => {
      output += d;
      const found = output.match(/serving the panel at (http:\/\/\S+)/);
      if (found) resolve(found[1]);
    });
    child.on('exit', (code) => reject(new Error(`zarn_host ended (${code}): ${errors}`)));
  });
  const stop = () => new Promise((resolve) => {
    if (child.exitCode !== null) return resolve(child.exitCode);
    child.on('exit', (code) => resolve(code));
    child.kill(windows ? 'SIGINT' : 'SIGTERM');
    // An emulator that does not pass the signal on would leave the test waiting: ended outright, it fails.
    if (windows) setTimeout(() => { if (child.exitCode === null) child.kill('SIGKILL'); }, 20000).unref();
  });
  started.push({ args, errors: () => errors, running: () => child.exitCode === null && child.signalCode === null });
  return { url, stop, output: () => output };
}

// For test.afterEach: a failed test prints what its hosts wrote on standard error.
function printHostErrorsOnFailure(testInfo) {
  if (testInfo.status !== testInfo.expectedStatus) {
    for (const host of started) {
      console.error(`zarn_host ${host.args.join(' ')}: standard error:\n${host.errors() || '(nothing)'}`);
    }
  }
  started = started.filter((host) => host.running());
}

// Runs a scenario file under zarn_host; its exit status and output.
function replay(scenarioPath) {
  const run = runHostSync(['--quiet', '--panel', k7Library, '--facility', k7Facility, '--scenario', scenarioPath]);
  return { status: run.status, output: run.stdout + run.stderr };
}

// Runs zarn_host with these arguments after the K7 panel and facility.
function runHost(args) {
  const run = runHostSync(['--quiet', '--panel', k7Library, '--facility', k7Facility, ...args], { timeout: 20000 });
  return { status: run.status, stdout: run.stdout, stderr: run.stderr };
}

// The panel that crashes on request (tests/host/crash_panel/), and its variant that crashes when created.
const libraryExtension = windows ? 'dll' : 'so';
const crashPanel = path.join(build, `tests/host/crash_panel/libhost_test_crash_panel.${libraryExtension}`);
const crashOnCreate = path.join(build, `tests/host/crash_panel/libhost_test_crash_on_create.${libraryExtension}`);
const crashPanelDir = path.join(root, 'tests/host/crash_panel');
// How the host names an invalid memory access in a panel.
const accessFault = windows ? 'access violation' : 'SIGSEGV';

module.exports = {
  startHost, printHostErrorsOnFailure, replay, runHost, runHostSync, localPath, root, hostBinary, k7Facility,
  crashPanel, crashOnCreate, crashPanelDir, accessFault, libraryExtension,
};
