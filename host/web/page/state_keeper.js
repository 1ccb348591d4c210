// The host's state as the page holds it: a whole state (routers as
// summaries) numbered by the host, then the changes that follow it, each one
// past the last. A change out of turn means some were missed: the page asks
// for the whole state again and holds the changes that cannot be placed
// meanwhile, so it never drifts from the host unnoticed.
//
// A whole state replaces the one held only when it is not older: the answer
// to a question asked before the stream's latest state, or before changes
// applied since, can arrive after them. Numbers count within one epoch, the
// life of one serving process; a worker restarted after a crash counts afresh
// under a new one. The stream speaks for the process serving now, so its
// epoch is the live one: its state is taken whatever its number, an answer
// from another epoch is not.

export function keepState({ onState, onRows, onReload }) {
  let state = null;
  let live;       // the epoch of the stream's last event; undefined until one says
  let held = [];  // changes that do not follow the state held
  let fetching = false;

  const applyOne = (change) => {
    for (const [key, value] of Object.entries(change.set || {})) state[key] = value;
    for (const { panel, control } of change.controls || []) {
      const shown = state.panels.find((p) => p.id === panel);
      const at = shown ? shown.controls.findIndex((c) => c.id === control.id) : -1;
      if (at >= 0) shown.controls[at] = control;
    }
    if (change.rows) onRows(change.rows, { epoch: change.epoch, seq: change.seq });
    if (change.reload) onReload(change.reload);
    state.seq = change.seq;
  };

  // Applies the held changes that follow the state; false while some wait
  // for a state they follow. Those the state passed, and those of an epoch
  // neither held nor live, are dropped.
  const drain = () => {
    const mine = held.filter((c) => c.epoch === state.epoch).sort((a, b) => a.seq - b.seq);
    held = held.filter((c) => c.epoch !== state.epoch && c.epoch === live);
    for (const change of mine) {
      if (change.seq === state.seq + 1) applyOne(change);
      else if (change.seq > state.seq) held.push(change);
    }
    return held.length === 0;
  };

  // Takes a whole state unless the one held is newer, then applies the held
  // changes after it; true when none is left waiting. A state taken may
  // differ in any row: every table fetches its rows again.
  const take = (whole) => {
    if (!Number.isInteger(whole.seq)) whole.seq = 0;
    if (!state || whole.epoch !== state.epoch || whole.seq > state.seq) {
      state = whole;
      onReload(null);
    }
    const placed = drain();
    onState(state);
    return placed;
  };

  // Asks for the whole state; held changes it does not reach are asked past
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
          const whole = await response.json();
          fetching = false;
          // From another process than the stream's: a dead worker's late
          // answer, or a new one the stream is still to tell of.
          const stray = live !== undefined && whole.epoch !== live;
          if (!stray && take(whole)) behind = 0;
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
    // A whole state from the stream.
    full(text) {
      const whole = JSON.parse(text);
      live = whole.epoch;
      if (!take(whole)) refetch();
    },
    change(text) {
      const change = JSON.parse(text);
      live = change.epoch;
      if (state && change.epoch === state.epoch) {
        if (change.seq <= state.seq) return;
        if (change.seq === state.seq + 1) {
          applyOne(change);
          onState(state);
          return;
        }
      }
      held.push(change);
      refetch();
    },
    // A tab that joined another's stream has no state yet.
    need() { if (!state) refetch(); },
    get state() { return state; },
  };
}
