// The browser game played in headless chromium (puppeteer-core), seen from
// outside: the canvas's pixels, the texts of the last frame, the sounds the
// page started and its local storage. VR_WEB_SITE is the built site.
import {test} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {serve, launch, openGame, pixels, lit, waitTicks} from './harness.mjs';

const site = process.env.VR_WEB_SITE || new URL('../../build-web', import.meta.url).pathname;
const texts = (page) => page.evaluate(() => window.voidrunner.texts);
const stored = (page) => page.evaluate(() => localStorage.getItem('voidrunner/save.txt'));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
// The Linux trace tool, built with its PNG writer (tests/browser/CMakeLists.txt).
const traceTool = process.env.VR_TRACE;

// Lit pixels in the ring around the centre that the ship's outline does
// not reach: where a shot is in its first ticks.
function nearShip(img) {
  let n = 0;
  for (let y = 220; y < 380; ++y)
    for (let x = 320; x < 480; ++x) {
      const r = Math.hypot(x - 400, y - 300), i = 4 * (y * img.width + x);
      if (r > 16 && r < 80 && img.data[i] + img.data[i + 1] + img.data[i + 2] > 0) ++n;
    }
  return n;
}

function box(img, left, top, right, bottom) {
  const out = [];
  for (let y = top; y < bottom; ++y)
    out.push(img.data.slice(4 * (y * img.width + left), 4 * (y * img.width + right)).join());
  return out.join('|');
}

async function withSite(width, height, body) {
  const server = await serve(site);
  const chromium = await launch(width, height);
  const errors = [];
  try {
    await body(chromium.browser, server.url, errors);
  } finally {
    await chromium.close();
    await server.close();
  }
}

function watch(page, errors) {
  page.on('pageerror', (e) => errors.push(e.message));
  return page;
}

// A PNG's pixels as {width, height, data}, decoded by the page.
const decoded = (page, png) => page.evaluate(async (src) => {
  const img = new Image();
  img.src = src;
  await img.decode();
  const c = document.createElement('canvas');
  c.width = img.width;
  c.height = img.height;
  c.getContext('2d').drawImage(img, 0, 0);
  return {width: c.width, height: c.height, data: Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data)};
}, 'data:image/png;base64,' + Buffer.from(png).toString('base64'));

const shown = (page, id) => page.$eval(id, (e) => !e.hidden);

