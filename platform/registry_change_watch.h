// Whether a registry store file may have changed since an earlier look, so that values
// read from it can be kept between requests. The store's folder is watched for writes to
// the store and its journal by any process; a write's report is queued before the write
// returns, so a change is seen by the very next check.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro::platform {

// A number that moves on with every change of the store at `storePath` (and may move
// without one). False when the store's folder cannot be watched: then nothing read from
// it may be kept.
bool RegistryStoreStamp(const std::string& storePath, std::uint64_t& stamp);

}  // namespace tessaro::platform
