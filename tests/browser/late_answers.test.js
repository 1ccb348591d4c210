// Answers that arrive after newer news: the page keeps the newer of what it
// holds and what arrives. The second tab's /api/state and /api/rows answers
// are held at the door and handed over when a case says, so each
// interleaving is forced, not timed; the first tab, which holds the stream,
// also posts states and changes to the second as the stream's.
const { test, expect } = require('@playwright/test');
const { startHost, printHostErrorsOnFailure } = require('./host');

test.afterEach(async ({}, testInfo) => printHostErrorsOnFailure(testInfo));

let host;
test.afterEach(async () => { expect(await host.stop()).toBe(0); });

const pageState = (url) => url.pathname === '/api/state' && url.searchParams.get('view') === 'page';
const rowsOfSdi = (url) => url.pathname === '/api/rows' && url.searchParams.get('router') === '101';

// Holds the answers to the requests match picks while holding: each is read
// from the host when asked (the state of that moment) and handed to the page
// by release.
async function holdAnswers(page, match, holding) {
  const held = [];
  const waiting = [];
  await page.route(match, async (route) => {
    if (!holding) return route.continue().catch(() => {});
    try {
      const response = await route.fetch();
      const answer = { route, response, body: await response.json() };
      if (waiting.length) waiting.shift()(answer); else held.push(answer);
    } catch (e) { /* the test ended with the answer held */ }
  });
  return {
    next: () => (held.length ? Promise.resolve(held.shift()) : new Promise((resolve) => waiting.push(resolve))),
    hold: () => { holding = true; },
    pass: () => { holding = false; },
  };
}
const release = (answer, body = answer.body) => answer.route.fulfill({ response: answer.response, body: JSON.stringify(body) });

// The first tab passes a message on to the others as if the stream sent it.
const post = (leader, type, data) => leader.evaluate(([t, d]) => new BroadcastChannel('zarn-events')
  .postMessage({ type: t, data: d }), [type, JSON.stringify(data)]);
const stateNow = (leader) => leader.evaluate(async () => (await fetch('/api/state?view=page')).json());
// Every frame the page has asked for is drawn.
const drawn = (page) => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
const packageNames = (page) => page.locator('[data-device="K7 Package Names"]');
const mon5 = (page) => page.locator('[data-router="K7 SDI Router"] tr[data-destination="K7 Mon 5"]');

const cases = [
  {
    name: 'a stream state that comes while the state is asked for stands: the older answer is not taken',
    holds: pageState,
    async run({ leader, follower, held, step }) {
      const older = await held.next();  // asked as the tab joined
      await step('offline 201');
      const newer = await stateNow(leader);
      await post(leader, 'state', newer);
      await expect(packageNames(follower)).toHaveAttribute('data-online', 'false');
      // A change out of turn: the tab asks again once it has read the older answer.
      await post(leader, 'changes', { seq: 1e9, epoch: newer.epoch });
      await release(older);
      await held.next();
      await drawn(follower);
      expect(await packageNames(follower).getAttribute('data-online')).toBe('false');
    },
  },
  {
    name: 'rows asked before a change do not undo it',
    holds: rowsOfSdi,
    async run({ follower, held, step }) {
      const older = await held.next();  // asked as the table was first drawn
      await step('lock 101 44');
      await step('offline 201');  // shown after the lock's change
      await expect(packageNames(follower)).toHaveAttribute('data-online', 'false');
      held.pass();
      await release(older);
      await expect(mon5(follower)).toHaveClass(/locked/);
      await expect(mon5(follower).locator('.lock-mark')).toHaveText('LOCKED');
    },
  },
  {
    name: 'an answer from a worker that has gone is not taken, however it is numbered',
    holds: pageState,
    startHeld: false,
    async run({ leader, follower, held, step }) {
      await expect(follower.locator('body[data-ready="true"]')).toBeVisible();
      held.hold();
      const { epoch } = await stateNow(leader);
      await post(leader, 'changes', { seq: 1e9, epoch });
      const asked = await held.next();
      held.pass();
      await release(asked, { ...asked.body, epoch: `${epoch}-gone`, seq: 2e9, library: 'gone.so' });
      await step('lock 101 44');
      await expect(mon5(follower)).toHaveClass(/locked/);
      await expect(follower.locator('#library')).toHaveText('libk7_mon.so');
    },
  },
  // A new worker counts afresh: its numbers say nothing next to the last one's.
  ...[['below', (seq) => seq - 1], ['as', (seq) => seq]].map(([how, number]) => ({
    name: `a restarted host's state numbered ${how} the last one's is taken, and its changes followed`,
    holds: pageState,
    startHeld: false,
    async run({ leader, follower, step }) {
      await expect(follower.locator('body[data-ready="true"]')).toBeVisible();
      const now = await stateNow(leader);
      await post(leader, 'state', { ...now, epoch: `${now.epoch}-restarted`, seq: number(now.seq), library: 'restarted.so' });
      await expect(follower.locator('#library')).toHaveText('restarted.so');
      // The host's own change does not follow that state: the tab asks for the host's.
      await step('lock 101 44');
      await expect(follower.locator('#library')).toHaveText('libk7_mon.so');
      await expect(mon5(follower)).toHaveClass(/locked/);
    },
  })),
];

for (const c of cases) {
  test(c.name, async ({ page: leader, request }) => {
    host = startHost();
    const url = await host.url;
    await leader.goto(url);
    await expect(leader.locator('body[data-ready="true"]')).toBeVisible();
    expect(await leader.evaluate(() => document.documentElement.dataset.streamLeader)).toBe('true');
    const follower = await leader.context().newPage();
    const held = await holdAnswers(follower, c.holds, c.startHeld !== false);
    await follower.goto(url);
    const step = async (text) => {
      const answer = await request.post(new URL('/api/step', url).href, { data: { step: text } });
      expect(answer.status(), text).toBe(200);
    };
    await c.run({ leader, follower, held, step });
  });
}
