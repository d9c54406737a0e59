'use strict';

// The chat palette in the emulated host: what a user sees of a conversation, its cards,
// previews and attachments, the host window following what the model changes, settings that
// survive a restart, and a page that waits for its bridge.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

const MODEL = 'claude-test-model';

describe('chat palette in the emulated host', () => {
  let session, fake, host, page, frame;

  before(async () => {
    session = await h.startSession({ provider: 'anthropic', model: MODEL, anthropic_api_key: 'sk-ant-test-key-123' });
    ({ fake, host, page, frame } = session);
  });

  after(async () => {
    if (session) await session.stop();
  });

  async function pageWithLateBridge(html, delayMs, failures) {
    const page = await session.browser.context.newPage();
    const lateBridge = `<script>
      window.__calls = 0;
      setTimeout(function () {
        window.Quillmere = { getSettings: function () {
          window.__calls += 1;
          if (window.__calls <= ${failures}) return Promise.reject(new Error('not yet'));
          return Promise.resolve(JSON.stringify({ provider: 'anthropic', model: 'claude-late', anthropicApiKey: 'k' }));
        } };
      }, ${delayMs});
    </script>`;
    await page.setContent(html.replace('<head>', '<head>' + lateBridge));
    return page;
  }

  test('a page without its bridge yet retries its first call, and after fifteen tries gives up', async () => {
    // The page as the add-on wrote it: without the shell's bridge script.
    const html = '<!DOCTYPE html>' + (await frame.evaluate(() => document.documentElement.outerHTML))
      .replace(/<script>\s*\(function \(\) \{\s*var TOKEN[\s\S]*?<\/script>/, '');
    assert.equal(html.includes('X-Quillmere-Token'), false);
    const late = await pageWithLateBridge(html, 700, 2);
    await late.waitForFunction(() => document.getElementById('status-text').textContent === 'Ready');
    assert.equal(await late.textContent('#model-hint'), 'claude-late');
    assert.equal(await late.evaluate(() => window.__calls), 3);
    const never = await pageWithLateBridge(html, 60000, 0);
    // Well before the bridge comes, however slowly a busy machine runs the page's timers.
    await never.waitForFunction(() => document.getElementById('status-text').textContent === 'Not connected', null, { timeout: 30000 });
    assert.equal(await never.isDisabled('#send-button'), true);
    await Promise.all([late.close(), never.close()]);
  });

  test('the page loads with the stored settings and a message gets its reply', async () => {
    assert.equal(await frame.textContent('#status-text'), 'Ready');
    assert.equal(await frame.textContent('#model-hint'), MODEL);
    fake.script(h.textReply('Hello! The **ground floor** is empty.'));
    await h.sendMessage(frame, 'What is on the ground floor?');
    await h.waitForBubble(frame, 'Hello! The ground floor is empty.');
    assert.equal(await frame.textContent('.message.assistant .bubble strong'), 'ground floor');
    assert.equal(await frame.textContent('.message.user .bubble'), 'What is on the ground floor?');
    await frame.waitForSelector('#thinking', { state: 'hidden' });
  });

  test('tool results become cards that say what each holds, errors as warnings; a repeated failure counts up', async () => {
    // Through the engine: the model asks twice for a tool the add-on does not have.
    fake.script(h.toolReply('paint_walls', { colour: 'red' }), h.toolReply('paint_walls', { colour: 'blue' }),
      h.textReply('I could not paint the walls.'));
    await h.sendMessage(frame, 'Paint the walls');
    await h.waitForBubble(frame, 'I could not paint the walls.');
    const merged = await h.toolCards(frame, '.message:nth-last-child(2) .tool-card');
    assert.deepEqual(merged.map((c) => [c.title, c.detail, c.look]),
      [['paint walls (\u00d72)', 'Unknown tool: paint_walls', 'fail']]);
    // A card's line says what the answer holds; one carrying an error (no storage is set here),
    // or finding none of what was asked, is a warning that names it.
    const ghost = '00000000-0000-4000-8000-00000000000F';
    const rows = [ // tool, input, look, line
      ['create_walls_batch', { walls: [0, 2].map((y) => ({ start_x: 0, start_y: y, end_x: 4, end_y: y })) }, 'ok', /^2 walls created$/],
      ['list_elements', { limit: 1 }, 'ok', /^1 element, 1\u20131 of \d+$/],
      ['list_stories', {}, 'ok', /^\d+ stories$/],
      ['get_element_details', { element_guids: [ghost] }, 'warn', new RegExp(`^Not found: ${ghost}$`)],
      ['list_templates', {}, 'warn', /^Supabase list failed \(0\)/],
      ['capture_project_template', { template_name: 'Cards' }, 'warn', /^Supabase upload Cards\.meta\.json failed \(0\)/]];
    fake.script(...rows.map(([tool, input]) => h.toolReply(tool, input)), h.textReply('Looked around.'));
    await h.sendMessage(frame, 'Look around');
    await h.waitForBubble(frame, 'Looked around.');
    const cards = await h.toolCards(frame, '.message:nth-last-child(2) .tool-card');
    assert.deepEqual(cards.map((c) => [c.name, c.look]), rows.map(([tool, , look]) => [tool.replace(/_/g, ' '), look]));
    rows.forEach(([tool, , , line], i) => assert.match(cards[i].detail, line, tool));
    // A JSON result shows its message, the JSON behind a disclosure.
    await frame.evaluate(() => QuillmereUI.addToolResult('create_wall', true, '{"message":"Wall created","walls":[1]}'));
    assert.deepEqual((await h.toolCards(frame, '.message:last-child .tool-card')).map((c) => c.detail), ['Wall created']);
    assert.match(await frame.textContent('.message:last-child .tool-card details pre'), /"walls"/);
  });

  test('a call like the last card\'s counts on it: successes as "N completed", each distinct failure apart', async () => {
    const wall = (n) => `{"message":"Wall created","walls":[${n}]}`;
    const rows = [ // calls (tool, success, detail; or a text message) -> cards (title, detail, look) of the last message, and messages
      [[['create_wall', true, wall(1)], ['create_wall', true, wall(2)], ['create_wall', true, 'Wall created: {C}']],
        [['create wall (\u00d73)', '3 completed', 'ok']]],
      [[['create_wall', true, wall(1)], ['create_wall', false, 'Wall too short'], ['create_wall', true, wall(2)]],
        [['create wall', 'Wall created', 'ok'], ['create wall', 'Wall too short', 'fail'], ['create wall', 'Wall created', 'ok']]],
      [[['create_wall', false, 'Wall too short'], ['create_wall', false, 'Wall too short']],
        [['create wall (\u00d72)', 'Wall too short', 'fail']]],
      [[['create_wall', false, 'Wall too short'], ['create_wall', false, 'No story 9']],
        [['create wall', 'Wall too short', 'fail'], ['create wall', 'No story 9', 'fail']]],
      // A result that carries an error is a warning, not one more success.
      [[['list_templates', true, '{"templates":[]}'], ['list_templates', true, '{"list_error":"Storage list failed (0)"}']],
        [['list templates', 'no templates', 'ok'], ['list templates', 'Storage list failed (0)', 'warn']]],
      [[['create_wall', true, wall(1)], ['create_column', true, 'G-1'], ['create_wall', true, wall(2)]],
        [['create wall', 'Wall created', 'ok'], ['create column', 'G-1', 'ok'], ['create wall', 'Wall created', 'ok']]],
      // Only within the newest assistant message.
      [[['create_wall', true, wall(1)], 'Next one.', ['create_wall', true, wall(2)]], [['create wall', 'Wall created', 'ok']], 2],
      // A plan job that failed is a warning; of several errors the first by name, whatever the key order.
      [[['get_plan_status', true, '{"job_id":"j1","status":"failed"}']], [['get plan status', 'failed', 'warn']]],
      [[['capture_project_template', true, '{"upload_error":"Upload failed","mod_error":"Save failed","ok":true}']],
        [['capture project template', 'Save failed', 'warn']]],
      // Notes after a JSON result leave it to be read; one of summaries not read in time is a warning naming it.
      [[['list_templates', true, '{"count":1,"templates":[{"template_name":"a"}],"unreadable_count":2}\n[2 of the ' +
        'unreadable template summaries were not read in time: the storage did not answer.]\n[Only the first 1 of 2 ' +
        'templates are listed: a result holds at most 65536 bytes.]']],
        [['list templates', '2 of the unreadable template summaries were not read in time: the storage did not answer.', 'warn']]],
      [[['list_layers', true, '{"layers":[{"name":"A"}]}\n[Only the first 1 of 3 layers are listed: a result holds at most 65536 bytes.]']],
        [['list layers', '1 layer', 'ok']]]];
    for (const [calls, expected, messages = 1] of rows) {
      // Live, and replayed as a reloaded page is given the conversation: the same cards.
      const seen = await frame.evaluate((calls) => {
        const cards = () => [...document.querySelectorAll('.message:last-child .tool-card')].map((c) => [
          c.querySelector('.tool-title').textContent, c.querySelector('.tool-detail').textContent,
          ['ok', 'warn', 'fail'].find((look) => c.classList.contains(look))]);
        const entries = [{ kind: 'user', text: 'Go' }].concat(calls.map((call) => typeof call === 'string'
          ? { kind: 'assistant', text: call } : { kind: 'tool', name: call[0], success: call[1], detail: call[2] }));
        QuillmereUI.showConversation(JSON.stringify({ entries: entries.slice(0, 1) }));
        for (const call of calls) {
          if (typeof call === 'string') QuillmereUI.addAssistantMessage(call);
          else QuillmereUI.addToolResult(...call);
        }
        const live = { cards: cards(), messages: document.querySelectorAll('.message.assistant').length };
        QuillmereUI.showConversation(JSON.stringify({ entries }));
        return { live, replayed: { cards: cards(), messages: document.querySelectorAll('.message.assistant').length } };
      }, calls);
      assert.deepEqual(seen.live, { cards: expected, messages }, JSON.stringify(calls));
      assert.deepEqual(seen.replayed, seen.live, JSON.stringify(calls));
    }
    // A count of successes shows the newest result behind its disclosure.
    await frame.evaluate((details) => details.forEach((d) => QuillmereUI.addToolResult('create_wall', true, d)), [wall(7), wall(8)]);
    assert.match(await frame.textContent('.message:last-child .tool-card:last-child details pre'), /"walls": \[\s*8\s*\]/);
  });

  test('an inline preview downloads as a file and a script address makes no preview', async () => {
    // An inline image cannot be opened as a window (browsers refuse data: navigations): it is saved.
    const inline = 'data:image/png;base64,' + h.TINY_PNG.toString('base64');
    await frame.evaluate((u) => QuillmereUI.addRenderPreview(u, u), inline);
    const [saved] = await Promise.all([page.waitForEvent('download'),
      frame.click('.message:last-child .render-card button:has-text("Download render")')]);
    assert.match(saved.suggestedFilename(), /\.png$/);
    const before = (await frame.$$('.render-card')).length;
    await frame.evaluate(() => QuillmereUI.addRenderPreview('javascript:window.__pwned=1', 'javascript:window.__pwned=1'));
    assert.equal((await frame.$$('.render-card')).length, before, 'a preview card for a script address');
    assert.equal(await frame.evaluate(() => window.__pwned), undefined);
  });

  test('hostile text from the model and from tool names and details stays text', async () => {
    const hostileReply = 'Look: <img src=x onerror="window.__pwned=1"></script><b>bold</b> \'single\' "double" \\back\\slash\r\nsecond line';
    const hostileTool = 'evil\'"</script><img src=x onerror="window.__pwned=2">\nname\\';
    fake.script(h.toolReply(hostileTool, {}), h.textReply(hostileReply));
    await h.sendMessage(frame, 'Say something odd');
    await h.waitForBubble(frame, hostileReply);
    const card = (await h.toolCards(frame, '.tool-card.fail')).at(-1);
    assert.deepEqual([card.name, card.detail], [hostileTool.replace(/_/g, ' '), 'Unknown tool: ' + hostileTool]);
    assert.equal(await frame.evaluate(() => window.__pwned), undefined);
    assert.equal(await frame.$$eval('.messages img:not(.render-card img), .messages b', (els) => els.length), 0);
  });

  test('images and PDFs go to the model with the message; other files are refused', async () => {
    const pdf = Buffer.from('%PDF-1.4\n1 0 obj <<>> endobj\ntrailer <<>>\n%%EOF\n');
    await frame.setInputFiles('#file-input', [{ name: 'plan.png', mimeType: 'image/png', buffer: h.TINY_PNG },
      { name: 'survey.pdf', mimeType: 'application/pdf', buffer: pdf },
      { name: 'notes.txt', mimeType: 'text/plain', buffer: Buffer.from('no') }]);
    await frame.waitForFunction(() => document.querySelectorAll('#attachments .chip').length === 2);
    assert.match(await frame.textContent('#toast'), /notes\.txt/);
    fake.script(h.textReply('I see a plan and a survey.'));
    await h.sendMessage(frame, 'Rebuild this');
    await h.waitForBubble(frame, 'I see a plan and a survey.');
    // The blocks themselves are the engine's to check; here: both files went with the text.
    const types = fake.requests.at(-1).body.messages.at(-1).content.map((b) => b.type).sort();
    assert.deepEqual(types, ['document', 'image', 'text']);
    assert.equal(await frame.$$eval('.message.user', (els) => els.at(-1).querySelectorAll('.user-file').length), 2);
    assert.equal(await frame.isHidden('#attachments'), true);
  });

  test('a message refused before it leaves is marked "Not sent", names the file at fault and keeps the rest in the box, ' +
       'also after a reload', async () => {
    const name = 'plan\u0001.png';  // a control character the add-on will not pass on
    await frame.setInputFiles('#file-input', [{ name, mimeType: 'image/png', buffer: h.TINY_PNG },
      { name: 'site.png', mimeType: 'image/png', buffer: h.TINY_PNG }]);
    await frame.waitForFunction(() => document.querySelectorAll('#attachments .chip').length === 2);
    const asked = fake.requests.length;
    await h.sendMessage(frame, 'Trace this plan');
    const refusal = '\u26a0 The message could not be sent: the file "plan\\u0001.png" has a name holding a control ' +
      'character; rename it and attach it again.';
    for (const when of ['at once', 'after a reload']) {
      if (when !== 'at once') {
        await Promise.all([frame.waitForNavigation(), frame.evaluate(() => location.reload())]);
        await frame.waitForFunction(() => document.getElementById('status-text').textContent === 'Ready');
      }
      await frame.waitForSelector('.message.user.unsent:has-text("Trace this plan") .unsent-note:has-text("Not sent")');
      await h.waitForBubble(frame, refusal);
      assert.deepEqual([await frame.inputValue('#input'), await frame.$$eval('#attachments .chip-name', (n) => n.map((e) => e.textContent)),
        await frame.$$eval('.bubble', (bubbles, t) => bubbles.filter((b) => b.textContent === t).length, refusal)],
      ['Trace this plan', ['site.png'], 1], when);
    }
    assert.equal(fake.requests.length, asked, 'the model was asked');
    assert.equal(await frame.isHidden('#thinking'), true);
    await frame.click('#attachments .chip-remove');
    await frame.fill('#input', '');
  });

  test('the host window follows the stories, views and databases the model changes', async () => {
    const state = async () => (await fetch(`${host.origin}/host/state?token=${host.token}`)).json();
    fake.script(h.toolReply('create_story', { name: 'Attic' }), h.toolReply('set_current_story', { story_index: 3 }),
      h.textReply('On the attic now.'));
    await h.sendMessage(frame, 'Add an attic and go there');
    await h.waitForBubble(frame, 'On the attic now.');
    await page.waitForFunction(() => (document.querySelector('.story.active') || {}).textContent === 'Attic');
    assert.equal((await state()).currentStory, 3);
    // A tab chosen in the window makes its story current in the host.
    await page.click('.story[data-story="0"]');
    await page.waitForFunction(() => document.querySelector('.story.active').textContent === 'Ground Floor');
    assert.equal((await state()).currentStory, 0);

    // The default project's saved view of the first floor and its site-survey worksheet.
    fake.script(h.toolReply('switch_view', { view_guid: 'D0C00003-000B-4000-8000-000000000000' }),
      h.toolReply('switch_database', { database_guid: 'D0C00001-0005-4000-8000-000000000000', type: 'worksheet' }),
      h.textReply('Opened the survey notes.'));
    await h.sendMessage(frame, 'Open the first floor view, then the survey worksheet');
    await h.waitForBubble(frame, 'Opened the survey notes.');
    await page.waitForFunction(() => document.getElementById('view-name').textContent === 'View: 02 First Floor' &&
      document.getElementById('plan-title').textContent === 'Worksheet \u00b7 WS-01 Site Survey Notes');
  });

  test('the host\'s close button hides the palette and the menu brings it back with its conversation', async () => {
    const messagesBefore = await frame.$$eval('.message', (els) => els.length);
    await page.click('#palette-close');
    await page.waitForSelector('#palette', { state: 'hidden' });
    await page.click('#addon-menu-button');
    await page.click('.menu-item');
    await page.waitForSelector('#palette', { state: 'visible' });
    assert.equal(await frame.$$eval('.message', (els) => els.length), messagesBefore);
  });

  test('a reloaded page shows the conversation the palette holds, and a cleared one the welcome', async () => {
    // What the page shows: every message with its role, bubbles, files and cards, in order.
    const snapshot = () => frame.$$eval('.message', (els) => els.map((m) => ({
      role: m.classList.contains('user') ? 'user' : 'assistant',
      bubbles: [...m.querySelectorAll('.bubble')].map((b) => b.textContent),
      files: [...m.querySelectorAll('.user-file')].map((f) => f.textContent),
      cards: [...m.querySelectorAll('.tool-card')].map((c) => c.querySelector('.tool-title').textContent + ': ' +
        c.querySelector('.tool-detail').textContent)
    })));
    const reload = async () => {
      await Promise.all([frame.waitForNavigation(), frame.evaluate(() => location.reload())]);
      await frame.waitForFunction(() => document.getElementById('status-text').textContent === 'Ready');
    };
    await frame.click('#new-chat-button');
    await frame.waitForSelector('#welcome', { state: 'visible' });
    fake.script(h.toolReply('paint_walls', { colour: 'red' }, 'Painting.'), h.toolReply('paint_walls', {}),
      h.toolReply('list_elements', { limit: 1 }), h.toolReply('list_elements', { limit: 2 }),
      h.textReply('There is no paint tool.'));
    await frame.setInputFiles('#file-input', { name: 'plan.png', mimeType: 'image/png', buffer: h.TINY_PNG });
    await frame.waitForFunction(() => document.querySelectorAll('#attachments .chip').length === 1);
    await h.sendMessage(frame, 'Paint the walls red');
    await h.waitForBubble(frame, 'There is no paint tool.');
    await frame.waitForSelector('#thinking', { state: 'hidden' });
    const before = await snapshot();
    assert.deepEqual(before.map((m) => m.role), ['user', 'assistant', 'assistant']);
    assert.deepEqual(before[1].cards, ['paint walls (\u00d72): Unknown tool: paint_walls', 'list elements (\u00d72): 2 completed']);

    await reload();
    await frame.waitForFunction((n) => document.querySelectorAll('.message').length === n, before.length);
    assert.deepEqual(await snapshot(), before);
    assert.equal(await frame.$$eval('.message.user img', (imgs) => imgs.length), 1, 'the thumbnail is back');

    // Cleared, a reload stays empty; and the model is not sent the old conversation either.
    await frame.click('#new-chat-button');
    await reload();
    assert.equal(await frame.$$eval('.message', (els) => els.length), 0);
    assert.equal(await frame.isVisible('#welcome'), true);
    fake.script(h.textReply('Fresh start.'));
    await h.sendMessage(frame, 'Hello again');
    await h.waitForBubble(frame, 'Fresh start.');
    assert.equal(fake.requests.at(-1).body.messages.length, 1);
  });

  test('the welcome suggestions ask only for tools the model is offered', async () => {
    const needs = await frame.$$eval('.suggestion', (buttons) => buttons.map((b) => ({
      title: b.querySelector('.suggestion-title').textContent, tools: (b.dataset.tools || '').split(' ').filter(Boolean)
    })));
    assert.ok(needs.length > 0);
    const offered = fake.requests.at(-1).body.tools.map((tool) => tool.name);
    for (const { title, tools } of needs) {
      assert.ok(tools.length > 0, `"${title}" names the tools it relies on`);
      for (const name of tools) assert.ok(offered.includes(name), `"${title}" relies on ${name}, which is not registered`);
    }
  });
});

describe('a host that stops during a turn', () => {
  test('the page says at once that it is not connected, stops working and marks the messages not answered', async () => {
    const session = await h.startSession({ provider: 'anthropic', model: MODEL, anthropic_api_key: 'sk-ant-test-key-123' });
    let release = () => {};
    const slowModel = new Promise((resolve) => { release = resolve; });
    try {
      const { fake, frame } = session;
      fake.script(() => slowModel.then(() => h.textReply('Too late.')));
      await h.sendMessage(frame, 'Draw the whole house');
      await frame.waitForFunction(() => document.getElementById('status-text').textContent === 'Working\u2026');
      while (fake.requests.length === 0) await new Promise((resolve) => setTimeout(resolve, 20));
      // A second message waits behind the first once the add-on has answered its call.
      const taken = session.page.waitForResponse((r) => r.url().endsWith('/call') &&
        (r.request().postData() || '').includes('And the garage'));
      await h.sendMessage(frame, 'And the garage');
      assert.deepEqual(await (await taken).json(), { ok: true, result: true });
      await session.host.stop('SIGKILL');
      // Nothing calls the add-on now, and it said nothing before it went: only the lost link
      // can tell the page.
      await frame.waitForFunction(() => document.getElementById('status-text').textContent === 'Not connected');
      assert.equal(await frame.isHidden('#thinking'), true, 'still working');
      assert.deepEqual(await frame.$$eval('.message.user', (els) => els.map((m) => [m.querySelector('.bubble').textContent,
        m.classList.contains('unanswered'), (m.querySelector('.unsent-note') || {}).textContent])),
      [['Draw the whole house', true, 'Not answered'], ['And the garage', true, 'Not answered']]);
      // Back in the box as a message not sent, in the order they were sent.
      assert.equal(await frame.inputValue('#input'), 'Draw the whole house\nAnd the garage');
    } finally {
      release();
      await session.stop();
    }
  });
});

describe('settings and the shell', () => {
  test('settings saved on the page land in settings.json and survive a restart', async () => {
    const home = h.tempDir('quillmere-home-');
    const browser = await h.launchBrowser();
    let host = await h.startHost({ home });
    const fields = { '#setting-model': 'gpt-4.1', '#setting-anthropic-key': 'sk-ant-saved', '#setting-openai-key': 'sk-openai-saved' };
    // The page is shown only that each key is set and how it ends, from the save on.
    const shown = { ...fields, '#setting-anthropic-key': '\u2022'.repeat(8) + 'aved', '#setting-openai-key': '\u2022'.repeat(8) + 'aved' };
    const expectShown = async (frame) => {
      for (const [field, value] of Object.entries(shown)) assert.equal(await frame.inputValue(field), value, field);
    };
    try {
      let { frame } = await h.openPalette(browser.context, host);
      assert.equal(await frame.textContent('#status-text'), 'Add an API key or sign in under Settings');
      await frame.click('#settings-button');
      await frame.selectOption('#setting-provider', 'openai');
      for (const [field, value] of Object.entries(fields)) await frame.fill(field, value);
      await frame.check('#setting-dark-mode');
      await frame.click('#settings-save');
      await frame.waitForSelector('#settings-state:has-text("Saved")');
      await expectShown(frame);
      const stored = h.readSettings(home);
      assert.deepEqual([stored.provider, stored.model, stored.anthropic_api_key, stored.openai_api_key, stored.dark_mode],
        ['openai', 'gpt-4.1', 'sk-ant-saved', 'sk-openai-saved', true]);

      assert.equal(await host.stop(), 0, 'the host quits cleanly');
      host = await h.startHost({ home });
      ({ frame } = await h.openPalette(browser.context, host));
      await frame.click('#settings-button');
      assert.equal(await frame.inputValue('#setting-provider'), 'openai');
      await expectShown(frame);
      assert.equal(await frame.isChecked('#setting-dark-mode'), true);
      assert.equal(await frame.evaluate(() => document.documentElement.classList.contains('dark')), true);

      // Malformed requests to the shell get a clear refusal and the host keeps serving.
      const state = async () => (await fetch(`${host.origin}/host/state?token=${host.token}`)).json();
      const id = (await state()).palette.browserId;
      const post = async (where, body) => (await fetch(`${host.origin}${where}?token=${host.token}`, {
        method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body)
      })).status;
      const call = (fn, args) => post(`/browser/${id}/call`, { object: 'Quillmere', function: fn, args });
      assert.deepEqual([await post('/host/menu', { menuResId: 'x', itemIndex: [] }),
        await post('/host/menu', { menuResId: 1e20, itemIndex: 1 }), await post(`/browser/${id}/call`, { object: 1, function: null }),
        await call('noSuchFunction', []), await call('saveSettings', [{ provider: 'x' }])], [400, 400, 400, 404, 200]);
      assert.equal(h.readSettings(home).provider, 'openai', 'a refused provider was saved');
      assert.ok((await state()).palette);
    } finally {
      await browser.close();
      await host.stop();
    }
  });
});
