// Puts the page together: the model, the view, the sets, and what the mouse, touch, the
// buttons and the search box do.

function currentSet() {
  return document.querySelector('input[name="set"]:checked').value;
}

function showModel(model) {
  document.getElementById('model-name').textContent = document.title;
  const note = document.getElementById('model-note');
  note.textContent = model.note;
  note.hidden = !model.note;
  const stale = document.getElementById('model-stale');
  stale.textContent = model.stale || '';
  stale.hidden = !model.stale;
  paintSwatches(model.colours);
  const nav = document.getElementById('views');
  model.views.forEach(function (v) {
    const button = document.createElement('button');
    button.type = 'button';
    button.dataset.view = v.name;
    button.textContent = v.name;
    nav.appendChild(button);
  });

  const lists = startLists(model), sets = lists.sets;
  wireSets(lists);
  showSets(lists);

  let view;
  try {
    view = createScene(model, document.getElementById('viewport'));
  } catch (error) {
    say('This page draws the model with WebGL, which this browser does not offer here: ' +
        error.message, true);
    return;
  }
  const colours = {};
  Object.keys(model.colours).forEach(function (k) { colours[k] = hexColour(model.colours[k]); });
  const paint = function (i) {
    const list = listOf(sets, model.visits[i]);
    view.paintFace(i, colours[list === '-' ? 'other' : list], list === 'both');
  };
  model.rows.forEach(function (row, i) { if (model.drawnAs[i] === i) paint(i); });

  let pointer = null, hovered = -1, found = -1;
  const showPanel = function () { showFaceRow(model, sets, hovered >= 0 ? hovered : found); };
  const updateHover = function () {
    const i = pointer ? view.faceAt(pointer.x, pointer.y) : -1;
    if (i === hovered) return;
    hovered = i;
    view.highlight(0, i);
    showPanel();
  };
  view.onMoved = updateHover;
  const canvas = view.renderer.domElement;
  const at = function (event) {
    const box = canvas.getBoundingClientRect();
    return { x: event.clientX - box.left, y: event.clientY - box.top };
  };
  let hoverWanted = false;
  canvas.addEventListener('mousemove', function (event) {
    if (event.buttons) return; // turning or panning
    pointer = at(event);
    if (hoverWanted) return;
    hoverWanted = true;
    requestAnimationFrame(function () { hoverWanted = false; updateHover(); });
  });
  canvas.addEventListener('mouseleave', function () { pointer = null; updateHover(); });

  const toggle = function (point) {
    const i = view.faceAt(point.x, point.y);
    if (i < 0) return;
    const name = currentSet(), set = sets[name], visits = model.visits[i];
    const listed = visits.filter(function (n) { return set.has(n); });
    // A face comes back as the visit that held its records, if one did.
    if (!listed.length) {
      listed.push(visits.find(function (n) { return lists.records[name].has(n); }) || visits[0]);
    }
    listed.forEach(function (n) {
      if (set.has(n)) set.delete(n); else addFace(lists, name, n);
      showSets(lists, name, n);
    });
    paint(i);
    showPanel();
  };
  // A press of the main button, or a finger, released where it went down toggles the face
  // there; one that moved turned or panned the model, and a second finger makes it a pinch.
  // Pointer events serve mouse, pen and touch alike.
  let pressed = null;
  canvas.addEventListener('pointerdown', function (event) {
    pressed = event.isPrimary && event.button === 0 ? at(event) : null;
  });
  canvas.addEventListener('pointerup', function (event) {
    const p = at(event), start = pressed;
    pressed = null;
    if (!start || !event.isPrimary || Math.hypot(p.x - start.x, p.y - start.y) >= 5) return;
    if (event.pointerType !== 'mouse') pointer = p; // no hover without a mouse: show the row
    toggle(p);
    updateHover();
  });

  // The section follows the button; a search may cut, or take the cut away, itself.
  const sectionButton = document.getElementById('section');
  const showSection = function () {
    sectionButton.setAttribute('aria-pressed', String(view.sectioned));
  };
  sectionButton.addEventListener('click', function () {
    view.cut(view.sectioned ? null : view.controls.target);
    showSection();
  });
  nav.addEventListener('click', function (event) {
    const name = event.target.dataset && event.target.dataset.view;
    if (name === 'fit') view.fit();
    else if (name) view.showView(name);
  });
  document.getElementById('search').addEventListener('submit', function (event) {
    event.preventDefault();
    const text = document.getElementById('search-box').value.trim();
    found = -1;
    view.highlight(1, -1);
    say('');
    if (text !== '') found = findFace(model, view, text);
    showSection();
    showPanel();
  });

  if (!model.rows.length) say('the model has no faces', true);
  window.addEventListener('resize', view.resize);
  view.showView(model.views.some(function (v) { return v.name === model.firstView; })
    ? model.firstView : 'iso');
  // For scripts that drive the page, such as its browser test.
  window.facePage = {
    project: function (x, y, z) {
      const p = view.project(new THREE.Vector3(x, y, z)), box = canvas.getBoundingClientRect();
      return { x: p.x + box.left, y: p.y + box.top };
    },
    ready: true
  };
}

function startPage() {
  if (typeof DecompressionStream === 'undefined') {
    say('This page needs a newer browser, one that inflates data itself (DecompressionStream: ' +
        'Chrome 80, Firefox 113, Safari 16.4 or later).', true);
    return;
  }
  readModel().then(showModel).catch(function (error) {
    say('cannot show the model: ' + error.message, true);
    console.error(error);
  });
}

startPage();
