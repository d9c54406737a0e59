'use strict';

// The host window's Edit menu: a wall the model builds is one step that Edit > Undo takes out
// of the plan and Redo brings back, by menu and by keyboard; the plan is drawn at the window's
// real size and only drawn again when something changed.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

const STEP = 'Quillmere: Create Wall';

// Dark pixels (the walls' colour) in the plan image the window shows.
function darkPixelsInPlan(page) {
  return page.evaluate(() => {
    const img = document.getElementById('plan');
    if (!img.complete || !img.naturalWidth) return -1;
    const canvas = document.createElement('canvas');
    canvas.width = img.naturalWidth;
    canvas.height = img.naturalHeight;
    const context = canvas.getContext('2d');
    context.drawImage(img, 0, 0);
    const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
    let dark = 0;
    for (let i = 0; i < data.length; i += 4) dark += data[i] < 70 && data[i + 1] < 70 && data[i + 2] < 70;
    return dark;
  });
}

async function waitForPlan(page, wanted, what) {
  for (let i = 0; i < 100; i++) {
    const dark = await darkPixelsInPlan(page);
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
  let fake, home, host, browser, page, frame;
  const planRequests = [];

  before(async () => {
    fake = await h.startFakeAnthropic();
    home = h.tempDir('quillmere-home-');
    h.writeSettings(home, { provider: 'anthropic', model: 'claude-test-model', anthropic_api_key: 'sk-ant-test' });
    host = await h.startHost({ home, anthropicUrl: fake.url });
    browser = await h.launchBrowser();
    ({ page, frame } = await h.openPalette(browser.context, host));
    page.on('request', (request) => { if (request.url().includes('/host/plan.png')) planRequests.push(request.url()); });
  });

  after(async () => {
    if (browser) await browser.close();
    if (host) await host.stop();
    if (fake) await fake.close();
  });

  test('with nothing done, Undo and Redo are offered by name only', async () => {
    assert.deepEqual(await menuItems(page), [{ text: 'Undo', enabled: false }, { text: 'Redo', enabled: false }]);
  });

  test('in a 900 x 600 window the welcome suggestions stay in view above the composer', async () => {
    await page.setViewportSize({ width: 900, height: 600 });
    await page.waitForTimeout(300);
    const overlap = await frame.evaluate(() => {
      const composer = document.querySelector('.composer-wrap').getBoundingClientRect().top;
      return [...document.querySelectorAll('.suggestion')].map((s) => s.getBoundingClientRect().bottom - composer);
    });
    assert.equal(overlap.length, 4);
    for (const below of overlap) assert.ok(below <= 0, `a suggestion reaches ${below} px under the composer`);
    await page.setViewportSize({ width: 1400, height: 900 });
  });

  test('the plan is drawn at the window\'s size and not again while nothing changes', async () => {
    const size = () => page.evaluate(() => {
      const frameBox = document.getElementById('plan-frame'), img = document.getElementById('plan');
      const ratio = window.devicePixelRatio || 1;
      return [img.naturalWidth === Math.round(frameBox.clientWidth * ratio), img.naturalHeight === Math.round(frameBox.clientHeight * ratio)];
    });
    for (let i = 0; i < 50 && (await size()).includes(false); i++) await page.waitForTimeout(100);
    assert.deepEqual(await size(), [true, true], 'the plan beside the open palette is not at the frame\'s size');
    const before = planRequests.length;
    await page.waitForTimeout(3000);
    assert.equal(planRequests.length, before, 'the plan was drawn again with nothing changed');
  });

  test('Edit > Undo takes the wall out of the plan and Redo brings it back', async () => {
    fake.script(h.toolReply('create_wall', { start_x: 0, start_y: 0, end_x: 6, end_y: 0 }), h.textReply('The wall stands.'));
    await h.sendMessage(frame, 'Build a 6 m wall');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'The wall stands.'));
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
    await page.keyboard.press('Control+z');
    await waitForPlan(page, (dark) => dark === 0, 'the wall gone after Ctrl+Z');
    await page.keyboard.press('Control+Shift+z');
    await waitForPlan(page, (dark) => dark > 100, 'the wall back after Ctrl+Shift+Z');
    await page.keyboard.press('Control+z');
    await waitForPlan(page, (dark) => dark === 0, 'the wall gone again');
    await page.keyboard.press('Control+y');
    await waitForPlan(page, (dark) => dark > 100, 'the wall back after Ctrl+Y');
  });
});
