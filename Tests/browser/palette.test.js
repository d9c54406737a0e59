'use strict';

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const h = require('./harness');

const MODEL = 'claude-test-model';
const TINY_PNG = Buffer.from(
  'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==', 'base64');
const KEY = 'sk-ant-test-key-123';

describe('chat palette in the emulated host', () => {
  let session, fake, home, host, browser, page, frame;

  before(async () => {
    session = await h.startSession({ provider: 'anthropic', model: MODEL, anthropic_api_key: KEY });
    ({ fake, home, host, browser, page, frame } = session);
  });

  after(async () => {
    if (session) await session.stop();
  });

  test('the page loads through the shell with the bridge and the stored settings', async () => {
    assert.equal(await frame.textContent('#status-text'), 'Ready');
    assert.equal(await frame.isVisible('#welcome'), true);
    assert.equal(await frame.textContent('#model-hint'), MODEL);
    const checked = await page.textContent('.menu-item .tick');
    assert.equal(checked, '\u2713', 'the menu item is ticked while the palette is shown');
  });

  test('a message reaches the model and the reply appears', async () => {
    fake.script(h.textReply('Hello! The **ground floor** is empty.'));
    await h.sendMessage(frame, 'What is on the ground floor?');
    await frame.waitForSelector('.message.assistant .bubble');
    const reply = await frame.textContent('.message.assistant .bubble');
    assert.equal(reply, 'Hello! The ground floor is empty.');
    assert.equal(await frame.textContent('.message.assistant .bubble strong'), 'ground floor');
    assert.equal(await frame.textContent('.message.user .bubble'), 'What is on the ground floor?');
    const request = fake.requests.at(-1);
    assert.equal(request.url, '/v1/messages');
    assert.equal(request.headers['x-api-key'], KEY);
    assert.equal(request.body.model, MODEL);
    const lastUser = request.body.messages.at(-1);
    assert.equal(lastUser.role, 'user');
    assert.equal(JSON.stringify(lastUser.content).includes('What is on the ground floor?'), true);
    await frame.waitForSelector('#thinking', { state: 'hidden' });
    assert.equal(await frame.isVisible('#welcome'), false);
  });

  test('tool results become cards: identical outcomes merge, a different outcome starts a new card', async () => {
    // Through the engine: the model asks twice for a tool the add-on does not have.
    fake.script(h.toolReply('paint_walls', { colour: 'red' }), h.toolReply('paint_walls', { colour: 'blue' }),
      h.textReply('I could not paint the walls.'));
    await h.sendMessage(frame, 'Paint the walls');
    await frame.waitForFunction(() => document.querySelectorAll('.message').length >= 5 &&
      [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'I could not paint the walls.'));
    const cards = await frame.$$eval('.message:nth-last-child(2) .tool-card', (els) => els.map((el) => ({
      title: el.querySelector('.tool-title').textContent,
      detail: el.querySelector('.tool-detail').textContent,
      failed: el.classList.contains('fail')
    })));
    assert.deepEqual(cards, [{ title: 'paint walls (\u00d72)', detail: 'Unknown tool: paint_walls', failed: true }]);

    // Straight from the add-on's calls: only the very same result counts up; a JSON result
    // shows its message, the JSON behind a disclosure.
    await frame.evaluate(() => {
      QuillmereUI.addToolResult('create_wall', true, '{"message":"Wall created","walls":[1]}');
      QuillmereUI.addToolResult('create_wall', true, '{"message":"Wall created","walls":[1]}');
      QuillmereUI.addToolResult('create_wall', true, 'Wall created: {C}');
      QuillmereUI.addToolResult('create_wall', false, 'Create wall ACAPI error: -2130313112');
    });
    const last = await frame.$$eval('.message:last-child .tool-card', (els) => els.map((el) => ({
      title: el.querySelector('.tool-title').textContent,
      detail: el.querySelector('.tool-detail').textContent,
      ok: el.classList.contains('ok')
    })));
    assert.deepEqual(last, [
      { title: 'create wall (\u00d72)', detail: 'Wall created', ok: true },
      { title: 'create wall', detail: 'Wall created: {C}', ok: true },
      { title: 'create wall', detail: 'Create wall ACAPI error: -2130313112', ok: false }
    ]);
    assert.match(await frame.textContent('.message:last-child .tool-card details pre'), /"walls"/);
  });

  test('a render preview shows the image and a download button; a script address is refused', async () => {
    const image = `${fake.url}/render.png?id=1`;
    const download = `${fake.url}/render.png?id=1&download=1`;
    await frame.evaluate(([i, d]) => QuillmereUI.addRenderPreview(i, d), [image, download]);
    const img = await frame.waitForSelector('.render-card img[alt="Render preview"]');
    assert.equal(await img.getAttribute('src'), image);
    await frame.waitForFunction(() => document.querySelector('.render-card img').naturalWidth === 1);
    const [popup] = await Promise.all([
      browser.context.waitForEvent('page'),
      frame.click('.render-card button:has-text("Download render")')
    ]);
    await popup.waitForLoadState('domcontentloaded').catch(() => {});
    assert.equal(popup.url(), download);
    await popup.close();

    // An inline image cannot be opened as a window (browsers refuse data: navigations): it is saved.
    const inline = 'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNkYAAAAAYAAjCB0C8AAAAASUVORK5CYII=';
    await frame.evaluate((u) => QuillmereUI.addRenderPreview(u, u), inline);
    const [saved] = await Promise.all([
      browser.context.pages()[0].waitForEvent('download', { timeout: 5000 }),
      frame.click('.message:last-child .render-card button:has-text("Download render")')
    ]);
    assert.match(saved.suggestedFilename(), /\.png$/);
    await frame.evaluate(() => document.querySelector('.message:last-child').remove());

    await frame.evaluate(() => QuillmereUI.addRenderPreview('javascript:window.__pwned=1', 'javascript:window.__pwned=1'));
    const cards = await frame.$$('.render-card');
    assert.equal(cards.length, 1, 'no preview card for a script address');
    assert.equal(await frame.evaluate(() => window.__pwned), undefined);
  });

  test('hostile text from the model and from tool names and details stays text', async () => {
    const hostileReply = 'Look: <img src=x onerror="window.__pwned=1"></script><b>bold</b> \'single\' "double" \\back\\slash\r\nsecond line';
    const hostileTool = 'evil\'"</script><img src=x onerror="window.__pwned=2">\nname\\';
    fake.script(h.toolReply(hostileTool, {}), h.textReply(hostileReply));
    await h.sendMessage(frame, 'Say something odd');
    await frame.waitForFunction((text) => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === text),
      hostileReply);
    const card = await frame.$$eval('.tool-card.fail', (els) => {
      const el = els[els.length - 1];
      return { name: el.querySelector('.tool-name').textContent, detail: el.querySelector('.tool-detail').textContent };
    });
    assert.equal(card.name, hostileTool.replace(/_/g, ' '));
    assert.equal(card.detail, 'Unknown tool: ' + hostileTool);
    assert.equal(await frame.evaluate(() => window.__pwned), undefined);
    assert.equal(await frame.$$eval('.messages img:not(.render-card img)', (els) => els.length), 0);
    assert.equal(await frame.$$eval('.messages b', (els) => els.length), 0);
  });

  test('attachments go to the model as base64 with their media type; other files are refused', async () => {
    const png = Buffer.from('iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==', 'base64');
    const pdf = Buffer.from('%PDF-1.4\n1 0 obj <<>> endobj\ntrailer <<>>\n%%EOF\n');
    await frame.setInputFiles('#file-input', [
      { name: 'plan.png', mimeType: 'image/png', buffer: png },
      { name: 'survey.pdf', mimeType: 'application/pdf', buffer: pdf },
      { name: 'notes.txt', mimeType: 'text/plain', buffer: Buffer.from('no') }
    ]);
    await frame.waitForFunction(() => document.querySelectorAll('#attachments .chip').length === 2);
    assert.match(await frame.textContent('#toast'), /notes\.txt/);
    fake.script(h.textReply('I see a plan and a survey.'));
    await h.sendMessage(frame, 'Rebuild this');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'I see a plan and a survey.'));
    const blocks = fake.requests.at(-1).body.messages.at(-1).content;
    const image = blocks.find((b) => b.type === 'image');
    const documentBlock = blocks.find((b) => b.type === 'document');
    assert.equal(image.source.media_type, 'image/png');
    assert.equal(image.source.data, png.toString('base64'));
    assert.equal(documentBlock.source.media_type, 'application/pdf');
    assert.equal(documentBlock.source.data, pdf.toString('base64'));
    assert.equal(blocks.some((b) => b.type === 'text' && b.text === 'Rebuild this'), true);
    assert.equal(await frame.$$eval('.message.user', (els) => els.at(-1).querySelectorAll('.user-file').length), 2);
    assert.equal(await frame.isHidden('#attachments'), true);
  });

  test('the palette with a conversation looks finished', async () => {
    const target = process.env.QUILLMERE_SCREENSHOT;
    if (!target) return;
    fake.script(h.textReply('Let me look at the stories first.'),
      h.textReply('The project has three stories: **Ground Floor** at 0.00 m, **First Floor** at 3.00 m and ' +
        '**Second Floor** at 6.00 m. Shall I start with the outer walls of the ground floor?'));
    await frame.click('#new-chat-button');
    await frame.waitForSelector('#welcome', { state: 'visible' });
    await h.sendMessage(frame, 'Which stories does this project have?');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent.startsWith('Let me look')));
    await frame.evaluate(() => QuillmereUI.addToolResult('get_story_info', true, '3 stories: Ground Floor, First Floor, Second Floor'));
    await h.sendMessage(frame, 'Go on');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent.startsWith('The project has')));
    await frame.evaluate(() => {
      QuillmereUI.addToolResult('create_wall', true, 'Wall created');
      QuillmereUI.addToolResult('create_wall', true, 'Wall created');
      QuillmereUI.addToolResult('create_wall', true, 'Wall created');
      QuillmereUI.addToolResult('create_wall', true, 'Wall created');
      QuillmereUI.addAssistantMessage('Done: four walls of 30 cm enclose a 6 \u00d7 4 m room on the Ground Floor. Undo removes them in one step.');
    });
    await frame.waitForSelector('#toast', { state: 'hidden', timeout: 5000 });
    await page.waitForTimeout(300);
    fs.mkdirSync(path.dirname(target), { recursive: true });
    await (await page.$('#palette')).screenshot({ path: target });
    await page.screenshot({ path: target.replace(/\.png$/, '-host.png') });
  });
  test('a wall the model builds shows as a card and in the plan view', async () => {
    const planUrl = `${host.origin}/host/plan.png?token=${host.token}&w=300&h=200&story=0`;
    const before = Buffer.from(await (await fetch(planUrl)).arrayBuffer());
    let offered = false;
    fake.script((body) => {
      offered = (body.tools || []).some((tool) => tool.name === 'create_wall');
      if (!offered) return h.textReply('No wall tool here.');
      fake.script(h.textReply('Wall built.'));
      return h.toolReply('create_wall', { start_x: 0, start_y: 0, end_x: 6, end_y: 0, thickness: 0.3 });
    });
    await h.sendMessage(frame, 'Build a 6 m wall');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) =>
      b.textContent === 'Wall built.' || b.textContent === 'No wall tool here.'));
    assert.ok(offered, 'create_wall was not offered to the model');
    const card = await frame.$$eval('.tool-card', (els) => {
      const el = els[els.length - 1];
      return { name: el.querySelector('.tool-name').textContent, ok: el.classList.contains('ok') };
    });
    assert.deepEqual(card, { name: 'create wall', ok: true });
    const after = Buffer.from(await (await fetch(planUrl)).arrayBuffer());
    assert.notDeepEqual(after, before, 'the plan view did not change');
  });

  test('the host window follows the stories and build phases the model changes', async () => {
    const state = async () => (await fetch(`${host.origin}/host/state?token=${host.token}`)).json();
    const plan = async (story) => Buffer.from(await (await fetch(
      `${host.origin}/host/plan.png?token=${host.token}&w=300&h=200${story === undefined ? '' : '&story=' + story}`)).arrayBuffer());
    const reply = (text) => frame.waitForFunction((t) => [...document.querySelectorAll('.bubble')].some((b) =>
      b.textContent === t || b.textContent === 'No story tools here.'), text);
    let offered = false;
    fake.script((body) => {
      offered = (body.tools || []).some((tool) => tool.name === 'create_story');
      if (!offered) return h.textReply('No story tools here.');
      fake.script(h.toolReply('set_current_story', { story_index: 3 }), h.textReply('On the attic now.'));
      return h.toolReply('create_story', { name: 'Attic' });
    });
    await h.sendMessage(frame, 'Add an attic and go there');
    await reply('On the attic now.');
    assert.ok(offered, 'the story tools are offered to the model');
    await page.waitForFunction(() => (document.querySelector('.story.active') || {}).textContent === 'Attic');
    assert.equal((await state()).currentStory, 3);

    // A tab chosen in the window makes its story current in the host.
    await page.click('.story[data-story="0"]');
    await page.waitForFunction(() => document.querySelector('.story.active').textContent === 'Ground Floor');
    assert.equal((await state()).currentStory, 0);

    // Staged: the ground floor's wall leaves the plan with its hidden layer and comes back.
    const empty = await plan(3);
    fake.script(h.toolReply('create_wall', { start_x: 0, start_y: 0, end_x: 6, end_y: 0, thickness: 0.3 }),
      h.toolReply('prepare_build_phases', {}), h.textReply('Staged.'));
    await h.sendMessage(frame, 'Build a wall and stage the model');
    await reply('Staged.');
    assert.equal((await state()).hiddenLayers.filter((name) => name.startsWith('__PHASE_')).length, 8);
    assert.deepEqual(await plan(), empty, 'a hidden phase was drawn');
    fake.script(h.toolReply('reveal_build_phase', { phase: 1 }), h.textReply('Shell revealed.'));
    await h.sendMessage(frame, 'Show the shell');
    await reply('Shell revealed.');
    assert.notDeepEqual(await plan(), empty, 'the revealed shell is missing');
  });

  test('a view and a database the model opens are named in the host window', async () => {
    // The default project's saved view of the first floor and its site-survey worksheet.
    const firstFloorView = 'D0C00003-000B-4000-8000-000000000000';
    const worksheet = 'D0C00001-0005-4000-8000-000000000000';
    fake.script(h.toolReply('switch_view', { view_guid: firstFloorView }),
      h.toolReply('switch_database', { database_guid: worksheet, type: 'worksheet' }),
      h.textReply('Opened the survey notes.'));
    await h.sendMessage(frame, 'Open the first floor view, then the survey worksheet');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'Opened the survey notes.'));
    await page.waitForFunction(() => document.getElementById('view-name').textContent === 'View: 02 First Floor' &&
      document.getElementById('plan-title').textContent === 'Worksheet \u00b7 WS-01 Site Survey Notes', null, { timeout: 5000 });
  });

  test('closing the palette from the host hides it and the menu brings it back with its conversation', async () => {
    const messagesBefore = await frame.$$eval('.message', (els) => els.length);
    assert.ok(messagesBefore > 0);
    await page.click('#palette-close');
    await page.waitForSelector('#palette', { state: 'hidden' });
    await page.waitForFunction(() => document.querySelector('.menu-item .tick').textContent === '');
    await page.click('#addon-menu-button');
    await page.click('.menu-item');
    await page.waitForSelector('#palette', { state: 'visible' });
    assert.equal(await frame.$$eval('.message', (els) => els.length), messagesBefore);
    assert.equal(await page.textContent('.menu-item .tick'), '\u2713');
  });

  test('a reloaded page shows the conversation the palette holds, and a cleared one the welcome', async () => {
    // What the page shows: every message with its role, bubbles, files and cards, in order.
    const snapshot = () => frame.$$eval('.message', (els) => els.map((m) => ({
      role: m.classList.contains('user') ? 'user' : 'assistant',
      bubbles: [...m.querySelectorAll('.bubble')].map((b) => b.textContent),
      files: [...m.querySelectorAll('.user-file')].map((f) => f.textContent),
      cards: [...m.querySelectorAll('.tool-card')].map((c) => c.querySelector('.tool-name').textContent +
        c.querySelector('.tool-count').textContent + ': ' + c.querySelector('.tool-detail').textContent)
    })));
    const reload = async () => {
      await frame.evaluate(() => location.reload());
      await frame.waitForFunction(() => document.getElementById('status-text').textContent === 'Ready');
    };
    await frame.click('#new-chat-button');
    await frame.waitForSelector('#welcome', { state: 'visible' });
    fake.script(h.toolReply('paint_walls', { colour: 'red' }, 'Painting.'), h.toolReply('paint_walls', {}),
      h.textReply('There is no paint tool.'));
    await frame.setInputFiles('#file-input', { name: 'plan.png', mimeType: 'image/png', buffer: TINY_PNG });
    await frame.waitForFunction(() => document.querySelectorAll('#attachments .chip').length === 1);
    await h.sendMessage(frame, 'Paint the walls red');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'There is no paint tool.'));
    await frame.waitForSelector('#thinking', { state: 'hidden' });
    const before = await snapshot();
    assert.deepEqual(before.map((m) => m.role), ['user', 'assistant', 'assistant']);
    assert.deepEqual(before[1].cards, ['paint walls (\u00d72): Unknown tool: paint_walls']);

    await reload();
    await frame.waitForFunction((n) => document.querySelectorAll('.message').length === n, before.length);
    assert.deepEqual(await snapshot(), before);
    assert.equal(await frame.isVisible('#welcome'), false);
    assert.equal(await frame.$$eval('.message.user img', (imgs) => imgs.length), 1, 'the thumbnail is back');

    // Cleared, a reload stays empty; and the model is not sent the old conversation either.
    await frame.click('#new-chat-button');
    await reload();
    await page.waitForTimeout(300);
    assert.equal(await frame.$$eval('.message', (els) => els.length), 0);
    assert.equal(await frame.isVisible('#welcome'), true);
    fake.script(h.textReply('Fresh start.'));
    await h.sendMessage(frame, 'Hello again');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'Fresh start.'));
    assert.equal(fake.requests.at(-1).body.messages.length, 1);
  });

  test('the welcome suggestions ask only for tools the model is offered', async () => {
    const needs = await frame.$$eval('.suggestion', (buttons) =>
      buttons.map((b) => ({ title: b.querySelector('.suggestion-title').textContent, tools: (b.dataset.tools || '').split(' ').filter(Boolean) })));
    assert.ok(needs.length > 0);
    let offered = [];
    fake.script((body) => {
      offered = (body.tools || []).map((tool) => tool.name);
      return h.textReply('These are my tools.');
    });
    await h.sendMessage(frame, 'Which tools do you have?');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'These are my tools.'));
    for (const { title, tools } of needs) {
      assert.ok(tools.length > 0, `"${title}" names the tools it relies on`);
      for (const name of tools) assert.ok(offered.includes(name), `"${title}" relies on ${name}, which is not registered`);
    }
  });
});

