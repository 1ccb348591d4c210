// The K7 panel as an operator uses it in the browser, against a live
// zarn_host: every click is a step, and the session replays as a scenario.
const { test, expect } = require('@playwright/test');
const fs = require('fs');
const path = require('path');
const { startHost, printHostErrorsOnFailure, replay } = require('./host');

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
const trace = (page) => page.locator('#trace');

test('a take to monitor 2: the crosspoint goes out, the revertive updates the tally, the list resets @wine', async ({ page }) => {
  await expect(page.locator('#title')).toHaveText('K7 Bay Monitors');
  await control(page, 'Mon_2').getByRole('button').click();
  await expect(control(page, 'ID_2')).toHaveAttribute('data-colour', 'red');
  await expect(control(page, 'ID_1')).toHaveAttribute('data-colour', 'black');

  await control(page, 'Sources').getByRole('option', { name: 'Cam 3' }).click();
  await expect(trace(page)).toContainText("-> RC 101 13 41 ',' 0");
  await expect(trace(page)).toContainText('<- revertive 101/41 "Cam 3"');
  await expect(control(page, 'Vidtally_2').locator('.value')).toHaveText('Cam 3');
  await expect(page.locator('[data-router="K7 SDI Router"] tr[data-destination="K7 Mon 2"] .source-text')).toHaveText('13 Cam 3');
  await expect(control(page, 'Sources').getByRole('option', { name: 'Cam 3' })).toHaveAttribute('aria-selected', 'true');

  // The take timer clears the list after 160 ms of virtual time.
  await page.getByRole('button', { name: '+100 ms' }).click();
  await expect(page.locator('#clock-now')).toHaveText('100');
  await expect(control(page, 'Sources').getByRole('option', { name: 'Cam 3' })).toHaveAttribute('aria-selected', 'true');
  await page.getByRole('button', { name: '+100 ms' }).click();
  await expect(control(page, 'Sources').locator('[aria-selected="true"]')).toHaveCount(0);

  // The video level off: its pixmap turns from a tick to a cross.
  await expect(control(page, 'VidLevel').locator('svg.tick')).toBeVisible();
  await control(page, 'VidLevel').getByRole('button').click();
  await expect(control(page, 'VidLevel').locator('svg.cross')).toBeVisible();
  await expect(trace(page)).toContainText("-> TP 'pixmap=/images/SmallCross.png' '1' 'VidLevel'");
});

test('a locked destination refuses the take; a parent message gets its reply', async ({ page }) => {
  const row = page.locator('[data-router="K7 SDI Router"] tr[data-destination="K7 Mon 2"]');
  await row.getByRole('button', { name: 'Lock' }).click();
  await expect(row).toHaveClass(/locked/);
  await control(page, 'Mon_2').getByRole('button').click();
  await control(page, 'Sources').getByRole('option', { name: 'VT 1' }).click();
  await expect(page.locator('#trace .k-refusal').filter({ hasText: 'locked' })).toHaveCount(1);
  await expect(control(page, 'Vidtally_2').locator('.value')).toHaveText('Cam 1');
  await expect(row.locator('.source-text')).toHaveText('11 Cam 1');

  await page.locator('#parent-text').fill('myParam=Bay K7');
  await page.getByRole('button', { name: 'Send' }).click();
  await expect(page.locator('#parent-reply')).toHaveText('null');
  await page.locator('#parent-text').fill('return=myParam');
  await page.getByRole('button', { name: 'Send' }).click();
  await expect(page.locator('#parent-reply')).toHaveText('myParam=Bay K7');
});

test('the recorded session downloads as a scenario that zarn_host replays green @wine', async ({ page }, testInfo) => {
  await control(page, 'Mon_4').getByRole('button').click();
  await control(page, 'Sources').getByRole('option', { name: 'Studio B' }).click();
  await page.getByRole('button', { name: '+160 ms' }).click();
  // A route from outside the panel, through the router's source picker.
  await page.locator('[data-router="K7 SDI Router"] tr[data-destination="K7 Mon 1"]')
    .getByRole('button', { name: 'route a source to 40 K7 Mon 1' }).click();
  await page.getByRole('combobox', { name: 'find a source to route to 40 K7 Mon 1' }).fill('vt 2');
  await page.keyboard.press('Enter');
  await expect(control(page, 'Vidtally_1').locator('.value')).toHaveText('VT 2');
  for (const id of ['Vidtally_1', 'Audtally_4', 'ID_4', 'Sources']) {
    await page.locator(`#inspector input[data-pin="${id}"]`).check();
  }
  const [download] = await Promise.all([
    page.waitForEvent('download'),
    page.getByRole('button', { name: 'Download session' }).click(),
  ]);
  const file = testInfo.outputPath('session.scenario');
  await download.saveAs(file);
  const text = fs.readFileSync(file, 'utf8');
  expect(text).toContain('pick Sources "Studio B"');
  expect(text).toContain('expect property Vidtally_1 text "VT 2"');
  expect(text).toContain('expect property Audtally_4 text "Studio B PGM"');
  const run = replay(file);
  expect(run.output).toContain('0 protocol faults');
  expect(run.status).toBe(0);
});

test('the page shows the host\'s one-line reason for a step it cannot run', async ({ page }) => {
  await page.locator('#unload').click();
  await expect(page.locator('#panel')).toContainText('No panel loaded.');
  await page.locator('#wait-ms').fill('-5');
  await page.locator('#wait').click();
  await expect(page.locator('#message')).toHaveText('wait takes a number of milliseconds, 0 or more');
  await page.locator('#load').click();
  await expect(control(page, 'Mon_1')).toBeVisible();
});

// Not a test: the picture of the panel in docs/, taken when ZARN_SCREENSHOT names the file.
test('screenshot', async ({ page }) => {
  test.skip(!process.env.ZARN_SCREENSHOT, 'ZARN_SCREENSHOT not set');
  await control(page, 'Mon_3').getByRole('button').click();
  await control(page, 'Sources').getByRole('option', { name: 'Graphics' }).click();
  await control(page, 'AudLevel').getByRole('button').click();
  // The router view's source picker, open for a monitor and narrowed.
  await page.locator('[data-router="K7 SDI Router"] tr[data-destination="K7 Mon 2"]')
    .getByRole('button', { name: /^route a source/ }).click();
  await page.getByRole('combobox', { name: /^find a source/ }).fill('cam');
  await page.screenshot({ path: path.resolve(process.env.ZARN_SCREENSHOT), fullPage: true });
});

test('Enter in a fresh source picker before its names arrive routes when they do, the typed text kept', async ({ page }) => {
  let release;
  const held = new Promise((resolve) => { release = resolve; });
  await page.route('**/api/sources*', async (route) => { await held; await route.continue(); });
  const row = page.locator('[data-router="K7 SDI Router"] tr[data-destination="K7 Mon 3"]');
  await row.getByRole('button', { name: 'route a source to 42 K7 Mon 3' }).click();
  const input = page.getByRole('combobox', { name: 'find a source to route to 42 K7 Mon 3' });
  await input.fill('vt 2');
  await page.keyboard.press('Enter');
  await expect(page.locator('[data-router="K7 SDI Router"] .picker-more')).toHaveText('routing when the sources arrive…');
  release();
  await expect(row.locator('.source-text')).toHaveText('22 VT 2');
  await expect(input).toBeHidden();
});
