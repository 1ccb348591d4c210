// The page's "Log out" button, shown when the host asks for a login: ends the
// session on the host and goes to the login page.

async function setUp() {
  const button = document.getElementById('logout');
  if (!button) return;
  const res = await fetch('/api/login', { credentials: 'same-origin' });
  const body = res.ok ? await res.json() : {};
  if (!body.required) return;
  button.hidden = false;
  button.addEventListener('click', async () => {
    await fetch('/api/logout', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: '{}',
      credentials: 'same-origin',
    }).catch(() => {});
    window.location.replace('/login.html');
  });
}

setUp().catch(() => {});
