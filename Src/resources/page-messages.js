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
// Whether the turn running has shown a reply (a text or a tool's card), as the add-on says: its
// message stays in the conversation should the host stop before the turn ends.
var runningTurnReplied = false;

function noteTurnReplied() { runningTurnReplied = true; }

function setThinking(on) {
  on = !!on;
  runningTurnReplied = false;  // a turn starts or ends
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
  var boxes = [];
  (Array.isArray(data.entries) ? data.entries : []).forEach(function (entry) {
    if (!entry || typeof entry !== 'object') return;
    if (entry.kind === 'user') {
      addUserMessage(String(entry.text || ''), filesFrom(entry.files),
        entry.unsent === true ? 'unsent' : entry.unanswered === true ? 'unanswered' : null);
      if (entry.box && typeof entry.box === 'object') boxes.push(entry.box);
    } else if (entry.kind === 'assistant') {
      addAssistantMessage(entry.text);
    } else if (entry.kind === 'tool') {
      addToolResult(entry.name, entry.success, entry.detail);
    } else if (entry.kind === 'preview') {
      addRenderPreview(entry.image, entry.download, entry.label);
    }
  });
  // What no reply came for is back in the box, in the order it was sent.
  boxes.reverse().forEach(function (box) { returnToComposer(null, String(box.text || ''), filesFrom(box.files)); });
  welcomeEl.hidden = messagesEl.childElementCount > 0;
  runningTurnReplied = data.busy === true && data.replied === true;
  thinkingEl.hidden = !data.busy;
  if (data.busy) conversationEl.appendChild(thinkingEl);
  if (bridgeReady) setStatus(data.busy ? 'busy' : 'ready');
  scrollToEnd();
}

// mark: 'unsent' or 'unanswered' for a message no reply came for.
function addUserMessage(text, files, mark) {
  var message = createMessage('user');
  message._text = text;
  message._files = files;
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
  if (mark) markMessage(message, mark);
  scrollToEnd();
  return message;
}

// A message no reply came for says so: 'unsent' ("Not sent") or 'unanswered' ("Not answered").
// One taken for lost with the link that then turns out never to have left says so instead.
function markMessage(message, mark) {
  var earlier = message.querySelector('.unsent-note');
  if (earlier) earlier.remove();
  message.classList.remove('unsent', 'unanswered');
  message.classList.add(mark);
  message.querySelector('.message-body').appendChild(el('div', 'unsent-note', mark === 'unsent' ? 'Not sent' : 'Not answered'));
}

// The link to the add-on was lost: no answer will come to the newest messages it still had (at
// least one while a turn ran, as on a page given the conversation during one). They go back
// into the box as a message that was not sent does (in the order they were sent), with the files
// this page still holds whole. The oldest of them is the turn that ran: one that has shown a
// reply stays where it is, and when it was the only one the chat says that it stopped part way,
// as the add-on keeps the conversation.
function markUnanswered() {
  var users = messagesEl.querySelectorAll('.message.user:not(.unsent)');
  var lost = Math.min(users.length, Math.max(awaitingAnswer, thinkingEl.hidden ? 0 : 1));
  var partWay = lost > 0 && runningTurnReplied ? 1 : 0;
  awaitingAnswer = 0;
  runningTurnReplied = false;
  for (var i = users.length - 1; i >= users.length - lost + partWay; i--) {
    if (users[i].classList.contains('unanswered')) continue;
    var whole = (users[i]._files || []).filter(function (file) { return file.data; });
    returnToComposer(users[i], users[i]._text, whole, 'unanswered');
  }
  var newest = newestMessage();
  var told = newest && newest.classList.contains('assistant') && newest.textContent === STOPPED_PART_WAY;
  if (partWay && lost === 1 && !told) addAssistantMessage(STOPPED_PART_WAY);
}

// A message that did not reach the model, or that the model never answered, has left the
// conversation: its bubble says so, and its text and attachments go back into the input box
// (before what is typed there since) to be sent again.
function returnToComposer(message, text, files, mark) {
  if (message) markMessage(message, mark || 'unsent');
  if (text) inputEl.value = inputEl.value ? text + '\n' + inputEl.value : text;
  pendingFiles = files.concat(pendingFiles);
  renderAttachments();
  autoGrow();
  updateSendState();
  inputEl.focus();
}

// The add-on's word that a message failed before the model answered it ({"unanswered": true}:
// the host stopped while the model was being asked).
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
  var mark = data.unanswered === true ? 'unanswered' : 'unsent';
  // Taken for unanswered when the link was lost, it is in the box already.
  if (message && message.classList.contains('unanswered')) markMessage(message, mark);
  else returnToComposer(message, text, filesFrom(data.files), mark);
}