test('the page plays: HUD, ship and rocks; left turns, space fires with a sound, a digit sets the throttle',
     async () => {
  // The line on how to play takes 24 pixels below the stage.
  await withSite(800, 624, async (browser, url, errors) => {
    // A seed whose rocks all start inside the counted band.
    const page = watch(await openGame(browser, url, undefined, undefined, 1765000012000), errors);
    assert.equal(await page.title(), 'Voidrunner');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'canvas');
    assert.ok(await shown(page, '#welcome'), 'the keys shown on the first visit');
    await waitTicks(page, 3);

    const start = await pixels(page);
    assert.deepEqual([start.width, start.height], [800, 600], 'the playfield is the stage');
    assert.deepEqual(await texts(page), ['Score: 0', 'Level: 1', 'Throttle: 100 %']);
    assert.ok(lit(start, 300, 5, 500, 50) > 50, 'score and level drawn');
    assert.ok(lit(start, 385, 280, 415, 320) > 10, 'the ship at the centre');
    const rocks = lit(start, 0, 60, 800, 540) - lit(start, 385, 280, 415, 320);
    assert.ok(rocks > 100, `rocks drawn (${rocks} lit pixels)`);

    const ship = () => pixels(page).then((img) => box(img, 380, 275, 420, 325));
    const before = await ship();
    await page.keyboard.down('ArrowLeft');
    await waitTicks(page, 4);
    await page.keyboard.up('ArrowLeft');
    const turned = await ship();
    assert.notEqual(turned, before, 'holding left turned the ship');
    assert.ok(!(await shown(page, '#welcome')), 'the first key took the keys away');
    // D turns as the right arrow would; in play it types nothing.
    await page.keyboard.down('d');
    await waitTicks(page, 4);
    await page.keyboard.up('d');
    assert.ok((await ship()) !== turned, 'holding D turned the ship');
    await waitTicks(page, 2);  // a tick with no key held: space alone fires again

    const shotsBefore = nearShip(await pixels(page));
    await page.keyboard.down('Space');
    await waitTicks(page, 2);
    await page.keyboard.up('Space');
    assert.ok(nearShip(await pixels(page)) > shotsBefore, 'a shot appeared');
    const played = await page.evaluate(() => window.voidrunner.played);
    console.log('sounds the page played:', JSON.stringify(played));
    assert.ok(played.some((s) => s.name === 'snd/fire.wav' && s.heard), 'the fire sound started');

    await page.keyboard.press('5');
    await waitTicks(page, 2);
    assert.ok((await texts(page)).includes('Throttle: 50 %'));
    assert.deepEqual(await page.evaluate(() => [scrollX, scrollY]), [0, 0], 'the page never scrolled');
    const replay = await page.evaluate(() => window.voidrunner.replayText());
    assert.match(replay, /^# voidrunner replay 1\n/);
    assert.match(replay, /^char 53$/m, 'the replay holds the typed digit');
    assert.doesNotMatch(replay, /^char 100$/m, 'D was no character in play');

    await page.keyboard.press('m');
    await waitTicks(page, 1);
    assert.ok((await texts(page)).includes('Sound off (M)'), 'a sign while the sound is off');
    await page.keyboard.press('m');
    await waitTicks(page, 1);
    assert.ok(!(await texts(page)).includes('Sound off (M)'));
    await page.keyboard.press('-');
    await waitTicks(page, 1);
    assert.equal(await page.evaluate(() => window.voidrunner.volume), 0.9, '- turns the sound down');
    await page.keyboard.press('+');
    await waitTicks(page, 1);
    assert.equal(await page.evaluate(() => window.voidrunner.volume), 1);

    const cursor = () => page.$eval('#canvas', (e) => e.style.cursor);
    await page.mouse.move(100, 100);
    assert.equal(await cursor(), '', 'the pointer shows when moved');
    await sleep(2200);
    assert.equal(await cursor(), 'none', 'and hides when still');
    await page.reload();
    await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0);
    assert.ok(!(await shown(page, '#welcome')), 'the keys are shown on the first visit only');

    // The leaderboard's answers: one over a megabyte is refused.
    assert.deepEqual(await page.evaluate(async () => [
      await window.voidrunner.fetchText('GET', 'data:text/plain,small', ''),
      await window.voidrunner.fetchText('GET', 'data:text/plain,' + 'x'.repeat((1 << 20) + 1), ''),
    ]), [[200, 'small', -1], [0, "the server's answer is larger than a megabyte", -1]]);
    assert.deepEqual(errors, []);
  });
});

test('a lost game is signed; the table outlives a reload and a close during a save', async () => {
  await withSite(320, 240, async (browser, url, errors) => {
    const gameOver = (page) => page.waitForFunction(
        () => window.voidrunner.texts.includes('You Got a New High Score: Enter Your Initials'),
        {timeout: 180000, polling: 250});

    let page = watch(await openGame(browser, url), errors);
    await gameOver(page);
    await page.keyboard.type('WEB');
    await page.waitForFunction(() => window.voidrunner.texts.includes("You've Destroyed Your Last Ship"));
    assert.ok((await texts(page)).includes('WEB'), 'the table shows the new row');
    const signed = await stored(page);
    assert.match(signed, /^\d+ 1 WEB\n/);

    await page.reload();
    await page.waitForFunction(() => window.voidrunner.frames > 0);
    await gameOver(page);
    assert.ok((await texts(page)).includes('WEB'), 'the reloaded page shows the stored row');

    // The third initial, and the page closed at once: whatever the save got
    // to, the stored table is whole and keeps the row saved before.
    await page.keyboard.type('XY');
    await page.keyboard.press('Z');
    await page.close();
    page = watch(await openGame(browser, url), errors);
    const after = await stored(page);
    assert.equal(after.split('\n').length, 10, after);
    assert.match(after, /WEB/);
    assert.ok(after === signed || /XYZ/.test(after), after);
    assert.deepEqual(errors, []);
  });
});

