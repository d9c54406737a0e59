'use strict';

// The conversation as a user lives it across failures and restarts, and the host window
// keeping up with changes that are not undo steps. Nothing here reaches any address other
// than 127.0.0.1.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');
const h = require('./harness');

const MODEL = 'claude-test-model';
const KEY = 'sk-ant-test-key-456';

describe('the conversation through failures and restarts', () => {
  let session, fake, frame;

  before(async () => {
    session = await h.startSession({ provider: 'anthropic', model: MODEL, anthropic_api_key: KEY });
    ({ fake, frame } = session);
  });

  after(async () => {
    if (session) await session.stop();
  });

  test('a failed send puts its text and attachment back and is not sent twice', async () => {
    await frame.setInputFiles('#file-input', { name: 'door.png', mimeType: 'image/png', buffer: h.TINY_PNG });
    await frame.waitForFunction(() => document.querySelectorAll('#attachments .chip').length === 1);
    // Nothing scripted: the fake model answers 500.
    await h.sendMessage(frame, 'Add a door to the south wall');
    await frame.waitForSelector('.message.user.unsent');
    assert.equal(await frame.inputValue('#input'), 'Add a door to the south wall');
    assert.equal(await frame.textContent('#attachments .chip-name'), 'door.png');
    const background = (selector) => frame.$eval(selector, (el) => getComputedStyle(el).backgroundColor);
    assert.notEqual(await background('.message.assistant .bubble.warning'), await background('#input'),
      'a warning bubble is coloured as one');

    fake.script(h.textReply('Door added.'));
    await frame.click('#send-button');
    await h.waitForBubble(frame, 'Door added.');
    const sent = JSON.stringify(fake.requests.at(-1).body.messages);
    assert.equal(sent.split('Add a door to the south wall').length - 1, 1, 'the message went once: ' + sent);
  });

  test('a restart brings the conversation back, and the model continues it', async () => {
    await frame.waitForSelector('#thinking', { state: 'hidden' });
    await session.host.stop();
    // With the host gone, the status says so and a send keeps its text and file in the box.
    await frame.setInputFiles('#file-input', { name: 'door.png', mimeType: 'image/png', buffer: h.TINY_PNG });
    await frame.waitForFunction(() => document.querySelectorAll('#attachments .chip').length === 1);
    await h.sendMessage(frame, 'Are you there?');
    await frame.waitForSelector('.message.user.unsent:has-text("Are you there?")');
    assert.deepEqual([await frame.textContent('#status-text'), await frame.inputValue('#input'),
      await frame.$$eval('#attachments .chip-name', (names) => names.map((n) => n.textContent).join())],
    ['Not connected', 'Are you there?', 'door.png']);
    session.host = await h.startHost({ home: session.home, anthropicUrl: fake.url });
    let page;
    ({ frame, page } = await h.openPalette(session.browser.context, session.host));
    // Neither page leaves the browser to ask the host for an icon it refuses.
    for (const doc of [page, frame]) {
      assert.match(await doc.$eval('link[rel="icon"]', (link) => link.getAttribute('href')), /^data:/);
    }
    // A menu left open closes when the user clicks into the palette.
    await page.click('#addon-menu-button');
    await frame.click('#input');
    await page.waitForFunction(() => !document.querySelector('#addon-menu').classList.contains('open'));
    await h.waitForBubble(frame, 'Door added.');
    assert.equal(await frame.isVisible('#welcome'), false);

    fake.script(h.textReply('It is on the south wall.'));
    await h.sendMessage(frame, 'Where is the door?');
    await h.waitForBubble(frame, 'It is on the south wall.');
    const roles = fake.requests.at(-1).body.messages.map((m) => m.role);
    assert.deepEqual(roles, ['user', 'assistant', 'user']);
  });

  test('hiding a layer redraws the plan in the host window', async () => {
    const page = session.browser.context.pages()[0];
    // The picture the window shows, once it differs from the one given and has settled.
    const shownPlan = async (unlike, wanted) => {
      for (let i = 0; i < 300; i++) {
        const src = await page.$eval('#plan', (img) => img.src);
        if (src && src !== unlike) {
          const dark = await h.darkPixels(page, src);
          if (wanted(dark)) return { src, dark };
        }
        await page.waitForTimeout(100);
      }
      throw new Error('the plan was not redrawn');
    };
    fake.script(h.toolReply('create_wall', { start_x: -4, start_y: 0, end_x: 4, end_y: 0, thickness: 0.5 }),
      h.textReply('Wall built.'));
    await h.sendMessage(frame, 'Build a wall');
    const built = await shownPlan('', (dark) => dark > 200);

    fake.script(h.toolReply('set_layer_visibility', { layer_index: 1, visible: false }), h.textReply('Layer hidden.'));
    await h.sendMessage(frame, 'Hide the wall layer');
    const hidden = await shownPlan(built.src, (dark) => dark < built.dark / 2);
    assert.ok(hidden.dark < built.dark / 2, `${built.dark} dark pixels before, ${hidden.dark} after`);
  });

  test('a refused message and a question the host stopped before answering come back after a restart, ' +
       'marked, with their text and files in the box, and the question goes once', async () => {
    const restart = async () => {
      await session.host.stop();  // SIGTERM: the host quits as a user would
      session.host = await h.startHost({ home: session.home, anthropicUrl: fake.url });
      ({ frame } = await h.openPalette(session.browser.context, session.host));
    };
    const composer = async () => [await frame.inputValue('#input'),
      await frame.$$eval('#attachments .chip-name', (names) => names.map((n) => n.textContent))];
    const attach = async (...names) => {
      await frame.setInputFiles('#file-input', names.map((name) => ({ name, mimeType: 'image/png', buffer: h.TINY_PNG })));
      await frame.waitForFunction((n) => document.querySelectorAll('#attachments .chip').length === n, names.length);
    };
    const once = async (text) => assert.equal(await frame.$$eval('.bubble', (bubbles, t) =>
      bubbles.filter((b) => b.textContent === t).length, text), 1, text);

    await attach('plan\u0007.png', 'site.png');
    await h.sendMessage(frame, 'Trace this plan');
    const refusal = '\u26a0 The message could not be sent: the file "plan\\u0007.png" has a name holding a control ' +
      'character; rename it and attach it again.';
    await h.waitForBubble(frame, refusal);
    await restart();
    await frame.waitForSelector('.message.user.unsent:has-text("Trace this plan") .unsent-note:has-text("Not sent")');
    await once(refusal);
    assert.deepEqual(await composer(), ['Trace this plan', ['site.png']]);

    await frame.click('#attachments .chip-remove');
    await attach('stair.png');
    let release = () => {};
    fake.script(() => new Promise((resolve) => { release = resolve; }).then(() => h.textReply('Too late.')));
    const asked = fake.requests.length;
    await h.sendMessage(frame, 'Where does the stair go?');
    while (fake.requests.length === asked) await new Promise((resolve) => setTimeout(resolve, 20));
    try { await restart(); } finally { release(); }
    const stopped = '\u26a0 The assistant stopped before it answered: the host was closed. Send the message again to continue.';
    await h.waitForBubble(frame, stopped);
    await frame.waitForSelector('.message.user.unanswered:has-text("Where does the stair go?") .unsent-note:has-text("Not answered")');
    await once(stopped);
    assert.deepEqual(await composer(), ['Where does the stair go?', ['stair.png']], 'the box holds the question alone');

    fake.script(h.textReply('Up to the attic.'));
    await frame.click('#send-button');
    await h.waitForBubble(frame, 'Up to the attic.');
    const messages = fake.requests.at(-1).body.messages;
    assert.deepEqual(messages.at(-1), { role: 'user', content: [
      { type: 'image', source: { type: 'base64', media_type: 'image/png', data: h.TINY_PNG.toString('base64') } },
      { type: 'text', text: 'Where does the stair go?', cache_control: { type: 'ephemeral' } }] });
    assert.equal(JSON.stringify(messages).split('Where does the stair go?').length - 1, 1, 'the question went once');

    // A question answered in part (a tool's card showed) stays in the conversation: the chat asks
    // to go on rather than to send it again, and nothing goes back into the box.
    fake.script(h.toolReply('get_selection', {}),
      () => new Promise((resolve) => { release = resolve; }).then(() => h.textReply('Too late.')));
    const partAsked = fake.requests.length + 2;
    await h.sendMessage(frame, 'What is selected?');
    while (fake.requests.length < partAsked) await new Promise((resolve) => setTimeout(resolve, 20));
    try { await restart(); } finally { release(); }
    const partWay = '\u26a0 The assistant stopped before it finished: the host was closed. Ask it to go on: your ' +
      'message is still in the conversation.';
    await h.waitForBubble(frame, partWay);
    await once(partWay);
    assert.deepEqual(await frame.$$eval('.message.user', (users) => users.filter((m) =>
      m.textContent.includes('What is selected?')).map((m) => m.className)), ['message user']);
    assert.deepEqual(await composer(), ['', []]);
  });

  test('a turn the host stops after a tool ran stays in the conversation on the page open then, and the model ' +
       'asked to go on reads the question, the call and its result', async () => {
    const partWay = '\u26a0 The assistant stopped before it finished: the host was closed. Ask it to go on: your ' +
      'message is still in the conversation.';
    const question = 'Build a north wall';
    const shownOnce = async (page) => assert.deepEqual([
      await page.$$eval('.message.user', (users, q) => users.filter((m) => m.querySelector('.bubble') &&
        m.querySelector('.bubble').textContent === q).map((m) => m.className), question),
      await page.$$eval('.message', (all, [q, t]) => {
        const from = all.findIndex((m) => m.classList.contains('user') && m.textContent.includes(q));
        return all.slice(from).filter((m) => m.textContent === t).length;
      }, [question, partWay]),
      await page.inputValue('#input')], [['message user'], 1, '']);
    let release = () => {};
    fake.script(h.toolReply('create_wall', { start_x: -4, start_y: 8, end_x: 4, end_y: 8, thickness: 0.3 }),
      () => new Promise((resolve) => { release = resolve; }).then(() => h.textReply('Too late.')));
    const asked = fake.requests.length + 2;
    const cards = (await h.toolCards(frame)).length;
    await h.sendMessage(frame, question);
    await frame.waitForFunction((n) => document.querySelectorAll('.tool-card').length > n, cards);
    while (fake.requests.length < asked) await new Promise((resolve) => setTimeout(resolve, 20));
    const open = frame;
    // The engine learns of the stop first and its end of the turn reaches the palette, which keeps
    // it, before the palette closes: a request still arriving holds the host's server, and so its
    // quitting, until the conversation's file holds the turn.
    const folder = path.join(session.home, '.quillmere', 'history');
    const kept = () => fs.readdirSync(folder).some((name) =>
      fs.readFileSync(path.join(folder, name), 'utf8').includes(question));
    assert.equal(kept(), false, 'kept before the stop');
    const hold = net.connect(Number(new URL(session.host.origin).port), '127.0.0.1');
    await new Promise((resolve) => hold.once('connect', resolve));
    hold.write('GET / HTTP/1.1\r\n');
    const trickle = setInterval(() => hold.write('X: y\r\n'), 200);
    let stopped;
    try {
      stopped = session.host.stop();
      for (let i = 0; i < 300 && !kept(); i++) await new Promise((resolve) => setTimeout(resolve, 50));
      assert.equal(kept(), true, 'the engine\'s end of the turn did not reach the palette');
    } finally {
      clearInterval(trickle);
      hold.destroy();
      release();
      await stopped;
    }
    // The page open at the stop says what a page opened after the restart says.
    await h.waitForBubble(open, partWay);
    await shownOnce(open);

    session.host = await h.startHost({ home: session.home, anthropicUrl: fake.url });
    ({ frame } = await h.openPalette(session.browser.context, session.host));
    await h.waitForBubble(frame, partWay);
    await shownOnce(frame);
    fake.script(h.textReply('The north wall stands.'));
    await h.sendMessage(frame, 'go on');
    await h.waitForBubble(frame, 'The north wall stands.');
    const messages = fake.requests.at(-1).body.messages;
    const call = messages.at(-2).content.find((block) => block.type === 'tool_use');
    assert.equal(call && call.name, 'create_wall', JSON.stringify(messages.at(-2)));
    assert.equal(messages.at(-3).content.at(-1).text, question);
    const [result, goOn] = messages.at(-1).content;
    assert.deepEqual([messages.at(-1).content.length, result.type, result.tool_use_id, result.is_error, goOn.text],
      [2, 'tool_result', call.id, undefined, 'go on']);
    assert.equal(JSON.stringify(messages).split(question).length - 1, 1, 'the question went once');
  });

  test('after Clear a restart opens the new, empty conversation', async () => {
    await frame.click('#settings-button');
    await frame.click('#clear-history');
    await frame.waitForFunction(() => document.querySelectorAll('.message').length === 0);
    await session.host.stop();
    session.host = await h.startHost({ home: session.home, anthropicUrl: fake.url });
    ({ frame } = await h.openPalette(session.browser.context, session.host));
    // The model reads only what was said since the clearing, and so does the user.
    fake.script(h.textReply('A fresh start.'));
    await h.sendMessage(frame, 'Hello again');
    await h.waitForBubble(frame, 'A fresh start.');
    assert.deepEqual(fake.requests.at(-1).body.messages.map((m) => m.role), ['user']);
    assert.equal(await frame.$$eval('.message', (messages) => messages.length), 2);
  });

  test('a damaged newest conversation is set aside, and the chat names it once', async () => {
    await session.host.stop();
    const folder = path.join(session.home, '.quillmere', 'history');
    fs.writeFileSync(path.join(folder, 'conversation-29991231-235959.json'), '[{"version": 2, "history"');
    session.host = await h.startHost({ home: session.home, anthropicUrl: fake.url });
    ({ frame } = await h.openPalette(session.browser.context, session.host));
    const notice = '⚠ A conversation that could not be read was set aside in the history folder as ' +
      'conversation-29991231-235959.json.damaged.';
    await h.waitForBubble(frame, notice);
    assert.ok(fs.existsSync(path.join(folder, 'conversation-29991231-235959.json.damaged')));
    // A reloaded page is given it again, once.
    await Promise.all([frame.waitForNavigation(), frame.evaluate(() => location.reload())]);
    await h.waitForBubble(frame, notice);
    assert.equal(await frame.$$eval('.bubble', (bubbles, text) => bubbles.filter((b) => b.textContent === text).length,
      notice), 1, 'shown once');
  });

  test('the status warns, not shows ready, while the chosen model has no key', async () => {
    await frame.click('#settings-button');
    await frame.fill('#setting-model', 'gpt-4.1');
    await frame.click('#settings-save');
    await frame.waitForFunction(() => document.getElementById('status-text').textContent === 'Add an API key or sign in under Settings');
    assert.equal(await frame.$eval('#status-dot', (dot) => dot.className), 'status-dot nokey');
  });
});
