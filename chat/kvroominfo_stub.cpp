#include "iroominfo.h"

// Placeholder until the room object lands.
IRoomInfo *createRoomInfo() { return nullptr; }
