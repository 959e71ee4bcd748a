# QuenlixCsv from PowerShell. Register the DLL that matches the PowerShell you run (as
# administrator): the 64-bit QuenlixCsv.dll with %SystemRoot%\System32\regsvr32 for the normal
# 64-bit PowerShell, the 32-bit one with %SystemRoot%\SysWOW64\regsvr32 for "Windows PowerShell
# (x86)". Then:
#     powershell -ExecutionPolicy Bypass -File CsvExample.ps1
$csv = New-Object -ComObject Quenlix.Csv

# The first line names the columns; the delimiter (, or ;) is found by the load.
$csv.HasColumnNames = 1
$ok = $csv.LoadFromString("Name;City;Visits`r`nAnn;Oslo;3`r`nBob;Lyon;5`r`n")
"Loaded: $ok, $($csv.NumRows) rows, $($csv.NumColumns) columns, delimiter '$($csv.Delimiter)'"

for ($row = 0; $row -lt $csv.NumRows; $row++) {
    "  {0} visited {1} {2} times" -f $csv.GetCell($row, $csv.GetIndex("Name")),
        $csv.GetCell($row, $csv.GetIndex("City")), $csv.GetCell($row, 2)
}

# Change a cell and save as UTF-8 beside the script; results are 1 or 0, never exceptions.
[void]$csv.SetCell(1, 2, "6")
$path = Join-Path $env:TEMP "quenlixcsv-example.csv"
"Saved: $($csv.SaveFile2($path, 'utf-8'))"

# What the last load or save did, as text (XML and HTML forms too).
$csv.LastErrorText
"Example finished."
