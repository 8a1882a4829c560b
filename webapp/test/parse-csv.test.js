"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { loadWebApp, plain } = require("../test-support/gas-fakes.js");

const { app } = loadWebApp();
const parse = (text) => plain(app.parseCsv(text));

const HEADER = ["index", "filename", "playback_url"];
const URL1 = "https://stream.example.com/abc123.m3u8";
const URL2 = "https://stream.example.com/def456.m3u8";

// Quotes a field the RFC 4180 way, as the desktop app does.
function quote(field) {
  return /[",\r\n]/.test(field) ? `"${field.replace(/"/g, '""')}"` : field;
}
function toCsv(rows, lineEnd, finalLineEnd) {
  const text = rows.map((r) => r.map(quote).join(",")).join(lineEnd);
  return finalLineEnd ? text + lineEnd : text;
}

test("header-only input gives one row", () => {
  assert.deepEqual(parse("index,filename,playback_url\n"), [HEADER]);
});

test("typical export with a trailing newline gives no extra empty row", () => {
  const text = `index,filename,playback_url\n1,paris.mp4,${URL1}\n2,rome.mov,${URL2}\n`;
  assert.deepEqual(parse(text), [HEADER, ["1", "paris.mp4", URL1], ["2", "rome.mov", URL2]]);
});

test("input without a trailing newline keeps its last row", () => {
  const text = `index,filename,playback_url\n1,paris.mp4,${URL1}`;
  assert.deepEqual(parse(text), [HEADER, ["1", "paris.mp4", URL1]]);
});

test("CRLF line ends parse like LF line ends", () => {
  const lf = `index,filename,playback_url\n1,a.mp4,${URL1}\n2,,\n`;
  const crlf = lf.replace(/\n/g, "\r\n");
  assert.deepEqual(parse(crlf), parse(lf));
  assert.deepEqual(parse(crlf), [HEADER, ["1", "a.mp4", URL1], ["2", "", ""]]);
});

test("a lone CR also ends a record", () => {
  assert.deepEqual(parse("a,b\rc,d\r"), [["a", "b"], ["c", "d"]]);
});

test("empty fields and an empty trailing field are kept", () => {
  assert.deepEqual(parse("1,(No Title),\n"), [["1", "(No Title)", ""]]);
  assert.deepEqual(parse("1,(No Title),"), [["1", "(No Title)", ""]]);
  assert.deepEqual(parse(",,\n"), [["", "", ""]]);
  assert.deepEqual(parse(`3,,${URL1}\n`), [["3", "", URL1]]);
});

test("quoted field holding commas stays one field", () => {
  assert.deepEqual(parse(`1,"Paris, day 2, take 3.mp4",${URL1}\n`), [
    ["1", "Paris, day 2, take 3.mp4", URL1],
  ]);
});

test("doubled quotes inside a quoted field are one quote", () => {
  assert.deepEqual(parse(`1,"say ""hi"".mp4",${URL1}\n`), [["1", 'say "hi".mp4', URL1]]);
  assert.deepEqual(parse('"""",x\n'), [['"', "x"]]);
  assert.deepEqual(parse('"""quoted"""\n'), [['"quoted"']]);
});

test("quoted empty field is an empty string, including at the end of the text", () => {
  assert.deepEqual(parse('1,"",x\n'), [["1", "", "x"]]);
  assert.deepEqual(parse('1,""'), [["1", ""]]);
});

test("LF inside a quoted field is data, not a record end", () => {
  assert.deepEqual(parse(`1,"line one\nline two.mp4",${URL1}\n2,b.mp4,\n`), [
    ["1", "line one\nline two.mp4", URL1],
    ["2", "b.mp4", ""],
  ]);
});

test("CRLF inside a quoted field is kept as is", () => {
  assert.deepEqual(parse(`1,"a\r\nb.mp4",${URL1}\r\n`), [["1", "a\r\nb.mp4", URL1]]);
  assert.deepEqual(parse('"\r",x'), [["\r", "x"]]);
});

test("empty text gives no rows", () => {
  assert.deepEqual(parse(""), []);
});

test("a blank line inside the text is a row holding one empty field", () => {
  assert.deepEqual(parse("a\n\nb\n"), [["a"], [""], ["b"]]);
});

test("a leading byte-order mark does not leak into the first field", () => {
  assert.deepEqual(parse("\uFEFFindex,filename,playback_url\n"), [HEADER]);
});

test("unquoted lines from older builds parse by plain comma splitting", () => {
  // A comma in an unquoted name widens the row; it must not be merged or dropped.
  assert.deepEqual(parse(`1,a,b.mp4,${URL1}\n`), [["1", "a", "b.mp4", URL1]]);
  // A quote that does not open a field is data.
  assert.deepEqual(parse('1,say "hi".mp4,\n'), [["1", 'say "hi".mp4', ""]]);
});

test("malformed quoting keeps the text instead of losing it", () => {
  assert.deepEqual(parse('1,"ab"c,d\n'), [["1", "abc", "d"]]);
  assert.deepEqual(parse('1,"never closed\n2,x\n'), [["1", "never closed\n2,x\n"]]);
});

test("round trip of awkward names through RFC 4180 quoting", () => {
  const names = [
    "plain.mp4",
    "comma, inside.mp4",
    'quote " inside.mp4',
    '"starts and ends with quotes"',
    "line\nbreak.mp4",
    "crlf\r\nbreak.mp4",
    "cr\ronly.mp4",
    "",
    ",",
    '""',
    "=HYPERLINK(\"x\")",
    "trailing comma,",
    "  spaced  ",
    "ünïcødé 東京 🎬.mp4",
  ];
  const rows = [HEADER, ...names.map((n, i) => [String(i + 1), n, i % 2 ? URL1 : ""])];
  for (const lineEnd of ["\n", "\r\n"]) {
    for (const finalLineEnd of [true, false]) {
      assert.deepEqual(
        parse(toCsv(rows, lineEnd, finalLineEnd)),
        rows,
        `line end ${JSON.stringify(lineEnd)}, final line end ${finalLineEnd}`
      );
    }
  }
});