describe('settings', () => {
  test('settings saved on the page land in settings.json and survive a restart', async () => {
    const home = h.tempDir('quillmere-home-');
    const browser = await h.launchBrowser();
    let host = await h.startHost({ home });
    try {
      let { frame } = await h.openPalette(browser.context, host);
      assert.equal(await frame.textContent('#status-text'), 'Add an API key in Settings');
      await frame.click('#settings-button');
      await frame.selectOption('#setting-provider', 'openai');
      await frame.fill('#setting-model', 'gpt-4.1');
      await frame.fill('#setting-anthropic-key', 'sk-ant-saved');
      await frame.fill('#setting-openai-key', 'sk-openai-saved');
      await frame.check('#setting-dark-mode');
      await frame.click('#settings-save');
      await frame.waitForSelector('#settings-state:has-text("Saved")');
      const stored = h.readSettings(home);
      assert.equal(stored.provider, 'openai');
      assert.equal(stored.model, 'gpt-4.1');
      assert.equal(stored.anthropic_api_key, 'sk-ant-saved');
      assert.equal(stored.openai_api_key, 'sk-openai-saved');
      assert.equal(stored.dark_mode, true);
      assert.equal((fs.statSync(path.join(home, '.quillmere', 'settings.json')).mode & 0o077), 0,
        'the keys are readable by the user only');

      assert.equal(await host.stop(), 0, 'the host quits cleanly');
      host = await h.startHost({ home });
      ({ frame } = await h.openPalette(browser.context, host));
      await frame.click('#settings-button');
      assert.equal(await frame.inputValue('#setting-provider'), 'openai');
      assert.equal(await frame.inputValue('#setting-model'), 'gpt-4.1');
      assert.equal(await frame.inputValue('#setting-anthropic-key'), 'sk-ant-saved');
      assert.equal(await frame.inputValue('#setting-openai-key'), 'sk-openai-saved');
      assert.equal(await frame.isChecked('#setting-dark-mode'), true);
      assert.equal(await frame.evaluate(() => document.documentElement.classList.contains('dark')), true);
    } finally {
      await browser.close();
      await host.stop();
    }
  });

});

