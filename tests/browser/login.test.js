// The login of a served page: the printed address's token becomes a session
// cookie and leaves the address bar, a wrong token is refused, the password
// logs in on the login page, a logout ends the session, and another origin's
// page gets nowhere with the cookie. The login is asked for here on loopback
// because a password file is given. The audit trail names the login each
// change came by.
const { test, expect } = require('@playwright/test');
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { startHost, printHostErrorsOnFailure, hostBinary } = require('./host');

test.afterEach(async ({}, testInfo) => printHostErrorsOnFailure(testInfo));

let host;
let printed;
let passwordFile;
let auditFile;
test.beforeEach(async () => {
  passwordFile = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'zarn-login-')), 'password');
  const made = spawnSync(hostBinary, ['password', passwordFile], { input: 'open sesame\n', encoding: 'utf8' });
  expect(made.status, made.stderr).toBe(0);
  auditFile = path.join(path.dirname(passwordFile), 'audit.jsonl');
  host = startHost(['--password-file', passwordFile, '--audit', auditFile]);
  printed = new URL(await host.url);
});
test.afterEach(async () => {
  expect(await host.stop()).toBe(0);
  fs.rmSync(path.dirname(passwordFile), { recursive: true, force: true });
});

test('the printed address logs in, leaves the address bar and the page works until logout', async ({ page, context }) => {
  const token = printed.searchParams.get('token');
  expect(token).toMatch(/^[0-9a-f]{64}$/);
  await page.goto(printed.href);
  expect(page.url()).toBe(`${printed.origin}/`);
  await expect(page.locator('#status')).toHaveText('live');
  const cookies = await context.cookies();
  const session = cookies.find((c) => c.name === 'zarn_session');
  expect(session.httpOnly).toBe(true);
  expect(session.sameSite).toBe('Strict');
  expect(await page.evaluate(() => document.cookie)).toBe('');  // out of the page's script's reach

  await page.locator('#logout').click();
  await expect(page).toHaveURL(`${printed.origin}/login.html`);
  const after = await page.evaluate(async () => (await fetch('/api/state')).status);
  expect(after).toBe(401);
  // The old cookie is dead too.
  const replayed = await fetch(`${printed.origin}/api/state`, {
    headers: { Cookie: `zarn_session=${session.value}` },
  });
  expect(replayed.status).toBe(401);
});

test('a wrong token is refused and the page sends to the login', async ({ page }) => {
  const wrong = await fetch(`${printed.origin}/?token=${'0'.repeat(64)}`, { redirect: 'manual' });
  expect(wrong.status).toBe(401);
  const bare = await fetch(`${printed.origin}/api/state`);
  expect(bare.status).toBe(401);
  expect(bare.headers.get('www-authenticate')).toBe('Bearer');
  const withBearer = await fetch(`${printed.origin}/api/state`, {
    headers: { Authorization: `Bearer ${printed.searchParams.get('token')}` },
  });
  expect(withBearer.status).toBe(200);
  await page.goto(printed.origin);
  await expect(page).toHaveURL(`${printed.origin}/login.html`);
});

test('the password logs in on the login page; a wrong one is told', async ({ page }) => {
  await page.goto(`${printed.origin}/login.html`);
  await page.locator('#secret').fill('open sesamE');
  await page.locator('#login').click();
  await expect(page.locator('#login-message')).toContainText('wrong token or password');
  await page.locator('#secret').fill('open sesame');
  await page.locator('#login').click();
  await expect(page).toHaveURL(`${printed.origin}/`);
  await expect(page.locator('#status')).toHaveText('live');

  // A route made by this session is audited with the login it came by.
  const routed = await page.evaluate(async () => (await fetch('/api/step', {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ step: 'route 101 40 3', session: 's9' }),
  })).status);
  expect(routed).toBe(200);
  const lines = fs.readFileSync(auditFile, 'utf8').trim().split('\n').map((line) => JSON.parse(line));
  const byPage = lines.filter((line) => line.origin.kind === 'page' && line.origin.session === 's9');
  expect(byPage).toHaveLength(1);
  expect(byPage[0].origin.login).toMatch(/^password session \d+ from 127\.0\.0\.1$/);
});

test('a stolen cookie posted from another origin is refused', async ({ page, context }) => {
  await page.goto(printed.href);
  const session = (await context.cookies()).find((c) => c.name === 'zarn_session');
  const res = await fetch(`${printed.origin}/api/step`, {
    method: 'POST',
    headers: { Cookie: `zarn_session=${session.value}`, Origin: 'http://elsewhere.example',
      'Content-Type': 'application/json' },
    body: JSON.stringify({ step: 'load' }),
  });
  expect(res.status).toBe(403);
});
