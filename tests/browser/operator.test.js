// What the operator sees beyond the happy path: refusals and offline devices
// on the panel, a pending take, eight tabs at once, the keyboard, a small
// window, and an accessibility check.
const { test, expect } = require('@playwright/test');
const http = require('http');
const AxeBuilder = require('@axe-core/playwright').default;
const { startHost, printHostErrorsOnFailure } = require('./host');

test.afterEach(async ({}, testInfo) => printHostErrorsOnFailure(testInfo));

let host;
test.beforeEach(async ({ page }) => {
  host = startHost();
  await page.goto(await host.url);
  await expect(page.locator('body[data-ready="true"]')).toBeVisible();
});
test.afterEach(async () => {
  expect(await host.stop()).toBe(0);
});

const control = (page, id) => page.locator(`#panel [data-control="${id}"]`);
const source = (page, name) => control(page, 'Sources').getByRole('option', { name });
const routerRow = (page, router, dest) => page.locator(`[data-router="${router}"] tr[data-destination="${dest}"]`);

test('a take refused on one level marks the monitor row and the source, until the next action', async ({ page }) => {
  await expect(page.locator('#hint')).toHaveText('Pick a monitor, then a source.');
  await routerRow(page, 'K7 SDI Router', 'K7 Mon 2').getByRole('button', { name: 'Lock' }).click();
  await expect(routerRow(page, 'K7 SDI Router', 'K7 Mon 2').locator('.lock-mark')).toHaveText('LOCKED');
  await expect(routerRow(page, 'K7 SDI Router', 'K7 Mon 2').locator('.lock-owner')).toHaveText(/^by page session [A-Za-z0-9-]{1,8}$/);
  await control(page, 'Mon_2').getByRole('button').click();
  await source(page, 'VT 1').click();
  await expect(page.locator('#panel-alert')).toHaveText(
    'Refused (pick Sources "VT 1"): K7 SDI Router → K7 Mon 2: destination locked');
  // The audio level was routed: the take is partly made, not taken.
  await expect(source(page, 'VT 1')).toHaveAttribute('data-take', 'partial');
  await expect(source(page, 'VT 1')).toContainText('partly taken');
  for (const id of ['ID_2', 'Mon_2', 'Vidtally_2', 'Sources']) {
    await expect(control(page, id)).toHaveAttribute('data-fault', 'true');
  }
  await expect(control(page, 'Mon_1')).not.toHaveAttribute('data-fault', 'true');
  await expect(page.locator('#panel-card')).toHaveScreenshot('refused-take.png', { maxDiffPixelRatio: 0.01 });

  // Both levels refused: the audio router offline too.
  await page.locator('[data-device="K7 Audio Router"]').getByRole('button', { name: 'Take offline' }).click();
  await source(page, 'Cam 2').click();
  await expect(page.locator('#panel-alert')).toContainText('K7 Audio Router → K7 Mon 2 Spk: device 102 is offline');
  await expect(source(page, 'Cam 2')).toHaveAttribute('data-take', 'refused');
  await expect(control(page, 'Audtally_1')).toHaveAttribute('data-offline', 'K7 Audio Router');
  await expect(control(page, 'Audtally_1').locator('.offline-badge')).toHaveText('offline: K7 Audio Router');
  await expect(control(page, 'Vidtally_1')).not.toHaveAttribute('data-offline', /.*/);

  // The next action clears the marks.
  await control(page, 'Mon_3').getByRole('button').click();
  await expect(page.locator('#panel-alert')).toBeHidden();
  await expect(page.locator('#panel [data-fault]')).toHaveCount(0);
});

test('a route refused to a step from outside shows at its row, answered 409, never on the panel', async ({ page }) => {
  await control(page, 'Mon_2').getByRole('button').click();
  const row = routerRow(page, 'K7 SDI Router', 'K7 Mon 2');
  await row.getByRole('button', { name: 'Lock' }).click();
  await expect(row.locator('.lock-mark')).toHaveText('LOCKED');
  const answer = await page.evaluate(async () => {
    const response = await fetch('/api/step', {
      method: 'POST', headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ step: 'route "K7 SDI Router" "K7 Mon 2" "VT 1"' }),
    });
    return { status: response.status, body: await response.json() };
  });
  expect(answer.status).toBe(409);
  expect(answer.body.ok).toBe(false);
  expect(answer.body.refusal).toMatchObject({ deviceName: 'K7 SDI Router', destinationName: 'K7 Mon 2',
    reason: 'destination locked', by: 'API', outside: true });
  expect(answer.body.refusal.source).toBeGreaterThan(0);
  await expect(row.locator('.row-refusal')).toHaveText(
    `REFUSED: destination locked (source ${answer.body.refusal.source}, by API)`);
  await expect(page.locator('#panel-alert')).toBeHidden();
  await expect(page.locator('#panel [data-fault]')).toHaveCount(0);
  await expect(source(page, 'VT 1')).not.toHaveAttribute('data-take', /refused|partial/);
  // The trace names where and who.
  await expect(page.locator('#trace')).toContainText('outside route refused: router 101, destination');
  // The next action clears it from the row.
  await control(page, 'Mon_3').getByRole('button').click();
  await expect(row.locator('.row-refusal')).toHaveText('');
});

