// Shared helpers of the browser tests: a fake Anthropic server, the emulated host started on a
// free port with its own home folder, and the system Chromium driven by playwright-core.
// Nothing here reaches any address other than 127.0.0.1.
'use strict';

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { chromium } = requirePlaywright();

const HOST_BIN = process.env.QUILLMERE_HOST_BIN || path.resolve(__dirname, '../../build/quillmere-host');
const CHROMIUM = findChromium();
const CHROMIUM_FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'
];

function requirePlaywright() {
  try {
    return require('playwright-core');
  } catch (e) {
    if (e.code !== 'MODULE_NOT_FOUND') throw e;
    throw new Error('playwright-core is not installed in Tests/browser/node_modules: run scripts/install-deps');
  }
}

// QUILLMERE_CHROMIUM names the browser; otherwise the first chromium or chromium-browser on the
// PATH. Without one the tests fail here, saying so, rather than deep inside playwright.
function findChromium() {
  const isExecutable = (file) => { try { fs.accessSync(file, fs.constants.X_OK); return fs.statSync(file).isFile(); } catch (e) { return false; } };
  const named = process.env.QUILLMERE_CHROMIUM;
  if (named && !isExecutable(named)) throw new Error(`QUILLMERE_CHROMIUM=${named} is not an executable file`);
  const found = named || (process.env.PATH || '').split(path.delimiter).filter(Boolean)
    .flatMap((dir) => ['chromium', 'chromium-browser'].map((name) => path.join(dir, name))).find(isExecutable);
  if (!found) throw new Error('No Chromium found: install it (scripts/install-deps), put chromium or chromium-browser ' +
                              'on the PATH, or set QUILLMERE_CHROMIUM to its executable');
  return found;
}

function tempDir(prefix) {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// A fake Anthropic Messages endpoint. Each request is answered by the next scripted reply
// (a function of the request body, or a plain object, or a promise of one: a slow model);
// every request body is recorded.
async function startFakeAnthropic() {
  const replies = [], requests = [];
  const service = await startService(async (req, reply) => {
    let body = null;
    try { body = JSON.parse(req.body); } catch (e) { body = null; }
    requests.push({ url: req.url, headers: req.headers, body });
    const next = replies.shift();
    const answer = await (typeof next === 'function' ? next(body) : next);
    if (!answer) return reply.json(500, { type: 'error', error: { type: 'api_error', message: 'no scripted reply' } });
    reply.json(200, answer);
  });
  return { url: service.url, requests, script(...items) { replies.push(...items); }, close: service.close };
}

// A model reply with these content blocks.
function modelReply(content, stop_reason) {
  return { id: 'msg_1', type: 'message', role: 'assistant', model: 'claude-test', content, stop_reason, usage: { input_tokens: 1, output_tokens: 1 } };
}

const textReply = (text) => modelReply([{ type: 'text', text }], 'end_turn');

let toolIds = 0;
function toolReply(name, input, text) {
  const content = text ? [{ type: 'text', text }] : [];
  content.push({ type: 'tool_use', id: `toolu_${++toolIds}`, name, input: input || {} });
  return modelReply(content, 'tool_use');
}

// 1 x 1 PNG for render previews.
const TINY_PNG = Buffer.from(
  'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==', 'base64');

const settingsFile = (home) => path.join(home, '.quillmere', 'settings.json');
const readSettings = (home) => JSON.parse(fs.readFileSync(settingsFile(home), 'utf8'));

// Starts quillmere-host and waits for the address it prints. serviceUrl is the product's service
// (the sign-in's identity provider), clientId the client the add-on signs in as.
async function startHost({ home, anthropicUrl, serviceUrl, clientId }) {
  const env = { ...process.env, HOME: home };
  // No outside service a developer's environment names is reached: storage stays unset.
  for (const name of ['QUILLMERE_OPENAI_URL', 'QUILLMERE_SERVICE_URL', 'QUILLMERE_STORAGE_URL', 'QUILLMERE_CLIENT_ID']) {
    delete env[name];
  }
  if (anthropicUrl) env.QUILLMERE_ANTHROPIC_URL = anthropicUrl;
  if (serviceUrl) env.QUILLMERE_SERVICE_URL = serviceUrl;
  if (clientId) env.QUILLMERE_CLIENT_ID = clientId;
  const child = spawn(HOST_BIN, ['--port', '0'], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  child.stderr.on('data', (chunk) => { output += chunk; });
  const address = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('host did not start: ' + output)), 20000);
    child.stdout.on('data', (chunk) => {
      output += chunk;
      const match = /http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+/.exec(output);
      if (match) { clearTimeout(timer); resolve(match[0]); }
    });
    child.on('exit', (code) => { clearTimeout(timer); reject(new Error(`host exited (${code}): ${output}`)); });
  });
  const url = new URL(address);
  return {
    address, origin: url.origin, token: url.searchParams.get('token'),
    // SIGTERM lets the host quit as a user would; SIGKILL is a host that crashed.
    async stop(signal = 'SIGTERM') {
      if (child.exitCode !== null || child.signalCode !== null) return child.exitCode;
      const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
      child.kill(signal);
      return exited;
    }
  };
}

