// Cards under an assistant message: tool results and the pictures a service sends back (render
// previews, plan overlays).

function toolTitle(name) { return String(name).replace(/_/g, ' '); }

// ---- what a tool's result says, in one line ----------------------------------------
// The card's line says what a JSON result holds; the whole JSON stays one click away, and
// plain text is the line itself. A result that carries an error (`error` or a `..._error` text,
// a failed `status`) or found none of what it was asked for is a warning naming it. Otherwise
// the line is the result's message; else its lists counted by their names ("12 elements, 1–12
// of 40") with its `total_...` and `..._count` numbers; else its `counts` ("2 walls"); else its
// status; else its first few values.

function keyWords(key) { return String(key).replace(/_/g, ' ').trim(); }

function counted(n, noun) {
  if (n === 1) noun = noun.replace(/ies$/, 'y').replace(/([^s])s$/, '$1');
  return n + ' ' + noun;
}

// Lists of things, not coordinates: an array holding anything but numbers (or nothing).
function isList(value) {
  return Array.isArray(value) && (value.length === 0 || !value.every(function (item) { return typeof item === 'number'; }));
}

function shortValue(value, most) {
  if (typeof value === 'number' && !Number.isInteger(value)) return String(Number(value.toFixed(3)));
  var text = String(value);
  most = most || 60;
  return text.length > most ? text.slice(0, most - 1) + '\u2026' : text;
}

// The filled lists of result (and of its only item, when it holds one list of one record), and
// its numbers named as counts, as "N things".
function countParts(result) {
  var parts = [];
  var filled = Object.keys(result).filter(function (key) { return isList(result[key]) && result[key].length > 0; });
  filled.forEach(function (key) { parts.push(counted(result[key].length, keyWords(key))); });
  var only = filled.length === 1 && result[filled[0]].length === 1 ? result[filled[0]][0] : null;
  if (only && typeof only === 'object' && !Array.isArray(only)) {
    Object.keys(only).forEach(function (key) {
      if (isList(only[key]) && only[key].length) parts.push(counted(only[key].length, keyWords(key)));
    });
  }
  Object.keys(result).forEach(function (key) {
    var named = /^total_(.+)$/.exec(key) || /^(.+)_count$/.exec(key);
    if (!named || typeof result[key] !== 'number') return;
    var noun = keyWords(named[1]);
    parts.push(result[key] === 1 || /(s|ed)$/.test(noun) ? counted(result[key], noun) : result[key] + ' ' + noun + 's');
  });
  // A page of a longer listing says which part it is.
  var shown = filled.length ? result[filled[0]].length : 0;
  if (parts.length && typeof result.total === 'number' && typeof result.offset === 'number' &&
      (result.offset > 0 || shown < result.total)) {
    parts[0] += ', ' + (result.offset + 1) + '\u2013' + (result.offset + shown) + ' of ' + result.total;
  }
  return parts;
}

function describeResult(name, result) {
  if (Array.isArray(result)) {
    var noun = keyWords(String(name).replace(/^[a-z]+_/, '')) || 'items';
    return { line: result.length ? counted(result.length, noun) : 'no ' + noun, warning: false };
  }
  var keys = Object.keys(result);
  // `error` first, then the `..._error` texts by name: the order of the keys as sent is not
  // relied on.
  var errorKeys = keys.filter(function (key) { return /_error$/.test(key); }).sort();
  if (keys.indexOf('error') >= 0) errorKeys.unshift('error');
  var error = errorKeys.map(function (key) {
    var value = result[key];
    if (value && typeof value === 'object') return typeof value.message === 'string' ? value.message : JSON.stringify(value);
    return typeof value === 'string' ? value : '';
  }).filter(Boolean)[0];
  if (!error && /^(failed|error)$/i.test(result.status)) error = result.status;
  if (error) return { line: shortValue(error, 300), warning: true };
  var missing = isList(result.not_found) ? result.not_found : [];
  var foundNothing = keys.every(function (key) { return key === 'not_found' || !isList(result[key]) || !result[key].length; });
  if (missing.length && foundNothing) {
    var named = missing.slice(0, 3).map(function (item) { return shortValue(item); }).join(', ');
    return { line: 'Not found: ' + named + (missing.length > 3 ? ' and ' + (missing.length - 3) + ' more' : ''), warning: true };
  }
  if (typeof result.message === 'string' && result.message) return { line: result.message, warning: false };
  var parts = countParts(result);
  var lists = keys.filter(function (key) { return isList(result[key]); });
  if (!parts.length) {
    var map = keys.filter(function (key) { return /(^|_)counts$|^created$/.test(key); }).map(function (key) {
      return result[key];
    }).filter(function (value) {
      return value && typeof value === 'object' && Object.keys(value).every(function (k) { return typeof value[k] === 'number'; });
    })[0];
    if (map) parts = Object.keys(map).filter(function (k) { return map[k]; }).map(function (k) { return counted(map[k], keyWords(k)); });
  }
  if (!parts.length && lists.length) parts.push('no ' + keyWords(lists[0]));
  if (!parts.length && typeof result.status === 'string' && result.status) parts.push(result.status);
  if (!parts.length) {
    parts = keys.filter(function (key) {
      var value = result[key];
      return typeof value === 'number' || typeof value === 'boolean' || (typeof value === 'string' && value);
    }).slice(0, 3).map(function (key) { return keyWords(key) + ': ' + shortValue(result[key]); });
  }
  return { line: parts.join(', '), warning: false };
}