describe('who may talk to the shell', () => {
  let host;
  before(async () => {
    host = await h.startHost({ home: h.tempDir('quillmere-home-') });
    // Show the palette so that its bridge exists.
    await request(host, 'POST', `/host/menu?token=${host.token}`, { body: { menuResId: 32500, itemIndex: 1 } });
  });
  after(async () => { if (host) await host.stop(); });

  function request(target, method, pathAndQuery, { body, headers } = {}) {
    return new Promise((resolve, reject) => {
      const data = body === undefined ? undefined : JSON.stringify(body);
      const req = http.request({
        host: '127.0.0.1', port: target.port, method, path: pathAndQuery,
        headers: { 'Content-Type': 'application/json', ...(headers || {}) }
      }, (res) => {
        let text = '';
        res.on('data', (c) => { text += c; });
        res.on('end', () => resolve({ status: res.statusCode, text }));
      });
      req.on('error', reject);
      if (data) req.write(data);
      req.end();
    });
  }

  async function browserId() {
    const state = JSON.parse((await request(host, 'GET', `/host/state?token=${host.token}`)).text);
    return state.palette.browserId;
  }

  test('a bridge call with the token and from the shell origin is answered', async () => {
    const id = await browserId();
    const answer = await request(host, 'POST', `/browser/${id}/call`, {
      headers: { 'X-Quillmere-Token': host.token, Origin: host.origin },
      body: { object: 'Quillmere', function: 'getSettings', args: [] }
    });
    assert.equal(answer.status, 200);
    const settings = JSON.parse(JSON.parse(answer.text).result);
    assert.equal(settings.provider, 'anthropic');
  });

  test('requests without the token, with a wrong one, from another origin or host are refused', async () => {
    const id = await browserId();
    const call = { object: 'Quillmere', function: 'getSettings', args: [] };
    const refused = [
      await request(host, 'POST', `/browser/${id}/call`, { body: call }),
      await request(host, 'POST', `/browser/${id}/call`, { body: call, headers: { 'X-Quillmere-Token': host.token.replace(/.$/, (c) => (c === '0' ? '1' : '0')) } }),
      await request(host, 'POST', `/browser/${id}/call`, { body: call, headers: { 'X-Quillmere-Token': host.token, Origin: 'http://evil.example' } }),
      await request(host, 'POST', `/browser/${id}/call`, { body: call, headers: { 'X-Quillmere-Token': host.token, Origin: 'http://127.0.0.1:1' } }),
      await request(host, 'POST', `/browser/${id}/call`, { body: call, headers: { 'X-Quillmere-Token': host.token, Host: 'rebound.example:' + host.port } }),
      await request(host, 'POST', `/browser/${id}/call`, { body: call, headers: { 'X-Quillmere-Token': host.token, 'Sec-Fetch-Site': 'cross-site' } }),
      await request(host, 'GET', `/browser/${id}/page`),
      await request(host, 'GET', `/browser/${id}/events`),
      await request(host, 'GET', '/'),
      await request(host, 'GET', '/host/plan.png')
    ];
    for (const answer of refused) {
      assert.equal(answer.status, 403);
      assert.equal(answer.text.includes('sk-'), false);
    }
  });

  test('malformed requests get a clear refusal and the host keeps serving', async () => {
    const id = await browserId();
    const headers = { 'X-Quillmere-Token': host.token };
    const answers = [
      await request(host, 'POST', `/host/menu`, { headers, body: { menuResId: 'x', itemIndex: [] } }),
      await request(host, 'POST', `/host/menu`, { headers, body: { menuResId: 1e20, itemIndex: 1 } }),
      await request(host, 'POST', `/browser/${id}/call`, { headers, body: { object: 1, function: null } }),
      await request(host, 'POST', `/browser/${id}/call`, { headers, body: { object: 'Quillmere', function: 'noSuchFunction', args: [] } }),
      await request(host, 'POST', `/browser/${id}/call`, { headers, body: { object: 'Quillmere', function: 'saveSettings', args: [{ provider: 'x' }] } })
    ];
    assert.deepEqual(answers.map((a) => a.status), [400, 400, 400, 404, 200]);
    assert.equal(JSON.parse(answers[4].text).result, false);
    const state = await request(host, 'GET', `/host/state?token=${host.token}`);
    assert.equal(state.status, 200);
  });

  test('pages left open in many tabs do not stall the host', { timeout: 20000 }, async () => {
    const id = await browserId();
    const streams = [];
    const answers = [];
    try {
      for (let i = 0; i < 40; i++) {
        await new Promise((resolve, reject) => {
          const req = http.get({
            host: '127.0.0.1', port: host.port, path: `/browser/${id}/events?token=${host.token}`
          }, (res) => { answers.push(res.statusCode); resolve(); });
          req.on('error', reject);
          streams.push(req);
        });
      }
      assert.ok(answers.includes(200), 'no event stream was opened');
      const state = await request(host, 'GET', `/host/state?token=${host.token}`);
      assert.equal(state.status, 200);
    } finally {
      streams.forEach((req) => req.destroy());
    }
  });

  test('another web page in the browser cannot drive the bridge', async () => {
    const evil = http.createServer((req, res) => {
      res.writeHead(200, { 'Content-Type': 'text/html' });
      res.end('<html><body>evil</body></html>');
    });
    await new Promise((resolve) => evil.listen(0, '127.0.0.1', resolve));
    const browser = await h.launchBrowser();
    try {
      const page = await browser.context.newPage();
      await page.goto(`http://127.0.0.1:${evil.address().port}/`);
      const id = await browserId();
      const outcome = await page.evaluate(async ([port, id, token]) => {
        try {
          const r = await fetch(`http://127.0.0.1:${port}/browser/${id}/call?token=${token}`, {
            method: 'POST', headers: { 'Content-Type': 'application/json' },
            body: JSON.stringify({ object: 'Quillmere', function: 'getSettings', args: [] })
          });
          return 'status ' + r.status;
        } catch (e) {
          return 'blocked';
        }
      }, [host.port, id, host.token]);
      // Even knowing the token, a page of another origin is refused (or cannot read the answer).
      assert.notEqual(outcome, 'status 200');
    } finally {
      await browser.close();
      await new Promise((resolve) => evil.close(resolve));
    }
  });

});

