#include "server/binary_data.h"

#include <cmath>
#include <string>
#include <type_traits>

#include "common/com_ptr.h"
#include "common/errors.h"

namespace norvale {

namespace {

const VARIANT& Dereferenced(const VARIANT& value) {
    const VARIANT* current = &value;
    // A by-reference VARIANT may itself hold a reference; follow the chain.
    for (int depth = 0; depth < 8 && V_VT(current) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(current) != nullptr;
         ++depth) {
        current = V_VARIANTREF(current);
    }
    return *current;
}

SAFEARRAY* ArrayOf(const VARIANT& value) {
    if ((V_VT(&value) & VT_ARRAY) == 0) return nullptr;
    return (V_VT(&value) & VT_BYREF) != 0 ? (V_ARRAYREF(&value) != nullptr ? *V_ARRAYREF(&value) : nullptr)
                                          : V_ARRAY(&value);
}

[[noreturn]] void NotAByte(size_t index) {
    throw ENorvaleError("Variant Array element " + std::to_string(index) + " is not a number from 0 to 255");
}

template <typename Number>
uint8_t ByteOf(Number number, size_t index) {
    if constexpr (std::is_floating_point_v<Number>) {
        if (!(number >= 0 && number <= 255 && std::floor(number) == number)) NotAByte(index);
    } else if constexpr (std::is_signed_v<Number>) {
        if (number < 0 || number > 255) NotAByte(index);
    } else {
        if (number > 255) NotAByte(index);
    }
    return static_cast<uint8_t>(number);
}

// The value of one element as a byte; anything else fails the whole call.
uint8_t ByteOfElement(const VARIANT& element, size_t index) {
    const VARIANT& value = Dereferenced(element);
    switch (V_VT(&value)) {
        case VT_UI1: return V_UI1(&value);
        case VT_I1: return ByteOf(V_I1(&value), index);
        case VT_I2: return ByteOf(V_I2(&value), index);
        case VT_UI2: return ByteOf(V_UI2(&value), index);
        case VT_I4: return ByteOf(V_I4(&value), index);
        case VT_UI4: return ByteOf(V_UI4(&value), index);
        case VT_INT: return ByteOf(V_INT(&value), index);
        case VT_UINT: return ByteOf(V_UINT(&value), index);
        case VT_I8: return ByteOf(V_I8(&value), index);
        case VT_UI8: return ByteOf(V_UI8(&value), index);
        case VT_R4: return ByteOf(V_R4(&value), index);
        case VT_R8: return ByteOf(V_R8(&value), index);
        default: NotAByte(index);
    }
}

template <typename Element>
void AppendElements(std::vector<uint8_t>& bytes, const void* data, size_t count) {
    const auto* elements = static_cast<const Element*>(data);
    for (size_t i = 0; i < count; ++i) {
        if constexpr (std::is_same_v<Element, VARIANT>) {
            bytes.push_back(ByteOfElement(elements[i], i));
        } else {
            bytes.push_back(ByteOf(elements[i], i));
        }
    }
}

[[noreturn]] void ElementTypeMismatch() { throw ENorvaleError("Variant Array element type does not match"); }

// The size of an element of each type an array may hold; 0 for a type that
// cannot give bytes.
size_t ElementSize(VARTYPE type) {
    switch (type) {
        case VT_UI1:
        case VT_I1: return 1;
        case VT_I2:
        case VT_UI2: return 2;
        case VT_I4:
        case VT_INT:
        case VT_UI4:
        case VT_UINT:
        case VT_R4: return 4;
        case VT_R8: return 8;
        case VT_VARIANT: return sizeof(VARIANT);
        default: return 0;
    }
}

// The array's own word on its elements decides how its memory is read: a
// VARIANT that names another element type, or an array whose element size
// is not that of its type, would have the server read past the data or
// follow pointers it does not hold.
VARTYPE ElementTypeOf(SAFEARRAY* array, VARTYPE claimed) {
    VARTYPE type = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &type)) || type != claimed) ElementTypeMismatch();
    const size_t size = ElementSize(type);
    if (size != 0 && SafeArrayGetElemsize(array) != size) ElementTypeMismatch();
    return type;
}

size_t CountOf(SAFEARRAY* array) {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    return upper >= lower ? static_cast<size_t>(upper - lower) + 1 : 0;
}

}  // namespace

std::vector<uint8_t> BytesOfVariant(const VARIANT& data) {
    const VARIANT& value = Dereferenced(data);
    SAFEARRAY* array = ArrayOf(value);
    if (array == nullptr) throw ENorvaleError("Variant must be Array");
    if (SafeArrayGetDim(array) != 1) throw ENorvaleError("Variant Array DimCount must be 1");

    const size_t count = CountOf(array);
    const VARTYPE type = ElementTypeOf(array, static_cast<VARTYPE>(V_VT(&value) & VT_TYPEMASK));
    std::vector<uint8_t> bytes;
    if (count == 0) return bytes;
    SafeArrayDataLock lock(array);
    if (!lock.locked()) throw ENorvaleError("Variant Array cannot be read");
    bytes.reserve(count);
    switch (type) {
        case VT_UI1:
        case VT_I1: {
            const auto* raw = static_cast<const uint8_t*>(lock.data());
            bytes.assign(raw, raw + count);
            break;
        }
        case VT_VARIANT: AppendElements<VARIANT>(bytes, lock.data(), count); break;
        case VT_I2: AppendElements<int16_t>(bytes, lock.data(), count); break;
        case VT_UI2: AppendElements<uint16_t>(bytes, lock.data(), count); break;
        case VT_I4:
        case VT_INT: AppendElements<int32_t>(bytes, lock.data(), count); break;
        case VT_UI4:
        case VT_UINT: AppendElements<uint32_t>(bytes, lock.data(), count); break;
        case VT_R4: AppendElements<float>(bytes, lock.data(), count); break;
        case VT_R8: AppendElements<double>(bytes, lock.data(), count); break;
        default: NotAByte(0);
    }
    return bytes;
}

std::vector<uint8_t> BytesOfByteArray(const VARIANT& data) {
    const VARIANT& value = Dereferenced(data);
    SAFEARRAY* array = ArrayOf(value);
    VARTYPE type = VT_EMPTY;
    if (array == nullptr || (V_VT(&value) & VT_TYPEMASK) != VT_UI1 || SafeArrayGetDim(array) != 1 ||
        FAILED(SafeArrayGetVartype(array, &type)) || type != VT_UI1 || SafeArrayGetElemsize(array) != 1) {
        throw ENorvaleError("The entries must be a one-dimensional array of bytes (VT_ARRAY | VT_UI1)", E_INVALIDARG);
    }
    const size_t count = CountOf(array);
    if (count == 0) return {};
    SafeArrayDataLock lock(array);
    if (!lock.locked()) throw ENorvaleError("The array of entries cannot be read", E_INVALIDARG);
    const auto* raw = static_cast<const uint8_t*>(lock.data());
    return std::vector<uint8_t>(raw, raw + count);
}

}  // namespace norvale
