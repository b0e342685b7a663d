// The two sets and their records: the numbers that follow a face number in a list file, given
// for the whole set or face by face, checked as tarnfold's list reader would take them, and the
// list file that a set gives.

// How many numbers follow the face number in a record of each list.
const furtherCounts = { force: 2, restraint: 6 };

// A number as the reader's extraction of a double takes it, whole: digits with a point, a sign
// and an exponent. No 'inf', 'nan', hexadecimal or decimal comma; a number that overflows a
// double stops the reader too.
const numberPattern = /^[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?$/;

// The words of a record's numbers, split at the blanks that the reader skips: a blank of any
// other kind (a no-break space) stays inside a word, which is then no number.
function numberWords(text) {
  return text.split(/[ \t\n\v\f\r]+/).filter(function (word) { return word !== ''; });
}

// What is wrong with `text` as the further numbers of a record of list `name`, or ''.
function checkNumbers(text, name) {
  const words = numberWords(text), count = furtherCounts[name];
  for (let k = 0; k < words.length; ++k) {
    const word = words[k], shown = "'" + (word.length > 24 ? word.slice(0, 24) + '...' : word) +
      "'";
    if (!numberPattern.test(word)) {
      return shown + ' is not a number' + (/[0-9],[0-9]/.test(word)
        ? ': a list file takes a decimal point, not a comma'
        : ' (write it as 12, -0.5 or 2.5e3)');
    }
    if (!isFinite(Number(word))) return shown + ' is larger than a list file can hold';
  }
  if (words.length !== count) {
    return words.length + ' number' + (words.length === 1 ? '' : 's') + ' where a ' + name +
      ' record has ' + count;
  }
  return '';
}

// The first `most` items, and how many more there are.
function someOf(items, most) {
  return items.slice(0, most).join(', ') +
    (items.length > most ? ' and ' + (items.length - most) + ' more' : '');
}

function sortedNumbers(set) {
  return Array.from(set).sort(function (a, b) { return a - b; });
}

// The sets as the page starts them: the faces that the table lists, with the dataset's own
// records, their numbers as the files write them. A face listed and taken out keeps its records
// for when it comes back. lists.every[name] is the set's numbers for a face with none of its own.
function startLists(model) {
  const lists = { sets: {}, records: {}, every: {}, files: {}, leftOut: {} };
  Object.keys(furtherCounts).forEach(function (name) {
    lists.sets[name] = new Set();
    lists.records[name] = new Map();
    lists.every[name] = '';
    lists.files[name] = [];
    lists.leftOut[name] = [];
  });
  model.records.forEach(function (r) {
    const name = r[0], face = r[1], from = r[4] + ' line ' + r[5];
    if (lists.files[name].indexOf(r[4]) < 0) lists.files[name].push(r[4]);
    if (!face) {
      lists.leftOut[name].push(r[2] + ' (' + from + ')');
      return;
    }
    if (!lists.records[name].has(face)) lists.records[name].set(face, []);
    lists.records[name].get(face).push({ numbers: r[3], from: from });
  });
  model.rows.forEach(function (row) {
    const n = Number(row.face);
    if (row.list === 'force' || row.list === 'both') addFace(lists, 'force', n);
    if (row.list === 'restraint' || row.list === 'both') addFace(lists, 'restraint', n);
  });
  return lists;
}

// A face added to a set without records of its own gets one that takes the set's numbers.
function addFace(lists, name, n) {
  lists.sets[name].add(n);
  if (!lists.records[name].has(n)) lists.records[name].set(n, [{ numbers: '', from: '' }]);
}

// The numbers that a record stands for: its own, or else the set's.
function numbersOf(lists, name, record) {
  return numberWords(record.numbers).length ? record.numbers : lists.every[name];
}

// What keeps set `name` from making a list file, one line each; none when it can.
function setProblems(lists, name) {
  const problems = [], unnumbered = [];
  if (numberWords(lists.every[name]).length) {
    const problem = checkNumbers(lists.every[name], name);
    if (problem) problems.push('every face: ' + problem);
  }
  sortedNumbers(lists.sets[name]).forEach(function (n) {
    lists.records[name].get(n).forEach(function (record) {
      const numbers = numbersOf(lists, name, record);
      if (!numberWords(numbers).length) {
        if (unnumbered.indexOf(n) < 0) unnumbered.push(n);
      } else if (numbers === record.numbers) {
        const problem = checkNumbers(numbers, name);
        if (problem) problems.push('face ' + n + ': ' + problem);
      }
    });
  });
  if (unnumbered.length) {
    problems.push('no numbers yet for face' + (unnumbered.length === 1 ? ' ' : 's ') +
                  someOf(unnumbered, 12) + ': give them for every face, or face by face');
  }
  return problems;
}

function recordCount(lists, name) {
  let count = 0;
  lists.sets[name].forEach(function (n) { count += lists.records[name].get(n).length; });
  return count;
}

// The list file of a set: its records sorted by face, a face's own in the order they came, each
// on a line of its own with one blank between two numbers. Only for a set without problems.
function listFileText(lists, name) {
  let text = '';
  sortedNumbers(lists.sets[name]).forEach(function (n) {
    lists.records[name].get(n).forEach(function (record) {
      text += n + ' ' + numberWords(numbersOf(lists, name, record)).join(' ') + '\n';
    });
  });
  return text;
}
