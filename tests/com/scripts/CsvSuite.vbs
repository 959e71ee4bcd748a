' Late-bound suite of the QuenlixCsv component, run by tests/com/run_scripts.sh as
'   cscript //nologo CsvSuite.vbs SCRATCH-FOLDER\
' after regsvr32. It creates the object by each ProgID and calls all 24 members through
' IDispatch. One line per case: "pass ..." or "FAIL ...", then "SUITE COMPLETE". Wine's cscript
' stops silently (exit code 0) at a run-time error, so the runner also requires the last line.
'
' The VBScript engine of Wine 8 has no ChrW or AscW, so the text beyond ASCII comes from files the
' runner wrote: samples.txt (UTF-16 with byte-order mark, read through Scripting.FileSystemObject)
' and the same samples as CSV in UTF-8 and UTF-16 (ref-utf8.csv, ref-utf16.csv).
Option Explicit

Dim scratch, fso, samples, progId, failures
scratch = WScript.Arguments(0)
Set fso = CreateObject("Scripting.FileSystemObject")
failures = 0

Function Show(v)
    If IsNull(v) Then
        Show = "(Null)"
    Else
        Show = Replace(Replace(CStr(v), vbCr, "\r"), vbLf, "\n")
    End If
End Function

Sub Check(name, got, want)
    If VarType(got) = vbString And VarType(want) <> vbString Then
        Report name, False, "got string " & Show(got) & ", want " & Show(want)
    ElseIf got = want Then
        Report name, True, ""
    Else
        Report name, False, "got [" & Show(got) & "], want [" & Show(want) & "]"
    End If
End Sub

Sub CheckTrue(name, cond, detail)
    Report name, cond, detail
End Sub

Sub Report(name, ok, detail)
    If ok Then
        WScript.Echo "pass " & progId & " " & name
    Else
        failures = failures + 1
        WScript.Echo "FAIL " & progId & " " & name & ": " & detail
    End If
End Sub

Function StartsWith(s, head)
    StartsWith = (Left(s, Len(head)) = head)
End Function

Function EndsWith(s, tail)
    EndsWith = (Len(s) >= Len(tail)) And (Right(s, Len(tail)) = tail)
End Function

Function ReadSamples()
    Dim f, text
    Set f = fso.OpenTextFile(scratch & "samples.txt", 1, False, -1)
    text = f.ReadAll
    f.Close
    If EndsWith(text, vbCrLf) Then text = Left(text, Len(text) - 2)
    ReadSamples = Split(text, vbCrLf)
End Function

Sub NewObjectState(o)
    Check "new: Crlf", o.Crlf, 1
    Check "new: HasColumnNames", o.HasColumnNames, 0
    Check "new: Delimiter", o.Delimiter, ","
    Check "new: NumRows", o.NumRows, 0
    Check "new: NumColumns", o.NumColumns, 0
    Check "new: LastErrorText", o.LastErrorText, "QuenlixLog:" & vbCrLf
    Check "new: LastErrorXml", o.LastErrorXml, "<QuenlixLog>" & vbCrLf & "</QuenlixLog>" & vbCrLf
    Check "new: LastErrorHtml", o.LastErrorHtml, "QuenlixLog:<blockquote>" & vbCrLf & "</blockquote>" & vbCrLf
    Check "new: SaveToString", o.SaveToString, ""
End Sub

Sub Flags(o)
    Dim written, reads, i
    written = Array(1, -1, 2, 0, 7)
    reads = Array(1, 1, 1, 0, 1)
    For i = 0 To UBound(written)
        o.Crlf = written(i)
        Check "Crlf written " & written(i), o.Crlf, reads(i)
        o.HasColumnNames = written(i)
        Check "HasColumnNames written " & written(i), o.HasColumnNames, reads(i)
    Next
End Sub

