"use strict";
// Small stand-ins for the Apps Script services Code.gs uses, strict where the
// real services are strict (range bounds, value array shape) so that a fault
// the real sheet would reject fails here too. Kept outside test/ because
// `node --test` runs every .js file under a test/ directory as a test file.

const fs = require("node:fs");
const path = require("node:path");
const vm = require("node:vm");

const CODE_PATH = path.join(__dirname, "..", "Code.gs");

// Shared, ordered record of everything the fakes were asked to do, so tests
// can check ordering across objects (lock vs. writes, format vs. values).
class EventLog {
  constructor() {
    this.events = [];
  }
  add(event) {
    this.events.push(event);
  }
  ops() {
    return this.events.map((e) => e.op);
  }
  of(op) {
    return this.events.filter((e) => e.op === op);
  }
}

function checkInteger(name, value, min) {
  if (!Number.isInteger(value) || value < min) {
    throw new Error(`getRange: ${name} must be an integer >= ${min}, got ${value}`);
  }
}

// How Sheets stores a written value: typed text only when the cell is already
// plain text; otherwise formulas and numbers are interpreted.
function interpret(value, format) {
  if (typeof value !== "string") return { kind: typeof value, value };
  if (format === "@") return { kind: "text", value };
  if (value.startsWith("=")) return { kind: "formula", value };
  if (/^[+-]?(\d+\.?\d*|\.\d+)$/.test(value.trim())) return { kind: "number", value: Number(value) };
  return { kind: "text", value };
}

class FakeRange {
  constructor(sheet, row, column, numRows, numColumns) {
    this.sheet = sheet;
    this.row = row;
    this.column = column;
    this.numRows = numRows;
    this.numColumns = numColumns;
  }
  describe(op, extra) {
    return {
      op,
      sheet: this.sheet.name,
      row: this.row,
      column: this.column,
      numRows: this.numRows,
      numColumns: this.numColumns,
      ...extra,
    };
  }
  forEachCell(fn) {
    for (let r = 0; r < this.numRows; r++) {
      for (let c = 0; c < this.numColumns; c++) fn(this.row + r, this.column + c, r, c);
    }
  }
  setNumberFormat(format) {
    this.forEachCell((r, c) => {
      this.sheet.cell(r, c).format = format;
    });
    this.sheet.log.add(this.describe("setNumberFormat", { format }));
    return this;
  }
  setValues(values) {
    if (!Array.isArray(values) || values.length !== this.numRows) {
      throw new Error(
        `setValues: data has ${Array.isArray(values) ? values.length : "no"} rows but the range has ${this.numRows}`
      );
    }
    values.forEach((rowValues, i) => {
      if (!Array.isArray(rowValues) || rowValues.length !== this.numColumns) {
        throw new Error(
          `setValues: row ${i} has ${Array.isArray(rowValues) ? rowValues.length : "no"} columns but the range has ${this.numColumns}`
        );
      }
    });
    this.forEachCell((r, c, i, j) => {
      const cell = this.sheet.cell(r, c);
      const stored = interpret(values[i][j], cell.format);
      cell.value = stored.value;
      cell.kind = stored.kind;
    });
    this.sheet.log.add(this.describe("setValues", { values: values.map((r) => r.slice()) }));
    return this;
  }
  clearContent() {
    this.forEachCell((r, c) => {
      const cell = this.sheet.cells.get(`${r},${c}`);
      if (cell) {
        cell.value = "";
        cell.kind = "text";
      }
    });
    this.sheet.log.add(this.describe("clearContent"));
    return this;
  }
}

