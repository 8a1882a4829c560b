/**
 * Clipferry sheet export web app.
 *
 * The desktop app POSTs its whole video library as CSV text ("text/plain") and
 * this script mirrors it into the "Videos" sheet of the spreadsheet it is bound
 * to. Every post carries the complete list, so each write replaces what the
 * previous one left behind.
 *
 * The functions take the sheet as a parameter and touch Apps Script globals only
 * in doPost, so the tests can run this file under Node against fake objects.
 */

var SHEET_NAME = "Videos";

// Script property holding the shared key; when set, a post must carry
// "?key=<the same text>" in its address.
var KEY_PROPERTY = "CLIPFERRY_KEY";

// The desktop app gives up after 60 s of silence; waiting half of that for a
// concurrent post to finish still leaves time for our own write.
var LOCK_WAIT_MS = 30000;

// "@" makes Sheets keep every value as typed text. Without it a file name such
// as "=HYPERLINK(...)" would become a live formula and "0012" would lose its
// leading zeros.
var PLAIN_TEXT_FORMAT = "@";

/**
 * Web app entry point. Apps Script always answers 200 for a returned
 * TextOutput, so failures are reported in the body text, starting with "ERROR".
 */
function doPost(e) {
  if (!isAllowed(e, PropertiesService.getScriptProperties().getProperty(KEY_PROPERTY))) {
    return textOutput_("ERROR not allowed");
  }
  var body = e && e.postData ? e.postData.contents : undefined;
  if (typeof body !== "string" || body.length === 0) {
    return textOutput_("ERROR empty request body, expected CSV text");
  }
  var rows = parseCsv(body);
  if (rows.length === 0) {
    return textOutput_("ERROR no CSV rows in request body");
  }

  // Two exports can arrive close together; interleaved writes would mix rows
  // of both lists, so the last post to get the lock wins whole.
  var lock = LockService.getScriptLock();
  if (!lock.tryLock(LOCK_WAIT_MS)) {
    return textOutput_("ERROR sheet busy, try again");
  }
  try {
    var sheet = getOrCreateSheet_(SpreadsheetApp.getActiveSpreadsheet(), SHEET_NAME);
    writeRows(sheet, rows);
    // Pending writes are otherwise committed after the lock is released, where
    // the next post could already be writing.
    SpreadsheetApp.flush();
  } catch (err) {
    // A caught error is not logged by Apps Script itself; keep it findable.
    console.error(err);
    return textOutput_("ERROR " + (err && err.message ? err.message : String(err)));
  } finally {
    lock.releaseLock();
  }
  return textOutput_("OK " + rows.length + " rows");
}

/**
 * Whether a request may write: always when no key is set, otherwise only when
 * its "key" parameter matches. The comparison takes the same time wherever
 * the texts differ, so the key cannot be guessed one character at a time.
 */
function isAllowed(e, expected) {
  if (expected === null || expected === undefined || expected === "") return true;
  var given = e && e.parameter ? e.parameter.key : undefined;
  if (typeof given !== "string" || given.length !== expected.length) return false;
  var difference = 0;
  for (var i = 0; i < expected.length; i++) {
    difference |= given.charCodeAt(i) ^ expected.charCodeAt(i);
  }
  return difference === 0;
}

/**
 * Splits CSV text into rows of string fields, following RFC 4180 and
 * tolerating the looser output of older app builds that did not quote:
 * - a field starting with a double quote runs to the matching closing quote;
 *   inside it, "" is one quote and commas, CR and LF are data;
 * - CRLF, LF and a lone CR all end a record;
 * - a final line end does not start another (empty) record;
 * - stray quotes inside an unquoted field and text after a closing quote are
 *   kept as data, and an unclosed quote runs to the end of the text, rather
 *   than rejecting the whole list over one odd file name.
 */
function parseCsv(text) {
  var rows = [];
  var row = [];
  var field = "";
  var atFieldStart = true;
  // Whether anything of the current record has been read; tells a trailing
  // line end apart from a last record that is a single empty field.
  var recordOpen = false;
  var n = text.length;
  // A byte-order mark would otherwise become part of the first header name.
  var i = text.charCodeAt(0) === 0xfeff ? 1 : 0;

  while (i < n) {
    var c = text.charAt(i);
    if (atFieldStart && c === '"') {
      i += 1;
      for (;;) {
        var q = text.indexOf('"', i);
        if (q < 0) {
          field += text.slice(i);
          i = n;
          break;
        }
        field += text.slice(i, q);
        if (text.charAt(q + 1) === '"') {
          field += '"';
          i = q + 2;
        } else {
          i = q + 1;
          break;
        }
      }
      atFieldStart = false;
      recordOpen = true;
    } else if (c === ",") {
      row.push(field);
      field = "";
      atFieldStart = true;
      recordOpen = true;
      i += 1;
    } else if (c === "\n" || c === "\r") {
      row.push(field);
      rows.push(row);
      row = [];
      field = "";
      atFieldStart = true;
      recordOpen = false;
      i += c === "\r" && text.charAt(i + 1) === "\n" ? 2 : 1;
    } else {
      field += c;
      atFieldStart = false;
      recordOpen = true;
      i += 1;
    }
  }
  if (recordOpen) {
    row.push(field);
    rows.push(row);
  }
  return rows;
}

/**
 * Writes rows to the sheet from A1 as plain text and clears whatever an
 * earlier, longer or wider list left outside the new block.
 */
function writeRows(sheet, rows) {
  var height = rows.length;
  var width = 0;
  for (var r = 0; r < height; r++) {
    width = Math.max(width, rows[r].length);
  }
  // Measured before writing: afterwards the new block would hide how far the
  // old content reached.
  var oldLastRow = sheet.getLastRow();
  var oldLastColumn = sheet.getLastColumn();

  if (height > 0 && width > 0) {
    ensureSize_(sheet, height, width);
    // setValues rejects ragged arrays; short rows (e.g. a line split by an
    // unquoted line break) are padded with empty cells.
    var values = rows.map(function (row) {
      var padded = row.slice();
      while (padded.length < width) padded.push("");
      return padded;
    });
    var range = sheet.getRange(1, 1, height, width);
    // The format must be in place before the values arrive: Sheets interprets
    // a value when it is written, not when the format changes later.
    range.setNumberFormat(PLAIN_TEXT_FORMAT);
    range.setValues(values);
  }

  if (oldLastRow > height) {
    sheet
      .getRange(height + 1, 1, oldLastRow - height, Math.max(oldLastColumn, width, 1))
      .clearContent();
  }
  if (height > 0 && oldLastColumn > width) {
    sheet.getRange(1, width + 1, height, oldLastColumn - width).clearContent();
  }
}

function getOrCreateSheet_(spreadsheet, name) {
  return spreadsheet.getSheetByName(name) || spreadsheet.insertSheet(name);
}

// getRange throws for coordinates past the sheet's grid, and a new sheet has
// only 1000 rows and 26 columns, less than a large library needs.
function ensureSize_(sheet, height, width) {
  var maxRows = sheet.getMaxRows();
  if (maxRows < height) sheet.insertRowsAfter(maxRows, height - maxRows);
  var maxColumns = sheet.getMaxColumns();
  if (maxColumns < width) sheet.insertColumnsAfter(maxColumns, width - maxColumns);
}

function textOutput_(text) {
  return ContentService.createTextOutput(text);
}