test('storage that is corrupted, full or disabled leaves the game playing', async () => {
  await withSite(320, 240, async (browser, url, errors) => {
    const cases = {
      corrupted: () => localStorage.setItem('voidrunner/save.txt', '\u0000\uffff 12 x\n\n-9 99999999999 ' +
                                             'A'.repeat(5000)),
      full: () => { Storage.prototype.setItem = () => { throw new DOMException('full', 'QuotaExceededError'); }; },
      disabled: () => {
        Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('no', 'SecurityError'); }});
      },
    };
    for (const [name, spoil] of Object.entries(cases)) {
      const page = watch(await browser.newPage(), errors);
      await page.evaluateOnNewDocument(spoil);
      await page.goto(url);
      await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0);
      await waitTicks(page, 5);
      assert.ok((await texts(page)).includes('Score: 0'), `${name}: the game plays`);
      await page.close();
    }
    assert.deepEqual(errors, []);
  });
});

test('on a touch screen the edge buttons fly the ship and a text field types; a controller fires', async () => {
  await withSite(480, 320, async (browser, url, errors) => {
    const page = watch(await browser.newPage(), errors);
    await page.setViewport({width: 480, height: 320, hasTouch: true, isMobile: true});
    // The game seeds from the calendar second. On this small field some
    // seeds end the game within two seconds; this one plays for at least
    // 23 s whenever the test fires.
    await page.evaluateOnNewDocument(() => { Date.now = () => 1765000012000; });
    await page.goto(url);
    await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0);
    assert.equal(await page.$eval('#touch', (e) => e.hidden), false, 'touch controls shown');
    assert.ok(await page.evaluate(() => window.voidrunner.canvas.width) >= 200,
              'the field keeps its room beside the controls and the leaderboard line');

    const fire = await page.$eval('#touch .fire', (e) => {
      const r = e.getBoundingClientRect();
      return [r.x + r.width / 2, r.y + r.height / 2];
    });
    // Pads listened for again as soon as the finger is lifted, not seconds
    // later: the small field's rocks would end the ship meanwhile.
    await page.evaluate(() => { window.voidrunner.padQuietMs = 0; });
    await page.touchscreen.touchStart(...fire);
    await waitTicks(page, 2);
    assert.equal(await page.evaluate(() => window.voidrunner.padListening), false,
                 'no pad polling while a finger flies the ship');
    await page.touchscreen.touchEnd();
    await waitTicks(page, 1);
    assert.ok(await page.evaluate(() => window.voidrunner.played.some((s) => s.name === 'snd/fire.wav')),
              'the fire button fired');

    // A controller in the standard layout, its south button held, once
    // the page listens for pads again.
    await page.waitForFunction(() => window.voidrunner.padListening);
    await page.evaluate(() => {
      window.voidrunner.played.length = 0;
      const button = (pressed) => ({pressed, touched: pressed, value: pressed ? 1 : 0});
      const pad = {id: 'test pad', index: 0, connected: true, mapping: 'standard', timestamp: 1,
                   axes: [0, 0, 0, 0], buttons: Array.from({length: 17}, (_, i) => button(i === 0))};
      navigator.getGamepads = () => [pad];
      window.dispatchEvent(new Event('gamepadconnected'));
    });
    await waitTicks(page, 2);
    assert.ok(await page.evaluate(() => window.voidrunner.played.some((s) => s.name === 'snd/fire.wav')),
              "the controller's south button fired");
    await page.evaluate(() => { navigator.getGamepads = () => []; });

    // What a device keyboard does: characters arrive as input in the field.
    await page.$eval('#typing', (e) => {
      e.value = '3';
      e.dispatchEvent(new InputEvent('input', {data: '3'}));
    });
    await waitTicks(page, 2);
    assert.ok((await texts(page)).includes('Throttle: 30 %'));
    assert.deepEqual(errors, []);
  });
});

