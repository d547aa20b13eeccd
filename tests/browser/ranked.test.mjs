// The page served as the public sees it: the shipped nginx site config (on
// 127.0.0.1, without TLS) in front of voidrunner-server. The desktop client
// claims a name and lists a run; the page is given its player line, plays
// a ranked game under the same name to its end, sent, verified and listed,
// and the run is watched from the table. Arguments come from the
// environment: VR_WEB_SITE, VR_SERVER, VR_NGINX_CONF, VR_DESKTOP_RUN (the
// desktop client, headless), and VR_SHOTS, a folder for the page's
// screenshots (none when unset). Without VR_NGINX_CONF the server serves
// the site itself, as ./play online has it.
import {test} from 'node:test';
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import {execFileSync} from 'node:child_process';
import {launch, serve} from './harness.mjs';

// The server's clock runs this much faster: the desktop's run need not wait
// out its ticks (the page's run keeps within the slack).
const SCALE = 100;

// A screenshot for the docs and the note, when asked for.
async function shot(page, name) {
  if (!process.env.VR_SHOTS) return;
  fs.mkdirSync(process.env.VR_SHOTS, {recursive: true});
  await page.screenshot({path: path.join(process.env.VR_SHOTS, name + '.png')});
}

// The desktop client's ranked game in FOLDER (its settings.txt names the
// player); what the leaderboard said.
function desktopRun(url, folder) {
  return execFileSync(process.env.VR_DESKTOP_RUN, [url, folder, String(SCALE)],
                      {encoding: 'utf8', timeout: 120000});
}

const freePort = () => new Promise((resolve) => {
  const s = net.createServer().listen(0, '127.0.0.1', () => {
    const {port} = s.address();
    s.close(() => resolve(port));
  });
});

async function start(tmp) {
  const alone = !process.env.VR_NGINX_CONF;
  fs.writeFileSync(`${tmp}/token`, 'operator-token-of-the-test\n');
  const server = spawn(process.env.VR_SERVER,
                       ['--listen', '127.0.0.1:0', '--db', `sqlite:${tmp}/lb.db`, '--key', `${tmp}/key`,
                        '--test-seed', '43', '--clock-scale', String(SCALE),
                        '--slack', '86400', '--operator-token', `${tmp}/token`,
                        ...(alone ? ['--site', process.env.VR_WEB_SITE] : ['--trust-proxy'])],
                       {stdio: ['ignore', 'pipe', 'inherit']});
  const serverPort = await new Promise((resolve) => {
    server.stdout.on('data', (d) => {
      const m = / port (\d+),/.exec(String(d));
      if (m) resolve(Number(m[1]));
    });
  });
  if (alone) return {url: `http://127.0.0.1:${serverPort}/`, stop: () => server.kill()};
  const port = await freePort();
  let site = fs.readFileSync(process.env.VR_NGINX_CONF, 'utf8');
  site = site.slice(0, site.indexOf('# Plain HTTP only')).split('\n')
      .filter((l) => !/ssl_|Strict-Transport|listen \[::\]/.test(l)).join('\n')
      .replace('listen 443 ssl http2;', `listen 127.0.0.1:${port};`)
      .replace('server 127.0.0.1:8080;', `server 127.0.0.1:${serverPort};`)
      .replace('/usr/share/voidrunner/web', path.resolve(process.env.VR_WEB_SITE));
  fs.writeFileSync(`${tmp}/site.conf`, site);
  fs.writeFileSync(`${tmp}/nginx.conf`, `daemon off; master_process off; pid ${tmp}/nginx.pid;
error_log ${tmp}/error.log; events {}
http { access_log off; include /etc/nginx/mime.types; client_body_temp_path ${tmp}/b;
  proxy_temp_path ${tmp}/p; fastcgi_temp_path ${tmp}/f; uwsgi_temp_path ${tmp}/u;
  scgi_temp_path ${tmp}/s; include ${tmp}/site.conf; }\n`);
  const nginx = spawn('nginx', ['-p', tmp, '-c', `${tmp}/nginx.conf`, '-e', `${tmp}/error.log`],
                      {stdio: 'inherit'});
  await new Promise((r) => setTimeout(r, 500));
  return {url: `http://127.0.0.1:${port}/`, server: `http://127.0.0.1:${serverPort}`,
          stop: () => { nginx.kill(); server.kill(); }};
}

