// A JScript client of Norvale: opens a session and sends one call of each
// kind. Run it with: wine cscript //nologo demo.js

// A JScript array reaches COM as an object, not as an array; a dictionary's
// Items() gives the array of VARIANTs that AddBinary takes.
function ByteList(values) {
    var dictionary = new ActiveXObject("Scripting.Dictionary");
    for (var i = 0; i < values.length; i++) dictionary.Add(i, values[i]);
    return dictionary.Items();
}

try {
    var norvale = new ActiveXObject("Norvale.Norvale");
    var session = norvale.OpenClassSession("Billing", "Scripts", "TJournal");
    session.AddMessage(9, 0, "Hello from JScript");
    session.AddClassMessage(9, "TOther", 2, "A message of another class");
    session.EnterMethod(9, "Book");
    session.AddStrings(9, 0, "Journal lines", "debit\r\ncredit\n");
    session.AddBinary(9, 0, "Journal bytes", ByteList([74, 83, 0, 32, 127]));
    session.ExitMethod(9, "Book");
    session.CloseSession();
    session = null;
    norvale = null;
    CollectGarbage();
} catch (e) {
    WScript.Echo("Norvale call failed: " + e.description);
    WScript.Quit(1);
}
WScript.Quit(0);
