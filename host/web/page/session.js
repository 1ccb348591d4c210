// The session: load and unload, the parent message box, the summary and the
// download of everything done so far as a scenario.
import { session, step } from './api.js';
import { token } from './quoting.js';

export function setUpSession(pins) {
  document.getElementById('load').addEventListener('click', () => step('load'));
  document.getElementById('unload').addEventListener('click', () => step('unload'));
  document.getElementById('parent-form').addEventListener('submit', async (e) => {
    e.preventDefault();
    const text = document.getElementById('parent-text').value;
    const answer = await step(`parent ${token(text)}`);
    if (answer) document.getElementById('parent-reply').textContent = answer.reply === null ? 'null' : answer.reply;
  });
  document.getElementById('download').addEventListener('click', async () => {
    const list = [...pins].map((key) => {
      const [panel, control] = key.split('\n');
      return { panel, control };
    });
    const text = await session(list);
    if (text === null) return;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
    link.download = 'session.scenario';
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  });
}

export function renderSession(state) {
  document.getElementById('load').disabled = state.loaded;
  document.getElementById('unload').disabled = !state.loaded;
  const reply = state.parent.sent ? (state.parent.reply === null ? 'null' : state.parent.reply) : '—';
  const replyBox = document.getElementById('parent-reply');
  if (replyBox.textContent !== reply) replyBox.textContent = reply;
  const s = state.summary;
  const root = document.getElementById('summary');
  const facts = [
    ['commands', s.commands, 'commands'], ['expectations', s.expectations, 'expectations met'],
    ['faults', s.faults.length, 'protocol faults'], ['refusals', s.refusals, 'refusals'],
    ['steps', s.steps, 'steps recorded'],
  ];
  if (!root.firstChild) {
    const line = document.createElement('div');
    line.className = 'facts';
    for (const [key, , what] of facts) {
      const fact = document.createElement('span');
      fact.className = 'fact';
      fact.dataset.fact = key;
      fact.append(document.createElement('b'), ` ${what}`);
      line.append(fact);
    }
    const faults = document.createElement('div');
    faults.className = 'faults';
    root.append(line, faults);
  }
  for (const [key, n] of facts) {
    const fact = root.querySelector(`[data-fact="${key}"]`);
    fact.classList.toggle('bad', (key === 'faults' && n > 0) || (key === 'refusals' && s.failingRefusals > 0));
    if (fact.firstChild.textContent !== String(n)) fact.firstChild.textContent = String(n);
  }
  const faults = root.querySelector('.faults');
  if (faults.childElementCount !== s.faults.length) {
    faults.replaceChildren(...s.faults.map((text) => {
      const f = document.createElement('div');
      f.className = 'fault';
      f.textContent = text;
      return f;
    }));
  }
}
