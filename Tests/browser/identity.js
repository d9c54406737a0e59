// The identity side of the browser tests: a real OpenID provider (oidc-provider) on 127.0.0.1
// with the device flow, revocation, introspection and its development login and consent pages,
// and a fake chat proxy that accepts a bearer token only when the provider's introspection says
// it is active. Nothing here reaches any address other than 127.0.0.1.
'use strict';

const crypto = require('node:crypto');
const http = require('node:http');
const { startService } = require('./harness');

// Not the add-on's default client id, so that the host is seen to take the one it is given.
const CLIENT_ID = 'quillmere-palette';
const PROXY_CLIENT = { id: 'chat-proxy', secret: crypto.randomBytes(24).toString('hex') };

// The e-mail of the account a login name signs in as.
const emailOf = (login) => `${login}@example.com`;

async function listen(server) {
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return `http://127.0.0.1:${server.address().port}`;
}

function closer(server) {
  return () => new Promise((resolve) => {
    server.close(resolve);
    server.closeAllConnections();
  });
}

// Starts the provider; its issuer is its own address. Accounts are made up on demand: any login
// name with any password signs in, and its claims carry the e-mail emailOf(login).
async function startProvider() {
  const { default: Provider } = await import('oidc-provider');
  const server = http.createServer();
  const issuer = await listen(server);
  const provider = new Provider(issuer, {
    clients: [
      {
        client_id: CLIENT_ID, token_endpoint_auth_method: 'none', application_type: 'native',
        grant_types: ['urn:ietf:params:oauth:grant-type:device_code', 'refresh_token'],
        response_types: [], redirect_uris: []
      },
      {
        client_id: PROXY_CLIENT.id, client_secret: PROXY_CLIENT.secret,
        grant_types: [], response_types: [], redirect_uris: []
      }
    ],
    features: {
      devInteractions: { enabled: true },
      deviceFlow: { enabled: true },
      // A client revokes its own tokens; only the proxy asks what a token is worth.
      revocation: { enabled: true, async allowedPolicy(ctx, client, token) { return token.clientId === client.clientId; } },
      introspection: { enabled: true, async allowedPolicy(ctx, client) { return client.clientId === PROXY_CLIENT.id; } }
    },
    ttl: { AccessToken: 3600, IdToken: 3600, RefreshToken: 86400, DeviceCode: 600, Interaction: 600, Session: 3600, Grant: 86400 },
    scopes: ['openid', 'email', 'offline_access'],
    claims: { openid: ['sub'], email: ['email', 'email_verified'] },
    cookies: { keys: [crypto.randomBytes(24).toString('hex')] },
    async findAccount(ctx, sub) {
      return { accountId: sub, async claims() { return { sub, email: emailOf(sub), email_verified: true }; } };
    }
  });
  server.on('request', provider.callback());
  const discovery = await (await fetch(`${issuer}/.well-known/openid-configuration`)).json();

  // What the provider says of a token when the proxy's client asks.
  async function introspect(token) {
    const answer = await fetch(discovery.introspection_endpoint, {
      method: 'POST',
      headers: {
        Authorization: 'Basic ' + Buffer.from(`${PROXY_CLIENT.id}:${PROXY_CLIENT.secret}`).toString('base64'),
        'Content-Type': 'application/x-www-form-urlencoded'
      },
      body: new URLSearchParams({ token })
    });
    if (!answer.ok) throw new Error(`introspection answered ${answer.status}`);
    return answer.json();
  }

  return { issuer, clientId: CLIENT_ID, discovery, introspect, close: closer(server) };
}

// Walks Chromium's page, open on the provider's verification page, through a device sign-in:
// the code typed in when userCode is given (the page without it in its address asks for it),
// then confirmed, a login as login with any password, and the consent. Ends on the success
// page, or with abort on the confirmation page refused, which ends the sign-in as denied.
async function approveDevice(page, { userCode, login, abort }) {
  if (userCode) {
    await page.fill('input[name="user_code"]', userCode);
    await page.click('button[type="submit"][form="op.deviceInputForm"]');
  }
  if (abort) {
    await page.click('button[name="abort"][form="op.deviceConfirmForm"]');
    // The provider answers with its code page again, saying the sign-in was interrupted.
    await page.waitForSelector('p.red');
    return;
  }
  await page.click('button[autofocus][form="op.deviceConfirmForm"]');
  await page.fill('input[name="login"]', login);
  await page.fill('input[name="password"]', 'any password');
  await page.click('button.login-submit');
  // The development consent page lists the scopes asked for; its one submit button agrees.
  await page.click('form button[type="submit"]');
  await page.waitForFunction(() => document.title === 'Sign-in Success');
  // The provider's session goes, as with a browser closed: the next approval logs in afresh.
  // Its cookies are the only ones here (the host keeps none).
  await page.context().clearCookies();
}

// A fake chat proxy with the Anthropic variant of the wire format: POST /v1/messages with a bearer
// token, which it checks with the provider's introspection before answering with the next
// scripted reply. Every request is recorded with the token's introspection.
async function startFakeProxy(provider) {
  const replies = [], requests = [];
  const refuse = (reply, status, type, message) => reply.json(status, { type: 'error', error: { type, message } });
  const service = await startService(async (req, reply) => {
    let body = null;
    try { body = JSON.parse(req.body); } catch (e) { body = null; }
    const bearer = /^Bearer (\S+)$/.exec(req.headers.authorization || '');
    const record = { method: req.method, url: req.url, headers: req.headers, body, token: bearer && bearer[1] };
    requests.push(record);
    if (req.method !== 'POST' || req.url !== '/v1/messages') return refuse(reply, 404, 'not_found_error', 'no such route');
    try {
      record.introspection = bearer ? await provider.introspect(bearer[1]) : { active: false };
    } catch (e) {
      return refuse(reply, 502, 'api_error', String(e.message));
    }
    if (!record.introspection.active) return refuse(reply, 401, 'authentication_error', 'invalid bearer token');
    const next = replies.shift();
    const answer = typeof next === 'function' ? next(body) : next;
    if (!answer) return refuse(reply, 500, 'api_error', 'no scripted reply');
    reply.json(200, answer);
  });
  return { url: service.url, requests, script(...items) { replies.push(...items); }, close: service.close };
}

module.exports = { startProvider, approveDevice, startFakeProxy, emailOf };
