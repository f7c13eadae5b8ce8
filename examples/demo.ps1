# A PowerShell client of Norvale: opens a session and sends one call of each
# kind. Run it with: powershell -ExecutionPolicy Bypass -File demo.ps1
# (Not run by the project's tests: Wine has no PowerShell.)

$ErrorActionPreference = "Stop"
try {
    # Keep the server object for as long as the session is used: a session
    # alone does not keep it.
    $norvale = New-Object -ComObject Norvale.Norvale
    $session = $norvale.OpenSessionEx("Billing", "Tools", "TExport", $env:COMPUTERNAME, $PID)
    $thread = [System.Threading.Thread]::CurrentThread.ManagedThreadId
    $session.AddMessage($thread, 0, "Hello from PowerShell")
    $session.AddClassMessage($thread, "TOther", 1, "A message of another class")
    $session.EnterMethod($thread, "Export")
    $session.AddStrings($thread, 0, "Export lines", "first line`r`nsecond line")
    $session.AddBinary($thread, 0, "Export bytes", [byte[]](72, 101, 108, 108, 111, 0, 255))
    $session.ExitMethod($thread, "Export")
    $session.CloseSession()
} catch {
    Write-Error "Norvale call failed: $($_.Exception.Message)"
    exit 1
} finally {
    if ($session) { [void][System.Runtime.InteropServices.Marshal]::ReleaseComObject($session) }
    if ($norvale) { [void][System.Runtime.InteropServices.Marshal]::ReleaseComObject($norvale) }
}
exit 0