test('storage keeps mute and the last replays; a lock dated ahead expires; a row kept while ' +
     'another tab saved is not lost', async () => {
  await withSite(320, 240, async (browser, url, errors) => {
    const gameOver = (page) => page.waitForFunction(
        () => window.voidrunner.texts.includes('You Got a New High Score: Enter Your Initials'),
        {timeout: 180000, polling: 250});
    const sign = async (page, initials) => {
      const started = Date.now();
      await gameOver(page);
      console.log(`game over after ${Date.now() - started} ms`);
      await page.keyboard.type(initials);
      await page.waitForFunction(() => window.voidrunner.texts.includes("You've Destroyed Your Last Ship"));
    };
    let page = watch(await openGame(browser, url), errors);
    // A tab that died mid-save with its clock an hour ahead of ours.
    assert.equal(await page.evaluate(() => {
      localStorage.setItem('voidrunner/save.txt.lock', 'gone ' + (Date.now() + 3600000));
      const taken = window.voidrunner.storageLock('save.txt');
      window.voidrunner.storageUnlock('save.txt');
      return taken;
    }), 1, 'a lock dated ahead expires');

    await page.keyboard.press('m');
    await waitTicks(page, 2);
    assert.match(await page.evaluate(() => localStorage.getItem('voidrunner/settings.txt')), /^mute 1$/m);

    // Another tab holds the lock through our signing: the row stays in memory...
    await page.evaluate(() => {
      window.holder = setInterval(
          () => localStorage.setItem('voidrunner/save.txt.lock', 'other ' + Date.now()), 100);
    });
    await sign(page, 'TWO');
    assert.doesNotMatch((await stored(page)) || '', /TWO/);
    // ...that tab saves its own row and lets go; our next signing keeps both.
    await page.evaluate(() => {
      clearInterval(window.holder);
      localStorage.removeItem('voidrunner/save.txt.lock');
      localStorage.setItem('voidrunner/save.txt', '99999 9 OTH' + '\n0 1 AAA'.repeat(9));
    });
    for (let i = 0; i < 2; ++i) {  // two presses start a new game
      await page.keyboard.down('Space');
      await waitTicks(page, 2);
      await page.keyboard.up('Space');
      await waitTicks(page, 2);
    }
    await sign(page, 'SIX');
    const table = await stored(page);
    for (const row of ['OTH', 'TWO', 'SIX']) assert.match(table, new RegExp(` ${row}$`, 'm'), table);

    // A reload: still muted, and the run's replay is offered with this one's.
    await page.reload();
    await page.waitForFunction(() => window.voidrunner.frames > 0);
    await page.keyboard.down('Space');
    await waitTicks(page, 3);
    await page.keyboard.up('Space');
    assert.deepEqual(await page.evaluate(() => window.voidrunner.played), [], 'still muted');
    assert.equal((await page.evaluate(() => window.voidrunner.keptReplays())).length, 1);
    await page.click('#replay');
    assert.equal(await page.$$eval('#replays a', (links) => links.length), 2);
    assert.deepEqual(errors, []);
  });
});

// Whether every square of `step` device pixels has one colour: the frame
// shown crisp, not smoothed.
function crisp(img, step) {
  for (let y = 0; y + step <= img.height; y += step)
    for (let x = 0; x + step <= img.width; x += step) {
      const at = (u, v) => img.data.slice(4 * (v * img.width + u), 4 * (v * img.width + u) + 3).join();
      for (let v = y; v < y + step; ++v)
        for (let u = x; u < x + step; ++u)
          if (at(u, v) !== at(x, y)) return false;
    }
  return true;
}

