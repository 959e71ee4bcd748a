// Late-bound suite of the QuenlixCsv component in JScript, run by tests/com/run_scripts.sh as
//   cscript //nologo CsvSuite.js SCRATCH-FOLDER\
// after regsvr32. It creates the object by each ProgID and calls all 24 members through
// IDispatch. One line per case: "pass ..." or "FAIL ...", then "SUITE COMPLETE". Wine's cscript
// stops silently (exit code 0) at a run-time error, so the runner also requires the last line.
var scratch = WScript.Arguments(0);
var fso = new ActiveXObject("Scripting.FileSystemObject");
var failures = 0;
var progId = "";

// Text beyond ASCII, built from code units: accents, CJK, a character outside the 16-bit range
// (a surrogate pair), and a value that needs quoting. samples.txt, written by the runner, holds
// the same texts.
var samples = ["caf\u00e9", "\u4e2d\u6587", "\ud83d\ude00", "a,\u00fc"];

function show(v) {
    if (v === null) return "(null)";
    if (v === undefined) return "(undefined)";
    return String(v).replace(/\r/g, "\\r").replace(/\n/g, "\\n");
}
function report(name, ok, detail) {
    if (ok) {
        WScript.Echo("pass " + progId + " " + name);
    } else {
        failures++;
        WScript.Echo("FAIL " + progId + " " + name + ": " + detail);
    }
}
function check(name, got, want) {
    report(name, got === want, "got [" + show(got) + "] (" + typeof got + "), want [" + show(want) + "]");
}
function checkTrue(name, cond, detail) { report(name, cond, show(detail)); }
function startsWith(s, head) { return s.substr(0, head.length) === head; }
function endsWith(s, tail) { return s.length >= tail.length && s.substr(s.length - tail.length) === tail; }
function units(s) {
    var out = [];
    for (var i = 0; i < s.length; i++) out.push(s.charCodeAt(i).toString(16));
    return out.join(" ");
}

function newObjectState(o) {
    check("new: Crlf", o.Crlf, 1);
    check("new: HasColumnNames", o.HasColumnNames, 0);
    check("new: Delimiter", o.Delimiter, ",");
    check("new: NumRows", o.NumRows, 0);
    check("new: NumColumns", o.NumColumns, 0);
    check("new: LastErrorText", o.LastErrorText, "QuenlixLog:\r\n");
    check("new: LastErrorXml", o.LastErrorXml, "<QuenlixLog>\r\n</QuenlixLog>\r\n");
    check("new: LastErrorHtml", o.LastErrorHtml, "QuenlixLog:<blockquote>\r\n</blockquote>\r\n");
    check("new: SaveToString", o.SaveToString(), "");
}

function flags(o) {
    var cases = [[1, 1], [-1, 1], [2, 1], [0, 0], [7, 1]];
    for (var i = 0; i < cases.length; i++) {
        o.Crlf = cases[i][0];
        check("Crlf written " + cases[i][0], o.Crlf, cases[i][1]);
        o.HasColumnNames = cases[i][0];
        check("HasColumnNames written " + cases[i][0], o.HasColumnNames, cases[i][1]);
    }
}

function delimiters(o) {
    o.Delimiter = "|;";
    check("Delimiter from two characters", o.Delimiter, "|");
    o.Delimiter = "";
    check("Delimiter unchanged by empty text", o.Delimiter, "|");
    check("Delimiter set before a load: load ok", o.LoadFromString("a\tb"), 1);
    check("Delimiter detected anew by the load", o.Delimiter, ";");
    check("one cell with the tab in it", o.GetCell(0, 0), "a\tb");
    o.Delimiter = "\t";
    check("tab set after the load splits the row", o.GetCell(0, 1), "b");
}

function cellsAndCounts(o) {
    check("LoadFromString empty", o.LoadFromString(""), 1);
    check("empty load has no rows", o.NumRows, 0);
    check("LoadFromString two rows", o.LoadFromString("a,b\r\nc,d\r\n"), 1);
    check("NumRows", o.NumRows, 2);
    check("NumColumns", o.NumColumns, 2);
    check("GetNumCols", o.GetNumCols(1), 2);
    check("GetCell", o.GetCell(1, 1), "d");
    check("GetCell beyond the row's fields", o.GetCell(0, 9), "");
    // A missing row gives a null BSTR; the script engine shows it as an empty string, not null.
    var missing = o.GetCell(5, 0);
    check("GetCell missing row is a string", typeof missing, "string");
    check("GetCell missing row is empty", missing, "");
    check("GetCell negative row is empty", o.GetCell(-1, 0), "");
    check("SetCell quotes a delimiter", o.SetCell(0, 1, "x,y"), 1);
    check("SetCell grows the table", o.SetCell(3, 0, "e"), 1);
    check("SetCell negative row", o.SetCell(-1, 0, "no"), 0);
    check("NumRows after growth", o.NumRows, 4);
    o.Crlf = 1;
    check("SaveToString CR LF", o.SaveToString(), "a,\"x,y\"\r\nc,d\r\n\r\ne\r\n");
    o.Crlf = 0;
    check("SaveToString LF", o.SaveToString(), "a,\"x,y\"\nc,d\n\ne\n");
}

function columnNames(o) {
    o.HasColumnNames = 1;
    check("load with column names", o.LoadFromString("Name,Age\nBob,7\n"), 1);
    check("names: NumRows", o.NumRows, 1);
    check("names: NumColumns", o.NumColumns, 2);
    check("GetColumnName", o.GetColumnName(1), "Age");
    check("GetColumnName beyond the names", o.GetColumnName(5), "");
    check("GetIndex", o.GetIndex("Age"), 1);
    check("GetIndex is case-sensitive", o.GetIndex("age"), -1);
    check("SetColumnName", o.SetColumnName(1, "Years"), 1);
    check("SetColumnName negative", o.SetColumnName(-1, "x"), 0);
    check("GetIndex after rename", o.GetIndex("Years"), 1);
    check("save with names", o.SaveToString(), "Name,Years\r\nBob,7\r\n");
}

