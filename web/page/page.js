// SPDX-License-Identifier: MIT
// The panel on a phone: the page follows the panel's state over one WebSocket and sends the
// panel's command lines over it. Every change comes from the panel: a click shows only once
// the device has reported it.
'use strict';

const outputs = 4;
const inputs = 4;
let socket = null;
let retryMs = 500;
let retryTimer = 0;
let state = null;
let presets = [];
let activePreset = null;
// The key of the address the page was opened with, kept for the socket only: the address bar,
// the history and bookmarks lose it at once (the answer that brought the page set the cookie).
const key = new URLSearchParams(location.search).get('key');
if (key !== null)
  history.replaceState(null, '', location.pathname);

const $ = (id) => document.getElementById(id);

function el(tag, props, ...children) {
  const node = document.createElement(tag);
  Object.assign(node, props || {});
  for (const child of children)
    node.append(child);
  return node;
}

function showLink(text, kind) {
  const link = $('link');
  link.textContent = text;
  link.className = 'link ' + kind;
}

function showAnswer(text) {
  const answer = $('answer');
  answer.textContent = text;
  answer.className = text.startsWith('error') ? 'answer error' : 'answer';
}

function send(line) {
  if (!socket || socket.readyState !== WebSocket.OPEN) {
    showAnswer('error the page is not connected to the panel');
    return;
  }
  socket.send(line);
}

function buildGrid() {
  const body = $('grid').tBodies[0];
  const rows = [];
  for (let o = 1; o <= outputs; ++o)
    rows.push({ key: String(o), label: 'Out' + o });
  rows.push({ key: 'all', label: 'ALL' });
  for (const row of rows) {
    const head = el('th', { scope: 'row', className: 'output', id: 'output-' + row.key });
    head.append(el('span', { className: 'label', textContent: row.label }));
    if (row.key !== 'all') {
      head.append(' ', el('span', { className: 'colour none', textContent: '?' }));
      head.append(el('span', { className: 'name' }));
    }
    const tr = el('tr', {}, head);
    for (let i = 1; i <= inputs; ++i) {
      const button = el('button', {
        type: 'button', id: 'route-' + row.key + '-' + i, textContent: 'IN' + i,
      });
      button.dataset.line = 'route ' + row.key + ' ' + i;
      button.setAttribute('aria-label', row.label + ' from IN' + i);
      if (row.key !== 'all')
        button.setAttribute('aria-pressed', 'false');
      tr.append(el('td', {}, button));
    }
    body.append(tr);
  }
}

function press(id, pressed) {
  const node = $(id);
  if (node)
    node.setAttribute('aria-pressed', pressed ? 'true' : 'false');
}

const colourWords = { green: 'display', red: 'no display', none: '?' };

// A name in a narrow column wraps between its words only; a word too long for the column is
// shortened with an ellipsis, and the whole text stays in the title and the aria-label.
function showWords(node, text) {
  const words = text.split(' ').filter((word) => word !== '');
  node.replaceChildren(...words.flatMap((word, i) =>
    [i ? ' ' : '', el('span', { className: 'word', textContent: word })]));
  if (text) {
    node.title = text;
    node.setAttribute('aria-label', text);
  } else {
    node.removeAttribute('title');
    node.removeAttribute('aria-label');
  }
}

function showState(next) {
  state = next;
  if (state.connected)
    showLink('Connected' + (state.port ? ' · ' + state.port : ''), 'online');
  else if (state.connecting)
    showLink('Opening ' + (state.port || 'the port') + '…', 'device-off');
  else
    showLink('Device not connected', 'device-off');

  for (const output of state.outputs) {
    const head = $('output-' + output.output);
    const colour = head.querySelector('.colour');
    colour.className = 'colour ' + output.colour;
    colour.textContent = colourWords[output.colour] || '?';
    showWords(head.querySelector('.name'), output.name || '');
    for (let i = 1; i <= inputs; ++i)
      press('route-' + output.output + '-' + i, output.route === i);
  }
  for (const input of state.inputs) {
    const th = document.querySelector('th[data-input="' + input.input + '"]');
    showWords(th, input.name ? 'IN' + input.input + ' ' + input.name : 'IN' + input.input);
  }
  press('mode-matrix', state.mode === 'matrix');
  press('mode-wall', state.mode === 'wall');
  for (let i = 1; i <= inputs; ++i)
    press('wall-' + i, state.wall === i);
  const select = $('resolution');
  const option = [...select.options].find((o) => o.textContent === state.resolution);
  select.value = option ? option.value : '';
  activePreset = state.preset;
  showPresets();
}

// The buttons are made again only when the presets changed: a push comes with every change of
// the panel, and a tap that lands while its button is replaced would be lost.
let shownPresets = '';

function showPresets() {
  const list = $('presets');
  const shown = JSON.stringify(presets);
  if (shown === shownPresets) {
    for (const button of list.querySelectorAll('button'))
      button.setAttribute('aria-pressed',
        button.dataset.line === 'preset recall ' + activePreset ? 'true' : 'false');
    return;
  }
  shownPresets = shown;
  list.replaceChildren();
  for (const preset of presets) {
    const button = el('button', { type: 'button', className: 'preset' },
      el('span', { textContent: preset.name }),
      el('span', { className: 'routes', textContent: preset.routes.join(' ') }));
    button.dataset.line = 'preset recall ' + preset.name;
    button.setAttribute('aria-pressed', preset.name === activePreset ? 'true' : 'false');
    list.append(el('li', {}, button));
  }
  $('no-presets').hidden = presets.length > 0;
}

function take(message) {
  let data;
  try {
    data = JSON.parse(message);
  } catch (e) {
    return;
  }
  if (data.state) {
    showState(data.state);
    send('preset list'); // a preset saved or renamed elsewhere shows too
    return;
  }
  const answer = data.answer;
  if (answer && typeof answer === 'object') {
    if (Array.isArray(answer.presets)) {
      presets = answer.presets;
      activePreset = answer.active;
      showPresets();
    }
    return;
  }
  if (typeof answer === 'string')
    showAnswer(answer);
}

function connect() {
  clearTimeout(retryTimer);
  const address = 'ws://' + location.host + '/ws' + (key ? '?key=' + encodeURIComponent(key) : '');
  socket = new WebSocket(address);
  socket.onopen = () => {
    retryMs = 500;
    showAnswer('');
  };
  socket.onmessage = (event) => take(event.data);
  socket.onclose = () => {
    socket = null;
    const seconds = Math.max(1, Math.round(retryMs / 1000));
    showLink('Connection to the panel lost; trying again in ' + seconds + ' s', 'offline');
    retryTimer = setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, 10000);
  };
}

// a.b.c.d, each part 0 to 255 in decimal digits.
function isAddress(text) {
  const parts = text.split('.');
  return parts.length === 4 &&
    parts.every((p) => /^[0-9]{1,3}$/.test(p) && Number(p) <= 255);
}

function start() {
  buildGrid();
  document.addEventListener('click', (event) => {
    const button = event.target.closest('button[data-line]');
    if (button)
      send(button.dataset.line);
  });
  $('resolution').addEventListener('change', (event) => {
    if (event.target.value !== '')
      send('resolution ' + event.target.value);
  });
  $('address-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const field = $('address');
    const text = field.value.trim();
    const good = isAddress(text);
    field.setAttribute('aria-invalid', good ? 'false' : 'true');
    if (good)
      send('address ' + text);
    else
      showAnswer('error the address is a.b.c.d, each part 0 to 255');
  });
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'visible' && !socket)
      connect(); // a phone that slept: at once, not after the back-off
  });
  connect();
}

start();
