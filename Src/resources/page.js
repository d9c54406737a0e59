'use strict';
(function () {
  var MODELS = {
    anthropic: ['claude-sonnet-4-5', 'claude-opus-4-1', 'claude-haiku-4-5'],
    openai: ['gpt-4.1', 'gpt-4o', 'o3', 'o4-mini']
  };
  var ACCEPTED_TYPES = {
    'png': 'image/png', 'jpg': 'image/jpeg', 'jpeg': 'image/jpeg',
    'tif': 'image/tiff', 'tiff': 'image/tiff', 'pdf': 'application/pdf'
  };
  // What each language-model service takes per file (as the add-on checks it too): larger
  // images are scaled down to fit, larger PDFs refused, before anything is sent.
  var MB = 1024 * 1024;
  var ATTACHMENT_LIMITS = {
    anthropic: { name: 'Anthropic', image: 3.75 * MB, document: 24 * MB },
    openai: { name: 'OpenAI', image: 20 * MB, document: 24 * MB }
  };
  var MODEL_READS_IMAGE = { 'image/png': true, 'image/jpeg': true };
  var MAX_UNSCALED_BYTES = 24 * MB;  // PDF and TIFF: not read in full only to be refused
  var BRIDGE_ATTEMPTS = 15;
  var BRIDGE_RETRY_MS = 200;

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

  // ---- bridge to the add-on -------------------------------------------------------

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

  // ---- small helpers ---------------------------------------------------------------

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

  function newestMessage() { return messagesEl.lastElementChild; }

  function createMessage(role) {
    var message = el('div', 'message ' + role);
    if (role === 'assistant') {
      var avatar = el('div', 'avatar assistant-avatar');
      var house = svgIcon(HOUSE_PATH, 14);
      house.firstChild.setAttribute('fill', 'currentColor');
      house.firstChild.setAttribute('stroke', 'none');
      avatar.appendChild(house);
      message.appendChild(avatar);
    }
    message.appendChild(el('div', 'message-body'));
    messagesEl.appendChild(message);
    hideWelcome();
    return message;
  }

  function assistantBody() {
    var newest = newestMessage();
    if (newest && newest.classList.contains('assistant')) return newest.querySelector('.message-body');
    return createMessage('assistant').querySelector('.message-body');
  }

  // ---- what the add-on calls -------------------------------------------------------

  function addAssistantMessage(text) {
    text = String(text === undefined || text === null ? '' : text);
    var body = createMessage('assistant').querySelector('.message-body');
    var bubble = el('div', 'bubble');
    if (text.indexOf('\u26a0') === 0) bubble.classList.add('warning');
    appendFormatted(bubble, text);
    body.appendChild(bubble);
    scrollToEnd();
  }

  function setThinking(on) {
    on = !!on;
    thinkingEl.hidden = !on;
    if (on) {
      // Keep the indicator under the newest message.
      conversationEl.appendChild(thinkingEl);
      hideWelcome();
    }
    setStatus(on ? 'busy' : 'ready');
    scrollToEnd();
  }

  function toolTitle(name) { return String(name).replace(/_/g, ' '); }

  // A result's JSON is read for its message, which becomes the card's line; the whole JSON
  // stays one click away. Plain text is the line itself.
  function summariseDetail(detail) {
    var parsed = null;
    if (/^\s*[\[{]/.test(detail)) { try { parsed = JSON.parse(detail); } catch (e) { parsed = null; } }
    if (!parsed || typeof parsed !== 'object') return { line: detail, json: null };
    var line = '';
    if (!Array.isArray(parsed)) {
      ['message', 'error', 'status', 'name'].some(function (key) {
        if (typeof parsed[key] === 'string' && parsed[key]) { line = parsed[key]; return true; }
        return false;
      });
    }
    if (!line) {
      var count = Array.isArray(parsed) ? parsed.length : Object.keys(parsed).length;
      line = Array.isArray(parsed) ? count + (count === 1 ? ' item' : ' items') : count + (count === 1 ? ' field' : ' fields');
    }
    return { line: line, json: JSON.stringify(parsed, null, 2) };
  }

  function addToolResult(name, success, detail) {
    name = String(name === undefined || name === null ? '' : name);
    detail = String(detail === undefined || detail === null ? '' : detail);
    success = !!success;
    var newest = newestMessage();
    if (newest && newest.classList.contains('assistant')) {
      var cards = newest.querySelectorAll('.tool-card');
      var lastCard = cards.length ? cards[cards.length - 1] : null;
      // Only the very same result repeats; a different outcome keeps a card of its own.
      if (lastCard && lastCard._toolName === name && lastCard._success === success && lastCard._detail === detail) {
        lastCard._count += 1;
        lastCard.querySelector('.tool-count').textContent = ' (\u00d7' + lastCard._count + ')';
        scrollToEnd();
        return;
      }
    }
    var card = el('div', 'tool-card ' + (success ? 'ok' : 'fail'));
    card._toolName = name;
    card._success = success;
    card._detail = detail;
    card._count = 1;
    var icon = el('div', 'tool-icon');
    icon.appendChild(svgIcon(success ? 'M5 12.5l4.5 4.5L19 7.5' : 'M7 7l10 10M17 7L7 17'));
    var textBox = el('div', 'tool-text');
    var title = el('div', 'tool-title');
    title.appendChild(el('span', 'tool-name', toolTitle(name)));
    title.appendChild(el('span', 'tool-count', ''));
    textBox.appendChild(title);
    var summary = summariseDetail(detail);
    textBox.appendChild(el('div', 'tool-detail', summary.line));
    if (summary.json) {
      var more = el('details', 'tool-json');
      more.appendChild(el('summary', null, 'Details'));
      more.appendChild(el('pre', null, summary.json));
      textBox.appendChild(more);
    }
    card.appendChild(icon);
    card.appendChild(textBox);
    assistantBody().appendChild(card);
    scrollToEnd();
  }

  // Only web and image-data addresses are shown or opened: a script address from a
  // service reply must never run in the palette.
  function safeAddress(url, allowImageData) {
    url = String(url === undefined || url === null ? '' : url).trim();
    if (/^https?:\/\//i.test(url)) return url;
    if (allowImageData && /^data:image\/(png|jpeg|gif|webp);base64,[A-Za-z0-9+\/=]+$/i.test(url)) return url;
    return null;
  }

  // Browsers refuse to open an inline (data:) image as a window, so that one is saved instead.
  function openDownload(address) {
    if (!/^data:/i.test(address)) { window.open(address, '_blank', 'noopener'); return; }
    var link = el('a');
    link.href = address;
    link.download = 'render.' + (/^data:image\/(\w+)/i.exec(address)[1].toLowerCase().replace('jpeg', 'jpg'));
    document.body.appendChild(link);
    link.click();
    link.remove();
  }

  // label names the picture (a plan-recognition overlay, say); a render's when not given.
  function addRenderPreview(imageUrl, downloadUrl, label) {
    label = label ? String(label) : 'Render preview';
    var render = label === 'Render preview';
    var image = safeAddress(imageUrl, true);
    var download = safeAddress(downloadUrl, true);
    var body = createMessage('assistant').querySelector('.message-body');
    if (!image) {
      var refused = el('div', 'bubble warning', '\u26a0 The ' + label.toLowerCase() + ' has an address that cannot be shown.');
      body.appendChild(refused);
      scrollToEnd();
      return;
    }
    var card = el('div', 'render-card');
    var img = el('img');
    img.alt = label;
    img.src = image;
    img.addEventListener('load', scrollToEnd);
    card.appendChild(img);
    var bar = el('div', 'render-bar');
    bar.appendChild(el('span', 'render-label', label));
    var button = el('button', 'secondary-button', render ? 'Download render' : 'Download');
    button.type = 'button';
    if (download) button.addEventListener('click', function () { openDownload(download); });
    else button.disabled = true;
    bar.appendChild(button);
    card.appendChild(bar);
    body.appendChild(card);
    scrollToEnd();
  }

  // The whole conversation as the add-on holds it, replacing what the page shows: given to a
  // page that has (re)loaded, and to every page when the conversation is cleared.
  function showConversation(raw) {
    var data;
    try { data = JSON.parse(String(raw)); } catch (e) { return; }
    if (!data || typeof data !== 'object') return;
    if (data.page && data.page !== PAGE_ID) return;
    messagesEl.textContent = '';
    (Array.isArray(data.entries) ? data.entries : []).forEach(function (entry) {
      if (!entry || typeof entry !== 'object') return;
      if (entry.kind === 'user') {
        var files = (Array.isArray(entry.files) ? entry.files : []).map(function (file) {
          file = file || {};
          return { name: String(file.name || 'attachment'), mediaType: String(file.media_type || ''), data: String(file.data || '') };
        });
        addUserMessage(String(entry.text || ''), files, entry.unsent === true);
      } else if (entry.kind === 'assistant') {
        addAssistantMessage(entry.text);
      } else if (entry.kind === 'tool') {
        addToolResult(entry.name, entry.success, entry.detail);
      } else if (entry.kind === 'preview') {
        addRenderPreview(entry.image, entry.download, entry.label);
      }
    });
    welcomeEl.hidden = messagesEl.childElementCount > 0;
    thinkingEl.hidden = !data.busy;
    if (data.busy) conversationEl.appendChild(thinkingEl);
    if (bridgeReady) setStatus(data.busy ? 'busy' : 'ready');
    scrollToEnd();
  }

  window.QuillmereUI = Object.freeze({
    addAssistantMessage: addAssistantMessage,
    setThinking: setThinking,
    addRenderPreview: addRenderPreview,
    addToolResult: addToolResult,
    showConversation: showConversation,
    messageNotSent: messageNotSent
  });

  // ---- status ----------------------------------------------------------------------

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

  // The service a message goes to follows the model's name, as the add-on chooses it.
  function chosenProvider() {
    var model = String(settings.model || '').toLowerCase();
    if (!model) return settings.provider === 'openai' ? 'openai' : 'anthropic';
    return /^(gpt-|chatgpt-|ft:gpt-|o\d)/.test(model) ? 'openai' : 'anthropic';
  }

  function hasKeyForProvider() {
    return chosenProvider() === 'openai' ? !!settings.openaiApiKey : !!settings.anthropicApiKey;
  }

  // ---- composer --------------------------------------------------------------------

  function updateSendState() {
    sendButton.disabled = !(inputEl.value.trim() || pendingFiles.length) || !bridgeReady;
  }

  function autoGrow() {
    inputEl.style.height = 'auto';
    inputEl.style.height = Math.min(inputEl.scrollHeight, 180) + 'px';
  }

  function mediaTypeOf(file) {
    var ext = (file.name.split('.').pop() || '').toLowerCase();
    var byName = ACCEPTED_TYPES[ext];
    var declared = (file.type || '').toLowerCase();
    for (var key in ACCEPTED_TYPES) { if (ACCEPTED_TYPES[key] === declared) return declared; }
    return byName || null;
  }

  function readAsBase64(file) {
    return new Promise(function (resolve, reject) {
      var reader = new FileReader();
      reader.onload = function () {
        var result = String(reader.result);
        resolve(result.slice(result.indexOf(',') + 1));
      };
      reader.onerror = function () { reject(reader.error || new Error('Cannot read ' + file.name)); };
      reader.readAsDataURL(file);
    });
  }

  function megabytes(bytes) { return (Math.round(bytes / MB * 100) / 100) + ' MB'; }

  function decodedSize(base64) {
    var padding = /==$/.test(base64) ? 2 : /=$/.test(base64) ? 1 : 0;
    return Math.floor(base64.length / 4) * 3 - padding;
  }

  // Why file cannot go to the chosen service as it is, or '' when it can.
  function overLimit(file) {
    var limits = ATTACHMENT_LIMITS[chosenProvider()];
    var isDocument = file.mediaType === 'application/pdf';
    if (!isDocument && !MODEL_READS_IMAGE[file.mediaType]) return '';
    var limit = isDocument ? limits.document : limits.image;
    if (decodedSize(file.data) <= limit) return '';
    return file.name + ' is ' + megabytes(decodedSize(file.data)) + '; ' + limits.name + ' takes ' +
      (isDocument ? 'PDF files' : 'images') + ' of at most ' + megabytes(limit) + '.';
  }

  function loadImage(file) {
    return new Promise(function (resolve, reject) {
      var img = new Image();
      img.onload = function () { resolve(img); };
      img.onerror = function () { reject(new Error('Cannot read ' + file.name)); };
      img.src = 'data:' + file.mediaType + ';base64,' + file.data;
    });
  }

  // An image too large for the chosen service, re-encoded as JPEG at shrinking sizes until it
  // fits; null when even a small one does not.
  async function scaledToFit(file) {
    var img = await loadImage(file);
    var limit = ATTACHMENT_LIMITS[chosenProvider()].image;
    var canvas = document.createElement('canvas');
    for (var scale = 1; scale > 0.05; scale *= 0.75) {
      canvas.width = Math.max(1, Math.round(img.naturalWidth * scale));
      canvas.height = Math.max(1, Math.round(img.naturalHeight * scale));
      var context = canvas.getContext('2d');
      context.fillStyle = '#fff';  // a transparent plan keeps a white ground, not a black one
      context.fillRect(0, 0, canvas.width, canvas.height);
      context.drawImage(img, 0, 0, canvas.width, canvas.height);
      var url = canvas.toDataURL('image/jpeg', 0.85);
      var data = url.slice(url.indexOf(',') + 1);
      if (decodedSize(data) <= limit) {
        return { name: file.name.replace(/\.[^.]*$/, '') + '.jpg', mediaType: 'image/jpeg', data: data };
      }
    }
    return null;
  }

  // The file as it can be sent to the chosen service, or null (the user is told why).
  async function fitForSending(file) {
    var problem = overLimit(file);
    if (!problem) return file;
    if (file.mediaType !== 'application/pdf') {
      try {
        var scaled = await scaledToFit(file);
        if (scaled) { toast(file.name + ' was scaled down to ' + megabytes(decodedSize(scaled.data)) + ' to fit.'); return scaled; }
      } catch (e) { /* refused below */ }
    }
    toast(problem);
    return null;
  }

  async function addFiles(fileList) {
    // The input is cleared as soon as the files are taken, so work on a copy of its list.
    var files = Array.prototype.slice.call(fileList || []);
    for (var i = 0; i < files.length; i++) {
      var file = files[i];
      var mediaType = mediaTypeOf(file);
      if (!mediaType) { toast(file.name + ': only PNG, JPEG, TIFF and PDF files can be attached.'); continue; }
      if (!MODEL_READS_IMAGE[mediaType] && file.size > MAX_UNSCALED_BYTES) {
        toast(file.name + ' is ' + megabytes(file.size) + '; ' + (mediaType === 'application/pdf' ? 'PDF' : 'TIFF') +
          ' files of at most ' + megabytes(MAX_UNSCALED_BYTES) + ' can be attached.');
        continue;
      }
      try {
        var fitting = await fitForSending({ name: file.name, mediaType: mediaType, data: await readAsBase64(file) });
        if (fitting) pendingFiles.push(fitting);
      } catch (e) { toast(String(e.message || e)); }
    }
    renderAttachments();
    updateSendState();
  }

  // A thumbnail when the image data is at hand (a large one replayed by the add-on comes
  // without), otherwise a badge naming the kind of file.
  function previewNode(file, className) {
    if ((file.mediaType === 'image/png' || file.mediaType === 'image/jpeg') && file.data) {
      var img = el('img', className);
      img.alt = '';
      img.src = 'data:' + file.mediaType + ';base64,' + file.data;
      return img;
    }
    var badge = { 'application/pdf': 'PDF', 'image/tiff': 'TIFF', 'image/png': 'PNG', 'image/jpeg': 'JPEG' };
    return el('div', 'file-badge', badge[file.mediaType] || 'FILE');
  }

  function renderAttachments() {
    attachmentsEl.textContent = '';
    attachmentsEl.hidden = pendingFiles.length === 0;
    pendingFiles.forEach(function (file, index) {
      var chip = el('div', 'chip');
      chip.appendChild(previewNode(file));
      chip.appendChild(el('span', 'chip-name', file.name));
      var remove = el('button', 'chip-remove', '\u00d7');
      remove.type = 'button';
      remove.title = 'Remove';
      remove.addEventListener('click', function () { pendingFiles.splice(index, 1); renderAttachments(); updateSendState(); });
      chip.appendChild(remove);
      attachmentsEl.appendChild(chip);
    });
  }

  function addUserMessage(text, files, unsent) {
    var message = createMessage('user');
    message._text = text;
    var body = message.querySelector('.message-body');
    if (files.length) {
      var row = el('div', 'user-files');
      files.forEach(function (file) {
        var item = el('div', 'user-file');
        item.appendChild(previewNode(file));
        item.appendChild(el('span', null, file.name));
        row.appendChild(item);
      });
      body.appendChild(row);
    }
    if (text) {
      var bubble = el('div', 'bubble');
      appendFormatted(bubble, text);
      body.appendChild(bubble);
    }
    if (unsent) markNotSent(message);
    scrollToEnd();
  }

  function markNotSent(message) {
    message.classList.add('unsent');
    message.querySelector('.message-body').appendChild(el('div', 'unsent-note', 'Not sent'));
  }

  // A message that failed before the model answered it has left the conversation: its bubble
  // says so, and its text and attachments go back into the input box to be sent again.
  function messageNotSent(raw) {
    var data;
    try { data = JSON.parse(String(raw)); } catch (e) { return; }
    if (!data || typeof data !== 'object') return;
    var text = String(data.text || '');
    var users = messagesEl.querySelectorAll('.message.user:not(.unsent)');
    for (var i = users.length - 1; i >= 0; i--) {
      if (users[i]._text === text) { markNotSent(users[i]); break; }
    }
    if (text) inputEl.value = inputEl.value ? text + '\n' + inputEl.value : text;
    var files = (Array.isArray(data.files) ? data.files : []).map(function (file) {
      file = file || {};
      return { name: String(file.name || 'attachment'), mediaType: String(file.media_type || ''), data: String(file.data || '') };
    });
    pendingFiles = files.concat(pendingFiles);
    renderAttachments();
    autoGrow();
    updateSendState();
    inputEl.focus();
  }

  async function send() {
    var text = inputEl.value.trim();
    var files = pendingFiles.slice();
    if (!text && !files.length) return;
    // The model may have changed since the files were attached.
    for (var i = 0; i < files.length; i++) {
      var problem = overLimit(files[i]);
      if (problem) { toast(problem + ' Remove it or choose another model.'); return; }
    }
    inputEl.value = '';
    pendingFiles = [];
    renderAttachments();
    autoGrow();
    updateSendState();
    addUserMessage(text, files);
    try {
      if (files.length) {
        var blocks = files.map(function (file) {
          return {
            type: file.mediaType === 'application/pdf' ? 'document' : 'image',
            name: file.name,
            source: { type: 'base64', media_type: file.mediaType, data: file.data }
          };
        });
        if (text) blocks.push({ type: 'text', text: text });
        await callBridge('sendMessageWithAttachments', JSON.stringify(blocks));
      } else {
        await callBridge('sendMessage', text);
      }
    } catch (e) {
      addAssistantMessage('\u26a0 ' + (e && e.message ? e.message : 'The message could not be sent.'));
    }
  }

  inputEl.addEventListener('input', function () { autoGrow(); updateSendState(); });
  inputEl.addEventListener('keydown', function (event) {
    if (event.key === 'Enter' && !event.shiftKey && !event.isComposing) {
      event.preventDefault();
      if (!sendButton.disabled) send();
    }
  });
  sendButton.addEventListener('click', send);
  $('attach-button').addEventListener('click', function () { fileInput.click(); });
  fileInput.addEventListener('change', function () { addFiles(fileInput.files); fileInput.value = ''; });
  ['dragenter', 'dragover'].forEach(function (type) {
    composerEl.addEventListener(type, function (event) { event.preventDefault(); composerEl.classList.add('dragging'); });
  });
  ['dragleave', 'drop'].forEach(function (type) {
    composerEl.addEventListener(type, function (event) { event.preventDefault(); composerEl.classList.remove('dragging'); });
  });
  composerEl.addEventListener('drop', function (event) {
    if (event.dataTransfer && event.dataTransfer.files) addFiles(event.dataTransfer.files);
  });
  document.querySelectorAll('.suggestion').forEach(function (button) {
    button.addEventListener('click', function () {
      inputEl.value = button.getAttribute('data-prompt');
      autoGrow();
      updateSendState();
      inputEl.focus();
    });
  });

  // ---- settings --------------------------------------------------------------------

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
    $('setting-anthropic-key').value = settings.anthropicApiKey || '';
    $('setting-openai-key').value = settings.openaiApiKey || '';
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

  async function saveSettings() {
    var next = {
      provider: $('setting-provider').value,
      model: $('setting-model').value.trim(),
      anthropicApiKey: $('setting-anthropic-key').value.trim(),
      openaiApiKey: $('setting-openai-key').value.trim(),
      darkMode: $('setting-dark-mode').checked
    };
    if (!next.model) next.model = MODELS[next.provider][0];
    var state = $('settings-state');
    state.classList.remove('error');
    state.textContent = 'Saving…';
    try {
      var answer = await callBridge('saveSettings', JSON.stringify(next));
      if (answer === false) throw new Error('The settings could not be saved.');
      Object.assign(settings, next);
      showSettings();
      setStatus(thinkingEl.hidden ? 'ready' : 'busy');
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

  // ---- start -----------------------------------------------------------------------

  showSettings();
  setStatus('connecting');
  firstBridgeCall('getSettings').then(function (raw) {
    bridgeReady = true;
    applySettings(raw);
    setStatus('ready');
    updateSendState();
    inputEl.focus();
    // A reloaded page (or a second one) shows the conversation the add-on still holds.
    callBridge('replayConversation', PAGE_ID).catch(function () {});
  }, function () {
    setStatus('offline');
  });
})();