test('one name on the desktop and in the page: claimed, shared by one line, listed, watched',
     async () => {
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'voidrunner-ranked-'));
  const site = await start(tmp);
  const {browser, close} = await launch(1280, 720);
  const status = (page) => page.$eval('#board', (e) => e.textContent);
  try {
    // The desktop claims ACE (its first ranked game) and lists a run; so
    // does another player, whose name is markup.
    for (const [folder, name] of [['ace', 'ACE'], ['web', '<b>WEB']]) {
      fs.mkdirSync(`${tmp}/${folder}`);
      fs.writeFileSync(`${tmp}/${folder}/settings.txt`, `# the desktop's\nplayer ${name}\n`);
      assert.match(desktopRun(site.url, `${tmp}/${folder}`), /the run is listed/);
    }
    const line = fs.readFileSync(`${tmp}/ace/settings.txt`, 'utf8').split('\n')
        .find((l) => l.startsWith('player '));
    assert.match(line, /^player ACE key [A-Za-z0-9_-]{43}$/, 'the key kept on the player line');

    // The page's first ranked game asks for a name; the desktop's line is
    // pasted there, and the page plays as ACE.
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.goto(site.url + 'index.html');
    await page.waitForSelector('#name-prompt:not([hidden])', {timeout: 20000});
    await shot(page, 'name-prompt');
    await page.type('#name-prompt input', 'ace');
    await page.click('#name-prompt button[type=submit]');
    await page.waitForFunction(() => /taken/.test(document.querySelector('#name-prompt .why').textContent),
                               {timeout: 20000});
    await shot(page, 'name-prompt-taken');
    await page.$eval('#name-prompt input', (e) => { e.value = ''; });
    await page.type('#name-prompt input', line);
    await page.click('#name-prompt button[type=submit]');
    await page.waitForFunction(() => window.voidrunner.frames > 0, {timeout: 20000});
    assert.match(await status(page), /ranked game on .* as ACE/);
    assert.ok(await page.evaluate(() => window.voidrunner.texts.includes('Ranked')),
              'the host\'s sign over the frame');
    // Thrust held on the field of seed 43: the last ship meets a rock about
    // 35 s after the key goes down, whenever in the first 12 s that is.
    await page.keyboard.down('ArrowUp');
    await page.waitForFunction(() => /listed|refused|kept/.test(document.getElementById('board').textContent),
                               {timeout: 180000, polling: 500});
    await page.keyboard.up('ArrowUp');
    assert.match(await status(page), /the run is listed, #\d/);
    assert.ok(await page.evaluate(() => window.voidrunner.texts.some((t) => /^Listed #\d/.test(t))),
              'the host\'s sign says so over the frame');
    assert.deepEqual(errors, []);

    // One row a player: ACE's two runs, the desktop's and the page's, are
    // one row, marked as this browser's; the other name is shown as text.
    const table = await browser.newPage();
    await table.goto(site.url + 'leaderboard.html');
    await table.waitForFunction(() => document.querySelector('#global tbody a'), {timeout: 10000});
    const rows = await table.$$eval('#global tbody tr', (rs) => rs.map((r) => [r.className, r.innerText]));
    assert.equal(rows.length, 2, JSON.stringify(rows));
    assert.deepEqual(rows.map((r) => r[1].split('\t')[1]).sort(), ['<b>WEB', 'ACE']);
    assert.equal(rows.find((r) => r[1].includes('ACE'))[0], 'mine', 'your row marked');
    await shot(table, 'board');
    await table.setViewport({width: 390, height: 844, isMobile: true, hasTouch: true});
    await table.reload();
    await table.waitForFunction(() => document.querySelector('#global tbody a'), {timeout: 10000});
    await shot(table, 'board-phone');

    // The player's page: every run, each to watch and share.
    const player = await browser.newPage();
    await player.goto(site.url + 'leaderboard.html?player=ACE');
    await player.waitForFunction(() => document.querySelectorAll('#runs tbody tr').length === 2,
                                 {timeout: 10000});
    assert.match(await player.$eval('#player-about', (e) => e.textContent), /#1 of all time/);
    await shot(player, 'player');
    await player.setViewport({width: 390, height: 844, isMobile: true, hasTouch: true});
    await player.reload();
    await player.waitForFunction(() => document.querySelectorAll('#runs tbody tr').length === 2);
    await shot(player, 'player-phone');

    // Watched from the table: whose run, above the field; at its end the
    // page offers what next.
    // In front: a tab behind another runs no frames and few timers.
    await table.bringToFront();
    await table.setViewport({width: 1280, height: 720});
    await table.reload();
    await table.waitForFunction(() => document.querySelector('#global tbody a[href^="index"]'));
    await table.goto(await table.$eval('#global tbody a[href^="index"]', (a) => a.href));
    await table.waitForFunction(() => window.voidrunner.frames > 10, {timeout: 20000});
    assert.match(await status(table), /played back/);
    assert.match(await table.$eval('#watch-title', (e) => e.innerText), /(ACE|<b>WEB)\s+\d+ points, \d{4}-\d\d-\d\d/);
    await shot(table, 'watch');
    await table.keyboard.down('Space');
    await table.waitForSelector('#ended:not([hidden])', {timeout: 60000});
    await table.keyboard.up('Space');
    assert.match(await table.$eval('#ended', (e) => e.innerText), /Watch again[\s\S]*See the board[\s\S]*Play/);
    assert.ok(!(await table.evaluate(() => window.voidrunner.texts.includes('Esc or Q closes the window'))));
    await shot(table, 'watch-ended');
    const phone = await browser.newPage();
    await phone.setViewport({width: 390, height: 844, isMobile: true, hasTouch: true});
    await phone.goto(table.url());
    await phone.waitForFunction(() => window.voidrunner.frames > 10, {timeout: 20000});
    await shot(phone, 'watch-phone');

    // A run that is not listed: said, and no game starts.
    const missing = await browser.newPage();
    await missing.goto(site.url + 'index.html?watch=999');
    await missing.waitForSelector('#ended:not([hidden])', {timeout: 20000});
    assert.match(await missing.$eval('#ended', (e) => e.innerText), /this run cannot be watched/i);
    await new Promise((r) => setTimeout(r, 1000));
    assert.equal(await missing.evaluate(() => window.voidrunner.frames), 0, 'no game of its own');

    // The name prompt on a phone, in a browser that has no name yet.
    const fresh = await browser.createBrowserContext();
    const prompt = await fresh.newPage();
    await prompt.setViewport({width: 390, height: 844, isMobile: true, hasTouch: true});
    await prompt.goto(site.url + 'index.html');
    await prompt.waitForSelector('#name-prompt:not([hidden])', {timeout: 20000});
    await shot(prompt, 'name-prompt-phone');
    await fresh.close();
  } finally {
    await close();
    site.stop();
    fs.rmSync(tmp, {recursive: true, force: true});
  }
});

test('a name the server would refuse is said before the game; a hung ticket times out', async () => {
  const site = await serve(process.env.VR_WEB_SITE, {hang: (url) => url.startsWith('/api/')});
  const {browser, close} = await launch(640, 360);
  const status = (page) => page.$eval('#board', (e) => e.textContent);
  try {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    // 33 bytes: one past the rule; no ticket is asked for, so the hung
    // leaderboard does not hold the first frame.
    await page.goto(site.url + 'index.html?player=' + 'N'.repeat(33));
    await page.waitForFunction(() => window.voidrunner.frames > 0, {timeout: 10000});
    assert.match(await status(page), /name cannot be listed.*not ranked/);

    // The ticket is waited for as long as the desktop's clients wait, then
    // the game plays unranked.
    const started = Date.now();
    await page.goto(site.url + 'index.html?player=OK');
    await page.waitForFunction(() => window.voidrunner.frames > 0, {timeout: 30000});
    const took = (Date.now() - started) / 1000;
    assert.ok(took > 14 && took < 25, `the first frame came after ${took} s`);
    assert.match(await status(page), /did not answer in time.*not ranked/);
    assert.deepEqual(errors, []);
  } finally {
    await close();
    await site.close();
  }
});

// The standard field on a phone: upright, the page asks to turn it and the
// game waits; turned, the field fills the screen less the controls, drawn
// at the device's pixels; the sign's other way is unranked play on a field
// of the screen's own size.
test('ranked on an upright phone asks to turn it, then fills the turned screen', async () => {
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'voidrunner-ranked-'));
  const site = await start(tmp);
  const {browser, close} = await launch(390, 844);
  try {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    const upright = {width: 390, height: 844, hasTouch: true, isMobile: true, deviceScaleFactor: 3};
    await page.setViewport(upright);
    // Named in the address: the page claims the name without asking.
    await page.goto(site.url + 'index.html?player=PHONE');
    await page.waitForFunction(() => window.voidrunner.frames > 0, {timeout: 20000});
    await page.waitForFunction(() => !document.getElementById('turn').hidden &&
                                     window.voidrunner.texts.includes('Paused'));
    assert.match(await page.$eval('#unranked', (a) => a.href), /[?&]free=1/);

    await page.setViewport({...upright, width: 844, height: 390});
    await page.waitForFunction(() => document.getElementById('turn').hidden);
    const at = () => page.evaluate(() => {
      const vr = window.voidrunner;
      return {stage: [vr.clientWidth(), vr.clientHeight()], field: [vr.fieldWidth, vr.fieldHeight],
              placed: vr.placed, canvas: [vr.canvas.width, vr.canvas.height]};
    });
    await page.waitForFunction(() => window.voidrunner.canvas.width === 3 * window.voidrunner.clientWidth());
    const turned = await at();
    assert.deepEqual(turned.field, [1280, 720]);
    assert.deepEqual(turned.canvas, turned.stage.map((v) => 3 * v));
    assert.ok(turned.placed[2] >= turned.stage[0] - 6 || turned.placed[3] >= turned.stage[1] - 6,
              `the field fills the stage's width or height: ${JSON.stringify(turned)}`);

    await page.setViewport(upright);
    await page.waitForFunction(() => !document.getElementById('turn').hidden);
    await Promise.all([page.waitForNavigation(), page.tap('#unranked')]);
    await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0, {timeout: 20000});
    const free = await at();
    assert.deepEqual(free.field, free.stage, 'unranked: the screen-sized field');
    assert.ok(await page.$eval('#turn', (e) => e.hidden));
    assert.deepEqual(errors, []);
  } finally {
    await close();
    site.stop();
    fs.rmSync(tmp, {recursive: true, force: true});
  }
});
