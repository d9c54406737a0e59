'use strict';

// The whole road of a reference plan: a PNG attached in the palette, a scripted model calling
// the six plan tools in turn against a fake product service (named by settings.json's
// service_url), the recognition overlay shown in the palette before its card, and the built
// walls in the host's plan view. Nothing here reaches any address other than 127.0.0.1.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

const PNG = h.TINY_PNG;
const PLAN_ID = 'plan-42';

// The plan-recognition service: upload, extract, status (running, then done), detections and
// the overlay image; every request is recorded with its raw body.
function startPlanService() {
  let statusCalls = 0;
  return h.startService((req, reply) => {
    if (req.method === 'POST' && req.url === '/plans/upload') return reply.json(201, { plan_id: PLAN_ID, filename: 'plan.png', size_bytes: PNG.length });
    if (req.method === 'POST' && req.url === `/plans/${PLAN_ID}/extract`) return reply.json(202, { queued: true });
    if (req.method === 'GET' && req.url === `/plans/${PLAN_ID}/status`) {
      statusCalls += 1;
      return reply.json(200, statusCalls === 1
        ? { status: 'running', progress_pct: 40, stage: 'walls' }
        : { status: 'done', progress_pct: 100, stage: 'done', wall_count: 4, overlay_url: `/plans/${PLAN_ID}/overlay.png` });
    }
    if (req.method === 'GET' && req.url === `/plans/${PLAN_ID}/detections`) {
      return reply.json(200, { walls: [{ start: [0, 0], end: [8, 0] }], rooms: [{ label: 'Living' }], openings: [] });
    }
    if (req.method === 'GET' && req.url === `/plans/${PLAN_ID}/overlay.png`) {
      reply.res.writeHead(200, { 'Content-Type': 'image/png' });
      reply.res.end(PNG);
    }
  });
}

const LAYOUT = {
  walls: [
    { id: 'south', start: [0, 0], end: [8, 0], thickness: 0.3 },
    { id: 'east', start: [8, 0], end: [8, 6], thickness: 0.3 },
    { id: 'north', start: [8, 6], end: [0, 6], thickness: 0.3 },
    { id: 'west', start: [0, 6], end: [0, 0], thickness: 0.3 }
  ],
  openings: [{ type: 'door', host_wall: 'south', width: 0.9, offset: 2 }, { type: 'window', host_wall: 'east', width: 1.2, offset: 3 }],
  rooms: [{ name: 'Living', polygon: [[0, 0], [8, 0], [8, 6], [0, 6]] }]
};

