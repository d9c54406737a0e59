// The bridge to the add-on: calls to the object it registers, the first call retried until it
// answers, and the connection status in the top bar.

var BRIDGE_ATTEMPTS = 15;
var BRIDGE_RETRY_MS = 200;

function sleep(ms) { return new Promise(function (resolve) { setTimeout(resolve, ms); }); }

function bridgeFunction(name) {
  var bridge = window.Quillmere;
  return bridge && typeof bridge[name] === 'function' ? bridge[name].bind(bridge) : null;
}

// A call that cannot reach the add-on (the host has quit, the bridge object is gone) fails as a
// network error (TypeError) or for want of the bridge; such a failure turns the status to "Not
// connected" once the page has been connected, and the next call that is answered turns it back.
// A refusal the host gives a call carries its own reason and says nothing of the link.
var addOnReachable = true;

function unreachableError(error) { return error instanceof TypeError || (error && error.unreachable === true); }

function noteReachable(reachable) {
  if (!bridgeReady || reachable === addOnReachable) return;
  addOnReachable = reachable;
  setStatus(!reachable ? 'offline' : thinkingEl.hidden ? 'ready' : 'busy');
}

// The add-on's reports stop coming when the link drops (the host has quit): the page says so at
// once instead of at its next call, and a turn it was waiting for has ended unanswered.
window.addEventListener('bridgeconnection', function (event) {
  var connected = !!(event.detail && event.detail.connected);
  if (!connected && bridgeReady && (!thinkingEl.hidden || awaitingAnswer)) {
    markUnanswered();
    thinkingEl.hidden = true;
  }
  noteReachable(connected);
});

function callBridge(name) {
  var args = Array.prototype.slice.call(arguments, 1);
  var fn = bridgeFunction(name);
  var answer;
  if (!fn) {
    var missing = new Error('The assistant is not connected.');
    missing.unreachable = !window.Quillmere;
    answer = Promise.reject(missing);
  } else {
    try { answer = Promise.resolve(fn.apply(null, args)); } catch (e) { answer = Promise.reject(e); }
  }
  return answer.then(function (value) {
    noteReachable(true);
    return value;
  }, function (error) {
    if (unreachableError(error)) noteReachable(false);
    throw error;
  });
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
  if (state === 'ready' && !hasKeyForProvider() && !signedIn()) {
    state = 'nokey';
    text = auth.state === 'checking' ? 'Asking the sign-in service…' : 'Add an API key or sign in under Settings';
  }
  dot.className = 'status-dot ' + state;
  $('status-text').textContent = text;
}
