#include "sink_allocator.h"

#include <vfwmsgs.h>

#include <climits>
#include <cstdint>
#include <new>

#include "sink_sample.h"

namespace {

// Scope guard for the pool's exclusive lock.
class PoolLock {
public:
    explicit PoolLock(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
    ~PoolLock() { ReleaseSRWLockExclusive(lock_); }
    PoolLock(const PoolLock&) = delete;
    PoolLock& operator=(const PoolLock&) = delete;

private:
    SRWLOCK* lock_;
};

bool IsPowerOfTwo(long n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

HRESULT SinkAllocator::Create(IMemAllocator** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) SinkAllocator();
    return *out ? S_OK : E_OUTOFMEMORY;
}

SinkAllocator::SinkAllocator() = default;
SinkAllocator::~SinkAllocator() {
    all_.clear();
    FreeMemory();
}

STDMETHODIMP SinkAllocator::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IMemAllocator) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IMemAllocator*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) SinkAllocator::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) SinkAllocator::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP SinkAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
    if (!request || !actual) return E_POINTER;
    PoolLock lock(&lock_);
    if (committed_) return VFW_E_ALREADY_COMMITTED;
    if (out_ > 0) return VFW_E_BUFFERS_OUTSTANDING;
    if (!IsPowerOfTwo(request->cbAlign)) return VFW_E_BADALIGN;
    ALLOCATOR_PROPERTIES granted = *request;
    if (granted.cBuffers < 1) granted.cBuffers = 1;
    if (granted.cbBuffer < 1) granted.cbBuffer = 1;
    if (granted.cbPrefix < 0) granted.cbPrefix = 0;
    const int64_t align = granted.cbAlign;
    const int64_t rounded = (int64_t{granted.cbBuffer} + granted.cbPrefix + align - 1) / align * align;
    if (rounded > LONG_MAX) return E_INVALIDARG;
    granted.cbBuffer = static_cast<long>(rounded - granted.cbPrefix);
    props_ = granted;
    have_props_ = true;
    *actual = granted;
    return S_OK;
}

STDMETHODIMP SinkAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
    if (!props) return E_POINTER;
    PoolLock lock(&lock_);
    *props = props_;
    return S_OK;
}

STDMETHODIMP SinkAllocator::Commit() {
    PoolLock lock(&lock_);
    if (!have_props_) return VFW_E_SIZENOTSET;
    if (committed_) return S_OK;
    if (all_.empty()) {
        const size_t stride = static_cast<size_t>(props_.cbPrefix) + static_cast<size_t>(props_.cbBuffer);
        const size_t count = static_cast<size_t>(props_.cBuffers);
        // Pages straight from the system, zero and untouched until written:
        // filling a large block here would cost the first sample milliseconds.
        // The alignment's slack covers alignments past the page's.
        memory_ = static_cast<BYTE*>(VirtualAlloc(nullptr, stride * count + static_cast<size_t>(props_.cbAlign),
                                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!memory_) return E_OUTOFMEMORY;
        const uintptr_t align = static_cast<uintptr_t>(props_.cbAlign);
        const uintptr_t prefixed = reinterpret_cast<uintptr_t>(memory_) + static_cast<uintptr_t>(props_.cbPrefix);
        BYTE* first = memory_ + props_.cbPrefix + (align - prefixed % align) % align;
        try {
            all_.reserve(count);
            free_.reserve(count);
            for (size_t i = 0; i < count; ++i) {
                all_.push_back(std::make_unique<SinkSample>(this, first + i * stride, props_.cbBuffer));
                free_.push_back(all_.back().get());
            }
        } catch (const std::bad_alloc&) {
            free_.clear();
            all_.clear();
            FreeMemory();
            return E_OUTOFMEMORY;
        }
    }
    committed_ = true;
    return S_OK;
}

STDMETHODIMP SinkAllocator::Decommit() {
    PoolLock lock(&lock_);
    committed_ = false;
    FreeBuffersIfIdle();
    WakeAllConditionVariable(&returned_);
    return S_OK;
}

void SinkAllocator::FreeBuffersIfIdle() {
    if (committed_ || out_ > 0) return;
    free_.clear();
    all_.clear();
    FreeMemory();
}

void SinkAllocator::FreeMemory() {
    if (memory_) VirtualFree(memory_, 0, MEM_RELEASE);
    memory_ = nullptr;
}

STDMETHODIMP SinkAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    SinkSample* taken = nullptr;
    {
        PoolLock lock(&lock_);
        for (;;) {
            if (!committed_) return VFW_E_NOT_COMMITTED;
            if (!free_.empty()) break;
            if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
            SleepConditionVariableSRW(&returned_, &lock_, INFINITE, 0);
        }
        taken = free_.back();
        free_.pop_back();
        ++out_;
        taken->Reset();
    }
    AddRef();  // each sample out holds the allocator
    *sample = taken;
    return S_OK;
}

STDMETHODIMP SinkAllocator::ReleaseBuffer(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    {
        PoolLock lock(&lock_);
        free_.push_back(static_cast<SinkSample*>(sample));
        --out_;
        FreeBuffersIfIdle();
        WakeConditionVariable(&returned_);
    }
    Release();
    return S_OK;
}
