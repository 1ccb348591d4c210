// The panel as an operator sees it, drawn from the panel file's model: the
// layout's rows first, then the controls the layout leaves out. The elements
// are made once per panel layout and updated in place, so focus, hover and
// a half-made click survive every state event.
import { step, token } from './api.js';

const colours = ['red', 'green', 'amber', 'yellow', 'blue', 'black', 'white', 'grey', 'orange'];

function property(control, name) {
  const found = control.properties.find(([key]) => key === name);
  return found ? found[1] : undefined;
}

// A statesheet's colour from its name ("RZ_Tally_Red" is red).
function statesheetColour(sheet) {
  const lower = (sheet || '').toLowerCase();
  return colours.find((c) => lower.includes(c)) || 'none';
}

const tick = '<svg viewBox="0 0 16 16" class="glyph tick" role="img" aria-label="on"><path d="M3 8.5l3.2 3.2L13 4.8"/></svg>';
const cross = '<svg viewBox="0 0 16 16" class="glyph cross" role="img" aria-label="off"><path d="M4 4l8 8M12 4l-8 8"/></svg>';

// A pixmap as a glyph: ticks and crosses drawn, anything else as the panel file's text.
function pixmap(value, glyphs) {
  if (!value) return '<span class="glyph empty"></span>';
  const lower = value.toLowerCase();
  if (lower.includes('tick')) return tick;
  if (lower.includes('cross')) return cross;
  const span = document.createElement('span');
  span.className = 'glyph text';
  span.textContent = glyphs[value] || value;
  return span.outerHTML;
}

function describe(control) {
  return control.properties.map(([k, v]) => `${k}=${v}`).join('\n');
}

function setText(el, text) {
  if (el.textContent !== text) el.textContent = text;
}

function setAttr(el, name, value) {
  if (value === undefined || value === null) {
    if (el.hasAttribute(name)) el.removeAttribute(name);
  } else if (el.getAttribute(name) !== String(value)) {
    el.setAttribute(name, String(value));
  }
}

// One control's element, made once; update() brings it to a control's state.
function controlElement(panel, control) {
  const el = document.createElement('div');
  el.className = `control ${control.kind}`;
  el.dataset.control = control.id;
  let update;
  if (control.kind === 'button') {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'panel-button';
    const label = document.createElement('span');
    label.className = 'label';
    const glyph = document.createElement('span');
    glyph.className = 'pix';
    button.append(label, glyph);
    button.addEventListener('click', () => step(`press ${token(control.id)}`));
    el.append(button);
    update = (c) => {
      const text = property(c, 'text') || c.label || c.id;
      setText(label, text);
      setAttr(button, 'title', text);
      const pix = property(c, 'pixmap');
      if (button.dataset.pixmap !== pix) {
        if (pix === undefined) { delete button.dataset.pixmap; glyph.innerHTML = ''; } else {
          button.dataset.pixmap = pix;
          glyph.innerHTML = pixmap(pix, panel.glyphs);
        }
      }
    };
  } else if (control.kind === 'list') {
    const head = document.createElement('div');
    head.className = 'list-label';
    head.id = `list-${panel.id}-${control.id}`;
    const list = document.createElement('ul');
    list.setAttribute('role', 'listbox');
    list.setAttribute('aria-labelledby', head.id);
    el.append(head, list);
    const items = [];
    // One tab stop for the list: the entry last focused, else the one
    // selected, else the first; the arrow keys, Home and End move along it.
    let rover = -1;
    const rove = (selected) => {
      const stop = rover >= 0 && rover < items.length ? rover : Math.max(0, selected);
      items.forEach(({ item }, i) => { const t = i === stop ? 0 : -1; if (item.tabIndex !== t) item.tabIndex = t; });
    };
    list.addEventListener('keydown', (e) => {
      const at = items.findIndex(({ item }) => item === document.activeElement);
      if (at < 0) return;
      const to = { ArrowRight: at + 1, ArrowDown: at + 1, ArrowLeft: at - 1, ArrowUp: at - 1, Home: 0,
        End: items.length - 1 }[e.key];
      if (to === undefined) return;
      e.preventDefault();
      const next = Math.max(0, Math.min(items.length - 1, to));
      rover = next;
      rove(-1);
      items[next].item.focus();
    });
    list.addEventListener('focusin', (e) => {
      const at = items.findIndex(({ item }) => item === e.target);
      if (at >= 0 && at !== rover) { rover = at; rove(-1); }
    });
    update = (c, view) => {
      setText(head, c.label || c.id);
      if (items.length !== c.entries.length || items.some((it, i) => it.entry.text !== c.entries[i].text)) {
        items.length = 0;
        list.replaceChildren();
        c.entries.forEach((entry) => {
          const item = document.createElement('li');
          item.setAttribute('role', 'option');
          item.tabIndex = -1;
          const name = document.createElement('span');
          name.className = 'name';
          name.textContent = entry.text;
          const mark = document.createElement('span');
          mark.className = 'mark';
          item.append(name, mark);
          item.title = entry.text;
          const pick = () => {
            item.dataset.take = 'pending';
            setText(mark, 'pending');
            step(`pick ${token(c.id)} ${token(entry.text)}`);
          };
          item.addEventListener('click', pick);
          item.addEventListener('keydown', (e) => {
            if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); pick(); }
          });
          list.append(item);
          items.push({ entry, item, name, mark });
        });
      }
      const selected = Number(property(c, 'select'));
      items.forEach(({ item, mark }, i) => {
        const on = i === selected;
        setAttr(item, 'aria-selected', String(on));
        let take = null;
        let note = '';
        if (on) ({ take, note } = view.take);
        setAttr(item, 'data-take', take);
        setText(mark, note);
      });
      rove(selected >= 0 && selected < items.length ? selected : -1);
    };
  } else if (control.kind === 'indicator') {
    const lamp = document.createElement('span');
    lamp.className = 'lamp';
    lamp.setAttribute('role', 'img');
    const caption = document.createElement('span');
    caption.className = 'lamp-label';
    el.append(lamp, caption);
    update = (c) => {
      const colour = statesheetColour(property(c, 'statesheet'));
      const name = c.label || property(c, 'text') || c.id;
      const lit = colour !== 'none' && colour !== 'black' && colour !== 'grey';
      setText(caption, `${name} ${lit ? colour : 'off'}`);
      setAttr(lamp, 'aria-label', `${name}: ${lit ? colour : 'off'}`);
    };
  } else {
    const label = document.createElement('span');
    label.className = 'caption';
    const value = document.createElement('span');
    value.className = 'value';
    el.append(label, value);
    update = (c) => {
      setText(label, c.label);
      const text = property(c, 'text');
      const shown = text !== undefined ? text : describe(c);
      setText(value, shown);
      setAttr(value, 'title', shown);
    };
  }
  return {
    el,
    update: (c, view) => {
      setAttr(el, 'title', `${c.id}\n${describe(c)}`);
      const sheet = property(c, 'statesheet');
      setAttr(el, 'data-colour', sheet === undefined ? undefined : statesheetColour(sheet));
      update(c, view);
      const offline = view.offline.get(c.id);
      setAttr(el, 'data-offline', offline);
      let badge = el.querySelector(':scope > .offline-badge');
      if (offline && !badge) {
        badge = document.createElement('span');
        badge.className = 'offline-badge';
        el.append(badge);
      }
      if (badge) {
        if (offline) setText(badge, `offline: ${offline}`); else badge.remove();
      }
      setAttr(el, 'data-fault', view.faultRow.has(c.id) ? 'true' : undefined);
    },
  };
}

