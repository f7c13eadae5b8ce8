#pragma once

// The base of the server and session objects: one reference count,
// QueryInterface over the object's interfaces, IDispatch through the default
// interface's type information whatever interface a call arrives through,
// ISupportErrorInfo, IProvideClassInfo, and a connection-point container that
// never holds a connection point.

#include <windows.h>
#include <ocidl.h>

#include <atomic>

#include "common/call_profile.h"
#include "server/com_boundary.h"
#include "server/com_class.h"

namespace norvale {

template <typename DefaultInterface, typename... OtherInterfaces>
class TSmartComObject : public DefaultInterface,
                        public OtherInterfaces...,
                        public ISupportErrorInfo,
                        public IProvideClassInfo,
                        public IConnectionPointContainer {
public:
    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = InterfaceFor(iid);
        if (*object == nullptr) return E_NOINTERFACE;
        static_cast<IUnknown*>(*object)->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch, always against the default interface.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        *info = ComPtr<ITypeInfo>(class_.DispatchInfo).detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return class_.DispatchInfo->GetIDsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if ((flags & DISPATCH_PROPERTYPUTREF) != 0) flags = static_cast<WORD>((flags & ~DISPATCH_PROPERTYPUTREF) | DISPATCH_PROPERTYPUT);
        return class_.VtableInfo->Invoke(static_cast<DefaultInterface*>(this), member, flags, parameters, result,
                                         exception, argumentError);
    }

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return InterfaceFor(iid) != nullptr ? S_OK : S_FALSE;
    }

    // IProvideClassInfo
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = ComPtr<ITypeInfo>(class_.ClassInfo).detach();
        return S_OK;
    }

    // IConnectionPointContainer: the object offers no connection point.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override {
        if (points != nullptr) *points = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID, IConnectionPoint** point) override {
        if (point != nullptr) *point = nullptr;
        return E_FAIL;
    }

protected:
    explicit TSmartComObject(const TComClass& cls) : class_(cls) {}
    virtual ~TSmartComObject() = default;

    template <typename Body>
    HRESULT Boundary(Body body) {
        const TStageTimer timer(CallStage::Call);
        return ComBoundary(class_, body);
    }

    ULONG DropReference() { return --references_; }
    const TComClass& Class() const { return class_; }

private:
    void* InterfaceFor(REFIID iid) {
        // The interface implemented may derive from the class's default one.
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(DefaultInterface) ||
            iid == class_.DefaultInterface) {
            return static_cast<DefaultInterface*>(this);
        }
        void* other = nullptr;
        ((other = other != nullptr ? other
                                   : (iid == __uuidof(OtherInterfaces) ? static_cast<OtherInterfaces*>(this) : nullptr)),
         ...);
        if (other != nullptr) return other;
        if (iid == IID_ISupportErrorInfo) return static_cast<ISupportErrorInfo*>(this);
        if (iid == IID_IProvideClassInfo) return static_cast<IProvideClassInfo*>(this);
        if (iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
        return nullptr;
    }

    const TComClass& class_;
    std::atomic<ULONG> references_{0};
};

}  // namespace norvale
