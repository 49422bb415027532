#include "type_questions.h"

#include <objbase.h>

#include "com_ptr.h"
#include "media_type.h"

bool TypeQuestions::Start(IBaseFilter* filter) {
    filter_ = filter;
    stop_ = false;
    thread_ = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    return thread_ != nullptr;
}

void TypeQuestions::Stop() {
    if (!thread_) return;
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI TypeQuestions::ThreadProc(void* self) {
    auto* questions = static_cast<TypeQuestions*>(self);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    while (!questions->stop_) {
        if (!questions->AskOnce()) ++questions->wrong_rounds_;
        ++questions->rounds_;
    }
    CoUninitialize();
    return 0;
}

bool TypeQuestions::AskOnce() {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter_->EnumPins(pins.Receive())) || !pins) return false;
    bool ok = true;
    for (IPin* pin = nullptr; pins->Next(1, &pin, nullptr) == S_OK; pin = nullptr) {
        ComPtr<IPin> held = ComPtr<IPin>::Attach(pin);
        ComPtr<IEnumMediaTypes> types;
        ULONG offered = 0;
        if (SUCCEEDED(pin->EnumMediaTypes(types.Receive())) && types)
            for (AM_MEDIA_TYPE* type = nullptr; types->Next(1, &type, nullptr) == S_OK; type = nullptr) {
                DeleteMediaType(type);
                ++offered;
            }
        AM_MEDIA_TYPE connection = {};
        const bool connected = pin->ConnectionMediaType(&connection) == S_OK;
        ok = ok && offered > 0 && connected && pin->QueryAccept(&connection) == S_OK;
        FreeMediaType(connection);
    }
    return ok;
}
