// The page's quoting of step arguments (host/web/page/quoting.js) against the
// cases the host's own quoting is tested with (scenario_quoting_cases.json).
// Run with: node --test tests/host/scenario_quoting.test.mjs
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

const here = new URL('.', import.meta.url);
const { cases } = JSON.parse(readFileSync(new URL('scenario_quoting_cases.json', here), 'utf8'));
// The page's modules are ES modules in a folder without a package.json:
// loaded from their text, as the browser does.
const source = readFileSync(new URL('../../host/web/page/quoting.js', here), 'utf8');
const { quoted, token } = await import(`data:text/javascript,${encodeURIComponent(source)}`);

test('the cases are there', () => assert.ok(cases.length >= 15));

for (const c of cases) {
  test(c.case, () => {
    assert.equal(quoted(c.text), c.quoted);
    assert.equal(token(c.text), c.argument);
  });
}
