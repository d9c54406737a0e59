#include "resources/ChatPage.hpp"

const char* ChatPageStyle()
{
    return R"QPAGE(
:root {
  --bg: #f6f6f3;
  --surface: #ffffff;
  --surface-2: #f0f0ec;
  --border: #e3e2dc;
  --text: #1f2124;
  --muted: #6b6e73;
  --accent: #2f6f5e;
  --accent-2: #3f8f78;
  --accent-soft: #e3efe9;
  --accent-text: #ffffff;
  --user-bubble: #2f6f5e;
  --user-text: #ffffff;
  --ok: #2f8a57;
  --ok-soft: #e6f3eb;
  --fail: #c2413b;
  --fail-soft: #fbeceb;
  --shadow: 0 1px 2px rgba(20, 22, 26, .06), 0 4px 16px rgba(20, 22, 26, .06);
  --radius: 14px;
  color-scheme: light;
}
html.dark {
  --bg: #141517;
  --surface: #1c1d20;
  --surface-2: #24262a;
  --border: #2e3035;
  --text: #e9e9e6;
  --muted: #9a9ca1;
  --accent: #4fae92;
  --accent-2: #66c2a6;
  --accent-soft: #1f3a32;
  --accent-text: #0e1a16;
  --user-bubble: #2c5f51;
  --user-text: #f1f7f4;
  --ok: #5cc48a;
  --ok-soft: #1c3327;
  --fail: #ef6b63;
  --fail-soft: #3a2221;
  --shadow: 0 1px 2px rgba(0, 0, 0, .3), 0 6px 20px rgba(0, 0, 0, .25);
  color-scheme: dark;
}
* { box-sizing: border-box; }
html, body { height: 100%; margin: 0; }
body {
  background: var(--bg);
  color: var(--text);
  font: 14px/1.5 -apple-system, BlinkMacSystemFont, "Segoe UI", "Inter", "Helvetica Neue", Arial, sans-serif;
  -webkit-font-smoothing: antialiased;
}
button { font: inherit; color: inherit; }
[hidden] { display: none !important; }

.app { display: flex; flex-direction: column; height: 100vh; overflow: hidden; }

.topbar {
  display: flex; align-items: center; justify-content: space-between;
  padding: 10px 14px; background: var(--surface); border-bottom: 1px solid var(--border);
}
.brand { display: flex; align-items: center; gap: 10px; min-width: 0; }
.brand-mark {
  width: 32px; height: 32px; border-radius: 9px; display: grid; place-items: center;
  color: #fff; background: linear-gradient(140deg, var(--accent-2), var(--accent));
  box-shadow: inset 0 -1px 0 rgba(0,0,0,.15);
}
.brand-name { font-weight: 650; letter-spacing: .1px; }
.brand-sub { display: flex; align-items: center; gap: 6px; font-size: 12px; color: var(--muted); }
.status-dot { width: 7px; height: 7px; border-radius: 50%; background: #b9bbbf; }
.status-dot.ready { background: var(--ok); }
.status-dot.busy { background: #d99a2b; animation: pulse 1.2s ease-in-out infinite; }
.status-dot.offline { background: var(--fail); }
.topbar-actions { display: flex; gap: 4px; }
.icon-button {
  width: 32px; height: 32px; border: 0; border-radius: 8px; background: transparent;
  display: grid; place-items: center; color: var(--muted); cursor: pointer;
}
.icon-button:hover { background: var(--surface-2); color: var(--text); }
.icon-button:focus-visible, .send-button:focus-visible, .suggestion:focus-visible { outline: 2px solid var(--accent); outline-offset: 2px; }

.conversation { flex: 1; overflow-y: auto; padding: 18px 16px 8px; scroll-behavior: smooth; }

.welcome { max-width: 560px; margin: 6vh auto 0; text-align: center; animation: rise .35s ease-out; }
.welcome-mark {
  width: 56px; height: 56px; margin: 0 auto 14px; border-radius: 16px; display: grid; place-items: center;
  color: var(--accent); background: var(--accent-soft);
}
.welcome h1 { font-size: 21px; font-weight: 650; margin: 0 0 6px; letter-spacing: -.2px; }
.welcome p { color: var(--muted); margin: 0 auto 20px; max-width: 440px; }
.suggestions { display: grid; grid-template-columns: repeat(auto-fit, minmax(170px, 1fr)); gap: 8px; text-align: left; }
.suggestion {
  display: flex; flex-direction: column; gap: 2px; padding: 11px 13px; cursor: pointer; text-align: left;
  border: 1px solid var(--border); border-radius: 12px; background: var(--surface);
  transition: border-color .15s, transform .15s, box-shadow .15s;
}
.suggestion:hover { border-color: var(--accent); box-shadow: var(--shadow); transform: translateY(-1px); }
.suggestion-title { font-weight: 600; font-size: 13px; }
.suggestion-text { color: var(--muted); font-size: 12px; }

.messages { display: flex; flex-direction: column; gap: 14px; max-width: 760px; margin: 0 auto; }
.message { display: flex; gap: 10px; animation: rise .22s ease-out; }
.message.user { justify-content: flex-end; }
.avatar {
  flex: none; width: 26px; height: 26px; border-radius: 8px; display: grid; place-items: center; margin-top: 2px;
}
.assistant-avatar { color: #fff; background: linear-gradient(140deg, var(--accent-2), var(--accent)); }
.message-body { display: flex; flex-direction: column; gap: 8px; min-width: 0; max-width: calc(100% - 36px); }
.message.user .message-body { align-items: flex-end; max-width: 85%; }
.bubble { padding: 9px 13px; border-radius: var(--radius); white-space: pre-wrap; overflow-wrap: anywhere; }
.message.user .bubble { background: var(--user-bubble); color: var(--user-text); border-bottom-right-radius: 5px; }
.message.assistant .bubble { background: var(--surface); border: 1px solid var(--border); border-top-left-radius: 5px; box-shadow: var(--shadow); }
.bubble.warning { border-color: color-mix(in srgb, var(--fail) 40%, var(--border)); background: var(--fail-soft); }
.bubble code {
  font: 12.5px/1.4 ui-monospace, "SF Mono", Menlo, Consolas, monospace;
  background: var(--surface-2); padding: 1px 5px; border-radius: 5px;
}
.message.user .bubble code { background: rgba(255,255,255,.16); }
.user-files { display: flex; flex-wrap: wrap; gap: 6px; justify-content: flex-end; }
.user-file {
  display: flex; align-items: center; gap: 6px; padding: 4px 8px 4px 4px; border-radius: 9px;
  background: var(--surface); border: 1px solid var(--border); font-size: 12px; color: var(--muted);
}
.user-file img { width: 34px; height: 34px; object-fit: cover; border-radius: 6px; }

.tool-card {
  display: flex; align-items: flex-start; gap: 10px; padding: 9px 12px;
  background: var(--surface); border: 1px solid var(--border); border-radius: 11px; font-size: 13px;
}
.tool-icon { flex: none; width: 20px; height: 20px; border-radius: 50%; display: grid; place-items: center; margin-top: 1px; }
.tool-card.ok .tool-icon { background: var(--ok-soft); color: var(--ok); }
.tool-card.fail .tool-icon { background: var(--fail-soft); color: var(--fail); }
.tool-card.fail { border-color: color-mix(in srgb, var(--fail) 35%, var(--border)); }
.tool-text { min-width: 0; }
.tool-title { font-weight: 600; text-transform: capitalize; overflow-wrap: anywhere; }
.tool-count { color: var(--muted); font-weight: 500; text-transform: none; }
.tool-detail { color: var(--muted); font-size: 12.5px; white-space: pre-wrap; overflow-wrap: anywhere; max-height: 7.5em; overflow: hidden; }

.render-card { background: var(--surface); border: 1px solid var(--border); border-radius: var(--radius); overflow: hidden; box-shadow: var(--shadow); }
.render-card img { display: block; width: 100%; max-height: 420px; object-fit: contain; background: var(--surface-2); }
.render-bar { display: flex; align-items: center; justify-content: space-between; padding: 8px 10px 8px 13px; gap: 8px; }
.render-label { font-size: 12.5px; color: var(--muted); }
.secondary-button {
  border: 1px solid var(--border); background: var(--surface-2); border-radius: 8px; padding: 5px 11px;
  font-size: 12.5px; font-weight: 600; cursor: pointer;
}
.secondary-button:hover { border-color: var(--accent); color: var(--accent); }

.thinking { display: flex; gap: 10px; max-width: 760px; margin: 14px auto 0; animation: rise .2s ease-out; }
.thinking-bubble {
  display: flex; align-items: center; gap: 4px; padding: 9px 13px; border-radius: var(--radius);
  border-top-left-radius: 5px; background: var(--surface); border: 1px solid var(--border);
}
.thinking .dot { width: 6px; height: 6px; border-radius: 50%; background: var(--accent); opacity: .35; animation: blink 1.2s infinite; }
.thinking .dot:nth-child(2) { animation-delay: .15s; }
.thinking .dot:nth-child(3) { animation-delay: .3s; }
.thinking-label { margin-left: 6px; font-size: 12.5px; color: var(--muted); }

.composer-wrap { padding: 8px 16px 10px; background: linear-gradient(to top, var(--bg) 70%, transparent); }
.composer {
  max-width: 760px; margin: 0 auto; background: var(--surface); border: 1px solid var(--border);
  border-radius: 16px; box-shadow: var(--shadow); padding: 8px 8px 6px 12px; transition: border-color .15s;
}
.composer:focus-within { border-color: var(--accent); }
.composer.dragging { border-style: dashed; border-color: var(--accent); background: var(--accent-soft); }
.composer textarea {
  width: 100%; border: 0; outline: 0; resize: none; background: transparent; color: var(--text);
  font: inherit; line-height: 1.45; max-height: 180px; padding: 4px 2px;
}
.composer textarea::placeholder { color: var(--muted); }
.composer-bar { display: flex; align-items: center; justify-content: space-between; gap: 8px; }
.composer-left { display: flex; align-items: center; gap: 6px; min-width: 0; }
.composer-hint { font-size: 11.5px; color: var(--muted); white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
.send-button {
  width: 34px; height: 34px; border-radius: 10px; border: 0; cursor: pointer; display: grid; place-items: center;
  background: var(--accent); color: var(--accent-text); transition: opacity .15s, transform .1s;
}
.send-button:hover:not(:disabled) { transform: translateY(-1px); }
.send-button:disabled { opacity: .35; cursor: default; }
.composer-note { text-align: center; font-size: 11px; color: var(--muted); margin-top: 6px; }
.attachments { display: flex; flex-wrap: wrap; gap: 6px; padding: 2px 0 8px; }
.chip {
  display: flex; align-items: center; gap: 7px; padding: 4px 6px 4px 4px; border-radius: 9px;
  background: var(--surface-2); border: 1px solid var(--border); font-size: 12px; max-width: 220px;
}
.chip img, .chip .file-badge { width: 30px; height: 30px; border-radius: 6px; object-fit: cover; flex: none; }
.file-badge { display: grid; place-items: center; background: var(--fail-soft); color: var(--fail); font-size: 9.5px; font-weight: 700; }
.chip-name { overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
.chip-remove { border: 0; background: transparent; cursor: pointer; color: var(--muted); padding: 0 3px; font-size: 15px; line-height: 1; }
.chip-remove:hover { color: var(--fail); }

.drawer-backdrop { position: fixed; inset: 0; background: rgba(10, 12, 14, .32); animation: fade .15s ease-out; }
.drawer {
  position: fixed; top: 0; right: 0; bottom: 0; width: min(380px, 100%); background: var(--surface);
  border-left: 1px solid var(--border); box-shadow: -10px 0 30px rgba(0,0,0,.12); display: flex; flex-direction: column;
  animation: slide .2s ease-out;
}
.drawer-head { display: flex; align-items: center; justify-content: space-between; padding: 12px 14px 10px 18px; border-bottom: 1px solid var(--border); }
.drawer-head h2 { margin: 0; font-size: 15px; }
.drawer-body { padding: 14px 18px 20px; overflow-y: auto; display: flex; flex-direction: column; gap: 18px; }
.group-title { font-size: 11px; font-weight: 700; letter-spacing: .6px; text-transform: uppercase; color: var(--muted); margin-bottom: 8px; }
.field { display: flex; flex-direction: column; gap: 5px; margin-bottom: 10px; font-size: 13px; }
.field input, .field select {
  width: 100%; padding: 8px 10px; border-radius: 9px; border: 1px solid var(--border);
  background: var(--bg); color: var(--text); font: inherit; outline: 0;
}
.field input:focus, .field select:focus { border-color: var(--accent); box-shadow: 0 0 0 3px var(--accent-soft); }
.secret { position: relative; }
.secret input { padding-right: 58px; }
.reveal {
  position: absolute; right: 6px; top: 50%; transform: translateY(-50%); border: 0; background: transparent;
  color: var(--accent); font-size: 12px; font-weight: 600; cursor: pointer; padding: 4px 6px;
}
.field-note { margin: 0; font-size: 12px; color: var(--muted); }
.toggle-row { display: flex; align-items: center; justify-content: space-between; font-size: 13px; }
.toggle {
  appearance: none; width: 38px; height: 22px; border-radius: 11px; background: var(--border);
  position: relative; cursor: pointer; transition: background .15s; margin: 0;
}
.toggle::after {
  content: ""; position: absolute; top: 3px; left: 3px; width: 16px; height: 16px; border-radius: 50%;
  background: #fff; box-shadow: 0 1px 2px rgba(0,0,0,.25); transition: transform .15s;
}
.toggle:checked { background: var(--accent); }
.toggle:checked::after { transform: translateX(16px); }
.drawer-actions { display: flex; align-items: center; gap: 12px; }
.primary-button {
  border: 0; border-radius: 9px; padding: 9px 16px; background: var(--accent); color: var(--accent-text);
  font-weight: 600; cursor: pointer;
}
.primary-button:hover { filter: brightness(1.07); }
.save-state { font-size: 12.5px; color: var(--muted); }
.save-state.error { color: var(--fail); }
.danger-zone { border-top: 1px solid var(--border); padding-top: 16px; }
.danger-button {
  border: 1px solid color-mix(in srgb, var(--fail) 45%, var(--border)); background: transparent; color: var(--fail);
  border-radius: 9px; padding: 7px 14px; font-weight: 600; cursor: pointer; margin-bottom: 6px;
}
.danger-button:hover { background: var(--fail-soft); }

.toast {
  position: fixed; left: 50%; bottom: 92px; transform: translateX(-50%); padding: 8px 14px; border-radius: 10px;
  background: var(--text); color: var(--bg); font-size: 12.5px; box-shadow: var(--shadow); animation: rise .2s ease-out;
}

@keyframes rise { from { opacity: 0; transform: translateY(6px); } to { opacity: 1; transform: none; } }
@keyframes blink { 0%, 80%, 100% { opacity: .25; transform: scale(.85); } 40% { opacity: 1; transform: scale(1); } }
@keyframes pulse { 50% { opacity: .4; } }
@keyframes fade { from { opacity: 0; } }
@keyframes slide { from { transform: translateX(24px); opacity: 0; } }
@media (prefers-reduced-motion: reduce) { * { animation: none !important; transition: none !important; } }
)QPAGE";
}