describe('the page before its bridge exists', () => {
  let host, browser, html;

  before(async () => {
    host = await h.startHost({ home: h.tempDir('quillmere-home-') });
    browser = await h.launchBrowser();
    const { frame } = await h.openPalette(browser.context, host);
    // The page as the add-on wrote it: without the shell's bridge script.
    html = await frame.evaluate(() => document.documentElement.outerHTML);
    html = '<!DOCTYPE html>' + html.replace(/<script>\s*\(function \(\) \{\s*var TOKEN[\s\S]*?<\/script>/, '');
    assert.equal(html.includes('X-Quillmere-Token'), false);
  });

  after(async () => {
    if (browser) await browser.close();
    if (host) await host.stop();
  });

  async function pageWithLateBridge(delayMs, failures) {
    const page = await browser.context.newPage();
    const lateBridge = `<script>
      window.__calls = 0;
      setTimeout(function () {
        window.Quillmere = {
          getSettings: function () {
            window.__calls += 1;
            if (window.__calls <= ${failures}) return Promise.reject(new Error('not yet'));
            return Promise.resolve(JSON.stringify({ provider: 'anthropic', model: 'claude-late', anthropicApiKey: 'k' }));
          }
        };
      }, ${delayMs});
    </script>`;
    await page.setContent(html.replace('<head>', '<head>' + lateBridge));
    return page;
  }

  test('the first call is retried until the bridge answers', async () => {
    const page = await pageWithLateBridge(700, 2);
    await page.waitForFunction(() => document.getElementById('status-text').textContent === 'Ready', null, { timeout: 5000 });
    assert.equal(await page.textContent('#model-hint'), 'claude-late');
    assert.equal(await page.evaluate(() => window.__calls), 3);
    await page.close();
  });

  test('after fifteen tries the page says it is not connected', async () => {
    const page = await pageWithLateBridge(60000, 0);
    await page.waitForFunction(() => document.getElementById('status-text').textContent === 'Not connected', null, { timeout: 8000 });
    assert.equal(await page.isDisabled('#send-button'), true);
    await page.close();
  });
});
