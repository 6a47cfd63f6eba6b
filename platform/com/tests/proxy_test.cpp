#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "lumivel/com_object.h"
#include "lumivel/thread_queue.h"
#include "win/objidl.h"
#include "win/oleauto.h"
#include "win/threads.h"

namespace {

using namespace lumivel::com;

// Records on which thread each Invoke runs; DISPID 1 answers the id of that thread.
class ThreadReporter : public ComObject<ThreadReporter, IDispatch> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {InterfaceOf<ThreadReporter, IDispatch>(IID_IDispatch)};
    static std::atomic<int> s_alive;
    std::function<void()> onInvoke;

    ThreadReporter() { ++s_alive; }
    ~ThreadReporter() override { --s_alive; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (onInvoke) onInvoke();
        if (id != 1) return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_UI8;
        result->ullVal = std::hash<std::thread::id>()(std::this_thread::get_id());
        return S_OK;
    }
};
std::atomic<int> ThreadReporter::s_alive{0};

size_t ThisThread() { return std::hash<std::thread::id>()(std::this_thread::get_id()); }

// A single-threaded apartment that owns one ThreadReporter and serves calls until stopped.
class OwnerThread {
public:
    OwnerThread() {
        m_thread = std::thread([this] {
            CoInitialize(nullptr);
            CreateComObject<ThreadReporter>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&m_object));
            m_id = ThisThread();
            m_queue = lumivel::CurrentThreadQueue();
            IStream* stream = nullptr;
            CoMarshalInterThreadInterfaceInStream(IID_IDispatch, m_object, &stream);
            m_stream.set_value(stream);
            lumivel::PumpThreadWorkUntil([this] { return m_stop.load(); }, INFINITE);
            m_object->Release();
            CoUninitialize();
        });
    }
    ~OwnerThread() { stop(); }
    IStream* stream() { return m_stream.get_future().get(); }
    void stop() {
        if (!m_thread.joinable()) return;
        lumivel::PostThreadWork(*m_queue, [this] { m_stop = true; });
        m_thread.join();
    }
    size_t id() const { return m_id; }
    ThreadReporter* object() const { return static_cast<ThreadReporter*>(m_object); }
    lumivel::ThreadQueuePtr queue() const { return m_queue; }

private:
    std::thread m_thread;
    std::promise<IStream*> m_stream;
    std::atomic<bool> m_stop{false};
    IDispatch* m_object = nullptr;
    size_t m_id = 0;
    lumivel::ThreadQueuePtr m_queue;
};

HRESULT AskThread(IDispatch* dispatch, size_t* thread) {
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    HRESULT hr = dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
    *thread = size_t(result.ullVal);
    return hr;
}

template <typename F>
void InApartment(DWORD mode, F body) {
    std::thread worker([&] {
        CoInitializeEx(nullptr, mode);
        body();
        CoUninitialize();
    });
    worker.join();
}

TEST(Proxy, CallsFromAWorkerRunOnTheOwnerThread) {
    OwnerThread owner;
    IStream* stream = owner.stream();
    ASSERT_NE(stream, nullptr);
    InApartment(COINIT_APARTMENTTHREADED, [&] {
        IDispatch* proxy = nullptr;
        ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, reinterpret_cast<void**>(&proxy)), S_OK);
        EXPECT_NE(proxy, static_cast<IDispatch*>(owner.object())) << "a proxy, not the object";
        size_t ranOn = 0;
        ASSERT_EQ(AskThread(proxy, &ranOn), S_OK);
        EXPECT_EQ(ranOn, owner.id());
        EXPECT_NE(ranOn, ThisThread());

        // Identity rules hold for the proxy.
        IUnknown* a = nullptr;
        IUnknown* b = nullptr;
        proxy->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
        proxy->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
        EXPECT_EQ(a, b);
        IDispatch* again = nullptr;
        a->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&again));
        EXPECT_EQ(again, proxy);
        void* stream = reinterpret_cast<void*>(1);
        EXPECT_EQ(proxy->QueryInterface(IID_IStream, &stream), E_NOINTERFACE);
        again->Release();
        a->Release();
        b->Release();

        // Only the receiving apartment may use it.
        std::thread stranger([&] {
            CoInitialize(nullptr);
            size_t ignored;
            EXPECT_EQ(AskThread(proxy, &ignored), RPC_E_WRONG_THREAD);
            CoUninitialize();
        });
        stranger.join();
        proxy->Release();
    });
    owner.stop();
    EXPECT_EQ(ThreadReporter::s_alive.load(), 0) << "the proxy's reference was given back on the owner thread";
}

