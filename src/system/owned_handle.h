#pragma once
// One owner for the system's handles: it closes its handle on every path out.
// A kind of handle is a small traits struct: the handle type, the value that
// means "none" and the call that closes it.
#include <windows.h>

template <typename Kind>
class Owned {
public:
    using Handle = typename Kind::Handle;

    explicit Owned(Handle handle = Kind::None()) : handle_(handle) {}
    ~Owned()
    {
        if (valid())
            Kind::Close(handle_);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Kind::None(); }
    // Where a call that opens a handle stores it; the owner must be empty.
    Handle* receive() { return &handle_; }
    // Hands the handle over to the caller, who closes it.
    Handle Release()
    {
        const Handle handle = handle_;
        handle_ = Kind::None();
        return handle;
    }

private:
    Handle handle_;
};

// Processes, threads, tokens and other kernel objects: null is none.
struct KernelObjectKind {
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

// Files: INVALID_HANDLE_VALUE is none.
struct FileKind {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct RegistryKeyKind {
    using Handle = HKEY;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { RegCloseKey(handle); }
};

struct LoadedModuleKind {
    using Handle = HMODULE;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { FreeLibrary(handle); }
};

using OwnedHandle = Owned<KernelObjectKind>;
using FileHandle = Owned<FileKind>;
using RegKey = Owned<RegistryKeyKind>;
using LoadedModule = Owned<LoadedModuleKind>;
