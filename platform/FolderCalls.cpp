#include "platform/FolderCalls.h"

namespace kvd {

namespace {

FolderCalls* replaced = nullptr;

} // namespace

FolderCalls& CurrentFolderCalls() {
    return replaced != nullptr ? *replaced : SystemFolderCalls();
}

void UseFolderCalls(FolderCalls* calls) {
    replaced = calls;
}

} // namespace kvd