test('a row says who made its route: this page by its session, the API, the panel @wine', async ({ page }) => {
  const row = routerRow(page, 'K7 SDI Router', 'K7 Mon 3');
  await row.getByRole('button', { name: /route a source/ }).click();
  await page.keyboard.type('Cam 2');
  await page.keyboard.press('Enter');
  await expect(row.locator('.routed-by')).toHaveText(/^by page session [A-Za-z0-9-]{1,8}$/);
  expect(await page.evaluate(async () => (await fetch('/api/step', {
    method: 'POST', headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ step: 'route "K7 SDI Router" "K7 Mon 3" "VT 1"' }),
  })).status)).toBe(200);
  await expect(row.locator('.routed-by')).toHaveText('by API');
  await control(page, 'Mon_3').getByRole('button').click();
  await source(page, 'Graphics').click();
  await expect(row.locator('.routed-by')).toHaveText('by panel');
});

test('with the virtual clock a take stays pending until its timer runs', async ({ page }) => {
  await expect(page.locator('#clock-note')).toContainText('timers (a take\'s) run only when you advance it');
  await control(page, 'Mon_3').getByRole('button').click();
  await source(page, 'Graphics').click();
  await expect(control(page, 'Vidtally_3').locator('.value')).toHaveText('Graphics');
  await expect(source(page, 'Graphics')).toHaveAttribute('data-take', 'pending');
  await expect(source(page, 'Graphics')).toContainText('pending');
  await page.getByRole('button', { name: '+160 ms' }).click();
  await expect(control(page, 'Sources').locator('[data-take]')).toHaveCount(0);
});

test('eight tabs share one stream: a click in the eighth answers and all eight show it', async ({ page }) => {
  const url = await host.url;
  const pages = [page];
  for (let i = 1; i < 8; i++) {
    const p = await page.context().newPage();
    await p.goto(url);
    await expect(p.locator('body[data-ready="true"]')).toBeVisible();
    pages.push(p);
  }
  await control(pages[7], 'Mon_5').getByRole('button').click({ timeout: 5000 });
  for (const p of pages) await expect(control(p, 'ID_5')).toHaveAttribute('data-colour', 'red', { timeout: 5000 });
  // The leader closes: another tab takes the stream over.
  const leader = await Promise.all(pages.map((p) => p.evaluate(() => document.documentElement.dataset.streamLeader === 'true')));
  expect(leader.filter(Boolean)).toHaveLength(1);
  await pages[leader.indexOf(true)].close();
  const rest = pages.filter((_, i) => i !== leader.indexOf(true));
  await control(rest[0], 'Mon_1').getByRole('button').click();
  for (const p of rest) await expect(control(p, 'ID_1')).toHaveAttribute('data-colour', 'red', { timeout: 5000 });
});

test('a host with every stream taken says so on the page', async ({ page }) => {
  const url = new URL(await host.url);
  const held = [];
  for (let i = 0; i < 32; i++) {
    held.push(await new Promise((resolve) => {
      const req = http.get({ host: url.hostname, port: url.port, path: '/api/events' }, (res) => resolve({ req, res }));
    }));
  }
  const other = await page.context().browser().newContext();
  const second = await other.newPage();
  await second.goto(url.href);
  await expect(second.locator('#stream-note')).toContainText('too many pages are watching');
  await other.close();
  for (const { req } of held) req.destroy();
});

