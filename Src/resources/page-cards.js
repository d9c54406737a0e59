// Cards under an assistant message: tool results and the pictures a service sends back (render
// previews, plan overlays).

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
