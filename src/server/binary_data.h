#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <vector>

namespace norvale {

// The bytes an `AddBinary` call dumps. The data must be a one-dimensional
// array, given directly or by reference: a byte array gives its bytes; any
// other array (VBScript and JScript can only make arrays of VARIANTs) gives
// its elements' values, each of which must be a whole number from 0 to 255.
// The array itself must hold the element type the VARIANT names.
std::vector<uint8_t> BytesOfVariant(const VARIANT& data);

// The bytes of a one-dimensional byte array (VT_ARRAY | VT_UI1), given
// directly or by reference: a batch of entries is never an array of numbers.
// Anything else raises an error with E_INVALIDARG.
std::vector<uint8_t> BytesOfByteArray(const VARIANT& data);

}  // namespace norvale
