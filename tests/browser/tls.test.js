// --serve over TLS: HTTPS with the given certificate, the login's cookie
// marked Secure, and plain HTTP on the same port answered by no page.
const { test, expect } = require('@playwright/test');
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const http = require('http');
const https = require('https');
const os = require('os');
const path = require('path');
const { hostBinary, root, k7Facility } = require('./host');

const build = path.resolve(process.env.ZARN_BUILD_DIR || path.join(root, 'build/ci'));
const k7Library = path.join(build, 'panels/K7/k7_mon/libk7_mon.so');

function get(module, url, headers = {}) {
  return new Promise((resolve) => {
    const req = module.get(url, { headers, rejectUnauthorized: false, timeout: 5000 }, (res) => {
      let body = '';
      res.on('data', (d) => { body += d; });
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body }));
    });
    req.on('timeout', () => req.destroy(new Error('timeout')));
    req.on('error', (error) => resolve({ error }));
  });
}

test('HTTPS with the certificate; plain HTTP on the TLS port gets no page', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zarn-tls-'));
  const key = path.join(dir, 'key.pem');
  const cert = path.join(dir, 'cert.pem');
  const made = spawnSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert,
    '-days', '2', '-subj', '/CN=localhost'], { encoding: 'utf8' });
  test.skip(made.status !== 0, 'no openssl command to make a certificate');
  const child = spawn(hostBinary, ['--quiet', '--panel', k7Library, '--facility', k7Facility, '--serve', '127.0.0.1:0',
    '--tls-cert', cert, '--tls-key', key], { cwd: root, stdio: ['ignore', 'pipe', 'pipe'] });
  try {
    const address = await new Promise((resolve, reject) => {
      let output = '';
      child.stdout.on('data', (d) => {
        output += d;
        const found = output.match(/serving the panel at (https:\/\/\S+)/);
        if (found) resolve(found[1]);
      });
      child.on('exit', (code) => reject(new Error(`zarn_host ended (${code})`)));
    });
    const url = new URL(address);
    const state = await get(https, `${url.origin}/api/state`);
    expect(state.status).toBe(200);
    const plain = await get(http, `http://127.0.0.1:${url.port}/api/state`);
    expect(plain.status).toBeUndefined();
    expect(plain.error).toBeTruthy();
  } finally {
    child.kill('SIGTERM');
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('a TLS key that cannot be read is refused at start', () => {
  const run = spawnSync(hostBinary, ['--quiet', '--panel', k7Library, '--facility', k7Facility, '--serve', '127.0.0.1:0',
    '--tls-cert', '/nonexistent/cert.pem', '--tls-key', '/nonexistent/key.pem'], { encoding: 'utf8', timeout: 20000 });
  expect(run.status).toBe(2);
  expect(run.stderr).toContain('cannot read a PEM certificate');
});

test('beyond loopback without TLS the start is refused unless --insecure', () => {
  const run = spawnSync(hostBinary, ['--quiet', '--panel', k7Library, '--facility', k7Facility, '--serve', '0.0.0.0:0',
    '--allow-remote'], { encoding: 'utf8', timeout: 20000 });
  expect(run.status).toBe(2);
  expect(run.stderr).toContain('add --insecure to mean it');
});
