// Whatever a client sends, the server answers with success or an error
// result, goes on serving, and loses nothing it already wrote.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>

#include "common/file_io.h"
#include "output/formatting.h"
#include "tests/com/com_support.h"

namespace norvale {
namespace {

using Lines = std::vector<std::string>;

// VARIANT builders; each row owns what it makes.
struct Variant {
    VARIANT value;
    Variant() { VariantInit(&value); }
    ~Variant() { VariantClear(&value); }
};

SAFEARRAY* ByteArray(size_t count, uint8_t fill = 0x41) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(count));
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    std::memset(data, fill, count);
    SafeArrayUnaccessData(array);
    return array;
}

void Fill(Variant& v, VARTYPE type, SAFEARRAY* array) {
    V_VT(&v.value) = type;
    V_ARRAY(&v.value) = array;
}

SAFEARRAY* VariantArray(std::initializer_list<std::function<void(VARIANT&)>> elements) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(elements.size()));
    LONG index = 0;
    for (const auto& make : elements) {
        VARIANT element;
        VariantInit(&element);
        make(element);
        SafeArrayPutElement(array, &index, &element);
        VariantClear(&element);
        ++index;
    }
    return array;
}

std::function<void(VARIANT&)> Int(int value) {
    return [value](VARIANT& v) {
        V_VT(&v) = VT_I4;
        V_I4(&v) = value;
    };
}

std::function<void(VARIANT&)> Real(double value) {
    return [value](VARIANT& v) {
        V_VT(&v) = VT_R8;
        V_R8(&v) = value;
    };
}

std::function<void(VARIANT&)> String(const wchar_t* text) {
    return [text](VARIANT& v) {
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(text);
    };
}

class BadInputTest : public testing::Test {
protected:
    void SetUp() override {
        norvale_ = test::ActivateNorvale();
        ASSERT_TRUE(norvale_);
        ASSERT_EQ(norvale_->OpenSession(test::Bstr(L"P"), session_.put()), S_OK);
    }

    // The server still serves, and every earlier line is still in the file.
    void ExpectStillServing(const std::string& row) {
        const std::string marker = "still serving after " + row;
        ASSERT_EQ(session_->AddMessage(0, 0, test::Bstr(std::wstring(marker.begin(), marker.end()))), S_OK) << row;
        markers_.push_back(marker);
        Lines seen;
        for (const auto& line : output_.Lines()) {
            if (line.rfind("still serving after ", 0) == 0) seen.push_back(line);
        }
        EXPECT_EQ(seen, markers_) << row;
    }

    HRESULT Binary(const VARIANT& data) { return session_->AddBinary(0, 0, test::Bstr(L"binary"), data); }

    test::OutputSetup output_{std::initializer_list<const char*>{}};
    ComPtr<INorvale> norvale_;
    ComPtr<IDebugSession> session_;
    Lines markers_;
};