// Builds a panel's frame; returns the update of every control by id.
function buildPanel(panel) {
  const frame = document.createElement('div');
  frame.className = 'panel-frame';
  frame.dataset.panel = panel.id;
  const title = document.createElement('div');
  title.className = 'panel-title';
  title.textContent = panel.title || `Panel ${panel.id}`;
  frame.append(title);
  const byId = new Map(panel.controls.map((c) => [c.id, c]));
  const parts = new Map();
  const placed = new Set();
  // The rows as the text picture draws them: a list takes a row of its own
  // and the cells after it in its layout row start the next one.
  const rows = [];
  for (const layoutRow of panel.layout) {
    let row = [];
    for (const cell of layoutRow) {
      const control = cell.control ? byId.get(cell.control) : null;
      if (control && control.kind === 'list') {
        if (row.length) rows.push(row);
        rows.push([{ cell, control, list: true }]);
        row = [];
      } else {
        row.push({ cell, control });
      }
    }
    if (row.length) rows.push(row);
  }
  const grid = document.createElement('div');
  grid.className = 'panel-grid';
  const width = Math.max(1, ...rows.map((row) => (row[0].list ? 1 : row.length)));
  grid.style.gridTemplateColumns = `repeat(${width}, minmax(0, auto))`;
  rows.forEach((row, r) => {
    row.forEach(({ cell, control, list }, i) => {
      let el;
      if (control) {
        placed.add(control.id);
        const part = controlElement(panel, control);
        parts.set(control.id, part);
        el = part.el;
      } else {
        el = document.createElement('div');
        el.className = 'control blank';
        el.textContent = cell.text || '';
      }
      // Every cell at its own place: nothing wraps onto another row.
      el.style.gridRow = String(r + 1);
      el.style.gridColumn = list ? '1 / -1' : String(i + 1);
      grid.append(el);
    });
  });
  frame.append(grid);
  const rest = panel.controls.filter((c) => !placed.has(c.id));
  if (rest.length) {
    const more = document.createElement('div');
    more.className = 'panel-rest';
    for (const control of rest) {
      const part = controlElement(panel, control);
      parts.set(control.id, part);
      more.append(part.el);
    }
    frame.append(more);
  }
  return { frame, parts };
}

function shapeOf(state) {
  return JSON.stringify(state.panels.map((p) => [p.id, p.title, p.layout, p.controls.map((c) => [c.id, c.kind])]));
}