const boxOf = (page, selector) => page.$eval(selector, (e) => {
  const b = e.getBoundingClientRect();
  return {left: b.left, top: b.top, right: b.right, bottom: b.bottom};
});
const overlap = (a, b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;

test('on a phone the score is signed through the device keyboard and outlives a reload', async () => {
  await withSite(390, 844, async (browser, url, errors) => {
    const page = watch(await browser.newPage(), errors);
    const upright = {width: 390, height: 844, hasTouch: true, isMobile: true, deviceScaleFactor: 3};
    await page.setViewport(upright);
    await page.goto(url);
    await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0);
    const tap = async (selector) => {
      const r = await page.$eval(selector, (e) => {
        const b = e.getBoundingClientRect();
        return [b.x + b.width / 2, b.y + b.height / 2];
      });
      await page.touchscreen.tap(...r);
    };
    // A device keyboard's characters come as input alone, no key events.
    const typeOnDevice = async (text) => {
      for (const ch of text) {
        await page.keyboard.sendCharacter(ch);
        await waitTicks(page, 1);
      }
    };

    // The frame drawn at the screen's own pixels (a canvas of the stage's
    // size in device pixels); F3 gives the field's own pixels, three device
    // pixels to each. The controls beside the HUD and not over it, upright
    // and turned.
    const hud = await boxOf(page, '#canvas');
    const stage = await boxOf(page, '#stage');
    assert.deepEqual(await page.$eval('#canvas', (c) => [c.width, c.height]),
                     [Math.round(3 * (stage.right - stage.left)), Math.round(3 * (stage.bottom - stage.top))]);
    const hudShot = async () => decoded(page, await page.screenshot({clip: {x: hud.left + 100, y: hud.top, width: 190, height: 60}}));
    const vectorHud = await hudShot();
    assert.ok(lit(vectorHud, 0, 0, vectorHud.width, vectorHud.height) > 200, 'the score in the shot');
    assert.ok(!crisp(vectorHud, 3), 'texts drawn at the device pixels, not enlarged');
    await page.keyboard.press('F3');
    await page.waitForFunction(() => window.voidrunner.look === 'pixels');
    await waitTicks(page, 2);
    const hudPixels = await hudShot();
    assert.ok(lit(hudPixels, 0, 0, hudPixels.width, hudPixels.height) > 200, 'the score in the shot');
    assert.ok(crisp(hudPixels, 3), 'each pixel of the frame a square of 3x3 device pixels');
    const size = await page.$eval('#canvas', (c) => [c.width, c.height]);
    for (const view of [{...upright, width: 844, height: 390}, upright]) {
      await page.setViewport(view);
      await waitTicks(page, 2);
      const frame = await boxOf(page, '#canvas');
      for (const pad of ['.pad.left', '.pad.mid', '.pad.right'])
        assert.ok(!overlap(frame, await boxOf(page, pad)), `${pad} clear of the frame at ${view.width}x${view.height}`);
      assert.deepEqual(await page.$eval('#canvas', (c) => [c.width, c.height]), size, 'the same game');
    }
    const showing = (text) => page.waitForFunction((t) => window.voidrunner.texts.includes(t), {}, text);
    await tap('#touch .pause');
    await showing('Paused');
    await tap('#touch .help');
    await showing('Controls');
    await tap('#touch .help');
    await page.waitForFunction(() => !window.voidrunner.texts.includes('Controls'));

    await tap('#keyboard');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'typing');
    await typeOnDevice('7');
    assert.ok((await texts(page)).includes('Throttle: 70 %'), 'the first digit set the throttle');
    await tap('#canvas');

    // Thrusting, the ship meets a rock sooner.
    await page.keyboard.down('ArrowUp');
    await page.waitForFunction(
        () => window.voidrunner.texts.includes('You Got a New High Score: Enter Your Initials'),
        {timeout: 300000, polling: 250});
    await page.keyboard.up('ArrowUp');
    await tap('#keyboard');
    await typeOnDevice('WEB');
    await page.waitForFunction(() => window.voidrunner.texts.includes("You've Destroyed Your Last Ship"));
    assert.ok((await texts(page)).includes('WEB'), 'every letter reached the game');
    await page.reload();
    await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0);
    assert.match(await stored(page), /^\d+ 1 WEB\n/);
    assert.deepEqual(errors, []);
  });
});

