' A macro engine written in a script language, run by scripts/windows under wine's cscript: its
' step script, parameters and logger are classes of its own, which answer names only through
' IDispatchEx. Arguments: the connection document's file and the report folder.
' Prints one line per check: "step", "refused", "collection".
Option Explicit

Class Parameter
  Public Value
End Class

Class StepScript
  Public MethodName
  Private parameters

  Private Sub Class_Initialize
    Set parameters = CreateObject("Scripting.Dictionary")
  End Sub

  Public Sub SetParameter(name, value)
    Dim p
    Set p = New Parameter
    p.Value = value
    If parameters.Exists(name) Then parameters.Remove name
    parameters.Add name, p
  End Sub

  Public Function MethodParameters(name)
    If Not parameters.Exists(name) Then
      Err.Raise 5, "ScriptHost.StepScript", "the step has no parameter '" & name & "'"
    End If
    Set MethodParameters = parameters(name)
  End Function
End Class

Class Logger
  Public Lines
  Public Sub LogMacroStepProgressMessage(message, progress, level, project, module, procedure)
    Lines = Lines & "[" & progress & "%] " & message & "; "
  End Sub
End Class

Dim files, connection, script, refused, log, plugin, result, item, walked
Set files = CreateObject("Scripting.FileSystemObject")
connection = files.OpenTextFile(WScript.Arguments(0)).ReadAll()

Set script = New StepScript
script.MethodName = "tarvex"
script.SetParameter "macrocontainerconnectiondocument", connection
script.SetParameter "reportfolder", WScript.Arguments(1)
script.SetParameter "reportmacrostepprogress", True
Set log = New Logger
Set plugin = CreateObject("Tarvex_83.Implementation")

plugin.Execute script, log
WScript.Echo "step: " & log.Lines

Set refused = New StepScript
refused.MethodName = "otherstep"
On Error Resume Next
plugin.Execute refused, log
WScript.Echo "refused: " & Err.Number & " | " & Err.Source & " | " & Err.Description
Err.Clear
On Error GoTo 0

Set result = plugin.ValidateStructure(script)
result.Add "a"
result.Add "b", "second"
result.Add "c"
result.Remove "second"
walked = ""
For Each item In result
  walked = walked & item
Next
WScript.Echo "collection: " & result.Count & " " & result(1) & " " & walked & " " & _
  plugin.ValidateContent(script).Count
