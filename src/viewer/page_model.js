// The model that tarnfold-faces wrote into the page: the colours and named views, and one zlib
// stream in base64 with the face table as the command prints it, the dataset's records and the
// mesh's arrays.

// The sections of the page's data, inflated: the browser's own zlib does it.
function inflateSections(data) {
  const text = atob(data.data);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
  return new Response(stream).arrayBuffer().then(function (buffer) {
    const sections = {};
    let at = 0;
    data.sections.forEach(function (section) {
      sections[section[0]] = buffer.slice(at, at + section[1]);
      at += section[1];
    });
    return sections;
  });
}

// Typed arrays read in the machine's byte order, so bytes are turned round on any other.
const littleEndian = new Uint8Array(new Uint16Array([1]).buffer)[0] === 1;

function readArray(buffer, Type) {
  const size = Type.BYTES_PER_ELEMENT;
  if (!littleEndian && size > 1) {
    const bytes = new Uint8Array(buffer);
    for (let i = 0; i < bytes.length; i += size) bytes.subarray(i, i + size).reverse();
  }
  return new Type(buffer, 0, buffer.byteLength / size);
}

// Node positions, stored axis by axis as differences from the node before.
function readPositions(buffer) {
  const deltas = readArray(buffer, Uint16Array), count = deltas.length / 3;
  const positions = new Uint16Array(deltas.length);
  for (let axis = 0; axis < 3; ++axis) {
    let value = 0;
    for (let n = 0; n < count; ++n) {
      value = (value + deltas[axis * count + n]) & 0xffff;
      positions[3 * n + axis] = value;
    }
  }
  return positions;
}

// Indices into each face's own nodes, made indices into all the nodes; `counts` says how many
// of them belong to each face.
function globalIndices(local, counts, nodeStarts, Index) {
  const indices = new Index(local.length);
  let k = 0;
  for (let face = 0; face < counts.length; ++face) {
    for (let j = 0; j < counts[face]; ++j, ++k) indices[k] = nodeStarts[face] + local[k];
  }
  return indices;
}

// One object a row, keyed by the table's column names, the cells as the table has them.
function parseTable(text) {
  const lines = text.split('\n').filter(function (line) { return line !== ''; });
  const names = lines[0].split('\t');
  return lines.slice(1).map(function (line) {
    const cells = {};
    line.split('\t').forEach(function (cell, i) { cells[names[i]] = cell; });
    return cells;
  });
}

function startsOf(counts) {
  const starts = new Uint32Array(counts.length + 1);
  for (let i = 0; i < counts.length; ++i) starts[i + 1] = starts[i] + counts[i];
  return starts;
}

// The model, once its data is inflated.
function readModel() {
  const data = JSON.parse(document.getElementById('model-data').textContent);
  return inflateSections(data).then(function (sections) {
    const Local = { 1: Uint8Array, 2: Uint16Array, 4: Uint32Array }[data.indexBytes];
    const model = {
      name: data.model,
      note: data.note,
      stale: data.stale,
      firstView: data.firstView,
      colours: data.colours,
      views: data.views,
      rows: parseTable(new TextDecoder().decode(sections.table)),
      // The dataset's records: list, face (0 for none), its number and further numbers as
      // written, file, line.
      records: JSON.parse(new TextDecoder().decode(sections.records)),
      low: new THREE.Vector3().fromArray(data.low),
      high: new THREE.Vector3().fromArray(data.high),
      faceNodes: readArray(sections.faceNodes, Uint32Array),
      faceTriangles: readArray(sections.faceTriangles, Uint32Array),
      faceEdges: readArray(sections.faceEdges, Uint32Array),
      faceCulled: readArray(sections.faceCulled, Uint8Array),
      positions: readPositions(sections.positions),
      edgeLengths: readArray(sections.edgeLengths, Uint32Array)
    };
    model.nodeStarts = startsOf(model.faceNodes);
    model.triangleStarts = startsOf(model.faceTriangles);
    const Index = model.positions.length / 3 > 65536 ? Uint32Array : Uint16Array;
    model.triangles = globalIndices(readArray(sections.triangles, Local),
      model.faceTriangles.map(function (t) { return 3 * t; }), model.nodeStarts, Index);
    // Each face's edges run through as many indices as their lengths add up to.
    const edgeStarts = startsOf(model.faceEdges), lengthStarts = startsOf(model.edgeLengths);
    model.edgeNodes = globalIndices(readArray(sections.edgeNodes, Local),
      model.faceEdges.map(function (e, face) {
        return lengthStarts[edgeStarts[face + 1]] - lengthStarts[edgeStarts[face]];
      }), model.nodeStarts, Index);
    // A face visited twice is drawn once, as its first visit; visits[i] are the numbers of the
    // drawn face i, its own first.
    model.drawnAs = model.rows.map(function (row, i) {
      return row.same_as === '-' ? i : Number(row.same_as) - 1;
    });
    model.visits = model.rows.map(function () { return []; });
    model.rows.forEach(function (row, i) { model.visits[model.drawnAs[i]].push(i + 1); });
    return model;
  });
}

// A point of the row ('c' centre, 'p' inside the face, 'n' normal), or null where it is nan.
function rowVector(row, prefix) {
  const v = new THREE.Vector3(Number(row[prefix + 'x']), Number(row[prefix + 'y']),
                              Number(row[prefix + 'z']));
  return isFinite(v.x) && isFinite(v.y) && isFinite(v.z) ? v : null;
}

// The node `n` in model units.
function nodePosition(model, n, target) {
  const extent = new THREE.Vector3().subVectors(model.high, model.low);
  const p = model.positions;
  return target.set(p[3 * n] / 65535, p[3 * n + 1] / 65535, p[3 * n + 2] / 65535)
    .multiply(extent).add(model.low);
}
