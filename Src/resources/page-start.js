// What the add-on calls on the page, and the page's first steps: settings and the sign-in from
// the add-on, then the conversation it holds.

window.QuillmereUI = Object.freeze({
  addAssistantMessage: addAssistantMessage,
  setThinking: setThinking,
  addRenderPreview: addRenderPreview,
  addToolResult: addToolResult,
  showConversation: showConversation,
  messageNotSent: messageNotSent,
  turnReplied: noteTurnReplied,
  setAuthState: function (json) { reportAuthState(json); },
  setAuthError: setAuthError
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
// The sign-in as the add-on holds it now; a stored one it still validates arrives as "checking"
// and its outcome later through setAuthState.
authCall(function () { return firstBridgeCall('checkAuth'); }).catch(function () {});
