#include "support/mapped_file.h"

#include "platform/path_util.h"

namespace plat = tessaro::platform;

namespace {

const char* FailureText(plat::FileMapping::Failure failure) {
    switch (failure) {
        case plat::FileMapping::Failure::Open:
            return "Error attempting to open file to be mapped.";
        case plat::FileMapping::Failure::Size:
            return "Error attempting to determine size of file to be mapped.";
        case plat::FileMapping::Failure::Create:
            return "Error attempting to create file mapping.";
        case plat::FileMapping::Failure::View:
        case plat::FileMapping::Failure::None:
            break;
    }
    return "Error attempting to map view of file.";
}

}  // namespace

CMappedFile::CMappedFile(const std::string& path) {
    long error = 0;
    plat::FileMapping::Failure failure = m_mapping.Map(plat::ToUnixPath(path), &error);
    if (failure != plat::FileMapping::Failure::None) throw new CMappedFileException(error, FailureText(failure));
}

CMappedFile::~CMappedFile() = default;
