#include "server/com_boundary.h"

#include "common/ansi_text.h"
#include "common/com_ptr.h"

namespace norvale {

HRESULT ResultOfFailure(const ENorvaleError& failure) {
    return failure.ResultCode() < 0 ? failure.ResultCode() : E_UNEXPECTED;
}

HRESULT PostErrorInfo(const TComClass& cls, const std::string& description, HRESULT result) {
    ComPtr<ICreateErrorInfo> creator;
    if (SUCCEEDED(CreateErrorInfo(creator.put()))) {
        const std::wstring wideDescription = AnsiToWide(description);
        const std::wstring wideSource = AnsiToWide(cls.Name);
        creator->SetDescription(const_cast<LPOLESTR>(wideDescription.c_str()));
        creator->SetSource(const_cast<LPOLESTR>(wideSource.c_str()));
        creator->SetGUID(cls.DefaultInterface);
        creator->SetHelpContext(0);
        const auto info = creator.query<IErrorInfo>(IID_IErrorInfo);
        SetErrorInfo(0, info.get());
    }
    return result;
}

}  // namespace norvale
