// The page under load: the host runs steps as fast as an automation would
// (500 a second for 30 s, ZARN_LOAD_SECONDS to change) while one page watches.
// What must never happen is asserted (a broken stream, a click that gets no
// answer); the figures (longest frame, lag behind the host, click latency)
// are printed and written to test-results/load-figures.json for
// docs/PERFORMANCE.md.
const { test, expect } = require('@playwright/test');
const fs = require('fs');
const http = require('http');
const path = require('path');
const { startHost, printHostErrorsOnFailure } = require('./host');

test.afterEach(async ({}, testInfo) => printHostErrorsOnFailure(testInfo));

const seconds = Number(process.env.ZARN_LOAD_SECONDS || 30);
const rate = Number(process.env.ZARN_LOAD_RATE || 500);
const cycle = ['press Mon_1', 'pick Sources "Cam 2"', 'wait 160', 'press Mon_4', 'pick Sources Bars', 'wait 160',
  'route 101 44 13', 'press Mon_2', 'pick Sources "VT 1"', 'wait 160'];

// Posts steps at `rate` a second over a few keep-alive connections; records
// when each count of finished steps was reached.
function drive(url, until) {
  const agent = new http.Agent({ keepAlive: true, maxSockets: 4 });
  const target = new URL('/api/step', url);
  const reached = [];  // [time, steps done]
  let done = 0;
  let sent = 0;
  let failed = 0;
  const start = Date.now();
  const post = (line) => new Promise((resolve) => {
    const body = JSON.stringify({ step: line });
    const req = http.request(target, { method: 'POST', agent, headers: { 'Content-Type': 'application/json',
      'Content-Length': Buffer.byteLength(body) } }, (res) => {
      res.resume();
      res.on('end', () => { if (res.statusCode !== 200) failed++; resolve(); });
    });
    req.on('error', () => { failed++; resolve(); });
    req.end(body);
  });
  const worker = async () => {
    while (Date.now() < until) {
      const due = start + (sent * 1000) / rate;
      if (due > Date.now()) await new Promise((r) => setTimeout(r, due - Date.now()));
      const line = cycle[sent++ % cycle.length];
      await post(line);
      done++;
      reached.push([Date.now(), done]);
    }
  };
  const all = Promise.all([worker(), worker(), worker(), worker()]).then(() => agent.destroy());
  return { all, reached, stats: () => ({ done, failed, seconds: (Date.now() - start) / 1000 }) };
}

const median = (xs) => { const s = [...xs].sort((a, b) => a - b); return s.length ? s[Math.floor(s.length / 2)] : 0; };

test('500 steps a second for 30 s: the page keeps up, stays connected and answers clicks', async ({ page }, testInfo) => {
  test.setTimeout((seconds + 60) * 1000);
  const host = startHost();
  try {
    await page.goto(await host.url);
    await expect(page.locator('body[data-ready="true"]')).toBeVisible();
    // Frame gaps, long tasks and every moment the stream was not live.
    await page.evaluate(() => {
      const probe = { maxGap: 0, gaps: [], longTasks: 0, longest: 0, down: 0 };
      window.loadProbe = probe;
      let last = performance.now();
      const frame = (t) => { const gap = t - last; last = t; if (gap > probe.maxGap) probe.maxGap = gap; probe.gaps.push(gap); requestAnimationFrame(frame); };
      requestAnimationFrame(frame);
      new PerformanceObserver((list) => {
        for (const e of list.getEntries()) { probe.longTasks++; probe.longest = Math.max(probe.longest, e.duration); }
      }).observe({ entryTypes: ['longtask'] });
      const status = document.getElementById('status');
      new MutationObserver(() => { if (/disconnected|down/.test(status.textContent + status.className)) probe.down++; })
        .observe(status, { attributes: true, childList: true, characterData: true, subtree: true });
    });
    const until = Date.now() + seconds * 1000;
    const driver = drive(await host.url, until);

    // Samples of the page's lag: how long ago the host had done more steps
    // than the page shows. And a click every two seconds on a control the
    // driven steps leave alone.
    const lags = [];
    const clicks = [];
    let lost = 0;
    const audio = page.locator('#panel [data-control="AudLevel"]');
    let nextClick = Date.now() + 2000;
    while (Date.now() < until - 500) {
      const shown = await page.evaluate(() => {
        const el = document.querySelector('#summary [data-fact="steps"] b') ||
          [...document.querySelectorAll('#summary .fact')].find((f) => /steps recorded/.test(f.textContent))?.querySelector('b');
        return el ? Number(el.textContent.replace(/\D/g, '')) : 0;
      });
      const now = Date.now();
      const ahead = driver.reached.find(([, n]) => n > shown);
      lags.push(ahead ? Math.max(0, now - ahead[0]) : 0);
      if (now >= nextClick) {
        nextClick = now + 2000;
        const before = await audio.locator('svg').getAttribute('class').catch(() => '');
        const want = /tick/.test(before || '') ? 'cross' : 'tick';
        const t0 = Date.now();
        try {
          await audio.getByRole('button').click({ timeout: 5000 });
          await expect(audio.locator(`svg.${want}`)).toBeVisible({ timeout: 5000 });
          clicks.push(Date.now() - t0);
        } catch (e) {
          lost++;
        }
      } else {
        await page.waitForTimeout(250);
      }
    }
    await driver.all;
    const probe = await page.evaluate(() => {
      const p = window.loadProbe;
      const over = (ms) => p.gaps.filter((g) => g > ms).length;
      return { maxGap: p.maxGap, over50: over(50), over100: over(100), frames: p.gaps.length, longTasks: p.longTasks,
        longest: p.longest, down: p.down };
    });
    const figures = {
      ...driver.stats(), rateAsked: rate, frameMaxMs: Math.round(probe.maxGap), framesOver100: probe.over100,
      framesOver50: probe.over50, frames: probe.frames, longTasks: probe.longTasks, longestTaskMs: Math.round(probe.longest),
      lagMedianMs: median(lags), lagMaxMs: Math.max(0, ...lags), clickMedianMs: median(clicks),
      clickMaxMs: Math.max(0, ...clicks), clicks: clicks.length, lostClicks: lost, disconnects: probe.down,
    };
    console.log(`load figures: ${JSON.stringify(figures)}`);
    fs.mkdirSync(path.join(__dirname, 'test-results'), { recursive: true });
    fs.writeFileSync(path.join(__dirname, 'test-results', 'load-figures.json'), JSON.stringify(figures, null, 1));
    await testInfo.attach('load-figures', { body: JSON.stringify(figures, null, 1), contentType: 'application/json' });
    expect(probe.down, 'the event stream broke under load').toBe(0);
    expect(lost, 'clicks that got no answer').toBe(0);
    expect(clicks.length).toBeGreaterThan(0);
    await expect(page.locator('#status')).toHaveText(/live/);
  } finally {
    expect(await host.stop()).toBe(0);
  }
});
