' A second client: opens a session named by its argument, writes, closes.
Option Explicit
On Error Resume Next
Dim norvale, session
Set norvale = CreateObject("Norvale.Norvale")
Set session = norvale.OpenSession("second client")
session.AddMessage 0, 0, "hello from the second client"
session.CloseSession
If Err.Number <> 0 Then WScript.Quit 1
Set session = Nothing
Set norvale = Nothing
WScript.Quit 0
