'use strict';

// Selecting in the window and asking about the selection: the user clicks one of two walls in
// the plan, the status line counts it, and "move the selected wall" makes the scripted model
// read the selection and move that wall, which the window then shows moved, still highlighted.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

// Rows of the window's plan picture, down its middle column, that are highlighted (the
// selection's orange) and dark (an unselected wall).
async function middleColumn(page) {
  return page.$eval('#plan', async (img) => {
    // The window swaps the picture's address when the project changes, which makes a decode
    // already under way fail: decode again the picture now shown.
    for (let attempt = 0; ; attempt++) {
      try {
        await img.decode();
        break;
      } catch (error) {
        if (attempt === 20) throw error;
        await new Promise((resolve) => setTimeout(resolve, 50));
      }
    }
    const canvas = document.createElement('canvas');
    canvas.width = img.naturalWidth;
    canvas.height = img.naturalHeight;
    const context = canvas.getContext('2d');
    context.drawImage(img, 0, 0);
    const x = Math.floor(img.naturalWidth / 2);
    const column = context.getImageData(x, 0, 1, img.naturalHeight).data;
    const orange = [], dark = [];
    for (let y = 0; y < img.naturalHeight; y++) {
      const [r, g, b] = column.slice(y * 4, y * 4 + 3);
      if (r > 200 && g > 90 && g < 190 && b < 90) orange.push(y);
      if (r + g + b < 120) dark.push(y);
    }
    return { orange, dark, width: img.naturalWidth, height: img.naturalHeight, shown: img.clientWidth };
  });
}

// Runs of consecutive rows, as [first, last].
function bands(rows) {
  const runs = [];
  for (const y of rows) {
    if (runs.length && runs.at(-1)[1] === y - 1) runs.at(-1)[1] = y;
    else runs.push([y, y]);
  }
  return runs;
}

let last = null;
async function waitFor(check, what) {
  for (let i = 0; i < 300; i++) {
    if (await check()) return;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.fail(`never ${what}: ${JSON.stringify(last)}`);
}

describe('selecting in the plan and asking about the selection', () => {
  let session, fake, page, frame;

  before(async () => {
    session = await h.startSession({ provider: 'anthropic', model: 'claude-test-model', anthropic_api_key: 'sk-ant-test' });
    ({ fake, page, frame } = session);
  });

  after(async () => {
    if (session) await session.stop();
  });

  test('a clicked wall is the one the model moves', async () => {
    fake.script(h.toolReply('create_wall', { start_x: 0, start_y: 0, end_x: 6, end_y: 0 }),
      h.toolReply('create_wall', { start_x: 0, start_y: 4, end_x: 6, end_y: 4 }), h.textReply('Two walls.'));
    await h.sendMessage(frame, 'Draw two walls');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'Two walls.'));

    // The lower wall (y = 0) lies below the middle of the fitted plan: click it there.
    let plan = null;
    await waitFor(async () => bands((plan = last = await middleColumn(page)).dark).length === 2, 'showed both walls');
    const [, lower] = bands(plan.dark);
    const scale = plan.shown / plan.width;
    await page.click('#plan', { position: { x: plan.width / 2 * scale, y: (lower[0] + lower[1]) / 2 * scale } });
    await page.waitForFunction(() => document.getElementById('status-line').textContent === '1 selected');
    await waitFor(async () => (await middleColumn(page)).orange.length > 0, 'highlighted the clicked wall');

    let selection = null;
    fake.script(h.toolReply('get_selection', {}),
      (body) => {
        selection = h.lastToolResult(body);
        return h.toolReply('move_element', { element_guid: selection.elements[0].guid, dx: 0, dy: 6 });
      },
      h.textReply('Moved it.'));
    await h.sendMessage(frame, 'Move the selected wall 6 m north');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'Moved it.'));
    assert.equal(selection.total, 1);
    assert.deepEqual(selection.elements[0].start, [0, 0], 'the selection is the clicked lower wall');
    const moved = fake.requests.at(-1).body.messages.at(-1).content.find((b) => b.type === 'tool_result');
    assert.equal(JSON.parse(moved.content).success, true, moved.content);

    // Moved past the other wall: the highlight now lies above the unselected wall, the lowest
    // dark band, where before it framed that lowest band itself.
    await waitFor(async () => {
      const now = await middleColumn(page);
      last = now;
      return now.orange.length > 0 && now.dark.length > 0 && Math.max(...now.orange) < bands(now.dark).at(-1)[0];
    }, 'showed the selected wall moved above the other');

    // Escape in the window (not in the palette's composer, which has the focus now) clears it.
    await page.evaluate(() => document.activeElement.blur());
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => document.getElementById('status-line').textContent === 'No selection');
  });
});
