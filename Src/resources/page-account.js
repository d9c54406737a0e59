// The account in the settings panel: signing in to the product's service (whose chat proxy
// serves a user without an API key), the code to enter on the sign-in page while the add-on
// waits for it, and signing out. The page only ever learns the state and the e-mail; the
// tokens stay with the add-on.

var AUTH_STATES = ['signed_out', 'checking', 'waiting', 'signed_in'];
var auth = { state: 'signed_out', email: '', userCode: '', pageUrl: '', notSaved: '' };
// The last error from the add-on or a call; the panel shows it before a sign-in (or sign-out)
// that could not be saved, which stays in view until the add-on says it is saved.
var authError = '';
// The add-on's reports (setAuthState) and the answers to the page's calls travel apart: a report
// sent after a call was answered may arrive before that answer. So an answer counts only when no
// report came while its call was under way; otherwise it is older than what the page shows.
var authReports = 0;
// Set while a sign-in this page asked for is still being started: a service that does not answer
// would otherwise hold the panel at "Asking the sign-in service…" with no way out.
var startingSignIn = false;

function signedIn() { return auth.state === 'signed_in'; }

// Only a web page may be opened as the sign-in page, never a script or a local file.
function webAddress(text) {
  if (typeof text !== 'string' || !text) return '';
  try {
    var url = new URL(text);
    return url.protocol === 'https:' || url.protocol === 'http:' ? url.href : '';
  } catch (e) {
    return '';
  }
}

function showAuthError(message) {
  authError = message || '';
  var box = $('account-error');
  box.textContent = authError || auth.notSaved;
  box.hidden = !box.textContent;
}

function showAccount() {
  AUTH_STATES.forEach(function (state) { $('account-' + state.replace('_', '-')).hidden = state !== auth.state; });
  $('account-email').textContent = auth.email;
  $('account-code').textContent = auth.userCode;
  $('open-sign-in-page').disabled = !auth.pageUrl;
  $('cancel-sign-in-start').hidden = !startingSignIn;
}

// The status line follows the account: a sign-in is as good as a key for sending.
function refreshStatus() {
  if (bridgeReady && addOnReachable) setStatus(thinkingEl.hidden ? 'ready' : 'busy');
}

function reportAuthState(raw) {
  authReports++;
  applyAuthState(raw);
}

// A call whose answer is the state then: applied unless a report overtook it.
async function authCall(call) {
  var reportsBefore = authReports;
  var answer = await call();
  if (authReports === reportsBefore) applyAuthState(answer);
  return answer;
}

function applyAuthState(raw) {
  var parsed = raw;
  if (typeof raw === 'string') { try { parsed = JSON.parse(raw); } catch (e) { parsed = null; } }
  if (!parsed || typeof parsed !== 'object' || AUTH_STATES.indexOf(parsed.state) < 0) return;
  var text = function (value) { return typeof value === 'string' ? value : ''; };
  var noticeBefore = auth.notSaved;
  auth = {
    state: parsed.state,
    email: parsed.state === 'signed_in' ? text(parsed.email) : '',
    userCode: parsed.state === 'waiting' ? text(parsed.user_code) : '',
    // The complete address carries the code, so the user need not type it.
    pageUrl: parsed.state === 'waiting'
      ? webAddress(parsed.verification_uri_complete) || webAddress(parsed.verification_uri) : '',
    notSaved: text(parsed.not_saved)
  };
  showAuthError(auth.state === 'signed_in' ? '' : authError);
  if (auth.notSaved && auth.notSaved !== noticeBefore && $('settings-panel').hidden) toast(auth.notSaved);
  if (auth.state !== 'checking') startingSignIn = false;
  showAccount();
  refreshStatus();
}

// An error from the add-on stays in the panel until the user acts again; with the panel closed
// it is shown at once as well.
function setAuthError(message) {
  var text = String(message || 'Signing in failed.');
  showAuthError(text);
  if ($('settings-panel').hidden) toast(text);
}

// The add-on answers the account's calls at once (the work goes on in the background and its
// outcome arrives through setAuthState); a call that fails says why in the panel.
async function accountCall(name) {
  showAuthError('');
  startingSignIn = name === 'signIn';
  try {
    var answer = await authCall(function () { return callBridge(name); });
    if (answer === false) throw new Error('The add-on refused to ' + { signIn: 'start signing in', cancelSignIn:
      'cancel signing in', signOut: 'sign out' }[name] + '.');
  } catch (e) {
    startingSignIn = false;
    showAccount();
    showAuthError(unreachableError(e) ? 'The assistant cannot be reached.' : String(e && e.message ? e.message : e));
  }
}

function openSignInPage() {
  if (auth.pageUrl) window.open(auth.pageUrl, '_blank', 'noopener');
}

$('sign-in').addEventListener('click', function () { accountCall('signIn'); });
$('cancel-sign-in').addEventListener('click', function () { accountCall('cancelSignIn'); });
$('cancel-sign-in-start').addEventListener('click', function () { accountCall('cancelSignIn'); });
$('sign-out').addEventListener('click', function () { accountCall('signOut'); });
$('open-sign-in-page').addEventListener('click', openSignInPage);
