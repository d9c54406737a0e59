// The conversation: user and assistant messages, the thinking indicator, a whole conversation
// shown again, and messages that did not go out.

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

function addAssistantMessage(text) {
  text = String(text === undefined || text === null ? '' : text);
  var body = createMessage('assistant').querySelector('.message-body');
  var bubble = el('div', 'bubble');
  if (text.indexOf('\u26a0') === 0) bubble.classList.add('warning');
  appendFormatted(bubble, text);
  body.appendChild(bubble);
  scrollToEnd();
}

// How many of the newest messages this page sent no turn has ended for yet: the add-on runs one
// turn per message, in order, and says when each ends.
var awaitingAnswer = 0;

function setThinking(on) {
  on = !!on;
  if (!on) awaitingAnswer = Math.max(0, awaitingAnswer - 1);
  thinkingEl.hidden = !on;
  if (on) {
    // Keep the indicator under the newest message.
    conversationEl.appendChild(thinkingEl);
    hideWelcome();
  }
  setStatus(on ? 'busy' : 'ready');
  scrollToEnd();
}

// Files as the add-on describes them ({ name, media_type, data }), as the page holds them.
function filesFrom(list) {
  return (Array.isArray(list) ? list : []).map(function (file) {
    file = file || {};
    return { name: String(file.name || 'attachment'), mediaType: String(file.media_type || ''), data: String(file.data || '') };
  });
}

// The whole conversation as the add-on holds it, replacing what the page shows: given to a
// page that has (re)loaded, and to every page when the conversation is cleared.
function showConversation(raw) {
  var data;
  try { data = JSON.parse(String(raw)); } catch (e) { return; }
  if (!data || typeof data !== 'object') return;
  if (data.page && data.page !== PAGE_ID) return;
  messagesEl.textContent = '';
  // Given to every page, the conversation was cleared: no answer is owed. Given to this page
  // alone (as it starts), it may already hold messages this page sent that are still running.
  if (!data.page) awaitingAnswer = 0;
  (Array.isArray(data.entries) ? data.entries : []).forEach(function (entry) {
    if (!entry || typeof entry !== 'object') return;
    if (entry.kind === 'user') {
      addUserMessage(String(entry.text || ''), filesFrom(entry.files), entry.unsent === true);
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
  return message;
}

// A message taken for lost with the link that then turns out never to have left says so instead.
function markNotSent(message) {
  var earlier = message.querySelector('.unsent-note');
  if (earlier) earlier.remove();
  message.classList.remove('unanswered');
  message.classList.add('unsent');
  message.querySelector('.message-body').appendChild(el('div', 'unsent-note', 'Not sent'));
}

// The link to the add-on was lost: no answer will come to the newest messages it still had (at
// least one while a turn ran, as on a page given the conversation during one).
function markUnanswered() {
  var users = messagesEl.querySelectorAll('.message.user:not(.unsent)');
  var lost = Math.min(users.length, Math.max(awaitingAnswer, thinkingEl.hidden ? 0 : 1));
  awaitingAnswer = 0;
  for (var i = users.length - lost; i < users.length; i++) {
    if (users[i].classList.contains('unanswered')) continue;
    users[i].classList.add('unanswered');
    users[i].querySelector('.message-body').appendChild(el('div', 'unsent-note', 'Not answered'));
  }
}

// A message that did not reach the model has left the conversation: its bubble says so, and
// its text and attachments go back into the input box (before what is typed there since) to be
// sent again.
function returnToComposer(message, text, files) {
  if (message) markNotSent(message);
  if (text) inputEl.value = inputEl.value ? text + '\n' + inputEl.value : text;
  pendingFiles = files.concat(pendingFiles);
  renderAttachments();
  autoGrow();
  updateSendState();
  inputEl.focus();
}

// The add-on's word that a message failed before the model answered it.
function messageNotSent(raw) {
  var data;
  try { data = JSON.parse(String(raw)); } catch (e) { return; }
  if (!data || typeof data !== 'object') return;
  var text = String(data.text || '');
  var users = messagesEl.querySelectorAll('.message.user:not(.unsent)');
  var message = null;
  for (var i = users.length - 1; i >= 0 && !message; i--) {
    if (users[i]._text === text) message = users[i];
  }
  returnToComposer(message, text, filesFrom(data.files));
}
