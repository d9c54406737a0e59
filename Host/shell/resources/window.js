(function () {
  var TOKEN = __TOKEN__;
  var story = 0, state = null, loadedBrowser = null, planBusy = false, planPending = false, planDrawn = '', planKey = '', revision = null;
  // The window is refreshed every 800 ms, and an idle refresh must change nothing in it: a menu
  // item rebuilt between the press and the release of a click loses the click. So each value is
  // written only when it differs, and the menu and the story tabs are built again only when what
  // they show changed.
  var menusShown = null, storiesShown = null;
  function setText(el, text) { if (el.textContent !== text) el.textContent = text; }
  function setDisabled(el, disabled) { if (el.disabled !== disabled) el.disabled = disabled; }
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
  // A click into the palette lands in its frame and never reaches this document; the window
  // losing focus to the frame closes the menus as any click elsewhere does.
  window.addEventListener('blur', function () { closeMenus(null); });

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
    // The host decides, not the menu's last state: a key pressed right after an undo, before the
    // menu has heard of it, still redoes (with nothing to take back the host does nothing).
    edit(action);
  });
  function renderEdit(steps) {
    [['undo', 'Undo'], ['redo', 'Redo']].forEach(function (pair) {
      var name = steps ? steps[pair[0]] : null, item = document.getElementById(pair[0] + '-item');
      setText(item.querySelector('.label'), name ? pair[1] + ' ' + name : pair[1]);
      setDisabled(item, !name);
    });
  }

  function renderMenus(items) {
    var shown = JSON.stringify(items);
    if (shown === menusShown) return;
    menusShown = shown;
    // The add-on's menu sits in the menu bar under its own title.
    setText(document.getElementById('addon-menu-button'), items.length ? items[0].menuTitle : 'Add-ons');
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
    var shown = JSON.stringify([stories, story]);
    if (shown === storiesShown) return;
    storiesShown = shown;
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
    setText(document.getElementById('plan-title'), !db ? 'No database' : db.type === 1 ? db.kind : db.kind + ' \u00b7 ' + db.name);
    setText(document.getElementById('view-name'), d.view ? 'View: ' + d.view.name : '');
  }
  function renderPalette(palette) {
    var panel = document.getElementById('palette');
    var hidden = !palette || !palette.visible;
    if (panel.hidden !== hidden) panel.hidden = hidden;
    if (hidden) return;
    panel.classList.toggle('disabled', !palette.enabled);
    var width = Math.min(palette.width, Math.round(window.innerWidth * 0.6)) + 'px';
    if (panel.style.width !== width) panel.style.width = width;
    setText(document.getElementById('palette-title'), palette.title);
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
      if (s.addOn && s.addOn.name) setText(document.getElementById('project'), 'Default project \u00b7 ' + s.addOn.name + ' loaded');
      renderDocumentation(s.documentation);
      setText(document.getElementById('status-line'), s.selected ? s.selected + ' selected' : 'No selection');
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
  // A click in the plan selects the element under it (shift adds or removes it), a click on
  // empty space or Escape clears; the host moves its revision on and the plan is drawn again.
  document.getElementById('plan').addEventListener('click', function (e) {
    var img = e.currentTarget;
    if (!img.naturalWidth || !img.clientWidth) return;
    var sx = img.naturalWidth / img.clientWidth, sy = img.naturalHeight / img.clientHeight;
    post('/host/select', { x: Math.round(e.offsetX * sx), y: Math.round(e.offsetY * sy), width: img.naturalWidth,
                           height: img.naturalHeight, shift: e.shiftKey }).then(refresh);
  });
  document.addEventListener('keydown', function (e) {
    if (e.key === 'Escape' && !e.ctrlKey && !e.metaKey && !e.altKey) post('/host/select', { clear: true }).then(refresh);
  });
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
