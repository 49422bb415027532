// The filter module's COM lifetime, as a host sees it: the module is loaded
// with LoadLibrary and reached only through its exports. Its class factory
// answers the documented codes, DllCanUnloadNow says S_FALSE exactly while an
// object or a server lock lives, and the filter object follows the
// QueryInterface rules (the interfaces it serves, E_POINTER, E_NOINTERFACE,
// one identity).
//
// Usage: module_unload_test [gtest options] PATH_TO_MODULE.ax
#include <dshow.h>
#include <gtest/gtest.h>
#include <ocidl.h>
#include <windows.h>

// After the SDK headers: only the GUIDs defined below and the module's own
// are given storage in this program.
#include <initguid.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "com_apartment.h"
#include "com_ptr.h"
#include "kelo_guids.h"
#include "loaded_module_test.h"

namespace {

// {6A4D3F80-5B7E-4C1D-9E2A-7F0C1B2D3E4F}: a class no module serves.
DEFINE_GUID(kUnknownClass, 0x6a4d3f80, 0x5b7e, 0x4c1d, 0x9e, 0x2a, 0x7f, 0x0c, 0x1b, 0x2d, 0x3e, 0x4f);
// {0D5B8E21-44C6-4F5A-8B3E-2C7A9D1E6F03}: an interface nobody implements.
DEFINE_GUID(kUnknownInterface, 0x0d5b8e21, 0x44c6, 0x4f5a, 0x8b, 0x3e, 0x2c, 0x7a, 0x9d, 0x1e, 0x6f, 0x03);

// An invalid pointer value: a call that should clear an out pointer must overwrite it.
void* Poison() { return reinterpret_cast<void*>(uintptr_t(0xBAADF00D)); }

class ModuleTest : public LoadedModuleTest {
protected:
    static ComPtr<IClassFactory> Factory(const CLSID& clsid = CLSID_KeloMervane) {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(module_->GetClassObject(clsid, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
        return factory;
    }
};

struct ClassObjectCase {
    const char* label;
    const GUID* clsid;
    const GUID* iid;
    HRESULT expected;
};

TEST_F(ModuleTest, DllGetClassObjectAnswersPerClassAndInterface) {
    const ClassObjectCase cases[] = {
        {"filter factory", &CLSID_KeloMervane, &IID_IClassFactory, S_OK},
        {"filter factory as IUnknown", &CLSID_KeloMervane, &IID_IUnknown, S_OK},
        {"property page factory", &CLSID_KeloMervaneProperties, &IID_IClassFactory, S_OK},
        {"property page factory as IUnknown", &CLSID_KeloMervaneProperties, &IID_IUnknown, S_OK},
        {"the page's own interface from the factory", &CLSID_KeloMervaneProperties, &IID_IPropertyPage, E_NOINTERFACE},
        {"an unknown interface of a served class", &CLSID_KeloMervaneProperties, &kUnknownInterface, E_NOINTERFACE},
        {"an unknown interface of an unknown class", &kUnknownClass, &kUnknownInterface, E_NOINTERFACE},
        {"the filter's own interface from the factory", &CLSID_KeloMervane, &IID_IBaseFilter, E_NOINTERFACE},
        {"an unknown interface", &CLSID_KeloMervane, &kUnknownInterface, E_NOINTERFACE},
        {"an unknown class", &kUnknownClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"a system class this module does not serve", &CLSID_FilterGraph, &IID_IClassFactory,
         CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const ClassObjectCase& c : cases) {
        SCOPED_TRACE(c.label);
        void* object = Poison();
        EXPECT_EQ(module_->GetClassObject(*c.clsid, *c.iid, &object), c.expected);
        if (c.expected == S_OK) {
            ASSERT_NE(object, nullptr);
            ASSERT_NE(object, Poison());
            EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u);
        } else {
            EXPECT_EQ(object, nullptr) << "the out pointer is cleared on failure";
        }
    }
}

// The out pointers of the module's entry point and of the factory (the filter's QueryInterface: below): null is
// refused, not written through.
TEST_F(ModuleTest, NullOutPointersAreRefused) {
    EXPECT_TRUE(FAILED(module_->GetClassObject(CLSID_KeloMervane, IID_IClassFactory, nullptr)));
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_TRUE(FAILED(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr)));
}

TEST_F(ModuleTest, FactoryCreatesThePropertyPageWhichKeepsTheModuleLoaded) {
    ComPtr<IClassFactory> factory = Factory(CLSID_KeloMervaneProperties);
    ASSERT_TRUE(factory);
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, page.ReceiveVoid()), S_OK);
    ASSERT_TRUE(page);
    EXPECT_EQ(factory.Detach()->Release(), 0u);
    EXPECT_EQ(module_->CanUnloadNow(), S_FALSE) << "the page is an object of the module";
    ComPtr<IUnknown> identity;
    ASSERT_EQ(page->QueryInterface(IID_IUnknown, identity.ReceiveVoid()), S_OK);
    void* object = Poison();
    EXPECT_EQ(page->QueryInterface(IID_IBaseFilter, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    identity.Reset();
    EXPECT_EQ(page.Detach()->Release(), 0u);
}

TEST_F(ModuleTest, FilterKeepsTheModuleLoadedAfterItsFactoryIsGone) {
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(module_->CreateFilter(filter.Receive()), S_OK);  // the factory is released inside
    EXPECT_EQ(module_->CanUnloadNow(), S_FALSE);
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(filter->QueryInterface(IID_IMediaSeeking, seeking.ReceiveVoid()), S_OK);
    filter.Reset();
    EXPECT_EQ(module_->CanUnloadNow(), S_FALSE) << "a reference through another interface still holds the filter";
    EXPECT_EQ(seeking.Detach()->Release(), 0u);
}

TEST_F(ModuleTest, ServerLockKeepsTheModuleLoaded) {
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(module_->CanUnloadNow(), S_FALSE) << "the lock outlives the factory";

    factory = Factory();
    ASSERT_TRUE(factory);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);  // locks count
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(module_->CanUnloadNow(), S_FALSE) << "one of two locks is still held";

    factory = Factory();
    ASSERT_TRUE(factory);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(module_->CanUnloadNow(), S_FALSE) << "the factory itself still lives";
    factory.Reset();
}

// Filters made and dropped on several threads at once: the module's object count must come back to zero (checked in
// TearDown), which a count kept without atomic updates does not reliably do.
TEST_F(ModuleTest, ConcurrentCreateAndReleaseBalance) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures] {
            ComApartment apartment;
            ComPtr<IClassFactory> factory;
            if (module_->GetClassObject(CLSID_KeloMervane, IID_IClassFactory, factory.ReceiveVoid()) != S_OK) {
                ++failures;
                return;
            }
            for (int i = 0; i < kRounds; ++i) {
                ComPtr<IBaseFilter> filter;
                if (factory->CreateInstance(nullptr, IID_IBaseFilter, filter.ReceiveVoid()) != S_OK || !filter)
                    ++failures;
                ComPtr<IMediaSeeking> seeking;
                if (filter && filter->QueryInterface(IID_IMediaSeeking, seeking.ReceiveVoid()) != S_OK) ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

// What the filter answers for each interface: the served ones with one identity, the others refused, a null out
// pointer never written through.
struct InterfaceCase {
    const char* label;
    const GUID* iid;
    bool served;
};

const InterfaceCase kInterfaces[] = {
    {"IUnknown", &IID_IUnknown, true},
    {"IBaseFilter", &IID_IBaseFilter, true},
    {"IMediaFilter", &IID_IMediaFilter, true},
    {"IPersist", &IID_IPersist, true},
    {"IFileSourceFilter", &IID_IFileSourceFilter, true},
    {"IMediaSeeking", &IID_IMediaSeeking, true},
    {"IMP4Param", &IID_IMP4Param, true},
    {"ISpecifyPropertyPages", &IID_ISpecifyPropertyPages, true},
    {"IAMovieSetup", &IID_IAMovieSetup, true},
    {"IPin", &IID_IPin, false},
    {"IMemInputPin", &IID_IMemInputPin, false},
    {"IMediaControl", &IID_IMediaControl, false},
    {"IGraphBuilder", &IID_IGraphBuilder, false},
    {"IReferenceClock", &IID_IReferenceClock, false},
    {"IClassFactory", &IID_IClassFactory, false},
    {"IDispatch", &IID_IDispatch, false},
    {"an unknown interface", &kUnknownInterface, false},
};

TEST_F(ModuleTest, FilterAnswersItsInterfacesWithOneIdentityAndRefusesOthers) {
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(module_->CreateFilter(filter.Receive()), S_OK);
    CLSID clsid{};
    ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_KeloMervane));
    ComPtr<IUnknown> identity;
    ASSERT_EQ(filter->QueryInterface(IID_IUnknown, identity.ReceiveVoid()), S_OK);
    for (const InterfaceCase& c : kInterfaces) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(filter->QueryInterface(*c.iid, nullptr), E_POINTER);
        void* answer = Poison();
        ASSERT_EQ(filter->QueryInterface(*c.iid, &answer), c.served ? S_OK : E_NOINTERFACE);
        if (!c.served) {
            EXPECT_EQ(answer, nullptr) << "the out pointer is cleared";
            continue;
        }
        ComPtr<IUnknown> held = ComPtr<IUnknown>::Attach(static_cast<IUnknown*>(answer));
        // From this interface, IUnknown is the same object, and every other served interface is reachable
        // (symmetry of QueryInterface).
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(held->QueryInterface(IID_IUnknown, unknown.ReceiveVoid()), S_OK);
        EXPECT_EQ(unknown.Get(), identity.Get());
        for (const InterfaceCase& other : kInterfaces) {
            ComPtr<IUnknown> reached;
            if (other.served)
                EXPECT_EQ(held->QueryInterface(*other.iid, reached.ReceiveVoid()), S_OK) << "to " << other.label;
        }
    }
    identity.Reset();
    EXPECT_EQ(filter.Detach()->Release(), 0u) << "every reference the queries added was balanced";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [gtest options] PATH_TO_MODULE.ax\n", argv[0]);
        return 2;
    }
    LoadedModuleTest::path = WindowsPath(argv[1]);
    ComApartment apartment;
    if (FAILED(apartment.Result())) {
        std::fprintf(stderr, "CoInitializeEx failed\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
