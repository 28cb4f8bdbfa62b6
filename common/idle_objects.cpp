#include "idle_objects.h"

#include "bounded_ops.h"
#include "contract.h"
#include "file_rights.h"
#include "handles.h"

#if !defined(_WIN64)
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12, "SECURITY_ATTRIBUTES of the 32-bit build");
#endif

namespace {

idle_object failed(idle_object_step step, DWORD error)
{
    return idle_object{nullptr, step, error};
}

idle_object ready(HANDLE handle)
{
    return idle_object{handle, IDLE_OBJECT_READY, ERROR_SUCCESS};
}

// A DACL that is present and null: no access restriction for anybody.
// Without it an object gets its creator's default DACL (the creator and
// SYSTEM only), and every other user's programs are denied.
bool init_open_descriptor(SECURITY_DESCRIPTOR* descriptor)
{
    return InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE);
}

} // namespace

idle_object obtain_idle_mutex(const char* name)
{
    HANDLE mutex = OpenMutexA(IDLE_MUTEX_USER_RIGHTS, FALSE, name);
    if (mutex)
        return ready(mutex);
    file_security security;
    if (!build_file_security(idle_mutex_rights(), &security))
        return failed(IDLE_OBJECT_NO_DESCRIPTOR, GetLastError());
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &security.descriptor, FALSE};
    unique_handle created(CreateMutexA(&attributes, FALSE, name));
    if (!created) {
        DWORD error = GetLastError();
        // Made by another program since the open: CreateMutexA asks for all
        // access to it, which only SYSTEM and Administrators have.
        mutex = OpenMutexA(IDLE_MUTEX_USER_RIGHTS, FALSE, name);
        return mutex ? ready(mutex) : failed(IDLE_OBJECT_NOT_CREATED, error);
    }
    // The creator's handle has every right whatever the DACL says: keep only
    // what everybody is granted.
    if (!DuplicateHandle(GetCurrentProcess(), created.get(), GetCurrentProcess(), &mutex,
                         IDLE_MUTEX_USER_RIGHTS, FALSE, 0))
        return failed(IDLE_OBJECT_NOT_CREATED, GetLastError());
    return ready(mutex);
}

idle_object obtain_idle_mapping(const char* name)
{
    HANDLE existing = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (existing)
        return ready(existing);
    SECURITY_DESCRIPTOR descriptor;
    if (!init_open_descriptor(&descriptor))
        return failed(IDLE_OBJECT_NO_DESCRIPTOR, GetLastError());
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, TRUE};
    unique_handle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                             IDLE_BLOCK_SIZE, name));
    if (!mapping)
        return failed(IDLE_OBJECT_NOT_CREATED, GetLastError());
    unique_view view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, IDLE_BLOCK_SIZE));
    if (!view)
        return failed(IDLE_OBJECT_NOT_ZEROED, GetLastError());
    bounded_fill(view.get(), IDLE_BLOCK_SIZE, 0, IDLE_BLOCK_SIZE);
    return ready(mapping.release());
}
