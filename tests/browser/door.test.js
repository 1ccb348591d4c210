// The door: Host values of other names, framing, posts from other origins,
// remote addresses, and the API's edges, against a live zarn_host.
const { test, expect } = require('@playwright/test');
const http = require('http');
const { startHost, printHostErrorsOnFailure, runHost } = require('./host');

test.afterEach(async ({}, testInfo) => printHostErrorsOnFailure(testInfo));

let host;
let base;
test.beforeEach(async () => {
  host = startHost();
  base = new URL(await host.url);
});
test.afterEach(async () => {
  expect(await host.stop()).toBe(0);
});

// One raw request (no Origin unless given); status, headers, body and time taken.
function ask(method, path, { headers = {}, body } = {}) {
  const started = Date.now();
  return new Promise((resolve, reject) => {
    const req = http.request({ host: base.hostname, port: base.port, method, path, headers }, (res) => {
      let text = '';
      res.on('data', (d) => { text += d; });
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: text, ms: Date.now() - started }));
    });
    req.on('error', reject);
    req.end(body);
  });
}
const json = (body) => ({ 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(body) });

test('only the served address is answered; every answer carries the policy headers', async () => {
  const port = base.port;
  const cases = [
    [`127.0.0.1:${port}`, 200], [`localhost:${port}`, 200], [`[::1]:${port}`, 200], [`LOCALHOST:${port}`, 200],
    [`rebound.example:${port}`, 421], ['127.0.0.1', 421], [`127.0.0.1:${Number(port) + 1}`, 421],
  ];
  for (const [name, status] of cases) {
    const res = await ask('GET', '/api/state', { headers: { Host: name } });
    expect(res.status, name).toBe(status);
    expect(res.headers['content-security-policy'], name).toContain("frame-ancestors 'none'");
    expect(res.headers['content-security-policy'], name).toContain("script-src 'self'");
    expect(res.headers['x-content-type-options'], name).toBe('nosniff');
  }
  const page404 = await ask('GET', '/no/such/page', { headers: { Host: `127.0.0.1:${port}` } });
  expect(page404.headers['x-content-type-options']).toBe('nosniff');
  // The state names files, never where they are on this machine.
  const state = await ask('GET', '/api/state', { headers: { Host: `127.0.0.1:${port}` } });
  expect(JSON.parse(state.body).panels[0].file).toBe('k7_mon.zarn_ui');
  expect(state.body).not.toContain(require('./host').root);
});

test('a post from another origin is refused, whatever its content type', async ({ page }) => {
  const lock = JSON.stringify({ step: 'lock 101 41' });
  for (const type of ['text/plain', 'application/x-www-form-urlencoded', 'multipart/form-data; boundary=x',
    'application/json']) {
    const res = await ask('POST', '/api/step', { headers: { Host: base.host, Origin: 'http://rebound.example',
      'Content-Type': type, 'Content-Length': lock.length }, body: lock });
    expect(res.status, type).toBe(403);
    expect(JSON.parse(res.body).error).toBe('a page from another origin cannot operate the panel');
  }
  // The same from a browser page of another origin (localhost is not 127.0.0.1 to the browser).
  await page.goto(`http://localhost:${base.port}/`);
  await page.evaluate(async ({ target, body }) => {
    for (const type of ['text/plain', 'application/x-www-form-urlencoded', 'multipart/form-data']) {
      await fetch(target, { method: 'POST', mode: 'no-cors', headers: { 'Content-Type': type }, body }).catch(() => {});
    }
  }, { target: `http://127.0.0.1:${base.port}/api/step`, body: lock });
  const state = JSON.parse((await ask('GET', '/api/state', { headers: { Host: base.host } })).body);
  const mon2 = state.routers[0].destinations.find((d) => d.number === 41);
  expect(mon2.locked).toBe(false);
  // Its own origin may.
  const own = await ask('POST', '/api/step', { headers: { Host: base.host, Origin: `http://${base.host}`, ...json(lock) },
    body: lock });
  expect(own.status).toBe(200);
});

test('the page refuses to be framed', async ({ page }) => {
  await page.setContent(`<iframe src="${base.href}" width="400" height="300"></iframe>`);
  await page.waitForTimeout(1000);
  const frame = page.frames().find((f) => f !== page.mainFrame());
  const loaded = frame ? await frame.evaluate(() => !!document.getElementById('panel')).catch(() => false) : false;
  expect(loaded).toBe(false);
});

test('API edges: unknown pins, media types without case, bodies short or missing, the session\'s sources', async () => {
  const pins = JSON.stringify({ pins: [{ panel: '1', control: 'Mon_1' }, { panel: '1', control: 'NoSuch' }] });
  const unknown = await ask('POST', '/api/session', { headers: json(pins), body: pins });
  expect(unknown.status).toBe(422);
  expect(JSON.parse(unknown.body).error).toBe('no control "NoSuch" on panel "1" to pin');

  const step = JSON.stringify({ step: 'press Mon_2' });
  for (const type of ['APPLICATION/JSON', 'Application/Json; charset=UTF-8']) {
    const res = await ask('POST', '/api/step', { headers: { 'Content-Type': type, 'Content-Length': step.length }, body: step });
    expect(res.status, type).toBe(200);
  }
  // A post that says nothing of its length: answered at once, not after the read timeout.
  const started = Date.now();
  const raw = await new Promise((resolve) => {
    const socket = require('net').connect(Number(base.port), base.hostname, () => socket.write(
      `POST /api/step HTTP/1.1\r\nHost: ${base.host}\r\nContent-Type: application/json\r\n\r\n`));
    let text = '';
    socket.on('data', (d) => { text += d; if (text.includes('}')) { socket.destroy(); resolve(text); } });
    socket.on('close', () => resolve(text));
  });
  expect(raw).toMatch(/^HTTP\/1\.1 411 /);
  expect(raw).toContain('send the body with its Content-Length');
  expect(Date.now() - started).toBeLessThan(1500);
  const cases = [
    [{ 'Content-Type': 'application/json', 'Content-Length': 0 }, '', 400],
    [{ 'Content-Type': 'application/json', 'Content-Length': 1 }, '{', 400],
  ];
  for (const [headers, body, status] of cases) {
    const res = await ask('POST', '/api/step', { headers, body });
    expect(res.status, JSON.stringify(headers)).toBe(status);
    expect(res.ms, JSON.stringify(headers)).toBeLessThan(1500);
    expect(JSON.parse(res.body).error).toBeTruthy();
  }
  const session = await ask('POST', '/api/session', { headers: json('{}'), body: '{}' });
  expect(session.body).toMatch(/^# A session recorded in the browser[^\n]*\n#[^\n]*\n# library: \/\S+libk7_mon\.so\n# facility: \/\S+facility\.json\n/);
});

test('--serve on an address other machines reach needs --allow-remote', () => {
  const refused = runHost(['--serve', '0.0.0.0:0']);
  expect(refused.status).toBe(2);
  expect(refused.stderr.trim().split('\n')).toEqual([
    'zarn_host: --serve 0.0.0.0 would let anyone who can reach this machine operate the panel; add --allow-remote to mean it']);
});

test('a port in use is reported with its address once', async () => {
  const busy = http.createServer();
  await new Promise((resolve) => busy.listen(0, '127.0.0.1', resolve));
  const { port } = busy.address();
  try {
    const refused = runHost(['--serve', `127.0.0.1:${port}`]);
    expect(refused.status).toBe(2);
    expect(refused.stderr.trim().split('\n')).toEqual([`zarn_host: cannot listen on 127.0.0.1:${port}`]);
  } finally {
    busy.close();
  }
});