function files(o, tag) {
    var path = scratch + tag + "-ansi.csv";
    o.LoadFromString("k,v\n1,2");
    check("SaveFile", o.SaveFile(path), 1);
    var back = new ActiveXObject(progId);
    check("LoadFile", back.LoadFile(path), 1);
    check("LoadFile cell", back.GetCell(1, 1), "2");
    var t = back.LastErrorText;
    checkTrue("LoadFile report frame", startsWith(t, "QuenlixLog:\r\n  LoadFile:\r\n"), t);
    checkTrue("LoadFile report success", endsWith(t, "    Success.\r\n"), t);
    check("SaveFile2 windows-1252", o.SaveFile2(path, "windows-1252"), 1);
    check("LoadFile2 windows-1252", back.LoadFile2(path, "windows-1252"), 1);
    check("LoadFile2 cell", back.GetCell(0, 1), "v");
}

function failedLoad(o) {
    o.LoadFromString("a,b");
    check("LoadFile of a missing file", o.LoadFile(scratch + "no-such-file.csv"), 0);
    check("failed load empties the table", o.NumRows, 0);
    check("failed load: GetCell", o.GetCell(0, 0), "");
    var t = o.LastErrorText;
    checkTrue("LastErrorText frame", startsWith(t, "QuenlixLog:\r\n  LoadFile:\r\n    DllDate: Mar 10 2009\r\n"), t);
    checkTrue("LastErrorText error code", t.indexOf("\r\n    WindowsError: 0x2\r\n") > 0, t);
    checkTrue("LastErrorText ends Failed.", endsWith(t, "\r\n    Failed.\r\n"), t);
    var x = o.LastErrorXml;
    checkTrue("LastErrorXml", endsWith(x, "<error>Failed.</error>\r\n</LoadFile>\r\n</QuenlixLog>\r\n"), x);
    var h = o.LastErrorHtml;
    checkTrue("LastErrorHtml", endsWith(h, "Failed.<br>\r\n</blockquote>\r\n</blockquote>\r\n"), h);
    o.GetCell(0, 0);
    o.SetCell(0, 0, "x");
    o.Crlf = 0;
    check("unlogged calls keep the report", o.LastErrorText, t);
    check("SaveLastError", o.SaveLastError(scratch + "report.xml"), 1);
    check("SaveLastError blank path", o.SaveLastError("  "), 0);
    check("SaveLastError wrote the report", fso.GetFile(scratch + "report.xml").Size, x.length);
}

function nonAscii(tag) {
    var charsets = ["utf-8", "unicode"];
    for (var c = 0; c < charsets.length; c++) {
        for (var i = 0; i < samples.length; i++) {
            var path = scratch + tag + "-" + charsets[c] + ".csv";
            var a = new ActiveXObject(progId);
            a.SetCell(0, 0, samples[i]);
            check(charsets[c] + " sample " + i + " saved", a.SaveFile2(path, charsets[c]), 1);
            var b = new ActiveXObject(progId);
            check(charsets[c] + " sample " + i + " loaded", b.LoadFile2(path, charsets[c]), 1);
            var got = b.GetCell(0, 0);
            report(charsets[c] + " sample " + i + " survives", got === samples[i],
                   "units " + units(got) + ", want " + units(samples[i]));
        }
    }
    var ref = new ActiveXObject(progId);
    var refs = [["ref-utf8.csv", "utf-8"], ["ref-utf16.csv", "unicode"]];
    for (var r = 0; r < refs.length; r++) {
        check(refs[r][0] + " loads", ref.LoadFile2(scratch + refs[r][0], refs[r][1]), 1);
        for (var j = 0; j < samples.length; j++) {
            var cell = ref.GetCell(j, 0);
            report(refs[r][0] + " row " + j, cell === samples[j],
                   "units " + units(cell) + ", want " + units(samples[j]));
        }
    }
}

function independence() {
    var a = new ActiveXObject(progId), b = new ActiveXObject(progId);
    a.Crlf = 0;
    a.LoadFromString("only,in,a");
    check("objects keep their own settings", b.Crlf, 1);
    check("objects keep their own tables", b.NumRows, 0);
}

function samplesFileAgrees() {
    var f = fso.OpenTextFile(scratch + "samples.txt", 1, false, -1);
    var text = f.ReadAll();
    f.Close();
    check("samples.txt holds the script's samples", text, samples.join("\r\n") + "\r\n");
}

var progIds = ["QuenlixCsv.QuenlixCsv.1", "QuenlixCsv.QuenlixCsv", "Quenlix.Csv.1", "Quenlix.Csv"];
samplesFileAgrees();
for (var p = 0; p < progIds.length; p++) {
    progId = progIds[p];
    var tag = "js" + (p + 1);
    checkTrue("new ActiveXObject", typeof new ActiveXObject(progId) === "object", "");
    newObjectState(new ActiveXObject(progId));
    flags(new ActiveXObject(progId));
    delimiters(new ActiveXObject(progId));
    cellsAndCounts(new ActiveXObject(progId));
    columnNames(new ActiveXObject(progId));
    files(new ActiveXObject(progId), tag);
    failedLoad(new ActiveXObject(progId));
    nonAscii(tag);
    independence();
}
WScript.Echo("SUITE COMPLETE " + failures + " failures");
