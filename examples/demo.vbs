' A VBScript client of Norvale: opens a session and sends one call of each
' kind. Run it with: wine cscript //nologo demo.vbs
Option Explicit
On Error Resume Next

Dim norvale, session
Set norvale = CreateObject("Norvale.Norvale")
If Err.Number <> 0 Then
    WScript.Echo "cannot reach Norvale: " & Err.Description
    WScript.Quit 1
End If

Set session = norvale.OpenSessionEx("Billing", "Scripts", "TInvoice", "WS12", 42)
session.AddMessage 7, 0, "Hello from VBScript"
session.AddClassMessage 7, "TOther", 1, "A message of another class"
session.EnterMethod 7, "Post"
session.AddStrings 7, 0, "Invoice lines", "first line" & vbCrLf & "second line"
session.AddBinary 7, 0, "Invoice bytes", Array(72, 101, 108, 108, 111, 0, 255)
session.ExitMethod 7, "Post"
session.CloseSession

If Err.Number <> 0 Then
    WScript.Echo "Norvale call failed: " & Err.Description
    WScript.Quit 2
End If
' Release before quitting: WScript.Quit ends the process at once.
Set session = Nothing
Set norvale = Nothing
WScript.Quit 0
