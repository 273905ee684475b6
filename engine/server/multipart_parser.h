// multipart/form-data bodies: plain sections become form fields, file sections
// temporary files registered with the reader.
#pragma once

#include <cstddef>
#include <string>

class CRequestReader;
class CUploadedFile;

class CMultipartParser {
public:
    // maxSections < 0: no cap.
    explicit CMultipartParser(CRequestReader& reader, int maxSections = -1)
        : m_reader(reader), m_maxSections(maxSections) {}

    // Throws CWebException* on malformed data; what was stored so far stays.
    // Sections past the cap are ignored, as URL-encoded fields past it are.
    void Parse(const char* body, std::size_t length, const std::string& boundary);
    void ProcessSection(const std::string& header, const char* data, std::size_t length);
    // The upper-cased, URL-decoded value after keyword up to terminator. The
    // keyword only matches at the start of the header or of a parameter, so
    // NAME=" is not found inside FILENAME=".
    static bool GetHeaderAttribute(const std::string& header, const std::string& keyword, const std::string& terminator,
                                   std::string& value);
    void SaveUploadedFile(const std::string& name, CUploadedFile* record, const char* data, std::size_t length);

private:
    CRequestReader& m_reader;
    int m_maxSections;
};
