'use strict';
// The remote's page: the secret comes once in the address's fragment
// (#k=...), is kept in this browser and taken out of the address bar; the
// player's state, the list and the colour come over a WebSocket, and the
// controls send commands over it.
(function () {
  const $ = (id) => document.getElementById(id);
  let key = null;
  const match = /^#k=([0-9a-f]{32})$/.exec(location.hash);
  if (match) {
    key = match[1];
    try { localStorage.setItem('chromolaKey', key); } catch (e) { /* private mode */ }
    history.replaceState(null, '', location.pathname);
  } else {
    try { key = localStorage.getItem('chromolaKey'); } catch (e) { key = null; }
  }
  if (!key || !/^[0-9a-f]{32}$/.test(key)) {
    $('nokey').hidden = false;
    return;
  }

  let socket = null;
  let retry = 500;
  let state = {};
  let editing = null;
  const pending = {};  // a slider's value waiting to be sent  // the control the user holds, not overwritten meanwhile

  const time = (s) => Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
  const send = (cmd, value) => {
    if (socket && socket.readyState === WebSocket.OPEN) {
      socket.send(JSON.stringify(value === undefined ? { cmd } : { cmd, value }));
    }
  };
  const linkShown = (on, text) => {
    const link = $('link');
    link.textContent = text;
    link.className = 'link ' + (on ? 'on' : 'off');
  };

  function showState(s) {
    state = s;
    $('name').textContent = s.live ? 'Живой режим' : (s.name || '—');
    $('tags').textContent = [s.artist, s.title].filter((t) => t).join(' — ');
    if (editing !== $('pos')) {
      $('pos').max = String(s.len);
      $('pos').value = String(s.pos);
    }
    $('pos').disabled = !s.playing;
    $('at').textContent = time(s.pos);
    $('len').textContent = time(s.len);
    for (const id of ['bright', 'red', 'green', 'blue']) {
      if (editing !== $(id) && !pending[id]) { $(id).value = String(s[id]); }
      $(id + 'Out').textContent = String(id === 'bright' ? s[id] : s[id] - 16);
    }
    for (const id of ['invert', 'live', 'flash', 'auto', 'lights']) { $(id).checked = !!s[id]; }
    if (editing !== $('pause')) { $('pause').value = String(s.pause); }
    $('source').value = String(s.source);
    const items = $('list').children;
    for (let i = 0; i < items.length; i++) {
      items[i].classList.toggle('current', i === s.index && !s.live);
    }
  }

  function showList(entries) {
    const list = $('list');
    list.replaceChildren();
    entries.forEach((name, index) => {
      const item = document.createElement('li');
      item.textContent = name;
      item.addEventListener('click', () => send('play', index));
      list.appendChild(item);
    });
    showState(state);
  }

  function connect() {
    linkShown(false, 'Подключение…');
    socket = new WebSocket('ws://' + location.host + '/ws?k=' + key);
    socket.onopen = () => { retry = 500; linkShown(true, 'На связи'); };
    socket.binaryType = 'arraybuffer';
    socket.onmessage = (event) => {
      // The colour shown: three bytes, red, green and blue.
      if (event.data instanceof ArrayBuffer) {
        const c = new Uint8Array(event.data);
        if (c.length === 3) {
          $('swatch').style.backgroundColor = 'rgb(' + c[0] + ',' + c[1] + ',' + c[2] + ')';
        }
        return;
      }
      let message;
      try { message = JSON.parse(event.data); } catch (e) { return; }
      if (message.t === 'state') {
        showState(message);
      } else if (message.t === 'list') {
        showList(message.entries);
      }
    };
    socket.onclose = (event) => {
      socket = null;
      if (event.code === 4001) {
        try { localStorage.removeItem('chromolaKey'); } catch (e) { /* nothing kept */ }
        linkShown(false, 'Ключ сменился');
        $('nokey').hidden = false;
        return;
      }
      linkShown(false, 'Нет связи, переподключение…');
      // A refused key (401 at the handshake) is told apart from a lost link.
      fetch('/state', { headers: { Authorization: 'Bearer ' + key }, cache: 'no-store' })
        .then((answer) => {
          if (answer.status === 401) {
            linkShown(false, 'Неверный ключ');
            $('nokey').hidden = false;
          } else {
            setTimeout(connect, retry);
          }
        })
        .catch(() => setTimeout(connect, retry));
      retry = Math.min(retry * 2, 5000);
    };
  }

  const holding = (element) => {
    element.addEventListener('pointerdown', () => { editing = element; });
    element.addEventListener('focus', () => { editing = element; });
    element.addEventListener('blur', () => { if (editing === element) { editing = null; } });
    element.addEventListener('change', () => { if (editing === element) { editing = null; } });
  };
  for (const id of ['pos', 'bright', 'red', 'green', 'blue', 'pause']) { holding($(id)); }
  // A slider being dragged sends at most every 80 ms, and its last value.
  for (const id of ['bright', 'red', 'green', 'blue']) {
    $(id).addEventListener('input', () => {
      const value = Number($(id).value);
      if (pending[id]) {
        pending[id].value = value;
        return;
      }
      pending[id] = { value };
      setTimeout(() => { send(id, pending[id].value); pending[id] = null; }, 80);
    });
  }
  $('pos').addEventListener('change', () => send('seek', Number($('pos').value)));
  $('pause').addEventListener('change', () => {
    const seconds = Number($('pause').value.replace(',', '.'));
    if (Number.isFinite(seconds)) { send('pause', seconds); }
  });
  for (const id of ['invert', 'live', 'flash', 'auto', 'lights']) {
    $(id).addEventListener('change', () => send(id, $(id).checked));
  }
  $('source').addEventListener('change', () => send('source', Number($('source').value)));
  $('previous').addEventListener('click', () => send('previous'));
  $('next').addEventListener('click', () => send('next'));
  $('stop').addEventListener('click', () => send('stop'));
  $('play').addEventListener('click', () => { if (state.index >= 0) { send('play', state.index); } });
  connect();
})();
