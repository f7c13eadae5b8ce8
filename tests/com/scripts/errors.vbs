' The errors a script sees. Prints "number|description" per failing call.
Option Explicit
On Error Resume Next
Dim norvale, session
Set norvale = CreateObject("Norvale.Norvale")
Set session = norvale.OpenSession("P")
Dim matrix(1, 1)
session.AddBinary 0, 0, "scalar", 5
WScript.Echo Hex(Err.Number) & "|" & Err.Description
Err.Clear
session.AddBinary 0, 0, "matrix", matrix
WScript.Echo Hex(Err.Number) & "|" & Err.Description
Err.Clear
session.AddBinary 0, 0, "out of range", Array(1, 256)
WScript.Echo Hex(Err.Number) & "|" & Err.Description
Err.Clear
session.CloseSession
Set session = Nothing
Set norvale = Nothing
WScript.Quit 0
