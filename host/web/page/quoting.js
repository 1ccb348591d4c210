// The quoting of scenario step arguments, as the host reads them back:
// "double quotes" around text with blanks, quotes or backslashes, and the
// escapes \" \\ \n \t inside. No DOM, so Node's test runner checks it against
// the host's own cases (tests/host/scenario_quoting_cases.json).

const escapes = { '\\': '\\\\', '"': '\\"', '\n': '\\n', '\t': '\\t' };

// text as one quoted argument.
export function quoted(text) {
  return '"' + String(text).replace(/[\\"\n\t]/g, (c) => escapes[c]) + '"';
}

// text as one argument: bare when it reads back the same, quoted otherwise.
export function token(text) {
  text = String(text);
  if (text !== '' && text[0] !== '#' && !/[ \t\r\n"\\]/.test(text)) return text;
  return quoted(text);
}
