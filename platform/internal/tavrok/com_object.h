/*
 * tavrok/com_object.h - reference counting and QueryInterface for a COM object that
 * implements one interface.
 *
 * An object starts with one reference, owned by whoever created it; the last Release
 * deletes it.  QueryInterface answers IUnknown and the interface's own identifier.
 */
#ifndef TAVROK_COM_OBJECT_H
#define TAVROK_COM_OBJECT_H

#include <objbase.h>

#include <atomic>

namespace tavrok {

template <class Interface, const IID &InterfaceId>
class ComObject : public Interface {
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
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace tavrok

#endif
