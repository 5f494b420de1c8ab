#include "base/system_ops.h"

const SystemOps& platformSystemOps() {
    static const SystemOps ops = {
        platform::openRegularFile, platform::createNewFile, platform::openCutTo,    platform::readSome,  platform::rewind,
        platform::writeAll,        platform::syncPath,      platform::syncFolder,   platform::fileState,
        platform::pathState,       platform::copyMetadata,  platform::exchangeFiles, platform::replaceFile,
        platform::removeFile,      platform::freeSpace,     platform::folderNames,   [](StoreStep) {},
    };
    return ops;
}

const WatchOps& platformWatchOps() {
    static const WatchOps ops = {
        platform::monotonicMs,
        platform::startNotices,
        [](platform::ChangeNotices& notices, int64_t timeoutMs) {
            return platform::waitForNotice(notices, timeoutMs) ? Wait::kNotice : Wait::kTimeout;
        },
        platform::timeOfDay,
    };
    return ops;
}
