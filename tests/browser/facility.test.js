// The facility view beyond the K7 defaults: routers a bridge serves as levels
// of one matrix side by side, a tab that sees a change out of turn fetching
// the whole state again instead of drifting, and the rows in use.
const { test, expect } = require('@playwright/test');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const { startHost, printHostErrorsOnFailure, root } = require('./host');

test.afterEach(async ({}, testInfo) => printHostErrorsOnFailure(testInfo));

let host;
test.afterEach(async () => { expect(await host.stop()).toBe(0); });

const freePort = () => new Promise((resolve) => {
  const server = net.createServer().listen(0, '127.0.0.1', () => {
    const { port } = server.address();
    server.close(() => resolve(port));
  });
});

test('routers served as levels of one matrix stand side by side under the matrix', async ({ page }, testInfo) => {
  // Each port the file names (its default ports, written there alone) moves
  // to a free one, the same port to the same one.
  let bridged = fs.readFileSync(path.join(root, 'host/facilities/k7/facility-bridged.json'), 'utf8');
  const ports = [...new Set([...bridged.matchAll(/127\.0\.0\.1:(\d+)/g)].map((m) => m[1]))];
  expect(ports.length).toBe(3);
  for (const port of ports) bridged = bridged.replaceAll(`127.0.0.1:${port}"`, `127.0.0.1:${await freePort()}"`);
  const facility = testInfo.outputPath('facility-bridged.json');
  fs.mkdirSync(path.dirname(facility), { recursive: true });
  fs.writeFileSync(facility, bridged);
  host = startHost([], undefined, facility);
  await page.goto(await host.url);
  const group = page.locator('.router-group');
  await expect(group.locator('.group-title')).toHaveText('matrix 0: levels 0 K7 SDI Router, 1 K7 Audio Router');
  await expect(group.locator('.router')).toHaveCount(2);
  const [video, audio] = await Promise.all(['K7 SDI Router', 'K7 Audio Router']
    .map((name) => group.locator(`[data-router="${name}"]`).boundingBox()));
  expect(Math.abs(video.y - audio.y)).toBeLessThan(2);
  expect(audio.x).toBeGreaterThan(video.x + video.width - 1);
});

test('a tab that sees a change out of turn asks for the whole state and shows the host\'s', async ({ page }) => {
  host = startHost();
  const url = await host.url;
  await page.goto(url);
  await expect(page.locator('body[data-ready="true"]')).toBeVisible();
  const follower = await page.context().newPage();
  await follower.goto(url);
  await expect(follower.locator('body[data-ready="true"]')).toBeVisible();
  const leader = await page.evaluate(() => document.documentElement.dataset.streamLeader === 'true');
  expect(leader).toBe(true);

  // A change of this host numbered far ahead, as if those before it were lost on the way.
  const refetched = follower.waitForRequest((r) => r.url().endsWith('/api/state?view=page'));
  await page.evaluate(async () => {
    const { epoch } = await (await fetch('/api/state?view=page')).json();
    new BroadcastChannel('zarn-events').postMessage({
      type: 'changes', data: JSON.stringify({ seq: 1e9, epoch, set: { library: 'drifted.so' } }) });
  });
  await refetched;
  // The route after it still shows in both tabs; the stray change never does.
  await page.locator('[data-router="K7 SDI Router"] tr[data-destination="K7 Mon 5"]')
    .getByRole('button', { name: 'Lock' }).click();
  for (const p of [page, follower]) {
    await expect(p.locator('[data-router="K7 SDI Router"] tr[data-destination="K7 Mon 5"]')).toHaveClass(/locked/);
    await expect(p.locator('#library')).toHaveText('libk7_mon.so');
  }
});

test('the rows in use: an unnamed destination routed from outside joins them; every destination shows all', async ({ page, request }) => {
  host = startHost();
  const url = await host.url;
  await page.goto(url);
  const card = page.locator('[data-router="K7 SDI Router"]');
  await expect(card.locator('.row-count')).toHaveText('5 of 64');
  const answer = await request.post(new URL('/api/step', url).href, { data: { step: 'route 101 7 12' } });
  expect(answer.status()).toBe(200);
  await expect(card.locator('tr[data-destination="7"] .source-text')).toHaveText('12 Cam 2');
  await expect(card.locator('.row-count')).toHaveText('6 of 64');
  await card.getByRole('checkbox', { name: 'every destination' }).check();
  await expect(card.locator('.row-count')).toHaveText('64 of 64');
  await expect(card.locator('tr[data-destination="1"] .source-text')).toHaveText('—');
  await card.getByRole('searchbox').fill('mon 3');
  await expect(card.locator('tbody tr:not(.pad)')).toHaveCount(1);
  await expect(card.locator('tr[data-destination="K7 Mon 3"]')).toBeVisible();
});
