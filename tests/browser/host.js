// Starts zarn_host --serve on a free loopback port with the K7 panel and
// facility, and reads the address it prints.
const { spawn, spawnSync } = require('child_process');
const path = require('path');

const root = path.resolve(__dirname, '../..');
const build = path.resolve(process.env.ZARN_BUILD_DIR || path.join(root, 'build/ci'));
const hostBinary = path.join(build, 'host/zarn_host');
const k7Library = path.join(build, 'panels/K7/k7_mon/libk7_mon.so');
const k7Facility = path.join(root, 'host/facilities/k7/facility.json');

// facility: another facility file; the K7 panel file is still read from the K7 folder.
function startHost(extra = [], library = k7Library, facility = k7Facility) {
  const folder = facility === k7Facility ? [] : ['--panel-dir', path.dirname(k7Facility)];
  const child = spawn(hostBinary, ['--quiet', '--panel', library, '--facility', facility, ...folder,
    '--serve', '127.0.0.1:0', ...extra],
    { cwd: root, stdio: ['ignore', 'pipe', 'pipe'] });
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
    child.kill('SIGTERM');
  });
  return { url, stop, output: () => output };
}

// Runs a scenario file under zarn_host; its exit status and output.
function replay(scenarioPath) {
  const run = spawnSync(hostBinary, ['--quiet', '--panel', k7Library, '--facility', k7Facility,
    '--scenario', scenarioPath], { cwd: root, encoding: 'utf8' });
  return { status: run.status, output: run.stdout + run.stderr };
}

// Runs zarn_host with these arguments after the K7 panel and facility.
function runHost(args) {
  const run = spawnSync(hostBinary, ['--quiet', '--panel', k7Library, '--facility', k7Facility, ...args],
    { cwd: root, encoding: 'utf8', timeout: 20000 });
  return { status: run.status, stdout: run.stdout, stderr: run.stderr };
}

// The panel that crashes on request (tests/host/crash_panel/), and its variant that crashes when created.
const crashPanel = path.join(build, 'tests/host/crash_panel/libhost_test_crash_panel.so');
const crashOnCreate = path.join(build, 'tests/host/crash_panel/libhost_test_crash_on_create.so');
const crashPanelDir = path.join(root, 'tests/host/crash_panel');

module.exports = { startHost, replay, runHost, root, hostBinary, k7Facility, crashPanel, crashOnCreate, crashPanelDir };
