// The panels around the view: the row of the face pointed at, the two sets with their list
// files, the legend's colours and the line of messages.

function hexColour(text) {
  return [1, 3, 5].map(function (at) { return parseInt(text.substr(at, 2), 16); });
}

function paintSwatches(colours) {
  document.querySelectorAll('.swatch').forEach(function (swatch) {
    const list = swatch.dataset.list;
    if (list === 'highlight') {
      swatch.style.background = '#' + highlightColour.toString(16).padStart(6, '0');
    } else if (list === 'both') {
      swatch.style.background = 'repeating-linear-gradient(45deg, ' + colours.stripe +
        ' 0 3px, ' + colours.both + ' 3px 8px)';
    } else {
      swatch.style.background = colours[list];
    }
  });
}

function say(text, problem) {
  const message = document.getElementById('message');
  message.textContent = '';
  if (text) message.appendChild(document.createElement('span')).textContent = text;
  message.className = problem ? 'problem' : '';
}

// The lists that name face `number` now, as the table's list column would name them.
function listOf(sets, numbers) {
  const inForce = numbers.some(function (n) { return sets.force.has(n); });
  const inRestraint = numbers.some(function (n) { return sets.restraint.has(n); });
  return inForce && inRestraint ? 'both' : inForce ? 'force' : inRestraint ? 'restraint' : '-';
}

// Shows row `i` of the table (-1 hides the panel); the list is the sets' as they stand.
function showFaceRow(model, sets, i) {
  const panel = document.getElementById('face-panel');
  panel.hidden = i < 0;
  if (i < 0) return;
  const row = model.rows[i];
  document.getElementById('face-number').textContent = row.face;
  const visits = model.visits[model.drawnAs[i]];
  const cells = [
    ['type', row.type],
    ['area', row.area],
    ['centre', [row.cx, row.cy, row.cz].join('  ')],
    ['point', [row.px, row.py, row.pz].join('  ')],
    ['normal', [row.nx, row.ny, row.nz].join('  ')],
    ['list', listOf(sets, [Number(row.face)])],
    ['same_as', row.same_as]
  ];
  if (visits.length > 1) cells.push(['visited as', visits.join(' ')]);
  if (row.stale === 'yes') cells.push(['stale', 'no longer the face its list was written for']);
  const body = document.getElementById('face-cells');
  body.textContent = '';
  cells.forEach(function (cell) {
    const tr = body.insertRow();
    const th = document.createElement('th');
    th.textContent = cell[0];
    tr.appendChild(th);
    tr.insertCell().textContent = cell[1];
  });
}

function showSets(sets) {
  ['force', 'restraint'].forEach(function (name) {
    const section = document.getElementById('set-' + name);
    const numbers = sortedNumbers(sets[name]);
    section.querySelector('.count').textContent = '(' + numbers.length + ')';
    section.querySelector('.numbers').textContent = numbers.join(' ');
    section.querySelectorAll('button').forEach(function (b) { b.disabled = !numbers.length; });
  });
}

function copyText(text) {
  if (navigator.clipboard && window.isSecureContext) return navigator.clipboard.writeText(text);
  // Older browsers, and pages a browser does not count as secure: the selection's copy.
  return new Promise(function (resolve, reject) {
    const area = document.createElement('textarea');
    area.value = text;
    document.body.appendChild(area);
    area.select();
    const copied = document.execCommand('copy');
    area.remove();
    if (copied) resolve(); else reject(new Error('the browser refused to copy'));
  });
}

function downloadText(fileName, text) {
  const url = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = fileName;
  document.body.appendChild(link);
  link.click();
  link.remove();
  // Not at once: some browsers read the blob only after the click has returned.
  setTimeout(function () { URL.revokeObjectURL(url); }, 60000);
}

function wireSetButtons(sets) {
  ['force', 'restraint'].forEach(function (name) {
    const section = document.getElementById('set-' + name);
    section.querySelector('.copy').addEventListener('click', function () {
      const count = sets[name].size;
      copyText(listFileText(sets[name], name)).then(function () {
        say('copied ' + count + ' ' + name + ' record' + (count === 1 ? '' : 's'));
      }, function (error) {
        say('cannot copy: ' + error.message, true);
      });
    });
    section.querySelector('.download').addEventListener('click', function () {
      downloadText(name + '.txt', listFileText(sets[name], name));
    });
  });
}