Sub Delimiters(o)
    o.Delimiter = "|;"
    Check "Delimiter from two characters", o.Delimiter, "|"
    o.Delimiter = ""
    Check "Delimiter unchanged by empty text", o.Delimiter, "|"
    Check "Delimiter set before a load: load ok", o.LoadFromString("a" & vbTab & "b"), 1
    Check "Delimiter detected anew by the load", o.Delimiter, ";"
    Check "one cell with the tab in it", o.GetCell(0, 0), "a" & vbTab & "b"
    o.Delimiter = vbTab
    Check "tab set after the load splits the row", o.GetCell(0, 1), "b"
End Sub

Sub CellsAndCounts(o)
    Check "LoadFromString empty", o.LoadFromString(""), 1
    Check "empty load has no rows", o.NumRows, 0
    Check "LoadFromString two rows", o.LoadFromString("a,b" & vbCrLf & "c,d" & vbCrLf), 1
    Check "NumRows", o.NumRows, 2
    Check "NumColumns", o.NumColumns, 2
    Check "GetNumCols", o.GetNumCols(1), 2
    Check "GetCell", o.GetCell(1, 1), "d"
    Check "GetCell beyond the row's fields", o.GetCell(0, 9), ""
    ' A missing row gives a null BSTR; script engines show it as an empty string.
    Check "GetCell missing row is a string", VarType(o.GetCell(5, 0)), vbString
    Check "GetCell missing row is empty", o.GetCell(5, 0), ""
    Check "GetCell negative row is empty", o.GetCell(-1, 0), ""
    Check "SetCell quotes a delimiter", o.SetCell(0, 1, "x,y"), 1
    Check "SetCell grows the table", o.SetCell(3, 0, "e"), 1
    Check "SetCell negative row", o.SetCell(-1, 0, "no"), 0
    Check "NumRows after growth", o.NumRows, 4
    o.Crlf = 1
    Check "SaveToString CR LF", o.SaveToString, "a,""x,y""" & vbCrLf & "c,d" & vbCrLf & vbCrLf & "e" & vbCrLf
    o.Crlf = 0
    Check "SaveToString LF", o.SaveToString, "a,""x,y""" & vbLf & "c,d" & vbLf & vbLf & "e" & vbLf
End Sub

Sub ColumnNames(o)
    o.HasColumnNames = 1
    Check "load with column names", o.LoadFromString("Name,Age" & vbLf & "Bob,7" & vbLf), 1
    Check "names: NumRows", o.NumRows, 1
    Check "names: NumColumns", o.NumColumns, 2
    Check "GetColumnName", o.GetColumnName(1), "Age"
    Check "GetColumnName beyond the names", o.GetColumnName(5), ""
    Check "GetIndex", o.GetIndex("Age"), 1
    Check "GetIndex is case-sensitive", o.GetIndex("age"), -1
    Check "SetColumnName", o.SetColumnName(1, "Years"), 1
    Check "SetColumnName negative", o.SetColumnName(-1, "x"), 0
    Check "GetIndex after rename", o.GetIndex("Years"), 1
    Check "save with names", o.SaveToString, "Name,Years" & vbCrLf & "Bob,7" & vbCrLf
End Sub

Sub Files(o, tag)
    Dim path, back, t
    path = scratch & tag & "-ansi.csv"
    o.LoadFromString "k,v" & vbLf & "1,2"
    Check "SaveFile", o.SaveFile(path), 1
    Set back = CreateObject(progId)
    Check "LoadFile", back.LoadFile(path), 1
    Check "LoadFile cell", back.GetCell(1, 1), "2"
    t = back.LastErrorText
    CheckTrue "LoadFile report frame", StartsWith(t, "QuenlixLog:" & vbCrLf & "  LoadFile:" & vbCrLf), Show(t)
    CheckTrue "LoadFile report success", EndsWith(t, "    Success." & vbCrLf), Show(t)
    Check "SaveFile2 windows-1252", o.SaveFile2(path, "windows-1252"), 1
    Check "LoadFile2 windows-1252", back.LoadFile2(path, "windows-1252"), 1
    Check "LoadFile2 cell", back.GetCell(0, 1), "v"
End Sub

