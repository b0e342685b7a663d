// The 3D view: the whole model as one merged geometry, shaded, with its edges. The same
// geometry, each face coloured with its own number, is drawn into a one-pixel target under the
// pointer to tell exactly which face is there (GPU picking).

const highlightColour = 0xf0e442;

// Faces in both lists get light stripes across the screen, as in the SVG picture.
function addStripes(colour) {
  return function (shader) {
    shader.uniforms.stripeColour = { value: new THREE.Color(colour) };
    shader.vertexShader = 'attribute float stripe;\nvarying float vStripe;\n' +
      shader.vertexShader.replace('#include <color_vertex>',
                                  '#include <color_vertex>\n\tvStripe = stripe;');
    shader.fragmentShader = 'uniform vec3 stripeColour;\nvarying float vStripe;\n' +
      shader.fragmentShader.replace('#include <color_fragment>',
        '#include <color_fragment>\n\tif ( vStripe > 0.5 && ' +
        'mod( gl_FragCoord.x + gl_FragCoord.y, 11.0 ) < 4.0 ) diffuseColor.rgb = stripeColour;');
  };
}

// The faces push back a little, so that the edges on them are drawn in front.
const pushedBack = { polygonOffset: true, polygonOffsetFactor: 1, polygonOffsetUnits: 1 };

function edgeIndices(model) {
  let count = 0;
  model.edgeLengths.forEach(function (length) { count += 2 * Math.max(0, length - 1); });
  const indices = new model.edgeNodes.constructor(count);
  let k = 0, at = 0;
  model.edgeLengths.forEach(function (length) {
    for (let j = 0; j + 1 < length; ++j) {
      indices[k++] = model.edgeNodes[at + j];
      indices[k++] = model.edgeNodes[at + j + 1];
    }
    at += length;
  });
  return indices;
}

// Faces of solids show only their front, as in the SVG picture: the back of one that touches
// another part's face (a pin in its hole) is never drawn over that face. Open surfaces show
// both sides. Index 0 of a pair of materials is for the first, 1 for the second.
const faceSides = [THREE.FrontSide, THREE.DoubleSide];

// The faces in runs of one side and about a thousand triangles, each with the bounding sphere
// of its nodes as they are stored (0 to 1 over the model's box). Drawn as runs, the pick
// scene's one-pixel view draws only those near the pointer: the whole model each time would
// cost a renderer without a GPU a fifth of a second at 10,000 faces.
function pickRuns(model) {
  const runs = [], faceCount = model.faceTriangles.length, p = model.positions;
  for (let first = 0; first < faceCount;) {
    let last = first, triangles = 0;
    while (last < faceCount && (last === first ||
                                (triangles + model.faceTriangles[last] <= 1024 &&
                                 model.faceCulled[last] === model.faceCulled[first]))) {
      triangles += model.faceTriangles[last++];
    }
    const box = new THREE.Box3(), node = new THREE.Vector3();
    for (let n = model.nodeStarts[first]; n < model.nodeStarts[last]; ++n) {
      box.expandByPoint(node.set(p[3 * n], p[3 * n + 1], p[3 * n + 2]).divideScalar(65535));
    }
    const sphere = new THREE.Sphere();
    if (!box.isEmpty()) box.getBoundingSphere(sphere);
    runs.push({ first: first, triangles: triangles, sphere: sphere,
                side: model.faceCulled[first] ? 0 : 1 });
    first = last;
  }
  return runs;
}