describe('a reference plan from attachment to built walls', () => {
  let session, service, fake, host, frame;

  before(async () => {
    service = await startPlanService();
    session = await h.startSession({ provider: 'anthropic', model: 'claude-test-model', anthropic_api_key: 'sk-ant-test', service_url: service.url });
    ({ fake, host, frame } = session);
  });

  after(async () => {
    if (session) await session.stop();
    if (service) await service.close();
  });

  test('upload, extract, poll with an overlay, detections, build', async () => {
    const planUrl = `${host.origin}/host/plan.png?token=${host.token}&w=400&h=300&story=0`;
    const before = Buffer.from(await (await fetch(planUrl)).arrayBuffer());
    const offered = [];
    const seen = {};
    fake.script(
      (body) => { offered.push(...(body.tools || []).map((t) => t.name)); return h.toolReply('upload_reference_plan', {}); },
      (body) => { seen.upload = h.lastToolResult(body); return h.toolReply('start_plan_extraction', { plan_id: seen.upload.plan_id }); },
      (body) => { seen.start = h.lastToolResult(body); return h.toolReply('get_plan_extraction_status', { plan_id: PLAN_ID }); },
      (body) => { seen.running = h.lastToolResult(body); return h.toolReply('get_plan_extraction_status', { plan_id: PLAN_ID }); },
      (body) => { seen.done = h.lastToolResult(body); return h.toolReply('get_plan_detections', { plan_id: PLAN_ID }); },
      (body) => { seen.detections = h.lastToolResult(body); return h.toolReply('build_from_layout', LAYOUT); },
      (body) => { seen.build = h.lastToolResult(body); return h.textReply('Your plan is built.'); });

    await frame.setInputFiles('#file-input', [{ name: 'plan.png', mimeType: 'image/png', buffer: PNG }]);
    await frame.waitForFunction(() => document.querySelectorAll('#attachments .chip').length === 1);
    await h.sendMessage(frame, 'Rebuild this plan');
    await frame.waitForFunction(() => [...document.querySelectorAll('.bubble')].some((b) => b.textContent === 'Your plan is built.'),
      null, { timeout: 30000 });

    for (const name of ['upload_reference_plan', 'start_plan_extraction', 'get_plan_extraction_status', 'get_plan_detections',
      'build_from_layout', 'create_walls_batch']) assert.ok(offered.includes(name), `${name} is offered to the model`);
    assert.deepEqual(seen.upload, { filename: 'plan.png', plan_id: PLAN_ID, size_bytes: PNG.length, status: 'uploaded' });
    assert.deepEqual(seen.start, { plan_id: PLAN_ID, status: 'extracting' });
    assert.deepEqual(seen.running, { plan_id: PLAN_ID, progress_pct: 40, stage: 'walls', status: 'running' });
    assert.deepEqual(seen.done, { plan_id: PLAN_ID, progress_pct: 100, stage: 'done', status: 'done', wall_count: 4 });
    assert.deepEqual(seen.detections.rooms, [{ label: 'Living' }]);
    assert.equal(seen.build.message, '4 walls, 1 doors, 1 windows, 1 zones created');

    // What the service received: the attached PNG as the one file part, the header on every request.
    const upload = service.requests.find((r) => r.url === '/plans/upload');
    assert.match(upload.headers['content-type'], /^multipart\/form-data; boundary=----Quillmere\d+$/);
    const text = upload.body.toString('latin1');
    assert.match(text, /Content-Disposition: form-data; name="file"; filename="quillmere_plan_upload\.png"\r\nContent-Type: image\/png\r\n\r\n/);
    assert.ok(upload.body.includes(PNG), 'the decoded attachment is the file part');
    const planRequests = service.requests.filter((r) => r.url.startsWith('/plans/') && !r.url.endsWith('.png'));
    assert.deepEqual(planRequests.map((r) => `${r.method} ${r.url}`), [
      'POST /plans/upload', `POST /plans/${PLAN_ID}/extract`, `GET /plans/${PLAN_ID}/status`, `GET /plans/${PLAN_ID}/status`,
      `GET /plans/${PLAN_ID}/detections`]);
    assert.ok(planRequests.every((r) => r.headers['x-quillmere-dev'] === '1'));

    // The overlay as a preview card, loaded from the service, before the status card of its call.
    const overlay = `${service.url}/plans/${PLAN_ID}/overlay.png`;
    const img = await frame.waitForSelector('.render-card img[alt="Plan recognition overlay"]');
    assert.equal(await img.getAttribute('src'), overlay);
    await frame.waitForFunction(() => document.querySelector('.render-card img').naturalWidth === 1);
    const order = await frame.evaluate(() => {
      const nodes = [...document.querySelectorAll('.render-card, .tool-card')];
      return nodes.map((n) => (n.classList.contains('render-card') ? 'preview' : n.querySelector('.tool-name').textContent));
    });
    const previewAt = order.indexOf('preview');
    assert.equal(order.filter((o) => o === 'preview').length, 1, 'one preview for the one finished status');
    assert.equal(order[previewAt + 1], 'get plan extraction status', `cards in order: ${order.join(', ')}`);
    assert.ok(order.includes('build from layout'));

    // The built walls in the plan view.
    const after = Buffer.from(await (await fetch(planUrl)).arrayBuffer());
    assert.notDeepEqual(after, before, 'the plan view did not change');
  });
});
