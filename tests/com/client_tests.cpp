// Separate client processes against the real server: the same calls from C++
// through the virtual table and through IDispatch, from VBScript and JScript,
// and the exact lines each leaves in the output file.

#include <gtest/gtest.h>

#include <norvale/tracer.h>

#include "tests/com/com_support.h"
#include "tests_support/child_process.h"

namespace norvale {
namespace {

using Lines = std::vector<std::string>;

const std::initializer_list<const char*> kAllButTime = {"IncludeProject", "IncludeModule",  "IncludeClass",
                                                        "IncludeMachine", "IncludeProcess", "IncludeThread",
                                                        "IncludeCode"};

// What the calls of every client below write, in order.
Lines ExpectedLines() {
    const std::string p3 = "P M W 000004d2 ";
    const std::string indent(std::string(p3 + "TC 00000003 000001a4 ").size() + 2, ' ');
    return {
        "Norvale Starting Up",
        "P 00000000 Session opened.",
        "P M TC 00000000 Session opened.",
        p3 + "TC 00000000 Session opened.",
        p3 + "TC 0000000a 000001a4 plain",
        p3 + "TX 00000002 000001a4 classy",
        p3 + "TC 00000000 000001a4 -> Run",
        p3 + "TC 00000000 000001a4 <- Run",
        p3 + "TC 00000003 000001a4 text",
        indent + "a",
        indent + "b",
        p3 + "TC 00000004 000001a4 bytes",
        indent + "41 00 7a " + std::string(39, ' ') + "A.z",
        "P 00000000 from project only",
        "P 00000000 Session closed.",
        "P M TC 00000000 Session closed.",
        p3 + "TC 00000000 Session closed.",
        "Norvale Shutting Down",
    };
}

TEST(ClientTest, CppClientThroughTheVirtualTable) {
    test::OutputSetup output(kAllButTime);
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ComPtr<IDebugSession> s1, s2, s3;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), s1.put()), S_OK);
        ASSERT_EQ(norvale->OpenClassSession(test::Bstr(L"P"), test::Bstr(L"M"), test::Bstr(L"TC"), s2.put()), S_OK);
        ASSERT_EQ(norvale->OpenSessionEx(test::Bstr(L"P"), test::Bstr(L"M"), test::Bstr(L"TC"), test::Bstr(L"W"),
                                         0x4D2, s3.put()),
                  S_OK);
        EXPECT_EQ(s3->AddMessage(0x1A4, 10, test::Bstr(L"plain")), S_OK);
        EXPECT_EQ(s3->AddClassMessage(0x1A4, test::Bstr(L"TX"), 2, test::Bstr(L"classy")), S_OK);
        EXPECT_EQ(s3->EnterMethod(0x1A4, test::Bstr(L"Run")), S_OK);
        EXPECT_EQ(s3->ExitMethod(0x1A4, test::Bstr(L"Run")), S_OK);
        EXPECT_EQ(s3->AddStrings(0x1A4, 3, test::Bstr(L"text"), test::Bstr(L"a\r\nb")), S_OK);
        VARIANT bytes;
        VariantInit(&bytes);
        V_VT(&bytes) = VT_ARRAY | VT_UI1;
        V_ARRAY(&bytes) = SafeArrayCreateVector(VT_UI1, 0, 3);
        const unsigned char data[] = {0x41, 0x00, 0x7A};
        for (LONG i = 0; i < 3; ++i) SafeArrayPutElement(V_ARRAY(&bytes), &i, const_cast<unsigned char*>(&data[i]));
        EXPECT_EQ(s3->AddBinary(0x1A4, 4, test::Bstr(L"bytes"), bytes), S_OK);
        VariantClear(&bytes);
        EXPECT_EQ(s1->AddMessage(0, 0, test::Bstr(L"from project only")), S_OK);
        EXPECT_EQ(s1->CloseSession(), S_OK);
        EXPECT_EQ(s2->CloseSession(), S_OK);
        EXPECT_EQ(s3->CloseSession(), S_OK);
    }
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"), ExpectedLines());
}

// Wine drops error info across processes on virtual-table calls: a refused
// batch is seen by its code and by the file.
TEST(ClientTest, BatchThroughIDebugSession2WritesAGoodArrayAndNothingOfABadOne) {
    test::OutputSetup output({"IncludeThread", "IncludeCode"});
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ComPtr<IDebugSession> session;
        ASSERT_TRUE(norvale && norvale->OpenSession(test::Bstr(L"P"), session.put()) == S_OK);
        ComPtr<IDebugSession2> session2;
        ASSERT_EQ(session->QueryInterface(IID_IDebugSession2, session2.put_void()), S_OK);
        TBatchWriter batch;
        batch.Message(7, 1, 0x01DC6A1B2C3D4E5F, L"first");
        batch.Strings(7, 2, 0x01DC6A1B2C3D4E5F, L"second", L"a");
        std::vector<uint8_t> bad = batch.Bytes();
        bad[4] = 9;
        VARIANT good, refused;
        test::MakeByteArray(good, batch.Bytes());
        test::MakeByteArray(refused, bad);
        EXPECT_EQ(session2->AddEntries(refused), E_INVALIDARG);
        EXPECT_EQ(session2->AddEntries(good), S_OK);
        VariantClear(&good);
        VariantClear(&refused);
        EXPECT_EQ(session->CloseSession(), S_OK);
    }
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"),
              (Lines{"Norvale Starting Up", "00000000 Session opened.", "00000001 00000007 first",
                     "00000002 00000007 second", std::string(20, ' ') + "a", "00000000 Session closed.",
                     "Norvale Shutting Down"}));
}

