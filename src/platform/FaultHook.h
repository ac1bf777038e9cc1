// The layer's side of the test hook (PlatformFailAt, PlatformCount): every
// system call asks Fails first, and what the layer holds is counted.
#pragma once

#include "platform/Platform.h"

namespace vintrel {

// True means "fail this one", with errno set as the test asked.
bool Fails(PlatformOp op);

void* CountBlock(void* block);  // null passes uncounted
void ForgetBlock(void* block);
PlatformFile* CountFile(PlatformFile* file);  // null passes uncounted
void FileOpened();
void FileClosed();

}  // namespace vintrel
