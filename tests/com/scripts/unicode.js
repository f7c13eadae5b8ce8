// Names and a message outside the code page, written as \u escapes because
// the script host reads this file in the code page. Exits 0 when every call
// succeeded, else 10 + the number of the failing step.
var step = 0;
try {
    step = 1; var norvale = new ActiveXObject("Norvale.Norvale");
    step = 2; var session = norvale.OpenClassSession("\u00dcbung", "\u041c\u043e\u0434", "T\u4e2d");
    step = 3; session.AddMessage(7, 0, "Gr\u00fc\u00dfe \u2013 \u4e2d\u6587 \u2713 \ud83d\ude00");
    step = 4; session.CloseSession();
    session = null; norvale = null;
    CollectGarbage();
} catch (e) {
    WScript.Echo("step " + step + ": " + e.description);
    WScript.Quit(10 + step);
}
WScript.Quit(0);
