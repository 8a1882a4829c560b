"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const { execFileSync } = require("node:child_process");
const { loadWebApp, plain } = require("../test-support/gas-fakes.js");

// fuzz/WebAppCsv.cpp ports parseCsv for the sheet_csv fuzz target, which trusts it to read
// what the desktop posts as the sheet would. ctest names the port's tool (webapp-csv-port);
// a plain `node --test` without a build passes this by.
const tool = process.env.CLIPFERRY_WEBAPP_CSV_PORT;
const corpus = path.join(__dirname, "..", "..", "fuzz", "corpus", "sheet_csv");

test("the fuzz target's port reads the corpus exactly as Code.gs does", { skip: !tool }, () => {
  const { app } = loadWebApp();
  const files = fs.readdirSync(corpus).map((name) => path.join(corpus, name));
  const ported = JSON.parse(execFileSync(tool, files, { encoding: "utf8" }));
  assert.equal(ported.length, files.length);
  for (const { file, text, rows } of ported)
    assert.deepEqual(plain(app.parseCsv(text)), rows, file);
});
