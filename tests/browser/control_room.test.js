// The page as a control-room tool, by keyboard and screen reader: a
// destination's history from its row, route results said politely, one
// search across the routers, the skip link and the panel's lists, tabs in
// the background, and the stopped clock explained.
const { test, expect } = require('@playwright/test');
const { startHost } = require('./host');

let host;
test.beforeEach(async ({ page }) => {
  host = startHost();
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
