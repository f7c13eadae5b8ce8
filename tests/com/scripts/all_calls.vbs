' Every call kind from VBScript, the same calls as the C++ clients make.
' Exits 0 when every call succeeded, else the number of the failing step.
Option Explicit
On Error Resume Next

Dim step
step = 0
Sub Check()
    step = step + 1
    If Err.Number <> 0 Then
        WScript.Echo "step " & step & ": " & Err.Description
        WScript.Quit 10 + step
    End If
End Sub

Dim norvale, s1, s2, s3
Set norvale = CreateObject("Norvale.Norvale") : Check
Set s1 = norvale.OpenSession("P") : Check
Set s2 = norvale.OpenClassSession("P", "M", "TC") : Check
Set s3 = norvale.OpenSessionEx("P", "M", "TC", "W", &H4D2) : Check
s3.AddMessage &H1A4, 10, "plain" : Check
s3.AddClassMessage &H1A4, "TX", 2, "classy" : Check
s3.EnterMethod &H1A4, "Run" : Check
s3.ExitMethod &H1A4, "Run" : Check
s3.AddStrings &H1A4, 3, "text", "a" & vbCrLf & "b" : Check
s3.AddBinary &H1A4, 4, "bytes", Array(65, 0, 122) : Check
s1.AddMessage 0, 0, "from project only" : Check
s1.CloseSession : Check
s2.CloseSession : Check
s3.CloseSession : Check
Set s1 = Nothing
Set s2 = Nothing
Set s3 = Nothing
Set norvale = Nothing
WScript.Quit 0
