#include "vidshow.h"

int InitDisplayDevEnv(int) { return 0; }

void *CreateVideoDeivce(HWND, unsigned long) { return nullptr; }

int DisplayI420Video(void *, void *, void *, void *, int, int) { return -1; }
