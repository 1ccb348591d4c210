// The login page: the token or password goes to /api/login, which answers
// with the session cookie; the page proper follows.

export async function logIn(secret) {
  const res = await fetch('/api/login', {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ secret }),
    credentials: 'same-origin',
  });
  if (res.ok) return null;
  const body = await res.json().catch(() => ({}));
  return body.error || `the host answered ${res.status}`;
}

const form = document.getElementById('login-form');
if (form) {
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    const button = document.getElementById('login');
    const message = document.getElementById('login-message');
    button.disabled = true;
    const error = await logIn(document.getElementById('secret').value).catch((e) => String(e));
    button.disabled = false;
    if (error === null) {
      window.location.replace('/');
      return;
    }
    message.textContent = error;
    message.hidden = false;
  });
}
