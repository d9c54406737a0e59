#include "resources/ChatPage.hpp"

const char* ChatPageMarkup()
{
    return R"QPAGE(
<div id="app" class="app">
  <header class="topbar">
    <div class="brand">
      <div class="brand-mark" aria-hidden="true">
        <svg viewBox="0 0 24 24" width="18" height="18"><path d="M4 20V9l8-5 8 5v11h-5v-6H9v6z" fill="currentColor"/></svg>
      </div>
      <div class="brand-text">
        <div class="brand-name">Quillmere</div>
        <div class="brand-sub" id="status-line"><span class="status-dot" id="status-dot"></span><span id="status-text">Connecting…</span></div>
      </div>
    </div>
    <div class="topbar-actions">
      <button class="icon-button" id="new-chat-button" title="New conversation" aria-label="New conversation">
        <svg viewBox="0 0 24 24" width="18" height="18"><path d="M12 5v14M5 12h14" stroke="currentColor" stroke-width="2" stroke-linecap="round" fill="none"/></svg>
      </button>
      <button class="icon-button" id="settings-button" title="Settings" aria-label="Settings">
        <svg viewBox="0 0 24 24" width="18" height="18"><path d="M12 15.5a3.5 3.5 0 1 0 0-7 3.5 3.5 0 0 0 0 7z" stroke="currentColor" stroke-width="1.8" fill="none"/><path d="M19.4 15a1.7 1.7 0 0 0 .3 1.8l.1.1a2 2 0 1 1-2.8 2.8l-.1-.1a1.7 1.7 0 0 0-1.8-.3 1.7 1.7 0 0 0-1 1.5V21a2 2 0 1 1-4 0v-.1a1.7 1.7 0 0 0-1.1-1.5 1.7 1.7 0 0 0-1.8.3l-.1.1a2 2 0 1 1-2.8-2.8l.1-.1a1.7 1.7 0 0 0 .3-1.8 1.7 1.7 0 0 0-1.5-1H3a2 2 0 1 1 0-4h.1a1.7 1.7 0 0 0 1.5-1.1 1.7 1.7 0 0 0-.3-1.8l-.1-.1a2 2 0 1 1 2.8-2.8l.1.1a1.7 1.7 0 0 0 1.8.3H9a1.7 1.7 0 0 0 1-1.5V3a2 2 0 1 1 4 0v.1a1.7 1.7 0 0 0 1 1.5 1.7 1.7 0 0 0 1.8-.3l.1-.1a2 2 0 1 1 2.8 2.8l-.1.1a1.7 1.7 0 0 0-.3 1.8V9a1.7 1.7 0 0 0 1.5 1H21a2 2 0 1 1 0 4h-.1a1.7 1.7 0 0 0-1.5 1z" stroke="currentColor" stroke-width="1.5" fill="none"/></svg>
      </button>
    </div>
  </header>

  <main class="conversation" id="conversation">
    <section class="welcome" id="welcome">
      <div class="welcome-mark" aria-hidden="true">
        <svg viewBox="0 0 24 24" width="30" height="30"><path d="M4 20V9l8-5 8 5v11h-5v-6H9v6z" fill="currentColor"/></svg>
      </div>
      <h1>What shall we design today?</h1>
      <p>Describe what you want in plain words. Quillmere reads the open project and builds, edits and documents it for you. Every change is one step you can undo.</p>
      <div class="suggestions" id="suggestions">
        <button class="suggestion" data-prompt="Draw a 6 × 4 m room on the ground floor with 30 cm walls.">
          <span class="suggestion-title">Sketch a room</span>
          <span class="suggestion-text">6 × 4 m, 30 cm walls, ground floor</span>
        </button>
        <button class="suggestion" data-prompt="Give me an overview of this project: stories, layers and what has been built so far.">
          <span class="suggestion-title">Survey the project</span>
          <span class="suggestion-text">Stories, layers and elements</span>
        </button>
        <button class="suggestion" data-prompt="Add a 90 cm door and two windows to the walls I have selected.">
          <span class="suggestion-title">Add openings</span>
          <span class="suggestion-text">Doors and windows in selected walls</span>
        </button>
        <button class="suggestion" data-prompt="I have attached a floor plan. Rebuild it as walls, doors and windows.">
          <span class="suggestion-title">Rebuild a drawing</span>
          <span class="suggestion-text">Attach a plan as image or PDF</span>
        </button>
      </div>
    </section>
    <div class="messages" id="messages" aria-live="polite"></div>
    <div class="thinking" id="thinking" hidden>
      <div class="avatar assistant-avatar" aria-hidden="true">
        <svg viewBox="0 0 24 24" width="14" height="14"><path d="M4 20V9l8-5 8 5v11h-5v-6H9v6z" fill="currentColor"/></svg>
      </div>
      <div class="thinking-bubble"><span class="dot"></span><span class="dot"></span><span class="dot"></span><span class="thinking-label">Working on it</span></div>
    </div>
  </main>

  <footer class="composer-wrap">
    <div class="composer" id="composer">
      <div class="attachments" id="attachments" hidden></div>
      <textarea id="input" rows="1" placeholder="Ask Quillmere to design, edit or explain…" aria-label="Message"></textarea>
      <div class="composer-bar">
        <div class="composer-left">
          <button class="icon-button subtle" id="attach-button" title="Attach images or PDF drawings" aria-label="Attach files">
            <svg viewBox="0 0 24 24" width="18" height="18"><path d="M21 11.5l-8.6 8.6a5.5 5.5 0 0 1-7.8-7.8l8.6-8.6a3.7 3.7 0 0 1 5.2 5.2l-8.6 8.6a1.8 1.8 0 0 1-2.6-2.6l7.9-7.9" stroke="currentColor" stroke-width="1.8" stroke-linecap="round" fill="none"/></svg>
          </button>
          <input type="file" id="file-input" multiple accept="image/png,image/jpeg,image/tiff,application/pdf,.png,.jpg,.jpeg,.tif,.tiff,.pdf" hidden>
          <span class="composer-hint" id="model-hint"></span>
        </div>
        <button class="send-button" id="send-button" title="Send" aria-label="Send" disabled>
          <svg viewBox="0 0 24 24" width="18" height="18"><path d="M5 12h13M13 6l6 6-6 6" stroke="currentColor" stroke-width="2.2" stroke-linecap="round" stroke-linejoin="round" fill="none"/></svg>
        </button>
      </div>
    </div>
    <div class="composer-note">Quillmere can make mistakes. Check its changes in the model.</div>
  </footer>

  <div class="drawer-backdrop" id="drawer-backdrop" hidden></div>
  <aside class="drawer" id="settings-panel" aria-label="Settings" hidden>
    <div class="drawer-head">
      <h2>Settings</h2>
      <button class="icon-button" id="settings-close" title="Close" aria-label="Close settings">
        <svg viewBox="0 0 24 24" width="18" height="18"><path d="M6 6l12 12M18 6L6 18" stroke="currentColor" stroke-width="2" stroke-linecap="round"/></svg>
      </button>
    </div>
    <div class="drawer-body">
      <div class="field-group">
        <div class="group-title">Language model</div>
        <label class="field">
          <span>Provider</span>
          <select id="setting-provider">
            <option value="anthropic">Anthropic</option>
            <option value="openai">OpenAI</option>
          </select>
        </label>
        <label class="field">
          <span>Model</span>
          <input id="setting-model" type="text" list="model-list" spellcheck="false" autocomplete="off">
          <datalist id="model-list"></datalist>
        </label>
      </div>
      <div class="field-group">
        <div class="group-title">API keys</div>
        <label class="field">
          <span>Anthropic API key</span>
          <div class="secret">
            <input id="setting-anthropic-key" type="password" spellcheck="false" autocomplete="off" placeholder="sk-ant-…">
            <button class="reveal" type="button" data-target="setting-anthropic-key">Show</button>
          </div>
        </label>
        <label class="field">
          <span>OpenAI API key</span>
          <div class="secret">
            <input id="setting-openai-key" type="password" spellcheck="false" autocomplete="off" placeholder="sk-…">
            <button class="reveal" type="button" data-target="setting-openai-key">Show</button>
          </div>
        </label>
        <p class="field-note">Keys stay on this computer, in your settings file.</p>
      </div>
      <div class="field-group">
        <div class="group-title">Appearance</div>
        <label class="toggle-row">
          <span>Dark mode</span>
          <input id="setting-dark-mode" type="checkbox" class="toggle">
        </label>
      </div>
      <div class="drawer-actions">
        <button class="primary-button" id="settings-save">Save settings</button>
        <span class="save-state" id="settings-state" role="status"></span>
      </div>
      <div class="field-group danger-zone">
        <div class="group-title">Conversation</div>
        <button class="danger-button" id="clear-history">Clear history</button>
        <p class="field-note">Forgets the conversation so far. The project is not changed.</p>
      </div>
    </div>
  </aside>
  <div class="toast" id="toast" role="status" hidden></div>
</div>
)QPAGE";
}