async function launchBrowser() {
  const userDataDir = tempDir('quillmere-chromium-');
  const context = await chromium.launchPersistentContext(userDataDir,
    { executablePath: CHROMIUM, headless: true, args: CHROMIUM_FLAGS, viewport: { width: 1400, height: 900 } });
  // A page that asks for anything beyond this machine (the identity provider's development pages
  // import a web font) is refused it: the tests reach 127.0.0.1 alone.
  await context.route((url) => url.hostname !== '127.0.0.1', (route) => route.abort('blockedbyclient'));
  return { context, close: async () => { await context.close(); fs.rmSync(userDataDir, { recursive: true, force: true }); } };
}

// Opens the host window, shows the palette through the add-on's menu item and returns the
// palette's frame once its bridge has answered.
async function openPalette(context, host) {
  const page = context.pages()[0] || await context.newPage();
  await page.goto(host.address);
  await page.click('#addon-menu-button');
  await page.click('.menu-item');
  await page.waitForSelector('#palette:not([hidden])');
  const frameElement = await page.waitForSelector('#palette-frame');
  let frame = null;
  for (let i = 0; i < 600 && !frame; i++) {
    frame = await frameElement.contentFrame();
    if (!frame || !frame.url().includes('/browser/')) { frame = null; await page.waitForTimeout(50); }
  }
  await frame.waitForFunction(() => { const text = document.getElementById('status-text'); return text && text.textContent !== 'Connecting…'; });
  return { page, frame };
}

async function sendMessage(frame, text) {
  await frame.fill('#input', text);
  await frame.click('#send-button');
}

// Waits until the palette shows a message bubble with exactly one of the texts.
function waitForBubble(frame, texts, timeout = 30000) {
  return frame.waitForFunction((wanted) => [...document.querySelectorAll('.bubble')].some((b) =>
    wanted.includes(b.textContent)), [].concat(texts), { timeout });
}

// The tool cards under selector as { name, title, detail, look } (look: ok, warn or fail).
function toolCards(frame, selector = '.tool-card') {
  return frame.$$eval(selector, (els) => els.map((el) => ({
    name: el.querySelector('.tool-name').textContent, title: el.querySelector('.tool-title').textContent,
    detail: el.querySelector('.tool-detail').textContent, look: ['ok', 'warn', 'fail'].find((c) => el.classList.contains(c))
  })));
}

// The usual ground of a test file: a fake Anthropic server, a home folder with the given
// settings (model, key, service address...), the host, the browser and the open palette.
// stop() ends them in reverse.
async function startSession(settings) {
  const session = { home: tempDir('quillmere-home-') };
  session.stop = async () => {
    if (session.browser) await session.browser.close();
    if (session.host) await session.host.stop();
    if (session.fake) await session.fake.close();
  };
  try {
    session.fake = await startFakeAnthropic();
    fs.mkdirSync(path.dirname(settingsFile(session.home)), { recursive: true });
    fs.writeFileSync(settingsFile(session.home), JSON.stringify(settings, null, 2));
    session.host = await startHost({ home: session.home, anthropicUrl: session.fake.url });
    session.browser = await launchBrowser();
    Object.assign(session, await openPalette(session.browser.context, session.host));
  } catch (error) {
    await session.stop();
    throw error;
  }
  return session;
}

// A fake product service on 127.0.0.1: every request is recorded with its raw body, then
// answered by route(req, reply, base), where reply.json(status, value) sends JSON and base is
// the service's own address. A route that returns (or whose promise settles) without answering
// gets 404.
async function startService(route) {
  const requests = [];
  const server = http.createServer((req, res) => {
    const chunks = [];
    req.on('data', (chunk) => chunks.push(chunk));
    req.on('end', () => {
      req.body = Buffer.concat(chunks);
      requests.push({ method: req.method, url: req.url, headers: req.headers, body: req.body });
      const reply = {
        res,
        json(status, value) {
          if (res.destroyed) return;  // the asker has gone (a host stopped while a slow reply waited)
          res.writeHead(status, { 'Content-Type': 'application/json' });
          res.end(JSON.stringify(value));
        }
      };
      Promise.resolve(route(req, reply, `http://127.0.0.1:${server.address().port}`)).finally(() => {
        if (!res.headersSent) reply.json(404, { error: 'no such route' });
      });
    });
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}`,
    requests,
    close: () => new Promise((resolve) => server.close(resolve))
  };
}

// The result object a tool returned in the last request to the model ({ error } when it failed).
function lastToolResult(body) {
  const block = body.messages.at(-1).content.find((b) => b.type === 'tool_result');
  const result = JSON.parse(typeof block.content === 'string' ? block.content : block.content[0].text);
  return result.success ? JSON.parse(result.message) : { error: result.error };
}

// Pixels of a plan picture that are close to black (the sum of their red, green and blue under
// limit), counted in the host window's page so the picture is decoded by the browser itself.
async function darkPixels(page, url, limit = 120) {
  return page.evaluate(async ([src, most]) => {
    const img = new Image();
    img.src = src;
    await img.decode();
    const canvas = document.createElement('canvas');
    canvas.width = img.naturalWidth;
    canvas.height = img.naturalHeight;
    const context = canvas.getContext('2d');
    context.drawImage(img, 0, 0);
    const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
    let dark = 0;
    for (let i = 0; i < data.length; i += 4) if (data[i] + data[i + 1] + data[i + 2] < most) dark++;
    return dark;
  }, [url, limit]);
}

module.exports = {
  modelReply, textReply, toolReply, startHost, launchBrowser, openPalette, sendMessage, waitForBubble, toolCards,
  readSettings, tempDir, startSession, startService, lastToolResult, TINY_PNG, darkPixels
};
