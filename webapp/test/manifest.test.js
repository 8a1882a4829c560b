"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");

const manifest = JSON.parse(fs.readFileSync(path.join(__dirname, "..", "appsscript.json"), "utf8"));

test("manifest deploys a V8 web app that runs as the owner and takes anonymous posts", () => {
  // The desktop app sends no credentials, so anything stricter than anonymous access
  // turns every export into a sign-in page.
  assert.deepEqual(manifest.webapp, { executeAs: "USER_DEPLOYING", access: "ANYONE_ANONYMOUS" });
  assert.equal(manifest.runtimeVersion, "V8");
  assert.equal(manifest.exceptionLogging, "STACKDRIVER");
  assert.equal(typeof manifest.timeZone, "string");
  assert.ok(manifest.timeZone.length > 0);
});

test("manifest asks for the spreadsheets scope", () => {
  assert.ok(manifest.oauthScopes.includes("https://www.googleapis.com/auth/spreadsheets"));
});
