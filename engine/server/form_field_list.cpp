#include "engine/server/form_field_list.h"

#include "engine/server/server_error_log.h"
#include "platform/path_util.h"
#include "support/mapped_file.h"
#include "support/text_helpers.h"
#include "support/trace_log.h"

CFormFieldList::~CFormFieldList() {
    m_names.clear();
    m_values.clear();
    m_index.clear();
    m_files.clear();
}

void CFormFieldList::Add(const std::string& name, std::string value) {
    int i = FindIndex(name);
    if (i >= 0) {
        m_values[static_cast<std::size_t>(i)] = std::move(value);
        return;
    }
    m_names.push_back(UpperCopy(name));
    m_values.push_back(std::move(value));
    m_index.emplace(m_names.back(), static_cast<int>(m_names.size() - 1));
}

int CFormFieldList::FindIndex(const std::string& name) const {
    // Names are stored upper-cased, so a case-insensitive search is a lookup.
    auto it = m_index.find(UpperCopy(name));
    return it == m_index.end() ? -1 : it->second;
}

std::string CFormFieldList::GetValue(const std::string& name) const {
    int i = FindIndex(name);
    return i < 0 ? std::string() : m_values[static_cast<std::size_t>(i)];
}

void CFormFieldList::SetValue(const std::string& name, const std::string& value) {
    int i = FindIndex(name);
    if (i >= 0) m_values[static_cast<std::size_t>(i)] = value;
}

void CFormFieldList::SetValueAt(int index, std::string value) {
    if (index >= 0 && index < GetCount()) m_values[static_cast<std::size_t>(index)] = std::move(value);
}

void CFormFieldList::AppendValueAt(int index, const std::string& text) {
    if (index >= 0 && index < GetCount()) m_values[static_cast<std::size_t>(index)] += text;
}

void CFormFieldList::GetAt(int index, std::string& name, std::string& value) const {
    if (index < 0 || index >= GetCount()) {
        name.clear();
        value.clear();
        return;
    }
    name = m_names[static_cast<std::size_t>(index)];
    value = m_values[static_cast<std::size_t>(index)];
}

const std::string& CFormFieldList::ValueAt(int index) const {
    static const std::string kNone;
    return index < 0 || index >= GetCount() ? kNone : m_values[static_cast<std::size_t>(index)];
}

const std::string& CFormFieldList::NameAt(int index) const {
    static const std::string kNone;
    return index < 0 || index >= GetCount() ? kNone : m_names[static_cast<std::size_t>(index)];
}

bool CFormFieldList::IsFileField(const std::string& name) const {
    return m_files.count(UpperCopy(name)) != 0;
}

CUploadedFile* CFormFieldList::GetFilePath(const std::string& name) const {
    auto it = m_files.find(UpperCopy(name));
    return it == m_files.end() ? nullptr : it->second.get();
}

std::string CFormFieldList::GetValueOrFilePath(int index) const {
    if (index < 0 || index >= GetCount()) return {};
    if (CUploadedFile* f = GetFilePath(m_names[static_cast<std::size_t>(index)])) return f->TempFilePath;
    return m_values[static_cast<std::size_t>(index)];
}

void CFormFieldList::AddFileField(const std::string& name, CUploadedFile* record) {
    std::unique_ptr<CUploadedFile> owned(record);
    std::string key = UpperCopy(name);
    if (m_files.count(key)) {
        WriteTraceLog("SERVER", "Error", "Duplicate file form field name detected (field='" + name + "')");
        return;  // the record and its temporary file go with owned
    }
    std::string value = owned->TempFilePath;
    if (tessaro::platform::EqualsNoCase(owned->ContentType.c_str(), "TEXT")) {
        value.clear();
        if (!owned->TempFilePath.empty()) {
            try {
                CMappedFile mapped(owned->TempFilePath);
                value.assign(mapped.GetData(), mapped.GetSize());
            } catch (CMappedFileException* e) {
                WriteTraceLog("SERVER", "Error",
                              ServerErrorText("Error occurred while attempting to map the file '" +
                                                  owned->TempFilePath + "' into memory (" + e->GetText() + ").",
                                              e->GetErrorNumber()));
                e->Delete();
            }
        }
    }
    m_files[key] = std::move(owned);
    Add(key, std::move(value));
}
