'use strict';

// Drafting through the whole system: a scripted model draws a dimensioned sketch with the
// drafting tools, the palette shows one successful card per tool, and the sketch appears in
// the host's plan view on its own story.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

const MODEL = 'claude-test-model';

const SKETCH = [
  ['create_polyline', { points: [{ x: 0, y: 0 }, { x: 6, y: 0 }, { x: 6, y: 4 }, { x: 0, y: 4 }, { x: 0, y: 0 }] }],
  ['create_dimension', { x1: 0, y1: 0, x2: 6, y2: 0, text_offset: -0.8 }],
  ['create_dimension', { x1: 6, y1: 0, x2: 6, y2: 4, text_offset: -0.8 }],
  ['create_text', { x: 2, y: 2, content: 'Kitchen 6 × 4', size: 0.4 }],
  ['create_line', { start_x: 3, start_y: 0, end_x: 3, end_y: 4 }],
  ['create_arc', { center_x: 3, center_y: 4, radius: 0.9, start_angle: Math.PI, end_angle: 1.5 * Math.PI }],
  ['create_hotspot', { x: 0, y: 0 }],
  ['create_spline', { points: [{ x: 0.5, y: 3 }, { x: 1.5, y: 3.6 }, { x: 2.5, y: 3 }] }],
  ['create_fill', { points: [{ x: 4, y: 0.5 }, { x: 5.5, y: 0.5 }, { x: 5.5, y: 1.5 }, { x: 4, y: 1.5 }], fill_index: 1 }]
];

// One reply that asks for every tool of the sketch at once.
const sketchReply = () => h.modelReply([{ type: 'text', text: 'Drawing the sketch.' },
  ...SKETCH.map(([name, input], i) => ({ type: 'tool_use', id: `toolu_sketch_${i}`, name, input }))], 'tool_use');

describe('drafting in the emulated host', () => {
  let session, fake, host, page, frame;

  before(async () => {
    session = await h.startSession({ provider: 'anthropic', model: MODEL, anthropic_api_key: 'sk-ant-test-key-456' });
    ({ fake, host, page, frame } = session);
  });

  after(async () => {
    if (session) await session.stop();
  });

  test('a dimensioned sketch the model draws appears in the plan view', async () => {
    const plan = (story) => `${host.origin}/host/plan.png?token=${host.token}&w=600&h=400&story=${story}&t=${Date.now()}`;
    const before = await h.darkPixels(page, plan(0));

    fake.script(sketchReply(), h.textReply('Sketch drawn.'));
    await h.sendMessage(frame, 'Sketch a dimensioned 6 by 4 m kitchen');
    await h.waitForBubble(frame, 'Sketch drawn.');

    const cards = await h.toolCards(frame);
    for (const [name] of SKETCH)
      assert.ok(cards.some((card) => card.name === name.replace(/_/g, ' ') && card.look === 'ok'), `a successful card for ${name}`);

    const after = await h.darkPixels(page, plan(0));
    assert.ok(after > before + 300, `the sketch inks the plan (${before} dark pixels before, ${after} after)`);
    assert.ok(await h.darkPixels(page, plan(1)) < 50, 'the story above stays empty');
  });
});