// A JSON result may be followed by notes, each "[...]" on a line of its own, saying what it
// leaves out and why. Split off, they leave the JSON to be read as any other; a note that some
// of what was asked for was not read in time makes the card a warning naming it.
function splitNotes(detail) {
  var notes = [], text = detail, note;
  while ((note = /\n\[([^\n]*)\]\s*$/.exec(text))) {
    notes.unshift(note[1]);
    text = text.slice(0, note.index);
  }
  return { text: text, notes: notes };
}

function summariseDetail(name, detail) {
  var parsed = null, split = splitNotes(detail);
  if (/^\s*[\[{]/.test(split.text)) { try { parsed = JSON.parse(split.text); } catch (e) { parsed = null; } }
  if (!parsed || typeof parsed !== 'object') return { line: detail, json: null, warning: false };
  var described = describeResult(name, parsed);
  var late = split.notes.filter(function (n) { return /\bnot read in time\b/.test(n); })[0];
  if (late && !described.warning) described = { line: shortValue(late, 300), warning: true };
  var json = [JSON.stringify(parsed, null, 2)].concat(split.notes.map(function (n) { return '[' + n + ']'; }));
  return { line: described.line || 'No details', json: json.join('\n'), warning: described.warning };
}

// A call like the last card's (same tool, same outcome) counts on that card rather than making
// a new one, as long as the newest message is still that assistant message. Calls that worked
// read "N completed" and show the newest result; a warning or failure counts up only when its
// detail is the very same, so that each distinct cause stays in sight.
function addToolResult(name, success, detail) {
  name = String(name === undefined || name === null ? '' : name);
  detail = String(detail === undefined || detail === null ? '' : detail);
  success = !!success;
  var summary = summariseDetail(name, detail);
  var look = !success ? 'fail' : summary.warning ? 'warn' : 'ok';
  var newest = newestMessage();
  if (newest && newest.classList.contains('assistant')) {
    var cards = newest.querySelectorAll('.tool-card');
    var lastCard = cards.length ? cards[cards.length - 1] : null;
    if (lastCard && lastCard._toolName === name && lastCard._look === look && (look === 'ok' || lastCard._detail === detail)) {
      lastCard._count += 1;
      lastCard._detail = detail;
      lastCard.querySelector('.tool-count').textContent = ' (\u00d7' + lastCard._count + ')';
      if (look === 'ok') {
        lastCard.querySelector('.tool-detail').textContent = lastCard._count + ' completed';
        showJson(lastCard.querySelector('.tool-text'), summary.json);
      }
      scrollToEnd();
      return;
    }
  }
  var card = el('div', 'tool-card ' + look);
  card._toolName = name;
  card._look = look;
  card._detail = detail;
  card._count = 1;
  var icon = el('div', 'tool-icon');
  icon.appendChild(svgIcon({ ok: 'M5 12.5l4.5 4.5L19 7.5', warn: 'M12 6v7M12 17.5v.5', fail: 'M7 7l10 10M17 7L7 17' }[look]));
  var textBox = el('div', 'tool-text');
  var title = el('div', 'tool-title');
  title.appendChild(el('span', 'tool-name', toolTitle(name)));
  title.appendChild(el('span', 'tool-count', ''));
  textBox.appendChild(title);
  textBox.appendChild(el('div', 'tool-detail', summary.line));
  showJson(textBox, summary.json);
  card.appendChild(icon);
  card.appendChild(textBox);
  assistantBody().appendChild(card);
  scrollToEnd();
}

// The whole JSON result behind a disclosure under the card's line (none for plain text).
function showJson(textBox, json) {
  var more = textBox.querySelector('.tool-json');
  if (!json) {
    if (more) more.remove();
    return;
  }
  if (!more) {
    more = el('details', 'tool-json');
    more.appendChild(el('summary', null, 'Details'));
    more.appendChild(el('pre'));
    textBox.appendChild(more);
  }
  more.querySelector('pre').textContent = json;
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
