' Late-bound suite run by run_scripts.sh as "cscript //nologo CsvSuite.vbs SCRATCH-FOLDER\" with
' the cases of CsvCases.txt there in UTF-16: "pass" or "FAIL" per case, then "SUITE COMPLETE"
' (Wine's cscript stops silently at a run-time error). Wine's VBScript has no Eval or Execute.
Option Explicit
Dim scratch, failures, cases(200), numCases, line, f, i, progId, obj
scratch = WScript.Arguments(0)
failures = 0
numCases = 0

' A field of the case file: a number, or a quoted text with its escapes.
Function Field(s)
    If Left(s, 1) <> """" Then
        Field = CLng(s)
    Else
        Field = Replace(Replace(Replace(Replace(Mid(s, 2, Len(s) - 2), "\r", vbCr), "\n", vbLf), "\t", vbTab), "@", scratch)
    End If
End Function

Function CallMember(o, a) ' Len is the script's own, not a member
    Select Case a(0)
        Case "LastErrorText": CallMember = o.LastErrorText
        Case "LastErrorXml": CallMember = o.LastErrorXml
        Case "LastErrorHtml": CallMember = o.LastErrorHtml
        Case "SaveLastError": CallMember = o.SaveLastError(a(1))
        Case "Crlf": CallMember = o.Crlf
        Case "Crlf=": o.Crlf = a(1): CallMember = o.Crlf
        Case "Delimiter": CallMember = o.Delimiter
        Case "Delimiter=": o.Delimiter = a(1): CallMember = o.Delimiter
        Case "HasColumnNames": CallMember = o.HasColumnNames
        Case "HasColumnNames=": o.HasColumnNames = a(1): CallMember = o.HasColumnNames
        Case "NumColumns": CallMember = o.NumColumns
        Case "NumRows": CallMember = o.NumRows
        Case "GetCell": CallMember = o.GetCell(a(1), a(2))
        Case "GetColumnName": CallMember = o.GetColumnName(a(1))
        Case "GetIndex": CallMember = o.GetIndex(a(1))
        Case "GetNumCols": CallMember = o.GetNumCols(a(1))
        Case "LoadFile": CallMember = o.LoadFile(a(1))
        Case "LoadFile2": CallMember = o.LoadFile2(a(1), a(2))
        Case "LoadFromString": CallMember = o.LoadFromString(a(1))
        Case "SaveFile": CallMember = o.SaveFile(a(1))
        Case "SaveFile2": CallMember = o.SaveFile2(a(1), a(2))
        Case "SaveToString": CallMember = o.SaveToString
        Case "SetCell": CallMember = o.SetCell(a(1), a(2), a(3))
        Case "SetColumnName": CallMember = o.SetColumnName(a(1), a(2))
        Case "Len": CallMember = Len(a(1))
        Case Else: CallMember = Null
    End Select
End Function

Sub Check(name, got, want)
    Dim ok
    ok = Not IsNull(got) And (VarType(got) = vbString) = (VarType(want) = vbString)
    If ok And VarType(want) = vbString And Left(want, 1) = "~" Then
        ok = InStr(got, Mid(want, 2)) > 0
    ElseIf ok Then
        ok = (got = want)
    End If
    If ok Then
        WScript.Echo "pass " & progId & " " & name
    Else
        failures = failures + 1
        WScript.Echo "FAIL " & progId & " " & name & ": got [" & Replace(Replace(got & "", vbCr, "\r"), vbLf, "\n") & "]"
    End If
End Sub

For Each line In Split(Replace(CreateObject("Scripting.FileSystemObject").OpenTextFile(scratch & "CsvCases.txt", 1, False, -1).ReadAll, vbCr, ""), vbLf)
    If line <> "" And Left(line, 1) <> "#" Then
        f = Split(line, " | ")
        For i = 1 To UBound(f)
            f(i) = Field(f(i))
        Next
        cases(numCases) = f
        numCases = numCases + 1
    End If
Next
For Each progId In Array("QuenlixCsv.QuenlixCsv.1", "QuenlixCsv.QuenlixCsv", "Quenlix.Csv.1", "Quenlix.Csv")
    Set obj = CreateObject(progId)
    For i = 0 To numCases - 1
        Check "#" & i & " " & cases(i)(0), CallMember(obj, cases(i)), cases(i)(UBound(cases(i)))
    Next
Next
WScript.Echo "SUITE COMPLETE " & failures & " failures"
