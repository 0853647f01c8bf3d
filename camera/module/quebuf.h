#ifndef QUEBUF_H
#define QUEBUF_H

// A byte block that grows on demand and never shrinks. Its contents are not
// kept across a growth.
class CQueBuf
{
public:
    CQueBuf() = default;
    virtual ~CQueBuf();

    CQueBuf(const CQueBuf &) = delete;
    CQueBuf &operator=(const CQueBuf &) = delete;

    // -1: size not positive or allocation failed (the block is then empty);
    // 0: a new block of at least size bytes; 1: the block already held it.
    int Reserve(int size);

    int capacity = 0;                  // bytes usable from data on
    int length = 0;                    // bytes in use; 0 after every growth
    int alignment = 0;                 // when above 0, data is a multiple of it
    unsigned char *rawBlock = nullptr; // the allocation itself
    unsigned char *data = nullptr;     // usable start: rawBlock, aligned
    int dataOffset = 0;
    // Carried with the block for its other users; not read here.
    int userTag = 0;
    int userFlags = 0;
    double userTime = 0.0;
};

#endif
