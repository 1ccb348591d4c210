// The page as a control-room tool, by keyboard and screen reader: a
// destination's history from its row, route results said politely, one
// search across the routers, the skip link and the panel's lists, tabs in
// the background, and the stopped clock explained.
const { test, expect } = require('@playwright/test');
const AxeBuilder = require('@axe-core/playwright').default;
const fs = require('fs');
const os = require('os');
const path = require('path');
const { startHost, printHostErrorsOnFailure, k7Facility } = require('./host');

test.afterEach(async ({}, testInfo) => printHostErrorsOnFailure(testInfo));

let host;
let facility;  // another facility than K7's, for the tests that set it
test.beforeEach(async ({ page }) => {
  host = startHost([], undefined, facility);
  await page.goto(await host.url);
  await expect(page.locator('body[data-ready="true"]')).toBeVisible();
});
test.afterEach(async () => {
  expect(await host.stop()).toBe(0);
});

const routerRow = (page, router, dest) => page.locator(`[data-router="${router}"] tr[data-destination="${dest}"]`);
const apiStep = (page, line) => page.evaluate(async (text) => (await fetch('/api/step', {
  method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ step: text }),
})).status, line);

test('a destination\'s history opens from its row by keyboard, follows it, and closes on Escape', async ({ page }) => {
  expect(await apiStep(page, 'route "K7 SDI Router" "K7 Mon 3" "VT 2"')).toBe(200);
  expect(await apiStep(page, 'wait 250')).toBe(200);
  const row = routerRow(page, 'K7 SDI Router', 'K7 Mon 3');
  await row.getByRole('button', { name: 'Lock K7 SDI Router 42 K7 Mon 3' }).click();
  await expect(row.locator('.lock-mark')).toHaveText('LOCKED');

  const opener = row.getByRole('button', { name: 'history of K7 SDI Router 42 K7 Mon 3' });
  await expect(opener).toHaveAttribute('aria-expanded', 'false');
  await opener.focus();
  await page.keyboard.press('Enter');
  const history = page.getByRole('region', { name: 'History of K7 SDI Router 42 K7 Mon 3' });
  await expect(history).toBeFocused();
  await expect(opener).toHaveAttribute('aria-expanded', 'true');
  await expect(history).toHaveAttribute('id', await opener.getAttribute('aria-controls'));
  // Newest first: the page's lock, then the API's route at 0 ms.
  const lines = history.locator('tbody tr');
  await expect(lines).toHaveCount(2);
  await expect(lines.nth(0)).toHaveText(/^250 mslockpage session [A-Za-z0-9-]{1,8}$/);
  await expect(lines.nth(1)).toHaveText('0 msroute from 22 VT 2API');
  // It follows the destination while open.
  await row.getByRole('button', { name: 'Unlock K7 SDI Router 42 K7 Mon 3' }).click();
  await expect(lines).toHaveCount(3);
  await expect(lines.nth(0)).toHaveText(/^250 msunlockpage session/);

  await history.getByRole('button', { name: 'Close' }).focus();
  await page.keyboard.press('Escape');
  await expect(history).toBeHidden();
  await expect(opener).toBeFocused();
  await expect(opener).toHaveAttribute('aria-expanded', 'false');
  // A destination never changed says so.
  await routerRow(page, 'K7 Audio Router', 'K7 Mon 1 Spk').getByRole('button', { name: /^history of/ }).click();
  await expect(page.getByRole('region', { name: 'History of K7 Audio Router 20 K7 Mon 1 Spk' }))
    .toContainText('no change since the host started');
});

