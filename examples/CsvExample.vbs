' QuenlixCsv from VBScript. Register the component once (as administrator):
'     regsvr32 QuenlixCsv.dll
' then run:
'     cscript //nologo CsvExample.vbs
Option Explicit

Dim csv, fso, path, i, row, ok

Set csv = CreateObject("Quenlix.Csv")

' Load a table from a string. The first line names the columns.
csv.HasColumnNames = 1
ok = csv.LoadFromString("Name,City,Visits" & vbCrLf & "Ann,Oslo,3" & vbCrLf & "Bob,Lyon,5" & vbCrLf)
WScript.Echo "Loaded: " & ok & ", " & csv.NumRows & " rows, " & csv.NumColumns & " columns, delimiter '" & csv.Delimiter & "'"

' Read cells by row and column (both counted from 0; the name line is not a row).
For row = 0 To csv.NumRows - 1
    WScript.Echo "  " & csv.GetCell(row, csv.GetIndex("Name")) & " visited " & _
        csv.GetCell(row, csv.GetIndex("City")) & " " & csv.GetCell(row, 2) & " times"
Next

' Change the table: a cell, a new row, a column name. Values with the delimiter get quoted.
csv.SetCell 0, 2, "4"
csv.SetCell 2, 0, "Cy"
csv.SetCell 2, 1, "Rome, Italy"
csv.SetCell 2, 2, "1"
csv.SetColumnName 2, "Trips"
WScript.Echo "As CSV text:"
WScript.Echo csv.SaveToString

' Save in a named charset and read it back into a second object.
Set fso = CreateObject("Scripting.FileSystemObject")
path = fso.GetSpecialFolder(2) & "\quenlixcsv-example.csv"
WScript.Echo "SaveFile2 utf-8: " & csv.SaveFile2(path, "utf-8")
Dim copy
Set copy = CreateObject("Quenlix.Csv")
copy.HasColumnNames = 1
WScript.Echo "LoadFile2 utf-8: " & copy.LoadFile2(path, "utf-8") & ", row 2 city: " & copy.GetCell(2, 1)
WScript.Echo "What the load recorded:"
WScript.Echo copy.LastErrorText

' A load that fails returns 0 and explains itself in the last-error report.
If copy.LoadFile(path & ".missing") = 0 Then
    WScript.Echo "LoadFile failed as expected; the report says:"
    WScript.Echo copy.LastErrorText
End If
fso.DeleteFile path
WScript.Echo "Example finished."
