#pragma once

// The one place where failures become automation results: every interface
// method runs its body through ComBoundary, which catches whatever the body
// raised, posts error information for the calling thread and returns the
// result code. Nothing is thrown across the interface.

#include <windows.h>

#include <exception>
#include <new>
#include <string>

#include "common/errors.h"
#include "server/com_class.h"

namespace norvale {

// Posts the error information (description, source = the class's name,
// interface = its default interface) and gives the result to return.
HRESULT PostErrorInfo(const TComClass& cls, const std::string& description, HRESULT result);

// E_UNEXPECTED, unless the failure carries a negative automation result.
HRESULT ResultOfFailure(const ENorvaleError& failure);

template <typename Body>
HRESULT ComBoundary(const TComClass& cls, Body body) noexcept {
    try {
        body();
        return S_OK;
    } catch (const ENorvaleError& failure) {
        return PostErrorInfo(cls, failure.what(), ResultOfFailure(failure));
    } catch (const std::bad_alloc&) {
        return PostErrorInfo(cls, "Out of memory.", E_UNEXPECTED);
    } catch (const std::exception& failure) {
        return PostErrorInfo(cls, failure.what(), E_UNEXPECTED);
    } catch (...) {
        return PostErrorInfo(cls, "Unexpected failure.", E_UNEXPECTED);
    }
}

}  // namespace norvale
