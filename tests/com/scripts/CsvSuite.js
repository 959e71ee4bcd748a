// Late-bound suite run by run_scripts.sh as "cscript //nologo CsvSuite.js SCRATCH-FOLDER\" with
// the cases of CsvCases.txt there in UTF-16: "pass" or "FAIL" per case, then "SUITE COMPLETE"
// (Wine's cscript stops silently at a run-time error).
var scratch = WScript.Arguments(0);
var properties = {LastErrorText: 1, LastErrorXml: 1, LastErrorHtml: 1, Crlf: 1, Delimiter: 1,
                  HasColumnNames: 1, NumColumns: 1, NumRows: 1};
var cases = [], failures = 0;

// A field of the case file: a number, or a quoted text with its escapes.
function field(s) {
    if (s.charAt(0) !== "\"") return parseInt(s, 10);
    return s.slice(1, -1).replace(/\\r/g, "\r").replace(/\\n/g, "\n").replace(/\\t/g, "\t")
        .replace(/@/g, scratch);
}

function callMember(o, c) {
    var m = c[0], a = c.slice(1, c.length - 1);
    if (m.charAt(m.length - 1) === "=") {
        m = m.slice(0, -1);
        o[m] = a[0];
        return o[m];
    }
    if (properties[m]) return o[m];
    if (m === "Len") return a[0].length; // the script's own, not a member
    switch (a.length) {
        case 0: return o[m]();
        case 1: return o[m](a[0]);
        case 2: return o[m](a[0], a[1]);
        default: return o[m](a[0], a[1], a[2]);
    }
}

var fso = new ActiveXObject("Scripting.FileSystemObject");
var lines = fso.OpenTextFile(scratch + "CsvCases.txt", 1, false, -1).ReadAll().split(/\r?\n/);
for (var l = 0; l < lines.length; l++) {
    if (lines[l] === "" || lines[l].charAt(0) === "#") continue;
    var f = lines[l].split(" | ");
    for (var i = 1; i < f.length; i++) f[i] = field(f[i]);
    cases.push(f);
}

var progIds = ["QuenlixCsv.QuenlixCsv.1", "QuenlixCsv.QuenlixCsv", "Quenlix.Csv.1", "Quenlix.Csv"];
for (var p = 0; p < progIds.length; p++) {
    var obj = new ActiveXObject(progIds[p]);
    for (var n = 0; n < cases.length; n++) {
        var got = callMember(obj, cases[n]), want = cases[n][cases[n].length - 1];
        var ok = typeof want === "string" && want.charAt(0) === "~"
                     ? typeof got === "string" && got.indexOf(want.substr(1)) >= 0
                     : got === want;
        if (!ok) failures++;
        WScript.Echo((ok ? "pass " : "FAIL ") + progIds[p] + " #" + n + " " + cases[n][0] +
                     (ok ? "" : ": got [" + String(got).replace(/\r/g, "\\r").replace(/\n/g, "\\n") +
                                    "] (" + typeof got + ")"));
    }
}
WScript.Echo("SUITE COMPLETE " + failures + " failures");
