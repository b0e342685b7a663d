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

// Shows row `i` of the table (-1 hides the panel); the list is the sets' as they stand, for
// every visit of the face, as its colour is.
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
    ['list', listOf(sets, visits)],
    ['same_as', row.same_as]
  ];
  if (visits.length > 1) {
    cells.push(['visited as', visits.map(function (n) {
      return n + ' (' + listOf(sets, [n]) + ')';
    }).join(', ')]);
  }
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

function numbersInput(className, label) {
  const input = document.createElement('input');
  input.type = 'text';
  input.className = className;
  input.spellcheck = false;
  input.autocomplete = 'off';
  input.setAttribute('aria-label', label);
  return input;
}

// Marks a box whose own numbers the reader would not take.
function markNumbers(box, text, name) {
  const wrong = String(numberWords(text).length > 0 && checkNumbers(text, name) !== '');
  if (box.getAttribute('aria-invalid') !== wrong) box.setAttribute('aria-invalid', wrong);
}

// What an empty box of set `name` stands for.
function placeholderOf(lists, name) {
  return numberWords(lists.every[name]).join(' ') || furtherCounts[name] + ' numbers';
}

// The row of face `n` in set `name`: its number, then a box for each of its records.
function faceItem(lists, name, n) {
  const item = document.createElement('li');
  item.dataset.face = n;
  item.appendChild(document.createElement('span')).textContent = n;
  lists.records[name].get(n).forEach(function (record) {
    const input = item.appendChild(numbersInput('numbers', name + ' numbers of face ' + n));
    input.value = record.numbers;
    input.placeholder = placeholderOf(lists, name);
    if (record.from) input.title = 'as ' + record.from + ' has it';
    input.record = record;
    markNumbers(input, record.numbers, name);
  });
  return item;
}

// Lists the faces of each set; with `name` and `n`, only face n of that set came or went, and
// only its row changes: a set of 10,000 faces is not built again for each click.
function showSets(lists, name, n) {
  (name ? [name] : Object.keys(lists.sets)).forEach(function (name) {
    const section = document.getElementById('set-' + name);
    section.querySelector('.count').textContent = '(' + lists.sets[name].size + ')';
    const faces = section.querySelector('.faces');
    if (n === undefined) {
      faces.textContent = '';
      const rows = document.createDocumentFragment();
      sortedNumbers(lists.sets[name]).forEach(function (m) {
        rows.appendChild(faceItem(lists, name, m));
      });
      faces.appendChild(rows);
    } else {
      // The rows are sorted by face: the first of a number from n up is where n goes.
      const items = faces.children;
      let low = 0, high = items.length;
      while (low < high) {
        const middle = (low + high) >> 1;
        if (Number(items[middle].dataset.face) < n) low = middle + 1; else high = middle;
      }
      const at = items[low] || null;
      if (at && Number(at.dataset.face) === n) at.remove();
      else if (lists.sets[name].has(n)) faces.insertBefore(faceItem(lists, name, n), at);
    }
    checkSet(lists, name);
  });
}

// Says what is wrong in set `name`, and lets it be copied and downloaded only when nothing is.
function checkSet(lists, name) {
  const section = document.getElementById('set-' + name);
  const problems = setProblems(lists, name), list = section.querySelector('.problems');
  list.textContent = '';
  problems.slice(0, 4).concat(problems.length > 4 ? ['and ' + (problems.length - 4) +
    ' more faces with numbers to mend'] : []).forEach(function (problem) {
    list.appendChild(document.createElement('li')).textContent = problem;
  });
  const writable = lists.sets[name].size > 0 && !problems.length;
  section.querySelectorAll('button').forEach(function (b) { b.disabled = !writable; });
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

// What the boxes and buttons of each set do, and where its records came from.
function wireSets(lists) {
  Object.keys(lists.sets).forEach(function (name) {
    const section = document.getElementById('set-' + name);
    const every = section.querySelector('.every');
    every.placeholder = furtherCounts[name] + ' numbers';
    section.addEventListener('input', function (event) {
      const box = event.target;
      if (box === every) {
        lists.every[name] = every.value;
        const placeholder = placeholderOf(lists, name);
        section.querySelectorAll('.numbers').forEach(function (input) {
          if (input.placeholder !== placeholder) input.placeholder = placeholder;
        });
      } else if (box.record) {
        box.record.numbers = box.value;
      }
      markNumbers(box, box.value, name);
      checkSet(lists, name);
    });
    const notes = [];
    if (lists.files[name].length) {
      const files = lists.files[name];
      notes.push('From ' + files.join(', ') + (files.length > 1
        ? '; a list file from here holds them all, in place of those ' + files.length
        : '') + '.');
    }
    if (lists.leftOut[name].length) {
      notes.push('Left out, naming no face: ' + someOf(lists.leftOut[name], 5) + '.');
    }
    section.querySelector('.from').textContent = notes.join(' ');
    section.querySelector('.copy').addEventListener('click', function () {
      const count = recordCount(lists, name);
      copyText(listFileText(lists, name)).then(function () {
        say('copied ' + count + ' ' + name + ' record' + (count === 1 ? '' : 's'));
      }, function (error) {
        say('cannot copy: ' + error.message, true);
      });
    });
    section.querySelector('.download').addEventListener('click', function () {
      downloadText(name + '.txt', listFileText(lists, name));
    });
  });
}
