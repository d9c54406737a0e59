'use strict';

// The conversation as a user lives it across failures and restarts, and the host window
// keeping up with changes that are not undo steps. Nothing here reaches any address other
// than 127.0.0.1.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
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
    assert.equal(await frame.isVisible('.message.assistant .bubble.warning'), true);

    fake.script(h.textReply('Door added.'));
    await frame.click('#send-button');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'Door added.'));
    const sent = JSON.stringify(fake.requests.at(-1).body.messages);
    assert.equal(sent.split('Add a door to the south wall').length - 1, 1, 'the message went once: ' + sent);
    assert.equal(fake.requests.at(-1).body.messages.length, 1);
  });

  test('a restart brings the conversation back, and the model continues it', async () => {
    await frame.waitForSelector('#thinking', { state: 'hidden' });
    await session.host.stop();
    session.host = await h.startHost({ home: session.home, anthropicUrl: fake.url });
    ({ frame } = await h.openPalette(session.browser.context, session.host));
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'Door added.'));
    assert.equal(await frame.isVisible('#welcome'), false);

    fake.script(h.textReply('It is on the south wall.'));
    await h.sendMessage(frame, 'Where is the door?');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'It is on the south wall.'));
    const roles = fake.requests.at(-1).body.messages.map((m) => m.role);
    assert.deepEqual(roles, ['user', 'assistant', 'user']);
  });
});
