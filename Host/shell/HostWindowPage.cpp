#include "HostWindowPage.hpp"

#include <nlohmann/json.hpp>

namespace {

const char* kPage = R"HOSTPAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Quillmere Host</title>
<style>
  * { box-sizing: border-box; }
  html, body { height: 100%; margin: 0; }
  body { display: flex; flex-direction: column; font: 13px/1.4 -apple-system, "Segoe UI", Inter, Arial, sans-serif; background: #d9dbde; color: #1f2124; }
  .menubar { display: flex; align-items: center; gap: 2px; height: 34px; padding: 0 10px; background: #2a2d31; color: #e8e8e6; }
  .app-name { font-weight: 650; margin-right: 14px; letter-spacing: .2px; }
  .menu { position: relative; }
  .menu > button { background: transparent; border: 0; color: inherit; font: inherit; padding: 5px 10px; border-radius: 6px; cursor: pointer; }
  .menu > button:hover, .menu.open > button { background: #3b3f45; }
  .menu-items { position: absolute; top: 32px; left: 0; min-width: 230px; background: #fff; color: #1f2124; border-radius: 8px; box-shadow: 0 8px 24px rgba(0,0,0,.25); padding: 5px; display: none; z-index: 10; }
  .menu.open .menu-items { display: block; }
  .menu-item { display: flex; gap: 8px; width: 100%; text-align: left; background: transparent; border: 0; font: inherit; padding: 6px 10px; border-radius: 5px; cursor: pointer; }
  .menu-item:hover { background: #e8f0ed; }
  .menu-item .tick { width: 14px; color: #2f6f5e; font-weight: 700; }
  .menu-command { display: flex; width: 100%; text-align: left; background: transparent; border: 0; font: inherit; padding: 6px 10px; border-radius: 5px; cursor: pointer; }
  .menu-command:hover { background: #e8f0ed; }
  .menu-command:disabled { color: #9a9da2; cursor: default; background: transparent; }
  .menu-command .shortcut { margin-left: auto; padding-left: 18px; color: #8a8d92; font-size: 12px; }
  .menu-empty { padding: 6px 10px; color: #777; }
  .project { margin-left: auto; color: #a9acb1; font-size: 12px; }
  .workspace { flex: 1; display: flex; min-height: 0; }
  .plan-area { flex: 1; display: flex; flex-direction: column; min-width: 0; padding: 10px; gap: 8px; }
  .plan-bar { display: flex; align-items: center; gap: 6px; }
  .story { border: 1px solid #b9bcc1; background: #eef0f2; border-radius: 6px; padding: 3px 10px; cursor: pointer; font: inherit; }
  .story.active { background: #2f6f5e; border-color: #2f6f5e; color: #fff; }
  .plan-title { font-weight: 600; margin-right: 8px; }
  .view-name { margin-left: auto; color: #55595f; font-size: 12px; }
  .plan-frame { flex: 1; min-height: 0; background: #fbfbf9; border-radius: 8px; box-shadow: 0 1px 3px rgba(0,0,0,.15); overflow: hidden; display: grid; place-items: center; }
  .plan-frame img { width: 100%; height: 100%; object-fit: contain; display: block; }
  .palette { width: 440px; display: flex; flex-direction: column; background: #fff; border-left: 1px solid #b9bcc1; box-shadow: -4px 0 16px rgba(0,0,0,.08); }
  .palette[hidden] { display: none; }
  .palette-title { display: flex; align-items: center; justify-content: space-between; height: 28px; padding: 0 6px 0 12px; background: #e4e6e9; border-bottom: 1px solid #c9ccd0; font-size: 12px; font-weight: 600; color: #42464c; }
  .palette-title button { border: 0; background: transparent; cursor: pointer; font-size: 15px; color: #55595f; width: 22px; height: 22px; border-radius: 4px; }
  .palette-title button:hover { background: #d2d5d9; }
  .palette iframe { flex: 1; border: 0; width: 100%; }
  .palette.disabled iframe { pointer-events: none; opacity: .55; }
</style>
</head>
<body>
  <div class="menubar">
    <span class="app-name">Quillmere Host</span>
    <div class="menu" id="edit-menu"><button id="edit-menu-button">Edit</button><div class="menu-items">
      <button class="menu-command" id="undo-item" disabled><span class="label">Undo</span><span class="shortcut" id="undo-keys"></span></button>
      <button class="menu-command" id="redo-item" disabled><span class="label">Redo</span><span class="shortcut" id="redo-keys"></span></button>
    </div></div>
    <div class="menu" id="addon-menu"><button id="addon-menu-button">Add-ons</button><div class="menu-items" id="menu-items"></div></div>
    <span class="project" id="project">Default project</span>
  </div>
  <div class="workspace">
    <section class="plan-area">
      <div class="plan-bar"><span class="plan-title" id="plan-title">Floor plan</span><span id="stories"></span><span class="view-name" id="view-name"></span></div>
      <div class="plan-frame" id="plan-frame"><img id="plan" alt="Floor plan"></div>
    </section>
    <aside class="palette" id="palette" hidden>
      <div class="palette-title"><span id="palette-title">Palette</span><button id="palette-close" title="Close">&times;</button></div>
      <iframe id="palette-frame" title="Palette"></iframe>
    </aside>
  </div>
<script>
(function () {
  var TOKEN = __TOKEN__;
  var story = 0, state = null, loadedBrowser = null, planBusy = false, planPending = false, planDrawn = '', planKey = '', revision = null;
  function url(path, extra) { return path + '?token=' + encodeURIComponent(TOKEN) + (extra || ''); }
  function post(path, body) {
    return fetch(url(path), { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) })
      .then(function (r) { return r.json(); });
  }
  var menus = Array.prototype.slice.call(document.querySelectorAll('.menu'));
  function closeMenus(except) { menus.forEach(function (m) { if (m !== except) m.classList.remove('open'); }); }
  menus.forEach(function (m) {
    m.querySelector('button').addEventListener('click', function (e) { e.stopPropagation(); closeMenus(m); m.classList.toggle('open'); });
  });
  document.addEventListener('click', function () { closeMenus(null); });

  // Edit > Undo and Redo, named after the step they take back or make again, with the usual keys.
  var mac = /Mac|iPhone|iPad/.test(navigator.platform);
  document.getElementById('undo-keys').textContent = mac ? '\u2318Z' : 'Ctrl+Z';
  document.getElementById('redo-keys').textContent = mac ? '\u21e7\u2318Z' : 'Ctrl+Y';
  function edit(action) {
    closeMenus(null);
    return post('/host/edit/' + action, {}).then(refresh);
  }
  document.getElementById('undo-item').addEventListener('click', function () { edit('undo'); });
  document.getElementById('redo-item').addEventListener('click', function () { edit('redo'); });
  document.addEventListener('keydown', function (e) {
    if (!(e.ctrlKey || e.metaKey) || e.altKey) return;
    var key = e.key.toLowerCase();
    var action = key === 'z' ? (e.shiftKey ? 'redo' : 'undo') : (key === 'y' && !e.shiftKey ? 'redo' : null);
    if (!action) return;
    e.preventDefault();
    var item = document.getElementById(action + '-item');
    if (!item.disabled) edit(action);
  });
  function renderEdit(steps) {
    [['undo', 'Undo'], ['redo', 'Redo']].forEach(function (pair) {
      var name = steps ? steps[pair[0]] : null, item = document.getElementById(pair[0] + '-item');
      item.querySelector('.label').textContent = name ? pair[1] + ' ' + name : pair[1];
      item.disabled = !name;
    });
  }

  function renderMenus(items) {
    // The add-on's menu sits in the menu bar under its own title.
    document.getElementById('addon-menu-button').textContent = items.length ? items[0].menuTitle : 'Add-ons';
    var box = document.getElementById('menu-items');
    box.textContent = '';
    if (!items.length) { var none = document.createElement('div'); none.className = 'menu-empty'; none.textContent = 'No add-on items'; box.appendChild(none); return; }
    items.forEach(function (item) {
      var b = document.createElement('button');
      b.className = 'menu-item';
      b.setAttribute('data-menu', item.menuResId + ':' + item.itemIndex);
      var tick = document.createElement('span'); tick.className = 'tick'; tick.textContent = item.checked ? '\u2713' : '';
      var text = document.createElement('span'); text.textContent = item.itemText;
      b.appendChild(tick); b.appendChild(text);
      b.disabled = !item.enabled;
      b.addEventListener('click', function () { post('/host/menu', { menuResId: item.menuResId, itemIndex: item.itemIndex }).then(refresh); });
      box.appendChild(b);
    });
  }
  function renderStories(stories) {
    var box = document.getElementById('stories');
    box.textContent = '';
    stories.forEach(function (s) {
      var b = document.createElement('button');
      b.className = 'story' + (s.index === story ? ' active' : '');
      b.textContent = s.name || ('Story ' + s.index);
      b.setAttribute('data-story', s.index);
      // The tab asks the host to go to the story; the window follows the host's answer.
      b.addEventListener('click', function () { post('/host/story', { index: s.index }).then(refresh); });
      box.appendChild(b);
    });
  }
  // The current database names the plan area; the saved view opened last sits beside the tabs.
  function renderDocumentation(d) {
    if (!d) return;
    var db = d.database;
    document.getElementById('plan-title').textContent = !db ? 'No database' : db.type === 1 ? db.kind : db.kind + ' \u00b7 ' + db.name;
    document.getElementById('view-name').textContent = d.view ? 'View: ' + d.view.name : '';
  }
  function renderPalette(palette) {
    var panel = document.getElementById('palette');
    if (!palette || !palette.visible) { panel.hidden = true; return; }
    panel.hidden = false;
    panel.classList.toggle('disabled', !palette.enabled);
    panel.style.width = Math.min(palette.width, Math.round(window.innerWidth * 0.6)) + 'px';
    document.getElementById('palette-title').textContent = palette.title;
    if (loadedBrowser !== palette.browserId) {
      loadedBrowser = palette.browserId;
      document.getElementById('palette-frame').src = url('/browser/' + palette.browserId + '/page');
    }
  }
  document.getElementById('palette-close').addEventListener('click', function () {
    if (state && state.palette && state.palette.referenceId !== null) post('/host/palette/close', { referenceId: state.palette.referenceId }).then(refresh);
  });
  function refresh() {
    return fetch(url('/host/state')).then(function (r) { return r.json(); }).then(function (s) {
      state = s;
      story = s.currentStory;
      renderMenus(s.menus);
      renderEdit(s.edit);
      renderStories(s.stories);
      // A new current story, a new story or a layer shown or hidden redraws the plan at once.
      var key = JSON.stringify([s.currentStory, s.stories, s.hiddenLayers]);
      if (key !== planKey) { planKey = key; refreshPlan(); }
      renderPalette(s.palette);
      if (s.addOn && s.addOn.name) document.getElementById('project').textContent = 'Default project \u00b7 ' + s.addOn.name + ' loaded';
      renderDocumentation(s.documentation);
    }).catch(function () {});
  }
  // The plan is drawn at the frame's real size, and again only when the project, the story, the
  // layers shown or that size change; a change while a drawing is on its way follows it.
  function refreshPlan() {
    var frame = document.getElementById('plan-frame');
    if (revision === null || !frame.clientWidth || !frame.clientHeight) return;
    if (planBusy) { planPending = true; return; }
    var ratio = window.devicePixelRatio || 1;
    var w = Math.max(64, Math.round(frame.clientWidth * ratio)), h = Math.max(64, Math.round(frame.clientHeight * ratio));
    var key = [revision, planKey, w, h].join(' ');
    if (key === planDrawn) return;
    planBusy = true;
    var next = new Image();
    function done() { planBusy = false; if (planPending) { planPending = false; refreshPlan(); } }
    next.onload = function () { document.getElementById('plan').src = next.src; planDrawn = key; done(); };
    next.onerror = done;
    next.src = url('/host/plan.png', '&w=' + w + '&h=' + h + '&r=' + revision);
  }
  function watchProject() {
    var events = new EventSource(url('/host/events'));
    events.addEventListener('revision', function (e) {
      if (e.data === revision) return;
      revision = e.data;
      refresh();
      refreshPlan();
    });
  }
  refresh().then(function () {
    new ResizeObserver(refreshPlan).observe(document.getElementById('plan-frame'));
    watchProject();
  });
  setInterval(refresh, 800);
})();
</script>
</body>
</html>
)HOSTPAGE";

}  // namespace

std::string BuildHostWindowPage(const std::string& token)
{
    std::string page = kPage;
    const std::string marker = "__TOKEN__";
    page.replace(page.find(marker), marker.size(), nlohmann::json(token).dump());
    return page;
}
