// Every call kind from JScript, the same calls as the C++ clients make.
// Exits 0 when every call succeeded, else 10 + the number of the failing step.
var step = 0;
function ByteList(values) {
    var dictionary = new ActiveXObject("Scripting.Dictionary");
    for (var i = 0; i < values.length; i++) dictionary.Add(i, values[i]);
    return dictionary.Items();
}
try {
    step = 1; var norvale = new ActiveXObject("Norvale.Norvale");
    step = 2; var s1 = norvale.OpenSession("P");
    step = 3; var s2 = norvale.OpenClassSession("P", "M", "TC");
    step = 4; var s3 = norvale.OpenSessionEx("P", "M", "TC", "W", 0x4D2);
    step = 5; s3.AddMessage(0x1A4, 10, "plain");
    step = 6; s3.AddClassMessage(0x1A4, "TX", 2, "classy");
    step = 7; s3.EnterMethod(0x1A4, "Run");
    step = 8; s3.ExitMethod(0x1A4, "Run");
    step = 9; s3.AddStrings(0x1A4, 3, "text", "a\r\nb");
    step = 10; s3.AddBinary(0x1A4, 4, "bytes", ByteList([65, 0, 122]));
    step = 11; s1.AddMessage(0, 0, "from project only");
    step = 12; s1.CloseSession();
    step = 13; s2.CloseSession();
    step = 14; s3.CloseSession();
    s1 = null; s2 = null; s3 = null; norvale = null;
    CollectGarbage();
} catch (e) {
    WScript.Echo("step " + step + ": " + e.description);
    WScript.Quit(10 + step);
}
WScript.Quit(0);
