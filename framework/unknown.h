// Reference counting and interface lookup for every COM object of the module.
//
// An object counts its references through its non-delegating IUnknown. Pins
// and other sub-objects are built with an owner: their IUnknown methods go to
// the owner, so the filter and its pins live and die as one. Every object is
// counted in the module's object count, which DllCanUnloadNow reads.
#ifndef KELO_FRAMEWORK_UNKNOWN_H
#define KELO_FRAMEWORK_UNKNOWN_H

#include <unknwn.h>

// The same three slots as IUnknown, so a pointer to it can stand for the
// object's own IUnknown.
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown {
public:
    // `owner` null: the object answers for itself.
    explicit CUnknown(IUnknown* owner);
    virtual ~CUnknown();
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    // The IUnknown that answers for this object: the owner's, or its own.
    IUnknown* GetOwner() const { return owner_; }

private:
    IUnknown* owner_;
    volatile LONG references_ = 0;
};

// Stores `p` (with a reference added) and answers S_OK.
HRESULT GetInterface(IUnknown* p, void** out);

// Module-wide counts: live objects and LockServer locks.
namespace module_count {
void AddObject();
void RemoveObject();
void Lock(bool lock);
bool CanUnload();
}  // namespace module_count

// The IUnknown methods of a class that implements COM interfaces on a
// CUnknown: all go to the owner.
#define KELO_IUNKNOWN_FROM_OWNER                                                \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { \
        return GetOwner()->QueryInterface(iid, out);                            \
    }                                                                           \
    ULONG STDMETHODCALLTYPE AddRef() override { return GetOwner()->AddRef(); }  \
    ULONG STDMETHODCALLTYPE Release() override { return GetOwner()->Release(); }

#endif