TEST_F(BadInputTest, TextsOfEveryKind) {
    const std::wstring oneMegabyte(1 << 20, L'x');
    const std::wstring sixteenMegabytes(16 << 20, L'y');
    struct Row {
        const char* name;
        BSTR text;
        std::string expectedLine;
        bool everyCall;  // the largest text goes through two calls only, to keep the test short
    };
    const test::Bstr megabyte(oneMegabyte);
    const test::Bstr huge(sixteenMegabytes);
    const test::Bstr empty(L"");
    const test::Bstr withNul(std::wstring(L"a\0b", 3));
    const test::Bstr loneSurrogate(std::wstring(L"<\xD800>"));
    const Row rows[] = {
        {"null", nullptr, "", true},
        {"empty", empty, "", true},
        {"1 MB", megabyte, std::string(1 << 20, 'x'), true},
        {"16 MB", huge, std::string(16 << 20, 'y'), false},
        {"embedded NUL", withNul, std::string("a\0b", 3), true},
        {"lone surrogate", loneSurrogate, "<?>", true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(session_->AddMessage(0, 0, row.text), S_OK) << row.name;
        EXPECT_EQ(output_.LastLine(), row.expectedLine) << row.name;
        EXPECT_EQ(session_->AddStrings(0, 0, row.text, row.text), S_OK) << row.name;
        if (!row.everyCall) {
            ExpectStillServing(row.name);
            continue;
        }
        EXPECT_EQ(session_->AddClassMessage(0, row.text, 0, row.text), S_OK) << row.name;
        EXPECT_EQ(session_->EnterMethod(0, row.text), S_OK) << row.name;
        ComPtr<IDebugSession> named;
        EXPECT_EQ(norvale_->OpenSessionEx(row.text, row.text, row.text, row.text, -1, named.put()), S_OK) << row.name;
        EXPECT_EQ(named->CloseSession(), S_OK) << row.name;
        ExpectStillServing(row.name);
    }
}

TEST_F(BadInputTest, NumbersOfEveryKind) {
    for (long number : {LONG_MIN, -1L, 0L, 1L, 2L, LONG_MAX}) {
        EXPECT_EQ(session_->AddMessage(number, number, test::Bstr(L"n")), S_OK);
        EXPECT_EQ(session_->AddClassMessage(number, test::Bstr(L"C"), number, test::Bstr(L"n")), S_OK);
        ComPtr<IDebugSession> session;
        EXPECT_EQ(norvale_->OpenSessionEx(test::Bstr(L"P"), nullptr, nullptr, nullptr, number, session.put()), S_OK);
    }
    ExpectStillServing("numbers");
}

TEST_F(BadInputTest, EveryShapeOfBinaryData) {
    struct Row {
        const char* name;
        std::function<void(Variant&)> make;
        HRESULT expected;
    };
    const Row rows[] = {
        {"empty", [](Variant&) {}, E_UNEXPECTED},
        {"null", [](Variant& v) { V_VT(&v.value) = VT_NULL; }, E_UNEXPECTED},
        {"scalar", [](Variant& v) { V_VT(&v.value) = VT_I4; V_I4(&v.value) = 65; }, E_UNEXPECTED},
        {"string", [](Variant& v) { V_VT(&v.value) = VT_BSTR; V_BSTR(&v.value) = SysAllocString(L"AB"); }, E_UNEXPECTED},
        {"bytes", [](Variant& v) { Fill(v, VT_ARRAY | VT_UI1, ByteArray(3)); }, S_OK},
        {"no bytes", [](Variant& v) { Fill(v, VT_ARRAY | VT_UI1, ByteArray(0)); }, S_OK},
        {"1 MB of bytes", [](Variant& v) { Fill(v, VT_ARRAY | VT_UI1, ByteArray(1 << 20)); }, S_OK},
        {"two dimensions",
         [](Variant& v) {
             SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
             Fill(v, VT_ARRAY | VT_UI1, SafeArrayCreate(VT_UI1, 2, bounds));
         },
         E_UNEXPECTED},
        {"variants in range", [](Variant& v) { Fill(v, VT_ARRAY | VT_VARIANT, VariantArray({Int(0), Int(255), Real(65)})); }, S_OK},
        {"variant above 255", [](Variant& v) { Fill(v, VT_ARRAY | VT_VARIANT, VariantArray({Int(1), Int(256)})); }, E_UNEXPECTED},
        {"negative variant", [](Variant& v) { Fill(v, VT_ARRAY | VT_VARIANT, VariantArray({Int(-1)})); }, E_UNEXPECTED},
        {"fraction", [](Variant& v) { Fill(v, VT_ARRAY | VT_VARIANT, VariantArray({Real(1.5)})); }, E_UNEXPECTED},
        {"strings", [](Variant& v) { Fill(v, VT_ARRAY | VT_VARIANT, VariantArray({String(L"65")})); }, E_UNEXPECTED},
        {"no variants", [](Variant& v) { Fill(v, VT_ARRAY | VT_VARIANT, VariantArray({})); }, S_OK},
        {"long integers",
         [](Variant& v) {
             SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);
             LONG index = 0;
             LONG values[] = {65, 300};
             for (LONG& value : values) SafeArrayPutElement(array, &index, &value), ++index;
             Fill(v, VT_ARRAY | VT_I4, array);
         },
         E_UNEXPECTED},
    };
    for (const auto& row : rows) {
        Variant data;
        row.make(data);
        const size_t before = output_.Lines().size();
        EXPECT_EQ(Binary(data.value), row.expected) << row.name;
        // A refused call writes nothing, not even its heading.
        if (row.expected != S_OK) {
            EXPECT_EQ(output_.Lines().size(), before) << row.name;
        }
        ExpectStillServing(row.name);
    }
    // By reference, as VBScript passes its arrays.
    Variant bytes;
    Fill(bytes, VT_ARRAY | VT_UI1, ByteArray(2, 0x7A));
    VARIANT reference;
    VariantInit(&reference);
    V_VT(&reference) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&reference) = &bytes.value;
    EXPECT_EQ(Binary(reference), S_OK);
    EXPECT_EQ(output_.LastLine(), "  7a 7a " + std::string(42, ' ') + "zz");
    ExpectStillServing("by reference");
}

