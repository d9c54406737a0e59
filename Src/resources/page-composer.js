// The input box and its send button: sending a message with its attachments, and the ways
// text and files get into the box (typing, suggestions, the file picker, dropping).

function updateSendState() {
  sendButton.disabled = !(inputEl.value.trim() || pendingFiles.length) || !bridgeReady;
}

function autoGrow() {
  inputEl.style.height = 'auto';
  inputEl.style.height = Math.min(inputEl.scrollHeight, 180) + 'px';
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
  var message = addUserMessage(text, files);
  awaitingAnswer += 1;
  var taken;
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
      taken = await callBridge('sendMessageWithAttachments', JSON.stringify(blocks));
    } else {
      taken = await callBridge('sendMessage', text);
    }
  } catch (e) {
    taken = false;
    addAssistantMessage('\u26a0 ' + (unreachableError(e) ? 'The assistant cannot be reached, so the message was not sent.'
      : e && e.message ? e.message : 'The message could not be sent.'));
  }
  // Refused by the add-on (which says why) or never delivered: the message is not lost, but for
  // the files the add-on will never take ({"refused": [index, ...]}), which sending again would
  // only refuse again.
  if (taken === false || typeof taken === 'string') {
    var refused = refusedFiles(taken);
    awaitingAnswer = Math.max(0, awaitingAnswer - 1);
    returnToComposer(message, text, files.filter(function (file, index) { return refused.indexOf(index) < 0; }));
  }
}

// The indexes of the files the add-on named in its refusal; none when it gave no list.
function refusedFiles(answer) {
  if (typeof answer !== 'string') return [];
  try {
    var list = JSON.parse(answer).refused;
    return Array.isArray(list) ? list : [];
  } catch (e) { return []; }
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