// Bright pixels of `a` with nothing lit within two pixels in `b`: what a
// frame has that the other lacks beyond where anti-aliasing and the fonts'
// placement differ.
function strays(a, b) {
  const lit = (img, x, y) => {
    const i = 4 * (y * img.width + x);
    return img.data[i] + img.data[i + 1] + img.data[i + 2];
  };
  let n = 0;
  for (let y = 0; y < a.height; ++y)
    for (let x = 0; x < a.width; ++x) {
      if (lit(a, x, y) < 200) continue;
      let near = false;
      for (let dy = -2; dy <= 2 && !near; ++dy)
        for (let dx = -2; dx <= 2 && !near; ++dx) {
          const u = x + dx, v = y + dy;
          near = u >= 0 && v >= 0 && u < b.width && v < b.height && lit(b, u, v) > 0;
        }
      if (!near) ++n;
    }
  return n;
}

// In both looks: the field's own pixels (F3), and drawn again at the
// screen's pixels, here one to one.
test("the page's frames are the trace tool's for the same run", {skip: !traceTool && 'VR_TRACE unset'},
     async () => {
  await withSite(800, 600, async (browser, url, errors) => {
    for (const look of ['vector', 'pixels']) {
      const page = watch(await openGame(browser, url), errors);
      if (look === 'pixels') await page.keyboard.press('F3');
      await page.waitForFunction((l) => window.voidrunner.look === l, {}, look);
      // The canvas read just after two frames of play are drawn, the second
      // mostly drawn over what changed since the frame before.
      await page.evaluate(() => {
        const vr = window.voidrunner, wanted = [vr.frames + 10, vr.frames + 25];
        vr.captured = {};
        for (const name of ['draw', 'drawVectors']) {
          const draw = vr[name];
          vr[name] = function (...args) {
            draw.apply(this, args);
            if (!wanted.includes(this.frames)) return;
            const c = this.canvas, d = this.ctx.getImageData(0, 0, c.width, c.height);
            this.captured[this.frames] = {width: c.width, height: c.height, data: Array.from(d.data)};
          };
        }
      });
      await page.keyboard.down('ArrowLeft');
      await page.keyboard.down('Space');
      await page.waitForFunction(() => Object.keys(window.voidrunner.captured).length === 2);
      const replay = await page.evaluate(() => window.voidrunner.replayText());
      const captured = await page.evaluate(() => window.voidrunner.captured);

      const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'voidrunner-frames-'));
      try {
        fs.writeFileSync(path.join(dir, 'run.replay'), replay);
        execFileSync(traceTool, ['--png', 'png', 'run.replay'], {cwd: dir, stdio: ['ignore', 'ignore', 'inherit']});
        for (const [frame, shown] of Object.entries(captured)) {
          const file = path.join(dir, 'png', `frame-${String(frame).padStart(5, '0')}.png`);
          const traced = await decoded(page, fs.readFileSync(file));
          assert.deepEqual([traced.width, traced.height], [shown.width, shown.height]);
          assert.ok(lit(shown, 0, 0, shown.width, shown.height) > 300, `frame ${frame} has something drawn`);
          assert.equal(strays(shown, traced), 0, `${look}, frame ${frame}: the page drew what the trace tool did not`);
          assert.equal(strays(traced, shown), 0, `${look}, frame ${frame}: the page missed what the trace tool drew`);
        }
      } finally {
        fs.rmSync(dir, {recursive: true, force: true});
      }
      await page.keyboard.up('ArrowLeft');
      await page.keyboard.up('Space');
      await page.close();
    }
    assert.deepEqual(errors, []);
  });
});
