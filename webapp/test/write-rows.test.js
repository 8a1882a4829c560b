"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { loadWebApp, FakeSpreadsheet, plain } = require("../test-support/gas-fakes.js");

const HEADER = ["index", "filename", "playback_url"];

function setup(sheetOptions) {
  const spreadsheet = new FakeSpreadsheet();
  const sheet = spreadsheet.addSheet("Videos", sheetOptions);
  const { app, log } = loadWebApp({ spreadsheet });
  return { app, sheet, log };
}

function library(count) {
  const rows = [HEADER];
  for (let i = 1; i <= count; i++) {
    rows.push([String(i), `clip${i}.mp4`, `https://stream.example.com/id${i}.m3u8`]);
  }
  return rows;
}

test("writes all rows from A1", () => {
  const { app, sheet } = setup();
  const rows = library(3);
  app.writeRows(sheet, rows);
  assert.deepEqual(sheet.grid(), rows);
});

test("plain-text format is set before the values, over exactly the written range", () => {
  const { app, sheet, log } = setup();
  app.writeRows(sheet, [HEADER, ["1", "a.mp4", "u"], ["2", "b.mp4"]]);

  const ops = log.ops();
  const formatAt = ops.indexOf("setNumberFormat");
  const valuesAt = ops.indexOf("setValues");
  assert.ok(formatAt >= 0, `no setNumberFormat call in ${ops}`);
  assert.ok(valuesAt >= 0, `no setValues call in ${ops}`);
  assert.ok(formatAt < valuesAt, `format must come first, got ${ops}`);

  const [format] = log.of("setNumberFormat");
  const [values] = log.of("setValues");
  assert.equal(format.format, "@");
  const area = ({ row, column, numRows, numColumns }) => ({ row, column, numRows, numColumns });
  assert.deepEqual(area(format), { row: 1, column: 1, numRows: 3, numColumns: 3 });
  assert.deepEqual(area(values), area(format));
});

test("values that look like formulas or numbers are stored as the text sent", () => {
  const { app, sheet } = setup();
  const rows = [
    HEADER,
    ["1", "=cmd|' /C calc'!A0", "+1"],
    ["2", "0012", "-3.50"],
    ["3", "=HYPERLINK(\"http://x\")", "1e5"],
  ];
  app.writeRows(sheet, rows);
  assert.deepEqual(sheet.grid(), rows);
  for (let r = 1; r <= rows.length; r++) {
    for (let c = 1; c <= 3; c++) {
      const cell = sheet.cell(r, c);
      assert.equal(cell.kind, "text", `cell ${r},${c} stored as ${cell.kind}`);
      assert.equal(typeof cell.value, "string");
    }
  }
});

test("rows of differing width are padded to a rectangle", () => {
  const { app, sheet, log } = setup();
  app.writeRows(sheet, [HEADER, ["1", "a", "b", "c"], ["2"]]);
  const [values] = log.of("setValues");
  assert.equal(values.numColumns, 4);
  assert.deepEqual(plain(values.values), [
    ["index", "filename", "playback_url", ""],
    ["1", "a", "b", "c"],
    ["2", "", "", ""],
  ]);
});

test("does not change the caller's row arrays while padding", () => {
  const { app, sheet } = setup();
  const rows = [HEADER, ["1"]];
  app.writeRows(sheet, rows);
  assert.deepEqual(rows, [HEADER, ["1"]]);
});

test("a second, shorter write clears the leftover rows", () => {
  const { app, sheet, log } = setup();
  app.writeRows(sheet, library(5));
  app.writeRows(sheet, library(2));
  assert.deepEqual(sheet.grid(), library(2));
  assert.equal(sheet.getLastRow(), 3);

  const cleared = log.of("clearContent");
  assert.equal(cleared.length, 1);
  assert.equal(cleared[0].row, 4);
  assert.equal(cleared[0].numRows, 3);
  assert.ok(cleared[0].column === 1 && cleared[0].numColumns >= 3);
});

test("header-only write clears every earlier data row", () => {
  const { app, sheet } = setup();
  app.writeRows(sheet, library(4));
  app.writeRows(sheet, [HEADER]);
  assert.deepEqual(sheet.grid(), [HEADER]);
});

test("leftover columns to the right of a narrower write are cleared", () => {
  const { app, sheet } = setup();
  sheet.preload([
    ["index", "filename", "playback_url", "note", "extra"],
    ["1", "old.mp4", "u1", "n1", "e1"],
    ["2", "old2.mp4", "u2", "n2", "e2"],
    ["3", "old3.mp4", "u3", "n3", "e3"],
  ]);
  const rows = library(2);
  app.writeRows(sheet, rows);
  assert.deepEqual(sheet.grid(), rows);
  assert.equal(sheet.getLastColumn(), 3);
  assert.equal(sheet.getLastRow(), 3);
});

test("a longer write after a shorter one needs no clearing", () => {
  const { app, sheet, log } = setup();
  app.writeRows(sheet, library(1));
  app.writeRows(sheet, library(4));
  assert.deepEqual(sheet.grid(), library(4));
  assert.equal(log.of("clearContent").length, 0);
});

test("grows the sheet when the list is longer or wider than its grid", () => {
  const { app, sheet } = setup({ maxRows: 1000, maxColumns: 2 });
  const rows = library(1200);
  app.writeRows(sheet, rows);
  assert.ok(sheet.getMaxRows() >= 1201);
  assert.ok(sheet.getMaxColumns() >= 3);
  assert.deepEqual(sheet.grid(), rows);
});

test("writing no rows clears the old content", () => {
  const { app, sheet } = setup();
  sheet.preload(library(2));
  app.writeRows(sheet, []);
  assert.deepEqual(sheet.grid(), []);
});