Sub FailedLoad(o)
    Dim t
    o.LoadFromString "a,b"
    Check "LoadFile of a missing file", o.LoadFile(scratch & "no-such-file.csv"), 0
    Check "failed load empties the table", o.NumRows, 0
    Check "failed load: GetCell", o.GetCell(0, 0), ""
    t = o.LastErrorText
    CheckTrue "LastErrorText frame", StartsWith(t, "QuenlixLog:" & vbCrLf & "  LoadFile:" & vbCrLf & "    DllDate: Mar 10 2009" & vbCrLf), Show(t)
    CheckTrue "LastErrorText error code", InStr(t, vbCrLf & "    WindowsError: 0x2" & vbCrLf) > 0, Show(t)
    CheckTrue "LastErrorText ends Failed.", EndsWith(t, vbCrLf & "    Failed." & vbCrLf), Show(t)
    t = o.LastErrorXml
    CheckTrue "LastErrorXml", EndsWith(t, "<error>Failed.</error>" & vbCrLf & "</LoadFile>" & vbCrLf & "</QuenlixLog>" & vbCrLf), Show(t)
    t = o.LastErrorHtml
    CheckTrue "LastErrorHtml", EndsWith(t, "Failed.<br>" & vbCrLf & "</blockquote>" & vbCrLf & "</blockquote>" & vbCrLf), Show(t)
    t = o.LastErrorText
    o.GetCell 0, 0
    o.SetCell 0, 0, "x"
    o.Crlf = 0
    Check "unlogged calls keep the report", o.LastErrorText, t
    Check "SaveLastError", o.SaveLastError(scratch & "report.xml"), 1
    Check "SaveLastError blank path", o.SaveLastError("  "), 0
    CheckTrue "SaveLastError wrote the report", fso.GetFile(scratch & "report.xml").Size = Len(o.LastErrorXml), "size"
End Sub

Sub NonAscii(tag)
    Dim charsets, c, i, a, b, path, ref
    charsets = Array("utf-8", "unicode")
    For Each c In charsets
        For i = 0 To UBound(samples)
            path = scratch & tag & "-" & c & ".csv"
            Set a = CreateObject(progId)
            a.SetCell 0, 0, samples(i)
            Check c & " sample " & i & " saved", a.SaveFile2(path, c), 1
            Set b = CreateObject(progId)
            Check c & " sample " & i & " loaded", b.LoadFile2(path, c), 1
            Check c & " sample " & i & " survives", b.GetCell(0, 0), samples(i)
        Next
    Next
    ' Files made outside the component read back as the same texts.
    Set ref = CreateObject(progId)
    Check "ref-utf8.csv loads", ref.LoadFile2(scratch & "ref-utf8.csv", "utf-8"), 1
    For i = 0 To UBound(samples)
        Check "ref-utf8.csv row " & i, ref.GetCell(i, 0), samples(i)
    Next
    Check "ref-utf16.csv loads", ref.LoadFile2(scratch & "ref-utf16.csv", "unicode"), 1
    For i = 0 To UBound(samples)
        Check "ref-utf16.csv row " & i, ref.GetCell(i, 0), samples(i)
    Next
End Sub

Sub Independence()
    Dim a, b
    Set a = CreateObject(progId)
    Set b = CreateObject(progId)
    a.Crlf = 0
    a.LoadFromString "only,in,a"
    Check "objects keep their own settings", b.Crlf, 1
    Check "objects keep their own tables", b.NumRows, 0
End Sub

samples = ReadSamples()
Dim progIds, tag, obj
progIds = Array("QuenlixCsv.QuenlixCsv.1", "QuenlixCsv.QuenlixCsv", "Quenlix.Csv.1", "Quenlix.Csv")
tag = 0
For Each progId In progIds
    tag = tag + 1
    Set obj = CreateObject(progId)
    CheckTrue "CreateObject", IsObject(obj), ""
    NewObjectState CreateObject(progId)
    Flags CreateObject(progId)
    Delimiters CreateObject(progId)
    CellsAndCounts CreateObject(progId)
    ColumnNames CreateObject(progId)
    Files CreateObject(progId), "vbs" & tag
    FailedLoad CreateObject(progId)
    NonAscii "vbs" & tag
    Independence
Next
WScript.Echo "SUITE COMPLETE " & failures & " failures"
