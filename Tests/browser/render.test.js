'use strict';

// Rendering the view from the palette: a scripted model calls render_current_view, the host's
// window goes to a fake render service as a PNG, the poll brings the finished image into the
// palette as a preview, and "Download render" saves the image. Nothing here reaches any
// address other than 127.0.0.1.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

const PNG = h.TINY_PNG;
const JOB_ID = 'job-9';

// The render service: start, status (rendering once, then done), result, and the finished
// image, plainly for the preview and as an attachment for the download.
function startRenderService() {
  let statusCalls = 0;
  return h.startService((req, reply, base) => {
    if (req.method === 'POST' && req.url === '/render/start') return reply.json(201, { job_id: JOB_ID, status: 'queued' });
    if (req.method === 'GET' && req.url === `/render/status?job_id=${JOB_ID}`) {
      statusCalls += 1;
      return reply.json(200, { status: statusCalls === 1 ? 'rendering' : 'done' });
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

describe('rendering the current view', () => {
  let session, service, fake, frame;

  before(async () => {
    service = await startRenderService();
    session = await h.startSession({ provider: 'anthropic', model: 'claude-test-model', anthropic_api_key: 'sk-ant-test', service_url: service.url });
    ({ fake, frame } = session);
  });

  after(async () => {
    if (session) await session.stop();
    if (service) await service.close();
  });

  test('the model renders the view, the preview appears and the download saves the image', { timeout: 90000 }, async () => {
    fake.script(h.toolReply('render_current_view', { preset: 'clay', strength: 0.4 }), h.textReply('Rendering now.'));
    await h.sendMessage(frame, 'Render this view as a clay model');
    await h.waitForBubble(frame, 'Rendering now.');

    // The preview, once the poll has seen the job done.
    const img = await frame.waitForSelector('.render-card img[alt="Render preview"]', { timeout: 30000 });
    assert.equal(await img.getAttribute('src'), `${service.url}/files/${JOB_ID}.png`);
    await frame.waitForFunction(() => document.querySelector('.render-card img').naturalWidth === 1);
    // "Download render" opens the download address, which the browser saves.
    const download = session.page.waitForEvent('download', { timeout: 20000 });
    await frame.click('.render-card button:has-text("Download render")');
    const saved = await download;
    assert.equal(saved.url(), `${service.url}/files/${JOB_ID}.png?download=1`);
  });
});
