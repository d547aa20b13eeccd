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
  lastOps: null,       // the last frame's operations, when it cleared the canvas
  lastWidth: 0,
  lastHeight: 0,
  presents: [],        // performance.now() of the latest frames
  audio: null,
  fetched: {},         // sound path -> its file's bytes, until decoded
  buffers: {},         // sound path -> decoded AudioBuffer
  source: null,        // the one voice
  unlocked: false,     // a gesture has allowed audio
  restTimer: 0,
  pads: 0,             // game controllers connected
  padListening: false,
  keysHeld: new Set(), // keyboard keys and touch pointers down now
  handsAt: -Infinity,  // performance.now() of the last key or touch
  played: [],          // every sound the game started: {name, heard, at}

  contextOptions: {alpha: false, desynchronized: true},

  start() {
    this.mainAt = performance.now();
    const canvas = document.getElementById('canvas');
    this.canvas = canvas;
    this.stage = document.getElementById('stage');
    // The touch controls take their room before the playfield is measured.
    this.touchControls();
    canvas.width = this.clientWidth();
    canvas.height = this.clientHeight();
    this.ctx = canvas.getContext('2d', this.contextOptions);
    this.ctx.fillStyle = '#000';
    this.ctx.fillRect(0, 0, canvas.width, canvas.height);
    canvas.addEventListener('contextmenu', (e) => e.preventDefault());
    canvas.focus();
    // Browsers start audio only after a gesture of the user.
    const unlock = () => this.unlockAudio();
    for (const type of ['keydown', 'mousedown', 'pointerdown', 'touchstart'])
      window.addEventListener(type, unlock, true);
    this.watchHands();
    this.fetchSounds();
    this.welcome();
    this.hidePointer();
    this.padConnected = () => { this.pads++; };
    this.padDisconnected = () => { this.pads = Math.max(this.pads - 1, 0); };
    this.listenToPads(true);
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

  // A box over the stage (never over the bar): a title, lines of text and
  // links or buttons. Returns the box.
  notice(id, title, lines, actions) {
    const box = document.getElementById(id);
    box.textContent = '';
    const head = document.createElement('b');
    head.textContent = title;
    box.append(head);
    for (const line of lines) {
      const p = document.createElement('p');
      p.textContent = line;
      box.append(p);
    }
    const row = document.createElement('p');
    row.className = 'actions';
    for (const action of actions) {
      const a = document.createElement('a');
      a.textContent = action[0];
      a.href = action[1];
      row.append(a);
    }
    box.append(row);
    box.hidden = false;
    return box;
  },

  // A watched run: whose, what score and when, above the field.
  watching(player, score, submitted) {
    const title = document.getElementById('watch-title');
    const when = submitted > 0 ? new Date(submitted).toISOString().slice(0, 10) : '';
    title.querySelector('.who').textContent = player;
    title.querySelector('.what').textContent = score + ' points' + (when ? ', ' + when : '');
    const link = title.querySelector('.player');
    link.href = 'leaderboard.html?player=' + encodeURIComponent(player);
    title.hidden = false;
    this.watchingRun = true;
    document.title = player + ', ' + score + ' - Voidrunner';
  },
  cannotWatch() {
    document.getElementById('watch-title').hidden = true;
    this.notice('ended', 'This run cannot be watched',
                ['It is not listed: hidden by the leaderboard, or the address is mistyped.'],
                [['See the board', 'leaderboard.html'], ['Play', 'index.html']]);
  },
  watchEnded() {
    this.notice('ended', 'The run has ended', [],
                [['Watch again', location.href], ['See the board', 'leaderboard.html'],
                 ['Play', 'index.html']]);
  },

  // The first ranked game: the name to play under, claimed by the game
  // (its key stays in this browser), or a player line pasted from another
  // device; '' to play unranked. `why`: what was wrong with the last one.
  askName(why) {
    const box = document.getElementById('name-prompt');
    const field = box.querySelector('input');
    box.querySelector('.why').textContent = why;
    box.hidden = false;
    // The first visit's keys wait under it: a key typed here is no start.
    const welcome = document.getElementById('welcome');
    welcome.hidden = true;
    field.focus();
    return new Promise((resolve) => {
      const done = (value) => {
        box.hidden = true;
        welcome.hidden = !this.welcoming;
        box.querySelector('form').onsubmit = null;
        box.querySelector('.unranked').onclick = null;
        this.canvas.focus();
        resolve(value);
      };
      box.querySelector('form').onsubmit = (e) => {
        e.preventDefault();
        // Composed as the rule wants it; the game judges it by that rule.
        const value = field.value.trim().normalize('NFC');
        if (value) done(value);
      };
      box.querySelector('.unranked').onclick = (e) => {
        e.preventDefault();
        done('');
      };
    });
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

  // The game's window is the stage: the page less the line on how to play
  // or the touch controls.
  clientWidth() { return this.stage.clientWidth | 0; },
  clientHeight() { return this.stage.clientHeight | 0; },
  stageLeft() { return this.stage.getBoundingClientRect().left | 0; },
  stageTop() { return this.stage.getBoundingClientRect().top | 0; },

  // How frames are shown: the field's own pixels on a canvas of its size,
  // scaled by the page ('pixels'), or the frame's drawing done again at the
  // screen's own pixels on a canvas over the whole stage ('vector').
  look: 'pixels',
  fieldWidth: 0,
  fieldHeight: 0,
  placed: null,        // [left, top, width, height] of the field on the stage, CSS pixels

  // The back buffer: a field of this size.
  resize(width, height) {
    this.fieldWidth = width;
    this.fieldHeight = height;
    this.layout();
  },

  // Where the frame shows on the stage: centred, scaled by whole steps
  // (pixels) or to fit (vector).
  place(left, top, width, height) {
    this.placed = [left, top, width, height];
    this.layout();
  },

  // The canvas's size and place for the look, the field and the stage. A
  // canvas of a new size is drawn whole next time.
  layout() {
    const canvas = this.canvas, style = canvas.style;
    let width = this.fieldWidth, height = this.fieldHeight;
    const dpr = window.devicePixelRatio || 1;
    if (this.look === 'vector') {
      width = Math.round(this.clientWidth() * dpr);
      height = Math.round(this.clientHeight() * dpr);
    }
    if (width > 0 && height > 0 && (canvas.width !== width || canvas.height !== height)) {
      canvas.width = width;
      canvas.height = height;
      this.lastOps = null;
      this.lastVectors = null;
    }
    this.ctx = canvas.getContext('2d', this.contextOptions);
    if (this.look === 'vector') {
      style.left = style.top = '0px';
      style.width = this.clientWidth() + 'px';
      style.height = this.clientHeight() + 'px';
      style.imageRendering = 'auto';
    } else if (this.placed) {
      // The canvas keeps the frame's pixels; on a screen with more than one
      // device pixel to a CSS pixel, each is shown as a square of whole
      // device pixels when the steps come out whole, and crisp.
      const [left, top, w, h] = this.placed;
      style.left = left + 'px';
      style.top = top + 'px';
      style.width = w + 'px';
      style.height = h + 'px';
      const step = (w / canvas.width) * dpr;
      const whole = step >= 1.999 && Math.abs(step - Math.round(step)) < 0.001;
      style.imageRendering = whole ? 'pixelated' : 'auto';
    }
    this.askToTurn();
  },

  // Ranked play on an upright phone: the wide standard field would be a
  // strip a quarter of the screen high. The page asks to turn the phone
  // (or to play unranked on a field of the screen's own size), and the
  // game waits, paused, meanwhile.
  askToTurn() {
    const sign = document.getElementById('turn');
    // A watched run is no game to leave: it plays on, upright or not.
    if (!sign || !this.touch || !this.fieldWidth || this.watchingRun) return;
    const w = this.clientWidth(), h = this.clientHeight();
    const standard = this.fieldWidth !== w || this.fieldHeight !== h;
    const ask = standard && this.fieldWidth > this.fieldHeight && h > w;
    if (ask && sign.hidden) {
      const query = new URLSearchParams(location.search);
      query.delete('daily');
      query.set('free', '1');
      document.getElementById('unranked').href = '?' + query;
      if (this.frames > 0) Module._voidrunner_leave();
      else this.leaveAtFirstFrame = true;
    }
    sign.hidden = !ask;
  },

  // The mouse pointer leaves the playfield after two seconds without motion.
  hidePointer() {
    const canvas = this.canvas;
    let timer = 0;
    const moved = () => {
      canvas.style.cursor = '';
      clearTimeout(timer);
      timer = setTimeout(() => { canvas.style.cursor = 'none'; }, 2000);
    };
    canvas.addEventListener('mousemove', moved);
    moved();
  },

  // On the first visit (nothing stored yet) the keys over the frame, gone
  // at the first key or touch; the game plays on underneath.
  welcome() {
    const key = this.storageKey('welcomed');
    try {
      for (let i = 0; i < localStorage.length; ++i)
        if (localStorage.key(i).startsWith(this.storageKey(''))) return;
    } catch (e) {
      return;  // no storage: no way to tell a first visit
    }
    const sign = document.getElementById('welcome');
    if (this.touch) {
      sign.querySelector('.keys').textContent =
          '\u25c0 \u25b6 turn, \u25b2 thrusts, \u25cf fires, ABC types, II pause, ? help';
      sign.querySelector('.start').textContent = 'touch to start';
    }
    sign.hidden = false;
    this.welcoming = true;
    const gone = (e) => {
      // Keys typed in a box over the stage (the name asked for) start nothing.
      if (e && e.target && e.target.closest && e.target.closest('.box')) return;
      this.welcoming = false;
      sign.hidden = true;
      for (const type of ['keydown', 'pointerdown']) window.removeEventListener(type, gone, true);
      try { localStorage.setItem(key, '1'); } catch (e) {}
    };
    for (const type of ['keydown', 'pointerdown']) window.addEventListener(type, gone, true);
  },

  colour(c) {
    let s = this.colours[c];
    if (!s) s = this.colours[c] = '#' + c.toString(16).padStart(6, '0');
    return s;
  },

  // One frame: the operations the back buffer noted, six numbers each (texts
  // three more). Only what changed since the last frame is drawn again: the
  // tiles that an operation of either frame, not in both, can touch are
  // cleared and drawn over, clipped; the rest of the canvas keeps its
  // pixels, which are already this frame's. A frame like the last one is
  // not drawn at all, and the browser has nothing new to show.
  draw(ops, count, texts) {
    if (this.look !== 'pixels') {
      this.look = 'pixels';
      this.layout();
    }
    const frame = this.readOps(ops, count, texts);
    const canvas = this.canvas, ctx = this.ctx, width = canvas.width, height = canvas.height;
    const w = frame.words, last = this.lastOps;
    const background = frame.n > 0 && w[0] === 1 && w[5] === 0 && w[1] <= 0 && w[2] <= 0 &&
                       w[3] >= width && w[4] >= height;
    this.lastOps = background ? frame : null;
    let dirty = null;
    if (background && last && this.lastWidth === width && this.lastHeight === height)
      dirty = this.changedTiles(last, frame, width, height);
    this.lastWidth = width;
    this.lastHeight = height;
    if (!dirty) {
      this.drawOps(frame, null);
    } else if (dirty.count > 0) {
      this.clipAndClear(dirty.rects);
      this.drawOps(frame, dirty);
      ctx.restore();
    }
    this.shown(frame);
  },

  // Saves the context, clips it to the rectangles (left, top, width,
  // height, one after another) and blackens them; the caller restores it.
  clipAndClear(rects) {
    const ctx = this.ctx;
    ctx.save();
    ctx.beginPath();
    for (let k = 0; k < rects.length; k += 4) ctx.rect(rects[k], rects[k + 1], rects[k + 2], rects[k + 3]);
    ctx.clip();
    ctx.fillStyle = '#000';
    for (let k = 0; k < rects.length; k += 4) ctx.fillRect(rects[k], rects[k + 1], rects[k + 2], rects[k + 3]);
  },

  // A frame is on the canvas.
  shown(frame) {
    this.texts = frame.strings;
    const now = performance.now();
    if (this.frames++ === 0) this.firstFrameAt = now;
    this.presents.push(now);
    if (this.presents.length > 4000) this.presents.splice(0, 2000);
    if (this.leaveAtFirstFrame) {
      this.leaveAtFirstFrame = false;
      Module._voidrunner_leave();
    }
  },

  // The vector look: the frame's operations drawn again, in the field's
  // coordinates scaled to the screen's own pixels, into the place on a
  // canvas as large as the stage, with a thin border where the field does
  // not fill it. As with the field's pixels, only the tiles that changed
  // are drawn again (the field's tiles, each rounded out to whole pixels).
  lastVectors: null,
  lastView: '',
  glow: false,         // a soft glow round lines and dots ("glow on" in settings.txt)
  drawVectors(ops, count, texts) {
    const dpr = window.devicePixelRatio || 1;
    if (this.look !== 'vector' || this.canvas.width !== Math.round(this.clientWidth() * dpr) ||
        this.canvas.height !== Math.round(this.clientHeight() * dpr)) {
      this.look = 'vector';
      this.layout();
    }
    const frame = this.readOps(ops, count, texts);
    const canvas = this.canvas, ctx = this.ctx, fw = this.fieldWidth, fh = this.fieldHeight;
    const p = this.placed || [0, 0, fw, fh];
    const sx = p[2] * dpr / fw, sy = p[3] * dpr / fh, ox = p[0] * dpr, oy = p[1] * dpr;
    const x0 = Math.round(ox), y0 = Math.round(oy);
    const x1 = Math.round(ox + fw * sx), y1 = Math.round(oy + fh * sy);
    const view = [sx, sy, ox, oy, canvas.width, canvas.height, this.glow].join();
    const last = this.lastVectors;
    // Lines and dots glow only here, and their boxes reach further then.
    this.glowing = this.glow;
    // Below one pixel to a field pixel a tile's margin no longer covers
    // what anti-aliasing spills: then drawn whole.
    const dirty = last && this.lastView === view && sx >= 1 && sy >= 1 ?
        this.changedTiles(last, frame, fw, fh) : null;
    this.lastVectors = frame;
    this.lastView = view;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    const areas = [];
    if (!dirty) {
      ctx.fillStyle = '#000';
      ctx.fillRect(0, 0, canvas.width, canvas.height);
      this.drawBorder(x0, y0, x1, y1, Math.min(sx, sy));
      areas.push(x0, y0, x1 - x0, y1 - y0);
    } else {
      const r = dirty.rects;
      for (let k = 0; k < r.length; k += 4) {
        const left = Math.max(Math.floor(ox + r[k] * sx) - 1, x0);
        const top = Math.max(Math.floor(oy + r[k + 1] * sy) - 1, y0);
        const right = Math.min(Math.ceil(ox + (r[k] + r[k + 2]) * sx) + 1, x1);
        const bottom = Math.min(Math.ceil(oy + (r[k + 1] + r[k + 3]) * sy) + 1, y1);
        areas.push(left, top, right - left, bottom - top);
      }
    }
    if (areas.length > 0) {
      this.clipAndClear(areas);
      ctx.setTransform(sx, 0, 0, sy, ox, oy);
      this.drawOps(frame, dirty);
      ctx.restore();
    }
    this.glowing = false;
    this.shown(frame);
  },

  // The field's edge, where it does not fill the stage: a thin dim line a
  // little outside it.
  drawBorder(x0, y0, x1, y1, scale) {
    const canvas = this.canvas, ctx = this.ctx;
    if (x0 <= 0 && y0 <= 0 && x1 >= canvas.width && y1 >= canvas.height) return;
    const width = Math.max(1, Math.floor(scale * 0.75)), out = width * 1.5;
    ctx.strokeStyle = '#5a5a5a';
    ctx.lineWidth = width;
    ctx.strokeRect(x0 - out, y0 - out, x1 - x0 + 2 * out, y1 - y0 + 2 * out);
    ctx.lineWidth = 1;
  },

  // The frame's operations kept for the next frame: their numbers as they
  // came, where each starts, and the texts (Latin-1, one byte each).
  readOps(ops, count, texts) {
    const words = HEAP32.slice(ops >> 2, (ops >> 2) + count), bytes = HEAPU8;
    const starts = new Int32Array(count / 6 | 0), textOf = new Int32Array(count / 6 | 0).fill(-1);
    const strings = [];
    let n = 0;
    for (let i = 0; i < count; ++n) {
      starts[n] = i;
      if (words[i] === 5) {
        const at = texts + words[i + 7];
        textOf[n] = strings.length;
        strings.push(String.fromCharCode.apply(null, bytes.subarray(at, at + words[i + 8])));
        i += 9;
      } else {
        i += 6;
      }
    }
    return {words: words, starts: starts, n: n, textOf: textOf, strings: strings};
  },

  // The pixels operation k can touch, as [left, top, right, bottom) into
  // `box`: anti-aliasing reaches a pixel beyond a line or an outline.
  opBox(frame, k, box) {
    const w = frame.words, i = frame.starts[k], op = w[i];
    const a = w[i + 1], b = w[i + 2], c = w[i + 3], d = w[i + 4];
    if (op === 3) {
      const g = this.glowing ? 2 : 0;
      box[0] = a - g; box[1] = b - g; box[2] = a + 1 + g; box[3] = b + 1 + g;
      return;
    }
    // A glow reaches a field pixel and a half further.
    const m = (op === 2 || op === 4 ? 2 : 0) + (this.glowing ? 2 : 0);
    box[0] = Math.min(a, c) - m;
    box[1] = Math.min(b, d) - m;
    box[2] = Math.max(a, c) + 1 + m;
    box[3] = Math.max(b, d) + 1 + m;
  },

  opHash(frame, k) {
    const w = frame.words, i = frame.starts[k];
    let h = 0x811c9dc5;
    for (let j = i; j < i + 6; ++j) h = Math.imul(h ^ w[j], 0x01000193);
    if (frame.textOf[k] >= 0) {
      const text = frame.strings[frame.textOf[k]];
      h = Math.imul(h ^ w[i + 6], 0x01000193);
      for (let j = 0; j < text.length; ++j) h = Math.imul(h ^ text.charCodeAt(j), 0x01000193);
    }
    return h >>> 0;
  },

  sameOp(x, j, y, k) {
    const u = x.words, v = y.words, i = x.starts[j], l = y.starts[k];
    for (let t = 0; t < 6; ++t)
      if (u[i + t] !== v[l + t]) return false;
    const s = x.textOf[j], t = y.textOf[k];
    return s < 0 ? t < 0 : t >= 0 && u[i + 6] === v[l + 6] && x.strings[s] === y.strings[t];
  },

  tile: 32,

  // The tiles an operation of one frame and not the other can touch, as a
  // grid and as rectangles (runs along each row of tiles); null when so
  // much changed that drawing all of it is as cheap. The first operation,
  // the black fill of the whole frame, is every frame's.
  changedTiles(last, frame, width, height) {
    const T = this.tile, across = Math.ceil(width / T), down = Math.ceil(height / T);
    const grid = new Uint8Array(across * down), box = [0, 0, 0, 0];
    let count = 0;
    const mark = (f, k) => {
      this.opBox(f, k, box);
      const x0 = Math.max(box[0], 0), y0 = Math.max(box[1], 0);
      const x1 = Math.min(box[2], width), y1 = Math.min(box[3], height);
      if (x0 >= x1 || y0 >= y1) return;
      for (let y = Math.floor(y0 / T); y <= Math.floor((y1 - 1) / T); ++y)
        for (let x = Math.floor(x0 / T); x <= Math.floor((x1 - 1) / T); ++x)
          if (!grid[y * across + x]) {
            grid[y * across + x] = 1;
            ++count;
          }
    };
    // The last frame's operations in an open hash table, each matched at
    // most once.
    let size = 16;
    while (size < 2 * last.n) size *= 2;
    const slots = new Int32Array(size).fill(-1), hashes = new Uint32Array(last.n);
    const taken = new Uint8Array(last.n);
    for (let j = 1; j < last.n; ++j) {
      const h = hashes[j] = this.opHash(last, j);
      let s = h & (size - 1);
      while (slots[s] >= 0) s = (s + 1) & (size - 1);
      slots[s] = j;
    }
    for (let k = 1; k < frame.n; ++k) {
      const h = this.opHash(frame, k);
      let s = h & (size - 1), found = false;
      for (; slots[s] >= 0; s = (s + 1) & (size - 1)) {
        const j = slots[s];
        if (!taken[j] && hashes[j] === h && this.sameOp(last, j, frame, k)) {
          taken[j] = 1;
          found = true;
          break;
        }
      }
      if (!found) mark(frame, k);
    }
    for (let j = 1; j < last.n; ++j)
      if (!taken[j]) mark(last, j);
    if (count > grid.length * 0.6) return null;
    const rects = [];
    for (let y = 0; y < down; ++y)
      for (let x = 0; x < across; ++x) {
        if (!grid[y * across + x]) continue;
        let run = x;
        while (run + 1 < across && grid[y * across + run + 1]) ++run;
        rects.push(x * T, y * T, Math.min((run + 1) * T, width) - x * T, Math.min((y + 1) * T, height) - y * T);
        x = run;
      }
    return {grid: grid, across: across, down: down, count: count, rects: rects};
  },

  // Whether operation k can touch a changed tile.
  touches(dirty, frame, k, box) {
    const T = this.tile;
    this.opBox(frame, k, box);
    const across = dirty.across;
    const tx0 = Math.max(Math.floor(box[0] / T), 0), tx1 = Math.min(Math.floor((box[2] - 1) / T), across - 1);
    const ty0 = Math.max(Math.floor(box[1] / T), 0), ty1 = Math.min(Math.floor((box[3] - 1) / T), dirty.down - 1);
    for (let y = ty0; y <= ty1; ++y)
      for (let x = tx0; x <= tx1; ++x)
        if (dirty.grid[y * across + x]) return true;
    return false;
  },

  // Draws the frame's operations, only those that can touch a changed tile
  // when `dirty` is given. Runs of lines in one colour become one path.
  drawOps(frame, dirty) {
    const ctx = this.ctx, w = frame.words, box = [0, 0, 0, 0];
    let pathColour = -1;
    const stroke = () => {
      if (pathColour >= 0) {
        if (this.glowing) this.glowUnder(() => ctx.stroke(), 4);
        ctx.stroke();
      }
      pathColour = -1;
    };
    for (let k = 0; k < frame.n; ++k) {
      if (dirty && !this.touches(dirty, frame, k, box)) continue;
      const i = frame.starts[k];
      const op = w[i], a = w[i + 1], b = w[i + 2], c = w[i + 3], d = w[i + 4], col = w[i + 5];
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
        if (this.glowing) {
          this.glowUnder(() => {
            ctx.beginPath();
            ctx.arc(a + 0.5, b + 0.5, 2, 0, 2 * Math.PI);
            ctx.fill();
          }, 1);
        }
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
        const align = w[i + 6];
        ctx.save();
        ctx.beginPath();
        ctx.rect(a, b, c - a, d - b);
        ctx.clip();
        ctx.fillStyle = this.colour(col);
        ctx.font = '13px "DejaVu Sans", Verdana, sans-serif';
        ctx.textBaseline = 'middle';
        ctx.textAlign = align === 0 ? 'left' : align === 1 ? 'center' : 'right';
        ctx.fillText(frame.strings[frame.textOf[k]], align === 0 ? a : align === 1 ? (a + c) / 2 : c, (b + d) / 2);
        ctx.restore();
      }
    }
    stroke();
  },

  // A line's or a dot's glow: drawn faint and wide (in field pixels) under it.
  glowing: false,
  glowUnder(draw, width) {
    const ctx = this.ctx;
    ctx.save();
    ctx.globalAlpha = 0.22;
    ctx.lineWidth = width;
    draw();
    ctx.restore();
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
        // Sound buffered for 40 ms rather than the default 10: the audio
        // threads wake a quarter as often, which halves what sound costs
        // while it plays; a tick is 62 ms.
        this.audio = new Context({latencyHint: 0.04});
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

  // The host's volume, in tenths: every sound goes through one gain.
  volume: 1,
  setVolume(tenths) {
    this.volume = Math.min(Math.max(tenths, 0), 10) / 10;
    if (this.gain) this.gain.gain.value = this.volume;
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
      if (!this.gain) {
        this.gain = this.audio.createGain();
        this.gain.connect(this.audio.destination);
      }
      this.gain.gain.value = this.volume;
      source.connect(this.gain);
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

  // Pads are read only once one is connected (WebGamepads). Listening for
  // one has the browser poll them on a thread of its own, a cost that
  // shows: so no listening while the game waits (paused), when no pad is
  // read anyway, nor while the keyboard or the touch controls fly the ship
  // (a key held, or one pressed in the last few seconds). A pad makes
  // itself known with a button pressed while the page listens.
  padQuietMs: 5000,
  listenToPads(on) {
    if (on === this.padListening) return;
    this.padListening = on;
    const method = on ? 'addEventListener' : 'removeEventListener';
    window[method]('gamepadconnected', this.padConnected);
    window[method]('gamepaddisconnected', this.padDisconnected);
  },
  padsConnected() {
    this.listenToPads(this.pads > 0 ||
                      (this.keysHeld.size === 0 && performance.now() - this.handsAt >= this.padQuietMs));
    return this.pads > 0;
  },
  watchHands() {
    const down = (id) => {
      this.keysHeld.add(id);
      this.handsAt = performance.now();
    };
    const up = (id) => {
      this.keysHeld.delete(id);
      this.handsAt = performance.now();
    };
    window.addEventListener('keydown', (e) => down(e.code), true);
    window.addEventListener('keyup', (e) => up(e.code), true);
    window.addEventListener('pointerdown', (e) => down('pointer' + e.pointerId), true);
    for (const type of ['pointerup', 'pointercancel'])
      window.addEventListener(type, (e) => up('pointer' + e.pointerId), true);
    // Keys released elsewhere are never seen coming up.
    window.addEventListener('blur', () => this.keysHeld.clear());
  },

  // The program waiting for the next event (WebWindowSystem::getMessage,
  // paused: no pad is read meanwhile) or for its next tick (WebClock).
  waiting: null,
  waitForEvent(milliseconds, paused) {
    if (paused) this.listenToPads(false);
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

  // A request to the leaderboard (WebHttp): [status, body, retryAfter], or
  // [0, why, -1] when there is no answer, none within `timeout` ms
  // included. An answer over a megabyte is refused, as the desktop's
  // clients refuse it, before it is all read.
  replyLimit: 1 << 20,
  async fetchText(method, url, body, timeout, auth) {
    const control = new AbortController();
    const timer = setTimeout(() => control.abort(), timeout || 15000);
    const options = {method: method, signal: control.signal, headers: {}};
    if (method === 'POST') {
      options.body = body;
      options.headers['Content-Type'] = 'text/plain; charset=utf-8';
    }
    // The player key, for a run or a ticket under a claimed name.
    if (auth) options.headers['Authorization'] = auth;
    try {
      const r = await fetch(url, options);
      const wait = Number(r.headers.get('Retry-After'));
      const retryAfter = Number.isInteger(wait) && wait > 0 ? wait : -1;
      if (!r.body) return [r.status, '', retryAfter];  // an answer with no body (204)
      const reader = r.body.getReader(), decoder = new TextDecoder();
      let size = 0, text = '';
      for (;;) {
        const {done, value} = await reader.read();
        if (done) return [r.status, text + decoder.decode(), retryAfter];
        size += value.length;
        if (size > this.replyLimit) {
          reader.cancel();
          return [0, "the server's answer is larger than a megabyte", -1];
        }
        text += decoder.decode(value, {stream: true});
      }
    } catch (e) {
      return [0, control.signal.aborted ? 'the server did not answer in time' : String(e), -1];
    } finally {
      clearTimeout(timer);
    }
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
  finish() {
    this.ctx.getImageData(0, 0, 1, 1);
    this.lastOps = null;  // the benchmark times whole frames
  },
  report(json) {
    window.voidrunnerBench = JSON.parse(json);
    console.log(json);
  },

  touch: false,        // the page shows the touch controls
  welcoming: false,    // the first visit's keys are shown
  watchingRun: false,  // a listed run is played back (?watch=ID)

  alert(caption, text) {
    console.error(caption + ': ' + text);
    window.alert(caption + '\n\n' + text);
  },

  typingFocused() {
    const active = document.activeElement;
    return !!active && active.id === 'typing';
  },

  // On a touch screen: turn, thrust and fire beside the frame, pause and
  // help, and a button that brings up the device's keyboard for initials
  // and digits. Focus moving to them is no leaving of the game.
  touchControls() {
    if (!('ontouchstart' in window) && !(navigator.maxTouchPoints > 0)) return;
    this.touch = true;
    document.body.classList.add('touch');
    const box = document.getElementById('touch');
    box.hidden = false;
    box.querySelector('.pad.mid').append(document.getElementById('board'));
    // The host's keys: 0 pause, 1 help.
    for (const button of box.querySelectorAll('button[data-host]')) {
      const which = button.dataset.host === 'pause' ? 0 : 1;
      button.addEventListener('pointerdown', (e) => {
        e.preventDefault();
        Module._voidrunner_host_key(which);
      });
    }
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
