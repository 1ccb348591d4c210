// The panel as an operator sees it, drawn from the panel file's model: the
// layout's rows first, then the controls the layout leaves out.
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

const tick = '<svg viewBox="0 0 16 16" class="glyph tick" aria-label="tick"><path d="M3 8.5l3.2 3.2L13 4.8"/></svg>';
const cross = '<svg viewBox="0 0 16 16" class="glyph cross" aria-label="cross"><path d="M4 4l8 8M12 4l-8 8"/></svg>';

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

function controlElement(panel, control) {
  const el = document.createElement('div');
  el.className = `control ${control.kind}`;
  el.dataset.control = control.id;
  el.title = `${control.id}\n${describe(control)}`;
  const sheet = property(control, 'statesheet');
  if (sheet !== undefined) el.dataset.colour = statesheetColour(sheet);
  const text = property(control, 'text');

  if (control.kind === 'button') {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'panel-button';
    button.innerHTML = `<span class="label"></span>`;
    button.querySelector('.label').textContent = text || control.label || control.id;
    const pix = property(control, 'pixmap');
    if (pix !== undefined) {
      button.insertAdjacentHTML('beforeend', pixmap(pix, panel.glyphs));
      button.dataset.pixmap = pix;
    }
    button.addEventListener('click', () => step(`press ${token(control.id)}`));
    el.append(button);
  } else if (control.kind === 'list') {
    const head = document.createElement('div');
    head.className = 'list-label';
    head.textContent = control.label || control.id;
    const list = document.createElement('ul');
    list.setAttribute('role', 'listbox');
    const selected = Number(property(control, 'select'));
    control.entries.forEach((entry, i) => {
      const item = document.createElement('li');
      item.setAttribute('role', 'option');
      item.textContent = entry.text;
      item.setAttribute('aria-selected', String(i === selected));
      item.addEventListener('click', () => step(`pick ${token(control.id)} ${token(entry.text)}`));
      list.append(item);
    });
    el.append(head, list);
  } else if (control.kind === 'indicator') {
    const lamp = document.createElement('span');
    lamp.className = 'lamp';
    lamp.textContent = text || control.label || '';
    el.append(lamp);
  } else {
    const label = document.createElement('span');
    label.className = 'caption';
    label.textContent = control.label;
    const value = document.createElement('span');
    value.className = 'value';
    value.textContent = text !== undefined ? text : describe(control);
    el.append(label, value);
  }
  return el;
}

export function renderPanel(root, state) {
  root.replaceChildren();
  if (!state.loaded || state.panels.length === 0) {
    const empty = document.createElement('p');
    empty.className = 'muted';
    empty.textContent = state.loaded ? 'The panel shows nothing yet.' : 'No panel loaded.';
    root.append(empty);
    return;
  }
  for (const panel of state.panels) {
    const frame = document.createElement('div');
    frame.className = 'panel-frame';
    frame.dataset.panel = panel.id;
    const title = document.createElement('div');
    title.className = 'panel-title';
    title.textContent = panel.title || `Panel ${panel.id}`;
    frame.append(title);
    const byId = new Map(panel.controls.map((c) => [c.id, c]));
    const placed = new Set();
    const grid = document.createElement('div');
    grid.className = 'panel-grid';
    const width = Math.max(1, ...panel.layout.map((row) => row.length));
    grid.style.gridTemplateColumns = `repeat(${width}, minmax(0, auto))`;
    for (const row of panel.layout) {
      row.forEach((cell, i) => {
        let el;
        const control = cell.control ? byId.get(cell.control) : null;
        if (control) {
          placed.add(control.id);
          el = controlElement(panel, control);
        } else {
          el = document.createElement('div');
          el.className = 'control blank';
          el.textContent = cell.text || '';
        }
        if (control && control.kind === 'list') {
          el.style.gridColumn = `${i + 1} / span ${width - i}`;
        }
        grid.append(el);
      });
      for (let i = row.length; i < width; i++) grid.append(Object.assign(document.createElement('div'), { className: 'control blank' }));
    }
    const rest = panel.controls.filter((c) => !placed.has(c.id));
    frame.append(grid);
    if (rest.length) {
      const more = document.createElement('div');
      more.className = 'panel-rest';
      for (const control of rest) more.append(controlElement(panel, control));
      frame.append(more);
    }
    root.append(frame);
  }
}

// Every control with its properties, and a pin for the session's expectations.
export function renderInspector(root, state, pins, onPin) {
  root.replaceChildren();
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
      pin.addEventListener('change', () => onPin(key, pin.checked));
      const cells = [pin, control.id, control.kind, describe(control).replace(/\n/g, '  ')];
      for (const c of cells) {
        const td = document.createElement('td');
        if (typeof c === 'string') td.textContent = c; else td.append(c);
        row.append(td);
      }
      body.append(row);
    }
  }
  table.append(body);
  root.append(table);
}
