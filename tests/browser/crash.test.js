// A served panel that crashes: the page shows the fault, the host keeps
// answering, a new worker brings the session back, the written scenario
// reproduces the crash, and a rebuilt library is loaded.
const { test, expect } = require('@playwright/test');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {
  startHost, printHostErrorsOnFailure, runHostSync, localPath, k7Facility,
  crashPanel, crashOnCreate, crashPanelDir, accessFault, libraryExtension,
} = require('./host');

test.afterEach(async ({}, testInfo) => printHostErrorsOnFailure(testInfo));

const step = (page, line) => page.request.post(new URL('/api/step', page.url()).href, { data: { step: line } });
const getState = (page) => page.request.get(new URL('/api/state', page.url()).href);
const counter = (state) => Object.fromEntries(state.panels[0].controls.find((c) => c.id === 'Counter').properties);

function tempDir() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'zarn-crash-'));
}

test('a crash at a step: banner, state restored, scenario reproduces it @wine', async ({ page }) => {
  const dir = tempDir();
  const host = startHost(['--panel-dir', crashPanelDir, '--crash-dir', dir], crashPanel);
  try {
    const url = await host.url;
    await page.goto(url);
    await expect(page.locator('body')).toHaveAttribute('data-ready', 'true');
    for (const line of ['press Count', 'route 101 44 13', 'wait 300', 'press Count']) {
      expect((await step(page, line)).status()).toBe(200);
    }
    const crashed = await step(page, 'press Fault');
    expect(crashed.status()).toBe(502);
    expect((await crashed.json()).error).toMatch(`crashed at step "press Fault": ${accessFault}`);
    const banner = page.locator('#fault-banner');
    await expect(banner).toBeVisible();
    await expect(page.locator('#fault-title')).toContainText('press Fault');
    await expect(page.locator('#fault-title')).toContainText(accessFault);
    await expect(page.locator('#fault-detail')).toContainText("TP 'text=failing' '1' 'Counter'");
    await expect(page.locator('#fault-state')).toHaveText('The session was restored.');
    const state = await (await getState(page)).json();
    expect(counter(state).count).toBe('2');
    expect(state.clock.now).toBe(300);
    const router = state.routers.find((r) => r.device === 101);
    expect(router.destinations.find((d) => d.number === 44).source).toBe(13);
    expect(state.fault.phase).toBe('restored');
    // The page goes on with the new worker, which numbers its states afresh.
    expect((await step(page, 'press Count')).status()).toBe(200);
    await expect(page.locator('#inspector tr', { has: page.locator('[data-pin="Counter"]') })).toContainText('count=3');
    // The written session ends at the fatal step and crashes the same way.
    const scenario = localPath(state.fault.scenario);
    expect(fs.readFileSync(scenario, 'utf8')).toMatch(/press Count\nroute 101 44 13\nwait 300\npress Count\npress Fault\n$/);
    const run = runHostSync(['--quiet', '--panel', crashPanel, '--panel-dir', crashPanelDir,
      '--facility', k7Facility, '--scenario', scenario]);
    expect(run.status).toBe(3);
    expect(run.stderr).toMatch(/crash step: .*press Fault/);
  } finally {
    await host.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('a step that hangs is ended past the time limit and reported @wine', async ({ page }) => {
  const dir = tempDir();
  const host = startHost(['--panel-dir', crashPanelDir, '--crash-dir', dir, '--step-timeout', '2'], crashPanel);
  try {
    await page.goto(await host.url);
    await expect(page.locator('body')).toHaveAttribute('data-ready', 'true');
    expect((await step(page, 'press Count')).status()).toBe(200);
    expect((await step(page, 'press Fault hang')).status()).toBe(502);
    await expect(page.locator('#fault-title')).toContainText('ran for more than 2 s');
    await expect(page.locator('#fault-state')).toHaveText('The session was restored.');
    expect(counter(await (await getState(page)).json()).count).toBe('1');
  } finally {
    await host.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('a panel that crashes when created: the host waits for a rebuilt library and loads it @wine', async ({ page }) => {
  const dir = tempDir();
  const library = path.join(dir, `libpanel.${libraryExtension}`);
  fs.copyFileSync(crashOnCreate, library);
  const host = startHost(['--panel-dir', crashPanelDir, '--crash-dir', dir], library);
  try {
    await page.goto(await host.url);
    await expect(page.locator('#fault-state')).toHaveText('Waiting for a rebuilt panel library.');
    await expect(page.locator('#fault-title')).toContainText('"load"');
    const refused = await getState(page);
    expect(refused.status()).toBe(503);
    expect((await refused.json()).error).toMatch(/3 times in a row/);
    // A rebuild: the good library replaces the file.
    fs.copyFileSync(crashPanel, `${library}.new`);
    fs.renameSync(`${library}.new`, library);
    // The host answers again once the rebuilt library runs; the page follows.
    await expect.poll(async () => (await getState(page)).status(), { timeout: 20000 }).toBe(200);
    expect((await step(page, 'press Count')).status()).toBe(200);
    await expect(page.locator('#fault-state')).not.toHaveText('Waiting for a rebuilt panel library.', { timeout: 10000 });
  } finally {
    await host.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
