// What the add-on calls on the page, and the page's first steps: settings from the add-on, then
// the conversation it holds.

window.QuillmereUI = Object.freeze({
  addAssistantMessage: addAssistantMessage,
  setThinking: setThinking,
  addRenderPreview: addRenderPreview,
  addToolResult: addToolResult,
  showConversation: showConversation,
  messageNotSent: messageNotSent
});

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
