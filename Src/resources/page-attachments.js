// Files attached to a message: the kinds accepted, the size each language-model service takes
// (images scaled down to fit), and the chips and thumbnails that show them.

var ACCEPTED_TYPES = {
  'png': 'image/png', 'jpg': 'image/jpeg', 'jpeg': 'image/jpeg',
  'tif': 'image/tiff', 'tiff': 'image/tiff', 'pdf': 'application/pdf'
};
// What each language-model service takes per file (as the add-on checks it too): larger
// images are scaled down to fit, larger PDFs refused, before anything is sent.
var MB = 1024 * 1024;
var ATTACHMENT_LIMITS = {
  anthropic: { name: 'Anthropic', image: 3.75 * MB, document: 24 * MB },
  openai: { name: 'OpenAI', image: 20 * MB, document: 24 * MB }
};
var MODEL_READS_IMAGE = { 'image/png': true, 'image/jpeg': true };
var MAX_UNSCALED_BYTES = 24 * MB;  // PDF and TIFF: not read in full only to be refused

function mediaTypeOf(file) {
  var ext = (file.name.split('.').pop() || '').toLowerCase();
  var byName = ACCEPTED_TYPES[ext];
  var declared = (file.type || '').toLowerCase();
  for (var key in ACCEPTED_TYPES) { if (ACCEPTED_TYPES[key] === declared) return declared; }
  return byName || null;
}

function readAsBase64(file) {
  return new Promise(function (resolve, reject) {
    var reader = new FileReader();
    reader.onload = function () {
      var result = String(reader.result);
      resolve(result.slice(result.indexOf(',') + 1));
    };
    reader.onerror = function () { reject(reader.error || new Error('Cannot read ' + file.name)); };
    reader.readAsDataURL(file);
  });
}

function megabytes(bytes) { return (Math.round(bytes / MB * 100) / 100) + ' MB'; }

function decodedSize(base64) {
  var padding = /==$/.test(base64) ? 2 : /=$/.test(base64) ? 1 : 0;
  return Math.floor(base64.length / 4) * 3 - padding;
}

// Why file cannot go to the chosen service as it is, or '' when it can.
function overLimit(file) {
  var limits = ATTACHMENT_LIMITS[chosenProvider()];
  var isDocument = file.mediaType === 'application/pdf';
  if (!isDocument && !MODEL_READS_IMAGE[file.mediaType]) return '';
  var limit = isDocument ? limits.document : limits.image;
  if (decodedSize(file.data) <= limit) return '';
  return file.name + ' is ' + megabytes(decodedSize(file.data)) + '; ' + limits.name + ' takes ' +
    (isDocument ? 'PDF files' : 'images') + ' of at most ' + megabytes(limit) + '.';
}

function loadImage(file) {
  return new Promise(function (resolve, reject) {
    var img = new Image();
    img.onload = function () { resolve(img); };
    img.onerror = function () { reject(new Error('Cannot read ' + file.name)); };
    img.src = 'data:' + file.mediaType + ';base64,' + file.data;
  });
}

// An image too large for the chosen service, re-encoded as JPEG at shrinking sizes until it
// fits; null when even a small one does not.
async function scaledToFit(file) {
  var img = await loadImage(file);
  var limit = ATTACHMENT_LIMITS[chosenProvider()].image;
  var canvas = document.createElement('canvas');
  for (var scale = 1; scale > 0.05; scale *= 0.75) {
    canvas.width = Math.max(1, Math.round(img.naturalWidth * scale));
    canvas.height = Math.max(1, Math.round(img.naturalHeight * scale));
    var context = canvas.getContext('2d');
    context.fillStyle = '#fff';  // a transparent plan keeps a white ground, not a black one
    context.fillRect(0, 0, canvas.width, canvas.height);
    context.drawImage(img, 0, 0, canvas.width, canvas.height);
    var url = canvas.toDataURL('image/jpeg', 0.85);
    var data = url.slice(url.indexOf(',') + 1);
    if (decodedSize(data) <= limit) {
      return { name: file.name.replace(/\.[^.]*$/, '') + '.jpg', mediaType: 'image/jpeg', data: data };
    }
  }
  return null;
}

// The file as it can be sent to the chosen service, or null (the user is told why).
async function fitForSending(file) {
  var problem = overLimit(file);
  if (!problem) return file;
  if (file.mediaType !== 'application/pdf') {
    try {
      var scaled = await scaledToFit(file);
      if (scaled) { toast(file.name + ' was scaled down to ' + megabytes(decodedSize(scaled.data)) + ' to fit.'); return scaled; }
    } catch (e) { /* refused below */ }
  }
  toast(problem);
  return null;
}

async function addFiles(fileList) {
  // The input is cleared as soon as the files are taken, so work on a copy of its list.
  var files = Array.prototype.slice.call(fileList || []);
  for (var i = 0; i < files.length; i++) {
    var file = files[i];
    var mediaType = mediaTypeOf(file);
    if (!mediaType) { toast(file.name + ': only PNG, JPEG, TIFF and PDF files can be attached.'); continue; }
    if (!MODEL_READS_IMAGE[mediaType] && file.size > MAX_UNSCALED_BYTES) {
      toast(file.name + ' is ' + megabytes(file.size) + '; ' + (mediaType === 'application/pdf' ? 'PDF' : 'TIFF') +
        ' files of at most ' + megabytes(MAX_UNSCALED_BYTES) + ' can be attached.');
      continue;
    }
    try {
      var fitting = await fitForSending({ name: file.name, mediaType: mediaType, data: await readAsBase64(file) });
      if (fitting) pendingFiles.push(fitting);
    } catch (e) { toast(String(e.message || e)); }
  }
  renderAttachments();
  updateSendState();
}

// A thumbnail when the image data is at hand (a large one replayed by the add-on comes
// without), otherwise a badge naming the kind of file.
function previewNode(file, className) {
  if ((file.mediaType === 'image/png' || file.mediaType === 'image/jpeg') && file.data) {
    var img = el('img', className);
    img.alt = '';
    img.src = 'data:' + file.mediaType + ';base64,' + file.data;
    return img;
  }
  var badge = { 'application/pdf': 'PDF', 'image/tiff': 'TIFF', 'image/png': 'PNG', 'image/jpeg': 'JPEG' };
  return el('div', 'file-badge', badge[file.mediaType] || 'FILE');
}

function renderAttachments() {
  attachmentsEl.textContent = '';
  attachmentsEl.hidden = pendingFiles.length === 0;
  pendingFiles.forEach(function (file, index) {
    var chip = el('div', 'chip');
    chip.appendChild(previewNode(file));
    chip.appendChild(el('span', 'chip-name', file.name));
    var remove = el('button', 'chip-remove', '\u00d7');
    remove.type = 'button';
    remove.title = 'Remove';
    remove.addEventListener('click', function () { pendingFiles.splice(index, 1); renderAttachments(); updateSendState(); });
    chip.appendChild(remove);
    attachmentsEl.appendChild(chip);
  });
}
