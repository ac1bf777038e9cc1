// The shipped library's side of FaultHook.h: nothing fails on purpose and
// nothing is counted, so no test hook can be reached in what ships.
#include "platform/FaultHook.h"

namespace vintrel {

bool Fails(PlatformOp) { return false; }
void* CountBlock(void* block) { return block; }
void ForgetBlock(void*) {}
PlatformFile* CountFile(PlatformFile* file) { return file; }
void FileOpened() {}
void FileClosed() {}

}  // namespace vintrel