function createScene(model, container) {
  const renderer = new THREE.WebGLRenderer({ antialias: true });
  renderer.setPixelRatio(window.devicePixelRatio);
  container.appendChild(renderer.domElement);

  const nodeCount = model.positions.length / 3;
  const position = new THREE.BufferAttribute(model.positions, 3, true);
  const index = new THREE.BufferAttribute(model.triangles, 1);
  const colours = new THREE.BufferAttribute(new Uint8Array(3 * nodeCount), 3, true);
  const stripes = new THREE.BufferAttribute(new Uint8Array(nodeCount), 1, true);
  // Positions are stored from 0 to 1 over the bounding box; each object scales them back.
  const place = function (object) {
    object.position.copy(model.low);
    object.scale.subVectors(model.high, model.low);
    return object;
  };
  const geometryWith = function (attributes, indices) {
    const geometry = new THREE.BufferGeometry();
    geometry.setAttribute('position', position);
    Object.keys(attributes).forEach(function (name) {
      geometry.setAttribute(name, attributes[name]);
    });
    geometry.setIndex(indices || index);
    return geometry;
  };

  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0xffffff);
  const materials = faceSides.map(function (side) {
    const material = new THREE.MeshPhongMaterial(Object.assign({
      vertexColors: THREE.VertexColors, flatShading: true, side: side,
      specular: 0x000000, shininess: 1
    }, pushedBack));
    material.onBeforeCompile = addStripes(model.colours.stripe);
    return material;
  });
  const shaded = geometryWith({ color: colours, stripe: stripes });
  for (let first = 0, count = model.faceCulled.length; first < count;) {
    let last = first + 1;
    while (last < count && model.faceCulled[last] === model.faceCulled[first]) ++last;
    shaded.addGroup(3 * model.triangleStarts[first],
                    3 * (model.triangleStarts[last] - model.triangleStarts[first]),
                    model.faceCulled[first] ? 0 : 1);
    first = last;
  }
  scene.add(place(new THREE.Mesh(shaded, materials)));
  const edges = geometryWith({}, new THREE.BufferAttribute(edgeIndices(model), 1));
  const edgeMaterial = new THREE.LineBasicMaterial({ color: model.colours.edge });
  scene.add(place(new THREE.LineSegments(edges, edgeMaterial)));
  // What a cut takes away is still drawn, see-through, so that what lies behind it keeps its
  // place in the part: the same faces and edges, faint, kept only in front of the cut's plane.
  const section = new THREE.Plane(), beyond = new THREE.Plane();
  const ghostMaterials = faceSides.map(function (side) {
    return new THREE.MeshPhongMaterial({
      vertexColors: THREE.VertexColors, flatShading: true, side: side, specular: 0x000000,
      shininess: 1, transparent: true, opacity: 0.3, depthWrite: false, clippingPlanes: [beyond]
    });
  });
  const ghosts = [
    new THREE.Mesh(shaded, ghostMaterials),
    new THREE.LineSegments(edges, new THREE.LineBasicMaterial({
      color: model.colours.edge, transparent: true, opacity: 0.35, depthWrite: false,
      clippingPlanes: [beyond]
    }))
  ];
  ghosts.forEach(function (ghost, k) {
    ghost.visible = false;
    ghost.renderOrder = 1 + k;
    scene.add(place(ghost));
  });
  // Two overlays drawn over a face in the highlight colour: the face pointed at, the face found.
  const overlays = [0, 1].map(function () {
    const overlay = new THREE.Mesh(geometryWith({}), new THREE.MeshBasicMaterial(Object.assign({
      color: highlightColour, transparent: true, opacity: 0.6, side: THREE.DoubleSide,
      depthWrite: false, depthFunc: THREE.LessEqualDepth
    }, pushedBack)));
    overlay.geometry.setDrawRange(0, 0);
    overlay.renderOrder = 3; // over the see-through faces
    scene.add(place(overlay));
    return overlay;
  });

  const ids = new Uint8Array(3 * nodeCount);
  for (let i = 0; i < model.faceNodes.length; ++i) {
    const id = i + 1; // 0 is the background
    for (let n = model.nodeStarts[i]; n < model.nodeStarts[i + 1]; ++n) {
      ids[3 * n] = (id >> 16) & 255;
      ids[3 * n + 1] = (id >> 8) & 255;
      ids[3 * n + 2] = id & 255;
    }
  }
  const pickScene = new THREE.Scene();
  pickScene.background = new THREE.Color(0x000000);
  const idColours = new THREE.BufferAttribute(ids, 3, true);
  const pickMaterials = faceSides.map(function (side) {
    return new THREE.MeshBasicMaterial(Object.assign({
      vertexColors: THREE.VertexColors, side: side
    }, pushedBack));
  });
  pickRuns(model).forEach(function (run) {
    const geometry = geometryWith({ color: idColours });
    geometry.setDrawRange(3 * model.triangleStarts[run.first], 3 * run.triangles);
    geometry.boundingSphere = run.sphere;
    pickScene.add(place(new THREE.Mesh(geometry, pickMaterials[run.side])));
  });
  // Everything that a cut takes away, the pick scene too, so that the pointer finds what shows.
  const cutAway = materials.concat([edgeMaterial], overlays.map(function (overlay) {
    return overlay.material;
  }), pickMaterials);
  renderer.localClippingEnabled = true;
  const pickTarget = new THREE.WebGLRenderTarget(1, 1);
  const pixel = new Uint8Array(4);

  const centre = new THREE.Vector3().addVectors(model.low, model.high).multiplyScalar(0.5);
  const radius = Math.max(model.low.distanceTo(model.high) / 2, 1e-9);
  const distance = 10 * radius;
  // Orthographic, as the SVG's panels; nothing within ten radii of the eye is clipped.
  const camera = new THREE.OrthographicCamera(-1, 1, 1, -1, 0, 2 * distance);
  camera.up.set(0, 0, 1);
  scene.add(camera);
  // A light from the upper left, behind the viewer, moving with the camera, as in the SVG.
  const light = new THREE.DirectionalLight(0xffffff, 0.45);
  light.position.set(-0.45, 0.6, 0.65);
  camera.add(light);
  camera.add(light.target);
  scene.add(new THREE.AmbientLight(0xffffff, 0.62));

  const controls = new THREE.OrbitControls(camera, renderer.domElement);
  controls.screenSpacePanning = true;
  controls.enableKeys = false; // the arrow keys belong to the search box
  controls.minZoom = 0.05;
  controls.maxZoom = 5000;

  // onMoved runs after a frame drawn since the camera moved: what is under the pointer may
  // have changed. A frame that only changed colours leaves it alone.
  const view = { renderer: renderer, camera: camera, controls: controls, onMoved: null };
  let frameWanted = false, moved = false;
  view.requestRender = function () {
    if (frameWanted) return;
    frameWanted = true;
    requestAnimationFrame(function () {
      frameWanted = false;
      renderer.render(scene, camera);
      if (moved && view.onMoved) view.onMoved();
      moved = false;
    });
  };
  controls.addEventListener('change', function () {
    moved = true;
    view.requestRender();
  });

  view.resize = function () {
    const width = Math.max(container.clientWidth, 1), height = Math.max(container.clientHeight, 1);
    renderer.setSize(width, height);
    const aspect = width / height, half = 1.05 * radius;
    camera.top = aspect >= 1 ? half : half / aspect;
    camera.bottom = -camera.top;
    camera.right = camera.top * aspect;
    camera.left = -camera.right;
    camera.updateProjectionMatrix();
    moved = true;
    view.requestRender();
  };

  // The face (row index) seen at (x, y), CSS pixels in the canvas, or -1 for none.
  view.faceAt = function (x, y) {
    const canvas = renderer.domElement;
    const width = canvas.clientWidth, height = canvas.clientHeight;
    if (!(x >= 0 && y >= 0 && x < width && y < height)) return -1;
    camera.updateMatrixWorld();
    camera.setViewOffset(width, height, Math.floor(x), Math.floor(y), 1, 1);
    renderer.setRenderTarget(pickTarget);
    renderer.render(pickScene, camera);
    renderer.readRenderTargetPixels(pickTarget, 0, 0, 1, 1, pixel);
    renderer.setRenderTarget(null);
    camera.clearViewOffset();
    return ((pixel[0] << 16) | (pixel[1] << 8) | pixel[2]) - 1;
  };

  // Where a model point appears, in CSS pixels in the canvas.
  view.project = function (point) {
    camera.updateMatrixWorld();
    const p = point.clone().project(camera), canvas = renderer.domElement;
    return { x: (p.x + 1) / 2 * canvas.clientWidth, y: (1 - p.y) / 2 * canvas.clientHeight };
  };

  view.paintFace = function (i, rgb, striped) {
    for (let n = model.nodeStarts[i]; n < model.nodeStarts[i + 1]; ++n) {
      colours.array.set(rgb, 3 * n);
      stripes.array[n] = striped ? 255 : 0;
    }
    colours.needsUpdate = true;
    stripes.needsUpdate = true;
    view.requestRender();
  };

  // Overlay 0 follows the pointer, overlay 1 the face found; face -1 clears it. `throughAll`
  // draws it over whatever stands in front of it.
  view.highlight = function (which, i, throughAll) {
    const geometry = overlays[which].geometry;
    overlays[which].material.depthTest = !throughAll;
    if (i < 0) geometry.setDrawRange(0, 0);
    else geometry.setDrawRange(3 * model.triangleStarts[i], 3 * model.faceTriangles[i]);
    view.requestRender();
  };

  // Looks at `target` from `direction` at `zoom`. The orbit keeps z up and cannot look straight
  // along it: a view along z is tilted by a hair, the way that puts `up` at the top.
  view.lookFrom = function (direction, up, target, zoom) {
    const d = direction.clone().normalize();
    if (Math.abs(d.z) > 0.9999) {
      const screenUp = up || new THREE.Vector3(0, 1, 0).applyQuaternion(camera.quaternion);
      d.addScaledVector(screenUp, -Math.sign(d.z) * 1e-3).normalize();
    }
    controls.target.copy(target || centre);
    camera.position.copy(controls.target).addScaledVector(d, distance);
    camera.zoom = zoom || 1;
    camera.updateProjectionMatrix();
    controls.update();
  };

  view.showView = function (name) {
    const named = model.views.find(function (v) { return v.name === name; });
    view.lookFrom(new THREE.Vector3().fromArray(named.toViewer),
                  new THREE.Vector3().fromArray(named.up));
  };

  view.fit = function () {
    view.lookFrom(new THREE.Vector3().subVectors(camera.position, controls.target));
  };

  // Cuts away what lies in front of `point`, `ahead` nearer the viewer, with a plane that faces
  // `toward` (or else the camera as it looks now) and stays where it is as the model turns, and
  // draws what it cuts away see-through; null takes the cut away.
  view.sectioned = false;
  view.cut = function (point, ahead, toward) {
    view.sectioned = !!point;
    if (point) {
      const toViewer = (toward ? toward.clone()
        : new THREE.Vector3().subVectors(camera.position, controls.target)).normalize();
      // What is on the negative side of the plane is cut: the side towards the viewer.
      section.setFromNormalAndCoplanarPoint(toViewer.clone().negate(),
                                            point.clone().addScaledVector(toViewer, ahead || 0));
      beyond.copy(section).negate();
    }
    cutAway.forEach(function (material) { material.clippingPlanes = point ? [section] : null; });
    ghosts.forEach(function (ghost) { ghost.visible = !!point; });
    moved = true;
    view.requestRender();
  };

  view.radius = radius;
  view.resize();
  return view;
}
