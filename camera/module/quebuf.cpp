#include "quebuf.h"

#include <cstdint>
#include <cstdlib>

CQueBuf::~CQueBuf()
{
    std::free(rawBlock);
}

int CQueBuf::Reserve(int size)
{
    if (size <= 0)
        return -1;
    if (capacity >= size)
        return 1;

    // Computed in 64 bits: size plus the alignment slack may not fit an int.
    std::size_t allocSize = std::size_t(size);
    if (alignment > 0)
        allocSize += std::size_t(alignment) - 1;

    if (rawBlock) {
        std::free(rawBlock);
        rawBlock = nullptr;
        data = nullptr;
        capacity = 0;
        length = 0;
    }

    rawBlock = static_cast<unsigned char *>(std::malloc(allocSize));
    if (!rawBlock)
        return -1;

    data = rawBlock;
    if (alignment > 0) {
        const std::uintptr_t a = std::uintptr_t(alignment);
        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(rawBlock);
        data = rawBlock + ((a - start % a) % a);
    }
    capacity = size;
    length = 0;
    return 0;
}
