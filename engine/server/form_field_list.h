// The form fields of a request: names (upper-cased) and values in order of first
// arrival, plus the uploaded-file records by field name (owned).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/server/uploaded_file.h"

class CFormFieldList {
public:
    CFormFieldList() = default;
    virtual ~CFormFieldList();
    CFormFieldList(const CFormFieldList&) = delete;
    CFormFieldList& operator=(const CFormFieldList&) = delete;

    // New name: appended; present name: its value replaced.
    void Add(const std::string& name, std::string value);
    int FindIndex(const std::string& name) const;
    std::string GetValue(const std::string& name) const;
    void SetValue(const std::string& name, const std::string& value);
    void SetValueAt(int index, std::string value);
    void AppendValueAt(int index, const std::string& text);
    int GetCount() const { return static_cast<int>(m_names.size()); }
    void GetAt(int index, std::string& name, std::string& value) const;
    // The value of entry index without a copy (a value joined from many fields
    // can be large); the empty text outside the list.
    const std::string& ValueAt(int index) const;
    // The (upper-cased) name of entry index, likewise.
    const std::string& NameAt(int index) const;
    bool IsFileField(const std::string& name) const;
    // The record of a file field, null when none.
    CUploadedFile* GetFilePath(const std::string& name) const;
    // The value of entry i, or the temporary path of a file field.
    std::string GetValueOrFilePath(int index) const;
    // Takes ownership of record; a duplicate file field is logged and discarded.
    void AddFileField(const std::string& name, CUploadedFile* record);

private:
    std::vector<std::string> m_names;
    std::unordered_map<std::string, int> m_index;  // upper-cased name -> position
    std::vector<std::string> m_values;
    std::map<std::string, std::unique_ptr<CUploadedFile>> m_files;
};