test('keyboard: every control operable, focus kept through updates; the source picker keeps focus in real time', async ({ page }) => {
  await control(page, 'Mon_4').getByRole('button').focus();
  await page.keyboard.press('Enter');
  await expect(control(page, 'ID_4')).toHaveAttribute('data-colour', 'red');
  await expect(control(page, 'Mon_4').getByRole('button')).toBeFocused();
  await source(page, 'Studio B').focus();
  await page.keyboard.press('Enter');
  await expect(control(page, 'Audtally_4').locator('.value')).toHaveText('Studio B PGM');
  await expect(source(page, 'Studio B')).toBeFocused();
  await page.keyboard.press('ArrowRight');
  await expect(source(page, 'Line In 1')).toBeFocused();

  await page.locator('#real-time').check();
  const route = routerRow(page, 'K7 SDI Router', 'K7 Mon 3').getByRole('button', { name: /^route a source/ });
  await route.focus();
  await page.keyboard.press('Enter');
  const find = page.getByRole('combobox', { name: 'find a source to route to 42 K7 Mon 3' });
  await expect(find).toBeFocused();
  // The current source is marked; the arrows move through the matches.
  await find.fill('VT');
  const picker = page.locator('[data-router="K7 SDI Router"] .picker');
  await expect(picker.getByRole('option', { name: /^21 VT 1/ })).toHaveClass(/current/);
  await page.waitForTimeout(1200);
  await expect(find).toBeFocused();
  await page.keyboard.press('ArrowDown');
  await expect(picker.getByRole('option', { name: '22 VT 2' })).toHaveAttribute('aria-selected', 'true');
  await page.keyboard.press('Enter');
  await expect(routerRow(page, 'K7 SDI Router', 'K7 Mon 3').locator('.source-text')).toHaveText('22 VT 2');
  await expect(route).toBeFocused();
  // Escape closes the picker without a route.
  await page.keyboard.press('Enter');
  await page.keyboard.press('Escape');
  await expect(picker).toBeHidden();
  await expect(route).toBeFocused();
});

test('at 800×600 the page fits the window; the favicon is served; no serious accessibility findings', async ({ page, request }) => {
  await page.setViewportSize({ width: 800, height: 600 });
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
  expect(overflow).toBeLessThanOrEqual(0);
  const icon = await request.get(new URL('/favicon.ico', await host.url).href);
  expect(icon.status()).toBe(200);
  expect(await page.locator('#panel .value').first().evaluate((e) => getComputedStyle(e).textOverflow)).toBe('ellipsis');
  // Marks are text and drawings, never characters that need an emoji font.
  await routerRow(page, 'K7 SDI Router', 'K7 Mon 1').getByRole('button', { name: 'Lock' }).click();
  await expect(routerRow(page, 'K7 SDI Router', 'K7 Mon 1')).toHaveClass(/locked/);
  expect(await page.evaluate(() => /\p{Extended_Pictographic}/u.test(document.body.innerText))).toBe(false);

  const results = await new AxeBuilder({ page }).analyze();
  const bad = results.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
    .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).slice(0, 3).join(', ')}`);
  expect(bad).toEqual([]);
});

test('accessibility by test: lock buttons named by their destination, the virtual table\'s row count and places, narrowing said politely', async ({ page }) => {
  const card = page.locator('[data-router="K7 SDI Router"]');
  const row = routerRow(page, 'K7 SDI Router', 'K7 Mon 2');
  await expect(row.getByRole('button', { name: 'Lock K7 SDI Router 41 K7 Mon 2', exact: true })).toBeVisible();
  await row.getByRole('button', { name: 'Lock K7 SDI Router 41 K7 Mon 2', exact: true }).click();
  await expect(row.getByRole('button', { name: 'Unlock K7 SDI Router 41 K7 Mon 2', exact: true })).toBeVisible();

  await card.getByRole('checkbox').check();
  const count = card.locator('.row-count');
  const said = page.locator('#announcer');
  await expect(said).toHaveAttribute('aria-live', 'polite');
  await expect(count).toHaveText(/^(\d+) of \1$/);
  const total = Number((await count.textContent()).split(' ')[0]);
  await expect(said).toHaveText(`K7 SDI Router: ${total} of ${total} destinations`);
  expect(total).toBeGreaterThan(40);
  const table = card.locator('.router-rows table');
  await expect(table).toHaveAttribute('aria-rowcount', String(total + 1));
  // Rows in view carry their place among all of them, the heading row 1.
  await expect(card.locator('tbody tr[data-destination]').first()).toHaveAttribute('aria-rowindex', '2');
  await card.locator('.router-rows').evaluate((el) => { el.scrollTop = 28 * 30; });
  await expect(card.locator('tr[aria-rowindex="32"]')).toHaveCount(1);
  await expect(card.locator('tr[aria-rowindex="2"]')).toHaveCount(0);

  await card.locator('.router-filter').fill('Mon 2');
  await expect(count).toHaveText(new RegExp(`^[1-9]\\d* of ${total}$`));
  const narrowed = Number((await count.textContent()).split(' ')[0]);
  await expect(said).toHaveText(`K7 SDI Router: ${narrowed} of ${total} destinations`);
  await expect(table).toHaveAttribute('aria-rowcount', String(narrowed + 1));
});
