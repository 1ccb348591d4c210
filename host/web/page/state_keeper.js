// The host's state as the page holds it: a full state when the stream starts
// (routers as summaries, with a sequence number), then the changes that
// follow it, each numbered one past the last. A change out of turn means some
// were missed: the page asks for the full state again and holds the changes
// that come meanwhile, so it never drifts from the host unnoticed.

export function keepState({ onState, onRows, onReload }) {
  let state = null;
  let held = [];
  let fetching = false;

  const applyOne = (change) => {
    for (const [key, value] of Object.entries(change.set || {})) state[key] = value;
    for (const { panel, control } of change.controls || []) {
      const shown = state.panels.find((p) => p.id === panel);
      const at = shown ? shown.controls.findIndex((c) => c.id === control.id) : -1;
      if (at >= 0) shown.controls[at] = control;
    }
    if (change.rows) onRows(change.rows);
    if (change.reload) onReload(change.reload);
    state.seq = change.seq;
  };

  // Applies the held changes that follow the state; false at a gap.
  const drain = () => {
    held.sort((a, b) => a.seq - b.seq);
    while (held.length) {
      const next = held[0];
      if (next.seq <= state.seq) { held.shift(); continue; }
      if (next.seq !== state.seq + 1) return false;
      applyOne(held.shift());
    }
    return true;
  };

  const take = (full) => {
    state = full;
    if (!Number.isInteger(state.seq)) state.seq = 0;
    onReload(null);
    const whole = drain();
    onState(state);
    return whole;
  };

  // Asks for the full state; held changes it does not reach are asked past
  // again a few times, then dropped (they cannot be placed: no stream of this
  // host sent them in this order).
  let behind = 0;
  async function refetch() {
    if (fetching) return;
    fetching = true;
    for (let tries = 0; tries < 5; tries++) {
      try {
        const response = await fetch('/api/state?view=page');
        if (response.ok) {
          const full = await response.json();
          fetching = false;
          if (take(full)) behind = 0;
          else if (++behind < 3) refetch();
          else { held = []; behind = 0; }
          return;
        }
      } catch (e) { /* the host is away: try again */ }
      await new Promise((resolve) => setTimeout(resolve, 1000));
    }
    fetching = false;
  }

  return {
    // A full state from the stream: taken whatever its number (a restarted
    // host counts afresh).
    full(text) {
      held = [];  // older than this state
      take(JSON.parse(text));
    },
    change(text) {
      const change = JSON.parse(text);
      if (!state || fetching) {
        held.push(change);
        if (!state) refetch();
        return;
      }
      if (change.seq <= state.seq) return;
      if (change.seq !== state.seq + 1) {
        held.push(change);
        refetch();
        return;
      }
      applyOne(change);
      onState(state);
    },
    // A tab that joined another's stream has no state yet.
    need() { if (!state) refetch(); },
    get state() { return state; },
  };
}
