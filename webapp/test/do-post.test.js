"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { loadWebApp, FakeSpreadsheet } = require("../test-support/gas-fakes.js");

const HEADER = ["index", "filename", "playback_url"];
const URL1 = "https://stream.example.com/abc123.m3u8";

// The shape Apps Script hands to doPost for a "text/plain" body.
function postEvent(contents, parameter = {}) {
  return {
    parameter,
    parameters: {},
    queryString: "",
    contentLength: contents.length,
    postData: { contents, length: contents.length, type: "text/plain", name: "postData" },
  };
}

function post(app, contents) {
  return app.doPost(postEvent(contents)).getContent();
}

test("creates the Videos sheet, writes the CSV and answers with the row count", () => {
  const { app, spreadsheet } = loadWebApp();
  const body = `index,filename,playback_url\n1,"Paris, day 1.mp4",${URL1}\n2,(No Title),\n`;
  assert.equal(post(app, body), "OK 3 rows");

  const sheet = spreadsheet.getSheetByName("Videos");
  assert.ok(sheet, "Videos sheet was not created");
  assert.deepEqual(sheet.grid(), [HEADER, ["1", "Paris, day 1.mp4", URL1], ["2", "(No Title)", ""]]);
});

test("writes into an existing Videos sheet and leaves other sheets alone", () => {
  const spreadsheet = new FakeSpreadsheet();
  const other = spreadsheet.addSheet("Sheet1");
  other.preload([["keep me"]]);
  const videos = spreadsheet.addSheet("Videos");
  const { app, log } = loadWebApp({ spreadsheet });

  assert.equal(post(app, "index,filename,playback_url\n1,a.mp4,\n"), "OK 2 rows");
  assert.equal(log.of("insertSheet").length, 0);
  assert.deepEqual(videos.grid(), [HEADER, ["1", "a.mp4", ""]]);
  assert.deepEqual(other.grid(), [["keep me"]]);
  assert.ok(log.events.every((e) => e.sheet === undefined || e.sheet === "Videos"));
});

// Clearing what a longer list left and keeping formula-like names as text are writeRows's
// cases (write-rows.test.js).

test("a request without a body gets a short error text and writes nothing", () => {
  const cases = [
    ["no event", undefined],
    ["no postData", { parameter: {} }],
    ["no contents", { postData: { type: "text/plain", length: 0 } }],
    ["empty contents", postEvent("")],
  ];
  for (const [label, event] of cases) {
    const { app, spreadsheet, log } = loadWebApp();
    const text = app.doPost(event).getContent();
    assert.match(text, /^ERROR /, label);
    assert.ok(text.length < 100, `${label}: answer too long`);
    assert.equal(spreadsheet.getSheetByName("Videos"), null, label);
    assert.deepEqual(log.events, [], label);
  }
});

test("the write happens inside the script lock, flushed before the lock is released", () => {
  const { app, log } = loadWebApp();
  post(app, "index,filename,playback_url\n1,a.mp4,\n");
  const ops = log.ops();
  const at = (op) => ops.indexOf(op);
  assert.ok(at("tryLock") >= 0, `no lock taken: ${ops}`);
  assert.equal(log.of("tryLock")[0].granted, true);
  assert.ok(log.of("tryLock")[0].timeoutMs > 0);
  assert.ok(at("tryLock") < at("insertSheet"), `sheet created outside the lock: ${ops}`);
  assert.ok(at("setValues") < at("flush"), `${ops}`);
  assert.ok(at("flush") < at("releaseLock"), `${ops}`);
  assert.equal(ops.filter((op) => op === "releaseLock").length, 1);
  assert.equal(ops[ops.length - 1], "releaseLock");
});

test("when the lock cannot be had, nothing is written and the answer says so", () => {
  const { app, spreadsheet, log } = loadWebApp({ lockAvailable: false });
  const text = post(app, "index,filename,playback_url\n1,a.mp4,\n");
  assert.match(text, /^ERROR /);
  assert.equal(spreadsheet.getSheetByName("Videos"), null);
  assert.equal(log.of("setValues").length, 0);
});

test("a failing write still releases the lock and answers with an error text", () => {
  const { app, lock, log, errors } = loadWebApp({ flushThrows: new Error("Service Spreadsheets failed") });
  const text = post(app, "index,filename,playback_url\n1,a.mp4,\n");
  assert.equal(text, "ERROR Service Spreadsheets failed");
  assert.equal(lock.held, false);
  assert.equal(log.of("releaseLock").length, 1);
  assert.equal(errors.length, 1, "the failure should be logged");
});

test("a shared key, when set, admits only posts that carry it", () => {
  const body = "index,filename,playback_url\n1,a.mp4,\n";
  const cases = [
    // [label, script property, ?key=, answer]
    ["no key set, none sent", null, undefined, "OK 2 rows"],
    ["no key set, one sent", null, "anything", "OK 2 rows"],
    ["matching key", "s3cret", "s3cret", "OK 2 rows"],
    ["missing key", "s3cret", undefined, "ERROR not allowed"],
    ["wrong key", "s3cret", "s3creT", "ERROR not allowed"],
    ["longer key", "s3cret", "s3cret2", "ERROR not allowed"],
    ["empty key", "s3cret", "", "ERROR not allowed"],
  ];
  for (const [label, property, key, answer] of cases) {
    const properties = property === null ? {} : { CLIPFERRY_KEY: property };
    const { app, spreadsheet } = loadWebApp({ properties });
    const parameter = key === undefined ? {} : { key };
    assert.equal(app.doPost(postEvent(body, parameter)).getContent(), answer, label);
    assert.equal(spreadsheet.getSheetByName("Videos") !== null, answer.startsWith("OK"), label);
  }
});
