#pragma once
#include <windows.h>
#include <winsvc.h>

// One tiny owner per handle kind. NULL and INVALID_HANDLE_VALUE both mean "none".
template <typename Traits>
class unique_owner {
public:
    using handle_type = typename Traits::type;

    unique_owner() = default;
    explicit unique_owner(handle_type h) : h_(h) {}
    ~unique_owner() { reset(); }
    unique_owner(const unique_owner&) = delete;
    unique_owner& operator=(const unique_owner&) = delete;
    unique_owner(unique_owner&& other) noexcept : h_(other.release()) {}
    unique_owner& operator=(unique_owner&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    handle_type get() const { return h_; }
    explicit operator bool() const { return Traits::valid(h_); }
    // Address for an out-parameter; whatever was held is closed first.
    handle_type* put()
    {
        reset();
        return &h_;
    }
    handle_type release()
    {
        handle_type h = h_;
        h_ = Traits::none();
        return h;
    }
    void reset(handle_type h = Traits::none())
    {
        if (Traits::valid(h_))
            Traits::close(h_);
        h_ = h;
    }

private:
    handle_type h_ = Traits::none();
};

struct kernel_handle_traits {
    using type = HANDLE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(type h) { CloseHandle(h); }
};

struct reg_key_traits {
    using type = HKEY;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { RegCloseKey(h); }
};

struct sc_handle_traits {
    using type = SC_HANDLE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { CloseServiceHandle(h); }
};

struct module_traits {
    using type = HMODULE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { FreeLibrary(h); }
};

struct view_traits {
    using type = void*;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { UnmapViewOfFile(h); }
};

// A mutex this thread holds: released, then closed.
struct held_mutex_traits {
    using type = HANDLE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h)
    {
        ReleaseMutex(h);
        CloseHandle(h);
    }
};

// A SID from AllocateAndInitializeSid.
struct sid_traits {
    using type = PSID;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { FreeSid(h); }
};

// Memory the system allocated for the caller with LocalAlloc (a SID or a
// text from the sddl conversions), held as the pointer type it was given as.
template <typename T>
struct local_memory_traits {
    using type = T;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { LocalFree(h); }
};

using unique_handle = unique_owner<kernel_handle_traits>;
using unique_hkey = unique_owner<reg_key_traits>;
using unique_sc_handle = unique_owner<sc_handle_traits>;
using unique_module = unique_owner<module_traits>;
using unique_view = unique_owner<view_traits>;
using unique_held_mutex = unique_owner<held_mutex_traits>;
using unique_sid = unique_owner<sid_traits>;
template <typename T>
using unique_local = unique_owner<local_memory_traits<T>>;

// Runs a callable when the scope is left, on every way out.
template <typename F>
class scope_exit {
public:
    explicit scope_exit(F f) : f_(f) {}
    ~scope_exit()
    {
        if (armed_)
            f_();
    }
    scope_exit(const scope_exit&) = delete;
    scope_exit& operator=(const scope_exit&) = delete;
    void release() { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};