TEST(Proxy, TheOwnerCallingThroughAProxyDoesNotDeadlock) {
    OwnerThread owner;
    IStream* stream = owner.stream();
    IDispatch* proxy = nullptr;
    InApartment(COINIT_APARTMENTTHREADED, [&] {
        ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, reinterpret_cast<void**>(&proxy)), S_OK);
        // The owner's own call arrives through the queue and runs in place.
        std::promise<std::pair<HRESULT, size_t>> answer;
        lumivel::PostThreadWork(*owner.queue(), [&] {
            size_t ranOn = 0;
            HRESULT hr = AskThread(proxy, &ranOn);
            answer.set_value({hr, ranOn});
        });
        // Wait while pumping nothing special: the owner does not need this thread.
        auto [hr, ranOn] = answer.get_future().get();
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(ranOn, owner.id());
        proxy->Release();
    });
}

TEST(Proxy, CallbacksIntoTheWaitingCallerAreServed) {
    OwnerThread owner;
    IStream* stream = owner.stream();
    InApartment(COINIT_APARTMENTTHREADED, [&] {
        IDispatch* proxy = nullptr;
        ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, reinterpret_cast<void**>(&proxy)), S_OK);
        lumivel::ThreadQueuePtr caller = lumivel::CurrentThreadQueue();
        size_t callbackRanOn = 0;
        // While serving the call, the owner asks the waiting caller for something and waits too.
        owner.object()->onInvoke = [&] {
            std::atomic<bool> done{false};
            lumivel::ThreadQueuePtr self = lumivel::CurrentThreadQueue();
            lumivel::PostThreadWork(*caller, [&] {
                callbackRanOn = ThisThread();
                done = true;
                lumivel::WakeThreadQueue(*self);
            });
            lumivel::PumpThreadWorkUntil([&] { return done.load(); }, 5000);
        };
        size_t ranOn = 0;
        EXPECT_EQ(AskThread(proxy, &ranOn), S_OK);
        EXPECT_EQ(callbackRanOn, ThisThread());
        owner.object()->onInvoke = nullptr;
        proxy->Release();
    });
}

TEST(Proxy, AnOwnerWaitingForItsWorkerStillServesItsCalls) {
    // The owner waits for a worker (as a node waits for its fetch thread) while that worker
    // calls into the owner's apartment: the pumping wait serves the call.
    InApartment(COINIT_APARTMENTTHREADED, [] {
        IDispatch* object = nullptr;
        CreateComObject<ThreadReporter>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
        IStream* stream = nullptr;
        ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, object, &stream), S_OK);
        HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        size_t ranOn = 0;
        HRESULT called = E_FAIL;
        std::thread worker([&] {
            CoInitialize(nullptr);
            IDispatch* proxy = nullptr;
            if (SUCCEEDED(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, reinterpret_cast<void**>(&proxy)))) {
                called = AskThread(proxy, &ranOn);
                proxy->Release();
            }
            CoUninitialize();
            SetEvent(finished);
        });
        DWORD index = 99;
        EXPECT_EQ(CoWaitForMultipleHandles(0, 10000, 1, &finished, &index), S_OK);
        EXPECT_EQ(index, 0u);
        worker.join();
        EXPECT_EQ(called, S_OK);
        EXPECT_EQ(ranOn, ThisThread());
        ResetEvent(finished);
        EXPECT_EQ(CoWaitForMultipleHandles(0, 20, 1, &finished, &index), RPC_S_CALLPENDING);
        EXPECT_EQ(CoWaitForMultipleHandles(0, 20, 0, &finished, &index), E_INVALIDARG);
        CloseHandle(finished);
        lumivel::RunPendingThreadWork();  // the proxy's release of its reference
        object->Release();
        EXPECT_EQ(ThreadReporter::s_alive.load(), 0);
    });
}

TEST(Proxy, AnEndedOwnerDisconnects) {
    auto owner = std::make_unique<OwnerThread>();
    IStream* stream = owner->stream();
    InApartment(COINIT_APARTMENTTHREADED, [&] {
        IDispatch* proxy = nullptr;
        ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, reinterpret_cast<void**>(&proxy)), S_OK);
        owner->stop();
        size_t ignored;
        EXPECT_EQ(AskThread(proxy, &ignored), RPC_E_DISCONNECTED);
        proxy->Release();
    });
}

TEST(Proxy, SameApartmentGetsTheObjectAndStreamsAreSingleUse) {
    InApartment(COINIT_APARTMENTTHREADED, [] {
        IDispatch* object = nullptr;
        CreateComObject<ThreadReporter>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
        IStream* stream = nullptr;
        ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, object, &stream), S_OK);
        IStream* copy = nullptr;
        stream->Clone(&copy);
        IDispatch* same = nullptr;
        ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, reinterpret_cast<void**>(&same)), S_OK);
        EXPECT_EQ(same, object);
        same->Release();
        EXPECT_EQ(CoGetInterfaceAndReleaseStream(copy, IID_IDispatch, reinterpret_cast<void**>(&same)),
                  CO_E_OBJNOTCONNECTED);
        EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IStream, object, &stream), E_NOINTERFACE);
        object->Release();
    });
    std::thread uninitialized([] {
        IStream* stream = nullptr;
        ThreadReporter local;
        EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, static_cast<IDispatch*>(&local), &stream),
                  CO_E_NOTINITIALIZED);
    });
    uninitialized.join();
}

}  // namespace
