// QuenlixCsv from JScript. Register the component once (as administrator):
//     regsvr32 QuenlixCsv.dll
// then run:
//     cscript //nologo CsvExample.js
var csv = new ActiveXObject("Quenlix.Csv");

// Load a table from a string; without a name line every line is a row.
var ok = csv.LoadFromString("id;label\n1;caf\u00e9\n2;\u4e2d\u6587\n");
WScript.Echo("Loaded: " + ok + ", " + csv.NumRows + " rows, delimiter '" + csv.Delimiter + "'");

// A row that does not exist reads as an empty string; NumRows tells where the table ends.
for (var row = 0; row < csv.NumRows; row++) {
    WScript.Echo("  row " + row + ": " + csv.GetNumCols(row) + " cells, first '" + csv.GetCell(row, 0) + "'");
}

// Flags read back as 1 or 0. Crlf chooses the line end of saved text.
csv.Crlf = 0;
WScript.Echo("Crlf is now " + csv.Crlf);
csv.SetCell(3, 0, "3");
csv.SetCell(3, 1, "emoji \ud83d\ude00");

// Save as UTF-16 ("unicode") and load it again.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var path = fso.GetSpecialFolder(2) + "\\quenlixcsv-example-js.csv";
WScript.Echo("SaveFile2 unicode: " + csv.SaveFile2(path, "unicode"));
var copy = new ActiveXObject("QuenlixCsv.QuenlixCsv");
WScript.Echo("LoadFile2 unicode: " + copy.LoadFile2(path, "unicode"));
WScript.Echo("Round trip kept the text: " + (copy.GetCell(3, 1) === "emoji \ud83d\ude00"));

// The last load or save, as XML.
WScript.Echo(copy.LastErrorXml);
fso.DeleteFile(path);
WScript.Echo("Example finished.");
