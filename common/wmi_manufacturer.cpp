#include "wmi_manufacturer.h"

#include "handles.h"
#include "system_folder.h"

#include <new>
#include <objbase.h>
#include <wbemcli.h>

namespace {

typedef HRESULT(WINAPI* co_initialize_ex_fn)(void*, DWORD);
typedef void(WINAPI* co_uninitialize_fn)();
typedef HRESULT(WINAPI* co_create_instance_fn)(REFCLSID, IUnknown*, DWORD, REFIID, void**);
typedef HRESULT(WINAPI* co_set_proxy_blanket_fn)(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD,
                                                 RPC_AUTH_IDENTITY_HANDLE, DWORD);
typedef BSTR(WINAPI* sys_alloc_string_fn)(const OLECHAR*);
typedef void(WINAPI* sys_free_string_fn)(BSTR);
typedef HRESULT(WINAPI* variant_clear_fn)(VARIANTARG*);

struct com_api {
    co_initialize_ex_fn initialize;
    co_uninitialize_fn uninitialize;
    co_create_instance_fn create_instance;
    co_set_proxy_blanket_fn set_proxy_blanket;
    sys_alloc_string_fn alloc_string;
    sys_free_string_fn free_string;
    variant_clear_fn variant_clear;
};

// Shared by the caller and the query's thread; the last one to let go frees it.
struct wmi_call {
    LONG references;
    DWORD wait_ms;
    HMODULE pinned;   // this code's module, held until the thread has ended
    wmi_answer answer;
};

void let_go(wmi_call* call)
{
    if (InterlockedDecrement(&call->references) == 0)
        delete call;
}

HMODULE load_system_dll(const char* name)
{
    char path[MAX_PATH];
    return system_file_path(name, path, sizeof path) ? LoadLibraryA(path) : nullptr;
}

template <typename F>
bool resolve(HMODULE module, const char* name, F* fn)
{
    *fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *fn != nullptr;
}

bool resolve_com(HMODULE ole32, HMODULE oleaut32, com_api* api)
{
    return ole32 && oleaut32 && resolve(ole32, "CoInitializeEx", &api->initialize) &&
           resolve(ole32, "CoUninitialize", &api->uninitialize) &&
           resolve(ole32, "CoCreateInstance", &api->create_instance) &&
           resolve(ole32, "CoSetProxyBlanket", &api->set_proxy_blanket) &&
           resolve(oleaut32, "SysAllocString", &api->alloc_string) &&
           resolve(oleaut32, "SysFreeString", &api->free_string) &&
           resolve(oleaut32, "VariantClear", &api->variant_clear);
}

// Windows 2000 gives a proxy the identify level by default, which WMI refuses.
void allow_impersonation(const com_api& api, IUnknown* proxy)
{
    api.set_proxy_blanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

template <typename T>
void release(T* object)
{
    if (object)
        object->Release();
}

// The query itself, in an initialised apartment.
HRESULT ask_manufacturer(const com_api& api, DWORD wait_ms, wmi_answer* answer)
{
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    IEnumWbemClassObject* rows = nullptr;
    IWbemClassObject* row = nullptr;
    BSTR space = api.alloc_string(L"ROOT\\CIMV2");
    BSTR language = api.alloc_string(L"WQL");
    BSTR query = api.alloc_string(L"SELECT Manufacturer FROM Win32_ComputerSystem");
    HRESULT hr = space && language && query ? S_OK : E_OUTOFMEMORY;
    if (SUCCEEDED(hr))
        hr = api.create_instance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                 reinterpret_cast<void**>(&locator));
    if (SUCCEEDED(hr)) {
        // The flag bounds the connection to two minutes; a WMI too old to
        // know it is asked without.
        hr = locator->ConnectServer(space, nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT,
                                    nullptr, nullptr, &services);
        if (hr == static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER))
            hr = locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    }
    if (SUCCEEDED(hr)) {
        allow_impersonation(api, services);
        hr = services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                 nullptr, &rows);
    }
    ULONG count = 0;
    if (SUCCEEDED(hr)) {
        allow_impersonation(api, rows);
        hr = rows->Next(static_cast<LONG>(wait_ms), 1, &row, &count);
        if (hr == WBEM_S_TIMEDOUT)
            hr = HRESULT_FROM_WIN32(WAIT_TIMEOUT);
        else if (SUCCEEDED(hr) && count == 0)
            hr = WBEM_E_NOT_FOUND;
    }
    if (SUCCEEDED(hr) && count == 1) {
        VARIANT value;
        value.vt = VT_EMPTY;
        hr = row->Get(L"Manufacturer", 0, &value, nullptr, nullptr);
        if (SUCCEEDED(hr) && value.vt == VT_BSTR && value.bstrVal) {
            answer->read = WideCharToMultiByte(CP_ACP, 0, value.bstrVal, -1, answer->manufacturer,
                                               sizeof answer->manufacturer, nullptr, nullptr) != 0;
            if (!answer->read)
                hr = HRESULT_FROM_WIN32(GetLastError());
        } else if (SUCCEEDED(hr)) {
            hr = WBEM_E_NOT_FOUND;   // NULL: the firmware names no manufacturer
        }
        api.variant_clear(&value);
    }
    release(row);
    release(rows);
    release(services);
    release(locator);
    api.free_string(query);
    api.free_string(language);
    api.free_string(space);
    return hr;
}

