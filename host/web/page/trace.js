// The live trace: steps, notifications in, commands out, replies, refusals
// and faults, each kind shown or hidden by its filter. The list shows the
// newest lines only; the page keeps as many as the host does, and
// "Download trace" saves them all.
import { limits } from './limits.js';

const kinds = [
  ['step', 'steps'], ['in', 'notifications in'], ['out', 'commands out'], ['reply', 'replies'],
  ['refusal', 'refusals'], ['fault', 'faults'], ['error', 'errors'], ['picture', 'pictures'],
  ['bridge', 'bridges'],
];
const shownLines = 300;
const kept = [];

export function setUpTrace(filters, list, download) {
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
  download.addEventListener('click', () => {
    const text = kept.map((e) => (e.time >= 0 ? `[${String(e.time).padStart(6)} ms] ` : '') + e.text).join('\n') + '\n';
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
    link.download = 'trace.txt';
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  });
}

export function clearTrace(list) {
  kept.length = 0;
  list.replaceChildren();
}

// Appends a batch of lines with one layout read and one write.
export function addTraceLines(list, entries) {
  for (const e of entries) kept.push(e);
  if (kept.length > limits.traceLines) kept.splice(0, kept.length - limits.traceLines);
  const atBottom = list.scrollTop + list.clientHeight >= list.scrollHeight - 4;
  const fresh = entries.length > shownLines ? entries.slice(entries.length - shownLines) : entries;
  const fragment = document.createDocumentFragment();
  for (const entry of fresh) {
    const item = document.createElement('li');
    item.className = `k-${entry.kind}`;
    const time = document.createElement('span');
    time.className = 'time';
    time.textContent = entry.time >= 0 ? `${entry.time} ms` : '';
    const text = document.createElement('span');
    text.className = 'text';
    text.textContent = entry.text;
    item.append(time, text);
    fragment.append(item);
  }
  list.append(fragment);
  let extra = list.childElementCount - shownLines;
  while (extra-- > 0) list.firstElementChild.remove();
  if (atBottom) list.scrollTop = list.scrollHeight;
}
