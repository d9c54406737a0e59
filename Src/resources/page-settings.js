// The settings panel: provider, model, keys and dark mode, saved through the add-on, and the
// service a message goes to.

var KEY_FIELDS = { anthropicApiKey: 'setting-anthropic-key', openaiApiKey: 'setting-openai-key' };

// The service a message goes to follows the model's name, as the add-on chooses it.
function chosenProvider() {
  var model = String(settings.model || '').toLowerCase();
  if (!model) return settings.provider === 'openai' ? 'openai' : 'anthropic';
  return /^(gpt-|chatgpt-|ft:gpt-|o\d)/.test(model) ? 'openai' : 'anthropic';
}

function hasKeyForProvider() {
  return chosenProvider() === 'openai' ? !!settings.openaiApiKey : !!settings.anthropicApiKey;
}

function applyDarkMode(on) { document.documentElement.classList.toggle('dark', !!on); }

function fillModelList(provider) {
  var list = $('model-list');
  list.textContent = '';
  (MODELS[provider] || []).forEach(function (name) {
    var option = el('option');
    option.value = name;
    list.appendChild(option);
  });
}

function showSettings() {
  $('setting-provider').value = settings.provider === 'openai' ? 'openai' : 'anthropic';
  $('setting-model').value = settings.model || '';
  Object.keys(KEY_FIELDS).forEach(function (key) { $(KEY_FIELDS[key]).value = settings[key] || ''; });
  $('setting-dark-mode').checked = !!settings.darkMode;
  fillModelList($('setting-provider').value);
  $('model-hint').textContent = settings.model || '';
}

function applySettings(raw) {
  var parsed = raw;
  if (typeof raw === 'string') { try { parsed = JSON.parse(raw); } catch (e) { parsed = {}; } }
  if (!parsed || typeof parsed !== 'object') parsed = {};
  ['provider', 'model', 'anthropicApiKey', 'openaiApiKey'].forEach(function (key) {
    if (typeof parsed[key] === 'string') settings[key] = parsed[key];
  });
  if (typeof parsed.darkMode === 'boolean') settings.darkMode = parsed.darkMode;
  applyDarkMode(settings.darkMode);
  showSettings();
}

function openSettings() {
  showSettings();
  $('settings-state').textContent = '';
  $('settings-panel').hidden = false;
  $('drawer-backdrop').hidden = false;
  $('setting-model').focus();
}

function closeSettings() {
  $('settings-panel').hidden = true;
  $('drawer-backdrop').hidden = true;
  applyDarkMode(settings.darkMode);
}

// The settings just saved as the page may keep them when the add-on cannot be asked for its
// view of them: a typed key becomes a mark that one is set. The mark never goes back, as a key
// field left as shown is not sent.
function withKeysHidden(saved) {
  var kept = Object.assign({}, saved);
  Object.keys(KEY_FIELDS).forEach(function (key) {
    if (key in kept) kept[key] = kept[key] ? '\u2022'.repeat(8) : '';
  });
  return kept;
}

async function saveSettings() {
  var next = {
    provider: $('setting-provider').value,
    model: $('setting-model').value.trim(),
    darkMode: $('setting-dark-mode').checked
  };
  if (!next.model) next.model = MODELS[next.provider][0];
  // A key field left as shown (the add-on's mask) keeps the stored key.
  Object.keys(KEY_FIELDS).forEach(function (key) {
    var typed = $(KEY_FIELDS[key]).value.trim();
    if (typed !== settings[key]) next[key] = typed;
  });
  var state = $('settings-state');
  state.classList.remove('error');
  state.textContent = 'Saving…';
  try {
    var answer = await callBridge('saveSettings', JSON.stringify(next));
    if (answer === false) throw new Error('The settings could not be saved.');
    // The page holds keys only as the add-on shows them, masked: a typed key leaves the panel.
    var shown = await callBridge('getSettings').catch(function () { return withKeysHidden(next); });
    applySettings(shown);
    if (addOnReachable) setStatus(thinkingEl.hidden ? 'ready' : 'busy');
    state.textContent = 'Saved';
    setTimeout(closeSettings, 500);
  } catch (e) {
    state.classList.add('error');
    state.textContent = String(e && e.message ? e.message : e);
  }
}

async function clearHistory() {
  try {
    await callBridge('clearHistory');
    messagesEl.textContent = '';
    welcomeEl.hidden = false;
    closeSettings();
    toast('Conversation cleared');
  } catch (e) {
    toast(String(e && e.message ? e.message : e));
  }
}

$('settings-button').addEventListener('click', openSettings);
$('settings-close').addEventListener('click', closeSettings);
$('drawer-backdrop').addEventListener('click', closeSettings);
$('settings-save').addEventListener('click', saveSettings);
$('clear-history').addEventListener('click', clearHistory);
$('new-chat-button').addEventListener('click', clearHistory);
$('setting-dark-mode').addEventListener('change', function () { applyDarkMode($('setting-dark-mode').checked); });
$('setting-provider').addEventListener('change', function () {
  var provider = $('setting-provider').value;
  var model = $('setting-model');
  if ((MODELS[provider] || []).indexOf(model.value) < 0) model.value = MODELS[provider][0];
  fillModelList(provider);
});
document.querySelectorAll('.reveal').forEach(function (button) {
  button.addEventListener('click', function (event) {
    event.preventDefault();
    var input = $(button.getAttribute('data-target'));
    var show = input.type === 'password';
    input.type = show ? 'text' : 'password';
    button.textContent = show ? 'Hide' : 'Show';
  });
});
document.addEventListener('keydown', function (event) {
  if (event.key === 'Escape' && !$('settings-panel').hidden) closeSettings();
});
