'use strict';

// Signing in to the product's service from the palette, against a real OpenID provider: a user
// without an API key signs in with a device code in Chromium, chats through the chat proxy
// (which checks the token with the provider), signs out, and keeps a sign-in over a restart.

const { test, describe, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const h = require('./harness');
const identity = require('./identity');

const MODEL = 'claude-test-model';
const NO_ACCESS = 'Add an API key or sign in under Settings';

describe('signing in to the product service', () => {
  let provider, proxy, home, browser, host, frame;

  async function startHostAndPalette() {
    host = await h.startHost({ home, serviceUrl: provider.issuer, clientId: provider.clientId });
    ({ frame } = await h.openPalette(browser.context, host));
  }

  before(async () => {
    provider = await identity.startProvider();
    proxy = await identity.startFakeProxy(provider);
    home = h.tempDir('quillmere-home-');
    fs.mkdirSync(path.join(home, '.quillmere'));
    // No key at all: the proxy is the only way to the model.
    fs.writeFileSync(path.join(home, '.quillmere', 'settings.json'),
      JSON.stringify({ provider: 'anthropic', model: MODEL, proxy_url: proxy.url }));
    browser = await h.launchBrowser();
    await startHostAndPalette();
  });

  after(async () => {
    if (browser) await browser.close();
    if (host) await host.stop();
    if (proxy) await proxy.close();
    if (provider) await provider.close();
  });

  const waitForText = (selector, text, timeout = 30000) => frame.waitForFunction(([s, t]) =>
    document.querySelector(s).textContent === t, [selector, text], { timeout });

  async function openSettings() {
    if (await frame.isHidden('#settings-panel')) await frame.click('#settings-button');
  }

  // Settings → Sign in: the palette shows the code it waits for and returns it.
  async function startSignIn() {
    await openSettings();
    await frame.click('#sign-in');
    await frame.waitForSelector('#account-waiting:not([hidden])');
    const code = await frame.textContent('#account-code');
    assert.match(code, /^[A-Z]{4}-[A-Z]{4}$/);
    return code;
  }

  // The palette's "Open sign-in page" button opens the provider's page on its own tab.
  async function openSignInPage() {
    const [tab] = await Promise.all([browser.context.waitForEvent('page'), frame.click('#open-sign-in-page')]);
    await tab.waitForLoadState();
    return tab;
  }

  async function sendThroughProxy(text, answer) {
    proxy.script(h.textReply(answer));
    await h.sendMessage(frame, text);
    await h.waitForBubble(frame, answer);
    return proxy.requests.at(-1);
  }

  test('a user without a key signs in with the code, chats through the proxy and signs out', async () => {
    assert.equal(await frame.textContent('#status-text'), NO_ACCESS);
    const code = await startSignIn();
    const tab = await openSignInPage();
    // The complete address carries the code the palette shows: the user only confirms it.
    assert.equal(await tab.textContent('code'), code);
    await identity.approveDevice(tab, { login: 'ada' });
    await tab.close();
    await waitForText('#account-email', identity.emailOf('ada'));
    assert.equal(await frame.textContent('#status-text'), 'Ready');

    await frame.click('#settings-close');
    const request = await sendThroughProxy('What is on the ground floor?', 'Nothing yet, through the proxy.');
    assert.equal(request.url, '/v1/messages');
    assert.equal(request.body.model, MODEL);
    assert.deepEqual([request.introspection.active, request.introspection.sub, request.introspection.client_id],
      [true, 'ada', provider.clientId]);
    assert.equal(request.headers['x-api-key'], undefined);
    assert.ok(request.headers['anthropic-version']);
    // The tokens stay with the add-on: the page shows the state and the e-mail, nothing more.
    const stored = h.readSettings(home);
    const tokens = Object.entries(stored).filter(([key, value]) => /token/.test(key) && value).map(([, value]) => value);
    assert.ok(tokens.includes(request.token), 'the access token is kept in settings.json');
    const pageText = await frame.evaluate(() => document.documentElement.outerHTML);
    for (const token of tokens) assert.equal(pageText.includes(token), false, 'a token reached the page');

    await openSettings();
    await frame.click('#sign-out');
    await frame.waitForSelector('#account-signed-out:not([hidden])');
    assert.equal(await frame.textContent('#status-text'), NO_ACCESS);
    // Revocation of both tokens runs off the main thread: the provider hears of it shortly after.
    assert.equal(tokens.length, 2, 'an access and a refresh token were kept');
    const active = async () => (await Promise.all(tokens.map((t) => provider.introspect(t)))).filter((i) => i.active);
    let stillActive = await active();
    for (let i = 0; i < 300 && stillActive.length; i++) {
      await new Promise((resolve) => setTimeout(resolve, 100));
      stillActive = await active();
    }
    assert.deepEqual(stillActive.map((i) => i.token_type), [], 'tokens still active after signing out');
    const after = h.readSettings(home);
    for (const token of tokens) assert.equal(Object.values(after).includes(token), false, 'a token stayed in settings.json');
    assert.equal(after.user_email || '', '');
  });

  test('a cancelled wait and a sign-in refused on the provider\'s page leave the user signed out, saying why', async () => {
    const first = await startSignIn();
    await frame.click('#cancel-sign-in');
    await frame.waitForSelector('#account-signed-out:not([hidden])');
    const second = await startSignIn();
    assert.notEqual(second, first);
    const tab = await openSignInPage();
    await identity.approveDevice(tab, { abort: true });
    await tab.close();
    await frame.waitForSelector('#account-error:not([hidden])', { timeout: 30000 });
    await frame.waitForSelector('#account-signed-out:not([hidden])');
    assert.equal(await frame.textContent('#account-error'), 'Sign-in was declined on the sign-in page.');
    assert.equal(await frame.textContent('#status-text'), NO_ACCESS);
  });

  test('a sign-in that was not signed out holds over a restart of the host', async () => {
    // This time the code is typed on the provider's plain verification page.
    const code = await startSignIn();
    const tab = await browser.context.newPage();
    await tab.goto(`${provider.issuer}/device`);
    await identity.approveDevice(tab, { userCode: code, login: 'grace' });
    await tab.close();
    await waitForText('#account-email', identity.emailOf('grace'));

    assert.equal(await host.stop(), 0, 'the host quits cleanly');
    await startHostAndPalette();
    await waitForText('#account-email', identity.emailOf('grace'));
    await waitForText('#status-text', 'Ready');
    const request = await sendThroughProxy('Still there?', 'Still signed in.');
    assert.deepEqual([request.introspection.active, request.introspection.sub], [true, 'grace']);
  });

  test('the page retries its first check of the sign-in until the bridge answers, and a sign-in alone makes it ready', async () => {
    // The page as the add-on wrote it, without the shell's bridge script, given a bridge that
    // comes late and fails its first calls; it holds no key. The check's report overtakes its
    // answer, as it may through the shell: the older answer ("checking") must not win. The page
    // is copied at rest: the last test's turn may still be ending on a busy machine.
    await waitForText('#status-text', 'Ready');
    const html = '<!DOCTYPE html>' + (await frame.evaluate(() => document.documentElement.outerHTML))
      .replace(/<script>\s*\(function \(\) \{\s*var TOKEN[\s\S]*?<\/script>/, '');
    const late = await browser.context.newPage();
    await late.setContent(html.replace('<head>', `<head><script>
      window.__checks = 0;
      setTimeout(function () {
        window.Quillmere = {
          getSettings: function () { return Promise.resolve('{"provider":"anthropic","model":"${MODEL}"}'); },
          checkAuth: function () {
            window.__checks += 1;
            if (window.__checks <= 2) return Promise.reject(new Error('not yet'));
            QuillmereUI.setAuthState('{"state":"signed_in","email":"late@example.com"}');
            setTimeout(function () { window.__answered = true; });
            return Promise.resolve('{"state":"checking"}');
          }
        };
      }, 500);
    </script>`));
    await late.waitForFunction(() => window.__answered === true);
    assert.equal(await late.textContent('#account-email'), 'late@example.com');
    assert.equal(await late.evaluate(() => window.__checks), 3);
    assert.equal(await late.textContent('#status-text'), 'Ready');
    await late.close();
  });

  test('a sign-in whose service does not answer can be cancelled while it starts', async () => {
    // A service that never answers: without a Cancel the panel would wait for the request's deadline.
    const silent = await h.startService(() => new Promise(() => {}));
    const silentHome = h.tempDir('quillmere-home-');
    const silentHost = await h.startHost({ home: silentHome, serviceUrl: silent.url, clientId: provider.clientId });
    const silentBrowser = await h.launchBrowser();
    try {
      const { frame: palette } = await h.openPalette(silentBrowser.context, silentHost);
      await palette.click('#settings-button');
      await palette.click('#sign-in');
      await palette.waitForSelector('#account-checking:not([hidden])');
      await palette.click('#cancel-sign-in-start');
      await palette.waitForSelector('#account-signed-out:not([hidden])');
      assert.equal(await palette.isHidden('#account-error'), true);
      assert.equal(silent.requests.length, 1, 'the sign-in went on after it was cancelled');
    } finally {
      await silentBrowser.close();
      await silentHost.stop();
      await silent.close();
    }
  });

  test('only a web page is opened as the sign-in page', async () => {
    const page = `${provider.issuer}/device`;
    const rows = [ // verification_uri_complete, verification_uri, page opened (null: none)
      ['javascript:window.__pwned=1', page, page],
      ['file:///etc/passwd', 'data:text/html,hi', null],
      [undefined, page, page]];
    await openSettings();
    for (const [complete, plain, opened] of rows) {
      await frame.evaluate(([c, p]) => QuillmereUI.setAuthState(JSON.stringify(
        { state: 'waiting', user_code: 'WXYZ-WXYZ', verification_uri_complete: c, verification_uri: p })), [complete, plain]);
      assert.equal(await frame.isDisabled('#open-sign-in-page'), opened === null, String(complete));
      if (opened === null) continue;
      const tab = await openSignInPage();
      assert.equal(tab.url(), opened);
      await tab.close();
    }
    assert.equal(await frame.evaluate(() => window.__pwned), undefined);
  });

  test('a sign-in or sign-out that could not be saved stays in Settings until it is saved', async () => {
    const notice = '\u26a0 Sign-in not saved: cannot write beside settings.json: No space left on device';
    const report = (state) => frame.evaluate((s) => QuillmereUI.setAuthState(JSON.stringify(s)), state);
    await openSettings();
    await report({ state: 'signed_in', email: 'ada@example.com', not_saved: notice });
    assert.equal(await frame.textContent('#account-error'), notice, 'a sign-in clears errors, not this');
    await frame.evaluate(() => QuillmereUI.setAuthError('Sign-in failed: HTTP 503'));
    await report({ state: 'signed_out', not_saved: notice.replace('Sign-in', 'Sign-out') });
    assert.equal(await frame.textContent('#account-error'), 'Sign-in failed: HTTP 503', 'the newer error first');
    await report({ state: 'signed_in', email: 'ada@example.com' });
    assert.equal(await frame.isHidden('#account-error'), true, 'saved: nothing is left to say');
  });
});