class FakeSheet {
  constructor(name, log, { maxRows = 1000, maxColumns = 26 } = {}) {
    this.name = name;
    this.log = log;
    this.maxRows = maxRows;
    this.maxColumns = maxColumns;
    this.cells = new Map();
  }
  cell(row, column) {
    const key = `${row},${column}`;
    let cell = this.cells.get(key);
    if (!cell) {
      cell = { value: "", kind: "text", format: "" };
      this.cells.set(key, cell);
    }
    return cell;
  }
  getRange(row, column, numRows = 1, numColumns = 1) {
    checkInteger("row", row, 1);
    checkInteger("column", column, 1);
    checkInteger("numRows", numRows, 1);
    checkInteger("numColumns", numColumns, 1);
    if (row + numRows - 1 > this.maxRows || column + numColumns - 1 > this.maxColumns) {
      throw new Error("The coordinates of the range are outside the dimensions of the sheet.");
    }
    return new FakeRange(this, row, column, numRows, numColumns);
  }
  filled() {
    return [...this.cells.entries()]
      .filter(([, cell]) => cell.value !== "")
      .map(([key]) => key.split(",").map(Number));
  }
  getLastRow() {
    return this.filled().reduce((m, [r]) => Math.max(m, r), 0);
  }
  getLastColumn() {
    return this.filled().reduce((m, [, c]) => Math.max(m, c), 0);
  }
  getMaxRows() {
    return this.maxRows;
  }
  getMaxColumns() {
    return this.maxColumns;
  }
  insertRowsAfter(afterPosition, howMany) {
    if (afterPosition !== this.maxRows) throw new Error("fake only supports appending rows");
    this.maxRows += howMany;
    this.log.add({ op: "insertRowsAfter", sheet: this.name, afterPosition, howMany });
  }
  insertColumnsAfter(afterPosition, howMany) {
    if (afterPosition !== this.maxColumns) throw new Error("fake only supports appending columns");
    this.maxColumns += howMany;
    this.log.add({ op: "insertColumnsAfter", sheet: this.name, afterPosition, howMany });
  }
  // Test view: the used block as a grid of stored values.
  grid() {
    const rows = this.getLastRow();
    const cols = this.getLastColumn();
    const out = [];
    for (let r = 1; r <= rows; r++) {
      const line = [];
      for (let c = 1; c <= cols; c++) {
        const cell = this.cells.get(`${r},${c}`);
        line.push(cell ? cell.value : "");
      }
      out.push(line);
    }
    return out;
  }
  // Fills cells directly, standing in for content left by an earlier export.
  preload(rows) {
    rows.forEach((line, r) =>
      line.forEach((value, c) => {
        const cell = this.cell(r + 1, c + 1);
        cell.value = value;
        cell.kind = "text";
      })
    );
  }
}

class FakeSpreadsheet {
  constructor(log = new EventLog()) {
    this.log = log;
    this.sheets = new Map();
  }
  addSheet(name, options) {
    const sheet = new FakeSheet(name, this.log, options);
    this.sheets.set(name, sheet);
    return sheet;
  }
  getSheetByName(name) {
    return this.sheets.get(name) || null;
  }
  insertSheet(name) {
    if (this.sheets.has(name)) throw new Error(`A sheet with the name "${name}" already exists.`);
    this.log.add({ op: "insertSheet", sheet: name });
    return this.addSheet(name);
  }
}

class FakeLock {
  constructor(log, { available = true } = {}) {
    this.log = log;
    this.available = available;
    this.held = false;
  }
  tryLock(timeoutMs) {
    this.log.add({ op: "tryLock", timeoutMs, granted: this.available });
    if (this.available) this.held = true;
    return this.available;
  }
  waitLock(timeoutMs) {
    if (!this.tryLock(timeoutMs)) throw new Error("Lock timeout");
  }
  hasLock() {
    return this.held;
  }
  releaseLock() {
    this.log.add({ op: "releaseLock", wasHeld: this.held });
    this.held = false;
  }
}

// Loads Code.gs into a fresh context holding only the fakes, the way Apps
// Script puts all top-level declarations of a project into one global scope.
function loadWebApp({
  spreadsheet = new FakeSpreadsheet(),
  lockAvailable = true,
  flushThrows = null,
  properties = {},
} = {}) {
  const log = spreadsheet.log;
  const lock = new FakeLock(log, { available: lockAvailable });
  const errors = [];
  const context = {
    SpreadsheetApp: {
      getActiveSpreadsheet: () => spreadsheet,
      flush: () => {
        log.add({ op: "flush" });
        if (flushThrows) throw flushThrows;
      },
    },
    ContentService: {
      createTextOutput: (text) => ({
        content: text,
        getContent() {
          return this.content;
        },
      }),
    },
    LockService: {
      getScriptLock: () => lock,
    },
    PropertiesService: {
      getScriptProperties: () => ({
        getProperty: (name) => (Object.hasOwn(properties, name) ? properties[name] : null),
      }),
    },
    console: {
      log: () => {},
      info: () => {},
      warn: () => {},
      error: (...args) => errors.push(args),
    },
  };
  vm.createContext(context);
  vm.runInContext(fs.readFileSync(CODE_PATH, "utf8"), context, { filename: CODE_PATH });
  return { app: context, spreadsheet, lock, log, errors };
}

// Arrays made inside the vm context have another Array prototype, which
// deepStrictEqual counts as a difference; copying through JSON drops it.
function plain(value) {
  return JSON.parse(JSON.stringify(value));
}

module.exports = { EventLog, FakeSheet, FakeSpreadsheet, FakeLock, loadWebApp, plain };
