'use strict';

// The product service's roads through the whole system, against a fake service on 127.0.0.1
// that settings.json's service_url names: a reference plan attached in the palette, a scripted
// model calling the six plan tools in turn, the recognition overlay shown in the palette and the
// built walls in the host's plan view; and the current view rendered, its preview shown and
// "Download render" saving the image. Nothing here reaches any address other than 127.0.0.1.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

const PNG = h.TINY_PNG;
const PLAN_ID = 'plan-42';
const JOB_ID = 'job-9';

// Plan recognition: upload, extract, status (running, then done), detections and the overlay
// image. Rendering: start, status (rendering once, then done), result, and the finished image,
// plainly for the preview and as an attachment for the download.
function startProductService() {
  let statusCalls = 0, renderCalls = 0;
  return h.startService((req, reply, base) => {
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
      return reply.res.end(PNG);
    }
    if (req.method === 'POST' && req.url === '/render/start') return reply.json(201, { job_id: JOB_ID, status: 'queued' });
    if (req.method === 'GET' && req.url === `/render/status?job_id=${JOB_ID}`) {
      renderCalls += 1;
      return reply.json(200, { status: renderCalls === 1 ? 'rendering' : 'done' });
    }
    if (req.method === 'GET' && req.url === `/render/result?job_id=${JOB_ID}`) {
      return reply.json(200, { image_url: `${base}/files/${JOB_ID}.png`, download_url: `${base}/files/${JOB_ID}.png?download=1` });
    }
    if (req.method === 'GET' && req.url.startsWith(`/files/${JOB_ID}.png`)) {
      const headers = { 'Content-Type': 'image/png' };
      if (req.url.endsWith('?download=1')) headers['Content-Disposition'] = `attachment; filename="${JOB_ID}.png"`;
      reply.res.writeHead(200, headers);
      reply.res.end(PNG);
    }
  });
}

const CORNERS = [[0, 0], [8, 0], [8, 6], [0, 6]];
const LAYOUT = {
  walls: ['south', 'east', 'north', 'west'].map((id, i) => ({ id, start: CORNERS[i], end: CORNERS[(i + 1) % 4], thickness: 0.3 })),
  openings: [{ type: 'door', host_wall: 'south', width: 0.9, offset: 2 }, { type: 'window', host_wall: 'east', width: 1.2, offset: 3 }],
  rooms: [{ name: 'Living', polygon: CORNERS }]
};

describe('the product service from the palette', () => {
  let session, service, fake, host, frame;

  before(async () => {
    service = await startProductService();
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
    const seen = {};
    fake.script(
      h.toolReply('upload_reference_plan', {}),
      (body) => { seen.upload = h.lastToolResult(body); return h.toolReply('start_plan_extraction', { plan_id: seen.upload.plan_id }); },
      () => h.toolReply('get_plan_extraction_status', { plan_id: PLAN_ID }),
      () => h.toolReply('get_plan_extraction_status', { plan_id: PLAN_ID }),
      () => h.toolReply('get_plan_detections', { plan_id: PLAN_ID }),
      () => h.toolReply('build_from_layout', LAYOUT),
      (body) => { seen.build = h.lastToolResult(body); return h.textReply('Your plan is built.'); });

    await frame.setInputFiles('#file-input', [{ name: 'plan.png', mimeType: 'image/png', buffer: PNG }]);
    await frame.waitForFunction(() => document.querySelectorAll('#attachments .chip').length === 1);
    await h.sendMessage(frame, 'Rebuild this plan');
    await h.waitForBubble(frame, 'Your plan is built.');

    assert.equal(seen.upload.plan_id, PLAN_ID, 'the attached PNG was uploaded');
    assert.equal(seen.build.message, '4 walls, 1 doors, 1 windows, 1 zones created');

    assert.ok(service.requests.find((r) => r.url === '/plans/upload').body.includes(PNG), 'the attachment is the file part');

    // The overlay as a preview card loaded from the service (its place among the cards is the
    // palette's unit test).
    const img = await frame.waitForSelector('.render-card img[alt="Plan recognition overlay"]');
    assert.equal(await img.getAttribute('src'), `${service.url}/plans/${PLAN_ID}/overlay.png`);
    await frame.waitForFunction(() => document.querySelector('.render-card img').naturalWidth === 1);

    // The built walls in the plan view.
    const after = Buffer.from(await (await fetch(planUrl)).arrayBuffer());
    assert.notDeepEqual(after, before, 'the plan view did not change');
  });

  test('the model renders the view, the preview appears and the download saves the image', { timeout: 90000 }, async () => {
    fake.script(h.toolReply('render_current_view', { preset: 'clay', strength: 0.4 }), h.textReply('Rendering now.'));
    await h.sendMessage(frame, 'Render this view as a clay model');
    await h.waitForBubble(frame, 'Rendering now.');

    // The preview, once the poll has seen the job done.
    const image = `${service.url}/files/${JOB_ID}.png`;
    const card = frame.locator('.render-card', { has: frame.locator(`img[alt="Render preview"][src="${image}"]`) });
    await card.waitFor({ timeout: 30000 });
    await frame.waitForFunction((src) => document.querySelector(`.render-card img[src="${src}"]`).naturalWidth === 1, image);
    // "Download render" opens the download address, which the browser saves.
    const download = session.page.waitForEvent('download', { timeout: 20000 });
    await card.locator('button:has-text("Download render")').click();
    const saved = await download;
    assert.equal(saved.url(), `${service.url}/files/${JOB_ID}.png?download=1`);
  });
});
