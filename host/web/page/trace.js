// The live trace: steps, notifications in, commands out, replies, refusals
// and faults, each kind shown or hidden by its filter.
const kinds = [
  ['step', 'steps'], ['in', 'notifications in'], ['out', 'commands out'], ['reply', 'replies'],
  ['refusal', 'refusals'], ['fault', 'faults'], ['error', 'errors'], ['picture', 'pictures'],
];
const maxLines = 2000;

export function setUpTrace(filters, list) {
  for (const [kind, text] of kinds) {
    const label = document.createElement('label');
    label.className = `filter k-${kind}`;
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.checked = kind !== 'picture';
    box.dataset.kind = kind;
    box.addEventListener('change', () => list.classList.toggle(`hide-${kind}`, !box.checked));
    list.classList.toggle(`hide-${kind}`, !box.checked);
    label.append(box, ` ${text}`);
    filters.append(label);
  }
}

export function addTraceLine(list, entry) {
  const item = document.createElement('li');
  item.className = `k-${entry.kind}`;
  const time = document.createElement('span');
  time.className = 'time';
  time.textContent = entry.time >= 0 ? `${entry.time} ms` : '';
  const text = document.createElement('span');
  text.className = 'text';
  text.textContent = entry.text;
  item.append(time, text);
  const atBottom = list.scrollTop + list.clientHeight >= list.scrollHeight - 4;
  list.append(item);
  while (list.childElementCount > maxLines) list.firstElementChild.remove();
  if (atBottom) list.scrollTop = list.scrollHeight;
}
