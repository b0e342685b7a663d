// Finding a face by its number: turning the view to it, from where it shows, and showing what
// lies in front of it see-through when nothing else shows it (a face inside a housing).

// Where to look at a face from: along its normal first; then tilted from it by 30 and 60
// degrees towards each named view, for the wall of a deep hole, seen only from near its axis;
// then the named views themselves.
function searchDirections(model, normal) {
  const named = model.views.map(function (v) {
    return new THREE.Vector3().fromArray(v.toViewer);
  });
  if (!normal) return named;
  const directions = [normal.clone()];
  [30, 60].forEach(function (degrees) {
    const a = degrees * Math.PI / 180;
    named.forEach(function (v) {
      const across = v.clone().addScaledVector(normal, -v.dot(normal));
      if (across.lengthSq() < 1e-6) return;
      across.normalize();
      directions.push(normal.clone().multiplyScalar(Math.cos(a))
        .addScaledVector(across, Math.sin(a)));
    });
  });
  return directions.concat(named);
}

// Turns drawn face i (its row `row`) to the middle of the view, from the first direction in
// which the face is what shows there, zoomed in until it fills about a sixth of the view and
// is at least some ten pixels wide, up to 500 times. When no direction shows it, looks along
// the first one with what lies in front of the face cut away and drawn see-through. Says
// 'seen', 'cut', or '' when the face shows even so nowhere.
function showFace(view, model, i, row) {
  const box = new THREE.Box3(), p = new THREE.Vector3();
  for (let n = model.nodeStarts[i]; n < model.nodeStarts[i + 1]; ++n) {
    box.expandByPoint(nodePosition(model, n, p));
  }
  const target = rowVector(row, 'p') || box.getCenter(new THREE.Vector3());
  const radius = view.radius, across = box.getSize(p).length();
  // Half the view's height in model units; a long thin face is as wide as its area allows.
  const halfPixels = view.renderer.domElement.clientHeight / 2;
  const half = Math.min(3 * across, Number(row.area) / Math.max(across, 1e-12) * halfPixels / 10);
  const zoom = Math.max(1, radius / Math.max(half, radius / 500));
  const shows = function () {
    const s = view.project(target);
    return view.faceAt(s.x, s.y) === i;
  };
  view.cut(null);
  const directions = searchDirections(model, rowVector(row, 'n'));
  for (let k = 0; k < directions.length; ++k) {
    view.lookFrom(directions[k], null, target, zoom);
    if (shows()) return 'seen';
  }
  view.lookFrom(directions[0], null, target, zoom);
  // A little in front of the point: a curved face's mesh lies up to a thousandth of the model's
  // size (its deflection) off the surface that the point is on, a plane's only by the
  // quantisation's step.
  // Facing the direction looked from, not the camera, which a view along z tilts by a hair: a
  // plane face seen along its normal then lies wholly behind the cut.
  view.cut(target, (row.type === 'plane' ? 1e-4 : 2.5e-3) * radius, directions[0]);
  return shows() ? 'cut' : '';
}

// Shows the face that `text` numbers, highlighted, through whatever stands in front of it when
// nothing else shows it; returns its row index, or -1 for no such face.
function findFace(model, view, text) {
  const count = model.rows.length;
  if (!/^[0-9]+$/.test(text) || Number(text) < 1 || Number(text) > count) {
    say(count ? 'no face ' + text + ': the faces are numbered 1 to ' + count
              : 'the model has no faces', true);
    return -1;
  }
  const i = Number(text) - 1, drawn = model.drawnAs[i], row = model.rows[drawn];
  const again = drawn !== i ? ', which is face ' + (drawn + 1) + ' visited again' : '';
  if (!model.faceTriangles[drawn]) {
    say('face ' + text + again + ' has no mesh to show', true);
    return i;
  }
  const shown = showFace(view, model, drawn, row);
  say('face ' + text + again + {
    seen: '', cut: ', seen through what lies in front of it',
    '': ': hidden from every direction tried, and shown through what is in front of it'
  }[shown], !shown);
  view.highlight(1, drawn, !shown);
  return i;
}
