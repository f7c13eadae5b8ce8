// The bytes of `AddBinary`'s data, from VARIANTs made by hand: the array's
// own element type decides how its memory is read, whatever the VARIANT
// claims.

#include <gtest/gtest.h>

#include <functional>

#include "common/errors.h"
#include "server/binary_data.h"

namespace norvale {
namespace {

// A VARIANT that owns its array and frees it, whatever type it names.
struct HandMadeVariant {
    VARIANT value{};
    SAFEARRAY* array = nullptr;
    ~HandMadeVariant() {
        if (array != nullptr) SafeArrayDestroy(array);
    }
};

SAFEARRAY* Vector(VARTYPE type, ULONG count) { return SafeArrayCreateVector(type, 0, count); }

// Reads as bytes of a VARIANT typed `claimed` around `array`.
std::string Outcome(VARTYPE claimed, SAFEARRAY* array) {
    HandMadeVariant data;
    data.array = array;
    V_VT(&data.value) = static_cast<VARTYPE>(VT_ARRAY | claimed);
    V_ARRAY(&data.value) = array;
    try {
        return std::to_string(BytesOfVariant(data.value).size()) + " bytes";
    } catch (const ENorvaleError& failure) {
        return failure.what();
    }
}

TEST(BinaryDataTest, ElementTypeComesFromTheArray) {
    constexpr const char* kMismatch = "Variant Array element type does not match";
    struct Row {
        const char* name;
        VARTYPE claimed;
        std::function<SAFEARRAY*()> array;
        std::string expected;
    };
    const Row rows[] = {
        {"bytes as bytes", VT_UI1, [] { return Vector(VT_UI1, 4); }, "4 bytes"},
        {"variants as variants", VT_VARIANT, [] { return Vector(VT_VARIANT, 0); }, "0 bytes"},
        {"longs as longs", VT_I4, [] { return Vector(VT_I4, 3); }, "3 bytes"},
        // Would read 4 VARIANTs' worth of memory from 4 bytes and follow
        // whatever pointers it found there.
        {"bytes called variants", VT_VARIANT, [] { return Vector(VT_UI1, 4); }, kMismatch},
        {"variants called bytes", VT_UI1, [] { return Vector(VT_VARIANT, 4); }, kMismatch},
        {"bytes called doubles", VT_R8, [] { return Vector(VT_UI1, 4); }, kMismatch},
        {"empty bytes called variants", VT_VARIANT, [] { return Vector(VT_UI1, 0); }, kMismatch},
        {"array that does not tell its type", VT_UI1,
         [] {
             SAFEARRAY* array = nullptr;
             SafeArrayAllocDescriptor(1, &array);
             array->cbElements = 1;
             array->rgsabound[0].cElements = 4;
             SafeArrayAllocData(array);
             return array;
         },
         kMismatch},
        {"element size that is not its type's", VT_I4,
         [] {
             SAFEARRAY* array = Vector(VT_I4, 4);
             array->cbElements = 8;
             return array;
         },
         kMismatch},
    };
    for (const auto& row : rows) {
        SAFEARRAY* array = row.array();
        ASSERT_NE(array, nullptr) << row.name;
        EXPECT_EQ(Outcome(row.claimed, array), row.expected) << row.name;
    }
}

}  // namespace
}  // namespace norvale
