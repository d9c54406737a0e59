// The chat page's shared ground: the models offered, the page's elements and state, and the
// small helpers every other part uses. The parts are run as one script in one function scope
// (ChatPage.cpp puts them together), so they share these names without leaving them on window.

var MODELS = {
  anthropic: ['claude-sonnet-4-5', 'claude-opus-4-1', 'claude-haiku-4-5'],
  openai: ['gpt-4.1', 'gpt-4o', 'o3', 'o4-mini']
};

var $ = function (id) { return document.getElementById(id); };
var messagesEl = $('messages');
var conversationEl = $('conversation');
var welcomeEl = $('welcome');
var thinkingEl = $('thinking');
var inputEl = $('input');
var sendButton = $('send-button');
var attachmentsEl = $('attachments');
var fileInput = $('file-input');
var composerEl = $('composer');

// Names this page when it asks the add-on for the conversation, so that another page open
// on the same palette is not replaced by what was meant for this one.
var PAGE_ID = Date.now().toString(36) + Math.random().toString(36).slice(2);

var pendingFiles = [];
var settings = { provider: 'anthropic', model: MODELS.anthropic[0], anthropicApiKey: '', openaiApiKey: '', darkMode: false };
var bridgeReady = false;

// ---- small helpers ----------------------------------------------------------------

function el(tag, className, text) {
  var node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined && text !== null) node.textContent = String(text);
  return node;
}

function svgIcon(path, size) {
  var ns = 'http://www.w3.org/2000/svg';
  var svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('viewBox', '0 0 24 24');
  svg.setAttribute('width', size || 12);
  svg.setAttribute('height', size || 12);
  var p = document.createElementNS(ns, 'path');
  p.setAttribute('d', path);
  p.setAttribute('fill', 'none');
  p.setAttribute('stroke', 'currentColor');
  p.setAttribute('stroke-width', '3');
  p.setAttribute('stroke-linecap', 'round');
  p.setAttribute('stroke-linejoin', 'round');
  svg.appendChild(p);
  return svg;
}
var HOUSE_PATH = 'M4 20V9l8-5 8 5v11h-5v-6H9v6z';

function scrollToEnd() {
  requestAnimationFrame(function () { conversationEl.scrollTop = conversationEl.scrollHeight; });
}

var toastTimer = null;
function toast(text) {
  var t = $('toast');
  t.textContent = text;
  t.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(function () { t.hidden = true; }, 3200);
}

function hideWelcome() { welcomeEl.hidden = true; }

// Text from the model or the add-on is shown as text. `code` and **bold** get their
// look through DOM nodes; nothing is ever parsed as HTML.
function appendFormatted(container, text) {
  var pattern = /(`[^`\n]+`|\*\*[^*\n]+\*\*)/g;
  var last = 0, match;
  while ((match = pattern.exec(text)) !== null) {
    if (match.index > last) container.appendChild(document.createTextNode(text.slice(last, match.index)));
    var token = match[0];
    if (token.charAt(0) === '`') container.appendChild(el('code', null, token.slice(1, -1)));
    else container.appendChild(el('strong', null, token.slice(2, -2)));
    last = match.index + token.length;
  }
  if (last < text.length) container.appendChild(document.createTextNode(text.slice(last)));
}