// The refusals of the last action as the operator reads them.
function refusalText(r) {
  const where = r.deviceName ? `${r.deviceName}${r.destinationName ? ` → ${r.destinationName}` : r.destination >= 0 ? ` → ${r.destination}` : ''}` : r.command;
  return `${where}: ${r.reason}`;
}

// What the controls of one panel show beyond their properties.
function viewOf(state, panel) {
  const offlineDevices = new Map(state.devices.filter((d) => !d.online).map((d) => [d.device, d.name]));
  const offline = new Map();
  for (const dep of state.dependsOn || []) {
    if (dep.panel !== panel.id) continue;
    const names = dep.devices.filter((d) => offlineDevices.has(d)).map((d) => offlineDevices.get(d));
    if (names.length) offline.set(dep.control, names.join(', '));
  }
  const action = state.lastAction || { refusals: [], accepted: 0 };
  // A route refused to a step from outside (the page's router table, a
  // controller, a scenario) is not the panel's: it shows at its router's
  // row, never on the panel's card.
  const refusals = action.refusals.filter((r) => !r.outside && (!r.control || panel.controls.some((c) => c.id === r.control)));
  const faultRow = new Set();
  let take = { take: state.clock.realTime ? 'taken' : 'pending', note: state.clock.realTime ? '' : 'pending' };
  if (refusals.length) {
    const routed = action.accepted > 0;
    take = { take: routed ? 'partial' : 'refused', note: routed ? 'partly taken' : 'refused' };
    const pressed = action.pressed && action.pressed.panel === panel.id ? action.pressed.control : null;
    const row = pressed ? panel.layout.find((r) => r.some((cell) => cell.control === pressed)) : null;
    for (const cell of row || []) if (cell.control) faultRow.add(cell.control);
    for (const r of refusals) if (r.control) faultRow.add(r.control);
  }
  return { offline, take, faultRow, refusals };
}

export function renderPanel(root, state) {
  const shape = state.loaded ? shapeOf(state) : 'none';
  if (root.dataset.shape !== shape) {
    root.dataset.shape = shape;
    root.replaceChildren();
    root.parts = new Map();
    if (!state.loaded || state.panels.length === 0) {
      const empty = document.createElement('p');
      empty.className = 'muted';
      empty.textContent = state.loaded ? 'The panel shows nothing yet.' : 'No panel loaded.';
      root.append(empty);
    } else {
      const alert = document.createElement('div');
      alert.id = 'panel-alert';
      alert.setAttribute('role', 'status');
      root.append(alert);
      for (const panel of state.panels) {
        const built = buildPanel(panel);
        root.parts.set(panel.id, built.parts);
        root.append(built.frame);
      }
    }
  }
  if (!state.loaded) return;
  const lines = [];
  for (const panel of state.panels) {
    const parts = root.parts.get(panel.id);
    const view = viewOf(state, panel);
    for (const c of panel.controls) parts.get(c.id).update(c, view);
    for (const r of view.refusals) lines.push(refusalText(r));
  }
  const alert = root.querySelector('#panel-alert');
  if (alert) {
    const step = state.lastAction ? state.lastAction.step : '';
    const text = lines.length ? `Refused (${step}): ${lines.join('; ')}` : '';
    setText(alert, text);
    alert.hidden = !text;
  }
}

// The panel files' hints for the operator (the "hint" key); none without one.
export function renderHint(el, state) {
  const text = state.loaded ? state.panels.map((p) => p.hint || '').filter((h) => h).join(' ') : '';
  setText(el, text);
  el.hidden = !text;
}

// Every control with its properties, and a pin for the session's expectations.
export function renderInspector(root, state, pins, onPin) {
  const shape = JSON.stringify(state.panels.map((p) => [p.id, p.controls.map((c) => c.id)]));
  if (root.dataset.shape !== shape) {
    root.dataset.shape = shape;
    root.replaceChildren();
    root.rows = new Map();
    const table = document.createElement('table');
    table.innerHTML = '<thead><tr><th>pin</th><th>control</th><th>kind</th><th>properties</th></tr></thead>';
    const body = document.createElement('tbody');
    for (const panel of state.panels) {
      for (const control of panel.controls) {
        const key = `${panel.id}\n${control.id}`;
        const row = document.createElement('tr');
        const pin = document.createElement('input');
        pin.type = 'checkbox';
        pin.checked = pins.has(key);
        pin.dataset.pin = control.id;
        pin.setAttribute('aria-label', `pin ${control.id}`);
        pin.addEventListener('change', () => onPin(key, pin.checked));
        const cells = [pin, control.id, control.kind, ''];
        const tds = cells.map((c) => {
          const td = document.createElement('td');
          if (typeof c === 'string') td.textContent = c; else td.append(c);
          row.append(td);
          return td;
        });
        root.rows.set(key, tds[3]);
        body.append(row);
      }
    }
    table.append(body);
    root.append(table);
  }
  for (const panel of state.panels) {
    for (const control of panel.controls) {
      const cell = root.rows.get(`${panel.id}\n${control.id}`);
      if (cell) setText(cell, describe(control).replace(/\n/g, '  '));
    }
  }
}
