/*
 * tavrok/com_object.h - reference counting for COM objects, and QueryInterface for one
 * that implements a single interface.
 *
 * An object starts with one reference, owned by whoever created it; the last Release
 * deletes it.  ComObject's QueryInterface answers IUnknown and the interface's own
 * identifier.
 */
#ifndef TAVROK_COM_OBJECT_H
#define TAVROK_COM_OBJECT_H

#include <objbase.h>

#include <atomic>

namespace tavrok {

template <class Interface>
class RefCounted : public Interface {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~RefCounted() = default;

private:
    std::atomic<ULONG> references_{1};
};

template <class Interface, const IID &InterfaceId>
class ComObject : public RefCounted<Interface> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != InterfaceId)
            return E_NOINTERFACE;
        this->AddRef();
        *object = static_cast<Interface *>(this);
        return S_OK;
    }
};

}  // namespace tavrok

#endif