TEST_F(BadInputTest, CallsAfterCloseSessionStillWrite) {
    EXPECT_EQ(session_->CloseSession(), S_OK);
    EXPECT_EQ(session_->AddMessage(0, 0, test::Bstr(L"after close")), S_OK);
    EXPECT_EQ(session_->CloseSession(), S_OK);
    EXPECT_EQ(output_.Lines(), (Lines{"Norvale Starting Up", "Session opened.", "Session closed.", "after close",
                                      "Session closed."}));
}

TEST_F(BadInputTest, UnwritableFileGivesErrorsAndTheNextGoodCallWorks) {
    const std::string blocked = output_.FilePath() + ".blocked";
    std::filesystem::create_directory(blocked);  // a folder where the file should be
    output_.Set("Filename", blocked);
    ASSERT_EQ(norvale_->RefreshProperties(), S_OK);
    EXPECT_EQ(session_->AddMessage(0, 0, test::Bstr(L"lost")), E_UNEXPECTED);
    output_.Set("Filename", output_.FilePath());
    ASSERT_EQ(norvale_->RefreshProperties(), S_OK);
    ExpectStillServing("an unwritable file");
}

// A full disk, when the test command could give the tests a small file
// system (NORVALE_SMALL_DISK names its folder).
TEST_F(BadInputTest, FullDiskGivesErrorsAndTheNextGoodCallWorks) {
    char folder[MAX_PATH] = {};
    if (GetEnvironmentVariableA("NORVALE_SMALL_DISK", folder, MAX_PATH) == 0) {
        GTEST_SKIP() << "no small file system (NORVALE_SMALL_DISK) to fill";
    }
    const std::string filler = std::string(folder) + "\\filler.bin";
    const std::string target = std::string(folder) + "\\trace.txt";
    {
        UniqueFile file;
        ASSERT_EQ(FileCreate(filler, file), 0u);
        const std::string block(4096, 'f');
        while (FileWrite(file.get(), block.data(), static_cast<uint32_t>(block.size())) == 0) {
        }
    }
    output_.Set("Filename", target);
    ASSERT_EQ(norvale_->RefreshProperties(), S_OK);
    const std::wstring line(8192, L'z');
    EXPECT_EQ(session_->AddMessage(0, 0, test::Bstr(line)), E_UNEXPECTED);
    std::filesystem::remove(filler);
    EXPECT_EQ(session_->AddMessage(0, 0, test::Bstr(L"room again")), S_OK);
    EXPECT_EQ(SplitLines(test::ReadWholeFile(target)).back(), "room again");
    std::filesystem::remove(target);
    output_.Set("Filename", output_.FilePath());
    ASSERT_EQ(norvale_->RefreshProperties(), S_OK);
    ExpectStillServing("a full disk");
}

}  // namespace
}  // namespace norvale