// Late binding: names to DISPIDs, then Invoke with the arguments reversed.
class LateBound {
public:
    explicit LateBound(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    HRESULT Call(const wchar_t* name, std::vector<VARIANT> arguments, VARIANT* result = nullptr,
                 EXCEPINFO* exception = nullptr) {
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        const HRESULT found = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(found)) return found;
        return CallId(id, std::move(arguments), result, exception);
    }

    HRESULT CallId(DISPID id, std::vector<VARIANT> arguments, VARIANT* result = nullptr,
                   EXCEPINFO* exception = nullptr) {
        std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
        DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        EXCEPINFO ignored{};
        UINT argumentError = 0;
        const HRESULT invoked = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                                                result, exception != nullptr ? exception : &ignored, &argumentError);
        for (auto& argument : arguments) VariantClear(&argument);
        return invoked;
    }

private:
    ComPtr<IDispatch> object_;
};

VARIANT Long(long value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT Text(const wchar_t* text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(text);
    return v;
}

ComPtr<IDispatch> SessionOf(VARIANT& result) {
    EXPECT_EQ(V_VT(&result), VT_DISPATCH);
    return ComPtr<IDispatch>::Attach(V_VT(&result) == VT_DISPATCH ? V_DISPATCH(&result) : nullptr);
}

TEST(ClientTest, ATracerBringsTheLinesOfFourThreadsWholeAndInOrder) {
    constexpr int kThreads = 4;
    constexpr int kMessages = 25000;
    test::OutputSetup output({});
    output.Set("FlushOutputFile", "0");
    const test::ScratchDirectory dir;
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        test::ChildProcess client(test::TracerClientCommand("t", kThreads, kMessages), dir.PathOf("report.txt"));
        EXPECT_EQ(client.WaitForExit(120000), 0) << "the tracer's program did not end within 120 s";
    }
    // Each block is an entry of its own after every 25th message.
    EXPECT_EQ(test::ReadWholeFile(dir.PathOf("report.txt")), "delivered 104000, dropped 0\r\n");
    test::CheckLoad(output.LinesEndingWith("Norvale Shutting Down"), {{"t", kMessages}}, kThreads);
}

TEST(ClientTest, CppClientThroughIDispatch) {
    test::OutputSetup output(kAllButTime);
    {
        ComPtr<INorvale> activated = test::ActivateNorvale();
        ASSERT_TRUE(activated);
        LateBound norvale(activated.query<IDispatch>(IID_IDispatch));
        VARIANT r1, r2, r3;
        VariantInit(&r1);
        VariantInit(&r2);
        VariantInit(&r3);
        ASSERT_EQ(norvale.Call(L"OpenSession", {Text(L"P")}, &r1), S_OK);
        ASSERT_EQ(norvale.Call(L"OpenClassSession", {Text(L"P"), Text(L"M"), Text(L"TC")}, &r2), S_OK);
        ASSERT_EQ(norvale.Call(L"OpenSessionEx", {Text(L"P"), Text(L"M"), Text(L"TC"), Text(L"W"), Long(0x4D2)}, &r3),
                  S_OK);
        LateBound s1(SessionOf(r1)), s2(SessionOf(r2)), s3(SessionOf(r3));
        EXPECT_EQ(s3.Call(L"AddMessage", {Long(0x1A4), Long(10), Text(L"plain")}), S_OK);
        EXPECT_EQ(s3.Call(L"AddClassMessage", {Long(0x1A4), Text(L"TX"), Long(2), Text(L"classy")}), S_OK);
        EXPECT_EQ(s3.Call(L"EnterMethod", {Long(0x1A4), Text(L"Run")}), S_OK);
        EXPECT_EQ(s3.Call(L"ExitMethod", {Long(0x1A4), Text(L"Run")}), S_OK);
        EXPECT_EQ(s3.Call(L"AddStrings", {Long(0x1A4), Long(3), Text(L"text"), Text(L"a\r\nb")}), S_OK);
        VARIANT bytes;
        test::MakeVariantArray(bytes, {0x41, 0x00, 0x7A});
        EXPECT_EQ(s3.Call(L"AddBinary", {Long(0x1A4), Long(4), Text(L"bytes"), bytes}), S_OK);
        EXPECT_EQ(s1.Call(L"AddMessage", {Long(0), Long(0), Text(L"from project only")}), S_OK);
        EXPECT_EQ(s1.Call(L"CloseSession", {}), S_OK);
        EXPECT_EQ(s2.Call(L"CloseSession", {}), S_OK);
        EXPECT_EQ(s3.Call(L"CloseSession", {}), S_OK);
    }
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"), ExpectedLines());
}

