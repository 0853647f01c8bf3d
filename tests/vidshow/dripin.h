#ifndef DRIPIN_H
#define DRIPIN_H

#include <cstring>

#include <dlfcn.h>
#include <link.h>

// Mesa unloads its DRI driver when the X connection closes at exit; leaks
// inside it would then be reported against an unknown module, out of reach of
// the system-library suppressions. Call before exit to keep the loaded
// drivers mapped.
inline void pinDriDrivers()
{
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

#endif