test('a route and a lock made from the page, and a route refused, are said in the polite live region', async ({ page }) => {
  const said = page.getByRole('status').and(page.locator('#announcer'));
  await expect(said).toHaveAttribute('aria-live', 'polite');
  const row = routerRow(page, 'K7 SDI Router', 'K7 Mon 3');
  const route = row.getByRole('button', { name: /^route a source/ });
  await route.focus();
  await page.keyboard.press('Enter');
  await page.keyboard.type('VT 2');
  await page.keyboard.press('Enter');
  await expect(said).toHaveText('Routed 22 VT 2 to K7 SDI Router 42 K7 Mon 3');
  await row.getByRole('button', { name: 'Lock K7 SDI Router 42 K7 Mon 3' }).click();
  await expect(said).toHaveText('Locked K7 SDI Router 42 K7 Mon 3');
  await route.click();
  await page.keyboard.type('VT 1');
  await page.keyboard.press('Enter');
  await expect(said).toHaveText('Route refused: 21 VT 1 to K7 SDI Router 42 K7 Mon 3: destination locked');
  await expect(row.locator('.row-refusal')).toHaveText(/^REFUSED: destination locked \(source 21, by page session/);
  // The refusal is said politely and shown at its row, not raised as an alert.
  await expect(page.locator('#message')).toBeHidden();
  await expect(row.locator('.source-text')).toHaveText('22 VT 2');
});

test('"/" from anywhere but a text field finds a destination on any router and jumps to its row', async ({ page }) => {
  const find = page.getByRole('combobox', { name: 'find a destination or source on every router' });
  // Typed into a text field, "/" is text.
  await page.locator('#parent-text').focus();
  await page.keyboard.press('/');
  await expect(page.locator('#parent-text')).toHaveValue('/');
  await expect(page.locator('#parent-text')).toBeFocused();
  await page.locator('#panel [data-control="Mon_1"] button').focus();
  await page.keyboard.press('/');
  await expect(find).toBeFocused();
  await page.keyboard.type('mon 5');
  const options = page.locator('#find-results [role="option"]');
  await expect(options).toHaveText(['destination 44 K7 Mon 5 K7 SDI Router', 'destination 24 K7 Mon 5 Spk K7 Audio Router']);
  await expect(find).toHaveAttribute('aria-expanded', 'true');
  await expect(page.locator('#announcer')).toHaveText('2 matches');
  await page.keyboard.press('ArrowDown');
  await expect(options.nth(1)).toHaveAttribute('aria-selected', 'true');
  await expect(find).toHaveAttribute('aria-activedescendant', await options.nth(1).getAttribute('id'));
  await page.keyboard.press('Enter');
  // Row 24 of 32, past the rows in view: the table lists every destination, scrolled to it, the row focused.
  const row = routerRow(page, 'K7 Audio Router', 'K7 Mon 5 Spk');
  await expect(row).toBeFocused();
  await expect(row).toBeInViewport();
  await expect(row).toHaveAttribute('aria-rowindex', '25');
  await expect(page.locator('[data-router="K7 Audio Router"] input[type="checkbox"]')).toBeChecked();
  await expect(find).toHaveAttribute('aria-expanded', 'false');
  // A number finds sources too; exact matches first.
  await page.keyboard.press('/');
  await page.keyboard.type('12');
  await expect(options.first()).toHaveText(/^(source|destination) 12 /);
  await page.keyboard.press('Escape');
  await expect(page.locator('#find-results')).toBeHidden();
});

test('the skip link is the first tab stop and lands past the panel on the routers', async ({ page }) => {
  await page.keyboard.press('Tab');
  const skip = page.getByRole('link', { name: 'Skip to the routers' });
  await expect(skip).toBeFocused();
  await expect(skip).toBeInViewport();
  await page.keyboard.press('Enter');
  await expect(page.getByRole('region', { name: 'routers' })).toBeFocused();
  await page.keyboard.press('Tab');
  await expect(page.getByRole('searchbox', { name: 'filter the destinations of K7 SDI Router' })).toBeFocused();
});

test('a panel list is one tab stop, walked with the arrow keys, Home and End', async ({ page }) => {
  const list = page.locator('#panel [data-control="Sources"]');
  const entry = (name) => list.getByRole('option', { name, exact: true });
  await expect(list.locator('li[tabindex="0"]')).toHaveCount(1);
  await page.locator('#panel [data-control="Mon_5"] button').focus();
  // From the last button before it, one Tab into the list and one out of it.
  let stops = 0;
  for (; stops < 20; stops++) {
    await page.keyboard.press('Tab');
    if (await entry('Cam 1').evaluate((el) => el === document.activeElement)) break;
  }
  expect(stops).toBeLessThan(20);
  await page.keyboard.press('ArrowRight');
  await expect(entry('Cam 2')).toBeFocused();
  await page.keyboard.press('ArrowDown');
  await expect(entry('Cam 3')).toBeFocused();
  await page.keyboard.press('ArrowLeft');
  await expect(entry('Cam 2')).toBeFocused();
  await page.keyboard.press('End');
  await expect(entry('Spare')).toBeFocused();
  await page.keyboard.press('Home');
  await page.keyboard.press('ArrowRight');
  await expect(list.locator('li[tabindex="0"]')).toHaveCount(1);
  await page.keyboard.press('Tab');
  expect(await list.evaluate((el) => el.contains(document.activeElement))).toBe(false);
  await page.keyboard.press('Shift+Tab');
  await expect(entry('Cam 2')).toBeFocused();
  await page.keyboard.press('Enter');
  // Picked (the take waits for the stopped clock), the focus kept on it.
  const picked = list.locator('li[title="Cam 2"]');
  await expect(picked).toHaveAttribute('aria-selected', 'true');
  await expect(picked).toHaveAttribute('data-take', 'pending');
  await expect(picked).toBeFocused();
  await expect(picked).toHaveAttribute('tabindex', '0');
});

test('with the clock stopped the panel says so, why a take is pending, and runs it on request', async ({ page }) => {
  const notice = page.locator('#panel-card #clock-stopped');
  await expect(notice).toBeVisible();
  await expect(notice).toContainText('Clock stopped: no timer waits; a take shows PENDING until its timer runs.');
  await expect(notice).toContainText('POST /api/clock {"realTime": true}');
  await page.locator('#panel [data-control="Mon_3"] button').click();
  await page.locator('#panel [data-control="Sources"]').getByRole('option', { name: 'Graphics', exact: true }).click();
  const taken = page.locator('#panel [data-control="Sources"] li[title="Graphics"]');
  await expect(taken).toHaveAttribute('data-take', 'pending');
  await expect(notice).toContainText(/Clock stopped: [1-9]\d* timers? waits?;/);
  // Its button is the page's real-time switch: the timers run, the take is no longer pending.
  await notice.getByRole('button', { name: 'Run the clock' }).click();
  await expect(notice).toBeHidden();
  await expect(page.locator('#real-time')).toBeChecked();
  await expect(taken).not.toHaveAttribute('data-take', 'pending');
  await page.locator('#real-time').uncheck();
  await expect(notice).toBeVisible();
});

// Makes a tab hidden (or shown) as the browser would, and counts what it
// fetches and what changes in its document meanwhile.
const setHidden = (tab, hidden) => tab.evaluate((on) => {
  if (!window.watch) {
    window.watch = { fetches: [], mutations: 0 };
    const original = window.fetch;
    window.fetch = (input, ...rest) => { window.watch.fetches.push(String(input)); return original(input, ...rest); };
    new MutationObserver((list) => { window.watch.mutations += list.length; })
      .observe(document.body, { subtree: true, childList: true, characterData: true, attributes: true });
  }
  Object.defineProperty(document, 'hidden', { configurable: true, get: () => on });
  Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => (on ? 'hidden' : 'visible') });
  document.dispatchEvent(new Event('visibilitychange'));
}, hidden);

