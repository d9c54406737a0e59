// The bridge to the add-on: calls to the object it registers, the first call retried until it
// answers, and the connection status in the top bar.

var BRIDGE_ATTEMPTS = 15;
var BRIDGE_RETRY_MS = 200;

function sleep(ms) { return new Promise(function (resolve) { setTimeout(resolve, ms); }); }

function bridgeFunction(name) {
  var bridge = window.Quillmere;
  return bridge && typeof bridge[name] === 'function' ? bridge[name].bind(bridge) : null;
}

function callBridge(name) {
  var args = Array.prototype.slice.call(arguments, 1);
  var fn = bridgeFunction(name);
  if (!fn) return Promise.reject(new Error('The assistant is not connected.'));
  try { return Promise.resolve(fn.apply(null, args)); } catch (e) { return Promise.reject(e); }
}

// The add-on registers its bridge object only after the page has loaded, so the first
// call is retried until it answers.
async function firstBridgeCall(name) {
  var args = Array.prototype.slice.call(arguments, 1);
  var lastError = null;
  for (var attempt = 0; attempt < BRIDGE_ATTEMPTS; attempt++) {
    if (bridgeFunction(name)) {
      try { return await callBridge.apply(null, [name].concat(args)); } catch (e) { lastError = e; }
    }
    await sleep(BRIDGE_RETRY_MS);
  }
  throw lastError || new Error('The assistant did not answer.');
}

function setStatus(state) {
  var dot = $('status-dot');
  var text = { ready: 'Ready', busy: 'Working…', offline: 'Not connected', connecting: 'Connecting…' }[state] || '';
  if (state === 'ready' && !hasKeyForProvider()) {
    state = 'nokey';
    text = 'Add an API key in Settings';
  }
  dot.className = 'status-dot ' + state;
  $('status-text').textContent = text;
}