TEST(ClientTest, VBScriptClient) {
    test::OutputSetup output(kAllButTime);
    std::string printed;
    EXPECT_EQ(test::RunScript("all_calls.vbs", &printed), 0) << printed;
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"), ExpectedLines());
}

TEST(ClientTest, VBScriptClientIn32BitHost) {
    const std::string host = test::Bits32ScriptHost();
    if (host.empty()) GTEST_SKIP() << "no 32-bit script host (syswow64\\cscript.exe) on this system";
    test::OutputSetup output(kAllButTime);
    std::string printed;
    EXPECT_EQ(test::RunScript("all_calls.vbs", &printed, host), 0) << printed;
    EXPECT_EQ(printed, "");
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"), ExpectedLines());
}

TEST(ClientTest, JScriptClient) {
    test::OutputSetup output(kAllButTime);
    std::string printed;
    EXPECT_EQ(test::RunScript("all_calls.js", &printed), 0) << printed;
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"), ExpectedLines());
}

TEST(ClientErrorTest, ScriptsSeeTheExactTexts) {
    test::OutputSetup output({});
    std::string printed;
    EXPECT_EQ(test::RunScript("errors.vbs", &printed), 0);
    EXPECT_EQ(printed,
              "8000FFFF|Variant must be Array\r\n"
              "8000FFFF|Variant Array DimCount must be 1\r\n"
              "8000FFFF|Variant Array element 1 is not a number from 0 to 255\r\n");
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"),
              (Lines{"Norvale Starting Up", "Session opened.", "Session closed.", "Norvale Shutting Down"}));
}

TEST(ClientErrorTest, LateBoundErrorsCarryDescriptionSourceAndCode) {
    test::OutputSetup output({});
    LateBound norvale(test::ActivateNorvale().query<IDispatch>(IID_IDispatch));
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(norvale.Call(L"OpenSession", {Text(L"P")}, &result), S_OK);
    LateBound session(SessionOf(result));
    EXCEPINFO exception{};
    EXPECT_EQ(session.Call(L"AddBinary", {Long(0), Long(0), Text(L"x"), Long(5)}, nullptr, &exception),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_UNEXPECTED);
    EXPECT_STREQ(exception.bstrDescription, L"Variant must be Array");
    EXPECT_STREQ(exception.bstrSource, L"Norvale.DebugSession");
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
}

TEST(ClientErrorTest, OutputFileInMissingDirectoryFailsTheOpen) {
    test::OutputSetup output({"ToConsole"});
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    output.Set("Filename", "c:\\nodir\\x.txt");
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
    LateBound late(norvale.query<IDispatch>(IID_IDispatch));
    VARIANT result;
    VariantInit(&result);
    V_VT(&result) = VT_I4;
    EXCEPINFO exception{};
    EXPECT_EQ(late.Call(L"OpenSession", {Text(L"P")}, &result, &exception), DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_UNEXPECTED);
    const std::wstring description = exception.bstrDescription;
    EXPECT_EQ(description.rfind(L"cannot open output file \"c:\\nodir\\x.txt\": ", 0), 0u);
    EXPECT_STREQ(exception.bstrSource, L"Norvale.Norvale");
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    // Through the virtual table: the failure code, and a null result.
    IDebugSession* session = reinterpret_cast<IDebugSession*>(1);
    EXPECT_EQ(norvale->OpenSession(test::Bstr(L"P"), &session), E_UNEXPECTED);
    EXPECT_EQ(session, nullptr);
    output.Set("Filename", output.FilePath());
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
}

TEST(ClientInterfaceTest, DebugProcessOnlyThroughItsVirtualTable) {
    test::OutputSetup output({});
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    LateBound late(norvale.query<IDispatch>(IID_IDispatch));
    EXPECT_EQ(late.CallId(5, {Long(1)}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(late.CallId(6, {Long(1)}), DISP_E_MEMBERNOTFOUND);

    EXPECT_FALSE(norvale.query<IDebugClients>(IID_IDebugClients));
    ComPtr<IDebugClients> clients;
    EXPECT_EQ(norvale->QueryInterface(IID_IDebugClients, clients.put_void()), E_NOINTERFACE);

    ComPtr<IDebugProcess> process = norvale.query<IDebugProcess>(IID_IDebugProcess);
    ASSERT_TRUE(process);
    long value = 0;
    EXPECT_EQ(process->AttachToProcess(0x7FFFFFF0, &value), S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(process->DetachFromProcess(12), S_OK);
}

TEST(ClientInterfaceTest, DebugSessionCannotBeCreatedDirectly) {
    ComPtr<IDebugSession> session;
    EXPECT_EQ(CoCreateInstance(CLSID_DebugSession, nullptr, CLSCTX_LOCAL_SERVER, IID_IDebugSession, session.put_void()),
              REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(session);
}

}  // namespace
}  // namespace norvale