test('a tab in the background follows the changes without drawing, and shows exactly the host\'s state when shown', async ({ page }) => {
  const back = await page.context().newPage();
  await back.goto(await host.url);
  await expect(back.locator('body[data-ready="true"]')).toBeVisible();
  await expect(routerRow(back, 'K7 SDI Router', 'K7 Mon 3')).toBeVisible();
  await setHidden(back, true);

  // Changes of every kind while it is away: a take on the panel, a route and
  // a lock from outside, a lock from the front tab, the clock, trace lines.
  await page.locator('#panel [data-control="Mon_2"] button').click();
  await page.locator('#panel [data-control="Sources"]').getByRole('option', { name: 'Cam 3', exact: true }).click();
  expect(await apiStep(page, 'route "K7 SDI Router" "K7 Mon 3" "VT 2"')).toBe(200);
  expect(await apiStep(page, 'lock "K7 Audio Router" "K7 Mon 5 Spk"')).toBe(200);
  await routerRow(page, 'K7 SDI Router', 'K7 Mon 1').getByRole('button', { name: /^Lock/ }).click();
  await page.getByRole('button', { name: '+160 ms' }).click();
  await expect(routerRow(page, 'K7 SDI Router', 'K7 Mon 1').locator('.lock-mark')).toHaveText('LOCKED');
  await expect(routerRow(page, 'K7 SDI Router', 'K7 Mon 3').locator('.source-text')).toHaveText('22 VT 2');
  await expect(page.locator('#clock-now')).toHaveText('160');
  await page.waitForTimeout(1000);  // the changes have reached the hidden tab
  expect(await back.evaluate(() => window.watch.mutations)).toBe(0);
  await expect(routerRow(back, 'K7 SDI Router', 'K7 Mon 3').locator('.source-text')).toHaveText('21 VT 1');

  await setHidden(back, false);
  const parts = ['#panel', '#routers', '#summary', '#clock-now', '#devices'];
  const text = (tab) => Promise.all(parts.map((p) => tab.locator(p).innerText()));
  await expect(routerRow(back, 'K7 SDI Router', 'K7 Mon 3').locator('.source-text')).toHaveText('22 VT 2');
  await expect.poll(() => text(back)).toEqual(await text(page));
  await expect(back.locator('#trace li').last()).toHaveText(await page.locator('#trace li').last().textContent());
  const steps = (await (await page.request.get(`${await host.url}api/state?view=page`)).json()).summary.steps;
  await expect(back.locator('[data-fact="steps"] b')).toHaveText(String(steps));
  // Caught up from the changes it kept, not by reading the state or the rows again.
  expect(await back.evaluate(() => window.watch.fetches)).toEqual([]);
});

