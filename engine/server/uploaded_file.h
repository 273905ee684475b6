// One uploaded file of a multipart post; its temporary file lives as long as the record.
#pragma once

#include <string>

class CUploadedFile {
public:
    CUploadedFile() = default;
    virtual ~CUploadedFile();
    CUploadedFile(const CUploadedFile&) = delete;
    CUploadedFile& operator=(const CUploadedFile&) = delete;

    std::string TempFilePath;  // empty when the section had no bytes
    std::string ContentType;
    std::string ContentSubType;
    std::string ClientDirectory;
    std::string ClientFileName;
    std::string ClientFileExt;
};
