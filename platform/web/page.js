// The page's half of the browser backend: drawing on the canvas, sound,
// the touch controls. The C++ half calls in through Module.vr.
Module.vr = {
  canvas: null,
  ctx: null,
  colours: {},
  frames: 0,           // frames presented so far
  firstFrameAt: 0,     // performance.now() of the first
  mainAt: 0,           // and of the game's start
  texts: [],           // the texts of the last frame, in drawing order
  presents: [],        // performance.now() of the latest frames
  audio: null,
  fetched: {},         // sound path -> its file's bytes, until decoded
  buffers: {},         // sound path -> decoded AudioBuffer
  source: null,        // the one voice
  unlocked: false,     // a gesture has allowed audio
  restTimer: 0,
  played: [],          // every sound the game started: {name, heard, at}

  start() {
    this.mainAt = performance.now();
    const canvas = document.getElementById('canvas');
    this.canvas = canvas;
    canvas.width = this.clientWidth();
    canvas.height = this.clientHeight();
    this.ctx = canvas.getContext('2d', {alpha: false});
    this.ctx.fillStyle = '#000';
    this.ctx.fillRect(0, 0, canvas.width, canvas.height);
    canvas.addEventListener('contextmenu', (e) => e.preventDefault());
    canvas.focus();
    // Browsers start audio only after a gesture of the user.
    const unlock = () => this.unlockAudio();
    for (const type of ['keydown', 'mousedown', 'pointerdown', 'touchstart'])
      window.addEventListener(type, unlock, true);
    this.fetchSounds();
    this.touchControls();
    document.getElementById('replay').addEventListener('click', (e) => {
      e.preventDefault();
      this.showReplays();
    });
  },

  // A line about the leaderboard: ranked or not, sent, listed.
  status(text) {
    const el = document.getElementById('board');
    if (el) el.textContent = text.replace(/^voidrunner: /, '');
  },

  // The run so far as a replay script (voidrunner-trace and voidrunner
  // --replay play it back).
  replayText() { return UTF8ToString(Module._voidrunner_replay()); },
  // The replays the game kept in storage, newest first (named by their start).
  keptReplays() {
    const prefix = this.storageKey('replays/'), names = [];
    try {
      for (let i = 0; i < localStorage.length; ++i) {
        const key = localStorage.key(i);
        if (key && key.startsWith(prefix)) names.push(key.slice(prefix.length));
      }
    } catch (e) {}
    return names.sort().reverse();
  },
  download(name, text) {
    if (!text) return;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], {type: 'text/plain'}));
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  },
  downloadReplay() {
    this.download('voidrunner-' + new Date().toISOString().replace(/[:.]/g, '-') + '.replay',
                  this.replayText());
  },
  // A small list under the link: this run so far, then the kept ones.
  showReplays() {
    const list = document.getElementById('replays');
    if (!list.hidden) {
      list.hidden = true;
      this.canvas.focus();
      return;
    }
    list.textContent = '';
    const add = (label, fetch) => {
      const item = document.createElement('a');
      item.href = '#';
      item.textContent = label;
      item.addEventListener('click', (e) => {
        e.preventDefault();
        fetch();
        list.hidden = true;
        this.canvas.focus();
      });
      list.appendChild(item);
    };
    add('this run so far', () => this.downloadReplay());
    for (const name of this.keptReplays()) {
      add(name, () => {
        let text = null;
        try { text = localStorage.getItem(this.storageKey('replays/' + name)); } catch (e) {}
        this.download(name, text);
      });
    }
    list.hidden = false;
  },

  clientWidth() { return document.documentElement.clientWidth | 0; },
  clientHeight() { return document.documentElement.clientHeight | 0; },

  // The back buffer is the canvas at the playfield's size.
  resize(width, height) {
    const canvas = this.canvas;
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    this.ctx = canvas.getContext('2d', {alpha: false});
  },

  // Where the frame shows in the page: centred, scaled by whole steps.
  place(left, top, width, height) {
    const style = this.canvas.style;
    style.left = left + 'px';
    style.top = top + 'px';
    style.width = width + 'px';
    style.height = height + 'px';
    // Scaled up by whole steps the pixels stay sharp.
    style.imageRendering = width > this.canvas.width ? 'pixelated' : 'auto';
  },

  colour(c) {
    let s = this.colours[c];
    if (!s) s = this.colours[c] = '#' + c.toString(16).padStart(6, '0');
    return s;
  },

  // One frame: the operations WebSurface recorded, six numbers each
  // (texts three more). Runs of lines in one colour become one path.
  draw(ops, count, texts) {
    const ctx = this.ctx, h = HEAP32, bytes = HEAPU8;
    const frameTexts = [];
    let i = ops >> 2;
    const end = i + count;
    let pathColour = -1;
    const stroke = () => {
      if (pathColour >= 0) ctx.stroke();
      pathColour = -1;
    };
    while (i < end) {
      const op = h[i], a = h[i + 1], b = h[i + 2], c = h[i + 3], d = h[i + 4], col = h[i + 5];
      i += 6;
      if (op === 2) {
        if (col !== pathColour) {
          stroke();
          ctx.strokeStyle = this.colour(col);
          ctx.beginPath();
          pathColour = col;
        }
        ctx.moveTo(a + 0.5, b + 0.5);
        ctx.lineTo(c + 0.5, d + 0.5);
        continue;
      }
      stroke();
      if (op === 1) {
        ctx.fillStyle = this.colour(col);
        ctx.fillRect(a, b, c - a, d - b);
      } else if (op === 3) {
        ctx.fillStyle = this.colour(col);
        ctx.fillRect(a, b, 1, 1);
      } else if (op === 4) {
        // Filled white, outlined with the pen, inside the box.
        ctx.beginPath();
        ctx.ellipse((a + c) / 2, (b + d) / 2, Math.max((c - a - 1) / 2, 0),
                    Math.max((d - b - 1) / 2, 0), 0, 0, 2 * Math.PI);
        ctx.fillStyle = '#ffffff';
        ctx.fill();
        ctx.strokeStyle = this.colour(col);
        ctx.stroke();
      } else if (op === 5) {
        const align = h[i], at = texts + h[i + 1], length = h[i + 2];
        i += 3;
        // The game's texts are single bytes, read as Latin-1.
        const text = String.fromCharCode.apply(null, bytes.subarray(at, at + length));
        frameTexts.push(text);
        ctx.save();
        ctx.beginPath();
        ctx.rect(a, b, c - a, d - b);
        ctx.clip();
        ctx.fillStyle = this.colour(col);
        ctx.font = '13px "DejaVu Sans", Verdana, sans-serif';
        ctx.textBaseline = 'middle';
        ctx.textAlign = align === 0 ? 'left' : align === 1 ? 'center' : 'right';
        ctx.fillText(text, align === 0 ? a : align === 1 ? (a + c) / 2 : c, (b + d) / 2);
        ctx.restore();
      }
    }
    stroke();
    this.texts = frameTexts;
    const now = performance.now();
    if (this.frames++ === 0) this.firstFrameAt = now;
    this.presents.push(now);
    if (this.presents.length > 4000) this.presents.splice(0, 2000);
  },

  fetchSounds() {
    // voidrunnerSounds: the build writes it from present/Sounds.def.
    for (const n of voidrunnerSounds) {
      const path = 'snd/' + n + '.wav';
      fetch(path)
        .then((r) => (r.ok ? r.arrayBuffer() : null))
        .then((bytes) => {
          if (!bytes) return;
          this.fetched[path] = bytes;
          this.decode();
        })
        .catch(() => {});  // a missing sound is not heard, nothing more
    }
  },

  // Decoded once each, as soon as there is an audio context.
  decode() {
    if (!this.audio) return;
    for (const path of Object.keys(this.fetched)) {
      const bytes = this.fetched[path];
      delete this.fetched[path];
      this.audio.decodeAudioData(bytes).then((b) => { this.buffers[path] = b; }, () => {});
    }
  },

  unlockAudio() {
    if (this.unlocked) return;
    try {
      if (!this.audio) {
        const Context = window.AudioContext || window.webkitAudioContext;
        if (!Context) return;
        this.audio = new Context();
        this.decode();
      }
      this.audio.resume();
      this.unlocked = true;
      this.rest();
    } catch (e) {
      this.audio = null;  // no audio: the game plays on in silence
    }
  },

  // A running audio context keeps the audio device busy even in silence (a
  // few per cent of a core): let it rest a second after the last sound.
  rest() {
    clearTimeout(this.restTimer);
    this.restTimer = setTimeout(() => {
      if (!this.source && this.audio && this.audio.state === 'running') this.audio.suspend();
    }, 1000);
  },

  stop() {
    if (this.source) {
      try { this.source.stop(); } catch (e) {}
      this.source = null;
    }
    this.rest();
  },

  play(name) {
    const path = name.replace(/\\/g, '/');
    this.stop();
    const buffer = this.buffers[path];
    const heard = !!(buffer && this.audio && this.unlocked);
    if (heard) {
      if (this.audio.state !== 'running') this.audio.resume();
      const source = this.audio.createBufferSource();
      source.buffer = buffer;
      source.connect(this.audio.destination);
      source.onended = () => {
        if (this.source !== source) return;
        this.source = null;
        this.rest();
      };
      source.start();
      this.source = source;
    }
    this.played.push({name: path, heard: heard, at: performance.now()});
    if (this.played.length > 2000) this.played.splice(0, 1000);
  },

  // The program waiting for the next event (WebWindowSystem::getMessage).
  waiting: null,
  waitForEvent(milliseconds) {
    return new Promise((resolve) => {
      const done = () => {
        clearTimeout(timer);
        if (this.waiting === done) this.waiting = null;
        resolve();
      };
      const timer = setTimeout(done, milliseconds);
      this.waiting = done;
    });
  },
  eventPosted() {
    // Called inside the event's handler: the program goes on after it.
    if (this.waiting) this.waiting();
  },

  // The game's files ("save.txt", its lock, "settings.txt", "replays/...")
  // as items of the page's local storage. A file's bytes are kept one to a
  // character (Latin-1).
  owner: Math.random().toString(36).slice(2),
  storageKey(name) { return 'voidrunner/' + name; },
  storageText: null,

  storageLength(name) {
    try {
      const text = window.localStorage.getItem(this.storageKey(name));
      this.storageText = text;
      return text === null ? -1 : text.length;
    } catch (e) {
      return -2;  // storage disabled or refused
    }
  },

  storageCopy(name, out, length) {
    const text = this.storageText || '';
    for (let i = 0; i < length; ++i) {
      const c = text.charCodeAt(i);
      HEAPU8[out + i] = c < 256 ? c : 63;  // not a byte: '?'
    }
    this.storageText = null;
  },

  storageWrite(name, bytes, length) {
    let text = '';
    for (let i = 0; i < length; i += 4096)
      text += String.fromCharCode.apply(null, HEAPU8.subarray(bytes + i, bytes + Math.min(i + 4096, length)));
    try {
      window.localStorage.setItem(this.storageKey(name), text);
      return 1;
    } catch (e) {
      return 0;  // full or disabled: the stored table stays as it was
    }
  },

  // The names of the items in a folder, kept for storageCopy; returns the
  // length of their list, one a line, or -1.
  storageList(folder) {
    const prefix = this.storageKey(folder) + '/';
    try {
      const names = [];
      for (let i = 0; i < window.localStorage.length; ++i) {
        const key = window.localStorage.key(i);
        if (key && key.startsWith(prefix) && !key.includes('/', prefix.length))
          names.push(key.slice(prefix.length));
      }
      this.storageText = names.join('\n');
      return this.storageText.length;
    } catch (e) {
      return -1;
    }
  },

  storageRemove(name) {
    try {
      window.localStorage.removeItem(this.storageKey(name));
      return 1;
    } catch (e) {
      return 0;
    }
  },

  // Another tab's lock counts for two seconds at most: a tab closed while
  // holding it must not keep the others from saving. A lock dated ahead of
  // this tab's clock (a clock set back since) counts as long as one dated
  // as far behind would, so every lock expires.
  storageLock(name) {
    const key = this.storageKey(name) + '.lock';
    try {
      const now = Date.now();
      const held = window.localStorage.getItem(key);
      if (held) {
        const [owner, time] = held.split(' ');
        if (owner !== this.owner && Math.abs(now - Number(time)) < 2000) return 0;
      }
      window.localStorage.setItem(key, this.owner + ' ' + now);
      return window.localStorage.getItem(key).startsWith(this.owner + ' ') ? 1 : 0;
    } catch (e) {
      return 1;  // no storage to share: the write will tell
    }
  },

  storageUnlock(name) {
    const key = this.storageKey(name) + '.lock';
    try {
      const held = window.localStorage.getItem(key);
      if (held && held.startsWith(this.owner + ' ')) window.localStorage.removeItem(key);
    } catch (e) {}
  },

  // The frame benchmark: wait until the canvas has really drawn, and hand
  // the figures to whoever watches the page.
  finish() { this.ctx.getImageData(0, 0, 1, 1); },
  report(json) {
    window.voidrunnerBench = JSON.parse(json);
    console.log(json);
  },

  alert(caption, text) {
    console.error(caption + ': ' + text);
    window.alert(caption + '\n\n' + text);
  },

  // On a touch screen: turn, thrust and fire along the bottom edge, and a
  // button that brings up the device's keyboard for initials and digits.
  touchControls() {
    if (!('ontouchstart' in window) && !(navigator.maxTouchPoints > 0)) return;
    const box = document.getElementById('touch');
    box.hidden = false;
    // The game's keys: 0 left, 1 up (thrust), 2 right, 3 space (fire).
    for (const button of box.querySelectorAll('button[data-key]')) {
      const key = Number(button.dataset.key);
      const set = (down) => (e) => {
        e.preventDefault();
        Module._voidrunner_touch_key(key, down);
      };
      button.addEventListener('pointerdown', set(1));
      for (const type of ['pointerup', 'pointercancel', 'pointerleave'])
        button.addEventListener(type, set(0));
    }
    const field = document.getElementById('typing');
    document.getElementById('keyboard').addEventListener('click', (e) => {
      e.preventDefault();
      field.focus();
    });
    // A device keyboard reports its characters here; a real keyboard's keys
    // never get this far (the game takes them on key down).
    field.addEventListener('input', () => {
      for (const ch of field.value) {
        const code = ch.codePointAt(0);
        if (code < 256) Module._voidrunner_type(code);
      }
      field.value = '';
    });
  },
};
window.voidrunner = Module.vr;
Module.preRun = [() => Module.vr.start()];
