Set norvale = CreateObject("Norvale.Norvale")
Set session = norvale.OpenClassSession("Billing", "Scripts", "TInvoice")
session.AddMessage 7, 0, "Hello from VBScript"
session.EnterMethod 7, "Post"
session.CloseSession