test.describe('a source named alike on two routers', () => {
  test.beforeAll(() => {
    const k7 = JSON.parse(fs.readFileSync(k7Facility, 'utf8'));
    k7.routers[1].sourceNames['4'] = 'Cam 2';  // the audio router's "Cam 2 Mic"
    facility = path.join(os.tmpdir(), `zarn-alike-${process.pid}.json`);
    fs.writeFileSync(facility, JSON.stringify(k7));
  });
  test.afterAll(() => { fs.rmSync(facility, { force: true }); facility = undefined; });

  test('"where is Cam 2 routed": its destinations on every router, each a way to its row', async ({ page }) => {
    for (const step of ['route "K7 SDI Router" "K7 Mon 4" "Cam 2"', 'route "K7 SDI Router" 7 "Cam 2"',
      'route "K7 Audio Router" "K7 Mon 4 Spk" "Cam 2"']) expect(await apiStep(page, step)).toBe(200);
    await page.locator('body').press('/');
    await page.keyboard.type('cam 2');
    const options = page.locator('#find-results [role="option"]');
    await expect(options).toHaveText(['source 12 Cam 2 K7 SDI Router', 'source 4 Cam 2 K7 Audio Router']);
    await page.keyboard.press('Enter');
    const uses = page.getByRole('region', { name: '12 Cam 2 (K7 SDI Router) is routed to 3 destinations' });
    await expect(uses).toBeFocused();
    const places = uses.getByRole('button').filter({ hasNotText: 'Close' });
    await expect(places).toHaveText(['K7 SDI Router 7', 'K7 SDI Router 43 K7 Mon 4', 'K7 Audio Router 23 K7 Mon 4 Spk']);
    await places.nth(0).click();
    await expect(page.locator('[data-router="K7 SDI Router"] tr[data-destination="7"]')).toBeFocused();
    await uses.getByRole('button', { name: 'Close' }).click();
    await expect(uses).toBeHidden();
    // A source used nowhere says so.
    await page.getByRole('combobox', { name: /^find a destination/ }).fill('graphics key');
    await expect(options).toHaveText(['source 32 Graphics Key K7 SDI Router']);
    await page.keyboard.press('Enter');
    await expect(page.getByRole('region', { name: '32 Graphics Key (K7 SDI Router) is routed to no destination' })).toBeFocused();
    // With the uses, a history and the search's matches open: no serious axe findings either.
    await page.locator('[data-router="K7 SDI Router"] tr[data-destination="7"]').getByRole('button', { name: /^history of/ }).click();
    await page.getByRole('combobox', { name: /^find a destination/ }).fill('cam');
    await expect(options.first()).toBeVisible();
    const results = await new AxeBuilder({ page }).analyze();
    expect(results.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).slice(0, 3).join(', ')}`)).toEqual([]);
  });
});
