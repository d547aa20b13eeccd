// The page served as the public sees it: the shipped nginx site config (on
// 127.0.0.1, without TLS) in front of voidrunner-server. A ranked game is
// played to its end, sent, verified and listed, and watched from the table.
// Arguments come from the environment: VR_WEB_SITE, VR_SERVER, VR_NGINX_CONF;
// without VR_NGINX_CONF the server serves the site itself, as ./play online
// has it.
import {test} from 'node:test';
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import {launch, serve} from './harness.mjs';

const freePort = () => new Promise((resolve) => {
  const s = net.createServer().listen(0, '127.0.0.1', () => {
    const {port} = s.address();
    s.close(() => resolve(port));
  });
});

async function start(tmp) {
  const alone = !process.env.VR_NGINX_CONF;
  const server = spawn(process.env.VR_SERVER,
                       ['--listen', '127.0.0.1:0', '--db', `sqlite:${tmp}/lb.db`, '--key', `${tmp}/key`,
                        '--test-seed', '43',
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
  return {url: `http://127.0.0.1:${port}/`, stop: () => { nginx.kill(); server.kill(); }};
}

test('a ranked game in the page is sent, verified, listed and watched', async () => {
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'voidrunner-ranked-'));
  const site = await start(tmp);
  const {browser, close} = await launch(640, 360);
  const status = (page) => page.$eval('#board', (e) => e.textContent);
  try {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.goto(site.url + 'index.html?player=%3Cb%3EWEB');
    await page.waitForFunction(() => window.voidrunner.frames > 0, {timeout: 20000});
    assert.match(await status(page), /ranked game/);
    // Thrust held on the field of seed 43: the last ship meets a rock about
    // 35 s after the key goes down, whenever in the first 12 s that is.
    await page.keyboard.down('ArrowUp');
    await page.waitForFunction(() => /listed|refused/.test(document.getElementById('board').textContent),
                               {timeout: 180000, polling: 500});
    assert.match(await status(page), /the run is listed/);
    assert.deepEqual(errors, []);

    const table = await browser.newPage();
    await table.goto(site.url + 'leaderboard.html');
    await table.waitForFunction(() => document.querySelector('#global tbody a'), {timeout: 10000});
    const row = await table.$eval('#global tbody tr', (r) => r.innerText);
    assert.match(row, /^1\t<b>WEB\t\d+\t/, 'the name is shown as text');
    await Promise.all([table.waitForNavigation(), table.click('#global tbody a')]);
    await table.waitForFunction(() => window.voidrunner.frames > 10, {timeout: 20000});
    assert.match(await status(table), /played back/);
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
    await page.goto(site.url + 'index.html');
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