// A caller in a DLL (the package's actions) may be unloaded while a query
// that timed out still runs: the thread keeps the module loaded.
HMODULE pin_this_module()
{
    MEMORY_BASIC_INFORMATION region = {};
    char path[MAX_PATH];
    if (!VirtualQuery(reinterpret_cast<void*>(&pin_this_module), &region, sizeof region))
        return nullptr;
    DWORD length = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, sizeof path);
    return length && length < sizeof path ? LoadLibraryA(path) : nullptr;
}

DWORD WINAPI query_thread(void* parameter)
{
    wmi_call* call = static_cast<wmi_call*>(parameter);
    HMODULE pinned = call->pinned;
    wmi_answer* answer = &call->answer;
    // Never unloaded: COM's own threads may outlive the apartment.
    HMODULE ole32 = load_system_dll("ole32.dll");
    HMODULE oleaut32 = load_system_dll("oleaut32.dll");
    com_api api = {};
    if (!resolve_com(ole32, oleaut32, &api)) {
        answer->failure = GetLastError();
    } else {
        HRESULT hr = api.initialize(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(hr)) {
            hr = ask_manufacturer(api, call->wait_ms, answer);
            api.uninitialize();
        }
        answer->failure = answer->read                            ? 0
                          : hr == HRESULT_FROM_WIN32(WAIT_TIMEOUT) ? WAIT_TIMEOUT
                                                                   : static_cast<DWORD>(hr);
    }
    let_go(call);
    if (pinned)
        FreeLibraryAndExitThread(pinned, 0);
    return 0;
}

} // namespace

wmi_answer query_wmi_manufacturer(DWORD wait_ms)
{
    wmi_answer answer = {};
    answer.failure = WAIT_TIMEOUT;
    wmi_call* call = new (std::nothrow) wmi_call();
    if (!call) {
        answer.failure = ERROR_NOT_ENOUGH_MEMORY;
        return answer;
    }
    *call = {2, wait_ms, pin_this_module(), {}};
    unique_handle thread(CreateThread(nullptr, 0, query_thread, call, 0, nullptr));
    if (!thread) {
        answer.failure = GetLastError();
        if (call->pinned)
            FreeLibrary(call->pinned);
        delete call;
        return answer;
    }
    if (WaitForSingleObject(thread.get(), wait_ms) == WAIT_OBJECT_0)
        answer = call->answer;
    let_go(call);
    return answer;
}
