// Every layout shape a panel file allows, drawn in the browser as the text
// picture draws it: which controls share a row, and which a column. A list
// takes a row of its own; the cells after it in its layout row start the next.
const { test, expect } = require('@playwright/test');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { startHost, printHostErrorsOnFailure, root } = require('./host');

test.afterEach(async ({}, testInfo) => printHostErrorsOnFailure(testInfo));

const build = path.resolve(process.env.ZARN_BUILD_DIR || path.join(root, 'build/ci'));
const puppet = path.join(build, 'tests/host/libhost_test_puppet.so');
const facility = path.join(root, 'host/facilities/k7/facility.json');

const list = (id) => ({ id, kind: 'list', label: id, entries: [{ text: `${id} 1`, value: '1' }, { text: `${id} 2`, value: '2' }] });
const text = (id) => ({ id, kind: 'text', label: id, properties: { text: id } });
const button = (id) => ({ id, kind: 'button', label: id });

// Each shape: the panel file, and the rows the picture draws (groups of rows
// between lists are aligned column by column).
const shapes = [
  {
    name: 'a list row before other rows',
    file: {
      controls: [list('Dests'), button('Take'), text('Tally_1'), text('Tally_2'), text('Tally_3'), text('Tally_5')],
      layout: [['Dests'], ['Take'], ['Tally_1', 'Tally_2'], ['Tally_3', 'Tally_5']],
    },
    groups: [[['Dests']], [['Take'], ['Tally_1', 'Tally_2'], ['Tally_3', 'Tally_5']]],
  },
  {
    name: 'a list in the middle of a row',
    file: {
      controls: [button('A'), list('L'), button('B'), text('C'), text('D')],
      layout: [['A', 'L', 'B'], ['C', 'D']],
    },
    groups: [[['A']], [['L']], [['B'], ['C', 'D']]],
  },
  {
    name: 'rows of different lengths with literal texts and controls left out',
    file: {
      controls: [button('A'), button('B'), text('C'), text('Out'), list('Rest')],
      layout: [['A', { text: 'gap' }, 'B'], ['C']],
      hint: 'A hint of this panel file.',
    },
    groups: [[['A', null, 'B'], ['C']]],
    below: ['Out', 'Rest'],
  },
  {
    name: 'two lists in one row',
    file: { controls: [list('L'), list('M'), button('Z')], layout: [['L', 'M', 'Z']] },
    groups: [[['L']], [['M']], [['Z']]],
  },
  {
    name: 'no layout',
    file: { controls: [button('A'), text('B'), list('L')] },
    groups: [],
    below: ['A', 'B', 'L'],
  },
];

for (const shape of shapes) {
  test(`layout: ${shape.name}`, async ({ page }) => {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zarn-layout-'));
    const file = path.join(dir, 'shape.json');
    fs.writeFileSync(file, JSON.stringify(shape.file));
    const scenario = path.join(dir, 'show.scenario');
    fs.writeFileSync(scenario, `parent "keep PS '1' '${file}'"\n`);
    const host = startHost(['--scenario', scenario], puppet, facility);
    try {
      await page.goto(await host.url);
      await expect(page.locator('body[data-ready="true"]')).toBeVisible();
      await expect(page.locator('#panel .panel-frame')).toBeVisible();
      const box = async (id) => page.locator(`#panel .panel-grid [data-control="${id}"]`).boundingBox();
      let lastTop = -Infinity;
      for (const group of shape.groups) {
        const lefts = [];
        for (const row of group) {
          const cells = [];
          for (const id of row) cells.push(id === null ? null : await box(id));
          const tops = cells.filter((c) => c).map((c) => Math.round(c.y));
          // One row: the same top; below the row before it.
          expect(new Set(tops).size, `${row} on one row`).toBe(1);
          expect(tops[0], `${row} below the row before`).toBeGreaterThan(lastTop);
          lastTop = tops[0];
          // One column a position within the group; left to right.
          cells.forEach((c, i) => {
            if (!c) return;
            if (lefts[i] === undefined) lefts[i] = Math.round(c.x);
            expect(Math.round(c.x), `${row[i]} in column ${i + 1}`).toBe(lefts[i]);
            if (i > 0 && cells[i - 1]) expect(c.x).toBeGreaterThan(cells[i - 1].x);
          });
        }
      }
      for (const id of shape.below || []) {
        await expect(page.locator(`#panel .panel-rest [data-control="${id}"]`)).toBeVisible();
        await expect(page.locator(`#panel .panel-grid [data-control="${id}"]`)).toHaveCount(0);
      }
      if (shape.file.hint) {
        await expect(page.locator('#hint')).toHaveText(shape.file.hint);
      } else {
        await expect(page.locator('#hint')).toBeHidden();
      }
    } finally {
      expect(await host.stop()).toBe(0);
      fs.rmSync(dir, { recursive: true, force: true });
    }
  });
}
