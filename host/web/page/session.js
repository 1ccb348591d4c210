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
  document.getElementById('parent-reply').textContent = reply;
  const s = state.summary;
  const root = document.getElementById('summary');
  root.replaceChildren();
  const facts = [
    [s.commands, 'commands'], [s.expectations, 'expectations met'], [s.faults.length, 'protocol faults'],
    [s.steps, 'steps recorded'],
  ];
  const line = document.createElement('div');
  line.className = 'facts';
  for (const [n, what] of facts) {
    const fact = document.createElement('span');
    fact.className = what === 'protocol faults' && n > 0 ? 'fact bad' : 'fact';
    fact.innerHTML = '<b></b> ';
    fact.firstChild.textContent = String(n);
    fact.append(what);
    line.append(fact);
  }
  root.append(line);
  for (const fault of s.faults) {
    const f = document.createElement('div');
    f.className = 'fault';
    f.textContent = fault;
    root.append(f);
  }
}
