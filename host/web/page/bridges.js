// The facility's bridges to equipment: each server (listening, with how many
// controllers or consumers), router connection (connected or reconnecting)
// and display sender, labelled by the protocol's module (SW-P-08, Ember+,
// TSL UMD), and the TSL UMD displays as last sent: index, text and the three
// tallies.
function cell(tag, text, className) {
  const el = document.createElement(tag);
  el.textContent = text;
  if (className) el.className = className;
  return el;
}

export function renderBridges(root, state) {
  const bridges = state.bridges || [];
  const umd = state.umd || [];
  const shape = JSON.stringify([bridges, umd]);
  if (root.dataset.shape === shape) return;
  root.dataset.shape = shape;
  root.replaceChildren();
  root.hidden = bridges.length === 0;
  if (bridges.length === 0) return;
  const list = document.createElement('ul');
  list.className = 'bridges';
  for (const b of bridges) {
    const item = cell('li', `${b.label || b.kind}: ${b.status}`);
    item.dataset.role = b.role;
    const where = (r) => (b.kind === 'emberplus' ? `matrix ${r.matrix}` : `matrix ${r.matrix} level ${r.level}`);
    if (b.routers) item.title = b.routers.map((r) => `${r.name}: ${where(r)}`).join('\n');
    list.append(item);
  }
  root.append(list);
  if (umd.length === 0) return;
  const table = document.createElement('table');
  table.className = 'umd';
  const head = document.createElement('tr');
  for (const h of ['display', 'text', 'left', 'text tally', 'right']) head.append(cell('th', h));
  table.append(head);
  for (const d of umd) {
    const row = document.createElement('tr');
    row.dataset.index = d.index;
    row.append(cell('td', String(d.index)), cell('td', d.text, 'umd-text'));
    for (const lamp of [d.lh, d.text_tally, d.rh]) row.append(cell('td', lamp, `lamp lamp-${lamp}`));
    table.append(row);
  }
  root.append(table);
}
