'use strict';

// The host window's Edit menu: a wall the model builds is one step that Edit > Undo takes out
// of the plan and Redo brings back, by menu and by keyboard; the plan is drawn at the window's
// real size and only drawn again when something changed, and the window's page does not change
// at all while nothing does, so that no click on its menus is lost.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

const STEP = 'Quillmere: Create Wall';

// Waits until the dark pixels (the walls' colour, not the grid's or the scale bar's) in the plan
// the window shows are as wanted.
async function waitForPlan(page, wanted, what) {
  for (let i = 0; i < 300; i++) {
    const src = await page.$eval('#plan', (img) => (img.complete && img.naturalWidth ? img.src : ''));
    const dark = src ? await h.darkPixels(page, src, 200) : -1;
    if (dark >= 0 && wanted(dark)) return dark;
    await page.waitForTimeout(100);
  }
  assert.fail(`the plan never showed ${what}`);
}

async function menuItems(page) {
  return page.evaluate(() => ['undo-item', 'redo-item'].map((id) => {
    const item = document.getElementById(id);
    return { text: item.querySelector('.label').textContent, enabled: !item.disabled };
  }));
}

describe('the host window\'s Edit menu', () => {
  let session, fake, page, frame;
  const planRequests = [];

  before(async () => {
    session = await h.startSession({ provider: 'anthropic', model: 'claude-test-model', anthropic_api_key: 'sk-ant-test' });
    ({ fake, page, frame } = session);
    page.on('request', (request) => { if (request.url().includes('/host/plan.png')) planRequests.push(request.url()); });
  });

  after(async () => {
    if (session) await session.stop();
  });

  test('in a 900 x 600 window the welcome suggestions stay in view above the composer', async () => {
    await page.setViewportSize({ width: 900, height: 600 });
    await frame.waitForFunction(() => document.documentElement.clientHeight < 600);
    const overlap = await frame.evaluate(() => {
      const composer = document.querySelector('.composer-wrap').getBoundingClientRect().top;
      return [...document.querySelectorAll('.suggestion')].map((s) => s.getBoundingClientRect().bottom - composer);
    });
    assert.equal(overlap.length, 5);
    for (const below of overlap) assert.ok(below <= 0, `a suggestion reaches ${below} px under the composer`);
    await page.setViewportSize({ width: 1400, height: 900 });
  });

  test('the plan is drawn at the window\'s size and not again while nothing changes', async () => {
    const size = () => page.evaluate(() => {
      const frameBox = document.getElementById('plan-frame'), img = document.getElementById('plan');
      const ratio = window.devicePixelRatio || 1;
      return [img.naturalWidth === Math.round(frameBox.clientWidth * ratio), img.naturalHeight === Math.round(frameBox.clientHeight * ratio)];
    });
    // The previous test resized the window: wait until the plan has settled at the frame's size
    // (two reads in a row), not for one read that a redraw still on its way may overtake.
    let settled = 0;
    for (let i = 0; i < 300 && settled < 2; i++) {
      settled = (await size()).includes(false) ? 0 : settled + 1;
      if (settled < 2) await page.waitForTimeout(100);
    }
    assert.equal(settled, 2, 'the plan beside the open palette is not at the frame\'s size');
    // Three of the window's own state refreshes pass without a new plan.
    const before = planRequests.length;
    for (let i = 0; i < 3; i++) await page.waitForResponse((response) => response.url().includes('/host/state'));
    assert.equal(planRequests.length, before, 'the plan was drawn again with nothing changed');
  });

  test('Edit > Undo takes the wall out of the plan and Redo brings it back', async () => {
    assert.deepEqual(await menuItems(page), [{ text: 'Undo', enabled: false }, { text: 'Redo', enabled: false }]);
    fake.script(h.toolReply('create_wall', { start_x: 0, start_y: 0, end_x: 6, end_y: 0 }), h.textReply('The wall stands.'));
    await h.sendMessage(frame, 'Build a 6 m wall');
    await h.waitForBubble(frame, 'The wall stands.');
    const withWall = await waitForPlan(page, (dark) => dark > 100, 'the new wall');
    await page.waitForFunction((step) => document.querySelector('#undo-item .label').textContent === 'Undo ' + step, STEP);
    assert.deepEqual(await menuItems(page), [{ text: `Undo ${STEP}`, enabled: true }, { text: 'Redo', enabled: false }]);

    await page.click('#edit-menu-button');
    await page.click('#undo-item');
    await waitForPlan(page, (dark) => dark === 0, 'the wall gone');
    await page.waitForFunction((step) => document.querySelector('#redo-item .label').textContent === 'Redo ' + step, STEP);
    assert.deepEqual(await menuItems(page), [{ text: 'Undo', enabled: false }, { text: `Redo ${STEP}`, enabled: true }]);

    await page.click('#edit-menu-button');
    await page.click('#redo-item');
    const redone = await waitForPlan(page, (dark) => dark > 100, 'the wall back');
    assert.equal(redone, withWall, 'the wall came back where it was');
    await page.waitForFunction(() => document.getElementById('redo-item').disabled);
  });

  test('the usual keys undo and redo in the window', async () => {
    await page.click('#plan-frame');
    for (const [key, wall] of [['Control+z', false], ['Control+Shift+z', true], ['Control+z', false], ['Control+y', true]]) {
      await page.keyboard.press(key);
      await waitForPlan(page, (dark) => (wall ? dark > 100 : dark === 0), `the wall ${wall ? 'back' : 'gone'} after ${key}`);
    }
  });

  test('an idle window changes nothing in its page, and each click on the add-on\'s menu item counts', async () => {
    const refreshes = async (n) => {
      for (let i = 0; i < n; i++) await page.waitForResponse((response) => response.url().includes('/host/state'));
    };
    await refreshes(2);  // what the last test changed has settled
    await page.evaluate(() => {
      window.__changes = 0;
      new MutationObserver((records) => { window.__changes += records.length; })
        .observe(document.body, { subtree: true, childList: true, attributes: true, characterData: true });
    });
    await refreshes(4);
    assert.equal(await page.evaluate(() => window.__changes), 0, 'the idle window\'s page changed');
    // A click held across a refresh (as a slow hand does) still shows or hides the palette.
    for (let i = 0; i < 4; i++) {
      const hidden = await page.$eval('#palette', (panel) => panel.hidden);
      await page.click('#addon-menu-button');
      await page.click('.menu-item', { delay: 900 });
      await page.waitForFunction((was) => document.getElementById('palette').hidden === !was, hidden);
    }
  });
});
